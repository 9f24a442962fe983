// Addresses: who counts as a loopback caller, and the join address that phones on the venue
// Wi-Fi use.

import os from 'node:os';

export function isLoopback(address) {
  if (typeof address !== 'string') return false;
  const a = address.startsWith('::ffff:') ? address.slice(7) : address;
  return a === '::1' || /^127\.\d{1,3}\.\d{1,3}\.\d{1,3}$/.test(a);
}

const VIRTUAL = /(virtual|vmware|vbox|hyper-v|vethernet|docker|veth|br-|tailscale|zerotier|wsl|loopback|tap|tun|utun|vpn)/i;

function privateRank(ip) {
  if (/^192\.168\./.test(ip)) return 0;
  if (/^10\./.test(ip)) return 1;
  if (/^172\.(1[6-9]|2\d|3[01])\./.test(ip)) return 2;
  return -1;
}

// The PC's best private IPv4 address: a home/venue range (192.168, then 10, then 172.16-31) on
// a physical-looking interface first. `interfaces` is os.networkInterfaces() or a test's table.
export function bestLanAddress(interfaces = os.networkInterfaces()) {
  const found = [];
  for (const [name, addrs] of Object.entries(interfaces ?? {})) {
    for (const a of addrs ?? []) {
      const v4 = a.family === 'IPv4' || a.family === 4;
      if (!v4 || a.internal || /^169\.254\./.test(a.address)) continue;
      const rank = privateRank(a.address);
      if (rank < 0) continue;
      found.push({ address: a.address, score: (VIRTUAL.test(name) ? 10 : 0) + rank });
    }
  }
  found.sort((x, y) => x.score - y.score);
  return found.length ? found[0].address : '';
}

export function joinUrlFor(port, interfaces) {
  const host = bestLanAddress(interfaces) || '127.0.0.1';
  return `http://${host}:${port}`;
}
