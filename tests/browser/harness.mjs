// Shared set-up of the browser tests: a real wall server on a free loopback port with a temporary
// wall folder and the real web pages, Debian's Chromium driven by playwright-core, a loopback
// client for the DJ's side of the API, and phone-sized screenshots for people to look at.

import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const here = path.dirname(fileURLToPath(import.meta.url));
export const ROOT = path.resolve(here, '../..');
export const WEB_DIR = path.join(ROOT, 'wall/web');
const SERVER_JS = path.join(ROOT, 'wall/server/server.js');
export const SHOTS = path.join(ROOT, 'test-output/browser/screenshots');

export const PHONE = { viewport: { width: 390, height: 844 }, deviceScaleFactor: 1, isMobile: true, hasTouch: true };

export async function startWall({ env = {} } = {}) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumvo-browser-'));
  const child = spawn(process.execPath, [SERVER_JS, String(process.pid)], {
    env: {
      ...process.env, LUMVO_WALL_DIR: dir, LUMVO_WEB_DIR: WEB_DIR, LUMVO_PORT: '0', LUMVO_HOST: '127.0.0.1',
      LUMVO_READY_FD: '1', LUMVO_SYNC: 'NORMAL', ...env,
    },
    stdio: ['ignore', 'pipe', 'pipe'],
  });
  let stderr = '';
  child.stderr.on('data', (d) => { stderr += d; });
  const exited = new Promise((resolve) => child.on('exit', resolve));
  const port = await new Promise((resolve, reject) => {
    let out = '';
    child.stdout.on('data', (d) => {
      out += d;
      const m = /ready (\d+)/.exec(out);
      if (m) resolve(Number(m[1]));
    });
    exited.then((code) => reject(new Error(`wall server exited (${code}) before listening:\n${stderr}`)));
    setTimeout(() => reject(new Error(`wall server did not start in 15 s:\n${stderr}`)), 15000).unref();
  });
  const base = `http://127.0.0.1:${port}`;

  // The DJ's side: loopback requests as the plug-in makes them.
  async function dj(urlPath, body) {
    const init = body === undefined ? {} : { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(body) };
    const res = await fetch(base + urlPath, init);
    const text = await res.text();
    if (!res.ok) throw new Error(`${urlPath} answered ${res.status}: ${text}`);
    return text ? JSON.parse(text) : {};
  }

  return {
    base, port, dir, dj,
    state: () => dj('/api/state'),
    display: () => dj('/api/display'),
    settings: (s) => dj('/api/settings', s),
    stderr: () => stderr,
    async stop() {
      if (child.exitCode === null) {
        await fetch(`${base}/api/shutdown`, { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: '{}' }).catch(() => {});
        const t = setTimeout(() => child.kill('SIGKILL'), 3000);
        await exited;
        clearTimeout(t);
      }
      fs.rmSync(dir, { recursive: true, force: true });
    },
  };
}

// Playwright starts Chromium with a fresh temporary --user-data-dir of its own for every launch
// (it refuses one passed in the arguments), so no profile state carries over between runs.
export function launchBrowser() {
  return chromium.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: [
      '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
    ],
  });
}

// A new phone: its own cookies, so its own device id on the wall.
export async function newPhone(browser, options = {}) {
  const context = await browser.newContext({ ...PHONE, ...options });
  const page = await context.newPage();
  const problems = [];
  page.on('pageerror', (e) => problems.push(`page error: ${e.message}`));
  page.on('console', (m) => { if (m.type() === 'error') problems.push(`console: ${m.text()}`); });
  page.problems = problems;
  return page;
}

export async function shot(page, name) {
  fs.mkdirSync(SHOTS, { recursive: true });
  await page.screenshot({ path: path.join(SHOTS, `${name}.png`), fullPage: true });
}

// Waits until fn() returns a truthy value (polling), or fails with the message.
export async function until(fn, message, timeoutMs = 10000) {
  const end = Date.now() + timeoutMs;
  let last;
  while (Date.now() < end) {
    try {
      last = await fn();
      if (last) return last;
    } catch (e) {
      last = e;
    }
    await new Promise((r) => setTimeout(r, 100));
  }
  throw new Error(`${message} (last: ${last instanceof Error ? last.message : JSON.stringify(last)})`);
}

// Gets the guest past the name step.
export async function join(page, base, name, colorLabel) {
  await page.goto(`${base}/`);
  await page.getByLabel('Your name', { exact: true }).fill(name);
  if (colorLabel) await page.getByRole('radio', { name: colorLabel }).check();
  await page.getByRole('button', { name: "Let's go" }).click();
  await page.getByRole('tablist').waitFor();
}

// A camera-sized JPEG made in the browser (4000 × 3000 by default) of noise, so that it does not
// compress small, with an orange block in the middle.
export async function bigPhoto(page, file, width = 4000, height = 3000) {
  const b64 = await page.evaluate(async ([width, height]) => {
    const c = document.createElement('canvas');
    c.width = width;
    c.height = height;
    const ctx = c.getContext('2d');
    const img = ctx.createImageData(width, height);
    let s = 12345;
    for (let i = 0; i < img.data.length; i += 4) {
      s = (s * 1103515245 + 12345) >>> 0;
      img.data[i] = s & 255;
      img.data[i + 1] = (s >> 8) & 255;
      img.data[i + 2] = (s >> 16) & 255;
      img.data[i + 3] = 255;
    }
    ctx.putImageData(img, 0, 0);
    ctx.fillStyle = '#ff7a18';
    ctx.fillRect(width / 10, height / 10, width * 0.8, height * 0.8);
    const blob = await new Promise((r) => c.toBlob(r, 'image/jpeg', 0.92));
    const bytes = new Uint8Array(await blob.arrayBuffer());
    let bin = '';
    for (let i = 0; i < bytes.length; i += 0x8000) bin += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
    return btoa(bin);
  }, [width, height]);
  fs.writeFileSync(file, Buffer.from(b64, 'base64'));
  return fs.statSync(file).size;
}

// Width and height from a JPEG's start-of-frame marker.
export function jpegSize(buf) {
  let i = 2;
  while (i + 9 < buf.length) {
    if (buf[i] !== 0xff) return null;
    const marker = buf[i + 1];
    const len = buf.readUInt16BE(i + 2);
    if (marker >= 0xc0 && marker <= 0xcf && ![0xc4, 0xc8, 0xcc].includes(marker)) {
      return { height: buf.readUInt16BE(i + 5), width: buf.readUInt16BE(i + 7) };
    }
    i += 2 + len;
  }
  return null;
}
