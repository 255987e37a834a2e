// SPDX-License-Identifier: Zlib
// Drawing primitives, read back from the off-screen picture.
#include "rig.h"
#include "vek_internal.h"

#include <cmath>
#include <functional>
#include <limits>

namespace {

const int W = 400, H = 200;
const Rgb BLACK = {0, 0, 0};

class Draw : public EngineTest {
  protected:
    void SetUp() override {
        ASSERT_EQ(VEK_Init(.width = W, .height = H, .target_fps = 0, .mixer = VEK_MIXER_OFF), 0);
        VEK_SetCamera(0, 0);
        ASSERT_EQ(VEK_DrawBegin(), 0);
        ASSERT_EQ(VEK_DrawSetColor(.r = 0, .g = 0, .b = 0, .a = 1), 0);
        ASSERT_EQ(VEK_DrawClear(), 0);
    }
    void TearDown() override {
        VEK_SetCamera(0, 0);
        EngineTest::TearDown();
    }
    VEK_Uint image(int w, int h, const std::function<Rgb(int, int)> &px) {
        std::string bmp = make_bmp(w, h, px);
        return VEK_LoadResourceFromMemory(VEK_RES_IMAGE, bmp.data(), int(bmp.size()));
    }
};

// Bounding box of the pixels that are not black.
SDL_Rect drawn_box(const Pixels &p) {
    int x0 = p.w, y0 = p.h, x1 = -1, y1 = -1;
    for (int y = 0; y < p.h; y++)
        for (int x = 0; x < p.w; x++)
            if (!(p.at(x, y) == BLACK)) {
                x0 = std::min(x0, x), x1 = std::max(x1, x);
                y0 = std::min(y0, y), y1 = std::max(y1, y);
            }
    if (x1 < 0) return SDL_Rect{0, 0, 0, 0}; // nothing drawn
    return SDL_Rect{x0, y0, x1 - x0 + 1, y1 - y0 + 1};
}

} // namespace

// ---------------------------------------------------------------------------
// Colour
// ---------------------------------------------------------------------------
TEST(ColorByte, TruncatesAndKeepsTheLowByteToTheCaller) {
    struct Case {
        float c;
        int byte;
    } cases[] = {{1.0f, 255}, {0.5f, 127}, {0.2f, 51}, {0.999f, 254}, {1.2f, 306}, {0.0f, 0}};
    for (const Case &c : cases) EXPECT_EQ(color_byte(c.c), c.byte) << c.c;
    EXPECT_EQ(uint8_t(color_byte(1.2f)), 50);
    // every byte survives the trip through a stored component
    for (int b = 0; b < 256; b++) EXPECT_EQ(color_byte(float(b) / 255.0f), b);
}

TEST_F(Draw, SetColorKeepsNegativeComponents) {
    struct Step {
        VEK_Color set;
        Uint8 r, g, b, a; // the renderer's colour afterwards
    } steps[] = {
        {{._ = 0, .r = 1, .g = 1, .b = 1, .a = 0.5f}, 255, 255, 255, 127},
        {{._ = 0, .r = 1, .g = 0, .b = 0}, 255, 0, 0, 127}, // a left out: kept
        {{._ = 0, .r = -1, .g = 0.2f, .b = -3, .a = 0}, 255, 51, 0, 0},
        {{._ = 0, .r = 0, .g = 0.999f, .b = 1.2f, .a = 1}, 0, 254, 50, 255},
    };
    for (const Step &s : steps) {
        ASSERT_EQ(_VEK_DrawSetColor(&s.set), 0);
        Uint8 r, g, b, a;
        SDL_GetRenderDrawColor(___vek_renderer, &r, &g, &b, &a);
        EXPECT_EQ(r, s.r);
        EXPECT_EQ(g, s.g);
        EXPECT_EQ(b, s.b);
        EXPECT_EQ(a, s.a);
    }
    EXPECT_EQ(___vek_color.b, 1.2f); // stored unclamped
}

TEST_F(Draw, ImageTintFollowsTheColourRule) {
    VEK_Uint id = image(4, 4, [](int, int) { return Rgb{255, 255, 255}; });
    ASSERT_NE(id, 0u);
    SDL_Texture *tex = VEK_GetResourcePointer(id)->image.ptr;
    struct Case {
        std::function<int()> set;
        Uint8 r, g, b, a;
    } cases[] = {
        {[] { return VEK_DrawSetColor(.r = 0.2f, .g = 0.999f, .b = 1.2f, .a = 1); }, 51, 254, 50,
         255},
        {[] { return VEK_DrawSetColor(.a = 0.5f); }, 51, 254, 50, 127},
        {[] { return VEK_DrawSetColor(.r = 1, .g = 1, .b = 1); }, 255, 255, 255, 127},
        {[] { return VEK_DrawSetColor8(10, 20, 30, 40); }, 10, 20, 30, 40},
        {[] { return VEK_DrawSetColor8(255, 0, 128, 255); }, 255, 0, 128, 255},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(c.set(), 0);
        ASSERT_EQ(VEK_DrawImage(.id = id, .x = 0, .y = 0), 0);
        Uint8 r, g, b, a;
        SDL_GetTextureColorMod(tex, &r, &g, &b);
        SDL_GetTextureAlphaMod(tex, &a);
        EXPECT_EQ(r, c.r);
        EXPECT_EQ(g, c.g);
        EXPECT_EQ(b, c.b);
        EXPECT_EQ(a, c.a);
    }
    // the last, opaque tint is what lands on a white image
    EXPECT_EQ(read_picture().at(1, 1), (Rgb{255, 0, 128}));
}

TEST_F(Draw, ImagesTakeTheBlendModeOfTheMoment) {
    VEK_Uint id = image(4, 4, [](int, int) { return Rgb{255, 255, 255}; });
    SDL_Texture *tex = VEK_GetResourcePointer(id)->image.ptr;
    for (SDL_BlendMode mode : {SDL_BLENDMODE_ADD, SDL_BLENDMODE_NONE, SDL_BLENDMODE_BLEND}) {
        ASSERT_EQ(VEK_BlendMode(mode), 0);
        ASSERT_EQ(VEK_DrawImage(.id = id), 0);
        SDL_BlendMode got;
        SDL_GetTextureBlendMode(tex, &got);
        EXPECT_EQ(got, mode);
    }
}

// ---------------------------------------------------------------------------
// Points, lines, rectangles
// ---------------------------------------------------------------------------
TEST_F(Draw, RectanglesFilledOutlinedAndCentred) {
    struct Case {
        VEK_DrawRectangleArgs args;
        SDL_Rect covers; // x, y, w, h of the outer edge
    } cases[] = {
        {{._ = 0, .x = 10, .y = 20, .w = 30, .h = 5, .fill = true}, {10, 20, 30, 5}},
        {{._ = 0, .x = 10, .y = 20, .w = 30, .h = 5, .fill = false}, {10, 20, 30, 5}},
        {{._ = 0, .x = 320, .y = 100, .w = 41, .h = 11, .fill = true, .center = true},
         {300, 95, 41, 11}},
        {{._ = 0, .x = 320, .y = 100, .w = 40, .h = 10, .fill = false, .center = true},
         {300, 95, 40, 10}},
    };
    for (const Case &c : cases) {
        VEK_DrawSetColor(.r = 0, .g = 0, .b = 0);
        VEK_DrawClear();
        VEK_DrawSetColor(.r = 1, .g = 1, .b = 0);
        ASSERT_EQ(_VEK_DrawRectangle(&c.args), 0);
        Pixels p = read_picture();
        SDL_Rect box = drawn_box(p);
        EXPECT_EQ(box.x, c.covers.x);
        EXPECT_EQ(box.y, c.covers.y);
        EXPECT_EQ(box.w, c.covers.w);
        EXPECT_EQ(box.h, c.covers.h);
        const SDL_Rect &r = c.covers;
        EXPECT_EQ(p.at(r.x, r.y), (Rgb{255, 255, 0}));
        EXPECT_EQ(p.at(r.x + r.w - 1, r.y + r.h - 1), (Rgb{255, 255, 0}));
        // the inside is painted only when filled
        const Rgb YELLOW = {255, 255, 0};
        Rgb inside = c.args.fill ? YELLOW : BLACK;
        EXPECT_EQ(p.at(r.x + r.w / 2, r.y + r.h / 2), inside);
        EXPECT_EQ(p.at(r.x + 1, r.y + 1), inside);
    }
}

TEST_F(Draw, PointsAndLines) {
    VEK_DrawSetColor(.r = 0, .g = 1, .b = 0);
    ASSERT_EQ(VEK_DrawPoint(7, 3), 0);
    ASSERT_EQ(VEK_DrawLine(20, 50, 29, 50), 0);
    Pixels p = read_picture();
    EXPECT_EQ(p.at(7, 3), (Rgb{0, 255, 0}));
    for (int x = 20; x <= 29; x++) EXPECT_EQ(p.at(x, 50), (Rgb{0, 255, 0})) << x;
    EXPECT_EQ(p.at(19, 50), BLACK);
    EXPECT_EQ(p.at(30, 50), BLACK);
    EXPECT_EQ(p.at(7, 4), BLACK);
}

TEST_F(Draw, TheCameraShiftsEveryPrimitive) {
    VEK_SetCamera(10, 20);
    EXPECT_EQ(VEK_GetCameraX(), -10);
    EXPECT_EQ(VEK_GetCameraY(), -20);
    VEK_Uint id = image(2, 2, [](int, int) { return Rgb{0, 0, 255}; });
    VEK_DrawSetColor(.r = 1, .g = 1, .b = 1);
    VEK_DrawPoint(15, 25);
    VEK_DrawLine(30, 40, 30, 41);
    VEK_DrawRectangle(.x = 60, .y = 40, .w = 2, .h = 2, .fill = true);
    VEK_DrawImage(.id = id, .x = 80, .y = 40);
    Pixels p = read_picture();
    struct Where {
        int x, y;
        Rgb c;
    } expected[] = {{5, 5, {255, 255, 255}},   {20, 20, {255, 255, 255}}, {20, 21, {255, 255, 255}},
                    {50, 20, {255, 255, 255}}, {51, 21, {255, 255, 255}}, {70, 20, {0, 0, 255}},
                    {71, 21, {0, 0, 255}}};
    for (const Where &w : expected) EXPECT_EQ(p.at(w.x, w.y), w.c) << w.x << "," << w.y;
    SDL_Rect box = drawn_box(p);
    EXPECT_EQ(box.x, 5);
    EXPECT_EQ(box.y, 5);
    EXPECT_EQ(box.w, 67);
    EXPECT_EQ(box.h, 17);

    // rounding of the camera position: half up, truncated toward zero
    VEK_SetCamera(2.5f, -1.7f);
    EXPECT_EQ(VEK_GetCameraX(), -3);
    EXPECT_EQ(VEK_GetCameraY(), 1);
}

TEST(RectFromSDLRect, CornersAreInclusive) {
    struct Case {
        SDL_Rect src;
        VEK_Rect dest;
    } cases[] = {{{3, 4, 10, 2}, {{3, 4}, {12, 5}}},
                 {{0, 0, 1, 1}, {{0, 0}, {0, 0}}},
                 {{-5, 7, 0, 3}, {{-5, 7}, {-6, 9}}}};
    for (const Case &c : cases) {
        VEK_Rect r = {{99, 99}, {99, 99}};
        VEK_RectFromSDLRect(&r, &c.src);
        EXPECT_EQ(r.from.x, c.dest.from.x);
        EXPECT_EQ(r.from.y, c.dest.from.y);
        EXPECT_EQ(r.to.x, c.dest.to.x);
        EXPECT_EQ(r.to.y, c.dest.to.y);
    }
}

// ---------------------------------------------------------------------------
// Images: cut-outs, mirroring, centring, scale, rotation
// ---------------------------------------------------------------------------
// Where each destination pixel of one axis comes from: destination d0..d1 shows
// source s0 + dir * (d - d0) / k.
struct Axis {
    int d0, d1, s0, dir, k;
};

TEST_F(Draw, ImageCutOutsLandWhereTheAnchorRulesSay) {
    VEK_Uint id = image(64, 32, coded);
    ASSERT_EQ(id, 1u);
    const Axis rows = {20, 51, 0, 1, 1}; // the whole height at y 20, upright
    struct Case {
        const char *what;
        VEK_DrawImageArgs args;
        Axis x, y;
    } cases[] = {
        {"whole image", {._ = 0, .id = id, .x = 10, .y = 20}, {10, 73, 0, 1, 1}, rows},
        {"ix 10 takes 54 columns",
         {._ = 0, .id = id, .x = 10, .y = 20, .ix = 10},
         {10, 63, 10, 1, 1},
         rows},
        {"w -16 mirrors left of x",
         {._ = 0, .id = id, .x = 100, .y = 20, .w = -16},
         {84, 99, 15, -1, 1},
         rows},
        {"sx -1 mirrors left of x",
         {._ = 0, .id = id, .x = 100, .y = 20, .sx = -1},
         {36, 99, 63, -1, 1},
         rows},
        {"flip_x cancels sx -1, keeps the anchor",
         {._ = 0, .id = id, .x = 100, .y = 20, .sx = -1, .flip_x = true},
         {36, 99, 0, 1, 1},
         rows},
        {"flip_x alone",
         {._ = 0, .id = id, .x = 100, .y = 20, .flip_x = true},
         {100, 163, 63, -1, 1},
         rows},
        {"centred",
         {._ = 0, .id = id, .x = 100, .y = 50, .center = true},
         {68, 131, 0, 1, 1},
         {34, 65, 0, 1, 1}},
        {"centred, sx -1",
         {._ = 0, .id = id, .x = 100, .y = 50, .sx = -1, .center = true},
         {68, 131, 63, -1, 1},
         {34, 65, 0, 1, 1}},
        {"h -8 mirrors above y",
         {._ = 0, .id = id, .x = 10, .y = 100, .iy = 4, .h = -8},
         {10, 73, 0, 1, 1},
         {92, 99, 11, -1, 1}},
        {"glyph 16x16 at scale 2",
         {._ = 0,
          .id = id,
          .x = 10,
          .y = 20,
          .ix = 32,
          .iy = 16,
          .w = 16,
          .h = 16,
          .sx = 2,
          .sy = 2},
         {10, 41, 32, 1, 2},
         {20, 51, 16, 1, 2}},
        {"cut past the edge is clipped",
         {._ = 0, .id = id, .x = 0, .y = 0, .ix = 60, .w = 16},
         {0, 3, 60, 1, 1},
         {0, 31, 0, 1, 1}},
    };
    for (const Case &c : cases) {
        VEK_DrawSetColor(.r = 0, .g = 0, .b = 0, .a = 1);
        VEK_DrawClear();
        VEK_DrawSetColor(.r = 1, .g = 1, .b = 1);
        ASSERT_EQ(_VEK_DrawImage(&c.args), 0) << c.what;
        Pixels p = read_picture();
        SDL_Rect box = drawn_box(p);
        EXPECT_EQ(box.x, c.x.d0) << c.what;
        EXPECT_EQ(box.x + box.w - 1, c.x.d1) << c.what;
        EXPECT_EQ(box.y, c.y.d0) << c.what;
        EXPECT_EQ(box.y + box.h - 1, c.y.d1) << c.what;
        int wrong = 0;
        for (int y = c.y.d0; y <= c.y.d1; y++)
            for (int x = c.x.d0; x <= c.x.d1; x++) {
                int sx = c.x.s0 + c.x.dir * ((x - c.x.d0) / c.x.k);
                int sy = c.y.s0 + c.y.dir * ((y - c.y.d0) / c.y.k);
                if (!(p.at(x, y) == coded(sx, sy)) && wrong++ < 3)
                    ADD_FAILURE() << c.what << ": (" << x << ", " << y << ") shows " << p.at(x, y)
                                  << ", expected source (" << sx << ", " << sy << ")";
            }
        EXPECT_EQ(wrong, 0) << c.what;
    }
}

TEST_F(Draw, QuarterTurnIsClockwise) {
    // quadrants: top-left red, top-right green, bottom-left blue, bottom-right white
    const Rgb RED = {255, 0, 0}, GREEN = {0, 255, 0}, BLUE = {0, 0, 255}, WHITE = {255, 255, 255};
    VEK_Uint id = image(16, 16, [&](int x, int y) {
        return y < 8 ? (x < 8 ? RED : GREEN) : (x < 8 ? BLUE : WHITE);
    });
    struct Case {
        float r;
        Rgb tl, tr, bl, br;
    } cases[] = {
        {0.0f, RED, GREEN, BLUE, WHITE},
        {0.25f, BLUE, RED, WHITE, GREEN},
        {0.5f, WHITE, BLUE, GREEN, RED},
        {-0.25f, GREEN, WHITE, RED, BLUE},
    };
    for (const Case &c : cases) {
        VEK_DrawSetColor(.r = 0, .g = 0, .b = 0, .a = 1);
        VEK_DrawClear();
        VEK_DrawSetColor(.r = 1, .g = 1, .b = 1);
        ASSERT_EQ(VEK_DrawImage(.id = id, .x = 100, .y = 50, .r = c.r), 0);
        Pixels p = read_picture();
        // quadrant centres, away from any edge rounding of the rotation
        EXPECT_EQ(p.at(104, 54), c.tl) << c.r;
        EXPECT_EQ(p.at(111, 54), c.tr) << c.r;
        EXPECT_EQ(p.at(104, 61), c.bl) << c.r;
        EXPECT_EQ(p.at(111, 61), c.br) << c.r;
    }
}

// ---------------------------------------------------------------------------
// Refusals: nothing is drawn
// ---------------------------------------------------------------------------
TEST_F(Draw, ImageDrawRefusesIdsThatAreNotImages) {
    VEK_Uint img = image(4, 4, [](int, int) { return Rgb{255, 255, 255}; });
    VEK_Uint raw = VEK_LoadResourceFromMemory(VEK_RES_RAW, "abc", 3);
    ASSERT_EQ(img, 1u);
    ASSERT_EQ(raw, 2u);
    VEK_DrawSetColor(.r = 1, .g = 1, .b = 1);
    struct Case {
        VEK_Uint id;
        std::string message;
    } cases[] = {
        {0, "args->id is 0\n"},
        {raw, "2 isn't an image\n"},
        {3, "resource id 3 out of range\n"},
        {0x80000000u, "resource id 2147483648 out of range\n"},
    };
    for (const Case &c : cases) {
        StderrCapture cap;
        EXPECT_EQ(VEK_DrawImage(.id = c.id, .x = 5, .y = 5), -1) << c.id;
        std::string err = cap.text();
        EXPECT_EQ(err.rfind("LOG vek_draw.cpp:_VEK_DrawImage:", 0), 0u) << err;
        EXPECT_EQ(err.substr(err.find(" \t") + 2), c.message) << err;
    }
    EXPECT_EQ(drawn_box(read_picture()).w, 0);
}

// ---------------------------------------------------------------------------
// Sizes and positions beyond int's range: saturated, never undefined (the
// sanitizer build checks every float-to-int conversion)
// ---------------------------------------------------------------------------
TEST_F(Draw, HugeScalesCamerasAndAspectsStayDefined) {
    const float huge = 3e38f, nan = std::numeric_limits<float>::quiet_NaN();
    VEK_Uint img = image(4, 4, [](int, int) { return Rgb{255, 255, 255}; });
    VEK_DrawSetColor(.r = 1, .g = 1, .b = 1);
    // A camera that far away shows nothing, whichever primitive is drawn.
    for (float c : {huge, -huge}) {
        VEK_SetCamera(c, -c);
        VEK_DrawPoint(10, 10);
        VEK_DrawLine(0, 0, W, H);
        VEK_DrawRectangle(.x = 10, .y = 10, .w = 20, .h = 20, .fill = true);
        VEK_DrawImage(.id = img, .x = 10, .y = 10);
    }
    VEK_SetCamera(0, 0);
    EXPECT_EQ(drawn_box(read_picture()).w, 0);
    ASSERT_EQ(VEK_DrawBegin(), 0);
    for (float s : {huge, -huge, nan}) {
        VEK_DrawImage(.id = img, .x = 5, .y = 5, .sx = s, .sy = s);
        VEK_DrawImage(.id = img, .x = 5, .y = 5, .r = 0.25f, .sx = s, .sy = 2, .center = true);
    }
    for (float ratio : {huge, nan, 0.0f}) {
        Letterbox lb = letterbox_fit(640, 480, W, H, ratio, true);
        EXPECT_GE(lb.w, 0) << ratio;
        EXPECT_LE(lb.w, 640) << ratio;
    }
    const float scale = ___vek_scale;
    ___vek_scale = 1e-30f; // every window pixel lies far beyond the picture
    int x = 1000, y = -1000;
    VEK_ScreenTransform(&x, &y);
    ___vek_scale = scale;
    EXPECT_EQ(x, INT_MAX);
    EXPECT_EQ(y, INT_MIN);
}
