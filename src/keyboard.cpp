// SPDX-License-Identifier: Zlib
// Keyboard prompt: press the key whose shifted label is asked for.
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
    if (key_press != KEY_NONE && key_press == letter) {
        letter = KEY_NONE;
        offset = 0;
        minigame_switch();
    }
}
