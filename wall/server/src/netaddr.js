// Addresses: who counts as a loopback caller, and the join address that phones on the venue
// Wi-Fi use.

import os from 'node:os';

export function isLoopback(address) {
  if (typeof address !== 'string') return false;
  const a = address.startsWith('::ffff:') ? address.slice(7) : address;
  return a === '::1' || /^127\.\d{1,3}\.\d{1,3}\.\d{1,3}$/.test(a);
}

const VIRTUAL = /(virtual|vmware|vbox|hyper-v|vethernet|docker|veth|br-|tailscale|zerotier|wsl|loopback|tap|tun|utun|vpn)/i;

// Venue-style private ranges first (192.168, then 10, then 172.16-31), then any other address
// (a public or carrier address still beats loopback), link-local last.
function rank(ip) {
  if (/^192\.168\./.test(ip)) return 0;
  if (/^10\./.test(ip)) return 1;
  if (/^172\.(1[6-9]|2\d|3[01])\./.test(ip)) return 2;
  if (/^169\.254\./.test(ip)) return 4;
  return 3;
}

// The PC's best IPv4 address for phones: not loopback, by rank, a physical-looking interface
// before a virtual one. `interfaces` is os.networkInterfaces() (interfaces that are up) or a
// test's table. '' when there is none.
export function bestLanAddress(interfaces = os.networkInterfaces()) {
  const found = [];
  for (const [name, addrs] of Object.entries(interfaces ?? {})) {
    for (const a of addrs ?? []) {
      const v4 = a.family === 'IPv4' || a.family === 4;
      if (!v4 || a.internal || isLoopback(a.address)) continue;
      found.push({ address: a.address, score: (VIRTUAL.test(name) ? 10 : 0) + rank(a.address) });
    }
  }
  found.sort((x, y) => x.score - y.score);
  return found.length ? found[0].address : '';
}

// The join address (http://host:port) as a function: LUMVO_JOIN_HOST's host when set, else the
// best address, looked up at most every `everyMs` (the display document asks seven times a
// second). Without any address it is 127.0.0.1, which phones cannot reach: one warning says so
// (again only after an address was found in between).
export function joinAddress({ port, joinHost = '', log = () => {}, interfaces = () => os.networkInterfaces(), everyMs = 5000, clock = Date.now }) {
  let url = '';
  let at = -Infinity;
  let warned = false;
  return () => {
    if (joinHost) return `http://${joinHost}:${port()}`;
    const now = clock();
    if (now - at >= everyMs) {
      at = now;
      const host = bestLanAddress(interfaces());
      if (!host && !warned) {
        log('this PC has no network address phones could reach: the join address is 127.0.0.1 until it joins the venue network');
      }
      warned = !host;
      url = `http://${host || '127.0.0.1'}:${port()}`;
    }
    return url;
  };
}
