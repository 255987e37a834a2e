// SPDX-License-Identifier: Zlib
// web/serve.js on a small folder of its own (no browser, no built site): a file
// rewritten with the same size and time gets a new ETag; "q=0" refuses an
// encoding; a link that leads out of the folder is refused; and a file that
// vanishes while it is being answered neither throws nor ends the server.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const fs = require('node:fs');
const http = require('node:http');
const os = require('node:os');
const path = require('node:path');
const zlib = require('node:zlib');
const { siteHandler } = require('../../web/serve');

function get(port, target, headers = {}) {
  return new Promise((resolve, reject) => {
    const req = http.get({ host: '127.0.0.1', port, path: target, headers }, (res) => {
      const parts = [];
      res.on('data', (part) => parts.push(part));
      res.on('end', () => resolve({ status: res.statusCode, headers: res.headers,
                                    body: Buffer.concat(parts) }));
    }).on('error', reject);
    // A server that lost the request answers nothing.
    req.setTimeout(5000, () => req.destroy(new Error(`no answer to ${target}`)));
  });
}

async function serving(root, alter, body) {
  const server = http.createServer(siteHandler(root, alter));
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  try {
    return await body(server.address().port);
  } finally {
    server.close();
  }
}

test('web/serve.js', async (t) => {
  const top = fs.mkdtempSync(path.join(os.tmpdir(), 'bramble-serve-'));
  try {
    const site = path.join(top, 'site');
    fs.mkdirSync(site);
    fs.writeFileSync(path.join(top, 'secret.txt'), 'not the site\n');
    fs.symlinkSync(path.join(top, 'secret.txt'), path.join(site, 'out.txt'));
    const page = path.join(site, 'index.html');
    const text = 'x'.repeat(2000);
    fs.writeFileSync(page, text);
    fs.writeFileSync(page + '.gz', zlib.gzipSync(text));
    const when = new Date('2026-01-01T00:00:00Z');
    fs.utimesSync(page, when, when);

    await serving(site, undefined, (port) => t.test('an ETag from the content', async () => {
      // The same size and time, other bytes: a 304 would keep the old page.
      const first = await get(port, '/');
      assert.equal(first.status, 200);
      fs.writeFileSync(page, 'y'.repeat(2000));
      fs.utimesSync(page, when, when);
      const second = await get(port, '/', { 'If-None-Match': first.headers.etag });
      assert.equal(second.status, 200, 'new bytes under the old tag');
      assert.equal(second.body.toString(), 'y'.repeat(2000));
      assert.notEqual(second.headers.etag, first.headers.etag);
      assert.equal((await get(port, '/', { 'If-None-Match': second.headers.etag })).status, 304);
    }).then(() => t.test('q-values', async () => {
      for (const [accept, sent] of [['gzip;q=0', undefined], ['gzip; q=0.0, identity', undefined],
        ['br;q=0, gzip;q=0.5', 'gzip'], ['*;q=0', undefined], ['*', 'gzip'], ['gzip', 'gzip']]) {
        const r = await get(port, '/index.html', { 'Accept-Encoding': accept });
        assert.equal(r.headers['content-encoding'], sent, `Accept-Encoding: ${accept}`);
      }
    })).then(() => t.test('a link out of the folder', async () => {
      const out = await get(port, '/out.txt');
      assert.equal(out.status, 404, 'a link out of the folder');
      assert.ok(!out.body.toString().includes('not the site'));
    })));

    // Removed between the read and the answer (the tests' `alter` runs there).
    const doomed = path.join(site, 'doomed.txt');
    fs.writeFileSync(doomed, 'soon gone');
    await serving(site, (url) => (url === '/doomed.txt'
      ? [url, (body) => { fs.rmSync(doomed); return body; }] : [url]),
    (port) => t.test('a file that vanishes', async () => {
      const r = await get(port, '/doomed.txt');
      assert.equal(r.status, 200);
      assert.equal(r.body.toString(), 'soon gone');
      assert.equal((await get(port, '/doomed.txt')).status, 404);
      assert.equal((await get(port, '/')).status, 200, 'the server serves on');
    }));
  } finally {
    fs.rmSync(top, { recursive: true, force: true });
  }
});
