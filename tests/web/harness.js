// SPDX-License-Identifier: Zlib
// Shared pieces of the browser tests and the browser measurements: the site
// served on 127.0.0.1; a browser of one of the three engines players have,
// Debian's builds of each: Chromium, headless through playwright-core (DevTools)
// with a microphone fed from a WAV file; Firefox ESR, headless through
// puppeteer-core (WebDriver BiDi) with its fake microphone; WebKitGTK's
// MiniBrowser under a private X server (xvfb-run) through its WebDriver server,
// WebKitWebDriver, with WebKit's mock microphone; and the game's picture read
// back from its canvas and recognised with the game's own font sheet. Every
// engine's page answers the part of playwright's Page that the tests use.
//
// Environment: BRAMBLE_WEB_BUILD, the folder web/build.sh built (site/ and
// assets/ inside); BRAMBLE_CHROMIUM, BRAMBLE_FIREFOX and BRAMBLE_WEBKIT_DRIVER,
// the browsers (default /usr/bin/chromium, /usr/bin/firefox-esr,
// /usr/bin/WebKitWebDriver).
'use strict';
const assert = require('node:assert/strict');
const fs = require('node:fs');
const http = require('node:http');
const os = require('node:os');
const path = require('node:path');
const zlib = require('node:zlib');
const { spawn } = require('node:child_process');
const { chromium } = require('playwright-core');
const { siteHandler } = require('../../web/serve');

const BUILD = process.env.BRAMBLE_WEB_BUILD || path.join(__dirname, '../../build-web');
const SITE = path.join(BUILD, 'site');
// The same build's site as another version (tests/web/setup.sh).
const NEXT_SITE = path.join(BUILD, 'site-next');
const FONT = path.join(BUILD, 'assets/asset/atarifont.bmp');
const PICTURE = 640;

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// ---------------------------------------------------------------------------
// The site, as web/serve.js gives it, with damaged copies beside it: /nodata/
// lacks the data file, /cut/ serves it cut to half its length, /big/ twice over,
// /flip/ at its length with one byte changed; /stall-wasm/, /stall-script/ and
// /stall/ stall the .wasm, the game's script and the data: the first request
// gets the first half of the file and then nothing more.
// `root`: the site folder, which `serveFrom` changes; `stop` and `start` end and
// resume serving on the same port (the same origin, for the service worker).
// ---------------------------------------------------------------------------
const DAMAGED = /^\/(nodata|cut|big|flip)(\/.*)$/;
const STALLS = { 'stall-wasm': [/^\/bramble\.[0-9a-f]+\.wasm$/, 0.5],
  'stall-script': [/^\/bramble\.[0-9a-f]+\.js$/, 0.5],
  stall: [/^\/bramble\.[0-9a-f]+\.data$/, 0.5] };

// The same bytes with one changed: the size holds, the digest does not.
function flipped(body) {
  const copy = Buffer.from(body);
  copy[copy.length >> 1] ^= 1;
  return copy;
}

async function serve(root = SITE) {
  const alter = (url) => {
    const m = url.match(DAMAGED);
    if (!m) return [url];
    const [, damage, rest] = m;
    if (!/^\/bramble\.[0-9a-f]+\.data$/.test(rest)) return [rest];
    return [rest, (body) => (damage === 'nodata' ? null : damage === 'cut'
      ? body.subarray(0, body.length >> 1) : damage === 'flip' ? flipped(body)
        : Buffer.concat([body, body]))];
  };
  let site = siteHandler(root, alter);
  const stalled = new Set();
  let misbehave = null;
  const server = http.createServer((req, res) => {
    if (misbehave && misbehave(req, res, root)) return;
    const m = req.url.match(/^\/(stall-wasm|stall-script|stall)(\/.*)$/);
    if (m) {
      const [, kind, rest] = m;
      const [file, share] = STALLS[kind];
      if (file.test(rest) && !stalled.has(kind)) {
        stalled.add(kind);
        if (share > 0) {
          const body = fs.readFileSync(path.join(root, rest));
          res.writeHead(200, { 'Content-Length': body.length, 'Cache-Control': 'no-store' });
          res.write(body.subarray(0, Math.floor(body.length * share)));
        }
        return;
      }
      req.url = rest;
    }
    site(req, res);
  });
  const listen = (port) => new Promise((resolve) => server.listen(port, '127.0.0.1', resolve));
  await listen(0);
  const port = server.address().port;
  const stop = () => {
    server.close();
    if (server.closeAllConnections) server.closeAllConnections();
  };
  return {
    url: `http://127.0.0.1:${port}/`,
    port,
    close: stop,
    stop,
    start: () => listen(port),
    serveFrom: (dir) => {
      root = dir;
      site = siteHandler(root, alter);
    },
    // A host that misbehaves: `how(req, res, root)` answers a request itself and
    // returns true, or leaves it to the site; null serves the site again.
    misbehave: (how) => {
      misbehave = how;
    },
  };
}

// A GET of the raw `target` (sent as written, not re-encoded): its status, headers
// and body as sent.
function get(port, target, headers = {}) {
  return new Promise((resolve, reject) => {
    http.get({ host: '127.0.0.1', port, path: target, headers }, (res) => {
      const parts = [];
      res.on('data', (part) => parts.push(part));
      res.on('end', () => resolve({ status: res.statusCode, headers: res.headers,
                                    body: Buffer.concat(parts) }));
    }).on('error', reject);
  });
}

const status = async (port, target) => (await get(port, target)).status;

// A built site's own account of itself, read from its index.html: the version,
// the build, the names of the page's script and of the game's three files.
function siteInfo(dir = SITE) {
  const index = fs.readFileSync(path.join(dir, 'index.html'), 'utf8');
  const game = JSON.parse(index.match(/<script type="application\/json" id="game">([^<]+)</)[1]);
  return { dir, version: game.version, build: game.build, script: game.script.name,
           wasm: game.wasm.name, data: game.data.name,
           page: index.match(/<script src="([^"]+)"/)[1] };
}

// ---------------------------------------------------------------------------
// Microphone sound: 48 kHz mono 16-bit WAV files, looped by Chromium.
// "loud" is a voice-like tone, its pitch and loudness moving so that the
// browser's noise suppression does not take it for steady noise.
// ---------------------------------------------------------------------------
function micFile(kind) {
  const file = path.join(os.tmpdir(), `bramble-mic-${kind}.wav`);
  const rate = 48000, n = rate * 4;
  const b = Buffer.alloc(44 + 2 * n);
  b.write('RIFF', 0); b.writeUInt32LE(36 + 2 * n, 4); b.write('WAVEfmt ', 8);
  b.writeUInt32LE(16, 16); b.writeUInt16LE(1, 20); b.writeUInt16LE(1, 22);
  b.writeUInt32LE(rate, 24); b.writeUInt32LE(2 * rate, 28); b.writeUInt16LE(2, 32);
  b.writeUInt16LE(16, 34); b.write('data', 36); b.writeUInt32LE(2 * n, 40);
  let phase = 0;
  for (let i = 0; i < n; i++) {
    const t = i / rate;
    let v = 0;
    if (kind === 'loud') {
      phase += (2 * Math.PI * (180 + 60 * Math.sin(2 * Math.PI * 1.3 * t))) / rate;
      const tone = Math.sin(phase) + 0.5 * Math.sin(2 * phase) + 0.3 * Math.sin(3 * phase);
      v = 0.45 * (0.75 + 0.25 * Math.sin(2 * Math.PI * 3.1 * t)) * tone;
    }
    b.writeInt16LE(Math.round(Math.max(-1, Math.min(1, v)) * 32767), 44 + 2 * i);
  }
  fs.writeFileSync(file, b);
  return file;
}

// ---------------------------------------------------------------------------
// The font sheet: 256 x 256, 16 x 32 cells, 16 per row; lit where alpha >= 128.
// ---------------------------------------------------------------------------
function fontMasks() {
  const d = fs.readFileSync(FONT);
  const offset = d.readUInt32LE(10), w = d.readInt32LE(18), h = d.readInt32LE(22);
  assert.equal(d.readUInt16LE(28), 32, 'font sheet: 32-bit pixels expected');
  const rows = Math.abs(h);
  const lit = new Uint8Array(w * rows);
  for (let y = 0; y < rows; y++) {
    const src = offset + 4 * w * (h > 0 ? rows - 1 - y : y);
    for (let x = 0; x < w; x++) lit[y * w + x] = d[src + 4 * x + 3] >= 128 ? 1 : 0;
  }
  return { w, lit: Array.from(lit) };
}

// Installed in the page before its own scripts. It keeps the canvas' drawing
// buffer readable (unless told not to), records the time of every frame the game
// presents, and reads the picture and the text on it. A frame is, with WebGL, the
// first draw into the window after the off-screen picture is done; with the 2-D
// canvas, SDL's copy of the finished picture into it (putImageData).
function pageProbe({ font, readable }) {
  const frames = [];
  let first = null;
  const frame = () => {
    if (first === null) first = performance.now();
    frames.push(performance.now());
    if (frames.length > 20000) frames.splice(0, 10000);
  };
  const getContext = HTMLCanvasElement.prototype.getContext;
  // A readable picture costs a copy per frame: the measurements leave it out.
  if (readable) {
    HTMLCanvasElement.prototype.getContext = function (type, attrs) {
      return getContext.call(this, type, Object.assign({}, attrs, { preserveDrawingBuffer: true }));
    };
  }
  const put = CanvasRenderingContext2D.prototype.putImageData;
  CanvasRenderingContext2D.prototype.putImageData = function (...args) {
    if (this.canvas.id === 'canvas') frame();
    return put.apply(this, args);
  };
  // Without WebGL (--disable-3d-apis) its interface may be missing altogether.
  const proto = typeof WebGLRenderingContext === 'undefined' ? null
    : WebGLRenderingContext.prototype;
  let toWindow = false, counted = false;
  if (proto) {
    const bind = proto.bindFramebuffer;
    proto.bindFramebuffer = function (target, fb) {
      toWindow = fb == null; // the window: null, or undefined for framebuffer 0
      counted = false;
      return bind.call(this, target, fb);
    };
    for (const name of ['drawArrays', 'drawElements']) {
      const draw = proto[name];
      proto[name] = function (...args) {
        if (toWindow && !counted) {
          counted = true;
          frame();
        }
        return draw.apply(this, args);
      };
    }
  }

  const scratch = document.createElement('canvas');
  scratch.width = scratch.height = 640;
  const ctx = scratch.getContext('2d', { willReadFrequently: true });
  const key = (d, i) => (d[i] << 16) | (d[i + 1] << 8) | d[i + 2];
  const rgb = (k) => [k >> 16, (k >> 8) & 255, k & 255];

  // The letterboxed square of the game's picture, scaled back to 640 x 640.
  function shot() {
    const c = document.getElementById('canvas');
    const side = Math.min(c.width, c.height);
    if (side <= 0) return null;
    ctx.imageSmoothingEnabled = false;
    ctx.drawImage(c, (c.width - side) / 2, (c.height - side) / 2, side, side, 0, 0, 640, 640);
    return ctx.getImageData(0, 0, 640, 640).data;
  }

  // How well one character of the sheet, drawn at (x, y) times `size`, fits the
  // picture: the share of its sample points where "lit" matches "differs from
  // the background" (or, inverted, "equals the colour ref"), and the commonest
  // colour of the lit points.
  function glyph(d, ch, x, y, size, ref, inverted) {
    const code = ch.charCodeAt(0), cx = (code % 16) * 16, cy = ((code / 16) | 0) * 32;
    const fine = size < 1;
    const nx = fine ? Math.ceil(16 * size) : 16, ny = fine ? Math.ceil(32 * size) : 32;
    let good = 0, all = 0;
    const inks = new Map();
    for (let j = 0; j < ny; j++) {
      for (let i = 0; i < nx; i++) {
        const px = fine ? x + i : Math.floor(x + (i + 0.5) * size);
        const py = fine ? y + j : Math.floor(y + (j + 0.5) * size);
        const gx = fine ? Math.floor((i + 0.5) / size) : i;
        const gy = fine ? Math.floor((j + 0.5) / size) : j;
        if (px < 0 || py < 0 || px >= 640 || py >= 640 || gx > 15 || gy > 31) continue;
        const lit = font.lit[(cy + gy) * font.w + cx + gx] === 1;
        const k = key(d, 4 * (py * 640 + px));
        const same = k === ref;
        all++;
        if (lit === (inverted ? same : !same)) good++;
        if (lit) inks.set(k, (inks.get(k) || 0) + 1);
      }
    }
    let ink = null, most = 0;
    for (const [k, n] of inks) if (n > most) [ink, most] = [k, n];
    return { score: all ? good / all : 0, ink };
  }

  function text(d, s, x, y, size, bg) {
    let score = 0, n = 0, ink = null;
    for (let i = 0; i < s.length; i++) {
      if (s[i] === ' ') continue;
      const g = glyph(d, s[i], x + Math.floor(16 * i * size), y, size, bg, false);
      score += g.score;
      n++;
      if (ink === null) ink = g.ink;
    }
    return { score: n ? score / n : 0, ink: ink === null ? null : rgb(ink) };
  }

  // The letter of A..Z that fits best at (x, y): [letter, score].
  function letter(d, x, y, size, ref, inverted) {
    let best = ['?', 0];
    for (let c = 65; c <= 90; c++) {
      const g = glyph(d, String.fromCharCode(c), x, y, size, ref, inverted);
      if (g.score > best[1]) best = [String.fromCharCode(c), g.score];
    }
    return best;
  }

  // The background: the commonest colour of the picture's right edge, which no
  // text reaches.
  function background(d) {
    const seen = new Map();
    for (let y = 4; y < 640; y += 12) {
      const k = key(d, 4 * (y * 640 + 636));
      seen.set(k, (seen.get(k) || 0) + 1);
    }
    let best = 0, most = 0;
    for (const [k, n] of seen) if (n > most) [best, most] = [k, n];
    return best;
  }

  // What the tests ask of one picture.
  function read(ask) {
    const d = shot();
    if (d === null) return null;
    const bg = background(d);
    const out = { bg: rgb(bg), frames: frames.length, texts: {} };
    for (const [name, [s, x, y, size]] of Object.entries(ask.texts || {})) {
      out.texts[name] = text(d, s, x, y, size, bg);
    }
    if (ask.prompt) {
      // The asked letter, white, and the labels of the top letter row (Q to P),
      // in the background colour over the drawn keys.
      out.asked = letter(d, 350, 150, 2.5, bg, false);
      out.labels = Array.from({ length: 10 }, (_, i) => letter(d, 148 + 32 * i, 342, 0.8, bg, true));
    }
    return out;
  }

  // A watch of its own for one text, whatever the test does meanwhile: the
  // page's time (performance.now) of the first picture showing it over `bg`,
  // checked every 100 ms; `seen(name)` gives that time less the first frame's.
  const seen = {};
  function watch(name, spec, bg) {
    const timer = setInterval(() => {
      const d = shot();
      if (d === null || first === null) return;
      const ground = background(d);
      if (bg && rgb(ground).some((v, i) => v !== bg[i])) return;
      if (text(d, ...spec, ground).score > 0.95) {
        seen[name] = performance.now() - first;
        clearInterval(timer);
      }
    }, 100);
  }

  window.__bramble = { frames, read, watch, seen: (name) => seen[name] };
}

// ---------------------------------------------------------------------------
// The browser and the game
// ---------------------------------------------------------------------------
const FLAGS = ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
  '--autoplay-policy=user-gesture-required'];

// A phone: its screen in CSS pixels at pixel ratio 3, touch only, its user agent.
const PHONE = {
  viewport: { width: 390, height: 844 }, deviceScaleFactor: 3, isMobile: true, hasTouch: true,
  userAgent: 'Mozilla/5.0 (Linux; Android 14; Pixel 8) AppleWebKit/537.36 (KHTML, like Gecko) ' +
             'Chrome/120.0.0.0 Mobile Safari/537.36',
};

// mic: 'silent' or 'loud' (a fake microphone playing that sound, permission
// given), or 'refused' (permission prompts denied). `args`: more browser flags;
// `device`: options of the emulated screen (PHONE, or a pixel ratio). `engine`:
// 'chromium' (the default), 'firefox' or 'webkit'; these two have a fake
// microphone of their own whatever `mic` says (Firefox's reads as quiet to the
// game, WebKit's as loud), and take neither `args` nor `device`.
async function launch(mic, { args: more = [], device = {}, engine = 'chromium' } = {}) {
  if (engine === 'firefox') return launchFirefox();
  if (engine === 'webkit') return launchWebKit();
  assert.equal(engine, 'chromium', `an engine of ${ENGINES.join(', ')}`);
  const args = [...FLAGS, '--use-fake-device-for-media-stream', ...more];
  if (mic === 'refused') args.push('--deny-permission-prompts');
  else args.push('--use-fake-ui-for-media-stream', `--use-file-for-fake-audio-capture=${micFile(mic)}`);
  const userDir = tempDir('bramble-chromium-');
  let context;
  try {
    context = await chromium.launchPersistentContext(userDir.path, {
      executablePath: process.env.BRAMBLE_CHROMIUM || '/usr/bin/chromium',
      headless: true,
      args,
      viewport: { width: PICTURE, height: PICTURE },
      ...device,
    });
  } catch (e) {
    userDir.remove();
    throw e;
  }
  const close = async () => {
    await context.close();
    userDir.remove();
  };
  return { engine, context, close };
}

// A temporary folder: its path, and remove(), which node's exit
// calls too: a test past its time-out ends its file without closing its
// browser, whose launcher then ends the browser and leaves its folder.
function tempDir(prefix) {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), prefix));
  const remove = () => {
    process.off('exit', remove);
    fs.rmSync(dir, { recursive: true, force: true });
  };
  process.on('exit', remove);
  return { path: dir, remove };
}

const ENGINES = ['chromium', 'firefox', 'webkit'];

// A context of one page, for the engines driven without playwright: a "new" page
// is that one too.
const onePage = (page) => ({ pages: () => [page], newPage: async () => page });

// Firefox ESR, headless, over WebDriver BiDi. Its fake microphone needs no
// permission prompt.
async function launchFirefox() {
  const puppeteer = require('puppeteer-core');
  // A profile of ours: puppeteer removes its own only on a close.
  const profile = tempDir('bramble-firefox-');
  let browser;
  try {
    browser = await puppeteer.launch({
      browser: 'firefox',
      userDataDir: profile.path,
      executablePath: process.env.BRAMBLE_FIREFOX || '/usr/bin/firefox-esr',
      headless: true,
      defaultViewport: { width: PICTURE, height: PICTURE },
      extraPrefsFirefox: { 'media.navigator.streams.fake': true,
                           'media.navigator.permission.disabled': true },
    });
  } catch (e) {
    profile.remove();
    throw e;
  }
  const close = async () => {
    try {
      await browser.close();
    } finally {
      profile.remove();
    }
  };
  try {
    const page = (await browser.pages())[0] || (await browser.newPage());
    // The launch's default viewport does not reach the first tab.
    await page.setViewport({ width: PICTURE, height: PICTURE });
    const tab = {
      goto: (url) => page.goto(url),
      evaluate: (fn, arg) => page.evaluate(fn, arg),
      // playwright's argument order: the function, its argument, the options.
      waitForFunction: (fn, arg, { timeout = 30000, polling = 'raf' } = {}) =>
        page.waitForFunction(fn, { timeout, polling }, arg),
      click: (selector) => page.click(selector),
      textContent: (selector) => page.$eval(selector, (e) => e.textContent),
      mouse: page.mouse,
      keyboard: page.keyboard,
      screenshot: async () => Buffer.from(await page.screenshot()),
      addInitScript: (fn, arg) => page.evaluateOnNewDocument(fn, arg),
      on: (event, handler) => page.on(event, handler),
    };
    const context = onePage(tab);
    tab.context = () => context;
    return { engine: 'firefox', context, close };
  } catch (e) {
    await close();
    throw e;
  }
}

// WebKit: WebKitWebDriver, a W3C WebDriver server (JSON over HTTP), starts
// MiniBrowser with WebKit's settings as its options; here on a private X server.
const WEBKIT_OPTIONS = ['--automation', '--enable-media-stream=true',
  '--enable-mock-capture-devices=true', '--enable-webaudio=true', '--enable-webgl=true',
  '--enable-fullscreen=true'];
// The keys of a WebDriver key action: the character typed, or a code point of
// the standard's table for the keys without one.
const webDriverKey = (code) => (/^Key[A-Z]$/.test(code) ? code.slice(3).toLowerCase()
  : { Escape: '\uE00C', Space: ' ', Enter: '\uE007', ArrowLeft: '\uE012', ArrowUp: '\uE013',
      ArrowRight: '\uE014', ArrowDown: '\uE015' }[code]);

async function freePort() {
  const probe = http.createServer();
  await new Promise((resolve) => probe.listen(0, '127.0.0.1', resolve));
  const { port } = probe.address();
  await new Promise((resolve) => probe.close(resolve));
  return port;
}

async function launchWebKit() {
  const port = await freePort();
  // The X server's key goes in a folder of ours: xvfb-run, ended by a signal,
  // leaves the one it makes itself.
  const xauth = fs.mkdtempSync(path.join(os.tmpdir(), 'bramble-webkit-'));
  // Its own process group, so that closing ends the X server and the browser too.
  const driver = spawn('xvfb-run', ['-a', '-f', path.join(xauth, 'Xauthority'),
    '-s', '-screen 0 1280x1024x24',
    process.env.BRAMBLE_WEBKIT_DRIVER || 'WebKitWebDriver', '--host=127.0.0.1', `--port=${port}`],
  { detached: true, stdio: ['ignore', 'pipe', 'pipe'] });
  // Its output (the web process' too), shown when a command fails: a crash says so there.
  let log = '';
  for (const stream of [driver.stdout, driver.stderr]) {
    stream.on('data', (d) => { log = (log + d).slice(-20000); });
  }
  const base = `http://127.0.0.1:${port}`;
  const call = async (method, target, body) => {
    const res = await fetch(base + target, { method, body: body && JSON.stringify(body),
      headers: { 'Content-Type': 'application/json' } });
    const answer = await res.json();
    if (!res.ok) {
      const { error, message } = answer.value || {};
      throw new Error(`WebDriver ${method} ${target}: ${error}: ${message}\n` +
                      `WebKitWebDriver's output:\n${log.slice(-4000)}`);
    }
    return answer.value;
  };
  // Also when node exits without a close (a test past its time-out, a throw
  // outside its try), as playwright and puppeteer end their browsers: nothing
  // else would end a process group of its own.
  const kill = () => {
    process.off('exit', kill);
    try { process.kill(-driver.pid, 'SIGTERM'); } catch { /* gone */ }
    fs.rmSync(xauth, { recursive: true, force: true });
  };
  process.on('exit', kill);
  let session;
  try {
    for (let tries = 0; ; tries++) {
      try {
        await call('GET', '/status');
        break;
      } catch (e) {
        if (tries > 300 || driver.exitCode !== null) throw new Error(`WebKitWebDriver: ${log}`);
        await sleep(100);
      }
    }
    session = (await call('POST', '/session', { capabilities: { alwaysMatch: {
      'webkitgtk:browserOptions': { args: WEBKIT_OPTIONS } } } })).sessionId;
  } catch (e) {
    kill();
    throw e;
  }
  const at = (p) => `/session/${session}${p}`;
  // A function called in the page with one argument; a promise it returns is awaited.
  const evaluate = (fn, arg) => call('POST', at('/execute/sync'),
    { script: `return (${fn}).apply(null, arguments)`, args: arg === undefined ? [] : [arg] });
  const inits = [];
  const listeners = [];
  const actions = (source) => call('POST', at('/actions'), { actions: [source] });
  const pointer = (steps) => actions({ type: 'pointer', id: 'mouse',
    parameters: { pointerType: 'mouse' }, actions: steps });
  const keys = (type, code) => actions({ type: 'key', id: 'keyboard',
    actions: [{ type, value: webDriverKey(code) }] });
  const tab = {
    // No script runs before the page's own here: the ones to install are run
    // once the page has loaded, before anything creates the game's canvas context
    // (the game does on the click). Its console lines are kept in the page and
    // handed to the listeners at every evaluation.
    async goto(url) {
      await call('POST', at('/url'), { url });
      await evaluate(() => {
        window.__console = [];
        for (const level of ['log', 'info', 'warn', 'error']) {
          const write = console[level];
          console[level] = (...args) => {
            window.__console.push(args.map(String).join(' '));
            return write.apply(console, args);
          };
        }
      });
      for (const [fn, arg] of inits) await evaluate(fn, arg);
    },
    async evaluate(fn, arg) {
      const value = await evaluate(fn, arg);
      if (listeners.length) {
        const lines = await evaluate(() => (window.__console || []).splice(0));
        for (const text of lines) for (const l of listeners) l({ text: () => text });
      }
      return value;
    },
    // Polled from here: every 16 ms unless told otherwise, as for playwright's
    // 'raf' (once a frame), its default.
    async waitForFunction(fn, arg, { timeout = 30000, polling = 'raf' } = {}) {
      const end = Date.now() + timeout;
      for (;;) {
        const value = await tab.evaluate(fn, arg);
        if (value) return { jsonValue: async () => value };
        if (Date.now() > end) throw new Error(`timed out after ${timeout} ms waiting for ${fn}`);
        await sleep(polling === 'raf' ? 16 : polling);
      }
    },
    async click(selector) {
      const found = await call('POST', at('/element'), { using: 'css selector', value: selector });
      await call('POST', at(`/element/${Object.values(found)[0]}/click`), {});
    },
    textContent: (selector) => evaluate((s) => document.querySelector(s).textContent, selector),
    mouse: {
      move: (x, y) => pointer([{ type: 'pointerMove', x: Math.round(x), y: Math.round(y),
                                 origin: 'viewport' }]),
      down: () => pointer([{ type: 'pointerDown', button: 0 }]),
      up: () => pointer([{ type: 'pointerUp', button: 0 }]),
    },
    keyboard: {
      down: (code) => keys('keyDown', code),
      up: (code) => keys('keyUp', code),
      press: async (code) => { await keys('keyDown', code); await keys('keyUp', code); },
    },
    screenshot: async () => Buffer.from(await call('GET', at('/screenshot')), 'base64'),
    addInitScript: async (fn, arg) => { inits.push([fn, arg]); },
    on: (event, handler) => { if (event === 'console') listeners.push(handler); },
  };
  const context = onePage(tab);
  tab.context = () => context;
  try {
    // A viewport of 640 x 640 CSS pixels: the window less its own frame, which
    // the page learns of a moment after the window changed.
    let inner = [0, 0];
    for (let tries = 0; tries < 50; tries++) {
      const [rect, [w, hgt]] = [await call('GET', at('/window/rect')),
        await evaluate(() => [innerWidth, innerHeight])];
      inner = [w, hgt];
      if (w === PICTURE && hgt === PICTURE) break;
      await call('POST', at('/window/rect'), { width: rect.width + PICTURE - w,
                                               height: rect.height + PICTURE - hgt });
      await sleep(100);
    }
    assert.deepEqual(inner, [PICTURE, PICTURE], 'a 640 x 640 viewport');
  } catch (e) {
    kill();
    throw e;
  }
  const close = async () => {
    try {
      await call('DELETE', at(''));
    } finally {
      kill();
    }
  };
  return { engine: 'webkit', context, close, log: () => log };
}

// A scenario: the site served and the browser started inside its try, both
// closed whatever happens (a browser that fails to start leaves no server).
// `options` as launch's.
async function scenario(mic, options, body) {
  let site = null, browser = null;
  try {
    site = await serve();
    browser = await launch(mic, options);
    return await body(site, browser);
  } finally {
    if (browser) await browser.close();
    if (site) site.close();
  }
}

class Game {
  constructor(page) {
    this.page = page;
    this.console = [];
    page.on('console', (m) => this.console.push(m.text()));
  }

  // A fresh page on `url` with the probe installed; resolves when the page
  // offers "click to play" (or shows a message instead).
  // `fresh`: in a page of its own, beside those open.
  static async open(context, url, { readable = true, fresh = false } = {}) {
    const page = (!fresh && context.pages()[0]) || (await context.newPage());
    await page.addInitScript(pageProbe, { font: fontMasks(), readable });
    const g = new Game(page);
    g.navigated = Date.now();
    await page.goto(url);
    await g.waitState(['ready', 'error', 'stalled'], 60000);
    g.readyAt = Date.now();
    return g;
  }

  state() {
    return this.page.evaluate(() => document.body.dataset.state);
  }

  message() {
    return this.page.evaluate(() => document.getElementById('message').textContent);
  }

  async waitState(states, ms) {
    await this.page.waitForFunction((s) => s.includes(document.body.dataset.state), states,
      { timeout: ms });
    return this.state();
  }

  // Clicks "click to play"; resolves on the game's first picture.
  async start() {
    await this.page.click('#play');
    const state = await this.waitState(['playing', 'no-microphone', 'error'], 30000);
    if (state !== 'playing') return state;
    this.clicked = Date.now();
    await this.page.waitForFunction(() => window.__bramble.frames.length > 0, null,
      { timeout: 30000 });
    this.firstPicture = Date.now();
    return state;
  }

  read(ask = {}) {
    return this.page.evaluate((a) => window.__bramble.read(a), ask);
  }

  // Reads pictures until `check(picture)` is true; null after `ms`.
  async until(ask, check, ms) {
    const end = Date.now() + ms;
    while (Date.now() < end) {
      const p = await this.read(ask);
      if (p && check(p)) return p;
      await sleep(30);
    }
    return null;
  }

  // Resolves once the game has presented `n` more frames. Presses are held that
  // long, as a player's are, however long a frame takes on a loaded machine (a
  // press and release within one frame count too: the desktop tests check that).
  async frames(n) {
    const from = await this.page.evaluate(() => window.__bramble.frames.length);
    await this.page.waitForFunction((k) => window.__bramble.frames.length >= k, from + n,
      { timeout: 20000, polling: 5 });
  }

  // A click at a point of the game's picture (640 x 640 viewport: 1 to 1).
  async clickAt(x, y) {
    await this.page.mouse.move(x, y);
    await this.page.mouse.down();
    await this.frames(2);
    await this.page.mouse.up();
  }

  async key(code) {
    await this.page.keyboard.down(code);
    await this.frames(2);
    await this.page.keyboard.up(code);
  }

  // Plays the run under way to "FINISH !" as a player who answers every keyboard
  // prompt: reads the picture, noting each background and the holds of the voice
  // challenges. A hold under way shows in the title's colour: (1, f, f) for
  // "YELL !", (f, 1, f) for "CHUT !" (small while it is quiet), f fading from 1
  // to 0. Gives what it saw and `at`, the page's time of the first picture of
  // "FINISH !" on red after the first frame (null if none came within 200 s).
  async playToFinish() {
    const runStart = Date.now();
    await this.page.evaluate(([spec, red]) => window.__bramble.watch('finish', spec, red),
      [TEXTS.finish, RED]);
    const ask = { texts: { yell: TEXTS.yell, chut: TEXTS.chutSmall, press: TEXTS.press },
                  prompt: true };
    const seen = { yellHeld: 0, chutWon: 0, prompts: 0, missed: [], colours: new Set(),
                   offPalette: [] };
    const finished = () => this.page.evaluate(() => window.__bramble.seen('finish'));
    while (Date.now() - runStart < 200000 && !(await finished())) {
      const p = await this.read(ask);
      await sleep(20);
      if (same(p.bg, RED)) continue; // "FINISH !" is on its way
      if (!isPalette(p.bg)) seen.offPalette.push(p.bg.join());
      seen.colours.add(p.bg.join());
      const { yell, chut, press } = p.texts;
      if (yell.score > SHOWN && yell.ink[0] === 255 && holding(yell.ink[1])) seen.yellHeld++;
      if (chut.score > SHOWN && chut.ink[1] === 255 && holding(chut.ink[0])) seen.chutWon++;
      if (press.score > SHOWN && p.asked[1] > 0.9) {
        // A prompt has no time-out: one left unanswered would hold the run.
        const answer = promptAnswer(p.asked[0], p.labels);
        await this.key(answer.key);
        if (await this.until({}, (q) => !same(q.bg, p.bg), 2000)) seen.prompts++;
        else seen.missed.push(`${p.asked[0]} by ${answer.key}`);
      }
    }
    seen.at = await this.page.waitForFunction(() => window.__bramble.seen('finish'), null,
      { timeout: Math.max(1000, 200000 - (Date.now() - runStart)), polling: 100 })
      .then((v) => v.jsonValue(), () => null);
    return seen;
  }

  // A finger on the screen at (x, y) in CSS pixels, lifted two frames later.
  async tap(x, y) {
    if (!this.cdp) this.cdp = await this.page.context().newCDPSession(this.page);
    await this.cdp.send('Input.dispatchTouchEvent',
      { type: 'touchStart', touchPoints: [{ x, y }] });
    await this.frames(2);
    await this.cdp.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
  }
}

// ---------------------------------------------------------------------------
// Screenshots: the page as the screen shows it, at the device's pixel ratio.
// ---------------------------------------------------------------------------
// An 8-bit RGB or RGBA, non-interlaced PNG (what Chromium writes) as
// { w, h, at(x, y) -> 0xRRGGBB }.
function decodePng(png) {
  let pos = 8, w = 0, h = 0, bpp = 0;
  const idat = [];
  while (pos < png.length) {
    const len = png.readUInt32BE(pos), type = png.toString('latin1', pos + 4, pos + 8);
    const data = png.subarray(pos + 8, pos + 8 + len);
    if (type === 'IHDR') {
      w = data.readUInt32BE(0);
      h = data.readUInt32BE(4);
      assert.ok(data[8] === 8 && (data[9] === 2 || data[9] === 6) && data[12] === 0,
        'an 8-bit RGB(A) non-interlaced PNG');
      bpp = data[9] === 6 ? 4 : 3;
    } else if (type === 'IDAT') idat.push(data);
    else if (type === 'IEND') break;
    pos += 12 + len;
  }
  const raw = zlib.inflateSync(Buffer.concat(idat));
  const stride = w * bpp, px = Buffer.alloc(h * stride);
  for (let y = 0; y < h; y++) {
    const f = raw[y * (stride + 1)], src = y * (stride + 1) + 1, at = y * stride;
    for (let x = 0; x < stride; x++) {
      const a = x >= bpp ? px[at + x - bpp] : 0, b = y ? px[at - stride + x] : 0;
      const c = x >= bpp && y ? px[at - stride + x - bpp] : 0;
      let p = raw[src + x];
      if (f === 1) p += a;
      else if (f === 2) p += b;
      else if (f === 3) p += (a + b) >> 1;
      else if (f === 4) {
        const q = a + b - c, qa = Math.abs(q - a), qb = Math.abs(q - b), qc = Math.abs(q - c);
        p += qa <= qb && qa <= qc ? a : qb <= qc ? b : c;
      }
      px[at + x] = p & 255;
    }
  }
  const at = (x, y) => {
    const i = y * stride + x * bpp;
    return (px[i] << 16) | (px[i + 1] << 8) | px[i + 2];
  };
  return { w, h, at };
}

// The share of in-between pixels in the rows [top, top + height) of the
// picture (CSS pixels of the 640 x 640 viewport) on the screen: pixels that are
// neither of the band's two commonest colours, the ground and the text.
async function blur(page, top, height) {
  const shot = decodePng(await page.screenshot());
  const ratio = shot.w / PICTURE;
  const count = new Map();
  let all = 0;
  for (let y = Math.round(top * ratio); y < Math.round((top + height) * ratio); y++) {
    for (let x = 0; x < shot.w; x++) {
      const k = shot.at(x, y);
      count.set(k, (count.get(k) || 0) + 1);
      all++;
    }
  }
  const [ground, text] = [...count.values()].sort((a, b) => b - a);
  return { ratio, share: (all - ground - (text || 0)) / all };
}

// ---------------------------------------------------------------------------
// The game's screens, as the tests recognise them
// ---------------------------------------------------------------------------
const byte = (c) => Math.trunc(255 * Math.fround(c)) & 255;
const LEVELS = Array.from({ length: 11 }, (_, k) => byte(Math.fround(k / 20) + 0.2));
const RED = [255, byte(0.1), byte(0.1)];
const isPalette = (c) => c.every((v) => LEVELS.includes(v));
const same = (a, b) => a[0] === b[0] && a[1] === b[1] && a[2] === b[2];

const TEXTS = {
  yell: ['YELL !', 32, 224, 6],
  chut: ['CHUT !', 32, 224, 6],
  chutSmall: ['CHUT !', 224, 288, 2],
  press: ['PRESS', 100, 150, 2.5],
  finish: ['FINISH !', 64, 256, 4],
  ou: ['OU', 84, 258, 4],
};
const SHOWN = 0.95;
// A hold under way fades one channel of a title from 1 to 0; a byte within
// 40..250 is never seen when the condition breaks in every frame (then the
// channel stays at 1: 255).
const holding = (v) => v >= 40 && v <= 250;

// The start word "PAS" at each size it takes (4 to 10 by 0.05 steps).
function startWord(size) {
  const w = Math.trunc(16 * size), h = Math.trunc(32 * size);
  return ['PAS', Math.trunc((640 - 3 * w) / 2), Math.trunc((640 - h) / 2), size];
}

// The QWERTY place of each letter, as the game's keyboard prompt orders its keys.
const QWERTY = 'QWERTYUIOPASDFGHJKLZXCVBNM';

// The key to press for a prompt: the asked letter is the label of the key whose
// own letter lies `shift` places before it. The shift is the one most of the top
// row's labels tell (a small label can be misread).
function promptAnswer(asked, labels) {
  const votes = new Array(26).fill(0);
  labels.forEach(([l], i) => votes[(l.charCodeAt(0) - QWERTY.charCodeAt(i) + 26) % 26]++);
  const shift = votes.indexOf(Math.max(...votes));
  const own = String.fromCharCode(((asked.charCodeAt(0) - 65 - shift + 26) % 26) + 65);
  return { shift, votes: votes[shift], key: `Key${own}`,
           wrong: `Key${QWERTY[(QWERTY.indexOf(own) + 1) % 25]}` };
}

// The centre, in game pixels, of the drawn key of a KeyX code: the keyboard's
// rows start at x 148, 158 and 168 (y 342, 379, 416) with a 32-pixel pitch.
function drawnKey(code) {
  const i = QWERTY.indexOf(code.slice(3));
  const [row, col] = i < 10 ? [0, i] : i < 19 ? [1, i - 10] : [2, i - 19];
  return [148 + 10 * row + 32 * col + 6, 342 + 37 * row + 13];
}

module.exports = {
  assert, sleep, serve, get, status, siteInfo, launch, scenario, PHONE, blur, Game, TEXTS, SHOWN,
  holding, RED, isPalette, same, startWord, promptAnswer, drawnKey, SITE, NEXT_SITE, pageProbe,
  fontMasks, micFile, FLAGS, ENGINES, decodePng,
};
