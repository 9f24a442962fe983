// A zip archive that is the same bytes every time it is made from the same files: entries in byte
// order of their names, every entry stamped with one given time, no extra fields, no attributes but
// the plain ones. What Windows' tar (bsdtar) and every unzip read: deflate, or stored when deflate
// does not make an entry smaller. Names are UTF-8 (flag bit 11); folders are implied by the names.
import fs from 'node:fs';
import zlib from 'node:zlib';

const LOCAL = 0x04034b50;
const CENTRAL = 0x02014b50;
const END = 0x06054b50;

// MS-DOS date and time of `seconds` since 1970, UTC (a zip keeps no zone); 1980 at the earliest.
export function dosDateTime(seconds) {
  const d = new Date(Math.max(seconds, 315532800) * 1000);
  const time = (d.getUTCHours() << 11) | (d.getUTCMinutes() << 5) | (d.getUTCSeconds() >> 1);
  const date = ((d.getUTCFullYear() - 1980) << 9) | ((d.getUTCMonth() + 1) << 5) | d.getUTCDate();
  return { time, date };
}

// entries: [{ name: 'folder/file', data: Buffer }]; names use '/', no leading '/', no '..'.
export function zipBytes(entries, seconds) {
  const { time, date } = dosDateTime(seconds);
  const sorted = [...entries].sort((a, b) => Buffer.compare(Buffer.from(a.name), Buffer.from(b.name)));
  const seen = new Set();
  const parts = [];
  const central = [];
  let offset = 0;
  for (const entry of sorted) {
    if (!entry.name || entry.name.startsWith('/') || entry.name.split('/').some((p) => p === '' || p === '..' || p === '.')) {
      throw new Error(`not a plain entry name: ${JSON.stringify(entry.name)}`);
    }
    if (seen.has(entry.name)) throw new Error(`entry twice: ${entry.name}`);
    seen.add(entry.name);
    const name = Buffer.from(entry.name, 'utf8');
    const deflated = zlib.deflateRawSync(entry.data, { level: 9 });
    const stored = deflated.length >= entry.data.length;
    const body = stored ? entry.data : deflated;
    const crc = zlib.crc32(entry.data);
    const fields = (header) => {
      let at = header === LOCAL ? 4 : 6;  // the central header has "version made by" first
      const b = Buffer.alloc(header === LOCAL ? 30 : 46);
      b.writeUInt32LE(header, 0);
      if (header === CENTRAL) b.writeUInt16LE(20, 4);
      b.writeUInt16LE(20, at); at += 2;             // version needed: 2.0
      b.writeUInt16LE(0x0800, at); at += 2;         // UTF-8 names
      b.writeUInt16LE(stored ? 0 : 8, at); at += 2; // stored or deflate
      b.writeUInt16LE(time, at); at += 2;
      b.writeUInt16LE(date, at); at += 2;
      b.writeUInt32LE(crc, at); at += 4;
      b.writeUInt32LE(body.length, at); at += 4;
      b.writeUInt32LE(entry.data.length, at); at += 4;
      b.writeUInt16LE(name.length, at); at += 2;
      b.writeUInt16LE(0, at);                       // no extra field (nor, centrally, a comment)
      if (header === CENTRAL) b.writeUInt32LE(offset, 42);
      return b;
    };
    central.push(fields(CENTRAL), name);
    const local = fields(LOCAL);
    parts.push(local, name, body);
    offset += local.length + name.length + body.length;
  }
  if (sorted.length > 0xffff || offset > 0xffffffff) throw new Error('too large for a zip without its 64-bit records');
  const centralBytes = Buffer.concat(central);
  const end = Buffer.alloc(22);
  end.writeUInt32LE(END, 0);
  end.writeUInt16LE(sorted.length, 8);
  end.writeUInt16LE(sorted.length, 10);
  end.writeUInt32LE(centralBytes.length, 12);
  end.writeUInt32LE(offset, 16);
  return Buffer.concat([...parts, centralBytes, end]);
}

export function writeZip(file, entries, seconds) {
  fs.writeFileSync(file, zipBytes(entries, seconds));
}
