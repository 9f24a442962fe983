// The posts on the wall, as the guest's Live view shows them, with emoji reactions. The list is
// updated in place every few seconds: rows are kept by post id so that an open emoji picker or a
// focused button survives the refresh.

import { h, fill, safeColor, safeLocalPath } from './dom.js';
import { readableOn } from './colors.js';

const TYPE_TAG = { request: 'REQUEST', photo: 'PHOTO', tip: 'TIP', venue: 'VENUE', vote: 'VOTE' };
const TYPE_ACCENT = { shoutout: '#ff7a18', request: '#a855f7', photo: '#f472b6', tip: '#facc15', venue: '#ff4b1f', vote: '#ff7a18' };

const rows = new Map(); // post id -> { el, sig, reactSig }
const openPickers = new Set();

function panelColor(list) {
  const value = getComputedStyle(list).getPropertyValue('--panel').trim();
  return /^#[0-9a-f]{6}$/i.test(value) ? value : '#15151f';
}

function accentFor(post, panel) {
  // Tips and venue posts keep their own colour, as on the TV.
  const own = post.type === 'tip' || post.type === 'venue' ? '' : safeColor(post.color);
  return readableOn(own || TYPE_ACCENT[post.type] || TYPE_ACCENT.shoutout, panel);
}

function buildPost(post, panel) {
  const photo = safeLocalPath(post.photo, ['uploads']);
  const name = post.name || (post.type === 'venue' ? 'Venue' : 'Guest');
  return h('li', { class: 'post', dataset: { id: post.id }, style: { '--post-accent': accentFor(post, panel) } },
    h('div', { class: 'post-head' },
      h('span', { class: 'post-name', text: name }),
      TYPE_TAG[post.type] ? h('span', { class: 'post-tag', text: TYPE_TAG[post.type] }) : null,
      post.hot ? h('span', { class: 'hot', text: '🔥 HOT' }) : null),
    post.text ? h('p', { class: 'post-text', text: post.text }) : null,
    photo ? h('img', { class: 'post-photo', src: photo, alt: post.text ? `Photo from ${name}` : `Photo from ${name}, no caption`, loading: 'lazy' }) : null,
    h('div', { class: 'reactions' }));
}

function reactionLabel(emoji, count, mine) {
  return `${emoji} ${count} reaction${count === 1 ? '' : 's'}${mine ? ', including yours. Tap to take yours back' : '. Tap to add yours'}`;
}

function renderReactions(row, post, opts) {
  const box = row.el.querySelector('.reactions');
  const focused = box.contains(document.activeElement) ? document.activeElement.dataset.focusKey : '';
  const mine = new Set(post.mine || []);
  const canReact = !!opts.allow.reactions && !opts.blocked;
  const tally = (post.reactions || []).filter((r) => r && r.emoji && r.count > 0);

  const chips = tally.map((r) => h('button', {
    type: 'button', dataset: { focusKey: `chip:${r.emoji}` },
    'aria-pressed': mine.has(r.emoji) ? 'true' : 'false',
    'aria-label': reactionLabel(r.emoji, r.count, mine.has(r.emoji)),
    disabled: !canReact,
    onclick: () => choose(row, post, r.emoji, mine.has(r.emoji), opts),
  }, `${r.emoji} ${r.count}`));

  let picker = null;
  let toggle = null;
  if (canReact) {
    const open = openPickers.has(post.id);
    toggle = h('button', {
      type: 'button', dataset: { focusKey: 'toggle' }, 'aria-expanded': open ? 'true' : 'false',
      'aria-label': `${open ? 'Close' : 'React'} to ${post.name || 'this post'}`,
      onclick: () => {
        if (openPickers.has(post.id)) openPickers.delete(post.id);
        else openPickers.add(post.id);
        row.reactSig = '';
        renderReactions(row, post, opts);
      },
    }, open ? 'Close' : h('span', { 'aria-hidden': 'true' }, '+ '), open ? null : 'React');
    if (open) {
      picker = h('div', { class: 'picker', role: 'group', 'aria-label': 'Pick an emoji' },
        (opts.emojis || []).map((e) => h('button', {
          type: 'button', dataset: { focusKey: `pick:${e}` },
          'aria-pressed': mine.has(e) ? 'true' : 'false', 'aria-label': `React with ${e}`,
          onclick: () => choose(row, post, e, mine.has(e), opts),
        }, e)),
        opts.allow.allEmojis ? anyEmojiForm(row, post, opts) : null);
    }
  }
  fill(box, chips, toggle, picker);
  if (focused) {
    const again = box.querySelector(`[data-focus-key="${CSS.escape(focused)}"]`);
    if (again && !again.disabled) again.focus();
  }
}

function anyEmojiForm(row, post, opts) {
  const inputId = `emoji-${post.id}`;
  const input = h('input', { type: 'text', id: inputId, maxlength: 16, autocomplete: 'off', 'aria-label': 'Any emoji', placeholder: 'Any emoji', dataset: { focusKey: 'any' } });
  return h('form', {
    onsubmit: (e) => {
      e.preventDefault();
      const emoji = input.value.trim();
      if (emoji) choose(row, post, emoji, false, opts);
    },
  }, input, h('button', { type: 'submit', dataset: { focusKey: 'any-send' } }, 'Add'));
}

async function choose(row, post, emoji, remove, opts) {
  const reply = await opts.onReact(post, emoji, remove);
  if (!reply) return;
  post.reactions = reply.reactions || post.reactions;
  post.mine = reply.mine || [];
  openPickers.delete(post.id);
  row.reactSig = '';
  renderReactions(row, post, opts);
  const toggle = row.el.querySelector('[data-focus-key="toggle"]');
  if (toggle && !row.el.contains(document.activeElement)) toggle.focus();
  opts.onStatus(remove ? 'Reaction taken back.' : `You reacted ${emoji}`, 'ok');
}

export function renderFeed(list, posts, opts) {
  const panel = panelColor(list);
  const seen = new Set();
  let previous = null;
  for (const post of posts) {
    if (!post || !post.id || seen.has(post.id)) continue;
    seen.add(post.id);
    const sig = JSON.stringify([post.type, post.name, post.text, post.photo, post.color, post.hot, panel]);
    let row = rows.get(post.id);
    if (!row || row.sig !== sig) {
      const el = buildPost(post, panel);
      if (row) row.el.replaceWith(el);
      row = { el, sig, reactSig: '' };
      rows.set(post.id, row);
    }
    const featured = post.id === opts.featuredId;
    if (row.el.classList.contains('featured') !== featured) {
      row.el.classList.toggle('featured', featured);
      const head = row.el.querySelector('.post-head');
      head.querySelector('.on-screen')?.remove();
      if (featured) head.append(h('span', { class: 'on-screen', text: 'ON THE BIG SCREEN' }));
    }
    const reactSig = JSON.stringify([post.reactions, post.mine, opts.allow.reactions, opts.allow.allEmojis, opts.emojis, opts.blocked, openPickers.has(post.id)]);
    if (row.reactSig !== reactSig) {
      row.reactSig = reactSig;
      renderReactions(row, post, opts);
    }
    // Keep the order without moving rows that are already in place (moving a row drops focus).
    const expected = previous ? previous.nextElementSibling : list.firstElementChild;
    if (expected !== row.el) list.insertBefore(row.el, expected);
    previous = row.el;
  }
  for (const [id, row] of rows) {
    if (!seen.has(id)) {
      row.el.remove();
      rows.delete(id);
      openPickers.delete(id);
    }
  }
}
