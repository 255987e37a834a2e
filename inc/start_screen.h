// SPDX-License-Identifier: Zlib
// The start screen: "OU PAS ?" with a growing "PAS" that starts the run when clicked.
#pragma once

#include <ctime>

// State of the screen (shown once per process; never reset by the game).
extern double font_size;          // size of "PAS": 4.0 growing to just above 10
extern int size_x;                // glyph advance of "PAS" at font_size
extern int size_y;                // glyph height of "PAS" at font_size
extern clock_t duration1[2];      // [0] first update tick, [1] current tick
extern clock_t duration2[2];      // [0] last growth step tick (0: not begun), [1] current
extern clock_t duration_start[2]; // [0] first blink frame tick (0: not begun), [1] current

void manage_start_screen(void); // per-frame update in the start-screen state
void manage_start_button(void); // hit test of the word, called by manage_start_screen
void draw_start_screen(void);   // drawing in the start-screen and pre-start states
