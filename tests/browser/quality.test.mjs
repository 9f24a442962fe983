// The guest page's quality bar, measured in Chromium: what the first view costs to transfer,
// that nothing is fetched from anywhere but the wall, and the accessibility basics in every view
// (names on controls, 44-pixel tap targets, no sideways scrolling at 200 % zoom, colour contrast
// in every theme, a visible focus ring).

import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { startWall, launchBrowser, newPhone, shot, until, join } from './harness.mjs';

let wall;
let browser;

before(async () => {
  wall = await startWall();
  browser = await launchBrowser();
  await wall.settings({ tipLinks: [`${wall.base}/pay/paypal`, '', ''], showTipsOnWall: true, allowAllEmojis: true });
  // Something on the wall and a running poll, so that the Live view has all its parts.
  const res = await fetch(`${wall.base}/api/guest/shoutout`, {
    method: 'POST', headers: { 'Content-Type': 'application/json' },
    body: JSON.stringify({ name: 'Averyveryverylongnamewithout', text: 'A rather long message without any spaces: aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa' }),
  });
  assert.equal(res.status, 200, await res.clone().text());
  await wall.dj('/api/show', { id: (await res.json()).id });
  await wall.dj('/api/vote-start', { title: 'Which song next?', duration: 600, options: ['The long answer number one', 'Two'] });
});

after(async () => {
  await browser?.close();
  await wall?.stop();
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
  const controls = [...document.querySelectorAll('button, a[href], input, select, textarea, [role="tab"]')]
    .filter((el) => visible(el) && !el.classList.contains('visually-hidden'));
  const small = [];
  for (const el of controls) {
    const r = el.getBoundingClientRect();
    if (r.width < 44 || r.height < 44) small.push(`${el.outerHTML.slice(0, 80)} is ${Math.round(r.width)}×${Math.round(r.height)}`);
  }
  // The photo input itself is visually hidden and chosen through its label, which is measured.
  const fileLabels = [...document.querySelectorAll('.file-label')].filter(visible);
  for (const l of fileLabels) {
    const r = l.getBoundingClientRect();
    if (r.height < 44) small.push(`file label is ${Math.round(r.height)} high`);
  }
  return { small, scroll: document.documentElement.scrollWidth - document.documentElement.clientWidth };
};

test('every control has an accessible name and a 44-pixel tap target, in every view', async () => {
  const page = await newPhone(browser);
  const cdp = await page.context().newCDPSession(page);
  const roles = new Set(['button', 'link', 'textbox', 'combobox', 'checkbox', 'radio', 'tab', 'slider', 'spinbutton']);
  await eachView(page, async (view) => {
    const { nodes } = await cdp.send('Accessibility.getFullAXTree');
    const unnamed = nodes.filter((n) => !n.ignored && roles.has(n.role?.value) && !String(n.name?.value || '').trim())
      .map((n) => n.role.value);
    assert.deepEqual(unnamed, [], `controls without a name in the ${view} view`);
    const { small } = await page.evaluate(AUDIT);
    assert.deepEqual(small, [], `tap targets under 44 px in the ${view} view`);
  });
  assert.deepEqual(page.problems, []);
  await page.context().close();
});

test('no sideways scrolling at 200 % zoom (195 pixels wide)', async () => {
  const page = await newPhone(browser, { viewport: { width: 195, height: 422 } });
  await eachView(page, async (view) => {
    const { scroll } = await page.evaluate(AUDIT);
    assert.ok(scroll <= 0, `the ${view} view scrolls sideways by ${scroll} px`);
    if (view === 'Live' || view === 'join') await shot(page, `zoom-200-${view.toLowerCase()}`);
  });
  await page.context().close();
});

test('text contrast meets WCAG AA in every theme, and focus is visible', async () => {
  const page = await newPhone(browser);
  await join(page, wall.base, 'Uma');
  for (const theme of ['club', 'wedding', 'event', 'lounge', 'garden']) {
    const pairs = await page.evaluate((name) => {
      document.documentElement.dataset.theme = name;
      const css = getComputedStyle(document.documentElement);
      const v = (k) => css.getPropertyValue(k).trim();
      return {
        'text on panel': [v('--text'), v('--panel')],
        'muted on panel': [v('--muted'), v('--panel')],
        'text on panel-2': [v('--text'), v('--panel-2')],
        'text on field': [v('--text'), v('--field')],
        'accent on panel': [v('--accent'), v('--panel')],
        'accent on page': [v('--accent'), v('--bg')],
        'button text on accent': [v('--on-accent'), v('--accent')],
        'error on panel': [v('--danger'), v('--panel')],
        'success on panel': [v('--ok'), v('--panel')],
      };
    }, theme);
    for (const [what, [fg, bg]] of Object.entries(pairs)) {
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
  await page.context().close();
});

test('tabs follow the arrow keys', async () => {
  const page = await newPhone(browser);
  await join(page, wall.base, 'Vic');
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

function rgb(hex) {
  const n = parseInt(hex.replace('#', ''), 16);
  return [(n >> 16) & 255, (n >> 8) & 255, n & 255];
}

function contrast(a, b) {
  const lum = (hex) => {
    const [r, g, bl] = rgb(hex).map((c) => {
      const s = c / 255;
      return s <= 0.03928 ? s / 12.92 : ((s + 0.055) / 1.055) ** 2.4;
    });
    return 0.2126 * r + 0.7152 * g + 0.0722 * bl;
  };
  const [x, y] = [lum(a), lum(b)];
  return (Math.max(x, y) + 0.05) / (Math.min(x, y) + 0.05);
}
