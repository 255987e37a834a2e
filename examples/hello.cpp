// SPDX-License-Identifier: Zlib
// A complete VEK program: a window, a rectangle steered with the arrow keys, a
// picture from a file (edit hello.bmp while it runs: it reloads), Space for a new
// colour, Escape to quit.
#include <SDL.h>

#include "VEK.h"

static VEK_Uint picture = 0; // resource id: the engine owns the texture
static int x = 40, y = 40;   // rectangle position in game pixels
static float red = 0.9f, green = 0.6f;
static bool failed = false;

// A 16x16 checker, written beside the executable on the first start so that
// there is a file to load and to edit.
static void write_picture(const char *path) {
    SDL_Surface *s = SDL_CreateRGBSurfaceWithFormat(0, 16, 16, 32, SDL_PIXELFORMAT_ARGB8888);
    if (s == nullptr) return;
    for (int i = 0; i < 16 * 16; i++) {
        Uint32 *row =
            reinterpret_cast<Uint32 *>(static_cast<Uint8 *>(s->pixels) + i / 16 * s->pitch);
        row[i % 16] = (i / 16 / 4 + i % 16 / 4) % 2 ? 0xFF3050C0u : 0xFFFFFFFFu;
    }
    SDL_SaveBMP(s, path);
    SDL_FreeSurface(s);
}

// Called once per frame by VEK_MainLoop; a non-zero result ends the loop.
static int frame(void *) {
    if (VEK_IsKeyPressed(SDL_SCANCODE_ESCAPE)) return 1;
    if (VEK_IsKeyDown(SDL_SCANCODE_LEFT)) x -= 2; // held: every frame
    if (VEK_IsKeyDown(SDL_SCANCODE_RIGHT)) x += 2;
    if (VEK_IsKeyDown(SDL_SCANCODE_UP)) y -= 2;
    if (VEK_IsKeyDown(SDL_SCANCODE_DOWN)) y += 2;
    if (VEK_IsKeyPressed(SDL_SCANCODE_SPACE)) { // pressed: once per press
        red = 1.0f - red;
        green = 1.0f - green;
    }

    failed = VEK_DrawBegin() != 0; // draw into the off-screen picture
    if (failed) return 1;
    VEK_DrawSetColor(.r = 0.1f, .g = 0.1f, .b = 0.2f, .a = 1.0f);
    VEK_DrawClear();
    VEK_DrawSetColor(.r = red, .g = green, .b = 0.1f); // alpha left out: kept
    VEK_DrawRectangle(.x = x, .y = y, .w = 48, .h = 32, .fill = true);
    VEK_DrawSetColor(.r = 1, .g = 1, .b = 1); // white shows the picture's own colours
    VEK_DrawImage(.id = picture, .x = 128, .y = 112, .sx = 4, .sy = 4, .center = true);
    VEK_DrawImage(.id = picture, .x = 200, .y = 170, .r = 0.125f, .sx = 2, .sy = 2, .center = true);
    failed = VEK_DrawEnd() != 0; // letterbox into the window, wait for the due time, present
    return failed ? 1 : 0;
}

int main(int, char **) {
    // 256x224 game pixels in a window three times as large; no sound, so no audio device.
    if (VEK_Init(.width = 256, .height = 224, .scale = 3.0f, .mixer = VEK_MIXER_OFF,
                 .title = "hello") != 0)
        return 1;
    // VEK_Init made the executable's directory the working directory.
    if (SDL_RWops *f = SDL_RWFromFile("hello.bmp", "rb"))
        SDL_RWclose(f);
    else
        write_picture("hello.bmp");
    picture = VEK_LoadResource("hello.bmp"); // an image, by its extension
    if (picture != 0) VEK_MainLoop(frame, nullptr);
    VEK_Quit();
    return picture == 0 || failed ? 1 : 0;
}
