// A night as the DJ runs it from the moderator page (/mod): song requests in their turns, the
// "Auto approve after" slider with a post vetoed and one going up by itself, and the night's
// report opened from its button.

import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useWall, wall, browser, newPhone, shot, until, join, DESK } from './harness.mjs';
import { Phone } from '../../wall/server/test/helpers/server.js';
import { encodeJpeg } from '../../wall/server/src/picture.js';

useWall();

const rowNames = (page) => page.locator('#rows li .name').allTextContents();

test('the moderator page shows requests in turns between the phones, and the auto approve delay with a veto', async () => {
  const mod = await newPhone(browser, DESK);
  await mod.goto(`${wall.base}/mod`);

  // Ann asks for three songs before Ben asks for one: Ben's comes second, not last.
  const ann = new Phone(wall.base);
  const ben = new Phone(wall.base);
  for (const song of ['First Song', 'Second Song', 'Third Song']) await ann.post('/api/guest/request', { name: 'Ann', text: song });
  await ben.post('/api/guest/request', { name: 'Ben', text: 'Bens Song' });
  await mod.getByRole('tab', { name: /Requests/ }).click();
  const songs = () => mod.locator('#rows li .text').allTextContents();
  await until(async () => (await songs()).length === 4, 'four requests listed');
  assert.deepEqual(await songs(), ['First Song', 'Bens Song', 'Second Song', 'Third Song']);
  assert.deepEqual(await rowNames(mod), ['Ann', 'Ben', 'Ann', 'Ann']);
  await shot(mod, 'night-01-requests-in-turns');

  // The slider: auto approve on, posts wait 5 s.
  await wall.settings({ autoApprove: true });
  await mod.getByRole('tab', { name: /Messages/ }).click();
  const slider = mod.getByLabel('Auto approve after');
  await slider.focus();
  await slider.press('ArrowRight'); // one step: 5 s
  await until(async () => (await wall.state()).autoApproveDelaySec === 5, 'the slider sets the delay on the wall');
  await mod.locator('#auto-delay-value').getByText('5 s').waitFor();
  assert.equal((await wall.display()).autoApproveDelaySec, 5, 'and the TV document carries it for the plug-in');

  const guest = await newPhone(browser);
  await join(guest, wall.base, 'Zoe');
  await guest.getByText('It goes up on the wall in 5 seconds.').waitFor();
  for (const text of ['Keep this one', 'Veto this one']) {
    await guest.getByLabel('Your message').fill(text);
    await guest.getByRole('button', { name: 'Send to the wall' }).click();
    await guest.getByText('Your shout-out sent!').waitFor();
  }
  const vetoRow = mod.locator('#rows li', { hasText: 'Veto this one' });
  await vetoRow.locator('.live-in').getByText(/in [2-5]s/).waitFor();
  const before = await mod.locator('#rows li', { hasText: 'Keep this one' }).locator('.live-in').textContent();
  await shot(mod, 'night-02-auto-approve-countdown');
  await vetoRow.getByRole('button', { name: 'Reject: Zoe', exact: true }).click();
  await until(async () => (await wall.state()).rejected.some((p) => p.text === 'Veto this one'), 'vetoed');
  await mod.waitForTimeout(1100);
  const after = await mod.locator('#rows li', { hasText: 'Keep this one' }).locator('.live-in').textContent();
  assert.notEqual(after, before, `the seconds count down on the page (${before} then ${after})`);

  await until(async () => (await wall.state()).feed.some((p) => p.text === 'Keep this one'), 'the kept post goes up by itself', 8000);
  await mod.locator('#rows li', { hasText: 'Keep this one' }).waitFor({ state: 'detached' });
  assert.equal((await wall.state()).feed.some((p) => p.text === 'Veto this one'), false, 'the vetoed post never goes up');

  await slider.press('Home');
  await until(async () => (await wall.state()).autoApproveDelaySec === 0, 'back to at once');
  await wall.settings({ autoApprove: false });
  assert.deepEqual(mod.problems, []);
  await guest.context().close();
  await mod.context().close();
});

test('the Night report button opens the night\'s report', async () => {
  const mod = await newPhone(browser, DESK);
  await mod.goto(`${wall.base}/mod`);
  await wall.guest('shoutout', { name: 'Kim', text: 'What a night' }).then((id) => wall.act('show', { id }));
  // A guest photo the DJ shows: a sunset of bands.
  const plane = (w, h, f) => ({ w, h, data: Uint8Array.from({ length: w * h }, (_, i) => f(i % w, Math.floor(i / w))) });
  const sunset = Buffer.from(encodeJpeg(plane(800, 600, (x, y) => 60 + ((y * 160) / 600)), plane(400, 300, () => 90),
    plane(400, 300, (x, y) => 150 + ((y * 90) / 300)), 85));
  const upload = await new Phone(wall.base).request('POST', '/api/guest/photo?name=Lia&text=Sunset%20set', { body: sunset });
  await wall.act('show', { id: upload.data.id });
  await shot(mod, 'night-03-mod-controls');
  const [report] = await Promise.all([mod.waitForEvent('popup'), mod.getByRole('link', { name: 'Night report' }).click()]);
  await report.getByRole('heading', { name: 'The night on the wall' }).waitFor();
  await report.getByText('What a night').waitFor();
  const thumb = report.getByRole('img', { name: 'Sunset set' });
  await thumb.waitFor();
  assert.ok(await thumb.evaluate((img) => img.complete && img.naturalWidth === 240), 'the album shows the photo as a thumbnail');
  const phones = await report.locator('.counts li', { hasText: 'Phones that joined in' }).locator('b').textContent();
  assert.ok(Number(phones) >= 3, `the phones of the night (${phones})`);
  await report.setViewportSize({ width: 1000, height: 800 });
  await shot(report, 'night-04-report');
  await mod.context().close();
});
