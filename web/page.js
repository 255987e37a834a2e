// SPDX-License-Identifier: Zlib
// The game's page: downloads the compiled game and its data with a progress
// bar, loads the game, and starts it from the player's click (a tap on a touch
// screen), the gesture browsers require before they play sound or ask for the
// microphone. Every way the start can go
// wrong ends in a plain message on the page, never in a silent blank one.
'use strict';
(function () {
  const $ = (id) => document.getElementById(id);
  const canvas = $('canvas');
  const overlay = $('overlay');
  const message = $('message');
  const bar = $('bar');
  const play = $('play');
  const retry = $('retry');
  const touchOnly = window.matchMedia('(hover: none) and (pointer: coarse)').matches;
  const PLAY = touchOnly ? 'tap to play' : 'click to play';
  play.textContent = PLAY;
  // A download with no new byte for this long is taken as stalled.
  const STALL_MS = 15000;
  // An unanswered microphone prompt gets a hint after this long.
  const ASK_HINT_MS = 5000;

  function show(state, text) {
    document.body.dataset.state = state;
    message.textContent = text;
  }

  // The first failure is the one worth telling: later ones follow from it.
  let failed = false;
  function fail(text) {
    if (failed) return;
    failed = true;
    overlay.hidden = false;
    bar.hidden = true;
    play.hidden = true;
    retry.hidden = true;
    show('error', text);
  }

  window.addEventListener('error', (e) => fail('The game could not start: ' + e.message));

  window.Module = {
    canvas: canvas,
    // The game's standard output (the "dir" lines) and its diagnostics.
    print: (text) => console.log(text),
    printErr: (text) => console.error(text),
    setStatus: () => {},
    onRuntimeInitialized: ready,
    onAbort: (what) => fail('The game stopped with an error (' + what + '). The browser ' +
                            'console has the details; reload the page to try again.'),
    onExit: (status) => fail(status === 0 ? 'The game has ended.'
      : 'The game stopped (exit status ' + status + '). The browser console tells why; ' +
        'reload the page to try again.'),
  };

  // The two big files are fetched here rather than by the generated loader, so
  // that the bar shows their progress and a missing, cut short or stalled file
  // gets a clear message. The bar counts the bytes received against the sizes
  // the build wrote into files.json: a server's Content-Length is the compressed
  // size when it compresses, and may be missing.
  const FILES = ['bramble.wasm', 'bramble.data'];
  const got = {};      // name -> ArrayBuffer, kept across a retry
  const received = {}; // name -> bytes so far
  let sizes = {};

  class Stalled extends Error {}

  function progress() {
    let done = 0, total = 0;
    for (const name of FILES) {
      done += received[name] || 0;
      total += sizes[name] || 0;
    }
    bar.firstElementChild.style.width =
      total > 0 ? Math.min(100, (100 * done) / total) + '%' : '0';
    if (total === 0 && done > 0) {
      message.textContent = 'Loading… ' + (done / 1e6).toFixed(1) + ' MB';
    }
  }

  async function fetchFile(name) {
    const abort = new AbortController();
    let timer = 0;
    const watch = () => {
      clearTimeout(timer);
      timer = setTimeout(() => abort.abort(), STALL_MS);
    };
    watch();
    try {
      let response;
      try {
        response = await fetch(name, { signal: abort.signal });
      } catch (e) {
        if (abort.signal.aborted) throw new Stalled(name);
        throw new Error('the file ' + name + ' could not be downloaded (' + e.message + ').');
      }
      if (!response.ok) {
        throw new Error('the file ' + name + ' could not be downloaded (HTTP ' +
                        response.status + ' ' + response.statusText + ').');
      }
      if (!sizes[name] && !response.headers.get('Content-Encoding')) {
        sizes[name] = Number(response.headers.get('Content-Length')) || 0;
      }
      const reader = response.body.getReader();
      const parts = [];
      received[name] = 0;
      for (;;) {
        let chunk;
        try {
          chunk = await reader.read();
        } catch (e) {
          if (abort.signal.aborted) throw new Stalled(name);
          throw new Error('the file ' + name + ' could not be downloaded (' + e.message + ').');
        }
        if (chunk.done) break;
        watch();
        parts.push(chunk.value);
        received[name] += chunk.value.length;
        progress();
      }
      const data = new Uint8Array(received[name]);
      let at = 0;
      for (const part of parts) {
        data.set(part, at);
        at += part.length;
      }
      return data.buffer;
    } finally {
      clearTimeout(timer);
    }
  }

  async function download() {
    try {
      const r = await fetch('files.json', { cache: 'no-store' });
      if (r.ok) sizes = await r.json();
    } catch (e) {
      // Without it the bar goes by Content-Length, or counts megabytes.
    }
    for (const name of FILES) {
      if (!got[name]) got[name] = await fetchFile(name);
    }
  }

  function stalled(e) {
    show('stalled', 'The download of ' + e.message + ' has stopped: nothing arrived for ' +
         STALL_MS / 1000 + ' seconds. Check the connection, then retry.');
    retry.hidden = false;
  }

  retry.addEventListener('click', () => {
    retry.hidden = true;
    show('loading', 'Loading…');
    begin();
  });

  function load() {
    const data = got['bramble.data'];
    // The generated loader asks for the package here before fetching it itself,
    // and tells the size it was built with.
    Module.getPreloadedPackage = (name, size) => {
      if (data.byteLength !== size) {
        fail('The game\'s data is incomplete: ' + name + ' has ' + data.byteLength + ' of its ' +
             size + ' bytes. Reload the page; if it persists, the site is damaged.');
        throw new Error('incomplete data');
      }
      return data;
    };
    Module.wasmBinary = got['bramble.wasm'];
    message.textContent = 'Starting…';
    const script = document.createElement('script');
    script.src = 'bramble.js';
    script.onerror = () => fail('The game could not be downloaded (bramble.js).');
    document.body.appendChild(script);
  }

  function begin() {
    download().then(load, (e) => (e instanceof Stalled ? stalled(e)
      : fail('The game could not start: ' + e.message)));
  }

  function ready() {
    if (failed) return;
    bar.hidden = true;
    play.hidden = false;
    show('ready', '');
    overlay.addEventListener('click', start);
  }

  // One sentence for each way getUserMedia fails.
  const NO_MICROPHONE = {
    NotAllowedError: 'The microphone was refused.',
    SecurityError: 'This page may not use the microphone (a setting or policy of the ' +
      'browser forbids it).',
    NotFoundError: 'No microphone was found.',
    NotReadableError: 'The microphone is in use by another program or could not be opened.',
    OverconstrainedError: 'No usable microphone was found.',
    AbortError: 'The microphone could not be started: the browser gave up opening it.',
    TypeError: 'This browser cannot open a microphone for this page.',
    NotSupportedError: 'This browser gives no access to a microphone here (it needs a page ' +
      'served over https or from this computer).',
  };

  let starting = false;
  async function start(e) {
    if (starting || failed || (e && e.target.closest && e.target.closest('a'))) return;
    starting = true;
    play.hidden = true;
    show('asking', 'Asking for the microphone…');
    const hint = setTimeout(() => {
      if (document.body.dataset.state !== 'asking') return;
      message.textContent = 'Asking for the microphone… Your browser shows the question ' +
        (touchOnly ? 'at the top or bottom of the screen' : 'near the address bar') +
        ': answer it to play. If nothing shows, the microphone may be blocked in the ' +
        'site\'s settings.';
    }, ASK_HINT_MS);
    try {
      if (!navigator.mediaDevices || !navigator.mediaDevices.getUserMedia) {
        throw { name: 'NotSupportedError' };
      }
      // Only the permission is asked here; the game opens the microphone itself.
      const stream = await navigator.mediaDevices.getUserMedia({ audio: true, video: false });
      stream.getTracks().forEach((track) => track.stop());
    } catch (e) {
      const why = NO_MICROPHONE[e.name] ||
        'The microphone could not be opened (' + (e.name || e) + ').';
      show('no-microphone', why + ' bramble needs one: "CHUT !" and "YELL !" listen to it. ' +
           'Allow or connect a microphone, then ' + (touchOnly ? 'tap' : 'click') +
           ' to try again.');
      play.textContent = 'try again';
      play.hidden = false;
      starting = false;
      return;
    } finally {
      clearTimeout(hint);
    }
    overlay.hidden = true;
    overlay.removeEventListener('click', start);
    show('playing', '');
    canvas.focus();
    Module.callMain([]);
  }

  // Keys the game reads must not scroll or trigger the page; browser shortcuts
  // (with Ctrl, Alt or Meta) and the function keys keep working.
  window.addEventListener('keydown', (e) => {
    if (document.body.dataset.state !== 'playing') return;
    if (e.ctrlKey || e.altKey || e.metaKey || /^F\d+$/.test(e.key)) return;
    e.preventDefault();
  });
  canvas.addEventListener('contextmenu', (e) => e.preventDefault());

  // Sound stopped by the browser while the tab was hidden is resumed when it
  // shows again.
  document.addEventListener('visibilitychange', () => {
    if (document.hidden) return;
    for (const ctx of Module.audioContexts || []) {
      if (ctx.state === 'suspended') ctx.resume();
    }
  });

  begin();
})();
