// The release's update documents, signed (docs/updates.md). The plug-in reads a document only when
// its signature verifies against the public key built into it (src/updates/release_key.h), and
// installs a download only when its SHA-256 is the one the document names.
//
//   node scripts/sign-update.mjs new-key <folder>                  a key pair: <folder>/update-signing-key.pem
//                                                                  (private, never in the repository) and
//                                                                  <folder>/update-signing-key.pub.hex
//   node scripts/sign-update.mjs hash <file>                       the file's SHA-256, for "sha256" / "nodeSha256"
//   node scripts/sign-update.mjs sign <key.pem> <document> <out>   <out>: the header line, then the document's bytes
//   node scripts/sign-update.mjs verify <signed> [<public hex>]    checks <signed> against the key (by default the
//                                                                  one in release_key.h)
//
// The document is one flat JSON object of strings: "version", "sha256", and optionally "url",
// "changelog", "notes", "nodeUrl" with "nodeSha256". It is signed exactly as the file holds it.
import crypto from 'node:crypto';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const HEADER = 'LUMVO-SIGNED ecdsa-p256-sha256 ';
const KEYS = ['version', 'url', 'sha256', 'changelog', 'notes', 'nodeUrl', 'nodeSha256'];
const ROOT = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '..');

function fail(message) {
  process.stderr.write(`sign-update: ${message}\n`);
  process.exit(1);
}

const base64url = (text) => Buffer.from(text, 'base64url');

function publicKeyFromHex(hex) {
  if (!/^[0-9a-f]{128}$/.test(hex)) fail('a public key is 128 lowercase hexadecimal digits (X then Y)');
  const point = Buffer.from(hex, 'hex');
  return crypto.createPublicKey({
    key: { kty: 'EC', crv: 'P-256', x: point.subarray(0, 32).toString('base64url'), y: point.subarray(32).toString('base64url') },
    format: 'jwk',
  });
}

function publicHexOf(key) {
  const jwk = (key.type === 'public' ? key : crypto.createPublicKey(key)).export({ format: 'jwk' });
  return Buffer.concat([base64url(jwk.x), base64url(jwk.y)]).toString('hex');
}

// The checks the plug-in makes when it reads the document, and what keeps its flat reader exact:
// every key once, spelled plainly, every value a string.
function checkDocument(text) {
  let doc;
  try {
    doc = JSON.parse(text);
  } catch (err) {
    fail(`the document is not JSON: ${err.message}`);
  }
  if (doc === null || typeof doc !== 'object' || Array.isArray(doc)) fail('the document is not one JSON object');
  for (const [key, value] of Object.entries(doc)) {
    if (!KEYS.includes(key)) fail(`unknown key "${key}"`);
    if (typeof value !== 'string') fail(`"${key}" is not a string`);
    const spelled = text.match(new RegExp(`"${key}"\\s*:`, 'g')) || [];
    if (spelled.length !== 1) fail(`"${key}" must be written once, plainly`);
  }
  const hex = /^[0-9a-f]{64}$/;
  if (!/^\d+(\.\d+){0,2}$/.test(doc.version || '')) fail('"version" must be digits and dots, e.g. 0.66');
  if (!hex.test(doc.sha256 || '')) fail('"sha256" must be 64 lowercase hexadecimal digits');
  for (const key of ['url', 'nodeUrl']) {
    if (doc[key] !== undefined && !/^https:\/\/[^/@:\s]+(:\d+)?(\/\S*)?$/.test(doc[key])) fail(`"${key}" must be an https:// address`);
  }
  if (doc.nodeUrl !== undefined && !hex.test(doc.nodeSha256 || '')) fail('"nodeUrl" needs "nodeSha256"');
  if (doc.nodeUrl === undefined && doc.nodeSha256 !== undefined) fail('"nodeSha256" without "nodeUrl"');
}

function splitSigned(bytes) {
  const lineEnd = bytes.indexOf(0x0a);
  const header = lineEnd < 0 ? '' : bytes.subarray(0, lineEnd).toString('latin1');
  if (!header.startsWith(HEADER)) fail('no signature line');
  return { signature: Buffer.from(header.slice(HEADER.length), 'base64'), document: bytes.subarray(lineEnd + 1) };
}

function releaseKeyHex() {
  const source = fs.readFileSync(path.join(ROOT, 'src/updates/release_key.h'), 'utf8');
  const array = source.match(/kReleasePublicKey = \{([^}]*)\}/);
  if (!array) fail('no kReleasePublicKey in src/updates/release_key.h');
  return [...array[1].matchAll(/0x([0-9a-fA-F]{2})/g)].map((m) => m[1].toLowerCase()).join('');
}

const [command, ...args] = process.argv.slice(2);
if (command === 'new-key' && args.length === 1) {
  const { privateKey, publicKey } = crypto.generateKeyPairSync('ec', { namedCurve: 'prime256v1' });
  const hex = publicHexOf(publicKey);
  fs.mkdirSync(args[0], { recursive: true });
  const privatePath = path.join(args[0], 'update-signing-key.pem');
  fs.writeFileSync(privatePath, privateKey.export({ type: 'pkcs8', format: 'pem' }), { mode: 0o600, flag: 'wx' });
  fs.writeFileSync(path.join(args[0], 'update-signing-key.pub.hex'), `${hex}\n`, { flag: 'wx' });
  process.stdout.write(`${hex}\n`);
} else if (command === 'hash' && args.length === 1) {
  process.stdout.write(`${crypto.createHash('sha256').update(fs.readFileSync(args[0])).digest('hex')}\n`);
} else if (command === 'sign' && args.length === 3) {
  const privateKey = crypto.createPrivateKey(fs.readFileSync(args[0]));
  const document = fs.readFileSync(args[1]);
  checkDocument(document.toString('utf8'));
  const signature = crypto.sign('sha256', document, { key: privateKey, dsaEncoding: 'ieee-p1363' });
  if (!crypto.verify('sha256', document, { key: crypto.createPublicKey(privateKey), dsaEncoding: 'ieee-p1363' }, signature)) {
    fail('the new signature does not verify');
  }
  fs.writeFileSync(args[2], Buffer.concat([Buffer.from(`${HEADER}${signature.toString('base64')}\n`, 'latin1'), document]));
} else if (command === 'verify' && (args.length === 1 || args.length === 2)) {
  const { signature, document } = splitSigned(fs.readFileSync(args[0]));
  const key = publicKeyFromHex(args[1] || releaseKeyHex());
  if (!crypto.verify('sha256', document, { key, dsaEncoding: 'ieee-p1363' }, signature)) fail('the signature does not verify');
  checkDocument(document.toString('utf8'));
  process.stdout.write('sign-update: the signature verifies\n');
} else {
  fail('usage: new-key <folder> | hash <file> | sign <key.pem> <document> <out> | verify <signed> [<public hex>]');
}
