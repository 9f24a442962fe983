// The guests' endpoints under /api/guest/: everything a phone on the venue Wi-Fi may do.

import { createHash } from 'node:crypto';
import { InputError, field, switchedOff, LIMITS } from './text.js';
import { readBody, readJson, sendJson } from './http.js';
import { checkImage, PHOTO_MAX } from './images.js';
import { newId } from './ids.js';
import { guestConfig, guestLive } from './views.js';
import { IDEMPOTENCY_KEY } from './idempotency.js';

export const GUEST_JSON_LIMIT = 8 * 1024;

// ctx: { req, res, url, deviceId, cookies, app }
export function guestRoutes(app) {
  const { wall } = app;

  const slowDown = (wait, message = `Slow down a little: try again in ${wait} second${wait === 1 ? '' : 's'}.`, code = 'slow_down') => {
    const e = new InputError(message, code, 429);
    e.retryAfter = wait;
    return e;
  };
  // The phone's own limit, then its address's (not for loopback callers).
  const limit = (ctx, rule) => {
    const wait = app.limits.take(rule, ctx.deviceId, ctx.address);
    if (wait > 0) throw slowDown(wait);
  };
  // Sends need a phone: a request its address could not be given a device cookie for waits.
  const limitSend = (ctx, rule) => {
    if (!ctx.deviceId) throw slowDown(ctx.deviceWait || 60);
    limit(ctx, rule);
  };
  // The request's body, read once however often it is asked for (limit: the endpoint's).
  const bodyOf = (ctx, max) => {
    ctx.body ??= readBody(ctx.req, max);
    return ctx.body;
  };
  const jsonOf = (ctx) => readJson(ctx.req, GUEST_JSON_LIMIT, () => bodyOf(ctx, GUEST_JSON_LIMIT));
  // What a send sent: its path, its query and its body's bytes.
  const digestOf = async (ctx, max) => createHash('sha256').update(`${ctx.path}?${ctx.url.search}\n`)
    .update(await bodyOf(ctx, max)).digest('base64url');

  // A send that may carry an Idempotency-Key: fn(ctx) returns the reply's body and reads the
  // request's body through bodyOf (at most `max` bytes); a repeat of the same send with the same
  // key from the same phone gets the first body again (and costs a read, not a send, of the
  // phone's limits); the key with another endpoint or another body is refused.
  const send = (fn, max = GUEST_JSON_LIMIT) => async (ctx) => {
    const key = ctx.req.headers['idempotency-key'];
    if (key === undefined || !ctx.deviceId) return sendJson(ctx.res, 200, await fn(ctx));
    if (!IDEMPOTENCY_KEY.test(key)) {
      throw new InputError('The Idempotency-Key header must be 16 to 64 letters, digits, "-" or "_".', 'bad_key');
    }
    // Remembered only once committed: a send whose commit failed is done again when repeated.
    const r = await app.idempotency.once(ctx.deviceId, key, ctx.path, () => digestOf(ctx, max), async () => {
      const body = await fn(ctx);
      await app.store.committed();
      return { body, digest: await digestOf(ctx, max) };
    });
    if (r.replay) limit(ctx, 'read');
    ctx.res.gate = null; // committed already: a later transaction has nothing to do with it
    sendJson(ctx.res, 200, r.body, r.replay ? { 'Idempotent-Replay': 'true' } : {});
  };

  const venueOf = (ctx) => wall.venueSession(ctx.cookies.lumvo_venue);

  const post = (type) => send(async (ctx) => {
    limitSend(ctx, 'post');
    const body = await jsonOf(ctx);
    return { ok: true, ...wall.posts.submit(ctx.deviceId, type, body, '', ctx.address) };
  });

  return {
    'GET /api/guest/config': (ctx) => {
      limit(ctx, 'read');
      sendJson(ctx.res, 200, guestConfig(wall, ctx.deviceId, !!venueOf(ctx)));
    },
    'GET /api/guest/live': (ctx) => {
      limit(ctx, 'read');
      sendJson(ctx.res, 200, guestLive(wall, ctx.deviceId));
    },
    'GET /api/guest/mine': (ctx) => {
      limit(ctx, 'read');
      sendJson(ctx.res, 200, { posts: wall.posts.mine(ctx.deviceId) });
    },
    'POST /api/guest/profile': async (ctx) => {
      limitSend(ctx, 'read');
      const body = await readJson(ctx.req, GUEST_JSON_LIMIT);
      const d = app.store.tx(() => wall.profile(ctx.deviceId, body));
      sendJson(ctx.res, 200, { ok: true, name: d.name, color: d.color });
    },
    'POST /api/guest/shoutout': post('shoutout'),
    'POST /api/guest/request': post('request'),
    'POST /api/guest/tip': post('tip'),
    'POST /api/guest/photo': send(async (ctx) => {
      // Refuse before reading 5 MB when the answer is already known.
      if (!wall.settings.allowPhotos) throw switchedOff('Photos');
      wall.refuseBlocked(ctx.deviceId);
      limitSend(ctx, 'post');
      limit(ctx, 'photo');
      const q = new URLSearchParams(ctx.url.search);
      const body = {
        name: q.get('name') ?? undefined,
        text: q.get('text') ?? '',
        color: q.get('color') ?? undefined,
      };
      field(body.text, { label: 'caption', max: LIMITS.text, keepLines: true });
      const buf = await bodyOf(ctx, PHOTO_MAX);
      const ext = checkImage(buf);
      const ref = await app.saveGuestPhoto(buf, ext, newId('g'));
      try {
        return { ok: true, ...wall.posts.submit(ctx.deviceId, 'photo', body, ref, ctx.address) };
      } catch (e) {
        app.deletePhoto(ref);
        throw e;
      }
    }, PHOTO_MAX),
    'POST /api/guest/react': send(async (ctx) => {
      limitSend(ctx, 'react');
      const body = await jsonOf(ctx);
      return { ok: true, ...wall.reactions.react(ctx.deviceId, body.id, body.emoji, body.remove === true) };
    }),
    'POST /api/guest/vote': send(async (ctx) => {
      limitSend(ctx, 'vote');
      const body = await jsonOf(ctx);
      wall.polls.vote(ctx.deviceId, body.option, ctx.address);
      return { ok: true, poll: wall.polls.guestView(ctx.deviceId, wall.clock()) };
    }),
    'POST /api/guest/venue-login': async (ctx) => {
      limitSend(ctx, 'login');
      const { deviceId, address } = ctx;
      const locked = app.limits.pinWait(deviceId, address);
      if (locked) {
        const min = Math.ceil(locked / 60);
        throw slowDown(locked, `Too many wrong PINs: try again in ${min} minute${min === 1 ? '' : 's'}.`, 'locked');
      }
      // Counted as a wrong PIN as it starts, before its body (which may come slowly) is read, so
      // that guesses sent at once are held by the lockout too; the right PIN takes it back.
      app.limits.pinFailed(deviceId, address);
      const body = await readJson(ctx.req, GUEST_JSON_LIMIT);
      const token = wall.venueLogin(deviceId, body.pin);
      app.limits.pinPassed(deviceId, address);
      sendJson(ctx.res, 200, { ok: true }, {
        'Set-Cookie': `lumvo_venue=${token}; Path=/; Max-Age=86400; HttpOnly; SameSite=Strict`,
      });
    },
    'POST /api/guest/venue-logout': async (ctx) => {
      limit(ctx, 'read');
      await readJson(ctx.req, GUEST_JSON_LIMIT);
      if (venueOf(ctx)) app.store.deleteVenueSession(ctx.cookies.lumvo_venue);
      sendJson(ctx.res, 200, { ok: true }, { 'Set-Cookie': 'lumvo_venue=; Path=/; Max-Age=0; HttpOnly; SameSite=Strict' });
    },
    'POST /api/guest/venue-post': send(async (ctx) => {
      limitSend(ctx, 'post');
      if (!venueOf(ctx)) throw new InputError('Log in with the venue PIN first.', 'venue_login', 403);
      const body = await jsonOf(ctx);
      const text = field(body.text, { label: 'announcement', max: LIMITS.text, required: true, keepLines: true });
      const name = field(body.name, { label: 'name', max: LIMITS.name }) || 'Venue';
      const p = wall.posts.direct('venue', { name, text, deviceId: ctx.deviceId });
      return { ok: true, id: p.id, status: 'live' };
    }),
  };
}
