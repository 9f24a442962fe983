// The picture decoders on damaged and hostile bytes (the inputs the fuzz layer found, cut down):
// whatever they are given, they end in a picture or in PictureError, and they do not spend
// seconds on a few bytes that claim a large picture.

import { test } from 'node:test';
import assert from 'node:assert/strict';
import zlib from 'node:zlib';
import { decodeJpeg, decodePng, encodeJpeg, phoneSized, PictureError } from '../src/picture.js';

const planeOf = (w, h, f) => ({ w, h, data: Uint8Array.from({ length: w * h }, (_, i) => f(i % w, Math.floor(i / w))) });
const jpeg = encodeJpeg(planeOf(16, 16, (x, y) => x * 9 + y * 5), planeOf(8, 8, (x) => 100 + x), planeOf(8, 8, (x, y) => 150 - y), 75);

// The offset of the first segment with this marker.
function segment(buf, marker) {
  for (let i = 2; i + 4 <= buf.length; i += 2 + buf.readUInt16BE(i + 2)) if (buf[i + 1] === marker) return i;
  throw new Error(`no segment ${marker.toString(16)}`);
}
function patched(buf, marker, at, bytes) {
  const out = Buffer.from(buf);
  out.set(bytes, segment(out, marker) + at);
  return out;
}
const withExif = (orientation) => {
  const exif = Buffer.from(`4578696600004d4d002a000000080001011200030000000100${orientation.toString(16).padStart(2, '0')}000000000000`, 'hex');
  return Buffer.concat([jpeg.subarray(0, 2), Buffer.from([0xff, 0xe1, 0, exif.length + 2]), exif, jpeg.subarray(2)]);
};

function png(ihdrBytes, idat) {
  const chunk = (type, data) => {
    const len = Buffer.alloc(4);
    len.writeUInt32BE(data.length);
    return Buffer.concat([len, Buffer.from(type, 'latin1'), data, Buffer.alloc(4)]);
  };
  return Buffer.concat([Buffer.from('89504e470d0a1a0a', 'hex'), chunk('IHDR', ihdrBytes), chunk('IDAT', idat), chunk('IEND', Buffer.alloc(0))]);
}
const ihdr = Buffer.from('00000002000000020802000000', 'hex'); // 2 × 2 RGB, 8-bit
const pixels = zlib.deflateSync(Buffer.alloc(2 * 7));

test('damaged pictures end in PictureError, never in another error or a wrong picture', () => {
  assert.equal(decodePng(png(ihdr, pixels)).width, 2, 'the undamaged PNG decodes');
  assert.equal(decodeJpeg(jpeg).width, 16, 'the undamaged JPEG decodes');
  const sos = segment(jpeg, 0xda);
  const cases = {
    'a 16-bit quantisation table past the end of the file': Buffer.from('ffd8ffdb000c10000000000000000000', 'hex'),
    'a segment length under 2': Buffer.concat([Buffer.from('ffd8ffe00000', 'hex'), jpeg.subarray(2)]),
    'a sampling factor of 0': patched(jpeg, 0xc0, 11, [0x02]),
    'a scan naming one component twice': patched(jpeg, 0xda, 7, [1]),
    'a DC difference of more than 11 bits': (() => {
      const b = Buffer.from(jpeg); // the luma DC table's symbols: 0..11 -> 12..15 and 0..7
      const dht = segment(b, 0xc4) + 5 + 16;
      for (let i = 0; i < 12; i++) b[dht + i] = 15 - (i % 4);
      return b;
    })(),
    'entropy data cut off after the scan header': Buffer.concat([jpeg.subarray(0, sos + 2 + jpeg.readUInt16BE(sos + 2) + 2), Buffer.from('ffd9', 'hex')]),
    'a PNG whose compressed data is cut short': png(ihdr, pixels.subarray(0, pixels.length - 6)),
    'a PNG whose compressed data fails its check': png(ihdr, Buffer.concat([pixels.subarray(0, -1), Buffer.from([pixels.at(-1) ^ 1])])),
    'a PNG header of 12 bytes': png(ihdr.subarray(0, 12), pixels),
  };
  const wrong = [];
  for (const [what, bytes] of Object.entries(cases)) {
    const decode = bytes[0] === 0x89 ? decodePng : decodeJpeg;
    try {
      decode(bytes);
      wrong.push(`${what}: decoded`);
    } catch (e) {
      if (!(e instanceof PictureError)) wrong.push(`${what}: ${e.name}: ${e.message}`);
    }
    if (phoneSized(bytes) !== null) wrong.push(`${what}: a phone copy`);
  }
  assert.deepEqual(wrong, []);
});

test('a few bytes that claim a large picture are refused at once; an EXIF orientation outside 1..8 is upright', () => {
  const big = Buffer.from(jpeg);
  const sof = segment(big, 0xc0);
  big.writeUInt16BE(7000, sof + 5);
  big.writeUInt16BE(7000, sof + 7);
  const t0 = performance.now();
  assert.throws(() => decodeJpeg(big), PictureError);
  const ms = performance.now() - t0;
  assert.ok(ms < 2000, `refusing 7000 × 7000 from ${big.length} bytes took ${ms.toFixed(0)} ms`);

  // Turned pictures get an upright copy even when small; an unknown orientation is no turn.
  assert.notEqual(phoneSized(withExif(6)), null, 'a picture to be turned a quarter gets its copy');
  assert.equal(phoneSized(withExif(9)), null, 'orientation 9 is not a turn');
});
