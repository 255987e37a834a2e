// SPDX-License-Identifier: Zlib
// Game-wide constants, the frame callback and the game's clocks.
#pragma once

#include <cstdint>
#include <ctime>

// The game's fixed numbers. Every centring formula of the game assumes the
// 640 x 640 display; nothing here is read from outside at run time.
typedef struct Config {
    int32_t display_width;  // logical picture width, also the window width
    int32_t display_height; // logical picture height, also the window height
    int32_t fps;            // nominal rate; the engine paces 1000 / 60 = 16 ms: 62.5 a second
    int32_t tile_width;     // world cell width in pixels
    int32_t tile_height;    // world cell height in pixels
    int32_t world_width;    // world grid columns
    int32_t world_height;   // world grid rows
} Config;

inline constexpr Config cfg = {
    .display_width = 640,
    .display_height = 640,
    .fps = 60,
    .tile_width = 32,
    .tile_height = 32,
    .world_width = 20,
    .world_height = 20,
};

// One frame of the game: sequencer update, clear, sequencer draw, present.
// Handed to VEK_MainLoop; always returns 0 (keep running).
int main_loop(void *data);

// ---------------------------------------------------------------------------
// Clocks. Challenge durations are measured in milliseconds of real time since
// the process started (the C library's clock() counts processor time on this
// platform, which stalls while the game waits for the next frame). The run's
// length is measured in calendar seconds. Both go through these functions so
// tests can drive them; with no source set they read the real clocks.
// ---------------------------------------------------------------------------
clock_t game_clock(void); // elapsed real milliseconds since process start
time_t game_time(void);   // calendar seconds, as time(NULL)

// Replace the source of game_clock / game_time; null restores the real clock.
void game_clock_set_source(clock_t (*source)(void));
void game_time_set_source(time_t (*source)(void));
