// The Live view: the posts on the wall with their reactions, the running poll (and the bar that
// announces it on the other tabs), and "Your posts" with news of what became of each.

import { h, $, fill } from './dom.js';
import { api } from './api.js';
import { renderPoll } from './poll.js';
import { renderFeed } from './feed.js';
import { state, setStatus, connectionLost, note, isBlocked, loadConfig, repeat } from './connection.js';

const LIVE_EVERY_MS = 4000;
const MINE_EVERY_MS = 8000;

const mine = {
  posts: new Map(), // post id -> { type, status, mark } as last seen, for news of it
  seen: false,
  at: 0,
  asked: 0, // the number of the newest request for the list
};

// A refused vote's words, kept over the next configurations until the guest votes again: the
// poll it was for (id), what to say while that poll shows, and what to say once another has
// taken its place (the vote went to an answer that is gone).
let refused = null;

async function vote(optionId) {
  const poll = state.config && state.config.poll;
  refused = null;
  try {
    const reply = await api('/api/guest/vote', { body: { option: optionId } });
    if (state.config) state.config.poll = reply.poll;
    renderPoll($('#poll'), reply.poll, { onVote: vote, blocked: isBlocked(), justVoted: true });
    renderPollBar();
  } catch (err) {
    refused = { id: poll && poll.id, error: err.message };
    renderPoll($('#poll'), poll, { onVote: vote, blocked: isBlocked(), error: err.message });
    if (err.kind !== 'offline') loadConfig();
  }
}

// The poll as the configuration has it.
export function showPoll(cfg) {
  let error = '';
  if (refused && cfg.poll) {
    error = cfg.poll.id === refused.id ? refused.error : 'A new poll has started, so your vote did not count. Vote again below.';
  }
  renderPoll($('#poll'), cfg.poll, { onVote: vote, blocked: isBlocked(), error });
  renderPollBar();
}

// On every tab but Live, a running poll says so, with the way to it.
export function renderPollBar() {
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

export async function refreshLive() {
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

// Every 4 s the Live view, while it is open, looks at what is on the wall.
export function pollLive() {
  repeat(refreshLive, () => LIVE_EVERY_MS);
}

// ---- your posts

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

export async function refreshMine() {
  if (!state.config) return;
  let reply;
  mine.at = Date.now();
  const asked = ++mine.asked;
  try {
    reply = await api('/api/guest/mine', { timeoutMs: 8000 });
  } catch {
    return;
  }
  // A slower, older reply (asked before the guest's last post) must not put back a list without it.
  if (asked !== mine.asked) return;
  const told = [];
  for (const p of reply.posts || []) {
    const before = mine.posts.get(p.id);
    const message = before && mine.seen ? news(before, p) : '';
    if (message) told.push(message);
    mine.posts.set(p.id, { type: p.type, status: p.status, mark: p.mark || '' });
  }
  mine.seen = true;
  if (told.length) note(told.join(' '), 15000, 'ok');
  const posts = (reply.posts || []).slice(0, 8);
  $('#mine-box').hidden = posts.length === 0;
  fill($('#mine'), posts.map((p) =>
    h('li', null,
      h('span', null, `${TYPE_NAMES[p.type] || 'Post'}: ${p.text || (p.type === 'photo' ? 'photo' : '')}`),
      h('span', { class: 'state' }, mineState(p)))));
}

// While something the guest sent waits for the DJ, look now and then (the Live tab looks anyway)
// at what became of it.
export function checkMine() {
  if (state.tab !== 'live' && Date.now() - mine.at >= MINE_EVERY_MS && [...mine.posts.values()].some(waitingForNews)) refreshMine();
}
