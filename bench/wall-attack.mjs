// The wall server under the attacks its limits are for, measured: photos filling the uploads
// folder (and whether rejecting them frees it), phones on many addresses filling the waiting queue
// (and what a guest on another address then gets, and what it takes the DJ to clear it), posts
// of stacked combining marks (the moderation document's size and the display poll while the
// moderator polls it), and reactions of ever new emojis with idempotency keys (the server's
// memory). Each phase starts its own server in a fresh wall folder.
//
//   node bench/wall-attack.mjs [--server path/to/server.js] [--label name] [--seconds N] [--one-address-seconds N]
//                              [--only photos,queue,marks,reactions]
//
// --server runs another build of the server (an older one, to compare). The queue phase needs
// root: it makes a network namespace whose addresses play the phones (as the server's loopback
// test does); without it, the phase says so and is skipped. Writes test-output/bench/wall-attack.json.

import http from 'node:http';
import { spawn, execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const args = process.argv.slice(2);
const arg = (name, def) => (args.includes(`--${name}`) ? args[args.indexOf(`--${name}`) + 1] : def);
const SERVER = path.resolve(arg('server', path.join(root, 'wall/server/server.js')));
const SECONDS = Number(arg('seconds', 60));
const ONE_ADDRESS_SECONDS = Number(arg('one-address-seconds', 180));
const ONLY = arg('only', 'photos,queue,marks,reactions').split(',');

async function startWall(env = {}, host = '127.0.0.1') {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumvo-attack-'));
  const child = spawn(process.execPath, [SERVER], {
    env: { ...process.env, LUMVO_WALL_DIR: dir, LUMVO_WEB_DIR: path.join(dir, 'web'), LUMVO_PORT: '0', LUMVO_HOST: host, LUMVO_READY_FD: '1', ...env },
    stdio: ['ignore', 'pipe', 'ignore'],
  });
  const port = await new Promise((resolve, reject) => {
    child.stdout.on('data', (d) => { const m = /ready (\d+)/.exec(String(d)); if (m) resolve(Number(m[1])); });
    child.on('exit', (code) => reject(new Error(`server exited ${code}`)));
  });
  const rssMb = () => Number(/VmRSS:\s+(\d+)/.exec(fs.readFileSync(`/proc/${child.pid}/status`, 'utf8'))[1]) / 1024;
  return {
    dir, port, child, rssMb,
    async stop() {
      child.kill('SIGKILL');
      await new Promise((r) => child.once('exit', r));
      fs.rmSync(dir, { recursive: true, force: true });
    },
  };
}

// One request; cookie: the phone's device cookie, kept up to date in `jar`.
function request(port, method, p, { body, json, headers = {}, jar } = {}) {
  const payload = json !== undefined ? Buffer.from(JSON.stringify(json)) : body;
  return new Promise((resolve, reject) => {
    const h = { ...headers, ...(json !== undefined ? { 'Content-Type': 'application/json' } : {}), ...(jar?.cookie ? { Cookie: jar.cookie } : {}) };
    if (payload) h['Content-Length'] = payload.length;
    const req = http.request({ host: '127.0.0.1', port, method, path: p, headers: h, agent: false }, (res) => {
      const chunks = [];
      res.on('data', (c) => chunks.push(c));
      res.on('end', () => {
        const set = res.headers['set-cookie']?.[0];
        if (jar && set) jar.cookie = set.split(';')[0];
        const text = Buffer.concat(chunks).toString();
        let data;
        try { data = JSON.parse(text); } catch { data = undefined; }
        resolve({ status: res.statusCode, data, bytes: Buffer.concat(chunks).length });
      });
    });
    req.on('error', reject);
    req.end(payload);
  });
}
const act = (port, name, json = {}) => request(port, 'POST', `/api/${name}`, { json });
const state = async (port) => (await request(port, 'GET', '/api/state')).data;
const jpeg = (size) => { const b = Buffer.alloc(size, 0x20); b.set([0xff, 0xd8, 0xff, 0xe0]); return b; };
const percentile = (xs, p) => { const s = [...xs].sort((a, b) => a - b); return s[Math.min(s.length - 1, Math.ceil((p / 100) * s.length) - 1)] ?? 0; };
const round = (x, n = 1) => Math.round(x * 10 ** n) / 10 ** n;

// Photos of 4.5 MB from one phone until the folder (100 MB here) is full; the DJ rejects them all;
// is the next photo taken, and after a restart?
async function photos() {
  const env = { LUMVO_UPLOADS_MAX_MB: '100', LUMVO_RATE_LIMITS: 'off' };
  let wall = await startWall(env);
  const phone = {};
  let taken = 0;
  const t0 = performance.now();
  for (;;) {
    const r = await request(wall.port, 'POST', '/api/guest/photo', { body: jpeg(4.5 * 2 ** 20), jar: phone });
    if (r.status !== 200) break;
    taken++;
    if (taken % 9 === 0) phone.cookie = ''; // a new phone: one phone may have 10 posts waiting
  }
  const fillMs = performance.now() - t0;
  const t1 = performance.now();
  for (const p of (await state(wall.port)).pending) await act(wall.port, 'reject', { id: p.id });
  const rejectMs = performance.now() - t1;
  const folder = fs.readdirSync(path.join(wall.dir, 'uploads')).reduce((n, f) => n + fs.statSync(path.join(wall.dir, 'uploads', f)).size, 0);
  const afterReject = (await request(wall.port, 'POST', '/api/guest/photo', { body: jpeg(4.5 * 2 ** 20) })).status;
  // The same folder after a restart.
  const dir = wall.dir;
  wall.child.kill('SIGKILL');
  await new Promise((r) => wall.child.once('exit', r));
  const again = await startWall({ ...env, LUMVO_WALL_DIR: dir });
  const afterRestart = (await request(again.port, 'POST', '/api/guest/photo', { body: jpeg(4.5 * 2 ** 20) })).status;
  wall = again;
  await wall.stop();
  return { capMB: 100, photoMB: 4.5, photosTaken: taken, fillSeconds: round(fillMs / 1000, 2), rejectAllSeconds: round(rejectMs / 1000, 2),
    uploadsMBAfterRejectingAll: round(folder / 2 ** 20), nextPhotoAfterRejectingAll: afterReject, nextPhotoAfterRestart: afterRestart };
}

// ------------------------------------------------------------------ the queue, from a namespace

const NS = `lumvo-b${process.pid % 10000}`;
const NET = `10.233.${process.pid % 250}`;
const ip = (...a) => execFileSync('ip', a, { stdio: ['ignore', 'pipe', 'pipe'] }).toString();

function makeNamespace(addresses) {
  ip('netns', 'add', NS);
  ip('link', 'add', `${NS}a`, 'type', 'veth', 'peer', 'name', `${NS}b`);
  ip('link', 'set', `${NS}b`, 'netns', NS);
  ip('addr', 'add', `${NET}.1/24`, 'dev', `${NS}a`);
  ip('link', 'set', `${NS}a`, 'up');
  for (let i = 0; i < addresses; i++) ip('netns', 'exec', NS, 'ip', 'addr', 'add', `${NET}.${10 + i}/24`, 'dev', `${NS}b`);
  ip('netns', 'exec', NS, 'ip', 'link', 'set', `${NS}b`, 'up');
}
function dropNamespace() {
  try { ip('link', 'del', `${NS}a`); } catch { /* gone with the namespace */ }
  try { ip('netns', 'del', NS); } catch { /* never made */ }
}

// Inside the namespace: each address runs `phones` phones (each keeps its cookie) posting
// shout-outs as fast as the server answers, until it refuses one with `busy` or `seconds` pass.
// Prints { perAddress: [{ accepted, refusedBy }], ms }.
function flood(port, firstAddress, addresses, phones, seconds) {
  const script = `
    import http from 'node:http';
    const [port, first, n, phones, seconds] = process.argv.slice(1).map(Number);
    const post = (from, jar, text) => new Promise((resolve) => {
      const body = JSON.stringify({ name: 'Flood', text });
      const req = http.request({ host: '${NET}.1', port, method: 'POST', path: '/api/guest/shoutout', localAddress: '${NET}.' + from, agent: false,
        headers: { 'Content-Type': 'application/json', 'Content-Length': body.length, ...(jar.c ? { Cookie: jar.c } : {}) } }, (res) => {
        let t = ''; res.on('data', (d) => { t += d; });
        res.on('end', () => { const s = res.headers['set-cookie']?.[0]; if (s) jar.c = s.split(';')[0]; let code = ''; try { code = JSON.parse(t).code ?? ''; } catch {} resolve({ status: res.statusCode, code }); });
      });
      req.on('error', () => resolve({ status: 0, code: 'error' }));
      req.end(body);
    });
    const t0 = Date.now();
    const end = t0 + seconds * 1000;
    const perAddress = await Promise.all(Array.from({ length: n }, async (_, a) => {
      const out = { accepted: 0, refusedBy: '' };
      const jars = Array.from({ length: phones }, () => ({}));
      let k = 0;
      while (Date.now() < end && !out.refusedBy) {
        const jar = jars[k++ % phones];
        const r = await post(first + a, jar, 'flood ' + a + ' ' + k);
        if (r.status === 200) out.accepted++;
        else if (r.code === 'busy') out.refusedBy = 'busy';
        else if (r.status === 429) await new Promise((w) => setTimeout(w, 200));
        else if (r.code === 'error') break;
      }
      return out;
    }));
    console.log(JSON.stringify({ perAddress, ms: Date.now() - t0 }));`;
  return JSON.parse(execFileSync('ip', ['netns', 'exec', NS, process.execPath, '--input-type=module', '-e', script,
    String(port), String(firstAddress), String(addresses), String(phones), String(seconds)], { maxBuffer: 1 << 24 }).toString());
}

async function queue() {
  if (process.getuid?.() !== 0) return { skipped: 'needs root for a network namespace' };
  makeNamespace(41);
  try {
    // 38 addresses, 6 phones each, flat out: how long until the queue refuses them all, and what
    // does a guest on a 39th address get then?
    let wall = await startWall({}, '0.0.0.0');
    const many = flood(wall.port, 10, 38, 6, SECONDS);
    const waiting = (await state(wall.port)).pending.length;
    const guest = flood(wall.port, 48, 1, 1, 3).perAddress[0];
    // The DJ clears it: by address where the server can, else one post at a time.
    const t0 = performance.now();
    let actions = 0;
    for (let s = await state(wall.port); s.pending.length > 0; s = await state(wall.port)) {
      const bulk = await act(wall.port, 'reject-address', { id: s.pending[0].id });
      actions++;
      if (bulk.status !== 200) for (const p of s.pending) { await act(wall.port, 'reject', { id: p.id }); actions++; }
    }
    const clearMs = performance.now() - t0;
    await wall.stop();
    // One address alone, 12 phones, long enough for its rate limit to let 100 posts through.
    wall = await startWall({}, '0.0.0.0');
    const one = flood(wall.port, 49, 1, 12, ONE_ADDRESS_SECONDS).perAddress[0];
    await wall.stop();
    const stoppedAt = many.perAddress.filter((a) => a.refusedBy === 'busy').length;
    return {
      thirtyEightAddresses: { seconds: round(many.ms / 1000, 2), waiting, addressesRefusedBusy: stoppedAt, postsAccepted: many.perAddress.reduce((n, a) => n + a.accepted, 0) },
      guestOnAnotherAddressAfterwards: guest,
      djClearing: { requests: actions, seconds: round(clearMs / 1000, 2) },
      oneAddressFor: { seconds: ONE_ADDRESS_SECONDS, accepted: one.accepted, refusedBy: one.refusedBy || 'nothing (only the rate limit slowed it)' },
    };
  } finally {
    dropNamespace();
  }
}

// ------------------------------------------------------------------ stacked marks

// The attack's text (180 characters of 21 code points), or, where that is refused, the worst the
// caps take: every character a letter with three marks of 3 bytes each.
const ATTACK_TEXT = `e${Array.from({ length: 20 }, (_, i) => String.fromCodePoint(0x300 + i)).join('')}`.repeat(180);
const WORST_TEXT = 'e\u20d0\u20d1\u20d2'.repeat(180);
const WORST_NAME = 'e\u20d0\u20d1\u20d2'.repeat(28);

async function marks() {
  const wall = await startWall({ LUMVO_RATE_LIMITS: 'off' });
  try {
    const attack = await request(wall.port, 'POST', '/api/guest/shoutout', { json: { name: WORST_NAME, text: ATTACK_TEXT } });
    const text = attack.status === 200 ? ATTACK_TEXT : WORST_TEXT;
    let phone = {};
    for (let i = 1; i < 1000; i++) {
      if (i % 9 === 0) phone = {};
      const r = await request(wall.port, 'POST', '/api/guest/shoutout', { json: { name: WORST_NAME, text }, jar: phone });
      if (r.status !== 200) throw new Error(`post ${i}: ${r.status} ${JSON.stringify(r.data)}`);
    }
    const stateTimes = [];
    let stateBytes = 0;
    for (let i = 0; i < 10; i++) {
      const t0 = performance.now();
      stateBytes = (await request(wall.port, 'GET', '/api/state')).bytes;
      stateTimes.push(performance.now() - t0);
    }
    // The TV's display poll (every 150 ms) while the moderator reads the state every second.
    const display = [];
    const end = Date.now() + 10000;
    const moderator = (async () => { while (Date.now() < end) { await request(wall.port, 'GET', '/api/state'); await new Promise((r) => setTimeout(r, 1000)); } })();
    while (Date.now() < end) {
      const t0 = performance.now();
      await request(wall.port, 'GET', '/api/display');
      display.push(performance.now() - t0);
      await new Promise((r) => setTimeout(r, 150));
    }
    await moderator;
    return {
      attackTextTaken: attack.status === 200, attackTextStatus: attack.status, postedText: attack.status === 200 ? 'the attack text' : 'the worst the caps take',
      codePointsPerPost: [...text].length, bytesPerPost: Buffer.byteLength(text), posts: 1000,
      stateBytes, stateMsMedian: round(percentile(stateTimes, 50)), displayPollP95Ms: round(percentile(display, 95)), displayPolls: display.length,
    };
  } finally {
    await wall.stop();
  }
}

// ------------------------------------------------------------------ reactions

// Emojis the server takes (Extended_Pictographic, one code point each).
const ALL_EMOJIS = [];
for (let c = 0x1f300; c <= 0x1faff && ALL_EMOJIS.length < 3000; c++) {
  const e = String.fromCodePoint(c);
  if (/^\p{Extended_Pictographic}$/u.test(e) && !/\p{Emoji_Modifier}/u.test(e)) ALL_EMOJIS.push(e);
}

async function reactions() {
  const wall = await startWall({ LUMVO_RATE_LIMITS: 'off' });
  try {
    await act(wall.port, 'settings', { allowAllEmojis: true, allowMultipleEmojis: true });
    const id = (await request(wall.port, 'POST', '/api/guest/shoutout', { json: { text: 'react to me' } })).data.id;
    await act(wall.port, 'show', { id });
    const rssStart = wall.rssMb();
    const end = Date.now() + SECONDS * 1000;
    let accepted = 0;
    let refused = 0;
    let lastReplyBytes = 0;
    let maxRss = rssStart;
    let n = 0;
    // Two guests' worth of connections, each its own phone, every reaction a new key.
    await Promise.all(Array.from({ length: 8 }, async (_, w) => {
      const jar = {};
      while (Date.now() < end) {
        const emoji = ALL_EMOJIS[n++ % ALL_EMOJIS.length];
        const r = await request(wall.port, 'POST', '/api/guest/react', {
          json: { id, emoji }, jar, headers: { 'Idempotency-Key': `bench-${w}-${n}-0123456789abcdef` },
        });
        if (r.status === 200) { accepted++; lastReplyBytes = r.bytes; } else refused++;
        if (n % 200 === 0) maxRss = Math.max(maxRss, wall.rssMb());
      }
    }));
    maxRss = Math.max(maxRss, wall.rssMb());
    const tally = (await request(wall.port, 'GET', '/api/guest/live')).data.posts[0].reactions.length;
    return { seconds: SECONDS, reactionsAccepted: accepted, reactionsRefused: refused, differentEmojisOnThePost: tally,
      lastReplyBytes, rssStartMB: round(rssStart), rssMaxMB: round(maxRss) };
  } finally {
    await wall.stop();
  }
}

const cpus = os.cpus();
const out = {
  when: new Date().toISOString(), server: path.relative(root, SERVER) || SERVER,
  machine: { cpu: cpus[0]?.model ?? 'unknown', cores: cpus.length, memoryGiB: Math.round(os.totalmem() / 2 ** 30), node: process.version },
};
const phases = { photos, queue, marks, reactions };
for (const name of ONLY) {
  console.log(`== ${name}`);
  out[name] = await phases[name]();
  console.log(JSON.stringify(out[name], null, 1));
}
fs.mkdirSync(path.join(root, 'test-output/bench'), { recursive: true });
const file = path.join(root, 'test-output/bench', `wall-attack${arg('label', '') ? `-${arg('label', '')}` : ''}.json`);
fs.writeFileSync(file, `${JSON.stringify(out, null, 2)}\n`);
console.log(`machine: ${out.machine.cpu}, ${out.machine.cores} cores, Node ${out.machine.node}; written ${path.relative(root, file)}`);
