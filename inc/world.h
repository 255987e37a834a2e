// SPDX-License-Identifier: Zlib
// The world grid: 20 x 20 one-character tiles loaded from a CSV file.
#pragma once

#include "cfg.h"

typedef struct world {
    char cell[cfg.world_height][cfg.world_width]; // cell[row][column]; code 0: never loaded
} world;

extern world g_world;

// Loads the grid file at `path` into g_world: one row per line, the tile of
// column x at character 2x (odd characters separate). Fatal when `path` is null
// ("path != ((void *)0)") or the file does not open ("world != ((void *)0)").
void world_init(const char *path);

// Draws all cells as 32 x 32 squares covering the display, row by row.
void world_draw(void);

// Draws one cell: dark green for tile '0', black for anything else.
void draw_cell(char tile, int x, int y);
