// The wall's files under trouble: a disk that fills up in the middle of the night (a small tmpfs
// in a mount namespace made here; the server runs inside it through nsenter), and a database
// file damaged the ways a crash or a careless copy damages it, with the rolling backup.

import { test, describe, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { DatabaseSync } from 'node:sqlite';
import { startServer, tempWall, Phone, Booth, fakeJpeg } from './helpers/server.js';
import { createApp } from '../src/app.js';

// Stops the server the way the plug-in does, keeping its folder.
async function shutdown(srv) {
  await fetch(`${srv.base}/api/shutdown`, { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: '{}' });
  await srv.exited;
}

describe('a full disk', () => {
  let skip = '';
  let holder;
  let mnt;
  let root;
  before(async () => {
    const can = process.getuid?.() === 0 && spawnSync('unshare', ['--version']).status === 0 && spawnSync('nsenter', ['--version']).status === 0;
    if (!can) {
      skip = 'needs root, unshare and nsenter to mount a small file system of its own';
      return;
    }
    mnt = fs.mkdtempSync(path.join(os.tmpdir(), 'lumvo-full-'));
    holder = spawn('unshare', ['--mount', '--propagation', 'private', 'sh', '-c',
      `mount -t tmpfs -o size=4m lumvo-full ${mnt} && echo mounted && exec sleep 600`], { stdio: ['ignore', 'pipe', 'pipe'] });
    const ok = await new Promise((resolve) => {
      holder.stdout.on('data', (d) => { if (String(d).includes('mounted')) resolve(true); });
      holder.on('exit', () => resolve(false));
    });
    if (!ok) skip = 'could not mount a tmpfs in a mount namespace here';
    root = `/proc/${holder.pid}/root${mnt}`;
  });
  after(() => {
    holder?.kill('SIGKILL');
    if (mnt) fs.rmSync(mnt, { recursive: true, force: true });
  });

  test('guests get "the wall is full, try later", the documents still answer, nothing confirmed is lost', async (t) => {
    if (skip) return t.skip(skip);
    const web = tempWall();
    const options = {
      dir: web, env: { LUMVO_WALL_DIR: mnt, LUMVO_WEB_DIR: path.join(web, 'web'), LUMVO_RATE_LIMITS: 'off' },
      wrap: ['nsenter', `--mount=/proc/${holder.pid}/ns/mnt`, '--'],
    };
    let srv = await startServer(options);
    try {
      const guest = new Phone(srv.base);
      const booth = new Booth(srv.base);
      const confirmed = [];
      const send = async (i) => {
        const r = await guest.post('/api/guest/shoutout', { name: 'Fill', text: `${i} ${'x'.repeat(170)}` });
        if (r.status === 200) confirmed.push(r.data.id);
        return r;
      };
      for (let i = 0; i < 5; i++) assert.equal((await send(i)).status, 200);

      // Fill the disk, then keep posting: the database runs out of room within a few pages.
      const filler = path.join(root, 'filler');
      const fd = fs.openSync(filler, 'w');
      try {
        for (;;) fs.writeSync(fd, Buffer.alloc(64 * 1024));
      } catch (e) {
        assert.equal(e.code, 'ENOSPC');
      } finally {
        fs.closeSync(fd);
      }
      let refused;
      for (let i = 5; i < 3000 && !refused; i++) {
        const r = await send(i);
        if (r.status !== 200) refused = { r, text: `${i} ` };
      }
      assert.ok(refused, 'the disk never filled');
      assert.deepEqual([refused.r.status, refused.r.data.code, refused.r.data.error], [503, 'full', 'The wall is full, try later.']);
      assert.ok(Number(refused.r.headers.get('retry-after')) > 0);
      const photo = await guest.request('POST', '/api/guest/photo', { body: fakeJpeg(300 * 1024) });
      assert.equal(photo.status, 503, 'a photo too');

      // The TV and the moderator still see the wall, without the refused post.
      const display = await booth.get('/api/display');
      assert.equal(display.status, 200);
      const state = await booth.get('/api/state');
      assert.equal(state.status, 200);
      assert.deepEqual(state.data.pending.map((p) => p.id), confirmed, 'exactly the confirmed posts wait');
      // A DJ action either is saved or changes nothing, and says which.
      const shown = await booth.post('/api/show', { id: confirmed[0] });
      assert.ok([200, 503].includes(shown.status), shown.text);
      const live = shown.status === 200 ? [confirmed[0]] : [];
      assert.deepEqual((await booth.doc('state')).feed.map((p) => p.id), live);

      // Room again: posts go through; after a kill and a restart, every confirmed post is there.
      fs.rmSync(filler);
      assert.equal((await send('after')).status, 200);
      const firstLog = srv.stderr();
      await srv.kill();
      srv = await startServer({ ...options, dir: tempWall() });
      const after = await new Booth(srv.base).doc('state');
      assert.deepEqual(after.pending.map((p) => p.id), confirmed.filter((id) => !live.includes(id)));
      assert.deepEqual(after.feed.map((p) => p.id), live);
      assert.match(firstLog, /refused POST \/api\/guest\/shoutout: database or disk is full/);
      assert.doesNotMatch(firstLog, /\n\s+at /, 'one line per refusal, no stack traces');
    } finally {
      await srv.stop();
      fs.rmSync(web, { recursive: true, force: true });
    }
  });
});

describe('a damaged database', () => {
  let pristine;
  let before;
  let afterKill;
  const copy = (from) => {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumvo-damaged-'));
    fs.cpSync(from, dir, { recursive: true });
    return dir;
  };
  const seen = async (srv) => {
    const s = await new Booth(srv.base).doc('state');
    return { pin: s.venuePin, pending: s.pending.map((p) => p.id), look: s.guestLookActive };
  };

  test('the wall keeps a backup at shutdown; a damaged or empty database is moved aside and the backup restored', async () => {
    const srv = await startServer();
    const booth = new Booth(srv.base);
    for (const text of ['one', 'two', 'three']) await new Phone(srv.base).post('/api/guest/shoutout', { text });
    const look = await booth.act('guest-bg-looks', { save: { name: 'Kept', kind: 'solid', colors: ['#123456'] } });
    await booth.act('guest-bg-looks', { apply: look.id });
    before = await seen(srv);
    await shutdown(srv);
    pristine = srv.dir;
    assert.ok(fs.existsSync(path.join(pristine, 'backup/wall-backup.db')), 'a backup at shutdown');

    const damages = {
      'cut in half': (f) => fs.truncateSync(f, Math.floor(fs.statSync(f).size / 2)),
      'cut to 4 KB': (f) => fs.truncateSync(f, 4096),
      'a garbage header': (f) => {
        const fd = fs.openSync(f, 'r+');
        fs.writeSync(fd, Buffer.from('this is not what SQLite wrote here.'), 0, 35, 0);
        fs.closeSync(fd);
      },
      'emptied': (f) => fs.truncateSync(f, 0),
    };
    for (const [what, damage] of Object.entries(damages)) {
      const dir = copy(pristine);
      damage(path.join(dir, 'wall.db'));
      const again = await startServer({ dir });
      try {
        assert.deepEqual(await seen(again), before, `${what}: the same wall, the same PIN`);
        const lines = again.stderr().split('\n').filter((l) => /wall\.db/.test(l) && !/listening/.test(l));
        assert.equal(lines.length, 1, `${what}: one clear line\n${again.stderr()}`);
        assert.match(lines[0], /wall\.db (is damaged|is empty|holds no wall).*: moved it to wall\.db\.damaged-\d{8}T\d{6}Z; restored the backup of \d{4}-/, what);
        assert.ok(fs.readdirSync(dir).some((f) => /^wall\.db\.damaged-/.test(f)), `${what}: the damaged file is kept`);
      } finally {
        await again.stop();
      }
    }
  });

  test('a write-ahead log that is cut short or missing is logged, and the wall starts', async () => {
    const srv = await startServer({ dir: copy(pristine) });
    await new Phone(srv.base).post('/api/guest/shoutout', { text: 'after the backup' });
    await srv.kill();
    afterKill = srv.dir;
    const wal = (dir) => path.join(dir, 'wall.db-wal');
    assert.ok(fs.statSync(wal(afterKill)).size > 32, 'a killed server leaves its log');
    const cases = [
      ['missing', (dir) => fs.rmSync(wal(dir)), /wall\.db-wal is missing \(wall\.db-shm is there\): changes since the last checkpoint may be lost/],
      ['cut short', (dir) => fs.truncateSync(wal(dir), fs.statSync(wal(dir)).size - 100), /wall\.db-wal is cut short or damaged \(\d+ bytes\)/],
    ];
    for (const [what, damage, line] of cases) {
      const dir = copy(afterKill);
      damage(dir);
      const again = await startServer({ dir });
      try {
        assert.match(again.stderr(), line, what);
        assert.equal((await seen(again)).pin, before.pin, `${what}: the wall starts with its database`);
      } finally {
        await again.stop();
      }
    }
    fs.rmSync(afterKill, { recursive: true, force: true });
    fs.rmSync(pristine, { recursive: true, force: true });
  });

  test('a log left behind without its database is set aside, and the backup alone is restored', async () => {
    const env = { LUMVO_RATE_LIMITS: 'off' };
    let srv = await startServer({ env });
    const { dir } = srv;
    try {
      const guest = new Phone(srv.base);
      for (let i = 0; i < 30; i++) await guest.post('/api/guest/shoutout', { text: `kept ${i}` });
      const kept = await seen(srv);
      await shutdown(srv);
      srv = await startServer({ dir, env });
      for (let i = 0; i < 5; i++) await new Phone(srv.base).post('/api/guest/shoutout', { text: `after the backup ${i}` });
      await srv.kill();
      assert.ok(fs.statSync(path.join(dir, 'wall.db-wal')).size > 32, 'the killed wall left its log');
      fs.rmSync(path.join(dir, 'wall.db'));
      srv = await startServer({ dir, env });
      assert.deepEqual(await seen(srv), kept, 'the backup\'s 30 posts and its PIN');
      assert.match(srv.stderr(), /wall\.db is missing \(its wall\.db-wal and wall\.db-shm set aside as wall\.db\.stale-\d{8}T\d{6}Z-\*\); restored the backup/);
      assert.ok(fs.readdirSync(dir).some((f) => /^wall\.db\.stale-.*-wal$/.test(f)), 'the old log is kept aside');
    } finally {
      await srv.stop();
    }
  });

  test('a running wall renews its backup every few minutes', async () => {
    const dir = tempWall();
    const app = createApp({ wallDir: dir, port: 0, host: '127.0.0.1', backupEveryMs: 100 });
    try {
      const id = app.wall.posts.submit('phone000000000000001', 'shoutout', { text: 'in the backup' }).id;
      const file = path.join(dir, 'backup/wall-backup.db');
      const has = () => {
        if (!fs.existsSync(file)) return false;
        const db = new DatabaseSync(file, { readOnly: true });
        try { return !!db.prepare('SELECT 1 FROM posts WHERE id = ?').get(id); } finally { db.close(); }
      };
      const prev = path.join(dir, 'backup/wall-backup.prev.db');
      for (let i = 0; i < 50 && !(has() && fs.existsSync(prev)); i++) await new Promise((r) => setTimeout(r, 100));
      assert.ok(has(), 'the post made after start is in the backup within 5 s');
      assert.ok(fs.existsSync(prev), 'with the copy before it');
    } finally {
      await app.close();
      fs.rmSync(dir, { recursive: true, force: true });
    }
  });
});

test('files a killed server was still writing are swept away at start, and not counted as photos', async () => {
  const dir = tempWall();
  const put = (name, bytes) => {
    fs.mkdirSync(path.dirname(path.join(dir, name)), { recursive: true });
    fs.writeFileSync(path.join(dir, name), Buffer.alloc(bytes));
  };
  put('uploads/LUMVO_g_1.jpg.4242.tmp', 3000);
  put('looks/l_1.png.4242.tmp', 100);
  put('backup/wall-backup.db.4242.tmp', 100);
  put('uploads/LUMVO_g_2.jpg', 500);
  put('uploads/LUMVO_desk-copy.jpg', 700);
  const lines = [];
  const app = createApp({ wallDir: dir, port: 0, log: (l) => lines.push(l) });
  try {
    // A photo no post names is gone too; a picture the moderator window copied in is kept.
    assert.deepEqual(fs.readdirSync(path.join(dir, 'uploads')), ['LUMVO_desk-copy.jpg']);
    assert.deepEqual(fs.readdirSync(path.join(dir, 'looks')), []);
    assert.deepEqual(fs.readdirSync(path.join(dir, 'backup')), []);
    assert.equal(app.uploadsBytes, 700);
    assert.deepEqual(lines, ['removed 3 unfinished files left by the last run', 'deleted 1 photo no post or poll uses any more']);
  } finally {
    await app.close();
    fs.rmSync(dir, { recursive: true, force: true });
  }
});
