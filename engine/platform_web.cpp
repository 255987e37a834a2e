// SPDX-License-Identifier: Zlib
// Platform points of the browser build (emscripten).
#include "platform.h"

#include <SDL.h>
#include <emscripten.h>
#include <unistd.h>

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

int platform_chdir(const char *path) { return chdir(path); }
