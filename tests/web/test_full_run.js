// SPDX-License-Identifier: Zlib
// The whole 145-second run in Chromium with a loud microphone: "YELL !" held
// and won, "CHUT !" never, the keyboard prompts answered, the "FOLLOW ME !"
// direction lines in the browser console, and "FINISH !" on red 145 seconds
// after the run's clock started, as a watch of its own in the page times it.
'use strict';
const test = require('node:test');
const h = require('./harness');
const { assert } = h;

test('a loud run to "FINISH !"', { timeout: 400000 }, async () => {
  await h.scenario('loud', {}, async (site, browser) => {
    const g = await h.Game.open(browser.context, site.url);
    assert.equal(await g.start(), 'playing', await g.message());
    const started = await g.until({}, (p) => h.same(p.bg, h.RED), 5000);
    assert.ok(started, 'the start screen shows');
    await h.sleep(500); // the word becomes clickable once it grows
    await g.clickAt(320, 320);
    const run = await g.until({}, (p) => !h.same(p.bg, h.RED), 3000);
    assert.ok(run, 'the click on the word starts the run');
    const seen = await g.playToFinish();
    const { at } = seen;
    const seconds = at === null ? NaN : at / 1000;
    console.log(`"FINISH !" ${seconds.toFixed(1)} s after the start screen; ` +
                `YELL held in ${seen.yellHeld} pictures; ${seen.prompts} prompts answered`);
    assert.ok(at !== null, '"FINISH !" shows on red');
    // The run clock starts with the music, when the word starts growing 0.2 s
    // into the start screen, and counts whole calendar seconds.
    assert.ok(seconds > 144 && seconds < 148, `the run lasts 145 s: ${seconds.toFixed(1)} s`);
    assert.deepEqual(seen.offPalette, [], 'every background is a palette colour');
    assert.ok(seen.yellHeld > 0, '"YELL !" is held with a loud microphone');
    assert.equal(seen.chutWon, 0, '"CHUT !" is never won with a loud microphone');
    assert.ok(seen.prompts > 0, 'keyboard prompts answered');
    const dirs = g.console.filter((l) => /^dir\[0\]=-?[0-9.]+; dir\[1\]=-?[0-9.]+$/.test(l));
    assert.ok(dirs.length > 0, 'the "FOLLOW ME !" direction lines reach the console');
  });
});
