// SPDX-License-Identifier: Zlib
// Platform points: what the engine does differently in the browser, in one place.
#include "vek_internal.h"

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

void platform_init(void) {
#ifdef __EMSCRIPTEN__
    // The engine hands the browser its turn itself, once a frame (frame_wait). SDL's
    // own turn after each present would be a second one, and the browser makes every
    // such zero-length turn last at least 4 ms, time the frame's schedule then lacks.
    SDL_SetHint(SDL_HINT_EMSCRIPTEN_ASYNCIFY, "0");
#endif
}

void frame_wait(uint32_t ms) {
#ifdef __EMSCRIPTEN__
    // Even a late frame returns to the browser: it shows the canvas and delivers
    // input and sound only then.
    emscripten_sleep(ms);
#else
    if (ms > 0) SDL_Delay(ms);
#endif
}
