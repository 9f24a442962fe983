// The two documents the plug-in reads with flat key searches: the display document
// (GET /api/display) and the moderation document (GET /api/state).
//
// The plug-in finds a key by searching the raw text for "key" (its array reader does not even
// check for the colon that follows), so the text must never show a quoted key name anywhere but
// at the key itself:
//   - every top-level scalar comes before any array or object;
//   - a quote inside a string is written \u0022, never \" (so no string can end in "key");
//   - a string whose whole value is a key name has its first character written as \uXXXX.
// The plug-in's unescaper turns both back into the original text.

import { packField } from './text.js';
import { BAR_COLORS } from './polls.js';

const POST_KEYS = ['id', 'type', 'name', 'text', 'photo', 'search', 'mark', 'color', 'hot', 'createdAt',
  'lastAt', 'count', 'reactions', 'featured', 'flagged', 'flagWord'];
export const DISPLAY_KEYS = ['featuredId', 'type', 'name', 'text', 'photo', 'color', 'hot', 'allowWordFx',
  'allowTipFx', 'allowVenueFx', 'allowHotFx', 'allowReactions', 'hotNeed', 'hotWindowSec', 'theme',
  'reactions', 'joinUrl', 'duration', 'voteActive', 'voteClosed', 'voteTitle', 'votePhoto', 'voteRemain',
  'voteDuration', 'voteClosedFor', 'tipEnabled', 'feedPacked', 'voteBars'];
export const STATE_SCALARS = ['voteActive', 'venuePin', 'guestBgStatus', 'guestLookActive', 'vdjSearch',
  'repeatMessages', 'voteTitle', 'voteRemain', 'voteClosed', 'voteSummary', 'autoApprove'];
export const STATE_ARRAYS = ['guestLooks', 'pending', 'requests', 'tips', 'rejected', 'feed', 'blocked'];

const RESERVED = new Set([...POST_KEYS, ...DISPLAY_KEYS, ...STATE_SCALARS, ...STATE_ARRAYS]);

const hex4 = (c) => `\\u${c.toString(16).padStart(4, '0')}`;

export function flatString(value) {
  const s = String(value ?? '');
  let out = '"';
  for (let i = 0; i < s.length; i++) {
    const c = s.charCodeAt(i);
    if (c === 0x22) out += '\\u0022';
    else if (c === 0x5c) out += '\\\\';
    else if (c === 0x0a) out += '\\n';
    else if (c === 0x09) out += '\\t';
    else if (c < 0x20 || c === 0x7f) out += hex4(c);
    else out += s[i];
  }
  if (RESERVED.has(s)) out = `"${hex4(s.charCodeAt(0))}${out.slice(2)}`;
  return `${out}"`;
}

function flatValue(v) {
  if (typeof v === 'string') return flatString(v);
  if (typeof v === 'boolean') return v ? 'true' : 'false';
  if (typeof v === 'number') return Number.isFinite(v) ? String(v) : '0';
  if (Array.isArray(v)) return `[${v.map(flatValue).join(',')}]`;
  if (v && typeof v === 'object') return flatObject(v);
  return 'null';
}

// Keys come out in insertion order; all keys are our own names (never guest text).
export function flatObject(obj) {
  return `{${Object.entries(obj).map(([k, v]) => `"${k}":${flatValue(v)}`).join(',')}}`;
}

const round1 = (n) => Math.round(n * 10) / 10;

// feedItems: [{id,type,name,text,photo,reactions,color,hot}], oldest first.
export function packFeed(feedItems) {
  return feedItems
    .map((p) => [p.id, p.type, p.name, p.text, p.photo, p.reactions, p.color, p.hot ? '1' : '0']
      .map(packField).join('\t'))
    .join('\n');
}

export function packBars(options, counts) {
  return options
    .map((o, i) => [o.id, o.label, String(counts.get(o.id) ?? 0), BAR_COLORS[i % BAR_COLORS.length]]
      .map(packField).join('\t'))
    .join('\n');
}

// view: { featured: post|null, settings, joinUrl, feed: [post], poll: {phase, record, counts, remain,
// duration, closedFor}|null, tipEnabled }
export function displayDocument(view) {
  const f = view.featured;
  const s = view.settings;
  const poll = view.poll;
  const doc = {
    featuredId: f ? f.id : '',
    type: f ? f.type : '',
    name: f ? f.name : '',
    text: f ? f.text : '',
    photo: f ? f.photo : '',
    color: f ? f.color : '',
    hot: f ? !!f.hot : false,
    allowWordFx: s.allowWordFx,
    allowTipFx: s.allowTipFx,
    allowVenueFx: s.allowVenueFx,
    allowHotFx: s.allowHotFx,
    allowReactions: s.allowReactions,
    hotNeed: s.hotNeed,
    hotWindowSec: s.hotWindowSec,
    theme: s.theme,
    reactions: f ? f.reactions : '',
    joinUrl: view.joinUrl,
    duration: s.duration,
    voteActive: !!poll,
    voteClosed: poll ? poll.phase === 'closed' : false,
    voteTitle: poll ? poll.record.title : '',
    votePhoto: poll ? poll.record.photo : '',
    voteRemain: poll ? round1(poll.remain) : 0,
    voteDuration: poll ? round1(poll.duration) : 60,
    voteClosedFor: poll ? round1(poll.closedFor) : 0,
    tipEnabled: view.tipEnabled,
    feedPacked: packFeed(view.feed),
    voteBars: poll ? packBars(poll.record.options, poll.counts) : '',
  };
  return flatObject(doc);
}

export function postRecord(p) {
  return {
    id: p.id,
    type: p.type,
    name: p.name,
    text: p.text,
    photo: p.photo,
    search: p.search ?? '',
    mark: p.mark ?? '',
    color: p.color ?? '',
    hot: !!p.hot,
    createdAt: p.createdAt,
    lastAt: p.lastAt ?? p.createdAt,
    count: Math.max(1, p.count ?? 1),
    reactions: p.reactions ?? '',
    featured: !!p.featured,
    flagged: !!p.flag,
    flagWord: p.flag ?? '',
  };
}

// view: { scalars in STATE_SCALARS order, guestLooks: [{id,name}], pending, requests, tips,
// rejected, feed, blocked: arrays of post-like records }
export function stateDocument(view) {
  const doc = {};
  for (const k of STATE_SCALARS) doc[k] = view[k];
  doc.guestLooks = view.guestLooks.map((l) => ({ id: l.id, name: l.name }));
  for (const k of STATE_ARRAYS.slice(1)) doc[k] = view[k].map(postRecord);
  return flatObject(doc);
}
