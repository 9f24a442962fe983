// The plug-in's and the booth's endpoints against a real server process: every action, seen
// through the documents. What the documents look like is the contract corpus's business
// (corpus.test.js).

import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { encodeJpeg, decodeJpeg } from '../src/picture.js';
import { startServer, Phone, Booth, fakeJpeg, fakePng } from './helpers/server.js';

let srv;
let booth;
const album = () => path.join(srv.dir, 'album');

before(async () => {
  srv = await startServer();
  booth = new Booth(srv.base);
  await booth.act('settings', { repeatMessages: false, tipLinks: ['paypal.me/djsam', '', ''], mediaDir: album() });
});
after(async () => srv?.stop());

const display = () => booth.doc('display');
const state = () => booth.doc('state');

test('every moderation action, seen through the moderation document', async () => {
  const g1 = new Phone(srv.base);
  const g2 = new Phone(srv.base);
  const a = (await g1.post('/api/guest/shoutout', { name: 'feed', text: 'requests' })).data.id;
  const b = (await g2.post('/api/guest/shoutout', { name: 'B', text: 'second' })).data.id;
  const r = (await g1.post('/api/guest/request', { name: 'R', text: 'Mr Brightside — The Killers' })).data.id;
  await g2.post('/api/guest/request', { name: 'R2', text: "mr brightside, the killers" });
  const t = (await g2.post('/api/guest/tip', { name: 'Tipper', text: 'cheers' })).data.id;
  let s = await state();
  assert.match(s.venuePin, /^[A-Z2-9]{5}$/);
  assert.deepEqual(s.pending.map((p) => p.id), [a, b]);
  assert.equal(s.requests[0].id, r);
  assert.equal(s.requests[0].count, 2);
  assert.deepEqual(s.tips.map((p) => p.id), [t]);
  await booth.act('vdj-search', { id: r });
  assert.equal((await state()).vdjSearch, 'Mr Brightside The Killers', 'the host is asked to search for the request');
  await booth.act('vdj-search', { clear: true });
  assert.equal((await state()).vdjSearch, '', 'and clears it once searched');

  await booth.act('reject', { id: a });
  await booth.act('request-mark', { id: r, mark: 'played' });
  s = await state();
  assert.deepEqual(s.rejected.map((p) => p.id), [a]);
  assert.equal(s.requests[0].mark, 'played');
  await booth.act('restore', { id: a });
  await booth.act('drop', { id: r });
  await booth.act('show', { id: t });
  s = await state();
  assert.deepEqual(s.pending.map((p) => p.id), [a, b]);
  assert.equal(s.requests.length, 0);
  assert.ok(s.feed.some((p) => p.id === t && p.type === 'tip'));

  await booth.act('show', { id: b });
  await booth.act('highlight', { id: b });
  await booth.act('remove', { id: b });
  s = await state();
  assert.ok(!s.feed.some((p) => p.id === b));

  await booth.act('block', { id: a });
  s = await state();
  assert.equal(s.blocked.length, 1);
  assert.deepEqual(s.rejected.map((p) => p.id), [a]);
  assert.equal((await g1.post('/api/guest/shoutout', { text: 'let me in' })).status, 403);
  await booth.act('unblock', { id: s.blocked[0].id });
  assert.equal((await g1.post('/api/guest/shoutout', { text: 'thanks' })).status, 200);
  await booth.act('block', { id: a });
  await booth.act('unblock', { all: true });
  assert.equal((await state()).blocked.length, 0);

  await booth.act('next');
  await booth.act('skip');
  await booth.act('clear');
  const d = await display();
  assert.equal(d.feedPacked, '');
  assert.equal(d.featuredId, '');

  const missing = await booth.post('/api/show', { id: 'p_nothere' });
  assert.equal(missing.status, 404);
  assert.match(missing.data.error, /no longer there/);
  assert.equal((await booth.post('/api/show', {})).status, 400);
});

// Bars, summary and the closed poll are in the corpus; here: the countdown, the picture, two stops.
test('polls: the countdown, the poll picture and who may see it, stop then stop again', async () => {
  const pic = `data:image/png;base64,${fakePng(300).toString('base64')}`;
  await booth.act('vote-start', { title: 'Best night?', duration: 30, photo: pic, options: ['Yes', '', 'No'] });
  for (const opt of ['o1', 'o1', 'o2']) await new Phone(srv.base).post('/api/guest/vote', { option: opt });
  const d = await display();
  assert.match(d.votePhoto, /^\/uploads\/LUMVO_poll_[a-z0-9_]+\.png$/);
  assert.ok(d.voteRemain > 25 && d.voteRemain <= 30, `${d.voteRemain} s left of 30`);
  const guestSees = await new Phone(srv.base).get(d.votePhoto);
  assert.equal(guestSees.status, 200, 'the running poll picture is public');
  await booth.act('vote-stop');
  assert.equal((await display()).voteClosed, true);
  await booth.act('vote-stop');
  assert.equal((await display()).voteActive, false, 'a second stop takes the result down');
  // The moderator window copies its picture into uploads itself and sends the path.
  fs.writeFileSync(path.join(srv.dir, 'uploads', 'LUMVO_poll_123.jpg'), fakeJpeg());
  await booth.act('vote-start', { title: 'Clock', endAt: '23:59:59', photo: '/uploads/LUMVO_poll_123.jpg', options: ['A', 'B'] });
  assert.equal((await display()).votePhoto, '/uploads/LUMVO_poll_123.jpg');
  const escape = await booth.post('/api/vote-start', { title: 'x', duration: 9, photo: '/uploads/../secret.txt', options: ['A', 'B'] });
  assert.equal(escape.status, 400, 'a poll picture outside uploads is refused');
});

// The width and height of a JPEG from its start-of-frame marker.
function jpegSize(buf) {
  for (let i = 2; i + 9 < buf.length && buf[i] === 0xff; i += 2 + buf.readUInt16BE(i + 2)) {
    if (buf[i + 1] === 0xc0 || buf[i + 1] === 0xc2) return [buf.readUInt16BE(i + 7), buf.readUInt16BE(i + 5)];
  }
  return null;
}

test('phones get a phone-sized copy of a large poll picture, upright; the wall keeps the original', async () => {
  // A 3000 × 2000 camera-style picture, dark on its left half, that says (as cameras do) that it
  // is to be turned a quarter clockwise: upright, the dark half is at the top.
  const [w, h] = [3000, 2000];
  const planeOf = (pw, ph, f) => ({ w: pw, h: ph, data: Uint8Array.from({ length: pw * ph }, (_, i) => f(i % pw, Math.floor(i / pw))) });
  const camera = encodeJpeg(planeOf(w, h, (x, y) => (x < w / 2 ? 10 : 180) + ((x * 7 + y * 3) % 40)),
    planeOf(w / 2, h / 2, (x) => 90 + (x % 80)), planeOf(w / 2, h / 2, (x, y) => 100 + (y % 60)), 75);
  const exif = Buffer.from('457869660000' + '4d4d002a00000008' + '0001' + '011200030000000100060000' + '00000000', 'hex');
  const picture = Buffer.concat([camera.subarray(0, 2), Buffer.from([0xff, 0xe1, 0, exif.length + 2]), exif, camera.subarray(2)]);
  await booth.act('vote-start', { title: 'Which way?', duration: 60, photo: `data:image/jpeg;base64,${picture.toString('base64')}`, options: ['Up', 'Down'] });

  const { votePhoto, voteDuration } = await display();
  assert.equal(voteDuration, 60, 'the vote starts at once; the copy is made while it runs');
  const original = Buffer.from(await (await fetch(srv.base + votePhoto)).arrayBuffer());
  assert.deepEqual([jpegSize(original), original.length], [[w, h], picture.length], 'the wall shows the original');
  const phone = new Phone(srv.base);
  let photo;
  for (const end = Date.now() + 20000; Date.now() < end; await new Promise((r) => setTimeout(r, 100))) {
    ({ photo } = (await phone.get('/api/guest/config')).data.poll);
    if (photo !== votePhoto) break;
  }
  assert.equal(photo, votePhoto.replace(/\.jpg$/, '_phone.jpg'));
  const copy = await fetch(srv.base + photo);
  assert.equal(copy.headers.get('content-type'), 'image/jpeg');
  const bytes = Buffer.from(await copy.arrayBuffer());
  assert.deepEqual(jpegSize(bytes), [640, 960], 'at most 960 pixels on its long side, turned upright');
  assert.ok(bytes.length < 200 * 1024, `the copy is small (${bytes.length} bytes from ${picture.length})`);
  const [top, bottom] = [100, 860].map((y) => decodeJpeg(bytes).planes[0].data[y * 640 + 320]);
  assert.ok(top < 60 && bottom > 170, `the dark half is at the top (${top}, ${bottom})`);
  assert.equal((await phone.get(photo)).status, 200, 'phones may load the copy');
  await booth.act('vote-stop');
  await booth.act('vote-stop');
});

// A booth post with its photo is in the corpus, its place in the queue in the engine tests, and
// picture refusals with the image checks.
test('a booth post with neither message nor photo is refused with a sentence', async () => {
  const empty = await booth.post('/api/booth-post', { name: 'DJ', text: '   ' });
  assert.deepEqual([empty.status, empty.data.error], [400, 'Add a message or a photo.']);
});

test('guest looks: save, apply, picture, delete; the built-in look stays', async () => {
  const pic = `data:image/png;base64,${fakePng(400).toString('base64')}`;
  const saved = await booth.act('guest-bg-looks', { save: { name: 'Sunset', kind: 'picture', colors: ['#331100'], picture: pic } });
  await booth.act('guest-bg-looks', { apply: saved.id });
  let s = await state();
  assert.equal(s.guestLookActive, saved.id);
  assert.equal(s.guestBgStatus, 'Sunset is on phones');
  assert.deepEqual(s.guestLooks.map((l) => l.name), ['Lumvo Theme', 'Sunset']);
  const cfg = (await new Phone(srv.base).get('/api/guest/config')).data;
  assert.equal(cfg.look.id, saved.id);
  assert.equal((await new Phone(srv.base).get(cfg.look.picture)).status, 200);
  const refused = [[{ save: { name: 'X', kind: 'gradient', colors: ['red'] } }, 400], [{ delete: 'lumvo' }, 409], [{ apply: 'l_gone' }, 404]];
  for (const [body, status] of refused) assert.equal((await booth.post('/api/guest-bg-looks', body)).status, status, JSON.stringify(body));
  await booth.act('guest-bg-looks', { delete: saved.id });
  s = await state();
  assert.equal(s.guestLookActive, 'lumvo');
});

test('approved photos are copied to the album; clear-media deletes only those', async () => {
  const guest = new Phone(srv.base);
  const up = await guest.request('POST', '/api/guest/photo?name=Pic&text=us', { body: fakeJpeg(1000), headers: { 'Content-Type': 'image/jpeg' } });
  assert.equal(up.status, 200, up.text);
  const s = await state();
  const p = s.pending.find((x) => x.id === up.data.id);
  assert.match(p.photo, /^\/uploads\/LUMVO_g_[a-z0-9]+\.jpg$/);
  assert.equal((await booth.get(p.photo)).status, 200, 'the booth sees a waiting photo');
  await booth.act('show', { id: p.id });
  const name = p.photo.slice('/uploads/'.length);
  for (let i = 0; i < 50 && !fs.existsSync(path.join(album(), name)); i++) await new Promise((r) => setTimeout(r, 20));
  assert.ok(fs.existsSync(path.join(album(), name)));
  fs.writeFileSync(path.join(album(), 'holiday.jpg'), 'the DJ own photo');
  const r = await booth.act('clear-media');
  assert.equal(r.deleted, 1);
  assert.deepEqual(fs.readdirSync(album()), ['holiday.jpg']);
});
