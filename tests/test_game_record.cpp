// SPDX-License-Identifier: Zlib
// Microphone level: the capture callback's level, the meter's bars, and opening the device.
#include "record.h"
#include "rig.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <map>
#include <thread>
#include <vector>

namespace {

constexpr double PI = 3.14159265358979323846;

std::vector<float> square(size_t n, float amplitude) {
    std::vector<float> s(n);
    for (size_t i = 0; i < n; i++) s[i] = i % 2 ? -amplitude : amplitude;
    return s;
}

std::vector<float> constant(size_t n, float value) {
    return std::vector<float>(n, value);
}

// Whole periods only, so the mean square is exactly half the peak's square.
std::vector<float> sine(size_t n, float amplitude, int periods) {
    std::vector<float> s(n);
    for (size_t i = 0; i < n; i++)
        s[i] = amplitude * float(std::sin(2 * PI * periods * double(i) / double(n)));
    return s;
}

double level_of(std::vector<float> samples, int extra_bytes = 0) {
    std::vector<Uint8> bytes(samples.size() * 4 + size_t(extra_bytes), 0xFF);
    memcpy(bytes.data(), samples.data(), samples.size() * 4);
    g_dB = 12345.0;
    audioRecordingCallback(nullptr, bytes.data(), int(bytes.size()));
    return g_dB;
}

TEST(RecordLevel, FiniteLevelsFollowTheRootMeanSquare) {
    const struct {
        const char *what;
        std::vector<float> samples;
        int extra_bytes;
        double want, tolerance;
    } cases[] = {
        {"full-scale square", square(4096, 1.0f), 0, 40.0, 0.0},
        {"full-scale square, odd trailing bytes ignored", square(4096, 1.0f), 3, 40.0, 0.0},
        {"one full-scale sample", constant(1, -1.0f), 0, 40.0, 0.0},
        {"full-scale sine", sine(4096, 1.0f, 8), 0, 36.99, 0.005},
        {"constant 0.1", constant(4096, 0.1f), 0, 20.0, 1e-6},
        {"RMS 0.01", square(4096, 0.01f), 0, 0.0, 1e-5},
        {"RMS 0.0316: the challenges' threshold", square(4096, 0.0316f), 0, 10.0, 0.01},
        {"out-of-range samples", square(100, 10.0f), 0, 60.0, 1e-9},
    };
    for (auto &c : cases) {
        double got = level_of(c.samples, c.extra_bytes);
        if (c.tolerance == 0.0)
            EXPECT_EQ(got, c.want) << c.what;
        else
            EXPECT_NEAR(got, c.want, c.tolerance) << c.what;
    }
}

TEST(RecordLevel, ExactSilenceIsMinusInfinity) {
    for (size_t n : {size_t(1), size_t(4096)}) {
        double got = level_of(constant(n, 0.0f));
        EXPECT_TRUE(std::isinf(got) && got < 0) << n << " zeros gave " << got;
    }
}

TEST(RecordLevel, LessThanOneSampleIsNotANumber) {
    Uint8 bytes[4] = {0, 0, 0x80, 0x3F}; // 1.0f if it were read as a whole sample
    for (int len = 0; len < 4; len++) {
        g_dB = 0;
        audioRecordingCallback(nullptr, bytes, len);
        EXPECT_TRUE(std::isnan(g_dB)) << len << " bytes gave " << g_dB;
    }
    audioRecordingCallback(nullptr, bytes, 4);
    EXPECT_EQ(g_dB, 40.0);
}

TEST(RecordLevel, EachBufferReplacesThePreviousLevel) {
    EXPECT_EQ(level_of(square(4096, 1.0f)), 40.0);
    EXPECT_NEAR(level_of(constant(4096, 0.1f)), 20.0, 1e-6);
    EXPECT_EQ(level_of(square(4096, 1.0f)), 40.0);
}

// ---------------------------------------------------------------------------
// Meter: bars are read back from the column x = 15, inside the frame.
// ---------------------------------------------------------------------------
constexpr Rgb BACKGROUND{0, 0, 255}, WHITE{255, 255, 255};

class Meter : public EngineTest {
  protected:
    void SetUp() override {
        ASSERT_EQ(VEK_Init(.width = 640, .height = 640, .mixer = VEK_MIXER_OFF, .basepath = "/"),
                  0);
    }
    void TearDown() override {
        g_dB = 0;
        EngineTest::TearDown();
    }

    // Draws the meter for `level` over a blue picture and returns the picture.
    Pixels draw(double level) {
        EXPECT_EQ(VEK_DrawBegin(), 0);
        VEK_DrawSetColor(.r = 0, .g = 0, .b = 1);
        VEK_DrawClear();
        g_dB = level;
        draw_volume();
        Pixels px = read_picture();
        EXPECT_EQ(VEK_DrawEnd(), 0);
        return px;
    }

    // Bars seen in the column: bar colour -> lowest row it shows on. Every bar has
    // its own red, so each colour is one bar.
    static std::map<uint32_t, int> bars(const Pixels &px) {
        std::map<uint32_t, int> bottom;
        for (int y = 0; y < px.h; y++) {
            Rgb c = px.at(15, y);
            if (c == BACKGROUND || c == WHITE) continue;
            uint32_t key = uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b;
            bottom[key] = std::max(bottom[key], y);
        }
        return bottom;
    }
};

TEST_F(Meter, BarCountFollowsTheLevel) {
    const struct {
        double level;
        size_t bars;
    } cases[] = {
        {0.0, 0},    {4.0, 11}, {10.0, 25},     {20.0, 50}, {40.0, 100},
        {55.0, 100}, {-3.0, 0}, {-INFINITY, 0}, {NAN, 0},
    };
    for (auto &c : cases) EXPECT_EQ(bars(draw(c.level)).size(), c.bars) << "level " << c.level;
}

TEST_F(Meter, FullMeterStacksBarsTwoPixelsApartWithOneThreePixelStep) {
    Pixels px = draw(40.0);
    std::vector<int> bottoms;
    for (auto &[colour, y] : bars(px)) bottoms.push_back(y);
    std::sort(bottoms.rbegin(), bottoms.rend());
    ASSERT_EQ(bottoms.size(), 100u);
    EXPECT_EQ(bottoms.front(), 630); // first bar: rows 629 (under the frame) and 630
    EXPECT_EQ(bottoms.back(), 431);  // last bar: rows 430 (under the frame) and 431
    int steps3 = 0;
    for (size_t k = 1; k < bottoms.size(); k++) {
        int step = bottoms[k - 1] - bottoms[k];
        if (step == 3) {
            steps3++;
            EXPECT_EQ(bottoms[k - 1], 508) << "the wide step lies between the bars at 507 and 504";
        } else {
            EXPECT_EQ(step, 2) << "between bottoms " << bottoms[k - 1] << " and " << bottoms[k];
        }
    }
    EXPECT_EQ(steps3, 1);
    // The wide step leaves one row of background between two bars.
    EXPECT_EQ(px.at(15, 506), BACKGROUND);
    // Green at the bottom, red at the top.
    EXPECT_EQ(px.at(15, 630), (Rgb{0, 204, 0}));
    EXPECT_EQ(px.at(15, 431), (Rgb{252, 0, 0}));
}

TEST_F(Meter, BarsAndFrameKeepTheirPlace) {
    Pixels px = draw(40.0);
    // Bars span x 10 to 29; the frame's sides cover columns 10 and 29.
    EXPECT_EQ(px.at(11, 630), (Rgb{0, 204, 0}));
    EXPECT_EQ(px.at(28, 630), (Rgb{0, 204, 0}));
    EXPECT_EQ(px.at(9, 630), BACKGROUND);
    EXPECT_EQ(px.at(30, 630), BACKGROUND);
    EXPECT_EQ(px.at(15, 631), BACKGROUND);

    Pixels empty = draw(0.0);
    const struct {
        int x, y;
        Rgb want;
    } probes[] = {
        {10, 430, WHITE},      {29, 430, WHITE},      {10, 629, WHITE},      {29, 629, WHITE},
        {15, 430, WHITE},      {15, 629, WHITE},      {10, 500, WHITE},      {29, 500, WHITE},
        {15, 500, BACKGROUND}, {15, 431, BACKGROUND}, {15, 630, BACKGROUND}, {9, 430, BACKGROUND},
        {30, 629, BACKGROUND}, {15, 429, BACKGROUND},
    };
    for (auto &p : probes) EXPECT_EQ(empty.at(p.x, p.y), p.want) << p.x << "," << p.y;
}

TEST_F(Meter, LeavesTheDrawColourWhite) {
    for (double level : {0.0, 10.0, 40.0, double(NAN)}) {
        ASSERT_EQ(VEK_DrawBegin(), 0);
        VEK_DrawSetColor(.r = 0, .g = 0, .b = 1);
        VEK_DrawClear();
        VEK_DrawSetColor(.r = 1, .g = 0, .b = 0);
        g_dB = level;
        draw_volume();
        VEK_DrawRectangle(.x = 300, .y = 300, .w = 4, .h = 4, .fill = true);
        EXPECT_EQ(read_picture().at(301, 301), WHITE) << "level " << level;
        ASSERT_EQ(VEK_DrawEnd(), 0);
    }
}

// ---------------------------------------------------------------------------
// Opening the microphone.
// ---------------------------------------------------------------------------

TEST(RecordInitDeath, NoAudioSubsystemIsFatal) {
    // Nothing started SDL's audio: the engine is down (as with the mixer off).
    EXPECT_EXIT(record_init(), ::testing::ExitedWithCode(1),
                "ERR record\\.cpp:record_init:[0-9]+ \tassert failed: mic > 0\n$");
}

// The message box of a fatal stop, written to standard error where the death
// test reads it.
extern "C" int __wrap_SDL_ShowSimpleMessageBox(Uint32, const char *title, const char *message,
                                               SDL_Window *) {
    fprintf(stderr, "[box %s]\n%s\n", title, message);
    return 0;
}

TEST(RecordInitDeath, NoSoundSystemAdvisesTheSoundLibraryNotAMicrophone) {
    // No audio driver at all, as on a system without a sound server or ALSA: the
    // player is told what to install, not to plug in a microphone.
    EXPECT_EXIT(
        {
            setenv("VEK_FATAL_NOTICE", "box", 1);
            record_init();
        },
        ::testing::ExitedWithCode(1),
        R"(assert failed: mic > 0
\[box [^]]*\]
.*No sound system could be opened.*libasound2)");
}

// Waits (bounded) until the capture thread has delivered a level satisfying `ok`.
template <class F> bool wait_for_level(F ok) {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < until) {
        if (ok(g_dB)) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

class RecordCapture : public EngineTest {
  protected:
    void TearDown() override {
        EngineTest::TearDown();
        g_dB = 0;
    }
};

TEST_F(RecordCapture, SilentDefaultDeviceGivesMinusInfinity) {
    ASSERT_EQ(VEK_Init(.width = 640, .height = 640, .mixer = VEK_MIXER_ON, .basepath = "/"), 0);
    g_dB = 0;
    record_init();
    EXPECT_TRUE(wait_for_level([](double v) { return std::isinf(v) && v < 0; })) << g_dB;
}

// The disk driver captures from a file of raw samples in the device's format: with
// no format change allowed, that is 32-bit floats, which the callback reads as such.
TEST_F(RecordCapture, FileBackedDeviceDeliversFloatSamples) {
    TempDir dir;
    std::vector<float> samples = square(4096 * 12, 1.0f);
    write_file(dir.file("in.raw"),
               std::string(reinterpret_cast<const char *>(samples.data()), samples.size() * 4));
    std::string saved = getenv("SDL_AUDIODRIVER") ? getenv("SDL_AUDIODRIVER") : "";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILEIN", dir.file("in.raw").c_str(), 1);
    setenv("SDL_DISKAUDIOFILE", dir.file("out.raw").c_str(), 1);
    int rv = VEK_Init(.width = 640, .height = 640, .mixer = VEK_MIXER_ON, .basepath = "/");
    ASSERT_EQ(rv, 0);
    g_dB = 0;
    record_init();
    bool full = wait_for_level([](double v) { return v == 40.0; });
    VEK_Quit();
    setenv("SDL_AUDIODRIVER", saved.c_str(), 1);
    EXPECT_TRUE(full) << "last level " << g_dB;
}

} // namespace
