// The guest page, the moderator page and the look editor checked by the axe-core engine (WCAG 2.1
// A and AA and best practice) at a small phone, a phone and a laptop, in every state a guest or
// the booth reaches; and the venue screen's page at TV sizes.

import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { createRequire } from 'node:module';
import { useWall, wall, browser, newPhone, DESK, shot, until, join } from './harness.mjs';

// Evaluated, not added as a script: the pages' content security policy forbids inline scripts.
const AXE = fs.readFileSync(path.join(path.dirname(createRequire(import.meta.url).resolve('axe-core')), 'axe.min.js'), 'utf8');
const WIDTHS = [320, 390, 1366];

useWall(async () => {
  await wall.settings({ tipLinks: [`${wall.base}/pay/paypal`, '', ''], showTipsOnWall: true, allowAllEmojis: true });
  await wall.act('show', { id: await wall.guest('shoutout', { name: 'Maximilian', text: 'Happy birthday Anna!' }) });
  await wall.guest('shoutout', { name: 'Rex', text: 'Waiting for the DJ' });
  await wall.guest('request', { name: 'Leo', text: 'Toxic - Britney Spears' });
  await wall.act('vote-start', { title: 'Encore?', duration: 600, options: ['Yes', 'No'] });
});

// axe's findings on the page as it is now: "rule (impact): where" for every serious or critical
// violation, and the ids of all of them. The check of a control's name against its visible words
// is off by default in axe 4; it is switched on here.
async function audit(page) {
  if (!(await page.evaluate(() => 'axe' in window))) await page.evaluate(AXE);
  const violations = await page.evaluate(async () => (await window.axe.run(document, {
    runOnly: { type: 'tag', values: ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa', 'best-practice'] },
    rules: { 'label-content-name-mismatch': { enabled: true } },
  })).violations.map((v) => ({ id: v.id, impact: v.impact, where: v.nodes.slice(0, 3).map((n) => n.target.join(' ')) })));
  return {
    ids: violations.map((v) => v.id),
    severe: violations.filter((v) => ['serious', 'critical'].includes(v.impact)).map((v) => `${v.id} (${v.impact}): ${v.where.join(', ')}`),
  };
}

function expectClean(found, where) {
  assert.deepEqual(found.severe, [], `serious or critical findings on ${where}`);
  assert.ok(!found.ids.includes('page-has-heading-one'), `no h1 on ${where}`);
}

test('axe finds nothing serious on the guest page in any state, at 320, 390 and 1366 px', async () => {
  for (const width of WIDTHS) {
    const page = await newPhone(browser, width > 1000 ? { ...DESK, viewport: { width, height: 800 } } : { viewport: { width, height: 700 } });
    await page.goto(`${wall.base}/`);
    await page.getByLabel('Your name', { exact: true }).waitFor();
    expectClean(await audit(page), `the join step at ${width} px`);
    await join(page, wall.base, 'Tess');
    for (const tab of ['Shout-out', 'Request', 'Photo', 'Tip', 'Live']) {
      await page.getByRole('tab', { name: new RegExp(tab) }).click();
      if (tab === 'Live') {
        await page.locator('.post').first().waitFor();
        await page.locator('#poll .poll-option').first().waitFor();
        await page.getByRole('button', { name: /^React/ }).first().click();
        await page.locator('.picker:not([hidden])').first().waitFor();
      }
      expectClean(await audit(page), `the ${tab} view at ${width} px`);
    }
    if (width === 320) await shot(page, 'a11y-live-320');
    assert.deepEqual(page.problems, []);
    await page.context().close();
  }
});

test('axe finds nothing serious on the moderator page and the look editor, at 320, 390 and 1366 px', async () => {
  for (const width of WIDTHS) {
    const page = await newPhone(browser, { ...DESK, viewport: { width, height: 800 } });
    await page.goto(`${wall.base}/mod`);
    await page.locator('li.row').first().waitFor();
    expectClean(await audit(page), `/mod at ${width} px`);
    // The poll and booth forms open, with the vote set up above running.
    for (const summary of await page.locator('.forms summary').all()) await summary.click();
    await page.locator('.vote-bars li').first().waitFor();
    expectClean(await audit(page), `/mod's poll and booth post at ${width} px`);
    await page.goto(`${wall.base}/bg`);
    await page.getByText('Lumvo Theme', { exact: true }).waitFor();
    expectClean(await audit(page), `/bg at ${width} px`);
    const scroll = await page.evaluate(() => document.documentElement.scrollWidth - document.documentElement.clientWidth);
    assert.ok(scroll <= 0, `/bg scrolls sideways by ${scroll} px at ${width} px`);
    if (width === 320) await shot(page, 'a11y-bg-320');
    await page.context().close();
  }
});

test('axe finds nothing serious on /screen, the wall on a venue TV, at 1280 x 720 and 1920 x 1080', async () => {
  for (const [width, height] of [[1280, 720], [1920, 1080]]) {
    const page = await newPhone(browser, { ...DESK, viewport: { width, height } });
    await page.goto(`${wall.base}/screen`);
    await page.locator('#feed .text').first().waitFor();
    await page.locator('#poll:not([hidden]) .bar').first().waitFor();
    expectClean(await audit(page), `/screen at ${width} px`);
    assert.deepEqual(page.problems, []);
    await page.context().close();
  }
});

const focused = (page) => page.evaluate(() => document.activeElement?.getAttribute('aria-label') || document.activeElement?.textContent);

// The booth by keyboard alone: each action hands the focus to the row that comes up in the place
// of the one that went, and Clear chat asks first with No as the answer Enter gives.
test('the moderator page by keyboard: focus stays in the list, Clear chat asks with No as the default', async () => {
  const page = await newPhone(browser, { ...DESK, viewport: { width: 1366, height: 800 } });
  for (const name of ['Ana', 'Ben', 'Cid', 'Dee']) await wall.guest('shoutout', { name, text: `from ${name}`, color: '#34d399' });
  await page.goto(`${wall.base}/mod`);
  await page.locator('li.row', { hasText: 'from Dee' }).waitFor();
  const name = page.locator('li.row', { hasText: 'from Ana' }).locator('.name');
  assert.equal(await name.evaluate((el) => getComputedStyle(el).textDecorationLine), 'none', 'a guest name does not look like a link');
  assert.equal(await name.locator('.name-dot').count(), 1, 'the name colour shows as a dot');

  await page.getByRole('button', { name: 'Approve & show: Ana' }).focus();
  await page.keyboard.press('Enter');
  await until(async () => (await focused(page)) === 'Approve & show: Ben', 'after Approve the next row has the focus');
  await page.keyboard.press('Tab');
  assert.equal(await focused(page), 'Reject: Ben');
  await page.keyboard.press('Enter');
  await until(async () => (await focused(page)) === 'Approve & show: Cid', 'after Reject the next row has the focus');
  // The last row: the focus goes back up to the row before it.
  page.once('dialog', (d) => d.accept());
  await page.getByRole('button', { name: 'Block: Dee', exact: true }).focus();
  await page.keyboard.press('Enter');
  await until(async () => (await focused(page)) === 'Approve & show: Cid', 'after blocking the last row the row above has the focus');

  // Clear chat: Enter on the question answers No; the wall keeps its posts.
  const feed = (await wall.display()).feedPacked;
  assert.notEqual(feed, '', 'something is on the wall');
  await page.getByRole('button', { name: 'Clear chat' }).focus();
  await page.keyboard.press('Enter');
  const dialog = page.getByRole('dialog');
  await dialog.waitFor();
  assert.equal(await focused(page), 'No', 'No is the answer Enter gives');
  await shot(page, 'a11y-mod-clear-chat');
  await page.keyboard.press('Enter');
  await dialog.waitFor({ state: 'hidden' });
  assert.equal(await focused(page), 'Clear chat', 'the focus goes back to the button');
  await page.keyboard.press('Enter');
  await page.keyboard.press('Escape');
  await dialog.waitFor({ state: 'hidden' });
  await new Promise((r) => setTimeout(r, 500));
  assert.equal((await wall.display()).feedPacked, feed, 'No and Escape leave the wall as it was');
  await page.keyboard.press('Enter');
  await dialog.getByRole('button', { name: 'Yes' }).click();
  await page.locator('#status', { hasText: 'Chat cleared.' }).waitFor();
  assert.equal((await wall.display()).feedPacked, '');
  for (const p of (await wall.state()).pending) await wall.act('drop', { id: p.id });
  assert.deepEqual(page.problems, []);
  await page.context().close();
});

// A 320-pixel phone: the name button says it renames, "Your posts" gives its text the row's
// width, and the Send button stays where the thumb left it when the outcome line appears.
test('a 320-pixel phone: the name shows it can be changed, your posts read across, Send stays put', async () => {
  const page = await newPhone(browser, { viewport: { width: 320, height: 640 } });
  await join(page, wall.base, 'Maximilian Longname');
  const chip = await page.evaluate(() => {
    const me = document.getElementById('me').getBoundingClientRect();
    const mark = document.querySelector('#me .me-edit').getBoundingClientRect();
    return { inside: mark.left >= me.left && mark.right <= me.right, width: mark.width, cut: document.querySelector('#me .me-name').textContent !== '' };
  });
  assert.ok(chip.inside && chip.width > 4, `the edit mark shows inside the name button (${JSON.stringify(chip)})`);

  const send = page.getByRole('button', { name: 'Send to the wall' });
  await page.getByLabel('Your message').fill('Happy birthday to my best friend Anna, have a wonderful night all of you!');
  const before = await send.boundingBox();
  await send.click();
  await page.locator('#shout-status', { hasText: 'sent' }).waitFor();
  const after = await send.boundingBox();
  assert.equal(after.y, before.y, 'the Send button did not move when the outcome line appeared');
  await shot(page, 'a11y-shout-sent-320');

  await page.getByRole('tab', { name: /Live/ }).click();
  const row = page.locator('#mine li').first();
  await row.waitFor();
  // The list is filled again by every reply of the Live tab's looks: measure a row that is laid out.
  await page.waitForFunction(() => {
    const li = document.querySelector('#mine li');
    return li && !document.getElementById('mine-box').hidden && li.getBoundingClientRect().width > 0;
  });
  const mine = await row.evaluate((li) => {
    const [text, status] = li.children;
    const t = text.getBoundingClientRect();
    return { under: status.getBoundingClientRect().top >= t.bottom - 1, share: t.width / li.getBoundingClientRect().width, lines: Math.round(t.height / parseFloat(getComputedStyle(text).lineHeight)) };
  });
  assert.ok(mine.under && mine.share > 0.95, `the status goes under the text (${JSON.stringify(mine)})`);
  assert.ok(mine.lines <= 3, `the shout-out takes ${mine.lines} lines`);
  await shot(page, 'a11y-your-posts-320');
  assert.deepEqual(page.problems, []);
  await page.context().close();
});

// Every limited field counts near its limit, the request counts song and artist together as the
// wall does, and reaching a limit is said, again at every character more.
test('counters: every limited field shows its count near the limit, and reaching it is announced', async () => {
  const page = await newPhone(browser);
  await page.goto(`${wall.base}/`);
  const nameCount = page.locator('#join-name-count');
  await page.getByLabel('Your name', { exact: true }).fill('Ada');
  assert.equal(await nameCount.isVisible(), false, 'far from the limit the counter keeps out of the way');
  await page.getByLabel('Your name', { exact: true }).fill('Ada Lovelace the Countess');
  assert.equal(await nameCount.textContent(), '25 / 28');
  await join(page, wall.base, 'Ada');

  const live = page.locator('#limit-live');
  await page.getByRole('tab', { name: /Request/ }).click();
  await page.getByLabel('Song').fill('s'.repeat(100));
  await page.getByLabel(/Artist/).fill('a'.repeat(40));
  assert.equal((await page.getByLabel(/Artist/).inputValue()).length, 17, 'song, " - " and artist keep to 120');
  assert.equal(await page.locator('#request-count').textContent(), '120 / 120 · limit reached');
  await live.filter({ hasText: 'Limit reached: 120 characters.' }).waitFor();
  await shot(page, 'a11y-request-limit');
  await page.getByRole('button', { name: 'Send request' }).click();
  await page.locator('#request-status', { hasText: 'Request sent!' }).waitFor();

  await page.getByRole('tab', { name: /Photo/ }).click();
  await page.getByLabel(/Caption/).fill('c'.repeat(150));
  assert.equal(await page.locator('#photo-text-count').textContent(), '150 / 180');

  await page.getByRole('tab', { name: /Shout-out/ }).click();
  const field = page.getByLabel('Your message');
  await field.fill('🔥'.repeat(180));
  assert.equal(await page.locator('#shout-count').textContent(), '180 / 180 · limit reached');
  await live.filter({ hasText: 'Limit reached' }).waitFor();
  await live.evaluate((el) => { el.textContent = ''; });
  await field.press('End');
  await page.keyboard.insertText('🎉');
  await live.filter({ hasText: 'Limit reached: 180 characters.' }).waitFor({ timeout: 2000 });
  assert.equal(await field.evaluate((f) => [...new Intl.Segmenter().segment(f.value)].length), 180);
  assert.deepEqual(page.problems, []);
  await page.context().close();
});

// The DJ starts a new poll while a guest's phone still shows the old one: the guest's tap is
// refused and the page says why, and keeps saying it when the new poll arrives.
test('a vote on a poll that has just been replaced is reported as not counted', async () => {
  const page = await newPhone(browser);
  await join(page, wall.base, 'Vic');
  await page.getByRole('tab', { name: /Live/ }).click();
  const yes = page.getByRole('button', { name: /^Yes,/ });
  await yes.waitFor();
  await wall.act('vote-start', { title: 'Next genre?', duration: 600, options: ['Rock', 'Pop'] });
  await yes.click();
  const note = page.locator('#poll .poll-note');
  await note.filter({ hasText: 'A new poll has started, so your vote did not count.' }).waitFor();
  await page.locator('#poll-title', { hasText: 'Next genre?' }).waitFor();
  await new Promise((r) => setTimeout(r, 1000));
  assert.match(await note.textContent(), /^A new poll has started, so your vote did not count/);
  await shot(page, 'a11y-vote-lost');
  await page.getByRole('button', { name: /^Rock,/ }).click();
  await note.filter({ hasText: 'your vote is in' }).waitFor();
  // The result on the wall reads as a sentence: the title's own question mark, then the winner.
  await wall.act('vote-stop');
  await page.locator('.post', { hasText: 'Next genre? Rock wins (1 vote)' }).waitFor();
  await page.context().close();
});
