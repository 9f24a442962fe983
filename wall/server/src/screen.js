// The wall for the venue's other screens (/screen): the screen document and its event stream.
//
// The screen document is what the TV shows, taken from the display document's view, and nothing
// else: no setting but the few that decide the picture (theme, the card's time, which guest
// features are on), no venue PIN, nothing of the moderation lists, no phone's id or address.
// Unlike the plug-in's documents it is ordinary JSON for browsers, and it names moments on the
// server's clock (the card's start and end, the poll's end) instead of seconds left, so its text
// changes only when what it shows changes; every message of the stream carries the server's
// clock beside it.
//
// GET /api/screen answers the document; GET /api/screen/events is a server-sent event stream
// whose first message is the document as it is and whose next ones follow each change. One
// watch, running only while a screen listens, looks at the wall a few times a second (the
// document is only built again when the wall's change counter, the join address or the poll's
// phase moved) and sends the new text to every screen at once.

import { randomBytes } from 'node:crypto';
import { InputError } from './text.js';
import { sendJson } from './http.js';
import { displayView } from './views.js';
import { BAR_COLORS, closedAtOf, winnerOf } from './polls.js';
import { tallyList } from './reactions.js';

export const WATCH_MS = 250;
// A screen's browser tries again this long after losing the stream.
export const RETRY_MS = 1000;
// A comment line keeps idle streams open through routers that drop quiet connections.
export const KEEPALIVE_MS = 25000;
export const STREAMS_MAX = 100;
export const STREAMS_PER_ADDRESS = 4;
// A screen that has not taken this much of what was sent is let go (its browser connects again
// and gets the document as it is then), so a stalled one holds no more of the server's memory.
export const BACKLOG_MAX = 1024 * 1024;

// The host of the DJ's brand address, as the QR card's footer shows it.
export function brandLabel(url) {
  const m = /^[a-z]+:\/\/(?:www\.)*([^/?#]*)/i.exec(url ?? '');
  return m ? m[1] : '';
}

// view: displayView's; featuredTimes: { startedAt, until } of the card, if any; now: the clock.
export function screenDocument(view, featuredTimes, now) {
  const s = view.settings;
  const post = (p) => ({
    id: p.id, type: p.type, name: p.name, text: p.text, photo: p.photo, color: p.color ?? '',
    hot: s.allowHotFx && !!p.hot, reactions: s.allowReactions ? p.reactionList : [],
  });
  const doc = {
    theme: s.theme,
    duration: s.duration,
    joinUrl: view.joinUrl,
    brand: brandLabel(s.brandUrl),
    allow: { messages: s.allowMessages, requests: s.allowRequests, photos: s.allowPhotos, tips: view.tipEnabled },
    featured: null,
    feed: view.feed.map(post),
    poll: null,
  };
  if (view.featured) {
    doc.featured = { ...post(view.featured), startedAt: featuredTimes?.startedAt ?? now, endsAt: featuredTimes?.until ?? now };
  }
  if (view.poll) {
    const { record, counts } = view.poll;
    doc.poll = {
      id: record.id, title: record.title, photo: record.photo, endsAt: record.endsAt,
      closedAt: closedAtOf(record, now),
      winner: view.poll.phase === 'closed' ? winnerOf(record.options, counts) : '',
      options: record.options.map((o, i) => ({ id: o.id, label: o.label, count: counts.get(o.id) ?? 0, color: `rgb(${BAR_COLORS[i % BAR_COLORS.length]})` })),
    };
  }
  return JSON.stringify(doc);
}

// The screen document as served: { text, etag } for now, built again only when the wall changed,
// the join address moved, the poll changed phase or a hot post cooled down.
export function servedScreen(wall, joinUrl) {
  const run = randomBytes(6).toString('base64url');
  let tags = 0;
  let last = null;
  return () => {
    const now = wall.clock();
    wall.tick(now);
    const join = joinUrl();
    const poll = wall.polls.view(now);
    const key = `${wall.version}|${join}|${poll ? `${poll.record.id}|${poll.phase}` : ''}`;
    if (last && last.key === key && now < last.until) return last;
    const valid = { until: Infinity };
    const view = displayView(wall, join, valid);
    for (const p of [view.featured, ...view.feed]) if (p) p.reactionList = tallyList(wall.reactions.tally(p.id));
    const current = wall.featured.current;
    const text = screenDocument(view, current && view.featured?.id === current.id ? current : null, now);
    const etag = last && last.text === text ? last.etag : `"${run}-${(++tags).toString(36)}"`;
    last = { key, until: valid.until, text, etag };
    return last;
  };
}

// One message of the stream: the document and the server's clock.
const message = (doc, now) => `id: ${doc.etag}\ndata: {"now":${now},"screen":${doc.text}}\n\n`;

// The screens' streams and the one watch that feeds them.
export class ScreenStreams {
  constructor(wall, joinUrl, { watchMs = WATCH_MS, keepaliveMs = KEEPALIVE_MS } = {}) {
    this.wall = wall;
    this.document = servedScreen(wall, joinUrl);
    this.streams = new Set();
    this.perAddress = new Map();
    this.watchMs = watchMs;
    this.keepaliveMs = keepaliveMs;
    this.timer = null;
    this.sentTag = '';
    this.quietSince = 0;
  }

  // res: a GET's reply; address: the caller's address key ('' for this PC, which has no limit
  // of its own).
  open(res, address) {
    if (this.streams.size >= STREAMS_MAX || (address && (this.perAddress.get(address) ?? 0) >= STREAMS_PER_ADDRESS)) {
      const e = new InputError('Too many screens are open right now. Try again in a minute.', 'busy', 503);
      e.retryAfter = 60;
      throw e;
    }
    const doc = this.document();
    res.writeHead(200, {
      'Content-Type': 'text/event-stream; charset=utf-8',
      'Cache-Control': 'no-store',
      'X-Content-Type-Options': 'nosniff',
      'X-Accel-Buffering': 'no',
    });
    res.write(`retry: ${RETRY_MS}\n${message(doc, this.wall.clock())}`);
    const stream = { res, address };
    this.streams.add(stream);
    if (address) this.perAddress.set(address, (this.perAddress.get(address) ?? 0) + 1);
    res.on('close', () => this.drop(stream));
    if (!this.timer) {
      this.sentTag = doc.etag;
      this.quietSince = Date.now();
      this.timer = setInterval(() => this.watch(), this.watchMs);
      this.timer.unref();
    }
  }

  drop(stream) {
    if (!this.streams.delete(stream)) return;
    if (stream.address) {
      const n = this.perAddress.get(stream.address) - 1;
      if (n > 0) this.perAddress.set(stream.address, n); else this.perAddress.delete(stream.address);
    }
    if (this.streams.size === 0) {
      clearInterval(this.timer);
      this.timer = null;
    }
  }

  // Sends the document to every screen when it changed; otherwise, now and then, a comment.
  watch() {
    let doc;
    try {
      doc = this.document();
    } catch {
      return; // the wall could not be read this time (it logs why); the next look tries again
    }
    let text;
    if (doc.etag !== this.sentTag) {
      this.sentTag = doc.etag;
      text = message(doc, this.wall.clock());
    } else if (Date.now() - this.quietSince >= this.keepaliveMs) {
      text = ': still here\n\n';
    } else return;
    this.quietSince = Date.now();
    for (const s of this.streams) {
      if (s.res.writableLength > BACKLOG_MAX) s.res.destroy();
      else s.res.write(text);
    }
  }

  // The server is stopping: every screen is let go (its browser tries again).
  close() {
    for (const s of [...this.streams]) {
      s.res.end();
      this.drop(s);
    }
  }
}

// The routes of the screen surface (app.js): open to the venue's network, read-only.
export function screenRoutes(app) {
  const streams = new ScreenStreams(app.wall, () => app.joinUrl());
  app.screens = streams;
  return {
    'GET /api/screen': ({ res }) => {
      const doc = streams.document();
      sendJson(res, 200, doc.text, { ETag: doc.etag });
    },
    'GET /api/screen/events': ({ res, address }) => streams.open(res, address),
  };
}
