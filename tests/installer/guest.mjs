// A guest's phone and the booth, for the installer layer, against the wall server the installed
// plug-in started: the phone posts a photo (a QR code of a text made for the run), the booth
// approves and shows it, and the script waits until the display document, which the plug-in polls
// for the TV, has it on the featured card. Prints one JSON line: { id, featuredId }.
//   node guest.mjs <photo.png> [base address, default http://127.0.0.1:8787]
import fs from 'node:fs';

import { wallCaller } from '../../scripts/lib/wall-caller.mjs';

const [photoFile, base = 'http://127.0.0.1:8787'] = process.argv.slice(2);
const cookies = new Map();
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

const send = wallCaller(base);
const call = (method, urlPath, options = {}) => send(method, urlPath, { jar: cookies, ...options });

// The plug-in starts the server when the host starts the effect; node.exe's first start in a new
// Wine prefix takes a while.
let up = false;
for (const end = Date.now() + 60000; !up && Date.now() < end; await sleep(250)) {
  up = await call('GET', '/api/guest/config').then(() => true, () => false);
}
if (!up) throw new Error(`no wall server at ${base} after 60 s`);

const query = new URLSearchParams({ name: 'Installer', text: 'Hello from the installed wall' });
const { id } = await call('POST', `/api/guest/photo?${query}`, { body: fs.readFileSync(photoFile), type: 'image/png' });
await call('POST', '/api/show', { json: { id } });
for (const end = Date.now() + 15000; ; await sleep(200)) {
  const display = await call('GET', '/api/display');
  const inFeed = display.feedPacked.split('\n').some((line) => line.split('\t')[0] === id);
  if (inFeed && display.featuredId === id) {
    console.log(JSON.stringify({ id, featuredId: display.featuredId }));
    break;
  }
  if (Date.now() > end) throw new Error(`post ${id} did not reach the display document (featured: ${display.featuredId})`);
}
