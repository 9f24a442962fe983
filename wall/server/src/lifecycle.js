// The server lives as long as the host process that started it; the runtime checks that come
// before anything else loads. This module imports nothing, so server.js can load it first.

// True while a process with this id exists (a permission error still means it exists).
export function processAlive(pid) {
  try {
    process.kill(pid, 0);
    return true;
  } catch (e) {
    return e.code === 'EPERM';
  }
}

// Calls onGone once when the host process ends; returns a function that stops watching.
export function watchHost(pid, onGone, { everyMs = 1000, alive = processAlive } = {}) {
  if (!Number.isInteger(pid) || pid <= 0) return () => {};
  const timer = setInterval(() => {
    if (!alive(pid)) {
      clearInterval(timer);
      onGone();
    }
  }, everyMs);
  timer.unref();
  return () => clearInterval(timer);
}

// node:sqlite announces itself as experimental once; the DJ's console does not need that. Every
// other warning still goes through. Call it before node:sqlite loads (on each thread).
export function hideSqliteWarning(proc = process) {
  const emitWarning = proc.emitWarning;
  proc.emitWarning = function filtered(warning, ...rest) {
    const type = typeof rest[0] === 'string' ? rest[0] : rest[0] && rest[0].type;
    const text = typeof warning === 'string' ? warning : warning && warning.message;
    if (type === 'ExperimentalWarning' && /SQLite/i.test(String(text))) return undefined;
    return emitWarning.call(proc, warning, ...rest);
  };
}

// Node.js 22.13 is the first 22 release with node:sqlite without a flag.
export const MIN_NODE = [22, 13, 0];

export function nodeTooOld(version) {
  const v = String(version).replace(/^v/, '').split('.').map((n) => Number.parseInt(n, 10) || 0);
  for (let i = 0; i < 3; i++) {
    if (v[i] !== MIN_NODE[i]) return v[i] < MIN_NODE[i];
  }
  return false;
}
