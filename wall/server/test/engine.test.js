// The moderation engine on an in-memory database with a hand-driven clock.

import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { DatabaseSync } from 'node:sqlite';
import { Store } from '../src/store.js';
import { Wall } from '../src/wall.js';
import { FEATURE_GAP_MS, IDLE_REPEAT_GAP_MS, QUEUE_GUEST_MAX } from '../src/featured.js';
import { MAX_WAITING_PER_PHONE, MAX_WAITING_TOTAL, MAX_WAITING_PER_ADDRESS, WAITING_RESERVE } from '../src/posts.js';
import { MAX_EMOJIS_PER_POST } from '../src/reactions.js';
import { displayView, stateView, guestLive } from '../src/views.js';
import { displayDocument, stateDocument } from '../src/documents.js';

function makeWall(settings = {}, file = ':memory:') {
  const clock = { now: 1_700_000_000_000 };
  const store = new Store(file);
  const wall = new Wall(store, { clock: () => clock.now });
  wall.applySettings({ duration: 7, repeatMessages: false, ...settings });
  const advance = (ms) => { clock.now += ms; wall.tick(); };
  return { wall, store, clock, advance };
}

const PHONES = Array.from({ length: 40 }, (_, i) => `phone${String(i).padStart(17, '0')}`);
const shout = (wall, i, text = `hello ${i}`) => wall.posts.submit(PHONES[i], 'shoutout', { name: `G${i}`, text }).id;
// n guest posts from different phones, approved in order.
const approved = (wall, n) => Array.from({ length: n }, (_, i) => wall.posts.show(shout(wall, i)).id);
const featuredId = (wall) => wall.featured.current?.id ?? null;
// The posts that reach the card over n turns of the pushed 7 s plus the gap.
function cardOrder(wall, advance, n) {
  const order = [];
  for (let i = 0; i < n; i++) {
    advance(7000);
    advance(FEATURE_GAP_MS);
    if (featuredId(wall)) order.push(featuredId(wall));
  }
  return order;
}

describe('featured queue', () => {
  test('approved posts take the card one at a time for the pushed duration; a removed or rejected post leaves card and queue', () => {
    const { wall, advance } = makeWall();
    const [a, b, c] = approved(wall, 3);
    wall.tick();
    assert.equal(featuredId(wall), a);
    advance(6900);
    assert.equal(featuredId(wall), a, 'still within its 7 s');
    advance(200);
    assert.equal(featuredId(wall), null, 'cleared when its time is up');
    advance(FEATURE_GAP_MS);
    assert.equal(featuredId(wall), b);
    wall.posts.remove(b);
    assert.equal(featuredId(wall), null);
    wall.posts.reject(c);
    assert.deepEqual(wall.featured.queue, []);
    advance(60000);
    assert.equal(featuredId(wall), null, 'nothing more to show without idle repeat');
    assert.deepEqual(wall.posts.live.map((p) => p.id), [a], 'the shown post stays in the feed');
  });

  // Also the priorities: "show again" first, venue and booth posts ahead of guests in their order.
  test('the card and the queue, with their priorities, come back after a restart', async () => {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumvo-engine-'));
    const file = path.join(dir, 'wall.db');
    try {
      const before = makeWall({}, file);
      const [a, b, c] = approved(before.wall, 3);
      before.wall.tick();
      const venue = before.wall.posts.direct('venue', { name: 'Bar', text: 'Last orders' }).id;
      before.wall.featured.highlight(c);
      await before.store.close();

      const { wall, store, advance } = makeWall({}, file);
      assert.equal(featuredId(wall), a, 'the same post is on the card');
      const guest = wall.posts.show(shout(wall, 5)).id;
      const booth = wall.posts.direct('booth', { name: 'DJ', text: 'Next up' }).id;
      assert.deepEqual(cardOrder(wall, advance, 6), [c, venue, booth, b, guest], 'new posts queue behind the restored ones by priority');
      await store.close();
    } finally {
      fs.rmSync(dir, { recursive: true, force: true });
    }
  });

  test('idle repeat brings approved posts back in rotation only when nothing waits', () => {
    const { wall, advance } = makeWall({ repeatMessages: true });
    const ids = approved(wall, 3);
    const seen = [];
    for (let t = 0; t < 120000; t += 500) {
      advance(500);
      if (featuredId(wall) && seen.at(-1) !== featuredId(wall)) seen.push(featuredId(wall));
    }
    assert.deepEqual(seen.slice(0, 6), [...ids, ...ids], 'queue first, then the rotation in feed order');
    // A repeat waits for the idle gap, so a fresh post is not held behind a long rotation.
    const { wall: w2, advance: adv2 } = makeWall({ repeatMessages: true });
    approved(w2, 1);
    w2.tick();
    adv2(7000);
    adv2(IDLE_REPEAT_GAP_MS - 1000);
    assert.equal(featuredId(w2), null);
    const y = w2.posts.show(shout(w2, 1)).id;
    adv2(10);
    assert.equal(featuredId(w2), y);
  });

  test('next, skip and clear', () => {
    const { wall, advance } = makeWall({ repeatMessages: true });
    const [a, b] = approved(wall, 2);
    wall.tick();
    wall.featured.next();
    assert.equal(featuredId(wall), b, 'next puts the queued post up at once');
    wall.featured.next();
    assert.equal(featuredId(wall), a, 'with an empty queue, next takes the next idle repeat');
    wall.featured.skip();
    assert.equal(featuredId(wall), null);
    advance(FEATURE_GAP_MS);
    assert.equal(featuredId(wall), null, 'after skip, a repeat waits for the idle gap');
    wall.posts.clear();
    advance(IDLE_REPEAT_GAP_MS * 2);
    assert.equal(featuredId(wall), null, 'nothing left to repeat');
    assert.equal(wall.posts.byId.size, 0);
  });

  test('a busy auto-approved night keeps every post in the feed but a bounded queue', () => {
    const { wall } = makeWall({ autoApprove: true });
    for (let i = 0; i < 40; i++) shout(wall, i);
    assert.equal(wall.posts.live.length, 40);
    assert.equal(wall.featured.queue.length, QUEUE_GUEST_MAX);
    const venue = wall.posts.direct('venue', { name: 'Bar', text: 'Last orders' }).id;
    assert.equal(wall.featured.queue[0].id, venue, 'a full queue still lets venue posts jump ahead');
  });
});

describe('moderation', () => {
  test('auto approve puts shout-outs live but photos and tips still wait', () => {
    const { wall } = makeWall({ autoApprove: true, tipLinks: ['paypal.me/dj', '', ''] });
    assert.equal(wall.posts.submit(PHONES[0], 'shoutout', { text: 'hi' }).status, 'live');
    assert.equal(wall.posts.submit(PHONES[0], 'photo', { text: '' }, '/uploads/LUMVO_g_x.jpg').status, 'pending');
    assert.equal(wall.posts.submit(PHONES[0], 'tip', { text: 'great set' }).status, 'pending');
    const v = stateView(wall);
    assert.deepEqual([v.feed.length, v.pending.length, v.tips.length], [1, 1, 1]);
  });

  test('every type obeys its own switch and no other', () => {
    const { wall } = makeWall({ allowMessages: false, allowRequests: false, allowPhotos: false, tipLinks: ['paypal.me/dj', '', ''] });
    const live = wall.posts.direct('booth', { name: 'DJ', text: 'react to me' }).id;
    assert.equal(wall.posts.submit(PHONES[0], 'tip', { text: 'tips do not hang on the shout-out switch' }).status, 'pending');
    wall.applySettings({ showTipsOnWall: false, allowReactions: false });
    for (const [type, photo] of [['shoutout', ''], ['request', ''], ['photo', '/uploads/LUMVO_g_1.jpg'], ['tip', '']]) {
      assert.throws(() => wall.posts.submit(PHONES[0], type, { text: 'x' }, photo), { status: 403, code: 'off' }, type);
    }
    assert.throws(() => wall.reactions.react(PHONES[1], live, '🔥'), { status: 403, code: 'off' });
  });

  // Unblocking by list id and all at once go through the contract tests.
  test('block rejects only that phone\'s waiting posts and stops it; unblock by post id; booth posts have no phone', () => {
    const { wall } = makeWall();
    const [a, b, other] = [shout(wall, 0), shout(wall, 0, 'second'), shout(wall, 1)];
    wall.posts.block(a);
    assert.deepEqual([a, b, other].map((id) => wall.posts.byId.get(id).state), ['rejected', 'rejected', 'waiting']);
    assert.throws(() => shout(wall, 0), { status: 403, code: 'blocked' });
    wall.posts.unblock(b);
    assert.doesNotThrow(() => shout(wall, 0, 'back'));
    assert.throws(() => wall.posts.block(wall.posts.direct('booth', { name: 'DJ', text: 'x' }).id), { code: 'no_phone' });
  });

  test('a post the word filter flags waits, flagged, even with auto approve; the phone is not told why', () => {
    const { wall } = makeWall({ autoApprove: true, filterWords: 'boring' });
    const clean = wall.posts.submit(PHONES[0], 'shoutout', { name: 'Jo', text: 'what a night' });
    const rude = wall.posts.submit(PHONES[1], 'shoutout', { name: 'Rex', text: 'this DJ is sh*t, play something else' });
    const own = wall.posts.submit(PHONES[2], 'shoutout', { name: 'Ed', text: 'so BORING tonight' });
    const byName = wall.posts.submit(PHONES[3], 'shoutout', { name: 'l0ser', text: 'hi all' });
    assert.equal(clean.status, 'live');
    assert.deepEqual([rude, own, byName].map((r) => r.status), ['pending', 'pending', 'pending']);
    assert.deepEqual(Object.keys(rude), Object.keys(clean), 'the reply says nothing more');
    const pending = JSON.parse(stateDocument(stateView(wall))).pending;
    assert.deepEqual(pending.map((p) => [p.text, p.flagged, p.flagWord]), [
      ['this DJ is sh*t, play something else', true, 'sh*t'], ['so BORING tonight', true, 'BORING'], ['hi all', true, 'l0ser']]);
    // The DJ's words apply at once to what already waits, and not to what the phones see.
    wall.applySettings({ filterWords: '' });
    wall.posts.submit(PHONES[4], 'request', { name: 'Mo', text: 'anything but this loser song' });
    assert.deepEqual(stateView(wall).pending.map((p) => p.flag), ['sh*t', '', 'l0ser']);
    assert.equal(stateView(wall).requests[0].flag, 'loser');
    assert.equal(JSON.stringify(wall.posts.mine(PHONES[1])).includes('sh*t, play'), true);
    assert.equal(/flag/i.test(JSON.stringify([wall.posts.mine(PHONES[1]), guestLive(wall, PHONES[1])])), false);
  });

  test('waiting posts are bounded per phone and for the whole wall; what does not wait still goes through', () => {
    const { wall } = makeWall();
    for (let i = 0; i < MAX_WAITING_PER_PHONE; i++) shout(wall, 0, `m${i}`);
    assert.throws(() => shout(wall, 0, 'one more'), { status: 429 });
    assert.doesNotThrow(() => shout(wall, 1));
    const song = wall.posts.submit(PHONES[2], 'request', { text: 'Song' }).id;
    // Phones that each stay under their own bound fill the wall's.
    for (let n = wall.posts.waitingTotal, i = 0; n < MAX_WAITING_TOTAL; n++, i++) {
      wall.posts.submit(`many${String(i).padStart(18, '0')}`, 'shoutout', { text: `flood ${i}` });
    }
    assert.throws(() => shout(wall, 3), { status: 429, code: 'busy', retryAfter: 60 });
    assert.equal(wall.posts.submit(PHONES[4], 'request', { text: 'song' }).count, 2, 'a second asker does not add a waiting post');
    wall.applySettings({ autoApprove: true });
    assert.equal(wall.posts.submit(PHONES[5], 'shoutout', { text: 'straight up' }).status, 'live');
    assert.throws(() => wall.posts.submit(PHONES[6], 'shoutout', { text: 'what a loser' }), { code: 'busy' },
      'a post the word filter flags waits, so it needs room too');
    wall.posts.reject(song);
    assert.doesNotThrow(() => shout(wall, 3), 'room again once the DJ works through them');
  });
});

test('one address holds a share of the queue, a full queue still takes a few from each other address, the DJ rejects a phone\'s or an address\'s posts at once', () => {
  const { wall } = makeWall();
  // Phone i of address a; each phone stays within its own bound.
  const send = (a, i, type = 'shoutout', text = `${a} ${i} ${wall.posts.waitingTotal}`) =>
    wall.posts.submit(`${a}-phone-${i}`, type, { name: `${a}${i}`, text }, '', a);
  const fill = (a, n) => { for (let i = 0; i < n; i++) send(a, Math.floor(i / MAX_WAITING_PER_PHONE)); };
  const song = send('10.0.0.1', 98, 'request', 'Toxic');
  fill('10.0.0.1', MAX_WAITING_PER_ADDRESS - 1);
  assert.throws(() => send('10.0.0.1', 99), { status: 429, code: 'busy' }, 'a fresh phone behind a full address');
  const mine = send('10.0.0.9', 0, 'request', 'toxic');
  assert.equal(mine.count, 2, 'asking again for a waiting song adds no post, so it still goes through');
  for (let a = 2; wall.posts.waitingTotal < MAX_WAITING_TOTAL; a++) fill(`10.0.0.${a + 100}`, Math.min(MAX_WAITING_PER_ADDRESS, MAX_WAITING_TOTAL - wall.posts.waitingTotal));
  assert.throws(() => send('10.0.0.102', 50), { code: 'busy' });
  assert.throws(() => wall.posts.submit(PHONES[0], 'shoutout', { text: 'from the booth PC' }), { code: 'busy' });
  for (let i = 0; i < WAITING_RESERVE; i++) send('2001:db8::/64', i);
  assert.throws(() => send('2001:db8::/64', 9), { code: 'busy' }, 'only a few over the total from one address');

  // The first address's posts go at once; the song another address asked for stays for it.
  const oneOfThem = stateView(wall).pending.find((p) => p.name === '10.0.0.13').id;
  assert.equal(wall.posts.rejectFrom(oneOfThem, 'address'), MAX_WAITING_PER_ADDRESS - 1);
  const [request] = stateView(wall).requests;
  assert.deepEqual([request.id, request.count, request.name], [song.id, 1, '10.0.0.90']);
  assert.doesNotThrow(() => send('10.0.0.1', 0), 'room again for that address too');
  // A phone's posts, and no other phone's of its address.
  const before = stateView(wall).pending.length;
  assert.equal(wall.posts.rejectFrom(stateView(wall).pending.find((p) => p.name === '2001:db8::/640').id, 'phone'), 1);
  assert.equal(stateView(wall).pending.length, before - 1);
  assert.equal(wall.isBlocked('2001:db8::/64-phone-0'), false, 'rejected, not blocked');
  const booth = wall.posts.direct('booth', { name: 'DJ', text: 'hi' }).id;
  assert.throws(() => wall.posts.rejectFrom(booth, 'phone'), { status: 409, code: 'no_phone' });
  assert.throws(() => wall.posts.rejectFrom(booth, 'address'), { status: 409, code: 'no_address' });
});

test('the same song from several phones merges into one request with a count and last time; marks only on requests', () => {
  const { wall, clock } = makeWall();
  const first = wall.posts.submit(PHONES[0], 'request', { name: 'Ann', text: 'Mr. Brightside – The Killers' });
  clock.now += 5000;
  const second = wall.posts.submit(PHONES[1], 'request', { name: 'Bob', text: 'mr brightside the killers' });
  const again = wall.posts.submit(PHONES[1], 'request', { name: 'Bob', text: 'MR BRIGHTSIDE, THE KILLERS!' });
  wall.posts.submit(PHONES[2], 'request', { name: 'Cy', text: 'Dancing Queen' });
  assert.equal(second.id, first.id);
  assert.equal(again.count, 2, 'the same phone asking again does not count twice');
  const reqs = stateView(wall).requests;
  assert.deepEqual(reqs.map((r) => r.id === first.id), [true, false], 'most asked first');
  assert.deepEqual([reqs[0].count, reqs[0].name, reqs[0].lastAt - reqs[0].createdAt], [2, 'Bob', 5000]);
  assert.throws(() => wall.posts.requestMark(first.id, 'maybe'), { status: 400 });
  assert.throws(() => wall.posts.requestMark(shout(wall, 2), 'played'), { code: 'not_request' });
  wall.posts.drop(first.id);
  const fresh = wall.posts.submit(PHONES[3], 'request', { text: 'Mr Brightside the Killers' });
  assert.notEqual(fresh.id, first.id, 'a dropped request starts a fresh one');
  assert.equal(fresh.count, 1);
});

test('block on a merged request blocks the phone its row names; the request stays for the others', () => {
  const { wall, clock } = makeWall();
  const { id } = wall.posts.submit(PHONES[0], 'request', { name: 'Ann', text: 'Toxic' });
  clock.now += 1000;
  wall.posts.submit(PHONES[1], 'request', { name: 'Bob', text: 'toxic' });
  const bobsShout = shout(wall, 1, 'from Bob');
  wall.posts.block(id);
  assert.deepEqual([wall.isBlocked(PHONES[1]), wall.isBlocked(PHONES[0])], [true, false], 'Bob, whom the row named, is blocked');
  assert.equal(wall.posts.byId.get(bobsShout).state, 'rejected');
  const [request] = stateView(wall).requests;
  assert.deepEqual([request.id, request.name, request.count], [id, 'Ann', 1], 'Ann\'s request stays, without Bob\'s ask');
  wall.posts.unblock(bobsShout);
  wall.posts.block(id);
  assert.equal(wall.isBlocked(PHONES[0]), true, 'now the row names Ann');
  assert.equal(wall.posts.byId.get(id).state, 'rejected', 'with no one else asking, the request goes');
});

describe('reactions and hot posts', () => {
  test('one emoji per phone per post replaces the earlier one; multiple allows each once', () => {
    const { wall } = makeWall();
    const a = shout(wall, 0);
    assert.throws(() => wall.reactions.react(PHONES[1], a, '🔥'), { code: 'not_live' });
    wall.posts.show(a);
    wall.reactions.react(PHONES[1], a, '🔥');
    let r = wall.reactions.react(PHONES[1], a, '😂');
    assert.deepEqual(r.mine, ['😂']);
    assert.deepEqual(r.reactions, [{ emoji: '😂', count: 1 }]);
    wall.applySettings({ allowMultipleEmojis: true });
    wall.reactions.react(PHONES[1], a, '🔥');
    r = wall.reactions.react(PHONES[1], a, '🔥');
    assert.deepEqual(r.mine.sort(), ['😂', '🔥'].sort());
    wall.reactions.react(PHONES[2], a, '🔥');
    assert.equal(displayView(wall, '').feed[0].reactions, '🔥:2,😂:1');
    r = wall.reactions.react(PHONES[2], a, '🔥', true);
    assert.deepEqual(r.mine, []);
    assert.throws(() => wall.reactions.react(PHONES[3], a, '🦄'), { code: 'bad_emoji' }, 'outside the short set');
    wall.applySettings({ allowAllEmojis: true });
    assert.doesNotThrow(() => wall.reactions.react(PHONES[3], a, '🦄'));
  });

  test('a post takes a bounded number of different emojis, however many phones bring new ones', () => {
    const { wall } = makeWall({ allowAllEmojis: true, allowMultipleEmojis: true });
    const a = wall.posts.show(shout(wall, 0)).id;
    const emojis = [...'🐶🐱🐭🐹🐰🦊🐻🐼🐨🐯🦁🐮🐷🐸🐵🐔🐧🐦🐤🦆🦅🦉🦇🐺🐗🐴'];
    let refused = 0;
    for (const [i, e] of emojis.entries()) {
      try {
        wall.reactions.react(PHONES[i % 3], a, e);
      } catch (err) {
        assert.equal(err.code, 'too_many_emojis');
        refused++;
      }
    }
    assert.equal(wall.reactions.tally(a).size, MAX_EMOJIS_PER_POST);
    assert.equal(refused, emojis.length - MAX_EMOJIS_PER_POST);
    assert.equal(wall.reactions.react(PHONES[9], a, emojis[0]).reactions.length, MAX_EMOJIS_PER_POST, 'one it already has is still taken');
  });

  test('a tally follows every reaction, switch and removal: it matches the database, also after a restart', async () => {
    const file = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'lumvo-tally-')), 'wall.db');
    const { wall, store } = makeWall({}, file);
    const posts = [0, 1].map((i) => wall.posts.show(shout(wall, i)).id);
    const emojis = ['🔥', '❤️', '😂', '👏'];
    let seed = 7;
    const pick = (n) => { seed = (seed * 1103515245 + 12345) % 2 ** 31; return (seed >> 16) % n; };
    for (let k = 0; k < 400; k++) {
      if (k === 200) wall.applySettings({ allowMultipleEmojis: true });
      wall.reactions.react(PHONES[pick(12)], posts[pick(2)], emojis[pick(4)], pick(4) === 0);
    }
    const counted = (w, id) => Object.fromEntries(w.reactions.tally(id));
    const stored = (id) => Object.fromEntries(store.db.prepare('SELECT emoji, COUNT(*) AS n FROM reactions WHERE post_id = ? GROUP BY emoji')
      .all(id).map((r) => [r.emoji, r.n]));
    const before = posts.map((id) => counted(wall, id));
    store.commit();
    assert.deepEqual(before, posts.map(stored));
    assert.ok(Object.keys(before[0]).length > 1 && Object.values(before[0]).some((n) => n > 1), 'a mixed tally');
    await store.close();
    const again = makeWall({}, file);
    assert.deepEqual(posts.map((id) => counted(again.wall, id)), before);
    await again.store.close();
  });

  test('the reactions of a database from before they were kept in key order are all kept on opening it', async () => {
    const file = path.join(fs.mkdtempSync(path.join(os.tmpdir(), 'lumvo-reactions-')), 'wall.db');
    const old = new DatabaseSync(file);
    old.exec(`CREATE TABLE reactions (post_id TEXT NOT NULL, device_id TEXT NOT NULL, emoji TEXT NOT NULL, at INTEGER NOT NULL,
      PRIMARY KEY (post_id, device_id, emoji));
      INSERT INTO reactions VALUES ('p_b', 'd1', '🔥', 3), ('p_a', 'd2', '😂', 1), ('p_a', 'd1', '🔥', 2), ('p_a', 'd1', '👏', 4);`);
    old.close();
    for (let open = 0; open < 2; open++) {
      const store = new Store(file);
      const rows = store.reactionsOf(['p_a', 'p_b']).map((r) => `${r.post_id} ${r.device_id} ${r.emoji} ${r.at}`).sort();
      assert.deepEqual(rows, ['p_a d1 👏 4', 'p_a d1 🔥 2', 'p_a d2 😂 1', 'p_b d1 🔥 3']);
      assert.match(store.db.prepare("SELECT sql FROM sqlite_master WHERE name = 'reactions'").get().sql, /WITHOUT ROWID/);
      await store.close();
    }
  });

  test('hot while hotNeed reactions fall within hotWindowSec, and not after', () => {
    const { wall, clock } = makeWall({ hotNeed: 3, hotWindowSec: 10 });
    const a = shout(wall, 0);
    wall.posts.show(a);
    wall.reactions.react(PHONES[1], a, '🔥');
    clock.now += 4000;
    wall.reactions.react(PHONES[2], a, '🔥');
    assert.equal(wall.reactions.hot(a), false);
    clock.now += 4000;
    wall.reactions.react(PHONES[3], a, '❤️');
    assert.equal(wall.reactions.hot(a), true);
    assert.equal(displayView(wall, '').feed[0].hot, true);
    clock.now += 2500; // the first reaction is now older than 10 s
    assert.equal(wall.reactions.hot(a), false);
    wall.applySettings({ allowHotFx: false });
    wall.reactions.react(PHONES[4], a, '🔥');
    assert.equal(wall.reactions.hot(a), true);
    assert.equal(displayView(wall, '').feed[0].hot, false, 'hot effects off: never flagged');
  });
});

describe('polls', () => {
  const start = (wall, options, durationSec = 30) =>
    wall.polls.start({ title: 'Best?', options, endsAt: wall.clock() + durationSec * 1000 }, '');
  // The running poll's option ids: o(wall, 1) is the first answer's.
  const o = (wall, n) => wall.polls.current.record.options[n - 1].id;

  test('counts votes, one per phone unless unlimited; closes at the end, holds, then ends', () => {
    const { wall, advance } = makeWall();
    start(wall, ['Yes', 'No']);
    [1, 1, 2].forEach((n, i) => wall.polls.vote(PHONES[i], o(wall, n)));
    assert.throws(() => wall.polls.vote(PHONES[0], o(wall, 2)), { code: 'already_voted' });
    wall.applySettings({ allowUnlimitedVoting: true });
    wall.polls.vote(PHONES[0], o(wall, 1));
    wall.polls.vote(PHONES[0], o(wall, 2));
    assert.equal(displayView(wall, '').poll.counts.get(o(wall, 1)), 3);
    assert.deepEqual(['', PHONES[0], PHONES[2]].map((p) => wall.polls.guestView(p, wall.clock()).myOptions),
      [[], [o(wall, 1), o(wall, 2)], [o(wall, 2)]], 'each phone learns which answers it voted for');
    advance(30000);
    assert.throws(() => wall.polls.vote(PHONES[5], o(wall, 1)), { code: 'closed' });
    assert.match(stateView(wall).voteSummary, /Winner: Yes/);
    assert.equal(wall.posts.live.at(-1).type, 'vote', 'the result goes on the wall');
    assert.match(wall.posts.live.at(-1).text, /Yes wins \(5 votes\)/);
    advance(14000);
    assert.equal(displayView(wall, '').poll.closedFor, 14);
    advance(1000);
    assert.equal(displayView(wall, '').poll, null, 'ended after the hold');
  });

  test('a tie or no votes gives no winner; stop closes, a second stop ends', () => {
    const { wall, advance } = makeWall();
    start(wall, ['A', 'B', 'C']);
    wall.polls.vote(PHONES[0], o(wall, 1));
    wall.polls.vote(PHONES[1], o(wall, 2));
    wall.polls.stop();
    assert.equal(wall.polls.view().phase, 'closed');
    assert.match(stateView(wall).voteSummary, /No winner/);
    assert.match(wall.posts.live.at(-1).text, /no winner/);
    wall.polls.stop();
    assert.equal(wall.polls.view(), null);
    assert.throws(() => wall.polls.stop(), { code: 'no_poll' });
    assert.throws(() => wall.polls.vote(PHONES[0], 'any'), { status: 404, code: 'no_poll' });
    start(wall, ['A', 'B'], 5);
    advance(5000);
    assert.match(stateView(wall).voteSummary, /\(0 votes\) {2}No winner/);
  });

  test('a new poll replaces a running one, with bar keys of its own even for the same question', () => {
    const { wall } = makeWall();
    const bars = () => JSON.parse(displayDocument(displayView(wall, ''))).voteBars.split('\n').map((l) => l.split('\t')[0]);
    start(wall, ['Yes', 'No']);
    const first = bars();
    wall.polls.vote(PHONES[0], o(wall, 1));
    start(wall, ['Yes', 'No']);
    assert.equal(wall.polls.view().counts.size, 0);
    assert.doesNotThrow(() => wall.polls.vote(PHONES[0], o(wall, 1)));
    const second = bars();
    assert.equal(new Set([...first, ...second]).size, 4, `${first} then ${second}`);
    assert.ok([...first, ...second].every((k) => /^[a-z0-9_]+$/.test(k)), 'keys the plug-in may echo');
    assert.throws(() => wall.polls.vote(PHONES[1], first[0]), { status: 400 }, 'the last poll\'s key is no answer now');
  });
});
