// The DJ's endpoints refuse a caller that is not on this PC. A network namespace made here plays
// a guest's phone on the venue Wi-Fi: it reaches the server, which listens on all interfaces,
// through a virtual cable, so the server's real socket check sees a non-loopback address.

import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import { startServer, Booth, fakeJpeg } from './helpers/server.js';

const tag = String(process.pid % 10000);
const NS = `lumvo-t${tag}`;
const HOST_IF = `lvw${tag}a`;
const PHONE_IF = `lvw${tag}b`;
const NET = `10.231.${process.pid % 250}`;
const SERVER_IP = `${NET}.1`;
// Several phones' addresses in the namespace; a request names the one it comes from (0 to 4).
const PHONE_HOSTS = [2, 3, 4, 5, 6];

const ip = (...args) => execFileSync('ip', args, { stdio: ['ignore', 'pipe', 'pipe'] }).toString();
let skip = '';
let srv;

before(async () => {
  try {
    if (process.getuid?.() !== 0) throw new Error('not root');
    ip('netns', 'add', NS);
    ip('link', 'add', HOST_IF, 'type', 'veth', 'peer', 'name', PHONE_IF);
    ip('link', 'set', PHONE_IF, 'netns', NS);
    ip('addr', 'add', `${SERVER_IP}/29`, 'dev', HOST_IF);
    ip('link', 'set', HOST_IF, 'up');
    for (const n of PHONE_HOSTS) ip('netns', 'exec', NS, 'ip', 'addr', 'add', `${NET}.${n}/29`, 'dev', PHONE_IF);
    ip('netns', 'exec', NS, 'ip', 'link', 'set', PHONE_IF, 'up');
    ip('netns', 'exec', NS, 'ip', 'link', 'set', 'lo', 'up');
  } catch (e) {
    skip = `cannot make a network namespace here (${String(e.message).split('\n')[0]}); the loopback rule is then covered only by the unit test of the address check`;
    return;
  }
  srv = await startServer({ host: '0.0.0.0' });
});

after(async () => {
  await srv?.stop();
  try { ip('link', 'del', HOST_IF); } catch { /* gone with the namespace */ }
  try { ip('netns', 'del', NS); } catch { /* never made */ }
});

// Runs requests from inside the namespace, one after another, without cookies:
// [method, path, body?, from?] -> [{ status, body, cookie, retryAfter }].
function fromPhone(requests) {
  const script = `
    import http from 'node:http';
    const out = [];
    for (const [method, path, body, from = 0] of ${JSON.stringify(requests)}) {
      out.push(await new Promise((resolve, reject) => {
        const req = http.request({ host: '${SERVER_IP}', port: Number(process.argv[1]), method, path,
          localAddress: '${NET}.' + ${JSON.stringify(PHONE_HOSTS)}[from], agent: false,
          headers: body ? { 'Content-Type': 'application/json', 'Content-Length': Buffer.byteLength(body) } : {} }, (res) => {
          let text = '';
          res.setEncoding('utf8');
          res.on('data', (d) => { text += d; });
          res.on('end', () => resolve({ status: res.statusCode, body: text.slice(0, 300), cookie: !!res.headers['set-cookie'],
            retryAfter: Number(res.headers['retry-after'] ?? 0) }));
        });
        req.on('error', reject);
        req.end(body);
      }));
    }
    console.log(JSON.stringify(out));`;
  const text = execFileSync('ip', ['netns', 'exec', NS, process.execPath, '--input-type=module', '-e', script, String(srv.port)],
    { timeout: 30000, maxBuffer: 1 << 24 }).toString();
  return JSON.parse(text);
}

test('a phone on the network gets 403 from every DJ endpoint and page, and its own API works', async (t) => {
  if (skip) return t.skip(skip);
  const booth = new Booth(srv.base);
  const pending = await new Booth(srv.base).request('POST', '/api/guest/photo', { body: fakeJpeg(300) });
  const live = await new Booth(srv.base).request('POST', '/api/guest/photo', { body: fakeJpeg(300) });
  await booth.act('show', { id: live.data.id });
  const st = await booth.doc('state');
  const pendingPhoto = st.pending.find((p) => p.id === pending.data.id).photo;
  const livePhoto = st.feed.find((p) => p.id === live.data.id).photo;

  const denied = [
    ['GET', '/api/display'], ['GET', '/api/state'], ['POST', '/api/clear', '{}'], ['POST', '/api/shutdown', '{}'],
    ['POST', '/api/settings', '{"autoApprove":true}'], ['GET', '/api/settings'], ['POST', '/api/show', `{"id":"${pending.data.id}"}`],
    ['GET', '/api/guest-bg-looks'], ['GET', '/api/report'], ['GET', '/api/report.zip'], ['GET', '/mod'], ['GET', '/mod/index.html'], ['GET', '/mod/mod.js'], ['GET', '/bg'], ['GET', '/web/info/start.txt'],
  ];
  // And every request of the moderator window's buttons (tests/contract/booth-actions.json).
  const buttons = JSON.parse(fs.readFileSync(new URL('../../../tests/contract/booth-actions.json', import.meta.url), 'utf8'));
  for (const a of [...buttons.actions.filter((x) => x.path), buttons.songSearch]) {
    denied.push([a.method, a.path, JSON.stringify(a.body?.id ? { ...a.body, id: pending.data.id } : a.body ?? { id: pending.data.id })]);
  }
  // The same pages and files under other spellings of their paths.
  const disguised = [['GET', '/%6dod/mod.js'], ['GET', '/bg%2findex.html'], ['GET', '/%77eb/info/start.txt'], ['GET', '//mod//mod.js'],
    ['GET', '/Mod/mod.js'], ['GET', '/%69nfo/start.txt'], ['GET', '/info/start.txt'], ['GET', '/mod./mod.js']];
  denied.push(...disguised.slice(0, 5));
  const hidden = disguised.slice(5);
  const allowed = [['GET', '/'], ['GET', '/api/guest/config'], ['GET', '/api/guest/live'], ['GET', '/api/screen']];
  const photos = [['GET', pendingPhoto], ['GET', livePhoto]];
  const res = fromPhone([...denied, ...allowed, ...hidden, ...photos]);
  denied.forEach(([m, p], i) => {
    assert.equal(res[i].status, 403, `${m} ${p}`);
    assert.match(res[i].body, /only for the DJ booth/);
    assert.doesNotMatch(res[i].body, new RegExp(st.venuePin), 'no PIN leaks');
  });
  allowed.forEach(([m, p], i) => assert.equal(res[denied.length + i].status, 200, `${m} ${p}`));
  hidden.forEach(([m, p], i) => assert.equal(res[denied.length + allowed.length + i].status, 404, `${m} ${p}`));
  assert.equal(res.at(-2).status, 404, 'a waiting photo is not shown to phones');
  assert.equal(res.at(-1).status, 200, 'a live photo is');
  const after = await booth.doc('state');
  assert.equal(after.autoApprove, false, 'the refused settings push changed nothing');
  assert.ok(after.pending.some((p) => p.id === pending.data.id), 'the refused show changed nothing');
});

// A script that never keeps a cookie is a new phone on every request; its address holds it.
test('a phone that throws its cookies away is held by its address: posts, new cookies, votes, PIN guesses', async (t) => {
  if (skip) return t.skip(skip);
  const booth = new Booth(srv.base);
  const times = (n, req) => Array.from({ length: n }, (_, i) => (typeof req === 'function' ? req(i) : req));
  const statuses = (rs) => rs.reduce((m, r) => m.set(r.status, (m.get(r.status) ?? 0) + 1), new Map());

  // Posts: the address's burst of 40, then 429 with the wait, from the first refusal on.
  const posts = fromPhone(times(60, (i) => ['POST', '/api/guest/shoutout', JSON.stringify({ text: `spam ${i}` }), 1]));
  assert.deepEqual(statuses(posts), new Map([[200, 40], [429, 20]]));
  assert.ok(posts.slice(40).every((r) => r.retryAfter >= 1 && /Slow down/.test(r.body)));
  assert.equal((await booth.doc('state')).pending.length, 40 + 1, '40 posts and the waiting photo of the test before');
  // The DJ sends them all away at once by their address; a post from next door stays.
  const [nextDoor] = fromPhone([['POST', '/api/guest/shoutout', JSON.stringify({ text: 'from next door' }), 0]]);
  assert.equal(nextDoor.status, 200);
  const spam = (await booth.doc('state')).pending.find((p) => p.text === 'spam 7').id;
  assert.deepEqual((await booth.act('reject-address', { id: spam })).rejected, 40);
  const left = (await booth.doc('state')).pending.map((p) => p.text);
  assert.ok(left.includes('from next door') && !left.some((t) => t.startsWith('spam')), left.join(', '));

  // New cookies: 60 for one address in a burst, then reads still work but sends wait.
  const reads = fromPhone(times(70, ['GET', '/api/guest/config', '', 2]));
  assert.equal(reads.filter((r) => r.cookie).length, 60);
  assert.ok(reads.every((r) => r.status === 200), 'reads need no device');
  const [noDevice] = fromPhone([['POST', '/api/guest/profile', '{"name":"X"}', 2]]);
  assert.equal(noDevice.status, 429);
  assert.ok(noDevice.retryAfter >= 1);

  // Votes: 30 from one address in one poll, even from 35 different cookies.
  await booth.act('vote-start', { title: 'Best DJ?', duration: 600, options: ['Yes', 'No'] });
  const option = (await booth.doc('display')).voteBars.split('\t')[0];
  const votes = fromPhone(times(35, ['POST', '/api/guest/vote', JSON.stringify({ option }), 3]));
  assert.deepEqual(statuses(votes), new Map([[200, 30], [429, 5]]));
  assert.ok(votes.at(-1).retryAfter > 500, 'the wait is the rest of the poll');

  // PIN guesses: five wrong ones from any cookies lock the address out, the right PIN included;
  // another address is not held.
  const { venuePin } = await booth.doc('state');
  const guesses = fromPhone([...times(5, (i) => ['POST', '/api/guest/venue-login', JSON.stringify({ pin: `WRNG${i}` }), 4]),
    ['POST', '/api/guest/venue-login', JSON.stringify({ pin: venuePin }), 4],
    ['POST', '/api/guest/venue-login', JSON.stringify({ pin: venuePin }), 0]]);
  assert.deepEqual(guesses.map((r) => r.status), [403, 403, 403, 403, 403, 429, 200]);
  assert.match(guesses[5].body, /Too many wrong PINs/);
});
