// Live polls: validation of the DJ's start request, the running/closed/ended phases, tallies,
// and the running (or just closed) poll itself with its votes.

import { InputError, field, LIMITS } from './text.js';
import { newId } from './ids.js';
import { newPost } from './posts.js';

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

const addChoice = (choices, deviceId, optionId) => {
  if (!choices.has(deviceId)) choices.set(deviceId, new Set());
  choices.get(deviceId).add(optionId);
};

// Votes in one poll from one client address (loopback callers aside): a bound on phones that
// throw their device cookie away to vote again.
export const VOTES_PER_ADDRESS = 30;
export const VOTES_PER_ADDRESS_UNLIMITED = 300;

const noPoll = () => new InputError('No vote is running.', 'no_poll', 404);
const totalOf = (counts) => [...counts.values()].reduce((a, b) => a + b, 0);

// The one poll on the wall: { record, counts: Map(option id -> votes), voters: Map(device id -> votes),
// choices: Map(device id -> Set of the option ids it voted for), addresses: Map(address key -> votes),
// kept in memory only }.
export class Polls {
  constructor(wall) {
    this.wall = wall;
    this.current = null;
  }

  get store() { return this.wall.store; }

  load() {
    const open = this.store.openPoll();
    if (!open) return;
    const record = {
      id: open.id, title: open.title, photo: open.photo, options: JSON.parse(open.options),
      startedAt: open.started_at, endsAt: open.ends_at, closedAt: open.closed_at, endedAt: open.ended_at,
    };
    const counts = new Map();
    const voters = new Map();
    const choices = new Map();
    for (const v of this.store.votesOf(open.id)) {
      counts.set(v.option_id, (counts.get(v.option_id) ?? 0) + 1);
      voters.set(v.device_id, (voters.get(v.device_id) ?? 0) + 1);
      addChoice(choices, v.device_id, v.option_id);
    }
    this.current = { record, counts, voters, choices, addresses: new Map() };
  }

  // parsed: parsePollStart's result. A new poll ends any other.
  start(parsed, photo) {
    const now = this.wall.clock();
    // Option ids are the poll's id and the answer's number: the TV tells polls apart by their bar
    // keys, so a new poll never has the keys of the one before, whatever its title and answers.
    const id = newId('v');
    const record = {
      id, title: parsed.title, photo,
      options: parsed.options.map((label, i) => ({ id: `${id}_${i + 1}`, label })),
      startedAt: now, endsAt: parsed.endsAt, closedAt: null, endedAt: null,
    };
    this.store.tx(() => {
      this.store.endAllPolls(now);
      this.store.insertPoll(record);
    });
    this.current = { record, counts: new Map(), voters: new Map(), choices: new Map(), addresses: new Map() };
    return record;
  }

  // A running poll closes (its result stays on the wall for a while); a closed one ends at once.
  stop() {
    if (!this.current) throw noPoll();
    const now = this.wall.clock();
    const r = this.current.record;
    if (pollPhase(r, now) === 'running') {
      this.store.tx(() => this.close(now));
    } else {
      this.store.tx(() => {
        if (!r.closedAt) this.close(closedAtOf(r, now));
        this.store.endPoll(r.id, now);
      });
      this.current = null;
    }
  }

  // Closing writes the result into the live feed as a "vote" post.
  close(at) {
    const { record, counts } = this.current;
    record.closedAt = at;
    this.store.closePoll(record.id, at);
    const w = winnerOf(record.options, counts);
    const total = totalOf(counts);
    // "Encore? Yes wins", "Last song: Yes wins": a title that ends in its own mark takes no colon.
    const head = /[?!.:…]$/u.test(record.title) ? `${record.title} ` : `${record.title}: `;
    const text = w
      ? `${head}${record.options.find((o) => o.id === w).label} wins (${total} vote${total === 1 ? '' : 's'})`
      : `${head}no winner`;
    const now = this.wall.clock();
    this.wall.posts.addLive(newPost({ type: 'vote', origin: 'system', name: 'Vote', text, now }), now);
  }

  due(now) {
    const r = this.current?.record;
    return !!r && ((!r.closedAt && now >= r.endsAt) || pollPhase(r, now) === 'ended');
  }

  advance(now) {
    if (!this.current) return;
    const r = this.current.record;
    if (!r.closedAt && now >= r.endsAt) this.store.tx(() => this.close(r.endsAt));
    if (pollPhase(r, now) === 'ended') {
      this.store.endPoll(r.id, now);
      this.current = null;
    }
  }

  // address: the caller's address key, '' for loopback callers.
  vote(deviceId, optionId, address = '') {
    if (!this.current) throw noPoll();
    const now = this.wall.clock();
    const { record, counts, voters, addresses } = this.current;
    if (pollPhase(record, now) !== 'running') throw new InputError('This vote has closed.', 'closed', 409);
    this.wall.refuseBlocked(deviceId);
    if (!record.options.some((o) => o.id === optionId)) throw new InputError('That answer is not in this vote.');
    if (!this.wall.settings.allowUnlimitedVoting && (voters.get(deviceId) ?? 0) > 0) {
      throw new InputError('You already voted in this one.', 'already_voted', 409);
    }
    const fromAddress = address ? addresses.get(address) ?? 0 : 0;
    if (fromAddress >= (this.wall.settings.allowUnlimitedVoting ? VOTES_PER_ADDRESS_UNLIMITED : VOTES_PER_ADDRESS)) {
      const e = new InputError('That is a lot of votes from one place. Wait for the next vote.', 'slow_down', 429);
      e.retryAfter = Math.max(1, Math.ceil((record.endsAt - now) / 1000));
      throw e;
    }
    this.store.tx(() => {
      this.wall.ensureDevice(deviceId);
      this.store.addVote(record.id, deviceId, optionId, now);
    });
    counts.set(optionId, (counts.get(optionId) ?? 0) + 1);
    voters.set(deviceId, (voters.get(deviceId) ?? 0) + 1);
    addChoice(this.current.choices, deviceId, optionId);
    if (address) addresses.set(address, fromAddress + 1);
  }

  // The poll as the documents show it, or null once it has ended.
  view(now = this.wall.clock(), deviceId = '') {
    if (!this.current) return null;
    const { record, counts, voters } = this.current;
    const phase = pollPhase(record, now);
    if (phase === 'ended') return null;
    const closedAt = closedAtOf(record, now);
    const remain = phase === 'running' ? Math.max(0, (record.endsAt - now) / 1000) : 0;
    const mine = voters.get(deviceId) ?? 0;
    return {
      phase, record, counts, remain,
      duration: (record.endsAt - record.startedAt) / 1000,
      closedFor: closedAt === null ? 0 : Math.max(0, (now - closedAt) / 1000),
      myVotes: mine,
      canVote: phase === 'running' && !this.wall.isBlocked(deviceId) && (this.wall.settings.allowUnlimitedVoting || mine === 0),
    };
  }

  // The poll picture as phones get it: its phone-sized copy when there is one.
  phonePhoto(record) {
    if (record.phonePhoto === undefined) record.phonePhoto = record.photo ? this.wall.phonePhotoOf(record.photo) : '';
    return record.phonePhoto;
  }

  // The poll object of the guest endpoints.
  guestView(deviceId, now) {
    const v = this.view(now, deviceId);
    if (!v) return null;
    return {
      id: v.record.id, title: v.record.title, photo: this.phonePhoto(v.record),
      options: v.record.options.map((o) => ({ id: o.id, label: o.label, count: v.counts.get(o.id) ?? 0 })),
      total: totalOf(v.counts), remain: Math.round(v.remain * 10) / 10, duration: v.duration, closed: v.phase === 'closed',
      winner: v.phase === 'closed' ? winnerOf(v.record.options, v.counts) : '', myVotes: v.myVotes, canVote: v.canVote,
      myOptions: [...(this.current.choices.get(deviceId) ?? [])],
    };
  }
}
