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
  // A notice over the game shows this long.
  const NOTICE_MS = 6000;

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

  // Every file is fetched here rather than by the generated loader, so that each
  // one has the same stall watch, size bound, digest check and messages, and the
  // bar shows the big ones' progress. The page names the game's three files, each
  // with its size and SHA-256 (the build wrote them into index.html), so all three
  // are fetched side by side at once. The bar counts the bytes received against
  // those sizes (a server's Content-Length is the compressed size when it
  // compresses, and may be missing), and a body that runs past its size is cut
  // off. The .wasm is compiled while it downloads; its module is used only once
  // its bytes proved to be this version's.
  const GAME = JSON.parse($('game').textContent);
  const got = {};      // name -> the promise of its checked file, kept across a retry
  const received = {}; // name -> bytes so far

  class Stalled extends Error {}
  // A file whose size or bytes are not the build's.
  class Damaged extends Error {}

  function progress() {
    let done = 0, total = 0;
    for (const file of [GAME.wasm, GAME.data]) {
      done += received[file.name] || 0;
      total += file.size;
    }
    bar.firstElementChild.style.width =
      total > 0 ? Math.min(100, (100 * done) / total) + '%' : '0';
  }

  async function sha256(bytes) {
    const digest = new Uint8Array(await crypto.subtle.digest('SHA-256', bytes));
    return Array.from(digest, (b) => b.toString(16).padStart(2, '0')).join('');
  }

  // `bytes` once they proved to be those of `file`.
  async function verify(file, bytes) {
    if (await sha256(bytes) !== file.sha256) {
      throw new Damaged('the file ' + file.name + ' is not this version\'s: its bytes differ ' +
                        'from those of the build. Reload the page; if it persists, tell whoever ' +
                        'hosts it.');
    }
    return bytes;
  }

  // The bytes of `file` ({ name, size, sha256 }), as many as the build says
  // (verify checks what they are), each part also handed to `sink` as it
  // arrives; without a new byte for STALL_MS the download is given up as stalled.
  async function fetchFile(file, sink = () => {}, cache = 'default') {
    const name = file.name;
    const abort = new AbortController();
    let timer = 0;
    const watch = () => {
      clearTimeout(timer);
      timer = setTimeout(() => abort.abort(), STALL_MS);
    };
    const failed = (e) => {
      if (abort.signal.aborted) return new Stalled(name);
      return new Error('the file ' + name + ' could not be downloaded (' + e.message + ').');
    };
    watch();
    try {
      let response;
      try {
        response = await fetch(name, { signal: abort.signal, cache });
      } catch (e) {
        throw failed(e);
      }
      if (!response.ok) {
        throw new Error('the file ' + name + ' could not be downloaded (HTTP ' +
                        response.status + ' ' + response.statusText + ').');
      }
      const reader = response.body.getReader();
      const data = new Uint8Array(file.size);
      received[name] = 0;
      for (;;) {
        let chunk;
        try {
          chunk = await reader.read();
        } catch (e) {
          throw failed(e);
        }
        if (chunk.done) break;
        watch();
        if (received[name] + chunk.value.length > file.size) {
          abort.abort();
          throw new Damaged('the file ' + name + ' is larger than this version\'s ' + file.size +
                            ' bytes: the site holds a damaged file or one of another version. ' +
                            'Reload the page; if it persists, tell whoever hosts it.');
        }
        data.set(chunk.value, received[name]);
        received[name] += chunk.value.length;
        sink(chunk.value);
        progress();
      }
      if (received[name] !== file.size) {
        throw new Damaged('the file ' + name + ' is incomplete: it has ' + received[name] +
                          ' of its ' + file.size + ' bytes. Reload the page; if it persists, the ' +
                          'site is damaged.');
      }
      return data;
    } finally {
      clearTimeout(timer);
    }
  }

  // The game's compiled module, compiled from the bytes as they arrive (where the
  // browser can) and given out once the whole file has proved right.
  async function compileWasm(file, cache) {
    if (!WebAssembly.compileStreaming) {
      return WebAssembly.compile(await verify(file, await fetchFile(file, undefined, cache)));
    }
    let feed;
    const stream = new ReadableStream({ start: (controller) => { feed = controller; } });
    const compiled = WebAssembly.compileStreaming(
      new Response(stream, { headers: { 'Content-Type': 'application/wasm' } }));
    compiled.catch(() => {}); // a failed download tells its own error
    try {
      // A copy to the compiler: the parts are kept for the digest.
      const bytes = await fetchFile(file, (part) => feed.enqueue(part.slice()), cache);
      feed.close();
      await verify(file, bytes);
    } catch (e) {
      feed.error(e);
      throw e;
    }
    return compiled;
  }

  // `how(file, cache)`, and once more past the browser's cache when the file is
  // damaged: a hashed name is kept there a year without asking the host, so a
  // copy cut short during an upload would otherwise fail every reload.
  async function fresh(file, how) {
    try {
      return await how(file, 'default');
    } catch (e) {
      if (!(e instanceof Damaged)) throw e;
      return how(file, 'reload');
    }
  }

  // Each file once; a failed one is fetched again on retry.
  function once(file, how) {
    if (!got[file.name]) {
      got[file.name] = fresh(file, how);
      got[file.name].catch(() => delete got[file.name]);
    }
    return got[file.name];
  }

  function download() {
    if (!(window.crypto && crypto.subtle)) {
      return Promise.reject(new Error('the page must be served over https or from this ' +
        'computer: only there does the browser check its files, and give the microphone.'));
    }
    return Promise.all([
      once(GAME.script, async (file, cache) =>
        verify(file, await fetchFile(file, undefined, cache))),
      once(GAME.data, (file, cache) => fetchFile(file, undefined, cache)),
      once(GAME.wasm, compileWasm)]);
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

  function load([script, data, module]) {
    // The generated loader asks for the package here before fetching it itself,
    // and tells the size it was built with.
    Module.getPreloadedPackage = (name, size) => {
      if (data.byteLength !== size) {
        fail('The game\'s data is incomplete: ' + GAME.data.name + ' has ' + data.byteLength +
             ' of its ' + size + ' bytes. Reload the page; if it persists, the site is damaged.');
        throw new Error('incomplete data');
      }
      return data.buffer;
    };
    // The loader's own instantiation, from the module compiled and checked above.
    Module.instantiateWasm = (imports, receive) => {
      WebAssembly.instantiate(module, imports).then((instance) => receive(instance, module),
        (e) => fail('The game could not start: ' + e.message));
      return {};
    };
    // The loader looks for nothing more; should it, it finds this version's files.
    Module.locateFile = (name) =>
      ({ 'bramble.wasm': GAME.wasm.name, 'bramble.data': GAME.data.name })[name] || name;
    message.textContent = 'Starting…';
    const tag = document.createElement('script');
    tag.src = URL.createObjectURL(new Blob([script], { type: 'text/javascript' }));
    tag.onerror = () => fail('The game could not start (' + GAME.script.name + ').');
    document.body.appendChild(tag);
  }

  // The data's digest is taken while the loader starts (the data is no code,
  // and the game runs from the click only): "click to play" waits for both.
  let dataChecked = null;

  // The data's bytes checked after the loader took them. A copy of the right size
  // with other bytes can only be told here, too late for this start; and the
  // browser's cache keeps a hashed name a year without asking the host, so every
  // reload would meet the same copy. The data is taken once more past that cache,
  // which then holds the host's copy, and the reload this asks for starts.
  async function checkData(bytes) {
    try {
      return await verify(GAME.data, bytes);
    } catch (e) {
      if (!(e instanceof Damaged)) throw e;
      let again;
      try {
        again = await fetchFile(GAME.data, undefined, 'reload');
      } catch {
        throw e;
      }
      await verify(GAME.data, again); // the host's copy is damaged too: says so
      throw new Damaged('this browser\'s copy of ' + GAME.data.name + ' was damaged, and ' +
                        'the file has now been fetched again. Reload the page.');
    }
  }

  function begin() {
    download().then((files) => {
      dataChecked = checkData(files[1]);
      dataChecked.catch((e) => fail('The game could not start: ' + e.message));
      load(files);
    }, (e) => (e instanceof Stalled ? stalled(e) : fail('The game could not start: ' + e.message)));
  }

  async function ready() {
    try {
      await dataChecked;
    } catch {
      return; // told already
    }
    if (failed) return;
    bar.hidden = true;
    play.hidden = false;
    show('ready', '');
    overlay.addEventListener('click', start);
    keepOffline().catch((e) => console.error('Offline play is not available: ' + e.message));
  }

  // Offline play: once this version has downloaded whole (so that the worker
  // finds its files in the browser's cache), the service worker keeps it
  // (sw.js). A newer deployment's worker that takes over while this page is
  // open drops this version's set: the page then offers to start the new one.
  async function keepOffline() {
    if (!('serviceWorker' in navigator)) return;
    const registration = await navigator.serviceWorker.register('sw.js');
    // sw.js names a set after this build and the page's own digest, which the
    // page cannot know: any set of this build holds this version's game.
    const kept = 'bramble ' + registration.scope + ' ' + GAME.build + ' ';
    const check = async (replaced) => {
      if ((await caches.keys()).some((key) => key.startsWith(kept))) {
        document.body.dataset.offline = 'kept';
        $('offline').textContent = ' This version is kept on this device: it starts without ' +
          'a network too.';
      } else if (replaced) {
        document.body.dataset.offline = 'replaced';
        $('offline').textContent = '';
        $('update').textContent = 'A new version of bramble is ready: it starts the next ' +
          'time you open the page.';
        $('reload').hidden = false;
      }
    };
    registration.addEventListener('updatefound', () => {
      const worker = registration.installing;
      worker.addEventListener('statechange', () => {
        if (worker.state === 'activated') check(true);
      });
    });
    await navigator.serviceWorker.ready;
    await check(false);
    // A page left open looks for a new deployment whenever it is shown again.
    document.addEventListener('visibilitychange', () => {
      if (!document.hidden) registration.update().catch(() => {});
    });
  }
  $('reload').addEventListener('click', () => location.reload());

  // Fullscreen, from a button over the picture's corner (no letter key: the
  // keyboard prompts ask for letters), left with the button or Escape. The
  // canvas keeps filling the window, so the game keeps its square picture and
  // its sharp pixels. Safari on an iPhone has no fullscreen for pages: there the
  // page tells how the installed app gives it.
  const root = document.documentElement;
  const fullscreen = $('fullscreen');
  if (document.fullscreenEnabled && root.requestFullscreen) {
    fullscreen.classList.add('offered');
  } else if (/iPhone|iPad|iPod/.test(navigator.userAgent) && !navigator.standalone) {
    $('iphone').hidden = false;
  }
  // A short word over the game, gone after a while.
  const notice = $('notice');
  let noticeTimer = 0;
  function tell(text) {
    notice.textContent = text;
    clearTimeout(noticeTimer);
    noticeTimer = setTimeout(() => (notice.textContent = ''), NOTICE_MS);
  }
  // A browser may refuse (one refuses a window without the focus): the player
  // is told, rather than the button doing nothing.
  const refused = (e) => tell('The browser refused fullscreen' + (e && e.message ? ' (' +
    e.message + ')' : '') + '. Click into the game\'s window, then try the button again.');
  fullscreen.addEventListener('click', () => {
    if (document.fullscreenElement) {
      document.exitFullscreen().catch(() => {});
    } else {
      let asked;
      try {
        asked = root.requestFullscreen({ navigationUI: 'hide' });
      } catch (e) {
        asked = Promise.reject(e);
      }
      Promise.resolve(asked).catch(refused);
    }
    canvas.focus();
  });
  // The game sees no press or release on the button.
  for (const type of ['mousedown', 'mouseup', 'touchstart', 'touchend']) {
    fullscreen.addEventListener(type, (e) => e.stopPropagation());
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
    if (starting || failed || (e && e.target.closest && e.target.closest('a, #reload'))) return;
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
    if (e.key === 'Escape' && document.fullscreenElement) document.exitFullscreen().catch(() => {});
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
