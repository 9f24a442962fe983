// Live polls: validation of the DJ's start request, the running/closed/ended phases, tallies.

import { InputError, field, LIMITS } from './text.js';

export const MIN_DURATION_SEC = 5;
export const MAX_DURATION_SEC = 86400;
export const CLOSED_HOLD_SEC = 15;
const PASSED_GRACE_MS = 10 * 60 * 1000;

export const BAR_COLORS = Object.freeze(['255,122,24', '168,85,247', '34,211,238', '244,114,182']);

const bad = (msg) => new InputError(msg, 'bad_poll');

// Turns an "HH:MM:SS" clock time into the next moment it is reached on this PC's clock. A time
// that passed a few minutes ago is a mistake, not tomorrow's poll.
export function endAtToTime(text, now) {
  const m = /^(\d{2}):(\d{2}):(\d{2})$/.exec(typeof text === 'string' ? text.trim() : '');
  if (!m) throw bad('The end time must look like 22:30:00.');
  const [h, mi, s] = [Number(m[1]), Number(m[2]), Number(m[3])];
  if (h > 23 || mi > 59 || s > 59) throw bad('The end time must look like 22:30:00.');
  const target = new Date(now);
  target.setHours(h, mi, s, 0);
  let t = target.getTime();
  if (t <= now) {
    if (now - t <= PASSED_GRACE_MS) throw bad('That end time has already passed.');
    const tomorrow = new Date(now);
    tomorrow.setDate(tomorrow.getDate() + 1);
    tomorrow.setHours(h, mi, s, 0);
    t = tomorrow.getTime();
  }
  if (t - now < MIN_DURATION_SEC * 1000) throw bad('The vote needs at least 5 seconds.');
  return t;
}

// Checks the start request. Returns { title, options: [label...], endsAt, durationSec, photo }.
export function parsePollStart(body, now) {
  if (!body || typeof body !== 'object') throw bad('The vote needs a title and answers.');
  const title = field(body.title, { label: 'vote title', max: LIMITS.pollTitle });
  if (!title) throw bad('Give the vote a title.');
  if (!Array.isArray(body.options)) throw bad('Give the vote two to four answers.');
  const options = [];
  for (const o of body.options) {
    const label = field(typeof o === 'string' ? o : '', { label: 'answer', max: LIMITS.pollOption });
    if (label) options.push(label);
  }
  if (options.length < 2 || options.length > 4) throw bad('Give the vote two to four answers.');
  let endsAt;
  if (body.duration !== undefined && body.endAt === undefined) {
    const d = body.duration;
    if (typeof d !== 'number' || !Number.isInteger(d)) throw bad('The vote length must be a whole number of seconds.');
    if (d < MIN_DURATION_SEC) throw bad('The vote needs at least 5 seconds.');
    if (d > MAX_DURATION_SEC) throw bad('A vote can run for 24 hours at most.');
    endsAt = now + d * 1000;
  } else if (body.endAt !== undefined && body.duration === undefined) {
    endsAt = endAtToTime(body.endAt, now);
  } else {
    throw bad('Give the vote either a length or an end time.');
  }
  const photo = typeof body.photo === 'string' ? body.photo : '';
  return { title, options, endsAt, durationSec: (endsAt - now) / 1000, photo };
}

// The winner is the one option with the most votes; a tie at the top or no votes gives none.
export function winnerOf(options, counts) {
  let best = -1;
  let bestCount = 0;
  let tie = false;
  for (const o of options) {
    const c = counts.get(o.id) ?? 0;
    if (c > bestCount) { best = o.id; bestCount = c; tie = false; } else if (c === bestCount && c > 0) tie = true;
  }
  return bestCount > 0 && !tie ? best : '';
}

// Phase of a poll record at `now`: "running", "closed" (result on the wall) or "ended".
export function pollPhase(poll, now) {
  if (!poll || poll.endedAt) return 'ended';
  const closedAt = closedAtOf(poll, now);
  if (closedAt === null) return 'running';
  return now - closedAt >= CLOSED_HOLD_SEC * 1000 ? 'ended' : 'closed';
}

export function closedAtOf(poll, now) {
  if (poll.closedAt) return Math.min(poll.closedAt, poll.endsAt);
  return now >= poll.endsAt ? poll.endsAt : null;
}

export function summaryText(poll, counts, now) {
  const total = poll.options.reduce((n, o) => n + (counts.get(o.id) ?? 0), 0);
  const parts = poll.options.map((o) => `${o.label} ${counts.get(o.id) ?? 0}`);
  let s = `${parts.join('  ·  ')}  (${total} vote${total === 1 ? '' : 's'})`;
  if (pollPhase(poll, now) !== 'running') {
    const w = winnerOf(poll.options, counts);
    s += w ? `  Winner: ${poll.options.find((o) => o.id === w).label}` : '  No winner';
  }
  return s;
}
