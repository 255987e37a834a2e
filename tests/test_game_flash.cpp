// SPDX-License-Identifier: Zlib
// Flashing: the counter on crafted pictures, then whole runs of the game played
// by three kinds of player, every frame's picture read back and counted: no
// second of any run may hold more than three general or three red flashes.
#include "flash.h"
#include "game_rig.h"

#include "draw.h"
#include "minigame_manager.h"
#include "record.h"
#include "start_screen.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <random>
#include <utility>

// ---------------------------------------------------------------------------
// Draws forced onto chosen backgrounds
// ---------------------------------------------------------------------------
// The game's rand() comes here (tests/CMakeLists.txt wraps it): the real one,
// unless a test forces the draws. Then each switch draws `draws[0]`, `draws[1]`,
// `draws[2]`, `draws[0]`, ... from its first call: the channels of every colour
// it draws, and the challenge (`draws[0] % 7`), are the same whatever the flash
// limit draws again. The second set is used on switching away from "CHUT !".
extern "C" int __real_rand(void);

namespace {
struct ForcedDraws {
    bool on = false;
    std::array<int, 3> draws[2]{};
    minigame_fn current = nullptr; // the challenge the switch is leaving
    int call = 0;                  // calls of this switch so far
} forced;
} // namespace

extern "C" int __wrap_rand(void) {
    if (!forced.on) return __real_rand();
    if (game.cur_minigame != forced.current) {
        forced.current = game.cur_minigame;
        forced.call = 0;
    }
    return forced.draws[game.cur_minigame == silence][forced.call++ % 3];
}

namespace {

constexpr int SIDE = 64;

// Two seconds of frames at 60 Hz in which the first `area` pixels of the picture
// alternate between `a` and `b` at `hz` flashes a second (the rest stays black),
// after a first picture in `lead`; the counter that read them.
FlashCounter alternate(uint32_t a, uint32_t b, int hz, int area = SIDE * SIDE,
                       std::optional<uint32_t> lead = std::nullopt) {
    FlashCounter fc(SIDE, SIDE);
    std::vector<uint32_t> px(SIDE * SIDE);
    for (int f = 0; f <= 120; f++) {
        uint32_t c = (f * 2 * hz / 60) % 2 == 0 ? a : b;
        if (f == 0 && lead) c = *lead;
        for (int i = 0; i < SIDE * SIDE; i++) px[i] = i < area ? c : 0x000000;
        fc.frame(f * 1000 / 60, px.data());
    }
    return fc;
}

TEST(FlashCounting, CountsFlashesPerSecondOverAQuarterOfThePicture) {
    const uint32_t dark = 0x202020, light = 0xc0c0c0;
    // 4 Hz: eight transitions a second.
    EXPECT_EQ(alternate(dark, light, 4).worst_general().transitions, 8);
    // 3 Hz: six transitions in any second, three flashes: the limit.
    FlashCounter three = alternate(dark, light, 3);
    EXPECT_EQ(three.worst_general().transitions, FlashCounter::MAX_TRANSITIONS);
    EXPECT_EQ(three.worst_general().flashes(), 3.0);
    // Under a tenth of luminance apart (0.078 and 0.153), or with the darker state
    // at 0.8 or above (0.87 and 1.0): no transition at all.
    EXPECT_EQ(alternate(0x4d4d4d, 0x6c6c6c, 4).worst_general().transitions, 0);
    EXPECT_EQ(alternate(0xf0f0f0, 0xffffff, 4).worst_general().transitions, 0);
    // Flashing on a fifth of the picture does not count; on a third it does.
    EXPECT_EQ(alternate(dark, light, 4, SIDE * SIDE / 5).worst_general().transitions, 0);
    EXPECT_EQ(alternate(dark, light, 4, SIDE * SIDE / 3).worst_general().transitions, 8);
    // Saturated red against a grey of the same luminance: red flashes only.
    FlashCounter red = alternate(0xff0000, 0x7f7f7f, 4);
    EXPECT_EQ(red.worst_general().transitions, 0);
    EXPECT_EQ(red.worst_red().transitions, 8);
    EXPECT_EQ(alternate(dark, light, 4).worst_red().transitions, 0);
}

// The start screen's red (luminance 0.22), then the palette's greys 0.4 and 0.6
// (0.13 and 0.32), each within a tenth of it but 0.19 from each other: every
// change from the first on is a transition.
TEST(FlashCounting, CountsSwingsThatStayNearTheFirstPicture) {
    EXPECT_EQ(alternate(0x666666, 0x999999, 4, SIDE * SIDE, 0xff1919).worst_general().transitions,
              8);
}

// Between two saturated reds, (R - G - B) x 320 goes from 81 to 121 and back:
// red transitions, though neither state ever stops being red.
TEST(FlashCounting, CountsChangesBetweenTwoSaturatedReds) {
    FlashCounter reds = alternate(0x993333, 0xb23333, 4);
    EXPECT_EQ(reds.worst_red().transitions, 8);
    EXPECT_EQ(reds.worst_general().transitions, 0);
    // Two reds 16 apart (0xa93333 and 0xb23333): not far enough.
    EXPECT_EQ(alternate(0xa93333, 0xb23333, 4).worst_red().transitions, 0);
}

// Three seconds of a run 72 s in, where a challenge held lasts a tenth of a
// second, with a silent and still player and the draws forced: "CHUT !" and
// "STOP !" in turn, each ending after its hold, on the colours `a` and `b` (levels
// 0 to 10 of red, green and blue: 0.2, 0.25, ... 0.7). Nine switches a second.
class ForcedBackgrounds : public GameTest {
  protected:
    void TearDown() override {
        forced = ForcedDraws{};
        GameTest::TearDown();
    }

    // The counter that read the run's pictures, and the run's switches.
    std::pair<FlashCounter, int> alternate(std::array<int, 3> a, std::array<int, 3> b) {
        // The challenge comes with the red level's draw, slot 1 ("CHUT !") after
        // a, slot 2 ("STOP !") after b: 22 leaves the level (% 11) as it is and
        // adds one to the slot (% 7).
        forced.draws[0] = a;
        forced.draws[1] = b;
        forced.draws[0][0] += 22 * ((1 - a[0] % 7 + 7) % 7);
        forced.draws[1][0] += 22 * ((2 - b[0] % 7 + 7) % 7);
        forced.on = true;
        reset_start_screen();
        FlashCounter fc(cfg.display_width, cfg.display_height);
        Pixels px;
        frame(16); // the start screen
        read_picture_into(px);
        fc.frame(now_ms, px.data.data());
        game.music = true;
        game.time_start = now_s - 72;
        minigame_start();
        int switches = 1;
        for (int f = 0; f < 188; f++) {
            minigame_fn shown = game.cur_minigame;
            frame(16);
            read_picture_into(px);
            fc.frame(now_ms, px.data.data());
            switches += game.cur_minigame != shown;
            if (game.cur_minigame != silence && game.cur_minigame != do_nothing) {
                ADD_FAILURE() << "the draws were not forced";
                break;
            }
        }
        return {std::move(fc), switches};
    }

    static void report(const char *what, FlashWindow w, int switches) {
        std::printf("%s: worst second %.1f flashes; %d of %d backgrounds drawn again\n", what,
                    w.flashes(), minigame_redraws(), switches);
    }
};

// The palette's greys 0.4 and 0.6 (luminance 0.13 and 0.32) both lie within a
// tenth of the start screen's red (0.22): the limit follows the backgrounds from
// the first one on, not the start screen, and draws some of them again.
TEST_F(ForcedBackgrounds, GreysNearTheStartScreenKeepToTheLimit) {
    auto [fc, switches] = alternate({4, 4, 4}, {8, 8, 8});
    report("greys 0.4 and 0.6", fc.worst_general(), switches);
    EXPECT_LE(fc.worst_general().transitions, FlashCounter::MAX_TRANSITIONS)
        << fc.worst_general().flashes() << " flashes in a second";
    EXPECT_GT(minigame_redraws(), 0);
}

// Two saturated reds, (0.6, 0.2, 0.2) and (0.7, 0.2, 0.2): (R - G - B) x 320 goes
// from 81 to 121 and back, a red transition each time.
TEST_F(ForcedBackgrounds, TwoSaturatedRedsKeepToTheLimit) {
    auto [fc, switches] = alternate({8, 0, 0}, {10, 0, 0});
    report("reds 0.6 and 0.7", fc.worst_red(), switches);
    EXPECT_LE(fc.worst_red().transitions, FlashCounter::MAX_TRANSITIONS)
        << fc.worst_red().flashes() << " red flashes in a second";
    EXPECT_GT(minigame_redraws(), 0);
}

// ---------------------------------------------------------------------------
// Whole runs
// ---------------------------------------------------------------------------

struct Player {
    std::mt19937 rng;
    int prompt_frames = 0; // frames the keyboard prompt has been shown
    int reaction = 0;      // frames until the prompt is answered
    int next_letter = 0;   // the typist's place in the alphabet
    int x = 320, y = 320;
    int roll(int from, int to) { return std::uniform_int_distribution<int>(from, to)(rng); }
};

// Silent and still, answering each keyboard prompt in a quarter to half a second.
void quick_and_still(Player &p, int) {
    g_dB = 0.0;
    if (p.prompt_frames == 1) p.reaction = p.roll(15, 30);
    if (game.cur_minigame == draw_keyboard && letter != KEY_NONE && p.prompt_frames >= p.reaction)
        press_key(key_scancode(letter));
}

// Shouting and quiet in bursts, clicking, pressing E and moving all the time,
// mashing letters on the keyboard prompt.
void loud_and_busy(Player &p, int f) {
    g_dB = (f / 20) % 4 == 3 ? 0.0 : 30.0 + p.roll(0, 10);
    if (p.roll(0, 2) == 0) press_left();
    if (p.roll(0, 3) == 0) press_key(8);
    p.x = std::clamp(p.x + p.roll(-12, 12), 0, 639);
    p.y = std::clamp(p.y + p.roll(-12, 12), 0, 639);
    set_mouse(p.x, p.y);
    if (game.cur_minigame == draw_keyboard && p.roll(0, 4) == 0)
        press_key(key_scancode(p.roll(0, 25)));
}

// Silent and still; on a keyboard prompt types the alphabet, a letter every
// tenth of a second, until the prompt goes.
void alphabet_typist(Player &p, int) {
    g_dB = 0.0;
    if (game.cur_minigame != draw_keyboard || p.prompt_frames % 6 != 5) return;
    press_key(4 + p.next_letter);
    p.next_letter = (p.next_letter + 1) % 26;
}

struct Profile {
    const char *name;
    void (*act)(Player &, int frame);
};
const Profile PROFILES[] = {
    {"quick and still", quick_and_still},
    {"loud and busy", loud_and_busy},
    {"alphabet typist", alphabet_typist},
};

struct RunFigures {
    FlashWindow general, red;
    int switches = 0, redraws = 0;
    clock_t start_ms = 0; // the start screen's first frame
};

// Whole runs, by profile and seed.
class FlashLimit : public GameTest,
                   public ::testing::WithParamInterface<std::tuple<int, unsigned>> {
  protected:
    void SetUp() override {
        GameTest::SetUp();
        if (HasFatalFailure()) return;
        // The start screen and the keyboard prompt keep their own state.
        reset_start_screen();
        offset = 0;
        letter = KEY_NONE;
    }

    // One play-through from the start screen to a second of the finish screen, in
    // 16 ms frames with the calendar clock ticking over at a seeded phase.
    RunFigures play(const Profile &profile, unsigned seed) {
        srand(seed);
        Player p{std::mt19937(seed)};
        const clock_t ms0 = now_ms;
        const time_t s0 = now_s;
        const clock_t phase = p.roll(0, 999);
        FlashCounter fc(cfg.display_width, cfg.display_height);
        RunFigures run;
        run.start_ms = ms0;
        minigame_fn shown = nullptr;
        int finished = 0;
        Pixels px;
        for (int f = 0; finished < 70 && f < 20000; f++) {
            now_s = s0 + (now_ms + 16 - ms0 + phase) / 1000; // the coming frame's second
            if (game.start == 0 && font_size > 6.0) {
                set_mouse(320, 320);
                press_left();
            } else if (game.start == 2) {
                p.prompt_frames = game.cur_minigame == draw_keyboard ? p.prompt_frames + 1 : 0;
                profile.act(p, f);
            }
            frame(16);
            read_picture_into(px);
            fc.frame(now_ms, px.data.data());
            if (game.cur_minigame != shown) run.switches++;
            shown = game.cur_minigame;
            finished += game.start == 3;
        }
        EXPECT_EQ(finished, 70) << "the run did not finish";
        run.general = fc.worst_general();
        run.red = fc.worst_red();
        run.redraws = minigame_redraws();
        return run;
    }
};

TEST_P(FlashLimit, NoSecondHoldsMoreThanThreeFlashes) {
    const Profile &profile = PROFILES[std::get<0>(GetParam())];
    unsigned seed = std::get<1>(GetParam());
    RunFigures r;
    {
        StdoutCapture out; // "FOLLOW ME !" prints its direction
        r = play(profile, seed);
    }
    std::printf("%s, seed %u: worst second %.1f flashes (from %.2f s after the start screen), "
                "%.1f red; %d of %d backgrounds drawn again\n",
                profile.name, seed, r.general.flashes(), (r.general.from_ms - r.start_ms) / 1000.0,
                r.red.flashes(), r.redraws, r.switches);
    EXPECT_LE(r.general.transitions, FlashCounter::MAX_TRANSITIONS);
    EXPECT_LE(r.red.transitions, FlashCounter::MAX_TRANSITIONS);
}

std::string run_name(const ::testing::TestParamInfo<std::tuple<int, unsigned>> &info) {
    static const char *const names[] = {"QuickAndStill", "LoudAndBusy", "AlphabetTypist"};
    return std::string(names[std::get<0>(info.param)]) + "_seed" +
           std::to_string(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Profiles, FlashLimit,
                         ::testing::Combine(::testing::Range(0, 3), ::testing::Values(1u, 2u)),
                         run_name);

} // namespace
