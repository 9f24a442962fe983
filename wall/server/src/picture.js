// Phone-sized copies of the poll picture. The DJ's picture may be a 3000 × 2000 camera photo of
// a few megabytes; every phone in the room would load it. phoneSized() decodes a baseline JPEG
// (with its EXIF orientation) or a PNG, scales it down by area averaging and encodes a baseline
// JPEG of at most PHONE_SIDE pixels on its long side. It works on Y, Cb and Cr planes throughout,
// so a JPEG is never turned into full-size RGB. Progressive JPEGs, WebP and interlaced PNGs are
// not decoded: phoneSized() returns null and the original is used.
//
// The codecs are in picture/: jpeg.js (decoding), jpeg-encoder.js, png.js, and planes.js (what
// they share: planes, scaling, turns, the pixel cap and PictureError, the one error a picture
// that cannot be read ends in).
//
// This is CPU work of up to a second for a large picture: app.js runs it on a worker thread
// (picture-worker.js), never on the thread that answers guests.

import { decodeJpeg, jpegSize } from './picture/jpeg.js';
import { decodePng, pngSize } from './picture/png.js';
import { encodeJpeg, PHONE_QUALITY } from './picture/jpeg-encoder.js';
import { orient, resizePlane } from './picture/planes.js';

export { decodeJpeg, decodePng, encodeJpeg, resizePlane, PHONE_QUALITY };
export { PictureError } from './picture/planes.js';

export const PHONE_SIDE = 960;
// A picture already this small is sent to phones as it is.
export const PHONE_BYTES = 250 * 1024;

// Whether a picture may need a copy, from its first bytes alone: a JPEG or PNG larger than a
// phone needs. Saves starting a worker for a picture that is small already.
export function worthCopying(buf) {
  if (buf.length > PHONE_BYTES) return true;
  const size = pngSize(buf) ?? jpegSize(buf);
  return !!size && Math.max(size.width, size.height) > PHONE_SIDE;
}

// The picture as a JPEG of at most `side` pixels on its long side (upright), or null when it is
// already small enough or cannot be read here.
export function phoneSized(buf, { side = PHONE_SIDE, quality = PHONE_QUALITY } = {}) {
  let img;
  try {
    if (buf[0] === 0xff && buf[1] === 0xd8) img = decodeJpeg(buf);
    else if (buf.toString('latin1', 1, 4) === 'PNG') img = decodePng(buf);
    else return null;
  } catch {
    return null; // not a kind this reads, or damaged: the original it is
  }
  const turned = img.orientation >= 5;
  const long = Math.max(img.width, img.height);
  if (long <= side && buf.length <= PHONE_BYTES && img.orientation < 2) return null;
  const scale = Math.min(1, side / long);
  const w = Math.max(1, Math.round(img.width * scale));
  const h = Math.max(1, Math.round(img.height * scale));
  const [Y, Cb, Cr] = img.planes.length === 3 ? img.planes : [img.planes[0], null, null];
  const y = orient(resizePlane(Y, w, h), img.orientation);
  const cw = Math.ceil((turned ? h : w) / 2);
  const ch = Math.ceil((turned ? w : h) / 2);
  const chroma = (p) => {
    if (!p) return { w: cw, h: ch, data: new Uint8Array(cw * ch).fill(128) };
    return orient(resizePlane(p, turned ? ch : cw, turned ? cw : ch), img.orientation);
  };
  return encodeJpeg(y, chroma(Cb), chroma(Cr), quality);
}
