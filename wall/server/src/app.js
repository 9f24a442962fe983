// Wires the wall together: storage, engine, rate limits, routes, static folders, the album.

import http from 'node:http';
import fs from 'node:fs';
import path from 'node:path';
import { Worker } from 'node:worker_threads';
import { Store } from './store.js';
import { Wall } from './wall.js';
import { RateLimiter, GUEST_RULES } from './ratelimit.js';
import { securityHeaders, sendError, parseCookies, checkLoopback } from './http.js';
import { InputError } from './text.js';
import { guestRoutes } from './guest-api.js';
import { contractRoutes } from './contract-api.js';
import { safeJoin, sendFile } from './static.js';
import { isLoopback, joinUrlFor } from './netaddr.js';
import { DEVICE_ID, newSecret, newId } from './ids.js';
import { ALBUM_FILE, imageContentType } from './images.js';
import { worthCopying } from './picture.js';

const notFound = () => new InputError('There is nothing here.', 'not_found', 404);
const PICTURE_WORKER = new URL('./picture-worker.js', import.meta.url);

// options: { wallDir, webDir, port, host, clock, rateLimits, joinHost, synchronous, log, onShutdown }
export function createApp(options) {
  const wallDir = path.resolve(options.wallDir);
  const webDir = path.resolve(options.webDir ?? path.join(wallDir, 'web'));
  const uploadsDir = path.join(wallDir, 'uploads');
  const looksDir = path.join(wallDir, 'looks');
  fs.mkdirSync(uploadsDir, { recursive: true });
  fs.mkdirSync(looksDir, { recursive: true });
  const log = options.log ?? (() => {});
  const store = new Store(path.join(wallDir, 'wall.db'), { synchronous: options.synchronous });
  const clock = options.clock ?? Date.now;
  const wall = new Wall(store, { clock });

  const app = {
    wall, store, uploadsDir, looksDir, webDir, wallDir,
    port: options.port ?? 8787,
    limiter: new RateLimiter(GUEST_RULES, { clock, disabled: options.rateLimits === false }),
    joinUrl: () => (options.joinHost ? `http://${options.joinHost}:${app.port}` : joinUrlFor(app.port)),
  };

  async function writeAtomic(file, buf) {
    const tmp = `${file}.${process.pid}.tmp`;
    await fs.promises.writeFile(tmp, buf);
    await fs.promises.rename(tmp, file);
  }

  app.savePhoto = async (buf, ext, id) => {
    const name = `LUMVO_${id}.${ext}`;
    await writeAtomic(path.join(uploadsDir, name), buf);
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
      if (copy) await writeAtomic(path.join(uploadsDir, name), Buffer.from(copy));
    } catch (e) {
      log(`no phone copy of ${ref}: ${e.message}`);
    }
  };
  app.deletePhoto = (ref) => {
    const name = ref.slice('/uploads/'.length);
    if (ALBUM_FILE.test(name)) fs.promises.unlink(path.join(uploadsDir, name)).catch(() => {});
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
    const { req, url } = ctx;
    const p = url.pathname;
    const loopbackOnly = /^\/(mod|bg)(\/|$)/.test(p) || p.startsWith('/web/info/');
    if (loopbackOnly) checkLoopback(req, app.port);
    let root = webDir;
    let rel = p;
    let cache = 'no-cache';
    if (p === '/') rel = '/index.html';
    else if (p === '/mod' || p === '/bg') rel = `${p}/index.html`;
    else if (p.startsWith('/web/info/')) rel = p.slice(4);
    else if (p.startsWith('/uploads/')) {
      root = uploadsDir;
      rel = p.slice(8);
      cache = 'private, max-age=3600';
      if (!ctx.loopback && !wall.publicPhoto(p)) throw notFound();
    } else if (p.startsWith('/looks/')) {
      root = looksDir;
      rel = p.slice(6);
      cache = 'public, max-age=3600';
    } else if (p.startsWith('/info/')) throw notFound();
    const file = safeJoin(root, rel);
    if (!file) throw notFound();
    const type = root === webDir ? undefined : imageContentType(file);
    if (!(await sendFile(req, ctx.res, root, file, { cache, type }))) throw notFound();
  }

  async function handle(req, res) {
    securityHeaders(res);
    let url;
    try {
      url = new URL(req.url, 'http://wall.invalid');
    } catch {
      return sendError(res, new InputError('Bad address.', 'bad_path'));
    }
    const cookies = parseCookies(req.headers.cookie);
    let deviceId = cookies.lumvo_device;
    if (!DEVICE_ID.test(deviceId ?? '')) {
      deviceId = newSecret(16);
      res.setHeader('Set-Cookie', `lumvo_device=${deviceId}; Path=/; Max-Age=31536000; HttpOnly; SameSite=Lax`);
    }
    const ctx = { req, res, url, cookies, deviceId, app, loopback: isLoopback(req.socket.remoteAddress) };
    const key = `${req.method} ${url.pathname}`;
    try {
      if (url.pathname.startsWith('/api/guest/')) {
        const h = guest[key];
        if (!h) throw routeError(guest, url.pathname);
        await h(ctx);
      } else if (url.pathname.startsWith('/api/')) {
        checkLoopback(req, app.port);
        const h = contract[key];
        if (!h) throw routeError(contract, url.pathname);
        await h(ctx);
      } else if (req.method === 'GET' || req.method === 'HEAD') {
        await serveStatic(ctx);
      } else {
        throw new InputError('That method is not allowed here.', 'method', 405);
      }
    } catch (e) {
      if (!(e instanceof InputError)) log(`error on ${key}: ${e.stack ?? e}`);
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
  const sweeper = setInterval(() => app.limiter.sweep(), 60000);
  sweeper.unref();

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
        server.close(() => resolve());
        server.closeIdleConnections();
        setTimeout(() => server.closeAllConnections(), 500).unref();
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
