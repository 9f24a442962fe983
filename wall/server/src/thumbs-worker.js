// Makes report thumbnails on a worker thread: for each job, the picture `src` as a JPEG of at
// most workerData.side pixels on its long side in `dst` (written beside it and renamed, so a
// killed worker leaves no half file under the name). A picture already that small and light is
// copied as it is; one picture.js cannot read (WebP, progressive JPEG) gets none. Posts the number
// of thumbnails made.

import fs from 'node:fs';
import { parentPort, workerData } from 'node:worker_threads';
import { phoneSized } from './picture.js';

const SMALL_BYTES = 64 * 1024;
let made = 0;
for (const { src, dst } of workerData.jobs) {
  try {
    const picture = fs.readFileSync(src);
    const out = phoneSized(picture, { side: workerData.side, quality: 70 });
    const bytes = out ? Buffer.from(out) : picture.length <= SMALL_BYTES ? picture : null;
    if (!bytes) continue;
    const tmp = `${dst}.${process.pid}.tmp`;
    fs.writeFileSync(tmp, bytes);
    fs.renameSync(tmp, dst);
    made++;
  } catch { /* gone, or not a picture: no thumbnail */ }
}
parentPort.postMessage(made);
