// SPDX-License-Identifier: Zlib
// What the page says when it cannot run the game: no data file, a data file
// cut short, a download that stalls (then retried), the microphone refused (and
// refused again on the next try); and the server, given a malformed path,
// answering 400 and serving on.
'use strict';
const test = require('node:test');
const h = require('./harness');
const { assert } = h;

test('bad input gives a plain message', { timeout: 180000 }, async () => {
  await h.scenario('refused', {}, async (site, browser) => {
    for (const bad of ['/%', '/%00', '/a%zz']) {
      assert.equal(await h.status(site.port, bad), 400, `a malformed path (${bad})`);
    }
    assert.equal(await h.status(site.port, '/page.js'), 200, 'the server serves on');

    let g = await h.Game.open(browser.context, site.url + 'nodata/');
    assert.equal(await g.state(), 'error');
    assert.match(await g.message(), /bramble\.data could not be downloaded \(HTTP 404/);

    g = await h.Game.open(browser.context, site.url + 'cut/');
    assert.equal(await g.state(), 'error');
    assert.match(await g.message(), /data is incomplete: bramble\.data has \d+ of its \d+ bytes/);

    g = await h.Game.open(browser.context, site.url + 'stall/');
    assert.equal(await g.waitState(['stalled', 'error'], 30000), 'stalled', await g.message());
    assert.match(await g.message(), /bramble\.data has stopped: nothing arrived for 15 seconds/);
    await g.page.click('#retry');
    assert.equal(await g.waitState(['ready', 'error'], 60000), 'ready', await g.message());

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
