// The PNG decoder on any bytes: a picture it cannot read ends in PictureError and nothing else;
// what it reads has three full-size planes.

import { decodePng, PictureError } from '../../../wall/server/src/picture.js';
import { checkPlanes } from './check.mjs';

export function fuzz(data) {
  let img;
  try {
    img = decodePng(data);
  } catch (e) {
    if (e instanceof PictureError) return;
    throw e;
  }
  checkPlanes(img);
  if (img.planes.some((p) => p.w !== img.width || p.h !== img.height)) throw new Error('a PNG plane is not full size');
}
