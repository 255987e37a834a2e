// SPDX-License-Identifier: Zlib
#include "common.h"

#include "VEK.h"
#include "_.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

extern size_t ___vek_resources_size;

void fuzz_fail(const char *file, int line, const char *what) {
    dprintf(2, "fuzz check failed at %s:%d: %s\n", file, line, what);
    abort();
}

static void remove_dir(void) {
    std::error_code ec;
    std::filesystem::remove_all(fuzz_dir(), ec);
}

const std::string &fuzz_dir(void) {
    static std::string dir;
    if (dir.empty()) {
        // tmpfs when there is one: the targets rewrite their files on every input.
        const char *base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string tmpl = std::string(base) + "/bramble-fuzz-XXXXXX";
        if (mkdtemp(tmpl.data()) == nullptr) fuzz_fail(__FILE__, __LINE__, "mkdtemp");
        dir = tmpl;
        atexit(remove_dir);
    }
    return dir;
}

void fuzz_write(const std::string &path, const uint8_t *data, size_t size) {
    FILE *fp = fopen(path.c_str(), "wb");
    if (fp == nullptr) fuzz_fail(__FILE__, __LINE__, path.c_str());
    if (size > 0 && fwrite(data, 1, size, fp) != size) fuzz_fail(__FILE__, __LINE__, "fwrite");
    if (fclose(fp) != 0) fuzz_fail(__FILE__, __LINE__, "fclose");
}

static void quiet_log(void *, int, SDL_LogPriority, const char *) {}

static void engine_stop(void) {
    VEK_Quit();
    wdeinit();
}

void fuzz_engine_start(void) {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    setenv("SDL_RENDER_DRIVER", "software", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent", 0);
    if (getenv("FUZZ_VERBOSE") == nullptr) {
        SDL_LogSetOutputFunction(quiet_log, nullptr);
        // The engine's LOG lines and perror texts go through the stdio stream
        // stderr, libFuzzer's and the sanitizers' reports straight to descriptor
        // 2: pointing the stream elsewhere silences the first and keeps the second.
        FILE *null = fopen("/dev/null", "w");
        if (null == nullptr) fuzz_fail(__FILE__, __LINE__, "/dev/null");
        stderr = null;
    }
    // The engine changes to its base directory: keep the one libFuzzer was started
    // in, where the input and artifact paths it was given are relative to.
    char *cwd = getcwd(nullptr, 0);
    if (cwd == nullptr) fuzz_fail(__FILE__, __LINE__, "getcwd");
    int rv = VEK_Init(.width = 64, .height = 64, .target_fps = 0, .mixer = VEK_MIXER_ON,
                      .basepath = cwd, .title = "fuzz");
    free(cwd);
    if (rv != 0) fuzz_fail(__FILE__, __LINE__, "VEK_Init");
    atexit(engine_stop);
}

EngineHeld fuzz_engine_held(void) {
    return EngineHeld{alloc_live_count(), ___vek_resources_size};
}
