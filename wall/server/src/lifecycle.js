// The server lives as long as the host process that started it.

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

// Node.js 22.13 is the first 22 release with node:sqlite without a flag.
export const MIN_NODE = [22, 13, 0];

export function nodeTooOld(version) {
  const v = String(version).replace(/^v/, '').split('.').map((n) => Number.parseInt(n, 10) || 0);
  for (let i = 0; i < 3; i++) {
    if (v[i] !== MIN_NODE[i]) return v[i] < MIN_NODE[i];
  }
  return false;
}
