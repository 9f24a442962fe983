// Shrinks a photo on the phone before it is sent: a 12-megapixel picture from the camera becomes
// a JPEG of at most MAX_SIDE pixels on its long side and, as a rule, well under half a megabyte,
// so it uploads quickly over a crowded venue Wi-Fi and stays far inside the server's 5 MB limit.

export const MAX_SIDE = 1600;
export const TARGET_BYTES = 600 * 1024;
export const HARD_LIMIT = 5 * 1024 * 1024;

export class PhotoError extends Error {}

async function decode(file) {
  if (typeof createImageBitmap === 'function') {
    try {
      return await createImageBitmap(file, { imageOrientation: 'from-image' });
    } catch {
      // Fall back to an <img>, which some browsers decode more formats with.
    }
  }
  const url = URL.createObjectURL(file);
  try {
    const img = new Image();
    img.decoding = 'async';
    img.src = url;
    await img.decode();
    return img;
  } catch {
    throw new PhotoError('This picture could not be opened. Try a JPG or PNG photo.');
  } finally {
    URL.revokeObjectURL(url);
  }
}

function sizeOf(source) {
  return { w: source.naturalWidth || source.width || 0, h: source.naturalHeight || source.height || 0 };
}

function toBlob(canvas, quality) {
  return new Promise((resolve) => canvas.toBlob(resolve, 'image/jpeg', quality));
}

// The size a picture of w × h is drawn at: its long side at most maxSide, never enlarged.
export function fitSize(w, h, maxSide = MAX_SIDE) {
  const scale = Math.min(1, maxSide / Math.max(w, h, 1));
  return { w: Math.max(1, Math.round(w * scale)), h: Math.max(1, Math.round(h * scale)) };
}

// Returns { blob, width, height, originalWidth, originalHeight }.
export async function shrinkPhoto(file, { maxSide = MAX_SIDE, targetBytes = TARGET_BYTES } = {}) {
  if (!file || !file.size) throw new PhotoError('That file is empty. Pick another photo.');
  if (file.type && !file.type.startsWith('image/')) throw new PhotoError('That is not a photo. Pick a JPG, PNG or WebP picture.');
  const source = await decode(file);
  const { w: ow, h: oh } = sizeOf(source);
  if (!ow || !oh) throw new PhotoError('This picture could not be opened. Try a JPG or PNG photo.');
  let side = maxSide;
  let best = null;
  for (let round = 0; round < 4; round++) {
    const { w, h } = fitSize(ow, oh, side);
    const canvas = document.createElement('canvas');
    canvas.width = w;
    canvas.height = h;
    const ctx = canvas.getContext('2d');
    // Transparent PNGs get a white ground instead of turning black in the JPEG.
    ctx.fillStyle = '#ffffff';
    ctx.fillRect(0, 0, w, h);
    ctx.imageSmoothingEnabled = true;
    ctx.imageSmoothingQuality = 'high';
    ctx.drawImage(source, 0, 0, w, h);
    for (const quality of [0.82, 0.7, 0.58]) {
      const blob = await toBlob(canvas, quality);
      if (!blob) break;
      best = { blob, width: w, height: h };
      if (blob.size <= targetBytes) break;
    }
    canvas.width = canvas.height = 0; // let a low-memory phone reclaim the pixels at once
    if (best && best.blob.size <= targetBytes) break;
    side = Math.round(side * 0.75);
  }
  if (typeof source.close === 'function') source.close();
  if (!best) throw new PhotoError('This picture could not be prepared. Try another photo.');
  if (best.blob.size > HARD_LIMIT) throw new PhotoError('That photo is too big to send, even after shrinking it.');
  return { ...best, originalWidth: ow, originalHeight: oh };
}

// For the look editor: the shrunk picture as a data URL.
export function blobToDataUrl(blob) {
  return new Promise((resolve, reject) => {
    const reader = new FileReader();
    reader.onload = () => resolve(String(reader.result));
    reader.onerror = () => reject(new PhotoError('This picture could not be read.'));
    reader.readAsDataURL(blob);
  });
}
