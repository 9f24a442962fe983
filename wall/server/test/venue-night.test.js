// A night at the venue on a real server: several phones asking for songs get their turns, and
// posts that go live by themselves after the auto approve delay unless the DJ rejects them first,
// also across a restart.

import { test } from 'node:test';
import assert from 'node:assert/strict';
import { startServer, Phone, Booth } from './helpers/server.js';

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
const texts = (list) => list.map((p) => p.text);

test('requests take turns between the phones that asked; a song many asked for comes first', async () => {
  const srv = await startServer({ env: { LUMVO_RATE_LIMITS: 'off' } });
  try {
    const booth = new Booth(srv.base);
    const [ann, ben, cat, dan] = Array.from({ length: 4 }, () => new Phone(srv.base));
    const ask = async (phone, name, song) => {
      const r = await phone.post('/api/guest/request', { name, text: song });
      assert.equal(r.status, 200, r.text);
      await sleep(5); // asks a few milliseconds apart, as phones do
      return r.data.id;
    };
    const one = await ask(ann, 'Ann', 'Song One');
    await ask(ann, 'Ann', 'Song Two');
    await ask(ann, 'Ann', 'Song Three');
    await ask(ben, 'Ben', 'Song Four');
    assert.deepEqual(texts((await booth.doc('state')).requests), ['Song One', 'Song Four', 'Song Two', 'Song Three'],
      "Ben's one request comes right after Ann's first, not after all of hers");

    // Ann's third is Cat's and Dan's first: it moves to the first turn, and with three askers
    // it leads it.
    await ask(cat, 'Cat', 'song three');
    await ask(dan, 'Dan', 'SONG THREE!');
    let state = await booth.doc('state');
    assert.deepEqual(texts(state.requests), ['Song Three', 'Song One', 'Song Four', 'Song Two']);
    assert.equal(state.requests[0].count, 3);

    // Played: it has had its turn. It goes to the end, and Ann's next takes her first turn
    // (older than Ben's request).
    await booth.act('request-mark', { id: one, mark: 'played' });
    state = await booth.doc('state');
    assert.deepEqual(texts(state.requests), ['Song Three', 'Song Two', 'Song Four', 'Song One']);
  } finally {
    await srv.stop();
  }
});

test('auto approve after a delay: posts go live by themselves unless rejected; flagged ones wait; deadlines survive a restart', async () => {
  const env = { LUMVO_RATE_LIMITS: 'off' };
  let srv = await startServer({ env });
  const { dir } = srv;
  try {
    let booth = new Booth(srv.base);
    await booth.act('settings', { autoApprove: true, autoApproveDelaySec: 2, filterWords: 'grumble' });
    let guest = new Phone(srv.base);
    const send = async (text) => {
      const r = await guest.post('/api/guest/shoutout', { name: 'Zoe', text });
      assert.equal(r.status, 200, r.text);
      assert.equal(r.data.status, 'pending', 'a delayed post waits first');
      return r.data.id;
    };
    const sentAt = Date.now();
    const keep = await send('keep me');
    const veto = await send('veto me');
    const flagged = await send('grumble grumble');
    let state = await booth.doc('state');
    const byId = new Map(state.pending.map((p) => [p.id, p]));
    assert.equal(state.autoApproveDelaySec, 2);
    for (const id of [keep, veto]) {
      assert.ok(byId.get(id).liveAt >= sentAt + 2000 && byId.get(id).liveAt <= Date.now() + 2000, `${id}: goes live 2 s after it came`);
    }
    assert.equal(byId.get(flagged).liveAt, 0, 'a flagged post has no time to go live');
    assert.equal((await booth.doc('display')).autoApproveDelaySec, 2, 'the TV document carries the setting for the plug-in');

    await booth.act('reject', { id: veto });
    await sleep(2600);
    state = await booth.doc('state');
    assert.deepEqual(state.feed.map((p) => p.id), [keep], 'the kept post went live by itself, the vetoed one did not');
    assert.deepEqual(state.rejected.map((p) => p.id), [veto]);
    assert.deepEqual(state.pending.map((p) => p.id), [flagged], 'the flagged post still waits for the DJ');

    // A restart in the middle of a wait: the post keeps its time, and goes live at it.
    const late = await send('after the restart');
    const liveAt = (await booth.doc('state')).pending.find((p) => p.id === late).liveAt;
    await srv.kill();
    srv = await startServer({ dir, env });
    booth = new Booth(srv.base);
    guest = new Phone(srv.base);
    state = await booth.doc('state');
    assert.equal(state.pending.find((p) => p.id === late)?.liveAt, liveAt, 'the same deadline after the restart');
    await sleep(Math.max(0, liveAt - Date.now()) + 800);
    state = await booth.doc('state');
    assert.ok(state.feed.some((p) => p.id === late), 'live by itself after the restart');

    // Auto approve off: what waited for its time waits for the DJ.
    await booth.act('settings', { autoApproveDelaySec: 1 });
    const held = await send('held back');
    await booth.act('settings', { autoApprove: false });
    await sleep(1500);
    state = await booth.doc('state');
    const waiting = state.pending.find((p) => p.id === held);
    assert.ok(waiting, 'still waiting');
    assert.equal(waiting.liveAt, 0);
  } finally {
    await srv.stop();
  }
});
