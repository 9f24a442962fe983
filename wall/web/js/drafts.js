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

export function loadPref(key, fallback = '') {
  return loadDraft(`pref.${key}`) || fallback;
}

export function savePref(key, value) {
  saveDraft(`pref.${key}`, value);
}
