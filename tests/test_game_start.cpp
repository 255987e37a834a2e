// SPDX-License-Identifier: Zlib
// The start screen: the delay before "PAS" grows, one growth step per frame up
// to size 10, the music and run clock starting with the first step, the
// clickable box, the blink and the start of the run, and what is drawn.
#include "game_rig.h"
#include "vek_internal.h"

#include "cfg.h"
#include "draw.h"
#include "minigame_manager.h"
#include "record.h"
#include "start_screen.h"

#include <cstring>
#include <functional>

namespace {

// Stand-in challenges: the run may start without any real challenge acting.
int challenge_calls = 0;
template <int N> void stub() {
    challenge_calls++;
}

const double STEP = 0.05000000074505806; // 0.05 in single precision
const double FINAL_SIZE = 10.000000089406967;

class StartScreen : public GameTest {
  protected:
    void SetUp() override {
        GameTest::SetUp();
        if (HasFatalFailure()) return;
        set_mouse(320, 320); // on the word at every size
        challenge_calls = 0;
        reset_start_screen();
        const minigame_fn stubs[7] = {stub<0>, stub<1>, stub<2>, stub<3>,
                                      stub<4>, stub<5>, stub<6>};
        for (int i = 0; i < 7; i++) game.minigames[i] = stubs[i];
    }
};

// ---------------------------------------------------------------------------
// The delay and the growth
// ---------------------------------------------------------------------------
TEST_F(StartScreen, NoGrowthAndNoClickDuringTheFirstFifthOfASecond) {
    const clock_t first = now_ms + 16;
    struct Case {
        clock_t at; // ms after the first update
        bool grows;
    } cases[] = {{0, false}, {16, false}, {150, false}, {199, false}, {200, false}, {201, true}};
    for (const Case &c : cases) {
        now_ms = first + c.at - 1;
        press_left(); // a click on the word in every frame
        frame(1);
        if (!c.grows) {
            EXPECT_EQ(font_size, 4.0) << c.at << " ms";
            EXPECT_EQ(game.start, 0) << c.at << " ms: the click must not count";
            EXPECT_FALSE(game.music) << c.at << " ms";
        } else {
            EXPECT_EQ(font_size, 4.0 + STEP) << c.at << " ms";
            EXPECT_TRUE(game.music);
            // The first step and the click share the frame: the word has grown,
            // so the click counts.
            EXPECT_EQ(game.start, 1);
        }
    }
}

TEST_F(StartScreen, OneGrowthStepPerFrame) {
    frame(16);
    now_ms += 250;
    manage_start_screen();
    ASSERT_EQ(font_size, 4.0 + STEP);
    // Called again within the same millisecond: no second step.
    manage_start_screen();
    EXPECT_EQ(font_size, 4.0 + STEP);
    // One millisecond is enough for the next step; long pauses still give one.
    for (clock_t gap : {1, 16, 1000}) {
        double before = font_size;
        frame(gap);
        EXPECT_EQ(font_size, before + STEP) << "after " << gap << " ms";
    }
}

TEST_F(StartScreen, HundredAndTwentyStepsStopJustAboveTen) {
    frame(16);
    now_ms += 200;
    int steps = 0;
    for (int i = 0; i < 200; i++) {
        double before = font_size;
        frame(16);
        if (font_size != before) steps++;
    }
    EXPECT_EQ(steps, 120);
    EXPECT_EQ(font_size, FINAL_SIZE);
    EXPECT_EQ(size_x, 160);
    EXPECT_EQ(size_y, 320);
}

TEST_F(StartScreen, FirstStepStartsTheMusicAndTheRunClock) {
    frame(16);
    now_ms += 200;
    now_s += 3;
    frame(16);
    ASSERT_EQ(font_size, 4.0 + STEP);
    EXPECT_TRUE(game.music);
    const time_t started = now_s;
    EXPECT_EQ(game.time_start, started);
    // Later steps leave the run's clock alone.
    for (int i = 0; i < 10; i++) {
        now_s += 1;
        frame(16);
    }
    EXPECT_GT(font_size, 4.0 + 10 * STEP);
    EXPECT_EQ(game.time_start, started);
}

// ---------------------------------------------------------------------------
// The start button
// ---------------------------------------------------------------------------
TEST_F(StartScreen, ClickableBoxHasStrictEdgesAndGrowsWithTheWord) {
    struct Case {
        double size;
        int x, y;
        bool starts;
    } cases[] = {
        // Size 4: the box (210, 270)-(420, 390) exists but nothing is clickable yet.
        {4.0, 320, 320, false},
        {4.0, 211, 271, false},
        // Size 5 (grow 18): (192, 252)-(438, 408), edges outside.
        {5.0, 193, 253, true},
        {5.0, 437, 407, true},
        {5.0, 192, 300, false},
        {5.0, 300, 252, false},
        {5.0, 438, 300, false},
        {5.0, 300, 408, false},
        // Final size (grow 108.0000016): (102, 162)-(528, 498) reach inside.
        {FINAL_SIZE, 102, 162, true},
        {FINAL_SIZE, 528, 498, true},
        {FINAL_SIZE, 101, 300, false},
        {FINAL_SIZE, 300, 161, false},
        {FINAL_SIZE, 529, 300, false},
        {FINAL_SIZE, 300, 499, false},
        // A point of the final box is outside the size-5 box.
        {5.0, 102, 162, false},
    };
    for (const Case &c : cases) {
        game.start = 0;
        font_size = c.size;
        set_mouse(c.x, c.y);
        press_left();
        manage_start_button();
        EXPECT_EQ(game.start, c.starts ? 1 : 0)
            << "size " << c.size << " at (" << c.x << ", " << c.y << ")";
    }
}

TEST_F(StartScreen, OnlyTheLeftButtonGoingDownCounts) {
    font_size = 5.0;
    struct Case {
        const char *name;
        uint8_t button;
        VEK_KeyState state;
        bool starts;
    } cases[] = {{"left pressed", 1, VEK_KEYSTATE_PRESS, true},
                 {"left held", 1, VEK_KEYSTATE_DOWN, false},
                 {"left released", 1, VEK_KEYSTATE_RELEASE, false},
                 {"right pressed", 3, VEK_KEYSTATE_PRESS, false},
                 {"middle pressed", 2, VEK_KEYSTATE_PRESS, false}};
    for (const Case &c : cases) {
        game.start = 0;
        for (VEK_KeyState &s : ___vek_mousestates) s = VEK_KEYSTATE_UP;
        ___vek_mousestates[c.button] = c.state;
        manage_start_button();
        EXPECT_EQ(game.start, c.starts ? 1 : 0) << c.name;
    }
}

// ---------------------------------------------------------------------------
// The blink and the start of the run
// ---------------------------------------------------------------------------

// Grows the word for `steps` frames, then clicks it.
void grow_and_click(int steps) {
    frame(16);
    now_ms += 200;
    for (int i = 0; i < steps; i++) frame(16);
    press_left();
    frame(16);
}

TEST_F(StartScreen, BlinkLastsATenthOfASecondThenTheRunStarts) {
    grow_and_click(10);
    ASSERT_EQ(game.start, 1);
    const double size = font_size;
    const clock_t blink_start = duration_start[0];
    EXPECT_EQ(blink_start, now_ms) << "the blink starts in the click's frame";
    // Until exactly 0.1 s the word blinks; it keeps its size.
    for (clock_t at : {10, 50, 99, 100}) {
        now_ms = blink_start + at - 1;
        frame(1);
        EXPECT_EQ(game.start, 1) << at << " ms";
        EXPECT_EQ(font_size, size) << at << " ms";
        EXPECT_EQ(game.cur_minigame, nullptr);
    }
    frame(1);
    EXPECT_EQ(game.start, 2) << "101 ms";
    EXPECT_NE(game.cur_minigame, nullptr);
    EXPECT_EQ(game.time_each_game, 0.15);
    EXPECT_EQ(challenge_calls, 0) << "the first challenge draws from the next frame";
    frame(16);
    EXPECT_EQ(challenge_calls, 1);
}

// ---------------------------------------------------------------------------
// Drawing: the same picture as the three words drawn directly
// ---------------------------------------------------------------------------
// The rig's picture over the start screen's background. Hides the rig's
// picture_of() in these tests.
Pixels picture_of(const std::function<void()> &draw) {
    return ::picture_of(color{1.0f, 0.1f, 0.1f}, draw);
}

void expect_same_picture(const std::function<void()> &want, const char *what) {
    Pixels got = picture_of(draw_start_screen);
    Pixels expected = picture_of(want);
    ASSERT_GT(differing(expected, picture_of([] {})), 0) << what << ": nothing drawn";
    EXPECT_EQ(differing(got, expected), 0) << what;
}

TEST_F(StartScreen, WordsAtTheirPlacesAtTheFirstAndTheFinalSize) {
    struct Case {
        double size;
        int x, y;
    } cases[] = {{4.0, 224, 256}, {5.0, 200, 240}, {FINAL_SIZE, 80, 160}};
    for (const Case &c : cases) {
        font_size = c.size;
        expect_same_picture(
            [&c] {
                write_on_screen("OU ", 84, 258, 4.0f);
                write_on_screen(" ?", 366, 258, 4.0f);
                write_on_screen("PAS", c.x, c.y, static_cast<float>(c.size));
            },
            "start screen");
    }
}

TEST_F(StartScreen, BlinkAlternatesRedAndWhiteEveryHundredthOfASecond) {
    font_size = 5.0;
    game.start = 1;
    duration_start[0] = now_ms;
    struct Case {
        clock_t at;
        float gb; // green and blue of the word
    } cases[] = {{0, 0.0f}, {5, 0.0f}, {10, 1.0f}, {19, 1.0f}, {20, 0.0f}, {35, 1.0f}, {99, 1.0f}};
    for (const Case &c : cases) {
        now_ms = duration_start[0] + c.at;
        game.start = 1;
        expect_same_picture(
            [&c] {
                write_on_screen("OU ", 84, 258, 4.0f);
                write_on_screen(" ?", 366, 258, 4.0f);
                write_on_screen_rgb("PAS", 200, 240, 5.0f, 1.0f, c.gb, c.gb);
            },
            "blink");
        EXPECT_EQ(game.start, 1);
    }
}

} // namespace
