// SQLite storage (node:sqlite, WAL). Every accepted change is committed before the guest or the
// DJ gets an answer, so a killed or crashed process loses nothing it has confirmed. With
// synchronous=NORMAL (the default) a power cut or an OS crash may lose the last moments;
// synchronous=FULL (LUMVO_SYNC=FULL) closes that too at about half the write throughput.

import { DatabaseSync } from 'node:sqlite';
import { Worker } from 'node:worker_threads';

// Checkpoints run on the worker thread of checkpointer.js; the main connection checkpoints by
// itself only as a safety net when the log passes about 80 MB, or every 4 MB when the worker
// could not start or has failed.
export const CHECKPOINT_WORKER = new URL('./checkpointer.js', import.meta.url);
const AUTOCHECKPOINT_PAGES = 20000;
const FALLBACK_AUTOCHECKPOINT_PAGES = 1000;

// Reactions are kept in the order of their key (WITHOUT ROWID): a phone changing its emoji on a
// post rewrites one page, where a table in the order rows came in rewrote the page its old row sat
// on, the key's index page and the table's last page (a fifth less time for a reaction's write
// and its share of the commit, measured).
const REACTIONS_COLUMNS = `post_id TEXT NOT NULL, device_id TEXT NOT NULL, emoji TEXT NOT NULL, at INTEGER NOT NULL,
  PRIMARY KEY (post_id, device_id, emoji)`;

const SCHEMA = `
CREATE TABLE IF NOT EXISTS meta (key TEXT PRIMARY KEY, value TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS devices (
  id TEXT PRIMARY KEY, handle TEXT NOT NULL UNIQUE, name TEXT NOT NULL DEFAULT '',
  color TEXT NOT NULL DEFAULT '', created_at INTEGER NOT NULL, blocked_at INTEGER, signed INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS posts (
  id TEXT PRIMARY KEY, type TEXT NOT NULL, origin TEXT NOT NULL, device_id TEXT,
  name TEXT NOT NULL, text TEXT NOT NULL, photo TEXT NOT NULL DEFAULT '', search TEXT NOT NULL DEFAULT '',
  song_key TEXT NOT NULL DEFAULT '', mark TEXT NOT NULL DEFAULT '', color TEXT NOT NULL DEFAULT '',
  state TEXT NOT NULL, created_at INTEGER NOT NULL, last_at INTEGER NOT NULL, count INTEGER NOT NULL DEFAULT 1,
  live_seq INTEGER NOT NULL DEFAULT 0, changed_at INTEGER NOT NULL, address TEXT NOT NULL DEFAULT '');
CREATE INDEX IF NOT EXISTS posts_state ON posts(state);
CREATE INDEX IF NOT EXISTS posts_device ON posts(device_id, created_at);
CREATE TABLE IF NOT EXISTS request_askers (
  post_id TEXT NOT NULL, device_id TEXT NOT NULL, at INTEGER NOT NULL, address TEXT NOT NULL DEFAULT '',
  PRIMARY KEY (post_id, device_id));
CREATE INDEX IF NOT EXISTS request_askers_device ON request_askers(device_id);
CREATE TABLE IF NOT EXISTS reactions (${REACTIONS_COLUMNS}) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS polls (
  id TEXT PRIMARY KEY, title TEXT NOT NULL, photo TEXT NOT NULL, options TEXT NOT NULL,
  started_at INTEGER NOT NULL, ends_at INTEGER NOT NULL, closed_at INTEGER, ended_at INTEGER);
CREATE TABLE IF NOT EXISTS votes (
  id INTEGER PRIMARY KEY AUTOINCREMENT, poll_id TEXT NOT NULL, device_id TEXT NOT NULL,
  option_id TEXT NOT NULL, at INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS votes_poll ON votes(poll_id);
CREATE TABLE IF NOT EXISTS looks (
  id TEXT PRIMARY KEY, name TEXT NOT NULL, kind TEXT NOT NULL, colors TEXT NOT NULL, angle INTEGER NOT NULL,
  picture TEXT NOT NULL, created_at INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS venue_sessions (token TEXT PRIMARY KEY, device_id TEXT NOT NULL, created_at INTEGER NOT NULL);
`;

// Columns added since the first release, added to an older database when it opens. devices.signed:
// the phone has been given a signed cookie (0 only for phones from before cookies were signed);
// address: the client address key a guest post or ask came from ('' from this PC); posts.live_at:
// when a waiting post goes live by itself (auto approve after a delay), 0 for none.
const ADDED_COLUMNS = [
  ['devices', 'signed', 'INTEGER NOT NULL DEFAULT 0'],
  ['posts', 'address', "TEXT NOT NULL DEFAULT ''"],
  ['request_askers', 'address', "TEXT NOT NULL DEFAULT ''"],
  ['posts', 'live_at', 'INTEGER NOT NULL DEFAULT 0'],
];

const VISIBLE = "('waiting','live','rejected')";

export class Store {
  // checkpointWorker: the worker module (tests pass a failing one).
  constructor(file, { synchronous = 'NORMAL', checkpointWorker = CHECKPOINT_WORKER } = {}) {
    this.db = new DatabaseSync(file);
    this.db.exec('PRAGMA journal_mode=WAL');
    this.db.exec(`PRAGMA synchronous=${synchronous === 'FULL' ? 'FULL' : 'NORMAL'}`);
    this.db.exec('PRAGMA busy_timeout=2000');
    this.db.exec(SCHEMA);
    for (const [table, column, type] of ADDED_COLUMNS) {
      const has = this.db.prepare(`PRAGMA table_info(${table})`).all().some((c) => c.name === column);
      if (!has) this.db.exec(`ALTER TABLE ${table} ADD COLUMN ${column} ${type}`);
    }
    this.clusterReactions();
    if (file !== ':memory:') this.startCheckpointer(file, checkpointWorker);
    this.stmts = new Map();
    // The transaction's own statements, prepared once: exec parses its SQL on every call, and
    // every change runs three or four of them.
    const prepared = (sql) => {
      const statement = this.db.prepare(sql);
      return () => statement.run();
    };
    this.control = {
      begin: prepared('BEGIN IMMEDIATE'), savepoint: prepared('SAVEPOINT change'),
      release: prepared('RELEASE change'), commit: prepared('COMMIT'),
    };
    // Counts the statements that may have changed something: the documents built from memory
    // are built again only when it moves (wall.js version).
    this.writes = 0;
    this.depth = 0;
    this.batch = null;
  }

  // A database from before reactions were kept in the order of their key gets its reactions
  // copied into such a table, in one transaction.
  clusterReactions() {
    const { sql } = this.db.prepare("SELECT sql FROM sqlite_master WHERE type = 'table' AND name = 'reactions'").get();
    if (/WITHOUT\s+ROWID/i.test(sql)) return;
    this.db.exec('BEGIN IMMEDIATE');
    try {
      this.db.exec(`CREATE TABLE reactions_by_key (${REACTIONS_COLUMNS}) WITHOUT ROWID;
        INSERT OR REPLACE INTO reactions_by_key SELECT post_id, device_id, emoji, at FROM reactions ORDER BY rowid;
        DROP TABLE reactions;
        ALTER TABLE reactions_by_key RENAME TO reactions;`);
      this.db.exec('COMMIT');
    } catch (e) {
      this.db.exec('ROLLBACK');
      throw e;
    }
  }

  startCheckpointer(file, url) {
    this.db.exec(`PRAGMA wal_autocheckpoint=${AUTOCHECKPOINT_PAGES}`);
    const worker = new Worker(url, { workerData: { file } });
    worker.on('error', () => {
      try {
        this.db.exec(`PRAGMA wal_autocheckpoint=${FALLBACK_AUTOCHECKPOINT_PAGES}`);
      } catch { /* already closed */ }
    });
    worker.once('exit', () => { if (this.checkpointer === worker) this.checkpointer = null; });
    worker.unref();
    this.checkpointer = worker;
  }

  st(sql) {
    let s = this.stmts.get(sql);
    if (!s) {
      s = this.db.prepare(sql);
      s.writes = !sql.startsWith('SELECT');
      this.stmts.set(sql, s);
    }
    if (s.writes) this.writes++;
    return s;
  }

  // Runs fn as one change: a throw undoes everything fn wrote. Nested calls join the outer change.
  //
  // Group commit: the changes of one turn of the event loop share one transaction (BEGIN
  // IMMEDIATE at the first, COMMIT at setImmediate), each in a savepoint of its own, because a
  // COMMIT costs several times what the statements do. Nothing may be confirmed before its
  // COMMIT: replies wait for `pending` (http.js sendJson does, through the request's gate), and
  // `committed()` says how it went. onRollback(error, whole) runs after every rollback (one
  // change's, or the whole transaction's when the COMMIT fails or SQLite gave it up, as it does
  // on some full-disk errors), so that what is in memory can follow the database back.
  tx(fn) {
    if (this.depth > 0) return fn();
    this.begin();
    this.control.savepoint();
    this.depth = 1;
    try {
      const r = fn();
      this.control.release();
      return r;
    } catch (e) {
      this.depth = 0;
      let undone = false;
      if (this.db.isTransaction) {
        try {
          this.db.exec('ROLLBACK TO change');
          this.control.release();
          undone = true;
        } catch { /* the transaction is beyond saving */ }
      }
      if (undone) this.onRollback?.(e, false);
      else this.abandon(e);
      throw e;
    } finally {
      this.depth = 0;
    }
  }

  // tx(fn), committed at once (the clock's changes: the documents that follow must not wait).
  txNow(fn) {
    const r = this.tx(fn);
    this.commit(true);
    return r;
  }

  begin() {
    if (this.batch) return;
    this.control.begin();
    let resolve;
    let reject;
    const promise = new Promise((res, rej) => { resolve = res; reject = rej; });
    promise.catch(() => {}); // a failure is reported to whoever waits, never left unhandled
    this.batch = { promise, resolve, reject };
    setImmediate(() => this.commit());
  }

  // The open transaction's outcome, or undefined when none is open.
  get pending() { return this.batch?.promise; }

  // Resolves when what was written so far is committed; rejects with the error when it was not.
  committed() { return this.batch ? this.batch.promise : Promise.resolve(); }

  // Commits the open transaction now. A failure rolls it back and tells onRollback and every
  // waiting reply; with `rethrow` it is thrown too.
  commit(rethrow = false) {
    const b = this.batch;
    if (!b) return;
    try {
      this.control.commit();
      this.batch = null;
      b.resolve();
    } catch (e) {
      this.abandon(e);
      if (rethrow) throw e;
    }
  }

  abandon(e) {
    const b = this.batch;
    this.batch = null;
    if (this.db.isTransaction) {
      try { this.db.exec('ROLLBACK'); } catch { /* gone either way */ }
    }
    this.onRollback?.(e, true);
    b?.reject(e);
  }

  flush() { this.commit(); }

  async close() {
    this.commit();
    const worker = this.checkpointer;
    if (worker) {
      const done = new Promise((resolve) => worker.once('exit', resolve));
      worker.postMessage('stop');
      await Promise.race([done, new Promise((r) => setTimeout(r, 1000))]);
      await worker.terminate().catch(() => {});
    }
    try {
      this.db.exec('PRAGMA wal_checkpoint(TRUNCATE)');
    } catch { /* closing anyway */ }
    this.db.close();
  }

  getMeta(key) {
    const row = this.st('SELECT value FROM meta WHERE key = ?').get(key);
    return row ? row.value : undefined;
  }

  setMeta(key, value) {
    this.st('INSERT INTO meta(key, value) VALUES (?, ?) ON CONFLICT(key) DO UPDATE SET value = excluded.value')
      .run(key, value);
  }

  // Devices
  allDevices() { return this.st('SELECT * FROM devices').all(); }
  insertDevice(d) {
    this.st('INSERT INTO devices(id, handle, name, color, created_at, blocked_at, signed) VALUES (?, ?, ?, ?, ?, ?, ?)')
      .run(d.id, d.handle, d.name, d.color, d.createdAt, d.blockedAt ?? null, d.signed === false ? 0 : 1);
  }
  setSigned(id) { this.st('UPDATE devices SET signed = 1 WHERE id = ?').run(id); }
  updateDeviceProfile(id, name, color) {
    this.st('UPDATE devices SET name = ?, color = ? WHERE id = ?').run(name, color, id);
  }
  setBlocked(id, at) { this.st('UPDATE devices SET blocked_at = ? WHERE id = ?').run(at, id); }
  unblockAll() { this.st('UPDATE devices SET blocked_at = NULL WHERE blocked_at IS NOT NULL').run(); }

  // Posts
  visiblePosts() { return this.st(`SELECT * FROM posts WHERE state IN ${VISIBLE}`).all(); }
  insertPost(p) {
    this.st(`INSERT INTO posts(id, type, origin, device_id, name, text, photo, search, song_key, mark, color,
      state, created_at, last_at, count, live_seq, changed_at, address, live_at) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)`)
      .run(p.id, p.type, p.origin, p.deviceId ?? null, p.name, p.text, p.photo, p.search, p.songKey, p.mark,
        p.color, p.state, p.createdAt, p.lastAt, p.count, p.liveSeq, p.changedAt, p.address ?? '', p.liveAt ?? 0);
  }
  updatePost(p) {
    this.st(`UPDATE posts SET name = ?, state = ?, mark = ?, last_at = ?, count = ?, live_seq = ?, changed_at = ?,
      photo = ?, live_at = ? WHERE id = ?`).run(p.name, p.state, p.mark, p.lastAt, p.count, p.liveSeq, p.changedAt, p.photo,
      p.liveAt ?? 0, p.id);
  }
  // Photo files the wall still shows or may show again: those of visible posts and of open polls.
  photosInUse() {
    return this.st(`SELECT photo FROM posts WHERE state IN ${VISIBLE} AND photo <> ''
      UNION SELECT photo FROM polls WHERE ended_at IS NULL AND photo <> ''`).all().map((r) => r.photo);
  }
  // A phone's own posts and the requests it asked for too (merged into another phone's), newest
  // first by when this phone sent or asked.
  postsOfDevice(deviceId, limit) {
    return this.st(`SELECT *, created_at AS mine_at FROM posts WHERE device_id = :d
      UNION ALL
      SELECT p.*, a.at AS mine_at FROM request_askers a JOIN posts p ON p.id = a.post_id
        WHERE a.device_id = :d AND p.device_id IS NOT :d
      ORDER BY mine_at DESC LIMIT :n`).all({ d: deviceId, n: limit });
  }
  maxLiveSeq() { return this.st('SELECT MAX(live_seq) AS m FROM posts').get().m ?? 0; }
  addAsker(postId, deviceId, at, address = '') {
    return this.st('INSERT OR IGNORE INTO request_askers(post_id, device_id, at, address) VALUES (?, ?, ?, ?)')
      .run(postId, deviceId, at, address).changes > 0;
  }
  // The phones that asked for a request, first asker first.
  askersOf(postId) {
    return this.st('SELECT device_id, at, address FROM request_askers WHERE post_id = ? ORDER BY at, rowid').all(postId);
  }
  // The askers of every waiting request, for their order (request-order.js).
  waitingAskers() {
    return this.st(`SELECT a.post_id, a.device_id, a.at, a.rowid AS seq FROM request_askers a JOIN posts p ON p.id = a.post_id
      WHERE p.state = 'waiting' AND p.type = 'request'`).all();
  }
  removeAsker(postId, deviceId) {
    this.st('DELETE FROM request_askers WHERE post_id = ? AND device_id = ?').run(postId, deviceId);
  }

  // Reactions
  reactionsOf(postIds) {
    if (postIds.length === 0) return [];
    return this.st(`SELECT * FROM reactions WHERE post_id IN (SELECT value FROM json_each(?))`)
      .all(JSON.stringify(postIds));
  }
  addReaction(postId, deviceId, emoji, at) {
    this.st('INSERT OR REPLACE INTO reactions(post_id, device_id, emoji, at) VALUES (?, ?, ?, ?)')
      .run(postId, deviceId, emoji, at);
  }
  deleteReaction(postId, deviceId, emoji) {
    this.st('DELETE FROM reactions WHERE post_id = ? AND device_id = ? AND emoji = ?').run(postId, deviceId, emoji);
  }

  // Polls
  openPoll() {
    return this.st('SELECT * FROM polls WHERE ended_at IS NULL ORDER BY started_at DESC LIMIT 1').get();
  }
  insertPoll(p) {
    this.st('INSERT INTO polls(id, title, photo, options, started_at, ends_at, closed_at, ended_at) VALUES (?,?,?,?,?,?,NULL,NULL)')
      .run(p.id, p.title, p.photo, JSON.stringify(p.options), p.startedAt, p.endsAt);
  }
  closePoll(id, at) { this.st('UPDATE polls SET closed_at = ? WHERE id = ? AND closed_at IS NULL').run(at, id); }
  endPoll(id, at) { this.st('UPDATE polls SET ended_at = ? WHERE id = ?').run(at, id); }
  endAllPolls(at) { this.st('UPDATE polls SET ended_at = ? WHERE ended_at IS NULL').run(at); }
  votesOf(pollId) { return this.st('SELECT device_id, option_id FROM votes WHERE poll_id = ?').all(pollId); }
  addVote(pollId, deviceId, optionId, at) {
    this.st('INSERT INTO votes(poll_id, device_id, option_id, at) VALUES (?, ?, ?, ?)').run(pollId, deviceId, optionId, at);
  }

  // Looks
  allLooks() { return this.st('SELECT * FROM looks ORDER BY created_at').all(); }
  upsertLook(l) {
    this.st(`INSERT INTO looks(id, name, kind, colors, angle, picture, created_at) VALUES (?,?,?,?,?,?,?)
      ON CONFLICT(id) DO UPDATE SET name = excluded.name, kind = excluded.kind, colors = excluded.colors,
      angle = excluded.angle, picture = excluded.picture`)
      .run(l.id, l.name, l.kind, JSON.stringify(l.colors), l.angle, l.picture, l.createdAt);
  }
  deleteLook(id) { this.st('DELETE FROM looks WHERE id = ?').run(id); }

  // Venue sessions
  venueSession(token) { return this.st('SELECT * FROM venue_sessions WHERE token = ?').get(token); }
  addVenueSession(token, deviceId, at) {
    this.st('INSERT INTO venue_sessions(token, device_id, created_at) VALUES (?, ?, ?)').run(token, deviceId, at);
  }
  deleteVenueSession(token) { this.st('DELETE FROM venue_sessions WHERE token = ?').run(token); }
}
