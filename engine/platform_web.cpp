// SPDX-License-Identifier: Zlib
// Platform points of the browser build (emscripten).
#include "platform.h"

#include <SDL.h>
#include <emscripten.h>

void platform_init(void) {
    // The engine hands the browser its turn itself, once a frame (frame_wait). SDL's
    // own turn after each present would be a second one, and the browser makes every
    // such zero-length turn last at least 4 ms, time the frame's schedule then lacks.
    SDL_SetHint(SDL_HINT_EMSCRIPTEN_ASYNCIFY, "0");
}

void frame_wait(uint32_t ms) {
    // Even a late frame returns to the browser: it shows the canvas and delivers
    // input and sound only then.
    emscripten_sleep(ms);
}

// The browser's WebGL as the page finds it on a scratch canvas (the game's own
// canvas keeps whichever context is asked of it first): 0 none, 1 drawn by the
// CPU, 2 a GPU's. A software rasteriser is told two ways: the browser refuses a
// context asked for with failIfMajorPerformanceCaveat where it counts its own
// WebGL as slow (the standard way, the only one where the renderer's name is
// hidden), and the WEBGL_debug_renderer_info name of one (SwiftShader,
// llvmpipe, ...) for the browsers that grant that context on it anyway, as
// Chromium does on SwiftShader. WebKitGTK on llvmpipe grants it and names it
// "Apple GPU": it gets WebGL, which there costs no more than its 2-D canvas.
// clang-format off
EM_JS(int, webgl_kind, (void), {
    var context = function(attributes) {
        try {
            return document.createElement("canvas").getContext("webgl", attributes);
        } catch (e) {
            return null;
        }
    };
    var drop = function(gl) {
        var lose = gl.getExtension("WEBGL_lose_context");
        if (lose) lose.loseContext();
    };
    var gl = context({failIfMajorPerformanceCaveat: true});
    var slow = !gl;
    if (!gl) gl = context(undefined);
    if (!gl) return 0;
    var info = gl.getExtension("WEBGL_debug_renderer_info");
    var name = info ? String(gl.getParameter(info.UNMASKED_RENDERER_WEBGL)) : "";
    drop(gl);
    var cpu = slow || /swiftshader|llvmpipe|softpipe|software|basic render driver/i.test(name);
    console.log("WebGL renderer: " + (name || "(not disclosed)") +
                (slow ? " (a major performance caveat)" : ""));
    return cpu ? 1 : 2;
});
// clang-format on

SDL_Renderer *platform_create_renderer(SDL_Window *window) {
    // WebGL on a GPU draws the frame for almost nothing. WebGL emulated on the CPU
    // costs more than twice the 2-D canvas's software path, and paces worse. No
    // WebGL at all leaves the 2-D canvas only. A renderer named through
    // SDL_RENDER_DRIVER (the page's ENV, for measurements) is taken as asked.
    const char *asked = SDL_GetHint(SDL_HINT_RENDER_DRIVER);
    bool named = asked != nullptr && asked[0] != '\0';
    if (named || webgl_kind() == 2) {
        SDL_Renderer *renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED);
        if (renderer != nullptr) return renderer;
    }
    SDL_Renderer *renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
    if (renderer != nullptr) SDL_Log("drawing with the 2-D canvas (no WebGL on a GPU here)");
    return renderer;
}

// The page's program is one module: nothing is loaded at run time.
bool platform_library_loads(const char *name) {
    (void)name;
    return false;
}

// Standard error is the browser's console, which shows the codes as text.
bool platform_stderr_colours(void) {
    return false;
}

// The page's console (web/page.js sends standard error there) is the place.
void platform_fatal_notice(const char *text) {
    (void)text;
}
