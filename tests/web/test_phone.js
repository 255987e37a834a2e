// SPDX-License-Identifier: Zlib
// A phone (390 x 844 at pixel ratio 3, touch only): the page tells how the game
// plays on a touch screen before the first tap, a tap starts the game, a tap on
// the word starts the run, a tap on the drawn key answers a keyboard prompt, and
// on an iPhone the page says how to play full screen. Then a dense screen (pixel
// ratio 3): the pixel font stays sharp, fewer than 1 % in-between pixels in a band
// through the start text.
'use strict';
const test = require('node:test');
const h = require('./harness');
const { assert } = h;

// Waits for the start screen, its word grown enough to be clicked.
async function startScreen(g) {
  const shown = await g.until({ texts: { ou: h.TEXTS.ou } },
    (p) => h.same(p.bg, h.RED) && p.texts.ou.score > h.SHOWN, 5000);
  assert.ok(shown, 'the start screen shows');
  await h.sleep(500);
}

test('a phone', { timeout: 180000 }, async () => {
  await h.scenario('silent', { device: h.PHONE }, async (site, browser) => {
    const g = await h.Game.open(browser.context, site.url);
    assert.equal(await g.state(), 'ready', await g.message());
    assert.ok(await g.page.isVisible('#touch'), 'the touch words show');
    assert.match(await g.page.innerText('#touch'), /tap the drawn key.*needs a real keyboard/);
    assert.equal(await g.page.textContent('#play'), 'tap to play');
    assert.deepEqual(await g.page.evaluate(() => [document.documentElement.scrollHeight,
      getComputedStyle(document.getElementById('canvas')).touchAction]), [844, 'none'],
    'the page fits the screen and taps on the game neither zoom nor scroll');

    await g.page.tap('#play');
    assert.equal(await g.waitState(['playing', 'no-microphone', 'error'], 30000), 'playing',
      await g.message());
    await startScreen(g);
    // The square picture is letterboxed: 390 wide, (844 - 390) / 2 from the top.
    await g.tap(195, 227 + 195);
    const run = await g.until({}, (p) => !h.same(p.bg, h.RED), 3000);
    assert.ok(run && h.isPalette(run.bg), `a palette background follows: ${run && run.bg}`);

    // The keyboard prompt, which a phone has no keys for: a tap on the drawn key
    // that shows the asked letter answers it.
    const ask = { texts: { press: h.TEXTS.press }, prompt: true };
    const prompt = await g.until(ask, (p) => p.texts.press.score > h.SHOWN && p.asked[1] > 0.9,
      90000);
    assert.ok(prompt, 'a keyboard prompt comes up');
    const { key } = h.promptAnswer(prompt.asked[0], prompt.labels);
    const [x, y] = h.drawnKey(key);
    await g.tap((x * 390) / 640, 227 + (y * 390) / 640);
    const next = await g.until(ask, (q) => !h.same(q.bg, prompt.bg), 3000);
    assert.ok(next, `a tap on the drawn ${key} answers the prompt for ${prompt.asked[0]}`);

    // Safari on an iPhone, which has no fullscreen for pages: the page says how
    // the app added to the Home Screen gives it.
    const iphone = await browser.context.newPage();
    await (await browser.context.newCDPSession(iphone)).send('Emulation.setUserAgentOverride',
      { userAgent: 'Mozilla/5.0 (iPhone; CPU iPhone OS 17_5 like Mac OS X) AppleWebKit/605.1.15 ' +
                   '(KHTML, like Gecko) Version/17.5 Mobile/15E148 Safari/604.1' });
    await iphone.addInitScript(() => Object.defineProperty(Document.prototype,
      'fullscreenEnabled', { get: () => false }));
    await iphone.goto(site.url);
    assert.ok(await iphone.isVisible('#iphone'), 'the iPhone words show');
    assert.match(await iphone.innerText('#iphone'), /Share, then Add to Home Screen/);
    assert.equal(await iphone.evaluate(() =>
      document.getElementById('fullscreen').classList.contains('offered')), false);
  });
});

test('pixel ratio 3: a sharp font', { timeout: 180000 }, async () => {
  await h.scenario('silent', { device: { deviceScaleFactor: 3 } }, async (site, browser) => {
    const g = await h.Game.open(browser.context, site.url);
    assert.equal(await g.start(), 'playing', await g.message());
    await startScreen(g);
    const [, , top, size] = h.TEXTS.ou;
    const { ratio, share } = await h.blur(g.page, top, 32 * size);
    console.log(`pixel ratio ${ratio}: ${(100 * share).toFixed(2)} % in-between pixels`);
    assert.equal(ratio, 3);
    assert.ok(share < 0.01, `${(100 * share).toFixed(2)} % in-between pixels`);
  });
});
