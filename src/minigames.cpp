// SPDX-License-Identifier: Zlib
// Six of the challenges: silence, shouting, clicking, pressing E, staying still
// and following a moving rectangle. They keep no state of their own: the hold
// and challenge timers, the counter and the rectangle live in `game`, and `dur`
// is the one "now" of the whole frame.
#include "VEK.h"
#include "cfg.h"
#include "draw.h"
#include "minigame_manager.h"
#include "record.h"

static const int SCANCODE_E = 8;
static const uint8_t MOUSE_LEFT = 1;

// Seconds since the current hold began (slightly negative in a frame that just
// restarted it, since the restart reads the clock after `dur`).
static double hold_time(void) {
    return static_cast<double>(game.dur - game.dur_start) / 1000.0;
}

static double challenge_time(void) {
    return static_cast<double>(game.dur - game.dur_init) / 1000.0;
}

static void restart_hold(void) {
    game.dur_start = game_clock();
}

// A title of `glyph_width` pixels per unit of size, centred on the display.
static void draw_title(const char *text, double glyph_width, double size, float r, float g,
                       float b) {
    int width = static_cast<int>(glyph_width * size);
    int height = static_cast<int>(32.0 * size);
    write_on_screen_rgb(text, (cfg.display_width - width) / 2, (cfg.display_height - height) / 2,
                        static_cast<float>(size), r, g, b);
}

// Fades from 1 at the start of a hold to 0 after 1/7 s, then goes negative, which
// keeps the colour component already set. A hold restarted in this very frame can
// read slightly negative; the fade stays at 1 then, since a component above 1
// wraps to a dark byte (1.007 gives 256, whose low byte is 0).
static float fade(double hold) {
    double f = 1.0 - hold * 7.0;
    return static_cast<float>(f > 1.0 ? 1.0 : f);
}

// Ends a hold challenge: first because the condition was held long enough, then
// by time-out. A switch in the first test renews the timers past `dur`, so the
// second test cannot switch again in the same frame.
static void hold_end_rule(void) {
    if (hold_time() > game.time_each_game) minigame_switch();
    if (challenge_time() > game.time_each_game + 0.25) minigame_switch();
}

void silence(void) {
    double size = 2.0;
    if (g_dB > 10.0) {
        size = 6.0;
        restart_hold();
    }
    double hold = hold_time();
    float f = fade(hold);
    draw_title("CHUT !", 96.0, size, f, 1.0f, f);
    draw_volume();
    hold_end_rule();
}

void just_yell(void) {
    double size = 6.0;
    // Written as "below", so a level that is not a number never breaks the hold.
    if (g_dB < 10.0) restart_hold();
    double hold = hold_time();
    float f = fade(hold);
    draw_title("YELL !", 96.0, size, 1.0f, f, f);
    draw_volume();
    hold_end_rule();
}

void do_nothing(void) {
    double size = 5.0;
    int x, y;
    VEK_MouseGetPosition(&x, &y);
    if (VEK_IsKeyPressed(SCANCODE_E) || VEK_MousePressed(MOUSE_LEFT) ||
        x != game.last_pos_mouse[0] || y != game.last_pos_mouse[1]) {
        size = 6.0;
        restart_hold();
        game.last_pos_mouse[0] = x;
        game.last_pos_mouse[1] = y;
    }
    double hold = hold_time();
    float f = fade(hold);
    draw_title("STOP !", 96.0, size, f, 1.0f, f);
    hold_end_rule();
}

// The counting challenges never restart the hold, so `dur_start` is the time of
// the switch and their elapsed time is the challenge's age.
static int max_clicks(void) {
    return static_cast<int>(10.0 + game.time_each_game * 5.0);
}

static bool counting_timed_out(void) {
    return hold_time() > game.time_each_game + 0.25;
}

// Counts a press in this frame and draws the title: at `pressed_size` in a frame
// that counted, at `size` otherwise, fading from white to green as the count
// nears the maximum.
static void count_press(bool pressed, const char *text, double glyph_width, double size,
                        double pressed_size) {
    if (pressed) {
        size = pressed_size;
        game.click += 1;
    }
    float c = static_cast<float>(1.0 - static_cast<double>(game.click) / max_clicks());
    draw_title(text, glyph_width, size, c, 1.0f, c);
}

void spam_click(void) {
    count_press(VEK_MousePressed(MOUSE_LEFT), "ClICK !", 112.0, 5.0, 4.0);
    // Ten clicks end it, whatever the maximum.
    if (counting_timed_out() || game.click > 9) minigame_switch();
}

void spam_e(void) {
    count_press(VEK_IsKeyPressed(SCANCODE_E), "PRESS E !", 144.0, 4.0, 3.0);
    if (counting_timed_out() || game.click >= max_clicks()) minigame_switch();
}

void follow_square(void) {
    const double size = 2.0;
    const int rect_w = 400, rect_h = 100;
    int mx, my;
    VEK_MouseGetPosition(&mx, &my);

    // The rectangle drifts before it is drawn, also in the challenge's first frame.
    game.pos_r[0] += game.dir_r[0];
    game.pos_r[1] += game.dir_r[1];
    int left = static_cast<int>(game.pos_r[0] - rect_w / 2.0);
    int top = static_cast<int>(game.pos_r[1] - rect_h / 2.0);
    int title_w = static_cast<int>(176.0 * size);
    int title_h = static_cast<int>(32.0 * size);

    // Strict on all four sides: the pointer on the edge is outside.
    bool inside = left < mx && mx < left + rect_w && top < my && my < top + rect_h;
    if (!inside) restart_hold();

    VEK_DrawSetColor(.r = 1.0f, .g = 1.0f, .b = 1.0f, .a = -1.0f);
    VEK_DrawRectangle(.x = left, .y = top, .w = rect_w, .h = rect_h, .fill = true, .center = false);

    double hold = hold_time();
    double g = 0.0;
    if (inside) g = hold * 7.0 < 1.0 ? hold * 7.0 : 1.0;
    write_on_screen_rgb("FOLLOW ME !", static_cast<int>(game.pos_r[0]) - title_w / 2,
                        static_cast<int>(game.pos_r[1]) - title_h / 2, static_cast<float>(size),
                        0.0f, static_cast<float>(g), 0.0f);
    hold_end_rule();
}
