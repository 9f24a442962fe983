// The join card: a QR code of the guest page's address, a caption that changes every 5.7 s to
// say what guests can do (only what the DJ has switched on), the wordmark and the DJ's brand.

import { encode } from './vendor/uqr.mjs';
import { fitText, scale } from './look.js';

const CAPTION_MS = 5700;
// Title, sub-line, and which guest feature must be on (none: always).
export const CAPTIONS = [
  ['JOIN THE FREE VENUE WI-FI', 'Then scan this code', null],
  ['SEND A SHOUTOUT', 'Your name can hit the screens', 'messages'],
  ['REQUEST A SONG', "Pick from the DJ's song list", 'requests'],
  ['SEND A PHOTO', 'It can pop up on the wall', 'photos'],
  ['VOTE IN LIVE POLLS', 'Tap from your phone. The room sees it', null],
  ['TIP THE DJ', 'Buy them a drink from your phone', 'tips'],
  ['REACT LIVE', 'Emoji shows up on the TV', null],
];

const QR_SIDE = 271;

// Draws the code of text on the canvas (white square, 7 % quiet zone, dark modules); a text too
// long for a code leaves the canvas empty and hidden.
export function drawQr(canvas, text) {
  const px = Math.max(1, Math.round(QR_SIDE * scale() * (window.devicePixelRatio || 1)));
  canvas.width = px;
  canvas.height = px;
  const ctx = canvas.getContext('2d');
  let code;
  try {
    code = encode(text, { ecc: 'M', border: 0 });
  } catch {
    canvas.hidden = true;
    return false;
  }
  canvas.hidden = false;
  ctx.fillStyle = '#fff';
  ctx.fillRect(0, 0, px, px);
  const m = px * 0.07;
  const cell = (px - 2 * m) / code.size;
  ctx.fillStyle = '#0c0c10';
  code.data.forEach((row, y) => row.forEach((dark, x) => {
    if (dark) ctx.fillRect(m + x * cell, m + y * cell, cell + 0.5, cell + 0.5);
  }));
  return true;
}

export class JoinCard {
  constructor(box) {
    this.box = box;
    this.canvas = box.querySelector('#qr');
    this.caption = box.querySelector('#caption');
    this.title = this.caption.querySelector('.caption-title');
    this.sub = this.caption.querySelector('.caption-sub');
    this.brand = box.querySelector('#brand');
    this.joinUrl = null;
    this.allow = {};
    this.timer = null;
    this.index = -1;
  }

  show(doc) {
    this.box.hidden = !doc.joinUrl;
    if (doc.joinUrl !== this.joinUrl) {
      this.joinUrl = doc.joinUrl;
      if (doc.joinUrl) drawQr(this.canvas, doc.joinUrl);
      this.canvas.setAttribute('aria-label', `QR code of ${doc.joinUrl}`);
    }
    this.allow = doc.allow ?? {};
    this.brand.hidden = !doc.brand;
    this.brand.textContent = doc.brand ?? '';
    if (!this.timer && doc.joinUrl) {
      this.next();
      this.timer = setInterval(() => this.next(), CAPTION_MS);
    }
  }

  // Redrawn at the window's new size.
  resize() {
    if (this.joinUrl) drawQr(this.canvas, this.joinUrl);
    this.fit();
  }

  next() {
    const offered = CAPTIONS.filter(([, , need]) => !need || this.allow[need]);
    this.index = (this.index + 1) % offered.length;
    const [title, sub] = offered[this.index];
    this.title.textContent = title;
    this.sub.textContent = sub;
    this.fit();
    this.caption.classList.remove('showing');
    void this.caption.offsetWidth;
    this.caption.classList.add('showing');
  }

  fit() {
    if (this.title.textContent) fitText(this.caption, 8, Math.min(206 * 0.16, 42));
  }
}
