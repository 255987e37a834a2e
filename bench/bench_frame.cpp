// SPDX-License-Identifier: Zlib
// Frame benchmarks: the game's own frame against a bare SDL2 program that draws
// the identical picture with raw SDL calls, and the engine against a peer
// program written with another 2-D library. Every measured run is a process of
// its own, so start-up counts from process start to the first present.
//
// Parent modes print Markdown tables on standard output:
//   bench_frame frame  [--frames N] [--runs R]   three game scenes, paced and unpaced
//   bench_frame pacing [--frames N] [--runs R]   long paced runs, all processes at once
//   bench_frame peer   [--frames N] [--runs R] --peer PATH
// Child mode (one measured run, one result line):
//   bench_frame --child game|bare|engine start|keyboard|chut|peer FRAMES PACED
//
// The video and render drivers come from the environment (SDL_VIDEODRIVER,
// SDL_RENDER_DRIVER, DISPLAY), so the same command measures the dummy driver with
// the software renderer and an X server with the default renderer.
#include "VEK.h"
#include "_.h"
#include "bench_common.h"
#include "cfg.h"
#include "draw.h"
#include "minigame_manager.h"
#include "record.h"
#include "start_screen.h"
#include "vek_internal.h"
#include "world.h"

#include <SDL_mixer.h>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

#ifndef BRAMBLE_RUNTIME_DIR
#error "BRAMBLE_RUNTIME_DIR names the directory holding asset/ and res/"
#endif
static const char *const RUNTIME_DIR = BRAMBLE_RUNTIME_DIR;
static const int FRAME_MS = 16; // the engine's 1000 / 60, in whole milliseconds

// ---------------------------------------------------------------------------
// Heap calls of the engine and the game: this program is linked with --wrap for
// malloc, calloc and realloc, which routes the calls of its own objects and of
// the two static libraries (and only those) through here.
// ---------------------------------------------------------------------------
static size_t project_heap_calls = 0;
extern "C" {
void *__real_malloc(size_t);
void *__real_calloc(size_t, size_t);
void *__real_realloc(void *, size_t);
void *__wrap_malloc(size_t n) {
    project_heap_calls++;
    return __real_malloc(n);
}
void *__wrap_calloc(size_t n, size_t m) {
    project_heap_calls++;
    return __real_calloc(n, m);
}
void *__wrap_realloc(void *p, size_t n) {
    project_heap_calls++;
    return __real_realloc(p, n);
}
}

enum Scene { SCENE_START, SCENE_KEYBOARD, SCENE_CHUT, SCENE_PEER };
static const char *const SCENE_NAMES[] = {"start", "keyboard", "chut", "peer"};
static const char *const SCENE_TITLES[] = {"start screen, word growing", "keyboard prompt",
                                           "\"CHUT !\" with meter", "peer scene"};

// The scenes' fixed settings, shared by both sides.
static const color KEYBOARD_BG = {0.45f, 0.6f, 0.3f};
static const int KEYBOARD_LETTER = 7, KEYBOARD_OFFSET = 5;
static const color CHUT_BG = {0.3f, 0.5f, 0.7f};
static const double CHUT_LEVEL = 20.0; // half the meter: 50 bars; above 10, the large title

// Renderer name as SDL reports it, and the OpenGL renderer string when it has one.
static std::string renderer_name(SDL_Renderer *ren) {
    SDL_RendererInfo info;
    if (SDL_GetRendererInfo(ren, &info) != 0) return "unknown";
    std::string name = info.name;
    if (name.rfind("opengl", 0) == 0) {
        using GetString = const unsigned char *(*)(unsigned);
        auto gl_get_string = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
        if (gl_get_string != nullptr) {
            const unsigned char *gl = gl_get_string(0x1F01); // GL_RENDERER
            if (gl != nullptr) name += std::string(" on ") + reinterpret_cast<const char *>(gl);
        }
    }
    std::vector<char> s(name.begin(), name.end());
    s.push_back('\0');
    no_blanks(s.data());
    return s.data();
}

// With BENCH_DUMP set, the last frame's window picture is saved there as a BMP,
// so the two sides' pictures can be compared (run.sh does, on the software
// renderer, whose window keeps its picture after the present).
static void dump_window(SDL_Renderer *ren) {
    const char *path = getenv("BENCH_DUMP");
    if (path == nullptr) return;
    int w = 0, h = 0;
    SDL_GetRendererOutputSize(ren, &w, &h);
    SDL_Surface *s = SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_RGB888);
    if (s == nullptr) return;
    if (SDL_RenderReadPixels(ren, nullptr, SDL_PIXELFORMAT_RGB888, s->pixels, s->pitch) == 0)
        SDL_SaveBMP(s, path);
    SDL_FreeSurface(s);
}

// ===========================================================================
// Game side: the real game, its start-up as SDL_main does it, then main_loop
// driven by the engine's own main loop with the game state set to the scene.
// ===========================================================================
static Scene game_scene;
static FrameRecorder *game_rec = nullptr;
static clock_t bench_now = 1000;

// The challenges' timers read this clock: it stands still in the challenge
// scenes (so no hold or time-out ever ends them) and moves one frame per frame on
// the start screen (so the word grows one step every frame, paced or not).
static clock_t bench_clock(void) {
    return bench_now;
}
static time_t bench_time(void) {
    return 1000000000;
} // the run never ends

static int game_frame(void *) {
    if (game_scene == SCENE_START) {
        bench_now += FRAME_MS;
        if (font_size >= 10.0) font_size = 4.0; // keep the word growing
    }
    // The capture thread rewrites the level about every 93 ms; the meter shows ours.
    if (game_scene == SCENE_CHUT) g_dB = CHUT_LEVEL;
    main_loop(nullptr);
    return game_rec->presented() ? 1 : 0;
}

static int run_game(Scene scene, int frames, bool paced) {
    game_scene = scene;
    game_clock_set_source(bench_clock);
    game_time_set_source(bench_time);

    // SDL_main's start-up; only the pacing (for the unpaced runs) and the base
    // path (the bench lives outside the game's directory) differ.
    srand(static_cast<unsigned int>(time(NULL)));
    DEFER(wdeinit);
    ASSERT(VEK_Init(.width = cfg.display_width, .height = cfg.display_height,
                    .target_fps = paced ? 60 : 0, .pixel_perfect = false, .show_cursor = true,
                    .basepath = RUNTIME_DIR, .title = "bramble") == 0);
    phase_up = mono_ms();
    DEFER(VEK_Quit);
    world_init("res/world/world.csv");
    record_init();
    minigame_init();

    switch (scene) {
    case SCENE_START:
        // The screen has been up long enough for the word to grow from the first
        // frame on; its first step starts the music, as in the game.
        duration1[0] = duration2[0] = 1;
        break;
    case SCENE_KEYBOARD:
    case SCENE_CHUT:
        minigame_start_music(); // started on the start screen in the game
        game.start = 2;
        game.cur_minigame = scene == SCENE_KEYBOARD ? draw_keyboard : silence;
        game.bg_color = scene == SCENE_KEYBOARD ? KEYBOARD_BG : CHUT_BG;
        game.dur_start = game.dur_init = bench_now;
        letter = KEYBOARD_LETTER;
        offset = KEYBOARD_OFFSET;
        break;
    default:
        return 2;
    }

    FrameRecorder rec(frames, &project_heap_calls);
    game_rec = &rec;
    phase_ready = mono_ms();
    VEK_MainLoop(game_frame, nullptr);
    if (VEK_ShouldQuit()) return 3; // closed, or SIGTERM: the run is void
    dump_window(___vek_renderer);
    rec.print(renderer_name(___vek_renderer).c_str(), paced ? FRAME_MS : 0);
    return 0;
}

// ===========================================================================
// Bare side: the same window, off-screen target, letterboxed composition, 16 ms
// due-time schedule, music and microphone, and the identical picture, written
// directly against SDL2 and SDL2_mixer.
// ===========================================================================
static SDL_Renderer *bare_ren = nullptr;
static SDL_Texture *bare_font = nullptr;
static double bare_level = 0;

static Uint8 byte_of(float c) {
    return Uint8(int(255.0f * c));
}

static void SDLCALL bare_capture(void *, Uint8 *stream, int len) {
    int n = len / int(sizeof(float));
    double sum = 0;
    for (int i = 0; i < n; i++) {
        float s;
        memcpy(&s, stream + size_t(i) * sizeof s, sizeof s);
        sum += double(s * s);
    }
    bare_level = n > 0 ? 20.0 * log10(sqrt(sum / n)) + 40.0 : 0.0;
}

static SDL_Texture *bare_image(const char *name) {
    std::string path = std::string(RUNTIME_DIR) + "/asset/" + name;
    SDL_Surface *s = SDL_LoadBMP(path.c_str());
    if (s == nullptr) return nullptr;
    SDL_Texture *t = SDL_CreateTextureFromSurface(bare_ren, s);
    SDL_FreeSurface(s);
    if (t != nullptr) SDL_SetTextureBlendMode(t, SDL_BLENDMODE_BLEND);
    return t;
}

static void bare_glyph(char c, int x, int y, float size) {
    int code = static_cast<unsigned char>(c);
    SDL_Rect src = {(code % 16) * 16, (code / 16) * 32, 16, 32};
    SDL_Rect dst = {x, y, int(16 * double(size)), int(32 * double(size))};
    SDL_RenderCopy(bare_ren, bare_font, &src, &dst);
}

static void bare_text(const char *s, int x, int y, float size, Uint8 r, Uint8 g, Uint8 b) {
    SDL_SetTextureColorMod(bare_font, r, g, b);
    for (int i = 0; s[i] != '\0'; i++)
        if (s[i] != ' ') bare_glyph(s[i], int(float(x) + 16.0f * (float(i) * size)), y, size);
}

static double bare_font_size = 4.0;

static void bare_start_screen() {
    if (bare_font_size >= 10.0) bare_font_size = 4.0;
    bare_font_size += double(0.05f);
    bare_text("OU ", (640 - 192) / 2 - 140, (640 - 124) / 2, 4.0f, 255, 255, 255);
    bare_text(" ?", (640 - 128) / 2 + 110, (640 - 124) / 2, 4.0f, 255, 255, 255);
    int w = int(16.0 * bare_font_size), h = int(32.0 * bare_font_size);
    bare_text("PAS", (640 - 3 * w) / 2, (640 - h) / 2, float(bare_font_size), 255, 255, 255);
}

static void bare_keyboard(SDL_Texture *keyboard, int kw, int kh) {
    char key[27] = "QWERTYUIOPASDFGHJKLZXCVBNM";
    for (int i = 0; key[i]; i++) key[i] = char((key[i] - 'A' + KEYBOARD_OFFSET) % 26 + 'A');
    SDL_Rect dst = {60, 300, int(0.5 * kw), int(0.5 * kh)};
    SDL_RenderCopy(bare_ren, keyboard, nullptr, &dst);
    SDL_SetTextureColorMod(bare_font, byte_of(KEYBOARD_BG.red), byte_of(KEYBOARD_BG.green),
                           byte_of(KEYBOARD_BG.blue));
    for (int i = 0; i < 26; i++) {
        int row = i < 10 ? 0 : i < 19 ? 1 : 2;
        int column = i - (row == 0 ? 0 : row == 1 ? 10 : 19) + 1;
        bare_glyph(key[i], 60 + 56 + 10 * row + 32 * column, 300 + 42 + 37 * row, 0.8f);
    }
    bare_text("PRESS", 100, 150, 2.5f, 255, 255, 255);
    bare_glyph(key[KEYBOARD_LETTER], 350, 150, 2.5f);
    bare_text("!!!!", 400, 150, 2.5f, 255, 255, 255);
}

static void bare_chut() {
    bare_text("CHUT !", (640 - 576) / 2, (640 - 192) / 2, 6.0f, 255, 255, 255);
    double fill = fmin(fmax(CHUT_LEVEL, 0.0), 40.0) / 40.0;
    for (double i = 0; i < fill && i < 1; i += 0.01) {
        SDL_SetRenderDrawColor(bare_ren, byte_of(float(i)), byte_of(float(0.8f - i)), 0, 255);
        SDL_Rect bar = {10, int(640 - 200 * i - 11), 20, 2};
        SDL_RenderFillRect(bare_ren, &bar);
    }
    SDL_SetRenderDrawColor(bare_ren, 255, 255, 255, 255);
    SDL_Rect frame = {10, 430, 20, 200};
    SDL_RenderDrawRect(bare_ren, &frame);
}

// `pacing`: 0 none, 1 the 16 ms due-time schedule, 2 a fixed 16 ms sleep per frame
// (the naive loop, kept as a reference for the pacing table).
static int run_bare(Scene scene, int frames, int pacing) {
    bool paced = pacing != 0;
    if (SDL_Init(SDL_INIT_VIDEO) < 0) return 2;
    SDL_Window *win = SDL_CreateWindow("bramble", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                       640, 640, SDL_WINDOW_RESIZABLE);
    bare_ren = win ? SDL_CreateRenderer(win, -1, SDL_RENDERER_ACCELERATED) : nullptr;
    SDL_Texture *target = bare_ren ? SDL_CreateTexture(bare_ren, SDL_PIXELFORMAT_RGB888,
                                                       SDL_TEXTUREACCESS_TARGET, 640, 640)
                                   : nullptr;
    if (target == nullptr) return 2;
    if (Mix_OpenAudio(48000, AUDIO_S16LSB, 8, 1024) < 0) return 2;
    phase_up = mono_ms();
    SDL_AudioSpec want, have;
    SDL_memset(&want, 0, sizeof want);
    want.freq = 44100;
    want.format = AUDIO_F32LSB;
    want.channels = 1;
    want.samples = 4096;
    want.callback = bare_capture;
    SDL_AudioDeviceID mic = SDL_OpenAudioDevice(nullptr, 1, &want, &have, 0);
    if (mic == 0) return 2;
    SDL_PauseAudioDevice(mic, 0);

    bare_font = bare_image("atarifont.bmp");
    SDL_Texture *keyboard = scene == SCENE_KEYBOARD ? bare_image("keyboard.bmp") : nullptr;
    int kw = 0, kh = 0;
    if (keyboard) SDL_QueryTexture(keyboard, nullptr, nullptr, &kw, &kh);
    if (bare_font == nullptr || (scene == SCENE_KEYBOARD && keyboard == nullptr)) return 2;
    std::string music = std::string(RUNTIME_DIR) + "/asset/Hall-of-the-Mountain-King.wav";
    Mix_Music *mus = Mix_LoadMUS(music.c_str());
    if (mus == nullptr || Mix_PlayMusic(mus, 0) < 0) return 2;

    Uint8 bg[3] = {255, 25, 25};
    if (scene == SCENE_KEYBOARD)
        bg[0] = byte_of(KEYBOARD_BG.red), bg[1] = byte_of(KEYBOARD_BG.green),
        bg[2] = byte_of(KEYBOARD_BG.blue);
    if (scene == SCENE_CHUT)
        bg[0] = byte_of(CHUT_BG.red), bg[1] = byte_of(CHUT_BG.green), bg[2] = byte_of(CHUT_BG.blue);

    SDL_SetRenderDrawBlendMode(bare_ren, SDL_BLENDMODE_BLEND);
    FrameRecorder rec(frames, &project_heap_calls);
    phase_ready = mono_ms();
    uint32_t next = uint32_t(SDL_GetTicks64());
    for (;;) {
        SDL_Event ev;
        while (SDL_PollEvent(&ev))
            if (ev.type == SDL_QUIT) return 3; // closed, or SIGTERM: the run is void
        SDL_SetRenderTarget(bare_ren, target);
        SDL_SetRenderDrawColor(bare_ren, bg[0], bg[1], bg[2], 255);
        SDL_RenderClear(bare_ren);
        if (scene == SCENE_START) bare_start_screen();
        if (scene == SCENE_KEYBOARD) bare_keyboard(keyboard, kw, kh);
        if (scene == SCENE_CHUT) bare_chut();

        SDL_SetRenderTarget(bare_ren, nullptr);
        SDL_SetRenderDrawColor(bare_ren, 0, 0, 0, 255);
        SDL_RenderClear(bare_ren);
        int w, h;
        SDL_GetWindowSize(win, &w, &h);
        float s = std::min(float(w) / 640.0f, float(h) / 640.0f);
        SDL_Rect dst = {int((float(w) - s * 640) / 2), int((float(h) - s * 640) / 2), int(s * 640),
                        int(s * 640)};
        SDL_RenderCopy(bare_ren, target, nullptr, &dst);
        if (pacing == 2) {
            SDL_Delay(FRAME_MS);
        } else if (paced) {
            next += FRAME_MS;
            uint32_t now = uint32_t(SDL_GetTicks64());
            if (int32_t(next - now) > 0)
                SDL_Delay(next - now);
            else
                next = now;
        }
        SDL_RenderPresent(bare_ren);
        if (rec.presented()) break;
    }
    dump_window(bare_ren);
    rec.print(renderer_name(bare_ren).c_str(), paced ? FRAME_MS : 0);
    (void)bare_level;
    return 0;
}

// ===========================================================================
// Engine side of the peer comparison: the peer's scene drawn through the
// engine's own calls (no game, no audio: the peer plays none either).
// ===========================================================================
static VEK_Uint peer_font = 0;
static FrameRecorder *peer_rec = nullptr;

static int peer_frame(void *) {
    VEK_DrawBegin();
    VEK_DrawSetColor8(PEER_BG[0], PEER_BG[1], PEER_BG[2], 255);
    VEK_DrawClear();
    for (int i = 0; i < PEER_GLYPHS; i++) {
        PeerGlyph g = peer_glyph(i);
        VEK_DrawSetColor8(g.tint[0], g.tint[1], g.tint[2], 255);
        VEK_DrawImage(.id = peer_font, .x = g.x, .y = g.y, .ix = g.ix, .iy = g.iy, .w = 16, .h = 32,
                      .sx = PEER_SCALE, .sy = PEER_SCALE);
    }
    VEK_DrawSetColor8(PEER_RECT_COLOR[0], PEER_RECT_COLOR[1], PEER_RECT_COLOR[2], 255);
    VEK_DrawRectangle(.x = PEER_RECT[0], .y = PEER_RECT[1], .w = PEER_RECT[2], .h = PEER_RECT[3],
                      .fill = true);
    VEK_DrawEnd();
    return peer_rec->presented() ? 1 : 0;
}

static int run_engine_peer(int frames, bool paced) {
    if (VEK_Init(.width = 640, .height = 640, .target_fps = paced ? 60 : 0, .pixel_perfect = false,
                 .show_cursor = true, .mixer = VEK_MIXER_OFF, .basepath = RUNTIME_DIR,
                 .title = "bramble") != 0)
        return 2;
    peer_font = VEK_LoadResource("asset/atarifont.bmp");
    if (peer_font == 0) return 2;
    FrameRecorder rec(frames, &project_heap_calls);
    peer_rec = &rec;
    VEK_MainLoop(peer_frame, nullptr);
    if (VEK_ShouldQuit()) return 3;
    rec.print(renderer_name(___vek_renderer).c_str(), paced ? FRAME_MS : 0);
    VEK_Quit();
    wdeinit();
    return 0;
}

// ===========================================================================
// Sleep probe: no drawing, no SDL, only absolute 16 ms deadlines. Whatever
// lateness it shows is the machine's (the scheduler's and the load's), not a
// program's; it runs beside the paced runs as their yardstick.
// ===========================================================================
static int run_probe(int frames) {
    FrameRecorder rec(frames);
    timespec next;
    clock_gettime(CLOCK_MONOTONIC, &next);
    do {
        next.tv_nsec += FRAME_MS * 1000000L;
        if (next.tv_nsec >= 1000000000L) next.tv_nsec -= 1000000000L, next.tv_sec += 1;
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
    } while (!rec.presented());
    rec.print("none", FRAME_MS);
    return 0;
}

// ===========================================================================
// Parent: spawns the measured runs and prints the tables.
// ===========================================================================
struct Result {
    std::map<std::string, std::string> f;
    double startup_ms = 0;
    double num(const char *k) const {
        auto it = f.find(k);
        return it == f.end() ? NAN : atof(it->second.c_str());
    }
};

struct Child {
    pid_t pid = -1;
    int fd = -1;
    double t0 = 0;
};

static Child start_child(const std::vector<std::string> &args) {
    std::vector<char *> argv;
    for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    Child c;
    int fds[2];
    if (pipe(fds) != 0) return c;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
    posix_spawn_file_actions_addclose(&fa, fds[0]);
    c.t0 = mono_ms();
    if (posix_spawn(&c.pid, argv[0], &fa, nullptr, argv.data(), environ) != 0) c.pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    close(fds[1]);
    c.fd = fds[0];
    return c;
}

static bool finish_child(Child &c, Result &out) {
    std::string text;
    char buf[512];
    ssize_t k;
    while ((k = read(c.fd, buf, sizeof buf)) > 0) text.append(buf, size_t(k));
    close(c.fd);
    int status = 0;
    if (c.pid > 0) waitpid(c.pid, &status, 0);
    if (c.pid <= 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of(" \n", pos);
        if (end == std::string::npos) end = text.size();
        std::string tok = text.substr(pos, end - pos);
        size_t eq = tok.find('=');
        if (eq != std::string::npos) out.f[tok.substr(0, eq)] = tok.substr(eq + 1);
        pos = end + 1;
    }
    if (out.f.count("first") == 0) return false;
    out.startup_ms = out.num("first") - c.t0;
    return true;
}

static std::string self_path;

static std::vector<std::string> child_args(const std::string &exe, const char *side, Scene scene,
                                           int frames, bool paced, bool naive = false) {
    return {exe,
            "--child",
            side,
            SCENE_NAMES[scene],
            std::to_string(frames),
            naive ? "2" : paced ? "1" : "0"};
}

static bool run_one(const std::vector<std::string> &args, Result &r) {
    Child c = start_child(args);
    if (!finish_child(c, r)) {
        fprintf(stderr, "bench_frame: run failed: %s %s %s\n", args[2].c_str(), args[3].c_str(),
                args[5].c_str());
        return false;
    }
    return true;
}

struct Stat {
    double median = NAN, lo = NAN, hi = NAN;
};
static Stat stat_of(const std::vector<Result> &rs, const char *key, bool startup = false) {
    std::vector<double> v;
    for (const Result &r : rs) v.push_back(startup ? r.startup_ms : r.num(key));
    Stat s;
    if (v.empty()) return s;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    s.median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    s.lo = v.front();
    s.hi = v.back();
    return s;
}

static double median_of(std::vector<double> v) {
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

static std::string cell(Stat s, int prec) {
    char b[96];
    snprintf(b, sizeof b, "%.*f (%.*f to %.*f)", prec, s.median, prec, s.lo, prec, s.hi);
    return b;
}

static std::string renderer_of(const std::vector<Result> &rs) {
    if (rs.empty()) return "?";
    auto it = rs[0].f.find("renderer");
    std::string s = it == rs[0].f.end() ? "?" : it->second;
    for (char &c : s)
        if (c == '_') c = ' ';
    return s;
}

static const char *driver_text() {
    static std::string t;
    const char *v = getenv("SDL_VIDEODRIVER");
    const char *r = getenv("SDL_RENDER_DRIVER");
    const char *d = getenv("DISPLAY");
    t = std::string("video driver ") +
        (v   ? v
         : d ? "x11 (Xvfb)"
             : "default") +
        ", render driver " + (r ? r : "default");
    return t.c_str();
}

static const char *const PROBE_TITLE =
    "sleep probe: no drawing, absolute 16 ms deadlines (the machine's own wake-up lateness)";

static void pacing_header() {
    printf("| side | runs | interval mean ms | interval sd ms | p99 ms | max ms | drift at end ms "
           "| late frames |\n|---|---|---|---|---|---|---|---|\n");
}

static void pacing_row(const char *side, const std::vector<Result> &rs) {
    printf("| %s | %zu | %s | %s | %s | %s | %s | %s |\n", side, rs.size(),
           cell(stat_of(rs, "mean"), 3).c_str(), cell(stat_of(rs, "sd"), 3).c_str(),
           cell(stat_of(rs, "p99"), 2).c_str(), cell(stat_of(rs, "max"), 2).c_str(),
           cell(stat_of(rs, "drift"), 1).c_str(), cell(stat_of(rs, "late"), 0).c_str());
}

static int parent_frame(int frames, int runs) {
    const Scene scenes[] = {SCENE_START, SCENE_KEYBOARD, SCENE_CHUT};
    // [scene][paced][side: 0 game, 1 bare]
    std::vector<Result> res[3][2][2];
    for (int s = 0; s < 3; s++)
        for (int p = 1; p >= 0; p--)
            for (int i = 0; i < runs; i++)
                for (int side = 0; side < 2; side++) {
                    // Alternate which side goes first, so a slow drift of the
                    // machine's state does not favour one.
                    int sd = (i % 2) ? 1 - side : side;
                    Result r;
                    if (!run_one(child_args(self_path, sd == 0 ? "game" : "bare", scenes[s], frames,
                                            p == 1),
                                 r))
                        return 1;
                    res[s][p][sd].push_back(r);
                }

    // Start-up: many short unpaced runs, the sides alternating.
    const int startup_runs = std::max(20, 4 * runs);
    std::vector<Result> boot[3][2];
    for (int s = 0; s < 3; s++)
        for (int i = 0; i < startup_runs; i++)
            for (int side = 0; side < 2; side++) {
                int sd = (i % 2) ? 1 - side : side;
                Result r;
                if (!run_one(child_args(self_path, sd == 0 ? "game" : "bare", scenes[s], 2, false),
                             r))
                    return 1;
                boot[s][sd].push_back(r);
            }

    // The machine's own wake-up latency, for reference.
    std::vector<Result> probe;
    for (int i = 0; i < runs; i++) {
        Result r;
        if (!run_one(child_args(self_path, "probe", SCENE_START, frames, true), r)) return 1;
        probe.push_back(r);
    }

    // The naive loop for reference: the bare program sleeping a fixed 16 ms.
    std::vector<Result> naive;
    for (int i = 0; i < runs; i++) {
        Result r;
        if (!run_one(child_args(self_path, "bare", SCENE_START, frames, true, true), r)) return 1;
        naive.push_back(r);
    }

    printf("Renderer: game `%s`, bare `%s` (%s). %d frames per run after the first present, "
           "%d runs per side and setting; median (min to max).\n\n",
           renderer_of(res[0][1][0]).c_str(), renderer_of(res[0][1][1]).c_str(), driver_text(),
           frames, runs);

    printf("**CPU time per frame, ms** (goal: game at most 1.15 times bare)\n\n");
    printf("| scene | pacing | game | bare | game / bare |\n|---|---|---|---|---|\n");
    for (int s = 0; s < 3; s++)
        for (int p = 1; p >= 0; p--) {
            Stat g = stat_of(res[s][p][0], "cpu"), b = stat_of(res[s][p][1], "cpu");
            printf("| %s | %s | %s | %s | **%.3f** |\n", SCENE_TITLES[scenes[s]],
                   p ? "paced" : "unpaced", cell(g, 4).c_str(), cell(b, 4).c_str(),
                   g.median / b.median);
        }

    printf("\n**Pacing, %d paced frames** (all three scenes' paced runs; goal: mean 16.0 +/- 0.1, "
           "sd no worse than bare, no drift)\n\n",
           frames);
    std::vector<Result> pg, pb;
    for (int s = 0; s < 3; s++) {
        pg.insert(pg.end(), res[s][1][0].begin(), res[s][1][0].end());
        pb.insert(pb.end(), res[s][1][1].begin(), res[s][1][1].end());
    }
    pacing_header();
    pacing_row("game", pg);
    pacing_row("bare", pb);
    pacing_row("bare with a fixed 16 ms sleep instead (reference, start screen)", naive);
    pacing_row(PROBE_TITLE, probe);

    printf("\n**Start-up, process start to first present, ms** (%d unpaced runs per side and "
           "scene, alternating, so the first frame's wait for its due time does not count; goal: "
           "game at most 1.2 times bare)\n\n",
           startup_runs);
    printf("| scene | game | bare | game / bare | `main` to first present: game, bare, ratio | "
           "CPU time to first present: game, bare, ratio |\n|---|---|---|---|---|---|\n");
    for (int s = 0; s < 3; s++) {
        const std::vector<Result> &g = boot[s][0], &b = boot[s][1];
        Stat sg = stat_of(g, nullptr, true), sb = stat_of(b, nullptr, true);
        std::vector<double> mg, mb;
        for (const Result &r : g) mg.push_back(r.num("first") - r.num("main"));
        for (const Result &r : b) mb.push_back(r.num("first") - r.num("main"));
        Stat cg = stat_of(g, "cpufirst"), cb = stat_of(b, "cpufirst");
        printf("| %s | %s | %s | **%.3f** | %.1f, %.1f, %.3f | %.1f, %.1f, %.3f |\n",
               SCENE_TITLES[scenes[s]], cell(sg, 1).c_str(), cell(sb, 1).c_str(),
               sg.median / sb.median, median_of(mg), median_of(mb), median_of(mg) / median_of(mb),
               cg.median, cb.median, cg.median / cb.median);
    }
    printf("\nWhere the start-up goes, ms (medians of the same runs): process start to `main` "
           "(both sides are the same executable); `main` to SDL up (video, window, renderer, "
           "picture, audio device: `VEK_Init` on the game side); then to the first frame "
           "(microphone, world, sequencer, files, music); the first frame to its present (the "
           "game loads its pictures there, on first use).\n\n");
    printf("| scene | side | to main | to SDL up | to first frame | first frame |\n"
           "|---|---|---|---|---|---|\n");
    for (int s = 0; s < 3; s++)
        for (int side = 0; side < 2; side++) {
            std::vector<double> a, b, c, d;
            for (const Result &r : boot[s][side]) {
                double t0 = r.num("first") - r.startup_ms;
                a.push_back(r.num("main") - t0);
                b.push_back(r.num("up") - r.num("main"));
                c.push_back(r.num("ready") - r.num("up"));
                d.push_back(r.num("first") - r.num("ready"));
            }
            printf("| %s | %s | %.1f | %.1f | %.1f | %.1f |\n", SCENE_TITLES[scenes[s]],
                   side ? "bare" : "game", median_of(a), median_of(b), median_of(c), median_of(d));
        }

    printf("\n**Peak resident size (VmHWM), MiB** (paced runs; goal: game at most 8 MB more "
           "than bare)\n\n");
    printf("| scene | game | bare | game - bare |\n|---|---|---|---|\n");
    for (int s = 0; s < 3; s++) {
        Stat g = stat_of(res[s][1][0], "hwm"), b = stat_of(res[s][1][1], "hwm");
        for (Stat *x : {&g, &b}) x->median /= 1024, x->lo /= 1024, x->hi /= 1024;
        printf("| %s | %s | %s | **%+.2f** |\n", SCENE_TITLES[scenes[s]], cell(g, 2).c_str(),
               cell(b, 2).c_str(), g.median - b.median);
    }

    printf("\n**Heap calls per frame** (malloc, calloc, realloc; goal: none from the engine or "
           "the game)\n\n");
    printf("| scene | pacing | engine and game | whole game process | whole bare process "
           "|\n|---|---|---|---|---|\n");
    for (int s = 0; s < 3; s++)
        for (int p = 1; p >= 0; p--)
            printf("| %s | %s | max %.4f | %s | %s |\n", SCENE_TITLES[scenes[s]],
                   p ? "paced" : "unpaced", stat_of(res[s][p][0], "project_heap").hi,
                   cell(stat_of(res[s][p][0], "process_heap"), 3).c_str(),
                   cell(stat_of(res[s][p][1], "process_heap"), 3).c_str());
    return 0;
}

static int parent_pacing(int frames, int runs) {
    // All runs at once: each takes frames x 16 ms and mostly sleeps.
    const char *const sides[3] = {"game", "bare", "probe"};
    std::vector<Child> kids[3];
    for (int i = 0; i < runs; i++)
        for (int side = 0; side < 3; side++)
            kids[side].push_back(
                start_child(child_args(self_path, sides[side], SCENE_START, frames, true)));
    std::vector<Result> res[3];
    for (int side = 0; side < 3; side++)
        for (Child &c : kids[side]) {
            Result r;
            if (!finish_child(c, r)) {
                fprintf(stderr, "bench_frame: long paced run failed\n");
                return 1;
            }
            res[side].push_back(r);
        }
    printf("Renderer: `%s` (%s). %d paced frames per run, start screen, %d runs per side, all "
           "%d processes (with the sleep probes) running at once; median (min to max).\n\n",
           renderer_of(res[0]).c_str(), driver_text(), frames, runs, 3 * runs);
    pacing_header();
    pacing_row("game", res[0]);
    pacing_row("bare", res[1]);
    pacing_row(PROBE_TITLE, res[2]);
    return 0;
}

static int parent_peer(int frames, int runs, const std::string &peer) {
    std::vector<Result> res[2][2]; // [paced][0 engine, 1 peer]
    for (int p = 1; p >= 0; p--)
        for (int i = 0; i < runs; i++)
            for (int side = 0; side < 2; side++) {
                int sd = (i % 2) ? 1 - side : side;
                std::vector<std::string> args =
                    sd == 0 ? child_args(self_path, "engine", SCENE_PEER, frames, p == 1)
                            : std::vector<std::string>{peer, std::to_string(frames), p ? "1" : "0",
                                                       std::string(RUNTIME_DIR) +
                                                           "/asset/atarifont.bmp"};
                Result r;
                Child c = start_child(args);
                if (!finish_child(c, r)) {
                    fprintf(stderr, "bench_frame: %s run failed\n", sd ? "peer" : "engine");
                    return 1;
                }
                res[p][sd].push_back(r);
            }
    printf("Renderer: engine `%s`, peer `%s` (%s). %d frames per run, %d runs per side; median "
           "(min to max).\n\n",
           renderer_of(res[1][0]).c_str(), renderer_of(res[1][1]).c_str(), driver_text(), frames,
           runs);
    printf("| pacing | engine cpu ms/frame | peer cpu ms/frame | engine / peer | engine interval "
           "sd ms | peer interval sd ms | engine VmHWM MiB | peer VmHWM MiB "
           "|\n|---|---|---|---|---|---|---|---|\n");
    for (int p = 1; p >= 0; p--) {
        Stat e = stat_of(res[p][0], "cpu"), q = stat_of(res[p][1], "cpu");
        printf("| %s | %s | %s | **%.3f** | %.3f | %.3f | %.1f | %.1f |\n", p ? "paced" : "unpaced",
               cell(e, 4).c_str(), cell(q, 4).c_str(), e.median / q.median,
               stat_of(res[p][0], "sd").median, stat_of(res[p][1], "sd").median,
               stat_of(res[p][0], "hwm").median / 1024, stat_of(res[p][1], "hwm").median / 1024);
    }
    return 0;
}

static Scene scene_named(const char *s) {
    for (int i = 0; i < 4; i++)
        if (strcmp(s, SCENE_NAMES[i]) == 0) return Scene(i);
    return Scene(-1);
}

int main(int argc, char **argv) {
    phase_main = mono_ms();
    if (argc == 6 && strcmp(argv[1], "--child") == 0) {
        Scene scene = scene_named(argv[3]);
        int frames = atoi(argv[4]);
        int pacing = atoi(argv[5]);
        bool paced = pacing != 0;
        if (frames < 2 || int(scene) < 0) return 2;
        if (strcmp(argv[2], "game") == 0) return run_game(scene, frames, paced);
        if (strcmp(argv[2], "bare") == 0) return run_bare(scene, frames, pacing);
        if (strcmp(argv[2], "engine") == 0) return run_engine_peer(frames, paced);
        if (strcmp(argv[2], "probe") == 0) return run_probe(frames);
        return 2;
    }
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return 2;
    exe[n] = '\0';
    self_path = exe;

    std::string mode = argc > 1 ? argv[1] : "frame";
    int frames = 600, runs = 5;
    std::string peer = self_path.substr(0, self_path.rfind('/') + 1) + "bench_peer";
    for (int i = 2; i + 1 < argc; i += 2) {
        if (strcmp(argv[i], "--frames") == 0) frames = atoi(argv[i + 1]);
        if (strcmp(argv[i], "--runs") == 0) runs = atoi(argv[i + 1]);
        if (strcmp(argv[i], "--peer") == 0) peer = argv[i + 1];
    }
    if (frames < 2 || runs < 1) return 2;
    if (mode == "frame") return parent_frame(frames, runs);
    if (mode == "pacing") return parent_pacing(frames, runs);
    if (mode == "peer") return parent_peer(frames, runs, peer);
    fprintf(stderr, "usage: bench_frame frame|pacing|peer [--frames N] [--runs R] [--peer PATH]\n");
    return 2;
}
