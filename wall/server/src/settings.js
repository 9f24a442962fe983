// The settings the plug-in pushes (POST /api/settings). Missing keys keep their value, bad values
// are clamped or ignored, never rejected.

export const THEMES = Object.freeze(['club', 'wedding', 'event', 'lounge', 'garden']);

export const DEFAULT_SETTINGS = Object.freeze({
  autoApprove: false,
  // With auto approve on: seconds a guest's shout-out waits, for the DJ to reject it, before it
  // goes live by itself (0: at once).
  autoApproveDelaySec: 0,
  repeatMessages: true,
  allowMessages: true,
  allowRequests: true,
  allowPhotos: true,
  allowAllEmojis: false,
  allowMultipleEmojis: false,
  allowUnlimitedVoting: false,
  allowGuestColors: true,
  allowReactions: true,
  allowWordFx: true,
  allowTipFx: true,
  allowVenueFx: true,
  allowHotFx: true,
  hotNeed: 8,
  hotWindowSec: 60,
  showTipsOnWall: true,
  tipLinks: ['', '', ''],
  duration: 7,
  theme: 'club',
  mediaDir: '',
  brandUrl: '',
  filterWords: '',
});

export const AUTO_APPROVE_DELAY_MAX = 120;

// The DJ's own words for the word filter (wordfilter.js), separated by commas.
export const FILTER_WORDS_MAX = 4000;

const BOOLEANS = Object.keys(DEFAULT_SETTINGS).filter((k) => typeof DEFAULT_SETTINGS[k] === 'boolean');

function asBool(v) {
  if (typeof v === 'boolean') return v;
  if (v === 1 || v === '1' || v === 'true') return true;
  if (v === 0 || v === '0' || v === 'false') return false;
  return undefined;
}

function asNumber(v) {
  const n = typeof v === 'string' ? Number.parseFloat(v) : v;
  return typeof n === 'number' && Number.isFinite(n) ? n : undefined;
}

const clamp = (n, lo, hi) => Math.min(hi, Math.max(lo, n));

// Only http(s) addresses are ever handed to phones as links. The plug-in's push may double
// percent signs ("%%"), which no valid address contains, so they are halved again.
export function safeLink(v) {
  if (typeof v !== 'string') return '';
  const s = v.replace(/%%/g, '%').replace(/[\u0000-\u001f\u007f]/g, '').trim();
  if (!s || s.length > 500) return '';
  const withScheme = s.includes('://') ? s : `https://${s}`;
  try {
    const u = new URL(withScheme);
    return u.protocol === 'http:' || u.protocol === 'https:' ? u.href : '';
  } catch {
    return '';
  }
}

export function mergeSettings(current, body) {
  const next = { ...current, tipLinks: [...current.tipLinks] };
  if (!body || typeof body !== 'object' || Array.isArray(body)) return next;
  for (const k of BOOLEANS) {
    const b = asBool(body[k]);
    if (b !== undefined) next[k] = b;
  }
  // The older combined switch stands for the word backdrops when the newer key is absent.
  if (body.allowWordFx === undefined && asBool(body.allowBackgroundFx) !== undefined) {
    next.allowWordFx = asBool(body.allowBackgroundFx);
  }
  const need = asNumber(body.hotNeed);
  if (need !== undefined) next.hotNeed = clamp(Math.trunc(need), 3, 30);
  const win = asNumber(body.hotWindowSec);
  if (win !== undefined) next.hotWindowSec = clamp(Math.trunc(win), 10, 180);
  const delay = asNumber(body.autoApproveDelaySec);
  if (delay !== undefined) next.autoApproveDelaySec = clamp(Math.trunc(delay), 0, AUTO_APPROVE_DELAY_MAX);
  const dur = asNumber(body.duration);
  if (dur !== undefined) next.duration = clamp(Math.round(dur * 10) / 10, 3, 60);
  if (Array.isArray(body.tipLinks)) {
    next.tipLinks = [0, 1, 2].map((i) => (typeof body.tipLinks[i] === 'string' ? body.tipLinks[i].slice(0, 500) : ''));
  }
  if (typeof body.theme === 'string') {
    const t = body.theme.toLowerCase();
    next.theme = THEMES.includes(t) ? t : 'club';
  }
  if (typeof body.mediaDir === 'string' && body.mediaDir.length <= 1000 && !/[\u0000-\u001f]/.test(body.mediaDir)) {
    next.mediaDir = body.mediaDir.trim();
  }
  if (typeof body.brandUrl === 'string') next.brandUrl = safeLink(body.brandUrl);
  if (typeof body.filterWords === 'string') {
    next.filterWords = body.filterWords.replace(/[\u0000-\u001f\u007f]/g, ' ').trim().slice(0, FILTER_WORDS_MAX).toWellFormed();
  }
  return next;
}

export const TIP_LABELS = Object.freeze(['PayPal', 'Bank', 'Pay me']);

export function tipLinksFor(settings) {
  const out = [];
  settings.tipLinks.forEach((raw, i) => {
    const url = safeLink(raw);
    if (url) out.push({ label: TIP_LABELS[i], url });
  });
  return out;
}
