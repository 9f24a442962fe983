// Ids the plug-in echoes back unescaped: lower-case letters, digits and "_" only.

import { randomBytes, randomInt } from 'node:crypto';

export function newId(prefix) {
  return `${prefix}_${Date.now().toString(36)}${randomBytes(5).toString('hex')}`;
}

export function newSecret(bytes = 16) {
  return randomBytes(bytes).toString('base64url');
}

export const DEVICE_ID = /^[A-Za-z0-9_-]{22}$/;

export const PIN_ALPHABET = 'ABCDEFGHJKMNPQRSTUVWXYZ23456789';

// Five letters, each drawn evenly from the alphabet (a random byte modulo 31 would favour the
// first eight letters by 12.5 %).
export function newPin() {
  return Array.from({ length: 5 }, () => PIN_ALPHABET[randomInt(PIN_ALPHABET.length)]).join('');
}
