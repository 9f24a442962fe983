// The guest page's quality bar, measured in Chromium: what the first view costs to transfer,
// that nothing is fetched from anywhere but the wall, and the accessibility basics in every view
// (names on controls, 44-pixel tap targets, no sideways scrolling at 200 % zoom, colour contrast
// in every theme, a visible focus ring).

import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import { useWall, wall, browser, newPhone, shot, until, join } from './harness.mjs';

useWall(async () => {
  await wall.settings({ tipLinks: [`${wall.base}/pay/paypal`, '', ''], showTipsOnWall: true, allowAllEmojis: true });
  // Something on the wall and a running poll, so that the Live view has all its parts.
  const text = 'A rather long message without any spaces: aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa';
  await wall.act('show', { id: await wall.guest('shoutout', { name: 'Averyveryverylongnamewithout', text }) });
  await wall.act('vote-start', { title: 'Which song next?', duration: 600, options: ['The long answer number one', 'Two'] });
});

test('the first view is small and every request stays on the wall server', async (t) => {
  const page = await newPhone(browser);
  const cdp = await page.context().newCDPSession(page);
  await cdp.send('Network.enable');
  let bytes = 0;
  cdp.on('Network.loadingFinished', (e) => { bytes += e.encodedDataLength; });
  const urls = [];
  page.on('request', (r) => urls.push(r.url()));
  await page.goto(`${wall.base}/`, { waitUntil: 'networkidle' });
  await page.getByLabel('Your name', { exact: true }).waitFor();
  t.diagnostic(`first view of / transferred ${bytes} bytes in ${urls.length} requests`);
  assert.ok(bytes > 10 * 1024, 'the measurement saw the page load');
  assert.ok(bytes < 100 * 1024, `first view transferred ${bytes} bytes, over 100 KB`);
  const foreign = urls.filter((u) => !u.startsWith(`${wall.base}/`) && !/^(data|blob):/.test(u));
  assert.deepEqual(foreign, [], 'no request leaves the wall server');
  await page.context().close();
});

test('the page can be used before a slow wall has answered', async () => {
  const page = await newPhone(browser);
  await page.route('**/api/guest/config', async (route) => {
    await new Promise((r) => setTimeout(r, 4000));
    await route.continue().catch(() => {});
  });
  const started = Date.now();
  await page.goto(`${wall.base}/`);
  await page.getByLabel('Your name', { exact: true }).fill('Quick');
  await page.getByRole('button', { name: "Let's go" }).click();
  await page.getByLabel('Your message').fill('typed while the wall was slow');
  assert.ok(Date.now() - started < 3000, 'the guest could type before the configuration arrived');
  await page.context().close();
});

// Every view of the guest page, reached the way a guest reaches it.
async function eachView(page, fn) {
  await page.goto(`${wall.base}/`);
  await page.getByLabel('Your name', { exact: true }).waitFor();
  await fn('join');
  await join(page, wall.base, 'Tess');
  for (const tab of ['Shout-out', 'Request', 'Photo', 'Tip', 'Live']) {
    await page.getByRole('tab', { name: new RegExp(tab) }).click();
    if (tab === 'Live') {
      await page.locator('.post').first().waitFor();
      await page.locator('#poll').waitFor();
      await page.getByRole('button', { name: /^React to/ }).first().click();
    }
    await fn(tab);
  }
  await page.getByRole('button', { name: 'Venue login' }).click();
  await fn('venue login');
  await page.getByRole('button', { name: 'Cancel' }).click();
}

const AUDIT = () => {
  const visible = (el) => {
    const r = el.getBoundingClientRect();
    const s = getComputedStyle(el);
    return r.width > 0 && r.height > 0 && s.visibility !== 'hidden' && s.display !== 'none';
  };
  // The photo input itself is visually hidden and chosen through its label, which is measured instead.
  const controls = [...document.querySelectorAll('button, a[href], input, select, textarea, [role="tab"], .file-label')]
    .filter((el) => visible(el) && !el.classList.contains('visually-hidden'));
  const small = [];
  for (const el of controls) {
    const r = el.getBoundingClientRect();
    if (r.width < 44 || r.height < 44) small.push(`${el.outerHTML.slice(0, 80)} is ${Math.round(r.width)}×${Math.round(r.height)}`);
  }
  return { small, scroll: document.documentElement.scrollWidth - document.documentElement.clientWidth };
};

// At phone size and at 200 % zoom (195 pixels wide).
test('every control has an accessible name and a 44-pixel tap target, and nothing scrolls sideways, in every view', async () => {
  const roles = new Set(['button', 'link', 'textbox', 'combobox', 'checkbox', 'radio', 'tab', 'slider', 'spinbutton']);
  for (const viewport of [{ width: 390, height: 844 }, { width: 195, height: 422 }]) {
    const page = await newPhone(browser, { viewport });
    const cdp = await page.context().newCDPSession(page);
    await eachView(page, async (view) => {
      const where = `the ${view} view, ${viewport.width} px wide`;
      const { nodes } = await cdp.send('Accessibility.getFullAXTree');
      const unnamed = nodes.filter((n) => !n.ignored && roles.has(n.role?.value) && !String(n.name?.value || '').trim())
        .map((n) => n.role.value);
      assert.deepEqual(unnamed, [], `controls without a name in ${where}`);
      const { small, scroll } = await page.evaluate(AUDIT);
      assert.deepEqual(small, [], `tap targets under 44 px in ${where}`);
      assert.ok(scroll <= 0, `${where} scrolls sideways by ${scroll} px`);
      if (viewport.width < 390 && (view === 'Live' || view === 'join')) await shot(page, `zoom-200-${view.toLowerCase()}`);
    });
    assert.deepEqual(page.problems, []);
    await page.context().close();
  }
});

// Where each visible tab sits and whether its label keeps to one line; the name button's box and
// its text's.
const LAYOUT = () => {
  const tabs = [...document.querySelectorAll('[role="tab"]')].filter((t) => !t.hidden).map((t) => {
    const range = document.createRange();
    range.selectNodeContents(t.lastChild);
    return { label: t.textContent, top: Math.round(t.getBoundingClientRect().top), lines: range.getClientRects().length };
  });
  const me = document.getElementById('me').getBoundingClientRect();
  const name = document.querySelector('#me .me-name');
  const text = name.getBoundingClientRect();
  return {
    tabs, rows: Object.values(Object.groupBy(tabs, (t) => t.top)).map((r) => r.length),
    nameInside: text.left >= me.left && text.right <= me.right && me.right <= document.documentElement.clientWidth,
    nameCut: name.scrollWidth > name.clientWidth, header: Math.round(document.querySelector('.top').getBoundingClientRect().height),
  };
};

test('a narrow phone: a long name stays in its button, tab labels keep to one line, no tab sits alone on a row', async () => {
  const { venuePin } = await wall.state();
  for (const width of [320, 280, 195]) {
    const page = await newPhone(browser, { viewport: { width, height: 640 } });
    await join(page, wall.base, 'Averyveryverylongnamewithout');
    const layout = await page.evaluate(LAYOUT);
    const where = `${width} px wide`;
    if (width === 320) assert.deepEqual(layout.rows, [5], 'one row of five tabs at 320 px');
    else assert.ok(layout.rows.length === 2 && Math.min(...layout.rows) >= 2, `tab rows at ${where}: ${layout.rows}`);
    assert.deepEqual(layout.tabs.filter((t) => t.lines !== 1).map((t) => t.label), [], `labels wrapping at ${where}`);
    assert.equal(layout.nameInside, true, `the name spills out of its button at ${where}`);
    assert.equal(layout.nameCut, true, `the 28-letter name ends in "…" at ${where}`);
    if (width >= 280) assert.ok(layout.header <= 72, `the header is one row at ${where} (${layout.header} px)`);
    if (width === 320) {
      await shot(page, 'narrow-320-long-name');
      // The venue manager's six tabs: two rows of three.
      await page.evaluate((pin) => fetch('/api/guest/venue-login', { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify({ pin }) }), venuePin);
      await page.reload();
      await page.getByRole('tab', { name: /Venue/ }).waitFor();
      assert.deepEqual((await page.evaluate(LAYOUT)).rows, [3, 3], 'six tabs at 320 px');
    }
    await page.context().close();
  }
});

test('text contrast meets WCAG AA in every theme; focus is visible and the tabs follow the arrow keys', async () => {
  const page = await newPhone(browser);
  await join(page, wall.base, 'Uma');
  // Every theme of the plug-in's list (tests/contract/settings.json).
  const { names } = JSON.parse(fs.readFileSync(new URL('../contract/settings.json', import.meta.url), 'utf8')).themes;
  for (const theme of names) {
    const pairs = await page.evaluate(([name, pairs]) => {
      document.documentElement.dataset.theme = name;
      const css = getComputedStyle(document.documentElement);
      return pairs.map(([fg, bg]) => [`${fg} on ${bg}`, css.getPropertyValue(fg).trim(), css.getPropertyValue(bg).trim()]);
    }, [theme, [['--text', '--panel'], ['--muted', '--panel'], ['--text', '--panel-2'], ['--text', '--field'], ['--accent', '--panel'],
      ['--accent', '--bg'], ['--on-accent', '--accent'], ['--danger', '--panel'], ['--ok', '--panel']]]);
    for (const [what, fg, bg] of pairs) {
      const ratio = contrast(fg, bg);
      assert.ok(ratio >= 4.5, `${theme}: ${what} is ${ratio.toFixed(2)}:1 (${fg} on ${bg})`);
    }
    await shot(page, `theme-${theme}`);
  }
  await page.evaluate(() => { document.documentElement.dataset.theme = 'club'; });
  // Keyboard focus on the tabs and the send button shows a ring.
  await page.getByRole('tab', { name: /Shout-out/ }).focus();
  for (let i = 0; i < 3; i++) {
    await page.keyboard.press('Tab');
    const ring = await page.evaluate(() => {
      const s = getComputedStyle(document.activeElement);
      return `${s.outlineStyle} ${s.outlineWidth}`;
    });
    assert.notEqual(ring.split(' ')[0], 'none', `focused element has no ring (${ring})`);
  }
  await page.getByRole('tab', { name: /Shout-out/ }).click();
  await page.keyboard.press('ArrowRight');
  assert.equal(await page.getByRole('tab', { name: /Request/ }).getAttribute('aria-selected'), 'true');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'tab-request');
  await page.keyboard.press('ArrowLeft');
  await page.keyboard.press('ArrowLeft');
  assert.equal(await page.getByRole('tab', { name: /Live/ }).getAttribute('aria-selected'), 'true', 'the arrows wrap around');
  await until(() => page.locator('#panel-live').isVisible(), 'the Live panel shows');
  await page.context().close();
});

// WCAG contrast ratio of two #rrggbb colours.
function contrast(a, b) {
  const lum = (hex) => {
    const n = parseInt(hex.replace('#', ''), 16);
    const [r, g, bl] = [n >> 16, n >> 8, n].map((c) => {
      const s = (c & 255) / 255;
      return s <= 0.03928 ? s / 12.92 : ((s + 0.055) / 1.055) ** 2.4;
    });
    return 0.2126 * r + 0.7152 * g + 0.0722 * bl;
  };
  const [x, y] = [lum(a), lum(b)];
  return (Math.max(x, y) + 0.05) / (Math.min(x, y) + 0.05);
}
