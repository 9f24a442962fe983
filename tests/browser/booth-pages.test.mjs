// The booth's browser pages against a real wall server: the moderator page (/mod) acting on
// guests' posts, and the look editor (/bg) making and applying a guest look.

import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import { useWall, wall, browser, newPhone, DESK, shot, until, join, bigPhoto } from './harness.mjs';
import { Phone } from '../../wall/server/test/helpers/server.js';

useWall();

// One evening at the booth on a laptop screen: every queue action reaches the wall, guest text
// stays text, the word filter's find is marked, photos show whole and the outcome stays in sight.
test('the moderator page on a laptop runs every queue action, updating live', async () => {
  const laptop = { width: 1366, height: 768 };
  const page = await newPhone(browser, { ...DESK, viewport: laptop });
  const { file } = await bigPhoto(page, 1200, 800);
  const upload = await new Phone(wall.base).request('POST', '/api/guest/photo?name=Pia&text=Look%20at%20us', { body: fs.readFileSync(file), headers: { 'Content-Type': 'image/jpeg' } });
  assert.equal(upload.status, 200, upload.text);
  const id = await wall.guest('shoutout', { name: 'Mia', text: 'Play something loud <script>x</script>' });
  // Even with auto approve on, a post the word filter flags waits, with the word marked.
  await wall.settings({ autoApprove: true });
  await wall.guest('shoutout', { name: 'Rex', text: 'this DJ is sh*t, play something else' });
  await wall.settings({ autoApprove: false });
  for (let i = 0; i < 12; i++) await wall.guest('shoutout', { name: `Guest ${i}`, text: `Message number ${i}` });
  await page.goto(`${wall.base}/mod`);
  const row = page.locator('li.row', { hasText: 'Play something loud' });
  await page.locator('li.row', { hasText: 'Message number 11' }).waitFor();
  assert.equal(await row.locator('.text').textContent(), 'Play something loud <script>x</script>');
  const flagged = page.locator('li.row', { hasText: 'this DJ is' });
  assert.equal(await flagged.getByText('Word filter: sh*t').count(), 1, 'the row says why it waits');
  assert.deepEqual(await flagged.locator('.text mark').allTextContents(), ['sh*t'], 'the word is marked in the text');
  const inView = await page.locator('li.row').evaluateAll((rows, h) => rows.filter((r) => r.getBoundingClientRect().bottom <= h).length, laptop.height);
  assert.ok(inView >= 7, `${inView} rows fit on a laptop screen`);
  const img = await page.locator('li.row', { hasText: 'Look at us' }).locator('.thumb img').evaluate((i) => ({
    width: i.getBoundingClientRect().width, height: i.getBoundingClientRect().height, ratio: i.naturalWidth / i.naturalHeight,
  }));
  assert.ok(img.width >= 150, `the thumbnail is larger (${img.width} px wide)`);
  assert.ok(Math.abs(img.width / img.height - img.ratio) < 0.02, 'the whole photo shows, not a cropped square');
  await shot(page, 'mod-01-messages');

  await row.getByRole('button', { name: 'Approve & show: Mia' }).click();
  const after = await until(async () => {
    const d = await wall.display();
    return d.featuredId === id && d;
  }, 'the approved post goes on the big card');
  assert.equal(after.text, 'Play something loud <script>x</script>');
  await row.waitFor({ state: 'detached' });
  // The outcome of an action on the first row shows at the top, not below the long list.
  await page.locator('li.row', { hasText: 'Message number 0' }).getByRole('button', { name: 'Reject: Guest 0' }).click();
  await page.locator('#status', { hasText: 'Rejected.' }).waitFor();
  const status = await page.locator('#status').boundingBox();
  assert.ok(status.y >= 0 && status.y + status.height <= laptop.height, `the status line is on screen (at ${status.y})`);

  // New posts appear without a reload; Played and Refuse toggle the mark.
  await wall.guest('request', { name: 'Leo', text: 'Toxic - Britney Spears' });
  await wall.guest('request', { name: 'Zoe', text: 'Toxic - Britney Spears' });
  await page.getByRole('tab', { name: 'Requests (1)' }).click();
  const request = page.locator('li.row', { hasText: 'Toxic' });
  await request.getByText('×2').waitFor();
  for (const [button, tag] of [[/^Played/, 'PLAYED'], [/^Refuse/, 'REFUSE'], [/^Refuse/, 'REQUEST']]) {
    await request.getByRole('button', { name: button }).click();
    await request.locator('.tag', { hasText: tag }).waitFor();
  }
  assert.equal((await wall.state()).requests[0].mark, '');
  await shot(page, 'mod-02-requests');
  // Block on the merged request names and blocks the phone the row shows; the song stays for Leo.
  page.once('dialog', (d) => {
    assert.match(d.message(), /^Block Zoe from sending/);
    d.accept();
  });
  await request.getByRole('button', { name: 'Block: Zoe' }).click();
  await request.getByRole('button', { name: 'Block: Leo' }).waitFor();
  assert.deepEqual((await wall.state()).blocked.map((b) => b.name), ['Zoe']);
  await request.getByRole('button', { name: /^Clear/ }).click();
  await request.waitFor({ state: 'detached' });

  // Block from the rejected list, unblock all, restore.
  await page.getByRole('tab', { name: 'Rejected (1)' }).click();
  const rejected = page.locator('li.row', { hasText: 'Message number 0' });
  page.once('dialog', (d) => d.accept());
  await rejected.getByRole('button', { name: 'Block: Guest 0', exact: true }).click();
  await page.getByRole('tab', { name: 'Blocked (2)' }).click();
  await page.getByText('This phone cannot send until you unblock it.').first().waitFor();
  await shot(page, 'mod-03-blocked');
  page.once('dialog', (d) => d.accept());
  await page.getByRole('button', { name: 'Unblock all' }).click();
  await page.getByRole('tab', { name: 'Blocked (0)' }).waitFor();
  await page.getByRole('tab', { name: /Rejected/ }).click();
  await rejected.getByRole('button', { name: 'Restore: Guest 0' }).click();
  await until(async () => (await wall.state()).pending.some((p) => p.name === 'Guest 0'), 'a restored post waits again');

  // A vote result is on the wall from no phone: no Block on its row. Skip and Clear chat.
  await wall.act('vote-start', { title: 'Encore?', duration: 60, options: ['Yes', 'No'] });
  await wall.act('vote-stop');
  await page.getByRole('tab', { name: /Live/ }).click();
  const result = page.locator('li.row', { hasText: 'Encore?' });
  await result.waitFor();
  assert.deepEqual(await result.getByRole('button').allTextContents(), ['Show again', 'Remove']);
  assert.equal(await page.locator('li.row', { hasText: 'Play something loud' }).getByRole('button', { name: 'Block: Mia' }).count(), 1);
  await wall.act('show', { id });
  await until(async () => (await wall.display()).featuredId === id, 'the post is featured');
  await page.getByRole('button', { name: 'Skip' }).click();
  await until(async () => (await wall.display()).featuredId === '', 'Skip takes the big card down');
  await page.getByRole('button', { name: 'Clear chat' }).click();
  await page.getByRole('dialog').getByRole('button', { name: 'Yes' }).click();
  await until(async () => (await wall.display()).feedPacked === '', 'Clear chat empties the feed');
  for (const p of (await wall.state()).pending) await wall.act('drop', { id: p.id });
  assert.deepEqual(page.problems, []);
  await page.context().close();
});

// A phone that floods the queue goes in one click from any of its rows; the network's button
// needs a phone on the network (from this PC it says so).
test('the moderator page rejects everything a phone has waiting at once', async () => {
  const page = await newPhone(browser, { ...DESK, viewport: { width: 1366, height: 768 } });
  const flood = new Phone(wall.base);
  for (let i = 0; i < 4; i++) assert.equal((await flood.post('/api/guest/shoutout', { name: 'Flo', text: `flood ${i}` })).status, 200);
  await wall.guest('shoutout', { name: 'Ada', text: 'a real message' });
  await page.goto(`${wall.base}/mod`);
  const row = page.locator('li.row', { hasText: 'flood 2' });
  await row.waitFor();
  page.once('dialog', (d) => {
    assert.match(d.message(), /^Reject every post waiting from Flo's phone\?/);
    d.accept();
  });
  await row.getByRole('button', { name: 'Reject all from phone: Flo' }).click();
  await page.locator('#status', { hasText: 'Rejected 4 posts.' }).waitFor();
  await page.locator('li.row', { hasText: 'flood' }).first().waitFor({ state: 'detached' });
  assert.deepEqual((await wall.state()).pending.map((p) => p.text), ['a real message']);
  page.once('dialog', (d) => d.accept());
  await page.locator('li.row', { hasText: 'a real message' }).getByRole('button', { name: 'Reject all from network: Ada' }).click();
  await page.locator('#status', { hasText: 'came from no phone on the network' }).waitFor();
  assert.deepEqual(page.problems.filter((p) => !/409/.test(p)), []);
  await page.context().close();
});

test('the look editor makes, previews and applies a look that phones then show over the wall theme', async () => {
  const page = await newPhone(browser, DESK);
  await page.goto(`${wall.base}/bg`);
  await page.getByText('Lumvo Theme', { exact: true }).waitFor();
  await page.getByLabel('Name').fill('Neon night');
  await page.getByRole('radio', { name: 'Gradient' }).check();
  await page.getByLabel('Colour 1').fill('#ff00aa');
  await page.getByLabel('Colour 2').fill('#220044');
  await page.getByLabel(/Direction/).fill('45');
  const preview = await page.evaluate(() => getComputedStyle(document.getElementById('phone')).backgroundImage);
  assert.match(preview, /linear-gradient\(45deg, rgb\(255, 0, 170\), rgb\(34, 0, 68\)\)/, 'the preview follows the form');
  await shot(page, 'looks-01-editor');
  await page.getByRole('button', { name: 'Save and put on phones' }).click();
  await page.getByText('Neon night is saved and on phones now.').waitFor();

  const { active, looks } = await wall.looks();
  const neon = looks.find((l) => l.name === 'Neon night');
  assert.deepEqual([neon?.id, neon?.colors, neon?.angle], [active, ['#ff00aa', '#220044'], 45], 'saved as made, and active');

  await wall.settings({ theme: 'wedding' });
  const phone = await newPhone(browser);
  await join(phone, wall.base, 'Nia');
  await until(() => phone.evaluate(() => document.documentElement.dataset.theme === 'wedding'
    && /255, 0, 170/.test(getComputedStyle(document.body).backgroundImage)), 'the phone shows the wall theme and the new look');
  await shot(phone, 'looks-02-phone-with-neon');

  // A picture look: the picture is made smaller before it is saved, and served to phones.
  const { file } = await bigPhoto(page, 2400, 1600);
  await page.getByRole('button', { name: 'New look' }).click();
  await page.getByLabel('Name').fill('Dance floor');
  await page.getByRole('radio', { name: 'Picture' }).check();
  await page.locator('#look-picture').setInputFiles(file);
  await page.getByText(/Picture ready: 1920 × 1280/).waitFor({ timeout: 15000 });
  await page.getByRole('button', { name: 'Save look' }).click();
  await page.getByText('Dance floor is saved.').waitFor();
  const floor = (await wall.looks()).looks.find((l) => l.name === 'Dance floor');
  assert.match(floor.picture, /^\/looks\/[^/]+\.jpg$/);
  const served = await fetch(wall.base + floor.picture);
  assert.equal(served.status, 200);
  assert.equal(served.headers.get('content-type'), 'image/jpeg');

  // Deleting the look that is on phones (what that does on the wall is the server's test).
  page.once('dialog', (d) => d.accept());
  await page.getByRole('button', { name: 'Delete Neon night' }).click();
  await page.getByText('Neon night deleted.').waitFor();
  assert.equal((await wall.looks()).looks.some((l) => l.name === 'Neon night'), false);
  assert.deepEqual(page.problems, []);
  await phone.context().close();
  await page.context().close();
});
