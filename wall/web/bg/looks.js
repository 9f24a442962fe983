// Look editor: make, preview, save and apply the background that guests' phones show.

import { h, $, $$, fill, safeColor } from '/js/dom.js';
import { api } from '/js/api.js';
import { applyTheme, lookBackground, normalTheme } from '/js/look.js';
import { shrinkPhoto, blobToDataUrl } from '/js/photo.js';

const state = { looks: [], active: 'lumvo', editingId: '', picture: '', pictureIsNew: false };

function setStatus(message, tone = '') {
  const el = $('#look-status');
  el.textContent = message;
  if (tone) el.dataset.tone = tone;
  else delete el.dataset.tone;
}

function kind() {
  const checked = $('input[name="kind"]:checked');
  return checked ? checked.value : 'gradient';
}

// The look as the form describes it now.
function formLook() {
  const k = kind();
  const c = [0, 1, 2].map((i) => $(`#color-${i}`).value);
  let colors;
  if (k === 'solid' || k === 'picture') colors = [c[0]];
  else colors = $('#use-color-2').checked ? c : c.slice(0, 2);
  const look = { name: $('#look-name').value.trim(), kind: k, colors, angle: Number($('#look-angle').value) || 0, picture: k === 'picture' ? state.picture : '' };
  if (state.editingId) look.id = state.editingId;
  return look;
}

function updateForm() {
  const k = kind();
  $$('.color-field').forEach((f) => {
    const i = Number(f.dataset.index);
    f.hidden = (k === 'solid' || k === 'picture') && i > 0;
  });
  $('#color-0-label').textContent = k === 'picture' ? 'Colour behind the picture' : k === 'solid' ? 'Colour' : 'Colour 1';
  $('#color-2').disabled = !$('#use-color-2').checked;
  $('#angle-field').hidden = k !== 'gradient';
  $('#picture-field').hidden = k !== 'picture';
  $('#angle-out').textContent = `${$('#look-angle').value}°`;
  $('#edit-title').textContent = state.editingId ? `Edit ${$('#look-name').value.trim() || 'look'}` : 'New look';
  applyTheme($('#phone'), $('#preview-theme').value, formLook());
}

function editLook(look) {
  state.editingId = look ? look.id : '';
  state.picture = look && look.kind === 'picture' ? look.picture : '';
  state.pictureIsNew = false;
  $('#look-name').value = look ? look.name : '';
  const k = look ? look.kind : 'gradient';
  for (const r of $$('input[name="kind"]')) r.checked = r.value === k;
  const colors = look ? look.colors || [] : ['#ff7a18', '#220044'];
  $('#color-0').value = safeColor(colors[0], '#ff7a18');
  $('#color-1').value = safeColor(colors[1], '#220044');
  $('#color-2').value = safeColor(colors[2], '#101018');
  $('#use-color-2').checked = colors.length > 2;
  $('#look-angle').value = String(look ? look.angle : 135);
  $('#look-picture').value = '';
  $('#picture-note').textContent = state.picture ? 'Keeps the current picture unless you choose another.' : 'A JPG, PNG or WebP. Large pictures are made smaller first.';
  setStatus('');
  updateForm();
}

function renderList() {
  const list = $('#look-list');
  fill(list, state.looks.map((look) => {
    const active = look.id === state.active;
    const builtin = look.kind === 'theme';
    const bar = h('div', { class: 'swatch-bar', 'aria-hidden': 'true' });
    const bg = lookBackground(look);
    bar.style.background = bg || 'radial-gradient(120% 120% at 50% 0%, #1c0f22, #0b0b12 70%)';
    return h('li', { class: 'look-item', dataset: { id: look.id, active: active ? 'true' : 'false' } },
      bar,
      h('span', { class: 'look-name', text: look.name || look.id }),
      active ? h('span', { class: 'badge', text: 'ON PHONES' }) : null,
      h('div', { class: 'look-actions' },
        h('button', { type: 'button', disabled: active, 'aria-label': `Put on phones: ${look.name}`, onclick: () => applyLook(look.id) }, 'Put on phones'),
        builtin ? null : h('button', { type: 'button', 'aria-label': `Edit ${look.name}`, onclick: () => editLook(look) }, 'Edit'),
        builtin ? null : h('button', { type: 'button', 'aria-label': `Delete ${look.name}`, onclick: () => deleteLook(look) }, 'Delete')));
  }));
}

async function load() {
  try {
    const doc = await api('/api/guest-bg-looks');
    state.looks = Array.isArray(doc.looks) ? doc.looks.filter((l) => l && l.id) : [];
    state.active = doc.active || 'lumvo';
    renderList();
  } catch (err) {
    setStatus(err.kind === 'offline' ? 'The wall server is not reachable. Is VirtualDJ running with LUMVO on?' : err.message, 'error');
  }
}

async function applyLook(id) {
  try {
    await api('/api/guest-bg-looks', { body: { apply: id } });
    const look = state.looks.find((l) => l.id === id);
    setStatus(`${look ? look.name : 'The look'} is on phones now.`, 'ok');
  } catch (err) {
    setStatus(err.message, 'error');
  }
  await load();
}

async function deleteLook(look) {
  if (!window.confirm(`Delete the look ${look.name}? Phones go back to Lumvo Theme if it is on them.`)) return;
  try {
    await api('/api/guest-bg-looks', { body: { delete: look.id } });
    if (state.editingId === look.id) editLook(null);
    setStatus(`${look.name} deleted.`, 'ok');
  } catch (err) {
    setStatus(err.message, 'error');
  }
  await load();
}

async function save(andApply) {
  const look = formLook();
  if (!look.name) {
    setStatus('Give the look a name first.', 'error');
    $('#look-name').focus();
    return;
  }
  if (look.kind === 'picture' && !look.picture) {
    setStatus('Choose a picture first.', 'error');
    $('#look-picture').focus();
    return;
  }
  const buttons = [$('#save'), $('#save-apply')];
  buttons.forEach((b) => { b.disabled = true; });
  setStatus('Saving…', 'busy');
  try {
    const reply = await api('/api/guest-bg-looks', { body: { save: look }, timeoutMs: 60000 });
    state.editingId = reply.id || state.editingId;
    if (andApply && reply.id) await api('/api/guest-bg-looks', { body: { apply: reply.id } });
    await load();
    const saved = state.looks.find((l) => l.id === state.editingId);
    if (saved) editLook(saved);
    setStatus(andApply ? `${look.name} is saved and on phones now.` : `${look.name} is saved.`, 'ok');
  } catch (err) {
    setStatus(err.message, 'error');
  } finally {
    buttons.forEach((b) => { b.disabled = false; });
  }
}

async function pickPicture() {
  const file = $('#look-picture').files[0];
  if (!file) return;
  setStatus('Preparing the picture…', 'busy');
  try {
    const shrunk = await shrinkPhoto(file, { maxSide: 1920, targetBytes: 900 * 1024 });
    state.picture = await blobToDataUrl(shrunk.blob);
    state.pictureIsNew = true;
    $('#picture-note').textContent = `Picture ready: ${shrunk.width} × ${shrunk.height}.`;
    setStatus('');
  } catch (err) {
    setStatus(err.message, 'error');
  }
  updateForm();
}

async function start() {
  $('#look-form').addEventListener('input', updateForm);
  $('#look-form').addEventListener('change', updateForm);
  $('#look-form').addEventListener('submit', (e) => {
    e.preventDefault();
    save(false);
  });
  $('#save-apply').addEventListener('click', () => save(true));
  $('#look-picture').addEventListener('change', pickPicture);
  $('#new-look').addEventListener('click', () => {
    editLook(null);
    $('#look-name').focus();
  });
  try {
    const cfg = await api('/api/guest/config');
    $('#preview-theme').value = normalTheme(cfg.theme);
  } catch {
    // The preview simply starts on the club theme.
  }
  editLook(null);
  await load();
}

start();
