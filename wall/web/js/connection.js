// The guest app's link to the wall: the state the page shares between its parts, the notice at the
// top, sends with their plain-word outcome, sends that go again by themselves once the wall
// answers, the configuration and the polling that keeps it fresh.

import { $ } from './dom.js';
import { api, ApiError } from './api.js';
import { loadPref, savePref } from './drafts.js';
import { PhotoError } from './photo.js';

const CONFIG_EVERY_MS = 4000;
const MAX_BACKOFF_MS = 20000;

const TYPE_WORDS = { shout: 'Shout-outs', request: 'Song requests', photo: 'Photos', tip: 'Tips' };

// What the parts of the page share: the last configuration, the open tab, the guest's name and
// colour (kept on the phone), and how the wall has been answering.
export const state = {
  config: null,
  tab: loadPref('tab', 'shout'),
  name: loadPref('name'),
  color: loadPref('color'),
  failures: 0,
  cooldownUntil: 0,
  note: null,
  resend: new Set(), // sends that got no answer, to go again once the wall answers
};

// ---- status lines and the notice

export function setStatus(id, message, tone = '') {
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
export function connectionLost(lost) {
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

// How a send that got no answer goes again, by its slot; a slot without one submits its form.
const resenders = new Map();
export function resendWith(slot, again) {
  resenders.set(slot, again);
}

// Sends that could not reach the wall go again, with the same idempotency key, once it answers.
// `slot` names the form ("shout-form", ...) or "tip".
function resendWaiting() {
  const slots = [...state.resend];
  state.resend.clear();
  for (const slot of slots) {
    const again = resenders.get(slot);
    if (again) again();
    else document.getElementById(slot)?.requestSubmit();
  }
}

// A passing note (such as "shout-outs were just turned off") stays up for a while even as the
// page refreshes its switches; being offline or blocked takes precedence over it.
export function note(message, ms = 20000, tone = 'error') {
  state.note = { message, until: Date.now() + ms, tone };
  refreshNotice();
}

export function refreshNotice() {
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

// ---- what the wall allows

export function isBlocked() {
  return !!(state.config && state.config.device && state.config.device.blocked);
}

export function limits() {
  return Object.assign({ name: 28, text: 180, request: 120, photoBytes: 5242880 }, (state.config && state.config.limits) || {});
}

// The name and colour every post carries.
export function profile() {
  const body = { name: state.name };
  const colors = (state.config && state.config.nameColors) || [];
  if (state.color && colors.length) body.color = state.color;
  return body;
}

// The wall has heard the name: a later config look may take the wall's name over again.
export function nameSaved() {
  savePref('name-unsaved', '');
}

// ---- sending

// Runs one send: disables the button while it runs, reports the outcome in plain words. `slot`
// (the form's id) is what goes again by itself when the wall could not be reached.
export async function send(button, statusId, slot, work) {
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

export function handleSendError(err, statusId, slot) {
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

// ---- configuration

const CONFIG_CACHE = 'config-cache';

// The theme and look of the last configuration, so that a reload does not flash.
export function cachedConfig() {
  try {
    return JSON.parse(loadPref(CONFIG_CACHE) || 'null');
  } catch {
    return null;
  }
}

// What the page does with each configuration: `configured(cfg, first)`, set once at the start.
let configured = () => {};
export function onConfig(apply) {
  configured = apply;
}

export async function loadConfig() {
  try {
    const cfg = await api('/api/guest/config', { timeoutMs: 8000 });
    state.failures = 0;
    connectionLost(false);
    const first = !state.config;
    state.config = cfg;
    configured(cfg, first);
    savePref(CONFIG_CACHE, JSON.stringify({ theme: cfg.theme, look: cfg.look }));
    return cfg;
  } catch (err) {
    state.failures++;
    if (err.kind === 'offline' || err.kind === 'server') connectionLost(true);
    return null;
  }
}

// ---- polling

// Runs `work` again `delay()` ms after each run ends, skipping the runs while the page is hidden.
export function repeat(work, delay) {
  const next = () => setTimeout(async () => {
    if (!document.hidden) await work();
    next();
  }, delay());
  next();
}

// The configuration every 4 s, backing off to 20 s while the wall does not answer.
export function pollConfig() {
  repeat(loadConfig, () => Math.min(CONFIG_EVERY_MS * 2 ** Math.min(state.failures, 3), MAX_BACKOFF_MS));
}
