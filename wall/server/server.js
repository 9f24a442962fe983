// LUMVO wall server: `node server.js <host process id>`, run from the wall files' server folder.
// This file only checks the runtime; everything else loads after the check (a static import of
// the app would load node:sqlite before it could run; lifecycle.js imports nothing).

import { MIN_NODE, nodeTooOld } from './src/lifecycle.js';

if (nodeTooOld(process.versions.node)) {
  process.stderr.write(`LUMVO wall server needs Node.js ${MIN_NODE.join('.')} or newer; this is Node.js ${process.versions.node}.\n`);
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
