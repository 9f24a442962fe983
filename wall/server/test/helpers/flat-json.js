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

export function decodeFeed(text) {
  const items = [];
  for (const line of text.split('\n')) {
    if (line === '') continue;
    const f = line.split('\t');
    const item = {
      id: f[0] ?? '', type: f[1] ?? '', name: f[2] ?? '', text: f[3] ?? '', photo: f[4] ?? '',
      reactions: f[5] ?? '', color: f[6] ?? '', hot: (f[7] ?? '') === '1',
    };
    if (item.id !== '') items.push(item);
  }
  return items;
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

// Reads the whole display document the way the display poll does.
export function readDisplay(text) {
  return {
    featuredId: jsonGetString(text, 'featuredId'), type: jsonGetString(text, 'type'), name: jsonGetString(text, 'name'),
    text: jsonGetString(text, 'text'), photo: jsonGetString(text, 'photo'), color: jsonGetString(text, 'color'),
    hot: jsonGetBool(text, 'hot', false),
    allowWordFx: jsonGetBool(text, 'allowWordFx', true), allowTipFx: jsonGetBool(text, 'allowTipFx', true),
    allowVenueFx: jsonGetBool(text, 'allowVenueFx', true), allowHotFx: jsonGetBool(text, 'allowHotFx', true),
    allowReactions: jsonGetBool(text, 'allowReactions', true),
    hotNeed: jsonGetNumber(text, 'hotNeed', -1), hotWindowSec: jsonGetNumber(text, 'hotWindowSec', -1),
    theme: jsonGetString(text, 'theme'), reactions: jsonGetString(text, 'reactions'), joinUrl: jsonGetString(text, 'joinUrl'),
    duration: jsonGetNumber(text, 'duration', 7), feed: decodeFeed(jsonGetString(text, 'feedPacked')),
    voteActive: jsonGetBool(text, 'voteActive', false), voteClosed: jsonGetBool(text, 'voteClosed', false),
    voteTitle: jsonGetString(text, 'voteTitle'), votePhoto: jsonGetString(text, 'votePhoto'),
    voteRemain: jsonGetNumber(text, 'voteRemain', 0), voteDuration: jsonGetNumber(text, 'voteDuration', 60),
    voteClosedFor: jsonGetNumber(text, 'voteClosedFor', 0), voteBars: decodeVoteBars(jsonGetString(text, 'voteBars')),
    tipEnabled: jsonGetBool(text, 'tipEnabled', false),
  };
}

// Reads the moderation document the way the moderator window does.
export function readState(text) {
  const post = (o) => ({
    id: jsonGetString(o, 'id'), type: jsonGetString(o, 'type'), name: jsonGetString(o, 'name'), text: jsonGetString(o, 'text'),
    photo: jsonGetString(o, 'photo'), search: jsonGetString(o, 'search'), mark: jsonGetString(o, 'mark'),
    color: jsonGetString(o, 'color'), hot: jsonGetBool(o, 'hot', false), createdAt: jsonGetNumber(o, 'createdAt', 0),
    lastAt: jsonGetNumber(o, 'lastAt', 0), count: Math.max(1, jsonGetNumber(o, 'count', 1)),
  });
  const lists = {};
  for (const k of ['pending', 'requests', 'tips', 'rejected', 'feed', 'blocked']) lists[k] = jsonGetObjects(text, k).map(post);
  return {
    voteActive: jsonGetBool(text, 'voteActive', false), venuePin: jsonGetString(text, 'venuePin'),
    guestBgStatus: jsonGetString(text, 'guestBgStatus'), guestLookActive: jsonGetString(text, 'guestLookActive'),
    guestLooks: jsonGetObjects(text, 'guestLooks').map((o) => ({ id: jsonGetString(o, 'id'), name: jsonGetString(o, 'name') })),
    vdjSearch: jsonGetString(text, 'vdjSearch'), repeatMessages: jsonGetBool(text, 'repeatMessages', true),
    voteTitle: jsonGetString(text, 'voteTitle'), voteRemain: jsonGetNumber(text, 'voteRemain', 0),
    voteClosed: jsonGetBool(text, 'voteClosed', false), voteSummary: jsonGetString(text, 'voteSummary'),
    ...lists,
  };
}
