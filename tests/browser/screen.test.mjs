// The wall on another screen of the venue (/screen), in Chromium at TV sizes: it follows the wall
// live (a post the booth approves, a poll's votes and its result), costs little to load, fetches
// nothing from elsewhere, and carries on after the wall server restarts. Its pictures are kept in
// test-output/screen/ for people to look at.

import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { useWall, wall, browser, newPhone, until, WEB_DIR } from './harness.mjs';
import { startServer, Booth, Phone } from '../../wall/server/test/helpers/server.js';

const SHOTS = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../../test-output/screen');
const TV = { viewport: { width: 1920, height: 1080 }, isMobile: false, hasTouch: false };

useWall(async () => {
  await wall.settings({ tipLinks: ['https://pay.example/dj', '', ''], brandUrl: 'https://www.club-aurora.example/', duration: 30 });
  for (const [name, text] of [['Ana', 'Happy birthday Jo! 🎂'], ['Ben', 'Play something to dance to'], ['Chloe', 'Greetings from table 7']]) {
    await wall.act('show', { id: await wall.guest('shoutout', { name, text }) });
  }
});

async function openScreen(size = TV) {
  const page = await newPhone(browser, size);
  await page.goto(`${wall.base}/screen`);
  await page.locator('#stage[data-connected="yes"]').waitFor();
  return page;
}

async function picture(page, name) {
  fs.mkdirSync(SHOTS, { recursive: true });
  await page.screenshot({ path: path.join(SHOTS, `${name}.png`) });
}

const feedTexts = (page) => page.locator('#feed .text').allTextContents();

// First, while the wall holds text posts alone: the page's own cost.
test('the first view of /screen is small, stays on the wall server and has the page headers', async (t) => {
  const page = await newPhone(browser, TV);
  const cdp = await page.context().newCDPSession(page);
  await cdp.send('Network.enable');
  let bytes = 0;
  cdp.on('Network.loadingFinished', (e) => { bytes += e.encodedDataLength; });
  const urls = [];
  page.on('request', (r) => urls.push(r.url()));
  const reply = await page.goto(`${wall.base}/screen`);
  await page.locator('#feed .text').first().waitFor();
  await page.waitForTimeout(500);
  t.diagnostic(`first view of /screen transferred ${bytes} bytes in ${urls.length} requests`);
  assert.ok(bytes > 20 * 1024, 'the measurement saw the page load');
  assert.ok(bytes < 150 * 1024, `first view transferred ${bytes} bytes, over 150 KB`);
  assert.deepEqual(urls.filter((u) => !u.startsWith(`${wall.base}/`)), [], 'no request leaves the wall server');
  const headers = reply.headers();
  assert.match(headers['content-security-policy'], /default-src 'self'/);
  assert.equal(headers['x-frame-options'], 'DENY');
  assert.equal(headers['x-content-type-options'], 'nosniff');
  assert.equal(headers['referrer-policy'], 'no-referrer');
  await page.context().close();
});

test('/screen shows a post as soon as the booth approves it, then a poll with its bars and winner', async () => {
  const page = await openScreen();
  const id = await wall.guest('shoutout', { name: 'Dev', text: 'This set is on fire' });
  await new Promise((r) => setTimeout(r, 600));
  assert.ok(!(await feedTexts(page)).includes('This set is on fire'), 'a post waiting for the DJ is not on the screen');

  const approved = Date.now();
  await wall.act('show', { id });
  await until(async () => (await feedTexts(page)).includes('This set is on fire'), 'the approved post reaches the screen', 3000);
  const delay = Date.now() - approved;
  assert.ok(delay < 1000, `the approved post took ${delay} ms to reach the screen`);
  // It is the last post of the feed, at the bottom; highlighted, the card lifts it into the hero box.
  assert.equal((await feedTexts(page)).at(-1), 'This set is on fire');
  await wall.act('highlight', { id });
  await wall.act('next');
  await until(() => page.locator('#card:not([hidden]) .text').textContent().then((t) => t === 'This set is on fire'), 'the approved post on the card');
  await page.waitForTimeout(1000);
  await picture(page, 'card-1920x1080');

  await wall.act('vote-start', { title: 'Encore or next song?', duration: 6, options: ['Encore', 'Next song', 'Both'] });
  const poll = page.locator('#poll:not([hidden])');
  await poll.getByText('Encore or next song?').waitFor();
  const options = (await new Booth(wall.base).get('/api/screen')).data.poll.options;
  const votes = [0, 0, 0, 1, 1, 2, 0];
  for (const i of votes) {
    const r = await new Phone(wall.base).post('/api/guest/vote', { option: options[i].id });
    assert.equal(r.status, 200, r.text);
  }
  const counts = () => page.locator('#poll .bar .count').allTextContents();
  await until(async () => JSON.stringify(await counts()) === '["4","2","1"]', 'the bars count the votes', 3000);
  await page.waitForTimeout(600);
  const widths = await page.locator('#poll .bar .fill').evaluateAll((els) => els.map((e) => e.getBoundingClientRect().width));
  assert.ok(widths[0] > widths[1] && widths[1] > widths[2] && widths[2] > 0, `bars grow with their votes: ${widths}`);
  await picture(page, 'poll-running-1920x1080');

  await poll.getByText('WINNER', { exact: true }).waitFor({ timeout: 10000 });
  await until(() => page.locator('#poll .bar.won .label').textContent().then((t) => t === 'Encore'), 'the winning bar stays');
  await page.waitForTimeout(800);
  await picture(page, 'poll-winner-1920x1080');
  assert.deepEqual(page.problems, []);
  await page.context().close();
});

test('/screen fits 1280 x 720 in a theme: the QR card and its captions, photos, a hot post, a poll picture', async () => {
  const markPng = fs.readFileSync(path.join(WEB_DIR, 'brand/lumvo-mark.png'));
  await wall.settings({ theme: 'wedding', hotNeed: 3 });
  const photo = await new Phone(wall.base).request('POST', '/api/guest/photo?name=Pia&text=Look%20at%20us', { body: markPng });
  assert.equal(photo.status, 200, photo.text);
  await wall.act('show', { id: photo.data.id });
  for (let i = 0; i < 3; i++) assert.equal((await new Phone(wall.base).post('/api/guest/react', { id: photo.data.id, emoji: '🔥' })).status, 200);
  await wall.act('vote-start', { title: 'Last dance?', duration: 120, options: ['Slow', 'Fast'], photo: `data:image/png;base64,${markPng.toString('base64')}` });
  const page = await openScreen({ ...TV, viewport: { width: 1280, height: 720 } });
  await until(() => page.locator('#stage').getAttribute('data-theme').then((t) => t === 'wedding'), 'the theme reaches the screen');
  const inside = await page.evaluate(() => ['#join', '.feed-box', '#poll'].map((s) => {
    const r = document.querySelector(s).getBoundingClientRect();
    return r.left >= 0 && r.top >= 0 && r.right <= innerWidth && r.bottom <= innerHeight && r.width > 100;
  }));
  assert.deepEqual(inside, [true, true, true], 'the join card, the feed and the poll are on the screen');
  // The guest's photo and the poll's picture come from the wall to a screen on the network.
  const shown = (sel) => page.locator(sel).evaluate((img) => img.complete && img.naturalWidth > 0);
  await until(() => shown(`#feed li[data-id="${photo.data.id}"] img.photo`), 'the photo in the feed');
  await until(() => shown('#poll .picture img'), "the poll's picture");
  assert.equal(await page.locator(`#feed li[data-id="${photo.data.id}"] .flames`).count(), 1, 'three fires set the post alight');
  assert.equal(await page.locator(`#feed li[data-id="${photo.data.id}"] .chip`).textContent(), '🔥 3');
  // The QR code holds the join address; the footer the brand's host.
  assert.match(await page.locator('#qr').getAttribute('aria-label'), /^QR code of http:\/\/192\.168\.1\.50:\d+$/);
  assert.equal(await page.locator('#brand').textContent(), 'club-aurora.example');
  const first = await page.locator('.caption-title').textContent();
  await until(async () => (await page.locator('.caption-title').textContent()) !== first, 'the caption moves on', 8000);
  await page.waitForTimeout(1500);
  await picture(page, 'wedding-1280x720');
  await wall.act('vote-stop');
  await wall.settings({ theme: 'club' });
  assert.deepEqual(page.problems, []);
  await page.context().close();
});

test('/screen carries on after the wall server restarts', async () => {
  // A wall of its own on a fixed port, so that the restarted one answers at the same address.
  const first = await startServer({ env: { LUMVO_WEB_DIR: WEB_DIR } });
  const { port, dir } = first;
  let second;
  try {
    const booth = new Booth(first.base);
    const guest = async (text) => (await new Phone(first.base).post('/api/guest/shoutout', { name: 'Eve', text })).data.id;
    await booth.act('show', { id: await guest('Before the restart') });
    const page = await newPhone(browser, TV);
    await page.goto(`${first.base}/screen`);
    await until(async () => (await feedTexts(page)).includes('Before the restart'), 'the first wall on the screen');
    await first.kill();
    await until(() => page.locator('#stage').getAttribute('data-connected').then((c) => c === 'no'), 'the screen sees the wall gone');
    second = await startServer({ dir, env: { LUMVO_WEB_DIR: WEB_DIR, LUMVO_PORT: String(port) } });
    const id = (await new Phone(second.base).post('/api/guest/shoutout', { name: 'Eve', text: 'After the restart' })).data.id;
    await new Booth(second.base).act('show', { id });
    await until(async () => (await feedTexts(page)).includes('After the restart'), 'the restarted wall on the screen', 8000);
    assert.ok((await feedTexts(page)).includes('Before the restart'), 'what the wall kept is still shown');
    await page.context().close();
  } finally {
    if (second) await second.stop(); else fs.rmSync(dir, { recursive: true, force: true });
  }
});
