// LUMVO wall server: `node server.js <host process id>`, run from the wall files' server folder.
// This file only checks the runtime; everything else loads after the check (a static import of
// the app would load node:sqlite before it could run; lifecycle.js imports nothing).

import { MIN_NODE, nodeTooOld, hideSqliteWarning } from './src/lifecycle.js';

if (nodeTooOld(process.versions.node)) {
  process.stderr.write(`LUMVO wall server needs Node.js ${MIN_NODE.join('.')} or newer; this is Node.js ${process.versions.node}.\n`);
  process.exit(1);
}

hideSqliteWarning();

import('./src/main.js').then((m) => m.main()).catch((e) => {
  process.stderr.write(`LUMVO wall server could not start: ${e && e.stack ? e.stack : e}\n`);
  process.exit(1);
});
