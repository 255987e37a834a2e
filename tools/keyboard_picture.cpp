// SPDX-License-Identifier: Zlib
// Draws the keyboard picture of the key prompt minigame.
//
//   keyboard_picture <out.bmp>
//
// The game shows this 1024x360 picture at half size with its corner at (60, 300) and
// prints the letter labels itself, in the background colour, at fixed screen places.
// So the 26 letter caps must sit exactly under those places and stay blank and light:
// on a 64 px key pitch, caps 58 px wide and 64 px high, rows 10 px apart, each row
// 20 px further right than the one above (10 px on screen). Every edge lies on an even
// coordinate so that the 2:1 reduction maps each edge onto a whole screen pixel.
// The other keys carry small legends in a 5x7 pixel font drawn with 2x2 dots.
#include "asset_io.h"

#include <cstring>

using namespace assets;

namespace {

constexpr int width = 1024, height = 360;
constexpr int pitch = 64, cap_w = 58;

// Letter rows: first cap's left edge, top and bottom, and the letters in order.
struct LetterRow {
    int x, top, bottom;
    const char *letters;
};
constexpr LetterRow letter_rows[] = {
    {160, 78, 142, "QWERTYUIOP"},
    {180, 152, 216, "ASDFGHJKL"},
    {200, 226, 290, "ZXCVBNM"},
};

constexpr uint32_t opaque(uint32_t rgb) {
    return 0xFF000000 | rgb;
}
const uint32_t body = opaque(0x2E3440), body_edge = opaque(0x1C2028), body_light = opaque(0x434C5E);
const uint32_t letter_face = opaque(0xF4F4F2), letter_side = opaque(0xC9CBCF);
const uint32_t other_face = opaque(0x9DA3AE), other_side = opaque(0x7A808B);
const uint32_t outline = opaque(0x15181E), legend = opaque(0x1E2229);

// 5x7 dot patterns, one string of 7 rows of 5 columns per character ('#' = dot).
struct Glyph {
    char c;
    const char *rows[7];
};
const Glyph glyphs[] = {
    {'0', {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."}},
    {'1', {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'2', {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"}},
    {'3', {"#####", "...#.", "..#..", "...#.", "....#", "#...#", ".###."}},
    {'4', {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."}},
    {'5', {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."}},
    {'6', {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."}},
    {'7', {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."}},
    {'8', {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."}},
    {'9', {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."}},
    {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'B', {"####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."}},
    {'C', {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."}},
    {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {'F', {"#####", "#....", "#....", "####.", "#....", "#....", "#...."}},
    {'H', {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'I', {".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'K', {"#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"}},
    {'L', {"#....", "#....", "#....", "#....", "#....", "#....", "#####"}},
    {'N', {"#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"}},
    {'P', {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."}},
    {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
    {'S', {".####", "#....", "#....", ".###.", "....#", "....#", "####."}},
    {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
    {'`', {".#...", "..#..", "...#.", ".....", ".....", ".....", "....."}},
    {'-', {".....", ".....", ".....", "#####", ".....", ".....", "....."}},
    {'=', {".....", ".....", "#####", ".....", "#####", ".....", "....."}},
    {'[', {".###.", ".#...", ".#...", ".#...", ".#...", ".#...", ".###."}},
    {']', {".###.", "...#.", "...#.", "...#.", "...#.", "...#.", ".###."}},
    {'\\', {".....", "#....", ".#...", "..#..", "...#.", "....#", "....."}},
    {';', {".....", "..##.", "..##.", ".....", "..##.", "...#.", "..#.."}},
    {'\'', {"..##.", "...#.", "..#..", ".....", ".....", ".....", "....."}},
    {',', {".....", ".....", ".....", ".....", "..##.", "...#.", "..#.."}},
    {'.', {".....", ".....", ".....", ".....", ".....", "..##.", "..##."}},
    {'/', {".....", "....#", "...#.", "..#..", ".#...", "#....", "....."}},
    {'<', {"...#.", "..#..", ".#...", "#####", ".#...", "..#..", "...#."}},
    {'^', {"..#..", ".#.#.", "#...#", ".....", ".....", ".....", "....."}},
};
constexpr int dot = 2; // each font dot is 2x2 picture pixels: one pixel on screen
constexpr int advance = 6 * dot;

const Glyph *find_glyph(char c) {
    for (const Glyph &g : glyphs)
        if (g.c == c) return &g;
    fail(std::string("no legend glyph for '") + c + "'");
}

void draw_text(Image &img, int x, int y, const char *text) {
    for (const char *p = text; *p; p++, x += advance) {
        if (*p == ' ') continue;
        const Glyph *g = find_glyph(*p);
        for (int r = 0; r < 7; r++)
            for (int c = 0; c < 5; c++)
                if (g->rows[r][c] == '#')
                    img.fill_rect(x + c * dot, y + r * dot, x + (c + 1) * dot, y + (r + 1) * dot,
                                  legend);
    }
}

// A keycap over [x0, x1) x [y0, y1): dark outline with clipped corners, a face, and a
// shaded lower lip standing for the cap's front side.
void draw_cap(Image &img, int x0, int y0, int x1, int y1, uint32_t face, uint32_t side) {
    img.fill_rect(x0 + 2, y0, x1 - 2, y1, outline);
    img.fill_rect(x0, y0 + 2, x1, y1 - 2, outline);
    img.fill_rect(x0 + 2, y0 + 2, x1 - 2, y1 - 2, side);
    img.fill_rect(x0 + 4, y0 + 4, x1 - 4, y1 - 8, face);
}

void draw_key(Image &img, int x0, int y0, int x1, int y1, const char *text) {
    draw_cap(img, x0, y0, x1, y1, other_face, other_side);
    if (text != nullptr) draw_text(img, x0 + 8, y0 + 8, text);
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) fail("usage: keyboard_picture <out.bmp>");
    Image img(width, height, body);

    // Case: a darker rim with clipped corners and a lighter bevel inside it.
    img.fill_rect(0, 0, width, height, body_edge);
    img.fill_rect(4, 4, width - 4, height - 4, body_light);
    img.fill_rect(6, 6, width - 4, height - 4, body);
    for (int cx : {0, width - 4})
        for (int cy : {0, height - 4}) img.fill_rect(cx, cy, cx + 4, cy + 4, 0x002E3440);

    // Letter caps: light and blank, the game prints their labels.
    for (const LetterRow &row : letter_rows)
        for (int i = 0; row.letters[i]; i++)
            draw_cap(img, row.x + pitch * i, row.top, row.x + pitch * i + cap_w, row.bottom,
                     letter_face, letter_side);

    const int left = 24, right = 1000;

    // Number row.
    const int ny0 = 14, ny1 = 68;
    draw_key(img, left, ny0, 122, ny1, "`");
    const char *number_keys = "1234567890-=";
    for (int i = 0; number_keys[i]; i++) {
        char text[2] = {number_keys[i], 0};
        draw_key(img, 128 + pitch * i, ny0, 128 + pitch * i + cap_w, ny1, text);
    }
    draw_key(img, 128 + pitch * 12, ny0, right, ny1, "<");

    // Punctuation and wide keys around the letter rows.
    const LetterRow &top = letter_rows[0], &mid = letter_rows[1], &low = letter_rows[2];
    draw_key(img, left, top.top, top.x - 6, top.bottom, "TAB");
    draw_key(img, left, mid.top, mid.x - 6, mid.bottom, "CAPS");
    draw_key(img, left, low.top, low.x - 6, low.bottom, "SHIFT");
    struct Tail {
        const LetterRow &row;
        const char *keys;
        const char *wide;
    };
    for (const Tail &t :
         {Tail{top, "[]", "\\"}, Tail{mid, ";'", "ENTER"}, Tail{low, ",./", "SHIFT"}}) {
        int x = t.row.x + pitch * int(std::strlen(t.row.letters));
        for (int i = 0; t.keys[i]; i++, x += pitch) {
            char text[2] = {t.keys[i], 0};
            draw_key(img, x, t.row.top, x + cap_w, t.row.bottom, text);
        }
        draw_key(img, x, t.row.top, right, t.row.bottom, t.wide);
    }

    // Bottom row, a little lower than the others to fit the picture.
    const int by0 = 300, by1 = 350;
    draw_key(img, left, by0, 138, by1, "CTRL");
    draw_key(img, 144, by0, 234, by1, "ALT");
    draw_key(img, 240, by0, 778, by1, nullptr);
    draw_key(img, 784, by0, 874, by1, "ALT");
    draw_key(img, 880, by0, right, by1, "CTRL");

    write_file(argv[1], encode_bmp32(img));
    return 0;
}
