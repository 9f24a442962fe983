// Ids the plug-in echoes back unescaped: lower-case letters, digits and "_" only.

import { createHmac, randomBytes, randomInt, timingSafeEqual } from 'node:crypto';

// Random bytes from the system's generator, drawn 4 KB at a time: every post and every new phone
// needs a few, and one call per few bytes cost a tenth of the server's time under a flood. Each
// byte is handed out once.
let pool = Buffer.alloc(0);
let used = 0;
function random(n) {
  if (used + n > pool.length) {
    pool = randomBytes(Math.max(4096, n));
    used = 0;
  }
  used += n;
  return pool.subarray(used - n, used);
}

export function newId(prefix) {
  return `${prefix}_${Date.now().toString(36)}${random(5).toString('hex')}`;
}

export function newSecret(bytes = 16) {
  return random(bytes).toString('base64url');
}

export const DEVICE_ID = /^[A-Za-z0-9_-]{22}$/;

// The device cookie is "<device id>.<signature>": only this server can make one, so a phone
// cannot choose its own id (or a fresh one per request) and a forged one is simply a new phone.
// `key` is the wall's own secret, kept in its database.
const mac = (key, id) => createHmac('sha256', key).update(id).digest().subarray(0, 16);

export function signDevice(key, id) {
  return `${id}.${mac(key, id).toString('base64url')}`;
}

// The device id of a cookie value this server signed, or ''.
export function deviceOfCookie(key, value) {
  if (typeof value !== 'string' || value.length !== 45 || value[22] !== '.') return '';
  const id = value.slice(0, 22);
  if (!DEVICE_ID.test(id)) return '';
  const sig = Buffer.from(value.slice(23), 'base64url');
  return sig.length === 16 && timingSafeEqual(sig, mac(key, id)) ? id : '';
}

export const PIN_ALPHABET = 'ABCDEFGHJKMNPQRSTUVWXYZ23456789';

// Five letters, each drawn evenly from the alphabet (a random byte modulo 31 would favour the
// first eight letters by 12.5 %).
export function newPin() {
  return Array.from({ length: 5 }, () => PIN_ALPHABET[randomInt(PIN_ALPHABET.length)]).join('');
}
