// SPDX-License-Identifier: Zlib
// A game file cut short during an upload and answered with the lifetime a host
// gives hashed names (a year, never revalidated): the browser's cache keeps the
// short copy, so the page asks the host once more past that cache, and the game
// starts. Without that, every reload would fail on the same cut copy. A stand-in
// game. Data of the right size and other bytes is told only after the loader took
// it: that start fails, and its reload finds the host's copy. A stand-in
// game (an empty WebAssembly module, a script that starts it, random data) goes
// through cmake/web-site.cmake, so no game build is needed.
'use strict';
const test = require('node:test');
const crypto = require('node:crypto');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const h = require('./harness');
const { assert } = h;

// A site of the stand-in game, built as the real one is.
function standInSite(top) {
  const game = path.join(top, 'game'), icons = path.join(top, 'icons');
  fs.mkdirSync(game);
  fs.mkdirSync(icons);
  const data = crypto.randomBytes(50000);
  fs.writeFileSync(path.join(game, 'bramble.data'), data);
  fs.writeFileSync(path.join(game, 'bramble.wasm'),
    Buffer.from([0, 0x61, 0x73, 0x6d, 1, 0, 0, 0]));
  // The loader's part: take the data, instantiate the module, say it is ready.
  fs.writeFileSync(path.join(game, 'bramble.js'),
    `Module.getPreloadedPackage('bramble.data', ${data.length});\n` +
    'Module.instantiateWasm({}, function () { Module.onRuntimeInitialized(); });\n');
  for (const icon of ['icon-192.png', 'icon-512.png']) {
    fs.writeFileSync(path.join(icons, icon), icon);
  }
  const site = path.join(top, 'site');
  const source = path.join(__dirname, '../..');
  execFileSync('cmake', [`-DSITE=${site}`, '-DVERSION=stand-in', `-DSOURCE_DIR=${source}`,
    `-DGAME_DIR=${game}`, `-DICON_DIR=${icons}`, '-P', path.join(source, 'cmake/web-site.cmake')]);
  return site;
}

// The stand-in site served, whose first answer for the data is `first(whole)`
// (the next are whole) with the lifetime a host gives a hashed name; `body`
// gets a page of Chromium on it and the count of the data's requests so far.
async function firstDataAnswer(first, body) {
  const top = fs.mkdtempSync(path.join(os.tmpdir(), 'bramble-cut-cache-'));
  const site = standInSite(top);
  const { data } = h.siteInfo(site);
  const served = await h.serve(site);
  const browser = await h.launch('silent');
  try {
    const whole = fs.readFileSync(path.join(site, data));
    let asked = 0;
    served.misbehave((req, res) => {
      if (req.url !== '/' + data || asked++ > 0) return false;
      const bytes = first(whole);
      res.writeHead(200, { 'Content-Type': 'application/octet-stream',
                           'Content-Length': bytes.length,
                           'Cache-Control': 'public, max-age=31536000, immutable' });
      res.end(bytes);
      return true;
    });
    const page = await browser.context.newPage();
    await page.goto(served.url);
    await body(page, () => asked);
  } finally {
    await browser.close();
    served.close();
    fs.rmSync(top, { recursive: true, force: true });
  }
}

// The page's state once it offers "click to play" or tells an error.
async function settled(page) {
  await page.waitForFunction(() => ['ready', 'error'].includes(document.body.dataset.state));
  return page.evaluate(() => document.body.dataset.state);
}

test('a file cut short and kept by the browser\'s cache', { timeout: 120000 }, async () => {
  // The first half, as a host gives a file still uploading.
  await firstDataAnswer((whole) => whole.subarray(0, whole.length >> 1), async (page, asked) => {
    assert.equal(await settled(page), 'ready', await page.textContent('#message'));
    assert.equal(asked(), 2, 'the data was asked of the host again');
  });
});

test('a data file of the right size but other bytes, kept by the browser\'s cache',
     { timeout: 120000 }, async () => {
  // Its size, zeros from the middle on, as a host gives a file that its upload
  // program made full size before the bytes arrived.
  const zeroed = (whole) => Buffer.concat([whole.subarray(0, whole.length >> 1),
                                           Buffer.alloc(whole.length - (whole.length >> 1))]);
  await firstDataAnswer(zeroed, async (page, asked) => {
    // Its digest is taken only after the loader took it: this start fails, and
    // the reload it asks for finds the host's copy, not the cached one.
    assert.equal(await settled(page), 'error');
    assert.match(await page.textContent('#message'), /fetched again\. Reload the page/);
    assert.equal(asked(), 2, 'the data was asked of the host again');
    await page.reload();
    assert.equal(await settled(page), 'ready', await page.textContent('#message'));
    assert.equal(asked(), 2, 'the reload took the copy the browser fetched again');
  });
});
