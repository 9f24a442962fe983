// The moderator page's poll and booth post against a real wall server: what the DJ types is
// what the wall runs and shows, the wall's refusals are said beside the form with everything kept,
// on a 768-pixel tablet and a desk screen. Pictures of both forms land in test-output/mod/.

import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { useWall, wall, browser, newPhone, DESK, until, bigPhoto } from './harness.mjs';
import { Phone } from '../../wall/server/test/helpers/server.js';

const PICTURES = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../../test-output/mod');
const TABLET = { viewport: { width: 768, height: 1024 }, isMobile: false, hasTouch: true };

useWall();

async function picture(page, name) {
  fs.mkdirSync(PICTURES, { recursive: true });
  await page.screenshot({ path: path.join(PICTURES, `${name}.png`), fullPage: true });
}

async function openMod(options) {
  const page = await newPhone(browser, options);
  await page.goto(`${wall.base}/mod`);
  await page.locator('#conn', { hasText: 'Live' }).waitFor();
  return page;
}

// The time on the page's clock `seconds` from now, as the time field takes it.
const clockIn = (page, seconds) => page.evaluate((s) => {
  const t = new Date(Date.now() + s * 1000);
  return [t.getHours(), t.getMinutes(), t.getSeconds()].map((n) => String(n).padStart(2, '0')).join(':');
}, seconds);

const answers = (display) => display.voteBars.split('\n').map((line) => line.split('\t')[1]);

test('a poll run from /mod on a tablet: the wall runs what was typed, the bars follow the votes, Stop closes it', async () => {
  const page = await openMod(TABLET);
  const form = page.locator('#poll-form');
  const status = page.locator('#poll-status');
  await page.locator('#vote-panel > summary').click();
  await page.getByLabel('Title').fill('Last song of the night?');
  await page.getByLabel('Answer 1', { exact: true }).fill('Encore');
  await page.getByLabel('Answer 2', { exact: true }).fill('');
  await page.getByLabel('Answer 3 (optional)').fill('Something new');
  await page.getByLabel('Minutes').fill('2');
  await page.getByLabel('Seconds').fill('30');
  await page.getByLabel('Guests can vote more than once').check();
  await status.filter({ hasText: 'Guests can vote more than once.' }).waitFor();
  const { file } = await bigPhoto(page, 320, 240);
  await page.locator('#poll-picture').setInputFiles(file);
  await form.getByText('camera.jpg').waitFor();
  await page.getByRole('button', { name: 'Start vote' }).click();
  await status.filter({ hasText: 'Vote started.' }).waitFor();

  const d = await wall.display();
  assert.deepEqual([d.voteActive, d.voteClosed, d.voteTitle, answers(d), Math.round(d.voteDuration)],
    [true, false, 'Last song of the night?', ['Encore', 'Something new'], 150], 'the poll as typed, the empty answer left out');
  const served = await fetch(wall.base + d.votePhoto);
  assert.deepEqual(Buffer.from(await served.arrayBuffer()), fs.readFileSync(file), 'the picture is on the wall as chosen');

  // One phone votes twice: the switch reached the wall. The bars and the time left follow.
  const phone = new Phone(wall.base);
  const { options } = (await phone.get('/api/guest/config')).data.poll;
  for (let i = 0; i < 2; i++) assert.equal((await phone.post('/api/guest/vote', { option: options[0].id })).status, 200);
  await page.locator('.vote-bars li', { hasText: 'Encore: 2 votes (100 %)' }).waitFor();
  assert.match(await page.locator('.running .left').textContent(), /^2:[0-2]\d left$/);
  const sideways = await page.evaluate(() => document.documentElement.scrollWidth - document.documentElement.clientWidth);
  assert.ok(sideways <= 0, `/mod scrolls sideways by ${sideways} px at 768 px`);
  await picture(page, 'vote-running-768');

  await page.getByRole('button', { name: 'Stop vote' }).click();
  await status.filter({ hasText: 'Vote stopped.' }).waitFor();
  assert.equal((await wall.display()).voteClosed, true);

  // The shortest length the wall takes is 5 s; a shorter one is raised to it.
  await page.getByLabel('Minutes').fill('0');
  await page.getByLabel('Seconds').fill('3');
  await page.getByRole('button', { name: 'Start vote' }).click();
  await until(async () => Math.round((await wall.display()).voteDuration) === 5 && (await wall.display()).voteTitle, 'a 3-second length runs 5 s');

  // An end time on this PC's clock: the field starts at the time now.
  await page.getByRole('radio', { name: 'End at local time' }).check();
  const end = page.getByLabel('End time');
  const now = await clockIn(page, 0);
  assert.ok(Math.abs(Date.parse(`2000-01-01T${await end.inputValue()}`) - Date.parse(`2000-01-01T${now}`)) <= 2000, 'the end time starts at now');
  await end.fill(await clockIn(page, 600));
  await page.getByRole('button', { name: 'Start vote' }).click();
  await status.filter({ hasText: 'Vote started.' }).waitFor();
  const remain = (await wall.display()).voteRemain;
  assert.ok(remain > 590 && remain <= 600, `the vote ends in ten minutes (${remain} s left)`);
  assert.deepEqual(page.problems, []);
  await page.context().close();
});

test('the wall refusing a poll or a booth post: its sentence beside the form, everything typed kept', async () => {
  const page = await openMod(TABLET);
  const before = await wall.display();
  await page.locator('#vote-panel > summary').click();
  await page.getByLabel('Title').fill('Only one way?');
  await page.getByLabel('Answer 2', { exact: true }).fill('');
  await page.getByRole('button', { name: 'Start vote' }).click();
  const status = page.locator('#poll-status');
  await status.filter({ hasText: 'Give the vote two to four answers.' }).waitFor();
  assert.equal(await status.getAttribute('data-tone'), 'error');
  await page.getByRole('radio', { name: 'End at local time' }).check();
  await page.getByLabel('Answer 2', { exact: true }).fill('No');
  await page.getByLabel('End time').fill(await clockIn(page, -60));
  await page.getByRole('button', { name: 'Start vote' }).click();
  await status.filter({ hasText: 'That end time has already passed.' }).waitFor();
  assert.equal(await page.getByLabel('Title').inputValue(), 'Only one way?');
  assert.equal((await wall.display()).voteTitle, before.voteTitle, 'no poll started');

  // The booth: a photo the wall finds too large, something that is no picture, nothing to post.
  const posts = [];
  page.on('request', (r) => { if (r.url().endsWith('/api/booth-post')) posts.push(r.url()); });
  await page.locator('#booth-panel > summary').click();
  const bstatus = page.locator('#booth-status');
  await page.getByLabel('Message', { exact: true }).fill('Big screen, big picture');
  const huge = Buffer.alloc(200);
  Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0, 0, 0, 13, 0x49, 0x48, 0x44, 0x52]).copy(huge);
  huge.writeUInt32BE(30000, 16);
  huge.writeUInt32BE(30000, 20);
  huge.set([8, 6, 0, 0, 0], 24);
  await page.locator('#booth-photo').setInputFiles({ name: 'wide.png', mimeType: 'image/png', buffer: huge });
  await page.getByText('Photo: wide.png').waitFor();
  await page.getByRole('button', { name: 'Show on wall' }).click();
  await bstatus.filter({ hasText: 'That photo has too many pixels for the wall. Try a smaller copy.' }).waitFor();
  assert.equal(await page.getByLabel('Message', { exact: true }).inputValue(), 'Big screen, big picture');
  assert.equal(await page.getByText('Photo: wide.png').count(), 1, 'the photo stays chosen');
  assert.equal(posts.length, 1);

  await page.locator('#booth-photo').setInputFiles({ name: 'photo.jpg', mimeType: 'image/jpeg', buffer: Buffer.from('GIF89a'.padEnd(64, '.')) });
  await bstatus.filter({ hasText: 'Use a JPG, PNG, or WebP under 5 MB.' }).waitFor();
  assert.equal(await page.getByText('Photo: wide.png').count(), 1, 'the photo chosen before stays');
  await page.getByRole('button', { name: 'Clear photo' }).click();
  await page.getByLabel('Message', { exact: true }).fill(' \n  \n ');
  await page.getByRole('button', { name: 'Show on wall' }).click();
  await bstatus.filter({ hasText: 'Add a message or a photo.' }).waitFor();
  assert.equal(posts.length, 1, 'nothing was sent for these two');
  await picture(page, 'refusals-768');
  assert.deepEqual(page.problems.filter((p) => !/status of 4\d\d/.test(p)), []);
  await page.context().close();
});

test('a booth post with a photo from /mod goes straight onto the wall and into Live', async () => {
  const page = await openMod({ ...DESK, viewport: { width: 1366, height: 900 } });
  await page.locator('#vote-panel > summary').click();
  await page.locator('#booth-panel > summary').click();
  const { file } = await bigPhoto(page, 800, 600);
  await page.getByLabel('Name', { exact: true }).fill('DJ Sam');
  await page.getByLabel('Message', { exact: true }).fill('\n  Welcome to the party!\nDance floor is open  \n');
  await page.locator('#booth-photo').setInputFiles(file);
  await page.getByText('Photo: camera.jpg').waitFor();
  await picture(page, 'forms-1366');
  await page.getByRole('button', { name: 'Show on wall' }).click();
  await page.locator('#booth-status', { hasText: 'On the wall.' }).waitFor();

  const line = (await wall.display()).feedPacked.split('\n').map((l) => l.split('\t')).find((f) => f[2] === 'DJ Sam');
  assert.ok(line, 'the post is in the wall\'s feed');
  assert.equal(line[3], 'Welcome to the party! Dance floor is open');
  assert.match(line[4], /^\/uploads\/LUMVO_b_[^/]+\.jpg$/);
  assert.deepEqual(Buffer.from(await (await fetch(wall.base + line[4])).arrayBuffer()), fs.readFileSync(file), 'the photo as chosen');
  await page.getByRole('tab', { name: /^Live/ }).click();
  const row = page.locator('li.row', { hasText: 'Welcome to the party!' });
  await until(() => row.locator('.thumb img').evaluate((img) => img.complete && img.naturalWidth === 800), 'Live shows the post with its photo');
  assert.deepEqual([await page.getByLabel('Name', { exact: true }).inputValue(), await page.getByLabel('Message', { exact: true }).inputValue(), await page.locator('#booth-photo-name').textContent()],
    ['DJ Sam', '', 'No photo: the message goes up on its own.'], 'ready for the next post, the name kept');
  assert.deepEqual(page.problems, []);
  await page.context().close();
});
