// SPDX-License-Identifier: Zlib
// The world grid: loading the tile file and drawing the cells.
#include "world.h"

#include "VEK.h"
#include "_.h"

#include <cstdio>
#include <cstring>

world g_world;

// A row of the file holds one tile every other character: 2 characters per column.
static constexpr int ROW_CHARS = 2 * cfg.world_width;

void world_init(const char *path) {
    ASSERT(path != ((void *)0));
    FILE *world = fopen(path, "r");
    ASSERT_ADVISE(world != ((void *)0),
                  "The game's tile grid (res/world/world.csv) cannot be read. "
                  "Unpack or install the game again, and see README.txt.");

    // "%40[^\n]%n\n": up to one row's worth of characters other than a line feed,
    // how many that was, then skip every whitespace that follows (line feeds,
    // carriage returns, blank lines, indentation of the next line).
    char format[16];
    snprintf(format, sizeof format, "%%%d[^\n]%%n\n", ROW_CHARS);

    char buffer[ROW_CHARS + 1];
    for (int y = 0; y < cfg.world_height; y++) {
        // Zeroed before each row so that tile positions a short row does not
        // reach read as code 0 instead of the previous row's characters.
        memset(buffer, 0, sizeof buffer);
        int got = 0;
        if (fscanf(world, format, buffer, &got) != 1) break;
        // A carriage return ending a row belongs to the line break, not to the row;
        // so an empty first line stops the reading whatever its line ending. The
        // count of characters read, not strlen, says how long the row is: a NUL
        // byte in the file (even as a row's first character) is one of its tiles.
        size_t len = static_cast<size_t>(got);
        if (len > 0 && buffer[len - 1] == '\r') buffer[--len] = '\0';
        if (len == 0) break;
        for (int x = 0; x < ROW_CHARS; x += 2) g_world.cell[y][x / 2] = buffer[x];
    }
    // Anything after the last grid row is left unread: the grid has no room for it.
    fclose(world);
}

void draw_cell(char tile, int x, int y) {
    if (tile == '0') {
        VEK_DrawSetColor(.r = 0, .g = 0.2f, .b = 0);
    } else {
        VEK_DrawSetColor(.r = 0, .g = 0, .b = 0);
    }
    VEK_DrawRectangle(.x = x * cfg.tile_width, .y = y * cfg.tile_height, .w = cfg.tile_width,
                      .h = cfg.tile_height, .fill = true, .center = false);
}

void world_draw(void) {
    for (int y = 0; y < cfg.world_height; y++)
        for (int x = 0; x < cfg.world_width; x++) draw_cell(g_world.cell[y][x], x, y);
}
