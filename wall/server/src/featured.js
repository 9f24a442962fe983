// The featured post (the big card) and its queue, and idle repeat. Approved posts wait in the
// queue; venue and booth posts jump ahead of guest posts, "Show again" goes to the very front.
// The queue and the card are kept in the store's meta table, so a restart shows the same.

import { InputError } from './text.js';

export const FEATURE_GAP_MS = 1000;
export const IDLE_REPEAT_GAP_MS = 15000;
// Guest posts waiting for the big card; past this they stay in the feed and come up in idle repeat.
export const QUEUE_GUEST_MAX = 30;

export class FeaturedQueue {
  constructor(wall) {
    this.wall = wall;
    this.queue = []; // [{ id, priority }], next first
    this.current = null; // { id, startedAt, until } of the post on the card
    this.lastEndedAt = 0;
    this.lastEndedId = '';
    this.rushed = false; // "next": the next post goes up without waiting for the gaps
    this.repeatCursor = 0;
  }

  get store() { return this.wall.store; }

  load() {
    this.queue = JSON.parse(this.store.getMeta('queue') ?? '[]').filter((q) => this.wall.posts.isLive(q.id));
    this.current = JSON.parse(this.store.getMeta('featured') ?? 'null');
  }

  saveQueue() { this.store.setMeta('queue', JSON.stringify(this.queue)); }
  saveCurrent() { this.store.setMeta('featured', JSON.stringify(this.current)); }

  get currentId() { return this.current?.id ?? ''; }

  enqueue(id, priority, front = false) {
    this.queue = this.queue.filter((q) => q.id !== id);
    if (!priority && !front && this.queue.filter((q) => !q.priority).length >= QUEUE_GUEST_MAX) return;
    let at = this.queue.length;
    if (front) at = 0;
    else if (priority) {
      const firstGuest = this.queue.findIndex((q) => !q.priority);
      if (firstGuest >= 0) at = firstGuest;
    }
    this.queue.splice(at, 0, { id, priority: priority || front });
    this.saveQueue();
  }

  // A post that left the feed leaves the queue and the card.
  forget(id, now) {
    const before = this.queue.length;
    this.queue = this.queue.filter((q) => q.id !== id);
    if (this.queue.length !== before) this.saveQueue();
    if (this.current?.id === id) this.end(now);
  }

  feature(id, now) {
    this.current = { id, startedAt: now, until: now + this.wall.settings.duration * 1000 };
    this.saveCurrent();
  }

  end(now) {
    this.lastEndedId = this.current?.id ?? '';
    this.current = null;
    this.lastEndedAt = now;
    this.saveCurrent();
  }

  // What the clock asks for at `now`: { end, id } (end the card; put `id` up, from the queue when
  // fromQueue), or null when nothing changes. advance() carries it out; due() only asks.
  // The TV starts a card when featuredId changes, so the post that just came down goes up again
  // only after featuredId has been empty for FEATURE_GAP_MS, even after "next".
  plan(now) {
    const end = !!this.current && (now >= this.current.until || !this.wall.posts.isLive(this.current.id));
    if (this.current && !end) return null;
    const lastEndedAt = end ? now : this.lastEndedAt;
    const lastEndedId = end ? this.current.id : this.lastEndedId;
    const idle = now - lastEndedAt;
    let id = '';
    let fromQueue = false;
    if (this.rushed || idle >= FEATURE_GAP_MS) {
      if (this.queue.length > 0) {
        id = this.queue[0].id;
        fromQueue = true;
      } else if (this.wall.settings.repeatMessages && (this.rushed || idle >= IDLE_REPEAT_GAP_MS)) {
        id = this.nextRepeat()?.id ?? '';
      }
    }
    if (id && id === lastEndedId && idle < FEATURE_GAP_MS) id = '';
    return end || id ? { end, id, fromQueue } : null;
  }

  due(now) { return this.plan(now) !== null; }

  // The card's time, then the queue, then idle repeat.
  advance(now) {
    const step = this.plan(now);
    if (!step) return;
    if (step.end) this.end(now);
    if (!step.id) return;
    if (step.fromQueue) {
      this.queue.shift();
      this.saveQueue();
    } else {
      this.repeatCursor = this.wall.posts.byId.get(step.id).liveSeq;
    }
    this.rushed = false;
    this.feature(step.id, now);
  }

  // Live posts (not poll results) one after another in feed order.
  nextRepeat() {
    const candidates = this.wall.posts.live.filter((p) => p.type !== 'vote');
    if (candidates.length === 0) return null;
    return candidates.find((p) => p.liveSeq > this.repeatCursor) ?? candidates[0];
  }

  // "Show again": a live post goes on the card next.
  highlight(id) {
    const p = this.wall.posts.get(id);
    if (p.state !== 'live') throw new InputError('Only posts on the wall can be shown again.', 'not_live', 409);
    if (this.current?.id !== id) this.store.tx(() => this.enqueue(id, true, true));
    return p;
  }

  // Ends the card now and puts up the next queued post (or the next repeat).
  next() {
    const now = this.wall.clock();
    this.store.tx(() => {
      if (this.current) this.end(now);
      this.rushed = true;
      this.wall.tick(now);
    });
  }

  // Ends the card now; what comes next waits for its gap.
  skip() {
    const now = this.wall.clock();
    this.rushed = false;
    if (this.current) this.store.tx(() => this.end(now));
  }

  clear(now) {
    this.queue = [];
    this.rushed = false;
    this.saveQueue();
    if (this.current) this.end(now);
  }
}
