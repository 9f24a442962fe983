// Phones and the booth for scripts/run.sh, against a running wall server: one phone (keeping the
// server's cookie, as a browser does) sends three shout-outs and a photo through the guest
// endpoints, and the booth approves each with /api/show. Then eight more phones react with fire to
// the first shout-out, which makes it hot (the wall's default is 8 reactions within 60 s), and it
// waits until the display document lists all four with the hot one. Then the DJ at the desk (the
// stand-in host's --desk, cued through the cue file) starts a poll from the Vote tab; once the
// display document shows it running, eight more phones vote one after another while the booth
// highlights the second shout-out; then the desk presses "Stop vote" and the script waits for the
// wall to show the poll closed with its winner, and the desk posts from the booth composer, which
// the script waits to see in the feed; last the booth highlights the third shout-out. The words
// start three different backdrops behind the featured card: the photo's "cheers", the second
// shout-out's "dance" and the third's "hometown" (the first, hot, gets flames instead). One line
// per step; a step that does not show on the wall in time fails the script.
//   node scripts/demo-guests.mjs <photo file> <desk cue file> [base address, default http://127.0.0.1:8787]
import fs from 'node:fs';
import path from 'node:path';

import { wallCaller } from './lib/wall-caller.mjs';

const [photoFile, cueFile, base = 'http://127.0.0.1:8787'] = process.argv.slice(2);
if (!cueFile) throw new Error('usage: demo-guests.mjs <photo file> <desk cue file> [base address]');
let cookies = new Map();  // the phone whose requests go out now; a voting phone passes its own jar

const send = wallCaller(base);
// The phone whose requests go out now, unless a call names its own jar.
const call = (method, urlPath, options = {}) => send(method, urlPath, { jar: cookies, ...options });

async function waitForServer(seconds) {
  for (const end = Date.now() + seconds * 1000; Date.now() < end; await new Promise((r) => setTimeout(r, 200))) {
    try {
      await call('GET', '/api/guest/config');  // also gives the phone its cookie
      return;
    } catch { /* not up yet */ }
  }
  throw new Error(`no wall server at ${base} after ${seconds} s`);
}

await waitForServer(60);
console.log(`demo: the wall server answers at ${base}`);
const ids = [];
for (const text of ['Happy birthday Jo!', 'Play something to dance to', 'Greetings to my hometown from table 7']) {
  const { id } = await call('POST', '/api/guest/shoutout', { json: { name: 'Sam', text } });
  ids.push(id);
  console.log(`demo: guest shout-out ${id} "${text}"`);
}
const query = new URLSearchParams({ name: 'Sam', text: 'Cheers from us at the bar' });
const photo = await call('POST', `/api/guest/photo?${query}`, { body: fs.readFileSync(photoFile), type: 'image/png' });
ids.push(photo.id);
console.log(`demo: guest photo ${photo.id} (${path.basename(photoFile)})`);
for (const id of ids) await call('POST', '/api/show', { json: { id } });
console.log(`demo: the booth approved ${ids.length} posts`);

const guestCookies = cookies;
for (let phone = 0; phone < 8; phone += 1) {
  cookies = new Map();
  await call('GET', '/api/guest/config');  // a new phone gets its own cookie
  await call('POST', '/api/guest/react', { json: { id: ids[0], emoji: '\u{1F525}' } });
}
cookies = guestCookies;
console.log(`demo: 8 phones reacted to ${ids[0]} with fire`);

for (const end = Date.now() + 10000; ; await new Promise((r) => setTimeout(r, 200))) {
  const display = await call('GET', '/api/display');
  const lines = display.feedPacked.split('\n').map((line) => line.split('\t'));
  const live = ids.filter((id) => lines.some((fields) => fields[0] === id));
  const hot = lines.some((fields) => fields[0] === ids[0] && fields[7] === '1');
  if (live.length === ids.length && hot) {
    console.log(`demo: all ${ids.length} posts are in the display document, ${ids[0]} hot, featured ${display.featuredId}`);
    break;
  }
  if (Date.now() > end) {
    throw new Error(`${live.length} of ${ids.length} posts reached the display document, ${ids[0]} ${hot ? '' : 'not '}hot`);
  }
}

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
// One cue for the DJ at the desk: a line of TAB-separated fields the stand-in host acts on.
const cueDesk = (...fields) => fs.appendFileSync(cueFile, `${fields.join('\t')}\n`);
// The display document once `ready` holds for it; throws with `what` after `seconds`.
async function waitForDisplay(seconds, what, ready) {
  for (const end = Date.now() + seconds * 1000; ; await sleep(200)) {
    const display = await call('GET', '/api/display');
    if (ready(display)) return display;
    if (Date.now() > end) throw new Error(`${what} within ${seconds} s`);
  }
}
// The poll's bars: key (the vote option's id), label and count.
const bars = (display) => display.voteBars.split('\n').filter(Boolean).map((line) => {
  const [key, label, count] = line.split('\t');
  return { key, label, count: Number(count) };
});

const title = 'Encore or next song?';
const answers = ['Encore', 'Next song', 'Both'];
cueDesk('vote', 60, title, ...answers);
const running = await waitForDisplay(30, `the poll "${title}" the desk was cued to start did not show as running`,
  (d) => d.voteActive && !d.voteClosed && d.voteTitle === title);
const options = bars(running);
if (options.map((o) => o.label).join('|') !== answers.join('|')) {
  throw new Error(`the running poll's answers are ${options.map((o) => o.label).join(', ')}, not ${answers.join(', ')}`);
}
console.log(`demo: the desk's poll runs on the wall: "${title}" (${answers.join(', ')}), ${running.voteDuration} s`);
const choices = [1, 2, 1, 1, 3, 1, 2, 1];
for (const [n, choice] of choices.entries()) {
  await sleep(600);
  const jar = new Map();
  await call('GET', '/api/guest/config', { jar });
  await call('POST', '/api/guest/vote', { json: { option: options[choice - 1].key }, jar });
  console.log(`demo: phone ${n + 2} voted for option ${choice}`);
  if (n === 3) {
    await call('POST', '/api/highlight', { json: { id: ids[1] } });
    console.log(`demo: the booth highlighted ${ids[1]}`);
  }
}
await sleep(2500);
cueDesk('stop-vote');
const closed = await waitForDisplay(30, 'the poll did not close after the desk was cued to stop it',
  (d) => d.voteClosed && d.voteTitle === title);
const counts = bars(closed);
const votes = counts.reduce((sum, o) => sum + o.count, 0);
if (votes !== choices.length) throw new Error(`the closed poll counts ${votes} votes, not ${choices.length}`);
const winner = counts.reduce((best, o) => (o.count > best.count ? o : best));
console.log(`demo: the poll closed from the desk: ${counts.map((o) => `${o.label} ${o.count}`).join(', ')}; winner ${winner.label}`);

const booth = { name: 'DJ Nova', text: 'Encore it is! Thanks for voting' };
cueDesk('booth', booth.name, booth.text);
const posted = await waitForDisplay(45, 'the booth post the desk was cued to show did not reach the feed',
  (d) => d.feedPacked.split('\n').some((line) => {
    const fields = line.split('\t');
    return fields[2] === booth.name && fields[3] === booth.text;
  }));
const boothId = posted.feedPacked.split('\n').map((line) => line.split('\t')).find((f) => f[3] === booth.text)[0];
console.log(`demo: the desk's booth post ${boothId} "${booth.text}" is in the feed`);
await call('POST', '/api/highlight', { json: { id: ids[2] } });
console.log(`demo: the booth highlighted ${ids[2]}`);
