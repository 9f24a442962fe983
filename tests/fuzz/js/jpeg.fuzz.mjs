// The baseline JPEG decoder on any bytes: a picture it cannot read ends in PictureError and
// nothing else; what it reads has planes that cover the picture.

import { decodeJpeg, PictureError } from '../../../wall/server/src/picture.js';
import { checkPlanes } from './check.mjs';

export function fuzz(data) {
  let img;
  try {
    img = decodeJpeg(data);
  } catch (e) {
    if (e instanceof PictureError) return;
    throw e;
  }
  checkPlanes(img);
}
