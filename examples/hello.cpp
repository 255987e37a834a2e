// A complete VEK program: a window, a coloured rectangle steered with the arrow
// keys, a picture loaded from a file (edit hello.bmp while it runs and it changes
// on screen), Space for a new colour, Escape to quit.
#include <SDL.h>

#include "VEK.h"

static VEK_Uint picture = 0; // resource id: the engine owns the texture
static int x = 40, y = 40;   // rectangle position, in game pixels
static float red = 0.9f, green = 0.6f, blue = 0.1f;
static bool failed = false; // a frame could not be drawn

// A 16x16 checker picture, written once beside the executable so that there is a
// file to load (and to edit: the engine reloads it when it changes).
static void write_picture(const char *path) {
    SDL_Surface *s = SDL_CreateRGBSurfaceWithFormat(0, 16, 16, 32, SDL_PIXELFORMAT_ARGB8888);
    if (s == nullptr) return;
    for (int row = 0; row < 16; row++) {
        Uint32 *line = reinterpret_cast<Uint32 *>(static_cast<Uint8 *>(s->pixels) + row * s->pitch);
        for (int col = 0; col < 16; col++)
            line[col] = ((row / 4 + col / 4) % 2 == 0) ? 0xFFFFFFFFu : 0xFF3050C0u;
    }
    SDL_SaveBMP(s, path);
    SDL_FreeSurface(s);
}

// One frame: read input, then draw into the off-screen picture. A non-zero
// result ends VEK_MainLoop.
static int frame(void *udata) {
    (void)udata;
    if (VEK_IsKeyPressed(SDL_SCANCODE_ESCAPE)) return 1;
    if (VEK_IsKeyDown(SDL_SCANCODE_LEFT)) x -= 2;
    if (VEK_IsKeyDown(SDL_SCANCODE_RIGHT)) x += 2;
    if (VEK_IsKeyDown(SDL_SCANCODE_UP)) y -= 2;
    if (VEK_IsKeyDown(SDL_SCANCODE_DOWN)) y += 2;
    if (VEK_IsKeyPressed(SDL_SCANCODE_SPACE)) { // once per press, not per frame held
        red = static_cast<float>(SDL_GetTicks() % 7) / 7.0f;
        green = 1.0f - red;
    }

    if (VEK_DrawBegin() != 0) {
        failed = true;
        return 1;
    }
    VEK_DrawSetColor(.r = 0.1f, .g = 0.1f, .b = 0.2f, .a = 1.0f);
    VEK_DrawClear();

    VEK_DrawSetColor(.r = red, .g = green, .b = blue); // alpha omitted: kept
    VEK_DrawRectangle(.x = x, .y = y, .w = 48, .h = 32, .fill = true);

    // White leaves the picture's own colours; any other colour tints it.
    VEK_DrawSetColor(.r = 1, .g = 1, .b = 1);
    VEK_DrawImage(.id = picture, .x = 128, .y = 112, .sx = 4, .sy = 4, .center = true);
    VEK_DrawImage(.id = picture, .x = 200, .y = 160, .r = 0.125f, .sx = 2, .sy = 2, .center = true);

    if (VEK_DrawEnd() != 0) { // compose, wait for the frame's due time, present
        failed = true;
        return 1;
    }
    return 0;
}

int main(int argc, char **argv) {
    (void)argc;
    (void)argv;
    // 256x224 game pixels shown three times as large; the picture stays letterboxed
    // and centred when the window is resized. No sound here, so no audio device.
    if (VEK_Init(.width = 256, .height = 224, .scale = 3.0f, .mixer = VEK_MIXER_OFF,
                 .title = "hello") != 0)
        return 1;
    // VEK_Init made the executable's directory the working directory.
    SDL_RWops *existing = SDL_RWFromFile("hello.bmp", "rb");
    if (existing != nullptr)
        SDL_RWclose(existing);
    else
        write_picture("hello.bmp");
    picture = VEK_LoadResource("hello.bmp"); // kind from the extension: an image
    if (picture == 0) {
        VEK_Quit();
        return 1;
    }
    VEK_MainLoop(frame, nullptr); // until the window is closed or a frame returns non-zero
    VEK_Quit();
    return failed ? 1 : 0;
}
