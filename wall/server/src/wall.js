// The moderation engine's core. It owns the store, the clock, the pushed settings, the phones
// (devices), the venue PIN and the host's song search, and wires the modules together: posts and
// moderation (posts.js), the featured queue (featured.js), polls (polls.js), reactions and hot
// posts (reactions.js) and guest looks (looks.js). Each keeps its visible state in memory
// and writes each change through to the store before it returns. The database is the truth: when
// a transaction fails (a full disk), the memory is loaded back from it (rollBackMemory), so no
// change is ever visible that the database does not hold.

import { timingSafeEqual } from 'node:crypto';
import { InputError, field, normalizeColor, songSearchText, LIMITS } from './text.js';
import { DEFAULT_SETTINGS, mergeSettings } from './settings.js';
import { newId, newSecret, newPin } from './ids.js';
import { PostBoard } from './posts.js';
import { FeaturedQueue } from './featured.js';
import { Polls } from './polls.js';
import { Reactions } from './reactions.js';
import { LookShelf } from './looks.js';
import { WordFilter } from './wordfilter.js';

export class Wall {
  // log: one line at a time, for trouble the wall carries on through.
  constructor(store, { clock = Date.now, log = () => {} } = {}) {
    this.store = store;
    this.clock = clock;
    this.log = log;
    this.vdjSearch = '';
    this.storageTrouble = false;
    this.memoryChanges = 0;
    // The picture phones get for an uploaded picture (a phone-sized copy, where app.js made one).
    this.phonePhotoOf = (ref) => ref;
    // Called, inside the transaction, for the photo of a post that will never show it again
    // (app.js deletes the file once the transaction is committed).
    this.dropPhoto = () => {};
    this.build();
    // A refused change (InputError) is refused before it touches memory; anything else, and a
    // whole transaction given up, sends memory back to the database.
    store.onRollback = (e, whole) => {
      if (whole || !(e instanceof InputError)) this.rollBackMemory();
    };
  }

  build() {
    this.devices = new Map();
    this.handles = new Map(); // public handle -> device
    this.posts = new PostBoard(this);
    this.featured = new FeaturedQueue(this);
    this.polls = new Polls(this);
    this.reactions = new Reactions(this);
    this.looks = new LookShelf(this);
    this.load();
  }

  // After a failed transaction: everything in memory goes back to what the database holds. Only
  // what the database never holds is carried over (the host's search, when the card last came
  // down, the idle repeat's place, the poll's votes per address).
  rollBackMemory() {
    this.memoryChanges++;
    const { featured, polls } = this;
    const poll = polls.current;
    this.build();
    for (const k of ['lastEndedAt', 'lastEndedId', 'rushed', 'repeatCursor']) this.featured[k] = featured[k];
    if (poll && this.polls.current?.record.id === poll.record.id) this.polls.current.addresses = poll.addresses;
  }

  load() {
    const s = this.store;
    const saved = s.getMeta('settings');
    this.settings = mergeSettings(DEFAULT_SETTINGS, saved ? JSON.parse(saved) : {});
    this.filter = new WordFilter(this.settings.filterWords);
    this.venuePin = s.getMeta('venuePin');
    if (!this.venuePin) {
      this.venuePin = newPin();
      s.setMeta('venuePin', this.venuePin);
    }
    let key = s.getMeta('cookieKey');
    if (!key) {
      key = newSecret(32);
      s.setMeta('cookieKey', key);
    }
    this.cookieKey = Buffer.from(key, 'base64url');
    for (const r of s.allDevices()) this.addDevice({ id: r.id, handle: r.handle, name: r.name, color: r.color, blockedAt: r.blocked_at, signed: !!r.signed });
    this.posts.load();
    this.reactions.load(this.posts.live.map((p) => p.id));
    this.looks.load();
    this.polls.load();
    this.featured.load();
  }

  // Advances what moves with the clock: posts whose auto approve time has come, the featured
// post's time, the queue, idle repeat, polls.
  // Committed at once when there is something to do (the document that asked is built from it
  // and answers without waiting); a failure is logged (once until the wall can write again) and
  // leaves everything as it was, so the documents still answer.
  tick(now = this.clock()) {
    if (!this.featured.due(now) && !this.polls.due(now) && !this.posts.due(now)) return;
    this.memoryChanges++;
    const advance = () => {
      this.posts.advance(now);
      this.featured.advance(now);
      this.polls.advance(now);
    };
    if (this.store.depth > 0) return advance();
    try {
      this.store.txNow(advance);
      if (this.storageTrouble) this.log('the wall can save again');
      this.storageTrouble = false;
    } catch (e) {
      if (!this.storageTrouble) this.log(`the wall cannot save its changes (it carries on as it was): ${e.message}`);
      this.storageTrouble = true;
    }
  }

  applySettings(body) {
    const next = mergeSettings(this.settings, body);
    this.store.tx(() => {
      this.store.setMeta('settings', JSON.stringify(next));
      if (this.settings.autoApprove && !next.autoApprove) this.posts.dropDeadlines();
    });
    this.settings = next;
    if (next.filterWords !== this.filter.setting) {
      this.filter = new WordFilter(next.filterWords);
      this.posts.screenAll();
    }
  }

  setVdjSearch(text) {
    this.vdjSearch = songSearchText(text ?? '');
    this.memoryChanges++;
  }

  // Moves whenever anything the documents show may have changed, except with the clock alone
  // (served-documents.js keeps track of that): every statement that writes, and the changes
  // made in memory only.
  get version() { return this.store.writes + this.memoryChanges; }

  // ---- phones ----

  addDevice(d) {
    this.devices.set(d.id, d);
    this.handles.set(d.handle, d);
  }

  device(id) { return id ? this.devices.get(id) : undefined; }

  ensureDevice(id) {
    let d = this.devices.get(id);
    if (!d) {
      d = { id, handle: newId('d').slice(2), name: '', color: '', blockedAt: null, createdAt: this.clock(), signed: true };
      this.store.insertDevice(d);
      this.addDevice(d);
    }
    return d;
  }

  isBlocked(id) { return !!this.devices.get(id)?.blockedAt; }

  refuseBlocked(id) {
    if (this.isBlocked(id)) throw new InputError("This phone can't send to the wall right now.", 'blocked', 403);
  }

  setBlocked(d, at) {
    this.store.setBlocked(d.id, at);
    d.blockedAt = at;
  }

  unblockAll() {
    this.store.unblockAll();
    for (const d of this.devices.values()) d.blockedAt = null;
  }

  // Name and colour as the phone sent them, remembered for its next posts.
  profile(deviceId, body) {
    const d = this.ensureDevice(deviceId);
    const name = body.name === undefined ? d.name : field(body.name, { label: 'name', max: LIMITS.name });
    let color = d.color;
    if (body.color !== undefined && this.settings.allowGuestColors) {
      color = normalizeColor(body.color);
      if (body.color && !color) throw new InputError('Colours must look like #ff7a18.');
    }
    if (name !== d.name || color !== d.color) {
      this.store.updateDeviceProfile(d.id, name, color);
      d.name = name;
      d.color = color;
    }
    return d;
  }

  // ---- venue manager ----

  venueLogin(deviceId, pin) {
    // Compared as bytes: equal lengths first (a PIN of accented letters or emoji has more bytes
    // than letters), then in constant time.
    const given = Buffer.from(String(pin ?? '').trim().toUpperCase());
    const want = Buffer.from(this.venuePin);
    if (given.length !== want.length || !timingSafeEqual(given, want)) throw new InputError('That PIN is not right.', 'bad_pin', 403);
    const token = newSecret(24);
    this.store.tx(() => {
      this.ensureDevice(deviceId);
      this.store.addVenueSession(token, deviceId, this.clock());
    });
    return token;
  }

  venueSession(token) {
    return typeof token === 'string' && token.length > 10 ? this.store.venueSession(token) : undefined;
  }

  // Photo references a guest's phone may fetch: live posts, the poll's picture, look pictures.
  publicPhoto(ref) {
    const poll = this.polls.current?.record;
    if (poll && (poll.photo === ref || this.polls.phonePhoto(poll) === ref)) return true;
    return this.posts.live.some((p) => p.photo === ref) || this.looks.usesPicture(ref);
  }
}
