// SPDX-License-Identifier: Zlib
// The file points of the targets whose C library takes UTF-8 paths as they are:
// the desktop and the browser (emscripten's file system). Windows has its own,
// through the wide-character calls (platform_windows.cpp).
#include "platform.h"

#include <sys/stat.h>
#include <unistd.h>

int platform_chdir(const char *path) {
    return chdir(path);
}

FILE *platform_fopen(const char *path, const char *mode) {
    return fopen(path, mode);
}

int64_t platform_mtime(const char *path) {
    struct stat st;
    if (stat(path, &st) != 0) return 0;
    return static_cast<int64_t>(st.st_mtime);
}
