// Process life: refuses old Node.js, stays quiet about node:sqlite, exits with its host and on
// the shutdown request.

import { test } from 'node:test';
import assert from 'node:assert/strict';
import { spawn, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { startServer, SERVER_JS, tempWall, Phone, Booth, fakeJpeg, fakePng } from './helpers/server.js';

const OLD_NODE = '/usr/bin/node';

test('an older Node.js exits at once naming the version it needs', { skip: !fs.existsSync(OLD_NODE) && 'no system node here' }, (t) => {
  const v = spawnSync(OLD_NODE, ['--version']).stdout.toString().trim();
  if (!/^v(1\d|2[01])\.|^v22\.(\d|1[0-2])\./.test(v)) return t.skip(`system node is ${v}, not older than 22.13`);
  const dir = tempWall();
  const r = spawnSync(OLD_NODE, [SERVER_JS, '1'], { env: { ...process.env, LUMVO_WALL_DIR: dir, LUMVO_PORT: '0' }, timeout: 10000 });
  assert.equal(r.status, 1);
  assert.match(r.stderr.toString(), /needs Node\.js 22\.13\.0 or newer; this is Node\.js \d+/);
  assert.equal(fs.existsSync(`${dir}/wall.db`), false, 'nothing written');
  fs.rmSync(dir, { recursive: true, force: true });
});

test('exits when the host process named on its command line is gone; prints no sqlite warning', async () => {
  const host = spawn('sleep', ['60']);
  const srv = await startServer({ args: [String(host.pid)] });
  await new Promise((r) => setTimeout(r, 300));
  assert.equal(srv.child.exitCode, null, 'runs while the host runs');
  host.kill('SIGKILL');
  const { code } = await Promise.race([srv.exited, new Promise((r) => setTimeout(() => r({ code: 'timeout' }), 5000))]);
  assert.equal(code, 0);
  assert.doesNotMatch(srv.stderr(), /ExperimentalWarning|SQLite is an experimental/);
  assert.match(srv.stderr(), /host process \d+ is gone/);
  await srv.stop();
});

test('POST /api/shutdown answers, then the process exits and its port is free', async () => {
  const srv = await startServer();
  const r = await fetch(`${srv.base}/api/shutdown`, { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: '{}' });
  assert.equal(r.status, 200);
  const { code } = await srv.exited;
  assert.equal(code, 0);
  await assert.rejects(fetch(`${srv.base}/api/guest/config`));
  await srv.stop();
});

// Run from the checkout as the README says, the wall folder is wall/ itself: whatever the server
// writes there must be ignored by git.
test('every file the server writes into its wall folder is one git ignores in the checkout', async (t) => {
  const repo = path.resolve(SERVER_JS, '../../..');
  if (spawnSync('git', ['-C', repo, 'rev-parse'], { stdio: 'ignore' }).status !== 0) return t.skip('not a git checkout');
  const dir = tempWall();
  const ours = new Set();
  const walk = (rel = '') => {
    for (const e of fs.readdirSync(path.join(dir, rel), { withFileTypes: true })) {
      const r = path.join(rel, e.name);
      if (r === 'web' || r === 'secret.txt') continue; // the test's own files
      if (e.isDirectory()) walk(r);
      ours.add(e.isDirectory() ? `${r}/` : r);
    }
  };
  // A killed server leaves its log and shared memory; a stopped one its backup.
  let srv = await startServer({ dir });
  await new Phone(srv.base).request('POST', '/api/guest/photo', { body: fakeJpeg(300) });
  await new Booth(srv.base).act('guest-bg-looks', { save: { name: 'P', kind: 'picture', picture: `data:image/png;base64,${fakePng(300).toString('base64')}` } });
  await srv.kill();
  walk();
  srv = await startServer({ dir });
  await fetch(`${srv.base}/api/shutdown`, { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: '{}' });
  await srv.exited;
  walk();
  fs.rmSync(dir, { recursive: true, force: true });
  for (const want of ['wall.db', 'wall.db-wal', 'uploads/', 'looks/', 'backup/wall-backup.db']) assert.ok(ours.has(want), `${want} was written`);
  const notIgnored = [...ours].filter((r) => spawnSync('git', ['-C', repo, 'check-ignore', '-q', '--no-index', `wall/${r}`]).status !== 0);
  assert.deepEqual(notIgnored, []);
});

// Its log is its standard error; a disk that is full takes the log, never the wall.
test('a log that cannot be written is dropped; the wall keeps answering', { skip: !fs.existsSync('/dev/full') && 'no /dev/full here' }, async () => {
  const dir = tempWall();
  const full = fs.openSync('/dev/full', 'w');
  const child = spawn(process.execPath, [SERVER_JS], {
    env: { ...process.env, LUMVO_WALL_DIR: dir, LUMVO_WEB_DIR: path.join(dir, 'web'), LUMVO_PORT: '0', LUMVO_HOST: '127.0.0.1', LUMVO_READY_FD: '1' },
    stdio: ['ignore', 'pipe', full],
  });
  fs.closeSync(full);
  const exited = new Promise((resolve) => child.on('exit', (code) => resolve(code)));
  try {
    const port = await Promise.race([
      new Promise((resolve) => { child.stdout.on('data', (d) => { const m = /ready (\d+)/.exec(String(d)); if (m) resolve(Number(m[1])); }); }),
      exited.then((code) => assert.fail(`exited with ${code} before listening`)),
    ]);
    const booth = new Booth(`http://127.0.0.1:${port}`);
    // An album folder that cannot be made: every approved photo writes a line to the log.
    await booth.act('settings', { mediaDir: path.join(dir, 'secret.txt', 'album') });
    for (let i = 0; i < 70; i++) {
      const id = (await new Phone(booth.base).request('POST', '/api/guest/photo', { body: fakeJpeg(300) })).data.id;
      await booth.act('show', { id });
    }
    await new Promise((r) => setTimeout(r, 200));
    assert.equal(child.exitCode, null, 'still running');
    assert.equal((await booth.doc('state')).feed.length, 70);
  } finally {
    child.kill('SIGKILL');
    await exited;
    fs.rmSync(dir, { recursive: true, force: true });
  }
});
