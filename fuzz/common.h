// SPDX-License-Identifier: Zlib
// Shared set-up of the fuzz targets: a headless engine started once per process,
// a scratch directory for files the targets write, and the checks that stop a
// run when the engine keeps memory or records across inputs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A broken invariant is a finding: print it and abort, so libFuzzer keeps the input.
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) fuzz_fail(__FILE__, __LINE__, #cond);                                         \
    } while (0)
[[noreturn]] void fuzz_fail(const char *file, int line, const char *what);

// Scratch directory of this process (created on first use, removed at exit).
const std::string &fuzz_dir(void);

// Writes bytes to a file, replacing it. Aborts when the write fails.
void fuzz_write(const std::string &path, const uint8_t *data, size_t size);

// Starts the engine on SDL's dummy video driver with the software renderer and
// the dummy audio driver (so the mixer is on and sounds decode), unpaced, in the
// current working directory. Shutdown and the allocator's
// sweep run at exit. Quiet: SDL's log and the engine's LOG lines go to
// /dev/null unless FUZZ_VERBOSE is set, since every rejected input writes one.
void fuzz_engine_start(void);

// What the engine holds between inputs: tracked blocks and resource records.
struct EngineHeld {
    size_t blocks;
    size_t resources;
};
EngineHeld fuzz_engine_held(void);
