// The plug-in's two documents as served: each is built when what it shows has changed and
// otherwise served as the same text, with the same ETag, until the next change.
//
// What a document shows changes with the wall (wall.version moves with every write and every
// change made in memory only), with the join address, and with the clock alone in two ways: a
// running poll's time (its phase and the tenths of a second the documents show are part of the
// key) and a hot post cooling down (the document is built again from the moment the first post
// it shows hot stops being hot).

import { randomBytes } from 'node:crypto';
import { displayDocument, stateDocument } from './documents.js';
import { displayView, stateView } from './views.js';

const tenths = (n) => Math.round(n * 10);

// The headers of a plug-in document: no page's policy, nothing to set.
function documentHeaders(text, etag) {
  return ['Content-Type', 'application/json; charset=utf-8', 'Cache-Control', 'no-store',
    'Content-Length', String(Buffer.byteLength(text)), 'ETag', etag, 'X-Content-Type-Options', 'nosniff'];
}

// Returns { display(), state() }: each gives { text, etag, headers } for now.
export function servedDocuments(wall, joinUrl) {
  // Tags of this process differ from those of any other run.
  const run = randomBytes(6).toString('base64url');
  let tags = 0;

  const served = (build, extraKey) => {
    let last = null;
    return () => {
      const now = wall.clock();
      wall.tick(now);
      const poll = wall.polls.view(now);
      const key = `${wall.version}|${extraKey()}|${poll ? `${poll.phase}|${tenths(poll.remain)}|${tenths(poll.closedFor)}` : ''}`;
      if (last && last.key === key && now < last.until) return last;
      const valid = { until: Infinity };
      const text = build(valid);
      const etag = last && last.text === text ? last.etag : `"${run}-${(++tags).toString(36)}"`;
      last = { key, until: valid.until, text, etag, headers: documentHeaders(text, etag) };
      return last;
    };
  };

  return {
    display: served((valid) => displayDocument(displayView(wall, joinUrl(), valid)), joinUrl),
    state: served((valid) => stateDocument(stateView(wall, valid)), () => ''),
  };
}

// If-None-Match names this tag (alone, in a list, or as "*").
export function tagMatches(header, etag) {
  if (header === undefined) return false;
  if (header === etag || header.trim() === '*') return true;
  return header.split(',').some((t) => t.trim() === etag);
}
