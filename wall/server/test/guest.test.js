// Guests' endpoints on a real server: every limit and refusal, the device cookie, the venue
// login, the security headers and the static folders.

import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import { startServer, Phone, Booth, fakeJpeg } from './helpers/server.js';

let srv;
let booth;
before(async () => {
  srv = await startServer();
  booth = new Booth(srv.base);
});
after(async () => srv?.stop());

const rawGet = (p, headers = {}) => new Promise((resolve, reject) => {
  http.get({ host: '127.0.0.1', port: srv.port, path: p, headers }, (res) => {
    let body = '';
    res.on('data', (d) => { body += d; });
    res.on('end', () => resolve({ status: res.statusCode, body, headers: res.headers }));
  }).on('error', reject);
});

test('the device cookie is issued once and kept; a malformed one is replaced', async () => {
  const p = new Phone(srv.base);
  await p.get('/api/guest/config');
  const id = p.cookies.get('lumvo_device');
  assert.match(id, /^[A-Za-z0-9_-]{22}$/);
  const again = await p.get('/api/guest/config');
  assert.equal(again.headers.get('set-cookie'), null);
  const forged = await rawGet('/api/guest/config', { Cookie: 'lumvo_device=../../x' });
  assert.match(forged.headers['set-cookie'][0], /lumvo_device=[A-Za-z0-9_-]{22}; Path=\/; Max-Age=31536000; HttpOnly; SameSite=Lax/);
});

test('bodies and fields: size, JSON, content type, length and emptiness are refused clearly', async () => {
  // Each case from its own phone, so the per-phone rate limit does not answer first.
  const p = { post: (...a) => new Phone(srv.base).post(...a), request: (...a) => new Phone(srv.base).request(...a) };
  const cases = [
    [await p.post('/api/guest/shoutout', { text: 'x'.repeat(9000) }), 413, 'too_large'],
    [await p.request('POST', '/api/guest/shoutout', { body: '{"text":', headers: { 'Content-Type': 'application/json' } }), 400, 'bad_json'],
    [await p.request('POST', '/api/guest/shoutout', { body: '[1]', headers: { 'Content-Type': 'application/json' } }), 400, 'bad_json'],
    [await p.request('POST', '/api/guest/shoutout', { body: 'text=hi', headers: { 'Content-Type': 'application/x-www-form-urlencoded' } }), 415, 'bad_type'],
    [await p.post('/api/guest/shoutout', { text: 'x'.repeat(181) }), 400, 'too_long'],
    [await p.post('/api/guest/shoutout', { text: ' \n ' }), 400, 'empty'],
    [await p.post('/api/guest/request', { text: 'y'.repeat(121) }), 400, 'too_long'],
    [await p.post('/api/guest/profile', { name: 'n'.repeat(29) }), 400, 'too_long'],
    [await p.post('/api/guest/profile', { color: 'red' }), 400, 'bad_field'],
    [await p.post('/api/guest/shoutout', { text: { html: '<b>' } }), 400, 'bad_field'],
  ];
  for (const [r, status, code] of cases) {
    assert.equal(r.status, status, r.text);
    assert.equal(r.data.code, code);
    assert.ok(r.data.error.length > 10, 'a sentence, not a code');
  }
  assert.equal((await p.post('/api/guest/shoutout', { text: 'x'.repeat(180) })).status, 200, 'the limit itself is fine');
});

test('photos: checked by content and size, refused before upload when off', async () => {
  const up = (body, q = 'name=A') => new Phone(srv.base).request('POST', `/api/guest/photo?${q}`, { body, headers: { 'Content-Type': 'image/jpeg' } });
  assert.equal((await up(fakeJpeg(5 * 1024 * 1024))).status, 200, 'exactly 5 MB is accepted');
  const big = await up(fakeJpeg(5 * 1024 * 1024 + 1));
  assert.equal(big.status, 413);
  const gif = await up(Buffer.from(`GIF89a${'x'.repeat(100)}`));
  assert.equal(gif.status, 415);
  assert.match(gif.data.error, /JPG, PNG or WebP/);
  const html = await up(Buffer.from('<html><script>alert(1)</script></html>'));
  assert.equal(html.status, 415);
  await booth.act('settings', { allowPhotos: false });
  const off = await up(fakeJpeg(100));
  assert.equal(off.status, 403);
  assert.equal(off.data.code, 'off');
  await booth.act('settings', { allowPhotos: true });
  const s = await booth.doc('state');
  assert.equal(s.pending.filter((x) => x.photo).length, 1, 'refused uploads leave nothing behind');
});

test('rate limit per phone answers 429 with Retry-After; other phones are not held up', async () => {
  const p = new Phone(srv.base);
  const codes = [];
  for (let i = 0; i < 6; i++) codes.push((await p.post('/api/guest/request', { text: `song ${i}` })).status);
  assert.deepEqual(codes.slice(0, 4), [200, 200, 200, 200]);
  const r = await p.post('/api/guest/request', { text: 'one more' });
  assert.equal(r.status, 429);
  assert.equal(r.data.code, 'slow_down');
  assert.ok(Number(r.headers.get('retry-after')) >= 1);
  assert.equal(r.data.retryAfter, Number(r.headers.get('retry-after')));
  assert.equal((await new Phone(srv.base).post('/api/guest/request', { text: 'other phone' })).status, 200);
});

// The switches' refusals are proven by the engine tests.
test('a phone sees what became of its posts, and every requester of a song sees it with its mark', async () => {
  const p = new Phone(srv.base);
  const waiting = (await p.post('/api/guest/request', { text: 'Waiting song' })).data.id;
  const shown = (await p.post('/api/guest/shoutout', { text: 'show me' })).data.id;
  const rejected = (await p.post('/api/guest/shoutout', { text: 'reject me' })).data.id;
  await booth.act('show', { id: shown });
  await booth.act('reject', { id: rejected });
  const mine = new Map((await p.get('/api/guest/mine')).data.posts.map((x) => [x.id, x.status]));
  assert.deepEqual(mine, new Map([[rejected, 'done'], [shown, 'live'], [waiting, 'pending']]));

  const second = new Phone(srv.base);
  await second.post('/api/guest/shoutout', { text: 'before asking' });
  assert.equal((await second.post('/api/guest/request', { text: 'WAITING SONG!' })).data.id, waiting);
  await booth.act('request-mark', { id: waiting, mark: 'played' });
  for (const phone of [p, second]) {
    const { posts } = (await phone.get('/api/guest/mine')).data;
    assert.deepEqual(posts.filter((x) => x.id === waiting).map((x) => [x.text, x.status, x.mark]), [['Waiting song', 'pending', 'played']]);
  }
  assert.equal((await second.get('/api/guest/mine')).data.posts[0].id, waiting, 'newest first, by when this phone asked');
});

test('venue manager: PIN login, wrong PIN refused, announcements go live as venue posts', async () => {
  const venue = new Phone(srv.base);
  assert.equal((await venue.post('/api/guest/venue-post', { text: 'Last orders' })).data.code, 'venue_login');
  for (const pin of ['ZZZZZ', '']) assert.equal((await venue.post('/api/guest/venue-login', { pin })).status, 403, pin);
  const { venuePin: pin } = await booth.doc('state');
  const login = await venue.post('/api/guest/venue-login', { pin: pin.toLowerCase() });
  assert.equal(login.status, 200);
  assert.match(login.headers.get('set-cookie'), /lumvo_venue=.+HttpOnly; SameSite=Strict/);
  assert.equal((await venue.get('/api/guest/config')).data.device.venue, true);
  const r = await venue.post('/api/guest/venue-post', { text: 'Last orders at the bar' });
  assert.equal(r.data.status, 'live');
  const s = await booth.doc('state');
  assert.equal(s.feed.find((x) => x.id === r.data.id).type, 'venue');
  await venue.post('/api/guest/venue-logout', {});
  assert.equal((await venue.post('/api/guest/venue-post', { text: 'again' })).status, 403);
  // Guessing the PIN is slowed down per phone.
  const guesser = new Phone(srv.base);
  const tries = [];
  for (let i = 0; i < 7; i++) tries.push((await guesser.post('/api/guest/venue-login', { pin: `AAAA${i}` })).status);
  assert.equal(tries.at(-1), 429);
});

test('security headers on every reply; no path outside the served folders', async () => {
  for (const p of ['/', '/api/guest/config', '/nothing', '/api/display']) {
    const r = await rawGet(p);
    assert.equal(r.headers['x-content-type-options'], 'nosniff', p);
    assert.match(r.headers['content-security-policy'], /script-src 'self'/, p);
    assert.match(r.headers['content-security-policy'], /frame-ancestors 'none'/, p);
  }
  assert.equal((await rawGet('/')).headers['content-type'], 'text/html; charset=utf-8');
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
  const modScript = await rawGet('/mod/mod.js');
  assert.equal(modScript.status, 200, 'the booth page loads its own script');
  assert.match((await rawGet('/mod')).body, /<title>mod<\/title>/);
  assert.equal((await rawGet('/web/info/start.txt')).body, 'Start here', 'the moderator window reads its help texts');
  assert.equal(modScript.headers['content-type'], 'text/javascript; charset=utf-8');
  const first = await rawGet('/');
  assert.ok(first.headers.etag, 'web files carry a validator');
  const again = await rawGet('/', { 'If-None-Match': first.headers.etag });
  assert.equal(again.status, 304, 'a returning phone revalidates instead of downloading again');
  assert.equal(again.body, '');
  assert.equal((await rawGet('/', { 'If-None-Match': 'W/"other"' })).status, 200);
  const method = await new Phone(srv.base).request('DELETE', '/api/guest/config');
  assert.equal(method.status, 405);
});

test('the DJ endpoints refuse other web sites and form posts even from this PC', async () => {
  const evil = await booth.request('POST', '/api/clear', { body: '{}', headers: { 'Content-Type': 'application/json', Origin: 'http://evil.example' } });
  assert.equal(evil.status, 403);
  const form = await booth.request('POST', '/api/clear', { body: 'x=1', headers: { 'Content-Type': 'text/plain' } });
  assert.equal(form.status, 415);
  const rebound = await rawGet('/api/state', { Host: 'evil.example:8787' });
  assert.equal(rebound.status, 403, 'a name that re-points to 127.0.0.1 gets no state');
  const own = await booth.request('POST', '/api/next', { body: '{}', headers: { 'Content-Type': 'application/json', Origin: `http://127.0.0.1:${srv.port}` } });
  assert.equal(own.status, 200, 'the /mod page itself may act');
});
