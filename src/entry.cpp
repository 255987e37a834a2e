// SPDX-License-Identifier: Zlib
// Process entry: SDL's main library provides no `main` on this platform, so hand
// over to the game's SDL_main here.
#include <SDL.h>

int main(int argc, char **argv) {
    SDL_SetMainReady();
    return SDL_main(argc, argv);
}
