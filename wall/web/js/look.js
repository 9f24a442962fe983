// The wall's theme and the active guest look, applied to an element: the guest page's <html>, or
// the phone preview in the look editor.

import { safeColor, safeLocalPath } from './dom.js';

export const THEMES = ['club', 'wedding', 'event', 'lounge', 'garden'];

export function normalTheme(name) {
  const t = String(name || '').toLowerCase();
  return THEMES.includes(t) ? t : 'club';
}

function clampAngle(a) {
  const n = Number(a);
  return Number.isFinite(n) ? ((Math.round(n) % 360) + 360) % 360 : 180;
}

// The CSS background of a look, or '' for the built-in theme (the page's own styling).
export function lookBackground(look) {
  if (!look || typeof look !== 'object') return '';
  const colors = (Array.isArray(look.colors) ? look.colors : []).map((c) => safeColor(c)).filter(Boolean);
  switch (look.kind) {
    case 'solid':
      return colors[0] || '';
    case 'gradient':
      if (colors.length >= 2) return `linear-gradient(${clampAngle(look.angle)}deg, ${colors.slice(0, 3).join(', ')})`;
      return colors[0] || '';
    case 'picture': {
      const path = safeLocalPath(look.picture, ['looks']) || (String(look.picture || '').startsWith('data:image/') ? look.picture : '');
      const ground = colors[0] || '#101018';
      // A dark veil keeps the cards and the header readable over any picture.
      return path
        ? `linear-gradient(rgba(8,8,14,.45), rgba(8,8,14,.65)), url("${path.replace(/["\\]/g, '')}") center / cover no-repeat, ${ground}`
        : ground;
    }
    default:
      return '';
  }
}

export function applyTheme(el, theme, look) {
  el.dataset.theme = normalTheme(theme);
  const bg = lookBackground(look);
  if (bg) {
    el.style.setProperty('--look-bg', bg);
    el.dataset.look = look.kind;
  } else {
    el.style.removeProperty('--look-bg');
    delete el.dataset.look;
  }
}
