// SPDX-License-Identifier: Zlib
// The WebKit driver of tests/web/harness.js leaves nothing behind: neither once
// closed, nor when node exits without closing it (a test past its time-out).
// Each case runs in a node of its own, whose WebKitWebDriver, MiniBrowser and
// X server are found afterwards by the process group it started.
'use strict';
const test = require('node:test');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { execFileSync } = require('node:child_process');
const h = require('./harness');
const { assert } = h;

// Launches WebKit in a child node (closing it or not), and gives the process
// group it started and the temporary folders that appeared meanwhile (another
// job's folder of the same kind would show too: the web tests hold the machine).
function launchIn(close) {
  const folders = () => new Set(fs.readdirSync(os.tmpdir()));
  const before = folders();
  const child = `
    const h = require(${JSON.stringify(require.resolve('./harness'))});
    (async () => {
      const b = await h.launch('silent', { engine: 'webkit' });
      // Its one child, xvfb-run, leads the group.
      console.log(require('node:child_process').execFileSync('pgrep', ['-P', String(process.pid)])
        .toString().trim());
      if (${close}) await b.close();
      process.exit(0);
    })();`;
  const out = execFileSync('node', ['-e', child], { timeout: 120000 }).toString().trim();
  const group = Number(out.split('\n').pop());
  const left = [...folders()].filter((f) => !before.has(f));
  return { group, left };
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

for (const close of [true, false]) {
  test(`WebKit ${close ? 'closed' : 'left open at exit'}`, { timeout: 150000 }, () => {
    const { group, left } = launchIn(close);
    assert.ok(group > 0, 'the driver\'s process group');
    const running = alive(group);
    // Tidy up before the verdict, whatever it is.
    try { process.kill(-group, 'SIGKILL'); } catch { /* gone */ }
    assert.deepEqual(running, [], 'the X server, WebKitWebDriver and MiniBrowser ended');
    assert.deepEqual(left.filter((f) => /^(xvfb-run|bramble-webkit-)/.test(f)), [],
                     'no temporary folder left');
  });
}
