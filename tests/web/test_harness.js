// SPDX-License-Identifier: Zlib
// The browsers of tests/web/harness.js leave nothing behind: neither once
// closed, nor when node exits without closing them (a test past its time-out).
// Each case runs in a node of its own; WebKit's WebKitWebDriver, MiniBrowser and
// X server are found afterwards by the process group it started.
'use strict';
const test = require('node:test');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const h = require('./harness');
const { assert } = h;

// Launches `engine` in a child node (closing it or not) whose temporary folder
// is one of its own, and gives the process group it started (WebKit's) and what
// that folder holds afterwards.
function launchIn(engine, close) {
  const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'bramble-harness-'));
  const child = `
    const h = require(${JSON.stringify(require.resolve('./harness'))});
    (async () => {
      const b = await h.launch('silent', { engine: ${JSON.stringify(engine)} });
      // WebKit's one child, xvfb-run, leads the group.
      if (${JSON.stringify(engine)} === 'webkit') {
        console.log(require('node:child_process').execFileSync('pgrep',
          ['-P', String(process.pid)]).toString().trim());
      }
      if (${close}) await b.close();
      process.exit(0);
    })();`;
  try {
    const out = execFileSync('node', ['-e', child],
      { timeout: 120000, env: { ...process.env, TMPDIR: tmp } }).toString().trim();
    return { group: Number(out.split('\n').pop()), left: fs.readdirSync(tmp) };
  } finally {
    fs.rmSync(tmp, { recursive: true, force: true });
  }
}

// The processes of the group a moment later (a signal takes a little while).
function alive(group) {
  try {
    execFileSync('sleep', ['2']);
    return execFileSync('pgrep', ['-g', String(group)]).toString().trim().split('\n');
  } catch {
    return [];
  }
}

for (const engine of h.ENGINES) {
  for (const close of [true, false]) {
    test(`${engine} ${close ? 'closed' : 'left open at exit'}`, { timeout: 150000 }, () => {
      const { group, left } = launchIn(engine, close);
      if (engine === 'webkit') {
        assert.ok(group > 0, 'the driver\'s process group');
        const running = alive(group);
        // Tidy up before the verdict, whatever it is.
        try { process.kill(-group, 'SIGKILL'); } catch { /* gone */ }
        assert.deepEqual(running, [], 'the X server, WebKitWebDriver and MiniBrowser ended');
      }
      // The profiles and X server keys of the harness and its launchers (the
      // microphone's sound file is kept on purpose).
      assert.deepEqual(left.filter((f) => /^(bramble-(chromium|firefox|webkit)-|xvfb-run\.|puppeteer_dev_|playwright)/.test(f)), [],
                       'no temporary folder left');
    });
  }
}
