// SPDX-License-Identifier: Zlib
// Engine services micro-benchmarks: registry look-up, glyph drawing, the
// per-frame event cycle with watched files, the tracked allocator.
//
// Runs headless (dummy video, software renderer) against a temporary directory
// holding the eight files the registry watches. The heap calls made by the
// engine and this file are counted through link-time wrappers, so the event
// cycle can be checked to allocate nothing.
#include "VEK.h"
#include "_.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

// ---------------------------------------------------------------------------
// Heap call counter (linked with --wrap for malloc, calloc and realloc; the
// shared libraries' own calls are not seen, the engine's all are)
// ---------------------------------------------------------------------------
static size_t heap_calls = 0;
extern "C" {
void *__real_malloc(size_t);
void *__real_calloc(size_t, size_t);
void *__real_realloc(void *, size_t);
void *__wrap_malloc(size_t n) {
    heap_calls++;
    return __real_malloc(n);
}
void *__wrap_calloc(size_t n, size_t m) {
    heap_calls++;
    return __real_calloc(n, m);
}
void *__wrap_realloc(void *p, size_t n) {
    heap_calls++;
    return __real_realloc(p, n);
}
}

// ---------------------------------------------------------------------------
// Fixture data: a running engine with eight file-backed resources
// ---------------------------------------------------------------------------
static std::string dir;
static const char *const files[8] = {"font.bmp",   "keyboard.bmp", "world.csv", "notes.txt",
                                     "level1.txt", "level2.txt",   "tiles.bmp", "credits.txt"};
static VEK_Uint font = 0;

static void write_bmp(const std::string &path, int w, int h) {
    SDL_Surface *s = SDL_CreateRGBSurfaceWithFormat(0, w, h, 24, SDL_PIXELFORMAT_RGB24);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            auto *p = static_cast<uint8_t *>(s->pixels) + y * s->pitch + x * 3;
            p[0] = uint8_t(x), p[1] = uint8_t(y), p[2] = uint8_t((x ^ y) & 0x80 ? 255 : 0);
        }
    SDL_SaveBMP(s, path.c_str());
    SDL_FreeSurface(s);
}

static bool setup(void) {
    char tmpl[] = "/tmp/bramble-bench-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) return false;
    dir = tmpl;
    for (const char *f : files) {
        std::string path = dir + "/" + f;
        if (std::string(f).ends_with(".bmp")) {
            write_bmp(path, 256, 256);
        } else {
            FILE *fp = fopen(path.c_str(), "wb");
            if (fp == nullptr) return false;
            fputs("0,1,2,3\n4,5,6,7\n", fp);
            fclose(fp);
        }
    }
    if (VEK_Init(.width = 640, .height = 640, .target_fps = 0, .mixer = VEK_MIXER_OFF,
                 .basepath = dir.c_str(), .title = "bench") != 0)
        return false;
    for (const char *f : files)
        if (VEK_LoadResource(f) == 0) return false;
    // The loads above allocated; if nothing was counted the wrappers are not
    // linked in and the event cycle's "no heap calls" would prove nothing.
    if (heap_calls == 0) {
        fprintf(stderr, "bench_services: heap calls are not being counted\n");
        return false;
    }
    font = VEK_LoadResource("font.bmp");
    VEK_ResourcesWatch(); // record every file's time once, as the first frame would
    return true;
}

// ---------------------------------------------------------------------------
// Benchmarks
// ---------------------------------------------------------------------------

// Loading an already-loaded path: a scan of the table; Arg is the position of
// the path among the eight (0 first, 7 last, the longest scan).
static void BM_RegistryLookupHit(benchmark::State &state) {
    const char *path = files[state.range(0)];
    VEK_Uint expect = VEK_Uint(state.range(0) + 1);
    for (auto _ : state) {
        VEK_Uint id = VEK_LoadResource(path);
        benchmark::DoNotOptimize(id);
        if (id != expect) state.SkipWithError("look-up gave the wrong id");
    }
}
BENCHMARK(BM_RegistryLookupHit)->Arg(0)->Arg(7);

// A 12-character string as the bitmap text draws it: one 16x32 cut-out of a
// 256x256 sheet per character, at scale 2, onto the 640x640 picture.
static void BM_GlyphString12(benchmark::State &state) {
    const char *text = "HELLO WORLD!";
    VEK_DrawBegin();
    VEK_DrawSetColor(.r = 1, .g = 1, .b = 1, .a = 1);
    for (auto _ : state) {
        for (int i = 0; i < 12; i++) {
            int c = static_cast<unsigned char>(text[i]) & 0x7f;
            VEK_DrawImage(.id = font, .x = 10 + 32 * i, .y = 100, .ix = (c % 16) * 16,
                          .iy = (c / 16) * 32, .w = 16, .h = 32, .sx = 2, .sy = 2);
        }
    }
    state.SetItemsProcessed(state.iterations() * 12);
}
BENCHMARK(BM_GlyphString12);

// One per-frame event cycle: stat of the eight watched files (none changed),
// state ageing, an empty event queue, the controllers.
static void BM_EventCycleEmpty8Watched(benchmark::State &state) {
    for (int i = 0; i < 8; i++) VEK_CycleEvents(); // drain start-up events
    size_t live = alloc_live_count();
    size_t calls = heap_calls;
    for (auto _ : state) VEK_CycleEvents();
    size_t made = heap_calls - calls;
    state.counters["heap_calls"] = double(made);
    if (made != 0 || alloc_live_count() != live) state.SkipWithError("the event cycle allocated");
}
BENCHMARK(BM_EventCycleEmpty8Watched);

// A tracked block taken and given back, with the engine's own blocks (the
// table, paths, raw bytes) live in the tracking table.
static void BM_TrackedAllocFree(benchmark::State &state) {
    for (auto _ : state) {
        void *p = alloc(64);
        benchmark::DoNotOptimize(p);
        _free(p);
    }
    state.counters["live_blocks"] = double(alloc_live_count());
}
BENCHMARK(BM_TrackedAllocFree);

int main(int argc, char **argv) {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_RENDER_DRIVER", "software", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    bool ok = setup();
    if (ok)
        benchmark::RunSpecifiedBenchmarks();
    else
        fprintf(stderr, "bench_services: engine set-up failed\n");
    benchmark::Shutdown();
    VEK_Quit();
    wdeinit();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return ok ? 0 : 1;
}
