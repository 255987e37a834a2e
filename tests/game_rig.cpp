// SPDX-License-Identifier: Zlib
#include "game_rig.h"
#include "vek_internal.h"

#include "cfg.h"
#include "minigame_manager.h"
#include "record.h"
#include "start_screen.h"

#include <cstdlib>

clock_t now_ms = 0;
time_t now_s = 0;

static clock_t test_clock() {
    return now_ms;
}
static time_t test_time() {
    return now_s;
}

void age_inputs() {
    age_states();
}

void set_mouse(int x, int y) {
    ___vek_mouse_x = x;
    ___vek_mouse_y = y;
}

void press_left() {
    ___vek_mousestates[1] = VEK_KEYSTATE_PRESS;
}
void press_key(int scancode) {
    ___vek_keystates[scancode] = VEK_KEYSTATE_PRESS;
}

int key_scancode(int index) {
    return SDL_SCANCODE_A + ("QWERTYUIOPASDFGHJKLZXCVBNM"[index] - 'A');
}

void frame(clock_t ms) {
    now_ms += ms;
    main_loop(nullptr);
    age_inputs();
}

Pixels picture_of(const color &bg, const std::function<void()> &draw) {
    EXPECT_EQ(VEK_DrawBegin(), 0);
    VEK_DrawSetColor(.r = bg.red, .g = bg.green, .b = bg.blue, .a = 1.0f);
    VEK_DrawClear();
    draw();
    return read_picture();
}

int differing(const Pixels &a, const Pixels &b) {
    int n = 0;
    for (size_t i = 0; i < a.data.size() && i < b.data.size(); i++)
        n += (a.data[i] & 0xffffff) != (b.data[i] & 0xffffff);
    return n;
}

void reset_start_screen() {
    font_size = 4.0;
    size_x = size_y = 0;
    duration1[0] = duration1[1] = duration2[0] = duration2[1] = 0;
    duration_start[0] = duration_start[1] = 0;
}

void GameTest::SetUp() {
    const char *runtime = getenv("BRAMBLE_RUNTIME_DIR");
    ASSERT_NE(runtime, nullptr);
    ASSERT_EQ(VEK_Init(.width = 640, .height = 640, .target_fps = 0, .mixer = VEK_MIXER_OFF,
                       .basepath = runtime),
              0);
    ASSERT_EQ(VEK_DrawBegin(), 0);
    ASSERT_EQ(VEK_DrawEnd(), 0);
    for (VEK_KeyState &s : ___vek_keystates) s = VEK_KEYSTATE_UP;
    for (VEK_KeyState &s : ___vek_mousestates) s = VEK_KEYSTATE_UP;
    now_ms = 5000;
    now_s = 1700000000;
    game_clock_set_source(test_clock);
    game_time_set_source(test_time);
    g_dB = 0.0;
    game = minigame{};
    minigame_init();
}

void GameTest::TearDown() {
    game_clock_set_source(nullptr);
    game_time_set_source(nullptr);
    EngineTest::TearDown();
}
