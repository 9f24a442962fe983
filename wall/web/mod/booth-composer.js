// The moderator page's booth post: the DJ's own name, message and photo, straight onto the wall.
// On success the message and photo are cleared for the next one (the name stays) and the Live
// list shows the post; on a refusal everything typed and chosen stays for another try.

import { h, $, fill } from '/js/dom.js';
import { readPicture, send, setStatus, refresh } from '/mod/forms.js';

const PHOTO_MAX = 5 * 1024 * 1024;
const NO_PHOTO = 'No photo: the message goes up on its own.';

// Spaces, line feeds and carriage returns at either end go; those inside stay.
const trimMessage = (text) => text.replace(/^[ \r\n]+|[ \r\n]+$/g, '');

const photo = { dataUrl: '', name: '' };

const status = h('p', { id: 'booth-status', class: 'form-status', role: 'status', 'aria-live': 'polite' });
const nameField = h('input', { id: 'booth-name', type: 'text', maxlength: 28, autocomplete: 'off', value: 'DJ' });
const textField = h('textarea', { id: 'booth-text', maxlength: 180, rows: 3 });
const photoField = h('input', { id: 'booth-photo', class: 'file-input', type: 'file', accept: 'image/jpeg,image/png,image/webp' });
const photoButton = h('label', { for: 'booth-photo', class: 'file-button' }, 'Add photo');
const photoName = h('span', { id: 'booth-photo-name', class: 'file-name', text: NO_PHOTO });
const photoThumb = h('img', { class: 'file-thumb', alt: '', hidden: true });
const clearButton = h('button', { type: 'button', hidden: true }, 'Clear photo');
const sendButton = h('button', { type: 'submit', class: 'primary' }, 'Show on wall');

const form = h('form', { id: 'booth-form', novalidate: true },
  h('p', { class: 'hint' }, 'Your own post: it goes straight onto the wall, without waiting in Messages.'),
  h('label', { for: 'booth-name' }, 'Name'), nameField,
  h('label', { for: 'booth-text' }, 'Message'), textField,
  h('fieldset', {}, h('legend', {}, 'Photo (optional)'),
    h('div', { class: 'file-row' }, photoField, photoButton, photoThumb, photoName, clearButton)),
  h('div', { class: 'form-buttons' }, sendButton),
  status);

function clearPhoto() {
  Object.assign(photo, { dataUrl: '', name: '' });
  photoField.value = '';
  photoName.textContent = NO_PHOTO;
  photoButton.textContent = 'Add photo';
  photoThumb.hidden = true;
  photoThumb.removeAttribute('src');
  clearButton.hidden = true;
}

async function choosePhoto() {
  const file = photoField.files[0];
  if (!file) return;
  try {
    Object.assign(photo, await readPicture(file, PHOTO_MAX));
    photoName.textContent = `Photo: ${photo.name}`;
    photoButton.textContent = 'Change photo';
    photoThumb.src = photo.dataUrl;
    photoThumb.hidden = false;
    clearButton.hidden = false;
    setStatus(status, '');
  } catch (err) {
    // The photo chosen before, if any, stays.
    photoField.value = '';
    setStatus(status, err.message, 'error');
  }
}

async function post(event) {
  event.preventDefault();
  const name = nameField.value.trim();
  const text = trimMessage(textField.value);
  if (!text && !photo.dataUrl) {
    setStatus(status, 'Add a message or a photo.', 'error');
    textField.focus();
    return;
  }
  const body = { name, text };
  if (photo.dataUrl) body.photo = photo.dataUrl;
  sendButton.disabled = true;
  setStatus(status, 'Sending…');
  try {
    await send('/api/booth-post', body, photo.dataUrl ? 30000 : 8000);
    textField.value = '';
    clearPhoto();
    setStatus(status, 'On the wall. It is in Live.', 'ok');
    refresh();
  } catch (err) {
    setStatus(status, err.message, 'error');
  } finally {
    sendButton.disabled = false;
  }
}

fill($('#booth-panel'), h('summary', {}, 'Booth post'), h('div', { class: 'panel-body' }, form));
photoField.addEventListener('change', choosePhoto);
clearButton.addEventListener('click', () => {
  clearPhoto();
  photoField.focus();
});
form.addEventListener('submit', post);
