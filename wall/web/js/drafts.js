// Keeps what a guest types on the phone until it has really been sent, so a lost connection, a
// refused post or a reload never throws it away.

const PREFIX = 'lumvo.draft.';

function store() {
  try {
    return window.localStorage;
  } catch {
    return null;
  }
}

export function loadDraft(key) {
  const s = store();
  try {
    return (s && s.getItem(PREFIX + key)) || '';
  } catch {
    return '';
  }
}

export function saveDraft(key, value) {
  const s = store();
  if (!s) return;
  try {
    if (value) s.setItem(PREFIX + key, value);
    else s.removeItem(PREFIX + key);
  } catch {
    // Storage full or refused: the text is still in the field.
  }
}

// Restores the field from its draft and saves every change.
export function keepDraft(field, key) {
  const saved = loadDraft(key);
  if (saved && !field.value) field.value = saved;
  field.addEventListener('input', () => saveDraft(key, field.value));
}

export function clearDraft(field, key) {
  field.value = '';
  saveDraft(key, '');
  field.dispatchEvent(new Event('input', { bubbles: true }));
}

// The idempotency key of a post being sent: 24 random URL-safe characters, kept with the draft
// (slot) and the content it was made for, so that sending the same post again (after a lost reply,
// a reload, or by itself once the wall answers) carries the same key and the wall takes it once.
// Other content gets a new key.
const SEND_KEY = /^[A-Za-z0-9_-]{16,64}$/;

export function newSendKey() {
  const bytes = new Uint8Array(18);
  crypto.getRandomValues(bytes);
  return btoa(String.fromCharCode(...bytes)).replace(/\+/g, '-').replace(/\//g, '_');
}

export function sendKey(slot, content) {
  let saved;
  try {
    saved = JSON.parse(loadDraft(`send.${slot}`) || 'null');
  } catch {
    saved = null;
  }
  if (saved && saved.content === content && SEND_KEY.test(saved.key)) return saved.key;
  const key = newSendKey();
  saveDraft(`send.${slot}`, JSON.stringify({ key, content }));
  return key;
}

// The wall has the post: the next one gets a new key.
export function sent(slot) {
  saveDraft(`send.${slot}`, '');
}

export function loadPref(key, fallback = '') {
  return loadDraft(`pref.${key}`) || fallback;
}

export function savePref(key, value) {
  saveDraft(`pref.${key}`, value);
}
