// GET /api/report (the night's report as a page) and GET /api/report.zip (its photos and the
// same data as report.json). Booth only, like every /api/ path but the guests'.
//
// The album's thumbnails are kept in <wall>/thumbs/<post id>.jpg: made on a worker thread when
// the DJ shows a photo, so that the report only reads them. Those missing when a report is asked
// for (photos shown by an older version, a worker that failed) are made then, for at most
// THUMB_BUDGET_MS; the page shows the others without a picture (their photos are in the zip).

import fs from 'node:fs';
import path from 'node:path';
import { Worker } from 'node:worker_threads';
import { InputError } from './text.js';
import { nightReport, parseSince, NIGHT_MS } from './report.js';
import { reportPage } from './report-page.js';
import { ZipWriter } from './zip-stream.js';
import { ALBUM_FILE } from './images.js';

export const THUMB_SIDE = 240;
export const THUMB_BUDGET_MS = 1000;
// A background batch may take this long per photo before its worker is stopped.
const JOB_LIMIT_MS = 10000;
const THUMBS_WORKER = new URL('./thumbs-worker.js', import.meta.url);

// jobs: [{ src, dst }]; resolves when the worker is done or after `limitMs` (it is then stopped).
function runThumbs(jobs, limitMs) {
  if (jobs.length === 0) return Promise.resolve(0);
  return new Promise((resolve) => {
    const worker = new Worker(THUMBS_WORKER, { workerData: { jobs, side: THUMB_SIDE } });
    const timer = setTimeout(() => worker.terminate(), limitMs);
    worker.once('message', (n) => resolve(n));
    worker.once('error', () => resolve(0));
    worker.once('exit', () => { clearTimeout(timer); resolve(0); });
  });
}

export function reportThumbs(app) {
  const dir = path.join(app.wallDir, 'thumbs');
  const fileOf = (id) => path.join(dir, `${id}.jpg`);
  const jobOf = (id, photo) => ({ src: path.join(app.uploadsDir, photo.slice('/uploads/'.length)), dst: fileOf(id) });
  const safe = (id) => /^p_[A-Za-z0-9_-]{1,60}$/.test(id);
  // Photos shown while a worker is busy wait for the next one: one worker at a time, however
  // fast the DJ approves (a camera photo takes a few hundred milliseconds to decode).
  let queued = [];
  let running = null;
  const drain = () => {
    if (running || queued.length === 0) return;
    const jobs = queued;
    queued = [];
    running = fs.promises.mkdir(dir, { recursive: true })
      .then(() => runThumbs(jobs, JOB_LIMIT_MS * jobs.length))
      .catch((e) => app.log(`thumbnails not made: ${e.message}`))
      .finally(() => { running = null; drain(); });
  };
  return {
    dir,
    // A photo post the DJ has just shown.
    keep(post) {
      if (post?.type !== 'photo' || !post.photo.startsWith('/uploads/') || !safe(post.id)) return;
      queued.push(jobOf(post.id, post.photo));
      drain();
    },
    // A photo the DJ took off the wall leaves the report too.
    forget(id) {
      if (safe(id)) fs.rm(fileOf(id), { force: true }, () => {});
    },
    // The album's thumbnails by post id, making the missing ones first (within the budget).
    async load(album) {
      const have = new Set(fs.existsSync(dir) ? fs.readdirSync(dir) : []);
      const missing = album.filter((a) => a.file && safe(a.id) && !have.has(`${a.id}.jpg`));
      if (missing.length) {
        fs.mkdirSync(dir, { recursive: true });
        await runThumbs(missing.map((a) => jobOf(a.id, `/uploads/${a.file}`)), THUMB_BUDGET_MS);
      }
      const out = new Map();
      await Promise.all(album.filter((a) => safe(a.id)).map((a) => fs.promises.readFile(fileOf(a.id)).then((b) => out.set(a.id, b), () => {})));
      return out;
    },
  };
}

export function reportRoutes(app) {
  const window = (ctx) => {
    const until = app.wall.clock();
    const q = new URLSearchParams(ctx.url.search);
    const since = parseSince(q.get('since') ?? undefined);
    if (Number.isNaN(since)) throw new InputError('"since" is a time (like 2026-12-07T18:00) or milliseconds since 1970.', 'bad_since');
    return { since: Math.min(since ?? until - NIGHT_MS, until), until };
  };
  return {
    'GET /api/report': async (ctx) => {
      const report = nightReport(app.store, window(ctx));
      const html = reportPage(report, await app.thumbs.load(report.album));
      ctx.res.writeHead(200, {
        'Content-Type': 'text/html; charset=utf-8', 'Cache-Control': 'no-store', 'X-Content-Type-Options': 'nosniff',
        'Content-Security-Policy': "default-src 'none'; img-src data:; style-src 'unsafe-inline'", 'X-Frame-Options': 'DENY',
      });
      ctx.res.end(html);
    },
    'GET /api/report.zip': async (ctx) => {
      const report = nightReport(app.store, window(ctx));
      const { res } = ctx;
      const stamp = new Date(report.until).toISOString().slice(0, 10);
      res.writeHead(200, {
        'Content-Type': 'application/zip', 'Cache-Control': 'no-store', 'X-Content-Type-Options': 'nosniff',
        'Content-Disposition': `attachment; filename="lumvo-night-${stamp}.zip"`,
      });
      const write = (buf) => new Promise((resolve, reject) => {
        if (res.destroyed) return reject(new Error('the download was cancelled'));
        if (res.write(buf)) resolve(); else res.once('drain', resolve);
      });
      const zip = new ZipWriter(write, report.until);
      const photos = new Set();
      for (const a of report.album) {
        if (!ALBUM_FILE.test(a.file)) continue;
        const data = await fs.promises.readFile(path.join(app.uploadsDir, a.file)).catch(() => null);
        if (!data) continue;
        await zip.add(`photos/${a.file}`, data);
        photos.add(a.file);
      }
      const json = { ...report, album: report.album.map((a) => ({ ...a, file: photos.has(a.file) ? `photos/${a.file}` : '' })) };
      await zip.add('report.json', Buffer.from(`${JSON.stringify(json, null, 2)}\n`));
      await zip.end();
      res.end();
    },
  };
}
