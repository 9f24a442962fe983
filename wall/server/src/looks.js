// Guest looks: the background of the phone pages. "Lumvo Theme" is built in and cannot change.

import { InputError, field, normalizeColor, LIMITS } from './text.js';

export const BUILTIN_LOOK = Object.freeze({ id: 'lumvo', name: 'Lumvo Theme', kind: 'theme', colors: [], angle: 180, picture: '' });
export const LOOK_KINDS = Object.freeze(['solid', 'gradient', 'picture']);

// Checks a look from the editor. The picture (a data URL) is returned as is for the caller to store.
export function parseLook(body) {
  if (!body || typeof body !== 'object') throw new InputError('The look could not be read.');
  const name = field(body.name, { label: 'look name', max: LIMITS.lookName, required: true });
  const kind = body.kind;
  if (!LOOK_KINDS.includes(kind)) throw new InputError('A look is a solid colour, a gradient or a picture.');
  const colors = Array.isArray(body.colors) ? body.colors.map(normalizeColor) : [];
  if (colors.some((c) => !c) || colors.length > 3) throw new InputError('Colours must look like #ff7a18 (at most three).');
  if (kind === 'solid' && colors.length !== 1) throw new InputError('A solid look needs one colour.');
  if (kind === 'gradient' && colors.length < 2) throw new InputError('A gradient needs two or three colours.');
  let angle = Number.isFinite(body.angle) ? Math.round(body.angle) % 360 : 180;
  if (angle < 0) angle += 360;
  const picture = typeof body.picture === 'string' ? body.picture : '';
  const id = typeof body.id === 'string' && /^l_[a-z0-9]{4,32}$/.test(body.id) ? body.id : '';
  return { id, name, kind, colors, angle, picture };
}
