// Guests' endpoints on a real server: every limit and refusal, the device cookie, the venue
// login, the security headers and the static folders.

import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import { startServer, tempWall, Phone, Booth, fakeJpeg, fakePng } from './helpers/server.js';
import { createApp } from '../src/app.js';

let srv;
let booth;
before(async () => {
  srv = await startServer();
  booth = new Booth(srv.base);
});
after(async () => srv?.stop());

// One request without any cookie, as a script that throws its cookies away sends it.
const rawPost = async (p, json) => {
  const r = await fetch(srv.base + p, { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(json) });
  return { status: r.status, data: await r.json() };
};

const rawGet = (p, headers = {}) => new Promise((resolve, reject) => {
  http.get({ host: '127.0.0.1', port: srv.port, path: p, headers }, (res) => {
    let body = '';
    res.on('data', (d) => { body += d; });
    res.on('end', () => resolve({ status: res.statusCode, body, headers: res.headers }));
  }).on('error', reject);
});

test('the device cookie: made and signed by the server, kept; anything else is a new phone', async () => {
  const p = new Phone(srv.base);
  await p.post('/api/guest/profile', { name: 'Real' });
  const cookie = p.cookies.get('lumvo_device');
  assert.match(cookie, /^[A-Za-z0-9_-]{22}\.[A-Za-z0-9_-]{22}$/);
  const again = await p.get('/api/guest/config');
  assert.equal(again.headers.get('set-cookie'), null);
  assert.equal(again.data.device.name, 'Real');
  const [id, sig] = cookie.split('.');
  const config = async (value) => {
    const r = await rawGet('/api/guest/config', { Cookie: `lumvo_device=${value}` });
    return { name: JSON.parse(r.body).device.name, set: r.headers['set-cookie']?.[0] ?? '' };
  };
  // Its bare id is no way in either: only a phone from before cookies were signed has one (below).
  for (const value of ['../../x', `${id}.${'A'.repeat(22)}`, `${'B'.repeat(22)}.${sig}`, `${id}.${sig}x`, 'C'.repeat(22), id]) {
    const r = await config(value);
    assert.equal(r.name, '', `${value} must not be the phone named Real`);
    assert.match(r.set, /^lumvo_device=[A-Za-z0-9_-]{22}\.[A-Za-z0-9_-]{22}; Path=\/; Max-Age=31536000; HttpOnly; SameSite=Lax$/, value);
    assert.ok(!r.set.startsWith(`lumvo_device=${id}`), 'a new id, not the one sent');
  }
});

test('a phone from before cookies were signed is itself once, with a signed cookie; its bare id is refused after, across a restart', async () => {
  const dir = tempWall();
  const id = 'LegacyPhone0123456789x';
  let app = createApp({ wallDir: dir, port: 0, host: '127.0.0.1' });
  try {
    app.store.tx(() => app.wall.store.insertDevice({ id, handle: 'h1', name: 'Old', color: '', createdAt: 1, signed: false }));
    await app.close();
    const named = async (cookie) => {
      const r = await fetch(`http://127.0.0.1:${app.port}/api/guest/config`, { headers: { Cookie: `lumvo_device=${cookie}` } });
      return { name: (await r.json()).device.name, cookie: r.headers.getSetCookie()[0]?.split(';')[0].slice(13) ?? '' };
    };
    app = await createApp({ wallDir: dir, port: 0, host: '127.0.0.1' }).listen();
    const first = await named(id);
    assert.deepEqual([first.name, first.cookie.split('.')[0]], ['Old', id], 'kept once, now signed');
    assert.equal((await named(id)).name, '', 'the bare id again is a new phone');
    assert.equal((await named(first.cookie)).name, 'Old', 'the signed cookie is the phone');
    await app.close();
    app = await createApp({ wallDir: dir, port: 0, host: '127.0.0.1' }).listen();
    assert.equal((await named(id)).name, '', 'and stays refused after a restart');
  } finally {
    await app.close();
    fs.rmSync(dir, { recursive: true, force: true });
  }
});

test('bodies and fields: size, JSON, content type, length and emptiness are refused clearly', async () => {
  // Each case from its own phone, so the per-phone rate limit does not answer first.
  const p = { post: (...a) => new Phone(srv.base).post(...a), request: (...a) => new Phone(srv.base).request(...a) };
  const cases = [
    [await p.post('/api/guest/shoutout', { text: 'x'.repeat(9000) }), 413, 'too_large'],
    [await p.request('POST', '/api/guest/shoutout', { body: '[1]', headers: { 'Content-Type': 'application/json' } }), 400, 'bad_json'],
    [await p.request('POST', '/api/guest/shoutout', { body: 'text=hi', headers: { 'Content-Type': 'application/x-www-form-urlencoded' } }), 415, 'bad_type'],
    [await p.post('/api/guest/request', { text: 'y'.repeat(121) }), 400, 'too_long'],
    [await p.post('/api/guest/shoutout', { text: ' \n ' }), 400, 'empty'],
    [await p.post('/api/guest/profile', { color: 'red' }), 400, 'bad_field'],
  ];
  for (const [r, status, code] of cases) {
    assert.deepEqual([r.status, r.data.code], [status, code], r.text);
    assert.ok(r.data.error.length > 10, 'a sentence, not a code');
  }
});

test('photos: checked by content and size, refused before upload when off', async () => {
  const up = (body, q = 'name=A') => new Phone(srv.base).request('POST', `/api/guest/photo?${q}`, { body, headers: { 'Content-Type': 'image/jpeg' } });
  assert.equal((await up(fakeJpeg(5 * 1024 * 1024 + 1))).status, 413);
  const gif = await up(Buffer.from(`GIF89a${'x'.repeat(100)}`));
  assert.deepEqual([gif.status, /JPG, PNG or WebP/.test(gif.data.error)], [415, true]);
  assert.equal((await up(Buffer.from('<html><script>alert(1)</script></html>'))).status, 415);
  // Small files whose headers claim more pixels than the TV decodes: a PNG, a JPEG, a WebP.
  const png = fakePng(100);
  Buffer.from('\0\0\0\x0dIHDR', 'latin1').copy(png, 8);
  png.writeUInt32BE(12000, 16); png.writeUInt32BE(12000, 20);
  const jpeg = Buffer.concat([Buffer.from([0xff, 0xd8, 0xff, 0xc0, 0, 11, 8, 0x27, 0x10, 0x1f, 0x40, 1, 1, 0x11, 0]), Buffer.alloc(40)]);
  const webp = Buffer.concat([Buffer.from('RIFF\0\0\0\0WEBPVP8X\x0a\0\0\0\0\0\0\0', 'latin1'), Buffer.from([0x3f, 0x1f, 0, 0x3f, 0x1f, 0]), Buffer.alloc(40)]);
  for (const body of [png, jpeg, webp]) {
    const r = await up(body);
    assert.deepEqual([r.status, /too many pixels/.test(r.data.error)], [413, true]);
  }
  await booth.act('settings', { allowPhotos: false });
  assert.equal((await up(fakeJpeg(100))).data.code, 'off');
  await booth.act('settings', { allowPhotos: true });
  assert.equal((await booth.doc('state')).pending.filter((x) => x.photo).length, 0, 'refused uploads leave nothing behind');
});

test('rate limit per phone answers 429 with Retry-After; loopback callers are held per phone, not per address', async () => {
  const p = new Phone(srv.base);
  const codes = [];
  for (let i = 0; i < 6; i++) codes.push((await p.post('/api/guest/request', { text: `song ${i}` })).status);
  assert.deepEqual(codes.slice(0, 4), [200, 200, 200, 200]);
  const r = await p.post('/api/guest/request', { text: 'one more' });
  assert.equal(r.status, 429);
  assert.equal(r.data.code, 'slow_down');
  assert.ok(Number(r.headers.get('retry-after')) >= 1);
  assert.equal(r.data.retryAfter, Number(r.headers.get('retry-after')));
  // More new phones and posts from this PC than one network address may send (the per-address
  // layer is proven from a network namespace in loopback.test.js).
  const many = await Promise.all(Array.from({ length: 70 }, (_, i) => rawPost('/api/guest/shoutout', { text: `booth PC ${i}` })));
  assert.deepEqual(new Set(many.map((x) => x.status)), new Set([200]));
});

test('photos stop when the uploads folder is full; what the DJ rejects, clears or removes makes room again, also across a restart', async () => {
  let small = await startServer({ env: { LUMVO_UPLOADS_MAX_MB: '1' } });
  const { dir } = small;
  try {
    const up = () => new Phone(small.base).request('POST', '/api/guest/photo', { body: fakeJpeg(300 * 1024) });
    const booth = () => new Booth(small.base);
    const ids = [];
    for (let i = 0; i < 3; i++) ids.push((await up()).data.id);
    const full = await up();
    assert.deepEqual([full.status, full.data.code, full.data.error], [503, 'full', 'The wall is full, try later.']);
    assert.ok(Number(full.headers.get('retry-after')) > 0);
    const dj = await booth().post('/api/booth-post', { text: 'mine', photo: `data:image/jpeg;base64,${fakeJpeg(300 * 1024).toString('base64')}` });
    assert.equal(dj.status, 200, 'the booth\'s own pictures still go up');

    // A rejected photo is deleted: nothing shows it or can bring it back.
    const file = (ref) => path.join(dir, ref);
    const photoA = (await booth().doc('state')).pending.find((p) => p.id === ids[0]).photo;
    await booth().act('reject', { id: ids[0] });
    assert.equal(fs.existsSync(file(photoA)), false);
    assert.equal((await booth().doc('state')).rejected.find((p) => p.id === ids[0]).photo, '');
    assert.deepEqual([(await booth().post('/api/restore', { id: ids[0] })).data?.code], ['photo_gone']);
    // Clear chat takes the booth's live photo with it; removing a shown photo frees its room too.
    await booth().act('clear');
    assert.equal((await up()).status, 200);
    assert.equal((await up()).status, 503);
    await booth().act('show', { id: ids[1] });
    await booth().act('remove', { id: ids[1] });
    assert.equal((await up()).status, 200);
    await booth().act('reject', { id: ids[2] });

    // What an older wall left behind is not counted (nor kept) after a restart.
    await fetch(`${small.base}/api/shutdown`, { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: '{}' });
    await small.exited;
    fs.writeFileSync(path.join(dir, 'uploads/LUMVO_g_left0behind0.jpg'), fakeJpeg(300 * 1024));
    small = await startServer({ dir, env: { LUMVO_UPLOADS_MAX_MB: '1' } });
    assert.equal((await up()).status, 200);
    assert.equal(fs.existsSync(path.join(dir, 'uploads/LUMVO_g_left0behind0.jpg')), false);
    assert.equal((await up()).status, 503, 'and the cap still holds');
  } finally {
    await small.stop();
  }
});

test('a send repeated with its Idempotency-Key gets the first result and is done once', async () => {
  const p = new Phone(srv.base);
  const key = (n) => ({ headers: { 'Idempotency-Key': `retry-key-${n}-0123456789abcdef` } });
  const first = await p.post('/api/guest/shoutout', { text: 'only once' }, key(1));
  const again = await p.post('/api/guest/shoutout', { text: 'only once' }, key(1));
  assert.deepEqual([again.status, again.text, again.headers.get('idempotent-replay')], [200, first.text, 'true'], 'the very same answer');
  // The key with another text, or on another endpoint, is another send: refused, never answered
  // with the first one's result.
  for (const [where, body] of [['shoutout', { text: 'something else' }], ['request', { text: 'only once' }]]) {
    const r = await p.post(`/api/guest/${where}`, body, key(1));
    assert.deepEqual([r.status, r.data.code, /new key/.test(r.data.error)], [422, 'key_reused', true], where);
  }
  // Two at once (the retry overtakes the lost reply), a photo, and a vote: each done once.
  const [a, b] = await Promise.all([1, 2].map(() => p.post('/api/guest/request', { text: 'Twice Song' }, key(2))));
  assert.equal(a.data.id, b.data.id);
  const up = () => p.request('POST', '/api/guest/photo', { body: fakeJpeg(300), ...key(3) });
  const photoId = (await up()).data.id;
  assert.equal((await up()).data.id, photoId);
  await booth.act('vote-start', { title: 'Once?', duration: 60, options: ['Yes', 'No'] });
  const option = (await p.get('/api/guest/config')).data.poll.options[0].id;
  const votes = [await p.post('/api/guest/vote', { option }, key(4)), await p.post('/api/guest/vote', { option }, key(4))];
  assert.deepEqual(votes.map((v) => [v.status, v.data.poll.total]), [[200, 1], [200, 1]], 'not "already voted"');
  await booth.act('vote-stop');
  await booth.act('vote-stop');
  const s = await booth.doc('state');
  assert.deepEqual([s.pending.filter((x) => x.text === 'only once' || x.id === photoId).length, s.requests.filter((x) => x.text === 'Twice Song').length], [2, 1]);
  // The repeat costs no send: with this phone's burst of four posts used, the repeat still answers.
  assert.equal((await p.post('/api/guest/shoutout', { text: 'the fourth' })).status, 200);
  assert.equal((await p.post('/api/guest/shoutout', { text: 'over the limit' }, key(5))).status, 429);
  assert.equal((await p.post('/api/guest/shoutout', { text: 'only once' }, key(1))).status, 200);
  // Keys are per phone; a failed send is not remembered; a malformed key is refused.
  const other = await new Phone(srv.base).post('/api/guest/shoutout', { text: 'only once' }, key(1));
  assert.notEqual(other.data.id, first.data.id);
  const q = new Phone(srv.base);
  assert.equal((await q.post('/api/guest/shoutout', { text: '' }, key(6))).status, 400);
  assert.equal((await q.post('/api/guest/shoutout', { text: 'fixed' }, key(6))).status, 200);
  for (const bad of ['short', 'has space in it 0123']) {
    const r = await q.request('POST', '/api/guest/shoutout', { json: { text: 'k' }, headers: { 'Idempotency-Key': bad } });
    assert.deepEqual([r.status, r.data.code], [400, 'bad_key'], bad);
  }
});

// A second requester seeing the DJ's mark is in the browser's guest journey.
test('a phone sees what became of each of its posts', async () => {
  const p = new Phone(srv.base);
  const waiting = (await p.post('/api/guest/request', { text: 'Waiting song' })).data.id;
  const shown = (await p.post('/api/guest/shoutout', { text: 'show me' })).data.id;
  const rejected = (await p.post('/api/guest/shoutout', { text: 'reject me' })).data.id;
  await booth.act('show', { id: shown });
  await booth.act('reject', { id: rejected });
  const mine = new Map((await p.get('/api/guest/mine')).data.posts.map((x) => [x.id, x.status]));
  assert.deepEqual(mine, new Map([[rejected, 'done'], [shown, 'live'], [waiting, 'pending']]));
});

test('venue manager: PIN login, wrong PIN refused, announcements go live as venue posts', async () => {
  const venue = new Phone(srv.base);
  assert.equal((await venue.post('/api/guest/venue-post', { text: 'Last orders' })).data.code, 'venue_login');
  const { venuePin: pin } = await booth.doc('state');
  // Letters outside ASCII, emoji, numbers and the PIN with more after it: a plain wrong PIN.
  for (const wrong of ['', '🔥🔥🔥🔥🔥', 12345, `${pin}X`, `${pin.slice(0, 4)}é`]) {
    const r = await new Phone(srv.base).post('/api/guest/venue-login', { pin: wrong });
    assert.deepEqual([r.status, r.data.code], [403, 'bad_pin'], String(wrong));
  }
  const login = await venue.post('/api/guest/venue-login', { pin: pin.toLowerCase() });
  assert.match(login.headers.get('set-cookie'), /lumvo_venue=.+HttpOnly; SameSite=Strict/);
  const r = await venue.post('/api/guest/venue-post', { text: 'Last orders at the bar' });
  assert.equal((await booth.doc('state')).feed.find((x) => x.id === r.data.id).type, 'venue');
  await venue.post('/api/guest/venue-logout', {});
  assert.equal((await venue.post('/api/guest/venue-post', { text: 'again' })).status, 403);
  // Five wrong PINs lock that phone out, the right PIN included; another phone on this PC is not
  // held (the lockout per address is proven in loopback.test.js).
  const guesser = new Phone(srv.base);
  for (let i = 0; i < 5; i++) assert.equal((await guesser.post('/api/guest/venue-login', { pin: `AAAA${i}` })).status, 403);
  const locked = await guesser.post('/api/guest/venue-login', { pin });
  assert.deepEqual([locked.status, locked.data.code], [429, 'locked']);
  assert.ok(Number(locked.headers.get('retry-after')) > 14 * 60);
  assert.equal((await new Phone(srv.base).post('/api/guest/venue-login', { pin })).status, 200);
});

test('wrong PINs sent all at once with slow bodies are held by the lockout as they start', async () => {
  const guesser = new Phone(srv.base);
  await guesser.get('/api/guest/config');
  const cookie = `lumvo_device=${guesser.cookies.get('lumvo_device')}`;
  const body = '{"pin":"WRONG"}';
  const started = Array.from({ length: 20 }, () => {
    const req = http.request({ host: '127.0.0.1', port: srv.port, method: 'POST', path: '/api/guest/venue-login', agent: false,
      headers: { Cookie: cookie, 'Content-Type': 'application/json', 'Content-Length': body.length } });
    req.flushHeaders();
    const code = new Promise((resolve, reject) => {
      req.on('response', (res) => {
        let text = '';
        res.on('data', (d) => { text += d; });
        res.on('end', () => resolve(JSON.parse(text).code));
      });
      req.on('error', reject);
    });
    return { req, code };
  });
  await new Promise((r) => setTimeout(r, 300)); // every request has started, none has its body
  for (const { req } of started) req.end(body);
  const codes = await Promise.all(started.map((x) => x.code));
  assert.equal(codes.filter((c) => c === 'bad_pin').length, 5, `checked: ${codes.join(' ')}`);
});

test('pages get their policy, JSON only nosniff; a cookie only where a phone is identified; no path outside the served folders', async () => {
  // [path, a page, given a device cookie when it comes without one]
  for (const [p, page, cookie] of [['/', true, true], ['/index.html', true, true], ['/mod/mod.js', true, false], ['/nothing', true, false],
    ['/api/guest/config', false, true], ['/api/guest/nothing', false, true], ['/api/display', false, false], ['/api/state', false, false]]) {
    const r = await rawGet(p);
    assert.equal(r.headers['x-content-type-options'], 'nosniff', p);
    if (page) {
      assert.match(r.headers['content-security-policy'], /script-src 'self'/, p);
      assert.match(r.headers['content-security-policy'], /frame-ancestors 'none'/, p);
      assert.equal(r.headers['x-frame-options'], 'DENY', p);
    } else {
      assert.equal(r.headers['content-security-policy'], undefined, p);
      assert.equal(r.headers['x-frame-options'], undefined, p);
    }
    assert.equal(!!r.headers['set-cookie']?.[0]?.startsWith('lumvo_device='), cookie, p);
  }
  for (const p of ['/../secret.txt', '/%2e%2e/secret.txt', '/..%2fsecret.txt', '/uploads/../wall.db', '/uploads/%2e%2e/wall.db',
    '/looks/..%2f..%2fwall.db', '/web/info/../../secret.txt', '/brand/%00.png', '/info/start.txt', '/mod/../../secret.txt']) {
    const r = await rawGet(p);
    assert.equal(r.status, 404, p);
    assert.doesNotMatch(r.body, /not for guests|SQLite/, p);
  }
  // Symbolic links are followed only while they stay inside the served folder.
  fs.symlinkSync('index.html', path.join(srv.dir, 'web/alias.html'));
  fs.symlinkSync('../secret.txt', path.join(srv.dir, 'web/leak.txt'));
  fs.symlinkSync('..', path.join(srv.dir, 'web/up'));
  fs.symlinkSync('../wall.db', path.join(srv.dir, 'uploads/LUMVO_link.jpg'));
  assert.equal((await rawGet('/alias.html')).status, 200, 'a link inside the web folder is served');
  for (const p of ['/leak.txt', '/up/secret.txt', '/up/wall.db', '/uploads/LUMVO_link.jpg']) {
    const r = await booth.get(p);
    assert.equal(r.status, 404, `${p} follows a link out of its folder`);
    assert.doesNotMatch(r.text, /not for guests|SQLite/, p);
  }
  // What the booth itself loads still comes.
  const modScript = await rawGet('/mod/mod.js');
  assert.equal(modScript.headers['content-type'], 'text/javascript; charset=utf-8');
  assert.equal((await rawGet('/web/info/start.txt')).body, 'Start here', 'the moderator window reads its help texts');
  const first = await rawGet('/');
  const again = await rawGet('/', { 'If-None-Match': first.headers.etag });
  assert.deepEqual([again.status, again.body], [304, ''], 'a returning phone revalidates instead of downloading again');
  assert.equal((await rawGet('/', { 'If-None-Match': 'W/"other"' })).status, 200);
});

test('the DJ endpoints refuse other web sites and form posts even from this PC', async () => {
  const evil = await booth.request('POST', '/api/clear', { body: '{}', headers: { 'Content-Type': 'application/json', Origin: 'http://evil.example' } });
  assert.equal(evil.status, 403);
  const form = await booth.request('POST', '/api/clear', { body: 'x=1', headers: { 'Content-Type': 'text/plain' } });
  assert.equal(form.status, 415);
  // A rebinding name that points at 127.0.0.1 gets nothing, however much it looks like loopback.
  for (const host of ['evil.example:8787', `127.evil.example:${srv.port}`, `127.0.0.1.evil.example:${srv.port}`,
    `localhost.evil.example:${srv.port}`, `127.0.0.1:${srv.port + 1}`, '127.0.0.1', `127.0.0.2:${srv.port}`]) {
    for (const p of ['/api/state', '/mod']) assert.equal((await rawGet(p, { Host: host })).status, 403, `${p} with Host ${host}`);
  }
  for (const host of [`127.0.0.1:${srv.port}`, `localhost:${srv.port}`, `LOCALHOST:${srv.port}`, `[::1]:${srv.port}`]) {
    assert.equal((await rawGet('/api/state', { Host: host })).status, 200, host);
  }
  // Such a page is not the booth anywhere: were it a guest here, it would skip the per-address
  // limits and the PIN lockout. Every endpoint and page refuses it; the guests' own still work.
  const pin = (host) => new Promise((resolve, reject) => {
    const req = http.request({ host: '127.0.0.1', port: srv.port, method: 'POST', path: '/api/guest/venue-login',
      headers: { Host: host, 'Content-Type': 'application/json' } }, (res) => {
      let body = '';
      res.on('data', (d) => { body += d; });
      res.on('end', () => resolve(JSON.parse(body).code));
    });
    req.on('error', reject);
    req.end('{"pin":"AAAAA"}');
  });
  for (const p of ['/api/guest/config', '/api/guest/live', '/', '/uploads/LUMVO_g_x.jpg']) {
    const r = await rawGet(p, { Host: `127.evil.example:${srv.port}` });
    assert.deepEqual([r.status, JSON.parse(r.body).code], [403, 'bad_host'], p);
    assert.equal(r.headers['set-cookie'], undefined, 'no phone is made for it');
  }
  assert.equal(await pin(`127.evil.example:${srv.port}`), 'bad_host');
  assert.equal(await pin(`localhost:${srv.port}`), 'bad_pin', 'a wrong PIN from this PC is checked');
  assert.equal((await rawGet('/api/guest/config', { Host: `localhost:${srv.port}` })).status, 200);
  const lookalike = await booth.request('POST', '/api/next', { body: '{}', headers: { 'Content-Type': 'application/json', Origin: `http://127.evil.example:${srv.port}` } });
  assert.equal(lookalike.status, 403, 'nor does a page of that name');
  const own = await booth.request('POST', '/api/next', { body: '{}', headers: { 'Content-Type': 'application/json', Origin: `http://127.0.0.1:${srv.port}` } });
  assert.equal(own.status, 200, 'the /mod page itself may act');
});
