// SPDX-License-Identifier: Zlib
// The game kept for offline play, against a host that misbehaves as hosts do
// between two deployments, in one browser: a .wasm still uploading (sent at half
// its length to the service worker) is not kept, and a reload plays; a host
// answering 503, or 404 for the page, shows the kept game; a deployment that
// changes the worker alone, whose install meets a failing host, leaves the kept
// set in place (an offline start plays); and a new version whose worker gets
// the old version's index.html keeps nothing of it (an offline start plays the
// version kept before).
'use strict';
const test = require('node:test');
const fs = require('node:fs');
const path = require('node:path');
const h = require('./harness');
const { assert } = h;

// The service worker's own requests name it as their referrer.
const fromWorker = (req) => String(req.headers.referer || '').endsWith('/sw.js');
const isPage = (req) => /^\/(index\.html)?$/.test(req.url);

function send(res, status, type, body) {
  res.writeHead(status, { 'Content-Type': type, 'Content-Length': body.length,
                          'Cache-Control': 'no-store' });
  res.end(body);
}

// Waits until the worker's install, if one is under way or due, has ended
// (kept, or refused); gives the sets kept for this site.
async function settled(page) {
  return page.evaluate(async () => {
    const registration = await navigator.serviceWorker.register('sw.js');
    await registration.update().catch(() => {});
    for (let i = 0; i < 600 && (registration.installing || registration.waiting); i++) {
      await new Promise((resolve) => setTimeout(resolve, 100));
    }
    return (await caches.keys()).filter((key) => key.startsWith('bramble '));
  });
}

async function offlineStart(browser, site, version, what) {
  await browser.context.setOffline(true);
  try {
    const g = await h.Game.open(browser.context, site.url);
    assert.equal(await g.state(), 'ready', `offline, ${what}: ${await g.message()}`);
    assert.equal(await g.page.textContent('#version'), version, `offline, ${what}`);
  } finally {
    await browser.context.setOffline(false);
  }
}

test('the kept game and a host that misbehaves', { timeout: 240000 }, async () => {
  const first = h.siteInfo(h.SITE), next = h.siteInfo(h.NEXT_SITE);
  await h.scenario('silent', {}, async (site, browser) => {
    // An upload under way: the page gets the .wasm whole (and the browser's
    // cache does not keep it), the worker gets its first half.
    const wasm = fs.readFileSync(path.join(first.dir, first.wasm));
    site.misbehave((req, res) => {
      if (req.url !== '/' + first.wasm) return false;
      send(res, 200, 'application/wasm', fromWorker(req) ? wasm.subarray(0, wasm.length >> 1) : wasm);
      return true;
    });
    let g = await h.Game.open(browser.context, site.url);
    assert.equal(await g.state(), 'ready', await g.message());
    assert.deepEqual(await settled(g.page), [], 'a cut .wasm is not kept');
    site.misbehave(null);
    g = await h.Game.open(browser.context, site.url);
    assert.equal(await g.state(), 'ready', `reloaded: ${await g.message()}`);
    await g.page.waitForFunction(() => document.body.dataset.offline === 'kept', null,
      { timeout: 30000 });

    // A failing host, or one that lost the page: the kept game starts.
    for (const [what, how] of [
      ['503 for everything', (req, res) => send(res, 503, 'text/plain', 'Service Unavailable')],
      ['404 for the page', (req, res) => isPage(req) && send(res, 404, 'text/plain', 'not found')],
    ]) {
      site.misbehave((req, res) => how(req, res) !== false);
      g = await h.Game.open(browser.context, site.url);
      assert.equal(await g.state(), 'ready', `${what}: ${await g.message()}`);
      assert.equal(await g.page.textContent('#version'), first.version);
    }

    // A deployment of the same files with another worker, whose install finds
    // the page failing: the set the worker in use answers from stays.
    const worker = fs.readFileSync(path.join(first.dir, 'sw.js'), 'utf8') +
      '\n// The same files, another worker.\n';
    site.misbehave((req, res) => {
      if (req.url === '/sw.js') send(res, 200, 'text/javascript', Buffer.from(worker));
      else if (fromWorker(req) && isPage(req)) send(res, 503, 'text/plain', 'Service Unavailable');
      else return false;
      return true;
    });
    g = await h.Game.open(browser.context, site.url);
    assert.equal(await g.state(), 'ready', await g.message());
    const kept = await settled(g.page);
    assert.equal(kept.length, 1, 'the set stays');
    await offlineStart(browser, site, first.version, 'after a worker changed alone');

    // The next version, whose worker gets this version's index.html (a host
    // caught between two deployments): it keeps nothing.
    site.serveFrom(next.dir);
    const page = fs.readFileSync(path.join(first.dir, 'index.html'));
    site.misbehave((req, res) => fromWorker(req) && isPage(req) &&
      (send(res, 200, 'text/html; charset=utf-8', page), true));
    g = await h.Game.open(browser.context, site.url);
    assert.equal(await g.page.textContent('#version'), next.version);
    assert.equal(await g.state(), 'ready', await g.message());
    assert.deepEqual(await settled(g.page), kept, 'the set kept before, and no other');
    await offlineStart(browser, site, first.version, 'after another build\'s page');
  });
});
