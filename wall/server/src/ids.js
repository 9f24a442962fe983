// Ids the plug-in echoes back unescaped: lower-case letters, digits and "_" only.

import { randomBytes } from 'node:crypto';

export function newId(prefix) {
  return `${prefix}_${Date.now().toString(36)}${randomBytes(5).toString('hex')}`;
}

export function newSecret(bytes = 16) {
  return randomBytes(bytes).toString('base64url');
}

export const DEVICE_ID = /^[A-Za-z0-9_-]{22}$/;
export const SAFE_ID = /^[a-z]_[a-z0-9_]{1,60}$/;

const PIN_ALPHABET = 'ABCDEFGHJKMNPQRSTUVWXYZ23456789';
export function newPin() {
  const b = randomBytes(5);
  return [...b].map((x) => PIN_ALPHABET[x % PIN_ALPHABET.length]).join('');
}
