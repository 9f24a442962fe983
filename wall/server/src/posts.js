// Posts and moderation: the waiting, live and rejected lists, guest submissions with their limits
// and request merging, booth and venue posts, and the DJ's actions on single posts and phones.
// Posts that leave these lists stay in the database with their final state.

import { InputError, field, songKey, songSearchText, switchedOff, LIMITS } from './text.js';
import { tipLinksFor } from './settings.js';
import { newId } from './ids.js';
import { fairOrder } from './request-order.js';

export const MAX_WAITING_PER_PHONE = 10;
// Posts waiting from one client address (an IPv6 one by its /64): the per-address rate limit's
// "about ten phones" each with its full share, so a room of guests behind one router (where the
// usual phone has one or two posts waiting) keeps posting, while one address holds a tenth of
// the wall's queue at most.
export const MAX_WAITING_PER_ADDRESS = 100;
// Posts waiting for the DJ from all phones together; auto-approved shout-outs and a second asker
// of a waiting request do not wait, so they still go through. Past it, an address with fewer than
// WAITING_RESERVE posts waiting still gets those in (so a few addresses that filled the queue do
// not silence everyone else), up to MAX_WAITING_CEILING in all.
export const MAX_WAITING_TOTAL = 1000;
export const WAITING_RESERVE = 3;
export const MAX_WAITING_CEILING = 2000;

const VISIBLE = new Set(['waiting', 'live', 'rejected']);
// A post in one of these states never shows its photo again: the file is deleted.
const PHOTO_GONE = new Set(['rejected', 'dropped', 'removed', 'cleared']);
const notFound = () => new InputError('That post is no longer there.', 'no_post', 404);

// Every post the wall makes starts here: a guest's, the booth's, the venue's, a poll result.
export function newPost({ type, origin, deviceId = null, address = '', name, text, photo = '', search = '', songKey: key = '', color = '', state = 'new', now }) {
  return {
    id: newId('p'), type, origin, deviceId, address, name, text, photo, search, songKey: key, mark: '', color, state,
    createdAt: now, lastAt: now, count: 1, liveSeq: 0, changedAt: now, flag: '', liveAt: 0,
  };
}

function fromRow(r) {
  return {
    id: r.id, type: r.type, origin: r.origin, deviceId: r.device_id, address: r.address, name: r.name, text: r.text, photo: r.photo,
    search: r.search, songKey: r.song_key, mark: r.mark, color: r.color, state: r.state, createdAt: r.created_at,
    lastAt: r.last_at, count: r.count, liveSeq: r.live_seq, changedAt: r.changed_at, flag: '', liveAt: r.live_at ?? 0,
  };
}

export class PostBoard {
  constructor(wall) {
    this.wall = wall;
    this.byId = new Map(); // visible posts: waiting, live, rejected
    this.waitingCount = new Map(); // device id -> number of its posts waiting for the DJ
    this.waitingByAddress = new Map(); // address key -> number of posts from it waiting
    this.waitingTotal = 0;
    this.live = []; // live posts in feed order (oldest first)
    this.requestIndex = new Map(); // song key -> waiting request
    this.timed = new Set(); // waiting posts that go live by themselves at their liveAt
    this.liveSeq = 0;
  }

  get store() { return this.wall.store; }

  load() {
    for (const r of this.store.visiblePosts()) {
      const p = fromRow(r);
      this.screen(p);
      this.byId.set(p.id, p);
      if (p.state === 'waiting') this.countWaiting(p, 1);
      if (p.state === 'live') this.live.push(p);
      if (p.state === 'waiting' && p.type === 'request' && p.songKey) this.requestIndex.set(p.songKey, p);
      if (p.state === 'waiting' && p.liveAt > 0) this.timed.add(p);
    }
    this.live.sort((a, b) => a.liveSeq - b.liveSeq);
    this.liveSeq = this.store.maxLiveSeq();
  }

  get(id) {
    const p = typeof id === 'string' ? this.byId.get(id) : undefined;
    if (!p) throw notFound();
    return p;
  }

  isLive(id) { return this.byId.get(id)?.state === 'live'; }

  // The word filter's flag: the listed word a guest's post holds (in its text or its name), as the
  // guest wrote it, or "". Worked out from the text, so it is not stored; the DJ's words apply to
  // posts already waiting as soon as they arrive.
  screen(p) {
    if (p.origin !== 'guest') return;
    const { filter } = this.wall;
    p.flag = filter.match(p.text) || filter.matchName(p.name);
  }

  screenAll() {
    for (const p of this.byId.values()) this.screen(p);
  }

  countWaiting(p, delta) {
    if (!p.deviceId) return;
    this.waitingTotal += delta;
    for (const [map, key] of [[this.waitingCount, p.deviceId], [this.waitingByAddress, p.address]]) {
      if (!key) continue;
      const n = (map.get(key) ?? 0) + delta;
      if (n > 0) map.set(key, n); else map.delete(key);
    }
  }

  // Every change of a post's state goes through here, inside the caller's transaction. A new post
  // (write false) is written once, by its caller's insert, in the state it ends up in.
  setState(p, state, now, write = true) {
    if (p.state === 'waiting' && state !== 'waiting') this.countWaiting(p, -1);
    if (p.state !== 'waiting' && state === 'waiting') this.countWaiting(p, 1);
    const wasLive = p.state === 'live';
    const wasWaitingRequest = p.state === 'waiting' && p.type === 'request';
    // A deadline belongs to one wait: a post that leaves the queue (a restored one included)
    // waits for the DJ from then on.
    if (state !== 'waiting' || p.state !== 'waiting') {
      p.liveAt = 0;
      this.timed.delete(p);
    }
    p.state = state;
    p.changedAt = now;
    if (state === 'live' && !wasLive) {
      p.liveSeq = ++this.liveSeq;
      this.live.push(p);
    }
    if (wasLive && state !== 'live') {
      this.live = this.live.filter((x) => x !== p);
      this.wall.reactions.forget(p.id);
      this.wall.featured.forget(p.id, now);
    }
    if (wasWaitingRequest && state !== 'waiting' && this.requestIndex.get(p.songKey) === p) this.requestIndex.delete(p.songKey);
    if (state === 'waiting' && p.type === 'request' && p.songKey && !this.requestIndex.has(p.songKey)) this.requestIndex.set(p.songKey, p);
    if (!VISIBLE.has(state)) this.byId.delete(p.id);
    if (PHOTO_GONE.has(state) && p.photo) {
      this.wall.dropPhoto(p.photo, p);
      p.photo = '';
    }
    if (write) this.store.updatePost(p);
  }

  // A new post straight into the feed (booth, venue, poll results).
  addLive(p, now) {
    this.byId.set(p.id, p);
    this.setState(p, 'live', now, false);
    this.store.insertPost(p);
  }

  // address: the caller's address key ('' from this PC).
  submit(deviceId, type, body, photo = '', address = '') {
    const { wall } = this;
    const now = wall.clock();
    const s = wall.settings;
    if (type === 'shoutout' && !s.allowMessages) throw switchedOff('Messages');
    if (type === 'request' && !s.allowRequests) throw switchedOff('Song requests');
    if (type === 'photo' && !s.allowPhotos) throw switchedOff('Photos');
    if (type === 'tip' && (!s.showTipsOnWall || tipLinksFor(s).length === 0)) throw switchedOff('Tip messages');
    wall.refuseBlocked(deviceId);
    const max = type === 'request' ? LIMITS.request : LIMITS.text;
    const label = type === 'request' ? 'song' : type === 'photo' ? 'caption' : 'message';
    const text = field(body.text, { label, max, required: type !== 'photo' && type !== 'tip', keepLines: type !== 'request' });
    if (type === 'photo' && !photo) throw new InputError('Please add a photo.', 'empty');
    const d = this.store.tx(() => wall.profile(deviceId, body));
    if (type === 'request') {
      const key = songKey(text);
      if (!key) throw new InputError('Please add the song.', 'empty');
      const existing = this.requestIndex.get(key);
      if (existing) return this.askAgain(existing, deviceId, d.name, now, address);
    }
    if ((this.waitingCount.get(deviceId) ?? 0) >= MAX_WAITING_PER_PHONE) {
      const e = new InputError('You have lots of posts waiting for the DJ. Try again in a little while.', 'slow_down', 429);
      e.retryAfter = 60;
      throw e;
    }
    const request = type === 'request';
    const p = newPost({
      type, origin: 'guest', deviceId, address, name: d.name, text, photo, state: 'waiting', now,
      search: request ? songSearchText(text) : '', songKey: request ? songKey(text) : '', color: s.allowGuestColors ? d.color : '',
    });
    // A post the word filter flags always waits for the DJ; the phone is not told why.
    this.screen(p);
    const auto = type === 'shoutout' && s.autoApprove && !p.flag;
    const live = auto && !(s.autoApproveDelaySec > 0);
    if (!live) this.checkRoom(address);
    if (auto && !live) p.liveAt = now + s.autoApproveDelaySec * 1000;
    this.store.tx(() => {
      this.byId.set(p.id, p);
      this.countWaiting(p, 1);
      if (p.liveAt) this.timed.add(p);
      if (request) this.requestIndex.set(p.songKey, p);
      if (live) this.setState(p, 'live', now, false);
      this.store.insertPost(p);
      if (request) this.store.addAsker(p.id, deviceId, now, address);
      if (live) wall.featured.enqueue(p.id, false);
    });
    return { id: p.id, status: live ? 'live' : 'pending', count: 1 };
  }

  // Auto approve after a delay: the waiting posts whose time has come, while auto approve is on.
  // A post the word filter flags (also one flagged by a word the DJ added since) never goes live
  // by the clock.
  duePosts(now) {
    if (!this.wall.settings.autoApprove || this.timed.size === 0) return [];
    return [...this.timed].filter((p) => p.liveAt <= now && !p.flag).sort((a, b) => a.liveAt - b.liveAt);
  }

  due(now) { return this.duePosts(now).length > 0; }

  // Inside the clock's transaction (wall.tick).
  advance(now) {
    for (const p of this.duePosts(now)) {
      this.setState(p, 'live', now);
      this.wall.featured.enqueue(p.id, false);
    }
  }

  // Auto approve turned off: the posts waiting for their time wait for the DJ instead.
  dropDeadlines() {
    for (const p of [...this.timed]) {
      p.liveAt = 0;
      this.timed.delete(p);
      this.store.updatePost(p);
    }
  }

  // Room in the waiting queue for one more post from `address`, or a 429.
  checkRoom(address) {
    const busy = (message) => {
      const e = new InputError(message, 'busy', 429);
      e.retryAfter = 60;
      return e;
    };
    const fromAddress = address ? this.waitingByAddress.get(address) ?? 0 : 0;
    if (fromAddress >= MAX_WAITING_PER_ADDRESS) {
      throw busy('Lots of posts from your network are waiting for the DJ. Try again in a little while.');
    }
    const reserved = address && fromAddress < WAITING_RESERVE && this.waitingTotal < MAX_WAITING_CEILING;
    if (this.waitingTotal >= MAX_WAITING_TOTAL && !reserved) throw busy('The DJ has a lot to read right now. Try again in a minute.');
  }

  // The same song from another phone raises the count; the same phone asking again does not.
  askAgain(request, deviceId, name, now, address = '') {
    return this.store.tx(() => {
      if (this.store.addAsker(request.id, deviceId, now, address)) {
        request.count += 1;
        request.lastAt = now;
        request.name = name;
        request.changedAt = now;
        this.screen(request);
        this.store.updatePost(request);
      }
      return { id: request.id, status: 'pending', count: request.count };
    });
  }

  // Posts from the booth and the venue skip moderation and jump the featured queue.
  direct(origin, { name, text, photo = '', deviceId = null }) {
    const now = this.wall.clock();
    const p = newPost({ type: origin === 'venue' ? 'venue' : 'shoutout', origin, deviceId, name, text, photo, now });
    this.store.tx(() => {
      this.addLive(p, now);
      this.wall.featured.enqueue(p.id, true);
    });
    return p;
  }

  // Posts a phone sent and requests it asked for, newest first, with what became of them and the
  // DJ's mark ("played", "refuse" or "").
  mine(deviceId) {
    return this.store.postsOfDevice(deviceId, 20).map((r) => ({
      id: r.id, type: r.type, text: r.text, photo: r.photo, createdAt: r.created_at,
      status: r.state === 'waiting' ? 'pending' : r.state === 'live' ? 'live' : 'done', mark: r.mark,
    }));
  }

  // Approve & show: to the live feed and the featured queue; a live post is shown again.
  show(id) {
    const p = this.get(id);
    if (p.state === 'live') return this.wall.featured.highlight(id);
    const now = this.wall.clock();
    this.store.tx(() => {
      this.setState(p, 'live', now);
      this.wall.featured.enqueue(p.id, false);
    });
    return p;
  }

  reject(id) {
    const p = this.get(id);
    if (p.state !== 'rejected') this.store.tx(() => this.setState(p, 'rejected', this.wall.clock()));
  }

  drop(id) {
    const p = this.get(id);
    this.store.tx(() => this.setState(p, 'dropped', this.wall.clock()));
  }

  remove(id) {
    const p = this.get(id);
    if (p.state !== 'live') throw new InputError('That post is not on the wall.', 'not_live', 409);
    this.store.tx(() => this.setState(p, 'removed', this.wall.clock()));
  }

  restore(id) {
    const p = this.get(id);
    if (p.state !== 'rejected') throw new InputError('Only rejected posts can be restored.', 'not_rejected', 409);
    if (p.type === 'photo' && !p.photo) throw new InputError('Its photo was deleted when it was rejected.', 'photo_gone', 409);
    this.store.tx(() => this.setState(p, 'waiting', this.wall.clock()));
  }

  // The phone a post's row names: for a request several phones asked for, the last of them (its
  // name is the row's), else the phone that sent it.
  namedDevice(p) {
    const last = p.type === 'request' ? this.store.askersOf(p.id).at(-1) : undefined;
    return this.wall.device(last ? last.device_id : p.deviceId);
  }

  // Blocks the phone the post's row names and rejects everything it has waiting. A request other
  // phones asked for too stays for them, without this phone's ask.
  block(id) {
    const p = this.get(id);
    const d = this.namedDevice(p);
    if (!d) throw new InputError('Posts from the booth cannot be blocked.', 'no_phone', 409);
    const now = this.wall.clock();
    this.store.tx(() => {
      this.wall.setBlocked(d, now);
      this.rejectWaiting((x) => x.device_id === d.id, now);
    });
  }

  // Rejects every waiting post from the phone (by 'phone') or the client address (by 'address')
  // that the post's row names, without blocking anything; returns how many posts it rejected. A
  // request also asked for from elsewhere stays for the others, without these asks.
  rejectFrom(id, by) {
    const p = this.get(id);
    let match;
    if (by === 'address') {
      const last = p.type === 'request' ? this.store.askersOf(p.id).at(-1) : undefined;
      const address = last ? last.address : p.address;
      if (!address) throw new InputError('That post came from no phone on the network.', 'no_address', 409);
      match = (x) => x.address === address;
    } else {
      const d = this.namedDevice(p);
      if (!d) throw new InputError('Posts from the booth come from no phone.', 'no_phone', 409);
      match = (x) => x.device_id === d.id;
    }
    return this.store.tx(() => this.rejectWaiting(match, this.wall.clock()));
  }

  // match({ device_id, address }): whether a post's sender or a request's asker is the one.
  rejectWaiting(match, now) {
    let n = 0;
    for (const q of [...this.byId.values()]) {
      if (q.state !== 'waiting') continue;
      if (q.type !== 'request') {
        if (q.deviceId && match({ device_id: q.deviceId, address: q.address })) {
          this.setState(q, 'rejected', now);
          n++;
        }
        continue;
      }
      const askers = this.store.askersOf(q.id);
      const mine = askers.filter(match);
      if (mine.length === 0) continue;
      const others = askers.filter((a) => !match(a));
      if (others.length === 0) {
        this.setState(q, 'rejected', now);
        n++;
      } else {
        for (const a of mine) this.takeAskOff(q, a.device_id, others.at(-1));
      }
    }
    return n;
  }

  takeAskOff(request, deviceId, last) {
    this.store.removeAsker(request.id, deviceId);
    request.count = Math.max(1, request.count - 1);
    request.name = this.wall.device(last.device_id)?.name ?? request.name;
    request.lastAt = last.at;
    this.screen(request);
    this.store.updatePost(request);
  }

  // id: a post id, or a Blocked list id ("b_<handle>").
  unblock(id) {
    const { wall } = this;
    const d = typeof id === 'string' && id.startsWith('b_') ? wall.handles.get(id.slice(2)) : this.namedDevice(this.get(id));
    if (!d) throw new InputError('That phone is not blocked.', 'no_phone', 404);
    if (d.blockedAt) wall.setBlocked(d, null);
  }

  requestMark(id, mark) {
    const p = this.get(id);
    if (p.type !== 'request') throw new InputError('Only song requests can be marked.', 'not_request', 409);
    if (!['', 'played', 'refuse'].includes(mark)) throw new InputError('A mark is "played", "refuse" or empty.');
    const changedAt = this.wall.clock();
    this.store.updatePost({ ...p, mark, changedAt });
    p.mark = mark;
    p.changedAt = changedAt;
  }

  // Empties the feed, the card and the queue.
  clear() {
    const now = this.wall.clock();
    this.store.tx(() => {
      for (const p of [...this.live]) this.setState(p, 'cleared', now);
      this.wall.featured.clear(now);
    });
  }

  // The waiting and rejected lists of the moderation document, in their display order.
  lists() {
    const pending = [];
    const requests = [];
    const tips = [];
    const rejected = [];
    for (const p of this.byId.values()) {
      if (p.state === 'waiting') (p.type === 'request' ? requests : p.type === 'tip' ? tips : pending).push(p);
      else if (p.state === 'rejected') rejected.push(p);
    }
    const byCreated = (a, b) => a.createdAt - b.createdAt;
    pending.sort(byCreated);
    tips.sort(byCreated);
    rejected.sort((a, b) => a.changedAt - b.changedAt);
    const asked = requests.length ? this.store.waitingAskers() : [];
    return { pending, requests: fairOrder(requests, asked), tips, rejected };
  }
}
