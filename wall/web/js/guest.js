// The guest phone app: pick a name, send shout-outs, requests, photos and tips, react and vote on
// the Live view, and (for the venue manager) post announcements. Everything the guest types is
// kept on the phone until the wall has accepted it.

import { h, $, $$, fill, safeColor, safeLocalPath, safeHttpUrl, graphemeLength, cutGraphemes } from './dom.js';
import { api, ApiError } from './api.js';
import { keepDraft, clearDraft, loadPref, savePref, sendKey, sent } from './drafts.js';
import { shrinkPhoto, PhotoError } from './photo.js';
import { applyTheme } from './look.js';
import { renderPoll } from './poll.js';
import { renderFeed } from './feed.js';

const CONFIG_EVERY_MS = 4000;
const LIVE_EVERY_MS = 4000;
const MAX_BACKOFF_MS = 20000;
const MINE_EVERY_MS = 8000;

const TYPE_WORDS = { shout: 'Shout-outs', request: 'Song requests', photo: 'Photos', tip: 'Tips' };

const state = {
  config: null,
  tab: loadPref('tab', 'shout'),
  name: loadPref('name'),
  color: loadPref('color'),
  photo: null, // { blob, width, height, url }
  failures: 0,
  lastTip: { text: null, at: 0 },
  cooldownUntil: 0,
  note: null,
  mine: new Map(), // post id -> { type, status, mark } as last seen, for news of it
  mineSeen: false,
  mineAt: 0,
  resend: new Set(), // sends that got no answer, to go again once the wall answers
};

// ---------------------------------------------------------------- small helpers

function setStatus(id, message, tone = '') {
  const el = document.getElementById(id);
  if (!el) return;
  el.textContent = message || '';
  if (tone) el.dataset.tone = tone;
  else delete el.dataset.tone;
}

function showNotice(message, tone = '') {
  const el = $('#notice');
  if (!message) {
    el.hidden = true;
    el.textContent = '';
    return;
  }
  el.textContent = message;
  el.dataset.tone = tone;
  el.hidden = false;
}

let connectionNotice = false;
function connectionLost(lost) {
  if (lost === connectionNotice) {
    if (lost) showNotice(offlineText(), 'error');
    return;
  }
  connectionNotice = lost;
  if (lost) showNotice(offlineText(), 'error');
  else {
    refreshNotice();
    resendWaiting();
  }
}

function offlineText() {
  return state.resend.size > 0
    ? "You're offline or the wall can't be reached. What you sent goes by itself as soon as the wall answers again, and anything you type stays on this phone."
    : "You're offline or the wall can't be reached. Anything you type stays on this phone.";
}

// Sends that could not reach the wall go again, with the same idempotency key, once it answers.
// `slot` names the form ("shout-form", ...) or "tip".
function resendWaiting() {
  const slots = [...state.resend];
  state.resend.clear();
  for (const slot of slots) {
    if (slot === 'tip') sendTipMessage();
    else if (slot !== 'photo-form' || state.photo) document.getElementById(slot)?.requestSubmit();
  }
}

// A passing note (such as "shout-outs were just turned off") stays up for a while even as the
// page refreshes its switches; being offline or blocked takes precedence over it.
function note(message, ms = 20000, tone = 'error') {
  state.note = { message, until: Date.now() + ms, tone };
  refreshNotice();
}

function refreshNotice() {
  if (connectionNotice) return;
  const cfg = state.config;
  if (cfg && cfg.device && cfg.device.blocked) {
    showNotice("The DJ has paused sending from this phone for tonight. You can still watch the Live view.", 'blocked');
  } else if (state.note && Date.now() < state.note.until) {
    showNotice(state.note.message, state.note.tone);
  } else {
    state.note = null;
    showNotice('');
  }
}

function isBlocked() {
  return !!(state.config && state.config.device && state.config.device.blocked);
}

function limits() {
  return Object.assign({ name: 28, text: 180, request: 120, photoBytes: 5242880 }, (state.config && state.config.limits) || {});
}

function profile() {
  const body = { name: state.name };
  const colors = (state.config && state.config.nameColors) || [];
  if (state.color && colors.length) body.color = state.color;
  return body;
}

// Runs one send: disables the button while it runs, reports the outcome in plain words. `slot`
// (the form's id) is what goes again by itself when the wall could not be reached.
async function send(button, statusId, slot, work) {
  if (Date.now() < state.cooldownUntil) {
    const wait = Math.ceil((state.cooldownUntil - Date.now()) / 1000);
    setStatus(statusId, `Slow down a little: you can send again in ${wait} s. What you typed is kept.`, 'error');
    return;
  }
  button.disabled = true;
  setStatus(statusId, 'Sending…', 'busy');
  try {
    const message = await work();
    nameSaved(); // every post carries the name
    state.resend.delete(slot);
    setStatus(statusId, message, 'ok');
    connectionLost(false);
  } catch (err) {
    handleSendError(err, statusId, slot);
  } finally {
    button.disabled = isBlocked();
  }
}

function handleSendError(err, statusId, slot) {
  const e = err instanceof ApiError || err instanceof PhotoError ? err : new ApiError('server', 'Something went wrong. Please try again.');
  let message = e.message;
  if (e.kind === 'too-fast' && e.retryAfter > 0) state.cooldownUntil = Date.now() + e.retryAfter * 1000;
  if (e.kind === 'offline') {
    // No answer: the wall may or may not have it. The same key goes again once the wall answers.
    state.resend.add(slot);
    message = "Can't reach the wall right now. It goes by itself as soon as the wall answers again (or tap Send again). What you typed is kept.";
    connectionLost(true);
  } else state.resend.delete(slot);
  if (e.kind === 'too-fast' && !/kept/.test(message)) message += ' What you typed is kept.';
  setStatus(statusId, message, 'error');
  if (e.kind === 'blocked' || e.kind === 'off') {
    // The DJ changed something: fetch the new switches, which hides what is now off.
    const word = TYPE_WORDS[state.tab];
    if (e.kind === 'off' && word) note(`${word} were just turned off by the DJ. What you typed is saved on this phone for when they are back.`);
    loadConfig();
  }
}

// ---------------------------------------------------------------- configuration

const CONFIG_CACHE = 'config-cache';

function cachedConfig() {
  try {
    return JSON.parse(loadPref(CONFIG_CACHE) || 'null');
  } catch {
    return null;
  }
}

async function loadConfig() {
  try {
    const cfg = await api('/api/guest/config', { timeoutMs: 8000 });
    state.failures = 0;
    connectionLost(false);
    applyConfig(cfg);
    savePref(CONFIG_CACHE, JSON.stringify({ theme: cfg.theme, look: cfg.look }));
    return cfg;
  } catch (err) {
    state.failures++;
    if (err.kind === 'offline' || err.kind === 'server') connectionLost(true);
    return null;
  }
}

function brandLabel(url) {
  const safe = safeHttpUrl(url);
  if (!safe) return '';
  return new URL(safe).host.replace(/^(www\.)+/i, '');
}

function applyConfig(cfg) {
  const first = !state.config;
  state.config = cfg;
  applyTheme(document.documentElement, cfg.theme, cfg.look);
  $('#venue-label').textContent = brandLabel(cfg.brandUrl) || 'Video Wall';

  const lim = limits();
  for (const [id, max] of [['join-name', lim.name], ['shout-text', lim.text], ['request-song', lim.request], ['photo-text', lim.text],
    ['tip-text', lim.text], ['venue-text', lim.text], ['venue-name', lim.name]]) {
    document.getElementById(id).dataset.max = String(max);
  }
  updateCounter('shout-text', 'shout-count');
  updateCounter('venue-text', 'venue-count');

  const device = cfg.device || {};
  adoptProfile(device);
  renderColors();
  renderMe();

  const allow = cfg.allow || {};
  const available = {
    shout: !!allow.messages,
    request: !!allow.requests,
    photo: !!allow.photos,
    tip: !!allow.tips,
    live: true,
    venue: !!device.venue,
  };
  for (const tab of $$('[role="tab"]')) tab.hidden = !available[tab.dataset.tab];
  countTabs();
  if (!available[state.tab]) selectTab(firstAvailableTab(available), false);
  else if (first) selectTab(state.tab, false);

  // With auto approve on, shout-outs go up at once (photos and tips still wait for the DJ).
  $('#shout-note').textContent = cfg.autoApprove ? 'It goes straight up on the wall.' : 'The DJ checks it before it goes up.';
  $('#foot-note').textContent = cfg.autoApprove
    ? 'Be kind: shout-outs go straight up on the wall. The DJ checks photos first.'
    : 'Be kind: the DJ approves every post before the room sees it.';
  $('#venue-login-open').hidden = !!device.venue;
  $('#tip-message-box').hidden = !allow.tipMessages || isBlocked();
  renderTipLinks(cfg.tipLinks || []);

  for (const form of ['shout-form', 'request-form', 'photo-form', 'venue-form']) {
    const button = $(`#${form} button[type="submit"]`);
    if (button) button.disabled = isBlocked() && form !== 'venue-form';
  }
  renderPoll($('#poll'), cfg.poll, { onVote: vote, blocked: isBlocked() });
  renderPollBar();
  refreshNotice();
  // While something the guest sent waits for the DJ, look now and then (the Live tab looks anyway)
  // at what became of it.
  if (state.tab !== 'live' && Date.now() - state.mineAt >= MINE_EVERY_MS && [...state.mine.values()].some(waitingForNews)) refreshMine();
}

// On every tab but Live, a running poll says so, with the way to it.
function renderPollBar() {
  const poll = state.config && state.config.poll;
  const bar = $('#poll-bar');
  const show = !!(poll && !poll.closed && state.tab !== 'live');
  bar.hidden = !show;
  if (!show) return;
  const canVote = !!poll.canVote && !isBlocked();
  $('#poll-bar-text').textContent = `Live poll: ${poll.title || 'vote now'}${poll.myVotes > 0 && !canVote ? ' (you voted)' : ''}`;
  $('#poll-bar-go').textContent = canVote ? 'Vote now' : 'See the results';
  $('#poll-bar-go').classList.toggle('primary', canVote);
}

function firstAvailableTab(available) {
  return ['shout', 'request', 'photo', 'tip', 'live'].find((t) => available[t]) || 'live';
}

// ---------------------------------------------------------------- name and colour

// The wall's name and colour for this phone are the truth: a rename in another tab (or another
// page of the same phone) shows here at the next look at the configuration, and this tab's posts
// carry it. Only a rename the wall has not yet heard of (sent while offline) stays until it has.
function adoptProfile(device) {
  if (loadPref('name-unsaved')) return;
  let changed = false;
  if (device.name && device.name !== state.name) {
    state.name = device.name;
    savePref('name', state.name);
    changed = true;
  }
  const color = safeColor(device.color).toLowerCase();
  if (color && color !== state.color) {
    state.color = color;
    savePref('color', state.color);
    changed = true;
  }
  if (changed && !$('#join').hidden && state.name) $('#join-name').value = state.name;
}

// Another tab of this phone changed the name or colour: take it at once.
function profileChangedElsewhere(event) {
  if (event.key === 'lumvo.draft.pref.name' && event.newValue) state.name = event.newValue;
  else if (event.key === 'lumvo.draft.pref.color') state.color = event.newValue || '';
  else return;
  renderColors();
  renderMe();
}

function nameSaved() {
  savePref('name-unsaved', '');
}

const COLOR_NAMES = {
  '#ff7a18': 'Orange', '#a855f7': 'Purple', '#22d3ee': 'Cyan', '#f472b6': 'Pink', '#34d399': 'Green',
  '#facc15': 'Yellow', '#60a5fa': 'Blue', '#fb7185': 'Rose', '#ffffff': 'White', '#ef4444': 'Red',
};

function renderColors() {
  const box = $('#join-colors');
  const colors = ((state.config && state.config.nameColors) || []).map((c) => safeColor(c).toLowerCase()).filter(Boolean);
  box.hidden = colors.length === 0;
  if (!colors.length) return;
  const current = colors.includes(state.color) ? state.color : colors[0];
  const key = colors.join(',');
  if (box.dataset.key === key) return;
  box.dataset.key = key;
  fill(box, h('legend', { text: 'Your name colour' }), colors.map((c, i) =>
    h('label', { class: 'swatch' },
      h('input', { type: 'radio', name: 'color', value: c, checked: c === current, 'aria-label': COLOR_NAMES[c] || `Colour ${i + 1}` }),
      h('span', { style: { background: c } }))));
}

function renderMe() {
  const me = $('#me');
  if (!state.name) {
    me.hidden = true;
    return;
  }
  me.hidden = false;
  fill(me, h('span', { 'aria-hidden': 'true', style: { color: safeColor(state.color, 'inherit') } }, '●\u00a0'), h('span', { class: 'me-name' }, state.name));
  me.setAttribute('aria-label', `You are ${state.name}. Change your name`);
}

function showJoin(show) {
  $('#join').hidden = !show;
  $('#app').hidden = show;
  if (show) {
    $('#join-name').value = state.name || '';
    $('#join-cancel').hidden = !state.name;
    $('#join-name').focus();
  }
}

async function submitJoin(event) {
  event.preventDefault();
  const name = $('#join-name').value.trim();
  if (!name) {
    setStatus('join-status', 'Please type a name first.', 'error');
    $('#join-name').focus();
    return;
  }
  if (graphemeLength(name) > limits().name) {
    setStatus('join-status', `That name is too long: ${limits().name} characters at most.`, 'error');
    return;
  }
  const picked = $('#join-colors input[name="color"]:checked');
  const before = { name: state.name, color: state.color };
  state.name = name;
  state.color = picked ? picked.value : state.color;
  savePref('name', state.name);
  savePref('color', state.color || '');
  savePref('name-unsaved', '1');
  setStatus('join-status', '');
  try {
    await api('/api/guest/profile', { body: profile() });
    nameSaved();
  } catch (err) {
    // The name also travels with every post, so the guest can go on even if this failed.
    if (err.kind !== 'offline') {
      state.name = before.name;
      state.color = before.color;
      savePref('name', state.name);
      savePref('color', state.color || '');
      nameSaved();
      setStatus('join-status', err.message, 'error');
      return;
    }
  }
  renderMe();
  showJoin(false);
  $(`#tab-${state.tab}`).focus();
}

// ---------------------------------------------------------------- tabs

function selectTab(name, focus = true) {
  const tab = document.getElementById(`tab-${name}`);
  if (!tab || tab.hidden) return;
  state.tab = name;
  savePref('tab', name);
  for (const t of $$('[role="tab"]')) {
    const on = t === tab;
    t.setAttribute('aria-selected', on ? 'true' : 'false');
    t.tabIndex = on ? 0 : -1;
    document.getElementById(t.getAttribute('aria-controls')).hidden = !on;
  }
  if (focus) tab.focus();
  if (name === 'live') refreshLive();
  renderPollBar();
}

// The layout of the tab row depends on how many tabs show.
function countTabs() {
  $('#tabs').dataset.count = String($$('[role="tab"]').filter((t) => !t.hidden).length);
}

function onTabKey(event) {
  const tabs = $$('[role="tab"]').filter((t) => !t.hidden);
  const i = tabs.indexOf(document.activeElement);
  if (i < 0) return;
  let next = -1;
  if (event.key === 'ArrowRight') next = (i + 1) % tabs.length;
  else if (event.key === 'ArrowLeft') next = (i - 1 + tabs.length) % tabs.length;
  else if (event.key === 'Home') next = 0;
  else if (event.key === 'End') next = tabs.length - 1;
  if (next < 0) return;
  event.preventDefault();
  selectTab(tabs[next].dataset.tab);
}

// ---------------------------------------------------------------- composing

function fieldMax(field) {
  return Number(field.dataset.max) || limits().text;
}

function updateCounter(fieldId, counterId) {
  const field = document.getElementById(fieldId);
  const counter = document.getElementById(counterId);
  if (field && counter) counter.textContent = `${graphemeLength(field.value)} / ${fieldMax(field)}`;
}

// Keeps a field within its limit in characters as the guest counts them (the browser's own
// maxlength counts UTF-16 units: it stopped 120 🔥 at 90 and cut emoji in half). Not while an
// input method is still composing.
function limitField(field) {
  const cut = (event) => {
    if (event && event.isComposing) return;
    const max = fieldMax(field);
    if (graphemeLength(field.value) <= max) return;
    field.value = cutGraphemes(field.value, max);
  };
  field.addEventListener('input', cut);
  field.addEventListener('compositionend', () => {
    cut();
    field.dispatchEvent(new Event('input', { bubbles: true }));
  });
  cut();
}

function sentMessage(reply, what) {
  if (reply && reply.status === 'live') return `${what} is on the wall now!`;
  return `${what} sent! It shows up once the DJ approves it.`;
}

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
  let text = artist ? `${song} - ${artist}` : song;
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

function formatBytes(n) {
  return n >= 1024 * 1024 ? `${(n / 1024 / 1024).toFixed(1)} MB` : `${Math.max(1, Math.round(n / 1024))} KB`;
}

function clearPhoto() {
  if (state.photo) URL.revokeObjectURL(state.photo.url);
  state.photo = null;
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
    if (state.photo) URL.revokeObjectURL(state.photo.url);
    state.photo = { ...shrunk, url: URL.createObjectURL(shrunk.blob), originalBytes: file.size };
    const preview = $('#photo-preview');
    preview.src = state.photo.url;
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
  if (!state.photo) {
    setStatus('photo-status', 'Choose a photo first.', 'error');
    $('#photo-file').focus();
    return;
  }
  const caption = $('#photo-text').value.trim();
  await send(event.submitter || $('#photo-send'), 'photo-status', 'photo-form', async () => {
    const query = new URLSearchParams({ name: state.name, text: caption });
    const p = profile();
    if (p.color) query.set('color', p.color);
    const { blob } = state.photo;
    const reply = await api(`/api/guest/photo?${query}`, {
      body: blob, headers: { 'Content-Type': 'image/jpeg' }, timeoutMs: 60000,
      idempotencyKey: sendKey('photo', `${caption}\n${state.photo.url}`),
    });
    sent('photo');
    clearPhoto();
    clearDraft($('#photo-text'), 'photo-text');
    refreshMine();
    return sentMessage(reply, 'Your photo');
  });
}

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
  if (state.lastTip.text === text && Date.now() - state.lastTip.at < 60000) return;
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
    state.lastTip = { text, at: Date.now() };
    clearDraft(field, 'tip-text');
    refreshMine();
    setStatus('tip-status', 'Thank you! Once the DJ sees your tip arrive, it goes up on the wall.', 'ok');
  } catch (err) {
    handleSendError(err, 'tip-status', 'tip');
  }
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

// ---------------------------------------------------------------- venue login

function openVenueLogin() {
  setStatus('venue-login-status', '');
  $('#venue-pin').value = '';
  const dialog = $('#venue-dialog');
  // Phones too old for modal dialogs still get the form, just not as an overlay.
  if (typeof dialog.showModal === 'function') dialog.showModal();
  else dialog.setAttribute('open', '');
  $('#venue-pin').focus();
}

function closeVenueDialog() {
  const dialog = $('#venue-dialog');
  if (typeof dialog.close === 'function') dialog.close();
  else dialog.removeAttribute('open');
  $('#venue-login-open').focus();
}

async function submitVenueLogin(event) {
  event.preventDefault();
  const pin = $('#venue-pin').value.trim();
  if (pin.length !== 5) {
    setStatus('venue-login-status', 'The venue PIN has 5 characters.', 'error');
    return;
  }
  const button = $('#venue-login-form button[type="submit"]');
  button.disabled = true;
  setStatus('venue-login-status', 'Checking…', 'busy');
  try {
    await api('/api/guest/venue-login', { body: { pin } });
    closeVenueDialog();
    await loadConfig();
    selectTab('venue');
  } catch (err) {
    const message = err.code === 'bad_pin' ? 'That PIN is not right. The DJ can see the venue PIN in the moderator window.' : err.message;
    setStatus('venue-login-status', message, 'error');
  } finally {
    button.disabled = false;
  }
}

async function venueLogout() {
  try {
    await api('/api/guest/venue-logout', { body: {} });
  } catch (err) {
    setStatus('venue-status', err.message, 'error');
    return;
  }
  await loadConfig();
}

// ---------------------------------------------------------------- live view

async function vote(optionId) {
  try {
    const reply = await api('/api/guest/vote', { body: { option: optionId } });
    if (state.config) state.config.poll = reply.poll;
    renderPoll($('#poll'), reply.poll, { onVote: vote, blocked: isBlocked(), justVoted: true });
    renderPollBar();
  } catch (err) {
    renderPoll($('#poll'), state.config && state.config.poll, { onVote: vote, blocked: isBlocked(), error: err.message });
    if (err.kind !== 'offline') loadConfig();
  }
}

async function react(post, emoji, remove) {
  try {
    const body = remove ? { id: post.id, emoji, remove: true } : { id: post.id, emoji };
    const reply = await api('/api/guest/react', { body });
    return reply;
  } catch (err) {
    setStatus('live-status', err.message, 'error');
    if (err.kind === 'off' || err.kind === 'blocked') loadConfig();
    return null;
  }
}

async function refreshLive() {
  if (state.tab !== 'live' || !state.config) return;
  try {
    const live = await api('/api/guest/live', { timeoutMs: 8000 });
    const cfg = state.config;
    renderFeed($('#feed'), live.posts || [], {
      featuredId: live.featuredId || '',
      allow: cfg.allow || {},
      emojis: cfg.emojis || [],
      blocked: isBlocked(),
      onReact: react,
      onStatus: (m, tone) => setStatus('live-status', m, tone),
    });
    $('#feed-empty').hidden = (live.posts || []).length > 0;
    connectionLost(false);
  } catch (err) {
    if (err.kind === 'offline' || err.kind === 'server') connectionLost(true);
  }
  refreshMine();
}

const STATE_WORDS = { pending: 'Waiting for the DJ', live: 'On the wall', done: 'Finished' };
const MARK_WORDS = { played: 'Played', refuse: 'Not playing tonight' };

function mineState(p) {
  return (p.type === 'request' && MARK_WORDS[p.mark]) || STATE_WORDS[p.status] || '';
}
const TYPE_NAMES = { shoutout: 'Shout-out', request: 'Request', photo: 'Photo', tip: 'Tip', venue: 'Announcement' };

// A post still waiting, or a request not yet marked: the guest may hear news of it.
function waitingForNews(p) {
  return p.status === 'pending' || (p.type === 'request' && !p.mark && p.status !== 'done');
}

// Tells the guest when the DJ puts one of their posts up, or plays their request, whichever tab
// is open.
function news(before, p) {
  const what = TYPE_NAMES[p.type] ? `Your ${TYPE_NAMES[p.type].toLowerCase()}` : 'Your post';
  if (before.status === 'pending' && p.status === 'live') return `${what} is on the wall now!`;
  if (p.type === 'request' && p.mark === 'played' && before.mark !== 'played') return `The DJ played your request: ${p.text}`;
  return '';
}

async function refreshMine() {
  if (!state.config) return;
  let mine;
  state.mineAt = Date.now();
  try {
    mine = await api('/api/guest/mine', { timeoutMs: 8000 });
  } catch {
    return;
  }
  const told = [];
  for (const p of mine.posts || []) {
    const before = state.mine.get(p.id);
    const message = before && state.mineSeen ? news(before, p) : '';
    if (message) told.push(message);
    state.mine.set(p.id, { type: p.type, status: p.status, mark: p.mark || '' });
  }
  state.mineSeen = true;
  if (told.length) note(told.join(' '), 15000, 'ok');
  const posts = (mine.posts || []).slice(0, 8);
  $('#mine-box').hidden = posts.length === 0;
  fill($('#mine'), posts.map((p) =>
    h('li', null,
      h('span', null, `${TYPE_NAMES[p.type] || 'Post'}: ${p.text || (p.type === 'photo' ? 'photo' : '')}`),
      h('span', { class: 'state' }, mineState(p)))));
}

// ---------------------------------------------------------------- polling

let configTimer = 0;
let liveTimer = 0;

function scheduleConfig() {
  clearTimeout(configTimer);
  const delay = Math.min(CONFIG_EVERY_MS * 2 ** Math.min(state.failures, 3), MAX_BACKOFF_MS);
  configTimer = setTimeout(async () => {
    if (!document.hidden) await loadConfig();
    scheduleConfig();
  }, delay);
}

function scheduleLive() {
  clearTimeout(liveTimer);
  liveTimer = setTimeout(async () => {
    if (!document.hidden) await refreshLive();
    scheduleLive();
  }, LIVE_EVERY_MS);
}

// ---------------------------------------------------------------- start

function bind() {
  $('#join-form').addEventListener('submit', submitJoin);
  $('#me').addEventListener('click', () => showJoin(true));
  $('#join-cancel').addEventListener('click', () => {
    showJoin(false);
    $('#me').focus();
  });
  $('#tabs').addEventListener('click', (e) => {
    const tab = e.target.closest('[role="tab"]');
    if (tab) selectTab(tab.dataset.tab);
  });
  $('#tabs').addEventListener('keydown', onTabKey);

  // The limit first: a draft is saved only as the field keeps it.
  for (const field of $$('[data-max]')) limitField(field);
  keepDraft($('#shout-text'), 'shout');
  keepDraft($('#request-song'), 'request-song');
  keepDraft($('#request-artist'), 'request-artist');
  keepDraft($('#photo-text'), 'photo-text');
  keepDraft($('#tip-text'), 'tip-text');
  keepDraft($('#venue-text'), 'venue-text');
  keepDraft($('#venue-name'), 'venue-name');
  // A draft kept from before is held to the limit too.
  for (const field of $$('[data-max]')) if (field.value) field.dispatchEvent(new Event('input', { bubbles: true }));
  $('#shout-text').addEventListener('input', () => updateCounter('shout-text', 'shout-count'));
  $('#venue-text').addEventListener('input', () => updateCounter('venue-text', 'venue-count'));

  $('#shout-form').addEventListener('submit', submitShout);
  $('#request-form').addEventListener('submit', submitRequest);
  $('#photo-form').addEventListener('submit', submitPhoto);
  $('#photo-file').addEventListener('change', pickPhoto);
  $('#venue-form').addEventListener('submit', submitVenue);
  $('#venue-logout').addEventListener('click', venueLogout);
  $('#venue-login-open').addEventListener('click', openVenueLogin);
  $('#poll-bar-go').addEventListener('click', () => selectTab('live'));
  $('#venue-login-form').addEventListener('submit', submitVenueLogin);
  $('#venue-login-cancel').addEventListener('click', closeVenueDialog);

  window.addEventListener('storage', profileChangedElsewhere);
  window.addEventListener('offline', () => connectionLost(true));
  window.addEventListener('online', () => loadConfig());
  document.addEventListener('visibilitychange', () => {
    if (!document.hidden) {
      loadConfig();
      refreshLive();
    }
  });
}

async function start() {
  const cached = cachedConfig();
  if (cached) applyTheme(document.documentElement, cached.theme, cached.look);
  bind();
  updateCounter('shout-text', 'shout-count');
  updateCounter('venue-text', 'venue-count');
  // Usable at once, before the wall has answered: the usual tabs, the guest's own name.
  for (const t of $$('[role="tab"]')) t.hidden = t.dataset.tab === 'venue';
  countTabs();
  selectTab(state.tab === 'venue' ? 'shout' : state.tab, false);
  renderMe();
  showJoin(!state.name);
  await loadConfig();
  if (state.name) refreshMine();
  if (!$('#join').hidden && state.name && !$('#join-name').value) $('#join-name').value = state.name;
  scheduleConfig();
  scheduleLive();
}

start();
