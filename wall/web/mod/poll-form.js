// The moderator page's poll: a title, two to four answers, an optional picture, a length or an
// end time on this PC's clock, and whether guests can vote more than once; Start and Stop; the
// running poll's bars and time left, read from the display document the TV reads.

import { h, $, fill } from '/js/dom.js';
import { readPicture, send, setStatus, onState, refresh } from '/mod/forms.js';

const PICTURE_MAX = 2 * 1024 * 1024;
const SHORTEST_SEC = 5;
const LENGTH_LIMITS = [23, 59, 59];
const TITLE_START = 'Who is having the best night?';
const ANSWERS_START = ['Yes', 'No', '', ''];

const two = (n) => String(n).padStart(2, '0');

// A field's whole number within 0..top; anything that is not a number counts as 0.
function clampField(text, top) {
  const n = Number.parseInt(String(text).trim(), 10);
  return Number.isFinite(n) ? Math.min(top, Math.max(0, n)) : 0;
}

// The start request's body, members in the wall's order. length: [h, m, s]; endAt: "HH:MM" or
// "HH:MM:SS" from the time field. Empty answers are left out; the wall counts the rest.
function pollBody({ title, answers, mode, length, endAt, photo }) {
  const body = { title };
  if (mode === 'end') body.endAt = /^\d\d:\d\d$/.test(endAt) ? `${endAt}:00` : endAt.slice(0, 8);
  else body.duration = Math.max(SHORTEST_SEC, (length[0] * 60 + length[1]) * 60 + length[2]);
  if (photo) body.photo = photo;
  body.options = answers.map((a) => a.trim()).filter(Boolean);
  return body;
}

function clock(seconds) {
  const s = Math.max(0, Math.ceil(Number(seconds) || 0));
  const h = Math.floor(s / 3600);
  const rest = `${two(Math.floor((s % 3600) / 60))}:${two(s % 60)}`;
  return h ? `${h}:${rest}` : `${Math.floor(s / 60)}:${two(s % 60)}`;
}

// voteBars: one line per answer, "key TAB label TAB count TAB r,g,b".
function bars(packed) {
  return String(packed || '').split('\n').filter(Boolean).map((line) => {
    const [, label = '', count = '0', rgb = ''] = line.split('\t');
    return { label, count: Number(count) || 0, colour: /^\d{1,3},\d{1,3},\d{1,3}$/.test(rgb) ? `rgb(${rgb})` : '#ff7a18' };
  });
}

// ------------------------------------------------------------------ the form

const picture = { dataUrl: '', name: '' };
let mode = 'length';
let endSet = false;

const status = h('p', { id: 'poll-status', class: 'form-status', role: 'status', 'aria-live': 'polite' });
const titleField = h('input', { id: 'poll-title', type: 'text', maxlength: 95, autocomplete: 'off', value: TITLE_START });
const answerFields = ANSWERS_START.map((start, i) => h('input', {
  id: `poll-answer-${i + 1}`, type: 'text', maxlength: 47, autocomplete: 'off', value: start,
}));
const pictureField = h('input', { id: 'poll-picture', class: 'file-input', type: 'file', accept: 'image/jpeg,image/png,image/webp' });
const pictureButton = h('label', { for: 'poll-picture', class: 'file-button' }, 'Add picture');
const pictureName = h('span', { id: 'poll-picture-name', class: 'file-name', text: 'No picture' });
const pictureThumb = h('img', { class: 'file-thumb', alt: '', hidden: true });
const removePicture = h('button', { type: 'button', hidden: true }, 'Remove picture');
const modeRadios = [['length', 'Length'], ['end', 'End at local time']].map(([value, label]) => h('label', { class: 'choice' },
  h('input', { type: 'radio', name: 'poll-mode', value, checked: value === mode }), label));
const modeHint = h('p', { id: 'poll-mode-hint', class: 'hint' });
const lengthFields = [['Hours', 0], ['Minutes', 1], ['Seconds', 0]].map(([label, start], i) => h('label', { class: 'unit' }, label,
  h('input', { type: 'number', min: 0, max: LENGTH_LIMITS[i], step: 1, inputmode: 'numeric', value: start, 'aria-describedby': 'poll-mode-hint' })));
const lengthGroup = h('div', { class: 'length', role: 'group', 'aria-label': 'Length' }, lengthFields);
const endField = h('input', { id: 'poll-end', type: 'time', step: 1, 'aria-describedby': 'poll-mode-hint' });
const endGroup = h('div', { class: 'end', hidden: true }, h('label', { for: 'poll-end' }, 'End time'), endField);
const unlimited = h('input', { id: 'poll-unlimited', type: 'checkbox' });
const startButton = h('button', { type: 'submit', class: 'primary' }, 'Start vote');
const stopButton = h('button', { type: 'button', disabled: true }, 'Stop vote');
const running = h('section', { class: 'running', 'aria-labelledby': 'poll-running-title' });

const form = h('form', { id: 'poll-form', novalidate: true },
  h('p', { class: 'hint' }, 'Title and two to four answers. Guests vote on Live.'),
  h('label', { for: 'poll-title' }, 'Title'), titleField,
  h('fieldset', {}, h('legend', {}, 'Answers'),
    h('div', { class: 'answers' }, answerFields.map((field, i) => h('label', { class: 'answer' },
      i < 2 ? `Answer ${i + 1}` : `Answer ${i + 1} (optional)`, field)))),
  h('fieldset', {}, h('legend', {}, 'Picture (optional)'),
    h('div', { class: 'file-row' }, pictureField, pictureButton, pictureThumb, pictureName, removePicture)),
  h('fieldset', {}, h('legend', {}, 'When it ends'),
    h('div', { class: 'choices' }, modeRadios), modeHint, lengthGroup, endGroup),
  h('label', { class: 'choice' }, unlimited, 'Guests can vote more than once'),
  h('div', { class: 'form-buttons' }, startButton, stopButton),
  status);

function showMode() {
  const length = mode === 'length';
  modeHint.textContent = length
    ? 'How long the poll runs.'
    : "Ends at this PC's clock. The field starts at the time now: move it later.";
  lengthGroup.hidden = !length;
  endGroup.hidden = length;
  if (!length && !endSet) {
    const now = new Date();
    endField.value = `${two(now.getHours())}:${two(now.getMinutes())}:${two(now.getSeconds())}`;
    endSet = true;
  }
}

function clearPicture() {
  Object.assign(picture, { dataUrl: '', name: '' });
  pictureField.value = '';
  pictureName.textContent = 'No picture';
  pictureButton.textContent = 'Add picture';
  pictureThumb.hidden = true;
  pictureThumb.removeAttribute('src');
  removePicture.hidden = true;
}

async function choosePicture() {
  const file = pictureField.files[0];
  if (!file) return;
  try {
    Object.assign(picture, await readPicture(file, PICTURE_MAX));
    pictureName.textContent = picture.name;
    pictureButton.textContent = 'Change picture';
    pictureThumb.src = picture.dataUrl;
    pictureThumb.hidden = false;
    removePicture.hidden = false;
    setStatus(status, '');
  } catch (err) {
    // The picture chosen before, if any, stays.
    pictureField.value = '';
    setStatus(status, err.message, 'error');
  }
}

async function start(event) {
  event.preventDefault();
  const length = lengthFields.map((label, i) => {
    const field = $('input', label);
    const n = clampField(field.value, LENGTH_LIMITS[i]);
    field.value = String(n);
    return n;
  });
  const body = pollBody({
    title: titleField.value.trim(), answers: answerFields.map((f) => f.value), mode, length, endAt: endField.value, photo: picture.dataUrl,
  });
  startButton.disabled = true;
  setStatus(status, 'Starting the vote…');
  try {
    await send('/api/vote-start', body, picture.dataUrl ? 30000 : 8000);
    setStatus(status, 'Vote started.', 'ok');
  } catch (err) {
    setStatus(status, err.message, 'error');
  } finally {
    startButton.disabled = false;
  }
  refresh();
}

async function stop() {
  try {
    await send('/api/vote-stop', {});
    setStatus(status, 'Vote stopped.', 'ok');
  } catch (err) {
    setStatus(status, err.message, 'error');
  }
  refresh();
}

// The setting itself, as on the moderator window's Settings tab: it applies to every poll.
async function readUnlimited() {
  try {
    unlimited.checked = (await send('/api/settings', undefined)).allowUnlimitedVoting === true;
  } catch {
    // The state poll says when the wall is not there; the box keeps what it shows.
  }
}

async function setUnlimited() {
  const on = unlimited.checked;
  try {
    await send('/api/settings', { allowUnlimitedVoting: on });
    setStatus(status, on ? 'Guests can vote more than once.' : 'One vote per guest.', 'ok');
  } catch (err) {
    unlimited.checked = !on;
    setStatus(status, err.message, 'error');
  }
}

// ------------------------------------------------------------------ the running poll

let reading = false;

async function showRunning(doc) {
  stopButton.disabled = !doc.voteActive;
  if (!doc.voteActive) {
    fill(running, h('h2', { id: 'poll-running-title' }, 'No vote running.'));
    return;
  }
  if (reading) return;
  reading = true;
  try {
    const res = await fetch('/api/display', { cache: 'no-store' });
    if (!res.ok) return;
    const d = await res.json();
    if (!d.voteActive) return;
    const list = bars(d.voteBars);
    const total = list.reduce((n, b) => n + b.count, 0);
    fill(running,
      h('h2', { id: 'poll-running-title' }, d.voteTitle),
      h('p', { class: 'left' }, d.voteClosed ? 'Closed: the result is on the wall.' : `${clock(d.voteRemain)} left`),
      h('ul', { class: 'vote-bars' }, list.map((b) => {
        const share = total ? Math.round((b.count * 100) / total) : 0;
        return h('li', {},
          h('span', { class: 'vote-bar-label' }, `${b.label}: ${b.count} vote${b.count === 1 ? '' : 's'} (${share} %)`),
          h('span', { class: 'vote-bar', 'aria-hidden': 'true' }, h('span', { style: { width: `${share}%`, background: b.colour } })));
      })));
  } catch {
    // The next state poll tries again.
  } finally {
    reading = false;
  }
}

const panel = $('#vote-panel');
fill(panel, h('summary', {}, 'Vote'), h('div', { class: 'panel-body' }, running, form));
showMode();
showRunning({});
for (const label of modeRadios) {
  $('input', label).addEventListener('change', (e) => {
    mode = e.target.value;
    showMode();
  });
}
pictureField.addEventListener('change', choosePicture);
removePicture.addEventListener('click', () => {
  clearPicture();
  pictureField.focus();
});
unlimited.addEventListener('change', setUnlimited);
form.addEventListener('submit', start);
stopButton.addEventListener('click', stop);
panel.addEventListener('toggle', () => { if (panel.open) readUnlimited(); });
onState(showRunning);
