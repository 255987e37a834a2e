// SPDX-License-Identifier: Zlib
// The game in the other engines players have, Firefox and WebKit, side by side,
// each in one browser as a player plays it: the first visit keeps the game for
// offline play; "click to play", the microphone (each engine's fake one) and the
// start screen; the click on the word and a whole run on palette colours with
// every keyboard prompt answered, to "FINISH !" on red 145 seconds after the
// run's clock started; then, with the server gone, a start from the kept copy
// that shows the start screen and begins a run. Chromium plays the same in
// test_start, test_full_run and test_site, with the checks that need its DevTools.
//
// BRAMBLE_ENGINES: the engines, comma-separated (default firefox,webkit; any of
// chromium, firefox, webkit).
'use strict';
const test = require('node:test');
const h = require('./harness');
const { assert } = h;

const engines = (process.env.BRAMBLE_ENGINES || 'firefox,webkit').split(',');
// What each engine's microphone gives the game: Chromium here plays the loud WAV
// file, WebKit's mock microphone is loud too, Firefox's fake one reads as quiet.
const LOUD = { chromium: true, firefox: false, webkit: true };

// Waits for the start screen: "OU" on red, or the word grown over it.
async function startScreen(g, what) {
  const shown = await g.until({ texts: { ou: h.TEXTS.ou, pas: h.startWord(10) } },
    (p) => h.same(p.bg, h.RED) && (p.texts.ou.score > h.SHOWN || p.texts.pas.score > 0.9), 15000);
  assert.ok(shown, `the start screen shows ${what}`);
}

async function play(engine) {
  const say = (text) => console.log(`${engine}: ${text}`);
  await h.scenario('loud', { engine }, async (site, browser) => {
    let g = await h.Game.open(browser.context, site.url);
    assert.equal(await g.state(), 'ready', await g.message());
    await g.page.waitForFunction(() => document.body.dataset.offline === 'kept', null,
      { timeout: 60000 });
    assert.equal(await g.start(), 'playing', await g.message());
    say(`navigation to "click to play" ${g.readyAt - g.navigated} ms; ` +
        `click to first picture ${g.firstPicture - g.clicked} ms`);
    await startScreen(g, 'after the click');
    say(g.console.filter((l) => /^WebGL renderer|drawing with/.test(l)).join('; '));

    await h.sleep(500); // the word becomes clickable once it grows
    await g.clickAt(320, 320);
    const run = await g.until({}, (p) => !h.same(p.bg, h.RED), 3000);
    assert.ok(run && h.isPalette(run.bg), `a palette background follows: ${run && run.bg}`);
    const seen = await g.playToFinish();
    const { at } = seen;
    const seconds = at === null ? NaN : at / 1000;
    say(`"FINISH !" ${seconds.toFixed(1)} s after the start screen; ${seen.colours.size} ` +
        `backgrounds; ${seen.prompts} prompts answered; YELL held in ${seen.yellHeld}, ` +
        `CHUT won in ${seen.chutWon} pictures`);
    assert.deepEqual(seen.offPalette, [], 'every background is a palette colour');
    assert.ok(seen.prompts > 0, 'keyboard prompts came up and were answered');
    assert.deepEqual(seen.missed, [], 'every prompt ends on its key');
    assert.ok(seen.colours.size >= 8, `the challenges keep changing: ${seen.colours.size}`);
    // The microphone reaches the game: the voice challenges go its way, never the other.
    if (LOUD[engine]) {
      assert.ok(seen.yellHeld > 0 && seen.chutWon === 0, '"YELL !" held, "CHUT !" never won');
    } else {
      assert.ok(seen.chutWon > 0 && seen.yellHeld === 0, '"CHUT !" won, "YELL !" never held');
    }
    assert.ok(at !== null, '"FINISH !" shows on red');
    // The run clock starts with the music, when the word starts growing 0.2 s
    // into the start screen, and counts whole calendar seconds.
    assert.ok(seconds > 144 && seconds < 148, `the run lasts 145 s: ${seconds.toFixed(1)} s`);

    // No server: the kept copy starts and plays (the engines driven over
    // WebDriver have no network emulation; the same origin answers nothing).
    site.stop();
    g = await h.Game.open(browser.context, site.url);
    assert.equal(await g.state(), 'ready', `offline: ${await g.message()}`);
    assert.equal(await g.start(), 'playing', await g.message());
    await startScreen(g, 'offline');
    await h.sleep(500);
    await g.clickAt(320, 320);
    const again = await g.until({}, (p) => !h.same(p.bg, h.RED), 3000);
    assert.ok(again && h.isPalette(again.bg), `offline, the run starts: ${again && again.bg}`);
  });
}

// The engines side by side: each its own browser and server.
test('the engines, side by side', { concurrency: engines.length }, async (t) => {
  await Promise.all(engines.map((engine) =>
    t.test(`${engine}: a whole run, then offline`, { timeout: 420000 }, () => play(engine))));
});
