// SPDX-License-Identifier: Zlib
// A second VEK program: what hello does not show. The four per-frame states of a
// key, a mouse button, a controller button and a finger; a sound played on a
// press; a colour read from a text file that is reloaded when the file changes.
//
// Rows: Space, the left mouse button, the controller's A button, the first finger
// on a touch screen. Cells, left to right: up, pressed this frame, down, released
// this frame; a cell lights when its state is current and fades over a few
// frames, so the one-frame states show (a quick tap lights "pressed" and then
// "released"). A square marks the finger while it touches; SDL also turns a touch
// into the mouse, so the button's row and the pointer follow it. Space or a click
// plays beep.wav (louder to the right of the window).
// Edit background.txt ("red green blue", 0..1) or replace beep.wav while it
// runs: the next frame uses the new file. Escape quits.
#include <SDL.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "VEK.h"

static VEK_Uint beep = 0;       // sound resource; 0 without an audio device
static VEK_Uint background = 0; // raw resource: the text of background.txt
static float glow[4][4] = {};   // per row and state: 1 when current, fading
static bool failed = false;

// Writes `text` to `path` unless the file exists.
static void write_once(const char *path, const void *data, size_t size) {
    if (SDL_RWops *f = SDL_RWFromFile(path, "rb")) {
        SDL_RWclose(f);
        return;
    }
    if (SDL_RWops *f = SDL_RWFromFile(path, "wb")) {
        SDL_RWwrite(f, data, 1, size);
        SDL_RWclose(f);
    }
}

// A short falling tone as a 16-bit mono WAV file in memory.
static size_t make_beep(Uint8 *out, size_t capacity) {
    const int rate = 22050, samples = rate / 8;
    const size_t size = 44 + 2 * static_cast<size_t>(samples);
    if (capacity < size) return 0;
    SDL_RWops *w = SDL_RWFromMem(out, static_cast<int>(capacity));
    if (w == nullptr) return 0;
    SDL_RWwrite(w, "RIFF", 1, 4);
    SDL_WriteLE32(w, static_cast<Uint32>(size - 8));
    SDL_RWwrite(w, "WAVEfmt ", 1, 8);
    SDL_WriteLE32(w, 16);       // format chunk size
    SDL_WriteLE16(w, 1);        // PCM
    SDL_WriteLE16(w, 1);        // mono
    SDL_WriteLE32(w, rate);     // frames per second
    SDL_WriteLE32(w, rate * 2); // bytes per second
    SDL_WriteLE16(w, 2);        // bytes per frame
    SDL_WriteLE16(w, 16);       // bits per sample
    SDL_RWwrite(w, "data", 1, 4);
    SDL_WriteLE32(w, static_cast<Uint32>(2 * samples));
    double phase = 0;
    for (int i = 0; i < samples; i++) {
        double t = static_cast<double>(i) / samples;
        phase += 2 * 3.14159265358979 * (880.0 - 440.0 * t) / rate;
        SDL_WriteLE16(w, static_cast<Uint16>(static_cast<Sint16>(12000.0 * (1 - t) * sin(phase))));
    }
    SDL_RWclose(w);
    return size;
}

// The colour in background.txt, read again from the registry every frame: the
// engine replaces the bytes under the same id when the file changes.
static void background_colour(float *r, float *g, float *b) {
    char text[64] = "";
    if (const VEK_Raw *raw = VEK_GetRawResource(background); raw != nullptr && raw->data) {
        size_t n = raw->size < sizeof text - 1 ? raw->size : sizeof text - 1;
        memcpy(text, raw->data, n);
    }
    if (sscanf(text, "%f %f %f", r, g, b) != 3) *r = *g = *b = 0.5f; // grey: unreadable
}

// One row of four cells for an input's state this frame.
static void draw_states(int row, VEK_KeyState state, int y) {
    // Left to right: up, pressed, down, released (the order a press goes through).
    const VEK_KeyState order[4] = {VEK_KEYSTATE_UP, VEK_KEYSTATE_PRESS, VEK_KEYSTATE_DOWN,
                                   VEK_KEYSTATE_RELEASE};
    for (int i = 0; i < 4; i++) {
        float &g = glow[row][order[i]];
        g = order[i] == state ? 1.0f : g * 0.85f;
        int x = 36 + i * 48; // four 40-pixel cells, centred
        VEK_DrawSetColor(.r = 1, .g = 0.8f, .b = 0.2f, .a = g);
        VEK_DrawRectangle(.x = x, .y = y, .w = 40, .h = 40, .fill = true);
        VEK_DrawSetColor(.r = 1, .g = 1, .b = 1, .a = 1);
        VEK_DrawRectangle(.x = x, .y = y, .w = 40, .h = 40);
    }
}

// Called once per frame by VEK_MainLoop; a non-zero result ends the loop.
static int frame(void *) {
    if (VEK_IsKeyPressed(SDL_SCANCODE_ESCAPE)) return 1;
    int mx = 0, my = 0;
    VEK_MouseGetPosition(&mx, &my); // in game pixels
    if (beep != 0 && (VEK_IsKeyPressed(SDL_SCANCODE_SPACE) || VEK_MousePressed(1)))
        (void)VEK_PlaySound(.id = beep, .volume = 0.2f + 0.8f * static_cast<float>(mx) / 256.0f);

    float r, g, b;
    background_colour(&r, &g, &b);
    failed = VEK_DrawBegin() != 0;
    if (failed) return 1;
    VEK_BlendMode(SDL_BLENDMODE_BLEND); // the fading cells use alpha
    VEK_DrawSetColor(.r = r, .g = g, .b = b, .a = 1);
    VEK_DrawClear();
    draw_states(0, VEK_GetKeyState(SDL_SCANCODE_SPACE), 16);
    draw_states(1, VEK_MouseGetState(1), 68);
    draw_states(2, VEK_JoystickGetState(SDL_CONTROLLER_BUTTON_A), 120);
    draw_states(3, VEK_FingerGetState(0), 172);
    VEK_DrawSetColor(.r = 1, .g = 1, .b = 1, .a = 1);
    VEK_DrawLine(mx - 4, my, mx + 4, my); // the pointer
    VEK_DrawLine(mx, my - 4, mx, my + 4);
    if (VEK_FingerDown(0)) { // the finger, in game pixels like the pointer
        int fx = 0, fy = 0;
        VEK_FingerGetPosition(0, &fx, &fy);
        VEK_DrawRectangle(.x = fx, .y = fy, .w = 15, .h = 15, .center = true);
    }
    failed = VEK_DrawEnd() != 0;
    return failed ? 1 : 0;
}

int main(int, char **) {
    // The audio device is opened by default (.mixer = VEK_MIXER_ON); without one
    // the program runs silently.
    if (VEK_Init(.width = 256, .height = 224, .scale = 3.0f, .title = "states") != 0) return 1;
    // VEK_Init made the executable's directory the working directory: the files
    // to edit are written there on the first start.
    const char colour[] = "0.15 0.2 0.35\n";
    write_once("background.txt", colour, sizeof colour - 1);
    static Uint8 wav[8192];
    write_once("beep.wav", wav, make_beep(wav, sizeof wav));
    background = VEK_LoadResourceTyped(VEK_RES_RAW, "background.txt");
    beep = VEK_LoadResource("beep.wav"); // a sound, by its extension; 0 without audio
    if (background != 0) VEK_MainLoop(frame, nullptr);
    VEK_Quit();
    return background == 0 || failed ? 1 : 0;
}
