// Writes the seed corpus of one JavaScript fuzz target: tiny valid pictures of the kinds the
// decoders read, each also cut short, and the headers of kinds they refuse. Made here rather than
// committed as binaries so that a change of the encoder or of a format rule shows in review.
// Usage: node seeds.mjs jpeg|png|picture DIR

import fs from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';
import { encodeJpeg } from '../../../wall/server/src/picture.js';

const planeOf = (w, h, f) => ({ w, h, data: Uint8Array.from({ length: w * h }, (_, i) => f(i % w, Math.floor(i / w))) });

// Baseline 4:2:0 JPEGs from the encoder, one with an EXIF orientation (turned a quarter: the
// copy is then made even of a small picture), one with a restart interval in its header.
function jpegs() {
  const make = (w, h, dx = 0) => encodeJpeg(planeOf(w, h, (x, y) => ((x + dx) * 37 + y * 11) % 256),
    planeOf(Math.ceil(w / 2), Math.ceil(h / 2), (x) => 100 + x * 9), planeOf(Math.ceil(w / 2), Math.ceil(h / 2), (x, y) => 140 - y * 7), 75);
  const small = make(8, 8);
  const odd = make(17, 9);
  const exif = Buffer.from('457869660000' + '4d4d002a00000008' + '0001' + '011200030000000100060000' + '00000000', 'hex');
  const segment = (marker, body) => Buffer.concat([Buffer.from([0xff, marker, 0, body.length + 2]), body]);
  const turned = Buffer.concat([odd.subarray(0, 2), segment(0xe1, exif), odd.subarray(2)]);
  // 32 × 16 in two MCUs with a restart marker between them: each half encoded on its own is one
  // MCU whose data starts from a zero DC prediction and ends on a byte, as a restart interval does.
  const data = (jpeg) => {
    let i = 2;
    while (jpeg[i + 1] !== 0xda) i += 2 + jpeg.readUInt16BE(i + 2);
    return [jpeg.subarray(0, i), jpeg.subarray(i, i + 2 + jpeg.readUInt16BE(i + 2)), jpeg.subarray(i + 2 + jpeg.readUInt16BE(i + 2), -2)];
  };
  const [head, sos, left] = data(make(16, 16));
  const right = data(make(16, 16, 16))[2];
  const wide = Buffer.from(head);
  for (let i = 2; i < wide.length; i += 2 + wide.readUInt16BE(i + 2)) if (wide[i + 1] === 0xc0) wide.writeUInt16BE(32, i + 7);
  const restarts = Buffer.concat([wide, segment(0xdd, Buffer.from([0, 1])), sos, left, Buffer.from([0xff, 0xd0]), right, Buffer.from([0xff, 0xd9])]);
  const progressive = Buffer.from('ffd8ffc2000b08000100010111000000ffd9', 'hex');
  return { small, odd, turned, restarts, progressive };
}

// PNGs of every colour type, at small and odd depths, with each filter type in turn.
function pngs() {
  const chunk = (type, data) => {
    const len = Buffer.alloc(4);
    len.writeUInt32BE(data.length);
    return Buffer.concat([len, Buffer.from(type, 'latin1'), data, Buffer.alloc(4)]);
  };
  const png = (w, h, depth, color, extra = []) => {
    const channels = { 0: 1, 2: 3, 3: 1, 4: 2, 6: 4 }[color];
    const rowBytes = Math.ceil((w * channels * depth) / 8);
    const raw = Buffer.alloc((rowBytes + 1) * h);
    for (let y = 0; y < h; y++) {
      raw[y * (rowBytes + 1)] = y % 5;
      for (let i = 1; i <= rowBytes; i++) raw[y * (rowBytes + 1) + i] = (i * 29 + y * 7) & 255;
    }
    const ihdr = Buffer.alloc(13);
    ihdr.writeUInt32BE(w, 0);
    ihdr.writeUInt32BE(h, 4);
    ihdr.set([depth, color, 0, 0, 0], 8);
    return Buffer.concat([Buffer.from('89504e470d0a1a0a', 'hex'), chunk('IHDR', ihdr), ...extra,
      chunk('IDAT', zlib.deflateSync(raw)), chunk('IEND', Buffer.alloc(0))]);
  };
  const palette = [chunk('PLTE', Buffer.from([0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255])), chunk('tRNS', Buffer.from([255, 128]))];
  return {
    grey1: png(5, 3, 1, 0), grey16: png(3, 2, 16, 0), rgb8: png(3, 5, 8, 2), palette2: png(7, 2, 2, 3, palette),
    greyAlpha8: png(2, 5, 8, 4), rgba16: png(3, 5, 16, 6),
  };
}

const webp = { webp: Buffer.concat([Buffer.from('RIFF\x24\0\0\0WEBPVP8 \x18\0\0\0', 'latin1'), Buffer.alloc(24)]) };

const sets = {
  jpeg: () => jpegs(),
  png: () => pngs(),
  picture: () => ({ ...jpegs(), ...pngs(), ...webp }),
};

const [target, dir] = process.argv.slice(2);
if (!sets[target] || !dir) throw new Error('usage: node seeds.mjs jpeg|png|picture DIR');
fs.mkdirSync(dir, { recursive: true });
for (const [name, buf] of Object.entries(sets[target]())) {
  fs.writeFileSync(path.join(dir, name), buf);
  fs.writeFileSync(path.join(dir, `${name}-cut`), buf.subarray(0, Math.ceil(buf.length * 0.6)));
}
