// Marks as weak the runtime versions a prebuilt Node.js addon asks for when every function it
// takes from them is one jazzer-compat.cpp defines. With a weak need, the dynamic loader loads the
// addon although this machine's glibc or libstdc++ is older; the shim, preloaded, then supplies
// those functions. Nothing else in the file changes. Usage: node weaken-versions.mjs ADDON.node
// Prints the versions it marked (none when there is nothing to do).

import fs from 'node:fs';

const SHIM = new Set(['__isoc23_strtol', '__isoc23_strtoul', '_ZSt21ios_base_library_initv']);
const SHT_DYNSYM = 11;
const SHT_GNU_VERNEED = 0x6ffffffe;
const SHT_GNU_VERSYM = 0x6fffffff;
const VER_FLG_WEAK = 2;

const file = process.argv[2];
const elf = fs.readFileSync(file);
if (elf.readUInt32BE(0) !== 0x7f454c46 || elf[4] !== 2 || elf[5] !== 1) throw new Error(`${file}: not a 64-bit little-endian ELF file`);

const sections = [];
const shoff = Number(elf.readBigUInt64LE(0x28));
for (let i = 0; i < elf.readUInt16LE(0x3c); i++) {
  const o = shoff + i * elf.readUInt16LE(0x3a);
  sections.push({ type: elf.readUInt32LE(o + 4), offset: Number(elf.readBigUInt64LE(o + 0x18)), size: Number(elf.readBigUInt64LE(o + 0x20)), link: elf.readUInt32LE(o + 0x28) });
}
const only = (type) => {
  const found = sections.filter((s) => s.type === type);
  if (found.length !== 1) throw new Error(`${file}: expected one section of type ${type.toString(16)}`);
  return found[0];
};
const dynsym = only(SHT_DYNSYM);
const versym = only(SHT_GNU_VERSYM);
const verneed = only(SHT_GNU_VERNEED);
const text = (section, at) => elf.toString('latin1', section.offset + at, elf.indexOf(0, section.offset + at));

// The dynamic symbols' names, by the version index each one is bound to.
const byVersion = new Map();
const dynstr = sections[dynsym.link];
for (let i = 0; i < dynsym.size / 24; i++) {
  const index = elf.readUInt16LE(versym.offset + i * 2) & 0x7fff;
  if (!byVersion.has(index)) byVersion.set(index, []);
  byVersion.get(index).push(text(dynstr, elf.readUInt32LE(dynsym.offset + i * 24)));
}

const marked = [];
const names = sections[verneed.link];
for (let need = verneed.offset; ;) {
  let aux = need + elf.readUInt32LE(need + 8);
  for (let n = elf.readUInt16LE(need + 2); n > 0; n--) {
    const flags = elf.readUInt16LE(aux + 4);
    const symbols = byVersion.get(elf.readUInt16LE(aux + 6)) ?? [];
    if (!(flags & VER_FLG_WEAK) && symbols.length && symbols.every((s) => SHIM.has(s))) {
      elf.writeUInt16LE(flags | VER_FLG_WEAK, aux + 4);
      marked.push(`${text(names, elf.readUInt32LE(need + 4))}:${text(names, elf.readUInt32LE(aux + 8))}`);
    }
    aux += elf.readUInt32LE(aux + 12);
  }
  const next = elf.readUInt32LE(need + 12);
  if (!next) break;
  need += next;
}
if (marked.length) fs.writeFileSync(file, elf);
console.log(marked.join(' '));
