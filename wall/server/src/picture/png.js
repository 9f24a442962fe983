// PNG decoding (every colour type and bit depth, not interlaced) to full-size Y, Cb and Cr
// planes; transparent parts over black.

import zlib from 'node:zlib';
import { MAX_PIXELS, PictureError, plane } from './planes.js';

const paeth = (a, b, c) => {
  const p = a + b - c;
  const pa = Math.abs(p - a);
  const pb = Math.abs(p - b);
  const pc = Math.abs(p - c);
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
};

// Returns { width, height, orientation: 1, planes: [Y, Cb, Cr] } at full size; transparent parts
// over black (the phone shows the picture on a dark card).
export function decodePng(buf) {
  let pos = 8;
  let ihdr = null;
  let palette = null;
  let alphas = null;
  const idat = [];
  while (pos + 8 <= buf.length) {
    const len = buf.readUInt32BE(pos);
    const type = buf.toString('latin1', pos + 4, pos + 8);
    const data = buf.subarray(pos + 8, pos + 8 + len);
    if (type === 'IHDR') {
      if (data.length !== 13) throw new PictureError('bad header');
      ihdr = { width: data.readUInt32BE(0), height: data.readUInt32BE(4), depth: data[8], color: data[9], interlace: data[12] };
    } else if (type === 'PLTE') palette = data;
    else if (type === 'tRNS') alphas = data;
    else if (type === 'IDAT') idat.push(data);
    else if (type === 'IEND') break;
    pos += 12 + len;
  }
  if (!ihdr) throw new PictureError('no header');
  const { width, height, depth, color, interlace } = ihdr;
  const channels = { 0: 1, 2: 3, 3: 1, 4: 2, 6: 4 }[color];
  if (!channels || interlace || !width || !height || width * height > MAX_PIXELS) throw new PictureError('PNG kind');
  if (color === 3 ? ![1, 2, 4, 8].includes(depth) : color === 0 ? ![1, 2, 4, 8, 16].includes(depth) : ![8, 16].includes(depth)) {
    throw new PictureError('PNG depth');
  }
  if (color === 3 && !palette) throw new PictureError('no palette');
  const bitsPerPixel = channels * depth;
  const bpp = Math.max(1, bitsPerPixel >> 3);
  const rowBytes = Math.ceil((width * bitsPerPixel) / 8);
  let raw;
  try {
    raw = zlib.inflateSync(Buffer.concat(idat), { maxOutputLength: (rowBytes + 1) * height + 1 });
  } catch (e) {
    throw new PictureError(`PNG data: ${e.code ?? e.message}`);
  }
  if (raw.length < (rowBytes + 1) * height) throw new PictureError('PNG data cut short');
  const Y = plane(width, height);
  const Cb = plane(width, height);
  const Cr = plane(width, height);
  let prev = new Uint8Array(rowBytes);
  let row = new Uint8Array(rowBytes);
  const max = (1 << depth) - 1;
  for (let y = 0; y < height; y++) {
    const filter = raw[y * (rowBytes + 1)];
    const line = raw.subarray(y * (rowBytes + 1) + 1, (y + 1) * (rowBytes + 1));
    for (let i = 0; i < rowBytes; i++) {
      const a = i >= bpp ? row[i - bpp] : 0;
      const b = prev[i];
      const c = i >= bpp ? prev[i - bpp] : 0;
      const x = line[i];
      row[i] = (filter === 0 ? x : filter === 1 ? x + a : filter === 2 ? x + b : filter === 3 ? x + ((a + b) >> 1) : x + paeth(a, b, c)) & 255;
    }
    for (let x = 0; x < width; x++) {
      let r;
      let g;
      let bl;
      let alpha = 255;
      const sample = (ch) => {
        if (depth === 16) return row[(x * channels + ch) * 2];
        if (depth === 8) return row[x * channels + ch];
        const bit = (x * channels + ch) * depth;
        return (row[bit >> 3] >> (8 - depth - (bit & 7))) & max;
      };
      if (color === 3) {
        const i = sample(0);
        [r, g, bl] = [palette[i * 3], palette[i * 3 + 1], palette[i * 3 + 2]];
        if (alphas && i < alphas.length) alpha = alphas[i];
      } else if (color === 0 || color === 4) {
        r = g = bl = depth < 8 ? Math.round((sample(0) * 255) / max) : sample(0);
        if (color === 4) alpha = sample(1);
      } else {
        [r, g, bl] = [sample(0), sample(1), sample(2)];
        if (color === 6) alpha = sample(3);
      }
      if (alpha < 255) {
        r = (r * alpha) / 255;
        g = (g * alpha) / 255;
        bl = (bl * alpha) / 255;
      }
      const o = y * width + x;
      Y.data[o] = clamp(0.299 * r + 0.587 * g + 0.114 * bl);
      Cb.data[o] = clamp(128 - 0.168736 * r - 0.331264 * g + 0.5 * bl);
      Cr.data[o] = clamp(128 + 0.5 * r - 0.418688 * g - 0.081312 * bl);
    }
    [prev, row] = [row, prev];
  }
  return { width, height, orientation: 1, planes: [Y, Cb, Cr] };
}

const clamp = (v) => (v < 0 ? 0 : v > 255 ? 255 : Math.round(v));

// The picture's size from its header alone, or null.
export function pngSize(buf) {
  if (buf.length >= 24 && buf.toString('latin1', 1, 4) === 'PNG' && buf.toString('latin1', 12, 16) === 'IHDR') {
    return { width: buf.readUInt32BE(16), height: buf.readUInt32BE(20) };
  }
  return null;
}
