// What the parts of the screen share: the stage's pixel unit, the themes' frames, post colours,
// text fitting and elements built with text nodes only.

export const FRAMES = { club: 'none', wedding: 'double', event: 'brackets', lounge: 'outline', garden: 'outline' };
export const BARS = { club: 5, wedding: 0, event: 0, lounge: 4, garden: 0 };

// A length in stage pixels (the stage is 1920 x 1080 and scales to the window).
export const u = (n) => `calc(${n} * var(--u))`;

// The stage's pixels per screen pixel's worth: the window's size over the stage's.
export const scale = () => Math.min(window.innerWidth / 1920, window.innerHeight / 1080);

const TYPE_ACCENT = { request: 'var(--request)', photo: 'var(--photo)', tip: '#facc15', vote: '#ff7a18', venue: 'var(--venue)' };

// The colour of a post: tips, votes and the venue's own always theirs, else the guest's colour
// when it is a plain #rrggbb, else its type's.
export function accentOf(post) {
  if (['tip', 'vote', 'venue'].includes(post.type)) return TYPE_ACCENT[post.type];
  if (/^#[0-9a-f]{6}$/i.test(post.color ?? '')) return post.color;
  return TYPE_ACCENT[post.type] ?? 'var(--shoutout)';
}

// h('div.class', { attr }, children...): text arguments become text nodes, never markup.
export function h(tag, attrs = {}, ...children) {
  const [name, ...classes] = tag.split('.');
  const el = document.createElement(name);
  if (classes.length) el.className = classes.join(' ');
  for (const [k, v] of Object.entries(attrs)) {
    if (v === undefined || v === null || v === false) continue;
    if (k === 'style') Object.assign(el.style, v);
    else el.setAttribute(k, v === true ? '' : String(v));
  }
  for (const c of children.flat()) if (c !== null && c !== undefined && c !== false) el.append(c instanceof Node ? c : String(c));
  return el;
}

// The largest font size (stage pixels, between min and max) at which the element's text fits its
// box, found in eight halvings as the TV does; the element must have its box's size already.
// Words are kept whole where any size allows it; a word too long for the box even at the
// smallest size is broken instead.
export function fitText(el, min, max, { single = false } = {}) {
  const lo = Math.max(min, 4);
  const hi = Math.max(max, lo);
  if (!el.textContent || el.clientWidth < 4 * scale() || el.clientHeight < 4 * scale()) {
    el.style.fontSize = u(lo);
    return lo;
  }
  const fits = (size) => {
    el.style.fontSize = u(size);
    return el.scrollHeight <= el.clientHeight + 1 && el.scrollWidth <= el.clientWidth + 1;
  };
  const search = () => {
    if (fits(hi)) return hi;
    let [a, b, best] = [lo, hi, null];
    for (let i = 0; i < 8; i++) {
      const mid = (a + b) / 2;
      if (fits(mid)) { best = mid; a = mid; } else b = mid;
    }
    return best ?? (fits(lo) ? lo : null);
  };
  el.style.overflowWrap = 'normal';
  let size = search();
  if (size === null && !single) {
    el.style.overflowWrap = 'anywhere';
    size = search();
  }
  size ??= lo;
  el.style.fontSize = u(size);
  return size;
}

// The quintic ease the TV's card motion uses, as a CSS timing function close enough to it.
export const SMOOTH = 'cubic-bezier(0.7, 0, 0.3, 1)';

// Fire rising through a hot post: eight flames (twelve on a big one) in five lanes.
export function flames(widthPx, heightPx) {
  const size = Math.max(Math.min(widthPx > 220 ? 44 : 28, 0.22 * heightPx), 16);
  const n = widthPx * heightPx > 42000 ? 12 : 8;
  const box = h('div.flames', { 'aria-hidden': 'true' });
  for (let i = 0; i < n; i++) {
    box.append(h('span', {
      style: {
        left: `calc(${(0.1 + 0.2 * (i % 5)) * 100}% - ${u(size / 2)})`,
        animationDelay: `${-(i / n) * 2.38}s`,
      },
    }, '🔥'));
  }
  box.style.setProperty('--rise', u(heightPx - 0.25 * size));
  for (const s of box.children) s.style.setProperty('--size', u(size));
  return box;
}
