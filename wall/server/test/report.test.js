// The night's report after a scripted night on a real server: the page (counts, shout-outs with
// their times, requests with their marks, polls with their results, the album's thumbnails) and
// the zip (the photos and the same data). Its refusal to phones is in loopback.test.js.

import { test } from 'node:test';
import assert from 'node:assert/strict';
import zlib from 'node:zlib';
import { startServer, Phone, Booth } from './helpers/server.js';
import { encodeJpeg, decodeJpeg } from '../src/picture.js';

const planeOf = (w, h, f) => ({ w, h, data: Uint8Array.from({ length: w * h }, (_, i) => f(i % w, Math.floor(i / w))) });
const photo = (shade) => Buffer.from(encodeJpeg(planeOf(640, 480, (x, y) => (x + y + shade) & 255),
  planeOf(320, 240, () => 110), planeOf(320, 240, () => 150), 85));

// Entries of a zip: name -> bytes (stored or deflated), read from its central directory.
function unzip(buf) {
  const end = buf.lastIndexOf(Buffer.from([0x50, 0x4b, 0x05, 0x06]));
  const out = new Map();
  let at = buf.readUInt32LE(end + 16);
  for (let i = 0; i < buf.readUInt16LE(end + 10); i++) {
    const method = buf.readUInt16LE(at + 10);
    const size = buf.readUInt32LE(at + 20);
    const nameLen = buf.readUInt16LE(at + 28);
    const extra = buf.readUInt16LE(at + 30) + buf.readUInt16LE(at + 32);
    const name = buf.toString('utf8', at + 46, at + 46 + nameLen);
    const local = buf.readUInt32LE(at + 42);
    const start = local + 30 + buf.readUInt16LE(local + 26) + buf.readUInt16LE(local + 28);
    const body = buf.subarray(start, start + size);
    const data = method === 8 ? zlib.inflateRawSync(body) : body;
    assert.equal(zlib.crc32(data), buf.readUInt32LE(at + 16), `${name}: its CRC`);
    out.set(name, data);
    at += 46 + nameLen + extra;
  }
  return out;
}

test('the night report lists what went on the wall, with thumbnails, and its zip holds the photos and the data', async () => {
  const srv = await startServer({ env: { LUMVO_RATE_LIMITS: 'off' } });
  try {
    const booth = new Booth(srv.base);
    await booth.act('settings', { autoApprove: true, tipLinks: ['https://pay.example/dj', '', ''] });
    const [ann, ben, cat] = [new Phone(srv.base), new Phone(srv.base), new Phone(srv.base)];
    const shout = async (p, name, text) => (await p.post('/api/guest/shoutout', { name, text })).data.id;
    await shout(ann, 'Ann', 'Happy birthday <b>Jo</b> & all');
    await shout(ben, 'Ben', 'Best night ever');
    const gone = await shout(cat, 'Cat', 'taken down later');
    await booth.act('remove', { id: gone });
    await booth.act('booth-post', { text: 'Last orders at the bar' });

    const ask = async (p, name, text) => (await p.post('/api/guest/request', { name, text })).data.id;
    const played = await ask(ann, 'Ann', 'Dancing Queen');
    await ask(ben, 'Ben', 'dancing queen');
    const refused = await ask(cat, 'Cat', 'The Birdie Song');
    await ask(ann, 'Ann', 'Mr Brightside');
    await booth.act('request-mark', { id: played, mark: 'played' });
    await booth.act('request-mark', { id: refused, mark: 'refuse' });
    await ann.post('/api/guest/tip', { name: 'Ann', text: 'for the encore' });

    const upload = async (p, shade) => (await p.request('POST', '/api/guest/photo?name=Ben', { body: photo(shade) })).data.id;
    const shown = await upload(ben, 0);
    const removed = await upload(cat, 90);
    await upload(ann, 180); // never shown
    for (const id of [shown, removed]) await booth.act('show', { id });
    await booth.act('remove', { id: removed });
    const firstLive = (await booth.doc('state')).feed[0].id;
    for (const p of [ann, ben]) await p.post('/api/guest/react', { id: firstLive, emoji: '🔥' });

    await booth.act('vote-start', { title: 'Encore?', duration: 600, options: ['Yes', 'No'] });
    const option = (await booth.doc('display')).voteBars.split('\n').map((l) => l.split('\t')[0]);
    for (const [p, o] of [[ann, 0], [ben, 0], [cat, 1]]) await p.post('/api/guest/vote', { option: option[o] });
    await booth.act('vote-stop', {});

    const r = await booth.get('/api/report');
    assert.equal(r.status, 200);
    assert.match(r.headers.get('content-type'), /^text\/html/);
    assert.match(r.headers.get('content-security-policy'), /default-src 'none'/);
    const html = r.text;
    const count = (label) => Number(new RegExp(`<b>(\\d+)</b>${label}`).exec(html)?.[1]);
    assert.deepEqual(
      ['Phones that joined in', 'Shout-outs', 'Photos', 'Song requests', 'Votes', 'Tips', 'Reactions'].map(count),
      [3, 3, 3, 4, 3, 1, 2]);
    assert.match(html, /<td class="t">\d\d:\d\d<\/td><td><b>Ann<\/b> Happy birthday &#60;b&#62;Jo&#60;\/b&#62; &#38; all/, 'a guest\'s text is escaped');
    assert.match(html, /Last orders at the bar/);
    assert.doesNotMatch(html, /taken down later/, 'a shout-out the DJ removed is not in the report');
    assert.match(html, /Dancing Queen<\/td><td class="n">2×<\/td><td><span class="mark played">Played/);
    assert.match(html, /The Birdie Song<\/td><td class="n">1×<\/td><td><span class="mark refused">Refused/);
    assert.match(html, /Mr Brightside<\/td><td class="n">1×<\/td><td><\/td>/);
    assert.match(html, /<b>Encore\?<\/b>.*3 votes · winner: Yes/);
    const thumbs = [...html.matchAll(/src="data:image\/jpeg;base64,([^"]+)"/g)].map((m) => decodeJpeg(Buffer.from(m[1], 'base64')));
    assert.equal(thumbs.length, 1, 'the shown photo only: not the removed one, not the one never shown');
    assert.equal(Math.max(thumbs[0].width, thumbs[0].height), 240, 'a thumbnail, not the photo');
    assert.doesNotMatch(html, /(src|href)="(?!data:)/, 'nothing outside the page');

    const zipRes = await fetch(`${srv.base}/api/report.zip`);
    assert.equal(zipRes.status, 200);
    assert.match(zipRes.headers.get('content-disposition'), /attachment; filename="lumvo-night-\d{4}-\d\d-\d\d\.zip"/);
    const entries = unzip(Buffer.from(await zipRes.arrayBuffer()));
    const data = JSON.parse(entries.get('report.json'));
    assert.deepEqual(data.counts, { phones: 3, posts: 3, photos: 3, requests: 4, votes: 3, tips: 1, reactions: 2 });
    assert.deepEqual(data.requests.map((q) => [q.song, q.count, q.mark]),
      [['Dancing Queen', 2, 'played'], ['The Birdie Song', 1, 'refused'], ['Mr Brightside', 1, '']]);
    assert.deepEqual(data.polls.map((p) => [p.title, p.winner, p.options.map((o) => o.votes)]), [['Encore?', 'Yes', [2, 1]]]);
    assert.equal(data.album.length, 1);
    const file = data.album[0].file;
    assert.match(file, /^photos\/LUMVO_g_\w+\.jpg$/);
    assert.equal(decodeJpeg(entries.get(file)).width, 640, 'the photo itself');
    assert.deepEqual([...entries.keys()].sort(), [file, 'report.json'].sort());

    const bad = await booth.get('/api/report?since=yesterday-ish');
    assert.equal(bad.status, 400);
    const later = await booth.get(`/api/report?since=${Date.now() + 60_000}`);
    assert.equal(/<b>(\d+)<\/b>Shout-outs/.exec(later.text)[1], '0', 'a night that starts later holds nothing');
  } finally {
    await srv.stop();
  }
});
