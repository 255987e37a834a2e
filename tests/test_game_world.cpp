// SPDX-License-Identifier: Zlib
// World grid: reading the tile file in its variants, failures, and drawing the cells.
#include "rig.h"
#include "world.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int W = 20, H = 20;
using Grid = std::vector<std::string>; // H rows of W characters, '\0' for code 0

// A grid whose every cell differs from its neighbours, with some '0' tiles.
Grid sample_grid(int rows = H) {
    Grid g(H, std::string(W, '\0'));
    const char tiles[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    for (int y = 0; y < rows; y++)
        for (int x = 0; x < W; x++) g[y][x] = tiles[(x * 7 + y * 3) % (sizeof tiles - 1)];
    return g;
}

// The file line of one grid row: tiles joined by `sep`.
std::string row_line(const std::string &row, char sep = ',') {
    std::string line;
    for (int x = 0; x < W; x++) {
        if (x > 0) line += sep;
        line += row[x];
    }
    return line;
}

std::string file_of(const Grid &g, int rows, const std::string &eol = "\n", char sep = ',') {
    std::string text;
    for (int y = 0; y < rows; y++) text += row_line(g[y], sep) + eol;
    return text;
}

Grid loaded_grid() {
    Grid g(H, std::string(W, '\0'));
    for (int y = 0; y < H; y++) g[y].assign(g_world.cell[y], W);
    return g;
}

std::string show(const std::string &row) {
    std::string s;
    for (char c : row) s += c == '\0' ? '.' : c == '\r' ? '^' : c;
    return s;
}

void expect_grid(const Grid &want, const char *what) {
    Grid got = loaded_grid();
    for (int y = 0; y < H; y++) EXPECT_EQ(show(got[y]), show(want[y])) << what << ", row " << y;
}

class WorldLoad : public ::testing::Test {
  protected:
    void SetUp() override { memset(&g_world, 0, sizeof g_world); }
    TempDir dir;
    std::string path = dir.file("world.csv");
    void load(const std::string &text) {
        write_file(path, text);
        world_init(path.c_str());
    }
};

TEST_F(WorldLoad, FileVariantsLoadTheirTiles) {
    const Grid full = sample_grid();
    Grid ten = sample_grid(10); // rows 10..19 stay code 0
    // A 45-character line: its first 40 characters are a row, the rest the next row.
    Grid longer = full;
    std::string long_file = row_line(full[0]) + ",ABCDE\n" + file_of(full, H);
    longer[1] = std::string("ACE") + std::string(W - 3, '\0');
    for (int y = 2; y < H; y++) longer[y] = full[y - 2];

    std::string blank_lines;
    for (int y = 0; y < H; y++) blank_lines += row_line(full[y]) + "\n\n \r\n\t";

    struct Case {
        const char *what;
        std::string text;
        Grid want;
    } cases[] = {
        {"20 rows, LF", file_of(full, H), full},
        {"20 rows, CRLF", file_of(full, H, "\r\n"), full},
        {"trailing separator", file_of(full, H, ",\n"), full},
        {"trailing separator, CRLF", file_of(full, H, ",\r\n"), full},
        {"no final line feed", file_of(full, H).substr(0, file_of(full, H).size() - 1), full},
        {"blank and indented lines between rows", blank_lines, full},
        {"semicolon separators", file_of(full, H, "\n", ';'), full},
        {"10 rows", file_of(full, 10), ten},
        {"10 rows, CRLF", file_of(full, 10, "\r\n"), ten},
        {"more than 20 rows", file_of(full, H) + file_of(sample_grid(), 7), full},
        {"line longer than a row", long_file, longer},
    };
    for (auto &c : cases) {
        memset(&g_world, 0, sizeof g_world);
        load(c.text);
        expect_grid(c.want, c.what);
    }
}

TEST_F(WorldLoad, ShortRowsLeaveUnreachedTilesAtCodeZero) {
    const Grid full = sample_grid();
    auto padded = [](const std::string &tiles) {
        return tiles + std::string(W - tiles.size(), '\0');
    };
    struct Case {
        const char *what;
        std::string text;
        Grid want;
    } cases[] = {
        // A short row after a full one must not keep any of the full row's tiles.
        {"after a full row",
         row_line(full[0]) + "\n1,2,3\n" + row_line(full[2]) + "\n",
         {full[0], padded("123"), full[2]}},
        {"ending in a separator", "1,2,\n", {padded("12")}},
        {"ending in a separator, CRLF", "1,2,\r\n7\r\n", {padded("12"), padded("7")}},
        {"odd length, CRLF", "1,2,3\r\n", {padded("123")}},
        {"single tile", row_line(full[0]) + "\nx\n", {full[0], padded("x")}},
    };
    for (auto &c : cases) {
        memset(&g_world, 0xEE, sizeof g_world); // whatever was there before
        Grid want(H, std::string(W, char(0xEE)));
        for (size_t y = 0; y < c.want.size(); y++) want[y] = c.want[y];
        load(c.text);
        expect_grid(want, c.what);
    }
}

TEST_F(WorldLoad, ReadingStopsAtAnEmptyFirstLineOrAnEmptyFile) {
    const Grid full = sample_grid();
    const Grid zero(H, std::string(W, '\0'));
    // Appended, not prepended: GCC 12 at -O2 takes "\n" + std::string for an
    // overlapping copy (a -Wrestrict false positive).
    auto after = [&](const char *head) { return std::string(head).append(file_of(full, H)); };
    struct Case {
        const char *what;
        std::string text;
    } cases[] = {
        {"empty file", ""},
        {"empty first line", after("\n")},
        {"empty first line, CRLF", after("\r\n")},
    };
    for (auto &c : cases) {
        memset(&g_world, 0, sizeof g_world);
        load(c.text);
        expect_grid(zero, c.what);
    }
}

TEST_F(WorldLoad, LeadingWhitespaceBelongsToTheFirstRow) {
    load(" 1,2,3\n4\n");
    Grid want(H, std::string(W, '\0'));
    want[0] = std::string(" ,,") + std::string(W - 3, '\0'); // positions 0, 2, 4 of " 1,2,3"
    want[1][0] = '4';
    expect_grid(want, "leading space");
}

TEST_F(WorldLoad, RowsNotReadKeepTheirContents) {
    const Grid full = sample_grid();
    load(file_of(full, H));
    Grid other = sample_grid();
    for (auto &row : other)
        for (auto &c : row) c = c == 'z' ? 'y' : 'z';
    load(file_of(other, 5));
    Grid want = full;
    for (int y = 0; y < 5; y++) want[y] = other[y];
    expect_grid(want, "second load of 5 rows");
}

// Fatal failures: one ERR line naming world_init, then exit status 1.
#define WORLD_ERR "ERR world\\.cpp:world_init:[0-9]+ \tassert failed: "

TEST(WorldLoadDeath, NullPathExitsWithItsCheck) {
    EXPECT_EXIT(world_init(nullptr), ::testing::ExitedWithCode(1),
                WORLD_ERR "path != \\(\\(void \\*\\)0\\)\n$");
}

TEST(WorldLoadDeath, UnopenableFileExitsWithItsCheck) {
    TempDir dir;
    std::string missing = dir.file("missing.csv");
    EXPECT_EXIT(world_init(missing.c_str()), ::testing::ExitedWithCode(1),
                WORLD_ERR "world != \\(\\(void \\*\\)0\\)\n$");
    // A directory opens for reading on this platform only to fail on read; a path
    // through a missing directory cannot be opened at all.
    std::string nested = dir.file("no/such/dir/world.csv");
    EXPECT_EXIT(world_init(nested.c_str()), ::testing::ExitedWithCode(1),
                WORLD_ERR "world != \\(\\(void \\*\\)0\\)\n$");
}

// Drawing: each cell is a 32 x 32 square, dark green for '0' and black otherwise.
class WorldDraw : public EngineTest {
  protected:
    void SetUp() override {
        ASSERT_EQ(VEK_Init(.width = 640, .height = 640, .mixer = VEK_MIXER_OFF, .basepath = "/"),
                  0);
        memset(&g_world, 0, sizeof g_world);
    }
};

constexpr Rgb DARK_GREEN{0, 51, 0}, BLACK{0, 0, 0};

TEST_F(WorldDraw, CellsCoverTheDisplayInTheirTileColour) {
    TempDir dir;
    Grid g = sample_grid(10); // rows 10..19 never loaded: code 0 draws black
    write_file(dir.file("w.csv"), file_of(g, 10));
    world_init(dir.file("w.csv").c_str());

    ASSERT_EQ(VEK_DrawBegin(), 0);
    VEK_DrawSetColor(.r = 1, .g = 1, .b = 1);
    VEK_DrawClear();
    world_draw();
    Pixels px = read_picture();
    int zeros = 0;
    for (int y = 0; y < H; y++) {
        for (int x = 0; x < W; x++) {
            Rgb want = g[y][x] == '0' ? DARK_GREEN : BLACK;
            zeros += g[y][x] == '0';
            const int corners[][2] = {{0, 0}, {31, 0}, {0, 31}, {31, 31}, {16, 16}};
            for (auto &c : corners)
                ASSERT_EQ(px.at(x * 32 + c[0], y * 32 + c[1]), want)
                    << "cell " << x << "," << y << " tile " << int(g[y][x]);
        }
    }
    EXPECT_GT(zeros, 0); // the sample has dark-green cells to tell apart
    ASSERT_EQ(VEK_DrawEnd(), 0);
}

TEST_F(WorldDraw, DrawColourIsLeftAtTheLastCells) {
    const struct {
        char last_tile;
        Rgb want;
    } cases[] = {{'0', DARK_GREEN}, {'#', BLACK}, {'\0', BLACK}};
    for (auto &c : cases) {
        g_world.cell[H - 1][W - 1] = c.last_tile;
        // The cell under the probe has the other colour, so only the draw colour left
        // behind by the last cell can paint the probe in the expected one.
        g_world.cell[9][9] = c.last_tile == '0' ? '#' : '0';
        ASSERT_EQ(VEK_DrawBegin(), 0);
        VEK_DrawSetColor(.r = 1, .g = 1, .b = 1);
        VEK_DrawClear();
        world_draw();
        VEK_DrawRectangle(.x = 300, .y = 300, .w = 5, .h = 5, .fill = true);
        Pixels px = read_picture();
        EXPECT_EQ(px.at(302, 302), c.want) << "last tile " << int(c.last_tile);
        ASSERT_EQ(VEK_DrawEnd(), 0);
    }
}

TEST_F(WorldDraw, SingleCellLandsOnItsSquareOnly) {
    ASSERT_EQ(VEK_DrawBegin(), 0);
    VEK_DrawSetColor(.r = 1, .g = 1, .b = 1);
    VEK_DrawClear();
    draw_cell('0', 3, 5);
    Pixels px = read_picture();
    EXPECT_EQ(px.at(96, 160), DARK_GREEN);
    EXPECT_EQ(px.at(127, 191), DARK_GREEN);
    EXPECT_EQ(px.at(95, 160), (Rgb{255, 255, 255}));
    EXPECT_EQ(px.at(128, 191), (Rgb{255, 255, 255}));
    EXPECT_EQ(px.at(127, 192), (Rgb{255, 255, 255}));
    ASSERT_EQ(VEK_DrawEnd(), 0);
}

} // namespace
