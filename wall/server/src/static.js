// Static files from the web folder, the uploads folder and the looks folder, and which caller may
// have which (staticFiles). A path can never leave its folder: ".." segments, NUL bytes and
// symbolic links that point outside are all refused, and the path is decoded exactly once before
// anything is decided.

import fs from 'node:fs';
import path from 'node:path';
import { IMAGE_TYPES, imageContentType } from './images.js';
import { InputError } from './text.js';
import { checkLoopback, pageHeaders } from './http.js';

const TYPES = {
  '.html': 'text/html; charset=utf-8', '.htm': 'text/html; charset=utf-8', '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8', '.css': 'text/css; charset=utf-8', '.json': 'application/json; charset=utf-8',
  '.txt': 'text/plain; charset=utf-8', '.png': IMAGE_TYPES.png, '.jpg': IMAGE_TYPES.jpg, '.jpeg': IMAGE_TYPES.jpg,
  '.webp': IMAGE_TYPES.webp, '.gif': 'image/gif', '.svg': 'image/svg+xml', '.ico': 'image/x-icon',
  '.woff': 'font/woff', '.woff2': 'font/woff2', '.ttf': 'font/ttf', '.webmanifest': 'application/manifest+json',
  '.mp3': 'audio/mpeg', '.wav': 'audio/wav',
};

export function contentType(file) {
  return TYPES[path.extname(file).toLowerCase()] ?? 'application/octet-stream';
}

const PLAIN_PATH = /^(?:\/[\w-]+(?:\.[\w-]+)*)+$/;

// The request path decoded once and normalised: percent-escapes decoded (an encoded "/" is a
// separator like any other), empty segments dropped. Every decision (which folder, loopback only
// or not) and the file lookup use this one result, so "/%6dod/x", "/bg%2fx" and "//mod/x" are
// all "/mod/...". Returns null for a path that can never name a served file: bad escapes, NUL,
// backslashes, "." or ".." segments, and what Windows would read differently from Linux (a colon
// for drives and streams, a name ending in a dot or a space, which Windows drops).
export function cleanPath(urlPath) {
  // Letters, digits, "_" and "-" in segments with dots only inside: nothing to decode or drop.
  if (PLAIN_PATH.test(urlPath)) return urlPath;
  let decoded;
  try {
    decoded = decodeURIComponent(urlPath);
  } catch {
    return null;
  }
  if (decoded.includes('\0') || decoded.includes('\\')) return null;
  const parts = decoded.split('/').filter((p) => p !== '');
  if (parts.some((p) => p.includes(':') || /[. ]$/.test(p))) return null;
  return `/${parts.join('/')}`;
}

// Maps a path from cleanPath below `root` to a file path, or null when it would leave root.
export function safeJoin(root, clean) {
  const rootResolved = path.resolve(root);
  const full = path.resolve(rootResolved, ...clean.split('/').filter((p) => p !== ''));
  if (full !== rootResolved && !full.startsWith(rootResolved + path.sep)) return null;
  return full;
}

// Sends the file, or returns false when there is no such regular file inside root.
export async function sendFile(req, res, root, file, { cache = 'no-cache', type } = {}) {
  let real;
  let realRoot;
  try {
    [real, realRoot] = await Promise.all([fs.promises.realpath(file), fs.promises.realpath(root)]);
  } catch {
    return false;
  }
  if (!real.startsWith(realRoot + path.sep)) return false;
  let st;
  try {
    st = await fs.promises.stat(real);
  } catch {
    return false;
  }
  if (!st.isFile()) return false;
  // A returning phone revalidates with the tag and gets a 304 instead of the whole file.
  const etag = `W/"${st.size.toString(36)}-${Math.floor(st.mtimeMs).toString(36)}"`;
  if (req.headers['if-none-match'] === etag) {
    res.writeHead(304, { ETag: etag, 'Cache-Control': cache });
    res.end();
    return true;
  }
  res.writeHead(200, {
    'Content-Type': type ?? contentType(real),
    'Content-Length': st.size,
    'Cache-Control': cache,
    ETag: etag,
  });
  if (req.method === 'HEAD') {
    res.end();
    return true;
  }
  await new Promise((resolve) => {
    const stream = fs.createReadStream(real);
    stream.on('error', () => { res.destroy(); resolve(); });
    stream.on('end', resolve);
    stream.pipe(res);
  });
  return true;
}

const notFound = () => new InputError('There is nothing here.', 'not_found', 404);

// The handler of every GET and HEAD outside /api/ (app.js's route table): the guest pages, the
// booth's pages /mod and /bg and the help texts under /web/info/ (loopback only), a photo under
// /uploads/ (to others only while the wall shows it), a look picture under /looks/.
export function staticFiles(app) {
  return async function serveStatic(ctx) {
    const { req } = ctx;
    pageHeaders(ctx.res);
    const { webDir, uploadsDir, looksDir, wall } = app;
    const p = ctx.path;
    // Decided on the lower-case path too: Windows finds web/mod/ under "/MOD/" as well.
    const lower = p.toLowerCase();
    const loopbackOnly = /^\/(mod|bg)(\/|$)/.test(lower) || lower.startsWith('/web/info/');
    if (loopbackOnly) checkLoopback(req, app.port);
    let root = webDir;
    let rel = p;
    let cache = 'no-cache';
    if (p === '/') rel = '/index.html';
    else if (lower === '/mod' || lower === '/bg' || lower === '/screen') rel = `${p}/index.html`;
    else if (lower.startsWith('/web/info/')) rel = p.slice(4);
    else if (p.startsWith('/uploads/')) {
      root = uploadsDir;
      rel = p.slice(8);
      cache = 'private, max-age=3600';
      if (!ctx.loopback && !wall.publicPhoto(p)) throw notFound();
    } else if (p.startsWith('/looks/')) {
      root = looksDir;
      rel = p.slice(6);
      cache = 'public, max-age=3600';
    } else if (lower.startsWith('/info/') || lower === '/info') throw notFound();
    const file = safeJoin(root, rel);
    if (!file) throw notFound();
    const type = root === webDir ? undefined : imageContentType(file);
    if (!(await sendFile(req, ctx.res, root, file, { cache, type }))) throw notFound();
  };
}
