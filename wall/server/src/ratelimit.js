// Token buckets per phone: `burst` requests at once, then one every `everyMs`.

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

  // Forgets buckets that have refilled completely, so memory stays bounded over a long night.
  sweep(now = this.clock()) {
    for (const [id, b] of this.buckets) {
      const rule = this.rules[id.slice(0, id.indexOf('\u0000'))];
      if (b.tokens + (now - b.at) / rule.everyMs >= rule.burst) this.buckets.delete(id);
    }
    if (this.buckets.size >= this.maxKeys) this.buckets.clear();
  }
}

export const GUEST_RULES = Object.freeze({
  post: { burst: 4, everyMs: 15000 },
  photo: { burst: 2, everyMs: 60000 },
  react: { burst: 20, everyMs: 500 },
  vote: { burst: 10, everyMs: 500 },
  read: { burst: 60, everyMs: 50 },
  login: { burst: 5, everyMs: 60000 },
});
