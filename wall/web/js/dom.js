// Tiny DOM builder. Text always goes in through text nodes, never as markup, so nothing a guest
// writes can turn into HTML.

export function h(tag, props, ...children) {
  const el = document.createElement(tag);
  if (props) {
    for (const [key, value] of Object.entries(props)) {
      if (value === undefined || value === null || value === false) continue;
      if (key === 'class') el.className = value;
      else if (key === 'text') el.textContent = value;
      else if (key === 'style') {
        for (const [prop, v] of Object.entries(value)) {
          if (prop.startsWith('--')) el.style.setProperty(prop, v);
          else el.style[prop] = v;
        }
      }
      else if (key === 'dataset') Object.assign(el.dataset, value);
      else if (key.startsWith('on') && typeof value === 'function') el.addEventListener(key.slice(2), value);
      else if (key in el && typeof value !== 'string') el[key] = value;
      else el.setAttribute(key, value === true ? '' : String(value));
    }
  }
  append(el, children);
  return el;
}

function append(el, children) {
  for (const child of children) {
    if (child === undefined || child === null || child === false) continue;
    if (Array.isArray(child)) append(el, child);
    else if (child instanceof Node) el.appendChild(child);
    else el.appendChild(document.createTextNode(String(child)));
  }
}

export const $ = (selector, root = document) => root.querySelector(selector);
export const $$ = (selector, root = document) => Array.from(root.querySelectorAll(selector));

// Replaces an element's children.
export function fill(el, ...children) {
  el.replaceChildren();
  append(el, children);
  return el;
}

// Only "#rrggbb" colours from the server reach a style property.
export function safeColor(value, fallback = '') {
  return typeof value === 'string' && /^#[0-9a-fA-F]{6}$/.test(value) ? value : fallback;
}

// Only paths on this server under a known folder are used as image sources.
export function safeLocalPath(value, folders) {
  if (typeof value !== 'string') return '';
  return folders.some((f) => value.startsWith(`/${f}/`)) && /^\/[A-Za-z0-9._\-/]+$/.test(value) && !value.includes('..')
    ? value
    : '';
}

// Only web addresses are ever put in a link.
export function safeHttpUrl(value) {
  if (typeof value !== 'string') return '';
  try {
    const url = new URL(value);
    return url.protocol === 'https:' || url.protocol === 'http:' ? url.href : '';
  } catch {
    return '';
  }
}

// Characters as a reader counts them (and as the wall counts them): an emoji, a flag or an
// accented letter is one, however many code points or UTF-16 units it is made of.
const segmenter = typeof Intl !== 'undefined' && Intl.Segmenter ? new Intl.Segmenter(undefined, { granularity: 'grapheme' }) : null;

export function graphemes(s) {
  return segmenter ? Array.from(segmenter.segment(s), (x) => x.segment) : Array.from(s);
}

export function graphemeLength(s) {
  return graphemes(s).length;
}

// The first `max` characters of s, never half an emoji.
export function cutGraphemes(s, max) {
  const parts = graphemes(s);
  return parts.length > max ? parts.slice(0, max).join('') : s;
}
