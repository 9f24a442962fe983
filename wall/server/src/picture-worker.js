// Makes the phone-sized copy of one picture (picture.js) off the thread that answers guests.

import { parentPort, workerData } from 'node:worker_threads';
import { phoneSized } from './picture.js';

const out = phoneSized(Buffer.from(workerData.picture.buffer, workerData.picture.byteOffset, workerData.picture.byteLength));
parentPort.postMessage(out ?? null);
