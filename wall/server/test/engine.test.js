// The moderation engine on an in-memory database with a hand-driven clock.

import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { Store } from '../src/store.js';
import { Wall, FEATURE_GAP_MS, IDLE_REPEAT_GAP_MS, MAX_WAITING_PER_PHONE, QUEUE_GUEST_MAX } from '../src/wall.js';

function makeWall(settings = {}) {
  const clock = { now: 1_700_000_000_000 };
  const store = new Store(':memory:');
  const wall = new Wall(store, { clock: () => clock.now });
  wall.applySettings({ duration: 7, repeatMessages: false, ...settings });
  const advance = (ms) => { clock.now += ms; wall.tick(); };
  return { wall, store, clock, advance };
}

const PHONES = Array.from({ length: 40 }, (_, i) => `phone${String(i).padStart(17, '0')}`);
const shout = (wall, i, text = `hello ${i}`) => wall.submit(PHONES[i], 'shoutout', { name: `G${i}`, text }).id;
// n guest posts from different phones, approved in order.
const approved = (wall, n) => Array.from({ length: n }, (_, i) => wall.show(shout(wall, i)).id);

describe('featured queue', () => {
  test('shows approved posts one at a time for the pushed duration, then clears featuredId', () => {
    const { wall, advance } = makeWall();
    const [a, b] = approved(wall, 2);
    wall.tick();
    assert.equal(wall.featured.id, a);
    advance(6900);
    assert.equal(wall.featured.id, a, 'still within its 7 s');
    advance(200);
    assert.equal(wall.featured, null, 'cleared when its time is up');
    advance(FEATURE_GAP_MS);
    assert.equal(wall.featured.id, b);
    advance(7000);
    advance(60000);
    assert.equal(wall.featured, null, 'nothing more to show without idle repeat');
    assert.deepEqual(wall.live.map((p) => p.id), [a, b], 'both stay in the feed');
  });

  test('venue and booth posts jump ahead of guest posts but keep their own order; highlight goes first', () => {
    const { wall, advance } = makeWall();
    const ids = approved(wall, 3);
    wall.tick(); // ids[0] featured
    const venue = wall.direct('venue', { name: 'Bar', text: 'Last orders' }).id;
    const booth = wall.direct('booth', { name: 'DJ', text: 'Next up' }).id;
    wall.highlight(ids[2]);
    const order = [];
    for (let i = 0; i < 5; i++) {
      advance(7000);
      advance(FEATURE_GAP_MS);
      if (wall.featured) order.push(wall.featured.id);
    }
    assert.deepEqual(order, [ids[2], venue, booth, ids[1]]);
  });

  test('idle repeat brings approved posts back in rotation only when nothing waits', () => {
    const { wall, advance } = makeWall({ repeatMessages: true });
    const ids = approved(wall, 3);
    const seen = [];
    for (let t = 0; t < 120000; t += 500) {
      advance(500);
      if (wall.featured && seen.at(-1) !== wall.featured.id) seen.push(wall.featured.id);
    }
    assert.deepEqual(seen.slice(0, 6), [...ids, ...ids], 'queue first, then the rotation in feed order');
    // A repeat waits for the idle gap, so a fresh post is not held behind a long rotation.
    const { wall: w2, advance: adv2 } = makeWall({ repeatMessages: true });
    approved(w2, 1);
    w2.tick();
    adv2(7000);
    adv2(IDLE_REPEAT_GAP_MS - 1000);
    assert.equal(w2.featured, null);
    const y = w2.show(shout(w2, 1)).id;
    adv2(10);
    assert.equal(w2.featured.id, y);
  });

  test('next, skip and clear', () => {
    const { wall, advance } = makeWall({ repeatMessages: true });
    const [a, b] = approved(wall, 2);
    wall.tick();
    wall.next();
    assert.equal(wall.featured.id, b, 'next puts the queued post up at once');
    wall.next();
    assert.equal(wall.featured.id, a, 'with an empty queue, next takes the next idle repeat');
    wall.skip();
    assert.equal(wall.featured, null);
    advance(FEATURE_GAP_MS);
    assert.equal(wall.featured, null, 'after skip, a repeat waits for the idle gap');
    wall.clear();
    advance(IDLE_REPEAT_GAP_MS * 2);
    assert.equal(wall.featured, null, 'nothing left to repeat');
    assert.equal(wall.posts.size, 0);
  });

  test('a busy auto-approved night keeps every post in the feed but a bounded queue', () => {
    const { wall } = makeWall({ autoApprove: true });
    for (let i = 0; i < 40; i++) shout(wall, i);
    assert.equal(wall.live.length, 40);
    assert.equal(wall.queue.length, QUEUE_GUEST_MAX);
    const venue = wall.direct('venue', { name: 'Bar', text: 'Last orders' }).id;
    assert.equal(wall.queue[0].id, venue, 'a full queue still lets venue posts jump ahead');
  });

  test('removing or rejecting the featured post takes it off the card and out of the queue', () => {
    const { wall } = makeWall();
    const [a, b] = approved(wall, 2);
    wall.tick();
    wall.remove(a);
    assert.equal(wall.featured, null);
    wall.reject(b);
    assert.deepEqual(wall.queue, []);
  });
});

describe('moderation', () => {
  test('auto approve puts shout-outs live but photos and tips still wait', () => {
    const { wall } = makeWall({ autoApprove: true, tipLinks: ['paypal.me/dj', '', ''] });
    assert.equal(wall.submit(PHONES[0], 'shoutout', { text: 'hi' }).status, 'live');
    assert.equal(wall.submit(PHONES[0], 'photo', { text: '' }, '/uploads/LUMVO_g_x.jpg').status, 'pending');
    assert.equal(wall.submit(PHONES[0], 'tip', { text: 'great set' }).status, 'pending');
    const v = wall.stateView();
    assert.deepEqual([v.feed.length, v.pending.length, v.tips.length], [1, 1, 1]);
  });

  test('every type obeys its switch', () => {
    const { wall } = makeWall({ allowMessages: false, allowRequests: false, allowPhotos: false, allowReactions: false });
    for (const [type, photo] of [['shoutout', ''], ['request', ''], ['photo', '/uploads/LUMVO_g_1.jpg'], ['tip', '']]) {
      assert.throws(() => wall.submit(PHONES[0], type, { text: 'x' }, photo), { status: 403, code: 'off' }, type);
    }
  });

  // Unblocking by list id and all at once go through the contract tests.
  test('block rejects only that phone\'s waiting posts and stops it; unblock by post id; booth posts have no phone', () => {
    const { wall } = makeWall();
    const [a, b, other] = [shout(wall, 0), shout(wall, 0, 'second'), shout(wall, 1)];
    wall.block(a);
    assert.deepEqual([a, b, other].map((id) => wall.posts.get(id).state), ['rejected', 'rejected', 'waiting']);
    assert.throws(() => shout(wall, 0), { status: 403, code: 'blocked' });
    wall.unblock(b);
    assert.doesNotThrow(() => shout(wall, 0, 'back'));
    assert.throws(() => wall.block(wall.direct('booth', { name: 'DJ', text: 'x' }).id), { code: 'no_phone' });
  });

  test('request marks: set, cleared, nothing else, only on requests; a dropped post is gone', () => {
    const { wall } = makeWall();
    const r = wall.submit(PHONES[1], 'request', { text: 'Song' }).id;
    wall.requestMark(r, 'refuse');
    wall.requestMark(r, '');
    assert.equal(wall.stateView().requests[0].mark, '');
    assert.throws(() => wall.requestMark(r, 'maybe'), { status: 400 });
    assert.throws(() => wall.requestMark(shout(wall, 2), 'played'), { code: 'not_request' });
    wall.drop(r);
    assert.throws(() => wall.show(r), { status: 404 });
  });

  test('a phone cannot flood the DJ with waiting posts', () => {
    const { wall } = makeWall();
    for (let i = 0; i < MAX_WAITING_PER_PHONE; i++) shout(wall, 0, `m${i}`);
    assert.throws(() => shout(wall, 0, 'one more'), { status: 429 });
    assert.doesNotThrow(() => shout(wall, 1));
  });
});

test('the same song from several phones merges into one request with a count and last time', () => {
  const { wall, clock } = makeWall();
  const first = wall.submit(PHONES[0], 'request', { name: 'Ann', text: 'Mr. Brightside – The Killers' });
  clock.now += 5000;
  const second = wall.submit(PHONES[1], 'request', { name: 'Bob', text: 'mr brightside the killers' });
  const again = wall.submit(PHONES[1], 'request', { name: 'Bob', text: 'MR BRIGHTSIDE, THE KILLERS!' });
  wall.submit(PHONES[2], 'request', { name: 'Cy', text: 'Dancing Queen' });
  assert.equal(second.id, first.id);
  assert.equal(again.count, 2, 'the same phone asking again does not count twice');
  const reqs = wall.stateView().requests;
  assert.equal(reqs.length, 2);
  assert.equal(reqs[0].id, first.id, 'most asked first');
  assert.equal(reqs[0].count, 2);
  assert.equal(reqs[0].name, 'Bob');
  assert.equal(reqs[0].lastAt - reqs[0].createdAt, 5000);
  assert.equal(reqs[0].search, 'Mr. Brightside The Killers');
  wall.drop(first.id);
  const fresh = wall.submit(PHONES[3], 'request', { text: 'Mr Brightside the Killers' });
  assert.notEqual(fresh.id, first.id, 'a dropped request starts a fresh one');
  assert.equal(fresh.count, 1);
});

describe('reactions and hot posts', () => {
  test('one emoji per phone per post replaces the earlier one; multiple allows each once', () => {
    const { wall } = makeWall();
    const a = shout(wall, 0);
    assert.throws(() => wall.react(PHONES[1], a, '🔥'), { code: 'not_live' });
    wall.show(a);
    wall.react(PHONES[1], a, '🔥');
    let r = wall.react(PHONES[1], a, '😂');
    assert.deepEqual(r.mine, ['😂']);
    assert.deepEqual(r.reactions, [{ emoji: '😂', count: 1 }]);
    wall.applySettings({ allowMultipleEmojis: true });
    wall.react(PHONES[1], a, '🔥');
    r = wall.react(PHONES[1], a, '🔥');
    assert.deepEqual(r.mine.sort(), ['😂', '🔥'].sort());
    wall.react(PHONES[2], a, '🔥');
    assert.equal(wall.displayView('').feed[0].reactions, '🔥:2,😂:1');
    r = wall.react(PHONES[2], a, '🔥', true);
    assert.deepEqual(r.mine, []);
    assert.throws(() => wall.react(PHONES[3], a, '🦄'), { code: 'bad_emoji' }, 'outside the short set');
    wall.applySettings({ allowAllEmojis: true });
    assert.doesNotThrow(() => wall.react(PHONES[3], a, '🦄'));
  });

  test('hot while hotNeed reactions fall within hotWindowSec, and not after', () => {
    const { wall, clock } = makeWall({ hotNeed: 3, hotWindowSec: 10 });
    const a = shout(wall, 0);
    wall.show(a);
    wall.react(PHONES[1], a, '🔥');
    clock.now += 4000;
    wall.react(PHONES[2], a, '🔥');
    assert.equal(wall.hot(a), false);
    clock.now += 4000;
    wall.react(PHONES[3], a, '❤️');
    assert.equal(wall.hot(a), true);
    assert.equal(wall.displayView('').feed[0].hot, true);
    clock.now += 2500; // the first reaction is now older than 10 s
    assert.equal(wall.hot(a), false);
    wall.applySettings({ allowHotFx: false });
    wall.react(PHONES[4], a, '🔥');
    assert.equal(wall.hot(a), true);
    assert.equal(wall.displayView('').feed[0].hot, false, 'hot effects off: never flagged');
  });
});

describe('polls', () => {
  const start = (wall, options, durationSec = 30) =>
    wall.startPoll({ title: 'Best?', options, endsAt: wall.clock() + durationSec * 1000 }, '');

  test('counts votes, one per phone unless unlimited; closes at the end, holds, then ends', () => {
    const { wall, advance } = makeWall();
    start(wall, ['Yes', 'No']);
    ['o1', 'o1', 'o2'].forEach((o, i) => wall.vote(PHONES[i], o));
    assert.throws(() => wall.vote(PHONES[0], 'o2'), { code: 'already_voted' });
    assert.throws(() => wall.vote(PHONES[3], 'o9'), { status: 400 });
    wall.applySettings({ allowUnlimitedVoting: true });
    wall.vote(PHONES[0], 'o1');
    assert.equal(wall.displayView('').poll.counts.get('o1'), 3);
    advance(30000);
    assert.equal(wall.displayView('').poll.phase, 'closed');
    assert.throws(() => wall.vote(PHONES[5], 'o1'), { code: 'closed' });
    assert.match(wall.stateView().voteSummary, /Winner: Yes/);
    assert.equal(wall.live.at(-1).type, 'vote', 'the result goes on the wall');
    assert.match(wall.live.at(-1).text, /Yes wins \(4 votes\)/);
    advance(14000);
    assert.equal(wall.displayView('').poll.closedFor, 14);
    advance(1000);
    assert.equal(wall.displayView('').poll, null, 'ended after the hold');
  });

  test('a tie or no votes gives no winner; stop closes, a second stop ends', () => {
    const { wall, advance } = makeWall();
    start(wall, ['A', 'B', 'C']);
    wall.vote(PHONES[0], 'o1');
    wall.vote(PHONES[1], 'o2');
    wall.stopPoll();
    assert.equal(wall.pollView().phase, 'closed');
    assert.match(wall.stateView().voteSummary, /No winner/);
    assert.match(wall.live.at(-1).text, /no winner/);
    wall.stopPoll();
    assert.equal(wall.pollView(), null);
    assert.throws(() => wall.stopPoll(), { code: 'no_poll' });
    start(wall, ['A', 'B'], 5);
    advance(5000);
    assert.match(wall.stateView().voteSummary, /\(0 votes\)  No winner/);
  });

  test('a new poll replaces a running one', () => {
    const { wall } = makeWall();
    start(wall, ['A', 'B']);
    wall.vote(PHONES[0], 'o1');
    start(wall, ['C', 'D']);
    assert.equal(wall.pollView().counts.size, 0);
    assert.doesNotThrow(() => wall.vote(PHONES[0], 'o1'));
  });
});
