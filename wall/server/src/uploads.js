// Photo files: the uploads folder (guest, booth and poll photos, the poll picture's phone-sized
// copy), the looks folder's pictures, and the copies in the DJ's album folder. Every file is
// written whole or not at all (a temporary name, then a rename).

import fs from 'node:fs';
import path from 'node:path';
import { Worker } from 'node:worker_threads';
import { wallFull } from './text.js';
import { newId } from './ids.js';
import { ALBUM_FILE } from './images.js';
import { worthCopying } from './picture.js';

const PICTURE_WORKER = new URL('./picture-worker.js', import.meta.url);

// Guest photos stop when the uploads folder holds this much (LUMVO_UPLOADS_MAX_MB).
export const UPLOADS_MAX_BYTES = 2 * 1024 ** 3;

// Deletes the temporary files (`<name>.<pid>.tmp`) that writes leave until they rename them.
export function sweepTemporary(dirs) {
  let n = 0;
  for (const dir of dirs) {
    let entries = [];
    try {
      entries = fs.readdirSync(dir, { withFileTypes: true });
    } catch { /* no such folder yet */ }
    for (const e of entries) {
      if (e.isFile() && /\.\d+\.tmp$/.test(e.name)) {
        fs.rmSync(path.join(dir, e.name), { force: true });
        n++;
      }
    }
  }
  return n;
}

// Photos of posts and polls (LUMVO_g_, LUMVO_b_, LUMVO_poll_ and their phone copies) that nothing
// the wall holds names any more: left by posts that went before their file could be deleted, or
// by a wall from before such files were deleted. Files the moderator window copies in are left.
function sweepUnused(dir, inUse) {
  const keep = new Set(inUse.filter((ref) => ref.startsWith('/uploads/')).map((ref) => ref.slice(9)));
  for (const name of [...keep]) keep.add(name.replace(/\.(jpg|png|webp)$/, '_phone.jpg'));
  let n = 0;
  for (const e of fs.readdirSync(dir, { withFileTypes: true })) {
    if (!e.isFile() || keep.has(e.name) || !/^LUMVO_(g|b|poll)_[a-z0-9]+(_phone)?\.(jpg|png|webp)$/.test(e.name)) continue;
    fs.rmSync(path.join(dir, e.name), { force: true });
    n++;
  }
  return n;
}

function folderBytes(dir) {
  let n = 0;
  for (const e of fs.readdirSync(dir, { withFileTypes: true })) {
    if (e.isFile()) n += fs.statSync(path.join(dir, e.name)).size;
  }
  return n;
}

async function writeAtomic(file, buf) {
  const tmp = `${file}.${process.pid}.tmp`;
  try {
    await fs.promises.writeFile(tmp, buf);
    await fs.promises.rename(tmp, file);
  } catch (e) {
    await fs.promises.unlink(tmp).catch(() => {});
    throw e;
  }
}

// Gives the app (app.js) its photo calls: savePhoto, saveGuestPhoto, deletePhoto, makePhoneCopy,
// saveLookPicture, copyToAlbum, clearAlbum; and the engine wall.phonePhotoOf. app.uploadsBytes
// is the uploads folder's size, counted once at start and kept up to date; guest photos stop at
// app.uploadsMaxBytes (the booth's own pictures do not).
export function addPhotoFiles(app, { uploadsMaxBytes, log }) {
  const { wall, uploadsDir, looksDir } = app;
  app.uploadsMaxBytes = uploadsMaxBytes ?? UPLOADS_MAX_BYTES;
  const swept = sweepUnused(uploadsDir, app.store.photosInUse());
  if (swept) log(`deleted ${swept} photo${swept === 1 ? '' : 's'} no post or poll uses any more`);
  app.uploadsBytes = folderBytes(uploadsDir);
  // What the folder really holds: counted again after anything that may have deleted from it.
  app.recountUploads = () => fs.promises.readdir(uploadsDir, { withFileTypes: true })
    .then((entries) => Promise.all(entries.filter((e) => e.isFile()).map((e) => fs.promises.stat(path.join(uploadsDir, e.name)).then((st) => st.size, () => 0))))
    .then((sizes) => { app.uploadsBytes = sizes.reduce((a, b) => a + b, 0); }, (e) => log(`cannot count the uploads folder: ${e.message}`));
  // A post's photo that will never show again goes once the change is committed (a change that
  // is rolled back keeps it).
  // A photo the DJ removed from the wall leaves the night's report too (report-api.js).
  wall.dropPhoto = (ref, post) => {
    app.store.committed().then(() => {
      app.deletePhoto(ref);
      if (post?.state === 'removed') app.thumbs?.forget(post.id);
    }, () => {});
  };
  app.savePhoto = async (buf, ext, id) => {
    const name = `LUMVO_${id}.${ext}`;
    await writeAtomic(path.join(uploadsDir, name), buf);
    app.uploadsBytes += buf.length;
    return `/uploads/${name}`;
  };
  // The poll picture's phone-sized copy sits beside it: LUMVO_poll_x.png -> LUMVO_poll_x_phone.jpg.
  const phoneCopyName = (ref) => {
    const m = /^\/uploads\/(LUMVO_[A-Za-z0-9_-]{1,60})\.(jpg|png|webp)$/.exec(ref);
    return m && !m[1].endsWith('_phone') ? `${m[1]}_phone.jpg` : '';
  };
  wall.phonePhotoOf = (ref) => {
    const name = phoneCopyName(ref);
    return name && fs.existsSync(path.join(uploadsDir, name)) ? `/uploads/${name}` : ref;
  };
  // Makes the copy on a worker thread (decoding a camera photo takes up to a second); a picture
  // already small, or of a kind picture.js does not read, has none and goes to phones as it is.
  app.makePhoneCopy = async (ref) => {
    const name = phoneCopyName(ref);
    if (!name || fs.existsSync(path.join(uploadsDir, name))) return;
    try {
      const picture = await fs.promises.readFile(path.join(uploadsDir, ref.slice('/uploads/'.length)));
      if (!worthCopying(picture)) return;
      const copy = await new Promise((resolve, reject) => {
        const worker = new Worker(PICTURE_WORKER, { workerData: { picture } });
        const timer = setTimeout(() => { worker.terminate(); reject(new Error('took too long')); }, 20000);
        worker.once('message', (m) => { clearTimeout(timer); resolve(m); });
        worker.once('error', (e) => { clearTimeout(timer); reject(e); });
        worker.once('exit', () => { clearTimeout(timer); resolve(null); });
      });
      if (copy) {
        await writeAtomic(path.join(uploadsDir, name), Buffer.from(copy));
        app.uploadsBytes += copy.byteLength;
      }
    } catch (e) {
      log(`no phone copy of ${ref}: ${e.message}`);
    }
  };
  app.saveGuestPhoto = (buf, ext, id) => {
    if (app.uploadsBytes + buf.length > app.uploadsMaxBytes) throw wallFull();
    return app.savePhoto(buf, ext, id);
  };
  app.deletePhoto = (ref) => {
    const name = ref.slice('/uploads/'.length);
    if (!ALBUM_FILE.test(name)) return;
    // At once, so that the reply that follows (and the next photo) sees the room it made.
    const file = path.join(uploadsDir, name);
    try {
      const { size } = fs.statSync(file);
      fs.unlinkSync(file);
      app.uploadsBytes -= size;
    } catch { /* gone already */ }
  };
  app.saveLookPicture = async (buf, ext) => {
    const name = `${newId('look')}.${ext}`;
    await writeAtomic(path.join(looksDir, name), buf);
    return `/looks/${name}`;
  };

  // The album folder is the DJ's choice (an absolute path); without one, no copy is made.
  const albumDir = () => {
    const d = wall.settings.mediaDir;
    return d && path.isAbsolute(d) ? d : '';
  };
  app.copyToAlbum = (post) => {
    const dir = albumDir();
    const name = post.photo.startsWith('/uploads/') ? post.photo.slice(9) : '';
    if (!dir || !ALBUM_FILE.test(name)) return;
    fs.promises.mkdir(dir, { recursive: true })
      .then(() => fs.promises.copyFile(path.join(uploadsDir, name), path.join(dir, name)))
      .catch((e) => log(`album copy failed: ${e.message}`));
  };
  // Deletes only the photos this server put into the album, never anything else the DJ keeps there.
  app.clearAlbum = async () => {
    const dir = albumDir();
    if (!dir) return 0;
    let entries;
    try {
      entries = await fs.promises.readdir(dir, { withFileTypes: true });
    } catch {
      return 0;
    }
    let n = 0;
    for (const e of entries) {
      if (e.isFile() && ALBUM_FILE.test(e.name)) {
        await fs.promises.unlink(path.join(dir, e.name)).then(() => n++, () => {});
      }
    }
    // The album folder may be the uploads folder or share its disk's files: count again.
    if (n) await app.recountUploads();
    return n;
  };
}
