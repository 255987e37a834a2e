// SPDX-License-Identifier: Zlib
// The site as a host serves it, with the headers of web/serve.js: each file's
// cache rule and compressed forms; then in one browser, a player's evenings:
// the first visit (the credits' version, no installability error, the game kept
// for offline play, fullscreen entered from its button and left with Escape
// while the start screen keeps showing, the button's drawn glyph, a refused
// fullscreen told to the player), a start with the server gone and the
// browser offline (the game starts and the run begins), and the next visit after
// the site was replaced by another version: that version runs whole.
'use strict';
const test = require('node:test');
const zlib = require('node:zlib');
const fs = require('node:fs');
const path = require('node:path');
const h = require('./harness');
const { assert } = h;

// Waits for the start screen: "OU" on red, or the word grown over it.
async function startScreen(g, what) {
  const shown = await g.until({ texts: { ou: h.TEXTS.ou, pas: h.startWord(10) } },
    (p) => h.same(p.bg, h.RED) && (p.texts.ou.score > h.SHOWN || p.texts.pas.score > 0.9), 10000);
  assert.ok(shown, `the start screen shows ${what}`);
}

async function headers(site, info) {
  const hashed = [info.page, info.script, info.wasm, info.data];
  for (const name of ['index.html', 'sw.js', ...hashed]) {
    const raw = fs.readFileSync(path.join(info.dir, name));
    const plain = await h.get(site.port, '/' + name);
    assert.equal(plain.status, 200, name);
    assert.equal(plain.headers['cache-control'], hashed.includes(name)
      ? 'public, max-age=31536000, immutable' : 'no-cache', `${name}: its cache rule`);
    assert.ok(plain.body.equals(raw) && !plain.headers['content-encoding'], `${name} as it is`);
    // Anything under 1 KiB goes as it is.
    if (raw.length < 1024) continue;
    for (const [accept, encoding, unpack] of [['gzip, deflate, br', 'br', zlib.brotliDecompressSync],
      ['gzip', 'gzip', zlib.gunzipSync]]) {
      const packed = await h.get(site.port, '/' + name, { 'Accept-Encoding': accept });
      assert.equal(packed.headers['content-encoding'], encoding, `${name} for "${accept}"`);
      assert.equal(packed.headers.vary, 'Accept-Encoding');
      assert.ok(unpack(packed.body).equals(raw), `${name}: its ${encoding} form is the file`);
      assert.ok(packed.body.length < raw.length, `${name}: its ${encoding} form is smaller`);
    }
  }
  const again = await h.get(site.port, '/', { 'If-None-Match':
    (await h.get(site.port, '/')).headers.etag });
  assert.equal(again.status, 304, 'an unchanged index.html costs a 304');
}

test('updates, offline play, installing, fullscreen', { timeout: 240000 }, async () => {
  const first = h.siteInfo(h.SITE), next = h.siteInfo(h.NEXT_SITE);
  assert.notEqual(first.version, next.version, 'two versions');
  assert.equal(first.wasm, next.wasm, 'the same game: its files keep their names');
  await h.scenario('silent', {}, async (site, browser) => {
    await headers(site, first);

    // The first visit.
    let g = await h.Game.open(browser.context, site.url);
    assert.equal(await g.state(), 'ready', await g.message());
    assert.equal(await g.page.textContent('#version'), first.version);
    assert.match(await g.page.innerText('#warning'), new RegExp('^Photosensitivity warning: ' +
      'this game flashes the whole screen in changing colours\\. If you or anyone watching has ' +
      'photosensitive epilepsy or has ever had a seizure, talk to a doctor before playing, and ' +
      'stop at once on dizziness, altered vision, twitching or any loss of awareness\\.$'));
    await g.page.waitForFunction(() => document.body.dataset.offline === 'kept', null,
      { timeout: 30000 });
    const cdp = await browser.context.newCDPSession(g.page);
    const { installabilityErrors } = await cdp.send('Page.getInstallabilityErrors');
    assert.deepEqual(installabilityErrors, [], 'Chromium would install the app');

    assert.equal(await g.start(), 'playing', await g.message());
    await startScreen(g, 'in the window');
    await g.page.click('#fullscreen');
    await g.page.waitForFunction(() => document.fullscreenElement === document.documentElement,
      null, { timeout: 5000 });
    await startScreen(g, 'in fullscreen');
    assert.equal(await g.page.evaluate(() =>
      getComputedStyle(document.getElementById('canvas')).imageRendering), 'pixelated');
    await g.page.keyboard.press('Escape');
    await g.page.waitForFunction(() => document.fullscreenElement === null, null,
      { timeout: 5000 });
    const frames = (await g.read()).frames;
    await g.frames(10);
    assert.equal(await g.state(), 'playing', 'Escape leaves fullscreen, not the game');
    assert.ok((await g.read()).frames > frames);
    // The button's glyph is drawn, not a character that few fonts have.
    assert.ok(await g.page.evaluate(() => {
      const button = document.getElementById('fullscreen');
      return button.querySelector('svg') !== null && !button.textContent.includes('\u26f6');
    }), 'the fullscreen button draws its glyph');
    const glyph = h.decodePng(await g.page.locator('#fullscreen').screenshot());
    let lit = 0;
    for (let y = 0; y < glyph.h; y++) {
      for (let x = 0; x < glyph.w; x++) if (((glyph.at(x, y) >> 8) & 255) > 150) lit++;
    }
    assert.ok(lit >= 20, `the glyph shows: ${lit} light pixels`);
    // A browser that refuses fullscreen (one refuses a window without the focus).
    await g.page.evaluate(() => {
      document.documentElement.requestFullscreen = () =>
        Promise.reject(new TypeError('Fullscreen request denied'));
    });
    await g.page.click('#fullscreen');
    await g.page.waitForSelector('#notice:not(:empty)', { state: 'visible', timeout: 5000 });
    assert.match(await g.page.textContent('#notice'),
      /^The browser refused fullscreen \(Fullscreen request denied\)\. Click into/);

    // No server, no network: the kept version starts and plays.
    site.stop();
    await browser.context.setOffline(true);
    g = await h.Game.open(browser.context, site.url);
    assert.equal(await g.state(), 'ready', `offline: ${await g.message()}`);
    assert.equal(await g.page.textContent('#version'), first.version);
    assert.equal(await g.start(), 'playing', await g.message());
    await startScreen(g, 'offline');
    await h.sleep(500); // the word becomes clickable once it grows
    await g.clickAt(320, 320);
    const run = await g.until({}, (p) => !h.same(p.bg, h.RED), 3000);
    assert.ok(run && h.isPalette(run.bg), `offline, the run starts: ${run && run.bg}`);

    // The site replaced by the next version; the files the browser keeps for a
    // year stay where they are.
    await browser.context.setOffline(false);
    site.serveFrom(next.dir);
    await site.start();
    g = await h.Game.open(browser.context, site.url);
    assert.equal(await g.state(), 'ready', `the next version: ${await g.message()}`);
    assert.equal(await g.page.textContent('#version'), next.version);
    const loaded = await g.page.evaluate(() => performance.getEntriesByType('resource')
      .filter((e) => e.name.startsWith(location.origin + '/'))
      .map((e) => new URL(e.name).pathname.slice(1)).filter((name) => name !== ''));
    assert.ok(loaded.includes(next.wasm), `the next version's game: ${loaded}`);
    for (const name of loaded) {
      assert.ok(fs.existsSync(path.join(next.dir, name)), `${name} is the next version's`);
    }
    assert.equal(await g.start(), 'playing', await g.message());
    await startScreen(g, 'in the next version');
  });
});
