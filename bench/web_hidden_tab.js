// SPDX-License-Identifier: Zlib
// What a windowed Chromium does with the game's tab covered by a second tab:
// presents a second with the tab shown, then hidden (document.visibilityState
// "hidden"), once while the music plays (the run) and once after it stopped
// (the run's end, "FINISH !", about 145 s in). Run under a display:
//
//   NODE_PATH=<dir with playwright-core> xvfb-run -a -s '-screen 0 1280x1024x24' \
//     node bench/web_hidden_tab.js [BUILD_DIR]
'use strict';
const path = require('node:path');
if (process.argv[2]) process.env.BRAMBLE_WEB_BUILD = path.resolve(process.argv[2]);
const h = require('../tests/web/harness');

const SPAN = 10000;

// Presents a second over SPAN ms, and the page's visibility meanwhile.
async function rate(g) {
  const from = await g.page.evaluate(() => [window.__bramble.frames.length, performance.now()]);
  await h.sleep(SPAN);
  const [n, t, seen] = await g.page.evaluate(() => [window.__bramble.frames.length,
    performance.now(), document.visibilityState]);
  return { fps: ((n - from[0]) * 1000) / (t - from[1]), visibility: seen };
}

async function covered(g, label) {
  const shown = await rate(g);
  // A second tab in the game's window, in front of it.
  const cdp = await g.page.context().newCDPSession(g.page);
  const { targetId } = await cdp.send('Target.createTarget',
    { url: 'about:blank', newWindow: false, background: false });
  const hidden = await rate(g);
  await cdp.send('Target.closeTarget', { targetId });
  await g.page.bringToFront();
  console.log(`| ${label} | ${shown.fps.toFixed(1)} (${shown.visibility}) | ` +
              `${hidden.fps.toFixed(1)} (${hidden.visibility}) |`);
}

(async () => {
  await h.scenario('loud', { windowed: true }, async (site, browser) => {
    const g = await h.Game.open(browser.context, site.url);
    await g.start();
    const renderer = g.console.find((l) => /^WebGL renderer|drawing with/.test(l)) || '?';
    console.log(`renderer: ${g.console.filter((l) => /^WebGL renderer|drawing with/.test(l))
      .join('; ') || renderer}\n`);
    console.log('| music | presents a second, tab shown | presents a second, tab covered |');
    console.log('|---|---|---|');
    await h.sleep(500);
    await g.clickAt(320, 320);
    await covered(g, 'playing (the run)');
    await g.page.evaluate(([spec, red]) => window.__bramble.watch('finish', spec, red),
      [h.TEXTS.finish, h.RED]);
    await g.page.waitForFunction(() => window.__bramble.seen('finish'), null,
      { timeout: 200000, polling: 500 });
    await h.sleep(3000);
    await covered(g, 'stopped (after "FINISH !")');
  });
  const load = require('node:fs').readFileSync('/proc/loadavg', 'utf8').split(' ').slice(0, 3);
  console.log(`\nLoad average at the end: ${load.join(' ')}`);
})().catch((e) => {
  console.error(e);
  process.exit(1);
});
