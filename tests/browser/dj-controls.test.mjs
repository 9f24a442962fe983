// What the DJ and the venue decide, as the guest's phone shows it: a type switched off while the
// page is open, a blocked phone, the venue manager's login and announcement, and the wall's theme.

import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { startWall, launchBrowser, newPhone, shot, until, join } from './harness.mjs';

let wall;
let browser;

before(async () => {
  wall = await startWall();
  browser = await launchBrowser();
});

after(async () => {
  await browser?.close();
  await wall?.stop();
});

test('a type the DJ turns off disappears from an open page and comes back with its draft', async () => {
  const page = await newPhone(browser);
  await join(page, wall.base, 'Ana');
  await page.getByRole('tab', { name: /Photo/ }).waitFor();
  await page.getByRole('tab', { name: /Request/ }).click();
  await page.getByLabel('Song').fill('Dancing Queen');

  await wall.settings({ allowRequests: false, allowPhotos: false });
  await page.getByRole('tab', { name: /Request/ }).waitFor({ state: 'hidden', timeout: 12000 });
  assert.equal(await page.getByRole('tab', { name: /Photo/ }).isHidden(), true);
  assert.equal(await page.getByRole('tab', { name: /Shout-out/ }).getAttribute('aria-selected'), 'true', 'the page moves to a type that is still on');
  assert.equal(await page.locator('#panel-request').isHidden(), true);
  await shot(page, 'controls-01-requests-off');

  await wall.settings({ allowRequests: true, allowPhotos: true });
  await page.getByRole('tab', { name: /Request/ }).waitFor({ timeout: 12000 });
  await page.getByRole('tab', { name: /Request/ }).click();
  assert.equal(await page.getByLabel('Song').inputValue(), 'Dancing Queen', 'the half-typed request is still there');
  await page.context().close();
});

test('a send refused because the type was just switched off says so and keeps the text', async () => {
  const page = await newPhone(browser);
  await join(page, wall.base, 'Ben');
  await page.getByLabel('Your message').fill('Still here?');
  await wall.settings({ allowMessages: false });
  // Send before the page's next look at the switches.
  await page.getByRole('button', { name: 'Send to the wall' }).click();
  await page.getByText(/Shout-outs were just turned off by the DJ/).waitFor();
  await page.getByRole('tab', { name: /Shout-out/ }).waitFor({ state: 'hidden' });
  await wall.settings({ allowMessages: true });
  await page.getByRole('tab', { name: /Shout-out/ }).waitFor({ timeout: 12000 });
  await page.getByRole('tab', { name: /Shout-out/ }).click();
  assert.equal(await page.getByLabel('Your message').inputValue(), 'Still here?');
  await page.context().close();
});

test('a blocked phone is told kindly and cannot send; other phones can', async () => {
  const page = await newPhone(browser);
  await join(page, wall.base, 'Troll');
  await page.getByLabel('Your message').fill('spam spam');
  await page.getByRole('button', { name: 'Send to the wall' }).click();
  await page.getByText('Your shout-out sent!').waitFor();
  const post = (await wall.state()).pending.find((p) => p.name === 'Troll');
  await wall.dj('/api/block', { id: post.id });

  await page.getByText(/paused sending from this phone/).waitFor({ timeout: 12000 });
  assert.equal(await page.getByRole('button', { name: 'Send to the wall' }).isDisabled(), true);
  await page.reload();
  await page.getByText(/paused sending from this phone/).waitFor();
  assert.equal(await page.getByRole('button', { name: 'Send to the wall' }).isDisabled(), true, 'still blocked after a reload');
  await shot(page, 'controls-02-blocked');

  const other = await newPhone(browser);
  await join(other, wall.base, 'Friend');
  assert.equal(await other.getByText(/paused sending/).count(), 0);
  assert.equal(await other.getByRole('button', { name: 'Send to the wall' }).isEnabled(), true);
  await other.context().close();

  await wall.dj('/api/unblock', { all: true });
  await page.getByRole('button', { name: 'Send to the wall' }).waitFor({ state: 'visible' });
  await until(() => page.getByRole('button', { name: 'Send to the wall' }).isEnabled(), 'unblocking lets the phone send again', 12000);
  await page.context().close();
});

test('the venue manager logs in with the PIN and posts an announcement', async () => {
  const page = await newPhone(browser);
  await join(page, wall.base, 'Manager');
  await page.getByRole('button', { name: 'Venue login' }).click();
  await page.getByLabel('Venue PIN').fill('ZZZZZ');
  await page.getByRole('button', { name: 'Log in' }).click();
  await page.getByText(/That PIN is not right/).waitFor();
  await shot(page, 'venue-01-wrong-pin');

  const { venuePin } = await wall.state();
  assert.equal(venuePin.length, 5);
  await page.getByLabel('Venue PIN').fill(venuePin.toLowerCase());
  await page.getByRole('button', { name: 'Log in' }).click();
  await page.getByRole('tab', { name: /Venue/ }).waitFor();
  assert.equal(await page.getByRole('tab', { name: /Venue/ }).getAttribute('aria-selected'), 'true');
  assert.equal(await page.getByRole('button', { name: 'Venue login' }).isHidden(), true);

  await page.getByLabel('Shown as').fill('The Bar');
  await page.getByLabel('Announcement').fill('Last orders in 15 minutes!');
  await page.getByRole('button', { name: 'Post announcement' }).click();
  await page.getByText(/Posted!/).waitFor();
  await shot(page, 'venue-02-announcement');
  const display = await wall.display();
  assert.equal(display.type, 'venue');
  assert.equal(display.text, 'Last orders in 15 minutes!');
  assert.equal(display.name, 'The Bar');

  await page.getByRole('button', { name: 'Log out of venue' }).click();
  await page.getByRole('tab', { name: /Venue/ }).waitFor({ state: 'hidden' });
  await page.context().close();
});

test('the wall theme and the active guest look style the page', async () => {
  await wall.settings({ theme: 'wedding' });
  const { id } = await wall.dj('/api/guest-bg-looks', { save: { name: 'Sunset', kind: 'gradient', colors: ['#ff5500', '#330066'], angle: 90 } });
  await wall.dj('/api/guest-bg-looks', { apply: id });
  const page = await newPhone(browser);
  await join(page, wall.base, 'Cleo');
  await until(async () => (await page.evaluate(() => document.documentElement.dataset.theme)) === 'wedding', 'the wedding theme is applied');
  const bg = await page.evaluate(() => getComputedStyle(document.body).backgroundImage);
  assert.match(bg, /linear-gradient\(90deg, rgb\(255, 85, 0\), rgb\(51, 0, 102\)\)/);
  const heading = await page.evaluate(() => getComputedStyle(document.querySelector('h2')).fontFamily);
  assert.match(heading, /Palatino/);
  await shot(page, 'theme-01-wedding-sunset');
  await wall.dj('/api/guest-bg-looks', { apply: 'lumvo' });
  await wall.settings({ theme: 'club' });
  await page.context().close();
});
