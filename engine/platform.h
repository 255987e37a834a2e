// SPDX-License-Identifier: Zlib
// The engine's platform points: what differs between the desktop, the browser and
// Windows. Each target has one file behind this header (platform_desktop.cpp,
// platform_web.cpp, platform_windows.cpp); the build compiles the target's own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

struct SDL_Renderer;
struct SDL_Window;

void platform_init(void);             // before SDL starts
void frame_wait(uint32_t ms);         // the frame's wait for its due time; 0 when none is due
int platform_chdir(const char *path); // make the UTF-8 path the working directory; 0 or -1 (errno)
FILE *platform_fopen(const char *path, const char *mode); // fopen of a UTF-8 path; null (errno)
// Modification time of a UTF-8 path in seconds since 1970; 0: unknown. 64 bits on
// every target: Windows' `long` has 32, which runs out in January 2038.
int64_t platform_mtime(const char *path);
// The window's renderer (no vsync: pacing is the engine's alone); null on failure
// (the desktop's first says in a LOG line what the system lacks).
SDL_Renderer *platform_create_renderer(SDL_Window *window);
// Whether the shared library of that name loads here now (it is unloaded again).
bool platform_library_loads(const char *name);
// Whether an environment variable's value (getenv's) says something: unset and
// empty alike do not.
inline bool env_value_set(const char *value) {
    return value != nullptr && value[0] != '\0';
}

// Diagnostics. Whether standard error is a terminal that shows the colour codes of
// the diagnostic prefixes (asked at each line: a test may redirect it meanwhile).
bool platform_stderr_colours(void);
// Shows the words of a fatal stop (UTF-8, several lines) where a player sees them
// when standard error is out of sight, and returns once they have been read; does
// nothing where standard error is that place.
void platform_fatal_notice(const char *text);
// The desktop's notice as its message box shows it: tabs as spaces, each line
// broken at spaces into lines of at most `width` characters (a word longer than
// that on a line of its own is cut), since the box itself never wraps.
std::string notice_fill(const char *text, size_t width);
