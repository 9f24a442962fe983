// Baseline JPEG decoding (Huffman, 8-bit, one interleaved scan, restart markers, the EXIF
// orientation), to Y, Cb and Cr planes at each component's own resolution, never to full-size RGB.
// Progressive and other codings are refused. Also the DCT tables the encoder shares.

import { MAX_PIXELS, PictureError, plane } from './planes.js';

export const ZIGZAG = Int32Array.from([
  0, 1, 8, 16, 9, 2, 3, 10, 17, 24, 32, 25, 18, 11, 4, 5, 12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6, 7, 14, 21,
  28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61,
  54, 47, 55, 62, 63,
]);

export const UNZIGZAG = new Int32Array(64);
ZIGZAG.forEach((natural, i) => { UNZIGZAG[natural] = i; });

// COS[x * 8 + u] = C(u) / 2 * cos((2x + 1) u π / 16), for the 8-point DCT and its inverse.
export const COS = new Float64Array(64);
for (let x = 0; x < 8; x++) {
  for (let u = 0; u < 8; u++) COS[x * 8 + u] = (u === 0 ? Math.SQRT1_2 : 1) / 2 * Math.cos(((2 * x + 1) * u * Math.PI) / 16);
}

function huffmanTable(counts, symbols) {
  // Canonical codes: for each length, the first code and where its symbols start.
  const maxcode = new Int32Array(18).fill(-1);
  const valptr = new Int32Array(17);
  const mincode = new Int32Array(17);
  const lookup = new Int32Array(512).fill(-1); // 9-bit prefix -> (length << 8) | symbol
  let code = 0;
  let k = 0;
  for (let len = 1; len <= 16; len++) {
    valptr[len] = k;
    mincode[len] = code;
    for (let i = 0; i < counts[len - 1]; i++) {
      if (len <= 9) {
        const shift = 9 - len;
        for (let j = 0; j < 1 << shift; j++) lookup[(code << shift) | j] = (len << 8) | symbols[k];
      }
      code++;
      k++;
    }
    // More codes of this length than there are: no prefix code has them.
    if (code > 1 << len) throw new PictureError('bad Huffman table');
    maxcode[len] = counts[len - 1] ? code - 1 : -1;
    code <<= 1;
  }
  maxcode[17] = 0x7fffffff;
  return { maxcode, valptr, mincode, symbols, lookup };
}

class BitReader {
  constructor(buf, pos) {
    this.buf = buf;
    this.pos = pos;
    this.bits = 0;
    this.count = 0;
    this.marker = false;
    this.padding = 0; // zero bytes given after the data ran out
  }

  fill() {
    while (this.count <= 24) {
      let byte = 0;
      if (!this.marker && this.pos < this.buf.length) {
        byte = this.buf[this.pos];
        if (byte === 0xff) {
          const next = this.buf[this.pos + 1];
          if (next === 0x00) this.pos += 2;
          else {
            this.marker = true; // a marker ends the data: zeros from here
            byte = 0;
            this.padding++;
          }
        } else this.pos++;
      } else this.padding++;
      this.bits = (this.bits << 8) | byte;
      this.count += 8;
    }
  }

  peek(n) {
    if (this.count < n) this.fill();
    return (this.bits >>> (this.count - n)) & ((1 << n) - 1);
  }

  skip(n) { this.count -= n; }

  // Whether a code was taken from the zeros after the data: the data is cut short. (Only what is
  // still unread of the last bytes given may be padding.)
  overrun() { return this.padding * 8 > this.count; }

  get(n) {
    if (n === 0) return 0;
    const v = this.peek(n);
    this.skip(n);
    return v;
  }

  decode(t) {
    const p = this.peek(9);
    const hit = t.lookup[p];
    if (hit >= 0) {
      this.skip(hit >> 8);
      return hit & 0xff;
    }
    let code = this.peek(9);
    this.skip(9);
    let len = 9;
    while (code > t.maxcode[len]) {
      code = (code << 1) | this.get(1);
      if (++len > 16) throw new PictureError('bad Huffman code');
    }
    return t.symbols[t.valptr[len] + code - t.mincode[len]];
  }

  // After a restart marker: drop the partial byte and step over the marker.
  restart() {
    this.bits = 0;
    this.count = 0;
    while (this.pos + 1 < this.buf.length && !(this.buf[this.pos] === 0xff && this.buf[this.pos + 1] >= 0xd0 && this.buf[this.pos + 1] <= 0xd7)) this.pos++;
    this.pos += 2;
    this.marker = false;
    this.padding = 0;
  }
}

const extend = (v, n) => (n === 0 ? 0 : v < 1 << (n - 1) ? v - (1 << n) + 1 : v);

function idctBlock(coef, out, outOffset, stride) {
  const tmp = new Float64Array(64);
  for (let y = 0; y < 8; y++) {
    for (let x = 0; x < 8; x++) {
      let s = 0;
      for (let u = 0; u < 8; u++) s += COS[x * 8 + u] * coef[y * 8 + u];
      tmp[y * 8 + x] = s;
    }
  }
  for (let x = 0; x < 8; x++) {
    for (let y = 0; y < 8; y++) {
      let s = 0;
      for (let v = 0; v < 8; v++) s += COS[y * 8 + v] * tmp[v * 8 + x];
      const p = Math.round(s + 128);
      out[outOffset + y * stride + x] = p < 0 ? 0 : p > 255 ? 255 : p;
    }
  }
}

function exifOrientation(buf, start, end) {
  if (buf.toString('latin1', start, start + 6) !== 'Exif\0\0') return 1;
  const t = start + 6;
  const little = buf[t] === 0x49;
  const u16 = (o) => (o + 2 <= end ? (little ? buf.readUInt16LE(o) : buf.readUInt16BE(o)) : 0);
  const u32 = (o) => (o + 4 <= end ? (little ? buf.readUInt32LE(o) : buf.readUInt32BE(o)) : 0);
  const ifd = t + u32(t + 4);
  const n = u16(ifd);
  for (let i = 0; i < n; i++) {
    const e = ifd + 2 + i * 12;
    if (e + 12 > end) break;
    if (u16(e) === 0x0112) {
      const o = u16(e + 8);
      return o >= 1 && o <= 8 ? o : 1;
    }
  }
  return 1;
}

// Returns { width, height, orientation, planes: [Y, Cb, Cr] } at each component's own resolution.
export function decodeJpeg(buf) {
  if (buf[0] !== 0xff || buf[1] !== 0xd8) throw new PictureError('not a JPEG');
  const qt = [];
  const dc = [];
  const ac = [];
  let frame = null;
  let restartInterval = 0;
  let orientation = 1;
  let pos = 2;
  while (pos + 4 <= buf.length) {
    if (buf[pos] !== 0xff) { pos++; continue; }
    const marker = buf[pos + 1];
    if (marker === 0xff || marker === 0xd8 || (marker >= 0xd0 && marker <= 0xd7)) { pos++; continue; }
    if (marker === 0xd9) break;
    const len = buf.readUInt16BE(pos + 2);
    const start = pos + 4;
    const end = pos + 2 + len;
    if (len < 2) throw new PictureError('bad segment length');
    if (end > buf.length) throw new PictureError('cut short');
    if (marker === 0xdb) {
      for (let p = start; p < end;) {
        const sixteen = buf[p] >> 4;
        const id = buf[p] & 15;
        p++;
        if (p + (sixteen ? 128 : 64) > end) throw new PictureError('bad quantisation table');
        const table = new Int32Array(64);
        for (let i = 0; i < 64; i++) {
          table[ZIGZAG[i]] = sixteen ? buf.readUInt16BE(p + i * 2) : buf[p + i];
        }
        p += sixteen ? 128 : 64;
        qt[id] = table;
      }
    } else if (marker === 0xc4) {
      for (let p = start; p < end;) {
        const cls = buf[p] >> 4;
        const id = buf[p] & 15;
        const counts = buf.subarray(p + 1, p + 17);
        const total = counts.reduce((a, b) => a + b, 0);
        if (p + 17 + total > end) throw new PictureError('bad Huffman table');
        const table = huffmanTable(counts, buf.subarray(p + 17, p + 17 + total));
        (cls === 0 ? dc : ac)[id] = table;
        p += 17 + total;
      }
    } else if (marker === 0xc0 || marker === 0xc1) {
      if (end - start < 6 || end - start < 6 + buf[start + 5] * 3) throw new PictureError('bad frame header');
      if (buf[start] !== 8) throw new PictureError('not 8-bit');
      const height = buf.readUInt16BE(start + 1);
      const width = buf.readUInt16BE(start + 3);
      const n = buf[start + 5];
      if (!width || !height || width * height > MAX_PIXELS) throw new PictureError('size');
      if (n !== 1 && n !== 3) throw new PictureError('components');
      const comps = [];
      for (let i = 0; i < n; i++) {
        const o = start + 6 + i * 3;
        comps.push({ id: buf[o], h: buf[o + 1] >> 4, v: buf[o + 1] & 15, tq: buf[o + 2] });
      }
      if (comps.some((c, i) => c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4 || comps.findIndex((x) => x.id === c.id) !== i)) {
        throw new PictureError('bad components');
      }
      frame = { width, height, comps };
    } else if (marker >= 0xc2 && marker <= 0xcf && marker !== 0xc4 && marker !== 0xc8 && marker !== 0xcc) {
      throw new PictureError('progressive or other coding');
    } else if (marker === 0xdd) {
      if (end - start < 2) throw new PictureError('bad restart interval');
      restartInterval = buf.readUInt16BE(start);
    } else if (marker === 0xe1 && orientation === 1) {
      orientation = exifOrientation(buf, start, end);
    } else if (marker === 0xda) {
      if (!frame) throw new PictureError('no frame');
      const ns = buf[start];
      if (end - start < 1 + ns * 2) throw new PictureError('bad scan header');
      const scan = [];
      for (let i = 0; i < ns; i++) {
        const c = frame.comps.find((x) => x.id === buf[start + 1 + i * 2]);
        if (!c || scan.includes(c)) throw new PictureError('scan component');
        c.dc = dc[buf[start + 2 + i * 2] >> 4];
        c.ac = ac[buf[start + 2 + i * 2] & 15];
        scan.push(c);
      }
      if (ns !== frame.comps.length) throw new PictureError('one scan per component');
      // A single component is coded block by block, whatever its sampling factors say.
      if (ns === 1) scan[0].h = scan[0].v = 1;
      decodeScan(buf, end, frame, scan, qt, restartInterval);
      return {
        width: frame.width, height: frame.height, orientation,
        planes: frame.comps.map((c) => c.plane),
      };
    }
    pos = end;
  }
  throw new PictureError('no image data');
}

function decodeScan(buf, pos, frame, comps, qt, restartInterval) {
  const hmax = Math.max(...comps.map((c) => c.h));
  const vmax = Math.max(...comps.map((c) => c.v));
  const mcuW = 8 * hmax;
  const mcuH = 8 * vmax;
  const mcusX = Math.ceil(frame.width / mcuW);
  const mcusY = Math.ceil(frame.height / mcuH);
  for (const c of comps) {
    if (!c.dc || !c.ac || !qt[c.tq]) throw new PictureError('missing table');
    c.stride = mcusX * c.h * 8;
    c.full = new Uint8Array(c.stride * mcusY * c.v * 8);
    c.pred = 0;
    c.q = qt[c.tq];
  }
  const reader = new BitReader(buf, pos);
  const coef = new Float64Array(64);
  let mcu = 0;
  for (let my = 0; my < mcusY; my++) {
    for (let mx = 0; mx < mcusX; mx++) {
      if (restartInterval && mcu > 0 && mcu % restartInterval === 0) {
        reader.restart();
        for (const c of comps) c.pred = 0;
      }
      mcu++;
      for (const c of comps) {
        for (let by = 0; by < c.v; by++) {
          for (let bx = 0; bx < c.h; bx++) {
            coef.fill(0);
            const t = reader.decode(c.dc);
            if (t > 11) throw new PictureError('bad DC difference'); // 8-bit samples need at most 11 bits
            c.pred += extend(reader.get(t), t);
            coef[0] = c.pred * c.q[0];
            for (let k = 1; k < 64;) {
              const rs = reader.decode(c.ac);
              const r = rs >> 4;
              const s = rs & 15;
              if (s === 0) {
                if (r !== 15) break;
                k += 16;
                continue;
              }
              k += r;
              if (k > 63) break;
              const z = ZIGZAG[k];
              coef[z] = extend(reader.get(s), s) * c.q[z];
              k++;
            }
            // Without this, a few bytes that claim a large picture would decode it whole from zeros.
            if (reader.overrun()) throw new PictureError('cut short');
            const x = (mx * c.h + bx) * 8;
            const y = (my * c.v + by) * 8;
            idctBlock(coef, c.full, y * c.stride + x, c.stride);
          }
        }
      }
    }
  }
  // Each component's plane, cut to the part that covers the picture.
  for (const c of comps) {
    const w = Math.ceil((frame.width * c.h) / hmax);
    const h = Math.ceil((frame.height * c.v) / vmax);
    const p = plane(w, h);
    for (let y = 0; y < h; y++) p.data.set(c.full.subarray(y * c.stride, y * c.stride + w), y * w);
    c.plane = p;
    c.full = null;
  }
}

// The picture's size from its frame header alone (no decoding), or null.
export function jpegSize(buf) {
  for (let i = 2; buf[0] === 0xff && buf[1] === 0xd8 && i + 9 < buf.length && buf[i] === 0xff; i += 2 + buf.readUInt16BE(i + 2)) {
    const m = buf[i + 1];
    if (m >= 0xc0 && m <= 0xcf && m !== 0xc4 && m !== 0xc8 && m !== 0xcc) return { width: buf.readUInt16BE(i + 7), height: buf.readUInt16BE(i + 5) };
  }
  return null;
}
