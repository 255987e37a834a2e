// SPDX-License-Identifier: Zlib
// The play-through: start screen, a timed run of challenges chosen at random,
// and the finish screen. All of its state lives in `game`.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "VEK.h"
#include "cfg.h"
#include "draw.h"
#include "minigame_manager.h"
#include "start_screen.h"

minigame game;

// ---------------------------------------------------------------------------
// Flash limit
// ---------------------------------------------------------------------------
// Each challenge repaints the whole picture in a new random colour, and challenges
// can end within a twentieth of a second, so the backgrounds alone could flash
// faster than is safe for photosensitive players. The accepted limit is three
// flashes in any one second, a flash being a pair of opposite transitions: a
// change of relative luminance of at least 0.1 with the darker state below 0.8,
// or a change into or out of a saturated red. The sequencer follows the
// backgrounds it has shown and, only when a new colour would be the seventh such
// transition within a second (the fourth flash), draws it again from the same
// palette; every other background is drawn exactly as before.

namespace {

constexpr int MAX_TRANSITIONS = 6; // three flashes a second
// One second, plus a few frames for the pacing jitter between a switch and the
// frame that shows its colour.
constexpr clock_t FLASH_WINDOW_TICKS = 1050;
// Draws of a new colour before the nearest colour that stays under is taken.
constexpr int MAX_DRAWS = 8;

// A background as the eye meets it: the 8-bit colour the engine draws.
struct Shade {
    double luminance; // relative luminance, 0 to 1
    double u, v;      // chromaticity in the CIE 1976 UCS diagram
    double redness;   // (R - G - B) x 320 of the linear channels, at least 0
    bool red;         // saturated red: R / (R + G + B) of at least 0.8
};

double linear_channel(float c) {
    double s = static_cast<double>(static_cast<uint8_t>(255.0f * c)) / 255.0;
    return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
}

Shade shade_of(color c) {
    double r = linear_channel(c.red), g = linear_channel(c.green), b = linear_channel(c.blue);
    Shade s{};
    s.luminance = 0.2126 * r + 0.7152 * g + 0.0722 * b;
    double x = 0.4124 * r + 0.3576 * g + 0.1805 * b;
    double z = 0.0193 * r + 0.1192 * g + 0.9505 * b;
    double d = x + 15.0 * s.luminance + 3.0 * z;
    s.u = d > 0.0 ? 4.0 * x / d : 0.0;
    s.v = d > 0.0 ? 9.0 * s.luminance / d : 0.0;
    s.redness = std::fmax(0.0, (r - g - b) * 320.0);
    s.red = r + g + b > 0.0 && r / (r + g + b) >= 0.8;
    return s;
}

// Transitions of one kind shown so far: the state they left the background in
// and the ticks of the last few.
struct Transitions {
    clock_t at[MAX_TRANSITIONS];
    int count; // all of them; the ring holds the last MAX_TRANSITIONS
};

struct FlashState {
    double extreme; // luminance reached since the last general transition
    int direction;  // of that transition: +1 lighter, -1 darker, 0 none yet
    Shade red_ref;  // the state a red transition is measured from
    Transitions general, red;
    int redraws;
} flash;

// +1 or -1 when the background going to `s` makes a general transition, else 0;
// the state follows the new background.
int general_step(double &extreme, int &direction, double y) {
    if (direction >= 0 && extreme - y >= 0.1 && y < 0.8) {
        extreme = y;
        direction = -1;
        return -1;
    }
    if (direction <= 0 && y - extreme >= 0.1 && extreme < 0.8) {
        extreme = y;
        direction = +1;
        return +1;
    }
    if ((direction > 0 && y > extreme) || (direction < 0 && y < extreme)) extreme = y;
    return 0;
}

// Into or out of a saturated red, far enough in colour to count.
bool red_step(Shade &ref, const Shade &s) {
    bool far =
        std::hypot(ref.u - s.u, ref.v - s.v) > 0.2 || std::fabs(ref.redness - s.redness) > 20.0;
    if (ref.red != s.red && far) {
        ref = s;
        return true;
    }
    if (ref.red == s.red) ref = s;
    return false;
}

int recent(const Transitions &t, clock_t now) {
    int n = 0;
    for (int i = 0; i < MAX_TRANSITIONS && i < t.count; i++)
        if (now - t.at[i] < FLASH_WINDOW_TICKS) n++;
    return n;
}

void note(Transitions &t, clock_t now) {
    t.at[t.count % MAX_TRANSITIONS] = now;
    t.count++;
}

// Whether showing `c` at `now` would make a transition when `limit` of its kind
// were already shown within the window.
bool too_many(color c, clock_t now, int limit) {
    Shade s = shade_of(c);
    double extreme = flash.extreme;
    int direction = flash.direction;
    Shade ref = flash.red_ref;
    return (general_step(extreme, direction, s.luminance) != 0 &&
            recent(flash.general, now) >= limit) ||
           (red_step(ref, s) && recent(flash.red, now) >= limit);
}

void show(color c, clock_t now) {
    Shade s = shade_of(c);
    if (general_step(flash.extreme, flash.direction, s.luminance) != 0) note(flash.general, now);
    if (red_step(flash.red_ref, s)) note(flash.red, now);
}

// Starts the record afresh from the background shown now.
void flash_reset(color shown) {
    flash = FlashState{};
    flash.extreme = shade_of(shown).luminance;
    flash.red_ref = shade_of(shown);
}

} // namespace

int minigame_redraws(void) {
    return flash.redraws;
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
    flash_reset(game.bg_color);
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
    int limit = MAX_TRANSITIONS;
    if (game.secondes + 2.0 >= game.secondes_max) limit -= 1;
    color c = random_background();
    if (!too_many(c, now, limit)) return c;
    flash.redraws += 1;
    for (int i = 1; i < MAX_DRAWS; i++) {
        c = random_background();
        if (!too_many(c, now, limit)) return c;
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
                if (d < best_distance && !too_many(p, now, limit)) {
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
    show(game.bg_color, game.dur_init);
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
