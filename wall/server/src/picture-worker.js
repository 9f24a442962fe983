// Makes the phone-sized copy (or, with workerData.side, another size) of one picture (picture.js)
// off the thread that answers guests.

import { parentPort, workerData } from 'node:worker_threads';
import { phoneSized } from './picture.js';

const picture = Buffer.from(workerData.picture.buffer, workerData.picture.byteOffset, workerData.picture.byteLength);
const out = phoneSized(picture, workerData.side ? { side: workerData.side } : undefined);
parentPort.postMessage(out ?? null);
