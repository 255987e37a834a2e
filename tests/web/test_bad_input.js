// SPDX-License-Identifier: Zlib
// What the page says when it cannot run the game: no data file, a data file
// cut short, twice its size or with one byte changed, each of the .wasm
// (compiled as it downloads), the game's script and the data stalling (then
// retried, up to "click to play"), the microphone refused (and refused again
// on the next try); and the server, given a malformed path, answering 400 and
// serving on.
'use strict';
const test = require('node:test');
const h = require('./harness');
const { assert } = h;

test('bad input gives a plain message', { timeout: 180000 }, async () => {
  await h.scenario('refused', {}, async (site, browser) => {
    for (const bad of ['/%', '/%00', '/a%zz']) {
      assert.equal(await h.status(site.port, bad), 400, `a malformed path (${bad})`);
    }
    assert.equal(await h.status(site.port, '/index.html'), 200, 'the server serves on');

    // The three stalls wait out their 15 seconds side by side, each in its own page.
    const stalls = Promise.all([['stall-wasm', /bramble\.[0-9a-f]+\.wasm has stopped/],
      ['stall-script', /bramble\.[0-9a-f]+\.js has stopped/],
      ['stall', /bramble\.[0-9a-f]+\.data has stopped: nothing arrived for 15 seconds/]]
      .map(async ([where, said]) => {
        const g = await h.Game.open(browser.context, site.url + where + '/', { fresh: true });
        assert.equal(await g.waitState(['stalled', 'error'], 30000), 'stalled', await g.message());
        assert.match(await g.message(), said);
        await g.page.click('#retry');
        assert.equal(await g.waitState(['ready', 'error'], 60000), 'ready',
          `${where}: ${await g.message()}`);
        await g.page.close();
      }));

    let g = await h.Game.open(browser.context, site.url + 'nodata/');
    assert.equal(await g.state(), 'error');
    assert.match(await g.message(), /bramble\.[0-9a-f]+\.data could not be downloaded \(HTTP 404/);

    g = await h.Game.open(browser.context, site.url + 'cut/');
    assert.equal(await g.state(), 'error');
    assert.match(await g.message(), /bramble\.[0-9a-f]+\.data is incomplete: it has \d+ of its \d+ bytes/);

    g = await h.Game.open(browser.context, site.url + 'big/');
    assert.equal(await g.state(), 'error');
    assert.match(await g.message(), /bramble\.[0-9a-f]+\.data is larger than this version's \d+ bytes/);

    g = await h.Game.open(browser.context, site.url + 'flip/');
    assert.equal(await g.state(), 'error');
    assert.match(await g.message(), /bramble\.[0-9a-f]+\.data is not this version's: its bytes differ/);
    await stalls;

    g = await h.Game.open(browser.context, site.url);
    assert.equal(await g.state(), 'ready', await g.message());
    for (let attempt = 0; attempt < 2; attempt++) {
      assert.equal(await g.start(), 'no-microphone');
      assert.match(await g.message(), /microphone was refused.*needs one/);
      assert.ok(await g.page.isVisible('#play'), 'the page offers to try again');
    }
    assert.equal((await g.read()).frames, 0, 'the game did not start without a microphone');
  });
});
