// SPDX-License-Identifier: Zlib
// A Chromium without WebGL (--disable-3d-apis): the game draws with the 2-D
// canvas; the start screen shows and the click on the word starts the run. And
// one whose WebGL is software that only the standard check tells: the 2-D canvas.
'use strict';
const test = require('node:test');
const h = require('./harness');
const { assert } = h;

test('no WebGL: the 2-D canvas', { timeout: 180000 }, async () => {
  await h.scenario('silent', { args: ['--disable-3d-apis'] }, async (site, browser) => {
    const g = await h.Game.open(browser.context, site.url);
    assert.equal(await g.page.evaluate(() => document.createElement('canvas').getContext('webgl')),
      null, 'this browser has no WebGL');
    assert.equal(await g.start(), 'playing', await g.message());
    const start = await g.until({ texts: { ou: h.TEXTS.ou } },
      (p) => h.same(p.bg, h.RED) && p.texts.ou.score > h.SHOWN, 5000);
    assert.ok(start, 'the start screen shows');
    assert.ok(g.console.some((l) => /drawing with the 2-D canvas/.test(l)), g.console.join('\n'));
    await h.sleep(500); // the word becomes clickable once it grows
    await g.clickAt(320, 320);
    const run = await g.until({}, (p) => !h.same(p.bg, h.RED), 3000);
    assert.ok(run && h.isPalette(run.bg), `a palette background follows: ${run && run.bg}`);
  });
});

// A browser that counts its WebGL as slow (it refuses a context asked for with
// failIfMajorPerformanceCaveat) and does not disclose its renderer's name:
// Chromium made to behave so. The game takes the 2-D canvas.
test('WebGL refused with a major performance caveat, its name hidden: the 2-D canvas',
  { timeout: 180000 }, async () => {
    await h.scenario('silent', {}, async (site, browser) => {
      await browser.context.addInitScript(() => {
        const getContext = HTMLCanvasElement.prototype.getContext;
        HTMLCanvasElement.prototype.getContext = function (type, attrs) {
          if (/webgl/.test(type) && attrs && attrs.failIfMajorPerformanceCaveat) return null;
          return getContext.call(this, type, attrs);
        };
        const getExtension = WebGLRenderingContext.prototype.getExtension;
        WebGLRenderingContext.prototype.getExtension = function (name) {
          return /debug_renderer_info/i.test(name) ? null : getExtension.call(this, name);
        };
      });
      const g = await h.Game.open(browser.context, site.url);
      assert.equal(await g.start(), 'playing', await g.message());
      const start = await g.until({ texts: { ou: h.TEXTS.ou } },
        (p) => h.same(p.bg, h.RED) && p.texts.ou.score > h.SHOWN, 5000);
      assert.ok(start, 'the start screen shows');
      assert.ok(g.console.includes('WebGL renderer: (not disclosed) (a major performance caveat)') &&
                g.console.some((l) => /drawing with the 2-D canvas/.test(l)), g.console.join('\n'));
    });
  });
