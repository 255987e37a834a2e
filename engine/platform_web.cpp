// SPDX-License-Identifier: Zlib
// Platform points of the browser build (emscripten).
#include "platform.h"

#include <SDL.h>
#include <emscripten.h>
#include <sys/stat.h>
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

FILE *platform_fopen(const char *path, const char *mode) { return fopen(path, mode); }

long platform_mtime(const char *path) {
    struct stat st;
    if (stat(path, &st) != 0) return 0;
    return static_cast<long>(st.st_mtime);
}

// Standard error is the browser's console, which shows the codes as text.
bool platform_stderr_colours(void) { return false; }

// The page's console (web/page.js sends standard error there) is the place.
void platform_fatal_notice(const char *text) { (void)text; }
