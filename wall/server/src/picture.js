// Phone-sized copies of the poll picture. The DJ's picture may be a 3000 × 2000 camera photo of
// a few megabytes; every phone in the room would load it. phoneSized() decodes a baseline JPEG
// (with its EXIF orientation) or a PNG, scales it down by area averaging and encodes a baseline
// JPEG of at most PHONE_SIDE pixels on its long side. It works on Y, Cb and Cr planes throughout,
// so a JPEG is never turned into full-size RGB. Progressive JPEGs, WebP and interlaced PNGs are
// not decoded: phoneSized() returns null and the original is used.
//
// This is CPU work of up to a second for a large picture: app.js runs it on a worker thread
// (picture-worker.js), never on the thread that answers guests.

import zlib from 'node:zlib';

export const PHONE_SIDE = 960;
export const PHONE_QUALITY = 80;
// A picture already this small is sent to phones as it is.
export const PHONE_BYTES = 250 * 1024;
const MAX_PIXELS = 50e6;

const unsupported = (why) => new Error(`cannot make a phone copy: ${why}`);

// ---------------------------------------------------------------- planes

// A plane: { w, h, data: Uint8Array (w * h) }.
const plane = (w, h) => ({ w, h, data: new Uint8Array(w * h) });

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
function orient(p, o) {
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

// ---------------------------------------------------------------- JPEG: shared tables

const ZIGZAG = Int32Array.from([
  0, 1, 8, 16, 9, 2, 3, 10, 17, 24, 32, 25, 18, 11, 4, 5, 12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6, 7, 14, 21,
  28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61,
  54, 47, 55, 62, 63,
]);

const UNZIGZAG = new Int32Array(64);
ZIGZAG.forEach((natural, i) => { UNZIGZAG[natural] = i; });

// COS[x * 8 + u] = C(u) / 2 * cos((2x + 1) u π / 16), for the 8-point DCT and its inverse.
const COS = new Float64Array(64);
for (let x = 0; x < 8; x++) {
  for (let u = 0; u < 8; u++) COS[x * 8 + u] = (u === 0 ? Math.SQRT1_2 : 1) / 2 * Math.cos(((2 * x + 1) * u * Math.PI) / 16);
}

// ---------------------------------------------------------------- JPEG decoder (baseline)

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
          }
        } else this.pos++;
      }
      this.bits = (this.bits << 8) | byte;
      this.count += 8;
    }
  }

  peek(n) {
    if (this.count < n) this.fill();
    return (this.bits >>> (this.count - n)) & ((1 << n) - 1);
  }

  skip(n) { this.count -= n; }

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
      if (++len > 16) throw unsupported('bad Huffman code');
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
    if (u16(e) === 0x0112) return u16(e + 8);
  }
  return 1;
}

// Returns { width, height, orientation, planes: [Y, Cb, Cr] } at each component's own resolution.
export function decodeJpeg(buf) {
  if (buf[0] !== 0xff || buf[1] !== 0xd8) throw unsupported('not a JPEG');
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
    if (end > buf.length) throw unsupported('cut short');
    if (marker === 0xdb) {
      for (let p = start; p < end;) {
        const sixteen = buf[p] >> 4;
        const id = buf[p] & 15;
        p++;
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
        const table = huffmanTable(counts, buf.subarray(p + 17, p + 17 + total));
        (cls === 0 ? dc : ac)[id] = table;
        p += 17 + total;
      }
    } else if (marker === 0xc0 || marker === 0xc1) {
      if (buf[start] !== 8) throw unsupported('not 8-bit');
      const height = buf.readUInt16BE(start + 1);
      const width = buf.readUInt16BE(start + 3);
      const n = buf[start + 5];
      if (!width || !height || width * height > MAX_PIXELS) throw unsupported('size');
      if (n !== 1 && n !== 3) throw unsupported('components');
      const comps = [];
      for (let i = 0; i < n; i++) {
        const o = start + 6 + i * 3;
        comps.push({ id: buf[o], h: buf[o + 1] >> 4, v: buf[o + 1] & 15, tq: buf[o + 2] });
      }
      frame = { width, height, comps };
    } else if (marker >= 0xc2 && marker <= 0xcf && marker !== 0xc4 && marker !== 0xc8 && marker !== 0xcc) {
      throw unsupported('progressive or other coding');
    } else if (marker === 0xdd) {
      restartInterval = buf.readUInt16BE(start);
    } else if (marker === 0xe1 && orientation === 1) {
      orientation = exifOrientation(buf, start, end);
    } else if (marker === 0xda) {
      if (!frame) throw unsupported('no frame');
      const ns = buf[start];
      const scan = [];
      for (let i = 0; i < ns; i++) {
        const c = frame.comps.find((x) => x.id === buf[start + 1 + i * 2]);
        if (!c) throw unsupported('scan component');
        c.dc = dc[buf[start + 2 + i * 2] >> 4];
        c.ac = ac[buf[start + 2 + i * 2] & 15];
        scan.push(c);
      }
      if (ns !== frame.comps.length) throw unsupported('one scan per component');
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
  throw unsupported('no image data');
}

function decodeScan(buf, pos, frame, comps, qt, restartInterval) {
  const hmax = Math.max(...comps.map((c) => c.h));
  const vmax = Math.max(...comps.map((c) => c.v));
  const mcuW = 8 * hmax;
  const mcuH = 8 * vmax;
  const mcusX = Math.ceil(frame.width / mcuW);
  const mcusY = Math.ceil(frame.height / mcuH);
  for (const c of comps) {
    if (!c.dc || !c.ac || !qt[c.tq]) throw unsupported('missing table');
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

// ---------------------------------------------------------------- PNG decoder

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
      ihdr = { width: data.readUInt32BE(0), height: data.readUInt32BE(4), depth: data[8], color: data[9], interlace: data[12] };
    } else if (type === 'PLTE') palette = data;
    else if (type === 'tRNS') alphas = data;
    else if (type === 'IDAT') idat.push(data);
    else if (type === 'IEND') break;
    pos += 12 + len;
  }
  if (!ihdr) throw unsupported('no header');
  const { width, height, depth, color, interlace } = ihdr;
  const channels = { 0: 1, 2: 3, 3: 1, 4: 2, 6: 4 }[color];
  if (!channels || interlace || !width || !height || width * height > MAX_PIXELS) throw unsupported('PNG kind');
  if (color === 3 ? ![1, 2, 4, 8].includes(depth) : color === 0 ? ![1, 2, 4, 8, 16].includes(depth) : ![8, 16].includes(depth)) {
    throw unsupported('PNG depth');
  }
  if (color === 3 && !palette) throw unsupported('no palette');
  const bitsPerPixel = channels * depth;
  const bpp = Math.max(1, bitsPerPixel >> 3);
  const rowBytes = Math.ceil((width * bitsPerPixel) / 8);
  const raw = zlib.inflateSync(Buffer.concat(idat), { maxOutputLength: (rowBytes + 1) * height + 1 });
  if (raw.length < (rowBytes + 1) * height) throw unsupported('PNG data cut short');
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

// ---------------------------------------------------------------- JPEG encoder (baseline, 4:2:0)

const STD_LUMA_Q = [16, 11, 10, 16, 24, 40, 51, 61, 12, 12, 14, 19, 26, 58, 60, 55, 14, 13, 16, 24, 40, 57, 69, 56,
  14, 17, 22, 29, 51, 87, 80, 62, 18, 22, 37, 56, 68, 109, 103, 77, 24, 35, 55, 64, 81, 104, 113, 92, 49, 64, 78, 87,
  103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99];
const STD_CHROMA_Q = [17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99, 99, 99,
  47, 66, 99, 99, 99, 99, 99, 99, ...new Array(32).fill(99)];

// The usual tables of the JPEG standard (Annex K.3): code counts per length, then symbols.
const DC_LUMA = [[0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0], [0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11]];
const DC_CHROMA = [[0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0], [0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11]];
const AC_LUMA = [[0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d], hexBytes(
  '01020300041105122131410613516107227114328191a1082342b1c11552d1f02433627282090a161718191a25262728292a3435363738393a434445464748494a535455565758595a636465666768696a737475767778797a838485868788898a92939495969798999aa2a3a4a5a6a7a8a9aab2b3b4b5b6b7b8b9bac2c3c4c5c6c7c8c9cad2d3d4d5d6d7d8d9dae1e2e3e4e5e6e7e8e9eaf1f2f3f4f5f6f7f8f9fa')];
const AC_CHROMA = [[0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77], hexBytes(
  '000102031104052131061241510761711322328108144291a1b1c109233352f0156272d10a162434e125f11718191a262728292a35363738393a434445464748494a535455565758595a636465666768696a737475767778797a82838485868788898a92939495969798999aa2a3a4a5a6a7a8a9aab2b3b4b5b6b7b8b9bac2c3c4c5c6c7c8c9cad2d3d4d5d6d7d8d9dae2e3e4e5e6e7e8e9eaf2f3f4f5f6f7f8f9fa')];

function hexBytes(hex) {
  return Array.from(Buffer.from(hex, 'hex'));
}

// symbol -> [code, length]
function encodingTable([counts, symbols]) {
  const codes = new Map();
  let code = 0;
  let k = 0;
  for (let len = 1; len <= 16; len++) {
    for (let i = 0; i < counts[len - 1]; i++) codes.set(symbols[k++], [code++, len]);
    code <<= 1;
  }
  return codes;
}

function scaledTable(base, quality) {
  const q = Math.min(100, Math.max(1, quality));
  const scale = q < 50 ? 5000 / q : 200 - q * 2;
  return base.map((v) => Math.min(255, Math.max(1, Math.floor((v * scale + 50) / 100))));
}

class BitWriter {
  constructor() {
    this.bytes = [];
    this.acc = 0;
    this.n = 0;
  }

  put(code, len) {
    for (let i = len - 1; i >= 0; i--) {
      this.acc = (this.acc << 1) | ((code >> i) & 1);
      if (++this.n === 8) {
        this.bytes.push(this.acc);
        if (this.acc === 0xff) this.bytes.push(0);
        this.acc = 0;
        this.n = 0;
      }
    }
  }

  flush() {
    if (this.n > 0) this.put((1 << (8 - this.n)) - 1, 8 - this.n);
  }
}

const bitLength = (v) => {
  let a = Math.abs(v);
  let n = 0;
  while (a) { n++; a >>= 1; }
  return n;
};

function encodeBlock(w, block, q, prevDc, dcCodes, acCodes) {
  // Forward DCT, quantised, in zigzag order.
  const tmp = new Float64Array(64);
  for (let y = 0; y < 8; y++) {
    for (let u = 0; u < 8; u++) {
      let s = 0;
      for (let x = 0; x < 8; x++) s += COS[x * 8 + u] * block[y * 8 + x];
      tmp[y * 8 + u] = s;
    }
  }
  const zz = new Int32Array(64);
  for (let v = 0; v < 8; v++) {
    for (let u = 0; u < 8; u++) {
      let s = 0;
      for (let y = 0; y < 8; y++) s += COS[y * 8 + v] * tmp[y * 8 + u];
      zz[UNZIGZAG[v * 8 + u]] = Math.round(s / q[v * 8 + u]);
    }
  }
  const diff = zz[0] - prevDc;
  const dn = bitLength(diff);
  w.put(...dcCodes.get(dn));
  if (dn) w.put(diff < 0 ? diff + (1 << dn) - 1 : diff, dn);
  let run = 0;
  for (let k = 1; k < 64; k++) {
    const v = zz[k];
    if (v === 0) { run++; continue; }
    while (run > 15) {
      w.put(...acCodes.get(0xf0));
      run -= 16;
    }
    const n = bitLength(v);
    w.put(...acCodes.get((run << 4) | n));
    w.put(v < 0 ? v + (1 << n) - 1 : v, n);
    run = 0;
  }
  if (run > 0) w.put(...acCodes.get(0x00));
  return zz[0];
}

// Y at w × h, Cb and Cr at half size (rounded up), into a baseline JPEG.
export function encodeJpeg(Y, Cb, Cr, quality = PHONE_QUALITY) {
  const lq = scaledTable(STD_LUMA_Q, quality);
  const cq = scaledTable(STD_CHROMA_Q, quality);
  const tables = [DC_LUMA, AC_LUMA, DC_CHROMA, AC_CHROMA].map(encodingTable);
  const w = new BitWriter();
  const block = new Float64Array(64);
  const take = (p, x0, y0) => {
    for (let y = 0; y < 8; y++) {
      const sy = Math.min(p.h - 1, y0 + y);
      for (let x = 0; x < 8; x++) block[y * 8 + x] = p.data[sy * p.w + Math.min(p.w - 1, x0 + x)] - 128;
    }
    return block;
  };
  const pred = [0, 0, 0];
  for (let my = 0; my < Math.ceil(Y.h / 16); my++) {
    for (let mx = 0; mx < Math.ceil(Y.w / 16); mx++) {
      for (let b = 0; b < 4; b++) {
        pred[0] = encodeBlock(w, take(Y, mx * 16 + (b & 1) * 8, my * 16 + (b >> 1) * 8), lq, pred[0], tables[0], tables[1]);
      }
      pred[1] = encodeBlock(w, take(Cb, mx * 8, my * 8), cq, pred[1], tables[2], tables[3]);
      pred[2] = encodeBlock(w, take(Cr, mx * 8, my * 8), cq, pred[2], tables[2], tables[3]);
    }
  }
  w.flush();

  const seg = (marker, body) => {
    const b = Buffer.alloc(4);
    b.writeUInt16BE(0xff00 | marker, 0);
    b.writeUInt16BE(body.length + 2, 2);
    return Buffer.concat([b, Buffer.from(body)]);
  };
  const zigzagged = (t) => Array.from(ZIGZAG, (z) => t[z]);
  const dht = (cls, id, [counts, symbols]) => [(cls << 4) | id, ...counts, ...symbols];
  return Buffer.concat([
    Buffer.from([0xff, 0xd8]),
    seg(0xe0, [0x4a, 0x46, 0x49, 0x46, 0, 1, 1, 0, 0, 1, 0, 1, 0, 0]),
    seg(0xdb, [0, ...zigzagged(lq), 1, ...zigzagged(cq)]),
    seg(0xc0, [8, Y.h >> 8, Y.h & 255, Y.w >> 8, Y.w & 255, 3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1]),
    seg(0xc4, [...dht(0, 0, DC_LUMA), ...dht(1, 0, AC_LUMA), ...dht(0, 1, DC_CHROMA), ...dht(1, 1, AC_CHROMA)]),
    seg(0xda, [3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0]),
    Buffer.from(w.bytes),
    Buffer.from([0xff, 0xd9]),
  ]);
}

// ---------------------------------------------------------------- the phone copy

// Whether a picture may need a copy, from its first bytes alone: a JPEG or PNG larger than a
// phone needs. Saves starting a worker for a picture that is small already.
export function worthCopying(buf) {
  if (buf.length > PHONE_BYTES) return true;
  const size = pictureSize(buf);
  return !!size && Math.max(size.width, size.height) > PHONE_SIDE;
}

function pictureSize(buf) {
  if (buf.length >= 24 && buf.toString('latin1', 1, 4) === 'PNG' && buf.toString('latin1', 12, 16) === 'IHDR') {
    return { width: buf.readUInt32BE(16), height: buf.readUInt32BE(20) };
  }
  for (let i = 2; buf[0] === 0xff && buf[1] === 0xd8 && i + 9 < buf.length && buf[i] === 0xff; i += 2 + buf.readUInt16BE(i + 2)) {
    const m = buf[i + 1];
    if (m >= 0xc0 && m <= 0xcf && m !== 0xc4 && m !== 0xc8 && m !== 0xcc) return { width: buf.readUInt16BE(i + 7), height: buf.readUInt16BE(i + 5) };
  }
  return null;
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
