// SPDX-License-Identifier: Zlib
// Serves the built site to this computer only, on 127.0.0.1 (make serve-web),
// with the headers a host should send (README, "Hosting"): a file whose name
// carries its content's hash is kept a year and never revalidated; index.html,
// the service worker and the rest are revalidated on every use. The Brotli or
// gzip form the build wrote beside a file goes to a browser that accepts it.
//   node web/serve.js [SITE_DIR] [PORT]     defaults: build-web/site, 8080
// The browser tests serve the site through the same handler (siteHandler).
'use strict';
const fs = require('node:fs');
const http = require('node:http');
const path = require('node:path');

const types = { '.html': 'text/html; charset=utf-8', '.js': 'text/javascript',
  '.wasm': 'application/wasm', '.json': 'application/json',
  '.webmanifest': 'application/manifest+json', '.png': 'image/png',
  '.txt': 'text/plain; charset=utf-8' };
const HASHED = /\.[0-9a-f]{10}\.[a-z]+$/;
const FOREVER = 'public, max-age=31536000, immutable';
const ENCODINGS = [['br', '.br'], ['gzip', '.gz']];

function answer(res, status, text) {
  res.writeHead(status, { 'Content-Type': 'text/plain' });
  res.end(text);
}

// The compressed form of `file` the request accepts, if the build wrote one:
// [encoding, its path], or null.
function encoded(req, file) {
  const accepted = String(req.headers['accept-encoding'] || '').split(',')
    .map((part) => part.trim().split(';')[0]);
  for (const [encoding, suffix] of ENCODINGS) {
    if (accepted.includes(encoding) && fs.existsSync(file + suffix)) return [encoding, file + suffix];
  }
  return null;
}

// A request handler giving the files under `root`, index.html for a folder. `alter`
// sees each request's path first and returns the path to serve and, to serve a
// damaged file, a function that changes its bytes or withholds it (null); the
// tests serve damaged copies of the site that way. A path that is no file name (a
// broken %-escape, a null byte) gets 400, and nothing a request holds stops the
// server.
function siteHandler(root, alter = (url) => [url]) {
  root = path.resolve(root);
  return (req, res) => {
    let name;
    try {
      name = decodeURIComponent(new URL(req.url, 'http://x').pathname);
    } catch {
      answer(res, 400, 'bad request');
      return;
    }
    if (name.includes('\0')) {
      answer(res, 400, 'bad request');
      return;
    }
    const [url, change] = alter(name);
    const file = path.join(root, path.normalize(url.endsWith('/') ? url + 'index.html' : url));
    const form = change ? null : encoded(req, file);
    fs.readFile(form ? form[1] : file, (err, data) => {
      const body = err || !file.startsWith(root + path.sep) ? null : change ? change(data) : data;
      if (body === null) {
        answer(res, 404, 'not found');
        return;
      }
      const headers = {
        'Content-Type': types[path.extname(file)] || 'application/octet-stream',
        'Content-Length': body.length,
        'Cache-Control': HASHED.test(file) ? FOREVER : 'no-cache',
        'Vary': 'Accept-Encoding',
      };
      if (form) headers['Content-Encoding'] = form[0];
      // The revalidation of the files that keep their names costs a 304 when unchanged.
      if (!HASHED.test(file)) {
        const stat = fs.statSync(form ? form[1] : file);
        headers.ETag = `"${stat.size.toString(16)}-${Math.floor(stat.mtimeMs).toString(16)}` +
          `${form ? '-' + form[0] : ''}"`;
        if (req.headers['if-none-match'] === headers.ETag) {
          delete headers['Content-Length'];
          res.writeHead(304, headers);
          res.end();
          return;
        }
      }
      res.writeHead(200, headers);
      res.end(body);
    });
  };
}

module.exports = { siteHandler };

if (require.main === module) {
  const root = process.argv[2] || path.join(__dirname, '../build-web/site');
  const port = Number(process.argv[3] || process.env.PORT || 8080);
  http.createServer(siteHandler(root)).listen(port, '127.0.0.1', () => {
    console.log(`bramble: http://127.0.0.1:${port}/ on this computer only.\n` +
      'Browsers give the microphone only to pages served over https or from the same ' +
      'computer: to play on phones, put the site on an https host (README, "Hosting").');
  });
}
