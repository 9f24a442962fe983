// Guest text: trimming, length limits, the song-search cleaning and emoji checks.

export const LIMITS = Object.freeze({
  name: 28,
  text: 180,
  request: 120,
  boothName: 40,
  boothText: 280,
  pollTitle: 120,
  pollOption: 60,
  lookName: 40,
  emojiUnits: 16,
});

export class InputError extends Error {
  constructor(message, code = 'bad_field', status = 400) {
    super(message);
    this.code = code;
    this.status = status;
  }
}

export const switchedOff = (what) => new InputError(`${what} are switched off right now.`, 'off', 403);

// The uploads folder or the disk is full: try again in a minute.
export function wallFull() {
  const e = new InputError('The wall is full, try later.', 'full', 503);
  e.retryAfter = 60;
  return e;
}

// Control characters become spaces; line feeds survive only where `keepLines` is set.
// Lone surrogates are repaired so that every stored string is valid UTF-8.
export function cleanText(value, { keepLines = false } = {}) {
  if (value === undefined || value === null) return '';
  if (typeof value !== 'string') throw new InputError('Text fields must be text.');
  let s = value.toWellFormed().replace(/\r\n?/g, '\n');
  s = keepLines
    ? s.replace(/[\u0000-\u0009\u000b-\u001f\u007f\u2028\u2029]/g, ' ').replace(/\n{3,}/g, '\n\n')
    : s.replace(/[\u0000-\u001f\u007f\u2028\u2029]/g, ' ');
  return s.trim();
}

// Characters as a reader counts them: one emoji, flag or accented letter is one, however many
// code points it is made of ("👨‍👩‍👧" is five).
const GRAPHEMES = new Intl.Segmenter('en', { granularity: 'grapheme' });

export function graphemes(s) {
  let n = 0;
  for (const _ of GRAPHEMES.segment(s)) n++;
  return n;
}

// What one character may be made of. A few accents or marks on a letter, or an emoji sequence
// (a family with skin tones is 11 code points), is writing; a letter carrying dozens of marks is
// an attack on whatever draws it. So a field of `max` characters holds at most
// CODE_POINTS_PER_CHAR × max code points and BYTES_PER_CHAR × max bytes of UTF-8, and no single
// character more than CHAR_MAX_CODE_POINTS code points.
export const CODE_POINTS_PER_CHAR = 4;
export const BYTES_PER_CHAR = 10;
export const CHAR_MAX_CODE_POINTS = 16;

const BELOW_MARKS = /^[\u0000-\u02ff]*$/;

// Cleans and checks one field. `label` names the field in the error sentence.
export function field(value, { label, max, required = false, keepLines = false }) {
  const s = cleanText(value, { keepLines });
  if (required && !s) throw new InputError(`Please add ${label}.`, 'empty');
  const tooLong = () => new InputError(`That ${label} is too long: ${max} characters at most.`, 'too_long');
  // Below the combining marks (U+0300) every UTF-16 unit is one code point and one character,
  // at most two bytes: the length alone decides, without segmenting.
  if (BELOW_MARKS.test(s)) {
    if (s.length > max) throw tooLong();
    return s;
  }
  // Each check bounds the work of the next: UTF-16 units, then bytes, then code points.
  if (s.length > CODE_POINTS_PER_CHAR * max * 2 || Buffer.byteLength(s) > BYTES_PER_CHAR * max) throw tooLong();
  let codePoints = 0;
  for (const _ of s) codePoints++;
  if (codePoints > CODE_POINTS_PER_CHAR * max) throw tooLong();
  let n = 0;
  for (const { segment } of GRAPHEMES.segment(s)) {
    if (++n > max) throw tooLong();
    if (segment.length > CHAR_MAX_CODE_POINTS && [...segment].length > CHAR_MAX_CODE_POINTS) {
      throw new InputError(`That ${label} has a character with too many marks on it.`, 'too_long');
    }
  }
  return s;
}

export function normalizeColor(value) {
  if (typeof value !== 'string') return '';
  const s = value.trim().toLowerCase();
  return /^#[0-9a-f]{6}$/.test(s) ? s : '';
}

// The text the DJ's host searches its library with: dashes and characters that would break the
// host's script become spaces, blanks collapse, at most 80 bytes (cut between characters, never
// inside an emoji).
export function songSearchText(text) {
  let s = String(text).replace(/[\u2013\u2014]/g, ' ').replace(/[\u0000-\u001f"'\\`]/g, ' ');
  s = s.replace(/[ \t]+/g, ' ').trim();
  if (Buffer.byteLength(s) <= 80) return s;
  let out = '';
  for (const { segment } of GRAPHEMES.segment(s)) {
    if (Buffer.byteLength(out) + Buffer.byteLength(segment) > 80) break;
    out += segment;
  }
  return out.trim();
}

// Two requests are the same song when their letters and digits match, ignoring case,
// punctuation, accents and spacing ("Mr. Brightside – The Killers" = "mr brightside the killers").
export function songKey(text) {
  return String(text)
    .normalize('NFKD')
    .replace(/\p{M}/gu, '')
    .toLowerCase()
    .replace(/[^\p{L}\p{N}]+/gu, ' ')
    .trim();
}

export const SHORT_EMOJIS = Object.freeze(['🔥', '❤️', '😂', '👏', '🎉', '😍', '🙌', '💯']);

// Emoji_Component takes in the joiner (U+200D), the emoji variation selector (U+FE0F) and the keycap
// (U+20E3) that emoji sequences are built with.
const EMOJI_ONLY = /^[\p{Extended_Pictographic}\p{Emoji_Component}]+$/u;
const EMOJI_CORE = /[\p{Extended_Pictographic}\p{Regional_Indicator}]/u;

// One emoji as a guest may send it: a short string made only of emoji code points, with no
// separator that the reactions text uses (",", ":").
export function checkEmoji(value, allowAll) {
  if (typeof value !== 'string') throw new InputError('Pick an emoji.', 'bad_emoji');
  const e = value.trim();
  if (!e || e.length > LIMITS.emojiUnits || !EMOJI_ONLY.test(e) || !EMOJI_CORE.test(e) || /[,:#*0-9]/.test(e.replace(/\u20e3/g, ''))) {
    throw new InputError('That is not an emoji the wall can show.', 'bad_emoji');
  }
  const canonical = SHORT_EMOJIS.find((s) => s.replace(/\ufe0f/g, '') === e.replace(/\ufe0f/g, ''));
  if (canonical) return canonical;
  if (!allowAll) throw new InputError('Pick one of the emojis shown.', 'bad_emoji');
  return e;
}

// Fields of the packed display lines cannot hold TAB or LF: every control character becomes a space.
export function packField(s) {
  return String(s ?? '').replace(/[\u0000-\u001f\u007f]/g, ' ');
}
