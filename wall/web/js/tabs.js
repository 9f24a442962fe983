// The tab row: which tabs the wall's switches allow, the open one (kept across reloads), and the
// arrow keys that move between them.

import { $, $$ } from './dom.js';
import { savePref } from './drafts.js';
import { state } from './connection.js';
import { refreshLive, renderPollBar } from './live.js';

export function selectTab(name, focus = true) {
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

function firstAvailableTab(available) {
  return ['shout', 'request', 'photo', 'tip', 'live'].find((t) => available[t]) || 'live';
}

// Usable at once, before the wall has answered: the usual tabs.
export function showUsualTabs() {
  for (const t of $$('[role="tab"]')) t.hidden = t.dataset.tab === 'venue';
  countTabs();
  selectTab(state.tab === 'venue' ? 'shout' : state.tab, false);
}

// The tabs the configuration allows; the open one moves when the DJ has just switched it off.
export function showTabs(cfg, first) {
  const allow = cfg.allow || {};
  const available = {
    shout: !!allow.messages,
    request: !!allow.requests,
    photo: !!allow.photos,
    tip: !!allow.tips,
    live: true,
    venue: !!(cfg.device || {}).venue,
  };
  for (const tab of $$('[role="tab"]')) tab.hidden = !available[tab.dataset.tab];
  countTabs();
  if (!available[state.tab]) selectTab(firstAvailableTab(available), false);
  else if (first) selectTab(state.tab, false);
}

export function bindTabs() {
  $('#tabs').addEventListener('click', (e) => {
    const tab = e.target.closest('[role="tab"]');
    if (tab) selectTab(tab.dataset.tab);
  });
  $('#tabs').addEventListener('keydown', onTabKey);
  $('#poll-bar-go').addEventListener('click', () => selectTab('live'));
}
