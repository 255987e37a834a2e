// SPDX-License-Identifier: Zlib
// Engine lifecycle, main loop, composition into the window, pacing, screen transform.
#include "rig.h"
#include "vek_internal.h"

#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Size {
    int w, h;
};

Size window_size() {
    Size s{};
    SDL_GetWindowSize(___vek_window, &s.w, &s.h);
    return s;
}

class Lifecycle : public EngineTest {};

TEST_F(Lifecycle, InitialWindowSizeFollowsScaleAndRatio) {
    const struct {
        const char *what;
        VEK_Config cfg;
        Size expect;
    } cases[] = {
        {"defaults", VEK_Config{.mixer = VEK_MIXER_OFF, .basepath = "/"}, {256, 224}},
        {"scale 1.5", VEK_Config{.scale = 1.5f, .mixer = VEK_MIXER_OFF, .basepath = "/"}, {384, 336}},
        {"ratio 2", VEK_Config{.ratio = 2.0f, .mixer = VEK_MIXER_OFF, .basepath = "/"}, {512, 224}},
        {"game", VEK_Config{.width = 640, .height = 640, .pixel_perfect = false, .show_cursor = true,
                            .mixer = VEK_MIXER_OFF, .basepath = "/", .title = "bramble"},
         {640, 640}},
    };
    for (auto &c : cases) {
        ASSERT_EQ(_VEK_Init(&c.cfg), 0) << c.what;
        Size s = window_size();
        EXPECT_EQ(s.w, c.expect.w) << c.what;
        EXPECT_EQ(s.h, c.expect.h) << c.what;
        VEK_Quit();
    }
}

TEST_F(Lifecycle, NamedFormTakesDefaultsAndOverrides) {
    ASSERT_EQ(VEK_Init(.width = 320, .height = 200, .target_fps = 30, .mixer = VEK_MIXER_OFF,
                       .basepath = "/", .title = "named"),
              0);
    EXPECT_EQ(___vek_config.width, 320);
    EXPECT_EQ(___vek_config.scale, 1.0f);
    EXPECT_TRUE(___vek_config.pixel_perfect);
    EXPECT_EQ(___vek_min_dt, 33u);
    EXPECT_STREQ(SDL_GetWindowTitle(___vek_window), "named");
    EXPECT_EQ(___vek_mouse_x, 160);
    EXPECT_EQ(___vek_mouse_y, 100);
    EXPECT_EQ(VEK_GetTick(), 0u);
    ASSERT_EQ(VEK_DrawBegin(), 0);
    ASSERT_EQ(VEK_DrawEnd(), 0);
    ASSERT_EQ(VEK_DrawBegin(), 0);
    ASSERT_EQ(VEK_DrawEnd(), 0);
    EXPECT_EQ(VEK_GetTick(), 2u);
}

TEST_F(Lifecycle, WorkingDirectoryIsTheBasePathOrTheExecutables) {
    TempDir dir;
    ASSERT_EQ(VEK_Init(.mixer = VEK_MIXER_OFF, .basepath = dir.path().c_str()), 0);
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(std::string(cwd), dir.path());
    VEK_Quit();

    ASSERT_EQ(VEK_Init(.mixer = VEK_MIXER_OFF), 0);
    char *base = SDL_GetBasePath();
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(std::string(cwd) + "/", std::string(base));
    SDL_free(base);
}

TEST_F(Lifecycle, MissingBasePathFailsWithTheSystemErrorAndShutsDown) {
    StderrCapture cap;
    EXPECT_EQ(VEK_Init(.mixer = VEK_MIXER_OFF, .basepath = "/nonexistent/bramble"), -1);
    std::string err = cap.text();
    EXPECT_NE(err.find("LOG vek_core.cpp:_VEK_Init:"), std::string::npos) << err;
    EXPECT_NE(err.find(strerror(ENOENT)), std::string::npos) << err;
    EXPECT_EQ(___vek_window, nullptr);
    EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
}

TEST_F(Lifecycle, SdlStartFailureIsReportedAndQuitStaysHarmless) {
    const char *old = getenv("SDL_VIDEODRIVER");
    std::string saved = old ? old : "";
    setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
    StderrCapture cap;
    int rv = VEK_Init(.mixer = VEK_MIXER_OFF, .basepath = "/");
    std::string err = cap.text();
    setenv("SDL_VIDEODRIVER", saved.c_str(), 1);
    EXPECT_EQ(rv, -1);
    EXPECT_NE(err.find("no-such-driver"), std::string::npos) << err; // SDL's own error text
    EXPECT_EQ(___vek_window, nullptr);
    VEK_Quit();
    VEK_Quit();
}

int frames_run = 0;
int stop_after_one(void *) {
    frames_run++;
    return 1;
}

TEST_F(Lifecycle, MainLoopRunsOneCycleThenStopsOnFrameResult) {
    ASSERT_EQ(VEK_Init(.mixer = VEK_MIXER_OFF, .basepath = "/"), 0);
    SDL_PumpEvents();
    SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    ___vek_should_quit = 0;
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    SDL_PushEvent(&quit);
    frames_run = 0;
    // The quit raised during the cycle still lets that frame run.
    EXPECT_EQ(VEK_MainLoop(stop_after_one, nullptr), 1);
    EXPECT_EQ(frames_run, 1);
    EXPECT_EQ(VEK_ShouldQuit(), 1);

    // Already quitting: no cycle (the queued event stays) and no frame.
    SDL_PushEvent(&quit);
    frames_run = 0;
    EXPECT_EQ(VEK_MainLoop(stop_after_one, nullptr), 0);
    EXPECT_EQ(frames_run, 0);
    EXPECT_EQ(SDL_PeepEvents(nullptr, 1, SDL_PEEKEVENT, SDL_QUIT, SDL_QUIT), 1);
    ___vek_should_quit = 0;
}

// ---------------------------------------------------------------------------
// Composition
// ---------------------------------------------------------------------------
TEST(Letterbox, WorkedExamples) {
    const struct {
        int win_w, win_h, width, height;
        float ratio;
        bool pixel_perfect;
        float scale;
        int x, y, w, h;
    } cases[] = {
        {640, 640, 640, 640, 1.0f, false, 1.0f, 0, 0, 640, 640},
        {800, 600, 640, 640, 1.0f, false, 0.9375f, 100, 0, 600, 600},
        {1000, 700, 256, 224, 1.0f, true, 3.0f, 116, 14, 768, 672},
        {1000, 700, 256, 224, 1.0f, false, 3.125f, 100, 0, 800, 700},
        {1920, 1080, 256, 224, 1.2f, true, 4.0f, 346, 92, 1228, 896},
        {742, 649, 256, 224, 1.0f, true, 2.0f, 115, 100, 512, 448},   // 2.9 times: whole factor 2
        {204, 179, 256, 224, 1.0f, true, 0.796875f, 0, 0, 204, 178}, // below 1: stays fractional
    };
    for (auto &c : cases) {
        Letterbox lb = letterbox_fit(c.win_w, c.win_h, c.width, c.height, c.ratio, c.pixel_perfect);
        SCOPED_TRACE(testing::Message() << c.win_w << "x" << c.win_h);
        EXPECT_FLOAT_EQ(lb.scale, c.scale);
        EXPECT_EQ(lb.x, c.x);
        EXPECT_EQ(lb.y, c.y);
        EXPECT_EQ(lb.w, c.w);
        EXPECT_EQ(lb.h, c.h);
    }
}

TEST(Letterbox, ZeroSizedWindowCountsAsOnePixel) {
    Letterbox lb = letterbox_fit(0, 0, 640, 640, 1.0f, false);
    EXPECT_FLOAT_EQ(lb.scale, 1.0f / 640.0f);
    EXPECT_EQ(lb.w, 1);
    EXPECT_EQ(lb.h, 1);
}

class Composition : public EngineTest {
  protected:
    // Draws one frame cleared to (r, g, b) and composes it, leaving the window as target.
    void compose(uint8_t r, uint8_t g, uint8_t b) {
        ASSERT_EQ(VEK_DrawBegin(), 0);
        SDL_SetRenderDrawColor(___vek_renderer, r, g, b, 255);
        ASSERT_EQ(VEK_DrawClear(), 0);
        ASSERT_EQ(pixel_draw_end(), 0);
    }
};

TEST_F(Composition, PictureIsCentredBetweenBlackBars) {
    const struct {
        int width, height, win_w, win_h;
        bool pixel_perfect;
        SDL_Rect dst;
    } cases[] = {
        {640, 640, 800, 600, false, {100, 0, 600, 600}},
        {256, 224, 1000, 700, true, {116, 14, 768, 672}},
        {256, 224, 1000, 700, false, {100, 0, 800, 700}},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.win_w << "x" << c.win_h);
        ASSERT_EQ(VEK_Init(.width = c.width, .height = c.height, .pixel_perfect = c.pixel_perfect,
                           .mixer = VEK_MIXER_OFF, .basepath = "/"),
                  0);
        SDL_SetWindowSize(___vek_window, c.win_w, c.win_h);
        compose(10, 200, 30);
        Pixels px = read_target();
        ASSERT_EQ(px.w, c.win_w);
        const Rgb pic{10, 200, 30}, black{0, 0, 0};
        int l = c.dst.x, t = c.dst.y, r = c.dst.x + c.dst.w - 1, b = c.dst.y + c.dst.h - 1;
        int my = t + c.dst.h / 2, mx = l + c.dst.w / 2;
        EXPECT_EQ(px.at(l, my), pic);
        EXPECT_EQ(px.at(r, my), pic);
        EXPECT_EQ(px.at(mx, t), pic);
        EXPECT_EQ(px.at(mx, b), pic);
        if (l > 0) { EXPECT_EQ(px.at(l - 1, my), black); }
        if (r + 1 < c.win_w) { EXPECT_EQ(px.at(r + 1, my), black); }
        if (t > 0) { EXPECT_EQ(px.at(mx, t - 1), black); }
        if (b + 1 < c.win_h) { EXPECT_EQ(px.at(mx, b + 1), black); }
        EXPECT_EQ(___vek_off_x, c.dst.x);
        EXPECT_EQ(___vek_off_y, c.dst.y);
        VEK_Quit();
    }
}

TEST_F(Composition, ClearAfterAFrameIsBlack) {
    ASSERT_EQ(VEK_Init(.width = 16, .height = 16, .target_fps = 0, .mixer = VEK_MIXER_OFF,
                       .basepath = "/"),
              0);
    compose(200, 100, 50);
    SDL_RenderPresent(___vek_renderer);
    ASSERT_EQ(VEK_DrawBegin(), 0);
    ASSERT_EQ(VEK_DrawClear(), 0);
    EXPECT_EQ(read_picture().at(8, 8), (Rgb{0, 0, 0}));
}

TEST_F(Composition, InterlaceAlternatesTheRowsTakenFromThePreviousPicture) {
    const int h = 7; // odd height: 3 rows copied on odd parity, 4 on even
    ASSERT_EQ(VEK_Init(.width = 4, .height = h, .interlace = true, .mixer = VEK_MIXER_OFF,
                       .basepath = "/"),
              0);
    ASSERT_NE(___vek_target_pre, nullptr);
    for (SDL_Texture *t : {___vek_target, ___vek_target_pre}) {
        SDL_SetRenderTarget(___vek_renderer, t);
        SDL_SetRenderDrawColor(___vek_renderer, 0, 255, 0, 255);
        SDL_RenderClear(___vek_renderer);
    }
    const Rgb green{0, 255, 0}, blue{0, 0, 255}, red{255, 0, 0};
    compose(0, 0, 255); // first frame: odd rows from the previous (green) picture
    Pixels a = read_picture();
    for (int y = 0; y < h; y++) EXPECT_EQ(a.at(2, y), y % 2 ? green : blue) << "row " << y;
    compose(255, 0, 0); // second frame: even rows from the first frame's picture
    Pixels b = read_picture();
    for (int y = 0; y < h; y++) EXPECT_EQ(b.at(2, y), y % 2 ? red : blue) << "row " << y;
}

TEST_F(Composition, ViewportChangeRecreatesPictureOnlyWhenTheSizeChanges) {
    ASSERT_EQ(VEK_Init(.width = 64, .height = 32, .mixer = VEK_MIXER_OFF, .basepath = "/"), 0);
    SDL_Texture *before = ___vek_target;
    ASSERT_EQ(VEK_SetViewportSize(64, 32), 0);
    EXPECT_EQ(___vek_target, before);
    ASSERT_EQ(VEK_SetViewportSize(100, 50), 0);
    int w = 0, h = 0;
    SDL_QueryTexture(___vek_target, nullptr, nullptr, &w, &h);
    EXPECT_EQ(w, 100);
    EXPECT_EQ(h, 50);
    EXPECT_EQ(___vek_config.width, 100);
}

// ---------------------------------------------------------------------------
// Pacing, driven by a supplied clock
// ---------------------------------------------------------------------------
TEST(Pacing, EarlyFrameWaitsLateFrameRestartsTheSchedule) {
    uint32_t next = 1000;
    EXPECT_EQ(pace_frame(&next, 16, 1005), 11u); // a 5 ms frame
    EXPECT_EQ(next, 1016u);
    next = 1000;
    EXPECT_EQ(pace_frame(&next, 16, 1040), 0u); // a 40 ms frame: no wait, no catching up
    EXPECT_EQ(next, 1040u);
    EXPECT_EQ(pace_frame(&next, 16, 1041), 15u); // next due 16 ms after that check
}

TEST(Pacing, ThousandShortFramesDoNotDrift) {
    for (uint32_t start : {0u, 4294967295u - 8000u}) { // also across the 32-bit wrap
        uint32_t next = start, now = start;
        for (int i = 0; i < 1000; i++) {
            now += 5; // work
            uint32_t wait = pace_frame(&next, 16, now);
            ASSERT_LE(wait, 16u) << "frame " << i;
            now += wait;
        }
        EXPECT_EQ(now - start, 16000u);
    }
}

TEST(Pacing, WrapOfTheMillisecondClock) {
    uint32_t next = 0xFFFFFFF8u; // due 8 ms before the wrap, now 2 ms after that
    EXPECT_EQ(pace_frame(&next, 16, 0xFFFFFFFAu), 14u);
    EXPECT_EQ(next, 8u);
    next = 0xFFFFFFF0u; // late across the wrap: restart, no huge wait
    EXPECT_EQ(pace_frame(&next, 16, 5u), 0u);
    EXPECT_EQ(next, 5u);
}

// ---------------------------------------------------------------------------
// Screen transform and camera
// ---------------------------------------------------------------------------
int transform_before_any_composition() {
    // Before the first composition the offsets are 1 and the scale 1; null pointers are skipped.
    int x = 10, y = 20, y2 = 20, x2 = 10;
    VEK_ScreenTransform(&x, &y);
    VEK_ScreenTransform(nullptr, &y2);
    VEK_ScreenTransform(&x2, nullptr);
    return (x == 9 && y == 19 && y2 == 19 && x2 == 9) ? 0 : 1;
}

TEST(ScreenTransformDeathTest, BeforeAnyCompositionSubtractsOne) {
    // In a fresh process, so no earlier composition has set the offsets.
    EXPECT_EXIT(exit(transform_before_any_composition()), ::testing::ExitedWithCode(0), "");
}

TEST_F(Composition, ScreenTransformFollowsTheStretchedPicture) {
    ASSERT_EQ(VEK_Init(.width = 100, .height = 100, .ratio = 2.0f, .pixel_perfect = false,
                       .mixer = VEK_MIXER_OFF, .basepath = "/"),
              0);
    int x, y;
    // A 400x300 window shows the 200x100 stretched picture at scale 2, offset (0, 50);
    // the window's middle is the picture's middle.
    SDL_SetWindowSize(___vek_window, 400, 300);
    compose(1, 2, 3);
    x = 200, y = 150;
    VEK_ScreenTransform(&x, &y);
    EXPECT_EQ(x, 50);
    EXPECT_EQ(y, 50);
}

TEST(Camera, RoundsHalfUpAndStoresTheNegatedPosition) {
    const struct {
        float x, y;
        int cx, cy;
    } cases[] = {{10, 20, -10, -20}, {2.5f, 0, -3, 0}, {-1.7f, 0.49f, 1, 0}, {0, 0, 0, 0}};
    for (auto &c : cases) {
        VEK_SetCamera(c.x, c.y);
        EXPECT_EQ(VEK_GetCameraX(), c.cx) << c.x;
        EXPECT_EQ(VEK_GetCameraY(), c.cy) << c.y;
    }
}

// A start that reached no display names the cause a player can act on: the
// variable to set when none is, the packages to install when the variable is set
// but its client libraries do not load (the portable build loads them at start),
// and the place nothing answered when they do.
TEST(NoDisplay, TellsAMissingVariableFromMissingLibrariesFromASilentServer) {
    EXPECT_TRUE(display_unreached(nullptr, nullptr, false, false).empty());
    EXPECT_TRUE(display_unreached("", "", false, false).empty());

    std::vector<std::string> x11 = display_unreached(":0", nullptr, false, false);
    ASSERT_EQ(x11.size(), 1u);
    EXPECT_NE(x11[0].find("libX11.so.6"), std::string::npos) << x11[0];
    EXPECT_NE(x11[0].find("install libx11-6 and libxext6"), std::string::npos) << x11[0];
    EXPECT_EQ(x11[0].find("set DISPLAY"), std::string::npos) << x11[0];

    std::vector<std::string> silent = display_unreached(":7", "", true, false);
    ASSERT_EQ(silent.size(), 1u);
    EXPECT_EQ(silent[0], "no X server answered at DISPLAY=:7");

    std::vector<std::string> both = display_unreached(":0", "wayland-0", true, false);
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[0], "no X server answered at DISPLAY=:0");
    EXPECT_NE(both[1].find("install libwayland-client0"), std::string::npos) << both[1];

    std::vector<std::string> compositor = display_unreached(nullptr, "wayland-1", false, true);
    ASSERT_EQ(compositor.size(), 1u);
    EXPECT_EQ(compositor[0], "no Wayland compositor answered at WAYLAND_DISPLAY=wayland-1");
}

// Characters of a UTF-8 string (its bytes other than continuation bytes).
size_t characters(const std::string &s) {
    size_t n = 0;
    for (unsigned char c : s) n += (c & 0xC0) != 0x80;
    return n;
}

// The message box never wraps: the notice is laid out in lines of at most the
// width, in characters, broken at spaces, every word kept in order, a word longer
// than a line cut between two characters, tabs as spaces.
TEST(FatalNotice, FillsLinesToTheWidthKeepingEveryWordAndWholeCharacters) {
    const std::string e_acutes = [] {
        std::string s;
        for (int i = 0; i < 45; i++) s += "\u00e9";
        return s;
    }();
    const std::string text = "ERR record.cpp:record_init:36 \tassert failed: mic > 0\n\nNo "
                             "microphone could be opened: plug one in, then start the game "
                             "again from Zo\u00e9-\u65e5\u672c.\n" +
                             e_acutes + " end";
    const size_t width = 30;
    std::string filled = notice_fill(text.c_str(), width);
    EXPECT_EQ(filled.find('\t'), std::string::npos) << filled;

    std::istringstream lines(filled);
    std::string line;
    while (std::getline(lines, line)) {
        EXPECT_LE(characters(line), width) << "[" << line << "]";
        // Each line is whole UTF-8: it starts with a character, not inside one.
        if (!line.empty()) {
            EXPECT_NE(static_cast<unsigned char>(line[0]) & 0xC0, 0x80) << line;
        }
    }
    // The 45 e-acutes fill one line of exactly 30 characters (60 bytes), and the rest
    // goes on.
    EXPECT_NE(filled.find("\n" + e_acutes.substr(0, 60) + "\n"), std::string::npos) << filled;
    // The same words in the same order, the cut one rejoined.
    std::string words_in, words_out, word;
    std::istringstream a(text), b(filled);
    while (a >> word) words_in += word + " ";
    while (b >> word) words_out += word + " ";
    std::string rejoined = words_out;
    size_t long_word = rejoined.find("\u00e9\u00e9");
    ASSERT_NE(long_word, std::string::npos) << filled;
    rejoined.erase(rejoined.find(' ', long_word), 1);
    EXPECT_EQ(rejoined, words_in) << filled;
    // Short lines stay as they are.
    EXPECT_EQ(notice_fill("a b\nc", width), "a b\nc");
}

} // namespace
