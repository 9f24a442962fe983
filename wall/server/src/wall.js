// The moderation engine: posts and their lists, the featured post and its queue, idle repeat,
// requests, reactions and hot posts, polls, blocks, looks and the venue PIN. It keeps the visible
// state in memory and writes every change through to the store before returning.

import { timingSafeEqual } from 'node:crypto';
import { InputError, field, normalizeColor, songKey, songSearchText, checkEmoji, LIMITS, SHORT_EMOJIS } from './text.js';
import { DEFAULT_SETTINGS, mergeSettings, tipLinksFor } from './settings.js';
import { isHot, tallyText, tallyList } from './hot.js';
import { pollPhase, closedAtOf, winnerOf, summaryText } from './polls.js';
import { BUILTIN_LOOK } from './looks.js';
import { newId, newSecret, newPin } from './ids.js';

export const FEATURE_GAP_MS = 1000;
export const IDLE_REPEAT_GAP_MS = 15000;
export const MAX_WAITING_PER_PHONE = 10;
export const FEED_PACKED_MAX = 30;
export const STATE_LIST_MAX = 200;
// Guest posts waiting for the big card; past this they stay in the feed and come up in idle repeat.
export const QUEUE_GUEST_MAX = 30;

export const NAME_COLORS = Object.freeze(['#ff7a18', '#a855f7', '#22d3ee', '#f472b6', '#34d399', '#facc15', '#60a5fa', '#fb7185']);

const notFound = () => new InputError('That post is no longer there.', 'no_post', 404);
const off = (what) => new InputError(`${what} are switched off right now.`, 'off', 403);
const blockedErr = () => new InputError("This phone can't send to the wall right now.", 'blocked', 403);

function fromRow(r) {
  return {
    id: r.id, type: r.type, origin: r.origin, deviceId: r.device_id, name: r.name, text: r.text, photo: r.photo,
    search: r.search, songKey: r.song_key, mark: r.mark, color: r.color, state: r.state, createdAt: r.created_at,
    lastAt: r.last_at, count: r.count, liveSeq: r.live_seq, changedAt: r.changed_at,
  };
}

export class Wall {
  constructor(store, { clock = Date.now } = {}) {
    this.store = store;
    this.clock = clock;
    this.posts = new Map(); // visible posts: waiting, live, rejected
    this.waitingCount = new Map(); // device id -> number of its posts waiting for the DJ
    this.live = []; // live posts in feed order (oldest first)
    this.requestIndex = new Map(); // song key -> waiting request
    this.devices = new Map();
    this.handles = new Map(); // public handle -> device
    this.reactions = new Map(); // post id -> Map(device id -> Map(emoji -> time))
    this.looks = new Map();
    this.poll = null; // { record, counts: Map, voters: Map }
    this.vdjSearch = '';
    this.lastEndedAt = 0;
    this.repeatCursor = 0;
    this.listeners = new Set();
    this.load();
  }

  // ---- loading ----

  load() {
    const s = this.store;
    const saved = s.getMeta('settings');
    this.settings = mergeSettings(DEFAULT_SETTINGS, saved ? JSON.parse(saved) : {});
    this.venuePin = s.getMeta('venuePin');
    if (!this.venuePin) {
      this.venuePin = newPin();
      s.setMeta('venuePin', this.venuePin);
    }
    for (const r of s.allDevices()) this.addDeviceToMemory({ id: r.id, handle: r.handle, name: r.name, color: r.color, blockedAt: r.blocked_at });
    for (const r of s.visiblePosts()) {
      const p = fromRow(r);
      this.posts.set(p.id, p);
      if (p.state === 'waiting') this.countWaiting(p, 1);
      if (p.state === 'live') this.live.push(p);
      if (p.state === 'waiting' && p.type === 'request' && p.songKey) this.requestIndex.set(p.songKey, p);
    }
    this.live.sort((a, b) => a.liveSeq - b.liveSeq);
    this.liveSeq = s.maxLiveSeq();
    for (const r of s.reactionsOf(this.live.map((p) => p.id))) this.putReaction(r.post_id, r.device_id, r.emoji, r.at);
    for (const r of s.allLooks()) {
      this.looks.set(r.id, { id: r.id, name: r.name, kind: r.kind, colors: JSON.parse(r.colors), angle: r.angle, picture: r.picture });
    }
    this.activeLook = s.getMeta('activeLook') ?? 'lumvo';
    const open = s.openPoll();
    if (open) {
      const record = {
        id: open.id, title: open.title, photo: open.photo, options: JSON.parse(open.options),
        startedAt: open.started_at, endsAt: open.ends_at, closedAt: open.closed_at, endedAt: open.ended_at,
      };
      const counts = new Map();
      const voters = new Map();
      for (const v of s.votesOf(open.id)) {
        counts.set(v.option_id, (counts.get(v.option_id) ?? 0) + 1);
        voters.set(v.device_id, (voters.get(v.device_id) ?? 0) + 1);
      }
      this.poll = { record, counts, voters };
    }
    this.queue = JSON.parse(s.getMeta('queue') ?? '[]').filter((q) => this.isLive(q.id));
    this.featured = JSON.parse(s.getMeta('featured') ?? 'null');
  }

  addDeviceToMemory(d) {
    this.devices.set(d.id, d);
    this.handles.set(d.handle, d);
  }

  onChange(fn) { this.listeners.add(fn); }
  changed(what) { for (const fn of this.listeners) fn(what); }

  isLive(id) { return this.posts.get(id)?.state === 'live'; }

  // ---- persistence helpers ----

  saveQueue() { this.store.setMeta('queue', JSON.stringify(this.queue)); }
  saveFeatured() { this.store.setMeta('featured', JSON.stringify(this.featured)); }

  countWaiting(p, delta) {
    if (!p.deviceId) return;
    const n = (this.waitingCount.get(p.deviceId) ?? 0) + delta;
    if (n > 0) this.waitingCount.set(p.deviceId, n); else this.waitingCount.delete(p.deviceId);
  }

  setState(p, state, now) {
    if (p.state === 'waiting' && state !== 'waiting') this.countWaiting(p, -1);
    if (p.state !== 'waiting' && state === 'waiting') this.countWaiting(p, 1);
    const wasLive = p.state === 'live';
    const wasWaitingRequest = p.state === 'waiting' && p.type === 'request';
    p.state = state;
    p.changedAt = now;
    if (state === 'live' && !wasLive) {
      p.liveSeq = ++this.liveSeq;
      this.live.push(p);
    }
    if (wasLive && state !== 'live') {
      this.live = this.live.filter((x) => x !== p);
      this.reactions.delete(p.id);
      this.unqueue(p.id);
      if (this.featured?.id === p.id) this.endFeatured(now);
    }
    if (wasWaitingRequest && state !== 'waiting' && this.requestIndex.get(p.songKey) === p) this.requestIndex.delete(p.songKey);
    if (state === 'waiting' && p.type === 'request' && p.songKey && !this.requestIndex.has(p.songKey)) this.requestIndex.set(p.songKey, p);
    if (!['waiting', 'live', 'rejected'].includes(state)) this.posts.delete(p.id);
    this.store.updatePost(p);
  }

  // ---- devices ----

  device(id) { return id ? this.devices.get(id) : undefined; }

  ensureDevice(id) {
    let d = this.devices.get(id);
    if (!d) {
      d = { id, handle: newId('d').slice(2), name: '', color: '', blockedAt: null, createdAt: this.clock() };
      this.store.insertDevice(d);
      this.addDeviceToMemory(d);
    }
    return d;
  }

  isBlocked(id) { return !!this.devices.get(id)?.blockedAt; }

  // Name and colour as the phone sent them, remembered for its next posts.
  profile(deviceId, body) {
    const d = this.ensureDevice(deviceId);
    const name = body.name === undefined ? d.name : field(body.name, { label: 'name', max: LIMITS.name });
    let color = d.color;
    if (body.color !== undefined && this.settings.allowGuestColors) {
      color = normalizeColor(body.color);
      if (body.color && !color) throw new InputError('Colours must look like #ff7a18.');
    }
    if (name !== d.name || color !== d.color) {
      d.name = name;
      d.color = color;
      this.store.updateDeviceProfile(d.id, name, color);
    }
    return d;
  }

  // ---- guest posts ----

  submit(deviceId, type, body, photo = '') {
    const now = this.clock();
    const s = this.settings;
    if (type === 'shoutout' && !s.allowMessages) throw off('Messages');
    if (type === 'request' && !s.allowRequests) throw off('Song requests');
    if (type === 'photo' && !s.allowPhotos) throw off('Photos');
    if (type === 'tip' && (!s.showTipsOnWall || tipLinksFor(s).length === 0)) throw off('Tip messages');
    if (this.isBlocked(deviceId)) throw blockedErr();
    const max = type === 'request' ? LIMITS.request : LIMITS.text;
    const label = type === 'request' ? 'song' : type === 'photo' ? 'caption' : 'message';
    const text = field(body.text, { label, max, required: type !== 'photo' && type !== 'tip', keepLines: type !== 'request' });
    if (type === 'photo' && !photo) throw new InputError('Please add a photo.', 'empty');
    const d = this.store.tx(() => this.profile(deviceId, body));
    const waiting = this.waitingCount.get(deviceId) ?? 0;
    if (type === 'request') {
      const key = songKey(text);
      if (!key) throw new InputError('Please add the song.', 'empty');
      const existing = this.requestIndex.get(key);
      if (existing) {
        return this.store.tx(() => {
          if (this.store.addAsker(existing.id, deviceId, now)) {
            existing.count += 1;
            existing.lastAt = now;
            existing.name = d.name;
            existing.changedAt = now;
            this.store.updatePost(existing);
            this.changed('requests');
          }
          return { id: existing.id, status: 'pending', count: existing.count };
        });
      }
    }
    if (waiting >= MAX_WAITING_PER_PHONE) {
      const e = new InputError('You have lots of posts waiting for the DJ. Try again in a little while.', 'slow_down', 429);
      e.retryAfter = 60;
      throw e;
    }
    const live = type === 'shoutout' && s.autoApprove;
    const p = {
      id: newId('p'), type, origin: 'guest', deviceId, name: d.name, text, photo,
      search: type === 'request' ? songSearchText(text) : '', songKey: type === 'request' ? songKey(text) : '',
      mark: '', color: s.allowGuestColors ? d.color : '', state: 'waiting', createdAt: now, lastAt: now, count: 1,
      liveSeq: 0, changedAt: now,
    };
    this.store.tx(() => {
      this.store.insertPost(p);
      this.posts.set(p.id, p);
      this.countWaiting(p, 1);
      if (type === 'request') {
        this.store.addAsker(p.id, deviceId, now);
        this.requestIndex.set(p.songKey, p);
      }
      if (live) {
        this.setState(p, 'live', now);
        this.enqueue(p.id, false);
      }
    });
    this.changed(type);
    return { id: p.id, status: live ? 'live' : 'pending', count: 1 };
  }

  // Posts from the booth and the venue skip moderation and jump the featured queue.
  direct(origin, { name, text, photo = '', deviceId = null }) {
    const now = this.clock();
    const type = origin === 'venue' ? 'venue' : 'shoutout';
    const p = {
      id: newId('p'), type, origin, deviceId, name, text, photo, search: '', songKey: '', mark: '', color: '',
      state: 'new', createdAt: now, lastAt: now, count: 1, liveSeq: 0, changedAt: now,
    };
    this.store.tx(() => {
      this.store.insertPost(p);
      this.posts.set(p.id, p);
      this.setState(p, 'live', now);
      this.enqueue(p.id, true);
    });
    this.changed(origin);
    return p;
  }

  // Posts a phone sent, newest first, with what became of them.
  mine(deviceId) {
    return this.store.postsOfDevice(deviceId, 20).map((r) => ({
      id: r.id, type: r.type, text: r.text, photo: r.photo, createdAt: r.created_at,
      status: r.state === 'waiting' ? 'pending' : r.state === 'live' ? 'live' : 'done',
    }));
  }

  // ---- featured queue ----

  enqueue(id, priority, front = false) {
    this.queue = this.queue.filter((q) => q.id !== id);
    if (!priority && !front && this.queue.filter((q) => !q.priority).length >= QUEUE_GUEST_MAX) return;
    let at = this.queue.length;
    if (front) at = 0;
    else if (priority) at = this.queue.findIndex((q) => !q.priority) < 0 ? this.queue.length : this.queue.findIndex((q) => !q.priority);
    this.queue.splice(at, 0, { id, priority: priority || front });
    this.saveQueue();
  }

  unqueue(id) {
    const before = this.queue.length;
    this.queue = this.queue.filter((q) => q.id !== id);
    if (this.queue.length !== before) this.saveQueue();
  }

  feature(id, now) {
    this.featured = { id, startedAt: now, until: now + this.settings.duration * 1000 };
    this.saveFeatured();
  }

  endFeatured(now) {
    this.featured = null;
    this.lastEndedAt = now;
    this.saveFeatured();
  }

  // Advances the clock-driven state: the featured post's time, the queue, idle repeat and polls.
  tick(now = this.clock()) {
    if (this.featured && (now >= this.featured.until || !this.isLive(this.featured.id))) this.endFeatured(now);
    if (!this.featured && now - this.lastEndedAt >= FEATURE_GAP_MS) {
      if (this.queue.length > 0) {
        const q = this.queue.shift();
        this.saveQueue();
        this.feature(q.id, now);
      } else if (this.settings.repeatMessages && now - this.lastEndedAt >= IDLE_REPEAT_GAP_MS) {
        const next = this.nextRepeat();
        if (next) {
          this.repeatCursor = next.liveSeq;
          this.feature(next.id, now);
        }
      }
    }
    this.tickPoll(now);
  }

  nextRepeat() {
    const candidates = this.live.filter((p) => p.type !== 'vote');
    if (candidates.length === 0) return null;
    return candidates.find((p) => p.liveSeq > this.repeatCursor) ?? candidates[0];
  }

  // ---- moderator actions ----

  get(id) {
    const p = typeof id === 'string' ? this.posts.get(id) : undefined;
    if (!p) throw notFound();
    return p;
  }

  show(id) {
    const p = this.get(id);
    if (p.state === 'live') return this.highlight(id);
    const now = this.clock();
    this.store.tx(() => {
      this.setState(p, 'live', now);
      this.enqueue(p.id, false);
    });
    this.changed('show');
    return p;
  }

  reject(id) {
    const p = this.get(id);
    if (p.state !== 'rejected') this.store.tx(() => this.setState(p, 'rejected', this.clock()));
    this.changed('reject');
  }

  drop(id) {
    const p = this.get(id);
    this.store.tx(() => this.setState(p, 'dropped', this.clock()));
    this.changed('drop');
  }

  highlight(id) {
    const p = this.get(id);
    if (p.state !== 'live') throw new InputError('Only posts on the wall can be shown again.', 'not_live', 409);
    if (this.featured?.id !== id) this.store.tx(() => this.enqueue(id, true, true));
    this.changed('highlight');
    return p;
  }

  remove(id) {
    const p = this.get(id);
    if (p.state !== 'live') throw new InputError('That post is not on the wall.', 'not_live', 409);
    this.store.tx(() => this.setState(p, 'removed', this.clock()));
    this.changed('remove');
  }

  restore(id) {
    const p = this.get(id);
    if (p.state !== 'rejected') throw new InputError('Only rejected posts can be restored.', 'not_rejected', 409);
    this.store.tx(() => this.setState(p, 'waiting', this.clock()));
    this.changed('restore');
  }

  block(id) {
    const p = this.get(id);
    const d = this.device(p.deviceId);
    if (!d) throw new InputError('Posts from the booth cannot be blocked.', 'no_phone', 409);
    const now = this.clock();
    this.store.tx(() => {
      d.blockedAt = now;
      this.store.setBlocked(d.id, now);
      for (const q of [...this.posts.values()]) {
        if (q.deviceId === d.id && q.state === 'waiting') this.setState(q, 'rejected', now);
      }
    });
    this.changed('block');
  }

  unblock(id) {
    let d;
    if (typeof id === 'string' && id.startsWith('b_')) d = this.handles.get(id.slice(2));
    else d = this.device(this.get(id).deviceId);
    if (!d) throw new InputError('That phone is not blocked.', 'no_phone', 404);
    if (d.blockedAt) {
      d.blockedAt = null;
      this.store.setBlocked(d.id, null);
    }
    this.changed('unblock');
  }

  unblockAll() {
    this.store.unblockAll();
    for (const d of this.devices.values()) d.blockedAt = null;
    this.changed('unblock');
  }

  requestMark(id, mark) {
    const p = this.get(id);
    if (p.type !== 'request') throw new InputError('Only song requests can be marked.', 'not_request', 409);
    if (!['', 'played', 'refuse'].includes(mark)) throw new InputError('A mark is "played", "refuse" or empty.');
    p.mark = mark;
    p.changedAt = this.clock();
    this.store.updatePost(p);
    this.changed('mark');
  }

  next() {
    const now = this.clock();
    this.store.tx(() => {
      if (this.featured) this.endFeatured(now);
      this.lastEndedAt = -Infinity;
      this.tick(now);
    });
    this.changed('next');
  }

  skip() {
    const now = this.clock();
    if (this.featured) this.store.tx(() => this.endFeatured(now));
    this.changed('skip');
  }

  clear() {
    const now = this.clock();
    this.store.tx(() => {
      for (const p of [...this.live]) this.setState(p, 'cleared', now);
      this.queue = [];
      this.saveQueue();
      if (this.featured) this.endFeatured(now);
    });
    this.changed('clear');
  }

  applySettings(body) {
    this.settings = mergeSettings(this.settings, body);
    this.store.setMeta('settings', JSON.stringify(this.settings));
    this.changed('settings');
  }

  setVdjSearch(text) {
    this.vdjSearch = songSearchText(text ?? '');
    this.changed('search');
  }

  // ---- reactions and hot posts ----

  putReaction(postId, deviceId, emoji, at) {
    let byDevice = this.reactions.get(postId);
    if (!byDevice) this.reactions.set(postId, (byDevice = new Map()));
    let mine = byDevice.get(deviceId);
    if (!mine) byDevice.set(deviceId, (mine = new Map()));
    mine.set(emoji, at);
  }

  react(deviceId, postId, emojiIn, remove = false) {
    const s = this.settings;
    if (!s.allowReactions) throw off('Reactions');
    if (this.isBlocked(deviceId)) throw blockedErr();
    const p = this.posts.get(postId);
    if (!p || p.state !== 'live') throw new InputError('That post is no longer on the wall.', 'not_live', 409);
    const emoji = checkEmoji(emojiIn, s.allowAllEmojis);
    const now = this.clock();
    const mine = this.reactions.get(postId)?.get(deviceId) ?? new Map();
    this.store.tx(() => {
      this.ensureDevice(deviceId);
      if (remove) {
        if (mine.delete(emoji)) this.store.deleteReaction(postId, deviceId, emoji);
      } else if (!mine.has(emoji)) {
        if (!s.allowMultipleEmojis) {
          for (const old of [...mine.keys()]) {
            mine.delete(old);
            this.store.deleteReaction(postId, deviceId, old);
          }
        }
        this.store.addReaction(postId, deviceId, emoji, now);
        this.putReaction(postId, deviceId, emoji, now);
      }
    });
    this.changed('react');
    return { reactions: tallyList(this.tally(postId)), mine: [...(this.reactions.get(postId)?.get(deviceId)?.keys() ?? [])], hot: this.hot(postId, now) };
  }

  tally(postId) {
    const t = new Map();
    for (const mine of this.reactions.get(postId)?.values() ?? []) {
      for (const e of mine.keys()) t.set(e, (t.get(e) ?? 0) + 1);
    }
    return t;
  }

  hot(postId, now = this.clock()) {
    const byDevice = this.reactions.get(postId);
    if (!byDevice) return false;
    const times = [];
    for (const mine of byDevice.values()) for (const at of mine.values()) times.push(at);
    return isHot(times, now, this.settings.hotNeed, this.settings.hotWindowSec);
  }

  // ---- polls ----

  startPoll(parsed, photo) {
    const now = this.clock();
    const record = {
      id: newId('v'), title: parsed.title, photo,
      options: parsed.options.map((label, i) => ({ id: `o${i + 1}`, label })),
      startedAt: now, endsAt: parsed.endsAt, closedAt: null, endedAt: null,
    };
    this.store.tx(() => {
      this.store.endAllPolls(now);
      this.store.insertPoll(record);
    });
    this.poll = { record, counts: new Map(), voters: new Map() };
    this.changed('poll');
    return record;
  }

  stopPoll() {
    if (!this.poll) throw new InputError('No vote is running.', 'no_poll', 404);
    const now = this.clock();
    const r = this.poll.record;
    if (pollPhase(r, now) === 'running') {
      this.store.tx(() => this.closePoll(now));
    } else {
      this.store.tx(() => {
        if (!r.closedAt) this.closePoll(closedAtOf(r, now));
        this.store.endPoll(r.id, now);
      });
      this.poll = null;
    }
    this.changed('poll');
  }

  // Closing writes the result into the live feed as a "vote" post.
  closePoll(at) {
    const { record, counts } = this.poll;
    record.closedAt = at;
    this.store.closePoll(record.id, at);
    const w = winnerOf(record.options, counts);
    const total = [...counts.values()].reduce((a, b) => a + b, 0);
    const text = w
      ? `${record.title}: ${record.options.find((o) => o.id === w).label} wins (${total} vote${total === 1 ? '' : 's'})`
      : `${record.title}: no winner`;
    const now = this.clock();
    const p = {
      id: newId('p'), type: 'vote', origin: 'system', deviceId: null, name: 'Vote', text, photo: '', search: '',
      songKey: '', mark: '', color: '', state: 'new', createdAt: now, lastAt: now, count: 1, liveSeq: 0, changedAt: now,
    };
    this.store.insertPost(p);
    this.posts.set(p.id, p);
    this.setState(p, 'live', now);
  }

  tickPoll(now) {
    if (!this.poll) return;
    const r = this.poll.record;
    if (!r.closedAt && now >= r.endsAt) this.store.tx(() => this.closePoll(r.endsAt));
    if (pollPhase(r, now) === 'ended') {
      this.store.endPoll(r.id, now);
      this.poll = null;
      this.changed('poll');
    }
  }

  vote(deviceId, optionId) {
    if (!this.poll) throw new InputError('No vote is running.', 'no_poll', 404);
    const now = this.clock();
    const { record, counts, voters } = this.poll;
    if (pollPhase(record, now) !== 'running') throw new InputError('This vote has closed.', 'closed', 409);
    if (this.isBlocked(deviceId)) throw blockedErr();
    if (!record.options.some((o) => o.id === optionId)) throw new InputError('That answer is not in this vote.');
    if (!this.settings.allowUnlimitedVoting && (voters.get(deviceId) ?? 0) > 0) {
      throw new InputError('You already voted in this one.', 'already_voted', 409);
    }
    this.store.tx(() => {
      this.ensureDevice(deviceId);
      this.store.addVote(record.id, deviceId, optionId, now);
    });
    counts.set(optionId, (counts.get(optionId) ?? 0) + 1);
    voters.set(deviceId, (voters.get(deviceId) ?? 0) + 1);
    this.changed('vote');
  }

  pollView(now = this.clock(), deviceId = '') {
    if (!this.poll) return null;
    const { record, counts, voters } = this.poll;
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
      canVote: phase === 'running' && !this.isBlocked(deviceId) && (this.settings.allowUnlimitedVoting || mine === 0),
    };
  }

  // ---- looks ----

  saveLook(look) {
    const now = this.clock();
    const existing = look.id ? this.looks.get(look.id) : undefined;
    if (look.id && !existing) throw new InputError('That look is no longer there.', 'no_look', 404);
    const l = { ...look, id: existing ? existing.id : newId('l'), createdAt: now };
    this.store.upsertLook(l);
    this.looks.set(l.id, { id: l.id, name: l.name, kind: l.kind, colors: l.colors, angle: l.angle, picture: l.picture });
    this.changed('looks');
    return l;
  }

  deleteLook(id) {
    if (id === 'lumvo') throw new InputError('Lumvo Theme is built in and cannot be deleted.', 'builtin', 409);
    if (!this.looks.has(id)) throw new InputError('That look is no longer there.', 'no_look', 404);
    this.store.tx(() => {
      this.store.deleteLook(id);
      if (this.activeLook === id) {
        this.activeLook = 'lumvo';
        this.store.setMeta('activeLook', 'lumvo');
      }
    });
    this.looks.delete(id);
    this.changed('looks');
  }

  applyLook(id) {
    if (id !== 'lumvo' && !this.looks.has(id)) throw new InputError('That look is no longer there.', 'no_look', 404);
    this.activeLook = id;
    this.store.setMeta('activeLook', id);
    this.changed('looks');
  }

  allLooks() { return [BUILTIN_LOOK, ...this.looks.values()]; }
  currentLook() { return this.looks.get(this.activeLook) ?? BUILTIN_LOOK; }

  // ---- venue manager ----

  venueLogin(deviceId, pin) {
    const given = Buffer.from(String(pin ?? '').trim().toUpperCase().padEnd(5).slice(0, 5));
    if (!timingSafeEqual(given, Buffer.from(this.venuePin))) throw new InputError('That PIN is not right.', 'bad_pin', 403);
    const token = newSecret(24);
    this.store.tx(() => {
      this.ensureDevice(deviceId);
      this.store.addVenueSession(token, deviceId, this.clock());
    });
    return token;
  }

  venueSession(token) {
    return typeof token === 'string' && token.length > 10 ? this.store.venueSession(token) : undefined;
  }

  // ---- views ----

  withLiveFields(p, now) {
    return { ...p, reactions: tallyText(this.tally(p.id)), hot: this.settings.allowHotFx && this.hot(p.id, now) };
  }

  displayView(joinUrl) {
    const now = this.clock();
    this.tick(now);
    const f = this.featured ? this.posts.get(this.featured.id) : null;
    const s = this.settings;
    return {
      featured: f ? this.withLiveFields(f, now) : null,
      settings: s,
      joinUrl,
      feed: this.live.slice(-FEED_PACKED_MAX).map((p) => this.withLiveFields(p, now)),
      poll: this.pollView(now),
      tipEnabled: tipLinksFor(s).length > 0,
    };
  }

  stateView() {
    const now = this.clock();
    this.tick(now);
    const pending = [];
    const requests = [];
    const tips = [];
    const rejected = [];
    for (const p of this.posts.values()) {
      if (p.state === 'waiting') (p.type === 'request' ? requests : p.type === 'tip' ? tips : pending).push(p);
      else if (p.state === 'rejected') rejected.push(p);
    }
    const byCreated = (a, b) => a.createdAt - b.createdAt;
    pending.sort(byCreated);
    tips.sort(byCreated);
    requests.sort((a, b) => (a.mark ? 1 : 0) - (b.mark ? 1 : 0) || b.count - a.count || a.createdAt - b.createdAt);
    rejected.sort((a, b) => a.changedAt - b.changedAt);
    const featuredId = this.featured?.id;
    const feed = this.live.slice(-STATE_LIST_MAX).map((p) => ({ ...this.withLiveFields(p, now), featured: p.id === featuredId }));
    const blocked = [...this.devices.values()].filter((d) => d.blockedAt).sort((a, b) => a.blockedAt - b.blockedAt)
      .map((d) => ({ id: `b_${d.handle}`, type: 'shoutout', name: d.name, text: '', photo: '', createdAt: d.blockedAt, lastAt: d.blockedAt }));
    const poll = this.pollView(now);
    const look = this.currentLook();
    return {
      voteActive: !!poll,
      venuePin: this.venuePin,
      guestBgStatus: `${look.name} is on phones`,
      guestLookActive: look.id,
      vdjSearch: this.vdjSearch,
      repeatMessages: this.settings.repeatMessages,
      voteTitle: poll ? poll.record.title : '',
      voteRemain: poll ? Math.round(poll.remain * 10) / 10 : 0,
      voteClosed: poll ? poll.phase === 'closed' : false,
      voteSummary: poll ? summaryText(poll.record, poll.counts, now) : '',
      autoApprove: this.settings.autoApprove,
      guestLooks: this.allLooks(),
      pending, requests, tips,
      rejected: rejected.slice(-STATE_LIST_MAX),
      feed, blocked,
    };
  }

  guestPollView(deviceId, now) {
    const v = this.pollView(now, deviceId);
    if (!v) return null;
    const total = [...v.counts.values()].reduce((a, b) => a + b, 0);
    return {
      id: v.record.id, title: v.record.title, photo: v.record.photo,
      options: v.record.options.map((o) => ({ id: o.id, label: o.label, count: v.counts.get(o.id) ?? 0 })),
      total, remain: Math.round(v.remain * 10) / 10, duration: v.duration, closed: v.phase === 'closed',
      winner: v.phase === 'closed' ? winnerOf(v.record.options, v.counts) : '', myVotes: v.myVotes, canVote: v.canVote,
    };
  }

  guestConfig(deviceId, isVenue) {
    const now = this.clock();
    this.tick(now);
    const s = this.settings;
    const d = this.device(deviceId);
    const links = tipLinksFor(s);
    return {
      device: { name: d?.name ?? '', color: d?.color ?? '', blocked: !!d?.blockedAt, venue: !!isVenue },
      allow: {
        messages: s.allowMessages, requests: s.allowRequests, photos: s.allowPhotos,
        tips: links.length > 0, tipMessages: links.length > 0 && s.showTipsOnWall,
        reactions: s.allowReactions, allEmojis: s.allowAllEmojis, multipleEmojis: s.allowMultipleEmojis,
        unlimitedVoting: s.allowUnlimitedVoting, guestColors: s.allowGuestColors,
      },
      emojis: SHORT_EMOJIS,
      nameColors: s.allowGuestColors ? NAME_COLORS : [],
      theme: s.theme,
      look: this.currentLook(),
      tipLinks: links,
      brandUrl: s.brandUrl,
      poll: this.guestPollView(deviceId, now),
      featuredId: this.featured?.id ?? '',
      limits: { name: LIMITS.name, text: LIMITS.text, request: LIMITS.request, photoBytes: 5 * 1024 * 1024 },
    };
  }

  guestLive(deviceId) {
    const now = this.clock();
    this.tick(now);
    const posts = this.live.slice(-50).reverse().map((p) => ({
      id: p.id, type: p.type, name: p.name, text: p.text, photo: p.photo, color: p.color,
      hot: this.settings.allowHotFx && this.hot(p.id, now), createdAt: p.createdAt,
      reactions: tallyList(this.tally(p.id)),
      mine: [...(this.reactions.get(p.id)?.get(deviceId)?.keys() ?? [])],
    }));
    return { featuredId: this.featured?.id ?? '', posts };
  }

  // Photo references a guest's phone may fetch: live posts and the running poll's picture.
  publicPhoto(ref) {
    if (this.poll?.record.photo === ref) return true;
    for (const p of this.live) if (p.photo === ref) return true;
    for (const l of this.looks.values()) if (l.picture === ref) return true;
    return false;
  }
}
