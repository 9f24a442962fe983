// What the DJ and the venue decide, as the guest's phone shows it: a type switched off while the
// page is open, a blocked phone, the venue manager's login and announcement.

import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useWall, wall, browser, newPhone, shot, until, join } from './harness.mjs';

useWall();

test('a type the DJ turns off leaves an open page, a send it just refused says so, drafts come back; the page follows auto approve', async () => {
  const page = await newPhone(browser);
  await join(page, wall.base, 'Ana');
  await page.getByRole('tab', { name: /Request/ }).click();
  await page.getByLabel('Song').fill('Dancing Queen');
  await page.getByRole('tab', { name: /Shout-out/ }).click();
  await page.getByLabel('Your message').fill('Still here?');

  // Sent before the page's next look at the switches: the refusal says why and the tab goes.
  await wall.settings({ allowMessages: false });
  await page.getByRole('button', { name: 'Send to the wall' }).click();
  await page.getByText(/Shout-outs were just turned off by the DJ/).waitFor();
  await page.getByRole('tab', { name: /Shout-out/ }).waitFor({ state: 'hidden' });

  // Switched off while open: the page moves to a type that is still on, with its draft.
  await page.getByRole('tab', { name: /Request/ }).click();
  await wall.settings({ allowMessages: true, allowRequests: false, allowPhotos: false });
  await page.getByRole('tab', { name: /Request/ }).waitFor({ state: 'hidden', timeout: 12000 });
  assert.equal(await page.getByRole('tab', { name: /Photo/ }).isHidden(), true);
  assert.equal(await page.getByRole('tab', { name: /Shout-out/ }).getAttribute('aria-selected'), 'true');
  assert.equal(await page.locator('#panel-request').isHidden(), true);
  assert.equal(await page.getByLabel('Your message').inputValue(), 'Still here?');
  await shot(page, 'controls-01-requests-off');

  await wall.settings({ allowRequests: true, allowPhotos: true });
  await page.getByRole('tab', { name: /Request/ }).click({ timeout: 12000 });
  assert.equal(await page.getByLabel('Song').inputValue(), 'Dancing Queen', 'the half-typed request is still there');

  // The page says whether the DJ checks shout-outs first.
  await page.getByRole('tab', { name: /Shout-out/ }).click();
  await page.getByText('The DJ checks it before it goes up.').waitFor();
  await wall.settings({ autoApprove: true });
  await page.getByText('It goes straight up on the wall.').waitFor({ timeout: 12000 });
  await page.getByRole('button', { name: 'Send to the wall' }).click();
  await page.getByText('Your shout-out is on the wall now!').waitFor();
  await wall.settings({ autoApprove: false });
  await page.context().close();
});

// That a block holds only that phone is proven on the server.
test('a blocked phone is told kindly and cannot send until unblocked', async () => {
  const page = await newPhone(browser);
  await join(page, wall.base, 'Troll');
  await page.getByLabel('Your message').fill('spam spam');
  await page.getByRole('button', { name: 'Send to the wall' }).click();
  await page.getByText('Your shout-out sent!').waitFor();
  const post = (await wall.state()).pending.find((p) => p.name === 'Troll');
  await wall.act('block', { id: post.id });

  await page.getByText(/paused sending from this phone/).waitFor({ timeout: 12000 });
  assert.equal(await page.getByRole('button', { name: 'Send to the wall' }).isDisabled(), true);
  await page.reload();
  await page.getByText(/paused sending from this phone/).waitFor();
  assert.equal(await page.getByRole('button', { name: 'Send to the wall' }).isDisabled(), true, 'still blocked after a reload');
  await shot(page, 'controls-02-blocked');

  await wall.act('unblock', { all: true });
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

  await page.getByLabel('Venue PIN').fill((await wall.state()).venuePin);
  await page.getByRole('button', { name: 'Log in' }).click();
  await page.getByRole('tab', { name: /Venue/ }).waitFor();
  assert.equal(await page.getByRole('tab', { name: /Venue/ }).getAttribute('aria-selected'), 'true');

  await page.getByLabel('Shown as').fill('The Bar');
  await page.getByLabel('Announcement').fill('Last orders in 15 minutes!');
  await page.getByRole('button', { name: 'Post announcement' }).click();
  await page.getByText(/Posted!/).waitFor();
  await shot(page, 'venue-02-announcement');
  const display = await wall.display();
  assert.deepEqual([display.type, display.name, display.text], ['venue', 'The Bar', 'Last orders in 15 minutes!']);

  await page.getByRole('button', { name: 'Log out of venue' }).click();
  await page.getByRole('tab', { name: /Venue/ }).waitFor({ state: 'hidden' });
  await page.context().close();
});
