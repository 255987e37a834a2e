// SPDX-License-Identifier: Zlib
// The game's page: downloads the data with a progress bar, loads the compiled
// game, and starts it from the player's click, the gesture browsers require
// before they play sound or ask for the microphone. Every way the start can go
// wrong ends in a plain message on the page, never in a silent blank one.
'use strict';
(function () {
  const DATA = 'bramble.data';
  const $ = (id) => document.getElementById(id);
  const canvas = $('canvas');
  const overlay = $('overlay');
  const message = $('message');
  const bar = $('bar');
  const play = $('play');

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
    show('error', text);
  }

  function progress(done, total) {
    bar.firstElementChild.style.width = total > 0 ? (100 * done) / total + '%' : '0';
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

  // The data is fetched here rather than by the generated loader, so that its
  // progress shows and a missing or cut short file gets a clear message.
  async function download() {
    let response;
    try {
      response = await fetch(DATA);
    } catch (e) {
      throw new Error('the data file ' + DATA + ' could not be downloaded (' + e.message + ').');
    }
    if (!response.ok) {
      throw new Error('the data file ' + DATA + ' could not be downloaded (HTTP ' +
                      response.status + ' ' + response.statusText + ').');
    }
    const total = Number(response.headers.get('Content-Length')) || 0;
    const reader = response.body.getReader();
    const parts = [];
    let done = 0;
    for (;;) {
      const { done: end, value } = await reader.read();
      if (end) break;
      parts.push(value);
      done += value.length;
      progress(done, total);
    }
    const data = new Uint8Array(done);
    let at = 0;
    for (const part of parts) {
      data.set(part, at);
      at += part.length;
    }
    return data.buffer;
  }

  function load(data) {
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
    message.textContent = 'Starting…';
    const script = document.createElement('script');
    script.src = 'bramble.js';
    script.onerror = () => fail('The game could not be downloaded (bramble.js).');
    document.body.appendChild(script);
  }

  function ready() {
    if (failed) return;
    bar.hidden = true;
    play.hidden = false;
    show('ready', 'Click to play.');
    overlay.addEventListener('click', start);
  }

  const NO_MICROPHONE = {
    NotAllowedError: 'The microphone was refused.',
    SecurityError: 'The microphone was refused.',
    NotFoundError: 'No microphone was found.',
    NotReadableError: 'The microphone is in use by another program or could not be opened.',
    OverconstrainedError: 'No usable microphone was found.',
  };

  let starting = false;
  async function start() {
    if (starting || failed) return;
    starting = true;
    play.hidden = true;
    show('asking', 'Asking for the microphone…');
    try {
      if (!navigator.mediaDevices || !navigator.mediaDevices.getUserMedia) {
        throw { name: 'NotSupportedError' };
      }
      // Only the permission is asked here; the game opens the microphone itself.
      const stream = await navigator.mediaDevices.getUserMedia({ audio: true, video: false });
      stream.getTracks().forEach((track) => track.stop());
    } catch (e) {
      const why = NO_MICROPHONE[e.name] ||
        'This browser gives no access to a microphone here (it needs a page served over ' +
        'https or from this computer).';
      show('no-microphone', why + ' bramble needs one: "CHUT !" and "YELL !" listen to it. ' +
           'Allow or connect a microphone, then click to try again.');
      play.textContent = 'try again';
      play.hidden = false;
      starting = false;
      return;
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

  // A hidden tab runs the game about once a second (browsers slow its timers);
  // the run clock is real time, as when the desktop window is hidden. Sound
  // stopped by the browser meanwhile is resumed when the tab shows again.
  document.addEventListener('visibilitychange', () => {
    if (document.hidden) return;
    for (const ctx of Module.audioContexts || []) {
      if (ctx.state === 'suspended') ctx.resume();
    }
  });

  download().then(load, (e) => fail('The game could not start: ' + e.message));
})();
