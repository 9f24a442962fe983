// A zip archive written entry by entry to a stream (the night report's download), so that a night
// of photos is never held in memory at once. Photos are stored as they are (a JPEG does not get
// smaller), other entries deflated. Names are UTF-8 (flag bit 11), times UTC. No 64-bit records:
// at most 65,535 entries and 4 GB, which the uploads folder's cap keeps far below.

import zlib from 'node:zlib';

const LOCAL = 0x04034b50;
const CENTRAL = 0x02014b50;
const END = 0x06054b50;
const STORED_TYPES = /\.(jpe?g|png|webp)$/i;

function dosTime(ms) {
  const d = new Date(Math.max(ms, Date.UTC(1980, 0, 1)));
  return {
    time: (d.getUTCHours() << 11) | (d.getUTCMinutes() << 5) | (d.getUTCSeconds() >> 1),
    date: ((d.getUTCFullYear() - 1980) << 9) | ((d.getUTCMonth() + 1) << 5) | d.getUTCDate(),
  };
}

// write(buffer): a promise that resolves when the stream can take more.
export class ZipWriter {
  constructor(write, atMs = Date.now()) {
    this.write = write;
    this.stamp = dosTime(atMs);
    this.central = [];
    this.offset = 0;
    this.names = new Set();
  }

  header(kind, name, data, body, method) {
    const b = Buffer.alloc(kind === LOCAL ? 30 : 46);
    let at = 0;
    b.writeUInt32LE(kind, at); at += 4;
    if (kind === CENTRAL) { b.writeUInt16LE(20, at); at += 2; }
    b.writeUInt16LE(20, at); at += 2;
    b.writeUInt16LE(0x0800, at); at += 2;
    b.writeUInt16LE(method, at); at += 2;
    b.writeUInt16LE(this.stamp.time, at); at += 2;
    b.writeUInt16LE(this.stamp.date, at); at += 2;
    b.writeUInt32LE(zlib.crc32(data), at); at += 4;
    b.writeUInt32LE(body.length, at); at += 4;
    b.writeUInt32LE(data.length, at); at += 4;
    b.writeUInt16LE(name.length, at);
    if (kind === CENTRAL) b.writeUInt32LE(this.offset, 42);
    return b;
  }

  async add(entryName, data) {
    if (this.names.has(entryName)) throw new Error(`entry twice: ${entryName}`);
    this.names.add(entryName);
    const name = Buffer.from(entryName, 'utf8');
    const deflate = !STORED_TYPES.test(entryName);
    const body = deflate ? zlib.deflateRawSync(data) : data;
    const local = this.header(LOCAL, name, data, body, deflate ? 8 : 0);
    this.central.push(this.header(CENTRAL, name, data, body, deflate ? 8 : 0), name);
    this.offset += local.length + name.length + body.length;
    if (this.names.size > 0xffff || this.offset > 0xffffffff) throw new Error('too large for a zip without 64-bit records');
    await this.write(Buffer.concat([local, name, body]));
  }

  async end() {
    const central = Buffer.concat(this.central);
    const end = Buffer.alloc(22);
    end.writeUInt32LE(END, 0);
    end.writeUInt16LE(this.names.size, 8);
    end.writeUInt16LE(this.names.size, 10);
    end.writeUInt32LE(central.length, 12);
    end.writeUInt32LE(this.offset, 16);
    await this.write(Buffer.concat([central, end]));
  }
}
