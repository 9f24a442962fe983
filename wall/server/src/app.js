// Wires the wall together: storage, engine, rate limits, photo files, device cookies, and the
// route table with the one place where an error becomes a reply.

import http from 'node:http';
import fs from 'node:fs';
import path from 'node:path';
import { Store } from './store.js';
import { BACKUP_EVERY_MS, backupFiles, prepareDatabase, writeBackup } from './backup.js';
import { Wall } from './wall.js';
import { GuestLimits, Turns, addressKey } from './ratelimit.js';
import { IdempotencyStore } from './idempotency.js';
import { sendError, parseCookies, checkLoopback, loopbackHost } from './http.js';
import { InputError, wallFull } from './text.js';
import { guestRoutes } from './guest-api.js';
import { contractRoutes } from './contract-api.js';
import { screenRoutes } from './screen.js';
import { cleanPath, staticFiles } from './static.js';
import { isLoopback, joinAddress } from './netaddr.js';
import { deviceCookies } from './device-cookie.js';
import { addPhotoFiles, sweepTemporary } from './uploads.js';
import { reportRoutes, reportThumbs } from './report-api.js';

export { wallFull };
export { UPLOADS_MAX_BYTES } from './uploads.js';

// The page a phone opens first: it gets its device cookie with it.
const GUEST_PAGES = new Set(['/', '/index.html']);

const notFound = () => new InputError('There is nothing here.', 'not_found', 404);

// A full disk, as SQLite (SQLITE_FULL, also in its extended codes) or the file system says it.
export function storageFull(e) {
  return (typeof e?.errcode === 'number' && (e.errcode & 0xff) === 13) || e?.code === 'ENOSPC' || e?.code === 'EDQUOT';
}

// The route table: a request goes to the first surface whose prefix its path starts with.
//   routes    'METHOD /path' -> handler(ctx); a path it lacks is 404, a method it lacks 405
//   files     instead of routes: one handler for every GET and HEAD (others are 405)
//   loopback  only callers on this PC (the DJ's endpoints), checked before anything else
//   turns     the handler waits for its turn (ratelimit.js Turns), after the route is found
//   phones    the caller is a phone to identify: its device cookie is read, or a new one minted
//             (otherwise only on the guest page, GUEST_PAGES)
// Built for an app (each handler closes over it); routeTable({}) gives the same table, whose
// handlers are not to be called, to read its surfaces and keys.
export function routeTable(app) {
  return [
    { prefix: '/api/guest/', routes: guestRoutes(app), turns: true, phones: true },
    { prefix: '/api/screen', routes: screenRoutes(app) },
    { prefix: '/api/', routes: { ...contractRoutes(app), ...reportRoutes(app) }, loopback: true },
    { prefix: '/', files: staticFiles(app) },
  ];
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
    idempotency: new IdempotencyStore({ clock }),
    turns: new Turns(),
    joinUrl: joinAddress({ port: () => app.port, joinHost: options.joinHost, log }),
  };

  addPhotoFiles(app, { uploadsMaxBytes: options.uploadsMaxBytes, log });
  app.log = log;
  app.thumbs = reportThumbs(app);

  app.routes = routeTable(app);
  const device = deviceCookies(app);

  // Replies wait for the commit of what was written (store.js, group commit); a failed commit
  // is answered as a full disk or an internal error. Called on the reply (res.gate, res.failure).
  const gate = () => store.pending;
  function failure(err) {
    if (storageFull(err)) {
      log(`refused ${this.key}: ${err.message}`);
      return wallFull();
    }
    log(`error on ${this.key}: ${err.stack ?? err}`);
    return err;
  }

  async function handle(req, res) {
    // The path is taken as sent ("//mod/x" is a path, not a host); the query only by the photo upload.
    const q = req.url.indexOf('?');
    const url = { pathname: q < 0 ? req.url : req.url.slice(0, q), search: q < 0 ? '' : req.url.slice(q + 1) };
    if (!url.pathname.startsWith('/')) return sendError(res, new InputError('Bad address.', 'bad_path'));
    const loopback = isLoopback(req.socket.remoteAddress);
    // A caller on this PC that names another host is a page of another site that a rebinding DNS
    // server pointed at this PC: it must not pass as the booth (which skips the per-address limits
    // and the lockout), on any endpoint.
    if (loopback && !loopbackHost(req.headers.host, app.port)) {
      req.resume();
      return sendError(res, new InputError('This wall answers on this PC only as 127.0.0.1 or localhost.', 'bad_host', 403));
    }
    const address = loopback ? '' : addressKey(req.socket.remoteAddress);
    const clean = cleanPath(url.pathname);
    const surface = clean === null ? null : app.routes.find((r) => clean.startsWith(r.prefix));
    const ctx = { req, res, url, path: clean, cookies: {}, deviceId: '', deviceWait: 0, address, app, loopback };
    if (surface?.phones || GUEST_PAGES.has(clean)) {
      ctx.cookies = parseCookies(req.headers.cookie);
      Object.assign(ctx, device(ctx.cookies.lumvo_device, address, res));
    }
    const key = `${req.method} ${clean}`;
    res.key = key;
    res.gate = gate;
    res.failure = failure;
    try {
      // Reads are built from committed state: what is waiting to be committed is committed now
      // (a failure there answers the writers and sends memory back), so a read never waits.
      if (req.method === 'GET' || req.method === 'HEAD') store.flush();
      if (!surface) throw notFound();
      if (surface.loopback) checkLoopback(req, app.port);
      let h;
      if (surface.routes) {
        h = surface.routes[key];
        if (!h) throw routeError(surface.routes, clean);
      } else if (req.method === 'GET' || req.method === 'HEAD') {
        h = surface.files;
      } else {
        throw new InputError('That method is not allowed here.', 'method', 405);
      }
      if (surface.turns) {
        const turn = app.turns.take();
        if (turn) await turn;
      }
      await h(ctx);
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
    app.idempotency.sweep();
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
        app.screens.close();
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
