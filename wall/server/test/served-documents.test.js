// The documents served from what was built before: after any sequence of changes and any passing
// of time they must read exactly as a document built afresh; and over HTTP a caller that has the
// current version gets no body.

import { test } from 'node:test';
import assert from 'node:assert/strict';
import { Store } from '../src/store.js';
import { Wall } from '../src/wall.js';
import { parsePollStart } from '../src/polls.js';
import { displayView, stateView } from '../src/views.js';
import { displayDocument, stateDocument } from '../src/documents.js';
import { servedDocuments } from '../src/served-documents.js';
import { startServer, Phone, Booth } from './helpers/server.js';

// A small deterministic generator, so that a failing walk can be replayed from its seed.
function random(seed) {
  let s = seed >>> 0;
  return () => {
    s = (s * 1664525 + 1013904223) >>> 0;
    return s / 2 ** 32;
  };
}

test('served documents read as freshly built ones through a long night of changes and time', () => {
  for (const seed of [1, 2, 3]) {
    const rnd = random(seed);
    const pick = (list) => list[Math.floor(rnd() * list.length)];
    const clock = { now: 1_700_000_000_000 };
    const wall = new Wall(new Store(':memory:'), { clock: () => clock.now });
    wall.applySettings({ duration: 5, hotNeed: 2, hotWindowSec: 3, allowMultipleEmojis: true });
    let join = 'http://192.168.1.50:8787/';
    const served = servedDocuments(wall, () => join);
    const phones = Array.from({ length: 12 }, (_, i) => `phone${String(i).padStart(17, '0')}`);
    const ids = [];
    const attempt = (fn) => { try { fn(); } catch (e) { if (!e.code) throw e; } };
    const steps = [
      () => attempt(() => ids.push(wall.posts.submit(pick(phones), 'shoutout', { name: 'G', text: `hi ${ids.length}` }).id)),
      () => attempt(() => ids.push(wall.posts.submit(pick(phones), 'request', { name: 'R', text: pick(['song a', 'song b']) }).id)),
      () => attempt(() => wall.posts.unblock(pick(ids))),
      () => attempt(() => wall.posts.show(pick(ids))),
      () => attempt(() => wall.posts.reject(pick(ids))),
      () => attempt(() => wall.posts.remove(pick(ids))),
      () => attempt(() => wall.reactions.react(pick(phones), pick(wall.posts.live.length ? wall.posts.live : [{}]).id, pick(['🔥', '😂', '👏']))),
      () => attempt(() => wall.reactions.react(pick(phones), pick(wall.posts.live.length ? wall.posts.live : [{}]).id, pick(['🔥', '😂', '👏']))),
      () => attempt(() => wall.reactions.react(pick(phones), pick(ids), '🔥', true)),
      () => wall.applySettings(pick([{ allowHotFx: rnd() < 0.5 }, { hotNeed: 1 + Math.floor(rnd() * 3) }, { theme: pick(['neon', 'gold']) },
        { autoApprove: rnd() < 0.3 }, { tipLinks: rnd() < 0.5 ? [] : [{ label: 'Tip', url: 'https://pay.example/dj' }] }])),
      () => attempt(() => wall.polls.start(parsePollStart({ title: 'Next?', options: ['Rock', 'Pop'], duration: 5 + Math.floor(rnd() * 10) }, clock.now), '')),
      () => attempt(() => wall.polls.vote(pick(phones), wall.polls.current?.record.options[0].id)),
      () => attempt(() => wall.polls.stop()),
      () => attempt(() => wall.featured.next()),
      () => attempt(() => wall.featured.skip()),
      () => wall.setVdjSearch(pick(['', 'song a', 'song b'])),
      () => attempt(() => wall.posts.block(pick(ids))),
      () => { join = pick(['http://192.168.1.50:8787/', 'http://10.0.0.2:8787/']); },
      () => { clock.now += Math.floor(rnd() * 150); },
      () => { clock.now += Math.floor(rnd() * 4000); },
    ];
    const last = { display: null, state: null };
    for (let i = 0; i < 1500; i++) {
      pick(steps)();
      for (const kind of ['display', 'state']) {
        const doc = served[kind]();
        const fresh = kind === 'display' ? displayDocument(displayView(wall, join)) : stateDocument(stateView(wall));
        assert.equal(doc.text, fresh, `seed ${seed}, step ${i}: ${kind}`);
        const before = last[kind];
        if (before) assert.equal(doc.etag === before.etag, doc.text === before.text, `seed ${seed}, step ${i}: ${kind} tag`);
        last[kind] = doc;
      }
    }
  }
});

test('a caller holding the current version gets 304 without a body; the plug-in, sending no tag, gets the document', async () => {
  const srv = await startServer();
  try {
    const booth = new Booth(srv.base);
    const get = (p, headers = {}) => fetch(srv.base + p, { headers }).then(async (r) => ({ status: r.status, etag: r.headers.get('etag'), body: await r.text() }));
    const first = await get('/api/display');
    assert.equal(first.status, 200);
    assert.match(first.etag, /^"[^"]+"$/);
    const again = await get('/api/display', { 'If-None-Match': first.etag });
    assert.deepEqual([again.status, again.body, again.etag], [304, '', first.etag]);
    assert.equal((await get('/api/display', { 'If-None-Match': `"other", ${first.etag}` })).status, 304);
    // Something the wall shows changes: the old tag gets the new document.
    const phone = new Phone(srv.base);
    const { data } = await phone.post('/api/guest/shoutout', { name: 'Ana', text: 'hello wall' });
    await booth.act('show', { id: data.id });
    const changed = await get('/api/display', { 'If-None-Match': first.etag });
    assert.equal(changed.status, 200);
    assert.notEqual(changed.etag, first.etag);
    assert.match(changed.body, /hello wall/);
    assert.equal((await get('/api/display')).body, changed.body);
    const state = await get('/api/state');
    assert.equal((await get('/api/state', { 'If-None-Match': state.etag })).status, 304);
  } finally {
    await srv.stop();
  }
});
