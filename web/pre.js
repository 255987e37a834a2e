// SPDX-License-Identifier: Zlib
// Runs inside the generated module, before the game's code.
//
// SDL's Web Audio driver hands every audio context it creates to
// autoResumeAudioContext, which newer emscripten releases provide and the one
// this build uses does not. Browsers keep a context suspended until the page had
// a user gesture; the game starts from the player's click, so its contexts
// normally run at once. One that does not (the context is made after the
// microphone prompt, and some mobile browsers accept a resume only inside a
// touchend or a click) is resumed on each later gesture until it runs.
// The page keeps the contexts to resume them when the tab is shown again.
function autoResumeAudioContext(ctx) {
  Module['audioContexts'] = (Module['audioContexts'] || []).concat([ctx]);
  var types = ['touchend', 'click', 'pointerup', 'keydown', 'mousedown', 'touchstart'];
  var resume = function () {
    if (ctx.state === 'suspended') {
      ctx.resume();
      return;
    }
    types.forEach(function (type) {
      document.removeEventListener(type, resume, true);
    });
  };
  if (ctx.state === 'suspended') ctx.resume();
  types.forEach(function (type) {
    document.addEventListener(type, resume, true);
  });
}

// A renderer named by whoever set up the page (Module.renderDriver, e.g.
// 'software' or 'opengles2': the measurements compare the two) is passed to SDL
// as SDL_RENDER_DRIVER; the engine then takes it instead of choosing.
if (Module['renderDriver']) {
  Module['preRun'] = [].concat(Module['preRun'] || [], function () {
    ENV['SDL_RENDER_DRIVER'] = Module['renderDriver'];
  });
}
