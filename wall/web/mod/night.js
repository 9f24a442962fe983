// The moderator page's night controls: the "Auto approve after" slider (how long a guest's post
// waits, for the DJ to reject it, before auto approve puts it up) and the night's report; and the
// seconds a waiting post has left, counted down on its row between two polls.

import { h, $$ } from '/js/dom.js';
import { api } from '/js/api.js';

export const DELAY_MAX = 120;

// "in 12s": whole seconds left until liveAt (milliseconds since 1970), rounded up, never below 0.
export function secondsLeft(liveAt, now = Date.now()) {
  return `in ${Math.max(0, Math.ceil((liveAt - now) / 1000))}s`;
}

// The part of a row that counts down (mod.js puts it in a Messages row with a liveAt).
export function countdown(liveAt) {
  return h('span', { class: 'live-in', dataset: { liveAt: String(liveAt) }, title: 'Goes on the wall by itself unless you reject it', text: `⏱ ${secondsLeft(liveAt)}` });
}

const delayText = (sec, autoApprove) => `${sec > 0 ? `${sec} s` : 'at once'}${autoApprove ? '' : ' (off)'}`;

// Builds the controls into `root`; returns update(doc), to call with each moderation document.
// setStatus(message, tone): the page's status line.
export function nightControls(root, setStatus) {
  const out = h('output', { id: 'auto-delay-value', for: 'auto-delay', title: 'With auto approve off (on the desk), every post waits for you.' });
  const slider = h('input', { type: 'range', id: 'auto-delay', min: '0', max: String(DELAY_MAX), step: '5', value: '0' });
  let shown = { sec: 0, autoApprove: false };
  let editing = false; // the DJ is moving it: the next documents do not move it back
  slider.addEventListener('input', () => {
    editing = true;
    out.value = delayText(Number(slider.value), shown.autoApprove);
  });
  slider.addEventListener('change', async () => {
    const sec = Number(slider.value);
    try {
      await api('/api/settings', { body: { autoApproveDelaySec: sec } });
      shown = { ...shown, sec };
      setStatus(sec > 0 ? `Posts wait ${sec} s before auto approve puts them up.` : 'Auto approve puts posts up at once.', 'ok');
    } catch (err) {
      setStatus(err.message, 'error');
    } finally {
      editing = false;
    }
  });
  root.replaceChildren(
    h('div', { class: 'auto-delay' }, h('label', { for: 'auto-delay' }, 'Auto approve after'), slider, out),
    h('a', { class: 'button', href: '/api/report', target: '_blank', rel: 'noopener' }, 'Night report'),
    h('a', { class: 'button quiet', href: '/api/report.zip', download: '', title: 'The night\'s photos and data' }, '.zip'));
  setInterval(() => {
    for (const el of $$('[data-live-at]')) el.textContent = `⏱ ${secondsLeft(Number(el.dataset.liveAt))}`;
  }, 500);
  return (doc) => {
    const sec = Math.min(DELAY_MAX, Math.max(0, Math.trunc(Number(doc?.autoApproveDelaySec) || 0)));
    shown = { sec, autoApprove: !!doc?.autoApprove };
    if (!editing) slider.value = String(sec);
    out.value = delayText(editing ? Number(slider.value) : sec, shown.autoApprove);
  };
}
