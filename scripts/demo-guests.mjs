// Phones and the booth for scripts/run.sh, against a running wall server: one phone (keeping the
// server's cookie, as a browser does) sends three shout-outs and a photo through the guest
// endpoints, and the booth approves each with /api/show. Then eight more phones react with fire to
// the first shout-out, which makes it hot (the wall's default is 8 reactions within 60 s), and it
// waits until the display document lists all four with the hot one. Then the booth starts a poll,
// eight more phones vote one after another while the booth highlights the second shout-out, and
// the booth closes the poll so the wall shows its winner, and highlights the third shout-out. The
// words start three different backdrops behind the featured card: the photo's "cheers", the second
// shout-out's "dance" and the third's "hometown" (the first, hot, gets flames instead). One line
// per step.
//   node scripts/demo-guests.mjs <photo file> [base address, default http://127.0.0.1:8787]
import fs from 'node:fs';
import path from 'node:path';

import { wallCaller } from './lib/wall-caller.mjs';

const [photoFile, base = 'http://127.0.0.1:8787'] = process.argv.slice(2);
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
const poll = await call('POST', '/api/vote-start',
  { json: { title: 'Encore or next song?', duration: 60, options: ['Encore', 'Next song', 'Both'] } });
console.log(`demo: the booth started poll ${poll.id}`);
const choices = [1, 2, 1, 1, 3, 1, 2, 1];
for (const [n, choice] of choices.entries()) {
  await sleep(600);
  const jar = new Map();
  await call('GET', '/api/guest/config', { jar });
  await call('POST', '/api/guest/vote', { json: { option: `${poll.id}_${choice}` }, jar });
  console.log(`demo: phone ${n + 2} voted for option ${choice}`);
  if (n === 3) {
    await call('POST', '/api/highlight', { json: { id: ids[1] } });
    console.log(`demo: the booth highlighted ${ids[1]}`);
  }
}
await sleep(2500);
await call('POST', '/api/vote-stop', { json: {} });
console.log('demo: the booth closed the poll');
await call('POST', '/api/highlight', { json: { id: ids[2] } });
console.log(`demo: the booth highlighted ${ids[2]}`);
