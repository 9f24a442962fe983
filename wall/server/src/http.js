// HTTP plumbing: security headers, JSON replies and errors, bodies with size limits, cookies,
// and the loopback rule for the DJ's endpoints.

import { InputError } from './text.js';
import { isLoopback } from './netaddr.js';

export const CSP = [
  "default-src 'self'", "script-src 'self'", "style-src 'self' 'unsafe-inline'", "img-src 'self' data: blob:",
  "connect-src 'self'", "font-src 'self' data:", "object-src 'none'", "base-uri 'none'", "form-action 'self'",
  "frame-ancestors 'none'",
].join('; ');

export function securityHeaders(res) {
  res.setHeader('X-Content-Type-Options', 'nosniff');
  res.setHeader('Referrer-Policy', 'no-referrer');
  res.setHeader('X-Frame-Options', 'DENY');
  res.setHeader('Content-Security-Policy', CSP);
}

export function sendJson(res, status, body, extraHeaders = {}) {
  const text = typeof body === 'string' ? body : JSON.stringify(body);
  res.writeHead(status, {
    'Content-Type': 'application/json; charset=utf-8',
    'Cache-Control': 'no-store',
    'Content-Length': Buffer.byteLength(text),
    ...extraHeaders,
  });
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

export async function readJson(req, limit) {
  if (FORM_TYPES.test(req.headers['content-type'] ?? '')) {
    req.resume();
    throw new InputError('Send JSON with Content-Type: application/json.', 'bad_type', 415);
  }
  const buf = await readBody(req, limit);
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

// The DJ's endpoints: the caller must be on this PC, and a browser request must come from one of
// this server's own loopback pages (no other site can drive them through the DJ's browser).
export function checkLoopback(req, port) {
  if (!isLoopback(req.socket.remoteAddress)) {
    throw new InputError('This page is only for the DJ booth.', 'loopback_only', 403);
  }
  const origin = req.headers.origin;
  if (origin !== undefined && origin !== 'null') {
    let ok = false;
    try {
      const u = new URL(origin);
      ok = u.protocol === 'http:' && ['127.0.0.1', 'localhost', '[::1]'].includes(u.hostname) &&
        Number(u.port || 80) === port;
    } catch { ok = false; }
    if (!ok) throw new InputError('This page is only for the DJ booth.', 'loopback_only', 403);
  } else if (origin === 'null') {
    throw new InputError('This page is only for the DJ booth.', 'loopback_only', 403);
  }
  const host = String(req.headers.host ?? '').replace(/:\d+$/, '').toLowerCase();
  if (host && !['127.0.0.1', 'localhost', '[::1]'].includes(host) && !/^127\./.test(host)) {
    throw new InputError('This page is only for the DJ booth.', 'loopback_only', 403);
  }
}
