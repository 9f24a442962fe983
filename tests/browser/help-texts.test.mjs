// The help pages of the moderator window's Info tab: each file must read well in the window's
// text view (its light markup turns lines into a title, headings, numbered steps, two-column rows
// and paragraphs), the Words page must list exactly the words that start a backdrop, and the
// newest version on the Update page is the one in the repository's VERSION file.

import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { WEB_DIR } from './harness.mjs';

const INFO = path.join(WEB_DIR, 'info');
const ROOT = path.resolve(WEB_DIR, '../..');
const PAGES = ['start.txt', 'features.txt', 'booth.txt', 'vote.txt', 'tips.txt', 'words.txt', 'help.txt', 'changes.txt'];

// The keyword groups of the word backdrops, in the overlay's order.
const KEYWORDS = [
  ['birthday'], ['love'], ['sexy'], ['cheers', 'party', 'celebrate'], ['congrats', 'congratulations', 'winner'],
  ['dance', 'dancing'], ['kiss', 'xoxo'], ['marry', 'wedding', 'engaged'], ['hot', 'fire', 'lit'], ['wild'],
  ['happy', 'smile'], ['sad', 'miss you'], ['wow', 'amazing'], ['lucky', 'jackpot'], ['shot', 'shots'],
  ['sing', 'anthem'], ['home', 'hometown'],
];

// How the text view reads a line (the same rules, in the same order).
function blocks(text) {
  const out = [];
  let titled = false;
  for (const raw of text.split('\n')) {
    const line = raw.replace(/\r$/, '').replace(/[ \t]+$/, '');
    if (!line) continue;
    const count = (re) => (line.match(re) || []).length;
    const [letters, lower, digits, stops] = [/\p{L}/gu, /\p{Ll}/gu, /[0-9]/g, /\./g].map(count);
    const heading = (letters >= 3 && lower === 0) || (digits >= 1 && stops === 1 && letters === 0 && line.length <= 8);
    if (heading) {
      out.push({ kind: titled ? 'heading' : 'title', a: line });
      titled = true;
      continue;
    }
    const step = /^([0-9]+)\. (.*)$/.exec(line);
    if (line.length > 2 && step) {
      out.push({ kind: 'step', a: step[2], b: step[1] });
      continue;
    }
    const gap = line.indexOf('  ', 1);
    const right = gap > 0 ? line.slice(gap + 2).replace(/^ +/, '') : '';
    if (right) {
      out.push({ kind: 'row', a: line.slice(0, gap), b: right });
      continue;
    }
    out.push({ kind: 'paragraph', a: line });
  }
  return out;
}

test('every help page reads as intended in the text view', () => {
  for (const name of PAGES) {
    const file = path.join(INFO, name);
    const bytes = fs.readFileSync(file);
    assert.ok(bytes.length > 0 && bytes.length <= 250000, `${name}: the view refuses empty files and files over 250000 bytes`);
    const text = bytes.toString('utf8');
    assert.equal(Buffer.from(text, 'utf8').equals(bytes), true, `${name} is UTF-8`);
    assert.doesNotMatch(text, /[\r\t]/, `${name}: no carriage returns or tabs`);
    const b = blocks(text);
    assert.equal(b[0].kind, 'title', `${name} starts with its title line in capitals`);
    assert.equal(b.filter((x) => x.kind === 'title').length, 1);
    assert.ok(b.length >= 3, `${name} has some content`);
    // Steps under one heading count up from 1 without gaps, as a reader expects.
    let expected = 1;
    for (const x of b) {
      if (x.kind === 'heading' || x.kind === 'title') expected = 1;
      else if (x.kind === 'step') {
        assert.equal(Number(x.b), expected, `${name}: step "${x.a}" should be number ${expected}`);
        expected++;
      }
    }
    // A row's left column is narrow (at most 170 pixels of bold 13 px text): keep it short.
    for (const x of b.filter((r) => r.kind === 'row')) {
      assert.ok(x.a.length <= 36, `${name}: the row label "${x.a}" is too long for its column`);
    }
  }
});

test('the Words page lists exactly the keywords that start a backdrop', () => {
  const rows = blocks(fs.readFileSync(path.join(INFO, 'words.txt'), 'utf8')).filter((x) => x.kind === 'row');
  const listed = rows.map((r) => r.a.split(',').map((w) => w.trim()));
  const keywordRows = listed.filter((words) => words.every((w) => w === w.toLowerCase()));
  assert.deepEqual(keywordRows, KEYWORDS, 'one row per keyword group, in order, with every keyword');
});

test('the newest version in changes.txt, and any the wall\'s packages declare, is the one in VERSION', () => {
  const version = fs.readFileSync(path.join(ROOT, 'VERSION'), 'utf8').trim();
  assert.match(version, /^\d+\.\d+$/);
  const headings = blocks(fs.readFileSync(path.join(INFO, 'changes.txt'), 'utf8')).filter((b) => b.kind === 'heading');
  assert.equal(headings.find((h) => /^\d+(\.\d+)+$/.test(h.a))?.a, version, 'changes.txt lists the newest version first');
  for (const file of ['package.json', 'wall/server/package.json']) {
    const declared = JSON.parse(fs.readFileSync(path.join(ROOT, file), 'utf8')).version;
    assert.ok(declared === undefined || declared === version, `${file} says ${declared}`);
  }
});
