// SPDX-License-Identifier: Zlib
// Soak run of the real game loop: unpaced frames (target_fps 0) of the game's own
// main_loop on SDL's dummy drivers, with input events fed through SDL's queue
// and the hot-reload watcher kept busy: a second thread rewrites the font sheet
// and the keyboard picture every second (a changed copy, the original, and now
// and then a half-written file that must be refused). Finished runs go back to
// the start screen, so the run is played again and again for the whole time.
//
//   soak SECONDS RUNTIME_DIR [REPORT_EVERY]
//
// RUNTIME_DIR is a build's game/ directory (the executable's asset/ and res/);
// its files are copied to a scratch directory, which becomes the working
// directory. Prints one line per REPORT_EVERY seconds (default 60) with frames,
// resident memory, the resource table and the tracked blocks, then a summary.
// Exit status 1 when the resource table grew beyond the game's assets or the
// tracked blocks grew after the first report.
#include "VEK.h"
#include "_.h"
#include "cfg.h"
#include "minigame_manager.h"
#include "record.h"
#include "start_screen.h"
#include "world.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

extern size_t ___vek_resources_size;
extern VEK_Resource *___vek_resources;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// The images the game loads by path: the only records its table may ever hold.
const char *const WATCHED[] = {"asset/atarifont.bmp", "asset/keyboard.bmp"};
constexpr size_t GAME_ASSETS = 2;

long rss_kib(void) {
    long pages = 0, resident = 0;
    FILE *fp = fopen("/proc/self/statm", "r");
    if (fp == nullptr) return -1;
    if (fscanf(fp, "%ld %ld", &pages, &resident) != 2) resident = -1;
    fclose(fp);
    return resident < 0 ? -1 : resident * (sysconf(_SC_PAGESIZE) / 1024);
}

std::string slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void put(const std::string &path, const std::string &bytes) {
    // Written in place, as an editor would: the watcher may catch it half done.
    FILE *fp = fopen(path.c_str(), "wb");
    if (fp == nullptr) return;
    fwrite(bytes.data(), 1, bytes.size(), fp);
    fclose(fp);
}

// Rewrites the watched pictures once a second until told to stop: a copy with
// the last pixel bytes inverted, the original, and every fifth time the first
// half only. The modification time moves by a second each time, so the watcher
// reloads (or refuses) every file every second.
void rewriter(const std::atomic<bool> *stop, std::atomic<long> *writes) {
    std::vector<std::string> original;
    for (const char *p : WATCHED) original.push_back(slurp(p));
    for (long n = 0; !stop->load(); n++) {
        for (size_t i = 0; i < original.size(); i++) {
            std::string bytes = original[i];
            if (n % 5 == 4) {
                bytes.resize(bytes.size() / 2);
            } else if (n % 2 == 0) {
                for (size_t k = bytes.size() - 64; k < bytes.size(); k++)
                    bytes[k] = char(~bytes[k]);
            }
            put(WATCHED[i], bytes);
            writes->fetch_add(1);
        }
        for (int t = 0; t < 10 && !stop->load(); t++)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

void push_mouse(Uint32 type, int x, int y) {
    SDL_Event ev{};
    ev.type = type;
    ev.button.button = SDL_BUTTON_LEFT;
    ev.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
    ev.button.x = x;
    ev.button.y = y;
    SDL_PushEvent(&ev);
}

void push_motion(int x, int y) {
    SDL_Event ev{};
    ev.type = SDL_MOUSEMOTION;
    ev.motion.x = x;
    ev.motion.y = y;
    SDL_PushEvent(&ev);
}

void push_key(Uint32 type, SDL_Scancode sc) {
    SDL_Event ev{};
    ev.type = type;
    ev.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    ev.key.keysym.scancode = sc;
    SDL_PushEvent(&ev);
}

// One input step every 40 ms, as a player would: on the start screen a click on
// the word; during the run presses of E and other letters, clicks and pointer
// moves. Presses are released at the next step.
void feed_input(long step) {
    static SDL_Scancode held_key = SDL_SCANCODE_UNKNOWN;
    static bool held_button = false;
    if (held_key != SDL_SCANCODE_UNKNOWN) push_key(SDL_KEYUP, held_key);
    if (held_button) push_mouse(SDL_MOUSEBUTTONUP, 320, 320);
    held_key = SDL_SCANCODE_UNKNOWN;
    held_button = false;
    if (step % 2 == 1) return; // a step of releases only

    if (game.start == 0) {
        push_mouse(SDL_MOUSEBUTTONDOWN, 320, 320);
        held_button = true;
        return;
    }
    switch (step / 2 % 4) {
    case 0:
        held_key = SDL_SCANCODE_E;
        break;
    case 1:
        held_key = static_cast<SDL_Scancode>(SDL_SCANCODE_A + rand() % 26);
        break;
    case 2:
        push_mouse(SDL_MOUSEBUTTONDOWN, 320, 320);
        held_button = true;
        return;
    default:
        push_motion(rand() % cfg.display_width, rand() % cfg.display_height);
        return;
    }
    push_key(SDL_KEYDOWN, held_key);
}

// Back to the start screen after the finish text, as a fresh process would begin.
void restart_run(void) {
    minigame_init(); // also puts game.start back to 0
    game.music = false;
    font_size = 4.0;
    duration1[0] = duration1[1] = duration2[0] = duration2[1] = 0;
    duration_start[0] = duration_start[1] = 0;
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: %s SECONDS RUNTIME_DIR [REPORT_EVERY]\n", argv[0]);
        return 2;
    }
    const long seconds = atol(argv[1]);
    const long every = argc > 3 ? atol(argv[3]) : 60;
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_RENDER_DRIVER", "software", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent", 0);

    char tmpl[] = "/tmp/bramble-soak-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) return 1;
    const fs::path dir = tmpl;
    for (const char *sub : {"asset", "res"})
        fs::copy(fs::path(argv[2]) / sub, dir / sub, fs::copy_options::recursive);

    // The game's own start order (its entry point, minus the pacing).
    srand(static_cast<unsigned int>(time(NULL)));
    atexit(wdeinit);
    if (VEK_Init(.width = cfg.display_width, .height = cfg.display_height, .target_fps = 0,
                 .pixel_perfect = false, .show_cursor = true, .basepath = dir.c_str(),
                 .title = "bramble") != 0)
        return 1;
    atexit(VEK_Quit);
    world_init("res/world/world.csv");
    record_init();
    minigame_init();

    std::atomic<bool> stop{false};
    std::atomic<long> writes{0};
    std::thread writer(rewriter, &stop, &writes);

    const auto t0 = Clock::now();
    auto since = [&t0] { return std::chrono::duration<double>(Clock::now() - t0).count(); };
    long frames = 0, runs = 0, reloads = 0, step = 0;
    long rss_first = -1, rss_last = -1, rss_min = -1, rss_max = -1;
    size_t blocks_first = 0, blocks_max = 0, table_max = 0;
    std::vector<SDL_Texture *> seen;
    double next_report = static_cast<double>(every), finished_at = -1;

    printf("%8s %12s %8s %10s %9s %7s %6s %8s %8s\n", "seconds", "frames", "fps", "rss_kib",
           "resources", "blocks", "runs", "reloads", "writes");
    long frames_at_report = 0;
    double last_report = 0;
    while (!VEK_ShouldQuit()) {
        double now = since();
        if (now >= static_cast<double>(seconds)) break;
        if (static_cast<long>(now * 25) >= step) feed_input(step++);

        VEK_CycleEvents();
        main_loop(nullptr);
        frames++;

        // A texture pointer that changes under the same id is a reload that took.
        seen.resize(___vek_resources_size, nullptr);
        for (size_t i = 0; i < ___vek_resources_size; i++) {
            SDL_Texture *t = ___vek_resources[i].image.ptr;
            if (seen[i] != nullptr && t != seen[i]) reloads++;
            seen[i] = t;
        }
        if (___vek_resources_size > table_max) table_max = ___vek_resources_size;

        if (game.start == 3) {
            if (finished_at < 0) finished_at = now;
            if (now - finished_at > 2.0) {
                restart_run();
                runs++;
                finished_at = -1;
            }
        }

        if (now >= next_report) {
            long rss = rss_kib();
            size_t blocks = alloc_live_count();
            if (rss_first < 0) rss_first = rss, blocks_first = blocks;
            rss_last = rss;
            rss_min = rss_min < 0 || rss < rss_min ? rss : rss_min;
            rss_max = rss > rss_max ? rss : rss_max;
            blocks_max = blocks > blocks_max ? blocks : blocks_max;
            printf("%8.0f %12ld %8.0f %10ld %9zu %7zu %6ld %8ld %8ld\n", now, frames,
                   static_cast<double>(frames - frames_at_report) / (now - last_report), rss,
                   ___vek_resources_size, blocks, runs, reloads, writes.load());
            fflush(stdout);
            frames_at_report = frames;
            last_report = now;
            next_report += static_cast<double>(every);
        }
    }
    stop = true;
    writer.join();

    double total = since();
    printf("\nsoak: %.0f s, %ld frames (%.0f per second), %ld runs restarted, %ld reloads of "
           "%ld rewrites\n",
           total, frames, static_cast<double>(frames) / total, runs, reloads, writes.load());
    printf("soak: resident memory first report %ld KiB, last %ld KiB (min %ld, max %ld; change "
           "%+ld KiB)\n",
           rss_first, rss_last, rss_min, rss_max, rss_last - rss_first);
    printf("soak: resource table at most %zu records (the game's assets: %zu); tracked blocks "
           "first %zu, at most %zu\n",
           table_max, GAME_ASSETS, blocks_first, blocks_max);
    std::error_code ec;
    fs::remove_all(dir, ec);
    bool ok = table_max <= GAME_ASSETS && blocks_max <= blocks_first;
    printf("soak: %s\n", ok ? "table and tracked blocks bounded" : "GREW");
    return ok ? 0 : 1;
}
