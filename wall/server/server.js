// LUMVO wall server: `node server.js <host process id>`, run from the wall files' server folder.
// This file only checks the runtime; everything else loads after the check (static imports
// would load node:sqlite before it could run).

const NEEDED = '22.13.0';
const [major, minor] = process.versions.node.split('.').map(Number);
if (major < 22 || (major === 22 && minor < 13)) {
  process.stderr.write(`LUMVO wall server needs Node.js ${NEEDED} or newer; this is Node.js ${process.versions.node}.\n`);
  process.exit(1);
}

// node:sqlite announces itself as experimental once; the DJ's console does not need that.
const emitWarning = process.emitWarning;
process.emitWarning = function filtered(warning, ...rest) {
  const type = typeof rest[0] === 'string' ? rest[0] : rest[0] && rest[0].type;
  const text = typeof warning === 'string' ? warning : warning && warning.message;
  if (type === 'ExperimentalWarning' && /SQLite/i.test(String(text))) return;
  return emitWarning.call(process, warning, ...rest);
};

import('./src/main.js').then((m) => m.main()).catch((e) => {
  process.stderr.write(`LUMVO wall server could not start: ${e && e.stack ? e.stack : e}\n`);
  process.exit(1);
});
