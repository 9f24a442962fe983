// The database's rolling backup and what happens at start when the database is damaged.
//
// A running wall copies its database every few minutes and at shutdown with SQLite's online
// backup (a consistent copy while guests keep writing) into backup/wall-backup.db, keeping the
// copy before it as wall-backup.prev.db. At start, before the store opens it, the database is
// checked: a file SQLite cannot read, one that fails its quick check, or an empty one is moved
// aside with a time stamp (with its -wal and -shm) and the newest backup that passes the same
// check takes its place. Each of these gets one line in the log; so does a write-ahead log that
// is cut short or missing.

import fs from 'node:fs';
import path from 'node:path';
import * as sqlite from 'node:sqlite';

const { DatabaseSync } = sqlite;

export const BACKUP_EVERY_MS = 5 * 60 * 1000;

export function backupFiles(wallDir) {
  const dir = path.join(wallDir, 'backup');
  return { dir, latest: path.join(dir, 'wall-backup.db'), previous: path.join(dir, 'wall-backup.prev.db') };
}

// Copies the database `file` into the backup folder through a connection of its own (so the copy
// holds what is committed, and the wall's connection is not held up); the new copy replaces the
// last one only once it is complete.
export async function writeBackup(file, wallDir) {
  const { dir, latest, previous } = backupFiles(wallDir);
  fs.mkdirSync(dir, { recursive: true });
  const tmp = `${latest}.${process.pid}.tmp`;
  const db = new DatabaseSync(file);
  try {
    // node:sqlite has the backup API from Node.js 22.16; before that, VACUUM INTO (one step).
    if (sqlite.backup) await sqlite.backup(db, tmp);
    else db.exec(`VACUUM INTO '${tmp.replaceAll("'", "''")}'`);
    if (fs.existsSync(latest)) fs.renameSync(latest, previous);
    fs.renameSync(tmp, latest);
  } catch (e) {
    fs.rmSync(tmp, { force: true });
    throw e;
  } finally {
    db.close();
  }
}

const exists = (f) => fs.existsSync(f);
const stamp = (t) => new Date(t).toISOString().replace(/[-:]/g, '').replace(/\.\d+Z$/, 'Z');

// What is wrong with the database file, or '' when it is fine (or not there at all).
export function damageOf(file) {
  if (!exists(file)) return '';
  if (fs.statSync(file).size === 0) return 'is empty';
  let db;
  try {
    db = new DatabaseSync(file);
    const rows = db.prepare('PRAGMA quick_check').all().map((r) => Object.values(r)[0]);
    if (rows.length !== 1 || rows[0] !== 'ok') return `is damaged (${rows.slice(0, 3).join('; ')})`;
    if (!db.prepare("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'meta'").get()) return 'holds no wall';
    return '';
  } catch (e) {
    return `is damaged (${e.message})`;
  } finally {
    try { db?.close(); } catch { /* never opened */ }
  }
}

// A write-ahead log is a 32-byte header and whole frames of (24 + page size) bytes; a cut one
// loses what came after its last whole frame. One with its -shm but no log lost what was not yet
// checkpointed. Returns the log line, or ''.
export function walTrouble(file) {
  const wal = `${file}-wal`;
  const name = path.basename(file);
  if (!exists(wal)) {
    return exists(`${file}-shm`) && exists(file)
      ? `${name}-wal is missing (${name}-shm is there): changes since the last checkpoint may be lost` : '';
  }
  const size = fs.statSync(wal).size;
  if (size === 0) return '';
  const head = Buffer.alloc(32);
  const fd = fs.openSync(wal, 'r');
  try {
    fs.readSync(fd, head, 0, 32, 0);
  } finally {
    fs.closeSync(fd);
  }
  const magic = head.readUInt32BE(0);
  const pageSize = head.readUInt32BE(8);
  const whole = size >= 32 && (magic === 0x377f0682 || magic === 0x377f0683) && pageSize >= 512 &&
    (size - 32) % (pageSize + 24) === 0;
  return whole ? '' : `${name}-wal is cut short or damaged (${size} bytes): changes after its last whole frame are lost`;
}

function moveAside(file, now) {
  const aside = `${file}.damaged-${stamp(now)}`;
  for (const suffix of ['', '-wal', '-shm']) {
    if (exists(file + suffix)) fs.renameSync(file + suffix, aside + suffix);
  }
  return aside;
}

// Makes `file` a database the wall can open; says what it did in one line each.
export function prepareDatabase(file, wallDir, log, now = Date.now()) {
  const wal = walTrouble(file);
  if (wal) log(wal);
  const missing = !exists(file);
  const damage = damageOf(file);
  if (!damage && !missing) return;
  const { latest, previous } = backupFiles(wallDir);
  const candidates = [latest, previous].filter(exists);
  if (missing && candidates.length === 0) return; // a wall's first start
  const name = path.basename(file);
  let what = missing ? `${name} is missing` : `${name} ${damage}: moved it to ${path.basename(moveAside(file, now))}`;
  // A log or shared memory left without its database belongs to that database, not to the
  // backup: SQLite would apply the old log to the restored copy and spoil it.
  if (missing) {
    const stale = ['-wal', '-shm'].filter((suffix) => exists(file + suffix));
    for (const suffix of stale) fs.renameSync(file + suffix, `${file}.stale-${stamp(now)}${suffix}`);
    if (stale.length) what += ` (its ${stale.map((x) => name + x).join(' and ')} set aside as ${name}.stale-${stamp(now)}-*)`;
  }
  for (const b of candidates) {
    fs.copyFileSync(b, file);
    if (!damageOf(file)) {
      log(`${what}; restored the backup of ${new Date(fs.statSync(b).mtimeMs).toISOString()} (${path.basename(b)})`);
      return;
    }
    fs.rmSync(file, { force: true });
    for (const suffix of ['-wal', '-shm']) fs.rmSync(file + suffix, { force: true });
  }
  log(`${what}; ${candidates.length ? 'no backup could be read' : 'there is no backup'}: starting with an empty wall`);
}
