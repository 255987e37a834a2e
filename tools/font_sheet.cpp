// SPDX-License-Identifier: Zlib
// Builds the game's text sheet from a 16x32 PSF2 console font.
//
//   font_sheet <font.psf> <out.bmp>
//
// The sheet is 256x256 pixels of 16x32 cells, the glyph of character code c in column
// c % 16 and row c / 16: eight rows, codes 0-127. The game takes characters as signed
// 8-bit codes, so codes 128-255 would index above the sheet and have no cells here.
// Console fonts store their glyphs in their own order, so each code goes through the
// font's Unicode table: codes 32-126 are ASCII, control codes 0-31 and 127 stay empty.
//
// Glyph pixels are opaque white so that the game can tint them with its draw colour;
// everything else is fully transparent white (0x00FFFFFF), which keeps linear filtering
// from pulling a dark fringe into scaled text.
#include "asset_io.h"

#include <map>

using namespace assets;

namespace {

constexpr int cell_w = 16, cell_h = 32, columns = 16, codes = 128;
constexpr uint32_t ink = 0xFFFFFFFF, clear = 0x00FFFFFF;

struct Font {
    uint32_t glyph_count = 0, glyph_bytes = 0, height = 0, width = 0;
    const uint8_t *glyphs = nullptr;
    std::map<uint32_t, uint32_t> by_code_point; // Unicode code point -> glyph index
};

uint32_t le32(const Bytes &b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

// Decodes one UTF-8 sequence at b[i], advancing i; returns false on a malformed one.
bool next_utf8(const Bytes &b, size_t &i, size_t end, uint32_t &cp) {
    uint8_t c = b[i];
    int more = c < 0x80             ? 0
               : (c & 0xE0) == 0xC0 ? 1
               : (c & 0xF0) == 0xE0 ? 2
               : (c & 0xF8) == 0xF0 ? 3
                                    : -1;
    if (more < 0 || i + size_t(more) >= end) return false;
    cp = more == 0 ? c : c & (0x3F >> more);
    for (int k = 1; k <= more; k++) {
        uint8_t t = b[i + size_t(k)];
        if ((t & 0xC0) != 0x80) return false;
        cp = cp << 6 | (t & 0x3F);
    }
    i += size_t(more) + 1;
    return true;
}

Font parse_psf2(const Bytes &b) {
    Font f;
    if (b.size() < 32 || le32(b, 0) != 0x864AB572) fail("not a PSF2 font");
    uint32_t header = le32(b, 8), flags = le32(b, 12);
    f.glyph_count = le32(b, 16);
    f.glyph_bytes = le32(b, 20);
    f.height = le32(b, 24);
    f.width = le32(b, 28);
    if (f.width != cell_w || f.height != cell_h) fail("the font must be exactly 16x32");
    if (f.glyph_bytes != (f.width + 7) / 8 * f.height) fail("unexpected glyph size");
    size_t table = size_t(header) + size_t(f.glyph_count) * f.glyph_bytes;
    if (table > b.size()) fail("font file is truncated");
    if (!(flags & 1)) fail("the font has no Unicode table");
    f.glyphs = b.data() + header;

    // One entry per glyph: single code points in UTF-8, then optional 0xFE-led
    // sequences (combinations, ignored here), closed by 0xFF.
    size_t i = table;
    for (uint32_t g = 0; g < f.glyph_count; g++) {
        bool in_sequence = false;
        for (;;) {
            if (i >= b.size()) fail("Unicode table is truncated");
            if (b[i] == 0xFF) {
                i++;
                break;
            }
            if (b[i] == 0xFE) {
                in_sequence = true;
                i++;
                continue;
            }
            uint32_t cp;
            if (!next_utf8(b, i, b.size(), cp)) fail("malformed Unicode table");
            if (!in_sequence) f.by_code_point.emplace(cp, g); // first glyph wins
        }
    }
    return f;
}

bool glyph_pixel(const Font &f, uint32_t glyph, int x, int y) {
    const uint8_t *row = f.glyphs + size_t(glyph) * f.glyph_bytes + size_t(y) * 2;
    return row[x / 8] & (0x80 >> (x % 8));
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 3) fail("usage: font_sheet <font.psf> <out.bmp>");
    Bytes data = read_file(argv[1]);
    Font font = parse_psf2(data);

    Image sheet(columns * cell_w, codes / columns * cell_h, clear);
    for (int code = 0; code < codes; code++) {
        if (code < 32 || code == 127) continue; // control codes: no glyph
        auto found = font.by_code_point.find(uint32_t(code));
        if (found == font.by_code_point.end())
            fail("the font has no glyph for ASCII code " + std::to_string(code));
        int ox = code % columns * cell_w, oy = code / columns * cell_h;
        for (int y = 0; y < cell_h; y++)
            for (int x = 0; x < cell_w; x++)
                if (glyph_pixel(font, found->second, x, y)) sheet.at(ox + x, oy + y) = ink;
    }
    write_file(argv[2], encode_bmp32(sheet));
    return 0;
}
