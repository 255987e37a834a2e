// SPDX-License-Identifier: Zlib
// The game's entry, its frame, and the clocks every timed part of the game reads.
#include <SDL.h> // declares SDL_main with C linkage, as SDL's entry glue expects
#include <SDL_mixer.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "VEK.h"
#include "_.h"
#include "cfg.h"
#include "minigame_manager.h"
#include "record.h"
#include "world.h"

// ---------------------------------------------------------------------------
// Clocks
// ---------------------------------------------------------------------------

// Taken during static initialisation, before SDL_main runs: close enough to the
// start of the process for a clock that only measures intervals.
static const std::chrono::steady_clock::time_point process_start = std::chrono::steady_clock::now();

static clock_t (*clock_source)(void) = nullptr;
static time_t (*time_source)(void) = nullptr;

clock_t game_clock(void) {
    if (clock_source != nullptr) return clock_source();
    auto elapsed = std::chrono::steady_clock::now() - process_start;
    return static_cast<clock_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

time_t game_time(void) {
    if (time_source != nullptr) return time_source();
    return time(NULL);
}

void game_clock_set_source(clock_t (*source)(void)) {
    clock_source = source;
}
void game_time_set_source(time_t (*source)(void)) {
    time_source = source;
}

// ---------------------------------------------------------------------------
// Entry and frame
// ---------------------------------------------------------------------------

int main_loop(void *data) {
    (void)data;
    minigame_manage();
    ASSERT(VEK_DrawBegin() == 0);
    VEK_DrawSetColor(.r = game.bg_color.red, .g = game.bg_color.green, .b = game.bg_color.blue,
                     .a = -1.0f);
    VEK_DrawClear();
    minigame_draw();
    ASSERT(VEK_DrawEnd() == 0);
    return 0;
}

// `bramble --version`: the game's version and those of SDL2 and SDL2_mixer, as
// compiled in and as loaded now (they differ where the libraries are shared and
// were updated since), for a bug report. Opens nothing.
static int print_version(void) {
    SDL_version sdl_built, sdl_linked;
    SDL_VERSION(&sdl_built);
    SDL_GetVersion(&sdl_linked);
    SDL_version mixer_built;
    SDL_MIXER_VERSION(&mixer_built);
    const SDL_version *mixer_linked = Mix_Linked_Version();
    printf("bramble %s\n", BRAMBLE_VERSION);
    printf("SDL2 compiled %d.%d.%d, linked %d.%d.%d\n", sdl_built.major, sdl_built.minor,
           sdl_built.patch, sdl_linked.major, sdl_linked.minor, sdl_linked.patch);
    printf("SDL2_mixer compiled %d.%d.%d, linked %d.%d.%d\n", mixer_built.major, mixer_built.minor,
           mixer_built.patch, mixer_linked->major, mixer_linked->minor, mixer_linked->patch);
    return fflush(stdout) == 0 ? 0 : 1;
}

int SDL_main(int argc, char **argv) {
    // The one argument read; any other is ignored and the game starts.
    if (argc == 2 && strcmp(argv[1], "--version") == 0) return print_version();
    srand(static_cast<unsigned int>(time(NULL)));
    DEFER(wdeinit);
    ASSERT_ADVISE(VEK_Init(.width = cfg.display_width, .height = cfg.display_height,
                           .pixel_perfect = false, .show_cursor = true, .title = "bramble") == 0,
                  "The game could not open its window or its own folder: the lines above say "
                  "why, and what to install when the system lacks a library. Otherwise unpack or "
                  "install the game again, keeping asset and res beside the program. README.txt "
                  "says more.");
    DEFER(VEK_Quit);
    world_init("res/world/world.csv");
    record_init();
    minigame_init();
    VEK_MainLoop(main_loop, NULL);
    return 0;
}
