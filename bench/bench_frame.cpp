// Frame benchmark: the engine's paced frame of a clear against a bare SDL2 loop
// doing the same work (same window, off-screen target, letterboxed composition and
// 16 ms due-time schedule). Each side runs in its own process so start-up is
// measured from process start to the first present.
//
//   bench_frame [frames] [runs]        parent: runs both sides, prints the table
//   bench_frame --side engine|bare N [--unpaced]   child: one run, prints raw figures
#include "VEK.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char **environ;

static double mono_ms() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

static double cpu_ms() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

struct Run {
    double first_present_ms = 0; // monotonic clock at the first present
    double cpu_per_frame_ms = 0;
    double interval_mean_ms = 0, interval_sd_ms = 0;
};

static void summarise_intervals(const std::vector<double> &t, Run &r) {
    double sum = 0, sq = 0;
    size_t n = t.size() - 1;
    for (size_t i = 1; i < t.size(); i++) sum += t[i] - t[i - 1];
    r.interval_mean_ms = sum / double(n);
    for (size_t i = 1; i < t.size(); i++) {
        double d = t[i] - t[i - 1] - r.interval_mean_ms;
        sq += d * d;
    }
    r.interval_sd_ms = std::sqrt(sq / double(n));
}

static int frame_of_engine(void *) { return 0; }

static Run run_engine(int frames, bool paced) {
    Run r;
    if (VEK_Init(.width = 640, .height = 640, .target_fps = paced ? 60 : 0, .pixel_perfect = false,
                 .show_cursor = true, .mixer = VEK_MIXER_OFF, .basepath = "/",
                 .title = "bench") != 0)
        exit(2);
    std::vector<double> stamps;
    stamps.reserve(size_t(frames));
    double cpu0 = 0;
    for (int i = 0; i < frames; i++) {
        VEK_CycleEvents();
        frame_of_engine(nullptr);
        VEK_DrawBegin();
        VEK_DrawSetColor(.r = 1.0f, .g = 0.1f, .b = 0.1f);
        VEK_DrawClear();
        VEK_DrawEnd();
        stamps.push_back(mono_ms());
        if (i == 0) {
            r.first_present_ms = stamps[0];
            cpu0 = cpu_ms();
        }
    }
    r.cpu_per_frame_ms = (cpu_ms() - cpu0) / (frames - 1);
    summarise_intervals(stamps, r);
    VEK_Quit();
    return r;
}

static Run run_bare(int frames, bool paced) {
    Run r;
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER) < 0) exit(2);
    SDL_Window *win = SDL_CreateWindow("bench", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                       640, 640, SDL_WINDOW_RESIZABLE);
    SDL_Renderer *ren = SDL_CreateRenderer(win, -1, SDL_RENDERER_ACCELERATED);
    SDL_Texture *target = SDL_CreateTexture(ren, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_TARGET,
                                            640, 640);
    if (!win || !ren || !target) exit(2);
    uint32_t next = uint32_t(SDL_GetTicks64());
    std::vector<double> stamps;
    stamps.reserve(size_t(frames));
    double cpu0 = 0;
    for (int i = 0; i < frames; i++) {
        SDL_Event ev;
        while (SDL_PollEvent(&ev)) {
        }
        SDL_SetRenderDrawBlendMode(ren, SDL_BLENDMODE_BLEND);
        SDL_SetRenderTarget(ren, target);
        SDL_SetRenderDrawColor(ren, 255, 25, 25, 255);
        SDL_RenderClear(ren);
        SDL_SetRenderTarget(ren, nullptr);
        SDL_SetRenderDrawColor(ren, 0, 0, 0, 255);
        SDL_RenderClear(ren);
        int w, h;
        SDL_GetWindowSize(win, &w, &h);
        float s = std::min(float(w) / 640.0f, float(h) / 640.0f);
        SDL_Rect dst = {int((w - s * 640) / 2), int((h - s * 640) / 2), int(s * 640),
                        int(s * 640)};
        SDL_RenderCopy(ren, target, nullptr, &dst);
        if (paced) {
            next += 16;
            uint32_t now = uint32_t(SDL_GetTicks64());
            if (int32_t(next - now) > 0) SDL_Delay(next - now);
            else next = now;
        }
        SDL_RenderPresent(ren);
        stamps.push_back(mono_ms());
        if (i == 0) {
            r.first_present_ms = stamps[0];
            cpu0 = cpu_ms();
        }
    }
    r.cpu_per_frame_ms = (cpu_ms() - cpu0) / (frames - 1);
    summarise_intervals(stamps, r);
    SDL_DestroyTexture(target);
    SDL_DestroyRenderer(ren);
    SDL_DestroyWindow(win);
    SDL_Quit();
    return r;
}

// Runs one side in a child process; returns its figures with the start-up time
// measured from just before the spawn.
static bool spawn_side(const char *self, const char *side, int frames, bool paced, Run &out,
                       double &startup_ms) {
    std::string n = std::to_string(frames);
    std::vector<const char *> argv = {self, "--side", side, n.c_str()};
    if (!paced) argv.push_back("--unpaced");
    argv.push_back(nullptr);
    int fds[2];
    if (pipe(fds) != 0) return false;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
    posix_spawn_file_actions_addclose(&fa, fds[0]);
    double t0 = mono_ms();
    pid_t pid;
    if (posix_spawn(&pid, self, &fa, nullptr, const_cast<char **>(argv.data()), environ) != 0)
        return false;
    close(fds[1]);
    char buf[512] = {0};
    ssize_t got = 0, k;
    while ((k = read(fds[0], buf + got, sizeof buf - 1 - size_t(got))) > 0) got += k;
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    posix_spawn_file_actions_destroy(&fa);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
    if (sscanf(buf, "%lf %lf %lf %lf", &out.first_present_ms, &out.cpu_per_frame_ms,
               &out.interval_mean_ms, &out.interval_sd_ms) != 4)
        return false;
    startup_ms = out.first_present_ms - t0;
    return true;
}

struct Stat {
    double median, lo, hi;
};
static Stat stat_of(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v.front(), v.back()};
}

int main(int argc, char **argv) {
    if (argc >= 4 && strcmp(argv[1], "--side") == 0) {
        int frames = atoi(argv[3]);
        bool paced = !(argc >= 5 && strcmp(argv[4], "--unpaced") == 0);
        Run r = strcmp(argv[2], "engine") == 0 ? run_engine(frames, paced) : run_bare(frames, paced);
        printf("%.3f %.5f %.4f %.4f\n", r.first_present_ms, r.cpu_per_frame_ms,
               r.interval_mean_ms, r.interval_sd_ms);
        return 0;
    }
    int frames = argc > 1 ? atoi(argv[1]) : 600;
    int runs = argc > 2 ? atoi(argv[2]) : 5;
    const char *driver = getenv("SDL_VIDEODRIVER");
    printf("bench_frame: %d frames x %d runs per side, 640x640, video driver %s, render driver %s\n",
           frames, runs, driver ? driver : "(default)",
           getenv("SDL_RENDER_DRIVER") ? getenv("SDL_RENDER_DRIVER") : "(default)");
    printf("%-8s %-7s %26s %26s %26s %26s\n", "side", "pacing", "cpu/frame ms med [min,max]",
           "interval mean ms", "interval sd ms", "start->present ms");
    for (bool paced : {true, false}) {
        double cpu_med[2] = {0, 0}, sd_med[2] = {0, 0}, st_med[2] = {0, 0};
        for (int s = 0; s < 2; s++) {
            const char *side = s == 0 ? "engine" : "bare";
            std::vector<double> cpu, mean, sd, startup;
            for (int i = 0; i < runs; i++) {
                Run r;
                double st = 0;
                if (!spawn_side(argv[0], side, frames, paced, r, st)) {
                    fprintf(stderr, "bench_frame: %s run failed\n", side);
                    return 1;
                }
                cpu.push_back(r.cpu_per_frame_ms);
                mean.push_back(r.interval_mean_ms);
                sd.push_back(r.interval_sd_ms);
                startup.push_back(st);
            }
            Stat c = stat_of(cpu), m = stat_of(mean), d = stat_of(sd), u = stat_of(startup);
            printf("%-8s %-7s %8.4f [%7.4f,%7.4f] %8.3f [%6.3f,%6.3f] %8.3f [%6.3f,%6.3f] "
                   "%8.2f [%6.2f,%6.2f]\n",
                   side, paced ? "paced" : "unpaced", c.median, c.lo, c.hi, m.median, m.lo, m.hi,
                   d.median, d.lo, d.hi, u.median, u.lo, u.hi);
            cpu_med[s] = c.median;
            sd_med[s] = d.median;
            st_med[s] = u.median;
        }
        printf("ratio engine/bare (%s): cpu/frame %.3f, interval sd %.3f, start-up %.3f\n",
               paced ? "paced" : "unpaced", cpu_med[0] / cpu_med[1], sd_med[0] / sd_med[1],
               st_med[0] / st_med[1]);
    }
    return 0;
}
