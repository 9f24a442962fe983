// A guest's whole evening on the phone page, against a real wall server: name and colour,
// shout-out, song request, a camera-sized photo that must arrive small, the DJ approving, an emoji
// reaction, a vote in a live poll and a tip link with its message.

import { test } from 'node:test';
import assert from 'node:assert/strict';
import { useWall, wall, browser, newPhone, shot, until, join, bigPhoto, jpegSize } from './harness.mjs';

useWall(async () => {
  // Tip links on this machine's loopback address: the test never reaches outside.
  await wall.settings({ tipLinks: [`${wall.base}/pay/paypal`, `${wall.base}/pay/bank`, ''], showTipsOnWall: true });
});

const byText = (list, text) => (list || []).find((p) => p.text === text);

test('a guest sends, reacts, votes and tips from the phone', async () => {
  const page = await newPhone(browser);
  await join(page, wall.base, 'Sam', 'Cyan');
  await shot(page, 'journey-01-shout-out');

  // Shout-out. Markup in it must stay text everywhere.
  const shoutText = 'Happy birthday Jo! <b>bold</b> <img src=x onerror="document.title=1">';
  await page.getByLabel('Your message').fill(shoutText);
  await page.getByRole('button', { name: 'Send to the wall' }).click();
  await page.getByText('Your shout-out sent!').waitFor();
  assert.equal(await page.getByLabel('Your message').inputValue(), '', 'the field is emptied after a successful send');
  let st = await wall.state();
  const shout = byText(st.pending, shoutText);
  assert.deepEqual([shout?.name, shout?.color], ['Sam', '#22d3ee'], 'the shout-out waits for the DJ, its text unchanged');

  // Song request: song and artist become one request text.
  await page.getByRole('tab', { name: /Request/ }).click();
  await page.getByLabel('Song').fill('Mr Brightside');
  await page.getByLabel(/Artist/).fill('The Killers');
  await page.getByRole('button', { name: 'Send request' }).click();
  await page.getByText('Request sent!').waitFor();
  st = await wall.state();
  assert.ok(byText(st.requests, 'Mr Brightside - The Killers'), 'the request reaches the request list');
  await shot(page, 'journey-02-request');

  // Photo: a 12-megapixel JPEG is shrunk on the phone before it is sent.
  const { file, bytes: originalBytes } = await bigPhoto(page, 4000, 3000);
  assert.ok(originalBytes > 3 * 1024 * 1024, `the test photo is camera-sized (${originalBytes} bytes)`);
  await page.getByRole('tab', { name: /Photo/ }).click();
  await page.locator('#photo-file').setInputFiles(file);
  await page.getByText(/Ready to send: 1600 × 1200/).waitFor({ timeout: 20000 });
  await page.getByLabel(/Caption/).fill('Look at us');
  await shot(page, 'journey-03-photo-ready');
  await page.getByRole('button', { name: 'Send photo' }).click();
  await page.getByText('Your photo sent!').waitFor();
  st = await wall.state();
  const photoPost = byText(st.pending, 'Look at us');
  assert.ok(photoPost && photoPost.photo, 'the photo post waits with its photo');
  // The server keeps the uploaded bytes as they came, so this is what travelled over the Wi-Fi.
  const stored = Buffer.from(await (await fetch(wall.base + photoPost.photo)).arrayBuffer());
  assert.ok(stored.length < 700 * 1024, `the upload is small (${stored.length} bytes from ${originalBytes})`);
  assert.deepEqual(jpegSize(stored), { width: 1600, height: 1200 }, 'the stored photo is 1600 pixels on its long side');
  assert.equal(await page.locator('#photo-preview').isHidden(), true, 'the picker is cleared after sending');

  // The DJ approves both. The guest hears of it on the tab they are on, then sees them on Live,
  // markup shown as text.
  await wall.act('show', { id: shout.id });
  await wall.act('show', { id: photoPost.id });
  await page.locator('#notice', { hasText: /Your (shout-out|photo) is on the wall now!/ }).waitFor({ timeout: 15000 });
  await page.getByRole('tab', { name: /Live/ }).click();
  const post = page.locator('.post', { hasText: 'Happy birthday Jo!' });
  await post.waitFor();
  assert.equal(await post.locator('.post-text').textContent(), shoutText);
  assert.equal(await page.locator('#feed b, #feed img[src="x"]').count(), 0, 'no guest markup became elements');
  assert.equal(await page.locator('.post', { hasText: 'Look at us' }).locator('img.post-photo').count(), 1);

  // Reaction: open the picker on the shout-out and tap the fire emoji.
  await post.getByRole('button', { name: /React to Sam/ }).click();
  await post.getByRole('button', { name: 'React with 🔥' }).click();
  const chip = post.getByRole('button', { name: /🔥 1 reaction, including yours/ });
  await chip.waitFor();
  assert.equal(await chip.getAttribute('aria-pressed'), 'true');
  await until(async () => (await wall.display()).feedPacked.includes('🔥:1'), 'the reaction reaches the wall');
  await shot(page, 'journey-04-live-reaction');

  // Live poll: the DJ starts one while the guest is on another tab, which says so; the guest
  // votes once and sees their choice marked. (The phone-sized poll picture is the server's test.)
  await page.getByRole('tab', { name: /Shout-out/ }).click();
  await wall.act('vote-start', { title: 'Best song tonight?', duration: 120, options: ['Yes', 'No'] });
  await page.getByText('Live poll: Best song tonight?').waitFor({ timeout: 12000 });
  await page.getByRole('button', { name: 'Vote now' }).click();
  const yes = page.getByRole('button', { name: /^Yes, 0 votes/ });
  await yes.click();
  await page.getByText('Thanks, your vote is in!').waitFor();
  const chosen = page.getByRole('button', { name: /^Yes, your vote, 1 vote · 100%/ });
  assert.equal(await chosen.isDisabled(), true, 'one vote per phone');
  assert.equal(await chosen.getByText('✓ Your vote').isVisible(), true, 'the guest\'s choice is marked');
  st = await wall.state();
  assert.match(st.voteSummary, /Yes[^\n]*1/);
  await shot(page, 'journey-05-vote');

  // Tip: the DJ's link opens (here: in a new page), the message goes to the Tips list.
  await page.getByRole('tab', { name: /Tip/ }).click();
  await page.getByText('Live poll: Best song tonight? (you voted)').waitFor();
  await page.getByLabel(/Message for the wall/).fill('Great set!');
  await shot(page, 'journey-06-tip');
  const popupSeen = page.context().waitForEvent('page');
  await page.getByRole('link', { name: 'Tip with PayPal' }).click();
  const popup = await popupSeen;
  assert.equal(popup.url(), `${wall.base}/pay/paypal`);
  await page.getByText(/Thank you! Once the DJ sees your tip/).waitFor();
  st = await wall.state();
  assert.ok(byText(st.tips, 'Great set!'), 'the tip message waits in the Tips list');
  await popup.close();

  // "Your posts" on Live tells the guest what happened to each post.
  await page.getByRole('tab', { name: /Live/ }).click();
  await until(async () => (await page.locator('#mine li').count()) >= 4, 'the guest sees their own posts');
  const mine = await page.locator('#mine').textContent();
  assert.match(mine, /Request: Mr Brightside - The Killers\s*Waiting for the DJ/);
  assert.match(mine, /Shout-out: Happy birthday Jo!.*On the wall/s);

  // A second guest asks for the same song: one request, and both see it with the DJ's mark.
  const ben = await newPhone(browser);
  await join(ben, wall.base, 'Ben');
  await ben.getByRole('tab', { name: /Request/ }).click();
  await ben.getByLabel('Song', { exact: true }).fill('mr brightside');
  await ben.getByLabel(/Artist/).fill('the killers');
  await ben.getByRole('button', { name: 'Send request' }).click();
  await ben.getByText(/1 other asked for it too/).waitFor();
  await wall.act('request-mark', { id: byText((await wall.state()).requests, 'Mr Brightside - The Killers').id, mark: 'played' });
  await ben.getByRole('tab', { name: /Live/ }).click();
  await ben.locator('#mine li', { hasText: 'Request: Mr Brightside - The Killers' }).getByText('Played').waitFor();
  await until(async () => /Request: Mr Brightside - The Killers\s*Played/.test(await page.locator('#mine').textContent()), 'the first requester sees the mark too');
  await shot(ben, 'journey-07-second-requester');
  await ben.context().close();

  assert.deepEqual(page.problems, [], 'no script errors on the page');
  await page.context().close();
});

test('the wall\'s name for the phone is the truth: a rename in one tab holds in the others, the colour stays', async () => {
  const a = await newPhone(browser);
  await join(a, wall.base, 'Sam', 'Cyan');
  const b = await a.context().newPage();
  await b.goto(`${wall.base}/`);
  await b.getByRole('button', { name: /You are Sam\./ }).waitFor();

  // Renamed in tab A; tab B, open all along, posts under the new name and shows it.
  await a.getByRole('button', { name: /You are Sam\./ }).click();
  await a.getByLabel('Your name', { exact: true }).fill('Sammy');
  await a.getByRole('button', { name: "Let's go" }).click();
  await a.getByRole('button', { name: /You are Sammy\./ }).waitFor();
  await b.getByLabel('Your message').fill('from tab B');
  await b.getByRole('button', { name: 'Send to the wall' }).click();
  await b.getByText('Your shout-out sent!').waitFor();
  const fromB = (await wall.state()).pending.find((p) => p.text === 'from tab B');
  assert.deepEqual([fromB?.name, fromB?.color], ['Sammy', '#22d3ee']);
  await b.getByRole('button', { name: /You are Sammy\./ }).waitFor();

  // Renamed on the wall by another page of this phone, past this tab: it shows at the next look.
  await b.evaluate(() => fetch('/api/guest/profile', { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: '{"name":"Samuel"}' }));
  await b.getByRole('button', { name: /You are Samuel\./ }).waitFor({ timeout: 12000 });
  await b.getByLabel('Your message').fill('still Samuel');
  await b.getByRole('button', { name: 'Send to the wall' }).click();
  await b.getByText('Your shout-out sent!').waitFor();
  assert.equal((await wall.state()).pending.find((p) => p.text === 'still Samuel')?.name, 'Samuel');
  assert.deepEqual(a.problems, []);
  await a.context().close();
});

test('fields count and stop at characters as the guest sees them, emoji included', async () => {
  const page = await newPhone(browser);
  await page.goto(`${wall.base}/`);
  const name = `${'N'.repeat(27)}👨‍👩‍👧`;
  const nameField = page.getByLabel('Your name', { exact: true });
  await nameField.fill(`${name}xyz`);
  assert.equal(await nameField.inputValue(), name, 'the name stops at 28, after the family emoji, not inside it');
  await page.getByRole('button', { name: "Let's go" }).click();
  await page.getByRole('tablist').waitFor();

  const field = page.getByLabel('Your message');
  await field.fill('🔥'.repeat(120));
  assert.deepEqual([await field.inputValue(), await page.locator('#shout-count').textContent()], ['🔥'.repeat(120), '120 / 180']);
  await field.fill('🔥'.repeat(200));
  assert.deepEqual([await field.inputValue(), await page.locator('#shout-count').textContent()], ['🔥'.repeat(180), '180 / 180 · limit reached']);
  await page.getByRole('button', { name: 'Send to the wall' }).click();
  await page.getByText('Your shout-out sent!').waitFor();
  const post = (await wall.state()).pending.find((p) => p.text === '🔥'.repeat(180));
  assert.equal(post?.name, name, 'the wall takes both as the phone counted them');
  await shot(page, 'fields-01-emoji');
  await page.context().close();
});

test('what a guest typed survives a reload and a refused send', async () => {
  const page = await newPhone(browser);
  await join(page, wall.base, 'Kim');
  await page.getByLabel('Your message').fill('Do not lose me');
  await page.reload();
  await page.getByRole('tablist').waitFor();
  assert.equal(await page.getByLabel('Your message').inputValue(), 'Do not lose me');

  // Every send carries an idempotency key; a send that gets no answer goes again by itself, with
  // the same key, once the wall answers.
  const keys = [];
  page.on('request', (r) => { if (r.url().endsWith('/api/guest/shoutout')) keys.push(r.headers()['idempotency-key']); });
  await page.context().setOffline(true);
  await page.getByRole('button', { name: 'Send to the wall' }).click();
  await page.locator('#shout-status', { hasText: /Can't reach the wall right now\. It goes by itself as soon as the wall answers again/ }).waitFor();
  await page.locator('#notice', { hasText: 'What you sent goes by itself as soon as the wall answers again' }).waitFor();
  assert.equal(await page.getByLabel('Your message').inputValue(), 'Do not lose me');
  await shot(page, 'resilience-01-offline');
  await page.context().setOffline(false);
  await page.getByText('Your shout-out sent!').waitFor({ timeout: 15000 });
  assert.equal(await page.getByLabel('Your message').inputValue(), '', 'sent once the wall answered');
  assert.equal(await page.locator('#notice').isHidden(), true);
  let st = await wall.state();
  assert.equal(st.pending.filter((p) => p.text === 'Do not lose me').length, 1);

  // A reply lost on the way back: the wall has the post, the page does not know; the same post
  // goes again with the same key (the wall answers a repeated key with its first answer).
  await page.route('**/api/guest/shoutout', async (route) => {
    await route.fetch();
    await route.abort('connectionreset');
  }, { times: 1 });
  await page.getByLabel('Your message').fill('Said once');
  await page.getByRole('button', { name: 'Send to the wall' }).click();
  await page.getByText('Your shout-out sent!').waitFor({ timeout: 15000 });
  assert.equal(keys.length, 4, 'offline, its repeat, the lost reply, its repeat');
  for (const key of keys) assert.match(key, /^[A-Za-z0-9_-]{16,64}$/);
  assert.deepEqual([keys[0] === keys[1], keys[1] === keys[2], keys[2] === keys[3]], [true, false, true], 'a repeat carries its post\'s key; a new post a new key');
  st = await wall.state();
  assert.equal(st.pending.filter((p) => p.text === 'Said once').length, 1, 'the wall took the repeated key once');

  // Too fast: the phone's burst of posts runs out; the guest is told to wait, text kept.
  let refused = null;
  for (let i = 0; i < 6 && !refused; i++) {
    await page.getByLabel('Your message').fill(`Message ${i}`);
    await page.getByRole('button', { name: 'Send to the wall' }).click();
    const status = page.locator('#shout-status');
    await until(async () => !/Sending/.test(await status.textContent()), 'the send finishes');
    if ((await status.getAttribute('data-tone')) === 'error') refused = { i, text: await status.textContent() };
  }
  assert.ok(refused, 'a burst of posts is slowed down');
  assert.match(refused.text, /Slow down/);
  assert.equal(await page.getByLabel('Your message').inputValue(), `Message ${refused.i}`);
  await shot(page, 'resilience-02-too-fast');

  // A file that is not a picture is refused on the phone, before any upload.
  await page.getByRole('tab', { name: /Photo/ }).click();
  await page.locator('#photo-file').setInputFiles({ name: 'notes.txt', mimeType: 'text/plain', buffer: Buffer.from('hello') });
  await page.getByText('That is not a photo. Pick a JPG, PNG or WebP picture.').waitFor();
  assert.equal(await page.getByRole('img', { name: 'Your photo, ready to send' }).count(), 0);
  assert.deepEqual(page.problems.filter((p) => !/Failed to load resource|ERR_INTERNET_DISCONNECTED|429/.test(p)), []);
  await page.context().close();
});
