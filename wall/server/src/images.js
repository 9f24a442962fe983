// Photos are recognised by their bytes, never by their name or declared type.

import { InputError } from './text.js';
import { jpegSize } from './picture/jpeg.js';
import { pngSize } from './picture/png.js';
import { MAX_PIXELS } from './picture/planes.js';

export const PHOTO_MAX = 5 * 1024 * 1024;
export const POLL_PHOTO_MAX = 2 * 1024 * 1024;
export const PHOTO_MIN = 24;

// Returns a key of IMAGE_TYPES ("jpg", "png", "webp"), or "" for anything else.
export function sniffImage(buf) {
  if (!buf || buf.length < 12) return '';
  if (buf[0] === 0xff && buf[1] === 0xd8 && buf[2] === 0xff) return 'jpg';
  if (buf[0] === 0x89 && buf[1] === 0x50 && buf[2] === 0x4e && buf[3] === 0x47 &&
      buf[4] === 0x0d && buf[5] === 0x0a && buf[6] === 0x1a && buf[7] === 0x0a) return 'png';
  if (buf.toString('latin1', 0, 4) === 'RIFF' && buf.toString('latin1', 8, 12) === 'WEBP') return 'webp';
  return '';
}

// The picture types the wall takes, by the extension its files are saved with: the one map from
// sniffed type to file name and content type.
export const IMAGE_TYPES = Object.freeze({ jpg: 'image/jpeg', png: 'image/png', webp: 'image/webp' });

// The content type a saved picture is served with; anything else is plain bytes.
export function imageContentType(fileName) {
  const ext = /\.([a-z]+)$/i.exec(fileName)?.[1].toLowerCase();
  return Object.hasOwn(IMAGE_TYPES, ext ?? '') ? IMAGE_TYPES[ext] : 'application/octet-stream';
}

// Photo files this server wrote (uploads and album copies): LUMVO_ followed by our own id characters.
export const ALBUM_FILE = new RegExp(`^LUMVO_[A-Za-z0-9_-]{1,80}\\.(${Object.keys(IMAGE_TYPES).join('|')})$`);

// The sides a WebP's header gives (lossy, lossless or extended), or null.
export function webpSize(buf) {
  if (buf.length < 30 || sniffImage(buf) !== 'webp') return null;
  const chunk = buf.toString('latin1', 12, 16);
  if (chunk === 'VP8X') return { width: buf.readUIntLE(24, 3) + 1, height: buf.readUIntLE(27, 3) + 1 };
  if (chunk === 'VP8L' && buf[20] === 0x2f) {
    const bits = buf.readUInt32LE(21);
    return { width: (bits & 0x3fff) + 1, height: ((bits >>> 14) & 0x3fff) + 1 };
  }
  if (chunk === 'VP8 ' && buf[23] === 0x9d && buf[24] === 0x01 && buf[25] === 0x2a) {
    return { width: buf.readUInt16LE(26) & 0x3fff, height: buf.readUInt16LE(28) & 0x3fff };
  }
  return null;
}

// A picture the wall would not draw: no side longer than MAX_SIDE (phones send a few thousand
// pixels) and at most PICTURE_MAX_PIXELS (a 24-megapixel camera's 6000 × 4000, well under the
// MAX_PIXELS the decoders stop at). What a picture costs to decode is its pixels, or for a PNG
// its unpacked rows, which are larger at 16 bits per sample: those may hold PNG_MAX_ROW_BYTES (a
// 24-megapixel PNG of 8-bit RGBA, or a 12-megapixel one of 16-bit RGBA). A few hundred
// kilobytes of well-compressed PNG can claim a picture that takes a gigabyte to decode, so this
// is decided from the header, before anything is decoded.
export const MAX_SIDE = 12000;
export const PICTURE_MAX_PIXELS = Math.min(24e6, MAX_PIXELS);
export const PNG_MAX_ROW_BYTES = 100e6;

// Whether the picture (of the sniffed kind `ext`) is within the pixel budget, from its header
// alone; a header that names no size is left to the decoders.
export function withinPixelBudget(buf, ext) {
  const size = ext === 'png' ? pngSize(buf) : ext === 'jpg' ? jpegSize(buf) : webpSize(buf);
  if (!size) return true;
  const { width, height } = size;
  if (width > MAX_SIDE || height > MAX_SIDE || width * height > PICTURE_MAX_PIXELS) return false;
  if (ext === 'png' && buf.length >= 26) {
    const depth = buf[24];
    const channels = { 0: 1, 2: 3, 3: 1, 4: 2, 6: 4 }[buf[25]] ?? 4;
    if (Math.ceil((width * channels * depth) / 8 + 1) * height > PNG_MAX_ROW_BYTES) return false;
  }
  return true;
}

export const tooManyPixels = () => new InputError('That photo has too many pixels for the wall. Try a smaller copy.', 'too_large', 413);

// Checks an image buffer; returns its extension or throws a clear error.
export function checkImage(buf, max = PHOTO_MAX) {
  if (buf.length > max) {
    throw new InputError(`That photo is bigger than ${Math.round(max / 1048576)} MB.`, 'too_large', 413);
  }
  const ext = buf.length >= PHOTO_MIN ? sniffImage(buf) : '';
  if (!ext) throw new InputError('That photo is not a JPG, PNG or WebP picture.', 'bad_image', 415);
  if (!withinPixelBudget(buf, ext)) throw tooManyPixels();
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
