// SPDX-License-Identifier: Zlib
// Bad inputs to the engine: broken and odd pictures and sounds, loaded from memory,
// from files and by hot reload over good ones; a minimised window; controllers
// plugged and unplugged a thousand times; the tracked allocator failing at each
// of its checks; and the allocator left empty when the engine shuts down.
//
// This binary is linked with --wrap=calloc and --wrap=realloc, so the calls the
// tracked allocator makes land in the wrappers below, which can fail one on demand.
#include "rig.h"
#include "vek_internal.h"

#include <SDL_mixer.h>
#include <cerrno>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

// ---------------------------------------------------------------------------
// Allocation failures on demand
// ---------------------------------------------------------------------------
extern "C" void *__real_calloc(size_t n, size_t size);
extern "C" void *__real_realloc(void *ptr, size_t size);

namespace {
int calloc_fails_in = 0;  // the n-th calloc from now returns null (1: the next); 0: none
int realloc_fails_in = 0; // the same for realloc
} // namespace

extern "C" void *__wrap_calloc(size_t n, size_t size) {
    if (calloc_fails_in > 0 && --calloc_fails_in == 0) return nullptr;
    return __real_calloc(n, size);
}

extern "C" void *__wrap_realloc(void *ptr, size_t size) {
    if (realloc_fails_in > 0 && --realloc_fails_in == 0) return nullptr;
    return __real_realloc(ptr, size);
}

namespace {

// ---------------------------------------------------------------------------
// Bytes of pictures and sounds
// ---------------------------------------------------------------------------
void le(std::string &s, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; i++) s += char((v >> (8 * i)) & 0xff);
}

// A BMP file header and 40-byte info header, then `palette` (4 bytes per entry)
// and `pixels` as given: the declared size says whatever the case needs.
std::string bmp_with(int32_t w, int32_t h, int bpp, uint32_t compression,
                     const std::string &palette, const std::string &pixels) {
    std::string s = "BM";
    uint32_t offset = uint32_t(54 + palette.size());
    le(s, uint32_t(offset + pixels.size()), 4);
    le(s, 0, 4);
    le(s, offset, 4);
    le(s, 40, 4);
    le(s, uint32_t(w), 4);
    le(s, uint32_t(h), 4);
    le(s, 1, 2);
    le(s, uint32_t(bpp), 2);
    le(s, compression, 4);
    le(s, uint32_t(pixels.size()), 4);
    le(s, 2835, 4);
    le(s, 2835, 4);
    le(s, uint32_t(palette.size() / 4), 4);
    le(s, 0, 4);
    return s + palette + pixels;
}

// A whole 24-bit picture of one colour, rows padded to 4 bytes.
std::string bmp24(int w, int h, Rgb c) {
    std::string row;
    for (int x = 0; x < w; x++) row += {char(c.b), char(c.g), char(c.r)};
    row.resize((row.size() + 3) / 4 * 4, '\0');
    std::string pixels;
    for (int y = 0; y < h; y++) pixels += row;
    return bmp_with(w, h, 24, 0, "", pixels);
}

// A 4 x 2 8-bit picture: a 256-entry palette whose entry i is (i, 255 - i, 7),
// top row indexes 10, 20, 30, 40 and bottom row 200, 201, 202, 203.
std::string bmp8_palette() {
    std::string palette;
    for (int i = 0; i < 256; i++) palette += {char(7), char(255 - i), char(i), '\0'};
    std::string pixels = {char(200), char(201), char(202), char(203), // bottom row first
                          char(10),  char(20),  char(30),  char(40)};
    return bmp_with(4, 2, 8, 0, palette, pixels);
}

// Bytes from a fixed linear congruential sequence: the same garbage every run.
std::string garbage(size_t n, uint32_t seed) {
    std::string s;
    for (size_t i = 0; i < n; i++) {
        seed = seed * 1664525u + 1013904223u;
        s += char(seed >> 24);
    }
    return s;
}

// A mono 16-bit 48 kHz WAV file of n samples of a square wave.
std::string wav(uint32_t n) {
    std::string s = "RIFF";
    le(s, 36 + 2 * n, 4);
    s += "WAVEfmt ";
    le(s, 16, 4), le(s, 1, 2), le(s, 1, 2), le(s, 48000, 4), le(s, 96000, 4), le(s, 2, 2),
        le(s, 16, 2);
    s += "data";
    le(s, 2 * n, 4);
    for (uint32_t i = 0; i < n; i++) le(s, (i / 24) % 2 ? 0x2000 : 0xE000, 2);
    return s;
}

// The line sdl_error writes: SDL's error text on SDL's log.
std::string sdl_report() {
    return std::string("INFO: ") + SDL_GetError() + "\n";
}

size_t count(const std::string &text, const std::string &what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
}

const long T0 = 1600000000; // a whole second, far from "now"

// Engine on a fresh directory with a 32 x 32 picture and no pacing.
class Bad : public EngineTest {
  protected:
    TempDir dir;
    void start(unsigned mixer) {
        ASSERT_EQ(VEK_Init(.width = 32, .height = 32, .target_fps = 0, .mixer = mixer,
                           .basepath = dir.path().c_str()),
                  0);
    }
    void SetUp() override { start(VEK_MIXER_OFF); }

    // The colour of the image's pixel (x, y), drawn at the picture's corner.
    Rgb drawn(VEK_Uint id, int x, int y) {
        EXPECT_EQ(VEK_DrawBegin(), 0);
        VEK_DrawSetColor(.r = 0, .g = 0, .b = 0, .a = 1);
        VEK_DrawClear();
        VEK_DrawSetColor(.r = 1, .g = 1, .b = 1, .a = 1);
        EXPECT_EQ(VEK_DrawImage(.id = id, .x = 0, .y = 0), 0);
        return read_picture().at(x, y);
    }
};

const Rgb RED{255, 0, 0};

// ---------------------------------------------------------------------------
// Pictures that must not load: from memory, from a file, and by hot reload over
// a good picture. Each gives id 0 (or a failed reload) with SDL's error text on a
// log line, and leaves the table, the allocator and the old picture as they were.
// ---------------------------------------------------------------------------
struct BadBytes {
    const char *what;
    std::string bytes;
};

const char PNG[] = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x08\0\0\0\x04\x08\x02\0\0\0";

std::vector<BadBytes> bad_pictures() {
    const std::string whole = bmp24(20, 10, Rgb{0, 0, 255});
    const size_t row = 60; // 20 pixels of 3 bytes
    return {
        {"zero bytes", ""},
        {"garbage", garbage(300, 1)},
        {"garbage after a BM signature", "BM" + garbage(300, 2)},
        {"cut inside the header", whole.substr(0, 30)},
        {"half written: header whole, half the rows", whole.substr(0, 54 + 5 * row)},
        {"half written: last row missing", whole.substr(0, whole.size() - row)},
        // SDL reads the bytes a cut header lacks as zeros, and sizes the picture anyway.
        {"cut inside the header after a huge width",
         bmp_with(0x08000002, 0x02000000, 1, 0, "", "").substr(0, 29)},
        {"huge declared: 30000 x 30000, 64 bytes of pixels",
         bmp_with(30000, 30000, 24, 0, "", std::string(64, 'x'))},
        {"huge declared: 100000 x 100000", bmp_with(100000, 100000, 24, 0, "", "xyz")},
        {"huge declared: 2147483647 x 1", bmp_with(INT32_MAX, 1, 32, 0, "", "xyzw")},
        {"huge declared: 1 x -2147483647 (top-down)", bmp_with(1, -INT32_MAX, 32, 0, "", "xyzw")},
        {"huge declared, run-length: 20000 x 20000 8-bit, empty picture",
         bmp_with(20000, 20000, 8, 1, std::string(1024, '\0'), std::string("\0\1", 2))},
        {"zero width", bmp_with(0, 8, 24, 0, "", std::string(64, 'x'))},
        {"negative width", bmp_with(-8, 8, 24, 0, "", std::string(256, 'x'))},
        {"PNG bytes", std::string(PNG, sizeof PNG - 1)},
    };
}

TEST_F(Bad, PicturesThatDoNotDecodeFromMemory) {
    std::string good = bmp24(8, 4, RED);
    VEK_Uint id = VEK_LoadResourceFromMemory(VEK_RES_IMAGE, good.data(), int(good.size()));
    ASSERT_EQ(id, 1u);
    for (const BadBytes &c : bad_pictures()) {
        size_t live = alloc_live_count();
        SDL_ClearError();
        StderrCapture cap;
        EXPECT_EQ(VEK_LoadResourceFromMemory(VEK_RES_IMAGE, c.bytes.data(), int(c.bytes.size())),
                  0u)
            << c.what;
        std::string err = cap.text();
        ASSERT_STRNE(SDL_GetError(), "") << c.what;
        EXPECT_EQ(err, sdl_report()) << c.what;
        EXPECT_EQ(___vek_resources_size, 1u) << c.what;
        EXPECT_EQ(alloc_live_count(), live) << c.what;
    }
    EXPECT_EQ(drawn(id, 7, 3), RED);
}

TEST_F(Bad, PicturesThatDoNotDecodeFromFiles) {
    write_file(dir.file("good.bmp"), bmp24(8, 4, RED));
    ASSERT_EQ(VEK_LoadResource("good.bmp"), 1u);
    for (const BadBytes &c : bad_pictures()) {
        write_file(dir.file("bad.bmp"), c.bytes);
        size_t live = alloc_live_count();
        SDL_ClearError();
        StderrCapture cap;
        EXPECT_EQ(VEK_LoadResource("bad.bmp"), 0u) << c.what;
        std::string err = cap.text();
        EXPECT_EQ(err, sdl_report()) << c.what;
        EXPECT_EQ(___vek_resources_size, 1u) << c.what;
        EXPECT_EQ(alloc_live_count(), live) << c.what;
    }
    // nothing of the bad file was kept: the same path loads once it is good
    write_file(dir.file("bad.bmp"), bmp24(3, 2, RED));
    EXPECT_EQ(VEK_LoadResource("bad.bmp"), 2u);
    EXPECT_EQ(VEK_GetImageWidth(2), 3);
}

TEST_F(Bad, PicturesThatDoNotDecodeKeepTheOldPictureOnReload) {
    std::string pic = dir.file("pic.bmp");
    put_file(pic, bmp24(8, 4, RED), T0);
    VEK_Uint id = VEK_LoadResource(pic.c_str());
    ASSERT_EQ(id, 1u);
    VEK_ResourcesWatch();
    long t = T0;
    for (const BadBytes &c : bad_pictures()) {
        SDL_Texture *texture = VEK_GetResourcePointer(id)->image.ptr;
        size_t live = alloc_live_count();
        put_file(pic, c.bytes, ++t);
        SDL_ClearError();
        StderrCapture cap;
        VEK_ResourcesWatch();
        VEK_ResourcesWatch(); // a failed attempt is not repeated
        std::string err = cap.text();
        EXPECT_EQ(err, sdl_report()) << c.what;
        EXPECT_EQ(VEK_GetResourcePointer(id)->image.ptr, texture) << c.what;
        EXPECT_EQ(VEK_GetImageWidth(id), 8) << c.what;
        EXPECT_EQ(VEK_GetImageHeight(id), 4) << c.what;
        EXPECT_EQ(VEK_GetResourcePointer(id)->mtime, t) << c.what;
        EXPECT_EQ(alloc_live_count(), live) << c.what;
        EXPECT_EQ(drawn(id, 7, 3), RED) << c.what;
    }
    EXPECT_EQ(___vek_resources_size, 1u);
}

// ---------------------------------------------------------------------------
// Odd pictures that are still pictures: they load and replace on reload.
// ---------------------------------------------------------------------------
TEST_F(Bad, OddButValidPicturesLoadEverywhere) {
    struct Pixel {
        int x, y;
        Rgb c;
    };
    struct Case {
        const char *what;
        std::string bytes;
        int w, h;
        std::vector<Pixel> pixels;
    } cases[] = {
        {"1 x 1", bmp24(1, 1, Rgb{1, 2, 3}), 1, 1, {{0, 0, {1, 2, 3}}}},
        {"8-bit palette",
         bmp8_palette(),
         4,
         2,
         {{0, 0, {10, 245, 7}}, {3, 0, {40, 215, 7}}, {0, 1, {200, 55, 7}}, {3, 1, {203, 52, 7}}}},
    };
    std::string pic = dir.file("pic.bmp");
    put_file(pic, bmp24(8, 4, RED), T0);
    VEK_Uint watched = VEK_LoadResource(pic.c_str());
    ASSERT_EQ(watched, 1u);
    VEK_ResourcesWatch();
    long t = T0;
    for (const Case &c : cases) {
        VEK_Uint mem =
            VEK_LoadResourceFromMemory(VEK_RES_IMAGE, c.bytes.data(), int(c.bytes.size()));
        std::string name = std::string("odd") + std::to_string(t) + ".bmp";
        write_file(dir.file(name), c.bytes);
        VEK_Uint file = VEK_LoadResource(name.c_str());
        put_file(pic, c.bytes, ++t);
        VEK_ResourcesWatch();
        for (VEK_Uint id : {mem, file, watched}) {
            ASSERT_NE(id, 0u) << c.what;
            EXPECT_EQ(VEK_GetImageWidth(id), c.w) << c.what << ", id " << id;
            EXPECT_EQ(VEK_GetImageHeight(id), c.h) << c.what << ", id " << id;
            for (const Pixel &p : c.pixels)
                EXPECT_EQ(drawn(id, p.x, p.y), p.c)
                    << c.what << ", id " << id << " at " << p.x << "," << p.y;
        }
    }
}

// ---------------------------------------------------------------------------
// Sounds and music: broken WAV bytes with the mixer on
// ---------------------------------------------------------------------------
class BadSound : public Bad {
  protected:
    void SetUp() override {
        start(VEK_MIXER_ON);
        ASSERT_NE(___vek_config.mixer, unsigned(VEK_MIXER_OFF)) << "the dummy audio device opens";
    }
    void TearDown() override {
        VEK_StopMusic();
        Bad::TearDown();
    }
};

struct SoundCase {
    const char *what;
    std::string bytes;
    bool is_sound; // decodes as a sound effect
    bool is_music; // opens as music
    int plays;     // what VEK_PlaySound gives for it, when it decodes
};

std::vector<SoundCase> sound_cases() {
    std::string whole = wav(4800);
    return {
        {"zero bytes", "", false, false, 0},
        {"garbage", garbage(500, 3), false, false, 0},
        {"garbage after a RIFF signature", "RIFF" + garbage(500, 4), false, false, 0},
        {"cut inside the header", whole.substr(0, 20), false, false, 0},
        // No samples at all: a chunk of zero length decodes, but the mixer will not
        // play it; music refuses it.
        {"zero-length data chunk", wav(0), true, false, -1},
        // Half written: the samples that are there are kept.
        {"half written: data cut in the middle", whole.substr(0, 44 + 4800), true, true, 0},
    };
}

TEST_F(BadSound, SoundsFromMemoryFilesAndReload) {
    std::string blip = dir.file("blip.wav");
    put_file(blip, wav(480), T0);
    VEK_Uint watched = VEK_LoadResource(blip.c_str());
    ASSERT_EQ(watched, 1u);
    VEK_ResourcesWatch();
    long t = T0;
    for (const SoundCase &c : sound_cases()) {
        size_t size = ___vek_resources_size;
        StderrCapture cap;
        VEK_Uint mem =
            VEK_LoadResourceFromMemory(VEK_RES_SOUND, c.bytes.data(), int(c.bytes.size()));
        std::string name = "s"; // appended to: see fatal_report
        name += std::to_string(t) + ".wav";
        write_file(dir.file(name), c.bytes);
        VEK_Uint file = VEK_LoadResource(name.c_str());
        Mix_Chunk *before = VEK_GetResourcePointer(watched)->sound.ptr;
        put_file(blip, c.bytes, ++t);
        VEK_ResourcesWatch();
        std::string err = cap.text();
        Mix_Chunk *after = VEK_GetResourcePointer(watched)->sound.ptr;
        if (c.is_sound) {
            EXPECT_NE(mem, 0u) << c.what;
            EXPECT_NE(file, 0u) << c.what;
            EXPECT_EQ(___vek_resources_size, size + 2) << c.what;
            EXPECT_NE(after, before) << c.what << ": the reload takes the new sound";
            EXPECT_EQ(err, "") << c.what;
        } else {
            EXPECT_EQ(mem, 0u) << c.what;
            EXPECT_EQ(file, 0u) << c.what;
            EXPECT_EQ(___vek_resources_size, size) << c.what;
            EXPECT_EQ(after, before) << c.what << ": the old sound stays";
            EXPECT_EQ(count(err, "\n"), 3u) << c.what << ": one report per attempt\n" << err;
        }
        ASSERT_NE(after, nullptr);
        // What was loaded plays, or is refused with SDL's text on a log line.
        for (VEK_Uint id : {mem, file}) {
            if (id == 0) continue;
            SDL_ClearError();
            StderrCapture play;
            EXPECT_EQ(VEK_PlaySound(.id = id), c.plays) << c.what;
            EXPECT_EQ(play.text(), c.plays == 0 ? "" : sdl_report()) << c.what;
        }
        StderrCapture quiet;
        (void)VEK_PlaySound(.id = watched);
        Mix_HaltChannel(-1);
    }
}

TEST_F(BadSound, MusicFromBrokenFiles) {
    write_file(dir.file("tune.wav"), wav(48000));
    for (const SoundCase &c : sound_cases()) {
        write_file(dir.file("music.wav"), c.bytes);
        ASSERT_EQ(VEK_PlayMusic("tune.wav", -1), 0);
        SDL_ClearError();
        StderrCapture cap;
        int rv = VEK_PlayMusic("music.wav", 0);
        std::string err = cap.text();
        if (c.is_music) {
            EXPECT_EQ(rv, 0) << c.what;
            EXPECT_NE(___vek_music, nullptr) << c.what;
        } else {
            EXPECT_EQ(rv, -1) << c.what;
            EXPECT_EQ(___vek_music, nullptr) << c.what << ": the previous music is released";
            EXPECT_FALSE(Mix_PlayingMusic()) << c.what;
            EXPECT_EQ(err, sdl_report()) << c.what;
        }
    }
}

// ---------------------------------------------------------------------------
// A minimised window: SDL's minimise event, and the window at the smallest size
// SDL lets it have, 1 x 1 (a window reporting 0 x 0 is fitted as 1 x 1, see
// Letterbox.ZeroSizedWindowCountsAsOnePixel). Frames go on, the picture is
// shrunk into the window, the pointer maps to finite game pixels, and the
// restore brings the whole picture back.
// ---------------------------------------------------------------------------
void window_event(Uint8 what) {
    SDL_Event ev;
    SDL_zero(ev);
    ev.type = SDL_WINDOWEVENT;
    ev.window.event = what;
    ev.window.windowID = SDL_GetWindowID(___vek_window);
    ASSERT_EQ(SDL_PushEvent(&ev), 1) << SDL_GetError();
}

TEST_F(Bad, MinimisedWindowKeepsTheFramesGoing) {
    auto frame = [](Rgb c) {
        EXPECT_EQ(VEK_DrawBegin(), 0);
        VEK_DrawSetColor8(c.r, c.g, c.b, 255);
        EXPECT_EQ(VEK_DrawClear(), 0);
        EXPECT_EQ(VEK_DrawEnd(), 0);
    };
    const Rgb GREEN{0, 255, 0}, BLUE{0, 0, 255};
    VEK_CycleEvents();
    frame(RED);
    EXPECT_EQ(read_window().at(10, 10), RED);

    window_event(SDL_WINDOWEVENT_MINIMIZED);
    SDL_SetWindowSize(___vek_window, 1, 1);
    VEK_CycleEvents();
    uint32_t tick = VEK_GetTick();
    for (int i = 0; i < 5; i++) {
        frame(GREEN);
        VEK_CycleEvents();
    }
    EXPECT_EQ(VEK_GetTick(), tick + 5);
    EXPECT_FALSE(VEK_ShouldQuit());
    Pixels tiny = read_window();
    ASSERT_EQ(tiny.w, 1);
    ASSERT_EQ(tiny.h, 1);
    EXPECT_EQ(tiny.at(0, 0), GREEN);
    int x = -1, y = -1;
    ___vek_mouse_x = ___vek_mouse_y = 0; // the window's one pixel
    VEK_MouseGetPosition(&x, &y);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);

    window_event(SDL_WINDOWEVENT_RESTORED);
    SDL_SetWindowSize(___vek_window, 64, 64);
    VEK_CycleEvents();
    frame(BLUE);
    Pixels back = read_window();
    ASSERT_EQ(back.w, 64);
    EXPECT_EQ(back.at(0, 0), BLUE);
    EXPECT_EQ(back.at(63, 63), BLUE);
}

// ---------------------------------------------------------------------------
// A thousand plug and unplug cycles of a virtual controller
// ---------------------------------------------------------------------------

void detach_pad(SDL_JoystickID id) {
    for (int i = 0; i < SDL_NumJoysticks(); i++)
        if (SDL_JoystickGetDeviceInstanceID(i) == id) {
            EXPECT_EQ(SDL_JoystickDetachVirtual(i), 0) << SDL_GetError();
            return;
        }
    ADD_FAILURE() << "pad " << id << " not attached";
}

class Pads : public Bad {
  protected:
    void SetUp() override {
        // Headless, no window ever has the keyboard focus; without this hint SDL
        // drops every controller event.
        SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
        Bad::SetUp();
    }
};

TEST_F(Pads, ThousandPlugCyclesKeepTheTableBounded) {
    // One pad stays plugged all along.
    SDL_JoystickID kept = attach_virtual_pad("bramble cycling pad");
    VEK_CycleEvents();
    ASSERT_EQ(___vek_joysticks_size, 1u);
    size_t live = alloc_live_count();
    VEK_Joystick *table = nullptr;
    size_t capacity = 0;
    StderrCapture cap;
    for (int i = 0; i < 1000; i++) {
        SDL_JoystickID id = attach_virtual_pad("bramble cycling pad");
        VEK_CycleEvents();
        ASSERT_EQ(___vek_joysticks_size, 2u) << "cycle " << i;
        ASSERT_NE(___vek_joysticks[1].ptr, nullptr) << "cycle " << i;
        if (i == 0) table = ___vek_joysticks, capacity = ___vek_joysticks_capacity;
        detach_pad(id);
        VEK_CycleEvents();
        ASSERT_EQ(___vek_joysticks[1].ptr, nullptr) << "cycle " << i;
        // closed by the engine: SDL holds no controller for it any more
        ASSERT_EQ(SDL_GameControllerFromInstanceID(id), nullptr) << "cycle " << i;
    }
    std::string log = cap.text();
    EXPECT_EQ(count(log, "opened joystick"), 1000u);
    EXPECT_EQ(count(log, "didn't remove no joystick"), 0u);
    EXPECT_EQ(___vek_joysticks, table);
    EXPECT_EQ(___vek_joysticks_capacity, capacity);
    EXPECT_EQ(alloc_live_count(), live);
    EXPECT_NE(SDL_GameControllerFromInstanceID(kept), nullptr);
    EXPECT_EQ(SDL_NumJoysticks(), 1);
    detach_pad(kept);
    VEK_CycleEvents();
}

// ---------------------------------------------------------------------------
// Nothing of the engine is left in the tracked allocator after VEK_Quit: every
// kind of block it takes (the resource table, paths, raw bytes, the controller
// table) is handed back by the shutdown itself, not by the sweep.
// ---------------------------------------------------------------------------
TEST_F(Pads, QuitLeavesNoBlockInTheAllocator) {
    VEK_Quit();
    wdeinit();
    ASSERT_EQ(alloc_live_count(), 0u);
    start(VEK_MIXER_ON);
    ASSERT_NE(___vek_config.mixer, unsigned(VEK_MIXER_OFF));
    write_file(dir.file("pic.bmp"), bmp24(8, 4, RED));
    write_file(dir.file("notes.txt"), "some bytes");
    write_file(dir.file("blip.wav"), wav(480));
    std::string blip = wav(240), bmp = bmp8_palette();
    EXPECT_NE(VEK_LoadResource("pic.bmp"), 0u);
    EXPECT_NE(VEK_LoadResource("notes.txt"), 0u);
    EXPECT_NE(VEK_LoadResource("blip.wav"), 0u);
    EXPECT_NE(VEK_LoadResourceFromMemory(VEK_RES_RAW, "raw", 3), 0u);
    EXPECT_NE(VEK_LoadResourceFromMemory(VEK_RES_IMAGE, bmp.data(), int(bmp.size())), 0u);
    EXPECT_NE(VEK_LoadResourceFromMemory(VEK_RES_SOUND, blip.data(), int(blip.size())), 0u);
    for (int i = 0; i < 20; i++) // enough records to grow the table a few times
        EXPECT_NE(VEK_LoadResourceFromMemory(VEK_RES_RAW, "x", 1), 0u);
    EXPECT_EQ(VEK_ReloadResource(2), 0); // a reload swaps the raw block
    EXPECT_EQ(VEK_PlayMusic("blip.wav", 0), 0);
    SDL_JoystickID a = attach_virtual_pad("bramble cycling pad"),
                   b = attach_virtual_pad("bramble cycling pad");
    VEK_CycleEvents();
    detach_pad(a);
    VEK_CycleEvents();
    EXPECT_EQ(___vek_joysticks_size, 2u);
    EXPECT_GT(alloc_live_count(), 0u);

    VEK_Quit();
    EXPECT_EQ(alloc_live_count(), 0u) << "the sweep would have had work to do";
    (void)b; // SDL_Quit unplugged it
}

// ---------------------------------------------------------------------------
// The allocator failing at each of its checks: the exact ERR line, status 1,
// the engine's shutdown and the sweep still run (in that order, as the game
// registers them), and nothing is left behind or released twice (the sanitizers
// watch the child).
// ---------------------------------------------------------------------------

// Registered first, so it runs after every other exit action.
void report_after_exit_actions() {
    fprintf(stderr, "after exit: window %s, %zu live blocks, table capacity %zu\n",
            ___vek_window == nullptr ? "closed" : "OPEN", alloc_live_count(), alloc_capacity());
}

// The game's order of exit actions around the engine's start.
void start_like_the_game(const std::string &dir) {
    atexit(report_after_exit_actions);
    DEFER(wdeinit);
    if (VEK_Init(.width = 32, .height = 32, .target_fps = 0, .mixer = VEK_MIXER_OFF,
                 .basepath = dir.c_str()) != 0)
        exit(3);
    DEFER(VEK_Quit);
}

// What a death test's stderr must be: the ERR line of `_.cpp`:`function` for
// `condition`, then the report of the exit actions. Built by appending only:
// GCC 12 at -O2 takes prepending to a temporary string for an overlapping copy
// (a -Wrestrict false positive).
std::string fatal_report(const char *function, const std::string &condition) {
    std::string pattern = "^ERR _\\.cpp:";
    pattern += function;
    pattern += ":[0-9]+ \tassert failed: ";
    for (char c : condition) {
        if (strchr("[]().*+?^$\\|{}", c) != nullptr) pattern += '\\';
        pattern += c;
    }
    pattern += "\nafter exit: window closed, 0 live blocks, table capacity 0\n$";
    return pattern;
}

class AllocFailureDeathTest : public ::testing::Test {
  protected:
    TempDir dir;
    void TearDown() override { wdeinit(); }
};

TEST_F(AllocFailureDeathTest, FirstTable) {
    EXPECT_EXIT(
        {
            start_like_the_game(dir.path());
            wdeinit(); // no table yet
            calloc_fails_in = 1;
            (void)alloc(8);
        },
        ::testing::ExitedWithCode(1), fatal_report("alloc", "_alloced != nullptr"));
}

TEST_F(AllocFailureDeathTest, GrowingTheTable) {
    EXPECT_EXIT(
        {
            start_like_the_game(dir.path());
            wdeinit();
            for (int i = 0; i < 16; i++) (void)alloc(8);
            realloc_fails_in = 1;
            (void)alloc(8); // the 17th live block needs a bigger table
        },
        ::testing::ExitedWithCode(1), fatal_report("alloc", "new_alloced != nullptr"));
}

TEST_F(AllocFailureDeathTest, TheBlock) {
    EXPECT_EXIT(
        {
            start_like_the_game(dir.path());
            (void)alloc(8);
            calloc_fails_in = 1;
            (void)alloc(8);
        },
        ::testing::ExitedWithCode(1),
        fatal_report("alloc", "_alloced[_alloced_size - 1] != nullptr"));
}

TEST_F(AllocFailureDeathTest, ResizingABlock) {
    EXPECT_EXIT(
        {
            start_like_the_game(dir.path());
            void *p = alloc(8);
            realloc_fails_in = 1;
            (void)_realloc(p, 4096);
        },
        ::testing::ExitedWithCode(1), fatal_report("_realloc", "new_ptr != nullptr"));
}

// Inside the engine: a file read while resources are held, and the resource
// table growing.
TEST_F(AllocFailureDeathTest, ReadingAFileWhileResourcesAreHeld) {
    write_file(dir.file("a.txt"), "aaa");
    write_file(dir.file("pic.bmp"), bmp24(4, 4, RED));
    EXPECT_EXIT(
        {
            start_like_the_game(dir.path());
            if (VEK_LoadResource("a.txt") != 1) exit(4);
            calloc_fails_in = 1; // the block that takes the file's bytes
            (void)VEK_LoadResource("pic.bmp");
        },
        ::testing::ExitedWithCode(1),
        fatal_report("alloc", "_alloced[_alloced_size - 1] != nullptr"));
}

TEST_F(AllocFailureDeathTest, GrowingTheResourceTable) {
    EXPECT_EXIT(
        {
            start_like_the_game(dir.path());
            if (VEK_LoadResourceFromMemory(VEK_RES_RAW, "a", 1) != 1) exit(4);
            realloc_fails_in = 1; // the second record does not fit the first block
            (void)VEK_LoadResourceFromMemory(VEK_RES_RAW, "b", 1);
        },
        ::testing::ExitedWithCode(1), fatal_report("_realloc", "new_ptr != nullptr"));
}

} // namespace
