// Runs a real wall server process on a free port with its own temporary wall folder, and a small
// HTTP client that keeps one phone's cookies. The browser tests start their servers here too.

import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

export const SERVER_JS = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../../server.js');

export function tempWall() {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumvo-wall-'));
  const files = {
    'web/index.html': '<!doctype html><title>guest</title>', 'web/mod/index.html': '<!doctype html><title>mod</title>',
    'web/mod/mod.js': 'export const page = "mod";', 'web/info/start.txt': 'Start here', 'secret.txt': 'not for guests',
  };
  for (const [name, text] of Object.entries(files)) {
    fs.mkdirSync(path.dirname(path.join(dir, name)), { recursive: true });
    fs.writeFileSync(path.join(dir, name), text);
  }
  return dir;
}

// Starts server.js; resolves once it listens. env adds to the defaults. stop() removes the folder.
// wrap: a command that runs the server (["nsenter", ...] to run it in another mount namespace).
export async function startServer({ dir = tempWall(), env = {}, args = [], host = '127.0.0.1', wrap = [] } = {}) {
  const command = [...wrap, process.execPath, SERVER_JS, ...args];
  const child = spawn(command[0], command.slice(1), {
    env: {
      ...process.env, LUMVO_WALL_DIR: dir, LUMVO_WEB_DIR: path.join(dir, 'web'), LUMVO_PORT: '0',
      LUMVO_HOST: host, LUMVO_READY_FD: '1', LUMVO_JOIN_HOST: '192.168.1.50', ...env,
    },
    stdio: ['ignore', 'pipe', 'pipe'],
  });
  let stderr = '';
  child.stderr.on('data', (d) => { stderr += d; });
  const exited = new Promise((resolve) => child.on('exit', (code, signal) => resolve({ code, signal })));
  const port = await new Promise((resolve, reject) => {
    let out = '';
    child.stdout.on('data', (d) => {
      out += d;
      const m = /ready (\d+)/.exec(out);
      if (m) resolve(Number(m[1]));
    });
    exited.then(({ code }) => reject(new Error(`server exited (${code}) before listening: ${stderr}`)));
    setTimeout(() => reject(new Error(`server did not start in 15 s: ${stderr}`)), 15000).unref();
  });
  const base = `http://127.0.0.1:${port}`;
  return {
    dir, child, port, base, exited,
    stderr: () => stderr,
    async stop() {
      if (child.exitCode === null && child.signalCode === null) {
        await fetch(`${base}/api/shutdown`, { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: '{}' }).catch(() => {});
        const t = setTimeout(() => child.kill('SIGKILL'), 3000);
        await exited;
        clearTimeout(t);
      }
      fs.rmSync(dir, { recursive: true, force: true });
    },
    async kill() {
      child.kill('SIGKILL');
      await exited;
    },
  };
}

// One phone: keeps its cookies between requests. data is the parsed JSON answer, if any.
export class Phone {
  constructor(base) {
    this.base = base;
    this.cookies = new Map();
  }

  async request(method, urlPath, { json, body, headers = {} } = {}) {
    const h = { ...headers };
    if (this.cookies.size) h.Cookie = [...this.cookies].map(([k, v]) => `${k}=${v}`).join('; ');
    if (json !== undefined) h['Content-Type'] = 'application/json';
    const res = await fetch(this.base + urlPath, { method, headers: h, body: json !== undefined ? JSON.stringify(json) : body });
    for (const c of res.headers.getSetCookie()) {
      const [pair] = c.split(';');
      const i = pair.indexOf('=');
      if (pair.slice(i + 1)) this.cookies.set(pair.slice(0, i), pair.slice(i + 1)); else this.cookies.delete(pair.slice(0, i));
    }
    const text = await res.text();
    let data;
    try { data = JSON.parse(text); } catch { data = undefined; }
    return { status: res.status, headers: res.headers, text, data };
  }

  get(p, o) { return this.request('GET', p, o); }
  post(p, json, o = {}) { return this.request('POST', p, { json, ...o }); }
}

// The plug-in's view: POST actions with JSON bodies that must succeed, GET documents.
export class Booth extends Phone {
  async act(name, body = {}) {
    const r = await this.post(`/api/${name}`, body);
    if (r.status !== 200) throw new Error(`${name} answered ${r.status}: ${r.text}`);
    return r.data;
  }

  async doc(name) { return (await this.get(`/api/${name}`)).data; }
}

// Smallest valid image headers, padded to a given size.
export function fakeJpeg(size = 200) {
  const b = Buffer.alloc(size, 0x20);
  Buffer.from([0xff, 0xd8, 0xff, 0xe0]).copy(b);
  return b;
}
export function fakePng(size = 200) {
  const b = Buffer.alloc(size, 0);
  Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]).copy(b);
  return b;
}
