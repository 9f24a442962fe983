// The night's report on a big night: a real wall server is given 2,000 guest shout-outs, 300
// guest photos (1600 × 1200 JPEGs, the guest page's largest) the DJ shows, 200 song requests,
// reactions and polls, all through its HTTP API; then GET /api/report and GET /api/report.zip are
// timed, several times each:
//   warm: the thumbnails were made as the DJ showed the photos (what a night does);
//   cold: the thumbnail folder deleted first (photos shown by an older version), the page makes
//         what it can within its budget and shows the others without a picture.
// Results go to test-output/bench/night-report.json with the machine.
//
//   .deps/node-linux/bin/node bench/night-report.mjs [--posts 2000] [--photos 300] [--runs 5]

import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { startServer, Phone, Booth } from '../wall/server/test/helpers/server.js';
import { encodeJpeg } from '../wall/server/src/picture.js';

const root = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');
const arg = (name, dflt) => {
  const i = process.argv.indexOf(`--${name}`);
  return i > 0 ? Number(process.argv[i + 1]) : dflt;
};
const POSTS = arg('posts', 2000);
const PHOTOS = arg('photos', 300);
const RUNS = arg('runs', 5);
const PHONES = 200;

const planeOf = (w, h, f) => ({ w, h, data: Uint8Array.from({ length: w * h }, (_, i) => f(i % w, Math.floor(i / w))) });
// A few different photos with detail in them, so that they are not tiny when encoded.
const photos = [0, 1, 2].map((k) => Buffer.from(encodeJpeg(
  planeOf(1600, 1200, (x, y) => (((x * (3 + k)) ^ (y * 5)) + ((x * y) >> 7)) & 255),
  planeOf(800, 600, (x, y) => (100 + ((x + y * k) & 63)) & 255), planeOf(800, 600, (x, y) => (140 + ((x * k - y) & 63)) & 255), 85)));

async function inBatches(n, size, fn) {
  for (let i = 0; i < n; i += size) await Promise.all(Array.from({ length: Math.min(size, n - i) }, (_, j) => fn(i + j)));
}

async function timed(url, runs) {
  const ms = [];
  let bytes = 0;
  for (let i = 0; i < runs; i++) {
    const t = performance.now();
    const res = await fetch(url);
    const body = Buffer.from(await res.arrayBuffer());
    ms.push(performance.now() - t);
    if (res.status !== 200) throw new Error(`${url} answered ${res.status}`);
    bytes = body.length;
  }
  ms.sort((a, b) => a - b);
  return { runs, medianMs: Math.round(ms[Math.floor(runs / 2)]), worstMs: Math.round(ms.at(-1)), bytes };
}

const srv = await startServer({ env: { LUMVO_RATE_LIMITS: 'off', LUMVO_UPLOADS_MAX_MB: '4096' } });
try {
  const booth = new Booth(srv.base);
  await booth.act('settings', { autoApprove: true, tipLinks: ['https://pay.example/dj', '', ''] });
  const phones = Array.from({ length: PHONES }, () => new Phone(srv.base));
  const t0 = performance.now();
  const live = [];
  await inBatches(POSTS, 50, async (i) => {
    const r = await phones[i % PHONES].post('/api/guest/shoutout', { name: `Guest ${i % PHONES}`, text: `Shout-out number ${i} for the birthday table!` });
    if (r.status !== 200) throw new Error(`shout-out ${i}: ${r.status} ${r.text}`);
    live.push(r.data.id);
  });
  await inBatches(200, 50, (i) => phones[(i * 7) % PHONES].post('/api/guest/request', { name: 'Req', text: `Song ${i % 120}` }));
  await inBatches(1000, 50, (i) => phones[i % PHONES].post('/api/guest/react', { id: live[i % live.length], emoji: '🔥' }));
  for (let p = 0; p < 3; p++) {
    await booth.act('vote-start', { title: `Poll ${p}`, duration: 600, options: ['Yes', 'No', 'Maybe'] });
    const option = (await booth.doc('display')).voteBars.split('\n').map((l) => l.split('\t')[0]);
    await inBatches(PHONES, 50, (i) => phones[i].post('/api/guest/vote', { option: option[i % 3] }));
    await booth.act('vote-stop', {});
    await booth.act('vote-stop', {});
  }
  const photoIds = [];
  await inBatches(PHOTOS, 10, async (i) => {
    const r = await phones[i % PHONES].request('POST', `/api/guest/photo?name=Snap${i}`, { body: photos[i % photos.length] });
    if (r.status !== 200) throw new Error(`photo ${i}: ${r.status} ${r.text}`);
    photoIds.push(r.data.id);
  });
  for (const id of photoIds) await booth.act('show', { id });
  const filled = performance.now() - t0;
  // The thumbnails made as the DJ showed the photos: wait for all of them.
  const thumbs = path.join(srv.dir, 'thumbs');
  const deadline = Date.now() + 300000;
  while ((fs.existsSync(thumbs) ? fs.readdirSync(thumbs).filter((f) => f.endsWith('.jpg')).length : 0) < PHOTOS && Date.now() < deadline) {
    await new Promise((r) => setTimeout(r, 250));
  }
  const ready = performance.now() - t0;

  const warm = await timed(`${srv.base}/api/report`, RUNS);
  const zip = await timed(`${srv.base}/api/report.zip`, Math.max(1, Math.floor(RUNS / 2)));
  fs.rmSync(thumbs, { recursive: true, force: true });
  const cold = await timed(`${srv.base}/api/report`, 1);
  const coldMade = fs.existsSync(thumbs) ? fs.readdirSync(thumbs).length : 0;
  const page = await (await fetch(`${srv.base}/api/report`)).text();

  const cpus = os.cpus();
  const machine = { cpu: cpus[0]?.model ?? 'unknown', cores: cpus.length, memoryGiB: Math.round(os.totalmem() / 2 ** 30), node: process.version, platform: `${os.type()} ${os.release()}`, load: os.loadavg().map((x) => Math.round(x * 10) / 10) };
  const result = {
    when: new Date().toISOString(), machine,
    night: { posts: POSTS, photos: PHOTOS, photoBytes: photos.map((p) => p.length), requests: 200, reactions: 1000, polls: 3, fillSeconds: Math.round(filled / 100) / 10, thumbnailsReadySeconds: Math.round(ready / 100) / 10 },
    report: { warm, cold: { ...cold, thumbnailsMade: coldMade }, zip },
    pageThumbnails: (page.match(/data:image\/jpeg/g) ?? []).length,
  };
  fs.mkdirSync(path.join(root, 'test-output/bench'), { recursive: true });
  fs.writeFileSync(path.join(root, 'test-output/bench/night-report.json'), `${JSON.stringify(result, null, 2)}\n`);
  console.log(`machine: ${machine.cpu}, ${machine.cores} cores, ${machine.memoryGiB} GiB, Node ${machine.node}, load ${machine.load.join(' ')}`);
  console.log(`night: ${POSTS} shout-outs, ${PHOTOS} photos (${photos.map((p) => Math.round(p.length / 1024)).join('/')} KB), 200 requests, 1000 reactions, 3 polls`);
  console.log(`GET /api/report, thumbnails made as the photos were shown: median ${warm.medianMs} ms, worst ${warm.worstMs} ms of ${warm.runs}, ${Math.round(warm.bytes / 1024)} KB`);
  console.log(`GET /api/report, no thumbnails yet: ${cold.medianMs} ms, ${coldMade} of ${PHOTOS} thumbnails made within the budget`);
  console.log(`GET /api/report.zip: median ${zip.medianMs} ms, ${Math.round(zip.bytes / 2 ** 20)} MB`);
  if (warm.worstMs >= 2000) process.exitCode = 1;
} finally {
  await srv.stop();
}
