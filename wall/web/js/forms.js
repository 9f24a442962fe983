// The composers: every typed field's limit, counter and draft, and the shout-out, request, photo
// and tip forms.

import { h, $, $$, fill, safeHttpUrl, graphemeLength, cutGraphemes } from './dom.js';
import { api } from './api.js';
import { keepDraft, clearDraft, sendKey, sent } from './drafts.js';
import { shrinkPhoto } from './photo.js';
import { state, setStatus, isBlocked, limits, profile, send, handleSendError, resendWith } from './connection.js';
import { refreshMine } from './live.js';

let photo = null; // { blob, width, height, url }
let lastTip = { text: null, at: 0 };

// ---- fields

// Song and artist go to the wall as one text, "song - artist", under the request limit.
const JOIN = 3;
const length = (id) => graphemeLength($(id).value);

function fieldMax(field) {
  const max = Number(field.dataset.max) || limits().text;
  const artist = length('#request-artist');
  if (field.id === 'request-artist') return Math.max(0, Math.min(max, limits().request - length('#request-song') - JOIN));
  return field.id === 'request-song' && artist ? Math.min(max, limits().request - artist - JOIN) : max;
}

// What a field's counter counts: its own text, or for a request song and artist together.
function counted(field) {
  if (!field.id.startsWith('request-')) return [graphemeLength(field.value), fieldMax(field)];
  const artist = length('#request-artist');
  return [length('#request-song') + (artist ? artist + JOIN : 0), limits().request];
}

// A counter shows from four fifths of the limit on (the long fields' always); reaching the limit
// is said out loud, again when more is typed there.
function updateCounter(field, over = false) {
  const counter = document.getElementById(field.dataset.counter);
  if (!counter) return;
  const [n, max] = counted(field);
  const full = n >= max;
  counter.hidden = !counter.dataset.always && n < max * 0.8;
  counter.textContent = `${n} / ${max}${full ? ' · limit reached' : ''}`;
  counter.dataset.full = String(full);
  const was = field.dataset.full === 'true';
  field.dataset.full = String(full);
  if (full && (!was || over)) {
    const live = $('#limit-live');
    live.textContent = '';
    setTimeout(() => { live.textContent = `Limit reached: ${max} characters.`; }, 50);
  }
}

export function updateCounters() {
  for (const field of $$('[data-counter]')) updateCounter(field);
}

// Keeps a field within its limit in characters as the guest counts them (the browser's own
// maxlength counts UTF-16 units: it stopped 120 🔥 at 90 and cut emoji in half). Not while an
// input method is still composing.
function limitField(field) {
  const cut = (event) => {
    if (event && event.isComposing) return;
    const max = fieldMax(field);
    const over = graphemeLength(field.value) > max;
    if (over) field.value = cutGraphemes(field.value, max);
    updateCounter(field, over);
  };
  field.addEventListener('input', cut);
  field.addEventListener('compositionend', () => {
    cut();
    field.dispatchEvent(new Event('input', { bubbles: true }));
  });
  cut();
}

// The configuration's limits on every field.
export function applyLimits() {
  const lim = limits();
  for (const [id, max] of [['join-name', lim.name], ['shout-text', lim.text], ['request-song', lim.request], ['photo-text', lim.text],
    ['tip-text', lim.text], ['venue-text', lim.text], ['venue-name', lim.name]]) {
    document.getElementById(id).dataset.max = String(max);
  }
  updateCounters();
}

function sentMessage(reply, what) {
  if (reply && reply.status === 'live') return `${what} is on the wall now!`;
  return `${what} sent! It shows up once the DJ approves it.`;
}

// ---- shout-out and request

async function submitShout(event) {
  event.preventDefault();
  const field = $('#shout-text');
  const text = field.value.trim();
  if (!text) {
    setStatus('shout-status', 'Write a message first.', 'error');
    field.focus();
    return;
  }
  await send(event.submitter || $('#shout-form button[type="submit"]'), 'shout-status', 'shout-form', async () => {
    const reply = await api('/api/guest/shoutout', { body: { ...profile(), text }, idempotencyKey: sendKey('shout', text) });
    sent('shout');
    clearDraft(field, 'shout');
    refreshMine();
    return sentMessage(reply, 'Your shout-out');
  });
}

async function submitRequest(event) {
  event.preventDefault();
  const song = $('#request-song').value.trim();
  const artist = $('#request-artist').value.trim();
  if (!song) {
    setStatus('request-status', 'Type the song you want to hear.', 'error');
    $('#request-song').focus();
    return;
  }
  const text = artist ? `${song} - ${artist}` : song;
  if (graphemeLength(text) > limits().request) {
    setStatus('request-status', `That is a bit long: ${limits().request} characters at most for song and artist together.`, 'error');
    return;
  }
  await send(event.submitter || $('#request-form button[type="submit"]'), 'request-status', 'request-form', async () => {
    const reply = await api('/api/guest/request', { body: { name: state.name, text }, idempotencyKey: sendKey('request', text) });
    sent('request');
    clearDraft($('#request-song'), 'request-song');
    clearDraft($('#request-artist'), 'request-artist');
    refreshMine();
    const others = reply && reply.count > 1 ? ` ${reply.count - 1} other${reply.count === 2 ? '' : 's'} asked for it too.` : '';
    return `Request sent!${others} The DJ sees it in the request list.`;
  });
}

// ---- photo

function formatBytes(n) {
  return n >= 1024 * 1024 ? `${(n / 1024 / 1024).toFixed(1)} MB` : `${Math.max(1, Math.round(n / 1024))} KB`;
}

function clearPhoto() {
  if (photo) URL.revokeObjectURL(photo.url);
  photo = null;
  const preview = $('#photo-preview');
  preview.hidden = true;
  preview.removeAttribute('src');
  $('#photo-file').value = '';
  $('#photo-file-label').textContent = 'Choose or take a photo';
}

async function pickPhoto() {
  const file = $('#photo-file').files[0];
  if (!file) return;
  setStatus('photo-status', 'Getting your photo ready…', 'busy');
  $('#photo-send').disabled = true;
  try {
    const shrunk = await shrinkPhoto(file);
    if (photo) URL.revokeObjectURL(photo.url);
    photo = { ...shrunk, url: URL.createObjectURL(shrunk.blob), originalBytes: file.size };
    const preview = $('#photo-preview');
    preview.src = photo.url;
    preview.hidden = false;
    $('#photo-file-label').textContent = 'Choose a different photo';
    setStatus('photo-status', `Ready to send: ${shrunk.width} × ${shrunk.height}, ${formatBytes(shrunk.blob.size)}.`, 'ok');
  } catch (err) {
    clearPhoto();
    setStatus('photo-status', err.message || 'This picture could not be opened. Try another photo.', 'error');
  } finally {
    $('#photo-send').disabled = isBlocked();
  }
}

async function submitPhoto(event) {
  event.preventDefault();
  if (!photo) {
    setStatus('photo-status', 'Choose a photo first.', 'error');
    $('#photo-file').focus();
    return;
  }
  const caption = $('#photo-text').value.trim();
  await send(event.submitter || $('#photo-send'), 'photo-status', 'photo-form', async () => {
    const query = new URLSearchParams({ name: state.name, text: caption });
    const p = profile();
    if (p.color) query.set('color', p.color);
    const { blob } = photo;
    const reply = await api(`/api/guest/photo?${query}`, {
      body: blob, headers: { 'Content-Type': 'image/jpeg' }, timeoutMs: 60000,
      idempotencyKey: sendKey('photo', `${caption}\n${photo.url}`),
    });
    sent('photo');
    clearPhoto();
    clearDraft($('#photo-text'), 'photo-text');
    refreshMine();
    return sentMessage(reply, 'Your photo');
  });
}

// ---- tip

function renderTipLinks(links) {
  const box = $('#tip-links');
  const safe = links.map((l) => ({ label: String(l.label || 'Pay me'), url: safeHttpUrl(l.url) })).filter((l) => l.url);
  const key = JSON.stringify(safe);
  if (box.dataset.key === key) return;
  box.dataset.key = key;
  fill(box, safe.map((l) =>
    h('a', { class: 'button primary wide', href: l.url, target: '_blank', rel: 'noopener noreferrer', onclick: () => tipOpened(l.label) },
      `Tip with ${l.label}`)));
}

// The link itself opens the payment app; the message (when the DJ queues tips) goes to the wall.
async function tipOpened(label) {
  const cfg = state.config || {};
  if (!cfg.allow || !cfg.allow.tipMessages || isBlocked()) {
    setStatus('tip-status', `Opening ${label}… Thank you!`, 'ok');
    return;
  }
  const text = $('#tip-text').value.trim();
  // A second tap on another link right after the first does not queue the same message twice.
  if (lastTip.text === text && Date.now() - lastTip.at < 60000) return;
  setStatus('tip-status', `Opening ${label}…`, 'busy');
  await sendTipMessage();
}

async function sendTipMessage() {
  const field = $('#tip-text');
  const text = field.value.trim();
  try {
    await api('/api/guest/tip', { body: { name: state.name, text }, keepalive: true, idempotencyKey: sendKey('tip', text) });
    sent('tip');
    state.resend.delete('tip');
    lastTip = { text, at: Date.now() };
    clearDraft(field, 'tip-text');
    refreshMine();
    setStatus('tip-status', 'Thank you! Once the DJ sees your tip arrive, it goes up on the wall.', 'ok');
  } catch (err) {
    handleSendError(err, 'tip-status', 'tip');
  }
}

// ---- configuration and start

// The wording, the tip links and the send buttons as the configuration has them.
export function showForms(cfg) {
  // With auto approve on, shout-outs go up at once, or after the DJ's delay (photos and tips
  // still wait for the DJ).
  const delay = cfg.autoApprove ? Math.max(0, Number(cfg.autoApproveDelaySec) || 0) : 0;
  $('#shout-note').textContent = !cfg.autoApprove ? 'The DJ checks it before it goes up.'
    : delay ? `It goes up on the wall in ${delay} seconds.` : 'It goes straight up on the wall.';
  $('#foot-note').textContent = !cfg.autoApprove ? 'Be kind: the DJ approves every post before the room sees it.'
    : delay ? `Be kind: shout-outs go up on the wall after ${delay} seconds unless the DJ stops them. The DJ checks photos first.`
      : 'Be kind: shout-outs go straight up on the wall. The DJ checks photos first.';
  $('#tip-message-box').hidden = !(cfg.allow || {}).tipMessages || isBlocked();
  renderTipLinks(cfg.tipLinks || []);

  for (const form of ['shout-form', 'request-form', 'photo-form', 'venue-form']) {
    const button = $(`#${form} button[type="submit"]`);
    if (button) button.disabled = isBlocked() && form !== 'venue-form';
  }
}

// A counter under every limited field that has none in the page.
function addCounter(field) {
  if (field.dataset.counter) return;
  const id = field.id.startsWith('request-') ? 'request-count' : `${field.id}-count`;
  field.dataset.counter = id;
  field.setAttribute('aria-describedby', id);
  if (!document.getElementById(id)) {
    const after = field.id === 'request-song' ? $('#request-artist') : field;
    after.after(h('div', { class: 'field-note' }, h('span', { id, class: 'count', hidden: true })));
  }
}

export function bindForms() {
  // The limit first: a draft is saved only as the field keeps it.
  for (const field of $$('[data-max]')) {
    addCounter(field);
    limitField(field);
  }
  keepDraft($('#shout-text'), 'shout');
  keepDraft($('#request-song'), 'request-song');
  keepDraft($('#request-artist'), 'request-artist');
  keepDraft($('#photo-text'), 'photo-text');
  keepDraft($('#tip-text'), 'tip-text');
  keepDraft($('#venue-text'), 'venue-text');
  keepDraft($('#venue-name'), 'venue-name');
  // A draft kept from before is held to the limit too.
  for (const field of $$('[data-max]')) if (field.value) field.dispatchEvent(new Event('input', { bubbles: true }));

  $('#shout-form').addEventListener('submit', submitShout);
  $('#request-form').addEventListener('submit', submitRequest);
  $('#photo-form').addEventListener('submit', submitPhoto);
  $('#photo-file').addEventListener('change', pickPhoto);
  // A photo that went without an answer goes again only while it is still chosen.
  resendWith('photo-form', () => {
    if (photo) $('#photo-form').requestSubmit();
  });
  resendWith('tip', sendTipMessage);
}
