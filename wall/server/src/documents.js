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

// Each document described once, key by key in the order written, with how each value is taken
// from its view. The documents are built from these descriptions and so is the list of names
// escaped in string values (ESCAPED_NAMES); the wall server's tests check both against the keys
// the plug-in reads (tests/contract/).

const round1 = (n) => Math.round(n * 10) / 10;

// A post of the moderation document's lists; p: a post with its live fields.
const POST_FIELDS = {
  id: (p) => p.id,
  type: (p) => p.type,
  name: (p) => p.name,
  text: (p) => p.text,
  photo: (p) => p.photo,
  search: (p) => p.search ?? '',
  mark: (p) => p.mark ?? '',
  color: (p) => p.color ?? '',
  hot: (p) => !!p.hot,
  createdAt: (p) => p.createdAt,
  lastAt: (p) => p.lastAt ?? p.createdAt,
  count: (p) => Math.max(1, p.count ?? 1),
  reactions: (p) => p.reactions ?? '',
  featured: (p) => !!p.featured,
  flagged: (p) => !!p.flag,
  flagWord: (p) => p.flag ?? '',
  // When a waiting post goes live by itself (milliseconds since 1970), 0 when it waits for the DJ.
  liveAt: (p) => (p.flag ? 0 : p.liveAt ?? 0),
};

const LOOK_FIELDS = { id: (l) => l.id, name: (l) => l.name };

// The display document; v: { featured: post|null, settings, joinUrl, feed: [post], poll: {phase,
// record, counts, remain, duration, closedFor}|null, tipEnabled }. Every scalar comes before the
// two packed strings.
const DISPLAY_FIELDS = {
  featuredId: (v) => (v.featured ? v.featured.id : ''),
  type: (v) => (v.featured ? v.featured.type : ''),
  name: (v) => (v.featured ? v.featured.name : ''),
  text: (v) => (v.featured ? v.featured.text : ''),
  photo: (v) => (v.featured ? v.featured.photo : ''),
  color: (v) => (v.featured ? v.featured.color : ''),
  hot: (v) => (v.featured ? !!v.featured.hot : false),
  allowWordFx: (v) => v.settings.allowWordFx,
  allowTipFx: (v) => v.settings.allowTipFx,
  allowVenueFx: (v) => v.settings.allowVenueFx,
  allowHotFx: (v) => v.settings.allowHotFx,
  allowReactions: (v) => v.settings.allowReactions,
  hotNeed: (v) => v.settings.hotNeed,
  hotWindowSec: (v) => v.settings.hotWindowSec,
  autoApproveDelaySec: (v) => v.settings.autoApproveDelaySec,
  allowUnlimitedVoting: (v) => v.settings.allowUnlimitedVoting,
  theme: (v) => v.settings.theme,
  reactions: (v) => (v.featured ? v.featured.reactions : ''),
  joinUrl: (v) => v.joinUrl,
  duration: (v) => v.settings.duration,
  voteActive: (v) => !!v.poll,
  voteClosed: (v) => (v.poll ? v.poll.phase === 'closed' : false),
  voteTitle: (v) => (v.poll ? v.poll.record.title : ''),
  votePhoto: (v) => (v.poll ? v.poll.record.photo : ''),
  voteRemain: (v) => (v.poll ? round1(v.poll.remain) : 0),
  voteDuration: (v) => (v.poll ? round1(v.poll.duration) : 60),
  voteClosedFor: (v) => (v.poll ? round1(v.poll.closedFor) : 0),
  tipEnabled: (v) => v.tipEnabled,
  feedPacked: (v) => packFeed(v.feed),
  voteBars: (v) => (v.poll ? packBars(v.poll.record.options, v.poll.counts) : ''),
};

// The moderation document: its scalars (taken from the view as they are), then its arrays.
export const STATE_SCALARS = ['voteActive', 'venuePin', 'guestBgStatus', 'guestLookActive', 'vdjSearch',
  'repeatMessages', 'voteTitle', 'voteRemain', 'voteClosed', 'voteSummary', 'autoApprove', 'autoApproveDelaySec'];
const STATE_ARRAYS = { guestLooks: LOOK_FIELDS, pending: POST_FIELDS, requests: POST_FIELDS, tips: POST_FIELDS,
  rejected: POST_FIELDS, feed: POST_FIELDS, blocked: POST_FIELDS };

export const DISPLAY_KEYS = Object.keys(DISPLAY_FIELDS);
// Every key name of either document, at any depth.
export const ESCAPED_NAMES = new Set([...DISPLAY_KEYS, ...STATE_SCALARS, ...Object.keys(STATE_ARRAYS),
  ...Object.values(STATE_ARRAYS).flatMap(Object.keys)]);

const build = (fields, from) => {
  const out = {};
  for (const k in fields) out[k] = fields[k](from);
  return out;
};

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
  if (ESCAPED_NAMES.has(s)) out = `"${hex4(s.charCodeAt(0))}${out.slice(2)}`;
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

export const displayDocument = (view) => flatObject(build(DISPLAY_FIELDS, view));

export const postRecord = (p) => build(POST_FIELDS, p);

// view: { the scalars, and the arrays: guestLooks [{id,name}], pending, requests, tips, rejected,
// feed, blocked of post-like records }
export function stateDocument(view) {
  const doc = {};
  for (const k of STATE_SCALARS) doc[k] = view[k];
  for (const [k, fields] of Object.entries(STATE_ARRAYS)) doc[k] = view[k].map((item) => build(fields, item));
  return flatObject(doc);
}
