// SPDX-License-Identifier: Zlib
// Figures of the browser build in headless Chromium on this machine (printed as
// Markdown for docs/performance.md):
//  - the download: each file the page loads, raw and in the gzip (-9) and Brotli
//    (-q 11) forms the build writes beside it, which web/serve.js sends;
//  - navigation to "click to play", and the click to the game's first picture;
//  - the interval between the game's presents over 600 frames (start screen,
//    then challenges), with its drift from the 16 ms schedule, beside the same
//    figures of a bare setTimeout loop on 16 ms deadlines (the timer's own limit),
//    for each renderer: the one the engine chooses here (headless Chromium's
//    WebGL is SwiftShader, on the CPU: the 2-D canvas) and WebGL, forced;
//  - CPU time per frame of all the browser's processes over those frames;
//  - the share of in-between pixels in a band through the start text at pixel
//    ratios 1, 1.5, 2 and 3 (a sharp pixel font has none);
//  - in each engine (Chromium, Firefox ESR, WebKitGTK: tests/web/harness.js), with
//    the renderer the game chooses there: navigation to "click to play", the
//    click to the first picture, and the interval between presents and the
//    browser's CPU per frame over the start screen and the challenges.
//
//   NODE_PATH=<dir with playwright-core and puppeteer-core> \
//     node bench/web_measure.js [BUILD_DIR] [RUNS] [engines]
// With "engines", only the engines' table.
'use strict';
const fs = require('node:fs');
const path = require('node:path');
if (process.argv[2]) process.env.BRAMBLE_WEB_BUILD = path.resolve(process.argv[2]);
const h = require('../tests/web/harness');
const RUNS = Number(process.argv[3] || 3);
const ONLY_ENGINES = process.argv[4] === 'engines';
const FRAMES = 600;

// CPU seconds (user + system) of this process' descendants: the browser's.
function browserCpu() {
  const tick = 100; // USER_HZ
  const kids = new Map();
  for (const pid of fs.readdirSync('/proc').filter((d) => /^\d+$/.test(d))) {
    try {
      const stat = fs.readFileSync(`/proc/${pid}/stat`, 'utf8');
      const f = stat.slice(stat.lastIndexOf(')') + 2).split(' ');
      kids.set(Number(pid), { ppid: Number(f[1]), cpu: (Number(f[11]) + Number(f[12])) / tick });
    } catch { /* gone meanwhile */ }
  }
  let sum = 0;
  for (const [pid, p] of kids) {
    for (let up = p.ppid; up > 1; up = kids.has(up) ? kids.get(up).ppid : 0) {
      if (up === process.pid) { sum += p.cpu; break; }
    }
    void pid;
  }
  return sum;
}

const stats = (v) => {
  const mean = v.reduce((a, b) => a + b, 0) / v.length;
  const sd = Math.sqrt(v.reduce((a, b) => a + (b - mean) ** 2, 0) / v.length);
  const sorted = [...v].sort((a, b) => a - b);
  return { mean, sd, p99: sorted[Math.floor(0.99 * (v.length - 1))], max: sorted[v.length - 1] };
};

async function frames(g, n) {
  const from = await g.page.evaluate(() => window.__bramble.frames.length);
  const cpu0 = browserCpu();
  await g.page.waitForFunction((k) => window.__bramble.frames.length >= k, from + n + 1,
    { timeout: 60000, polling: 500 });
  const cpu = browserCpu() - cpu0;
  const t = await g.page.evaluate(([a, k]) => window.__bramble.frames.slice(a, a + k + 1),
    [from, n]);
  const dt = t.slice(1).map((x, i) => x - t[i]);
  return { ...stats(dt), drift: t[n] - t[0] - 16 * n, late: dt.filter((d) => d > 17.5).length,
           cpu: (1000 * cpu) / n };
}

// The browser's own timer lateness, the yardstick of the game's pacing: the
// page (before the game starts) waits for 600 absolute 16 ms deadlines with
// setTimeout, as the engine's frame wait does in the browser (emscripten_sleep).
async function timerProbe(page) {
  const t = await page.evaluate(async (n) => {
    const times = [performance.now()];
    let due = times[0];
    for (let i = 0; i < n; i++) {
      due += 16;
      await new Promise((resolve) => setTimeout(resolve, Math.max(0, due - performance.now())));
      times.push(performance.now());
    }
    return times;
  }, FRAMES);
  const dt = t.slice(1).map((x, i) => x - t[i]);
  return { ...stats(dt), drift: t[FRAMES] - t[0] - 16 * FRAMES,
           late: dt.filter((d) => d > 17.5).length, cpu: NaN };
}

const f = (x, d = 2) => x.toFixed(d);
const load = () => fs.readFileSync('/proc/loadavg', 'utf8').split(' ').slice(0, 3).join(' ');

// Each engine, one after another, RUNS times: the renderer the game takes there,
// the start and the pacing. The browser's CPU is every process started for it
// (for WebKit also its X server and its WebDriver server).
async function engines() {
  console.log(`Load average at the start: ${load()}\n`);
  console.log('| engine | renderer | run | navigation to "click to play" ms | ' +
              'click to first picture ms | scene | interval mean ms | sd ms | max ms | ' +
              'browser CPU per frame ms |');
  console.log('|---|---|---|---|---|---|---|---|---|---|');
  // And WebKit with its WebGL hidden from the game (it runs on llvmpipe here,
  // which WebKit does not disclose): the 2-D canvas there.
  const cases = [...h.ENGINES.map((engine) => [engine, false]), ['webkit', true]];
  for (const [engine, hidden] of cases) {
    for (let run = 1; run <= RUNS; run++) {
      await h.scenario('silent', { engine }, async (site, browser) => {
        const g = await h.Game.open(browser.context, site.url, { readable: false });
        if (hidden) {
          // Before the click: the game asks for its context only then.
          await g.page.evaluate(() => {
            const getContext = HTMLCanvasElement.prototype.getContext;
            HTMLCanvasElement.prototype.getContext = function (type, attrs) {
              return /webgl/.test(type) ? null : getContext.call(this, type, attrs);
            };
          });
        }
        await g.start();
        const start = await frames(g, FRAMES);
        await g.clickAt(320, 320);
        const play = await frames(g, FRAMES);
        const renderer = g.console.some((l) => /drawing with the 2-D canvas/.test(l))
          ? '2-D canvas' : 'WebGL';
        for (const [scene, s] of [['start screen', start], ['challenges', play]]) {
          console.log(`| ${engine} | ${renderer} | ${run} | ${g.readyAt - g.navigated} | ` +
                      `${g.firstPicture - g.clicked} | ${scene} | ${f(s.mean, 3)} | ` +
                      `${f(s.sd, 3)} | ${f(s.max)} | ${f(s.cpu)} |`);
        }
      });
    }
  }
  console.log(`\nLoad average at the end: ${load()}`);
}

(async () => {
  if (ONLY_ENGINES) return engines();
  console.log('| file | bytes | gzip -9 bytes | Brotli bytes |\n|---|---|---|---|');
  const site = h.siteInfo();
  const total = [0, 0, 0];
  for (const f of ['index.html', site.page, site.script, site.wasm, site.data]) {
    const sizes = ['', '.gz', '.br'].map((form) => {
      const file = path.join(h.SITE, f + form);
      // A file under 1 KiB has no compressed forms: it goes as it is.
      return fs.statSync(fs.existsSync(file) ? file : path.join(h.SITE, f)).size;
    });
    sizes.forEach((n, i) => (total[i] += n));
    const shown = f.replace(/\.[0-9a-f]{10}\./, '.').replace(/\.json$/, '.json (file list)');
    console.log(`| ${shown} | ${sizes.join(' | ')} |`);
  }
  console.log(`| total | ${total[0]} | ${total[1]} | **${total[2]}** |\n`);

  console.log(`Load average at the start: ${load()}\n`);
  const rows = [];
  // The engine's choice, then WebGL named through SDL_RENDER_DRIVER (web/pre.js).
  for (const [renderer, driver] of [['chosen', null], ['forced', 'opengles2']]) {
    for (let run = 0; run < RUNS; run++) {
      await h.scenario('silent', {}, async (site, browser) => {
        if (driver) {
          // The page assigns window.Module; the renderer is added to it as it does.
          await browser.context.addInitScript((d) => {
            Object.defineProperty(window, 'Module', {
              configurable: true,
              set(m) {
                m.renderDriver = d;
                Object.defineProperty(window, 'Module', { value: m, writable: true });
              },
            });
          }, driver);
        }
        const g = await h.Game.open(browser.context, site.url, { readable: false });
        const probe = await timerProbe(g.page);
        await g.start();
        const start = await frames(g, FRAMES);
        await g.clickAt(320, 320);
        const play = await frames(g, FRAMES);
        const chosen = g.console.some((l) => /drawing with the 2-D canvas/.test(l)) ? '2-D canvas'
          : 'WebGL';
        rows.push({ renderer: `${renderer}: ${chosen}`, ready: g.readyAt - g.navigated,
                    first: g.firstPicture - g.clicked, probe, start, play });
      });
    }
  }
  console.log('| renderer | run | navigation to "click to play" ms | click to first picture ms |');
  console.log('|---|---|---|---|');
  rows.forEach((r, i) => console.log(`| ${r.renderer} | ${(i % RUNS) + 1} | ${r.ready} | ` +
                                     `${r.first} |`));
  console.log('\n| renderer | run | scene | interval mean ms | sd ms | p99 ms | max ms | ' +
              'drift ms | late (> 17.5 ms) | browser CPU per frame ms |');
  console.log('|---|---|---|---|---|---|---|---|---|---|');
  rows.forEach((r, i) => {
    for (const [name, s] of [['timer probe (no game)', r.probe], ['start screen', r.start],
                             ['challenges', r.play]]) {
      console.log(`| ${r.renderer} | ${(i % RUNS) + 1} | ${name} | ${f(s.mean, 3)} | ` +
                  `${f(s.sd, 3)} | ` +
                  `${f(s.p99)} | ${f(s.max)} | ${f(s.drift, 1)} | ${s.late} | ` +
                  `${isNaN(s.cpu) ? '-' : f(s.cpu)} |`);
    }
  });

  // Sharpness: the start screen at each pixel ratio, a band through "OU PAS ?".
  console.log('\n| pixel ratio | in-between pixels in the band |\n|---|---|');
  for (const ratio of [1, 1.5, 2, 3]) {
    await h.scenario('silent', { device: { deviceScaleFactor: ratio } }, async (site, browser) => {
      const g = await h.Game.open(browser.context, site.url);
      await g.start();
      await g.until({ texts: { ou: h.TEXTS.ou } }, (p) => p.texts.ou.score > h.SHOWN, 5000);
      await h.sleep(1500); // the word grown to its full size
      const [, , top, size] = h.TEXTS.ou;
      const b = await h.blur(g.page, top, 32 * size);
      console.log(`| ${ratio} | ${(100 * b.share).toFixed(3)} % |`);
    });
  }
  console.log(`\nLoad average at the end: ${load()}\n`);
  await engines();
})().catch((e) => {
  console.error(e);
  process.exit(1);
});
