// Durability: kill -9 in the middle of a stream of guest activity, restart on the same wall
// folder: every post, vote, block, look and the venue PIN that were confirmed are still there.
// And the checkpoint worker that keeps the write-ahead log short, or its stand-in when it fails.

import { test, describe } from 'node:test';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { DatabaseSync } from 'node:sqlite';
import assert from 'node:assert/strict';
import { startServer, Phone, Booth, fakeJpeg } from './helpers/server.js';
import { Store } from '../src/store.js';
import { newPost } from '../src/posts.js';

test('confirmed data survives kill -9 and restart', async () => {
  const env = { LUMVO_RATE_LIMITS: 'off' };
  let srv = await startServer({ env });
  const dir = srv.dir;
  let booth = new Booth(srv.base);
  await booth.act('settings', { allowUnlimitedVoting: true, autoApprove: true, hotNeed: 4 });
  const before = await booth.doc('state');
  const look = await booth.act('guest-bg-looks', { save: { name: 'Kept', kind: 'solid', colors: ['#123456'] } });
  await booth.act('guest-bg-looks', { apply: look.id });
  const bad = new Phone(srv.base);
  const badPost = (await bad.post('/api/guest/shoutout', { name: 'Spam', text: 'spam' })).data.id;
  await booth.act('block', { id: badPost });
  await booth.act('vote-start', { title: 'Kill test', duration: 600, options: ['A', 'B'] });
  const options = (await bad.get('/api/guest/config')).data.poll.options.map((o) => o.id);
  const photo = await new Phone(srv.base).request('POST', '/api/guest/photo?name=P', { body: fakeJpeg(2000) });
  assert.equal(photo.status, 200);

  // Forty phones post, react and vote as fast as they can; the kill lands in the middle.
  const accepted = { posts: [], votes: 0, reactors: new Set() };
  const phones = Array.from({ length: 40 }, () => new Phone(srv.base));
  let stop = false;
  const worker = async (p, i) => {
    // eslint-disable-next-line no-unmodified-loop-condition -- set once the kill has landed
    for (let n = 0; !stop; n++) {
      try {
        const r = await p.post('/api/guest/shoutout', { name: `G${i}`, text: `msg ${i}-${n}` });
        if (r.status === 200) accepted.posts.push(r.data.id);
        const v = await p.post('/api/guest/vote', { option: options[n % 2] });
        if (v.status === 200) accepted.votes++;
        if (accepted.posts.length) {
          const x = await p.post('/api/guest/react', { id: accepted.posts[0], emoji: '🔥' });
          if (x.status === 200) accepted.reactors.add(i);
        }
      } catch {
        return; // the server is gone
      }
    }
  };
  const running = phones.map(worker);
  await new Promise((r) => setTimeout(r, 700));
  await srv.kill();
  stop = true;
  await Promise.all(running);
  assert.ok(accepted.posts.length > 20, `enough traffic before the kill (${accepted.posts.length})`);

  srv = await startServer({ dir, env });
  booth = new Booth(srv.base);
  try {
    const s = await booth.doc('state');
    // The moderation document lists the newest 200 live posts; the database holds them all.
    const db = new DatabaseSync(path.join(dir, 'wall.db'), { readOnly: true });
    const live = new Set(db.prepare("SELECT id FROM posts WHERE state = 'live'").all().map((r) => r.id));
    const kept = db.prepare('SELECT COUNT(*) AS n FROM reactions WHERE post_id = ?').get(accepted.posts[0]).n;
    db.close();
    assert.ok(kept >= accepted.reactors.size, `${kept} reactions kept, ${accepted.reactors.size} confirmed`);
    const missing = accepted.posts.filter((id) => !live.has(id));
    assert.deepEqual(missing, [], 'every confirmed shout-out is on the wall');
    const listed = new Set(s.feed.map((p) => p.id));
    assert.ok(accepted.posts.slice(-150).every((id) => listed.has(id)), 'and the newest are in the moderation document');
    assert.equal(s.venuePin, before.venuePin);
    assert.equal(s.guestLookActive, look.id);
    assert.equal(s.blocked.length, 1);
    assert.equal(s.pending.filter((p) => p.photo).length, 1);
    bad.base = srv.base;
    assert.equal((await bad.post('/api/guest/shoutout', { text: 'still blocked?' })).status, 403);
    const d = await booth.doc('display');
    assert.equal(d.voteActive, true);
    const votes = d.voteBars.split('\n').reduce((n, line) => n + Number(line.split('\t')[2]), 0);
    assert.ok(votes >= accepted.votes, `${votes} votes kept, ${accepted.votes} confirmed`);
    assert.equal(d.hotNeed, 4, 'pushed settings are kept too');
  } finally {
    await srv.stop();
  }
});

describe('checkpoint worker', () => {
  // A store in a fresh folder; fill(mb) commits about that many megabytes of posts.
  async function withStore(options, fn) {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumvo-store-'));
    const file = path.join(dir, 'wall.db');
    const store = new Store(file, options);
    const text = 'x'.repeat(4000);
    const fill = (mb) => {
      store.tx(() => {
        for (let i = 0; i < mb * 256; i++) store.insertPost(newPost({ type: 'shoutout', origin: 'guest', name: 'G', text, now: i }));
      });
      store.flush();
    };
    try {
      await fn({ store, fill, dbSize: () => fs.statSync(file).size });
    } finally {
      await store.close();
      fs.rmSync(dir, { recursive: true, force: true });
    }
  }

  // The main connection leaves logs under about 80 MB alone: only the worker moves these pages.
  test('copies the log into the database file in the background', () => withStore({}, async ({ fill, dbSize }) => {
    fill(3);
    for (let i = 0; i < 50 && dbSize() < 3e6; i++) await new Promise((r) => setTimeout(r, 100));
    assert.ok(dbSize() >= 3e6, `database file ${dbSize()} bytes after 5 s: no checkpoint ran`);
  }));

  test('when the worker fails, the main connection checkpoints every few megabytes itself', () => withStore(
    { checkpointWorker: new URL('data:text/javascript,throw new Error("no worker here")') },
    async ({ store, fill, dbSize }) => {
      await new Promise((resolve) => store.checkpointer.once('exit', resolve));
      fill(6);
      assert.ok(dbSize() >= 4e6, `database file ${dbSize()} bytes: the log was left to grow`);
    },
  ));
});
