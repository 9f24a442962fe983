// Pure pieces: the flat-safe document writer, settings, text rules, image sniffing, addresses,
// path joining, rate limits, version check.

import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import { flatObject, displayDocument, stateDocument } from '../src/documents.js';
import { jsonGetString, jsonGetObjects, jsonUnescapeBytes, readState, readDisplay } from './helpers/flat-json.js';
import { mergeSettings, DEFAULT_SETTINGS, tipLinksFor } from '../src/settings.js';
import { songSearchText, checkEmoji, field, cleanText } from '../src/text.js';
import { sniffImage, decodeDataUrl } from '../src/images.js';
import { bestLanAddress, isLoopback } from '../src/netaddr.js';
import { safeJoin } from '../src/static.js';
import { RateLimiter } from '../src/ratelimit.js';
import { nodeTooOld } from '../src/lifecycle.js';
import { parsePollStart, endAtToTime } from '../src/polls.js';

const post = (over) => ({ id: 'p_1', type: 'shoutout', name: 'A', text: 'B', photo: '', createdAt: 1, ...over });

describe('documents survive the flat readers', () => {
  test('guest text cannot fake a key for the array reader, which does not check for a colon', () => {
    // Names and texts that equal or end in a list name used to redirect the plug-in's list reads.
    const nasty = ['feed', 'requests', '"tips', 'x"blocked', 'pending"', '\\', '\\"feed', 'guestLooks'];
    const pending = nasty.map((n, i) => post({ id: `p_${i}`, name: n, text: n }));
    const text = stateDocument({
      voteActive: false, venuePin: 'ABCDE', guestBgStatus: 'feed', guestLookActive: 'lumvo', vdjSearch: 'requests',
      repeatMessages: true, voteTitle: 'tips', voteRemain: 0, voteClosed: false, voteSummary: '"rejected',
      autoApprove: false, guestLooks: [{ id: 'lumvo', name: 'pending' }],
      pending, requests: [post({ id: 'p_r', type: 'request' })], tips: [], rejected: [], feed: [post({ id: 'p_f' })], blocked: [],
    });
    const s = readState(text);
    assert.deepEqual(s.pending.map((p) => p.name), nasty);
    assert.deepEqual([s.requests, s.feed, s.tips].map((list) => list.map((p) => p.id)), [['p_r'], ['p_f'], []]);
    assert.deepEqual([s.voteTitle, s.vdjSearch, s.voteSummary], ['tips', 'requests', '"rejected']);
    assert.deepEqual(s.guestLooks, [{ id: 'lumvo', name: 'pending' }]);
    assert.deepEqual(JSON.parse(text).pending.map((p) => p.text), nasty, 'still standard JSON');
  });

  test('scalars come before arrays and no key name appears first inside another value', () => {
    const text = flatObject({ a: 'featuredId', featuredId: 'x' });
    assert.equal(jsonGetString(text, 'featuredId'), 'x');
    const d = displayDocument({
      featured: null, settings: DEFAULT_SETTINGS, joinUrl: 'http://192.168.1.5:8787',
      feed: [post({ name: 'type', text: 'a\tb\nc\r"text":"x"', reactions: '🔥:2', color: '#ff0000', hot: true })],
      poll: null, tipEnabled: false,
    });
    const r = readDisplay(d);
    assert.deepEqual([r.type, r.text], ['', ''], 'a feed line does not stand in for the featured post');
    assert.deepEqual(r.feed, [{ id: 'p_1', type: 'shoutout', name: 'type', text: 'a b c "text":"x"', photo: '', reactions: '🔥:2', color: '#ff0000', hot: true }]);
    assert.equal(d.indexOf('{', 1), -1, 'the display document has no nested object');
    assert.equal(d.indexOf('['), -1, 'and no array');
  });

  test('the ported unescaper follows the plug-in rules', () => {
    const dec = (s) => Buffer.from(jsonUnescapeBytes(s), 'latin1');
    assert.deepEqual(dec('\\u00e9'), Buffer.from([0xc3, 0xa9]));
    assert.deepEqual(dec('\\ud83d\\ude00'), Buffer.from([0xf0, 0x9f, 0x98, 0x80]));
    assert.equal(dec('\\ud83d').length, 0);
    assert.equal(dec('\\u12G4').toString(), '4');
    assert.equal(jsonGetObjects('{"a":["s",{"b":"}"},3]}', 'a').length, 1);
  });
});

describe('settings push', () => {
  test('clamps numbers, keeps absent keys, halves doubled percent signs, refuses non-http links', () => {
    let s = mergeSettings(DEFAULT_SETTINGS, { hotNeed: 2.9, hotWindowSec: 999, duration: '7.0', theme: 'Wedding', autoApprove: true });
    assert.equal(s.hotNeed, 3);
    assert.equal(s.hotWindowSec, 180);
    assert.equal(s.duration, 7);
    assert.equal(s.theme, 'wedding');
    s = mergeSettings(s, { theme: 'disco', tipLinks: ['paypal.me/dj%%20x', 'javascript:alert(1)', 'https://monzo.me/dj'] });
    assert.equal(s.autoApprove, true, 'absent keys keep their value');
    assert.equal(s.theme, 'club');
    assert.deepEqual(tipLinksFor(s), [
      { label: 'PayPal', url: 'https://paypal.me/dj%20x' },
      { label: 'Pay me', url: 'https://monzo.me/dj' },
    ]);
    s = mergeSettings(s, { hotNeed: 'lots', allowReactions: 'maybe', allowBackgroundFx: false });
    assert.equal(s.hotNeed, 3);
    assert.equal(s.allowReactions, true, 'a value that is no boolean is ignored');
    assert.equal(s.allowWordFx, false, 'the older combined switch stands in when the new key is absent');
  });
});

describe('text rules', () => {
  test('song search text as the host needs it', () => {
    assert.equal(songSearchText('  Song \u2013 "Artist"  '), 'Song Artist');
    assert.equal(songSearchText(`'\`\\"`), '');
    const long = songSearchText('é'.repeat(100));
    assert.ok(Buffer.byteLength(long) <= 80 && !long.includes('\ufffd'));
  });

  test('fields: trimmed, control characters removed, lengths in characters, required ones', () => {
    assert.equal(cleanText(' a\u0000b\r\nc\u2028 ', { keepLines: true }), 'a b\nc');
    assert.equal(field('😀'.repeat(28), { label: 'name', max: 28 }).length, 56);
    assert.throws(() => field('x'.repeat(29), { label: 'name', max: 28 }), { code: 'too_long' });
    assert.throws(() => field('   ', { label: 'message', max: 10, required: true }), { code: 'empty' });
    assert.throws(() => field(42, { label: 'message', max: 10 }), { status: 400 });
  });

  test('emoji: the short set unless all are allowed; never separators or plain text', () => {
    assert.equal(checkEmoji('❤', false), '❤️');
    assert.throws(() => checkEmoji('🦄', false), { code: 'bad_emoji' });
    assert.equal(checkEmoji('🇬🇧', true), '🇬🇧');
    assert.equal(checkEmoji('👍🏽', true), '👍🏽');
    for (const bad of ['a', '🔥,', '🔥:9', '1', '#', '<b>', '', '🔥'.repeat(9)]) {
      assert.throws(() => checkEmoji(bad, true), { code: 'bad_emoji' }, bad);
    }
  });
});

describe('images', () => {
  test('recognised by content only', () => {
    const webp = Buffer.concat([Buffer.from('RIFF'), Buffer.alloc(4), Buffer.from('WEBPVP8 '), Buffer.alloc(20)]);
    assert.equal(sniffImage(webp), 'webp');
    assert.equal(sniffImage(Buffer.from('GIF89a-----------')), '');
    const png = Buffer.concat([Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]), Buffer.alloc(30)]);
    assert.equal(decodeDataUrl(`data:image/jpeg;base64,${png.toString('base64')}`).ext, 'png', 'declared type ignored');
    assert.throws(() => decodeDataUrl(`data:image/png;base64,${Buffer.from('<svg onload=x>............').toString('base64')}`), { status: 415 });
    assert.throws(() => decodeDataUrl('data:image/png,rawtext'), { status: 415 });
    assert.throws(() => decodeDataUrl(`data:image/png;base64,${'A'.repeat(8_000_000)}`), { status: 413 });
  });
});

describe('addresses and paths', () => {
  test('loopback callers', () => {
    for (const a of ['127.0.0.1', '127.8.9.10', '::1', '::ffff:127.0.0.1']) assert.equal(isLoopback(a), true, a);
    for (const a of ['10.0.0.1', '::ffff:192.168.1.2', '0.0.0.0', '', undefined, '127.0.0.1.evil']) assert.equal(isLoopback(a), false, a);
  });

  test('join address prefers a venue-style private address on a real adapter', () => {
    const v4 = (address, internal = false) => ({ address, family: 'IPv4', internal });
    assert.equal(bestLanAddress({
      lo: [v4('127.0.0.1', true)], 'vEthernet (WSL)': [v4('172.20.0.1')], Ethernet: [v4('10.0.0.7')],
      'Wi-Fi': [v4('169.254.3.3'), v4('192.168.1.23'), { address: 'fe80::1', family: 'IPv6', internal: false }],
    }), '192.168.1.23');
    assert.equal(bestLanAddress({ 'VirtualBox Host-Only': [v4('192.168.56.1')], Ethernet: [v4('10.1.2.3')] }), '10.1.2.3');
    assert.equal(bestLanAddress({ eth0: [v4('8.8.8.8')] }), '');
  });

  test('static paths never leave their folder', () => {
    assert.equal(safeJoin('/w/web', '/brand/a.png'), '/w/web/brand/a.png');
    for (const p of ['/../secret', '/%2e%2e/secret', '/a/%2e%2e/%2e%2e/x', '/..%2fx', '/a%5c..%5cb', '/x%00.png', '/C:/x', '/%E0%A4%A']) {
      assert.equal(safeJoin('/w/web', p), null, p);
    }
  });
});

test('rate limiter: burst then steady rate, per key', () => {
  let now = 0;
  const rl = new RateLimiter({ post: { burst: 2, everyMs: 1000 } }, { clock: () => now });
  assert.equal(rl.take('post', 'a'), 0);
  assert.equal(rl.take('post', 'a'), 0);
  assert.equal(rl.take('post', 'a'), 1);
  assert.equal(rl.take('post', 'b'), 0);
  now += 1000;
  assert.equal(rl.take('post', 'a'), 0);
  assert.ok(rl.take('post', 'a') > 0);
  now += 10000;
  rl.sweep();
  assert.equal(rl.buckets.size, 0, 'full buckets are forgotten');
});

test('node version check', () => {
  for (const [v, old] of [['v20.20.2', true], ['22.12.9', true], ['22.13.0', false], ['24.0.0', false]]) assert.equal(nodeTooOld(v), old, v);
});

describe('poll start refusals', () => {
  const now = new Date(2025, 5, 1, 22, 0, 0).getTime();
  const ok = { title: 'T', options: ['A', 'B'], duration: 60 };
  test('bad polls are refused with a sentence', () => {
    const cases = [
      [{ ...ok, title: '  ' }, /title/],
      [{ ...ok, options: ['A', '', ' '] }, /two to four/],
      [{ ...ok, options: ['A', 'B', 'C', 'D', 'E'] }, /two to four/],
      [{ ...ok, duration: 4 }, /5 seconds/],
      [{ ...ok, duration: 7.5 }, /whole number/],
      [{ ...ok, duration: '60' }, /whole number/],
      [{ title: 'T', options: ['A', 'B'] }, /length or an end time/],
      [{ title: 'T', options: ['A', 'B'], duration: 60, endAt: '23:00:00' }, /length or an end time/],
      [{ title: 'T', options: ['A', 'B'], endAt: '25:00:00' }, /22:30:00/],
      [{ title: 'T', options: ['A', 'B'], endAt: '21:58:00' }, /already passed/],
      [{ title: 'T', options: ['A', 'B'], endAt: '22:00:03' }, /5 seconds/],
    ];
    for (const [body, msg] of cases) assert.throws(() => parsePollStart(body, now), { code: 'bad_poll', message: msg }, JSON.stringify(body));
  });
  test('end clock times: later today, or tomorrow when long passed', () => {
    assert.equal(endAtToTime('22:30:00', now) - now, 30 * 60 * 1000);
    assert.equal(endAtToTime('01:00:00', now) - now, 3 * 3600 * 1000);
    assert.deepEqual(parsePollStart({ ...ok, options: ['A', '', 'B'] }, now).options, ['A', 'B']);
  });
});
