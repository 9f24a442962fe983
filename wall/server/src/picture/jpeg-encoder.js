// Baseline JPEG encoding, 4:2:0, with the standard's tables scaled to a quality: the phone copy.

import { COS, UNZIGZAG, ZIGZAG } from './jpeg.js';

// The quality phone copies are encoded at (1..100).
export const PHONE_QUALITY = 80;

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
