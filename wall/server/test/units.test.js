// Pure pieces: settings against the plug-in's settings table, text rules, image sniffing,
// addresses, path joining, rate limits, the venue PIN, poll refusals.

import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import zlib from 'node:zlib';
import { isDeepStrictEqual } from 'node:util';
import { mergeSettings, DEFAULT_SETTINGS, tipLinksFor } from '../src/settings.js';
import { songSearchText, checkEmoji, field, cleanText } from '../src/text.js';
import { sniffImage, decodeDataUrl } from '../src/images.js';
import { bestLanAddress, isLoopback, joinAddress } from '../src/netaddr.js';
import { cleanPath, safeJoin } from '../src/static.js';
import { RateLimiter, GUEST_RULES, Turns, addressKey } from '../src/ratelimit.js';
import { parsePollStart, endAtToTime } from '../src/polls.js';
import { newPin, PIN_ALPHABET } from '../src/ids.js';
import { WordFilter } from '../src/wordfilter.js';
import { decodePng, phoneSized } from '../src/picture.js';
import { IdempotencyStore, REPLAY_MS } from '../src/idempotency.js';

describe('settings push', () => {
  // The plug-in's settings table, exported by its native tests: one row per setting, "json" the
  // key it pushes, min/max in that key's units.
  const table = JSON.parse(fs.readFileSync(new URL('../../../tests/contract/settings.json', import.meta.url), 'utf8'));
  const aliases = table.pushAliases;
  const pushedKeys = Object.keys(table.pushDefaults);
  const ownKeys = pushedKeys.filter((k) => !Object.hasOwn(aliases, k));

  test('the server knows exactly the keys the plug-in pushes, with the same defaults', () => {
    assert.deepEqual(new Set(Object.keys(DEFAULT_SETTINGS)), new Set(ownKeys));
    assert.deepEqual(new Set(table.settings.flatMap((r) => (r.json ? [r.json] : []))), new Set(pushedKeys), 'every pushed key has its row');
    assert.deepEqual({ ...DEFAULT_SETTINGS }, Object.fromEntries(ownKeys.map((k) => [k, table.pushDefaults[k]])));
    assert.deepEqual(mergeSettings(DEFAULT_SETTINGS, table.pushDefaults), DEFAULT_SETTINGS, 'pushing the defaults changes nothing');
  });

  // A value of the pushed kind that differs from the default; text tries a link, a theme, a folder.
  const changedValues = (row) => {
    const def = table.pushDefaults[row.json];
    if (typeof def === 'boolean') return [!def];
    if (typeof def === 'number') return [row.min, row.max, def + 1].filter((v) => v !== undefined && v !== def);
    const texts = ['https://lumvo.example/dj', table.themes.names.at(-1), '/srv/album'];
    if (Array.isArray(def)) return texts.map((t) => def.map((v, i) => (i === row.jsonIndex ? t : v)));
    return texts;
  };

  test('every pushed key changes what the server keeps, and numbers clamp to the table\'s range', () => {
    for (const row of table.settings.filter((r) => r.json)) {
      const key = aliases[row.json] ?? row.json;
      const kept = (value) => {
        const v = mergeSettings(DEFAULT_SETTINGS, { [row.json]: value })[key];
        return row.jsonIndex === undefined ? v : v[row.jsonIndex];
      };
      const before = row.jsonIndex === undefined ? DEFAULT_SETTINGS[key] : DEFAULT_SETTINGS[key][row.jsonIndex];
      assert.ok(changedValues(row).some((v) => !isDeepStrictEqual(kept(v), before)), `the server ignores the pushed "${row.json}"`);
      if (row.min === undefined) continue;
      for (const [sent, want] of [[row.min - 1, row.min], [row.min, row.min], [row.max, row.max], [row.max + 1000, row.max]]) {
        assert.equal(kept(sent), want, `"${row.json}": ${sent}`);
      }
    }
  });

  test('halves doubled percent signs, refuses non-http links, ignores values of the wrong kind', () => {
    let s = mergeSettings(DEFAULT_SETTINGS, { duration: '7.0', autoApprove: true });
    assert.equal(s.duration, 7);
    s = mergeSettings(s, { tipLinks: ['paypal.me/dj%%20x', 'javascript:alert(1)', 'https://monzo.me/dj'] });
    assert.equal(s.autoApprove, true, 'absent keys keep their value');
    assert.deepEqual(tipLinksFor(s), [
      { label: 'PayPal', url: 'https://paypal.me/dj%20x' },
      { label: 'Pay me', url: 'https://monzo.me/dj' },
    ]);
    s = mergeSettings(s, { hotNeed: 'lots', allowReactions: 'maybe', allowWordFx: true, allowBackgroundFx: false });
    assert.equal(s.hotNeed, DEFAULT_SETTINGS.hotNeed);
    assert.equal(s.allowReactions, true, 'a value that is no boolean is ignored');
    assert.equal(s.allowWordFx, true, 'the older combined switch only stands in when the newer key is absent');
  });
});

describe('text rules', () => {
  test('song search text as the host needs it', () => {
    assert.equal(songSearchText('  Song \u2013 "Artist"  '), 'Song Artist');
    assert.equal(songSearchText(`'\`\\"`), '');
    const long = songSearchText('é'.repeat(100));
    assert.ok(Buffer.byteLength(long) <= 80 && !long.includes('\ufffd'));
    assert.equal(songSearchText('👨‍👩‍👧'.repeat(10)), '👨‍👩‍👧'.repeat(4), 'cut between emoji, never inside one');
  });

  test('fields: trimmed, control characters removed, lengths in characters as people count them, required ones', () => {
    assert.equal(cleanText(' a\u0000b\r\nc\u2028 ', { keepLines: true }), 'a b\nc');
    assert.equal(field(`${'x'.repeat(27)}👨‍👩‍👧`, { label: 'name', max: 28 }).length, 35, 'a family emoji is one character');
    assert.equal(field('🇬🇧é'.repeat(14), { label: 'name', max: 28 }).length, 14 * 5);
    assert.throws(() => field(`${'x'.repeat(28)}👨‍👩‍👧`, { label: 'name', max: 28 }), { code: 'too_long' });
    assert.equal(field('Zoë Ñ'.repeat(6).slice(0, 28), { label: 'name', max: 28 }).length, 28);
    assert.throws(() => field('Zoë Ñ'.repeat(6), { label: 'name', max: 28 }), { code: 'too_long' }, 'accented letters count once each');
    assert.throws(() => field('   ', { label: 'message', max: 10, required: true }), { code: 'empty' });
    assert.throws(() => field(42, { label: 'message', max: 10 }), { status: 400 });
  });

  test('fields: a few marks on a letter are writing, stacks of them are refused', () => {
    const marks = (n) => Array.from({ length: n }, (_, i) => String.fromCodePoint(0x300 + (i % 0x60))).join('');
    const writing = ['ệ', 'ǘ', 'ử'.normalize('NFD'), `a${marks(3)}`, '👩🏻‍❤️‍💋‍👨🏼', 'नमस्ते', '👨‍👩‍👧‍👦'];
    for (const ch of writing) assert.doesNotThrow(() => field(ch.repeat(Math.floor(180 / [...ch].length)), { label: 'message', max: 180 }), ch);
    assert.doesNotThrow(() => field(`e${marks(3)}`.repeat(180), { label: 'message', max: 180 }), 'three marks on every letter');
    const attacks = [`e${marks(20)}`.repeat(180), `e${marks(400)}`, `${'x'.repeat(170)}e${marks(600)}`, '👨‍👩‍👧'.repeat(180)];
    for (const text of attacks) assert.throws(() => field(text, { label: 'message', max: 180 }), { code: 'too_long' }, `${[...text].length} code points`);
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

test('word filter: listed words and the DJ\'s own are found through common disguises, everyday words are not', () => {
  const f = new WordFilter('lame, go home');
  const found = {
    'this DJ is sh*t, play something else': 'sh*t', 'the guy at the bar is a loser lol': 'loser',
    'SH1T': 'SH1T', 'shiiiiit': 'shiiiiit', 's.h.i.t': 's.h.i.t', '$hit': '$hit', 'sh!t music': 'sh!t', 'Ｌöѕer': 'Ｌöѕer',
    'L0S3R': 'L0S3R', 'such a l o s e r': 'l o s e r', 'f u c k this': 'f u c k', 'b!tch': 'b!tch', 'a$$hole': 'a$$hole',
    'F*CK': 'F*CK', 'fück': 'fück', 'ƒuck': 'ƒuck', 'bullshit music': 'shit', 'losers!!!': 'losers', 'what a m0r0n': 'm0r0n',
    'this is so LAAAME': 'LAAAME', 'go  home dj': 'go  home',
    // Invisible characters between the letters, and spellings that still read as the word.
    'f\u200Bu\u200Bc\u200Bk the DJ': 'f\u200Bu\u200Bc\u200Bk', 'sh\u2060i\uFEFFt': 'sh\u2060i\uFEFFt', 'lo\u200Dser': 'lo\u200Dser',
    'b\u00adi\u00adt\u00adc\u00adh': 'b\u00adi\u00adt\u00adc\u00adh', 'phuck off': 'phuck', 'fvck': 'fvck', 'fuk this': 'fuk',
    'fukin hell': 'fukin', 'f-ck': 'f-ck', 'sh-t music': 'sh-t', 'dumb4ss': 'dumb4ss', 'PHUK': 'PHUK', 'f-cking': 'f-ck',
  };
  for (const [text, word] of Object.entries(found)) assert.equal(f.match(text), word, text);
  for (const text of ['class act', 'assist me', 'Scunthorpe', 'passion', 'cocktail time', 'Dickens', 'a spicy tune',
    "Let's hit the floor", 'as you like', '****', 'shoe', 'Arsenal fans', 'Pakistan', 'glass', 'the assassin',
    'Mr Brightside - The Killers', 'go homeward', 'blame it on the boogie',
    'shitake risotto', 'Matsushita', 'beef jerky', 'Dick Clark', 'cocky grin', 'shiitake', 'Moby Dick', 'peacock', 'cockpit',
    'push-to-talk', 't-shirt', 'fish-tank', 'as-is', 'hip-hop', 'Fukushima', 'dumbbell', 'Sushi time',
    'tables 4-5', 'room 455', 'msg 4-5 from 5-1']) {
    assert.equal(f.match(text), '', text);
  }
  assert.equal(new WordFilter('').match('this is so lame'), '', 'the DJ\'s words are the DJ\'s');
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

  // A few hundred bytes of header and compressed rows can claim a picture that takes gigabytes
  // to decode; it is refused from its header, for a guest's photo and for the booth's pictures.
  test('pictures over the pixel budget are refused from their header', () => {
    const png = (w, h, depth, color) => {
      const b = Buffer.alloc(300);
      Buffer.from('89504e470d0a1a0a0000000d49484452', 'hex').copy(b);
      b.writeUInt32BE(w, 16);
      b.writeUInt32BE(h, 20);
      b[24] = depth;
      b[25] = color;
      return b;
    };
    const jpeg = (w, h) => Buffer.concat([Buffer.from([0xff, 0xd8, 0xff, 0xc0, 0, 11, 8, h >> 8, h & 255, w >> 8, w & 255, 1, 1, 0x11, 0]), Buffer.alloc(40)]);
    const taken = [png(4000, 3000, 8, 6), png(6000, 4000, 8, 2), png(4000, 3000, 16, 6), jpeg(6000, 4000), jpeg(4032, 3024)];
    const refused = [png(7071, 7071, 16, 2), png(7071, 7071, 8, 0), png(5000, 5000, 16, 6), jpeg(7000, 7000), jpeg(12001, 100)];
    for (const b of taken) assert.doesNotThrow(() => decodeDataUrl(`data:image/png;base64,${b.toString('base64')}`), b.toString('hex', 16, 26));
    for (const b of refused) {
      assert.throws(() => decodeDataUrl(`data:image/png;base64,${b.toString('base64')}`), { status: 413, message: /too many pixels/ }, b.toString('hex', 16, 26));
    }
  });
});

test('picture copies: PNG rows of every filter type decode to their pixels; unreadable kinds give no copy', () => {
  // 3 × 5 RGBA, one row per filter type (None, Sub, Up, Average, Paeth), one transparent pixel.
  const px = (x, y) => [(x * 80 + y * 20) % 256, (y * 50 + 7) % 256, (x * y * 30 + 200) % 256, x === 2 && y === 4 ? 0 : 255];
  const [w, h, bpp] = [3, 5, 4];
  const rows = Array.from({ length: h }, (_, y) => Array.from({ length: w }, (_, x) => px(x, y)).flat());
  const paeth = (a, b, c) => {
    const p = a + b - c;
    const [pa, pb, pc] = [Math.abs(p - a), Math.abs(p - b), Math.abs(p - c)];
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
  };
  const raw = rows.flatMap((row, y) => {
    const up = y ? rows[y - 1] : new Array(row.length).fill(0);
    return [y, ...row.map((v, i) => {
      const [a, b, c] = [i >= bpp ? row[i - bpp] : 0, up[i], i >= bpp ? up[i - bpp] : 0];
      return (v - [0, a, b, (a + b) >> 1, paeth(a, b, c)][y] + 256) % 256;
    })];
  });
  const chunk = (type, data) => {
    const len = Buffer.alloc(4);
    len.writeUInt32BE(data.length);
    return Buffer.concat([len, Buffer.from(type, 'latin1'), data, Buffer.alloc(4)]);
  };
  const ihdr = Buffer.alloc(13);
  ihdr.writeUInt32BE(w, 0);
  ihdr.writeUInt32BE(h, 4);
  ihdr.set([8, 6, 0, 0, 0], 8);
  const png = Buffer.concat([Buffer.from('89504e470d0a1a0a', 'hex'), chunk('IHDR', ihdr), chunk('IDAT', zlib.deflateSync(Buffer.from(raw))), chunk('IEND', Buffer.alloc(0))]);
  const { planes: [Y, Cb, Cr] } = decodePng(png);
  for (let y = 0; y < h; y++) {
    for (let x = 0; x < w; x++) {
      const [r, g, b, a] = px(x, y);
      const k = a / 255;
      const want = [0.299 * r + 0.587 * g + 0.114 * b, 128 - 0.168736 * r - 0.331264 * g + 0.5 * b, 128 + 0.5 * r - 0.418688 * g - 0.081312 * b]
        .map((v, i) => (i === 0 ? v * k : 128 + (v - 128) * k));
      const got = [Y, Cb, Cr].map((p) => p.data[y * w + x]);
      got.forEach((v, i) => assert.ok(Math.abs(v - want[i]) <= 1, `pixel ${x},${y} channel ${i}: ${v}, not ${want[i]}`));
    }
  }
  assert.equal(phoneSized(Buffer.from('ffd8ffc2000b08000100010111000000ffd9', 'hex')), null, 'a progressive JPEG stays as it is');
  assert.equal(phoneSized(Buffer.concat([Buffer.from('RIFF0000WEBPVP8 '), Buffer.alloc(40)])), null);
  assert.equal(phoneSized(png.subarray(0, 40)), null, 'a damaged picture stays as it is');
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
    // Outside the private ranges, any address of an interface that is up beats loopback.
    assert.equal(bestLanAddress({ eth0: [v4('8.8.8.8')] }), '8.8.8.8');
    assert.equal(bestLanAddress({ wlan0: [v4('169.254.3.3')], wwan0: [v4('100.72.1.9')] }), '100.72.1.9');
    assert.equal(bestLanAddress({ eth0: [v4('203.0.113.7')], wlan0: [v4('172.16.4.4')] }), '172.16.4.4');
    assert.equal(bestLanAddress({ wlan0: [v4('169.254.3.3')] }), '169.254.3.3');
    assert.equal(bestLanAddress({ lo: [v4('127.0.0.1', true)], dummy: [v4('127.0.1.1')] }), '');
    // With none at all: loopback, and one warning for as long as it lasts.
    let now = 0;
    let table = { lo: [v4('127.0.0.1', true)] };
    const lines = [];
    const join = joinAddress({ port: () => 8787, log: (l) => lines.push(l), interfaces: () => table, everyMs: 1000, clock: () => now });
    assert.equal(join(), 'http://127.0.0.1:8787');
    now += 5000;
    assert.equal(join(), 'http://127.0.0.1:8787');
    assert.equal(lines.length, 1);
    assert.match(lines[0], /no network address phones could reach/);
    table = { eth0: [v4('192.168.0.9')] };
    now += 500;
    assert.equal(join(), 'http://127.0.0.1:8787', 'looked up again only after everyMs');
    now += 500;
    assert.equal(join(), 'http://192.168.0.9:8787');
    assert.equal(joinAddress({ port: () => 1, joinHost: 'wall.example' })(), 'http://wall.example:1');
  });

  test('request paths are decoded once, then normalised; none leaves its folder', () => {
    const cases = [['/brand/a.png', '/brand/a.png'], ['/%6dod/mod.js', '/mod/mod.js'], ['/bg%2findex.html', '/bg/index.html'],
      ['//mod///x.js', '/mod/x.js'], ['/%69nfo/help.txt', '/info/help.txt'], ['/%252e%252e/x', '/%2e%2e/x'], ['/', '/']];
    for (const [raw, clean] of cases) assert.equal(cleanPath(raw), clean, raw);
    for (const p of ['/%2e%2e/secret', '/a/%2e%2e/%2e%2e/x', '/..%2fx', '/a%5c..%5cb', '/x%00.png', '/C:/x', '/%E0%A4%A',
      '/mod./mod.js', '/mod%20/mod.js', '/mod.js::$DATA', '/%2e/mod']) {
      assert.equal(cleanPath(p), null, p);
    }
    assert.equal(safeJoin('/w/web', cleanPath('/brand/a.png')), '/w/web/brand/a.png');
    assert.equal(safeJoin('/w/web', cleanPath('/%252e%252e/x')), '/w/web/%2e%2e/x', 'decoded once only');
  });
});

test('rate limiter: burst then steady rate, per key; memory stays bounded however many phones come', () => {
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
  // A cookie costs nothing, so a flood of new phones must not grow the table without end, even
  // before any bucket has refilled.
  const flood = new RateLimiter(GUEST_RULES, { clock: () => now });
  let most = 0;
  for (let i = 0; i < flood.maxKeys + 10000; i++) {
    flood.take('post', `phone${i}`);
    most = Math.max(most, flood.buckets.size);
  }
  assert.ok(most <= flood.maxKeys, `${most} buckets kept, at most ${flood.maxKeys} allowed`);
  // The per-address layer keys an IPv6 phone by its /64, which privacy addresses change within.
  assert.equal(addressKey('2001:db8:1:2:aaaa::1'), addressKey('2001:0db8:1:2:bbbb:cccc:dddd:eeee%wlan0'));
  assert.notEqual(addressKey('2001:db8:1:2::1'), addressKey('2001:db8:1:3::1'));
  assert.equal(addressKey('::ffff:192.168.1.20'), '192.168.1.20');
});

test('idempotent sends: one key is one send, remembered per phone for at least 10 minutes, within bounds', async () => {
  let now = 0;
  const replies = new IdempotencyStore({ clock: () => now, maxEntries: 3, maxBytes: 4000 });
  let runs = 0;
  const send = (device, key, endpoint = '/shoutout', digest = 'd1', body = {}) =>
    replies.once(device, key, endpoint, async () => digest, async () => ({ body: { n: ++runs, ...body }, digest }));
  assert.deepEqual(await send('a', 'k1'), { body: { n: 1 }, replay: false });
  now += 10 * 60 * 1000;
  assert.deepEqual(await send('a', 'k1'), { body: { n: 1 }, replay: true }, 'ten minutes later');
  // The key with another body or on another endpoint is refused, and does not run.
  await assert.rejects(send('a', 'k1', '/shoutout', 'd2'), { status: 422, code: 'key_reused' });
  await assert.rejects(send('a', 'k1', '/request'), { status: 422, code: 'key_reused' });
  assert.equal(runs, 1);
  assert.equal((await send('b', 'k1')).body.n, 2, 'another phone');
  now += REPLAY_MS;
  assert.equal((await send('a', 'k1')).replay, false, 'forgotten after REPLAY_MS');
  for (const k of ['k2', 'k3', 'k4', 'k5']) await send('a', k);
  assert.ok(replies.entries.size <= 3);
  // Large replies: the bytes kept stay bounded, the newest reply is kept.
  for (let i = 0; i < 20; i++) await send('c', `big${i}`, '/react', 'd', { tally: 'x'.repeat(1500) });
  assert.ok(replies.bytes <= 4000, `${replies.bytes} bytes kept`);
  assert.equal((await send('c', 'big19', '/react', 'd')).replay, true);
});

test('guest requests take turns: a flood waits in order, at most so many per turn of the event loop', async () => {
  const turns = new Turns(50);
  const order = [];
  const started = [];
  for (let i = 0; i < 120; i++) {
    const t = turns.take();
    if (t === null) order.push(i);
    else started.push(t.then(() => order.push(i)));
  }
  assert.equal(order.length, 50, 'the first 50 at once');
  await new Promise((r) => setImmediate(r));
  assert.equal(order.length, 100, 'the next 50 in the next turn');
  await Promise.all(started);
  assert.deepEqual(order, [...Array(120).keys()], 'in the order they came');
  await new Promise((r) => setImmediate(r));
  assert.equal(turns.take(), null, 'a quiet loop lets the next one go at once');
});

test('venue PIN letters are drawn evenly from the whole alphabet', () => {
  const counts = new Map([...PIN_ALPHABET].map((c) => [c, 0]));
  const pins = 20000;
  for (let i = 0; i < pins; i++) for (const c of newPin()) counts.set(c, counts.get(c) + 1);
  assert.equal(counts.size, PIN_ALPHABET.length, 'no letter from outside the alphabet');
  // Chi-square over 31 letters (30 degrees of freedom): about 30 when even, above 90 less than
  // once in ten million runs. The old byte-modulo draw scored about 280.
  const expected = (pins * 5) / PIN_ALPHABET.length;
  const chi2 = [...counts.values()].reduce((sum, n) => sum + (n - expected) ** 2 / expected, 0);
  assert.ok(chi2 < 90, `letters are uneven: chi-square ${chi2.toFixed(1)}`);
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
      [{ title: 'T', options: ['A', 'B'] }, /length or an end time/],
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
