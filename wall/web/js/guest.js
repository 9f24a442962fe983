// The guest phone app: pick a name, send shout-outs, requests, photos and tips, react and vote on
// the Live view, and (for the venue manager) post announcements. Everything the guest types is
// kept on the phone until the wall has accepted it. This module wires the parts (connection, join,
// tabs, forms, venue, live) together and starts the page.

import { state, onConfig, loadConfig, pollConfig, refreshNotice, connectionLost } from './connection.js';
import { showProfile, renderMe, showJoin, fillJoinName, bindJoin } from './join.js';
import { showTabs, showUsualTabs, bindTabs } from './tabs.js';
import { applyLimits, updateCounters, showForms, bindForms } from './forms.js';
import { showCachedLook, showVenue, bindVenue } from './venue.js';
import { showPoll, refreshLive, refreshMine, checkMine, pollLive } from './live.js';

// Each configuration the wall answers with reaches every part of the page, in this order.
function applyConfig(cfg, first) {
  showVenue(cfg);
  applyLimits();
  showProfile(cfg);
  showTabs(cfg, first);
  showForms(cfg);
  showPoll(cfg);
  refreshNotice();
  checkMine();
}

function bind() {
  bindJoin();
  bindTabs();
  bindForms();
  bindVenue();
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
  showCachedLook();
  onConfig(applyConfig);
  bind();
  updateCounters();
  // Usable at once, before the wall has answered: the usual tabs, the guest's own name.
  showUsualTabs();
  renderMe();
  showJoin(!state.name);
  await loadConfig();
  if (state.name) refreshMine();
  fillJoinName();
  pollConfig();
  pollLive();
}

start();
