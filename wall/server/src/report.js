// The night's report: what the wall held between two moments, read from the database (the
// truth, also for posts that have left the lists since). report-page.js writes it as a printable
// page, report-api.js as a page and as a zip with the photos.
//
// The night is from `since` to `until` (milliseconds since 1970); without `since` the last 24
// hours. Counted: phones that took part (posted, asked for a song, voted or reacted; a phone that
// only looked leaves nothing to count), guest shout-outs, guest photos, song requests (each phone's
// ask), votes, tips and reactions. Listed: every shout-out that went live (not those the DJ removed
// from the wall again), every song request with its askers and the DJ's mark, every poll with its
// result, and the photos that went live (the album).

import { winnerOf } from './polls.js';

export const NIGHT_MS = 24 * 60 * 60 * 1000;

// `value` of ?since=: milliseconds since 1970 or a date and time JavaScript reads (ISO 8601);
// undefined for none, NaN for one it cannot read.
export function parseSince(value) {
  if (value === undefined || value === '') return undefined;
  const n = /^\d+$/.test(value) ? Number(value) : Date.parse(value);
  return Number.isFinite(n) ? n : NaN;
}

// Went live, and was not taken down by the DJ: its live_seq was set when it first went live.
const SHOWN = "live_seq > 0 AND state <> 'removed'";

export function nightReport(store, { since, until }) {
  const db = store.db;
  const range = { s: since, u: until };
  const one = (sql) => db.prepare(sql).get(range).n;
  const counts = {
    phones: one(`SELECT COUNT(*) AS n FROM (
      SELECT device_id AS d FROM posts WHERE origin = 'guest' AND created_at BETWEEN :s AND :u
      UNION SELECT device_id FROM request_askers WHERE at BETWEEN :s AND :u
      UNION SELECT device_id FROM votes WHERE at BETWEEN :s AND :u
      UNION SELECT device_id FROM reactions WHERE at BETWEEN :s AND :u) WHERE d IS NOT NULL`),
    posts: one("SELECT COUNT(*) AS n FROM posts WHERE origin = 'guest' AND type = 'shoutout' AND created_at BETWEEN :s AND :u"),
    photos: one("SELECT COUNT(*) AS n FROM posts WHERE origin = 'guest' AND type = 'photo' AND created_at BETWEEN :s AND :u"),
    requests: one("SELECT COUNT(*) AS n FROM request_askers WHERE at BETWEEN :s AND :u"),
    votes: one('SELECT COUNT(*) AS n FROM votes WHERE at BETWEEN :s AND :u'),
    tips: one("SELECT COUNT(*) AS n FROM posts WHERE origin = 'guest' AND type = 'tip' AND created_at BETWEEN :s AND :u"),
    reactions: one('SELECT COUNT(*) AS n FROM reactions WHERE at BETWEEN :s AND :u'),
  };

  const shoutouts = db.prepare(`SELECT name, text, created_at AS at, origin FROM posts
    WHERE type IN ('shoutout', 'venue') AND ${SHOWN} AND created_at BETWEEN :s AND :u ORDER BY created_at, live_seq`).all(range)
    .map((r) => ({ at: r.at, name: r.name, text: r.text, from: r.origin }));

  const requests = db.prepare(`SELECT id, text, name, count, mark, state, created_at AS at FROM posts
    WHERE type = 'request' AND created_at BETWEEN :s AND :u AND state <> 'rejected' ORDER BY count DESC, created_at`).all(range)
    .map((r) => ({ at: r.at, song: r.text, lastAskedBy: r.name, count: r.count, mark: r.mark === 'refuse' ? 'refused' : r.mark }));

  const polls = db.prepare('SELECT * FROM polls WHERE started_at BETWEEN :s AND :u ORDER BY started_at').all(range).map((p) => {
    const options = JSON.parse(p.options);
    const counts = new Map();
    for (const v of db.prepare('SELECT option_id, COUNT(*) AS n FROM votes WHERE poll_id = ? GROUP BY option_id').all(p.id)) {
      counts.set(v.option_id, v.n);
    }
    const winner = winnerOf(options, counts);
    return {
      at: p.started_at, title: p.title,
      options: options.map((o) => ({ label: o.label, votes: counts.get(o.id) ?? 0 })),
      winner: winner ? options.find((o) => o.id === winner).label : '',
      running: p.closed_at === null && p.ended_at === null && p.ends_at > until,
    };
  });

  // file: the photo in the uploads folder, '' once Clear chat has deleted it there (its thumbnail,
  // made when it went live, and the album folder's copy stay).
  const album = db.prepare(`SELECT id, name, text, photo, created_at AS at FROM posts
    WHERE type = 'photo' AND ${SHOWN} AND created_at BETWEEN :s AND :u ORDER BY created_at, live_seq`).all(range)
    .map((r) => ({ id: r.id, at: r.at, name: r.name, caption: r.text, file: fileOf(r.photo) }));

  return { since, until, counts, shoutouts, requests, polls, album };
}

const fileOf = (ref) => (ref.startsWith('/uploads/') ? ref.slice('/uploads/'.length) : '');
