// The venue: the wall's theme and guest look, the venue's name at the top, and the venue manager's
// announcement form.

import { $, safeHttpUrl } from './dom.js';
import { api } from './api.js';
import { clearDraft, sendKey, sent } from './drafts.js';
import { applyTheme } from './look.js';
import { setStatus, send, cachedConfig } from './connection.js';

// The last theme and look this phone saw, before the wall has answered, so the page does not flash.
export function showCachedLook() {
  const cached = cachedConfig();
  if (cached) applyTheme(document.documentElement, cached.theme, cached.look);
}

function brandLabel(url) {
  const safe = safeHttpUrl(url);
  if (!safe) return '';
  return new URL(safe).host.replace(/^(www\.)+/i, '');
}

// The theme, look and venue name as the configuration has them.
export function showVenue(cfg) {
  applyTheme(document.documentElement, cfg.theme, cfg.look);
  $('#venue-label').textContent = brandLabel(cfg.brandUrl) || 'Video Wall';
}

async function submitVenue(event) {
  event.preventDefault();
  const field = $('#venue-text');
  const text = field.value.trim();
  if (!text) {
    setStatus('venue-status', 'Write the announcement first.', 'error');
    field.focus();
    return;
  }
  const name = $('#venue-name').value.trim();
  await send(event.submitter || $('#venue-form button[type="submit"]'), 'venue-status', 'venue-form', async () => {
    await api('/api/guest/venue-post', { body: name ? { name, text } : { text }, idempotencyKey: sendKey('venue', `${name}\n${text}`) });
    sent('venue');
    clearDraft(field, 'venue-text');
    return 'Posted! It goes on the big screen next.';
  });
}

export function bindVenue() {
  $('#venue-form').addEventListener('submit', submitVenue);
}
