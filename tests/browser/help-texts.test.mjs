// The help pages of the moderator window's Info tab: each file must read in the window's text view
// (UTF-8, no carriage returns or tabs, a title line in capitals, numbered steps that count up), and
// the newest version on the Update page is the one in the repository's VERSION file.

import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { WEB_DIR } from './harness.mjs';

const INFO = path.join(WEB_DIR, 'info');
const ROOT = path.resolve(WEB_DIR, '../..');
const PAGES = ['start.txt', 'features.txt', 'booth.txt', 'vote.txt', 'tips.txt', 'words.txt', 'help.txt', 'changes.txt'];

// The non-empty lines of a page; a heading has letters and no lower case, or is a version number.
const lines = (name) => fs.readFileSync(path.join(INFO, name), 'utf8').split('\n').filter((l) => l.trim());
const isHeading = (line) => (/\p{L}.*\p{L}.*\p{L}/u.test(line) && !/\p{Ll}/u.test(line)) || /^\d+(\.\d+)+$/.test(line);

test('every help page reads in the text view', () => {
  for (const name of PAGES) {
    const bytes = fs.readFileSync(path.join(INFO, name));
    assert.equal(Buffer.from(bytes.toString('utf8'), 'utf8').equals(bytes), true, `${name} is UTF-8`);
    assert.doesNotMatch(bytes.toString('utf8'), /[\r\t]/, `${name}: no carriage returns or tabs`);
    const all = lines(name);
    assert.ok(all.length >= 3 && isHeading(all[0]), `${name} starts with its title line in capitals`);
    // Steps under one heading count up from 1 without gaps, as a reader expects.
    let expected = 1;
    for (const line of all) {
      const step = /^(\d+)\. /.exec(line);
      if (isHeading(line)) expected = 1;
      else if (step) assert.equal(Number(step[1]), expected++, `${name}: "${line}"`);
    }
  }
});

test('the newest version in changes.txt, and any the wall\'s packages declare, is the one in VERSION', () => {
  const version = fs.readFileSync(path.join(ROOT, 'VERSION'), 'utf8').trim();
  assert.match(version, /^\d+\.\d+$/);
  assert.equal(lines('changes.txt').find((l) => /^\d+(\.\d+)+$/.test(l)), version, 'changes.txt lists the newest version first');
  for (const file of ['package.json', 'wall/server/package.json']) {
    const declared = JSON.parse(fs.readFileSync(path.join(ROOT, file), 'utf8')).version;
    assert.ok(declared === undefined || declared === version, `${file} says ${declared}`);
  }
});
