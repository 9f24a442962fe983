// Emoji reactions on live posts and the hot rule. Each phone's current emoji on a post counts
// once, at the time it was given; the wall shows the tally as "emoji:count" text.

import { checkEmoji, switchedOff, InputError } from './text.js';

// A post is hot while at least `need` reactions arrived within the last `windowSec` seconds.
export function isHot(reactionTimes, now, need, windowSec) {
  if (!reactionTimes || reactionTimes.length < need) return false;
  const since = now - windowSec * 1000;
  let n = 0;
  for (const t of reactionTimes) {
    if (t > since && ++n >= need) return true;
  }
  return false;
}

// Different emojis on one post: with all emojis and several per phone allowed, a post could
// otherwise collect any number, and every reply carries the post's whole tally.
export const MAX_EMOJIS_PER_POST = 20;

const NO_TALLY = new Map();

export function tallyList(tally) {
  return [...tally.entries()]
    .filter(([, c]) => c > 0)
    .sort((a, b) => b[1] - a[1])
    .map(([emoji, count]) => ({ emoji, count }));
}

// The reactions text of the wall: "emoji:count" items, highest count first, joined by ",".
export function tallyText(tally) {
  return tallyList(tally).map((r) => `${r.emoji}:${r.count}`).join(',');
}

export class Reactions {
  constructor(wall) {
    this.wall = wall;
    this.byPost = new Map(); // post id -> Map(device id -> Map(emoji -> time))
    // post id -> its tally (emoji -> count), kept up to date as reactions come and go: every reply
    // to a reaction and every document carries it, and counting it again from every phone's
    // reactions cost more than the rest of a reaction's work.
    this.tallies = new Map();
  }

  load(postIds) {
    for (const r of this.wall.store.reactionsOf(postIds)) this.put(r.post_id, r.device_id, r.emoji, r.at);
  }

  put(postId, deviceId, emoji, at) {
    let byDevice = this.byPost.get(postId);
    if (!byDevice) this.byPost.set(postId, (byDevice = new Map()));
    let mine = byDevice.get(deviceId);
    if (!mine) byDevice.set(deviceId, (mine = new Map()));
    if (!mine.has(emoji)) {
      let t = this.tallies.get(postId);
      if (!t) this.tallies.set(postId, (t = new Map()));
      t.set(emoji, (t.get(emoji) ?? 0) + 1);
    }
    mine.set(emoji, at);
  }

  // Takes a phone's emoji off a post (mine: the phone's reactions on it); false when it had none.
  take(postId, mine, emoji) {
    if (!mine.delete(emoji)) return false;
    const t = this.tallies.get(postId);
    const n = (t?.get(emoji) ?? 0) - 1;
    if (n > 0) t.set(emoji, n);
    else t?.delete(emoji);
    return true;
  }

  // A post that left the wall keeps its reactions in the database only.
  forget(postId) {
    this.byPost.delete(postId);
    this.tallies.delete(postId);
  }

  mine(postId, deviceId) { return [...(this.byPost.get(postId)?.get(deviceId)?.keys() ?? [])]; }

  react(deviceId, postId, emojiIn, remove = false) {
    const { wall } = this;
    const s = wall.settings;
    if (!s.allowReactions) throw switchedOff('Reactions');
    wall.refuseBlocked(deviceId);
    if (!wall.posts.isLive(postId)) throw new InputError('That post is no longer on the wall.', 'not_live', 409);
    const emoji = checkEmoji(emojiIn, s.allowAllEmojis);
    const now = wall.clock();
    const mine = this.byPost.get(postId)?.get(deviceId) ?? new Map();
    if (!remove && !mine.has(emoji)) {
      const tally = this.tally(postId);
      if (!tally.has(emoji) && tally.size >= MAX_EMOJIS_PER_POST) {
        throw new InputError('This post has all the different emojis it can take. Pick one it already has.', 'too_many_emojis', 409);
      }
    }
    const store = wall.store;
    store.tx(() => {
      wall.ensureDevice(deviceId);
      if (remove) {
        if (this.take(postId, mine, emoji)) store.deleteReaction(postId, deviceId, emoji);
      } else if (!mine.has(emoji)) {
        if (!s.allowMultipleEmojis) {
          for (const old of [...mine.keys()]) {
            this.take(postId, mine, old);
            store.deleteReaction(postId, deviceId, old);
          }
        }
        store.addReaction(postId, deviceId, emoji, now);
        this.put(postId, deviceId, emoji, now);
      }
    });
    return { reactions: tallyList(this.tally(postId)), mine: this.mine(postId, deviceId), hot: this.hot(postId, now) };
  }

  // emoji -> count; not to be changed by the caller.
  tally(postId) { return this.tallies.get(postId) ?? NO_TALLY; }

  // The hot rule alone (isHot, without gathering the times); whether the wall shows it also
  // depends on allowHotFx (see shownHot).
  hot(postId, now = this.wall.clock()) {
    const byDevice = this.byPost.get(postId);
    if (!byDevice) return false;
    const { hotNeed, hotWindowSec } = this.wall.settings;
    const since = now - hotWindowSec * 1000;
    let n = 0;
    for (const mine of byDevice.values()) {
      for (const at of mine.values()) if (at > since && ++n >= hotNeed) return true;
    }
    return false;
  }

  shownHot(postId, now) { return this.wall.settings.allowHotFx && this.hot(postId, now); }

  // When a hot post stops being hot with no new reaction: as its hotNeed-th newest reaction
  // leaves the window. 0 when it is not hot now.
  hotUntil(postId, now) {
    const byDevice = this.byPost.get(postId);
    if (!byDevice) return 0;
    const { hotNeed, hotWindowSec } = this.wall.settings;
    const times = [];
    for (const mine of byDevice.values()) for (const at of mine.values()) times.push(at);
    const k = Math.max(1, hotNeed);
    if (times.length < k) return 0;
    times.sort((a, b) => b - a);
    const until = times[k - 1] + hotWindowSec * 1000;
    return until > now ? until : 0;
  }
}
