// The DJ's endpoints refuse a caller that is not on this PC. A network namespace made here plays
// a guest's phone on the venue Wi-Fi: it reaches the server, which listens on all interfaces,
// through a virtual cable, so the server's real socket check sees a non-loopback address.

import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { startServer, Booth, fakeJpeg } from './helpers/server.js';

const tag = String(process.pid % 10000);
const NS = `lumvo-t${tag}`;
const HOST_IF = `lvw${tag}a`;
const PHONE_IF = `lvw${tag}b`;
const NET = `10.231.${process.pid % 250}`;
const SERVER_IP = `${NET}.1`;

const ip = (...args) => execFileSync('ip', args, { stdio: ['ignore', 'pipe', 'pipe'] }).toString();
let skip = '';
let srv;

before(async () => {
  try {
    if (process.getuid?.() !== 0) throw new Error('not root');
    ip('netns', 'add', NS);
    ip('link', 'add', HOST_IF, 'type', 'veth', 'peer', 'name', PHONE_IF);
    ip('link', 'set', PHONE_IF, 'netns', NS);
    ip('addr', 'add', `${SERVER_IP}/30`, 'dev', HOST_IF);
    ip('link', 'set', HOST_IF, 'up');
    ip('netns', 'exec', NS, 'ip', 'addr', 'add', `${NET}.2/30`, 'dev', PHONE_IF);
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

// Runs requests from inside the namespace: [method, path, cookie?] -> status codes and bodies.
function fromPhone(requests) {
  const script = `
    const out = [];
    for (const [method, path, body] of ${JSON.stringify(requests)}) {
      const r = await fetch('http://${SERVER_IP}:' + process.argv[1] + path, {
        method, body, headers: body ? { 'Content-Type': 'application/json' } : {} });
      out.push({ status: r.status, body: (await r.text()).slice(0, 300) });
    }
    console.log(JSON.stringify(out));`;
  const text = execFileSync('ip', ['netns', 'exec', NS, process.execPath, '--input-type=module', '-e', script, String(srv.port)], { timeout: 20000 }).toString();
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
    ['POST', '/api/settings', '{"autoApprove":true}'], ['POST', '/api/show', `{"id":"${pending.data.id}"}`],
    ['GET', '/api/guest-bg-looks'], ['GET', '/mod'], ['GET', '/mod/index.html'], ['GET', '/mod/mod.js'], ['GET', '/bg'], ['GET', '/web/info/start.txt'],
  ];
  // The same pages and files under other spellings of their paths.
  const disguised = [['GET', '/%6dod/mod.js'], ['GET', '/bg%2findex.html'], ['GET', '/%77eb/info/start.txt'], ['GET', '//mod//mod.js'],
    ['GET', '/Mod/mod.js'], ['GET', '/%69nfo/start.txt'], ['GET', '/info/start.txt'], ['GET', '/mod./mod.js']];
  denied.push(...disguised.slice(0, 5));
  const hidden = disguised.slice(5);
  const allowed = [['GET', '/'], ['GET', '/api/guest/config'], ['GET', '/api/guest/live']];
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
