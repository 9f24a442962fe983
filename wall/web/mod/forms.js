// What the moderator page's two forms (the poll and the booth post) share. A picture the DJ picks
// on this PC, as the wall takes it: its kind read from its first bytes (never from its name), its
// size within the wall's limit, and the whole file as a data address. Sending, with the wall's own
// sentence for a refusal; the status lines; the moderation document as the page reads it.

import { api } from '/js/api.js';

const SMALLEST = 24;

// "image/png", "image/webp", "image/jpeg", or '' for anything else.
export function pictureType(bytes) {
  const at = (i, text) => [...text].every((c, k) => bytes[i + k] === c.charCodeAt(0));
  if (bytes.length < SMALLEST) return '';
  if (bytes[0] === 0x89 && at(1, 'PNG')) return 'image/png';
  if (at(0, 'RIFF') && at(8, 'WEBP')) return 'image/webp';
  if (bytes[0] === 0xff && bytes[1] === 0xd8) return 'image/jpeg';
  return '';
}

// Resolves to { name, dataUrl, bytes } or rejects with an Error whose message the form shows.
export async function readPicture(file, maxBytes) {
  const refusal = `Use a JPG, PNG, or WebP under ${Math.round(maxBytes / 1048576)} MB.`;
  if (!file || file.size < SMALLEST || file.size > maxBytes) throw new Error(refusal);
  const type = pictureType(new Uint8Array(await file.slice(0, SMALLEST).arrayBuffer()));
  if (!type) throw new Error(refusal);
  const read = await new Promise((resolve, reject) => {
    const reader = new FileReader();
    reader.onload = () => resolve(String(reader.result));
    reader.onerror = () => reject(new Error(`That file could not be read. ${refusal}`));
    reader.readAsDataURL(file);
  });
  return { name: file.name, bytes: file.size, dataUrl: `data:${type};base64,${read.slice(read.indexOf(',') + 1)}` };
}

const NO_WALL = 'Could not reach the wall. Is VirtualDJ running with LUMVO on?';

// Sends to the wall; a refusal comes back as an Error with the wall's own sentence.
export async function send(path, body, timeoutMs = 8000) {
  try {
    return await api(path, { body, timeoutMs });
  } catch (err) {
    throw new Error(err.kind === 'offline' ? NO_WALL : err.message, { cause: err });
  }
}

// tone: 'ok', 'error' or '' (a plain note).
export function setStatus(el, message, tone = '') {
  el.textContent = message;
  if (tone) el.dataset.tone = tone;
  else delete el.dataset.tone;
}

// The moderation document as the page last read it, and asking the page to read it again now.
export const onState = (fn) => document.addEventListener('mod:state', (e) => fn(e.detail || {}));
export const refresh = () => document.dispatchEvent(new CustomEvent('mod:refresh'));
