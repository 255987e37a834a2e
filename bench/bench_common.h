// SPDX-License-Identifier: Zlib
// Shared by the frame benchmark's programs (bench_frame, bench_peer): clocks, the
// per-frame recorder every measured program runs, and the one result line a
// measured child prints for the parent to read.
#pragma once

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

// Heap calls made anywhere in the process (malloc, calloc, realloc), counted by
// bench/heap_count.cpp, which replaces the C library's entry points for the whole
// process, shared libraries included.
extern std::atomic<size_t> process_heap_calls;

inline double mono_ms() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

inline double cpu_ms() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// Peak resident size so far, from the kernel's high-water mark, in KiB.
inline long peak_rss_kib() {
    FILE *fp = fopen("/proc/self/status", "r");
    if (fp == nullptr) return -1;
    char line[256];
    long kib = -1;
    while (fgets(line, sizeof line, fp) != nullptr)
        if (sscanf(line, "VmHWM: %ld kB", &kib) == 1) break;
    fclose(fp);
    return kib;
}

// Start-up milestones of a measured child (monotonic ms): main() entered; SDL's
// video, window, renderer, picture and audio up; everything loaded, just before
// the first frame. The parent turns them into the start-up breakdown.
inline double phase_main = 0, phase_up = 0, phase_ready = 0;

// Records one measured run: the first present (the end of start-up), then
// `frames` further frames whose presents, CPU time and heap calls are counted.
// Everything it needs is allocated before the first frame.
struct FrameRecorder {
    int frames = 0;
    int done = -1; // frames presented after the first one
    std::vector<double> stamps;
    double cpu0 = 0, cpu1 = 0;
    size_t proc0 = 0, proc1 = 0;
    size_t project0 = 0, project1 = 0;
    const size_t *project_counter = nullptr; // calls made by the engine and game, if counted

    explicit FrameRecorder(int n, const size_t *project = nullptr)
        : frames(n), project_counter(project) {
        stamps.reserve(size_t(n) + 1);
    }

    // Call right after each present. True once the last frame is in.
    bool presented() {
        stamps.push_back(mono_ms());
        done += 1;
        if (done == 0) {
            cpu0 = cpu_ms();
            proc0 = process_heap_calls.load(std::memory_order_relaxed);
            project0 = project_counter ? *project_counter : 0;
        }
        if (done == frames) {
            cpu1 = cpu_ms();
            proc1 = process_heap_calls.load(std::memory_order_relaxed);
            project1 = project_counter ? *project_counter : 0;
            return true;
        }
        return false;
    }

    // One line of "key=value" fields; the parent reads it back.
    void print(const char *renderer, int paced_ms) const {
        std::vector<double> iv;
        for (size_t i = 1; i < stamps.size(); i++) iv.push_back(stamps[i] - stamps[i - 1]);
        double mean = 0, sd = 0;
        for (double d : iv) mean += d;
        mean /= double(iv.size());
        for (double d : iv) sd += (d - mean) * (d - mean);
        sd = std::sqrt(sd / double(iv.size()));
        std::vector<double> sorted = iv;
        std::sort(sorted.begin(), sorted.end());
        double p99 = sorted[std::min(sorted.size() - 1, size_t(double(sorted.size()) * 0.99))];
        int late = 0;
        for (double d : iv)
            if (paced_ms > 0 && d > paced_ms + 1.5) late += 1;
        // Drift: how far the schedule has moved by the end. Each present's offset
        // from an exact 16 ms grid, stamp[k] - 16 k, compared between the last and
        // the first tenth of the run (medians, so one slow present at either end
        // does not count as drift). A late frame that restarts the schedule moves
        // every later offset; a due-time schedule that holds keeps them level.
        double drift = 0;
        if (paced_ms > 0) {
            size_t k = std::max<size_t>(1, std::min<size_t>(60, stamps.size() / 10));
            std::vector<double> head, tail;
            for (size_t i = 0; i < k; i++) {
                head.push_back(stamps[i] - double(paced_ms) * double(i));
                size_t j = stamps.size() - 1 - i;
                tail.push_back(stamps[j] - double(paced_ms) * double(j));
            }
            std::sort(head.begin(), head.end());
            std::sort(tail.begin(), tail.end());
            drift = tail[k / 2] - head[k / 2];
        }
        printf("main=%.3f up=%.3f ready=%.3f cpufirst=%.3f ", phase_main, phase_up, phase_ready,
               cpu0);
        printf("first=%.3f cpu=%.5f mean=%.4f sd=%.4f p99=%.3f max=%.3f drift=%.2f late=%d "
               "hwm=%ld project_heap=%.4f process_heap=%.4f renderer=%s\n",
               stamps.front(), (cpu1 - cpu0) / frames, mean, sd, p99, sorted.back(), drift, late,
               peak_rss_kib(), double(project1 - project0) / frames, double(proc1 - proc0) / frames,
               renderer);
        fflush(stdout);
    }
};

// Renderer text without blanks, for the result line ("llvmpipe (LLVM 15...)" ->
// "llvmpipe_(LLVM_15...)").
inline void no_blanks(char *s) {
    for (; *s; s++)
        if (*s == ' ') *s = '_';
}

// The peer comparison's scene, drawn the same way by the engine and by the peer
// program: a cleared 640 x 640 picture, 40 glyph cut-outs of the font sheet at
// twice their size, each with its own tint, and one filled rectangle.
inline constexpr int PEER_GLYPHS = 40;
inline constexpr float PEER_SCALE = 2.0f;
inline constexpr unsigned char PEER_BG[3] = {40, 60, 90};
inline constexpr unsigned char PEER_RECT_COLOR[3] = {250, 200, 40};
inline constexpr int PEER_RECT[4] = {120, 480, 400, 80}; // x, y, w, h

struct PeerGlyph {
    int x, y;   // top-left corner on the picture
    int ix, iy; // cell corner in the sheet (16 x 32 cells, 16 per row)
    unsigned char tint[3];
};

inline PeerGlyph peer_glyph(int i) {
    int code = 33 + (i * 7) % 94; // printable, never a blank
    PeerGlyph g;
    g.x = 80 + 48 * (i % 10);
    g.y = 60 + 96 * (i / 10);
    g.ix = (code % 16) * 16;
    g.iy = (code / 16) * 32;
    g.tint[0] = (unsigned char)(80 + 175 * (i % 4) / 3);
    g.tint[1] = (unsigned char)(80 + 175 * ((i / 4) % 4) / 3);
    g.tint[2] = (unsigned char)(i % 2 ? 255 : 128);
    return g;
}
