// SPDX-License-Identifier: Zlib
// Serves the built site to this computer only, on 127.0.0.1 (make serve-web),
// with the headers a host should send (README, "Hosting"): a file whose name
// carries its content's hash is kept a year and never revalidated; index.html,
// the service worker and the rest are revalidated on every use. The Brotli or
// gzip form the build wrote beside a file goes to a browser that accepts it.
//   node web/serve.js [SITE_DIR] [PORT]     defaults: build-web/site, 8080
// The browser tests serve the site through the same handler (siteHandler).
'use strict';
const crypto = require('node:crypto');
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

// The encodings the request accepts: those it names with a weight above zero
// ("gzip;q=0" refuses gzip), and "*" for any it does not name.
function accepts(req, encoding) {
  const weights = new Map();
  for (const part of String(req.headers['accept-encoding'] || '').split(',')) {
    const [name, ...params] = part.split(';').map((s) => s.trim().toLowerCase());
    if (!name) continue;
    const q = params.find((p) => /^q=/.test(p));
    const weight = q ? Number(q.slice(2)) : 1;
    weights.set(name, Number.isNaN(weight) ? 0 : weight);
  }
  const weight = weights.has(encoding) ? weights.get(encoding) : weights.get('*');
  return weight > 0;
}

// `file` opened for reading when it lies inside `root` once every link is
// followed (a link in the site that leads out of it is refused), or null. The
// answer is read from this one open file, so a file removed or replaced
// meanwhile gives either its old bytes or nothing, never an error.
async function openInside(root, file) {
  let handle = null;
  try {
    const real = await fs.promises.realpath(file);
    if (!real.startsWith(root + path.sep)) return null;
    handle = await fs.promises.open(real, 'r');
    const stat = await handle.stat();
    if (!stat.isFile()) {
      await handle.close();
      return null;
    }
    return handle;
  } catch {
    if (handle) await handle.close().catch(() => {});
    return null;
  }
}

// The compressed form of `file` the request accepts, if the build wrote one:
// [encoding, its open file], or null.
async function encoded(req, root, file) {
  for (const [encoding, suffix] of ENCODINGS) {
    if (!accepts(req, encoding)) continue;
    const handle = await openInside(root, file + suffix);
    if (handle) return [encoding, handle];
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
  // The folder as its links lead, so that "inside" compares real paths.
  root = path.resolve(root);
  try {
    root = fs.realpathSync(root);
  } catch { /* no such folder: every request gets 404 */ }
  const respond = async (req, res) => {
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
    const form = change || !file.startsWith(root + path.sep) ? null : await encoded(req, root, file);
    const handle = form ? form[1] : await openInside(root, file);
    let data = null;
    if (handle) {
      try {
        data = await handle.readFile();
      } finally {
        await handle.close();
      }
    }
    const body = data === null ? null : change ? change(data) : data;
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
    // The revalidation of the files that keep their names costs a 304 when
    // unchanged: the tag comes from the bytes sent, as two builds (or an upload
    // that keeps file times) can give new bytes the same size and time.
    if (!HASHED.test(file)) {
      headers.ETag = '"' + crypto.createHash('sha256').update(body).digest('base64url')
        .slice(0, 27) + '"';
      if (req.headers['if-none-match'] === headers.ETag) {
        delete headers['Content-Length'];
        res.writeHead(304, headers);
        res.end();
        return;
      }
    }
    res.writeHead(200, headers);
    res.end(body);
  };
  return (req, res) => {
    respond(req, res).catch((e) => {
      if (!res.headersSent) answer(res, 500, 'server error: ' + e.message);
      else res.destroy();
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
