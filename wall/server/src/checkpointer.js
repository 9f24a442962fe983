// The checkpoint worker. Checkpoints copy the write-ahead log into the database file and flush
// it: tens of milliseconds that would stall every guest if they ran inside a request. This worker
// thread (started by store.js) runs them on its own connection every second instead. PASSIVE
// checkpoints never wait for the main connection's writers; one that finds the database busy is
// simply tried again a second later. Any message from the main thread stops it.
//
// workerData: { file }

import { workerData, parentPort } from 'node:worker_threads';
import { hideSqliteWarning } from './lifecycle.js';

hideSqliteWarning();
const { DatabaseSync } = await import('node:sqlite');

const db = new DatabaseSync(workerData.file);
db.exec('PRAGMA busy_timeout=1000');
const timer = setInterval(() => {
  try {
    db.exec('PRAGMA wal_checkpoint(PASSIVE)');
  } catch { /* busy: the next round catches up */ }
}, 1000);

parentPort.once('message', () => {
  clearInterval(timer);
  db.close();
  parentPort.close();
});
