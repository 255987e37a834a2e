// SPDX-License-Identifier: Zlib
// Platform points of the Windows build (mingw-w64).
#include "platform.h"

#include <SDL.h>
#include <unistd.h>

void platform_init(void) {}

void frame_wait(uint32_t ms) {
    if (ms > 0) SDL_Delay(ms);
}

int platform_chdir(const char *path) { return chdir(path); }

// Accelerated only: without one the start fails and says SDL's reason.
SDL_Renderer *platform_create_renderer(SDL_Window *window) {
    return SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED);
}
