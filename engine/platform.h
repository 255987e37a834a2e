// SPDX-License-Identifier: Zlib
// The engine's platform points: what differs between the desktop, the browser and
// Windows. Each target has one file behind this header (platform_desktop.cpp,
// platform_web.cpp, platform_windows.cpp); the build compiles the target's own.
#pragma once

#include <cstdint>

struct SDL_Renderer;
struct SDL_Window;

void platform_init(void);              // before SDL starts
void frame_wait(uint32_t ms);          // the frame's wait for its due time; 0 when none is due
int platform_chdir(const char *path);  // make the UTF-8 path the working directory; 0 or -1 (errno)
// The window's renderer (no vsync: pacing is the engine's alone); null on failure.
SDL_Renderer *platform_create_renderer(SDL_Window *window);
