// The hero box: the highlighted post's card, which lifts out of the feed, stays for the card's
// time and flies back into its place, and the live poll beside it (the box splits in two while
// both are up) with its bars, countdown and the result.

import { flames, h, u, scale, SMOOTH } from './look.js';
import { bubble } from './feed.js';

const HERO = { x: 268.8, y: 172.8, w: 960, h: 540 };

// Where the card and the poll sit: the poll takes the right half while a card is up.
function placement(split) {
  if (!split) return { card: HERO, poll: HERO };
  const half = HERO.w * 0.5;
  return { card: { ...HERO, w: half }, poll: { x: HERO.x + half + 14, y: HERO.y, w: HERO.w - half - 14, h: HERO.h } };
}

function place(el, r, inset = 0) {
  Object.assign(el.style, { left: u(r.x + inset), top: u(r.y + inset), width: u(r.w - 2 * inset), height: u(r.h - 2 * inset) });
}

// "1:15", or "1:06:40" from an hour on.
export function clockText(seconds) {
  const s = Math.max(0, Math.ceil(seconds));
  const two = (n) => String(n).padStart(2, '0');
  return s >= 3600 ? `${Math.floor(s / 3600)}:${two(Math.floor(s / 60) % 60)}:${two(s % 60)}` : `${Math.floor(s / 60)}:${two(s % 60)}`;
}

export class Hero {
  // cardEl, pollEl: the two elements; feed: the Feed (for the card's place in it); clock: the
  // server's clock in local milliseconds (local(t)).
  constructor(cardEl, pollEl, feed, local) {
    this.cardEl = cardEl;
    this.pollEl = pollEl;
    this.feed = feed;
    this.local = local;
    this.card = null; // { id, post, startedAt, endsAt, key } in local time
    this.timers = [];
    this.poll = null; // { id, counts, bars, ... }
    this.ticker = null;
  }

  show(doc) {
    this.theme = doc.theme;
    this.layout();
    this.showPoll(doc.poll);
    this.showCard(doc.featured);
    this.layout();
  }

  get cardUp() { return !!this.card && Date.now() < this.card.endsAt; }

  layout() {
    const split = this.cardUp && !!this.poll;
    const where = placement(split);
    place(this.pollEl, where.poll, 8);
    const moved = this.where && this.where.card.w !== where.card.w;
    this.where = where;
    if (!this.cardEl.getAnimations().length) place(this.cardEl, where.card);
    // A card that changed its size is painted again at the new size.
    if (moved && this.card?.post && !this.cardEl.hidden) this.paintCard(this.card.post, this.card.key);
  }

  // ---- the card ----

  showCard(f) {
    if (!f) return; // a card the wall took down plays to its end
    const key = JSON.stringify([this.theme, f]);
    if (this.card?.id === f.id) {
      if (this.card.key !== key) this.paintCard(f, key);
      return;
    }
    for (const t of this.timers) clearTimeout(t);
    this.timers = [];
    for (const a of this.cardEl.getAnimations()) a.cancel();
    const startedAt = this.local(f.startedAt);
    const endsAt = this.local(f.endsAt);
    this.card = { id: f.id, startedAt, endsAt };
    const now = Date.now();
    if (now >= endsAt) {
      this.cardEl.hidden = true;
      return;
    }
    const duration = (endsAt - startedAt) / 1000;
    const inTime = Math.min(duration * 0.22, 0.55) * 1000;
    const outTime = Math.min(duration * 0.34, 0.95) * 1000;
    this.layout();
    this.cardEl.hidden = false;
    this.paintCard(f, key);
    this.cardEl.dataset.phase = 'up';
    const elapsed = now - startedAt;
    if (elapsed < inTime) this.lift(elapsed, inTime);
    this.timers.push(setTimeout(() => this.flyBack(outTime), Math.max(endsAt - outTime - now, 0)));
    this.timers.push(setTimeout(() => this.takeDown(), endsAt - now));
  }

  paintCard(f, key) {
    this.card.key = key;
    this.card.post = f;
    const r = this.where?.card ?? HERO;
    const b = bubble(f, r.w - 20, r.h - 20, this.theme, true);
    this.cardEl.replaceChildren(b);
    // A hot post burns on the card too.
    if (f.hot) this.cardEl.append(Object.assign(flames(r.w - 28, r.h - 28), { className: 'flames card-flames' }));
    this.cardEl.setAttribute('aria-label', `Highlighted post${f.name ? ` from ${f.name}` : ''}`);
    b.fit();
  }

  // The transform that puts the card (at its own place) onto a feed rectangle.
  onto(anchor) {
    const r = this.where.card;
    const k = scale();
    return `translate(${(anchor.x - r.x) * k}px, ${(anchor.y - r.y) * k}px) scale(${anchor.w / r.w}, ${anchor.h / r.h})`;
  }

  lift(elapsed, inTime) {
    const anchor = this.poll ? null : this.feed.anchorOf(this.card.id);
    const frames = anchor
      ? [{ transform: this.onto(anchor), opacity: 0.35 }, { transform: 'none', opacity: 1 }]
      : [{ transform: 'scale(0.78)', opacity: 0, transformOrigin: '50% 50%' }, { transform: 'none', opacity: 1, transformOrigin: '50% 50%' }];
    const a = this.cardEl.animate(frames, { duration: inTime, easing: SMOOTH, fill: 'none' });
    a.currentTime = elapsed;
  }

  flyBack(outTime) {
    if (!this.card) return;
    this.cardEl.dataset.phase = 'back';
    const anchor = this.poll ? null : this.feed.anchorOf(this.card.id);
    const frames = anchor
      ? [{ transform: 'none', opacity: 1 }, { transform: this.onto(anchor), opacity: 0.12 }]
      : [{ opacity: 1 }, { opacity: 0 }];
    const a = this.cardEl.animate(frames, { duration: outTime, easing: SMOOTH, fill: 'forwards' });
    a.currentTime = Math.max(0, Date.now() - (this.card.endsAt - outTime));
  }

  takeDown() {
    for (const a of this.cardEl.getAnimations()) a.cancel();
    this.cardEl.hidden = true;
    this.cardEl.dataset.phase = 'down';
    this.card = null;
    this.layout();
  }

  // ---- the poll ----

  showPoll(p) {
    if (!p) {
      if (this.poll) {
        clearInterval(this.ticker);
        this.poll = null;
        this.pollEl.hidden = true;
        this.pollEl.replaceChildren();
      }
      return;
    }
    if (this.poll?.id !== p.id) this.buildPoll(p);
    this.updatePoll(p);
  }

  buildPoll(p) {
    clearInterval(this.ticker);
    const bars = p.options.slice(0, 4).map((o) => {
      const fill = h('div.fill', { style: { width: '0' } });
      fill.style.setProperty('--bar-color', o.color);
      const count = h('span.count', {}, '0');
      const el = h('li.bar', { 'data-option': o.id }, fill, h('span.label', {}, o.label), count);
      return { id: o.id, el, fill, count, last: -1 };
    });
    const countdown = h('span.countdown');
    const status = h('div.status-row', {}, countdown);
    const body = h('div.body', {}, h('h2', {}, p.title || 'Vote'), status, h('ol.bars', {}, bars.map((b) => b.el)));
    const children = [];
    const wide = this.pollEl.offsetWidth >= 1.12 * this.pollEl.offsetHeight;
    if (/^\/uploads\/[\w.-]+$/.test(p.photo ?? '')) {
      children.push(h('div.picture', { style: wide ? { width: '38%' } : { height: '38%' } }, h('img', { src: p.photo, alt: '' })));
    }
    this.pollEl.className = `poll panel${wide ? '' : ' tall'}`;
    this.pollEl.replaceChildren(...children, body);
    this.pollEl.hidden = false;
    this.poll = { id: p.id, bars, countdown, status, closed: false };
    this.ticker = setInterval(() => this.tick(), 250);
  }

  updatePoll(p) {
    const poll = this.poll;
    poll.endsAt = this.local(p.endsAt);
    const max = Math.max(1, ...p.options.slice(0, 4).map((o) => o.count));
    p.options.slice(0, 4).forEach((o, i) => {
      const bar = poll.bars[i];
      const share = o.count / max;
      bar.fill.style.width = share > 0.01 ? `max(${share * 100}%, ${u(0.8 * 54)})` : '0';
      bar.count.textContent = String(o.count);
      if (bar.last >= 0 && o.count > bar.last && p.closedAt === null) this.cheer(bar, o.count - bar.last, share);
      bar.last = o.count;
    });
    if (p.closedAt !== null && !poll.closed) {
      poll.closed = true;
      const closedFor = Math.max(0, (Date.now() - this.local(p.closedAt)) / 1000);
      this.pollEl.style.setProperty('--closed-for', `${closedFor}s`);
      this.pollEl.classList.add('closed');
      this.pollEl.classList.toggle('no-win', !p.winner);
      for (const b of poll.bars) b.el.classList.add(b.id === p.winner ? 'won' : 'loser');
      poll.status.replaceChildren(...(p.winner
        ? [h('span.verdict.winner', {}, 'WINNER')]
        : [h('span.verdict.no-winner', {}, 'NO WINNER'), h('span.verdict.thumbs', { 'aria-hidden': 'true' }, '👎')]));
    }
    this.tick();
  }

  tick() {
    if (this.poll && !this.poll.closed) this.poll.countdown.textContent = clockText((this.poll.endsAt - Date.now()) / 1000);
  }

  // New votes: the bar shakes and confetti flies from the end of its fill.
  cheer(bar, added, share) {
    bar.el.classList.remove('shake');
    void bar.el.offsetWidth;
    bar.el.classList.add('shake');
    const k = scale();
    const w = bar.el.offsetWidth / k;
    const n = Math.min(added * 4, 18) + 10;
    const color = getComputedStyle(bar.fill).getPropertyValue('--bar-color');
    for (let i = 0; i < n; i++) {
      const r = Math.random;
      const size = 3 + 6 * r();
      const life = 0.28 + 0.28 * r();
      const vx = (0.12 + 0.55 * r()) * w;
      const vy = -(80 + 220 * r());
      const dot = h('span.confetti', { 'aria-hidden': 'true' });
      Object.assign(dot.style, { width: `${size * k}px`, height: `${size * k}px`, background: color,
        left: `${share * 100}%`, top: `${(0.5 + (r() - 0.5) * 0.4) * 100}%` });
      bar.el.append(dot);
      const frames = [0, 0.25, 0.5, 0.75, 1].map((f) => {
        const t = f * life;
        return { transform: `translate(${vx * t * k}px, ${(vy * t + 260 * t * t) * k}px)`, opacity: 1 - f };
      });
      dot.animate(frames, { duration: life * 1000 }).finished.then(() => dot.remove(), () => dot.remove());
    }
  }
}
