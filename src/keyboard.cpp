// SPDX-License-Identifier: Zlib
// Keyboard prompt: press the key whose shifted label is asked for, on a real
// keyboard or with a finger on the drawn one.
#include "draw.h"

#include "VEK.h"
#include "minigame_manager.h"

#include <cstdlib>

int offset = 0;
int letter = KEY_NONE;
int offset_x = 60;
int offset_y = 300;

// Physical keys in the order of the label string (QWERTY rows, top to bottom),
// which is also the order keys are judged in when several go down in one frame.
static const SDL_Scancode KEYS[26] = {
    SDL_SCANCODE_Q, SDL_SCANCODE_W, SDL_SCANCODE_E, SDL_SCANCODE_R, SDL_SCANCODE_T, SDL_SCANCODE_Y,
    SDL_SCANCODE_U, SDL_SCANCODE_I, SDL_SCANCODE_O, SDL_SCANCODE_P, SDL_SCANCODE_A, SDL_SCANCODE_S,
    SDL_SCANCODE_D, SDL_SCANCODE_F, SDL_SCANCODE_G, SDL_SCANCODE_H, SDL_SCANCODE_J, SDL_SCANCODE_K,
    SDL_SCANCODE_L, SDL_SCANCODE_Z, SDL_SCANCODE_X, SDL_SCANCODE_C, SDL_SCANCODE_V, SDL_SCANCODE_B,
    SDL_SCANCODE_N, SDL_SCANCODE_M,
};

// The letter caps of the keyboard picture (tools/keyboard_picture.cpp draws them),
// in picture pixels: per row the first cap's left edge and top, caps 58 x 64 on a
// 64-pixel pitch, rows 10 pixels apart.
struct CapRow {
    int first, count, x, top;
};
static const CapRow CAP_ROWS[3] = {{0, 10, 160, 78}, {10, 9, 180, 152}, {19, 7, 200, 226}};
static constexpr int CAP_PITCH = 64, CAP_GAP = 6, CAP_H = 64, ROW_GAP = 10;

// The index of the drawn letter key at game pixel (x, y), or KEY_NONE. Each cap
// takes half of the gaps around it, so a finger landing between two caps still
// presses the nearer one.
static int key_at(int x, int y) {
    // Back to picture pixels: the picture is drawn at half size.
    int px = (x - offset_x) * 2, py = (y - offset_y) * 2;
    for (const CapRow &row : CAP_ROWS) {
        if (py < row.top - ROW_GAP / 2 || py >= row.top + CAP_H + ROW_GAP / 2) continue;
        int from = row.x - CAP_GAP / 2;
        if (px < from) return KEY_NONE;
        int k = (px - from) / CAP_PITCH;
        return k < row.count ? row.first + k : KEY_NONE;
    }
    return KEY_NONE;
}

void randomise_key(char *key) {
    if (offset == 0) offset = rand() % 12 + 1;
    for (int i = 0; key[i] != '\0'; i++) {
        if (key[i] < 'A' || key[i] > 'Z') continue;
        key[i] = (char)((key[i] - 'A' + offset) % 26 + 'A');
    }
}

void draw_keyboard(void) {
    char key[27] = "QWERTYUIOPASDFGHJKLZXCVBNM";
    int key_press = KEY_NONE;
    const float scale = 0.5f;

    VEK_Uint id = VEK_LoadResource("asset/keyboard.bmp");
    // The last key (M's place) is never asked.
    if (letter == KEY_NONE) letter = rand() % 25;
    randomise_key(key);

    VEK_DrawSetColor(.r = 1, .g = 1, .b = 1);
    VEK_DrawImage(.id = id, .x = offset_x, .y = offset_y, .ix = 0, .iy = 0, .r = 0, .sx = scale,
                  .sy = scale, .center = false, .flip_x = false, .flip_y = false);

    // Labels over the picture's keys, in the background colour. Each row starts
    // a little further right and lower than the one above it.
    int row_offset_x = 56;
    int row_offset_y = 42;
    int column = 0;
    for (int i = 0; key[i] != '\0'; i++) {
        if (i == 10) {
            row_offset_x = 66;
            row_offset_y = 79;
            column = 0;
        } else if (i == 19) {
            row_offset_x = 76;
            row_offset_y = 116;
            column = 0;
        }
        column++;
        write_letter_on_screen_rgb(key[i], offset_x + row_offset_x + 32 * column,
                                   offset_y + row_offset_y, 0.8f, game.bg_color.red,
                                   game.bg_color.green, game.bg_color.blue);
    }

    write_on_screen("PRESS", 100, 150, 2.5f);
    write_letter_on_screen_rgb(key[letter], 350, 150, 2.5f, 1.0f, 1.0f, 1.0f);
    write_on_screen("!!!!", 400, 150, 2.5f);

    // Only the first key in table order that went down this frame is judged.
    for (int i = 0; i < 26; i++) {
        if (VEK_IsKeyPressed(KEYS[i])) {
            key_press = i;
            break;
        }
    }
    // Without a key, a finger pressing a drawn key presses the key at that place:
    // a phone has no keyboard. The mouse does not (it is no keyboard either, and a
    // touch SDL turns into the mouse is counted here as the finger it is).
    for (int f = 0; f < VEK_FINGER_MAX && key_press == KEY_NONE; f++) {
        if (!VEK_FingerPressed(f)) continue;
        int x = 0, y = 0;
        VEK_FingerGetPosition(f, &x, &y);
        key_press = key_at(x, y);
    }
    if (key_press != KEY_NONE && key_press == letter) {
        letter = KEY_NONE;
        offset = 0;
        minigame_switch();
    }
}
