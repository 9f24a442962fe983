// The wall on a venue screen: follows the wall's screen stream (GET /api/screen/events) and shows
// each document it sends. When the stream breaks (the wall restarting, the Wi-Fi dropping) the
// browser connects again by itself; a stream the wall refused is opened again after a pause that
// grows to half a minute. What is shown stays up meanwhile.

import { Feed } from './feed.js';
import { Hero } from './hero.js';
import { JoinCard } from './join-card.js';
import { FRAMES } from './look.js';

const stage = document.getElementById('stage');
const status = document.getElementById('status');
const feed = new Feed(document.getElementById('feed'));
// The server's clock less this screen's, from the last message.
let skew = 0;
const local = (serverTime) => serverTime - skew;
const hero = new Hero(document.getElementById('card'), document.getElementById('poll'), feed, local);
const join = new JoinCard(document.getElementById('join'));

let last = null;
let lostSince = 0;
let retryMs = 1000;
let stream = null;

function show(doc) {
  last = doc;
  const theme = FRAMES[doc.theme] ? doc.theme : 'club';
  stage.dataset.theme = theme;
  stage.dataset.frame = FRAMES[theme];
  join.show(doc);
  feed.show(doc);
  hero.show(doc);
}

function connected(yes) {
  stage.dataset.connected = yes ? 'yes' : 'no';
  if (yes) {
    lostSince = 0;
    retryMs = 1000;
    status.hidden = true;
  } else if (!lostSince) {
    lostSince = Date.now();
  }
}

// A lost wall is said after a few seconds, so a restart passes unnoticed.
setInterval(() => {
  if (lostSince && Date.now() - lostSince > 4000) {
    status.textContent = 'Waiting for the wall…';
    status.hidden = false;
  }
}, 1000);

function open() {
  stream = new EventSource('/api/screen/events');
  stream.onopen = () => connected(true);
  stream.onmessage = (e) => {
    let msg;
    try {
      msg = JSON.parse(e.data);
    } catch {
      return;
    }
    connected(true);
    skew = msg.now - Date.now();
    show(msg.screen);
  };
  stream.onerror = () => {
    connected(false);
    // The browser tries again by itself unless the wall refused the stream.
    if (stream.readyState === EventSource.CLOSED) {
      setTimeout(open, retryMs);
      retryMs = Math.min(retryMs * 2, 30000);
    }
  };
}

let resizing = 0;
window.addEventListener('resize', () => {
  clearTimeout(resizing);
  resizing = setTimeout(() => {
    join.resize();
    if (last) {
      feed.key = '';
      show(last);
    }
  }, 200);
});

connected(false);
open();
