// The running poll on the guest's Live view: question, picture, countdown and one button per
// answer that doubles as its result bar.

import { h, fill, safeLocalPath } from './dom.js';

let ticker = 0;

function clock(seconds) {
  const s = Math.max(0, Math.ceil(seconds));
  const hours = Math.floor(s / 3600);
  const mm = String(Math.floor((s % 3600) / 60)).padStart(hours ? 2 : 1, '0');
  const ss = String(s % 60).padStart(2, '0');
  return hours ? `${hours}:${mm}:${ss}` : `${mm}:${ss}`;
}

function votesText(count, total) {
  const share = total > 0 ? Math.round((count / total) * 100) : 0;
  return { share, text: `${count} vote${count === 1 ? '' : 's'} · ${share}%` };
}

function footerText(poll, opts) {
  if (opts.error) return opts.error;
  if (poll.closed) {
    const win = (poll.options || []).find((o) => o.id === poll.winner);
    return win ? `Poll closed. Winner: ${win.label}` : 'Poll closed. No winner this time.';
  }
  if (opts.blocked) return "This phone can't vote tonight.";
  if (poll.myVotes > 0 && poll.canVote) return 'Your vote is in. You can vote again.';
  if (poll.myVotes > 0) return 'Thanks, your vote is in!';
  return 'Tap an answer to vote.';
}

export function renderPoll(box, poll, opts = {}) {
  clearInterval(ticker);
  if (!poll || !Array.isArray(poll.options) || poll.options.length === 0) {
    box.hidden = true;
    fill(box);
    delete box.dataset.key;
    return;
  }
  box.hidden = false;
  const key = JSON.stringify([poll.id, poll.title, poll.photo, poll.options.map((o) => [o.id, o.label])]);
  if (box.dataset.key !== key) {
    box.dataset.key = key;
    const photo = safeLocalPath(poll.photo, ['uploads']);
    fill(box,
      h('h2', { class: 'small muted', text: 'Live poll' }),
      h('h3', { id: 'poll-title', text: poll.title || 'Vote now' }),
      photo ? h('img', { class: 'poll-photo', src: photo, alt: 'Poll picture', loading: 'lazy' }) : null,
      h('p', { class: 'muted small poll-remain', 'aria-live': 'off' }),
      h('div', { class: 'poll-options', role: 'group', 'aria-labelledby': 'poll-title' },
        poll.options.map((o) => h('button', {
          type: 'button', class: 'poll-option', dataset: { option: o.id },
          onclick: () => opts.onVote && opts.onVote(o.id),
        }, h('span', { class: 'bar', 'aria-hidden': 'true' }), h('span', { class: 'label', text: o.label }), ' ',
        h('span', { class: 'mine-mark', 'aria-hidden': 'true', hidden: true, text: '✓ Your vote' }), ' ', h('span', { class: 'count' })))),
      h('p', { class: 'status poll-note', role: 'status', 'aria-live': 'polite', tabindex: '-1' }));
  }
  const total = poll.total || poll.options.reduce((n, o) => n + (o.count || 0), 0);
  const canVote = !!poll.canVote && !opts.blocked;
  const chosen = new Set(Array.isArray(poll.myOptions) ? poll.myOptions : []);
  for (const o of poll.options) {
    const button = box.querySelector(`.poll-option[data-option="${CSS.escape(o.id)}"]`);
    if (!button) continue;
    const { share, text } = votesText(o.count || 0, total);
    const mine = chosen.has(o.id);
    button.style.setProperty('--share', `${share}%`);
    button.querySelector('.count').textContent = text;
    button.querySelector('.mine-mark').hidden = !mine;
    button.disabled = !canVote;
    button.dataset.winner = poll.closed && poll.winner === o.id ? 'true' : 'false';
    button.dataset.mine = mine ? 'true' : 'false';
    // The name starts with the words on the button, so that voice control finds it by them.
    button.setAttribute('aria-label', `${o.label}${mine ? ', your vote' : ''}, ${text}`);
  }
  const note = box.querySelector('.poll-note');
  note.textContent = footerText(poll, opts);
  note.dataset.tone = opts.error ? 'error' : poll.myVotes > 0 || poll.closed ? 'ok' : '';
  if (opts.justVoted) note.focus();

  const remainEl = box.querySelector('.poll-remain');
  if (poll.closed) {
    remainEl.textContent = 'Voting has ended.';
  } else {
    const endsAt = Date.now() + Math.max(0, Number(poll.remain) || 0) * 1000;
    const tick = () => {
      const left = (endsAt - Date.now()) / 1000;
      remainEl.textContent = left > 0 ? `${clock(left)} left` : 'Voting is closing…';
      if (left <= 0) clearInterval(ticker);
    };
    tick();
    ticker = setInterval(tick, 1000);
  }
}
