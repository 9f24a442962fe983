// Starts the wall server: paths from the environment (for tests) or from where the files sit.

import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { createApp } from './app.js';
import { watchHost } from './lifecycle.js';

const here = path.dirname(fileURLToPath(import.meta.url));
const serverDir = path.resolve(here, '..');

// One line on the server's log (its standard error), never a reason to stop: a write that fails
// (a full disk, a closed pipe) is dropped, and so is what comes while the stream is stuck.
export function safeLog(stream) {
  let broken = false;
  stream.on('error', () => { broken = true; });
  return (msg) => {
    if (broken || stream.writableLength > 1024 * 1024) return;
    try {
      stream.write(`[wall] ${msg}\n`);
    } catch {
      broken = true;
    }
  };
}

export async function main(argv = process.argv.slice(2), env = process.env) {
  const wallDir = env.LUMVO_WALL_DIR || path.resolve(serverDir, '..');
  const webDir = env.LUMVO_WEB_DIR || path.join(path.resolve(serverDir, '..'), 'web');
  const port = env.LUMVO_PORT !== undefined ? Number(env.LUMVO_PORT) : 8787;
  const host = env.LUMVO_HOST || '0.0.0.0';
  const hostPid = Number.parseInt(argv[0] ?? '', 10);
  const log = safeLog(process.stderr);

  const app = createApp({
    wallDir, webDir, port, host, log,
    rateLimits: env.LUMVO_RATE_LIMITS !== 'off',
    ...(Number(env.LUMVO_UPLOADS_MAX_MB) > 0 ? { uploadsMaxBytes: Number(env.LUMVO_UPLOADS_MAX_MB) * 1024 * 1024 } : {}),
    joinHost: env.LUMVO_JOIN_HOST || '',
    synchronous: env.LUMVO_SYNC === 'FULL' ? 'FULL' : 'NORMAL',
    onShutdown: () => process.exit(0),
  });
  try {
    await app.listen();
  } catch (e) {
    log(`cannot listen on ${host}:${port}: ${e.message}`);
    await app.close();
    process.exit(1);
  }
  log(`listening on ${host}:${app.port}, wall folder ${wallDir}, join address ${app.joinUrl()}`);
  if (env.LUMVO_READY_FD === '1') process.stdout.write(`ready ${app.port}\n`);
  watchHost(hostPid, () => app.shutdown(`host process ${hostPid} is gone`));
  for (const sig of ['SIGINT', 'SIGTERM']) process.on(sig, () => app.shutdown(sig));
  return app;
}
