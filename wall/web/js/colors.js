// Colour arithmetic for keeping guest colours readable on the page's dark panels.

export function parseHex(hex) {
  const m = /^#([0-9a-f]{6})$/i.exec(hex || '');
  if (!m) return null;
  const n = parseInt(m[1], 16);
  return [(n >> 16) & 255, (n >> 8) & 255, n & 255];
}

export function toHex(rgb) {
  return `#${rgb.map((c) => Math.round(Math.min(255, Math.max(0, c))).toString(16).padStart(2, '0')).join('')}`;
}

export function luminance(rgb) {
  const [r, g, b] = rgb.map((c) => {
    const s = c / 255;
    return s <= 0.03928 ? s / 12.92 : ((s + 0.055) / 1.055) ** 2.4;
  });
  return 0.2126 * r + 0.7152 * g + 0.0722 * b;
}

export function contrast(a, b) {
  const la = luminance(a);
  const lb = luminance(b);
  return (Math.max(la, lb) + 0.05) / (Math.min(la, lb) + 0.05);
}

// The colour itself when it reads well on the background (4.5:1), else the same hue mixed towards
// white just far enough that it does.
export function readableOn(hex, backgroundHex, ratio = 4.5) {
  const fg = parseHex(hex);
  const bg = parseHex(backgroundHex);
  if (!fg || !bg) return hex;
  if (contrast(fg, bg) >= ratio) return toHex(fg);
  for (let t = 0.1; t <= 1.0001; t += 0.1) {
    const mixed = fg.map((c) => c + (255 - c) * t);
    if (contrast(mixed, bg) >= ratio) return toHex(mixed);
  }
  return '#ffffff';
}
