// Talking to the wall server: one fetch wrapper that turns every failure into an ApiError with a
// kind the pages can act on and a sentence a guest understands.

export class ApiError extends Error {
  constructor(kind, message, { status = 0, code = '', retryAfter = 0 } = {}) {
    super(message);
    this.kind = kind; // offline | too-big | too-fast | off | blocked | venue | conflict | bad-type | invalid | server
    this.status = status;
    this.code = code;
    this.retryAfter = retryAfter;
  }
}

const FALLBACK = {
  offline: "Can't reach the wall. Check that you're on the venue Wi-Fi, then try again. What you typed is kept.",
  'too-big': 'That is too big to send.',
  'too-fast': 'Slow down a little, then try again.',
  off: 'The DJ has turned this off for now.',
  blocked: "This phone can't send to the wall tonight. You can still watch the Live view.",
  venue: 'Venue login needed.',
  conflict: 'That was already done.',
  'bad-type': 'That file type is not supported. Use a JPG, PNG or WebP photo.',
  invalid: 'Something in that was not right. Please check it and try again.',
  server: 'The wall had a problem with that. Please try again in a moment.',
};

function kindFor(status, code) {
  if (status === 413) return 'too-big';
  if (status === 429) return 'too-fast';
  if (status === 415) return 'bad-type';
  if (status === 409) return 'conflict';
  if (status === 403) {
    if (code === 'blocked') return 'blocked';
    if (code === 'off') return 'off';
    return 'venue';
  }
  if (status >= 400 && status < 500) return 'invalid';
  return 'server';
}

export function errorFor(status, body, retryHeader) {
  const code = (body && typeof body.code === 'string' && body.code) || '';
  const kind = kindFor(status, code);
  const retryAfter = Number((body && body.retryAfter) || retryHeader || 0) || 0;
  let message = (body && typeof body.error === 'string' && body.error.trim()) || FALLBACK[kind];
  if (kind === 'too-fast' && retryAfter > 0 && !/\d/.test(message)) {
    message += ` You can send again in ${Math.ceil(retryAfter)} s.`;
  }
  return new ApiError(kind, message, { status, code, retryAfter });
}

// GET when no body is given; a plain object is sent as JSON, a Blob as it is. idempotencyKey goes
// as the Idempotency-Key header: the wall answers a repeat of it with the first answer.
export async function api(path, { body, method, headers = {}, timeoutMs = 15000, keepalive = false, idempotencyKey = '' } = {}) {
  const init = { method: method || (body === undefined ? 'GET' : 'POST'), headers: { ...headers }, keepalive };
  if (idempotencyKey) init.headers['Idempotency-Key'] = idempotencyKey;
  if (body !== undefined) {
    if (body instanceof Blob) {
      init.body = body;
      if (!init.headers['Content-Type']) init.headers['Content-Type'] = body.type || 'application/octet-stream';
    } else {
      init.body = JSON.stringify(body);
      init.headers['Content-Type'] = 'application/json';
    }
  }
  const controller = new AbortController();
  const timer = setTimeout(() => controller.abort(), timeoutMs);
  init.signal = controller.signal;
  let res;
  try {
    res = await fetch(path, init);
  } catch {
    throw new ApiError('offline', FALLBACK.offline);
  } finally {
    clearTimeout(timer);
  }
  const data = await res.json().catch(() => null);
  if (!res.ok) throw errorFor(res.status, data, res.headers.get('Retry-After'));
  return data || {};
}
