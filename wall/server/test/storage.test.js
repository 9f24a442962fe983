// The wall's files under trouble: a disk that fills up in the middle of the night (a small tmpfs
// in a mount namespace made here; the server runs inside it through nsenter).

import { test, describe, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { startServer, tempWall, Phone, Booth, fakeJpeg } from './helpers/server.js';

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
