// The word filter: a built-in list of common insults and slurs plus the DJ's own words (the pushed
// `filterWords`, separated by commas). A guest post whose name or text holds one of them is never
// auto-approved; it waits with a flag, and the moderator sees the words as the guest wrote them.
//
// Text is matched after normalising what guests use to slip past a plain list: invisible
// characters between the letters ("f\u200Buck": zero-width spaces and joiners, the word joiner,
// the byte order mark and every other format character are dropped), case, accents and
// look-alike letters ("Ｌöѕer", "fvck"), repeated letters ("shiiiit"), digits and symbols for
// letters ("l0s3r", "$hit", "b!tch", "dumb4ss"), a masking star or dash ("sh*t", "f-ck"), dots or
// dashes between the letters ("s.h.i.t") and letters spelt out with spaces ("f u c k"). Spellings
// that still read as the word are entries of their own ("phuck", "fuk"). Everyday words and names
// that hold a listed word ("shiitake", "Matsushita", "cocky", "Dick Clark") are not matches.
//
// A list entry is matched
//   word     as a whole word, or with a common ending ("losers", "idiotic", "dickhead");
//   word!    as a whole word only (where an ending would make an everyday word);
//   word*    at the start of a word, whatever follows ("retarded", "faggot");
//   *word*   anywhere, also inside a word ("bullshit", "motherfucker").

const BUILT_IN = [
  // swearing aimed at someone
  '*fuck*', '*phuck*', 'fuk', 'phuk', '*shit*', 'cunt', '*bitch*', 'bastard*', '*asshole*', 'arse', 'arsehole*', 'ass', 'dick', 'cock',
  'prick', 'twat*', 'wank*', 'pussy', 'pussies', 'douche*', 'bollocks', 'piss', 'crap', 'suck', 'stfu', 'gtfo',
  'whore*', 'slut*', 'skank*', 'slag', 'hoe', 'thot', 'scum*',
  // insults
  'loser', 'idiot', 'moron', 'stupid', 'dumb', 'dumbass', 'jerk', 'retard*', 'ugly', 'trash', 'kys', 'kill yourself',
  // slurs
  'nigg*', 'fag*', 'tranny', 'trannies', 'dyke', 'spic!', 'spics!', 'chink', 'kike', 'gook', 'coon', 'paki', 'wetback*',
];

// Endings a whole-word entry may carry.
const ENDINGS = ['s', 'es', 'ed', 'er', 'ers', 'ing', 'in', 'y', 'ie', 'ies', 'ic', 'ish', 'ity', 'head', 'heads',
  'face', 'faces', 'hole', 'holes', 'bag', 'bags', 'ass', 'wit', 'wits'];

// What may stand for each letter once the text is normalised (lower case, accents gone).
const LOOKALIKE = {
  a: 'a4@аα', b: 'b8ь', c: 'c(¢сς', d: 'd', e: 'e3€еε', f: 'fƒ', g: 'g96', h: 'hн', i: 'i1!|іι', j: 'jј', k: 'kκк',
  l: 'l1|!', m: 'mм', n: 'nη', o: 'o0оο', p: 'pрρ', q: 'q', r: 'rя', s: 's5$ѕ', t: 't7+т', u: 'uυv', v: 'v', w: 'wω',
  x: 'xх', y: 'yу', z: 'z2',
};
// Characters that hide a letter ("sh*t"); at most half the letters of a match may be hidden, never the first.
// A dash hides one too ("f-ck"), but only in a match that starts a word: inside a word it is
// far more often a hyphen ("push-to-talk" is no "sh-t").
const MASKS = '*#%?-';
const DASH = '-';
const SPELT = '\u00ad';
const SEPARATORS = `._\\-~${SPELT}`;

const esc = (s) => s.replace(/[\\\]^-]/g, (c) => `\\${c}`);
const letterClass = (c) => `[${esc(LOOKALIKE[c] ?? c)}${esc(MASKS)}]`;
const WORDISH = /[\p{L}\p{N}]/u;
// Format characters (Unicode category Cf): invisible, so they can sit between any two letters.
const INVISIBLE = /\p{Cf}/u;

// Words and names that hold a built-in entry but are not what it means, as the matcher sees them
// (baseForm), each with an optional plural "s".
const ALLOWED = ['shitake', 'shiitake', 'matsushita', 'jerky', 'cocky', 'dick clark', 'dick van dyke', 'moby dick',
  'cockpit', 'cockney', 'hancock', 'peacock', 'woodcock', 'dickens', 'shittim', 'assassin', 'fukushima', 'fukuoka'];
const ALLOWED_RE = new RegExp(`(?<![\\p{L}\\p{N}])(?:${ALLOWED.map((w) => w.replaceAll(' ', '\\s+')).join('|')})s?(?![\\p{L}\\p{N}])`, 'gu');

// An entry's word as the matcher sees it: lower case, no accents, letters and digits and single spaces.
export function baseForm(s) {
  return String(s).normalize('NFKD').replace(/\p{M}/gu, '').toLowerCase().replace(/[^\p{L}\p{N}]+/gu, ' ').trim();
}

// One entry as a regular expression over normalised text; each letter may repeat and may be
// followed by one separator.
function entryPattern(entry) {
  const start = entry.startsWith('*');
  const end = entry.endsWith('*');
  const exact = entry.endsWith('!');
  const word = baseForm(entry);
  if (!word) return '';
  const letters = [...word].map((c) => (c === ' ' ? `[\\s${SEPARATORS}]+` : `${letterClass(c)}+[${SEPARATORS}]?`)).join('');
  const tail = end ? '' : `${exact ? '' : `(?:${ENDINGS.join('|')})?`}(?![\\p{L}\\p{N}])`;
  return `${start ? '' : '(?<![\\p{L}\\p{N}])'}${letters}${tail}`;
}

// The text as the matcher sees it, with where each of its characters came from in the original.
function normalise(text) {
  let out = '';
  const from = [];
  const to = [];
  let i = 0;
  for (const ch of text) {
    // ASCII has nothing invisible or to decompose: only its case changes.
    if (ch.charCodeAt(0) < 0x80) {
      out += ch.toLowerCase();
      from.push(i);
      to.push(++i);
      continue;
    }
    if (INVISIBLE.test(ch)) {
      i += ch.length;
      continue;
    }
    const n = ch.normalize('NFKD').replace(/\p{M}/gu, '').toLowerCase();
    for (let k = 0; k < n.length; k++) {
      out += n[k];
      from.push(i);
      to.push(i + ch.length);
    }
    i += ch.length;
  }
  // Letters spelt out one by one with spaces ("f u c k"): the spaces become a separator, so the
  // letters read as one word however the run begins ("a l o s e r").
  out = out.replace(/(?<![\p{L}\p{N}])(?:[\p{L}\p{N}*@$!|] ){2,}[\p{L}\p{N}*@$!|](?![\p{L}\p{N}])/gu, (run) => run.replaceAll(' ', SPELT));
  return { text: out, from, to };
}

// Every entry's pattern begins (after its lookbehind, if any) with its first letter's class.
const FIRST_CLASS = /^(?:\(\?<!\[\\p\{L\}\\p\{N\}\]\))?\[((?:\\.|[^\]\\])*)\]/;

function compile(entries) {
  const patterns = entries.map(entryPattern).filter(Boolean);
  if (!patterns.length) return null;
  // A position where no entry's first letter can start is passed over at once: the engine would
  // otherwise try every entry there.
  const firsts = patterns.map((p) => FIRST_CLASS.exec(p)?.[1]);
  const gate = firsts.every((f) => f !== undefined) ? `(?=[${[...new Set(firsts)].join('')}])` : '';
  return new RegExp(`${gate}(?:${patterns.join('|')})`, 'gu');
}

const BUILT_IN_RE = compile(BUILT_IN);

// The DJ's words: separated by commas, each a word or a few words.
export function djWords(setting) {
  return String(setting ?? '').split(',').map((w) => w.trim()).filter((w) => baseForm(w));
}

const NAMES_KEPT = 5000;

export class WordFilter {
  constructor(setting = '') {
    this.setting = setting;
    this.own = compile(djWords(setting).map((w) => baseForm(w)));
    // A phone sends its name with every post: names already checked, with what they matched.
    this.names = new Map();
  }

  // match(name), remembered (a bounded number of names).
  matchName(name) {
    let found = this.names.get(name);
    if (found === undefined) {
      found = this.match(name);
      if (this.names.size >= NAMES_KEPT) this.names.clear();
      this.names.set(name, found);
    }
    return found;
  }

  // The first listed word in `text`, as the guest wrote it, or "".
  match(text) {
    if (!text) return '';
    const n = normalise(String(text));
    const allowed = [...n.text.matchAll(ALLOWED_RE)].map((a) => [a.index, a.index + a[0].length]);
    for (const re of [BUILT_IN_RE, this.own]) {
      if (!re) continue;
      re.lastIndex = 0;
      let m;
      while ((m = re.exec(n.text))) {
        let len = m[0].length;
        while (len > 1 && SEPARATORS.replace('\\', '').includes(m[0][len - 1])) len--;
        const excused = re === BUILT_IN_RE && allowed.some(([a, b]) => a <= m.index && m.index + len <= b);
        const dashOk = !m[0].slice(0, len).includes(DASH) || !WORDISH.test(n.text[m.index - 1] ?? '');
        if (!excused && dashOk && acceptable(m[0].slice(0, len))) return text.slice(n.from[m.index], n.to[m.index + len - 1]).trim();
        re.lastIndex = m.index + 1;
      }
    }
    return '';
  }
}

// A match made mostly of masks ("****") is not a word, nor one without a single letter: digits
// and symbols alone are numbers ("table 4-5", "room 455"), not "ass".
function acceptable(found) {
  const chars = [...found].filter((c) => WORDISH.test(c) || MASKS.includes(c) || '@$!|(+¢€'.includes(c));
  const masked = chars.filter((c) => MASKS.includes(c)).length;
  return chars.length > 0 && !MASKS.includes(chars[0]) && masked * 2 <= chars.length && /\p{L}/u.test(found);
}
