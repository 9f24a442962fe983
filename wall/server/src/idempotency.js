// Idempotent sends. A phone that lost a reply sends again with the same Idempotency-Key header
// (16 to 64 URL-safe characters, one per send); the server answers the repeat with the first
// result instead of doing it twice. A key belongs to one send: the endpoint it was first used on
// and a digest of what was sent (path, query and body bytes); the same key with anything else is
// refused (422), never answered with another send's result. Remembered per phone for REPLAY_MS,
// in memory (a restart forgets them), within a bound on entries and on the bytes of the replies
// kept; only successful results are remembered, so a send that failed runs again.

import { InputError } from './text.js';

export const IDEMPOTENCY_KEY = /^[A-Za-z0-9_-]{16,64}$/;
export const REPLAY_MS = 15 * 60 * 1000;
export const REPLAY_MAX_BYTES = 16 * 1024 * 1024;
// What one entry costs besides its reply: the key, the digest, the map's own bookkeeping.
const ENTRY_BYTES = 200;

const reused = () => new InputError(
  'That Idempotency-Key was already used for a different send. Use a new key for each send.', 'key_reused', 422);

export class IdempotencyStore {
  constructor({ clock = Date.now, keepMs = REPLAY_MS, maxEntries = 50000, maxBytes = REPLAY_MAX_BYTES } = {}) {
    Object.assign(this, { clock, keepMs, maxEntries, maxBytes });
    // "<device> <key>" -> { at, endpoint, size, result: Promise<{ body, digest, text }|null> }, oldest first
    this.entries = new Map();
    this.bytes = 0;
  }

  // Runs fn() once per (device, key). fn resolves to { body, digest }: the reply's body and the
  // digest of the request it answered. A repeat, even one that arrives while the first is still
  // running, on the same endpoint and whose digest() matches gets the first's result ({ body,
  // replay: true }); a repeat on another endpoint or with another digest is refused with 422.
  // digest() is only called for a repeat. fn's errors are thrown as they are.
  async once(deviceId, key, endpoint, digest, fn) {
    const id = `${deviceId} ${key}`;
    const now = this.clock();
    const earlier = this.entries.get(id);
    if (earlier && now - earlier.at < this.keepMs) {
      if (earlier.endpoint !== endpoint) throw reused();
      const mine = await digest();
      const first = await earlier.result;
      if (first) {
        if (first.digest !== mine) throw reused();
        return { body: first.body, replay: true };
      }
    }
    this.sweep(now);
    let settle;
    const entry = { at: now, endpoint, size: ENTRY_BYTES, result: new Promise((resolve) => { settle = resolve; }) };
    this.forget(id);
    this.entries.set(id, entry);
    this.bytes += entry.size;
    try {
      const { body, digest: d } = await fn();
      if (this.entries.get(id) === entry) {
        const size = ENTRY_BYTES + Buffer.byteLength(JSON.stringify(body));
        this.bytes += size - entry.size;
        entry.size = size;
      }
      settle({ body, digest: d });
      this.sweep();
      return { body, replay: false };
    } catch (e) {
      settle(null);
      if (this.entries.get(id) === entry) this.forget(id);
      throw e;
    }
  }

  forget(id) {
    const e = this.entries.get(id);
    if (!e) return;
    this.entries.delete(id);
    this.bytes -= e.size;
  }

  // Forgets what is older than keepMs, and the oldest beyond maxEntries or maxBytes.
  sweep(now = this.clock()) {
    for (const [id, e] of this.entries) {
      if (now - e.at < this.keepMs && this.entries.size < this.maxEntries && this.bytes <= this.maxBytes) break;
      this.forget(id);
    }
  }
}
