// The venue screens' document and stream (/api/screen, /api/screen/events): it shows what the TV
// shows, taken from the same wall, and nothing that only the booth may see; the stream follows
// every change within a second, keeps quiet when nothing shown changed, and lets its screens go
// when the wall stops; streams are limited per address and in all.

import { test } from 'node:test';
import assert from 'node:assert/strict';
import { startServer, Phone, Booth, fakeJpeg } from './helpers/server.js';
import { ScreenStreams, STREAMS_MAX, STREAMS_PER_ADDRESS, BACKLOG_MAX } from '../src/screen.js';
import { Store } from '../src/store.js';
import { Wall } from '../src/wall.js';

// Every key the screen document may have, at any depth.
const KEYS = {
  top: ['theme', 'duration', 'joinUrl', 'brand', 'allow', 'featured', 'feed', 'poll'],
  allow: ['messages', 'requests', 'photos', 'tips'],
  post: ['id', 'type', 'name', 'text', 'photo', 'color', 'hot', 'reactions'],
  featured: ['id', 'type', 'name', 'text', 'photo', 'color', 'hot', 'reactions', 'startedAt', 'endsAt'],
  reaction: ['emoji', 'count'],
  poll: ['id', 'title', 'photo', 'endsAt', 'closedAt', 'winner', 'options'],
  option: ['id', 'label', 'count', 'color'],
};
const keysOf = (o) => Object.keys(o).sort();
const sorted = (list) => [...list].sort();

// A server-sent event stream read message by message: next() is the next message's data parsed
// (or null when the stream ends first), within ms milliseconds or it rejects.
async function openStream(base, path = '/api/screen/events') {
  const res = await fetch(base + path);
  const reader = res.body.getReader();
  const decoder = new TextDecoder();
  let buf = '';
  const messages = [];
  let ended = false;
  let wake = () => {};
  (async () => {
    for (;;) {
      const { value, done } = await reader.read().catch(() => ({ done: true }));
      if (done) break;
      buf += decoder.decode(value, { stream: true });
      let i;
      while ((i = buf.indexOf('\n\n')) >= 0) {
        const block = buf.slice(0, i);
        buf = buf.slice(i + 2);
        const data = block.split('\n').filter((l) => l.startsWith('data: ')).map((l) => l.slice(6)).join('\n');
        if (data) messages.push(JSON.parse(data));
        wake();
      }
    }
    ended = true;
    wake();
  })();
  return {
    res,
    async next(ms = 1000) {
      const end = Date.now() + ms;
      for (;;) {
        if (messages.length || ended) break;
        if (Date.now() >= end) throw new Error(`no message within ${ms} ms`);
        await new Promise((r) => { wake = r; setTimeout(r, 50); });
      }
      return messages.length ? messages.shift() : null;
    },
    close: () => reader.cancel().catch(() => {}),
  };
}

test('the screen document shows the live wall as the display document does, and nothing private', async () => {
  const srv = await startServer();
  try {
    const booth = new Booth(srv.base);
    await booth.act('settings', {
      tipLinks: ['https://pay.example/secret-tip-link', '', ''], filterWords: 'zebrafish', mediaDir: '/home/dj/private-album',
      brandUrl: 'https://www.club-aurora.example/night', theme: 'lounge', hotNeed: 3, duration: 12,
    });
    const phones = [1, 2, 3, 4].map(() => new Phone(srv.base));
    const post = async (phone, kind, body) => (await phone.post(`/api/guest/${kind}`, body)).data.id;
    const live = await post(phones[0], 'shoutout', { name: 'Ana', text: 'Happy birthday Jo!', color: '#22d3ee' });
    const photo = (await phones[1].request('POST', '/api/guest/photo?name=Pia&text=Look%20at%20us', { body: fakeJpeg(300) })).data.id;
    await post(phones[2], 'shoutout', { name: 'Wendy', text: 'still waiting for the DJ' });
    const rejected = await post(phones[2], 'shoutout', { name: 'Rita', text: 'a post the DJ turned down' });
    await post(phones[3], 'request', { name: 'Sam', text: 'Unheard Song - Nobody' });
    const blocked = await post(phones[3], 'shoutout', { name: 'Blake', text: 'blocked phone' });
    for (const id of [live, photo]) await booth.act('show', { id });
    await booth.act('reject', { id: rejected });
    await booth.act('block', { id: blocked });
    await booth.act('vdj-search', { text: 'Secret Search - Booth Only' });
    for (const p of phones.slice(0, 3)) assert.equal((await p.post('/api/guest/react', { id: live, emoji: '🔥' })).status, 200);
    await booth.act('vote-start', { title: 'Encore?', duration: 120, options: ['Yes', 'No'] });
    const display = await booth.doc('display');
    const [yes, no] = display.voteBars.split('\n').map((l) => l.split('\t')[0]);
    for (const [p, option] of [[phones[0], yes], [phones[1], yes], [phones[2], no]]) assert.equal((await p.post('/api/guest/vote', { option })).status, 200);

    const state = await booth.doc('state');
    const reply = await new Phone(srv.base).get('/api/screen');
    assert.equal(reply.status, 200);
    assert.equal(reply.headers.get('x-content-type-options'), 'nosniff');
    const doc = reply.data;
    const after = await booth.doc('display');

    // Only the keys the screen needs, at every depth.
    assert.deepEqual(keysOf(doc), sorted(KEYS.top));
    assert.deepEqual(keysOf(doc.allow), sorted(KEYS.allow));
    for (const p of doc.feed) assert.deepEqual(keysOf(p), sorted(KEYS.post));
    assert.deepEqual(keysOf(doc.featured), sorted(KEYS.featured));
    for (const r of doc.featured.reactions) assert.deepEqual(keysOf(r), sorted(KEYS.reaction));
    assert.deepEqual(keysOf(doc.poll), sorted(KEYS.poll));
    for (const o of doc.poll.options) assert.deepEqual(keysOf(o), sorted(KEYS.option));

    // What the TV shows: the same feed, card, hot post, votes, theme, time and join address.
    const tvFeed = after.feedPacked.split('\n').map((l) => l.split('\t'));
    assert.deepEqual(doc.feed.map((p) => [p.id, p.text, p.photo, p.hot]), tvFeed.map((f) => [f[0], f[3], f[4], f[7] === '1']));
    assert.equal(doc.featured.id, after.featuredId);
    assert.deepEqual(doc.featured.reactions, [{ emoji: '🔥', count: 3 }]);
    assert.ok(doc.featured.hot && doc.feed.find((p) => p.id === live).hot, 'three fires make it hot, as on the TV');
    assert.equal(doc.featured.endsAt - doc.featured.startedAt, 12000);
    assert.deepEqual(doc.poll.options.map((o) => [o.label, o.count]), [['Yes', 2], ['No', 1]]);
    assert.deepEqual(doc.poll.options.map((o) => o.count), after.voteBars.split('\n').map((l) => Number(l.split('\t')[2])));
    assert.deepEqual([doc.theme, doc.duration, doc.joinUrl, doc.brand, doc.allow.tips], ['lounge', 12, after.joinUrl, 'club-aurora.example', true]);

    // Nothing of the booth's: no PIN, settings, moderation lists, phones or the host's search.
    const text = reply.text;
    const secrets = [state.venuePin, 'secret-tip-link', 'zebrafish', 'private-album', 'still waiting', 'turned down', 'Unheard Song',
      'blocked phone', 'Blake', 'Secret Search', ...state.blocked.map((b) => b.id)];
    for (const s of secrets) assert.ok(!text.includes(s), `the screen document holds "${s}"`);
    assert.ok(text.includes('Happy birthday Jo!') && text.includes('Look at us'), 'and it does hold the live posts');
  } finally {
    await srv.stop();
  }
});

test('the stream sends the document at once, each change within a second, nothing when nothing shows, and ends with the wall', async () => {
  const srv = await startServer();
  const booth = new Booth(srv.base);
  const guest = new Phone(srv.base);
  try {
    const stream = await openStream(srv.base);
    assert.equal(stream.res.headers.get('content-type'), 'text/event-stream; charset=utf-8');
    const first = await stream.next();
    assert.deepEqual(first.screen.feed, []);
    assert.ok(Math.abs(first.now - Date.now()) < 2000, 'each message carries the server clock');

    // A post waiting for the DJ changes nothing on the screens: no message.
    const id = (await guest.post('/api/guest/shoutout', { name: 'Dev', text: 'on fire' })).data.id;
    await assert.rejects(stream.next(700), /no message/);
    const shown = Date.now();
    await booth.act('show', { id });
    const next = await stream.next(1000);
    assert.deepEqual(next.screen.feed.map((p) => p.text), ['on fire']);
    assert.ok(Date.now() - shown < 1000);

    // A second screen gets the same document; a vote reaches both.
    const other = await openStream(srv.base);
    assert.deepEqual((await other.next()).screen, (await new Phone(srv.base).get('/api/screen')).data);
    await booth.act('vote-start', { title: 'Encore?', duration: 120, options: ['Yes', 'No'] });
    const started = [await stream.next(), await other.next()];
    const option = started[0].screen.poll.options[0].id;
    assert.equal((await guest.post('/api/guest/vote', { option })).status, 200);
    for (const s of [stream, other]) {
      const m = await s.next(1000);
      assert.equal(m.screen.poll.options[0].count, 1);
    }

    // The wall stopping lets its screens go at once (their browsers try again).
    const stopping = Date.now();
    await fetch(`${srv.base}/api/shutdown`, { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: '{}' });
    assert.equal(await stream.next(2000), null);
    assert.ok(Date.now() - stopping < 450, `the stream ended ${Date.now() - stopping} ms after the shutdown`);
    other.close();
  } finally {
    await srv.stop();
  }
});

test('streams are limited per address and in all; a screen that leaves or stalls frees its place', () => {
  const wall = new Wall(new Store(':memory:'));
  const streams = new ScreenStreams(wall, () => 'http://192.168.1.50:8787');
  const reply = () => {
    const res = { written: '', headers: null, closers: [], writableLength: 0, destroyed: false };
    res.writeHead = (status, headers) => { res.status = status; res.headers = headers; };
    res.write = (t) => { res.written += t; };
    res.on = (ev, fn) => { if (ev === 'close') res.closers.push(fn); };
    res.end = () => res.closers.forEach((fn) => fn());
    res.destroy = () => { res.destroyed = true; res.end(); };
    return res;
  };
  const phone = [];
  for (let i = 0; i < STREAMS_PER_ADDRESS; i++) {
    phone.push(reply());
    streams.open(phone.at(-1), '10.0.0.7');
  }
  assert.match(phone[0].written, /^retry: \d+\nid: .+\ndata: \{"now":\d+,"screen":\{/);
  assert.throws(() => streams.open(reply(), '10.0.0.7'), (e) => e.status === 503 && e.code === 'busy' && e.retryAfter > 0);
  streams.open(reply(), '10.0.0.8');
  phone[0].end();
  streams.open(reply(), '10.0.0.7');
  // A change goes to every screen but one that has not taken what it was sent, which is let go.
  phone[1].writableLength = BACKLOG_MAX + 1;
  wall.applySettings({ theme: 'garden' });
  streams.watch();
  assert.ok(phone[1].destroyed && !phone[1].written.includes('garden'));
  assert.match(phone[2].written, /"theme":"garden"/);
  streams.open(reply(), '10.0.0.7');
  // This PC has no limit of its own, only the total.
  while (streams.streams.size < STREAMS_MAX) streams.open(reply(), '');
  assert.throws(() => streams.open(reply(), ''), (e) => e.status === 503);
  assert.ok(streams.timer, 'the watch runs while screens listen');
  streams.close();
  assert.equal(streams.streams.size, 0);
  assert.equal(streams.timer, null, 'and stops with the last');
});
