// What the venue screens cost the TV: the plug-in's display poll (GET /api/display every 150 ms,
// timed from send to last byte) with no screen listening and with twenty screens on the stream
// (GET /api/screen/events), while the wall is busy as on a good night (guests posting, the booth
// approving, reactions and votes coming in, so the screens get a new document several times a
// second). The two phases take turns (--rounds, 6), so what else the machine does weighs on both
// alike. Also reports the wall server's processor time in each phase (from /proc, on Linux) and
// how long an approved post took to reach every screen.
//
//   node bench/screen-streams.mjs [--screens N] [--phase-seconds N] [--rounds N] [--smoke]
//
// The screens run in a process of their own, as they would on other machines. Writes
// test-output/bench/screen-streams.json. Loopback traffic only.

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
const screens = opt('screens', 20);
const phaseSeconds = opt('phase-seconds', smoke ? 3 : 15);
const rounds = opt('rounds', smoke ? 1 : 6);

function start(cmdArgs, env) {
  const child = spawn(process.execPath, cmdArgs, { env: { ...process.env, ...env }, stdio: ['pipe', 'pipe', 'inherit'] });
  return new Promise((resolve, reject) => {
    let out = '';
    const onData = (d) => {
      out += d;
      const m = /ready (\d+)/.exec(out);
      if (m) {
        child.stdout.off('data', onData);
        resolve({ child, port: Number(m[1]) });
      }
    };
    child.stdout.on('data', onData);
    child.on('exit', (code) => reject(new Error(`exited ${code}`)));
  });
}

// The screens: N streams; for each post id, when it first reached each screen. Prints
// "ready 0" once all are open, and its record as JSON when its standard input closes.
const SCREENS = `
  import http from 'node:http';
  const [base, n] = [process.argv[1], Number(process.argv[2])];
  const seen = {};
  let messages = 0;
  let open = 0;
  for (let i = 0; i < n; i++) {
    http.get(base + '/api/screen/events', (res) => {
      if (++open === n) process.stdout.write('ready 0\\n');
      let buf = '';
      res.setEncoding('utf8');
      res.on('data', (d) => {
        buf += d;
        let k;
        while ((k = buf.indexOf('\\n\\n')) >= 0) {
          const line = buf.slice(0, k).split('\\n').find((l) => l.startsWith('data: '));
          buf = buf.slice(k + 2);
          if (!line) continue;
          messages++;
          const now = Date.now();
          for (const p of JSON.parse(line.slice(6)).screen.feed) {
            seen[p.id] ??= {};
            seen[p.id][i] ??= now;
          }
        }
      });
    });
  }
  process.stdin.resume();
  process.stdin.on('end', () => { process.stdout.write(JSON.stringify({ messages, seen }) + '\\n'); process.exit(0); });`;

async function post(base, p, body, cookie) {
  const r = await fetch(base + p, { method: 'POST', body: JSON.stringify(body), headers: { 'Content-Type': 'application/json', ...(cookie ? { Cookie: cookie } : {}) } });
  const text = await r.text();
  if (r.status !== 200) throw new Error(`${p} answered ${r.status}: ${text}`);
  return { data: JSON.parse(text), cookie: (r.headers.getSetCookie()[0] ?? '').split(';')[0] };
}

// The process's processor time so far in ms (user and system), or NaN where /proc is not there.
function cpuMs(pid) {
  try {
    const fields = fs.readFileSync(`/proc/${pid}/stat`, 'utf8').split(') ')[1].split(' ');
    return ((Number(fields[11]) + Number(fields[12])) * 1000) / 100;
  } catch {
    return NaN;
  }
}

function percentile(sorted, p) {
  if (sorted.length === 0) return 0;
  return sorted[Math.min(sorted.length - 1, Math.ceil((p / 100) * sorted.length) - 1)];
}

// A good night's traffic: every 100 ms a reaction or a vote, every 500 ms a guest's post that the
// booth approves at once (its approval time kept).
function night(base, cookies, approved) {
  let n = 0;
  let pollOptions = [];
  const live = [];
  const tick = async () => {
    n++;
    const cookie = cookies[n % cookies.length];
    try {
      if (n % 5 === 0) {
        const { data } = await post(base, '/api/guest/shoutout', { name: `Guest ${n}`, text: `Post number ${n} of the night` }, cookie);
        await post(base, '/api/show', { id: data.id });
        approved.set(data.id, Date.now());
        live.push(data.id);
      } else if (n % 2 === 0 && pollOptions.length) {
        await post(base, '/api/guest/vote', { option: pollOptions[n % pollOptions.length] }, cookie);
      } else if (live.length) {
        await post(base, '/api/guest/react', { id: live[n % live.length], emoji: ['🔥', '❤️', '👏'][n % 3] }, cookie);
      }
    } catch {
      // a refused reaction (already given) is part of a night
    }
  };
  const timer = setInterval(tick, 100);
  return { timer, setOptions: (o) => { pollOptions = o; } };
}

async function main() {
  const cpus = os.cpus();
  const machine = { cpu: cpus[0]?.model ?? 'unknown', cores: cpus.length, memoryGiB: Math.round(os.totalmem() / 2 ** 30), node: process.version, platform: `${os.type()} ${os.release()}` };
  const wallDir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumvo-bench-'));
  fs.mkdirSync(path.join(wallDir, 'web'), { recursive: true });
  const wall = await start([path.join(root, 'wall/server/server.js')], {
    LUMVO_WALL_DIR: wallDir, LUMVO_WEB_DIR: path.join(wallDir, 'web'), LUMVO_PORT: '0', LUMVO_HOST: '127.0.0.1',
    LUMVO_READY_FD: '1', LUMVO_RATE_LIMITS: 'off',
  });
  const base = `http://127.0.0.1:${wall.port}`;
  await post(base, '/api/settings', { allowUnlimitedVoting: true, allowMultipleEmojis: true, duration: 7 });
  const cookies = [];
  for (let i = 0; i < 60; i++) {
    const r = await fetch(`${base}/api/guest/config`);
    await r.text();
    cookies.push((r.headers.getSetCookie()[0] ?? '').split(';')[0]);
  }
  const approved = new Map();
  const traffic = night(base, cookies, approved);
  await post(base, '/api/vote-start', { title: 'Encore?', duration: 86400, options: ['Yes', 'No', 'Maybe'] });
  traffic.setOptions((await (await fetch(`${base}/api/screen`)).json()).poll.options.map((o) => o.id));

  // The plug-in's display poll, each answer kept with the phase it was sent in.
  const answered = [];
  let phase = 'warm-up';
  const poll = () => {
    const t0 = performance.now();
    const during = phase;
    fetch(`${base}/api/display`).then((r) => r.text()).then(() => answered.push({ phase: during, ms: performance.now() - t0 }), () => {});
  };
  const poller = setInterval(poll, 150);
  await new Promise((r) => setTimeout(r, 2000));

  let screenRecord = { messages: 0, seen: {} };
  const listening = []; // [from, to] while the screens were open
  const cpu = { 'no screens': 0, [`${screens} screens`]: 0 };
  // Runs a phase, adding the wall server's processor time in it.
  const during = async (name) => {
    phase = name;
    const c0 = cpuMs(wall.child.pid);
    await new Promise((r) => setTimeout(r, phaseSeconds * 1000));
    cpu[name] += cpuMs(wall.child.pid) - c0;
  };
  for (let round = 0; round < rounds; round++) {
    await during('no screens');
    phase = 'opening';
    const s = await start(['--input-type=module', '-e', SCREENS, base, String(screens)], {});
    const from = Date.now();
    await during(`${screens} screens`);
    phase = 'closing';
    // Posts approved in the last second may not have reached the screens before they close.
    listening.push([from, Date.now() - 1000]);
    const out = await new Promise((resolve) => {
      let text = '';
      s.child.stdout.on('data', (d) => { text += d; });
      s.child.on('exit', () => resolve(text));
      s.child.stdin.end();
    });
    const rec = JSON.parse(out.trim().split('\n').at(-1));
    screenRecord = { messages: screenRecord.messages + rec.messages, seen: { ...screenRecord.seen, ...rec.seen } };
  }
  clearInterval(poller);
  clearInterval(traffic.timer);

  const stats = (name) => {
    const t = answered.filter((a) => a.phase === name).map((a) => a.ms).sort((a, b) => a - b);
    return { polls: t.length, p50ms: percentile(t, 50), p95ms: percentile(t, 95), maxms: t.at(-1) ?? 0 };
  };
  const quiet = stats('no screens');
  const busy = stats(`${screens} screens`);
  // From the booth's approval (its reply) to the post reaching each screen, for the posts
  // approved while the screens listened.
  const lags = [];
  for (const [id, byScreen] of Object.entries(screenRecord.seen)) {
    const at = approved.get(id);
    if (!at || !listening.some(([from, to]) => at >= from && at <= to)) continue;
    for (const t of Object.values(byScreen)) lags.push(t - at);
  }
  lags.sort((a, b) => a - b);
  const report = {
    when: new Date().toISOString(), machine, screens, phaseSeconds, rounds,
    traffic: 'every 100 ms a reaction or a vote, every 500 ms a post the booth approves; display poll every 150 ms',
    display: { none: quiet, withScreens: busy, p95Ratio: busy.p95ms / quiet.p95ms },
    // The wall server's processor time as a share of one core, in each phase.
    serverCpu: { none: cpu['no screens'] / (rounds * phaseSeconds * 1000), withScreens: cpu[`${screens} screens`] / (rounds * phaseSeconds * 1000) },
    screenMessages: screenRecord.messages,
    approvalToScreen: { samples: lags.length, p50ms: percentile(lags, 50), p95ms: percentile(lags, 95), maxms: lags.at(-1) ?? 0 },
  };
  await post(base, '/api/shutdown', {}).catch(() => {});
  await new Promise((r) => wall.child.once('exit', r));
  fs.rmSync(wallDir, { recursive: true, force: true });
  const outDir = path.join(root, 'test-output', 'bench');
  fs.mkdirSync(outDir, { recursive: true });
  fs.writeFileSync(path.join(outDir, 'screen-streams.json'), `${JSON.stringify(report, null, 2)}\n`);
  const ms = (x) => x.toFixed(1);
  const d = (x) => `p50 ${ms(x.p50ms)} ms, p95 ${ms(x.p95ms)} ms, max ${ms(x.maxms)} ms (${x.polls} polls)`;
  console.log(`machine: ${machine.cpu}, ${machine.cores} cores, ${machine.memoryGiB} GiB, Node ${machine.node}`);
  console.log(`display poll, no screens:   ${d(quiet)}`);
  console.log(`display poll, ${screens} screens: ${d(busy)}`);
  console.log(`wall server processor time: ${(report.serverCpu.none * 100).toFixed(1)} % of a core with no screens, ${(report.serverCpu.withScreens * 100).toFixed(1)} % with ${screens}`);
  console.log(`screens got ${report.screenMessages} messages; approval to every screen: p50 ${ms(report.approvalToScreen.p50ms)} ms, p95 ${ms(report.approvalToScreen.p95ms)} ms, max ${ms(report.approvalToScreen.maxms)} ms (${lags.length} deliveries)`);
  console.log(`result: display poll p95 with ${screens} screens is ${(report.display.p95Ratio * 100).toFixed(0)} % of its p95 with none (${ms(busy.p95ms)} against ${ms(quiet.p95ms)} ms)`);
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
