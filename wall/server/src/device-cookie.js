// The phone's device id from its signed cookie, or a new one with its cookie. An address that
// has been given many new ones lately gets none for a while (deviceWait: the seconds): its
// requests then have no device, which reads allow and sends refuse with 429.

import { DEVICE_ID, deviceOfCookie, signDevice, newSecret } from './ids.js';

// Returns device(cookieValue, address, res) -> { deviceId, deviceWait }; it sets the cookie on
// res when it gives a phone an id.
export function deviceCookies(app) {
  const { wall } = app;
  const setDeviceCookie = (res, id) => res.setHeader('Set-Cookie',
    `lumvo_device=${signDevice(wall.cookieKey, id)}; Path=/; Max-Age=31536000; HttpOnly; SameSite=Lax`);
  // Cookies already checked, so that a phone's every request does not cost an HMAC (bounded).
  const knownCookies = new Map();
  return function device(value, address, res) {
    let id = knownCookies.get(value);
    if (id) return { deviceId: id, deviceWait: 0 };
    id = deviceOfCookie(wall.cookieKey, value);
    if (id) {
      if (knownCookies.size >= 20000) knownCookies.clear();
      knownCookies.set(value, id);
      return { deviceId: id, deviceWait: 0 };
    }
    // A phone from before cookies were signed keeps its id once, now signed; after that its bare
    // id is a new phone like any other unsigned value.
    const legacy = DEVICE_ID.test(value ?? '') ? wall.devices.get(value) : undefined;
    if (legacy && !legacy.signed) {
      app.store.tx(() => {
        app.store.setSigned(legacy.id);
        legacy.signed = true;
      });
      setDeviceCookie(res, value);
      return { deviceId: value, deviceWait: 0 };
    }
    const wait = app.limits.newDevice(address);
    if (wait) return { deviceId: '', deviceWait: wait };
    id = newSecret(16);
    setDeviceCookie(res, id);
    return { deviceId: id, deviceWait: 0 };
  };
}
