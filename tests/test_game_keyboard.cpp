// SPDX-License-Identifier: Zlib
// Keyboard prompt: label shifting, drawing read back as pixels, and judging key presses
// and fingers on the drawn keys.
#include "draw.h"
#include "game_rig.h"
#include "minigame_manager.h"
#include "vek_internal.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace {

TEST(RandomiseKey, ShiftsUpperCaseLettersByTheOffset) {
    const struct {
        int offset;
        const char *in, *want;
    } cases[] = {
        {1, "QWERTYUIOPASDFGHJKLZXCVBNM", "RXFSUZVJPQBTEGHIKLMAYDWCON"},
        {12, "QWERTYUIOPASDFGHJKLZXCVBNM", "CIQDFKGUABMEPRSTVWXLJOHNZY"},
        {3, "XYZ", "ABC"},
        {25, "AB", "ZA"},
        {1, "A-Z!", "B-A!"},
        {5, "", ""},
    };
    for (auto &c : cases) {
        offset = c.offset;
        char key[32];
        strcpy(key, c.in);
        randomise_key(key);
        EXPECT_STREQ(key, c.want) << "offset " << c.offset;
        EXPECT_EQ(offset, c.offset);
    }
    offset = 0;
}

TEST(RandomiseKey, RollsAnOffsetFromOneToTwelveWhenNoneIsChosen) {
    std::set<int> seen;
    for (unsigned seed = 1; seed <= 300; seed++) {
        srand(seed);
        offset = 0;
        char key[] = "A";
        randomise_key(key);
        ASSERT_GE(offset, 1);
        ASSERT_LE(offset, 12);
        EXPECT_EQ(key[0], 'A' + offset);
        seen.insert(offset);
    }
    EXPECT_EQ(seen.size(), 12u);
    offset = 0;
}

class Prompt : public EngineTest {
  protected:
    std::string runtime;
    void SetUp() override {
        const char *dir = getenv("BRAMBLE_RUNTIME_DIR");
        runtime = dir ? dir
                      : std::filesystem::read_symlink("/proc/self/exe").parent_path().string() +
                            "/../game";
        ASSERT_TRUE(std::filesystem::exists(runtime + "/asset/keyboard.bmp")) << runtime;
        ASSERT_EQ(VEK_Init(.width = 640, .height = 640, .mixer = VEK_MIXER_OFF,
                           .basepath = runtime.c_str()),
                  0);
        minigame_init();
        game.cur_minigame = draw_keyboard;
        game.bg_color = color{0.3f, 0.5f, 0.25f};
        letter = KEY_NONE;
        offset = 0;
        memset(___vek_keystates, 0, sizeof ___vek_keystates);
    }
    void TearDown() override {
        memset(___vek_keystates, 0, sizeof ___vek_keystates);
        letter = KEY_NONE;
        offset = 0;
        EngineTest::TearDown();
    }

    bool solved() const { return game.cur_minigame != draw_keyboard; }

    // One frame of the prompt with `pressed` keys going down and `held` keys held.
    Pixels run(std::vector<int> pressed = {}, std::vector<int> held = {}) {
        memset(___vek_keystates, 0, sizeof ___vek_keystates);
        for (int sc : pressed) ___vek_keystates[sc] = VEK_KEYSTATE_PRESS;
        for (int sc : held) ___vek_keystates[sc] = VEK_KEYSTATE_DOWN;
        color bg = game.bg_color;
        EXPECT_EQ(VEK_DrawBegin(), 0);
        VEK_DrawSetColor(.r = bg.red, .g = bg.green, .b = bg.blue);
        VEK_DrawClear();
        draw_keyboard();
        Pixels px = read_picture();
        EXPECT_EQ(VEK_DrawEnd(), 0);
        memset(___vek_keystates, 0, sizeof ___vek_keystates);
        return px;
    }

    // The picture the prompt should show: the keyboard at half size with its top-left
    // corner at (60, 300), `labels` over its keys in the background colour, then
    // "PRESS", the asked label and "!!!!".
    Pixels expected(const char *labels, char asked) {
        color bg = game.bg_color;
        EXPECT_EQ(VEK_DrawBegin(), 0);
        VEK_DrawSetColor(.r = bg.red, .g = bg.green, .b = bg.blue);
        VEK_DrawClear();
        VEK_DrawSetColor(.r = 1, .g = 1, .b = 1);
        VEK_Uint kb = VEK_LoadResource("asset/keyboard.bmp");
        EXPECT_NE(kb, 0u);
        VEK_DrawImage(.id = kb, .x = 60, .y = 300, .sx = 0.5f, .sy = 0.5f);
        const struct {
            int first, count, x, y;
        } rows[] = {{0, 10, 148, 342}, {10, 9, 158, 379}, {19, 7, 168, 416}};
        for (auto &r : rows)
            for (int k = 0; k < r.count; k++)
                write_letter_on_screen_rgb(labels[r.first + k], r.x + 32 * k, r.y, 0.8f, bg.red,
                                           bg.green, bg.blue);
        write_on_screen("PRESS", 100, 150, 2.5f);
        write_letter_on_screen_rgb(asked, 350, 150, 2.5f, 1, 1, 1);
        write_on_screen("!!!!", 400, 150, 2.5f);
        Pixels px = read_picture();
        EXPECT_EQ(VEK_DrawEnd(), 0);
        return px;
    }
};

TEST_F(Prompt, OffsetOneLetterTwoShowsFAndScancodeEightSolvesIt) {
    offset = 1;
    letter = 2;
    Pixels shown = run();
    EXPECT_FALSE(solved());
    EXPECT_TRUE(shown.data == expected("RXFSUZVJPQBTEGHIKLMAYDWCON", 'F').data);
    // A picture with another asked label or unshifted labels is told apart.
    EXPECT_FALSE(shown.data == expected("RXFSUZVJPQBTEGHIKLMAYDWCON", 'E').data);
    EXPECT_FALSE(shown.data == expected("QWERTYUIOPASDFGHJKLZXCVBNM", 'F').data);

    run({9}); // F's own key is a wrong key: F is shown at E's place
    EXPECT_FALSE(solved());
    run({8});
    EXPECT_TRUE(solved());
    EXPECT_EQ(letter, KEY_NONE);
    EXPECT_EQ(offset, 0);
}

// A phone has no keyboard: a finger on the drawn key at the asked place solves the
// prompt. The mouse does nothing there, nor do the touches SDL makes from it, and a
// real key going down in the same frame is judged first.
TEST_F(Prompt, AFingerOnTheRightDrawnKeySolvesItAClickDoesNot) {
    offset = 1;
    letter = 2; // "F" on E's place: the third key of the top row, label at (212, 342)
    run();      // composed once: the picture fills the 640 x 640 window 1:1
    // A tap at game pixel (x, y), then one frame of the prompt.
    auto tap = [&](int x, int y, std::vector<int> pressed = {}, SDL_TouchID touch = 1) {
        push_finger(SDL_FINGERDOWN, 3, x / 640.0f, y / 640.0f, touch);
        push_finger(SDL_FINGERUP, 3, x / 640.0f, y / 640.0f, touch);
        VEK_CycleEvents();
        run(pressed);
    };
    set_mouse(218, 350);
    press_left();
    run();
    tap(218, 350, {}, SDL_MOUSE_TOUCHID);
    EXPECT_FALSE(solved()) << "the mouse on the drawn key";
    tap(260, 390); // the key labelled G, at F's own place
    EXPECT_FALSE(solved()) << "a finger on a wrong key";
    tap(218, 350, {key_scancode(0)}); // Q goes down in the same frame
    EXPECT_FALSE(solved()) << "the real key is judged before the finger";
    // Each key that can be asked, tapped in the middle of its label.
    const struct {
        int first, count, x, y;
    } rows[] = {{0, 10, 148, 342}, {10, 9, 158, 379}, {19, 6, 168, 416}};
    for (auto &r : rows)
        for (int k = 0; k < r.count; k++) {
            game.cur_minigame = draw_keyboard;
            offset = 1;
            letter = r.first + k;
            tap(r.x + 32 * k + 6, r.y + 12);
            EXPECT_TRUE(solved()) << "key " << r.first + k;
        }
}

TEST_F(Prompt, LabelsFollowTheBackgroundColour) {
    offset = 12;
    letter = 24; // the key at N's place, labelled Z
    game.bg_color = color{0.6f, 0.2f, 0.45f};
    Pixels shown = run();
    EXPECT_TRUE(shown.data == expected("CIQDFKGUABMEPRSTVWXLJOHNZY", 'Z').data);
    run({17});
    EXPECT_TRUE(solved());
}

TEST_F(Prompt, WrongAndHeldKeysAreIgnored) {
    offset = 1;
    letter = 2;
    for (int i = 0; i < 26; i++) {
        if (i == letter) continue;
        run({key_scancode(i)});
        ASSERT_FALSE(solved()) << "key index " << i;
        EXPECT_EQ(letter, 2);
        EXPECT_EQ(offset, 1);
    }
    run({}, {8}); // the right key, but held since an earlier frame
    EXPECT_FALSE(solved());
    run({SDL_SCANCODE_SPACE, SDL_SCANCODE_1, SDL_SCANCODE_RETURN}); // not letter keys
    EXPECT_FALSE(solved());
    run({8});
    EXPECT_TRUE(solved());
}

TEST_F(Prompt, OnlyTheFirstKeyInTestOrderIsJudged) {
    const struct {
        const char *what;
        int letter;
        std::vector<int> pressed;
        bool solves;
    } cases[] = {
        {"Q before E", 2, {20, 8}, false},
        {"E before R", 2, {8, 21}, true},
        {"E before M", 2, {8, 16}, true},
        {"A has a lower scancode but comes after E", 2, {4, 8}, true},
        {"E comes before A", 10, {4, 8}, false},
        {"A before M", 10, {4, 16}, true},
        {"Z before X", 19, {29, 27}, true},
        {"P before Z", 19, {19, 29}, false},
    };
    for (auto &c : cases) {
        game.cur_minigame = draw_keyboard;
        offset = 1;
        letter = c.letter;
        run(c.pressed);
        EXPECT_EQ(solved(), c.solves) << c.what;
        EXPECT_EQ(letter, c.solves ? KEY_NONE : c.letter) << c.what;
    }
}

// The first key (index 0) can be asked like any other: a frame without a key press
// does not solve it.
TEST_F(Prompt, FirstKeyAskedWaitsForItsKey) {
    unsigned seed = 1;
    for (;; seed++) {
        srand(seed);
        if (rand() % 25 == 0) break;
    }
    srand(seed);
    run();
    EXPECT_EQ(letter, 0);
    EXPECT_GE(offset, 1);
    EXPECT_FALSE(solved());
    int rolled_offset = offset;
    for (int frame = 0; frame < 3; frame++) run();
    EXPECT_FALSE(solved());
    run({26}); // W: index 1
    EXPECT_FALSE(solved());
    EXPECT_EQ(letter, 0); // kept, not rolled again
    EXPECT_EQ(offset, rolled_offset);
    run({20}); // Q: index 0
    EXPECT_TRUE(solved());
}

TEST_F(Prompt, RollsAnyKeyButTheLastAndRollsAfreshAfterASolve) {
    std::set<int> seen;
    ASSERT_EQ(VEK_DrawBegin(), 0);
    for (unsigned seed = 1; seed <= 400; seed++) {
        srand(seed);
        letter = KEY_NONE;
        offset = 0;
        draw_keyboard();
        ASSERT_GE(letter, 0);
        ASSERT_LE(letter, 24);
        seen.insert(letter);
    }
    ASSERT_EQ(VEK_DrawEnd(), 0);
    EXPECT_EQ(seen.size(), 25u);

    srand(7);
    letter = KEY_NONE;
    offset = 0;
    run();
    int asked = letter;
    ASSERT_NE(asked, KEY_NONE);
    run({key_scancode(asked)});
    ASSERT_TRUE(solved());
    game.cur_minigame = draw_keyboard;
    run();
    EXPECT_NE(letter, KEY_NONE);
    EXPECT_GE(offset, 1);
    EXPECT_FALSE(solved());
}

TEST_F(Prompt, SolvingPicksAnotherChallengeAndColour) {
    srand(11);
    offset = 3;
    letter = 5;
    color before = game.bg_color;
    run({key_scancode(5)});
    ASSERT_TRUE(solved());
    EXPECT_NE(game.cur_minigame, nullptr);
    EXPECT_FALSE(game.bg_color.red == before.red && game.bg_color.green == before.green &&
                 game.bg_color.blue == before.blue);
}

} // namespace
