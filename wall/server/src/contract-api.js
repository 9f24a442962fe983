// The plug-in's and the booth's endpoints. Every one of them answers only to loopback callers
// (checked by the router before any of these run).

import fs from 'node:fs';
import path from 'node:path';
import { InputError, field, LIMITS } from './text.js';
import { readJson, sendJson } from './http.js';
import { servedDocuments, tagMatches } from './served-documents.js';
import { parsePollStart } from './polls.js';
import { parseLook } from './looks.js';
import { decodeDataUrl, sniffImage, withinPixelBudget, tooManyPixels, ALBUM_FILE, POLL_PHOTO_MAX, PHOTO_MAX } from './images.js';
import { newId } from './ids.js';

const SMALL = 64 * 1024;
const LARGE = 8 * 1024 * 1024;

const needId = (body) => {
  if (typeof body.id !== 'string' || !body.id) throw new InputError('Which post? The request has no "id".');
  return body.id;
};

export function contractRoutes(app) {
  const { wall } = app;
  const ok = (res, extra = {}) => sendJson(res, 200, { ok: true, ...extra });
  const documents = servedDocuments(wall, () => app.joinUrl());
  // A caller that already has this version of the document gets it confirmed, without its body.
  const sendDocument = ({ req, res }, doc) => {
    if (tagMatches(req.headers['if-none-match'], doc.etag)) {
      res.writeHead(304, ['ETag', doc.etag, 'Cache-Control', 'no-store']);
      res.end();
    } else {
      res.writeHead(200, doc.headers);
      res.end(doc.text);
    }
  };
  const action = (fn) => async ({ req, res }) => {
    const body = await readJson(req, SMALL);
    fn(needId(body), body);
    ok(res);
  };

  // A poll picture is a data URL or a file the moderator window already copied into uploads.
  const pollPhoto = async (value) => {
    if (!value) return '';
    if (value.startsWith('data:')) {
      const { buf, ext } = decodeDataUrl(value, POLL_PHOTO_MAX);
      return app.savePhoto(buf, ext, newId('poll'));
    }
    const m = /^\/uploads\/([^/\\]+)$/.exec(value);
    if (!m || !ALBUM_FILE.test(m[1]) || !fs.existsSync(path.join(app.uploadsDir, m[1]))) {
      throw new InputError('The vote picture could not be found.', 'bad_poll');
    }
    // A file copied in by the moderator window has not been checked yet: its header is read here.
    const buf = await fs.promises.readFile(path.join(app.uploadsDir, m[1]));
    if (!withinPixelBudget(buf, sniffImage(buf))) throw tooManyPixels();
    return value;
  };

  return {
    'GET /api/display': (ctx) => sendDocument(ctx, documents.display()),
    'GET /api/state': (ctx) => sendDocument(ctx, documents.state()),
    // The settings as the wall applies them now (the moderator page's switches show them).
    'GET /api/settings': ({ res }) => sendJson(res, 200, wall.settings),
    'POST /api/settings': async ({ req, res }) => {
      wall.applySettings(await readJson(req, SMALL));
      ok(res);
    },
    'POST /api/shutdown': async ({ req, res }) => {
      await readJson(req, SMALL).catch(() => ({}));
      ok(res);
      res.on('finish', () => app.shutdown('shutdown request'));
    },
    'POST /api/vdj-search': async ({ req, res }) => {
      const body = await readJson(req, SMALL);
      if (body.clear === true) wall.setVdjSearch('');
      else if (typeof body.id === 'string') {
        const p = wall.posts.get(body.id);
        wall.setVdjSearch(p.search || p.text);
      } else wall.setVdjSearch(field(body.text, { label: 'song', max: LIMITS.request, required: true }));
      ok(res);
    },
    'POST /api/show': action((id) => {
      const post = wall.posts.show(id);
      app.copyToAlbum(post);
      app.thumbs.keep(post);
    }),
    'POST /api/reject': action((id) => wall.posts.reject(id)),
    'POST /api/drop': action((id) => wall.posts.drop(id)),
    'POST /api/highlight': action((id) => wall.featured.highlight(id)),
    'POST /api/remove': action((id) => wall.posts.remove(id)),
    'POST /api/restore': action((id) => wall.posts.restore(id)),
    'POST /api/block': action((id) => wall.posts.block(id)),
    // Every waiting post from the phone, or from the network address, that the post's row names.
    'POST /api/reject-phone': async ({ req, res }) => {
      const body = await readJson(req, SMALL);
      ok(res, { rejected: wall.posts.rejectFrom(needId(body), 'phone') });
    },
    'POST /api/reject-address': async ({ req, res }) => {
      const body = await readJson(req, SMALL);
      ok(res, { rejected: wall.posts.rejectFrom(needId(body), 'address') });
    },
    'POST /api/unblock': async ({ req, res }) => {
      const body = await readJson(req, SMALL);
      if (body.all === true) wall.unblockAll();
      else wall.posts.unblock(needId(body));
      ok(res);
    },
    'POST /api/request-mark': action((id, body) => wall.posts.requestMark(id, typeof body.mark === 'string' ? body.mark : '')),
    'POST /api/next': async ({ req, res }) => { await readJson(req, SMALL); wall.featured.next(); ok(res); },
    'POST /api/skip': async ({ req, res }) => { await readJson(req, SMALL); wall.featured.skip(); ok(res); },
    'POST /api/clear': async ({ req, res }) => { await readJson(req, SMALL); wall.posts.clear(); ok(res); },
    'POST /api/clear-media': async ({ req, res }) => {
      await readJson(req, SMALL);
      ok(res, { deleted: await app.clearAlbum() });
    },
    'GET /api/guest-bg-looks': ({ res }) => sendJson(res, 200, { active: wall.looks.current().id, looks: wall.looks.all() }),
    'POST /api/guest-bg-looks': async ({ req, res }) => {
      const body = await readJson(req, LARGE);
      if (typeof body.apply === 'string') {
        wall.looks.apply(body.apply);
        return ok(res, { id: body.apply });
      }
      if (typeof body.delete === 'string') {
        wall.looks.delete(body.delete);
        return ok(res, { id: body.delete });
      }
      if (body.save && typeof body.save === 'object') {
        const look = parseLook(body.save);
        const old = look.id ? wall.looks.get(look.id) : undefined;
        if (look.picture.startsWith('data:')) {
          const { buf, ext } = decodeDataUrl(look.picture, PHOTO_MAX);
          look.picture = await app.saveLookPicture(buf, ext);
        } else if (look.picture && look.picture !== old?.picture) {
          throw new InputError('The look picture must be a JPG, PNG or WebP picture.', 'bad_image', 415);
        }
        if (look.kind === 'picture' && !look.picture) throw new InputError('A picture look needs a picture.');
        const saved = wall.looks.save(look);
        return ok(res, { id: saved.id });
      }
      throw new InputError('Say what to do: "apply", "save" or "delete".');
    },
    'POST /api/vote-start': async ({ req, res }) => {
      const body = await readJson(req, LARGE);
      const asked = wall.clock();
      const parsed = parsePollStart(body, asked);
      const photo = await pollPhoto(parsed.photo);
      // A vote of so many seconds runs that long from its start, however long saving its picture
      // took on a busy PC.
      if (body.duration !== undefined) parsed.endsAt += wall.clock() - asked;
      const record = wall.polls.start(parsed, photo);
      ok(res, { id: record.id });
      // The phones' smaller copy is made while the poll already runs (a camera picture takes a
      // while to decode on a busy PC); until it is there, phones get the original.
      if (photo) app.makePhoneCopy(photo).then(() => { record.phonePhoto = undefined; });
    },
    'POST /api/vote-stop': async ({ req, res }) => {
      await readJson(req, SMALL);
      wall.polls.stop();
      ok(res);
    },
    'POST /api/booth-post': async ({ req, res }) => {
      let body;
      try {
        body = await readJson(req, LARGE);
      } catch (e) {
        if (e.code === 'too_large') throw new InputError('That photo is bigger than 5 MB. Use a smaller one.', 'too_large', 413);
        throw e;
      }
      const name = field(body.name, { label: 'name', max: LIMITS.boothName }) || 'DJ';
      const text = field(body.text, { label: 'message', max: LIMITS.boothText, keepLines: true });
      let photo = '';
      if (typeof body.photo === 'string' && body.photo) {
        const { buf, ext } = decodeDataUrl(body.photo, PHOTO_MAX);
        photo = await app.savePhoto(buf, ext, newId('b'));
      }
      if (!text && !photo) throw new InputError('Add a message or a photo.', 'empty');
      const p = wall.posts.direct('booth', { name, text, photo });
      ok(res, { id: p.id });
    },
  };
}
