// SPDX-License-Identifier: Zlib
// Generated and copied assets in the runtime directory: the files the game loads at
// start-up, checked for what would break it (decoding, alpha, geometry the game relies
// on, audio format and length), and the generators for repeatable output.
#include "rig.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>

namespace {

// Where the build put the game and its assets, and the source tree. CTest passes both;
// a test binary run by hand finds them from its own place in the build tree and from
// this file's path.
std::string runtime_dir() {
    if (const char *dir = std::getenv("BRAMBLE_RUNTIME_DIR")) return dir;
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string() + "/../game";
}
std::string source_dir() {
    if (const char *dir = std::getenv("BRAMBLE_SOURCE_DIR")) return dir;
    return std::filesystem::path(__FILE__).parent_path().parent_path().string();
}
std::string asset(const std::string &name) {
    return runtime_dir() + "/" + name;
}
// The generators are built beside the runtime directory, in the tools directory of the build.
std::string tool(const std::string &name) {
    return runtime_dir() + "/../tools/" + name;
}

uint32_t le16(const std::string &b, size_t at) {
    return uint32_t(uint8_t(b.at(at))) | uint32_t(uint8_t(b.at(at + 1))) << 8;
}
uint32_t le32(const std::string &b, size_t at) {
    return le16(b, at) | le16(b, at + 2) << 16;
}

// A picture decoded by SDL_LoadBMP, as the game decodes it, converted to ARGB8888.
struct Picture {
    int w = 0, h = 0;
    bool has_alpha = false;
    std::vector<uint32_t> px;
    uint32_t at(int x, int y) const { return px.at(size_t(y) * size_t(w) + size_t(x)); }
};

Picture load_picture(const std::string &path) {
    Picture p;
    SDL_Surface *s = SDL_LoadBMP(path.c_str());
    if (s == nullptr) {
        ADD_FAILURE() << "SDL_LoadBMP(" << path << "): " << SDL_GetError();
        return p;
    }
    p.has_alpha = s->format->Amask != 0;
    SDL_Surface *argb = SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_ARGB8888, 0);
    SDL_FreeSurface(s);
    if (argb == nullptr) {
        ADD_FAILURE() << "SDL_ConvertSurfaceFormat: " << SDL_GetError();
        return p;
    }
    p.w = argb->w;
    p.h = argb->h;
    p.px.resize(size_t(p.w) * size_t(p.h));
    for (int y = 0; y < p.h; y++)
        memcpy(&p.px[size_t(y) * size_t(p.w)],
               static_cast<uint8_t *>(argb->pixels) + y * argb->pitch, size_t(p.w) * 4);
    SDL_FreeSurface(argb);
    return p;
}

int run(const std::string &command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// ---------------------------------------------------------------------------------------
// Font sheet

constexpr uint32_t ink = 0xFFFFFFFF, clear = 0x00FFFFFF;

class FontSheet : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        sheet = new Picture(load_picture(asset("asset/atarifont.bmp")));
    }
    static void TearDownTestSuite() {
        delete sheet;
        sheet = nullptr;
    }
    static Picture *sheet;

    // Ink pixels of the cell of a code, and the rows they span.
    struct Cell {
        int ink = 0, top = 32, bottom = -1;
    };
    static Cell cell(int code) {
        Cell c;
        for (int y = 0; y < 32; y++)
            for (int x = 0; x < 16; x++)
                if (sheet->at(code % 16 * 16 + x, code / 16 * 32 + y) == ink) {
                    c.ink++;
                    c.top = std::min(c.top, y);
                    c.bottom = std::max(c.bottom, y);
                }
        return c;
    }
};
Picture *FontSheet::sheet = nullptr;

TEST_F(FontSheet, IsA32BitBitmapWithExplicitAlphaMask) {
    std::string b = read_file(asset("asset/atarifont.bmp"));
    ASSERT_GE(b.size(), 122u);
    EXPECT_EQ(b.substr(0, 2), "BM");
    EXPECT_EQ(le32(b, 2), b.size());
    EXPECT_GE(le32(b, 14), 108u) << "info header older than BITMAPV4HEADER";
    EXPECT_EQ(le32(b, 18), 256u);
    EXPECT_EQ(std::abs(int32_t(le32(b, 22))), 256);
    EXPECT_EQ(le16(b, 28), 32u);
    EXPECT_EQ(le32(b, 30), 3u) << "compression must be BI_BITFIELDS";
    EXPECT_EQ(le32(b, 54), 0x00FF0000u);
    EXPECT_EQ(le32(b, 58), 0x0000FF00u);
    EXPECT_EQ(le32(b, 62), 0x000000FFu);
    EXPECT_EQ(le32(b, 66), 0xFF000000u);
    EXPECT_EQ(le32(b, 10) + 256u * 256u * 4u, b.size());
}

TEST_F(FontSheet, DecodesWithAlphaAndOnlyOpaqueOrClearWhite) {
    ASSERT_EQ(sheet->w, 256);
    ASSERT_EQ(sheet->h, 256);
    EXPECT_TRUE(sheet->has_alpha);
    size_t opaque = 0, other = 0;
    for (uint32_t p : sheet->px) {
        if (p == ink)
            opaque++;
        else if (p != clear)
            other++;
    }
    EXPECT_EQ(other, 0u) << "pixels neither 0xFFFFFFFF nor 0x00FFFFFF";
    EXPECT_GT(opaque, 0u);
    EXPECT_LT(opaque, sheet->px.size() / 2);
}

TEST_F(FontSheet, ControlCodesAndSpaceAreEmptyAndPrintablesHaveInk) {
    ASSERT_EQ(sheet->w, 256);
    for (int code = 0; code < 128; code++) {
        bool blank = code <= 32 || code == 127;
        if (blank)
            EXPECT_EQ(cell(code).ink, 0) << "code " << code;
        else
            EXPECT_GT(cell(code).ink, 10) << "code " << code << " '" << char(code) << "'";
    }
}

TEST_F(FontSheet, GlyphsSitInTheCellOfTheirCode) {
    ASSERT_EQ(sheet->w, 256);
    // Shapes that tell characters apart, so glyphs taken in the font's own order would fail.
    struct Case {
        char c;
        int min_top, max_bottom; // ink only within these rows
        int min_ink;
    };
    const Case cases[] = {
        {'A', 0, 31, 60}, {'M', 0, 31, 60}, {'.', 16, 31, 4}, {',', 16, 31, 4},
        {'_', 24, 31, 8}, {'\'', 0, 15, 4}, {'"', 0, 15, 8},  {'-', 12, 20, 8},
        {'=', 8, 24, 16}, {'^', 0, 15, 8},  {'~', 8, 24, 8},
    };
    for (const Case &k : cases) {
        Cell c = cell(k.c);
        EXPECT_GE(c.ink, k.min_ink) << k.c;
        EXPECT_GE(c.top, k.min_top) << k.c;
        EXPECT_LE(c.bottom, k.max_bottom) << k.c;
    }
    // Capitals stand on the same baseline and are taller than lower case 'x'.
    Cell a = cell('A'), h = cell('H'), x = cell('x'), g = cell('g');
    EXPECT_EQ(a.bottom, h.bottom);
    EXPECT_EQ(a.top, h.top);
    EXPECT_EQ(x.bottom, a.bottom);
    EXPECT_GT(x.top, a.top);
    EXPECT_GT(g.bottom, a.bottom) << "descender of g";
}

TEST_F(FontSheet, PrintableGlyphsAreAllDifferent) {
    ASSERT_EQ(sheet->w, 256);
    auto same = [](int a, int b) {
        for (int y = 0; y < 32; y++)
            for (int x = 0; x < 16; x++)
                if (sheet->at(a % 16 * 16 + x, a / 16 * 32 + y) !=
                    sheet->at(b % 16 * 16 + x, b / 16 * 32 + y))
                    return false;
        return true;
    };
    for (int a = 33; a < 127; a++)
        for (int b = a + 1; b < 127; b++)
            EXPECT_FALSE(same(a, b)) << "'" << char(a) << "' and '" << char(b) << "'";
}

TEST(FontLicence, ShipsBesideTheSheet) {
    std::string licence = read_file(asset("asset/atarifont.LICENSE.txt"));
    EXPECT_NE(licence.find("SIL OPEN FONT LICENSE Version 1.1"), std::string::npos);
    EXPECT_NE(licence.find("Reserved Font Name"), std::string::npos);
}

// ---------------------------------------------------------------------------------------
// Keyboard picture

class KeyboardPicture : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { kb = new Picture(load_picture(asset("asset/keyboard.bmp"))); }
    static void TearDownTestSuite() {
        delete kb;
        kb = nullptr;
    }
    static Picture *kb;

    static bool light(uint32_t p) {
        return (p >> 24) == 0xFF && ((p >> 16) & 0xFF) >= 0xB0 && ((p >> 8) & 0xFF) >= 0xB0 &&
               (p & 0xFF) >= 0xB0;
    }

    // Where the game prints the label of the k-th letter of a row, in screen pixels
    // (the picture is drawn at half size from (60, 300), labels are 0.8 of a 16x32 glyph),
    // converted back to picture pixels.
    struct Row {
        int screen_x, screen_y, keys;
    };
    static constexpr Row rows[] = {{148, 342, 10}, {158, 379, 9}, {168, 416, 7}};
    static constexpr double label_w = 16 * 0.8 * 2, label_h = 32 * 0.8 * 2;
    static int pic_x(int screen_x) { return (screen_x - 60) * 2; }
    static int pic_y(int screen_y) { return (screen_y - 300) * 2; }
};
Picture *KeyboardPicture::kb = nullptr;

TEST_F(KeyboardPicture, DecodesAt1024By360) {
    EXPECT_EQ(kb->w, 1024);
    EXPECT_EQ(kb->h, 360);
}

TEST_F(KeyboardPicture, EveryLabelLandsOnALightBlankCap) {
    ASSERT_EQ(kb->w, 1024);
    const uint32_t cap = kb->at(pic_x(148) + int(label_w / 2), pic_y(342) + int(label_h / 2));
    EXPECT_TRUE(light(cap)) << std::hex << cap;
    int keys = 0;
    for (const Row &r : rows) {
        for (int k = 0; k < r.keys; k++, keys++) {
            int x0 = pic_x(r.screen_x + 32 * k), y0 = pic_y(r.screen_y);
            int x1 = x0 + int(std::ceil(label_w)), y1 = y0 + int(std::ceil(label_h));
            // Centre of the label: the cap face colour.
            EXPECT_EQ(kb->at((x0 + x1) / 2, (y0 + y1) / 2), cap) << "key " << keys;
            // The whole label box is light (face or the cap's lower lip), and blank:
            // no legend ink inside it.
            int dark = 0;
            for (int y = y0; y < y1; y++)
                for (int x = x0; x < x1; x++) dark += !light(kb->at(x, y));
            EXPECT_EQ(dark, 0) << "key " << keys;
        }
    }
    EXPECT_EQ(keys, 26);
}

TEST_F(KeyboardPicture, GapsBetweenLetterCapsAreNotCapColoured) {
    ASSERT_EQ(kb->w, 1024);
    const uint32_t cap = kb->at(pic_x(148) + 12, pic_y(342) + 25);
    for (const Row &r : rows) {
        int y = pic_y(r.screen_y) + int(label_h / 2);
        for (int k = 0; k + 1 < r.keys; k++) {
            // Midway between two label centres: 64 px pitch, 6 px gap between 58 px caps.
            int between = pic_x(r.screen_x + 32 * k) + int(label_w / 2) + 32;
            EXPECT_NE(kb->at(between, y), cap) << "row y " << r.screen_y << " gap " << k;
            EXPECT_FALSE(light(kb->at(between, y))) << "row y " << r.screen_y << " gap " << k;
        }
    }
}

TEST_F(KeyboardPicture, EdgesFallOnEvenCoordinates) {
    ASSERT_EQ(kb->w, 1024);
    // Each 2x2 block is one colour, so halving the picture loses no edge.
    int mixed = 0;
    for (int y = 0; y < kb->h; y += 2)
        for (int x = 0; x < kb->w; x += 2) {
            uint32_t p = kb->at(x, y);
            mixed += kb->at(x + 1, y) != p || kb->at(x, y + 1) != p || kb->at(x + 1, y + 1) != p;
        }
    EXPECT_EQ(mixed, 0);
}

// ---------------------------------------------------------------------------------------
// Music

struct Wav {
    uint32_t format = 0, channels = 0, rate = 0, bits = 0, block = 0, byte_rate = 0;
    std::vector<int16_t> samples;
};

Wav parse_wav(const std::string &b) {
    Wav w;
    if (b.size() < 12 || b.substr(0, 4) != "RIFF" || b.substr(8, 4) != "WAVE") {
        ADD_FAILURE() << "not a RIFF WAVE file";
        return w;
    }
    EXPECT_EQ(le32(b, 4) + 8, b.size());
    for (size_t at = 12; at + 8 <= b.size();) {
        std::string id = b.substr(at, 4);
        size_t size = le32(b, at + 4), body = at + 8;
        if (body + size > b.size()) {
            ADD_FAILURE() << "chunk " << id << " runs past the end";
            break;
        }
        if (id == "fmt ") {
            w.format = le16(b, body);
            w.channels = le16(b, body + 2);
            w.rate = le32(b, body + 4);
            w.byte_rate = le32(b, body + 8);
            w.block = le16(b, body + 12);
            w.bits = le16(b, body + 14);
        } else if (id == "data") {
            w.samples.resize(size / 2);
            memcpy(w.samples.data(), b.data() + body, w.samples.size() * 2);
        }
        at = body + size + (size & 1);
    }
    return w;
}

class Music : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        wav = new Wav(parse_wav(read_file(asset("asset/Hall-of-the-Mountain-King.wav"))));
    }
    static void TearDownTestSuite() {
        delete wav;
        wav = nullptr;
    }
    static Wav *wav;

    // Root mean square level of [from, to) seconds, relative to full scale.
    static double rms(double from, double to) {
        size_t a = size_t(from * 22050), b = std::min(wav->samples.size(), size_t(to * 22050));
        double sum = 0;
        for (size_t i = a; i < b; i++) sum += double(wav->samples[i]) * wav->samples[i];
        return b > a ? std::sqrt(sum / double(b - a)) / 32768.0 : 0.0;
    }
};
Wav *Music::wav = nullptr;

TEST_F(Music, Is16BitMonoPcmAt22050HzLasting145Seconds) {
    EXPECT_EQ(wav->format, 1u);
    EXPECT_EQ(wav->channels, 1u);
    EXPECT_EQ(wav->rate, 22050u);
    EXPECT_EQ(wav->bits, 16u);
    EXPECT_EQ(wav->block, 2u);
    EXPECT_EQ(wav->byte_rate, 44100u);
    EXPECT_NEAR(double(wav->samples.size()) / 22050.0, 145.0, 0.1);
}

TEST_F(Music, PlaysThroughoutBelowFullScaleAndFadesOut) {
    ASSERT_GT(wav->samples.size(), size_t(140 * 22050));
    int peak = 0;
    for (int16_t s : wav->samples) peak = std::max(peak, std::abs(int(s)));
    EXPECT_LT(peak, 32767) << "clipped";
    EXPECT_GT(peak, 16384) << "far below full scale";
    // No silent stretch while the run lasts: every 5 s window above -40 dB.
    for (int t = 0; t + 5 <= 140; t += 5) EXPECT_GT(rms(t, t + 5), 0.01) << "at " << t << " s";
    // It grows: the last rounds are louder than the opening.
    EXPECT_GT(rms(100, 140), 1.5 * rms(0, 40));
    // And ends in a fade, on silence.
    EXPECT_LT(rms(144.9, 145), 0.1 * rms(130, 140));
    EXPECT_LT(std::abs(int(wav->samples.back())), 64);
}

TEST(MusicPlayback, OpensAsStreamedMusic) {
    ASSERT_EQ(SDL_Init(SDL_INIT_AUDIO), 0) << SDL_GetError();
    ASSERT_EQ(Mix_OpenAudio(48000, AUDIO_S16SYS, 2, 1024), 0) << Mix_GetError();
    Mix_Music *music = Mix_LoadMUS(asset("asset/Hall-of-the-Mountain-King.wav").c_str());
    EXPECT_NE(music, nullptr) << Mix_GetError();
    if (music != nullptr) {
        EXPECT_EQ(Mix_GetMusicType(music), MUS_WAV);
        EXPECT_NEAR(Mix_MusicDuration(music), 145.0, 0.1);
        EXPECT_EQ(Mix_PlayMusic(music, 0), 0) << Mix_GetError();
        Mix_HaltMusic();
        Mix_FreeMusic(music);
    }
    Mix_CloseAudio();
    SDL_Quit();
}

// ---------------------------------------------------------------------------------------
// Tile grid

TEST(WorldGrid, TwentyRowsOfTwentySingleCharactersCopiedFromSource) {
    std::string text = read_file(asset("res/world/world.csv"));
    EXPECT_EQ(text, read_file(source_dir() + "/res/world/world.csv")) << "stale copy";
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    EXPECT_EQ(start, text.size()) << "last line without a line feed";
    ASSERT_EQ(lines.size(), 20u);
    for (size_t y = 0; y < lines.size(); y++) {
        const std::string &l = lines[y];
        ASSERT_EQ(l.size(), 39u) << "row " << y;
        for (size_t i = 0; i < l.size(); i++) {
            if (i % 2)
                EXPECT_EQ(l[i], ',') << "row " << y << " pos " << i;
            else
                EXPECT_TRUE(std::isgraph(uint8_t(l[i])) && l[i] != ',')
                    << "row " << y << " pos " << i;
        }
    }
}

// ---------------------------------------------------------------------------------------
// Generators

TEST(Generators, RunTwiceGiveTheSameBytesAsTheBuild) {
    TempDir dir;
    const std::string font = tool("console16x32.psf");
    struct Case {
        std::string command, built;
    };
    const Case cases[] = {
        {tool("font_sheet") + " '" + font + "' ", "asset/atarifont.bmp"},
        {tool("keyboard_picture") + " ", "asset/keyboard.bmp"},
        {tool("music") + " ", "asset/Hall-of-the-Mountain-King.wav"},
    };
    for (const Case &c : cases) {
        std::string a = dir.file("a"), b = dir.file("b");
        ASSERT_EQ(run(c.command + "'" + a + "'"), 0) << c.command;
        ASSERT_EQ(run(c.command + "'" + b + "'"), 0) << c.command;
        std::string first = read_file(a);
        EXPECT_FALSE(first.empty()) << c.built;
        EXPECT_TRUE(first == read_file(b)) << c.built << " differs between runs";
        EXPECT_TRUE(first == read_file(asset(c.built))) << c.built << " differs from the build";
    }
}

TEST(Generators, FontSheetRefusesUnusableFontsAndWritesNothing) {
    TempDir dir;
    std::string good = read_file(tool("console16x32.psf"));
    ASSERT_GT(good.size(), 32u);
    auto with_u32 = [&](size_t at, uint32_t v) {
        std::string b = good;
        for (int i = 0; i < 4; i++) b[at + size_t(i)] = char(v >> (8 * i));
        return b;
    };
    const struct {
        const char *what;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"not a font", std::string(4096, 'x')},
        {"8 px wide", with_u32(28, 8)},
        {"16 px high", with_u32(24, 16)},
        {"no Unicode table", with_u32(12, 0)},
        {"truncated glyphs", good.substr(0, 1000)},
        {"truncated Unicode table", good.substr(0, good.size() - 200)},
    };
    for (const auto &c : cases) {
        std::string in = dir.file("in.psf"), out = dir.file("out.bmp");
        write_file(in, c.bytes);
        EXPECT_EQ(run(tool("font_sheet") + " '" + in + "' '" + out + "' 2>/dev/null"), 1) << c.what;
        EXPECT_FALSE(std::filesystem::exists(out)) << c.what;
        EXPECT_FALSE(std::filesystem::exists(out + ".part")) << c.what;
    }
}

} // namespace
