// What the picture codecs share: the one error they throw for a picture they cannot read, the
// pixel cap, and planes (one 8-bit channel of a picture) with area-average scaling and EXIF turns.

// Every picture this code cannot read, whatever the reason, ends in this error and nothing else:
// phoneSized() then keeps the original, and the fuzz targets tell it from a real fault.
export class PictureError extends Error {
  constructor(why) {
    super(`cannot make a phone copy: ${why}`);
    this.name = 'PictureError';
  }
}

// Larger pictures are not decoded (a phone copy of them would take too long to make).
export const MAX_PIXELS = 50e6;

// A plane: { w, h, data: Uint8Array (w * h) }.
export const plane = (w, h) => ({ w, h, data: new Uint8Array(w * h) });

// Scales a plane that covers the whole picture to w × h by averaging the source pixels under each
// target pixel (first along rows, then along columns).
export function resizePlane(src, w, h) {
  const across = new Float32Array(w * src.h);
  const xs = spans(src.w, w);
  for (let y = 0; y < src.h; y++) {
    const row = y * src.w;
    for (let x = 0; x < w; x++) {
      let sum = 0;
      for (let i = xs[x * 2]; i < xs[x * 2 + 1]; i++) sum += src.data[row + i];
      across[y * w + x] = sum / (xs[x * 2 + 1] - xs[x * 2]);
    }
  }
  const out = plane(w, h);
  const ys = spans(src.h, h);
  for (let y = 0; y < h; y++) {
    const n = ys[y * 2 + 1] - ys[y * 2];
    for (let x = 0; x < w; x++) {
      let sum = 0;
      for (let j = ys[y * 2]; j < ys[y * 2 + 1]; j++) sum += across[j * w + x];
      out.data[y * w + x] = Math.round(sum / n);
    }
  }
  return out;
}

// For each of n target cells, the first and the end source index it covers (at least one).
function spans(from, n) {
  const out = new Int32Array(n * 2);
  for (let i = 0; i < n; i++) {
    const a = Math.min(from - 1, Math.floor((i * from) / n));
    out[i * 2] = a;
    out[i * 2 + 1] = Math.max(a + 1, Math.min(from, Math.floor(((i + 1) * from) / n)));
  }
  return out;
}

// EXIF orientation 2..8 applied to a plane (5..8 swap width and height).
export function orient(p, o) {
  if (o < 2 || o > 8) return p;
  const swap = o >= 5;
  const out = plane(swap ? p.h : p.w, swap ? p.w : p.h);
  for (let y = 0; y < out.h; y++) {
    for (let x = 0; x < out.w; x++) {
      let sx;
      let sy;
      switch (o) {
        case 2: sx = p.w - 1 - x; sy = y; break;
        case 3: sx = p.w - 1 - x; sy = p.h - 1 - y; break;
        case 4: sx = x; sy = p.h - 1 - y; break;
        case 5: sx = y; sy = x; break;
        case 6: sx = y; sy = p.h - 1 - x; break;
        case 7: sx = p.w - 1 - y; sy = p.h - 1 - x; break;
        default: sx = p.w - 1 - y; sy = x; break; // 8
      }
      out.data[y * out.w + x] = p.data[sy * p.w + sx];
    }
  }
  return out;
}
