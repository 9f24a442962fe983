// The contract corpus in tests/contract/: the display and moderation documents a real server
// writes for scripted scenarios, and beside each the values the plug-in must decode from it
// (built from tests/contract/plugin-reads.json). The plug-in's own tests read the same files with
// its flat readers. This test fails when the server writes anything else; after an intended
// change, `npm run contract:update` (LUMVO_CONTRACT_UPDATE=1) writes the files again.

import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { startServer, Phone, Booth, fakeJpeg, fakePng } from './helpers/server.js';

const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../../..');
const CORPUS = path.join(ROOT, 'tests/contract');
const READS = JSON.parse(fs.readFileSync(path.join(CORPUS, 'plugin-reads.json'), 'utf8'));
const UPDATE = process.env.LUMVO_CONTRACT_UPDATE === '1';
const KINDS = ['display', 'state'];

const BASE = { repeatMessages: false, hotNeed: 3, duration: 60, tipLinks: ['paypal.me/djsam', '', ''], theme: 'garden' };
const dataUrl = (type, buf) => `data:${type};base64,${buf.toString('base64')}`;

// What a scenario drives: the booth (the plug-in's side) and new phones.
function driver(srv) {
  const booth = new Booth(srv.base);
  const ok = (r) => {
    assert.equal(r.status, 200, r.text);
    return r.data.id;
  };
  const w = {
    act: (name, body) => booth.act(name, body),
    settings: (s) => booth.act('settings', s),
    display: () => booth.doc('display'),
    async phone(name, color) {
      const p = new Phone(srv.base);
      ok(await p.post('/api/guest/profile', { name, color }));
      return p;
    },
    send: async (phone, kind, body) => ok(await phone.post(`/api/guest/${kind}`, body)),
    photo: async (phone, caption) => ok(await phone.request('POST', `/api/guest/photo?text=${encodeURIComponent(caption)}`, { body: fakeJpeg(400) })),
    react: async (id, emoji) => ok(await new Phone(srv.base).post('/api/guest/react', { id, emoji })),
    vote: async (option) => ok(await new Phone(srv.base).post('/api/guest/vote', { option })),
    async venuePost(text) {
      const venue = new Phone(srv.base);
      ok(await venue.post('/api/guest/venue-login', { pin: (await booth.doc('state')).venuePin }));
      return ok(await venue.post('/api/guest/venue-post', { name: 'Bar', text }));
    },
    // Shows a post and takes it onto the big card at once, before anything else can queue.
    async feature(id) {
      await w.act('show', { id });
      assert.equal((await w.display()).featuredId, id);
    },
  };
  return w;
}

const SCENARIOS = {
  // A wall that has just started: nothing posted, no settings pushed yet.
  empty: async () => {},

  // Every kind of guest post waiting for the DJ; a merged and marked request, a rejected post, a
  // post the word filter flagged, a blocked phone, and the host asked to search for a request.
  'guest-posts': async (w) => {
    await w.settings(BASE);
    const zoe = await w.phone('Zoë', '#22d3ee');
    await w.send(zoe, 'shoutout', { text: 'Happy birthday Jo!\nLove, Zoë' });
    const song = await w.send(await w.phone('Ann'), 'request', { text: 'Mr. Brightside – The Killers' });
    await w.send(await w.phone('Bob'), 'request', { text: 'mr brightside the killers' });
    const played = await w.send(zoe, 'request', { text: 'Dancing Queen - ABBA' });
    await w.act('request-mark', { id: played, mark: 'played' });
    await w.photo(await w.phone('Pia'), 'Look at us');
    await w.send(await w.phone('Tom'), 'tip', { text: 'Great set!' });
    await w.act('reject', { id: await w.send(await w.phone('Rex'), 'shoutout', { text: 'rude words' }) });
    await w.send(await w.phone('Mo'), 'shoutout', { text: 'this DJ is sh*t' });
    const spammer = await w.phone('Spam');
    const spam = await w.send(spammer, 'shoutout', { text: 'spam 1' });
    await w.send(spammer, 'shoutout', { text: 'spam 2' });
    await w.act('block', { id: spam });
    await w.act('vdj-search', { id: song });
  },

  // Approved posts of every kind in the feed; the first on the big card, hot from its reactions.
  featured: async (w) => {
    await w.settings(BASE);
    const card = await w.send(await w.phone('Zoë', '#22d3ee'), 'shoutout', { text: 'Happy birthday Jo! 🎂' });
    await w.feature(card);
    await w.act('show', { id: await w.photo(await w.phone('Pia', '#f472b6'), 'Look at us') });
    await w.act('show', { id: await w.send(await w.phone('Tom'), 'tip', { text: 'Great set!' }) });
    await w.act('show', { id: await w.send(await w.phone('Ann'), 'request', { text: 'Mr Brightside' }) });
    await w.act('booth-post', { name: 'DJ Sam', text: 'Thanks for coming', photo: dataUrl('image/jpeg', fakeJpeg(300)) });
    await w.venuePost('Last orders at the bar');
    for (const emoji of ['🔥', '🔥', '❤️']) await w.react(card, emoji);
  },

  'poll-running': async (w) => {
    await w.settings(BASE);
    await w.act('vote-start', { title: 'Best night?', duration: 600, photo: dataUrl('image/png', fakePng(300)), options: ['Yes', 'No', 'Maybe'] });
    for (const option of ['o1', 'o1', 'o1', 'o2']) await w.vote(option);
  },

  // Closed with a winner: the result is on the wall and in the feed.
  'poll-closed': async (w) => {
    await w.settings(BASE);
    await w.act('vote-start', { title: 'Encore?', duration: 600, options: ['Yes', 'No'] });
    for (const option of ['o1', 'o2', 'o1']) await w.vote(option);
    await w.act('vote-stop');
    await new Promise((r) => setTimeout(r, 150)); // voteClosedFor past zero
  },

  // Guest text that equals or contains key names, quotes, backslashes, TAB, LF, non-ASCII and
  // emoji, everywhere a guest or the DJ can put text: the card, the feed, the lists, a look, the
  // host's search, a poll.
  'hostile-texts': async (w) => {
    await w.settings({ ...BASE, allowAllEmojis: true });
    const card = await w.send(await w.phone('featuredId'), 'shoutout', { text: '"text":"x"\nsecond line\tafter a TAB' });
    await w.feature(card);
    const live = await w.send(await w.phone('type'), 'shoutout', { text: 'C:\\music\\ and \\"feed\\u0022 "}]' });
    await w.act('show', { id: live });
    for (const emoji of ['👨‍👩‍👧', '🇬🇧', '👍🏽']) await w.react(live, emoji);
    const pending = [['feed', 'requests'], ['pending"', '"tips'], ['x"blocked', 'guestLooks'], ['\\', 'featuredId'],
      ['id', '"'], ['voteActive', '\\'], ['Zoë 日本', 'ünïcödé ✨ 👍🏽 zero\u200bwidth'], ['"feedPacked"', 'tab\there, quote " and \\ end\\']];
    for (const [name, text] of pending) await w.send(await w.phone(name), 'shoutout', { text });
    await w.send(await w.phone('requests'), 'request', { text: '"requests"' });
    await w.send(await w.phone('tips'), 'tip', { text: 'voteBars' });
    const look = await w.act('guest-bg-looks', { save: { name: 'pending', kind: 'solid', colors: ['#123456'] } });
    await w.act('guest-bg-looks', { apply: look.id });
    await w.act('vdj-search', { text: 'feed' });
    await w.act('vote-start', { title: 'voteBars', duration: 600, options: ['feedPacked', 'Say "hi" \\o/'] });
    await w.vote('o2');
  },
};

// The server's ids (ids.js newId): posts, polls, looks, blocked phones, photo and picture files. One
// may follow an escaped LF or TAB in a packed field.
const ID = /(?<=^|[^A-Za-z0-9]|\\[nt])(p|v|l|b|g|poll|look)_([0-9a-z]{16,24})(?![0-9a-z])/g;

// Stand-ins for what changes from run to run, put into the text itself so that the layout stays
// exactly as the server wrote it. Ids become <prefix>_<n> in order of first appearance, the same
// for both documents of a scenario.
function normaliser(port) {
  const ids = new Map();
  const counts = new Map();
  const standIn = (prefix, raw) => {
    const key = `${prefix}_${raw}`;
    if (!ids.has(key)) {
      counts.set(prefix, (counts.get(prefix) ?? 0) + 1);
      ids.set(key, `${prefix}_${counts.get(prefix)}`);
    }
    return ids.get(key);
  };
  return (text) => text
    .replaceAll(`http://192.168.1.50:${port}`, 'http://192.168.1.50:8787')
    .replace(ID, (_, prefix, raw) => standIn(prefix, raw))
    .replace(/"(createdAt|lastAt)":\d+/g, '"$1":1767225600000')
    .replace(/"venuePin":"[A-Z2-9]{5}"/, '"venuePin":"K7Q2M"')
    .replace(/"voteRemain":(?!0[,}])[0-9.]+/g, '"voteRemain":42.5')
    .replace(/"voteClosedFor":(?!0[,}])[0-9.]+/g, '"voteClosedFor":3.5');
}

const JS_TYPE = { string: 'string', number: 'number', bool: 'boolean' };
const FIELD = { hot: (s) => s === '1', count: Number, rgb: (s) => s.split(',').map(Number) };

// The values JSON.parse gives for every key the plug-in reads; for the display document also the
// feed and the poll bars split as docs/wall-api.md describes them.
function expectations(kind, text) {
  const doc = JSON.parse(text);
  const reads = READS[kind].map(({ key, as, fields }) => {
    assert.ok(Object.hasOwn(doc, key), `the ${kind} document has no "${key}"`);
    const value = doc[key];
    if (as !== 'objects') {
      assert.equal(typeof value, JS_TYPE[as], `${kind} "${key}" is read as ${as}`);
      return { key, as, value };
    }
    assert.ok(Array.isArray(value), `${kind} "${key}" is an array`);
    return {
      key, as, value: value.map((o) => Object.fromEntries(fields.map((f) => {
        assert.ok(['string', 'number', 'boolean'].includes(typeof o[f]), `${kind} "${key}" objects have a plain "${f}"`);
        return [f, o[f]];
      }))),
    };
  });
  const out = { reads };
  if (kind === 'display') {
    for (const [key, { into, fields }] of Object.entries(READS.packed)) {
      out[into] = doc[key] === '' ? [] : doc[key].split('\n').map((line) => {
        const values = line.split('\t');
        assert.equal(values.length, fields.length, `a ${key} line has ${fields.length} fields: ${JSON.stringify(line)}`);
        return Object.fromEntries(fields.map((f, i) => [f, FIELD[f] ? FIELD[f](values[i]) : values[i]]));
      });
    }
  }
  return out;
}

// One read or packed item a line; the objects of an "objects" read one a line too.
function formatExpect(e) {
  const item = (x) => (x.as === 'objects' && x.value.length
    ? `    {"key": ${JSON.stringify(x.key)}, "as": "objects", "value": [\n${x.value.map((o) => `      ${JSON.stringify(o)}`).join(',\n')}\n    ]}`
    : `    ${JSON.stringify(x)}`);
  const sections = Object.entries(e).map(([k, list]) => (list.length ? `  "${k}": [\n${list.map(item).join(',\n')}\n  ]` : `  "${k}": []`));
  return `{\n${sections.join(',\n')}\n}\n`;
}

for (const [name, run] of Object.entries(SCENARIOS)) {
  test(`corpus: ${name}`, async () => {
    const srv = await startServer();
    try {
      await run(driver(srv));
      const normalise = normaliser(srv.port);
      for (const kind of KINDS) {
        const text = normalise((await new Booth(srv.base).get(`/api/${kind}`)).text);
        const file = path.join(CORPUS, kind, `${name}.json`);
        const expectFile = path.join(CORPUS, kind, `${name}.expect.json`);
        const expect = expectations(kind, text);
        if (UPDATE) {
          fs.mkdirSync(path.dirname(file), { recursive: true });
          fs.writeFileSync(file, text);
          fs.writeFileSync(expectFile, formatExpect(expect));
          continue;
        }
        assert.ok(fs.existsSync(file), `${path.relative(ROOT, file)} is missing: run npm run contract:update`);
        assert.equal(text, fs.readFileSync(file, 'utf8'), `the server no longer writes ${path.relative(ROOT, file)}`);
        assert.deepEqual(expect, JSON.parse(fs.readFileSync(expectFile, 'utf8')), `${path.relative(ROOT, expectFile)} is out of date`);
      }
    } finally {
      await srv.stop();
    }
  });
}

test('corpus: no file without its scenario; the docs mark exactly the keys the plug-in reads', () => {
  const wanted = new Set(Object.keys(SCENARIOS).flatMap((n) => [`${n}.json`, `${n}.expect.json`]));
  for (const kind of KINDS) {
    for (const f of fs.readdirSync(path.join(CORPUS, kind))) {
      if (wanted.has(f)) continue;
      if (UPDATE) fs.rmSync(path.join(CORPUS, kind, f));
      else assert.fail(`tests/contract/${kind}/${f} belongs to no scenario`);
    }
  }
  const api = fs.readFileSync(path.join(ROOT, 'docs/wall-api.md'), 'utf8');
  const section = (title) => api.slice(api.indexOf(title), api.indexOf('\n#', api.indexOf(title) + 1) >>> 0);
  const bold = (text) => new Set([...text.matchAll(/\*\*`(\w+)`\*\*/g)].map((m) => m[1]));
  const listed = (kind) => new Set(READS[kind].flatMap((r) => [r.key, ...(r.fields ?? [])]));
  assert.deepEqual(bold(section('### The display document')), listed('display'));
  assert.deepEqual(bold(section('### The moderation document')), listed('state'));
});
