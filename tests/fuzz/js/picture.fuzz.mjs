// The way in for every picture: the upload check (a refusal is an InputError), the quick look
// that decides whether to start a worker, and the phone copy, which never throws and whose
// result, when there is one, is a JPEG of at most the phone's size that decodes again.

import { checkImage } from '../../../wall/server/src/images.js';
import { InputError } from '../../../wall/server/src/text.js';
import { decodeJpeg, phoneSized, worthCopying, PHONE_SIDE } from '../../../wall/server/src/picture.js';
import { checkPlanes } from './check.mjs';

export function fuzz(data) {
  try {
    checkImage(data);
  } catch (e) {
    if (!(e instanceof InputError)) throw e;
  }
  worthCopying(data);
  const copy = phoneSized(data);
  if (copy === null) return;
  const img = decodeJpeg(copy);
  checkPlanes(img);
  if (Math.max(img.width, img.height) > PHONE_SIDE) throw new Error(`a phone copy of ${img.width} × ${img.height}`);
}
