// The plug-in's own tables, exported by its native tests to tests/contract/, against the server
// and the pages: the themes (settings.json) against the server's settings, the guest pages' look
// code and style sheet and the look editor; the keys the plug-in reads (plugin-reads.json and the
// server-driven rows of settings.json) against the display document and the names the documents
// escape; the moderator window's buttons (booth-actions.json) against the route table, what the
// server takes on the rows it lists, and the browser moderator page's buttons.

import { test, describe } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import { Store } from '../src/store.js';
import { Wall } from '../src/wall.js';
import { THEMES, DEFAULT_SETTINGS, mergeSettings } from '../src/settings.js';
import { displayView } from '../src/views.js';
import { displayDocument, ESCAPED_NAMES } from '../src/documents.js';
import { contractRoutes } from '../src/contract-api.js';
import { THEMES as PAGE_THEMES, normalTheme } from '../../web/js/look.js';
import { LISTS, ROW_BUTTONS, LIST_BUTTONS, WALL_BUTTONS, rowBody } from '../../web/mod/lists.js';
import { startServer, Phone, Booth } from './helpers/server.js';

const read = (rel) => fs.readFileSync(new URL(`../../../${rel}`, import.meta.url), 'utf8');
const SETTINGS = JSON.parse(read('tests/contract/settings.json'));
const READS = JSON.parse(read('tests/contract/plugin-reads.json'));
const BOOTH = JSON.parse(read('tests/contract/booth-actions.json'));

describe('themes', () => {
  const { names, fallback } = SETTINGS.themes;

  test('the server keeps exactly the plug-in\'s themes, in any case, and turns any other name into the fallback', () => {
    assert.deepEqual([...THEMES], names);
    for (const name of names) assert.equal(mergeSettings(DEFAULT_SETTINGS, { theme: name.toUpperCase() }).theme, name);
    assert.equal(mergeSettings(DEFAULT_SETTINGS, { theme: 'disco' }).theme, fallback);
  });

  test('the guest pages, their style sheet and the look editor know the same themes', () => {
    assert.deepEqual(PAGE_THEMES, names, 'web/js/look.js');
    for (const name of names) assert.equal(normalTheme(name.toUpperCase()), name);
    assert.equal(normalTheme('disco'), fallback);
    // The fallback is the page's own styling ([data-theme]); every other theme restyles it.
    const styled = [...read('wall/web/css/guest.css').matchAll(/\[data-theme="([^"]*)"\]/g)].map((m) => m[1]);
    assert.deepEqual(new Set(styled), new Set(names.filter((n) => n !== fallback)), 'web/css/guest.css');
    const select = /<select id="preview-theme">([\s\S]*?)<\/select>/.exec(read('wall/web/bg/index.html'));
    assert.ok(select, 'the look editor has its theme choice');
    assert.deepEqual([...select[1].matchAll(/<option value="([^"]*)"/g)].map((m) => m[1]), names, 'web/bg/index.html');
  });
});

describe('the keys the plug-in reads', () => {
  // The settings the display document may change on the plug-in's side: read under their pushed key.
  const serverDriven = SETTINGS.settings.filter((r) => r.serverDriven);

  // The keys of plugin-reads.json are checked in every scenario of the corpus (corpus.test.js).
  test('the display document carries every server-driven setting under its pushed key', () => {
    const wall = new Wall(new Store(':memory:'), { clock: () => 1_700_000_000_000 });
    // Every server-driven setting away from its default, so that each key must carry its own setting.
    const changed = Object.fromEntries(serverDriven.map((r) => {
      const def = SETTINGS.pushDefaults[r.json];
      const value = r.kind === 'toggle' ? !def : r.kind === 'theme' ? SETTINGS.themes.names.at(-1) : (def === r.min ? r.max : r.min);
      return [r.json, value];
    }));
    wall.applySettings(changed);
    const doc = JSON.parse(displayDocument(displayView(wall, 'http://192.168.1.50:8787/')));
    for (const r of serverDriven) {
      assert.ok(Object.hasOwn(doc, r.json), `the display document has no "${r.json}" (the setting ${r.ini})`);
      assert.equal(doc[r.json], changed[r.json], `"${r.json}" carries the setting, as a ${typeof changed[r.json]}`);
    }
  });

  test('a text equal to any key the plug-in reads is escaped in both documents', () => {
    const keys = [...READS.display, ...READS.state].flatMap(({ key, fields = [] }) => [key, ...fields]);
    for (const key of [...keys, ...serverDriven.map((r) => r.json)]) assert.ok(ESCAPED_NAMES.has(key), key);
  });
});

describe('the moderator window\'s buttons', () => {
  const actions = new Map(BOOTH.actions.map((a) => [a.action, a]));
  const rows = new Map(BOOTH.rows.map((r) => [r.row, r.buttons.map((name) => actions.get(name))]));
  const requests = [...BOOTH.actions.filter((a) => a.path), BOOTH.songSearch];

  test('every request is in the route table of the booth\'s endpoints, which only loopback callers reach', () => {
    const routes = new Set(Object.keys(contractRoutes({})));
    for (const { method, path } of requests) {
      assert.ok(routes.has(`${method} ${path}`), `no route for ${method} ${path}`);
      // app.js hands every /api/ path outside /api/guest/ to this table, after the loopback check.
      assert.ok(path.startsWith('/api/') && !path.startsWith('/api/guest/'), path);
    }
  });

  test('the browser moderator page has the same lists and buttons, with the same requests', () => {
    // The window's rows less its Settings row; per row, the buttons that act on a post are on each
    // post's row here (less View photo, the thumbnail here), the others beside the list.
    const pageOnly = (a) => a.runs !== 'photo preview' && a.runs !== 'browser';
    const asPage = (buttons, onPost) => buttons.filter((a) => a.onPost === onPost && pageOnly(a)).map((a) => ({
      action: a.action, label: a.caption, path: a.path ?? BOOTH.songSearch.path, notForTypes: a.notForTypes ?? [],
    }));
    const ofPage = (buttons) => buttons.map((b) => ({ action: b.action, label: b.label, path: b.path, notForTypes: b.notForTypes ?? [] }));
    assert.deepEqual(Object.keys(LISTS), [...rows.keys()].filter((r) => r !== 'settings'));
    for (const list of Object.keys(LISTS)) {
      assert.deepEqual(ofPage(ROW_BUTTONS[list]), asPage(rows.get(list), true), `the buttons on a ${list} row`);
      assert.deepEqual(ofPage(LIST_BUTTONS[list] ?? []), asPage(rows.get(list), false), `the buttons of the ${list} list`);
    }
    assert.deepEqual(ofPage(WALL_BUTTONS), asPage(rows.get('settings'), false), 'the wall\'s buttons');
    // Every post action of the window sits on one of its rows (so on the page's too).
    const onNoRow = BOOTH.actions.filter((a) => a.onPost && a.path && ![...rows.values()].flat().includes(a));
    assert.deepEqual(onNoRow, []);

    // The bodies: the window's for the post p_1; a song search here names the post.
    const post = { id: 'p_1', type: 'request', mark: '' };
    for (const b of Object.values(ROW_BUTTONS).flat()) {
      assert.deepEqual(rowBody(b, post), actions.get(b.action).body ?? { id: 'p_1' }, b.action);
    }
    for (const b of [...Object.values(LIST_BUTTONS).flat(), ...WALL_BUTTONS]) assert.deepEqual(b.body, actions.get(b.action).body, b.action);
  });

  test('the server takes every button the window offers on the rows it lists, and refuses the ones it leaves out', async () => {
    const srv = await startServer();
    try {
      const booth = new Booth(srv.base);
      await booth.act('settings', { tipLinks: ['paypal.me/djsam', '', ''], repeatMessages: false });
      let n = 0;
      const send = async (kind, body = {}) => {
        const r = await new Phone(srv.base).post(`/api/guest/${kind}`, { name: `Guest ${++n}`, text: `${kind} ${n}`, ...body });
        assert.equal(r.status, 200, r.text);
        return r.data.id;
      };
      // A fresh row of each kind the server puts in a list; the id the list shows for it.
      const makers = {
        messages: { shoutout: () => send('shoutout') },
        requests: { request: () => send('request') },
        tips: { tip: () => send('tip') },
        rejected: { shoutout: async () => { const id = await send('shoutout'); await booth.act('reject', { id }); return id; } },
        live: {
          shoutout: async () => { const id = await send('shoutout'); await booth.act('show', { id }); return id; },
          vote: async () => {
            await booth.act('vote-start', { title: `Encore ${++n}?`, duration: 600, options: ['Yes', 'No'] });
            await booth.act('vote-stop');
            return (await booth.doc('state')).feed.findLast((p) => p.type === 'vote').id;
          },
        },
        blocked: {
          shoutout: async () => {
            await booth.act('block', { id: await send('shoutout') });
            return (await booth.doc('state')).blocked.at(-1).id;
          },
        },
      };
      for (const [list, kinds] of Object.entries(makers)) {
        for (const [type, make] of Object.entries(kinds)) {
          for (const a of rows.get(list).filter((b) => b.onPost && b.path)) {
            const id = await make();
            const listed = (await booth.doc('state'))[LISTS[list].key].find((p) => p.id === id);
            assert.equal(listed?.type, type, `a ${type} row in ${list}`);
            const r = await booth.post(a.path, { ...a.body, id });
            const what = `${a.action} on a ${type} row in ${list}: ${r.status} ${r.text}`;
            // These phones post from this machine, which gives a post no network address (loopback.test.js
            // takes the by-address rejection from a network of its own).
            const refused = a.notForTypes?.includes(type) || a.action === 'rejectAddress';
            assert.equal(r.status, refused ? 409 : 200, what);
          }
        }
      }
      for (const a of [...rows.values()].flat().filter((b) => !b.onPost && b.path)) {
        const r = await booth.post(a.path, a.body);
        assert.equal(r.status, 200, `${a.action}: ${r.text}`);
      }
    } finally {
      await srv.stop();
    }
  });
});
