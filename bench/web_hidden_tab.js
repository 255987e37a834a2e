// SPDX-License-Identifier: Zlib
// What a windowed Chromium does with the game's tab covered by a second tab in
// the same window: presents a second with the tab shown, then covered, once
// while the music plays (the run) and once after it stopped (the run's end,
// "FINISH !", about 145 s in; measured from 35 s after it, since Chromium takes a
// tab as playing sound for some seconds after its last sound). Nothing attaches
// to the game's tab (a DevTools client attached to a page keeps it "visible"
// here): the page served here carries
// the tests' probe and a small driver that starts the game and the run itself
// and writes its frame count and visibility into the tab's title, which the
// browser's target list (/json/list, on 127.0.0.1) shows. Run under a display:
//
//   NODE_PATH=<dir with playwright-core> xvfb-run -a -s '-screen 0 1280x1024x24' \
//     node bench/web_hidden_tab.js [BUILD_DIR]
'use strict';
const fs = require('node:fs');
const http = require('node:http');
const os = require('node:os');
const path = require('node:path');
const { spawn } = require('node:child_process');
if (process.argv[2]) process.env.BRAMBLE_WEB_BUILD = path.resolve(process.argv[2]);
const h = require('../tests/web/harness');
const { siteHandler } = require('../web/serve');

const SPAN = 10000;

// Runs in the page: starts the game and the run as a player would, then keeps
// the title up to date.
function drive(finish, red) {
  const b = window.__bramble;
  const until = (f) => new Promise((resolve) => {
    const timer = setInterval(() => f() && (clearInterval(timer), resolve()), 20);
  });
  setInterval(() => {
    document.title = JSON.stringify({ n: b.frames.length, t: performance.now(),
      v: document.visibilityState, finish: b.seen('finish') || null,
      run: Boolean(window.__run) });
  }, 100);
  window.addEventListener('load', async () => {
    await until(() => document.body.dataset.state === 'ready');
    document.getElementById('play').click();
    await until(() => b.frames.length > 0);
    await new Promise((resolve) => setTimeout(resolve, 1000));
    const c = document.getElementById('canvas');
    const r = c.getBoundingClientRect();
    const at = { clientX: r.left + r.width / 2, clientY: r.top + r.height / 2, bubbles: true,
                 button: 0, buttons: 1 };
    c.dispatchEvent(new MouseEvent('mousemove', at));
    c.dispatchEvent(new MouseEvent('mousedown', at));
    const n = b.frames.length;
    await until(() => b.frames.length >= n + 2);
    c.dispatchEvent(new MouseEvent('mouseup', { ...at, buttons: 0 }));
    window.__run = true;
    b.watch('finish', finish, red);
  });
}

const sleep = h.sleep;
const json = (port, what, method = 'GET') => new Promise((resolve, reject) => {
  const req = http.request({ host: '127.0.0.1', port, path: what, method }, (res) => {
    let body = '';
    res.on('data', (d) => (body += d));
    res.on('end', () => {
      try {
        resolve(JSON.parse(body));
      } catch {
        resolve(body); // /json/close and /json/activate answer in words
      }
    });
  });
  req.on('error', reject);
  req.end();
});

(async () => {
  const probe = `<script>(${h.pageProbe})(${JSON.stringify({ font: h.fontMasks(),
    readable: true })});(${drive})(${JSON.stringify(h.TEXTS.finish)}, ${JSON.stringify(h.RED)});` +
    '</script>';
  const server = http.createServer(siteHandler(h.SITE, (url) => (url !== '/' ? [url]
    : [url, (body) => Buffer.from(body.toString().replace(/<script src="page\./, probe + '$&'))])));
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const url = `http://127.0.0.1:${server.address().port}/`;
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'bramble-chromium-'));
  const browser = spawn(process.env.BRAMBLE_CHROMIUM || '/usr/bin/chromium', [
    ...h.FLAGS.filter((f) => !f.startsWith('--autoplay')),
    '--autoplay-policy=no-user-gesture-required',
    '--use-fake-device-for-media-stream', '--use-fake-ui-for-media-stream',
    `--use-file-for-fake-audio-capture=${h.micFile('loud')}`, `--user-data-dir=${dir}`,
    '--remote-debugging-address=127.0.0.1', '--remote-debugging-port=0', '--window-size=700,760',
    url], { stdio: ['ignore', 'ignore', 'pipe'] });
  try {
    const port = await new Promise((resolve, reject) => {
      let err = '';
      browser.stderr.on('data', (d) => {
        err += d;
        const m = err.match(/ws:\/\/127\.0\.0\.1:(\d+)\//);
        if (m) resolve(m[1]);
      });
      browser.on('exit', () => reject(new Error('the browser ended: ' + err)));
    });
    const game = async () => (await json(port, '/json/list')).find((t) => t.url === url);
    // The list gives the title HTML-escaped.
    const state = async () => JSON.parse(((await game()).title || '{}').replace(/&quot;/g, '"')
      .replace(/&lt;/g, '<').replace(/&gt;/g, '>').replace(/&amp;/g, '&'));
    let s = {};
    for (let i = 0; i < 300 && !s.run; i++) {
      await sleep(100);
      s = await state().catch(() => ({}));
    }
    if (!s.run) throw new Error('the run did not start: ' + JSON.stringify(await game()));
    await sleep(3000);
    const rate = async () => {
      const a = await state();
      await sleep(SPAN);
      const z = await state();
      return `${((1000 * (z.n - a.n)) / (z.t - a.t)).toFixed(1)} (${a.v}, ${z.v})`;
    };
    const covered = async (label) => {
      const shown = await rate();
      const other = await json(port, '/json/new?about:blank', 'PUT');
      await sleep(1000);
      const hidden = await rate();
      await json(port, `/json/close/${other.id}`);
      await json(port, `/json/activate/${(await game()).id}`);
      console.log(`| ${label} | ${shown} | ${hidden} |`);
    };
    console.log('| music | presents a second, tab shown (visibility) | presents a second, ' +
                'tab covered (visibility) |\n|---|---|---|');
    await covered('playing (the run)');
    for (let i = 0; i < 400 && !s.finish; i++) {
      await sleep(500);
      s = await state();
    }
    if (!s.finish) throw new Error('no "FINISH !"');
    // Chromium counts a tab as playing sound for a while after its last sound.
    await sleep(35000);
    await covered(`stopped ("FINISH !" ${(s.finish / 1000).toFixed(1)} s after the first picture)`);
  } finally {
    browser.kill();
    server.close();
    setTimeout(() => fs.rmSync(dir, { recursive: true, force: true }), 1000);
  }
  const load = fs.readFileSync('/proc/loadavg', 'utf8').split(' ').slice(0, 3);
  console.log(`\nLoad average at the end: ${load.join(' ')}`);
})().catch((e) => {
  console.error(e);
  process.exit(1);
});
