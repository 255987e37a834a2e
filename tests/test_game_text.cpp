// SPDX-License-Identifier: Zlib
// Bitmap text: glyph positions, blanks, colours, read back as pixels. Most tests use
// the game's own font sheet; a sheet built here covers codes the game's sheet lacks.
#include "draw.h"
#include "rig.h"
#include "vek_internal.h"

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr Rgb BG{51, 102, 153}; // (0.2, 0.4, 0.6) as bytes
constexpr Rgb WHITE{255, 255, 255};

// Draws one frame over the background colour and returns the picture.
Pixels frame(const std::function<void()> &draw) {
    EXPECT_EQ(VEK_DrawBegin(), 0);
    VEK_DrawSetColor(.r = 0.2f, .g = 0.4f, .b = 0.6f);
    VEK_DrawClear();
    VEK_DrawSetColor(.r = 1, .g = 1, .b = 1);
    draw();
    Pixels px = read_picture();
    EXPECT_EQ(VEK_DrawEnd(), 0);
    return px;
}

// Pixels differing from the background inside [x0, x1) x [y0, y1).
int lit(const Pixels &px, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++) n += !(px.at(x, y) == BG);
    return n;
}

// The colour a probe rectangle gets when drawn without setting a colour.
Rgb colour_left_after(const std::function<void()> &draw) {
    Pixels px = frame([&] {
        draw();
        VEK_DrawRectangle(.x = 600, .y = 600, .w = 4, .h = 4, .fill = true);
    });
    return px.at(601, 601);
}

// The game's runtime directory (its asset/ beside the executable): CTest names it; a
// test binary run by hand finds it from its own place in the build tree.
std::string runtime_dir() {
    if (const char *dir = getenv("BRAMBLE_RUNTIME_DIR")) return dir;
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string() + "/../game";
}

class Text : public EngineTest {
  protected:
    std::string runtime = runtime_dir();
    void SetUp() override {
        ASSERT_TRUE(std::filesystem::exists(runtime + "/asset/atarifont.bmp")) << runtime;
        ASSERT_EQ(VEK_Init(.width = 640, .height = 640, .mixer = VEK_MIXER_OFF,
                           .basepath = runtime.c_str()),
                  0);
    }
};

// Each glyph of a string lands where the same character drawn alone at the expected
// x lands: the whole pictures are identical, and shifting any glyph by one pixel is not.
TEST_F(Text, GlyphsAdvanceSixteenTimesTheScaleTruncated) {
    const struct {
        const char *what;
        const char *str;
        int x;
        float size;
        std::vector<int> xs; // expected x of each character; blanks draw nothing
    } cases[] = {
        {"scale 2.5: third at 180", "ABC", 100, 2.5f, {100, 140, 180}},
        {"scale 0.8: second at 112 (112.8)", "AB", 100, 0.8f, {100, 112}},
        {"scale 0.8, five characters", "HELLO", 100, 0.8f, {100, 112, 125, 138, 151}},
        {"scale 1", "Hi!", 7, 1.0f, {7, 23, 39}},
        {"scale 4, lower case kept", "ClICK", 40, 4.0f, {40, 104, 168, 232, 296}},
    };
    for (auto &c : cases) {
        Pixels text = frame([&] { write_on_screen(c.str, c.x, 150, c.size); });
        for (size_t i = 0; i < c.xs.size(); i++) {
            int w = int(16 * c.size);
            EXPECT_GT(lit(text, c.xs[i], 150, c.xs[i] + w, 150 + int(32 * c.size)), 0)
                << c.what << ": glyph " << i << " drawn";
        }
        for (int shifted = -1; shifted < (int)c.xs.size(); shifted++) {
            Pixels alone = frame([&] {
                for (size_t i = 0; i < c.xs.size(); i++)
                    write_letter_on_screen_rgb(c.str[i], c.xs[i] + (int(i) == shifted), 150, c.size,
                                               1, 1, 1);
            });
            if (shifted < 0)
                EXPECT_TRUE(text.data == alone.data) << c.what;
            else
                EXPECT_FALSE(text.data == alone.data) << c.what << ": glyph " << shifted << " +1";
        }
    }
}

TEST_F(Text, SpacesAndNewlinesLeaveGapsOfOneAdvance) {
    const struct {
        const char *what;
        const char *str;
        int x;
        float size;
        std::vector<int> xs; // -1: a blank
    } cases[] = {
        {"space between", "A B", 100, 2.0f, {100, -1, 164}},
        {"newline between", "A\nB", 100, 2.0f, {100, -1, 164}},
        {"\"OU \" at 4", "OU ", 84, 4.0f, {84, 148, -1}},
        {"\" ?\" at 4", " ?", 366, 4.0f, {-1, 430}},
        {"two newlines", "X\n\nY", 10, 1.5f, {10, -1, -1, 82}},
    };
    for (auto &c : cases) {
        Pixels text = frame([&] { write_on_screen(c.str, c.x, 200, c.size); });
        Pixels alone = frame([&] {
            for (size_t i = 0; i < c.xs.size(); i++)
                if (c.xs[i] >= 0)
                    write_letter_on_screen_rgb(c.str[i], c.xs[i], 200, c.size, 1, 1, 1);
        });
        EXPECT_TRUE(text.data == alone.data) << c.what;
        int adv = int(16 * c.size);
        for (size_t i = 0; i < c.xs.size(); i++) {
            if (c.xs[i] >= 0) continue;
            int gx = int(float(c.x) + 16.0f * (float(i) * c.size));
            // The gap itself is untouched (its neighbours' cells do not reach into it).
            EXPECT_EQ(lit(text, gx + 1, 200, gx + adv - 1, 200 + int(32 * c.size)), 0)
                << c.what << ": blank " << i;
        }
    }
}

TEST_F(Text, NewlineDoesNotStartANewLine) {
    Pixels px = frame([] { write_on_screen("A\nB", 100, 200, 2.0f); });
    EXPECT_EQ(lit(px, 0, 264, 640, 640), 0);
    EXPECT_EQ(lit(px, 0, 0, 640, 200), 0);
}

TEST_F(Text, NullStringDrawsNothingAndKeepsTheColour) {
    Pixels px = frame([] {
        VEK_DrawSetColor(.r = 1, .g = 0, .b = 0);
        write_on_screen_rgb(nullptr, 100, 100, 2.0f, 0, 1, 0);
        write_on_screen(nullptr, 100, 100, 2.0f);
    });
    EXPECT_EQ(lit(px, 0, 0, 640, 640), 0);
    EXPECT_EQ(colour_left_after([] {
                  VEK_DrawSetColor(.r = 1, .g = 0, .b = 0);
                  write_on_screen_rgb(nullptr, 100, 100, 2.0f, 0, 1, 0);
              }),
              (Rgb{255, 0, 0}));
}

TEST_F(Text, ColourLeftBehind) {
    const struct {
        const char *what;
        std::function<void()> draw;
        Rgb want;
    } cases[] = {
        {"string: back to white", [] { write_on_screen_rgb("HI", 10, 10, 1, 1, 0, 0); }, WHITE},
        {"empty string: back to white", [] { write_on_screen_rgb("", 10, 10, 1, 0, 1, 0); }, WHITE},
        {"white string after red",
         [] {
             VEK_DrawSetColor(.r = 1, .g = 0, .b = 0);
             write_on_screen("HI", 10, 10, 1);
         },
         WHITE},
        {"letter: stays red", [] { write_letter_on_screen_rgb('H', 10, 10, 1, 1, 0, 0); },
         (Rgb{255, 0, 0})},
        {"blank letter: colour still set",
         [] { write_letter_on_screen_rgb(' ', 10, 10, 1, 0, 0, 1); }, (Rgb{0, 0, 255})},
        {"newline letter: colour still set",
         [] { write_letter_on_screen_rgb('\n', 10, 10, 1, 0, 1, 0); }, (Rgb{0, 255, 0})},
    };
    for (auto &c : cases) EXPECT_EQ(colour_left_after(c.draw), c.want) << c.what;
}

TEST_F(Text, BlankLettersDrawNothing) {
    for (char c : {' ', '\n'}) {
        Pixels px = frame([&] { write_letter_on_screen_rgb(c, 100, 100, 3.0f, 1, 1, 1); });
        EXPECT_EQ(lit(px, 0, 0, 640, 640), 0) << int(c);
    }
}

// The sheet's glyph pixels are white and everything else transparent, so tinted
// text over a colour shows only the background and exactly the tint.
TEST_F(Text, TintedTextShowsOnlyTheTintOverTheBackground) {
    const struct {
        float r, g, b, size;
        Rgb tint;
    } cases[] = {
        {1.0f, 0.5f, 0.0f, 2.5f, {255, 127, 0}},
        {0.0f, 1.0f, 0.0f, 0.8f, {0, 255, 0}},
        {1.0f, 1.0f, 1.0f, 4.0f, WHITE},
        {0.7f, 0.25f, 0.2f, 1.0f, {178, 63, 51}},
    };
    for (auto &c : cases) {
        Pixels px = frame(
            [&] { write_on_screen_rgb("HELLO, WORLD! 0123", 5, 300, c.size, c.r, c.g, c.b); });
        int tinted = 0, other = 0;
        for (int y = 0; y < px.h; y++) {
            for (int x = 0; x < px.w; x++) {
                Rgb p = px.at(x, y);
                if (p == c.tint)
                    tinted++;
                else if (!(p == BG))
                    other++;
            }
        }
        EXPECT_GT(tinted, 0) << c.tint;
        EXPECT_EQ(other, 0) << c.tint << " at " << c.size;
    }
}

TEST_F(Text, SheetIsLoadedOnceAndLookedUpByPath) {
    frame([] {
        write_on_screen("ONE", 0, 0, 1);
        write_letter_on_screen_rgb('2', 0, 40, 1, 1, 1, 1);
        write_on_screen("THREE", 0, 80, 1);
    });
    EXPECT_EQ(___vek_resources_size, 1u);
    EXPECT_STREQ(VEK_GetResourcePath(1), "asset/atarifont.bmp");
}

// Glyph of code c: the sheet's cell at column c % 16, row c / 16, 16 x 32 pixels.
TEST_F(Text, EachCharacterDrawsItsOwnCell) {
    VEK_Uint sheet = VEK_LoadResource("asset/atarifont.bmp");
    ASSERT_NE(sheet, 0u);
    const struct {
        char c;
        int ix, iy;
    } cases[] = {{'A', 16, 128}, {'l', 192, 192}, {'I', 144, 128}, {'?', 240, 96},
                 {'!', 16, 64},  {'0', 0, 96},    {'~', 224, 224}};
    for (auto &c : cases) {
        Pixels text = frame([&] { write_letter_on_screen_rgb(c.c, 200, 200, 3.0f, 1, 1, 1); });
        Pixels cell = frame([&] {
            VEK_DrawImage(.id = sheet, .x = 200, .y = 200, .ix = c.ix, .iy = c.iy, .w = 16, .h = 32,
                          .sx = 3.0f, .sy = 3.0f);
        });
        EXPECT_GT(lit(text, 0, 0, 640, 640), 0) << c.c;
        EXPECT_TRUE(text.data == cell.data) << c.c;
    }
}

TEST(TextWithoutSheet, NothingIsDrawnAndTheGameGoesOn) {
    TempDir dir;
    ASSERT_EQ(VEK_Init(.width = 640, .height = 640, .mixer = VEK_MIXER_OFF,
                       .basepath = dir.path().c_str()),
              0);
    StderrCapture err;
    Pixels px = frame([] { write_on_screen_rgb("HELLO", 10, 10, 2, 1, 0, 0); });
    Rgb left = colour_left_after([] { write_on_screen_rgb("HELLO", 10, 10, 2, 1, 0, 0); });
    std::string log = err.text();
    EXPECT_EQ(lit(px, 0, 0, 640, 640), 0);
    EXPECT_EQ(left, WHITE);
    EXPECT_EQ(___vek_resources_size, 0u); // tried again on every call, never registered
    EXPECT_NE(log.find("asset/atarifont.bmp"), std::string::npos) << log;
    VEK_Quit();
    wdeinit();
}

// A sheet of sixteen full rows, every cell solid white: codes 128 to 255 would find
// cells here if they were read as unsigned, so only a skipped code stays blank.
TEST(TextHighCodes, DrawNothingAndKeepTheirAdvance) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("asset"));
    SDL_Surface *s = SDL_CreateRGBSurfaceWithFormat(0, 256, 512, 32, SDL_PIXELFORMAT_ARGB8888);
    ASSERT_NE(s, nullptr);
    SDL_FillRect(s, nullptr, 0xFFFFFFFF);
    ASSERT_EQ(SDL_SaveBMP(s, dir.file("asset/atarifont.bmp").c_str()), 0);
    SDL_FreeSurface(s);
    ASSERT_EQ(VEK_Init(.width = 640, .height = 640, .mixer = VEK_MIXER_OFF,
                       .basepath = dir.path().c_str()),
              0);

    for (int code : {128, 160, 200, 255}) {
        char str[] = {'A', char(code), 'B', '\0'};
        Pixels px = frame([&] { write_on_screen(str, 0, 0, 1.0f); });
        EXPECT_EQ(px.at(0, 0), WHITE) << code;
        EXPECT_EQ(px.at(15, 31), WHITE) << code;
        EXPECT_EQ(lit(px, 16, 0, 32, 32), 0) << code;
        EXPECT_EQ(px.at(32, 0), WHITE) << code;
        EXPECT_EQ(px.at(47, 31), WHITE) << code;
        EXPECT_EQ(px.at(48, 0), BG) << code;

        Pixels one = frame([&] { write_letter_on_screen_rgb(char(code), 0, 0, 2.0f, 1, 1, 1); });
        EXPECT_EQ(lit(one, 0, 0, 640, 640), 0) << code;
    }
    // The test sheet does draw a low code, so a blank above is the skip at work.
    Pixels low = frame([] { write_letter_on_screen_rgb('\x7f', 0, 0, 1.0f, 1, 1, 1); });
    EXPECT_EQ(lit(low, 0, 0, 16, 32), 16 * 32);
    VEK_Quit();
    wdeinit();
}

} // namespace
