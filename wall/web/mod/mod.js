// Browser moderator page: the moderator window's queues and actions in a web page on the booth
// PC. It reads the same moderation document as the window, once a second, and sends the same
// action requests.

import { h, $, $$, fill, safeColor, safeLocalPath } from '/js/dom.js';
import { api } from '/js/api.js';
import { LISTS, ROW_BUTTONS, LIST_BUTTONS, WALL_BUTTONS, isBulk, offered, rowBody } from '/mod/lists.js';
import '/mod/poll-form.js';
import '/mod/booth-composer.js';
import { nightControls, countdown } from '/mod/night.js';

const POLL_MS = 1000;

const TAGS = {
  request: ['REQUEST', '#22d3ee'], photo: ['PHOTO', '#f472b6'], tip: ['TIP', '#facc15'],
  vote: ['VOTE', '#ff7a18'], venue: ['VENUE', '#ff4b1f'],
};

const state = { list: 'messages', doc: null, body: '', rows: new Map(), busy: false, waiting: -1, refocus: -1 };

function setStatus(message, tone = '') {
  const el = $('#status');
  el.textContent = message;
  if (tone) el.dataset.tone = tone;
  else delete el.dataset.tone;
}

function tagOf(post, list) {
  if (list === 'requests' && post.mark === 'played') return ['PLAYED', '#34d399'];
  if (list === 'requests' && post.mark === 'refuse') return ['REFUSE', '#fb7185'];
  let tag = TAGS[post.type];
  if (!tag && list === 'blocked') tag = ['BLOCKED', '#9a9ab0'];
  if (!tag && post.photo) tag = TAGS.photo;
  if (!tag) tag = ['SHOUT', '#ff7a18'];
  if (post.hot && post.type !== 'venue') tag = ['HOT', tag[1]];
  return tag;
}

function timeOf(post) {
  const t = post.lastAt > 0 ? post.lastAt : post.createdAt;
  if (!(t > 0)) return '';
  const d = new Date(t);
  return `${String(d.getHours()).padStart(2, '0')}:${String(d.getMinutes()).padStart(2, '0')}`;
}

// ------------------------------------------------------------------ actions

// done: the status line after it, or a function of the reply that gives it.
// at: the list position of the row the action came from, or -1.
async function action(path, body, done, at = -1) {
  state.refocus = at;
  try {
    const reply = await api(path, { body });
    const line = typeof done === 'function' ? done(reply) : done;
    if (line) setStatus(line, 'ok');
  } catch (err) {
    setStatus(err.message, 'error');
  }
  poll(true);
}

function who(post) {
  return post.name || 'this guest';
}

// The question a button with `confirm` asks first. Block names the phone the row names: for a song
// several guests asked for, that is the last of them; the request stays for the others.
function question(button, post) {
  if (button.action === 'clearChat') return 'Clear the chat? Every post goes off the wall.';
  if (button.action === 'unblockAll') return 'Unblock every guest? They will be able to send again.';
  if (button.action === 'rejectPhone') return `Reject every post waiting from ${who(post)}'s phone? The phone is not blocked.`;
  if (button.action === 'rejectAddress') {
    return `Reject every post waiting from the network address ${who(post)}'s phone sent from? Other guests on that address lose their waiting posts too.`;
  }
  const others = post.type === 'request' && post.count > 1 ? post.count - 1 : 0;
  const merged = others
    ? `\n\n${who(post)} asked for this song last. Only ${who(post)}'s phone is blocked; the request stays for the ${others === 1 ? 'other guest' : `${others} other guests`} who asked for it.`
    : '';
  return `Block ${who(post)} from sending more messages, requests and photos on that phone?${merged}\n\nYou can unblock them later in Blocked.`;
}

// A question whose safe answer, No, is the default: Enter or Escape keep everything as it is.
function ask(text) {
  const dialog = $('#ask-dialog');
  $('#ask-text').textContent = text;
  dialog.returnValue = '';
  const back = document.activeElement;
  return new Promise((resolve) => {
    dialog.addEventListener('close', () => {
      if (back && back.isConnected) back.focus();
      resolve(dialog.returnValue === 'yes');
    }, { once: true });
    dialog.showModal();
    $('#ask-no').focus();
  });
}

// post: the row's post, or none for a button of the list or the page. A row's button that takes
// its row out of the list hands the keyboard to the row that comes up in its place.
async function press(button, post, event) {
  if (button.action === 'clearChat' && !(await ask(question(button, post)))) return;
  if (button.confirm && !window.confirm(question(button, post))) return;
  const li = post && event ? event.currentTarget.closest('li') : null;
  const at = li ? $$('li', $('#rows')).indexOf(li) : -1;
  const body = post ? rowBody(button, post) : button.body;
  let done = button.done;
  if (button.action === 'block') done = `Blocked ${who(post)}.`;
  else if (isBulk(button)) done = (reply) => `Rejected ${reply.rejected} post${reply.rejected === 1 ? '' : 's'}.`;
  else if (button.mark && !body.mark) done = 'Mark taken off.';
  action(button.path, body, done, at);
}

function actionsFor(list, post) {
  return ROW_BUTTONS[list].filter((button) => offered(button, post)).map((button) => h('button', {
    type: 'button', class: button.look, 'aria-label': `${button.label}: ${post.name || 'Guest'}`, onclick: (event) => press(button, post, event),
  }, button.label));
}

function openPhoto(post) {
  const src = safeLocalPath(post.photo, ['uploads']);
  if (!src) return;
  const img = $('#photo-big');
  img.src = src;
  img.alt = `Photo from ${post.name || 'a guest'}`;
  $('#photo-dialog').showModal();
}

// ------------------------------------------------------------------ rendering

// Text with every occurrence of the word filter's find (as the guest wrote it) marked.
function marked(text, word) {
  if (!word) return [text];
  const out = [];
  let at = 0;
  for (let i = text.indexOf(word); i >= 0; i = text.indexOf(word, at)) {
    if (i > at) out.push(text.slice(at, i));
    out.push(h('mark', { text: word }));
    at = i + word.length;
  }
  out.push(text.slice(at));
  return out;
}

function buildRow(list, post) {
  const [tag, colour] = tagOf(post, list);
  const meta = [];
  if (list === 'requests' && post.count > 1) meta.push(`×${post.count}`);
  else if (list !== 'blocked' && timeOf(post)) meta.push(timeOf(post));
  if (list === 'live' && post.featured) meta.push('on the big card');
  if (list === 'live' && post.reactions) meta.push(post.reactions.replace(/:/g, ' ').replace(/,/g, '  '));
  let text = post.text || (post.photo ? 'Photo' : '');
  if (list === 'blocked') text = 'This phone cannot send until you unblock it.';
  const photo = list !== 'blocked' ? safeLocalPath(post.photo, ['uploads']) : '';
  const nameColour = safeColor(post.color);
  const flag = post.flagged && typeof post.flagWord === 'string' ? post.flagWord : '';
  const cls = ['row', post.mark === 'played' && list === 'requests' ? 'played' : '', post.mark === 'refuse' && list === 'requests' ? 'refused' : '', flag ? 'flagged' : ''].filter(Boolean).join(' ');
  return h('li', { class: cls, dataset: { id: post.id }, style: { '--tag': colour } },
    h('span', { class: 'accent', 'aria-hidden': 'true' }),
    h('div', { class: 'row-head' },
      h('span', { class: 'tag', text: tag }),
      h('span', { class: 'name' }, nameColour ? h('span', { class: 'name-dot', 'aria-hidden': 'true', style: { background: nameColour } }) : null, marked(post.name || 'Guest', flag)),
      list === 'messages' && post.liveAt > 0 ? countdown(post.liveAt) : null,
      flag ? h('span', { class: 'flag', title: 'The word filter found this word. Nothing goes up until you approve it.' }, `⚑ Word filter: ${flag}`) : null,
      meta.length ? h('span', { class: 'meta', text: meta.join(' · ') }) : null),
    photo ? h('button', { type: 'button', class: 'thumb', 'aria-label': `View photo from ${post.name || 'Guest'}`, onclick: () => openPhoto(post) },
      h('img', { src: photo, alt: '', loading: 'lazy' })) : null,
    h('p', { class: 'text' }, marked(text, flag)),
    h('div', { class: 'actions' }, actionsFor(list, post)));
}

function renderList() {
  const info = LISTS[state.list];
  const posts = (state.doc && Array.isArray(state.doc[info.key]) ? state.doc[info.key] : []).filter((p) => p && p.id);
  const box = $('#rows');
  const focusedId = box.contains(document.activeElement) ? document.activeElement.closest('li')?.dataset.id : '';
  const focusedLabel = focusedId ? document.activeElement.getAttribute('aria-label') : '';
  const seen = new Set();
  let previous = null;
  for (const post of posts) {
    const key = `${state.list}:${post.id}`;
    seen.add(key);
    const sig = JSON.stringify(post);
    let row = state.rows.get(key);
    if (!row || row.sig !== sig) {
      const el = buildRow(state.list, post);
      if (row) row.el.replaceWith(el);
      row = { el, sig };
      state.rows.set(key, row);
    }
    const expected = previous ? previous.nextElementSibling : box.firstElementChild;
    if (expected !== row.el) box.insertBefore(row.el, expected);
    previous = row.el;
  }
  for (const [key, row] of state.rows) {
    if (!seen.has(key)) {
      row.el.remove();
      state.rows.delete(key);
    }
  }
  // A row rebuilt under the pointer keeps the keyboard where it was.
  if (focusedId && !box.contains(document.activeElement)) {
    const again = $$('li', box).find((li) => li.dataset.id === focusedId);
    const button = again && $$('button', again).find((b) => b.getAttribute('aria-label') === focusedLabel);
    if (button) button.focus();
  }
  const empty = $('#empty');
  empty.hidden = posts.length > 0;
  empty.textContent = info.empty;
  $('#hint').textContent = info.hint;
  for (const button of $$('[data-list-action]')) button.hidden = button.dataset.listAction !== state.list || posts.length === 0;
}

// After a row's action, once the list shows its outcome: when the row went and took the focus
// with it, the next row's first button gets it (the previous row's when it was the last).
function refocusRow() {
  const at = state.refocus;
  state.refocus = -1;
  const active = document.activeElement;
  if (at < 0 || (active && active !== document.body && active.isConnected)) return;
  const rows = $$('li', $('#rows'));
  const row = rows[Math.min(at, rows.length - 1)];
  const button = row && $('.actions button', row);
  if (button) button.focus();
}

function renderTabs() {
  const doc = state.doc || {};
  for (const tab of $$('[role="tab"]')) {
    const info = LISTS[tab.dataset.list];
    const n = Array.isArray(doc[info.key]) ? doc[info.key].length : 0;
    tab.textContent = `${info.label} (${n})`;
    const on = tab.dataset.list === state.list;
    tab.setAttribute('aria-selected', on ? 'true' : 'false');
    tab.tabIndex = on ? 0 : -1;
    tab.dataset.alert = ['messages', 'requests', 'tips'].includes(tab.dataset.list) && n > 0 ? 'true' : 'false';
  }
  $('#list-panel').setAttribute('aria-labelledby', `tab-${state.list}`);
}

function renderInfo() {
  const doc = state.doc || {};
  const pin = typeof doc.venuePin === 'string' && doc.venuePin.length === 5 ? doc.venuePin : '-----';
  $('#pin').textContent = `Venue PIN ${pin} · Give this to the manager. Same QR, then Venue login.`;
  let vote = 'No vote running.';
  if (doc.voteActive) {
    const s = Math.max(0, Math.ceil(Number(doc.voteRemain) || 0));
    const left = s >= 3600
      ? `${Math.floor(s / 3600)}:${String(Math.floor((s % 3600) / 60)).padStart(2, '0')}:${String(s % 60).padStart(2, '0')} left`
      : `${Math.floor(s / 60)}:${String(s % 60).padStart(2, '0')} left`;
    vote = doc.voteClosed ? `${doc.voteTitle}\n${doc.voteSummary || ''}` : `${doc.voteTitle} · ${left}\n${doc.voteSummary || ''}`;
  }
  $('#vote').textContent = vote;
  const waiting = (doc.pending || []).length + (doc.requests || []).length;
  document.title = waiting > 0 ? `LUMVO Moderator • ${waiting} waiting` : 'LUMVO Moderator';
}

let renderNight = () => {};

function render() {
  renderNight(state.doc);
  renderTabs();
  renderInfo();
  renderList();
}

function selectList(name, focus) {
  if (!LISTS[name]) return;
  if (name !== state.list) {
    state.list = name;
    for (const row of state.rows.values()) row.el.remove();
    state.rows.clear();
  }
  render();
  if (focus) $(`#tab-${name}`).focus();
}

// ------------------------------------------------------------------ polling

let timer = 0;
let inFlight = false;
let again = false;

// One poll loop only: a poll asked for while one is under way (after an action) runs right after it.
async function poll(now = false) {
  if (inFlight) {
    again = true;
    return;
  }
  clearTimeout(timer);
  if (now || !document.hidden) {
    inFlight = true;
    try {
      const res = await fetch('/api/state', { cache: 'no-store' });
      if (!res.ok) throw new Error(res.status === 403 ? 'This page only works on the DJ computer.' : `The wall answered ${res.status}.`);
      const body = await res.text();
      $('#conn').textContent = 'Live';
      delete $('#conn').dataset.tone;
      if (body !== state.body) {
        state.body = body;
        state.doc = JSON.parse(body);
        render();
        document.dispatchEvent(new CustomEvent('mod:state', { detail: state.doc }));
      }
      refocusRow();
    } catch (err) {
      $('#conn').textContent = err instanceof TypeError ? 'Wall server not reachable. Is VirtualDJ running with LUMVO on?' : err.message;
      $('#conn').dataset.tone = 'error';
    } finally {
      inFlight = false;
    }
    if (again) {
      again = false;
      poll(true);
      return;
    }
  }
  timer = setTimeout(poll, POLL_MS);
}

// ------------------------------------------------------------------ start

// The poll and booth forms ask for the state at once after they changed it.
document.addEventListener('mod:refresh', () => poll(true));
$('#tabs').addEventListener('click', (e) => {
  const tab = e.target.closest('[role="tab"]');
  if (tab) selectList(tab.dataset.list, false);
});
$('#tabs').addEventListener('keydown', (e) => {
  const names = Object.keys(LISTS);
  const i = names.indexOf(state.list);
  if (e.key === 'ArrowRight') selectList(names[(i + 1) % names.length], true);
  else if (e.key === 'ArrowLeft') selectList(names[(i - 1 + names.length) % names.length], true);
  else return;
  e.preventDefault();
});
fill($('#wall-buttons'), WALL_BUTTONS.map((button) => h('button', { type: 'button', onclick: () => press(button) }, button.label)));
fill($('#list-buttons'), Object.entries(LIST_BUTTONS).flatMap(([list, buttons]) => buttons.map((button) => h('button', {
  type: 'button', dataset: { listAction: list }, hidden: true, onclick: () => press(button),
}, button.label))));
renderNight = nightControls($('#night-controls'), setStatus);
render();
poll(true);
