// SPDX-License-Identifier: Zlib
// The play-through sequencer: initial record, choice and preparation of the next
// challenge, the run's clock and its end, the frame's states, and the path from
// the start screen into the run.
#include "game_rig.h"
#include "vek_internal.h"

#include "cfg.h"
#include "draw.h"
#include "minigame_manager.h"
#include "record.h"
#include "start_screen.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

namespace {

// Stand-in challenges that only count their calls, so the sequencer can be
// watched without the real challenges switching on their own.
int stub_calls[7];
template <int N> void stub() {
    stub_calls[N] += 1;
}
const minigame_fn stubs[7] = {stub<0>, stub<1>, stub<2>, stub<3>, stub<4>, stub<5>, stub<6>};

class Sequencer : public GameTest {
  protected:
    void SetUp() override {
        GameTest::SetUp();
        if (HasFatalFailure()) return;
        set_mouse(0, 0);
        memset(stub_calls, 0, sizeof stub_calls);
        // The start screen and the keyboard prompt keep their own state.
        reset_start_screen();
        offset = 0;
        letter = KEY_NONE;
        srand(1);
    }
    void use_stubs() {
        for (int i = 0; i < 7; i++) game.minigames[i] = stubs[i];
    }
    // Running state with the run's clock started `secondes` calendar seconds ago.
    void running(double secondes_ago) {
        game.start = 2;
        game.music = true;
        game.time_start = now_s - static_cast<time_t>(secondes_ago);
    }
};

int slot_of(minigame_fn f) {
    for (int i = 0; i < game.nbr_minigame; i++)
        if (game.minigames[i] == f) return i;
    return -1;
}

// What one switch must draw from rand(), in order: three channels, then slots
// until one differs from the current challenge, then the two direction
// components when "FOLLOW ME !" was chosen.
struct SwitchDraws {
    float red, green, blue;
    int slot;
    double dir[2];
};
SwitchDraws expected_switch(int current_slot) {
    SwitchDraws d{};
    d.red = static_cast<float>(rand() % 11) / 20.0f + 0.2f;
    d.green = static_cast<float>(rand() % 11) / 20.0f + 0.2f;
    d.blue = static_cast<float>(rand() % 11) / 20.0f + 0.2f;
    do d.slot = rand() % 7;
    while (d.slot == current_slot);
    if (d.slot == 5) {
        d.dir[0] = static_cast<float>(rand() % 81) / 40.0f - 1.0f;
        d.dir[1] = static_cast<float>(rand() % 81) / 40.0f - 1.0f;
    }
    return d;
}

Rgb rgb_of(color c) {
    return Rgb{static_cast<uint8_t>(color_byte(c.red)), static_cast<uint8_t>(color_byte(c.green)),
               static_cast<uint8_t>(color_byte(c.blue))};
}

// ---------------------------------------------------------------------------
// Initial record
// ---------------------------------------------------------------------------
TEST_F(Sequencer, InitFillsTheTableAndTheStartState) {
    const minigame_fn table[7] = {just_yell, silence,       do_nothing,   spam_click,
                                  spam_e,    follow_square, draw_keyboard};
    for (int i = 0; i < 7; i++) EXPECT_EQ(game.minigames[i], table[i]) << "slot " << i;
    for (int i = 7; i < 30; i++) EXPECT_EQ(game.minigames[i], nullptr) << "slot " << i;
    EXPECT_EQ(game.nbr_minigame, 7);
    EXPECT_EQ(game.start, 0);
    EXPECT_EQ(game.cur_minigame, nullptr);
    EXPECT_EQ(game.time_each_game, 0.15);
    EXPECT_EQ(game.secondes_max, 145.0);
    EXPECT_EQ(game.bg_color.red, 1.0f);
    EXPECT_EQ(game.bg_color.green, 0.1f);
    EXPECT_EQ(game.bg_color.blue, 0.1f);
    EXPECT_FALSE(game.music);
}

TEST_F(Sequencer, InitCountsFilledSlotsUpToTheFirstEmptyOne) {
    game = minigame{};
    game.minigames[9] = stub<0>; // beyond the first gap: not counted
    minigame_init();
    EXPECT_EQ(game.nbr_minigame, 7);
}

// ---------------------------------------------------------------------------
// Choosing and preparing the next challenge
// ---------------------------------------------------------------------------
TEST_F(Sequencer, SwitchDrawsColoursChoiceAndDirectionInOrder) {
    StdoutCapture out; // "FOLLOW ME !" choices print; checked in their own test
    for (unsigned seed = 1; seed <= 300; seed++) {
        int current = static_cast<int>(seed % 8) - 1; // -1: no challenge yet
        game.cur_minigame = current < 0 ? nullptr : game.minigames[current];
        now_ms += 1000; // switches a second apart never meet the flash limit
        srand(seed);
        SwitchDraws want = expected_switch(current);
        srand(seed);
        minigame_switch();
        ASSERT_EQ(slot_of(game.cur_minigame), want.slot) << "seed " << seed;
        EXPECT_EQ(game.bg_color.red, want.red) << "seed " << seed;
        EXPECT_EQ(game.bg_color.green, want.green) << "seed " << seed;
        EXPECT_EQ(game.bg_color.blue, want.blue) << "seed " << seed;
        for (float c : {game.bg_color.red, game.bg_color.green, game.bg_color.blue}) {
            EXPECT_GE(c, 0.2f);
            EXPECT_LE(c, 0.7f);
        }
        if (want.slot == 5) {
            EXPECT_EQ(game.dir_r[0], want.dir[0]) << "seed " << seed;
            EXPECT_EQ(game.dir_r[1], want.dir[1]) << "seed " << seed;
        }
    }
}

TEST_F(Sequencer, NeverTheSameChallengeTwiceInARow) {
    use_stubs();
    srand(7);
    std::set<minigame_fn> seen;
    minigame_fn previous = nullptr;
    for (int i = 0; i < 2000; i++) {
        minigame_switch();
        ASSERT_NE(game.cur_minigame, previous) << "switch " << i;
        ASSERT_NE(game.cur_minigame, nullptr);
        seen.insert(game.cur_minigame);
        previous = game.cur_minigame;
    }
    EXPECT_EQ(seen.size(), 7u);
}

TEST_F(Sequencer, FirstChoiceOfARunMayBeAnyOfTheSeven) {
    use_stubs();
    std::set<int> first;
    for (unsigned seed = 1; seed <= 200; seed++) {
        game.cur_minigame = nullptr;
        srand(seed);
        minigame_switch();
        first.insert(slot_of(game.cur_minigame));
    }
    EXPECT_EQ(first, (std::set<int>{0, 1, 2, 3, 4, 5, 6}));
}

TEST_F(Sequencer, SwitchRestartsTimersCounterAndRemembersTheMouse) {
    use_stubs();
    now_ms = 12345;
    game.click = 7;
    game.dur_start = game.dur_init = 1;
    set_mouse(123, 456);
    minigame_switch();
    EXPECT_EQ(game.dur_start, 12345);
    EXPECT_EQ(game.dur_init, 12345);
    EXPECT_EQ(game.click, 0);
    EXPECT_EQ(game.last_pos_mouse[0], 123);
    EXPECT_EQ(game.last_pos_mouse[1], 456);
}

TEST_F(Sequencer, HoldTimeComesFromTheSecondesOfTheSwitch) {
    use_stubs();
    struct Case {
        double secondes, want;
    } cases[] = {{0.0, 0.15}, {14.5, 0.14}, {72.5, 0.10}, {130.5, 0.06}, {145.0, 0.05}};
    for (const Case &c : cases) {
        game.secondes = c.secondes;
        minigame_switch();
        EXPECT_DOUBLE_EQ(game.time_each_game, c.want) << "secondes " << c.secondes;
    }
}

TEST_F(Sequencer, HoldTimeIsOnlyRecomputedAtASwitch) {
    use_stubs();
    running(0);
    minigame_switch();
    ASSERT_EQ(game.time_each_game, 0.15);
    now_s += 100;
    frame();
    ASSERT_EQ(game.secondes, 100.0);
    EXPECT_EQ(game.time_each_game, 0.15);
    minigame_switch();
    EXPECT_DOUBLE_EQ(game.time_each_game, 0.15 - (100.0 / 145.0) / 10.0);
}

TEST_F(Sequencer, FollowMeChoicePrintsOneDirectionLine) {
    int printed = 0, silent = 0;
    for (unsigned seed = 1; seed <= 120; seed++) {
        game.cur_minigame = nullptr;
        game.dir_r[0] = game.dir_r[1] = 99.0;
        game.pos_r[0] = game.pos_r[1] = -7.0;
        srand(seed);
        std::string text;
        {
            StdoutCapture out;
            minigame_switch();
            text = out.text();
        }
        if (game.cur_minigame == follow_square) {
            printed++;
            // Exactly one line, both components with six decimals.
            char want[96];
            snprintf(want, sizeof want, "dir[0]=%.6f; dir[1]=%.6f\n", game.dir_r[0], game.dir_r[1]);
            EXPECT_EQ(text, want) << "seed " << seed;
            for (double d : game.dir_r) {
                EXPECT_GE(d, -1.0);
                EXPECT_LE(d, 1.0);
                // One of the 81 single-precision steps k / 40 - 1.
                float k = std::round(static_cast<float>((d + 1.0) * 40.0));
                EXPECT_EQ(d, static_cast<double>(k / 40.0f - 1.0f));
            }
            EXPECT_EQ(game.pos_r[0], 320.0);
            EXPECT_EQ(game.pos_r[1], 320.0);
        } else {
            silent++;
            EXPECT_EQ(text, "") << "seed " << seed;
            EXPECT_EQ(game.dir_r[0], 99.0);
            EXPECT_EQ(game.dir_r[1], 99.0);
            EXPECT_EQ(game.pos_r[0], -7.0);
            EXPECT_EQ(game.pos_r[1], -7.0);
        }
    }
    EXPECT_GT(printed, 0);
    EXPECT_GT(silent, 0);
}

// ---------------------------------------------------------------------------
// The run's clock and its end
// ---------------------------------------------------------------------------
TEST(RunSeconds, WholeSecondsAndNoTimeWhenTheClockStepsBack) {
    struct Case {
        double elapsed, want;
    } cases[] = {
        {0.0, 0.0},     {0.999, 0.0}, {1.0, 1.0},           {144.9, 144.0},
        {145.0, 145.0}, {-0.5, 0.0},  {-1.0, 0.0},          {-3600.0, 0.0},
        {-1e12, 0.0},   {NAN, 0.0},   {1e12, 4294967295.0},
    };
    for (const Case &c : cases) EXPECT_EQ(run_seconds(c.elapsed), c.want) << c.elapsed;
}

TEST_F(Sequencer, RunEndsAtHundredAndFortyFiveWholeSeconds) {
    use_stubs();
    struct Case {
        long elapsed;
        int want_state;
        double want_secondes;
    } cases[] = {{0, 2, 0.0},     {1, 2, 1.0},     {144, 2, 144.0},
                 {145, 3, 145.0}, {146, 3, 146.0}, {100000, 3, 100000.0}};
    for (const Case &c : cases) {
        running(0);
        game.cur_minigame = stubs[0];
        now_s = game.time_start + c.elapsed;
        now_ms += 16;
        minigame_manage();
        EXPECT_EQ(game.start, c.want_state) << "after " << c.elapsed << " s";
        EXPECT_EQ(game.secondes, c.want_secondes) << "after " << c.elapsed << " s";
        EXPECT_EQ(game.dur, now_ms);
    }
}

TEST_F(Sequencer, CalendarClockSteppingBackCountsAsNoTime) {
    use_stubs();
    running(0);
    minigame_switch();
    now_s += 10;
    frame();
    ASSERT_EQ(game.secondes, 10.0);
    // The system clock is set back an hour: the run neither ends nor counts it.
    now_s -= 3600;
    const int calls = stub_calls[slot_of(game.cur_minigame)];
    for (int i = 0; i < 5; i++) {
        frame();
        EXPECT_EQ(game.start, 2);
        EXPECT_EQ(game.secondes, 0.0);
    }
    EXPECT_EQ(stub_calls[slot_of(game.cur_minigame)], calls + 5);
    // Just before the start: still no time rather than a wrapped huge count.
    now_s = game.time_start - 1;
    frame();
    EXPECT_EQ(game.start, 2);
    EXPECT_EQ(game.secondes, 0.0);
    now_s = game.time_start + 145;
    frame();
    EXPECT_EQ(game.start, 3);
}

TEST_F(Sequencer, BackgroundTurnsRedFromTheFrameAfterTheEnd) {
    use_stubs();
    running(0);
    minigame_switch();
    const color last = game.bg_color;
    const color red = {1.0f, 0.1f, 0.1f};
    ASSERT_NE(rgb_of(last), rgb_of(red));
    now_s = game.time_start + 145;
    frame();
    ASSERT_EQ(game.start, 3);
    EXPECT_EQ(read_picture().at(5, 5), rgb_of(last)) << "the ending frame keeps its colour";
    frame();
    EXPECT_EQ(read_picture().at(5, 5), rgb_of(red));
    EXPECT_EQ(game.bg_color.red, red.red);
    EXPECT_EQ(game.bg_color.green, red.green);
    EXPECT_EQ(game.bg_color.blue, red.blue);
    // The finished state stays red and never calls a challenge again.
    int calls = stub_calls[slot_of(game.cur_minigame)];
    for (int i = 0; i < 3; i++) frame();
    EXPECT_EQ(stub_calls[slot_of(game.cur_minigame)], calls);
    EXPECT_EQ(read_picture().at(5, 5), rgb_of(red));
}

TEST_F(Sequencer, FinishTextIsCentredAtSizeFour) {
    game.start = 3;
    VEK_DrawSetColor(.r = 0.0f, .g = 0.0f, .b = 0.0f, .a = 1.0f);
    ASSERT_EQ(VEK_DrawBegin(), 0);
    VEK_DrawClear();
    minigame_draw();
    Pixels got = read_picture();
    VEK_DrawSetColor(.r = 0.0f, .g = 0.0f, .b = 0.0f);
    ASSERT_EQ(VEK_DrawBegin(), 0);
    VEK_DrawClear();
    write_on_screen("FINISH !", 64, 256, 4.0f);
    Pixels want = read_picture();
    int lit = 0;
    for (uint32_t p : want.data) lit += (p & 0xffffff) != 0;
    ASSERT_GT(lit, 0) << "the font sheet drew nothing";
    EXPECT_TRUE(got.data == want.data);
}

// ---------------------------------------------------------------------------
// States of the frame
// ---------------------------------------------------------------------------
TEST_F(Sequencer, DrawRunsTheCurrentChallengeOnlyWhileRunning) {
    use_stubs();
    game.cur_minigame = stubs[3];
    struct Case {
        int state, want_calls;
    } cases[] = {{0, 0}, {1, 0}, {2, 1}, {3, 0}};
    for (const Case &c : cases) {
        memset(stub_calls, 0, sizeof stub_calls);
        game.start = c.state;
        ASSERT_EQ(VEK_DrawBegin(), 0);
        minigame_draw();
        EXPECT_EQ(stub_calls[3], c.want_calls) << "state " << c.state;
    }
}

void paint_red_challenge() {
    VEK_DrawSetColor(.r = 1.0f, .g = 0.0f, .b = 0.0f, .a = 0.5f);
}

TEST_F(Sequencer, DrawLeavesTheColourWhiteWithAlphaKept) {
    for (int state : {0, 1, 2, 3}) {
        game.start = state;
        game.cur_minigame = paint_red_challenge;
        VEK_DrawSetColor(.r = 0.3f, .g = 0.3f, .b = 0.3f, .a = 0.5f);
        ASSERT_EQ(VEK_DrawBegin(), 0);
        minigame_draw();
        EXPECT_EQ(___vek_color.r, 1.0f) << "state " << state;
        EXPECT_EQ(___vek_color.g, 1.0f) << "state " << state;
        EXPECT_EQ(___vek_color.b, 1.0f) << "state " << state;
        EXPECT_EQ(___vek_color.a, 0.5f) << "state " << state;
    }
}

TEST_F(Sequencer, StateChangesOfTheStartButtonAndTheEnd) {
    use_stubs();
    minigame_pre_start();
    EXPECT_EQ(game.start, 1);
    // Nothing is updated in the pre-start state: the word does not grow.
    double size = font_size;
    now_ms += 1000;
    minigame_manage();
    EXPECT_EQ(font_size, size);
    EXPECT_EQ(game.start, 1);
    minigame_start();
    EXPECT_EQ(game.start, 2);
    EXPECT_NE(game.cur_minigame, nullptr);
    EXPECT_EQ(game.time_each_game, 0.15);
    minigame_end();
    EXPECT_EQ(game.start, 0);
}

TEST_F(Sequencer, MusicStartSetsTheRunClock) {
    now_s = 1234567;
    minigame_start_music(); // no mixer here: the run goes on silently
    EXPECT_TRUE(game.music);
    EXPECT_EQ(game.time_start, 1234567);
}

// ---------------------------------------------------------------------------
// From the start screen into the run
// ---------------------------------------------------------------------------

// Frames on the start screen until the word has grown once (music started),
// then a click on it and the blink until the run starts.
void grow_then_click(long seconds_waited) {
    set_mouse(320, 320);
    while (!game.music) frame();
    now_s += seconds_waited;
    ___vek_mousestates[1] = VEK_KEYSTATE_PRESS;
    frame();
    ASSERT_EQ(game.start, 1);
    while (game.start == 1) frame();
}

TEST_F(Sequencer, TimeOnTheStartScreenCountsTowardTheRun) {
    use_stubs();
    grow_then_click(100);
    ASSERT_EQ(game.start, 2);
    const time_t music_at = game.time_start;
    EXPECT_EQ(game.time_each_game, 0.15) << "first switch sees secondes 0";
    EXPECT_EQ(game.secondes, 0.0);
    frame();
    EXPECT_EQ(game.secondes, 100.0);
    now_s = music_at + 144;
    frame();
    EXPECT_EQ(game.start, 2);
    now_s = music_at + 145;
    frame();
    EXPECT_EQ(game.start, 3);
}

TEST_F(Sequencer, StartingTooLateGoesStraightToTheFinish) {
    use_stubs();
    grow_then_click(200);
    ASSERT_EQ(game.start, 2);
    int chosen = slot_of(game.cur_minigame);
    ASSERT_GE(chosen, 0);
    const color chosen_bg = game.bg_color;
    frame();
    EXPECT_EQ(game.start, 3);
    EXPECT_EQ(stub_calls[chosen], 0) << "the first challenge is never drawn";
    EXPECT_EQ(read_picture().at(5, 5), rgb_of(chosen_bg));
}

TEST_F(Sequencer, FirstFrameClearsWithTheInitialRed) {
    frame();
    EXPECT_EQ(game.start, 0);
    EXPECT_EQ(read_picture().at(5, 5), rgb_of(color{1.0f, 0.1f, 0.1f}));
}

TEST_F(Sequencer, SwitchDuringADrawShowsInTheNextFramesClear) {
    use_stubs();
    running(0);
    game.cur_minigame = minigame_switch; // a "challenge" that ends at once
    const color before = game.bg_color;
    frame();
    EXPECT_EQ(read_picture().at(5, 5), rgb_of(before));
    const color after = game.bg_color;
    ASSERT_NE(rgb_of(after), rgb_of(before));
    frame(); // now a stub: no further switch
    EXPECT_EQ(read_picture().at(5, 5), rgb_of(after));
}

} // namespace
