// Guest looks: the background of the phone pages. "Lumvo Theme" is built in and cannot change.

import { InputError, field, normalizeColor, LIMITS } from './text.js';
import { newId } from './ids.js';

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

const noLook = () => new InputError('That look is no longer there.', 'no_look', 404);

// The saved looks and the one on the phones.
export class LookShelf {
  constructor(wall) {
    this.wall = wall;
    this.byId = new Map();
    this.active = 'lumvo';
  }

  get store() { return this.wall.store; }

  load() {
    for (const r of this.store.allLooks()) {
      this.byId.set(r.id, { id: r.id, name: r.name, kind: r.kind, colors: JSON.parse(r.colors), angle: r.angle, picture: r.picture });
    }
    this.active = this.store.getMeta('activeLook') ?? 'lumvo';
  }

  get(id) { return this.byId.get(id); }
  all() { return [BUILTIN_LOOK, ...this.byId.values()]; }
  current() { return this.byId.get(this.active) ?? BUILTIN_LOOK; }

  // look: parseLook's result with its picture stored; an id updates that look.
  save(look) {
    const existing = look.id ? this.byId.get(look.id) : undefined;
    if (look.id && !existing) throw noLook();
    const l = { ...look, id: existing ? existing.id : newId('l'), createdAt: this.wall.clock() };
    this.store.upsertLook(l);
    this.byId.set(l.id, { id: l.id, name: l.name, kind: l.kind, colors: l.colors, angle: l.angle, picture: l.picture });
    return l;
  }

  delete(id) {
    if (id === 'lumvo') throw new InputError('Lumvo Theme is built in and cannot be deleted.', 'builtin', 409);
    if (!this.byId.has(id)) throw noLook();
    this.store.tx(() => {
      this.store.deleteLook(id);
      if (this.active === id) {
        this.active = 'lumvo';
        this.store.setMeta('activeLook', 'lumvo');
      }
    });
    this.byId.delete(id);
  }

  apply(id) {
    if (id !== 'lumvo' && !this.byId.has(id)) throw noLook();
    this.store.setMeta('activeLook', id);
    this.active = id;
  }

  usesPicture(ref) {
    for (const l of this.byId.values()) if (l.picture === ref) return true;
    return false;
  }
}
