// Photos are recognised by their bytes, never by their name or declared type.

import { InputError } from './text.js';

export const PHOTO_MAX = 5 * 1024 * 1024;
export const POLL_PHOTO_MAX = 2 * 1024 * 1024;
export const PHOTO_MIN = 24;

// Returns "jpg", "png", "webp" or "" for anything else.
export function sniffImage(buf) {
  if (!buf || buf.length < 12) return '';
  if (buf[0] === 0xff && buf[1] === 0xd8 && buf[2] === 0xff) return 'jpg';
  if (buf[0] === 0x89 && buf[1] === 0x50 && buf[2] === 0x4e && buf[3] === 0x47 &&
      buf[4] === 0x0d && buf[5] === 0x0a && buf[6] === 0x1a && buf[7] === 0x0a) return 'png';
  if (buf.toString('latin1', 0, 4) === 'RIFF' && buf.toString('latin1', 8, 12) === 'WEBP') return 'webp';
  return '';
}

export const MIME = Object.freeze({ jpg: 'image/jpeg', png: 'image/png', webp: 'image/webp' });

// Checks an image buffer; returns its extension or throws a clear error.
export function checkImage(buf, max = PHOTO_MAX) {
  if (buf.length > max) {
    throw new InputError(`That photo is bigger than ${Math.round(max / 1048576)} MB.`, 'too_large', 413);
  }
  const ext = buf.length >= PHOTO_MIN ? sniffImage(buf) : '';
  if (!ext) throw new InputError('That photo is not a JPG, PNG or WebP picture.', 'bad_image', 415);
  return ext;
}

// Decodes "data:image/...;base64,...." and checks the bytes. The declared type is ignored.
export function decodeDataUrl(value, max = PHOTO_MAX) {
  if (typeof value !== 'string' || !value.startsWith('data:')) {
    throw new InputError('That photo could not be read.', 'bad_image', 415);
  }
  const comma = value.indexOf(',');
  if (comma < 0 || !/;base64$/i.test(value.slice(5, comma))) {
    throw new InputError('That photo could not be read.', 'bad_image', 415);
  }
  const b64 = value.slice(comma + 1).replace(/[\r\n ]/g, '');
  if (b64.length > Math.ceil(max / 3) * 4 + 4) {
    throw new InputError(`That photo is bigger than ${Math.round(max / 1048576)} MB.`, 'too_large', 413);
  }
  if (!/^[A-Za-z0-9+/]*={0,2}$/.test(b64)) throw new InputError('That photo could not be read.', 'bad_image', 415);
  const buf = Buffer.from(b64, 'base64');
  const ext = checkImage(buf, max);
  return { buf, ext };
}
