// Runs a real wall server process on a free port with its own temporary wall folder, and a small
// HTTP client that keeps one phone's cookies.

import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
export const SERVER_JS = path.resolve(here, '../../server.js');

export function tempWall() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumvo-wall-'));
  fs.mkdirSync(path.join(dir, 'web', 'mod'), { recursive: true });
  fs.mkdirSync(path.join(dir, 'web', 'info'), { recursive: true });
  fs.writeFileSync(path.join(dir, 'web', 'index.html'), '<!doctype html><title>guest</title>');
  fs.writeFileSync(path.join(dir, 'web', 'mod', 'index.html'), '<!doctype html><title>mod</title>');
  fs.writeFileSync(path.join(dir, 'web', 'mod', 'mod.js'), 'export const page = "mod";');
  fs.writeFileSync(path.join(dir, 'web', 'info', 'start.txt'), 'Start here');
  fs.writeFileSync(path.join(dir, 'secret.txt'), 'not for guests');
  return dir;
}

// Starts server.js; resolves once it listens. env adds to the defaults.
export async function startServer({ dir = tempWall(), env = {}, args = [], port = 0, host = '127.0.0.1' } = {}) {
  const child = spawn(process.execPath, [SERVER_JS, ...args], {
    env: {
      ...process.env, LUMVO_WALL_DIR: dir, LUMVO_WEB_DIR: path.join(dir, 'web'), LUMVO_PORT: String(port),
      LUMVO_HOST: host, LUMVO_READY_FD: '1', LUMVO_JOIN_HOST: '192.168.1.50', ...env,
    },
    stdio: ['ignore', 'pipe', 'pipe'],
  });
  let stderr = '';
  child.stderr.on('data', (d) => { stderr += d; });
  const exited = new Promise((resolve) => child.on('exit', (code, signal) => resolve({ code, signal })));
  const actualPort = await new Promise((resolve, reject) => {
    let out = '';
    child.stdout.on('data', (d) => {
      out += d;
      const m = /ready (\d+)/.exec(out);
      if (m) resolve(Number(m[1]));
    });
    exited.then(({ code }) => reject(new Error(`server exited (${code}) before listening: ${stderr}`)));
  });
  const base = `http://127.0.0.1:${actualPort}`;
  return {
    dir, child, port: actualPort, base, exited,
    stderr: () => stderr,
    async stop() {
      if (child.exitCode === null && child.signalCode === null) {
        await fetch(`${base}/api/shutdown`, { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: '{}' }).catch(() => {});
        const t = setTimeout(() => child.kill('SIGKILL'), 3000);
        await exited;
        clearTimeout(t);
      }
    },
    async kill() {
      child.kill('SIGKILL');
      await exited;
    },
  };
}

// One phone: keeps its cookies between requests.
export class Phone {
  constructor(base) {
    this.base = base;
    this.cookies = new Map();
  }

  async request(method, urlPath, { json, body, headers = {} } = {}) {
    const h = { ...headers };
    if (this.cookies.size) h.Cookie = [...this.cookies].map(([k, v]) => `${k}=${v}`).join('; ');
    let payload = body;
    if (json !== undefined) {
      payload = JSON.stringify(json);
      h['Content-Type'] = 'application/json';
    }
    const res = await fetch(this.base + urlPath, { method, headers: h, body: payload });
    for (const c of res.headers.getSetCookie()) {
      const [pair] = c.split(';');
      const i = pair.indexOf('=');
      const v = pair.slice(i + 1);
      if (v) this.cookies.set(pair.slice(0, i), v); else this.cookies.delete(pair.slice(0, i));
    }
    const text = await res.text();
    let data;
    try { data = JSON.parse(text); } catch { data = undefined; }
    return { status: res.status, headers: res.headers, text, data };
  }

  get(p, o) { return this.request('GET', p, o); }
  post(p, json, o = {}) { return this.request('POST', p, { json, ...o }); }
}

// The plug-in's view: POST actions with JSON bodies, GET documents as text.
export class Booth extends Phone {
  async act(name, body = {}) {
    const r = await this.post(`/api/${name}`, body);
    if (r.status !== 200) throw new Error(`${name} answered ${r.status}: ${r.text}`);
    return r.data;
  }
}

// Smallest valid image headers, padded to a given size.
export function fakeJpeg(size = 200) {
  const b = Buffer.alloc(size, 0x20);
  b[0] = 0xff; b[1] = 0xd8; b[2] = 0xff; b[3] = 0xe0;
  return b;
}
export function fakePng(size = 200) {
  const b = Buffer.alloc(size, 0);
  Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]).copy(b);
  return b;
}
