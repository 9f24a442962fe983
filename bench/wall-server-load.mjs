// Load benchmark of the wall server: 300 concurrent guests (one connection and one device
// cookie each) post shout-outs and react to live posts, while the plug-in's two polls run
// (display every 150 ms, moderation state every second). The same load goes to a bare Node.js
// HTTP server on this machine, and the wall's throughput is reported as a ratio to it.
//
//   node bench/wall-server-load.mjs [--seconds N] [--guests N] [--pending N] [--phase-seconds N]
//     [--display-seconds N] [--display-connections N] [--rounds N] [--compare path/to/server.js] [--smoke] [--profile]
//
// After the mix, many connections read GET /api/display as fast as they can (a load tool against
// the plug-in's hottest endpoint), and a bare Node.js server sending the same bytes gets the same
// load. Then 500 posts wait for the DJ, and the display poll is timed with nothing else running
// and during a flood of guests without cookies. --compare runs the venue pace, the flat-out mix
// and the display phase against another build of the wall server too (an older checkout's
// wall/server/server.js), in the same run and against the same bare server. The servers take the
// flat-out mix and the display phase in turns (--rounds, 4: each gets a quarter of the time, four times), so that
// what else the machine does weighs on each alike. --profile writes a CPU profile of the wall
// server (test-output/bench/profile/) and prints where its time went.
//
// Writes test-output/bench/wall-server-load.json. Loopback traffic only.

import autocannon from 'autocannon';
import http from 'node:http';
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const args = process.argv.slice(2);
const opt = (name, def) => {
  const i = args.indexOf(`--${name}`);
  return i >= 0 ? Number(args[i + 1]) : def;
};
const smoke = args.includes('--smoke');
const profile = args.includes('--profile');
const seconds = opt('seconds', smoke ? 3 : 20);
const guests = opt('guests', smoke ? 50 : 300);
const pending = opt('pending', 500);
const phaseSeconds = opt('phase-seconds', smoke ? 2 : 10);
const displaySeconds = opt('display-seconds', smoke ? 2 : 12);
const displayConnections = opt('display-connections', smoke ? 20 : 100);
const compareIndex = args.indexOf('--compare');
const compare = compareIndex >= 0 ? path.resolve(args[compareIndex + 1]) : null;
const rounds = opt('rounds', smoke ? 1 : 4);
const EMOJIS = ['🔥', '❤️', '😂', '👏', '🎉', '😍', '🙌', '💯'];

function start(cmd, cmdArgs, env) {
  const child = spawn(cmd, cmdArgs, { env: { ...process.env, ...env }, stdio: ['ignore', 'pipe', 'inherit'] });
  return new Promise((resolve, reject) => {
    let out = '';
    child.stdout.on('data', (d) => {
      out += d;
      const m = /ready (\d+)/.exec(out);
      if (m) resolve({ child, port: Number(m[1]) });
    });
    child.on('exit', (code) => reject(new Error(`${cmd} exited ${code}`)));
  });
}

// The bare server answers every request with {"ok":true}, and GET /api/display with the body
// of the last PUT (the wall's display document as it was before the display phase).
const BARE = `
  import http from 'node:http';
  let display = '';
  const s = http.createServer((req, res) => {
    const chunks = [];
    req.on('data', (c) => chunks.push(c));
    req.on('end', () => {
      if (req.method === 'PUT') display = Buffer.concat(chunks).toString();
      const body = req.url === '/api/display' ? display : '{"ok":true}';
      res.writeHead(200, { 'Content-Type': 'application/json; charset=utf-8', 'Content-Length': Buffer.byteLength(body) });
      res.end(body);
    });
  });
  s.listen(0, '127.0.0.1', () => process.stdout.write('ready ' + s.address().port + '\\n'));`;

async function post(base, p, body, cookie) {
  const r = await fetch(base + p, {
    method: 'POST', body: JSON.stringify(body),
    headers: { 'Content-Type': 'application/json', ...(cookie ? { Cookie: cookie } : {}) },
  });
  return r.json();
}

// A device cookie as the server makes them (it signs them, so a made-up one would be a new
// phone on every request).
async function newCookie(base) {
  const r = await fetch(`${base}/api/guest/config`);
  await r.arrayBuffer();
  return r.headers.getSetCookie()[0].split(';')[0];
}

function percentile(sorted, p) {
  if (sorted.length === 0) return 0;
  return sorted[Math.min(sorted.length - 1, Math.ceil((p / 100) * sorted.length) - 1)];
}

// One guest per connection: post a shout-out, then react three times to live posts.
function guestRequests(postIds, cookies) {
  let next = 0;
  const step = (ctx) => {
    if (ctx.n === undefined) {
      ctx.cookie = cookies[next++ % cookies.length];
      ctx.n = 0;
    }
    return ctx.n++ % 4;
  };
  return [{
    method: 'POST',
    path: '/api/guest/shoutout',
    setupRequest(req, ctx) {
      const k = step(ctx);
      // An empty cookie: a guest that sends none (a new phone to the server on every request).
      const headers = { 'content-type': 'application/json', ...(ctx.cookie ? { cookie: ctx.cookie } : {}) };
      if (k === 0) {
        return { ...req, path: '/api/guest/shoutout', headers, body: JSON.stringify({ name: 'Guest', text: `Hello from the dance floor ${ctx.n}` }) };
      }
      const id = postIds[Math.floor(Math.random() * postIds.length)];
      const emoji = EMOJIS[Math.floor(Math.random() * EMOJIS.length)];
      return { ...req, path: '/api/guest/react', headers, body: JSON.stringify({ id, emoji }) };
    },
  }];
}

// A venue's pace: every guest on its own keep-alive connection acts at random moments (on average
// `perSecond` times a second, exponential gaps), so arrivals are not lined up in bursts the way a
// fixed-rate timer per connection would line them up. Latency is measured from send to last byte,
// on open connections: each guest's first request of a round opens its connection (a new one
// every round, since the servers take turns) and is sent and counted but not timed, as a phone
// at a venue keeps its connection open between requests; with a fresh connection in every 5 s
// round, a tenth of the timed requests had carried a TCP handshake. Returns what was counted, to
// be summed over rounds (summary).
async function venuePace(port, postIds, cookies, perSecond, runSeconds = seconds) {
  const times = [];
  const statuses = {};
  let errors = 0;
  const end = Date.now() + runSeconds * 1000;
  const guest = async (cookie) => {
    const agent = new http.Agent({ keepAlive: true, maxSockets: 1 });
    for (let n = 0; ; n++) {
      await new Promise((r) => setTimeout(r, -Math.log(1 - Math.random()) * (1000 / perSecond)));
      if (Date.now() >= end) break;
      const body = n % 4 === 0
        ? JSON.stringify({ name: 'Guest', text: `Hello from the dance floor ${n}` })
        : JSON.stringify({ id: postIds[Math.floor(Math.random() * postIds.length)], emoji: EMOJIS[Math.floor(Math.random() * EMOJIS.length)] });
      const t0 = performance.now();
      await new Promise((resolve) => {
        const req = http.request({ host: '127.0.0.1', port, agent, method: 'POST', path: n % 4 === 0 ? '/api/guest/shoutout' : '/api/guest/react',
          headers: { 'Content-Type': 'application/json', 'Content-Length': Buffer.byteLength(body), Cookie: cookie } }, (res) => {
          res.resume();
          res.on('end', () => {
            if (n > 0) times.push(performance.now() - t0);
            statuses[res.statusCode] = (statuses[res.statusCode] ?? 0) + 1;
            resolve();
          });
        });
        req.on('error', () => { errors++; resolve(); });
        req.end(body);
      });
    }
    agent.destroy();
  };
  await Promise.all(cookies.map(guest));
  const requests = Object.values(statuses).reduce((a, b) => a + b, 0);
  return { requests, seconds: runSeconds, times, statuses, errors, timeouts: 0 };
}

// One load tool run: `requests` as autocannon takes them, on `connections` connections, for
// `runSeconds`. Returns what was counted, to be summed over rounds (summary).
async function load(port, { connections, runSeconds, requests, rate = 0, path: endpoint = '' }) {
  const times = [];
  const statuses = {};
  const instance = autocannon({
    url: `http://127.0.0.1:${port}${endpoint}`, connections, duration: runSeconds,
    ...(requests ? { requests } : {}), ...(rate > 0 ? { overallRate: rate } : {}),
  });
  instance.on('response', (client, status, bytes, ms) => {
    times.push(ms);
    statuses[status] = (statuses[status] ?? 0) + 1;
  });
  const result = await instance;
  return { requests: result.requests.total, seconds: runSeconds, times, statuses, errors: result.errors, timeouts: result.timeouts };
}

function summary(label, parts, extra = {}) {
  const times = parts.flatMap((p) => p.times).sort((a, b) => a - b);
  const statuses = {};
  for (const p of parts) for (const [k, n] of Object.entries(p.statuses)) statuses[k] = (statuses[k] ?? 0) + n;
  const sum = (k) => parts.reduce((n, p) => n + p[k], 0);
  return { label, ...extra, requests: sum('requests'), seconds: sum('seconds'), requestsPerSec: sum('requests') / sum('seconds'),
    p50ms: percentile(times, 50), p95ms: percentile(times, 95), p99ms: percentile(times, 99), errors: sum('errors'), timeouts: sum('timeouts'), statuses };
}

// The guests' mix flat out (or at `rate` requests a second over all guests).
async function run(port, postIds, cookies, label, rate = 0, runSeconds = seconds) {
  const part = await load(port, { connections: guests, runSeconds, requests: guestRequests(postIds, cookies), rate });
  return summary(label, [part], { rate: rate || 'max' });
}

// The same load on several servers in turns (a round each, `rounds` times), so that what else
// the machine is doing weighs on all of them alike. targets: [{ label, port }]; once(target,
// seconds) runs one round.
async function inTurns(targets, totalSeconds, rounds, once) {
  const parts = targets.map(() => []);
  const each = Math.max(1, Math.round(totalSeconds / rounds));
  for (let r = 0; r < rounds; r++) {
    for (const [k, t] of targets.entries()) parts[k].push(await once(t, each));
  }
  return parts;
}

// The plug-in's two polls (display every 150 ms, moderation state every second), timed from send
// to last byte; each answer is kept with the phase it fell in.
function plugInPolls(base) {
  const answered = [];
  let phase = '';
  const poll = (kind) => {
    const t0 = performance.now();
    const during = phase;
    fetch(`${base}/api/${kind}`).then((r) => r.text()).then(() => answered.push({ kind, phase: during, ms: performance.now() - t0 }), () => {});
  };
  const timers = [setInterval(() => poll('display'), 150), setInterval(() => poll('state'), 1000)];
  return {
    answered,
    phase: (name) => { phase = name; },
    stop: () => timers.forEach(clearInterval),
    stats(kind, name) {
      const t = answered.filter((a) => a.kind === kind && a.phase === name).map((a) => a.ms).sort((a, b) => a - b);
      return { polls: t.length, p50ms: percentile(t, 50), p95ms: percentile(t, 95), maxms: t.at(-1) ?? 0 };
    },
  };
}

// Where the wall server's main thread spent its busy time: the CPU profile's self time by
// function, biggest first, as a share of the time it was not idle. (Each thread writes its own
// profile; the main thread's is the busiest.)
function profileSummary(dir, top = 15) {
  const summaries = fs.readdirSync(dir).filter((f) => f.endsWith('.cpuprofile')).map((f) => {
    const prof = JSON.parse(fs.readFileSync(path.join(dir, f), 'utf8'));
    const byId = new Map(prof.nodes.map((n) => [n.id, n]));
    const self = new Map();
    prof.samples.forEach((id, i) => {
      const c = byId.get(id).callFrame;
      if (c.functionName === '(idle)') return;
      const where = c.url ? `${path.basename(c.url)}:${c.lineNumber + 1}` : '(native)';
      const key = `${c.functionName || '(anonymous)'} ${where}`;
      self.set(key, (self.get(key) ?? 0) + (prof.timeDeltas[i] ?? 0));
    });
    return { self, busy: [...self.values()].reduce((a, b) => a + b, 0) };
  });
  const main = summaries.sort((a, b) => b.busy - a.busy)[0];
  if (!main) return [];
  return [...main.self].sort((a, b) => b[1] - a[1]).slice(0, top)
    .map(([fn, us]) => ({ fn, ms: Math.round(us / 1000), share: Math.round((us / main.busy) * 1000) / 10 }));
}

// A wall server on a fresh wall folder, with its settings, one device cookie per guest and the
// posts the guests react to.
async function startWall(serverJs, profileDir) {
  const wallDir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumvo-bench-'));
  fs.mkdirSync(path.join(wallDir, 'web'), { recursive: true });
  fs.writeFileSync(path.join(wallDir, 'web', 'index.html'), '<!doctype html>');
  // Rate limits off: the benchmark measures capacity, and every connection sends as fast as it can.
  const wall = await start(process.execPath, [...(profileDir ? ['--cpu-prof', `--cpu-prof-dir=${profileDir}`] : []), serverJs], {
    LUMVO_WALL_DIR: wallDir, LUMVO_WEB_DIR: path.join(wallDir, 'web'), LUMVO_PORT: '0', LUMVO_HOST: '127.0.0.1',
    LUMVO_READY_FD: '1', LUMVO_RATE_LIMITS: 'off', ...(process.env.LUMVO_SYNC ? { LUMVO_SYNC: process.env.LUMVO_SYNC } : {}),
  });
  const base = `http://127.0.0.1:${wall.port}`;
  await post(base, '/api/settings', { autoApprove: true, repeatMessages: true, allowMultipleEmojis: false, hotNeed: 8, hotWindowSec: 60, duration: 7.0 });
  const cookies = [];
  for (let i = 0; i < guests; i++) cookies.push(await newCookie(base));
  const postIds = [];
  for (let i = 0; i < 20; i++) {
    const r = await post(base, '/api/guest/shoutout', { name: `Seed ${i}`, text: `seed post ${i}` }, cookies[i]);
    postIds.push(r.id);
  }
  const stop = async () => {
    await post(base, '/api/shutdown', {}).catch(() => {});
    await new Promise((r) => wall.child.once('exit', r));
    fs.rmSync(wallDir, { recursive: true, force: true });
  };
  return { ...wall, base, cookies, postIds, stop };
}

async function main() {
  const cpus = os.cpus();
  const machine = { cpu: cpus[0]?.model ?? 'unknown', cores: cpus.length, memoryGiB: Math.round(os.totalmem() / 2 ** 30), node: process.version, platform: `${os.type()} ${os.release()}` };
  const outDir = path.join(root, 'test-output', 'bench');
  const profDir = path.join(outDir, 'profile');
  if (profile) fs.rmSync(profDir, { recursive: true, force: true });

  const wall = await startWall(path.join(root, 'wall/server/server.js'), profile ? profDir : null);
  const other = compare ? await startWall(compare) : null;
  const bare = await start(process.execPath, ['--input-type=module', '-e', BARE], {});
  const { base, cookies, postIds } = wall;
  // The plug-in's polls run during the whole measurement, on the compared server too.
  const polls = plugInPolls(base);
  const otherPolls = other ? plugInPolls(other.base) : null;
  const walls = [{ server: wall, polls, label: 'wall server' }, ...(other ? [{ server: other, polls: otherPolls, label: compare }] : [])];
  const targets = [...walls, { server: { ...bare, postIds, cookies }, label: 'bare node http' }];
  // A wall's polls count as in a phase only during its own turns.
  const turn = (phase, fn) => async (t, sec) => {
    t.polls?.phase(phase);
    const part = await fn(t.server, sec);
    t.polls?.phase('');
    return part;
  };
  // First a venue's pace (every guest acting twice a second), for latency (the walls in turns
  // when there are two); then flat out, for capacity.
  // The bare server takes the same pace: the floor this machine and this client put under every
  // latency, whatever the server does.
  const paced = await inTurns(targets, seconds, rounds, turn('venue', (srv, sec) => venuePace(srv.port, srv.postIds, srv.cookies, 2, sec)));
  const [venueResult, otherVenue] = paced.map((parts, k) => summary(`${targets[k].label}, venue pace`, parts, { rate: guests * 2 }));
  const bareVenue = summary('bare node http, venue pace', paced.at(-1), { rate: guests * 2 });
  const flat = await inTurns(targets, seconds, rounds, turn('flat', (srv, sec) =>
    load(srv.port, { connections: guests, runSeconds: sec, requests: guestRequests(srv.postIds, srv.cookies) })));
  const flatOut = flat.map((parts, k) => summary(`${targets[k].label}, flat out`, parts, { rate: 'max' }));
  const wallResult = flatOut[0];
  const bareResult = flatOut.at(-1);
  // The plug-in's hottest endpoint under a load tool; the bare server sends the wall's bytes.
  const displayText = await (await fetch(`${base}/api/display`)).text();
  await fetch(`http://127.0.0.1:${bare.port}/bench/display`, { method: 'PUT', body: displayText }).then((r) => r.text());
  const hammered = await inTurns(targets, displaySeconds, rounds, turn('display', (srv, sec) =>
    load(srv.port, { connections: displayConnections, runSeconds: sec, path: '/api/display' })));
  const displayed = hammered.map((parts, k) => summary(`${targets[k].label}, GET /api/display`, parts, { connections: displayConnections }));
  const displayResult = displayed[0];
  const bareDisplay = displayed.at(-1);
  const otherBytes = other ? Buffer.byteLength(await (await fetch(`${other.base}/api/display`)).text()) : 0;
  otherPolls?.stop();
  await other?.stop();
  const compared = other ? { server: compare, venue: otherVenue, flat: flatOut[1], display: displayed[1], displayBytes: otherBytes, displayPoll: otherPolls.stats('display', 'flat') } : null;
  bare.child.kill();

  // A long night: 500 posts wait for the DJ (ten each from 50 phones, auto approve off while they
  // come in). The display poll is timed with only the plug-in's polls running, then during a
  // flood of guests that throw their cookies away (a new phone on every request).
  polls.phase('');
  await post(base, '/api/settings', { autoApprove: false });
  for (let i = 0; i < pending; i++) {
    const r = await post(base, '/api/guest/shoutout', { name: 'Waiting', text: `waiting for the DJ ${i}` }, cookies[Math.floor(i / 10) % cookies.length]);
    if (!r.ok) throw new Error(`pending post ${i} refused: ${JSON.stringify(r)}`);
  }
  await post(base, '/api/settings', { autoApprove: true });
  const statePending = JSON.parse(await (await fetch(`${base}/api/state`)).text()).pending.length;
  polls.phase('quiet');
  await new Promise((r) => setTimeout(r, phaseSeconds * 1000));
  polls.phase('flood');
  const flood = await run(wall.port, postIds, [''], 'cookie-less flood', 0, phaseSeconds);
  polls.phase('');
  polls.stop();
  const pendingPhase = {
    pending: statePending, seconds: phaseSeconds,
    quiet: { display: polls.stats('display', 'quiet'), state: polls.stats('state', 'quiet') },
    flood: { display: polls.stats('display', 'flood'), state: polls.stats('state', 'flood'), guests: flood },
  };
  await wall.stop();

  const report = {
    when: new Date().toISOString(), machine, guests, seconds, mix: '1 shout-out : 3 reactions per guest, plus display poll every 150 ms and state poll every 1 s',
    rounds, rateLimits: 'off', plugInPolls: polls.answered.length, venue: venueResult, bareVenue, wall: wallResult, bare: bareResult,
    throughputRatio: wallResult.requestsPerSec / bareResult.requestsPerSec,
    displayPoll: { venue: polls.stats('display', 'venue'), flatOut: polls.stats('display', 'flat') },
    display: { bytes: Buffer.byteLength(displayText), wall: displayResult, bare: bareDisplay, ratio: displayResult.requestsPerSec / bareDisplay.requestsPerSec },
    pendingPhase,
    ...(compared ? { compared: { ...compared, throughputRatio: compared.flat.requestsPerSec / bareResult.requestsPerSec,
      displayRatio: compared.display.requestsPerSec / bareDisplay.requestsPerSec } } : {}),
    ...(profile ? { profile: profileSummary(profDir) } : {}),
  };
  fs.mkdirSync(outDir, { recursive: true });
  fs.writeFileSync(path.join(outDir, smoke ? 'wall-server-load-smoke.json' : 'wall-server-load.json'), `${JSON.stringify(report, null, 2)}\n`);

  const ms = (n) => n.toFixed(1);
  const pc = (n) => `${(n * 100).toFixed(1)}%`;
  const f = (r) => `${r.requestsPerSec.toFixed(0)} req/s, p50 ${ms(r.p50ms)} ms, p95 ${ms(r.p95ms)} ms, p99 ${ms(r.p99ms)} ms, errors ${r.errors}, statuses ${JSON.stringify(r.statuses)}`;
  const h = (r) => `${r.requestsPerSec.toFixed(0)} req/s, p50 ${ms(r.p50ms)} ms, p99 ${ms(r.p99ms)} ms, errors ${r.errors}, ${JSON.stringify(r.statuses)}`;
  const d = (x) => `p50 ${ms(x.p50ms)} ms, p95 ${ms(x.p95ms)} ms, max ${ms(x.maxms)} ms (${x.polls} polls)`;
  console.log(`machine: ${machine.cpu}, ${machine.cores} cores, ${machine.memoryGiB} GiB, Node ${machine.node}`);
  console.log(`load: ${guests} guests for ${seconds} s each run (flat out and display phase in ${rounds} turns per server); plug-in polls answered: ${polls.answered.length}`);
  console.log(`wall, venue pace (${guests * 2} req/s): ${f(venueResult)}`);
  console.log(`bare node, venue pace: ${f(bareVenue)}`);
  console.log(`wall, flat out: ${f(wallResult)}`);
  console.log(`bare node, flat out: ${f(bareResult)}`);
  console.log(`GET /api/display, ${displayConnections} connections, ${displaySeconds} s, ${report.display.bytes} bytes: wall ${h(displayResult)}; bare ${h(bareDisplay)}`);
  console.log(`display poll: venue pace ${d(report.displayPoll.venue)}; flat out ${d(report.displayPoll.flatOut)}`);
  console.log(`${statePending} pending, quiet: display ${d(pendingPhase.quiet.display)}; state ${d(pendingPhase.quiet.state)}`);
  console.log(`${statePending} pending, cookie-less flood (${f(flood)}): display ${d(pendingPhase.flood.display)}; state ${d(pendingPhase.flood.state)}`);
  if (compared) {
    const c = report.compared;
    console.log(`compared ${compare}: venue pace p95 ${ms(c.venue.p95ms)} ms; flat out ${f(c.flat)} = ${pc(c.throughputRatio)} of bare; GET /api/display (${c.displayBytes} bytes) ${h(c.display)} = ${pc(c.displayRatio)} of bare`);
  }
  if (profile) for (const p of report.profile) console.log(`profile: ${String(p.share).padStart(5)} %  ${String(p.ms).padStart(6)} ms  ${p.fn}`);
  console.log(`result: p95 ${venueResult.p95ms.toFixed(1)} ms at ${guests} guests acting twice a second (p95 ${wallResult.p95ms.toFixed(1)} ms flat out); throughput ${wallResult.requestsPerSec.toFixed(0)} req/s = ${pc(report.throughputRatio)} of a bare Node HTTP server (${bareResult.requestsPerSec.toFixed(0)} req/s); GET /api/display ${displayResult.requestsPerSec.toFixed(0)} req/s = ${pc(report.display.ratio)} of bare (${bareDisplay.requestsPerSec.toFixed(0)} req/s); display poll p95 with ${statePending} pending: ${ms(pendingPhase.quiet.display.p95ms)} ms quiet, ${ms(pendingPhase.flood.display.p95ms)} ms in a cookie-less flood`);
  const bad = [...Object.entries(wallResult.statuses), ...Object.entries(venueResult.statuses)].filter(([s]) => s !== '200').reduce((n, [, c]) => n + c, 0);
  if (bad > 0 || wallResult.errors > 0 || venueResult.errors > 0) {
    console.log(`result: FAILED: ${bad} non-200 replies, ${wallResult.errors + venueResult.errors} errors`);
    process.exitCode = 1;
  }
  const displayBad = Object.entries(displayResult.statuses).filter(([k]) => k !== '200').reduce((n, [, c]) => n + c, 0);
  if (displayBad > 0 || displayResult.errors > 0 || displayResult.requests === 0) {
    console.log(`result: FAILED: GET /api/display under load: ${displayBad} replies other than 200, ${displayResult.errors} errors, ${displayResult.requests} requests`);
    process.exitCode = 1;
  }
  if (statePending !== pending || pendingPhase.flood.display.polls === 0) {
    console.log(`result: FAILED: the moderation document held ${statePending} pending posts, not ${pending}, or no display poll was answered in the flood`);
    process.exitCode = 1;
  }
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
