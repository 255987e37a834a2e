// SPDX-License-Identifier: Zlib
// Serves the built site on 127.0.0.1 (make serve-web).
//   node web/serve.js [SITE_DIR] [PORT]     defaults: build-web/site, 8080
// The browser tests serve the site through the same handler (siteHandler).
'use strict';
const fs = require('node:fs');
const http = require('node:http');
const path = require('node:path');

const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm',
  '.json': 'application/json', '.txt': 'text/plain; charset=utf-8' };

function answer(res, status, text) {
  res.writeHead(status, { 'Content-Type': 'text/plain' });
  res.end(text);
}

// A request handler giving the files under `root`, index.html for a folder. `alter`
// sees each request's path first and returns the path to serve and a function that
// may change the file's bytes or withhold the file (null); the tests serve damaged
// copies of the site that way. A path that is no file name (a broken %-escape, a
// null byte) gets 400, and nothing a request holds stops the server.
function siteHandler(root, alter = (url) => [url, (body) => body]) {
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
    fs.readFile(file, (err, data) => {
      const body = err || !file.startsWith(root + path.sep) ? null : change(data);
      if (body === null) {
        answer(res, 404, 'not found');
        return;
      }
      res.writeHead(200, {
        'Content-Type': types[path.extname(file)] || 'application/octet-stream',
        'Content-Length': body.length,
        'Cache-Control': 'no-store',
      });
      res.end(body);
    });
  };
}

module.exports = { siteHandler };

if (require.main === module) {
  const root = process.argv[2] || path.join(__dirname, '../build-web/site');
  const port = Number(process.argv[3] || process.env.PORT || 8080);
  http.createServer(siteHandler(root))
    .listen(port, '127.0.0.1', () => console.log(`bramble: http://127.0.0.1:${port}/`));
}
