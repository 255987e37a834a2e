// SPDX-License-Identifier: Zlib
// The start screen: "OU PAS ?", where "PAS" grows and is the start button.
// Growing starts the music and the run's clock; a click on the word blinks it
// for a tenth of a second and then starts the run.
#include "VEK.h"
#include "cfg.h"
#include "draw.h"
#include "minigame_manager.h"
#include "start_screen.h"

double font_size = 4.0;
int size_x = 0;
int size_y = 0;
clock_t duration1[2] = {0, 0};
clock_t duration2[2] = {0, 0};
clock_t duration_start[2] = {0, 0};

static double seconds_between(const clock_t span[2]) {
    return static_cast<double>(span[1] - span[0]) / 1000.0;
}

void manage_start_screen(void) {
    if (duration2[0] == 0) {
        duration1[0] = game_clock();
        duration2[0] = game_clock();
    }
    duration1[1] = game_clock();
    duration2[1] = game_clock();

    // One step per frame (at least one tick since the last step) once the
    // screen has been up for 0.2 s, until the word reaches size 10.
    if (seconds_between(duration1) > 0.2 && seconds_between(duration2) > 0.0001 &&
        font_size < 10.0) {
        font_size += static_cast<double>(0.05f);
        duration2[0] = game_clock();
        if (!game.music) minigame_start_music();
    }
    manage_start_button();
}

void manage_start_button(void) {
    int x, y;
    VEK_MouseGetPosition(&x, &y);
    // The clickable box grows with the word; before the first step it is not
    // clickable at all.
    double grow = (font_size - 4.0) * 18.0;
    if (x > 210 - grow && y > 270 - grow && x < 420 + grow && y < 390 + grow &&
        VEK_MousePressed(1) && font_size > 4.0)
        minigame_pre_start();
}

void draw_start_screen(void) {
    size_x = static_cast<int>(16.0 * font_size);
    size_y = static_cast<int>(32.0 * font_size);
    write_on_screen("OU ", (cfg.display_width - 192) / 2 - 140, (cfg.display_height - 124) / 2,
                    4.0f);
    write_on_screen(" ?", (cfg.display_width - 128) / 2 + 110, (cfg.display_height - 124) / 2,
                    4.0f);

    int x = (cfg.display_width - 3 * size_x) / 2;
    int y = (cfg.display_height - size_y) / 2;
    if (game.start == 1) {
        if (duration_start[0] == 0) duration_start[0] = game_clock();
        duration_start[1] = game_clock();
        double dif = seconds_between(duration_start);
        // Red and white, changing every hundredth of a second.
        int blink = static_cast<int>(dif * 100.0) % 2;
        write_on_screen_rgb("PAS", x, y, static_cast<float>(font_size), 1.0f,
                            static_cast<float>(blink), static_cast<float>(blink));
        if (dif > 0.1) minigame_start();
    } else {
        write_on_screen("PAS", x, y, static_cast<float>(font_size));
    }
}
