// SPDX-License-Identifier: Zlib
// Bitmap text: one image cut-out of the font sheet per character.
#include "draw.h"

#include "VEK.h"

#include <cstdint>

static const char *const FONT_SHEET = "asset/atarifont.bmp";

// Glyph cells of the sheet: 16 x 32 pixels, 16 per row.
static constexpr int GLYPH_W = 16;
static constexpr int GLYPH_H = 32;
static constexpr int GLYPHS_PER_ROW = 16;

// Characters that take their advance but draw nothing: blanks, and codes 128 to
// 255, for which the sheet has no cells.
static bool blank(char c) {
    unsigned char code = (unsigned char)c;
    return code == ' ' || code == '\n' || code >= 128;
}

static void draw_glyph(int32_t id, char c, int x, int y, float size) {
    int code = (unsigned char)c;
    int ix = (code % GLYPHS_PER_ROW) * GLYPH_W;
    int iy = (code / GLYPHS_PER_ROW) * GLYPH_H;
    VEK_DrawImage(.id = (VEK_Uint)id, .x = x, .y = y, .ix = ix, .iy = iy, .w = GLYPH_W,
                  .h = GLYPH_H, .r = 0, .sx = size, .sy = size, .center = false, .flip_x = false,
                  .flip_y = false);
}

void write_on_screen_rgb(const char *str, int x, int y, float size, float r, float g, float b) {
    // The registry hands back the sheet already loaded for this path.
    int32_t id = (int32_t)VEK_LoadResource(FONT_SHEET);
    if (str == NULL) return;
    VEK_DrawSetColor(.r = r, .g = g, .b = b);
    for (int i = 0; str[i] != '\0'; i++) {
        if (blank(str[i])) continue;
        // Each position follows from the index alone, so blanks keep their advance.
        int gx = (int)((float)x + (float)GLYPH_W * ((float)i * size));
        draw_glyph(id, str[i], gx, y, size);
    }
    VEK_DrawSetColor(.r = 1, .g = 1, .b = 1);
}

void write_letter_on_screen_rgb(char c, int x, int y, float size, float r, float g, float b) {
    int32_t id = (int32_t)VEK_LoadResource(FONT_SHEET);
    VEK_DrawSetColor(.r = r, .g = g, .b = b);
    if (blank(c)) return;
    draw_glyph(id, c, x, y, size);
}

void write_on_screen(const char *str, int x, int y, float size) {
    write_on_screen_rgb(str, x, y, size, 1.0f, 1.0f, 1.0f);
}
