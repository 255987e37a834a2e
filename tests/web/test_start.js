// SPDX-License-Identifier: Zlib
// The page and the start of the game in Chromium, with a silent microphone:
// loading, "click to play", the start screen with its growing word, the page
// keeping the game's keys and right-click to itself, a window squeezed to a
// sliver and back, then the click on the word starting the run on palette
// colours, "CHUT !" won in silence, "YELL !" never, and a keyboard prompt that
// ignores a wrong key and ends on the right one.
'use strict';
const test = require('node:test');
const h = require('./harness');
const { assert } = h;

test('start screen, run, silence and the keyboard prompt', { timeout: 240000 }, async () => {
  await h.scenario('silent', {}, async (site, browser) => {
    const g = await h.Game.open(browser.context, site.url);
    assert.equal(await g.state(), 'ready', await g.message());
    assert.equal(await g.start(), 'playing', await g.message());
    console.log(`navigation to "click to play" ${g.readyAt - g.navigated} ms; ` +
                `click to first picture ${g.firstPicture - g.clicked} ms`);
    // Headless Chromium's WebGL is SwiftShader, on the CPU: the game takes the 2-D canvas.
    assert.ok(g.console.some((l) => /^WebGL renderer: .*SwiftShader/i.test(l)) &&
              g.console.some((l) => /drawing with the 2-D canvas/.test(l)), g.console.join('\n'));

    // "OU PAS ?" on red; the word grows.
    const ask = { texts: { ou: h.TEXTS.ou } };
    const first = await g.until(ask, (p) => h.same(p.bg, h.RED) && p.texts.ou.score > h.SHOWN,
      5000);
    assert.ok(first, 'the start screen shows');
    const sizes = [];
    for (let i = 0; i < 4; i++) {
      const p = await g.read({ texts: Object.fromEntries(
        Array.from({ length: 121 }, (_, k) => [k, h.startWord(4 + k * 0.05)])) });
      const best = Object.entries(p.texts).sort((a, b) => b[1].score - a[1].score)[0];
      if (best[1].score > 0.9) sizes.push(4 + best[0] * 0.05);
      await h.sleep(250);
    }
    assert.ok(sizes.length >= 3 && sizes[sizes.length - 1] > sizes[0] + 0.5,
      `the word grows: sizes ${sizes.map((s) => s.toFixed(2))}`);

    // The page keeps the keys the game reads and the right-click.
    const kept = await g.page.evaluate(() => {
      const key = new KeyboardEvent('keydown', { key: ' ', code: 'Space', cancelable: true });
      window.dispatchEvent(key);
      const menu = new MouseEvent('contextmenu', { cancelable: true, bubbles: true });
      document.getElementById('canvas').dispatchEvent(menu);
      return [key.defaultPrevented, menu.defaultPrevented];
    });
    assert.deepEqual(kept, [true, true], 'space and the right-click menu stay with the game');

    // A sliver of a window, then the full size again: the game goes on drawing.
    await g.page.setViewportSize({ width: 640, height: 3 });
    const during = (await g.read()).frames;
    await h.sleep(600);
    await g.page.setViewportSize({ width: 640, height: 640 });
    // By now the word has grown to its full size (10) over "OU" and "?".
    const full = { texts: { pas: h.startWord(10) } };
    const after = await g.until(full, (p) => p.frames > during + 10 && h.same(p.bg, h.RED) &&
                                             p.texts.pas.score > 0.9, 5000);
    assert.ok(after, 'the start screen shows again after the window was a sliver');

    // The click on the word starts the run: palette colours follow.
    await g.clickAt(320, 320);
    const run = await g.until({}, (p) => !h.same(p.bg, h.RED), 3000);
    assert.ok(run && h.isPalette(run.bg), `a palette background follows: ${run && run.bg}`);

    const seen = { chutWon: 0, yellHeld: 0, prompts: 0, colours: new Set() };
    const voice = { texts: { yell: h.TEXTS.yell, chut: h.TEXTS.chutSmall, press: h.TEXTS.press },
                    prompt: true };
    const end = Date.now() + 60000;
    while (Date.now() < end && !(seen.chutWon && seen.prompts && seen.colours.size >= 8)) {
      const p = await g.read(voice);
      seen.colours.add(p.bg.join());
      assert.ok(h.isPalette(p.bg), `background ${p.bg} is a palette colour`);
      const { yell, chut, press } = p.texts;
      // A hold under way shows in the title's colour: (f, 1, f) for "CHUT !"
      // (small while it is quiet), (1, f, f) for "YELL !", f fading from 1 to 0.
      if (chut.score > h.SHOWN && chut.ink[1] === 255 && h.holding(chut.ink[0])) seen.chutWon++;
      if (yell.score > h.SHOWN && yell.ink[0] === 255 && h.holding(yell.ink[1])) seen.yellHeld++;
      if (press.score > h.SHOWN && p.asked[1] > 0.9) {
        // Every prompt must be answered (it has no time-out); the first one is
        // also given a wrong key before the right one.
        const answer = h.promptAnswer(p.asked[0], p.labels);
        if (!seen.prompts) {
          await g.key(answer.wrong);
          await h.sleep(300);
          const still = await g.read(voice);
          assert.ok(still.texts.press.score > h.SHOWN && h.same(still.bg, p.bg),
            `a wrong key (${answer.wrong}) leaves the prompt for ${p.asked[0]} on screen`);
        }
        await g.key(answer.key);
        const next = await g.until(voice, (q) => !h.same(q.bg, p.bg), 2000);
        assert.ok(next, `the prompt for ${p.asked[0]} (shift ${answer.shift}) ends on ${answer.key}`);
        seen.prompts++;
      }
      await h.sleep(20);
    }
    assert.ok(seen.chutWon > 0, '"CHUT !" is won in silence');
    assert.equal(seen.yellHeld, 0, '"YELL !" is never held in silence');
    assert.ok(seen.prompts > 0, 'keyboard prompts came up and were answered');
    assert.ok(seen.colours.size >= 8, `the challenges keep changing: ${seen.colours.size} backgrounds`);
  });
});
