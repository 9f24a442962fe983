// Idempotent sends. A phone that lost a reply sends again with the same Idempotency-Key header
// (16 to 64 URL-safe characters, one per send); the server answers the repeat with the first
// result instead of doing it twice. Remembered per phone for REPLAY_MS, in memory (a restart
// forgets them); only successful results are remembered, so a send that failed runs again.

export const IDEMPOTENCY_KEY = /^[A-Za-z0-9_-]{16,64}$/;
export const REPLAY_MS = 15 * 60 * 1000;

export class IdempotencyStore {
  constructor({ clock = Date.now, keepMs = REPLAY_MS, maxEntries = 50000 } = {}) {
    Object.assign(this, { clock, keepMs, maxEntries });
    this.entries = new Map(); // "<device> <key>" -> { at, result: Promise<body|null> }, oldest first
  }

  // Runs fn() once per (device, key): a repeat, even one that arrives while the first is still
  // running, gets the first's result ({ body, replay: true }). fn's errors are thrown as they are.
  async once(deviceId, key, fn) {
    const id = `${deviceId} ${key}`;
    const now = this.clock();
    const earlier = this.entries.get(id);
    if (earlier && now - earlier.at < this.keepMs) {
      const body = await earlier.result;
      if (body) return { body, replay: true };
    }
    this.sweep(now);
    let settle;
    const entry = { at: now, result: new Promise((resolve) => { settle = resolve; }) };
    this.entries.delete(id);
    this.entries.set(id, entry);
    try {
      const body = await fn();
      settle(body);
      return { body, replay: false };
    } catch (e) {
      settle(null);
      if (this.entries.get(id) === entry) this.entries.delete(id);
      throw e;
    }
  }

  // Forgets what is older than keepMs, and the oldest beyond maxEntries.
  sweep(now = this.clock()) {
    for (const [id, e] of this.entries) {
      if (now - e.at < this.keepMs && this.entries.size < this.maxEntries) break;
      this.entries.delete(id);
    }
  }
}
