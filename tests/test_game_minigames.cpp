// SPDX-License-Identifier: Zlib
// The six challenges of src/minigames: hold and time-out rules, the microphone
// threshold, counting, the still-mouse test, the moving rectangle, and what each
// draws.
#include "game_rig.h"
#include "vek_internal.h"

#include "cfg.h"
#include "draw.h"
#include "minigame_manager.h"
#include "record.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <string>

namespace {

// The next challenges are inert stand-ins, so a frame's switches can be counted
// from the random numbers drawn: the first switch from a real challenge draws
// three colours and one slot (no stand-in is current), and any further switch
// would draw at least as many again.
template <int N> void inert() {}
const minigame_fn inert_table[7] = {inert<0>, inert<1>, inert<2>, inert<3>,
                                    inert<4>, inert<5>, inert<6>};
constexpr unsigned SEED = 4242;

// The rig's frame `ms` after the previous one, from a known seed; returns how
// many switches it made. Hides the rig's frame() in these tests.
int frame(clock_t ms) {
    srand(SEED);
    ::frame(ms);
    int next = rand();
    srand(SEED);
    for (int draws = 0; draws < 64; draws++)
        if (rand() == next) return draws / 4;
    return -1;
}

const double NaN = std::numeric_limits<double>::quiet_NaN();
const double Inf = std::numeric_limits<double>::infinity();

class Challenge : public GameTest {
  protected:
    void SetUp() override {
        GameTest::SetUp();
        if (HasFatalFailure()) return;
        set_mouse(300, 300);
        for (int i = 0; i < 7; i++) game.minigames[i] = inert_table[i];
        game.start = 2;
        game.music = true;
        game.time_start = now_s;
    }
    // `fn` has just been switched to, with the hold time `teg`; the rectangle of
    // "FOLLOW ME !" stands still at the centre unless a test moves it.
    void begin(minigame_fn fn, double teg) {
        game.cur_minigame = fn;
        game.dur_start = game.dur_init = now_ms;
        game.click = 0;
        VEK_MouseGetPosition(&game.last_pos_mouse[0], &game.last_pos_mouse[1]);
        game.time_each_game = teg;
        game.dir_r[0] = game.dir_r[1] = 0.0;
        game.pos_r[0] = game.pos_r[1] = 320.0;
        game.bg_color = {0.3f, 0.4f, 0.5f};
    }
};

// ---------------------------------------------------------------------------
// Hold and time-out rules of the four hold challenges
// ---------------------------------------------------------------------------
struct HoldCase {
    const char *name;
    minigame_fn fn;
    std::function<void(int)> held;   // keeps the condition in frame i
    std::function<void(int)> broken; // breaks it in frame i
};

const HoldCase hold_cases[] = {
    {"CHUT !", silence, [](int) { g_dB = 0.0; }, [](int) { g_dB = 20.0; }},
    {"YELL !", just_yell, [](int) { g_dB = 20.0; }, [](int) { g_dB = 0.0; }},
    {"STOP !", do_nothing, [](int) {}, [](int i) { set_mouse(300 + i % 2, 300); }},
    {"FOLLOW ME !", follow_square, [](int) { set_mouse(320, 320); }, [](int) { set_mouse(5, 5); }},
};

TEST_F(Challenge, HeldConditionEndsStrictlyAfterTheHoldTime) {
    for (const HoldCase &c : hold_cases) {
        begin(c.fn, 0.125);
        // 25 ms frames reach exactly 0.125 s: not yet.
        for (int i = 1; i <= 5; i++) {
            c.held(i);
            ASSERT_EQ(frame(25), 0) << c.name << ", frame " << i;
        }
        c.held(6);
        EXPECT_EQ(frame(1), 1) << c.name << " at 0.126 s";
        EXPECT_NE(game.cur_minigame, c.fn) << c.name;
    }
}

TEST_F(Challenge, BrokenConditionTimesOutStrictlyAfterHoldTimePlusAQuarter) {
    for (const HoldCase &c : hold_cases) {
        begin(c.fn, 0.125);
        for (int i = 1; i <= 15; i++) {
            c.broken(i);
            ASSERT_EQ(frame(25), 0) << c.name << ", frame " << i;
            ASSERT_EQ(game.dur_start, now_ms) << c.name << ": the hold restarts";
        }
        c.broken(16);
        EXPECT_EQ(frame(1), 1) << c.name << " at 0.376 s";
    }
}

TEST_F(Challenge, BreakingTheConditionRestartsTheHold) {
    for (const HoldCase &c : hold_cases) {
        begin(c.fn, 0.125);
        c.held(0);
        ASSERT_EQ(frame(100), 0) << c.name;
        c.broken(1);
        ASSERT_EQ(frame(50), 0) << c.name;
        // The hold counts from the break at 0.15 s: exactly 0.125 s more at 0.275 s.
        c.held(2);
        ASSERT_EQ(frame(125), 0) << c.name;
        c.held(3);
        EXPECT_EQ(frame(1), 1) << c.name;
    }
}

TEST_F(Challenge, AFrameSwitchesAtMostOnce) {
    // Held long past both the hold time and the time-out in a single frame.
    for (const HoldCase &c : hold_cases) {
        begin(c.fn, 0.125);
        c.held(0);
        EXPECT_EQ(frame(1000), 1) << c.name;
        // The next challenge starts in this frame, counted from now.
        EXPECT_EQ(game.dur_init, now_ms) << c.name;
    }
    // The tenth click arriving after the time-out.
    begin(spam_click, 0.125);
    game.click = 9;
    press_left();
    EXPECT_EQ(frame(1000), 1) << "ClICK !";
}

// ---------------------------------------------------------------------------
// The microphone threshold
// ---------------------------------------------------------------------------
TEST_F(Challenge, MicrophoneLevelAgainstTheThreshold) {
    struct Case {
        const char *name;
        minigame_fn fn;
        double level;
        bool holds;
    } cases[] = {
        {"CHUT !", silence, 0.0, true},         {"CHUT !", silence, 10.0, true},
        {"CHUT !", silence, 10.000001, false},  {"CHUT !", silence, 40.0, false},
        {"CHUT !", silence, -Inf, true},        {"CHUT !", silence, NaN, true},
        {"YELL !", just_yell, 10.0, true},      {"YELL !", just_yell, 40.0, true},
        {"YELL !", just_yell, 9.999999, false}, {"YELL !", just_yell, 0.0, false},
        {"YELL !", just_yell, -Inf, false},     {"YELL !", just_yell, NaN, true},
    };
    for (const Case &c : cases) {
        begin(c.fn, 0.125);
        g_dB = c.level;
        // One frame past the hold time: a held condition ends the challenge, a
        // broken one restarts the hold instead.
        EXPECT_EQ(frame(130), c.holds ? 1 : 0) << c.name << " at " << c.level;
        if (!c.holds) {
            EXPECT_EQ(game.dur_start, now_ms) << c.name << " at " << c.level;
        }
    }
}

// ---------------------------------------------------------------------------
// Counting challenges
// ---------------------------------------------------------------------------
struct CountCase {
    const char *name;
    minigame_fn fn;
    std::function<void()> press;
    std::function<void()> other; // an input that must not count
};

const CountCase count_cases[] = {
    {"ClICK !", spam_click, press_left, [] { ___vek_mousestates[3] = VEK_KEYSTATE_PRESS; }},
    {"PRESS E !", spam_e, [] { press_key(SDL_SCANCODE_E); }, [] { press_key(SDL_SCANCODE_F); }},
};

TEST_F(Challenge, TenthPressEndsTheChallengeInItsFrame) {
    for (const CountCase &c : count_cases) {
        begin(c.fn, 0.125);
        for (int i = 1; i <= 9; i++) {
            c.press();
            ASSERT_EQ(frame(10), 0) << c.name << ", press " << i;
            ASSERT_EQ(game.click, i) << c.name;
        }
        c.press();
        EXPECT_EQ(frame(10), 1) << c.name << ", press 10";
        EXPECT_EQ(game.click, 0) << c.name << ": the next challenge counts from 0";
    }
}

TEST_F(Challenge, OnlyTheFrameOfAPressCounts) {
    for (const CountCase &c : count_cases) {
        begin(c.fn, 0.125);
        c.press();
        ASSERT_EQ(frame(10), 0);
        // Held down, then other inputs: nothing more is counted.
        ASSERT_EQ(frame(10), 0);
        c.other();
        ASSERT_EQ(frame(10), 0);
        EXPECT_EQ(game.click, 1) << c.name;
    }
}

TEST_F(Challenge, CountingTimesOutStrictlyAfterHoldTimePlusAQuarter) {
    for (const CountCase &c : count_cases) {
        begin(c.fn, 0.125);
        for (int i = 1; i <= 9; i++) {
            c.press();
            ASSERT_EQ(frame(25), 0) << c.name;
        }
        for (int i = 10; i <= 15; i++) ASSERT_EQ(frame(25), 0) << c.name << " at " << i * 25;
        EXPECT_EQ(frame(1), 1) << c.name << " at 0.376 s";
    }
}

TEST_F(Challenge, CountNeededFollowsTheHoldTime) {
    // (int)(10 + hold time x 5) presses complete "PRESS E !"; "ClICK !" always
    // ends on its tenth.
    struct Case {
        const char *name;
        minigame_fn fn;
        double teg;
        int needed;
    } cases[] = {{"PRESS E !", spam_e, 0.05, 10},
                 {"PRESS E !", spam_e, 0.15, 10},
                 {"PRESS E !", spam_e, 0.2, 11},
                 {"ClICK !", spam_click, 0.2, 10},
                 {"ClICK !", spam_click, 0.05, 10}};
    for (const Case &c : cases) {
        begin(c.fn, c.teg);
        int presses = 0, switched = 0;
        while (switched == 0 && presses < 20) {
            if (c.fn == spam_e)
                press_key(SDL_SCANCODE_E);
            else
                press_left();
            presses++;
            switched = frame(1);
        }
        EXPECT_EQ(presses, c.needed) << c.name << " with hold time " << c.teg;
    }
}

// ---------------------------------------------------------------------------
// "STOP !"
// ---------------------------------------------------------------------------
TEST_F(Challenge, StopRestartsOnAnyActionOnly) {
    struct Case {
        const char *name;
        std::function<void()> act;
        bool is_action;
    } cases[] = {
        {"one pixel right", [] { set_mouse(301, 300); }, true},
        {"one pixel left", [] { set_mouse(299, 300); }, true},
        {"one pixel down", [] { set_mouse(300, 301); }, true},
        {"one pixel up", [] { set_mouse(300, 299); }, true},
        {"E pressed", [] { press_key(SDL_SCANCODE_E); }, true},
        {"left button", press_left, true},
        {"right button", [] { ___vek_mousestates[3] = VEK_KEYSTATE_PRESS; }, false},
        {"middle button", [] { ___vek_mousestates[2] = VEK_KEYSTATE_PRESS; }, false},
        {"another key", [] { press_key(SDL_SCANCODE_F); }, false},
        {"E held down", [] { ___vek_keystates[SDL_SCANCODE_E] = VEK_KEYSTATE_DOWN; }, false},
    };
    for (const Case &c : cases) {
        set_mouse(300, 300);
        begin(do_nothing, 0.125);
        ASSERT_EQ(frame(50), 0);
        c.act();
        ASSERT_EQ(frame(50), 0) << c.name;
        int x, y;
        VEK_MouseGetPosition(&x, &y);
        EXPECT_EQ(game.last_pos_mouse[0], x) << c.name;
        EXPECT_EQ(game.last_pos_mouse[1], y) << c.name;
        // Without the action the hold time is up 26 ms later.
        EXPECT_EQ(frame(26), c.is_action ? 0 : 1) << c.name;
        if (c.is_action) {
            ASSERT_EQ(frame(99), 0) << c.name;
            EXPECT_EQ(frame(1), 1) << c.name;
        }
    }
}

TEST_F(Challenge, StopOnlyCountsMovesAfterTheSwitch) {
    // The sequencer remembers the mouse where it was when "STOP !" was chosen.
    game.minigames[0] = do_nothing;
    game.nbr_minigame = 1;
    game.cur_minigame = nullptr;
    set_mouse(50, 60);
    minigame_switch();
    ASSERT_EQ(game.cur_minigame, do_nothing);
    game.time_each_game = 0.125;
    ASSERT_EQ(frame(100), 0);
    EXPECT_EQ(game.dur_start, game.dur_init) << "no move since the switch";
    game.minigames[0] = inert_table[0];
    EXPECT_EQ(frame(26), 1);
}

// ---------------------------------------------------------------------------
// "FOLLOW ME !"
// ---------------------------------------------------------------------------
TEST_F(Challenge, FollowPointerMustBeStrictlyInsideTheRectangle) {
    struct Case {
        double px, py, dx, dy; // centre before the move, and the move
        int mx, my;
        bool inside;
    } cases[] = {
        // Centre (320, 320): the rectangle spans 120..520 by 270..370, edges outside.
        {320, 320, 0, 0, 120, 320, false},
        {320, 320, 0, 0, 121, 320, true},
        {320, 320, 0, 0, 519, 320, true},
        {320, 320, 0, 0, 520, 320, false},
        {320, 320, 0, 0, 320, 270, false},
        {320, 320, 0, 0, 320, 271, true},
        {320, 320, 0, 0, 320, 369, true},
        {320, 320, 0, 0, 320, 370, false},
        {320, 320, 0, 0, 121, 271, true},
        {320, 320, 0, 0, 600, 600, false},
        // The move comes first: (320.5, 320.75) + (0.5, -1) = (321, 319.75),
        // so the rectangle spans 121..521 by 269..369.
        {320.5, 320.75, 0.5, -1.0, 121, 300, false},
        {320.5, 320.75, 0.5, -1.0, 122, 300, true},
        {320.5, 320.75, 0.5, -1.0, 300, 269, false},
        {320.5, 320.75, 0.5, -1.0, 300, 270, true},
        // Corners truncate toward zero: a left of -0.5 becomes 0, not -1.
        {199.5, 320, 0, 0, 0, 320, false},
        {199.5, 320, 0, 0, 1, 320, true},
    };
    for (const Case &c : cases) {
        begin(follow_square, 0.125);
        game.pos_r[0] = c.px;
        game.pos_r[1] = c.py;
        game.dir_r[0] = c.dx;
        game.dir_r[1] = c.dy;
        set_mouse(c.mx, c.my);
        // Past the hold time: inside ends it, outside restarts the hold.
        EXPECT_EQ(frame(130), c.inside ? 1 : 0)
            << "mouse (" << c.mx << ", " << c.my << ") centre (" << c.px << ", " << c.py << ")";
        EXPECT_EQ(game.pos_r[0], c.px + c.dx);
        EXPECT_EQ(game.pos_r[1], c.py + c.dy);
    }
}

TEST_F(Challenge, FollowRectangleDriftsEveryFrameWithoutBouncing) {
    begin(follow_square, 10.0); // long hold time: the drift goes on
    game.dir_r[0] = -1.0;
    game.dir_r[1] = 0.975;
    set_mouse(0, 0);
    for (int i = 1; i <= 20; i++) {
        ASSERT_EQ(frame(1), 0);
        EXPECT_NEAR(game.pos_r[0], 320.0 - i, 1e-9);
        EXPECT_NEAR(game.pos_r[1], 320.0 + 0.975 * i, 1e-9);
    }
}

TEST_F(Challenge, FollowDrawsAWhiteRectangleAtTheTruncatedCorner) {
    begin(follow_square, 0.125);
    game.pos_r[0] = 320.7;
    game.pos_r[1] = 320.2;
    game.dir_r[0] = 0.5;
    game.dir_r[1] = 0.5; // centre (321.2, 320.7): corner (121, 270)
    set_mouse(5, 5);
    const color bg = game.bg_color;
    frame(1);
    Pixels p = read_picture();
    const Rgb white{255, 255, 255};
    const Rgb back{static_cast<uint8_t>(color_byte(bg.red)),
                   static_cast<uint8_t>(color_byte(bg.green)),
                   static_cast<uint8_t>(color_byte(bg.blue))};
    EXPECT_EQ(p.at(121, 270), white);
    EXPECT_EQ(p.at(520, 270), white);
    EXPECT_EQ(p.at(121, 369), white);
    EXPECT_EQ(p.at(520, 369), white);
    EXPECT_EQ(p.at(120, 300), back);
    EXPECT_EQ(p.at(521, 300), back);
    EXPECT_EQ(p.at(300, 269), back);
    EXPECT_EQ(p.at(300, 370), back);
}

// ---------------------------------------------------------------------------
// What each challenge draws: the same picture as its title (and meter, and
// rectangle) drawn directly at the expected place, size and colour.
// ---------------------------------------------------------------------------
TEST_F(Challenge, TitlesAtTheirPlaceSizeAndColour) {
    // Hold of 50 ms when the title is drawn: fade (float)(1 - 0.05 x 7).
    const float f = static_cast<float>(1.0 - 0.05 * 7.0);
    struct Case {
        const char *name;
        minigame_fn fn;
        std::function<void()> setup;
        std::function<void()> want;
    } cases[] = {
        {"CHUT ! quiet", silence, [] { g_dB = 5.0; },
         [f] {
             write_on_screen_rgb("CHUT !", 224, 288, 2.0f, f, 1.0f, f);
             draw_volume();
         }},
        {"CHUT ! loud", silence, [] { g_dB = 30.0; },
         [] {
             write_on_screen_rgb("CHUT !", 32, 224, 6.0f, 1.0f, 1.0f, 1.0f);
             draw_volume();
         }},
        {"YELL ! loud", just_yell, [] { g_dB = 30.0; },
         [f] {
             write_on_screen_rgb("YELL !", 32, 224, 6.0f, 1.0f, f, f);
             draw_volume();
         }},
        {"STOP ! still", do_nothing, [] {},
         [f] { write_on_screen_rgb("STOP !", 80, 240, 5.0f, f, 1.0f, f); }},
        {"STOP ! moved", do_nothing, [] { set_mouse(310, 300); },
         [] { write_on_screen_rgb("STOP !", 32, 224, 6.0f, 1.0f, 1.0f, 1.0f); }},
        {"ClICK ! idle", spam_click, [] { game.click = 3; },
         [] { write_on_screen_rgb("ClICK !", 40, 240, 5.0f, 0.7f, 1.0f, 0.7f); }},
        {"ClICK ! click", spam_click,
         [] {
             game.click = 3;
             press_left();
         },
         [] { write_on_screen_rgb("ClICK !", 96, 256, 4.0f, 0.6f, 1.0f, 0.6f); }},
        {"PRESS E ! idle", spam_e, [] { game.click = 5; },
         [] { write_on_screen_rgb("PRESS E !", 32, 256, 4.0f, 0.5f, 1.0f, 0.5f); }},
        {"PRESS E ! press", spam_e,
         [] {
             game.click = 5;
             press_key(SDL_SCANCODE_E);
         },
         [] { write_on_screen_rgb("PRESS E !", 104, 272, 3.0f, 0.4f, 1.0f, 0.4f); }},
        {"FOLLOW ME ! inside", follow_square, [] { set_mouse(330, 330); },
         [] {
             VEK_DrawSetColor(.r = 1.0f, .g = 1.0f, .b = 1.0f);
             VEK_DrawRectangle(.x = 120, .y = 270, .w = 400, .h = 100, .fill = true);
             write_on_screen_rgb("FOLLOW ME !", 144, 288, 2.0f, 0.0f,
                                 static_cast<float>(0.05 * 7.0), 0.0f);
         }},
        {"FOLLOW ME ! outside", follow_square, [] { set_mouse(10, 10); },
         [] {
             VEK_DrawSetColor(.r = 1.0f, .g = 1.0f, .b = 1.0f);
             VEK_DrawRectangle(.x = 120, .y = 270, .w = 400, .h = 100, .fill = true);
             write_on_screen_rgb("FOLLOW ME !", 144, 288, 2.0f, 0.0f, 0.0f, 0.0f);
         }},
    };
    for (const Case &c : cases) {
        set_mouse(300, 300);
        begin(c.fn, 0.125); // 50 ms in, nothing ends while the picture is taken
        now_ms += 50;
        game.dur = now_ms;
        c.setup();
        const color bg = game.bg_color;
        Pixels got = picture_of(bg, c.fn);
        for (VEK_KeyState &s : ___vek_keystates) s = VEK_KEYSTATE_UP;
        for (VEK_KeyState &s : ___vek_mousestates) s = VEK_KEYSTATE_UP;
        Pixels want = picture_of(bg, c.want);
        Pixels empty = picture_of(bg, [] {});
        ASSERT_GT(differing(want, empty), 0) << c.name << ": nothing drawn";
        EXPECT_EQ(differing(got, want), 0) << c.name;
    }
}

TEST_F(Challenge, ARestartedHoldKeepsItsTitleWhiteWhenTheClockMovesOn) {
    // The restart reads the clock after the frame's `dur`: with a clock that has
    // moved on in between, the new hold is negative for that frame. Its title is
    // the restart's white all the same, never a wrapped (dark) channel.
    game_clock_set_source(+[]() -> clock_t { return ++now_ms; });
    struct Case {
        minigame_fn fn;
        std::function<void()> broken;
        const char *title;
        int x, y;
        bool meter;
    } cases[] = {
        {silence, [] { g_dB = 30.0; }, "CHUT !", 32, 224, true},
        {just_yell, [] { g_dB = 0.0; }, "YELL !", 32, 224, true},
        {do_nothing, [] { set_mouse(310, 300); }, "STOP !", 32, 224, false},
    };
    for (const Case &c : cases) {
        set_mouse(300, 300);
        begin(c.fn, 0.125);
        game.dur = now_ms;
        c.broken();
        const color bg = game.bg_color;
        Pixels got = picture_of(bg, c.fn);
        Pixels want = picture_of(bg, [&c] {
            write_on_screen_rgb(c.title, c.x, c.y, 6.0f, 1.0f, 1.0f, 1.0f);
            if (c.meter) draw_volume();
        });
        EXPECT_EQ(differing(got, want), 0) << c.title;
    }
}

TEST_F(Challenge, FadedOutComponentsKeepTheBackgroundColour) {
    // Past 1/7 s of hold the fading components turn negative: those channels
    // keep the colour set before the title, the background's.
    begin(silence, 10.0);
    g_dB = 0.0;
    now_ms += 500;
    game.dur = now_ms;
    const color bg = game.bg_color;
    Pixels got = picture_of(bg, silence);
    Pixels want = picture_of(bg, [bg] {
        write_on_screen_rgb("CHUT !", 224, 288, 2.0f, bg.red, 1.0f, bg.blue);
        draw_volume();
    });
    EXPECT_EQ(differing(got, want), 0);
}

} // namespace
