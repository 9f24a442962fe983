// The release's files for scripts/package.sh, from the repository as committed:
//
//   node release-files.mjs stage <repo> <stage>
//       copies the wall files (wall/server without its tests, wall/web; tracked files only) into
//       <stage>/video-wall and refuses any that carries a name of the DJ's own files (below)
//   node release-files.mjs update <config.json>
//       writes the update package and its signed update document; config:
//       { repo, stage, out, version, test, key, seconds, baseUrl }
//         stage    holds video-wall/ and plugin/LUMVO Video Wall.dll
//         out      the site's folder: plugin/<package>.zip, plugin/update.json, v1/plugin/update
//         test     a test build: "-test" in the package's name, "TEST BUILD" in the document
//         key      the private key to sign with (PEM)
//         seconds  the time stamped on every entry (the commit's time)
//         baseUrl  where the site serves the package, ending in "/"
//       prints the package's and document's paths on two lines
//
// The DJ's own files are the names the plug-in's update never writes (isKeptName in
// src/updates/package_rules.cpp, read from there so the two cannot drift), and the wall server's
// database with its logs, set-aside copies and backups. Names compare the way Windows compares
// them: ignoring case and the dots and blanks at the end of a name.
import { execFileSync } from 'node:child_process';
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import { zipBytes } from './zip-writer.mjs';

const PLUGIN_DLL = 'LUMVO Video Wall.dll';

function fail(message) {
  process.stderr.write(`release-files: ${message}\n`);
  process.exit(1);
}

export function keptNames(repo) {
  const source = fs.readFileSync(path.join(repo, 'src/updates/package_rules.cpp'), 'utf8');
  const list = source.match(/kKept\[\] = \{([^}]*)\}/);
  if (!list) fail('no kKept list in src/updates/package_rules.cpp');
  const names = [...list[1].matchAll(/"([^"]+)"/g)].map((m) => m[1].toLowerCase());
  if (!names.includes('layout.ini')) fail('the kKept list of src/updates/package_rules.cpp lost layout.ini');
  return names;
}

const windowsName = (name) => name.replace(/[. ]+$/, '').toLowerCase();

// Whether `name` (one path part) is one of the DJ's files: a kept name, the database and what the
// wall server keeps beside it (wall.db-wal, wall.db-shm, wall.db.damaged-<time>), or its backups.
export function isDjFile(name, kept) {
  const n = windowsName(name);
  return kept.includes(n) || n === 'backup' || n === 'wall.db' || n.startsWith('wall.db-') || n.startsWith('wall.db.');
}

function trackedFiles(repo, folder) {
  const out = execFileSync('git', ['-C', repo, 'ls-files', '-z', '--', folder], { encoding: 'utf8' });
  return out.split('\0').filter(Boolean);
}

function stage(repo, stageDir) {
  const kept = keptNames(repo);
  const wall = path.join(stageDir, 'video-wall');
  fs.rmSync(wall, { recursive: true, force: true });
  const files = [...trackedFiles(repo, 'wall/server'), ...trackedFiles(repo, 'wall/web')]
    .filter((f) => !f.startsWith('wall/server/test/'));
  for (const file of files) {
    const inWall = file.slice('wall/'.length);
    const dj = inWall.split('/').find((part) => isDjFile(part, kept));
    if (dj) fail(`${file}: "${dj}" is the name of one of the DJ's files, which the installer and the update never write`);
    const target = path.join(wall, inWall);
    fs.mkdirSync(path.dirname(target), { recursive: true });
    fs.copyFileSync(path.join(repo, file), target);
  }
  if (!fs.existsSync(path.join(wall, 'server', 'server.js'))) fail('no wall/server/server.js among the tracked files');
  process.stdout.write(`${files.length}\n`);
}

function treeEntries(folder, prefix) {
  const entries = [];
  for (const name of fs.readdirSync(folder).sort()) {
    const full = path.join(folder, name);
    if (fs.statSync(full).isDirectory()) entries.push(...treeEntries(full, `${prefix}${name}/`));
    else entries.push({ name: prefix + name, data: fs.readFileSync(full) });
  }
  return entries;
}

// The newest section of the Update page's "What's new" text for `version`: the lines after its
// heading, up to the next version heading. A test build of a version not yet described takes the
// newest section.
export function changelogOf(changesText, version, test) {
  const lines = changesText.split(/\r?\n/);
  const heading = (line) => /^\d+(\.\d+){0,2}$/.test(line.trim());
  let start = lines.findIndex((line) => line.trim() === version);
  if (start < 0 && test) start = lines.findIndex(heading);
  if (start < 0) fail(`wall/web/info/changes.txt has no section for ${version}`);
  const end = lines.findIndex((line, i) => i > start && heading(line));
  return lines.slice(start + 1, end < 0 ? undefined : end).map((l) => l.trim()).filter(Boolean).join('\n');
}

function update(config) {
  const name = `LUMVO-Video-Wall-${config.version}${config.test ? '-test' : ''}`;
  const dll = path.join(config.stage, 'plugin', PLUGIN_DLL);
  if (!fs.existsSync(dll)) fail(`no ${dll}`);
  // The wall files' root is the shallowest folder holding server/server.js, the plug-in the
  // shallowest DLL of its name: one folder each, side by side, so the update copies no DLL into
  // the wall folder.
  const entries = [
    ...treeEntries(path.join(config.stage, 'video-wall'), `${name}/video-wall/`),
    { name: `${name}/plugin/${PLUGIN_DLL}`, data: fs.readFileSync(dll) },
  ];
  const bytes = zipBytes(entries, config.seconds);
  const siteFolder = path.join(config.out, 'plugin');
  fs.mkdirSync(siteFolder, { recursive: true });
  fs.mkdirSync(path.join(config.out, 'v1', 'plugin'), { recursive: true });
  const zipPath = path.join(siteFolder, `${name}.zip`);
  fs.writeFileSync(zipPath, bytes);

  const changes = changelogOf(fs.readFileSync(path.join(config.repo, 'wall/web/info/changes.txt'), 'utf8'), config.version, config.test);
  const changelog = config.test
    ? `TEST BUILD, signed with a throw-away key: it updates only other test builds.\n${changes}`
    : changes;
  const doc = {
    version: config.version,
    url: `${config.baseUrl}${name}.zip`,
    sha256: crypto.createHash('sha256').update(bytes).digest('hex'),
    changelog,
  };
  const unsigned = path.join(config.out, 'update.unsigned.json');
  fs.writeFileSync(unsigned, `${JSON.stringify(doc)}\n`);
  const signer = path.join(config.repo, 'scripts', 'sign-update.mjs');
  const signed = path.join(siteFolder, 'update.json');
  execFileSync(process.execPath, [signer, 'sign', config.key, unsigned, signed], { stdio: 'inherit' });
  fs.rmSync(unsigned);
  fs.copyFileSync(signed, path.join(config.out, 'v1', 'plugin', 'update'));
  process.stdout.write(`${zipPath}\n${signed}\n`);
}

const [command, ...args] = process.argv.slice(2);
if (command === 'stage' && args.length === 2) stage(path.resolve(args[0]), path.resolve(args[1]));
else if (command === 'update' && args.length === 1) update(JSON.parse(fs.readFileSync(args[0], 'utf8')));
else fail('usage: stage <repo> <stage> | update <config.json>');
