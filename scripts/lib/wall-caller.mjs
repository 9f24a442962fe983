// One HTTP call to the wall server as a phone or the booth makes it: JSON in and out, and the
// server's cookies kept in a jar (a Map) as a browser keeps them. A reply other than 2xx throws with
// its status and body.
export function wallCaller(base) {
  return async function call(method, urlPath, { json, body, type, jar } = {}) {
    const headers = {};
    if (jar?.size) headers.Cookie = [...jar].map(([k, v]) => `${k}=${v}`).join('; ');
    if (json !== undefined) headers['Content-Type'] = 'application/json';
    if (type) headers['Content-Type'] = type;
    const res = await fetch(base + urlPath, { method, headers, body: json !== undefined ? JSON.stringify(json) : body });
    for (const c of res.headers.getSetCookie()) {
      const [pair] = c.split(';');
      const i = pair.indexOf('=');
      jar?.set(pair.slice(0, i), pair.slice(i + 1));
    }
    const text = await res.text();
    if (!res.ok) throw new Error(`${method} ${urlPath} answered ${res.status}: ${text}`);
    return JSON.parse(text);
  };
}
