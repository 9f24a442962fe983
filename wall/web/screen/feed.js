// The chat feed: the newest live posts that fit, the last at the bottom, each a post bubble
// sized by its text as the TV sizes it. Also the bubble itself, which the highlighted card draws
// at card scale.

import { accentOf, fitText, flames, h, u, BARS } from './look.js';

const COLUMN = 537.6 - 32; // the feed box's width less its margins, in stage pixels
const TOP = 12;
const BOTTOM = 907.2 - 14;
const GAP = 8;

const bytes = (s) => new TextEncoder().encode(s ?? '').length;

// Only the wall's own photo files are shown.
export const photoUrl = (ref) => (/^\/uploads\/[\w.-]+$/.test(ref ?? '') ? ref : '');

// A feed item's height in stage pixels, from its text's length, its photo, venue and hot.
export function itemHeight(post) {
  const base = Math.min(0.45 * bytes(post.text), 90);
  if (photoUrl(post.photo)) return Math.max(Math.min(base + 70, COLUMN * 0.24), 72);
  if (post.type === 'venue' || post.hot) return Math.max(Math.min(base + 58, COLUMN * 0.26), 64);
  return Math.max(Math.min(base + 48, COLUMN * 0.22), 56);
}

// The newest posts that fit the column, oldest first.
export function fitting(feed) {
  const out = [];
  let y = BOTTOM;
  for (let i = feed.length - 1; i >= 0; i--) {
    const height = itemHeight(feed[i]);
    if (y - height < TOP) break;
    y -= height + GAP;
    out.unshift({ post: feed[i], height });
  }
  return out;
}

// A post bubble for a box of w x hgt stage pixels; big: the highlighted card's.
export function bubble(post, w, hgt, theme, big) {
  const venue = post.type === 'venue';
  const emphasised = venue || (post.hot && !big);
  const accent = accentOf(post);
  const el = h(`div.bubble${emphasised ? '.emphasised' : ''}${venue ? '.venue' : ''}`);
  el.style.setProperty('--accent', accent);
  el.style.setProperty('--ring', `color-mix(in srgb, ${accent} 85%, #ffff28)`);
  if (BARS[theme] > 0 || theme === 'garden') el.append(h('div.clip', {}, h('div.accent-bar')));
  const inset = emphasised ? (big ? 20 : 6) : (big ? 10 : 0);
  const pad = big ? 12 : 10;
  const bar = theme === 'garden' ? 8 : BARS[theme] ?? 0;
  const width = Math.max(w - 2 * inset - 22 - bar, 8);
  const height = Math.max(hgt - 2 * inset - 2 * pad, 8);
  const content = h('div.content');
  const src = photoUrl(post.photo);
  let textWidth = width;
  if (src) {
    let side = big ? Math.min(width * 0.46, height) : height;
    if (post.name || post.text) side = Math.min(width * (big ? 0.46 : 0.38), side);
    side = Math.max(side, 18);
    content.append(h('img.photo', { src, alt: post.text ? '' : `Photo from ${post.name || 'a guest'}`, style: { width: u(side), height: u(side) } }));
    textWidth = Math.max(width - side - 8, 8);
  }
  const words = h('div.words');
  const name = post.name ? h('div.name', {}, post.name) : null;
  const text = post.text ? h('div.text', {}, post.text) : null;
  if (name) words.append(name);
  if (text) words.append(text);
  content.append(words);
  el.append(content);
  const chips = (post.reactions ?? []).filter((r) => r.count > 0);
  if (chips.length) el.append(h('div.chips', { 'aria-label': 'Reactions' }, chips.map((r) => h('span.chip', {}, `${r.emoji} ${r.count}`))));
  // Called once the bubble is in the page: the texts take the sizes that fit.
  el.fit = () => {
    if (big) {
      const nameMax = Math.max(Math.min(textWidth * 0.16, height * 0.18), 12);
      let nameHeight = 0;
      if (name) {
        name.style.height = u(Math.max(nameMax * 1.5, 18));
        fitText(name, 10, nameMax);
        nameHeight = Math.min(Math.max(nameMax * 1.5, 18), name.scrollHeight / scaleOf(el));
        name.style.height = u(nameHeight);
      }
      if (text) {
        const gap = name ? Math.max(height * 0.03, 6) : 0;
        const boxHeight = Math.max(height - nameHeight - gap, 16);
        text.style.marginTop = u(gap);
        text.style.height = u(boxHeight);
        fitText(text, 12, Math.max(Math.min(textWidth * 0.62, boxHeight * 0.92), 14));
        text.style.height = 'auto';
        text.style.maxHeight = u(boxHeight);
      }
      return;
    }
    const nameMax = Math.min(height * 0.22, venue ? 18 : 15);
    let nameHeight = 0;
    if (name) {
      nameHeight = Math.max(nameMax, 12);
      name.style.height = u(nameHeight);
      fitText(name, 6, nameMax, { single: true });
    }
    if (text) {
      const gap = name ? 2 : 0;
      const boxHeight = Math.max(height - nameHeight - gap, 10);
      text.style.marginTop = u(gap);
      text.style.height = u(boxHeight);
      fitText(text, 4, Math.max(Math.min(venue ? 32 : 28, boxHeight * 0.95), 4));
    }
  };
  return el;
}

// Screen pixels per stage pixel, as laid out now.
function scaleOf(el) {
  const stage = el.closest('.stage');
  return stage ? stage.getBoundingClientRect().width / 1920 : 1;
}

// The feed list: rebuilt when what it shows changed.
export class Feed {
  constructor(list) {
    this.list = list;
    this.key = '';
  }

  show(doc) {
    const key = JSON.stringify([doc.theme, doc.feed]);
    if (key === this.key) return;
    this.key = key;
    const items = fitting(doc.feed);
    this.list.replaceChildren();
    for (const { post, height } of items) {
      const b = bubble(post, COLUMN, height, doc.theme, false);
      const li = h('li', { 'data-id': post.id, style: { height: u(height) } }, b);
      if (post.hot) li.append(flames(COLUMN - 12, height - 12));
      this.list.append(li);
      b.fit();
    }
  }

  // The stage rectangle (stage pixels) of a post in the feed, or null.
  anchorOf(id) {
    const li = [...this.list.children].find((c) => c.dataset.id === id);
    if (!li) return null;
    const stage = this.list.closest('.stage').getBoundingClientRect();
    const r = li.getBoundingClientRect();
    const k = stage.width / 1920;
    return { x: (r.left - stage.left) / k, y: (r.top - stage.top) / k, w: r.width / k, h: r.height / k };
  }
}
