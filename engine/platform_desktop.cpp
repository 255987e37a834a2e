// SPDX-License-Identifier: Zlib
// Platform points of the desktop build (Linux and other POSIX systems).
#include "platform.h"

#include <SDL.h>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

void platform_init(void) {}

void frame_wait(uint32_t ms) {
    if (ms > 0) SDL_Delay(ms);
}

bool platform_stderr_colours(void) {
    // A terminal, unless it says it shows no colours.
    const char *term = getenv("TERM");
    return isatty(STDERR_FILENO) == 1 && (term == nullptr || strcmp(term, "dumb") != 0);
}

// The desktop game is started from a terminal or a desktop entry whose session
// keeps standard error: the lines themselves are the notice.
void platform_fatal_notice(const char *text) {
    (void)text;
}

// Accelerated only: without one the start fails and says SDL's reason.
SDL_Renderer *platform_create_renderer(SDL_Window *window) {
    return SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED);
}
