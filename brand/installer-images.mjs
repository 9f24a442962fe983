// The installer's pictures from rsvg-convert's PNGs (render.sh runs it): the welcome and finish
// pages' side picture as a 24-bit BMP, and the setup program's icon as an ICO of 32-bit pictures.
//   node installer-images.mjs wizard <picture.png> <out.bmp>
//   node installer-images.mjs icon <out.ico> <size.png>...
// Reads only what rsvg-convert writes: 8-bit RGB or RGBA, not interlaced.
import fs from 'node:fs';
import zlib from 'node:zlib';

// { width, height, rgba: Buffer (width * height * 4, top row first) }
function readPng(file) {
  const buf = fs.readFileSync(file);
  let pos = 8;
  let header = null;
  const idat = [];
  while (pos + 8 <= buf.length) {
    const len = buf.readUInt32BE(pos);
    const type = buf.toString('latin1', pos + 4, pos + 8);
    const data = buf.subarray(pos + 8, pos + 8 + len);
    if (type === 'IHDR') header = { width: data.readUInt32BE(0), height: data.readUInt32BE(4), depth: data[8], color: data[9], interlace: data[12] };
    if (type === 'IDAT') idat.push(data);
    pos += 12 + len;
  }
  if (!header || header.depth !== 8 || ![2, 6].includes(header.color) || header.interlace) {
    throw new Error(`${file}: not an 8-bit RGB or RGBA PNG without interlacing`);
  }
  const { width, height } = header;
  const channels = header.color === 6 ? 4 : 3;
  const stride = width * channels;
  const raw = zlib.inflateSync(Buffer.concat(idat));
  const rgba = Buffer.alloc(width * height * 4);
  let prev = Buffer.alloc(stride);
  for (let y = 0; y < height; y++) {
    const filter = raw[y * (stride + 1)];
    const row = Buffer.from(raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1)));
    for (let i = 0; i < stride; i++) {
      const a = i >= channels ? row[i - channels] : 0;
      const b = prev[i];
      const c = i >= channels ? prev[i - channels] : 0;
      const p = a + b - c;
      const paeth = Math.abs(p - a) <= Math.abs(p - b) && Math.abs(p - a) <= Math.abs(p - c) ? a : Math.abs(p - b) <= Math.abs(p - c) ? b : c;
      const add = [0, a, b, (a + b) >> 1, paeth][filter];
      if (add === undefined) throw new Error(`${file}: unknown row filter ${filter}`);
      row[i] = (row[i] + add) & 0xff;
    }
    for (let x = 0; x < width; x++) {
      row.copy(rgba, (y * width + x) * 4, x * channels, x * channels + 3);
      rgba[(y * width + x) * 4 + 3] = channels === 4 ? row[x * channels + 3] : 255;
    }
    prev = row;
  }
  return { width, height, rgba };
}

function infoHeader(width, height, bits, imageBytes) {
  const h = Buffer.alloc(40);
  h.writeUInt32LE(40, 0);
  h.writeInt32LE(width, 4);
  h.writeInt32LE(height, 8);
  h.writeUInt16LE(1, 12);
  h.writeUInt16LE(bits, 14);
  h.writeUInt32LE(imageBytes, 20);
  return h;
}

function writeBmp(picture, file) {
  const { width, height, rgba } = picture;
  const stride = (width * 3 + 3) & ~3;
  const pixels = Buffer.alloc(stride * height);
  for (let y = 0; y < height; y++) {
    for (let x = 0; x < width; x++) {
      const from = (y * width + x) * 4;
      const to = (height - 1 - y) * stride + x * 3;  // bottom row first
      pixels[to] = rgba[from + 2];
      pixels[to + 1] = rgba[from + 1];
      pixels[to + 2] = rgba[from];
    }
  }
  const fileHeader = Buffer.alloc(14);
  fileHeader.write('BM', 0, 'latin1');
  fileHeader.writeUInt32LE(54 + pixels.length, 2);
  fileHeader.writeUInt32LE(54, 10);
  fs.writeFileSync(file, Buffer.concat([fileHeader, infoHeader(width, height, 24, pixels.length), pixels]));
}

// Each size as a 32-bit BGRA picture with its (all-zero) mask, the form every Windows reads.
function writeIco(pictures, file) {
  const images = pictures.map(({ width, height, rgba }) => {
    const pixels = Buffer.alloc(width * height * 4);
    for (let y = 0; y < height; y++) {
      for (let x = 0; x < width; x++) {
        const from = (y * width + x) * 4;
        const to = ((height - 1 - y) * width + x) * 4;
        pixels[to] = rgba[from + 2];
        pixels[to + 1] = rgba[from + 1];
        pixels[to + 2] = rgba[from];
        pixels[to + 3] = rgba[from + 3];
      }
    }
    const mask = Buffer.alloc((((width + 31) >> 5) << 2) * height);
    return Buffer.concat([infoHeader(width, height * 2, 32, pixels.length + mask.length), pixels, mask]);
  });
  const dir = Buffer.alloc(6 + 16 * images.length);
  dir.writeUInt16LE(1, 2);
  dir.writeUInt16LE(images.length, 4);
  let offset = dir.length;
  images.forEach((image, i) => {
    const at = 6 + 16 * i;
    dir[at] = pictures[i].width & 0xff;
    dir[at + 1] = pictures[i].height & 0xff;
    dir.writeUInt16LE(1, at + 4);
    dir.writeUInt16LE(32, at + 6);
    dir.writeUInt32LE(image.length, at + 8);
    dir.writeUInt32LE(offset, at + 12);
    offset += image.length;
  });
  fs.writeFileSync(file, Buffer.concat([dir, ...images]));
}

const [command, ...args] = process.argv.slice(2);
if (command === 'wizard' && args.length === 2) writeBmp(readPng(args[0]), args[1]);
else if (command === 'icon' && args.length >= 2) writeIco(args.slice(1).map(readPng), args[0]);
else {
  process.stderr.write('usage: wizard <picture.png> <out.bmp> | icon <out.ico> <size.png>...\n');
  process.exit(1);
}
