// HTTP plumbing: the headers of pages and of JSON replies, JSON replies and errors, bodies with size limits, cookies,
// and the loopback rule for the DJ's endpoints.

import { InputError } from './text.js';
import { isLoopback } from './netaddr.js';

export const CSP = [
  "default-src 'self'", "script-src 'self'", "style-src 'self' 'unsafe-inline'", "img-src 'self' data: blob:",
  "connect-src 'self'", "font-src 'self' data:", "object-src 'none'", "base-uri 'none'", "form-action 'self'",
  "frame-ancestors 'none'",
].join('; ');

// What a page (and any file a browser may show as one) is sent with. A JSON reply gets only
// nosniff (writeJson): the page's policy and frame rules mean nothing to a fetch or the plug-in.
export function pageHeaders(res) {
  res.setHeader('X-Content-Type-Options', 'nosniff');
  res.setHeader('Referrer-Policy', 'no-referrer');
  res.setHeader('X-Frame-Options', 'DENY');
  res.setHeader('Content-Security-Policy', CSP);
}

// A success reply waits for the commit of what the request wrote: res.gate() is the open
// transaction's outcome (store.js), if any. When that commit fails, the reply is the failure.
export function sendJson(res, status, body, extraHeaders = {}) {
  const pending = status < 300 ? res.gate?.() : undefined;
  if (pending) {
    pending.then(() => writeJson(res, status, body, extraHeaders), (e) => {
      if (!res.headersSent) sendError(res, res.failure?.(e) ?? e);
    });
    return;
  }
  writeJson(res, status, body, extraHeaders);
}

// The headers go as a flat list of names and values, which Node writes as they are (an object's
// keys it copies and checks one by one); an extra header replaces one set before, as it did.
function writeJson(res, status, body, extraHeaders) {
  if (res.destroyed) return;
  const text = typeof body === 'string' ? body : JSON.stringify(body);
  const headers = ['Content-Type', 'application/json; charset=utf-8', 'Cache-Control', 'no-store',
    'Content-Length', String(Buffer.byteLength(text)), 'X-Content-Type-Options', 'nosniff'];
  for (const k in extraHeaders) headers.push(k, extraHeaders[k]);
  res.writeHead(status, headers);
  res.end(text);
}

export function sendError(res, err) {
  if (err instanceof InputError) {
    const body = { error: err.message, code: err.code };
    const headers = {};
    if (err.retryAfter) {
      body.retryAfter = err.retryAfter;
      headers['Retry-After'] = String(err.retryAfter);
    }
    return sendJson(res, err.status, body, headers);
  }
  return sendJson(res, 500, { error: 'Something went wrong on the wall server. Please try again.', code: 'internal' });
}

export function parseCookies(header) {
  const out = {};
  for (const part of String(header ?? '').split(';')) {
    const i = part.indexOf('=');
    if (i > 0) out[part.slice(0, i).trim()] = part.slice(i + 1).trim();
  }
  return out;
}

// Reads the whole body, refusing it as soon as it passes `limit` bytes.
export function readBody(req, limit) {
  return new Promise((resolve, reject) => {
    const declared = Number(req.headers['content-length']);
    if (Number.isFinite(declared) && declared > limit) {
      req.resume();
      reject(tooLarge());
      return;
    }
    const chunks = [];
    let size = 0;
    let failed = false;
    req.on('data', (c) => {
      if (failed) return;
      size += c.length;
      if (size > limit) {
        failed = true;
        reject(tooLarge());
        req.resume();
        return;
      }
      chunks.push(c);
    });
    req.on('end', () => { if (!failed) resolve(Buffer.concat(chunks, size)); });
    req.on('error', (e) => { if (!failed) { failed = true; reject(e); } });
  });
}

function tooLarge() {
  return new InputError('That is too much to send at once.', 'too_large', 413);
}

const FORM_TYPES = /^(application\/x-www-form-urlencoded|multipart\/form-data|text\/plain)/i;

// read: how to get the body's bytes (the guest endpoints keep them, see guest-api.js).
export async function readJson(req, limit, read = () => readBody(req, limit)) {
  if (FORM_TYPES.test(req.headers['content-type'] ?? '')) {
    req.resume();
    throw new InputError('Send JSON with Content-Type: application/json.', 'bad_type', 415);
  }
  const buf = await read();
  if (buf.length === 0) return {};
  let v;
  try {
    v = JSON.parse(buf.toString('utf8'));
  } catch {
    throw new InputError('That request could not be read (bad JSON).', 'bad_json');
  }
  if (!v || typeof v !== 'object' || Array.isArray(v)) throw new InputError('Send one JSON object.', 'bad_json');
  return v;
}

// The names this server answers to on this PC, with its own port: "127.0.0.1:8787",
// "localhost:8787", "[::1]:8787" (no port means 80). Nothing else, so a name that a rebinding
// DNS server points at 127.0.0.1 ("127.evil.example") is refused.
export function loopbackHost(value, port) {
  const m = /^(127\.0\.0\.1|localhost|\[::1\])(?::(\d{1,5}))?$/i.exec(String(value ?? ''));
  return !!m && Number(m[2] ?? 80) === port;
}

// The DJ's endpoints: the caller must be on this PC, address the server by a loopback name (DNS
// rebinding), and a browser request must come from one of this server's own loopback pages (no
// other site can drive them through the DJ's browser).
export function checkLoopback(req, port) {
  const origin = req.headers.origin;
  let ok = isLoopback(req.socket.remoteAddress) && loopbackHost(req.headers.host, port);
  if (ok && origin !== undefined) {
    const m = /^http:\/\/([^/]+)$/i.exec(origin);
    ok = !!m && loopbackHost(m[1], port);
  }
  if (!ok) throw new InputError('This page is only for the DJ booth.', 'loopback_only', 403);
}
