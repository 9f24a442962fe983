// Shared set-up of the browser tests: a real wall server (started as the server tests start it)
// serving the real web pages, Debian's Chromium driven by playwright-core, and phone-sized
// screenshots for people to look at.

import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { before, after } from 'node:test';
import { chromium } from 'playwright-core';
import { startServer, Booth, Phone } from '../../wall/server/test/helpers/server.js';

const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');
export const WEB_DIR = path.join(ROOT, 'wall/web');
const SHOTS = path.join(ROOT, 'test-output/browser/screenshots');

// The wall server; it exits if this test process dies. act() and the documents are the booth's
// loopback side; guest() posts as a new phone and expects success.
async function startWall() {
  const srv = await startServer({ args: [String(process.pid)], env: { LUMVO_WEB_DIR: WEB_DIR } });
  const booth = new Booth(srv.base);
  return {
    ...srv,
    act: (name, body) => booth.act(name, body),
    settings: (s) => booth.act('settings', s),
    state: () => booth.doc('state'),
    display: () => booth.doc('display'),
    looks: () => booth.doc('guest-bg-looks'),
    async guest(kind, body) {
      const r = await new Phone(srv.base).post(`/api/guest/${kind}`, body);
      if (r.status !== 200) throw new Error(`${kind} answered ${r.status}: ${r.text}`);
      return r.data.id;
    },
  };
}

// The wall server and the browser of the test file that calls useWall(), there once its tests run.
export let wall;
export let browser;
export function useWall(prepare = async () => {}) {
  before(async () => {
    wall = await startWall();
    browser = await launchBrowser();
    await prepare(wall);
  });
  after(async () => {
    await browser?.close();
    await wall?.stop();
  });
}

// Playwright starts Chromium with a fresh temporary --user-data-dir of its own for every launch
// (it refuses one passed in the arguments), so no profile state carries over between runs.
function launchBrowser() {
  return chromium.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: [
      '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
    ],
  });
}

export const DESK = { viewport: { width: 1200, height: 900 }, isMobile: false, hasTouch: false };

// A new phone (or, with DESK, a desk browser): its own cookies, so its own device id on the wall.
// page.problems collects script errors and console errors.
export async function newPhone(browser, options = {}) {
  const context = await browser.newContext({ viewport: { width: 390, height: 844 }, deviceScaleFactor: 1, isMobile: true, hasTouch: true, ...options });
  const page = await context.newPage();
  page.problems = [];
  page.on('pageerror', (e) => page.problems.push(`page error: ${e.message}`));
  page.on('console', (m) => { if (m.type() === 'error') page.problems.push(`console: ${m.text()}`); });
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

// A camera-sized JPEG made in the browser of noise, so that it does not compress small, with an
// orange block in the middle. Written to a temporary file; returns its path and size.
export async function bigPhoto(page, width, height) {
  const b64 = await page.evaluate(async ([width, height]) => {
    const c = document.createElement('canvas');
    c.width = width;
    c.height = height;
    const ctx = c.getContext('2d');
    const img = ctx.createImageData(width, height);
    let s = 12345;
    for (let i = 0; i < img.data.length; i += 4) {
      s = (s * 1103515245 + 12345) >>> 0;
      img.data.set([s & 255, (s >> 8) & 255, (s >> 16) & 255, 255], i);
    }
    ctx.putImageData(img, 0, 0);
    ctx.fillStyle = '#ff7a18';
    ctx.fillRect(width / 10, height / 10, width * 0.8, height * 0.8);
    const bytes = new Uint8Array(await (await new Promise((r) => c.toBlob(r, 'image/jpeg', 0.92))).arrayBuffer());
    let bin = '';
    for (let i = 0; i < bytes.length; i += 0x8000) bin += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
    return btoa(bin);
  }, [width, height]);
  fs.mkdirSync(path.join(ROOT, 'test-output/browser'), { recursive: true });
  const file = path.join(fs.mkdtempSync(path.join(ROOT, 'test-output/browser/photo-')), 'camera.jpg');
  fs.writeFileSync(file, Buffer.from(b64, 'base64'));
  return { file, bytes: fs.statSync(file).size };
}

// Width and height from a JPEG's start-of-frame marker.
export function jpegSize(buf) {
  for (let i = 2; i + 9 < buf.length && buf[i] === 0xff; i += 2 + buf.readUInt16BE(i + 2)) {
    const marker = buf[i + 1];
    if (marker >= 0xc0 && marker <= 0xcf && ![0xc4, 0xc8, 0xcc].includes(marker)) {
      return { height: buf.readUInt16BE(i + 5), width: buf.readUInt16BE(i + 7) };
    }
  }
  return null;
}
