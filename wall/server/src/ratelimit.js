// Limits on what guests send, in layers: token buckets per phone (device cookie) and, more
// generous since several phones can share one, per client address; a limit on how fast one
// address is given new device cookies; and the venue PIN's lockout after wrong guesses. Loopback
// callers (the booth PC, its pages, tests) skip the per-address layer, never the per-phone one.

// Token buckets: `burst` requests at once, then one every `everyMs`.
export class RateLimiter {
  constructor(rules, { clock = Date.now, disabled = false, maxKeys = 50000 } = {}) {
    this.rules = rules;
    this.clock = clock;
    this.disabled = disabled;
    this.maxKeys = maxKeys;
    this.buckets = new Map();
  }

  // Takes one token for (rule, key). Returns 0 when allowed, else the seconds to wait.
  take(ruleName, key) {
    if (this.disabled) return 0;
    const rule = this.rules[ruleName];
    if (!rule) throw new Error(`no rate rule ${ruleName}`);
    const now = this.clock();
    const id = `${ruleName}\u0000${key}`;
    let b = this.buckets.get(id);
    if (!b) {
      if (this.buckets.size >= this.maxKeys) this.sweep(now);
      b = { tokens: rule.burst, at: now };
      this.buckets.set(id, b);
    } else {
      b.tokens = Math.min(rule.burst, b.tokens + (now - b.at) / rule.everyMs);
      b.at = now;
    }
    if (b.tokens >= 1) {
      b.tokens -= 1;
      return 0;
    }
    return Math.max(1, Math.ceil(((1 - b.tokens) * rule.everyMs) / 1000));
  }

  // Gives back a token taken by a request that another layer then refused.
  refund(ruleName, key) {
    const b = this.buckets.get(`${ruleName}\u0000${key}`);
    if (b) b.tokens = Math.min(this.rules[ruleName].burst, b.tokens + 1);
  }

  // Forgets buckets that have refilled completely, so memory stays bounded over a long night.
  sweep(now = this.clock()) {
    for (const [id, b] of this.buckets) {
      const rule = this.rules[id.slice(0, id.indexOf('\u0000'))];
      if (b.tokens + (now - b.at) / rule.everyMs >= rule.burst) this.buckets.delete(id);
    }
    if (this.buckets.size >= this.maxKeys) this.buckets.clear();
  }
}

// Per phone.
export const GUEST_RULES = Object.freeze({
  post: { burst: 4, everyMs: 15000 },
  photo: { burst: 2, everyMs: 60000 },
  react: { burst: 20, everyMs: 500 },
  vote: { burst: 10, everyMs: 500 },
  read: { burst: 60, everyMs: 50 },
  login: { burst: 10, everyMs: 6000 },
});

// Per client address: about ten phones' worth; `device` is new device cookies given out.
export const ADDRESS_RULES = Object.freeze({
  post: { burst: 40, everyMs: 1500 },
  photo: { burst: 20, everyMs: 6000 },
  react: { burst: 200, everyMs: 50 },
  vote: { burst: 100, everyMs: 50 },
  read: { burst: 600, everyMs: 5 },
  login: { burst: 20, everyMs: 3000 },
  device: { burst: 60, everyMs: 2000 },
});

// Wrong venue PINs: after `maxFails` within `windowMs`, the key is locked out for `lockMs`.
export class Lockout {
  constructor({ clock = Date.now, maxFails = 5, windowMs = 15 * 60000, lockMs = 15 * 60000, maxKeys = 20000 } = {}) {
    Object.assign(this, { clock, maxFails, windowMs, lockMs, maxKeys });
    this.entries = new Map(); // key -> { fails, since, until }
  }

  // Seconds until the key may try again; 0 when it may now.
  wait(key) {
    const e = this.entries.get(key);
    const now = this.clock();
    return e && e.until > now ? Math.ceil((e.until - now) / 1000) : 0;
  }

  fail(key) {
    const now = this.clock();
    let e = this.entries.get(key);
    if (!e || now - e.since > this.windowMs) {
      if (!e && this.entries.size >= this.maxKeys) this.sweep(now);
      e = { fails: 0, since: now, until: 0 };
      this.entries.set(key, e);
    }
    e.fails += 1;
    if (e.fails >= this.maxFails) e.until = now + this.lockMs;
  }

  clear(key) { this.entries.delete(key); }

  sweep(now = this.clock()) {
    for (const [k, e] of this.entries) if (e.until <= now && now - e.since > this.windowMs) this.entries.delete(k);
    if (this.entries.size >= this.maxKeys) this.entries.clear();
  }
}

// The key of a client address for the per-address layer. An IPv6 phone may take any address of
// its /64 (privacy addresses), so IPv6 is keyed by that prefix.
export function addressKey(address) {
  let a = String(address ?? '');
  if (a.startsWith('::ffff:')) a = a.slice(7);
  if (!a.includes(':')) return a;
  a = a.replace(/%.*$/, '').toLowerCase();
  const [head, tail] = a.split('::');
  const h = head ? head.split(':') : [];
  const t = tail === undefined ? null : tail ? tail.split(':') : [];
  const groups = t === null ? h : [...h, ...Array(Math.max(0, 8 - h.length - t.length)).fill('0'), ...t];
  return `${groups.slice(0, 4).map((g) => (Number.parseInt(g, 16) || 0).toString(16)).join(':')}::/64`;
}

// Both layers together. `address` is the caller's addressKey, or '' for a loopback caller.
export class GuestLimits {
  constructor({ clock = Date.now, disabled = false } = {}) {
    this.phone = new RateLimiter(GUEST_RULES, { clock, disabled });
    this.address = new RateLimiter(ADDRESS_RULES, { clock, disabled });
    this.pin = new Lockout({ clock });
  }

  // 0 when the request may go ahead, else the seconds to wait. A phone without a device cookie
  // (one its address could not be given) is held by its address alone.
  take(rule, deviceId, address) {
    if (deviceId) {
      const wait = this.phone.take(rule, deviceId);
      if (wait) return wait;
    }
    if (address) {
      const wait = this.address.take(rule, address);
      if (wait) {
        if (deviceId) this.phone.refund(rule, deviceId);
        return wait;
      }
    }
    return 0;
  }

  // A new device cookie for a caller at this address: 0, or the seconds to wait.
  newDevice(address) { return address ? this.address.take('device', address) : 0; }

  // The venue PIN: locked per phone and per address.
  pinKeys(deviceId, address) { return [`d ${deviceId}`, ...(address ? [`a ${address}`] : [])]; }
  pinWait(deviceId, address) { return Math.max(...this.pinKeys(deviceId, address).map((k) => this.pin.wait(k))); }
  pinFailed(deviceId, address) { for (const k of this.pinKeys(deviceId, address)) this.pin.fail(k); }
  pinPassed(deviceId, address) { for (const k of this.pinKeys(deviceId, address)) this.pin.clear(k); }

  sweep() {
    this.phone.sweep();
    this.address.sweep();
    this.pin.sweep();
  }
}

// Guests' requests take turns: at most `perTurn` of them go ahead in one turn of the event loop,
// the rest wait for the next turns in the order they came. Everything else (the plug-in's polls,
// the DJ's actions) goes ahead at once, so a flood of guests queues only behind itself.
export class Turns {
  constructor(perTurn = 50) {
    this.perTurn = perTurn;
    this.left = perTurn;
    this.waiting = [];
    this.first = 0;
    this.scheduled = false;
  }

  // null: go ahead now; else a promise that resolves when it is this request's turn.
  take() {
    this.schedule();
    if (this.left > 0 && this.first === this.waiting.length) {
      this.left--;
      return null;
    }
    return new Promise((resolve) => this.waiting.push(resolve));
  }

  schedule() {
    if (this.scheduled) return;
    this.scheduled = true;
    setImmediate(() => this.next());
  }

  next() {
    this.scheduled = false;
    this.left = this.perTurn;
    while (this.left > 0 && this.first < this.waiting.length) {
      this.left--;
      this.waiting[this.first++]();
    }
    if (this.first === this.waiting.length) {
      this.waiting = [];
      this.first = 0;
    } else {
      this.schedule();
    }
  }
}
