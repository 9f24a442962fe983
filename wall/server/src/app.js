// Wires the wall together: storage, engine, rate limits, routes, static folders, the album.

import http from 'node:http';
import fs from 'node:fs';
import path from 'node:path';
import { Worker } from 'node:worker_threads';
import { Store } from './store.js';
import { BACKUP_EVERY_MS, backupFiles, prepareDatabase, writeBackup } from './backup.js';
import { Wall } from './wall.js';
import { GuestLimits, Turns, addressKey } from './ratelimit.js';
import { Replies } from './replies.js';
import { securityHeaders, sendError, parseCookies, checkLoopback } from './http.js';
import { InputError } from './text.js';
import { guestRoutes } from './guest-api.js';
import { contractRoutes } from './contract-api.js';
import { cleanPath, safeJoin, sendFile } from './static.js';
import { isLoopback, joinAddress } from './netaddr.js';
import { DEVICE_ID, deviceOfCookie, signDevice, newSecret, newId } from './ids.js';
import { ALBUM_FILE, imageContentType } from './images.js';
import { worthCopying } from './picture.js';

const notFound = () => new InputError('There is nothing here.', 'not_found', 404);
const PICTURE_WORKER = new URL('./picture-worker.js', import.meta.url);

// Guest photos stop when the uploads folder holds this much (LUMVO_UPLOADS_MAX_MB).
export const UPLOADS_MAX_BYTES = 2 * 1024 ** 3;

export function wallFull() {
  const e = new InputError('The wall is full, try later.', 'full', 503);
  e.retryAfter = 60;
  return e;
}

// A full disk, as SQLite (SQLITE_FULL, also in its extended codes) or the file system says it.
export function storageFull(e) {
  return (typeof e?.errcode === 'number' && (e.errcode & 0xff) === 13) || e?.code === 'ENOSPC' || e?.code === 'EDQUOT';
}

// Deletes the temporary files (`<name>.<pid>.tmp`) that writes leave until they rename them.
function sweepTemporary(dirs) {
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

function folderBytes(dir) {
  let n = 0;
  for (const e of fs.readdirSync(dir, { withFileTypes: true })) {
    if (e.isFile()) n += fs.statSync(path.join(dir, e.name)).size;
  }
  return n;
}

// options: { wallDir, webDir, port, host, clock, rateLimits, joinHost, synchronous, log, onShutdown,
// uploadsMaxBytes, backupEveryMs }
export function createApp(options) {
  const wallDir = path.resolve(options.wallDir);
  const webDir = path.resolve(options.webDir ?? path.join(wallDir, 'web'));
  const uploadsDir = path.join(wallDir, 'uploads');
  const looksDir = path.join(wallDir, 'looks');
  fs.mkdirSync(uploadsDir, { recursive: true });
  fs.mkdirSync(looksDir, { recursive: true });
  const log = options.log ?? (() => {});
  // A photo, look picture or backup still being written when the last process was killed.
  const orphans = sweepTemporary([uploadsDir, looksDir, backupFiles(wallDir).dir]);
  if (orphans) log(`removed ${orphans} unfinished file${orphans === 1 ? '' : 's'} left by the last run`);
  const dbFile = path.join(wallDir, 'wall.db');
  prepareDatabase(dbFile, wallDir, log);
  const store = new Store(dbFile, { synchronous: options.synchronous });
  const clock = options.clock ?? Date.now;
  const wall = new Wall(store, { clock, log });

  const app = {
    wall, store, uploadsDir, looksDir, webDir, wallDir,
    port: options.port ?? 8787,
    limits: new GuestLimits({ clock, disabled: options.rateLimits === false }),
    replies: new Replies({ clock }),
    turns: new Turns(),
    joinUrl: joinAddress({ port: () => app.port, joinHost: options.joinHost, log }),
  };

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

  // The uploads folder's size, counted once at start and kept up to date; guest photos stop at
  // uploadsMaxBytes (the booth's own pictures do not).
  app.uploadsMaxBytes = options.uploadsMaxBytes ?? UPLOADS_MAX_BYTES;
  app.uploadsBytes = folderBytes(uploadsDir);
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
    const file = path.join(uploadsDir, name);
    fs.promises.stat(file).then((st) => fs.promises.unlink(file).then(() => { app.uploadsBytes -= st.size; })).catch(() => {});
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
    return n;
  };

  const guest = guestRoutes(app);
  const contract = contractRoutes(app);

  async function serveStatic(ctx) {
    const { req } = ctx;
    const p = ctx.path;
    // Decided on the lower-case path too: Windows finds web/mod/ under "/MOD/" as well.
    const lower = p.toLowerCase();
    const loopbackOnly = /^\/(mod|bg)(\/|$)/.test(lower) || lower.startsWith('/web/info/');
    if (loopbackOnly) checkLoopback(req, app.port);
    let root = webDir;
    let rel = p;
    let cache = 'no-cache';
    if (p === '/') rel = '/index.html';
    else if (lower === '/mod' || lower === '/bg') rel = `${p}/index.html`;
    else if (lower.startsWith('/web/info/')) rel = p.slice(4);
    else if (p.startsWith('/uploads/')) {
      root = uploadsDir;
      rel = p.slice(8);
      cache = 'private, max-age=3600';
      if (!ctx.loopback && !wall.publicPhoto(p)) throw notFound();
    } else if (p.startsWith('/looks/')) {
      root = looksDir;
      rel = p.slice(6);
      cache = 'public, max-age=3600';
    } else if (lower.startsWith('/info/') || lower === '/info') throw notFound();
    const file = safeJoin(root, rel);
    if (!file) throw notFound();
    const type = root === webDir ? undefined : imageContentType(file);
    if (!(await sendFile(req, ctx.res, root, file, { cache, type }))) throw notFound();
  }

  // The phone's device id from its signed cookie, or a new one with its cookie. An address that
  // has been given many new ones lately gets none for a while (deviceWait: the seconds): its
  // requests then have no device, which reads allow and sends refuse with 429.
  const setDeviceCookie = (res, id) => res.setHeader('Set-Cookie',
    `lumvo_device=${signDevice(wall.cookieKey, id)}; Path=/; Max-Age=31536000; HttpOnly; SameSite=Lax`);
  // Cookies already checked, so that a phone's every request does not cost an HMAC (bounded).
  const knownCookies = new Map();
  function device(value, address, res) {
    let id = knownCookies.get(value);
    if (id) return { deviceId: id, deviceWait: 0 };
    id = deviceOfCookie(wall.cookieKey, value);
    if (id) {
      if (knownCookies.size >= 20000) knownCookies.clear();
      knownCookies.set(value, id);
      return { deviceId: id, deviceWait: 0 };
    }
    // A phone from before cookies were signed keeps its id once, now signed.
    if (DEVICE_ID.test(value ?? '') && wall.devices.has(value)) {
      setDeviceCookie(res, value);
      return { deviceId: value, deviceWait: 0 };
    }
    const wait = app.limits.newDevice(address);
    if (wait) return { deviceId: '', deviceWait: wait };
    id = newSecret(16);
    setDeviceCookie(res, id);
    return { deviceId: id, deviceWait: 0 };
  }

  async function handle(req, res) {
    securityHeaders(res);
    // The path is taken as sent ("//mod/x" is a path, not a host); the query only by the photo upload.
    const q = req.url.indexOf('?');
    const url = { pathname: q < 0 ? req.url : req.url.slice(0, q), search: q < 0 ? '' : req.url.slice(q + 1) };
    if (!url.pathname.startsWith('/')) return sendError(res, new InputError('Bad address.', 'bad_path'));
    const loopback = isLoopback(req.socket.remoteAddress);
    const address = loopback ? '' : addressKey(req.socket.remoteAddress);
    const cookies = parseCookies(req.headers.cookie);
    const { deviceId, deviceWait } = device(cookies.lumvo_device, address, res);
    const clean = cleanPath(url.pathname);
    const ctx = { req, res, url, path: clean, cookies, deviceId, deviceWait, address, app, loopback };
    const key = `${req.method} ${clean}`;
    // Replies wait for the commit of what was written (store.js, group commit); a failed commit
    // is answered as a full disk or an internal error.
    res.gate = () => store.pending;
    res.failure = (err) => {
      if (storageFull(err)) {
        log(`refused ${key}: ${err.message}`);
        return wallFull();
      }
      log(`error on ${key}: ${err.stack ?? err}`);
      return err;
    };
    try {
      // Reads are built from committed state: what is waiting to be committed is committed now
      // (a failure there answers the writers and sends memory back), so a read never waits.
      if (req.method === 'GET' || req.method === 'HEAD') store.flush();
      if (clean === null) throw notFound();
      if (clean.startsWith('/api/guest/')) {
        const h = guest[key];
        if (!h) throw routeError(guest, clean);
        const turn = app.turns.take();
        if (turn) await turn;
        await h(ctx);
      } else if (clean.startsWith('/api/')) {
        checkLoopback(req, app.port);
        const h = contract[key];
        if (!h) throw routeError(contract, clean);
        await h(ctx);
      } else if (req.method === 'GET' || req.method === 'HEAD') {
        await serveStatic(ctx);
      } else {
        throw new InputError('That method is not allowed here.', 'method', 405);
      }
    } catch (err) {
      const e = err instanceof InputError ? err : res.failure(err);
      if (res.headersSent) res.destroy();
      else sendError(res, e);
      if (!req.complete) req.resume();
    }
  }

  const server = http.createServer({ requestTimeout: 60000, headersTimeout: 20000, keepAliveTimeout: 5000 }, (req, res) => {
    handle(req, res).catch(() => res.destroy());
  });
  server.maxHeadersCount = 60;

  // Posts move on their own (featured time, polls closing): keep the clock ticking.
  const ticker = setInterval(() => {
    try {
      wall.tick();
    } catch (e) {
      log(`tick failed: ${e.message}`);
    }
  }, 500);
  ticker.unref();
  const sweeper = setInterval(() => {
    app.limits.sweep();
    app.replies.sweep();
  }, 60000);
  sweeper.unref();

  // The rolling backup: every few minutes and once more at shutdown; one at a time.
  let backingUp = null;
  app.backup = () => {
    backingUp ??= writeBackup(dbFile, wallDir)
      .catch((e) => log(`backup failed: ${e.message}`))
      .finally(() => { backingUp = null; });
    return backingUp;
  };
  const backups = setInterval(() => app.backup(), options.backupEveryMs ?? BACKUP_EVERY_MS);
  backups.unref();

  let closing = null;
  app.server = server;
  app.listen = () => new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(app.port, options.host ?? '0.0.0.0', () => {
      app.port = server.address().port;
      resolve(app);
    });
  });
  app.close = () => {
    if (!closing) {
      closing = new Promise((resolve) => {
        clearInterval(ticker);
        clearInterval(sweeper);
        clearInterval(backups);
        server.close(() => resolve());
        server.closeIdleConnections();
        setTimeout(() => server.closeAllConnections(), 500).unref();
      }).then(async () => {
        await backingUp;
        await app.backup();
      }).then(() => store.close());
    }
    return closing;
  };
  app.shutdown = (why) => {
    log(`stopping: ${why}`);
    app.close().finally(() => options.onShutdown?.(why));
  };
  return app;
}

function routeError(table, pathname) {
  return Object.keys(table).some((k) => k.endsWith(` ${pathname}`))
    ? new InputError('That method is not allowed here.', 'method', 405)
    : new InputError('There is nothing here.', 'not_found', 404);
}
