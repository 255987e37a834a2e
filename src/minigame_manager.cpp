// SPDX-License-Identifier: Zlib
// The play-through: start screen, a timed run of challenges chosen at random,
// and the finish screen. All of its state lives in `game`.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "VEK.h"
#include "cfg.h"
#include "draw.h"
#include "flash_limit.h"
#include "minigame_manager.h"
#include "start_screen.h"

minigame game;

// Backgrounds drawn again since minigame_init because of the flash limit.
static int redraws;

// Draws of a new colour before the nearest colour that stays under the flash
// limit is taken.
static const int MAX_DRAWS = 8;

int minigame_redraws(void) {
    return redraws;
}

void minigame_init(void) {
    game.point = 0;
    game.start = 0;
    game.dur = 0;
    game.dur_start = 0;
    game.dur_init = 0;
    game.time_each_game = 0.15;
    game.bg_color = {1.0f, 0.1f, 0.1f};
    game.cur_minigame = nullptr;
    flash_limit_reset(game.bg_color);
    redraws = 0;
    game.minigames[0] = just_yell;
    game.minigames[1] = silence;
    game.minigames[2] = do_nothing;
    game.minigames[3] = spam_click;
    game.minigames[4] = spam_e;
    game.minigames[5] = follow_square;
    game.minigames[6] = draw_keyboard;
    game.secondes_max = 145.0;
    // Count up to the first empty slot: the table always ends in null slots.
    game.nbr_minigame = 0;
    while (game.minigames[game.nbr_minigame] != nullptr) game.nbr_minigame += 1;
}

double run_seconds(double elapsed) {
    // A calendar clock set back while the game runs gives a negative difference;
    // counting it as no time keeps the run going instead of wrapping to a huge
    // value that would end it at once.
    if (!(elapsed > 0.0)) return 0.0;
    if (elapsed >= 4294967295.0) return 4294967295.0;
    return static_cast<double>(static_cast<uint32_t>(elapsed));
}

void minigame_manage(void) {
    switch (game.start) {
    case 0:
        manage_start_screen();
        break;
    case 1:
        break;
    case 2:
        game.dur = game_clock();
        game.secondes = run_seconds(difftime(game_time(), game.time_start));
        // The background stays as it is for this frame: the finish text is drawn
        // over the last challenge's colour once, then the red takes over.
        if (game.secondes >= game.secondes_max) game.start = 3;
        break;
    case 3:
        game.bg_color = {1.0f, 0.1f, 0.1f};
        break;
    default:
        break;
    }
}

void minigame_draw(void) {
    switch (game.start) {
    case 0:
    case 1:
        draw_start_screen();
        break;
    case 2:
        if (game.cur_minigame != nullptr) game.cur_minigame();
        break;
    case 3: {
        const double size = 4.0;
        int width = static_cast<int>(128.0 * size);
        int height = static_cast<int>(32.0 * size);
        write_on_screen("FINISH !", (cfg.display_width - width) / 2,
                        (cfg.display_height - height) / 2, static_cast<float>(size));
        break;
    }
    default:
        break;
    }
    VEK_DrawSetColor(.r = 1.0f, .g = 1.0f, .b = 1.0f, .a = -1.0f);
}

void minigame_start_music(void) {
    // Without a mixer or the file the run simply goes on in silence.
    VEK_PlayMusic("asset/Hall-of-the-Mountain-King.wav", 0);
    game.music = true;
    game.time_start = game_time();
}

void minigame_pre_start(void) {
    game.start = 1;
}

void minigame_start(void) {
    game.start = 2;
    minigame_switch();
}

// Level i (0 to 10) of a background channel: 0.2, 0.25, ... 0.7.
static float palette_level(int i) {
    return static_cast<float>(i) / 20.0f + 0.2f;
}

static float random_channel(void) {
    return palette_level(rand() % 11);
}

static color random_background(void) {
    color c;
    c.red = random_channel();
    c.green = random_channel();
    c.blue = random_channel();
    return c;
}

// The next background: the random draw, unless it would flash too often; then
// drawn again, and after MAX_DRAWS the palette colour nearest to the last draw
// that stays under (the current background always does). In the last two
// seconds of the run one transition is kept free for the finish screen's red,
// which follows whatever was drawn.
static color next_background(clock_t now) {
    int limit = FLASH_MAX_TRANSITIONS;
    if (game.secondes + 2.0 >= game.secondes_max) limit -= 1;
    color c = random_background();
    if (!flash_limit_exceeded(c, now, limit)) return c;
    redraws += 1;
    for (int i = 1; i < MAX_DRAWS; i++) {
        c = random_background();
        if (!flash_limit_exceeded(c, now, limit)) return c;
    }
    color best = game.bg_color;
    float best_distance = 4.0f;
    for (int r = 0; r < 11; r++)
        for (int g = 0; g < 11; g++)
            for (int b = 0; b < 11; b++) {
                color p = {palette_level(r), palette_level(g), palette_level(b)};
                float d = (p.red - c.red) * (p.red - c.red) +
                          (p.green - c.green) * (p.green - c.green) +
                          (p.blue - c.blue) * (p.blue - c.blue);
                if (d < best_distance && !flash_limit_exceeded(p, now, limit)) {
                    best = p;
                    best_distance = d;
                }
            }
    return best;
}

static double random_direction(void) {
    return static_cast<double>(static_cast<float>(rand() % 81) / 40.0f - 1.0f);
}

void minigame_switch(void) {
    game.dur_start = game_clock();
    game.dur_init = game_clock();
    game.click = 0;
    VEK_MouseGetPosition(&game.last_pos_mouse[0], &game.last_pos_mouse[1]);
    game.bg_color = next_background(game.dur_init);
    flash_limit_show(game.bg_color, game.dur_init);
    game.time_each_game = 0.15 - (game.secondes / game.secondes_max) / 10.0;

    minigame_fn candidate;
    do {
        candidate = game.minigames[rand() % game.nbr_minigame];
    } while (candidate == game.cur_minigame);

    if (candidate == follow_square) {
        game.dir_r[0] = random_direction();
        game.dir_r[1] = random_direction();
        printf("dir[0]=%f; dir[1]=%f\n", game.dir_r[0], game.dir_r[1]);
        fflush(stdout);
        game.pos_r[0] = cfg.display_width / 2;
        game.pos_r[1] = cfg.display_height / 2;
    }
    game.cur_minigame = candidate;
}

void minigame_end(void) {
    game.start = 0;
}
