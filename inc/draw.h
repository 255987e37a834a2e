// SPDX-License-Identifier: Zlib
// Text drawn from the bitmap font sheet, and the keyboard prompt challenge.
#pragma once

// ---------------------------------------------------------------------------
// Bitmap text. Glyphs are 16 x 32 pixel cells of "asset/atarifont.bmp" (16 per
// row, cell of code c at column c % 16, row c / 16), drawn `size` times as large
// at a fixed advance of 16 * size pixels per character: a string of n characters
// is 16 * n * size wide. Spaces and newlines draw nothing but keep their advance;
// codes 128 to 255 have no glyph and do the same. Call inside a frame.
// ---------------------------------------------------------------------------

// Draws `str` in (r, g, b) with its first glyph's top-left corner at (x, y), then
// sets the draw colour back to white. A null string draws nothing and leaves the
// colour alone.
void write_on_screen_rgb(const char *str, int x, int y, float size, float r, float g, float b);

// Draws one character at (x, y) in (r, g, b) and leaves the draw colour at (r, g, b).
void write_letter_on_screen_rgb(char c, int x, int y, float size, float r, float g, float b);

// write_on_screen_rgb in white.
void write_on_screen(const char *str, int x, int y, float size);

// ---------------------------------------------------------------------------
// Keyboard prompt: a drawn keyboard whose letter labels are shifted by `offset`
// places through the alphabet; the player presses the physical key at the place
// where the asked label is shown.
// ---------------------------------------------------------------------------

// "Nothing" for a key index: no letter asked yet, or no key went down. It differs
// from every index 0 to 25, so the first key can be asked and judged like any other.
inline constexpr int KEY_NONE = -1;

extern int offset;   // label shift, 1 to 12; 0 = not chosen yet
extern int letter;   // index (0 to 24) of the key asked for; KEY_NONE = not chosen yet
extern int offset_x; // top-left corner of the keyboard picture
extern int offset_y;

// Shifts the upper-case letters of the zero-terminated `key` by `offset` places,
// Z wrapping to A; rolls `offset` first when it is not chosen.
void randomise_key(char *key);

// The challenge, once per frame while current: rolls the prompt if needed, draws
// the keyboard and "PRESS <label> !!!!", and switches to the next challenge when
// the asked key went down in this frame.
void draw_keyboard(void);
