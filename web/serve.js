// SPDX-License-Identifier: Zlib
// Serves the built site on 127.0.0.1 (make serve-web).
//   node web/serve.js [SITE_DIR] [PORT]     defaults: build-web/site, 8080
'use strict';
const fs = require('node:fs');
const http = require('node:http');
const path = require('node:path');

const root = path.resolve(process.argv[2] || path.join(__dirname, '../build-web/site'));
const port = Number(process.argv[3] || process.env.PORT || 8080);
const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm' };

http.createServer((req, res) => {
  let url = decodeURIComponent(new URL(req.url, 'http://x').pathname);
  if (url.endsWith('/')) url += 'index.html';
  const file = path.join(root, path.normalize(url));
  fs.readFile(file, (err, body) => {
    if (err || !file.startsWith(root + path.sep)) {
      res.writeHead(404, { 'Content-Type': 'text/plain' });
      res.end('not found');
      return;
    }
    res.writeHead(200, { 'Content-Type': types[path.extname(file)] || 'application/octet-stream',
                         'Content-Length': body.length });
    res.end(body);
  });
}).listen(port, '127.0.0.1', () => console.log(`bramble: http://127.0.0.1:${port}/`));
