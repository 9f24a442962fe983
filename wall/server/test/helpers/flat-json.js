// The plug-in's flat JSON readers and the display decoders, ported line by line so the server's
// documents can be read exactly the way the plug-in reads them. They work on byte strings
// (each char one byte, as the plug-in's std::string) and hand back UTF-8 decoded text.

const toBytes = (text) => Buffer.from(text, 'utf8').toString('latin1');
const fromBytes = (bytes) => Buffer.from(bytes, 'latin1').toString('utf8');
const isBlank = (c) => c === ' ' || c === '\t' || c === '\n' || c === '\r';

function appendUtf8(out, cp) {
  if (cp < 0x80) return out + String.fromCharCode(cp);
  if (cp < 0x800) return out + String.fromCharCode(0xc0 | (cp >> 6), 0x80 | (cp & 0x3f));
  if (cp < 0x10000) return out + String.fromCharCode(0xe0 | (cp >> 12), 0x80 | ((cp >> 6) & 0x3f), 0x80 | (cp & 0x3f));
  return out + String.fromCharCode(0xf0 | (cp >> 18), 0x80 | ((cp >> 12) & 0x3f), 0x80 | ((cp >> 6) & 0x3f), 0x80 | (cp & 0x3f));
}

export function jsonUnescapeBytes(s) {
  let out = '';
  let high = -1;
  for (let i = 0; i < s.length; i++) {
    const c = s[i];
    if (c !== '\\') { out += c; continue; }
    if (i + 1 >= s.length) { out += c; continue; }
    const e = s[++i];
    if (e === 'u' && s.length - (i + 1) >= 4) {
      let v = 0;
      let bad = false;
      for (let k = 0; k < 4; k++) {
        const h = s[i + 1 + k];
        if (!/[0-9a-fA-F]/.test(h)) { i = i + 1 + k; bad = true; break; }
        v = v * 16 + parseInt(h, 16);
      }
      if (bad) continue;
      i += 4;
      if (v >= 0xd800 && v <= 0xdbff) { high = v; continue; }
      if (v >= 0xdc00 && v <= 0xdfff && high >= 0) {
        out = appendUtf8(out, 0x10000 + (((high - 0xd800) << 10) | (v - 0xdc00)));
      } else {
        out = appendUtf8(out, v);
      }
      high = -1;
      continue;
    }
    high = -1;
    if (e === 'n') out += '\n';
    else if (e === 't') out += '\t';
    else if (e === 'r') out += '\r';
    else out += e; // quote, backslash, slash and any other byte: the byte itself
  }
  return out;
}

function getStringBytes(json, key) {
  const needle = `"${key}"`;
  let pos = json.indexOf(needle);
  while (pos >= 0) {
    let i = pos + needle.length;
    while (i < json.length && isBlank(json[i])) i++;
    if (json[i] === ':') {
      i++;
      while (i < json.length && isBlank(json[i])) i++;
      if (i >= json.length) return '';
      if (json[i] !== '"') {
        let j = i;
        while (j < json.length && json[j] !== ',' && json[j] !== '}' && json[j] !== ']') j++;
        return json.slice(i, j);
      }
      let raw = '';
      let j = i + 1;
      while (j < json.length) {
        const c = json[j];
        if (c === '\\') {
          raw += c;
          if (j + 1 < json.length) raw += json[j + 1];
          j += 2;
          continue;
        }
        if (c === '"') break;
        raw += c;
        j++;
      }
      return jsonUnescapeBytes(raw);
    }
    pos = json.indexOf(needle, pos + needle.length);
  }
  return '';
}

export function jsonGetString(text, key) {
  return fromBytes(getStringBytes(toBytes(text), key));
}

export function jsonGetBool(text, key, def) {
  const v = jsonGetString(text, key);
  if (v === '') return def;
  return v === 'true' || v === '1';
}

// strtod: leading blanks, then the longest prefix that is a number; out of range gives the default.
export function jsonGetNumber(text, key, def) {
  const v = jsonGetString(text, key);
  if (v === '') return def;
  const m = /^[ \t\n\r\f\v]*([+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?)/.exec(v);
  if (!m) return def;
  const n = Number(m[1]);
  return Number.isFinite(n) ? n : def;
}

export function jsonGetObjects(text, key) {
  const json = toBytes(text);
  const start = json.indexOf(`"${key}"`);
  if (start < 0) return [];
  const open = json.indexOf('[', start);
  if (open < 0) return [];
  const out = [];
  let inString = false;
  let escape = false;
  let depth = 0;
  let objStart = -1;
  for (let i = open + 1; i < json.length; i++) {
    const c = json[i];
    if (inString) {
      if (escape) escape = false;
      else if (c === '\\') escape = true;
      else if (c === '"') inString = false;
      continue;
    }
    if (c === '"') inString = true;
    else if (c === '{') { if (depth === 0) objStart = i; depth++; }
    else if (c === '}') { depth--; if (depth === 0) out.push(fromBytes(json.slice(objStart, i + 1))); }
    else if (c === ']' && depth === 0) break;
  }
  return out;
}

const FEED_FIELDS = ['id', 'type', 'name', 'text', 'photo', 'reactions', 'color', 'hot'];
export function decodeFeed(text) {
  return text.split('\n').map((line) => {
    const f = line.split('\t');
    return Object.fromEntries(FEED_FIELDS.map((k, i) => [k, k === 'hot' ? f[i] === '1' : f[i] ?? '']));
  }).filter((item) => item.id !== '');
}

export function decodeVoteBars(text) {
  const bars = [];
  for (const line of text.split('\n')) {
    if (line === '') continue;
    const f = line.split('\t');
    const m = /^[ \t]*([+-]?\d+)/.exec(f[2] ?? '');
    let count = m ? Number(m[1]) : 0;
    if (!(count >= 1) || count > 2147483647) count = 0;
    const rgb = [255, 122, 24];
    const parts = /^\s*([+-]?\d+)(?:,\s*([+-]?\d+)(?:,\s*([+-]?\d+))?)?/.exec(f[3] ?? '');
    if (parts) for (let k = 0; k < 3; k++) if (parts[k + 1] !== undefined) rgb[k] = Number(parts[k + 1]) & 0xff;
    if ((f[1] ?? '') === '') continue;
    bars.push({ key: f[0] ?? '', label: f[1], count, rgb });
  }
  return bars;
}

// Reads the display document the way the display poll does (the fields the tests look at).
export function readDisplay(text) {
  const str = (k) => jsonGetString(text, k);
  const bool = (k, def = false) => jsonGetBool(text, k, def);
  const num = (k, def) => jsonGetNumber(text, k, def);
  return {
    featuredId: str('featuredId'), type: str('type'), name: str('name'), text: str('text'), color: str('color'),
    theme: str('theme'), joinUrl: str('joinUrl'), allowTipFx: bool('allowTipFx', true), hotNeed: num('hotNeed', -1),
    duration: num('duration', 7), feed: decodeFeed(str('feedPacked')), tipEnabled: bool('tipEnabled'),
    voteActive: bool('voteActive'), voteClosed: bool('voteClosed'), voteTitle: str('voteTitle'), votePhoto: str('votePhoto'),
    voteRemain: num('voteRemain', 0), voteDuration: num('voteDuration', 60), voteBars: decodeVoteBars(str('voteBars')),
  };
}

// Reads the moderation document the way the moderator window does (the fields the tests look at).
export function readState(text) {
  const str = (o, k) => jsonGetString(o, k);
  const post = (o) => ({
    id: str(o, 'id'), type: str(o, 'type'), name: str(o, 'name'), photo: str(o, 'photo'), search: str(o, 'search'),
    mark: str(o, 'mark'), count: Math.max(1, jsonGetNumber(o, 'count', 1)),
  });
  const s = {
    venuePin: str(text, 'venuePin'), guestBgStatus: str(text, 'guestBgStatus'), guestLookActive: str(text, 'guestLookActive'),
    guestLooks: jsonGetObjects(text, 'guestLooks').map((o) => ({ id: str(o, 'id'), name: str(o, 'name') })),
    vdjSearch: str(text, 'vdjSearch'), voteTitle: str(text, 'voteTitle'), voteClosed: jsonGetBool(text, 'voteClosed', false),
    voteSummary: str(text, 'voteSummary'),
  };
  for (const k of ['pending', 'requests', 'tips', 'rejected', 'feed', 'blocked']) s[k] = jsonGetObjects(text, k).map(post);
  return s;
}
