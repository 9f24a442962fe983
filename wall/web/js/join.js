// Who the phone is: the guest's name and name colour (kept on the phone and on the wall, shown in
// the button at the top and changed from there), and the venue manager's PIN login.

import { h, $, fill, safeColor, graphemeLength } from './dom.js';
import { api } from './api.js';
import { loadPref, savePref } from './drafts.js';
import { state, setStatus, limits, profile, nameSaved, loadConfig } from './connection.js';
import { selectTab } from './tabs.js';

const COLOR_NAMES = {
  '#ff7a18': 'Orange', '#a855f7': 'Purple', '#22d3ee': 'Cyan', '#f472b6': 'Pink', '#34d399': 'Green',
  '#facc15': 'Yellow', '#60a5fa': 'Blue', '#fb7185': 'Rose', '#ffffff': 'White', '#ef4444': 'Red',
};

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

// The name, colour and colour choice as the configuration has them; the venue login link for a
// phone not logged in as the venue.
export function showProfile(cfg) {
  const device = cfg.device || {};
  adoptProfile(device);
  renderColors();
  renderMe();
  $('#venue-login-open').hidden = !!device.venue;
}

// Another tab of this phone changed the name or colour: take it at once.
function profileChangedElsewhere(event) {
  if (event.key === 'lumvo.draft.pref.name' && event.newValue) state.name = event.newValue;
  else if (event.key === 'lumvo.draft.pref.color') state.color = event.newValue || '';
  else return;
  renderColors();
  renderMe();
}

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

export function renderMe() {
  const me = $('#me');
  if (!state.name) {
    me.hidden = true;
    return;
  }
  me.hidden = false;
  fill(me, h('span', { 'aria-hidden': 'true', style: { color: safeColor(state.color, 'inherit') } }, '●\u00a0'), h('span', { class: 'me-name' }, state.name), h('span', { class: 'me-edit', 'aria-hidden': 'true' }, '✎'));
  me.setAttribute('aria-label', `You are ${state.name}. Change your name`);
}

export function showJoin(show) {
  $('#join').hidden = !show;
  $('#app').hidden = show;
  if (show) {
    $('#join-name').value = state.name || '';
    $('#join-cancel').hidden = !state.name;
    $('#join-name').focus();
  }
}

// The name step, when it shows at the start, holds the name the wall answered with.
export function fillJoinName() {
  if (!$('#join').hidden && state.name && !$('#join-name').value) $('#join-name').value = state.name;
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

// ---- venue login

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

export function bindJoin() {
  $('#join-form').addEventListener('submit', submitJoin);
  $('#me').addEventListener('click', () => showJoin(true));
  $('#join-cancel').addEventListener('click', () => {
    showJoin(false);
    $('#me').focus();
  });
  window.addEventListener('storage', profileChangedElsewhere);
  $('#venue-logout').addEventListener('click', venueLogout);
  $('#venue-login-open').addEventListener('click', openVenueLogin);
  $('#venue-login-form').addEventListener('submit', submitVenueLogin);
  $('#venue-login-cancel').addEventListener('click', closeVenueDialog);
}
