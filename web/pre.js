// SPDX-License-Identifier: Zlib
// Runs inside the generated module, before the game's code.
//
// SDL's Web Audio driver hands every audio context it creates to
// autoResumeAudioContext, which newer emscripten releases provide and the one
// this build uses does not. Browsers keep a context suspended until the page had
// a user gesture; the game starts from the player's click, so its contexts
// normally run at once, and this resumes one that did not on the next gesture.
// The page keeps the contexts to resume them when the tab is shown again.
function autoResumeAudioContext(ctx) {
  Module['audioContexts'] = (Module['audioContexts'] || []).concat([ctx]);
  var resume = function () {
    if (ctx.state === 'suspended') ctx.resume();
  };
  resume();
  ['keydown', 'mousedown', 'touchstart'].forEach(function (type) {
    document.addEventListener(type, resume, { once: true, capture: true });
  });
}
