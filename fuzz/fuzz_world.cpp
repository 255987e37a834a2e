// SPDX-License-Identifier: Zlib
// The world-grid reader fed arbitrary bytes as its file.
#include "common.h"

#include "world.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const std::string path = fuzz_dir() + "/world.csv";
    fuzz_write(path, data, size);
    memset(&g_world, 0, sizeof g_world);
    world_init(path.c_str());
    // Row 0 starts at the first byte of the file (leading whitespace belongs to
    // it), so the top-left tile is either that byte or was never written.
    FUZZ_CHECK(g_world.cell[0][0] == 0 || (size > 0 && g_world.cell[0][0] == (char)data[0]));
    return 0;
}
