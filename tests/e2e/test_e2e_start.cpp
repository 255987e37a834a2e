// SPDX-License-Identifier: Zlib
// The start screen seen on a real X server: the picture, the delay before the word
// takes clicks, a quick click taken, the letterboxed picture in a resized window,
// and the font sheet reloaded while the game runs.
#include "harness.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace e2e;

namespace {

bool run_started(Game &g) {
    std::optional<Rgb> bg = g.shot().background();
    return bg && is_palette(*bg);
}

TEST(StartScreen, WordsInWhiteOverRedAndTheWordGrownToTen) {
    XServer x;
    Game g(x);
    ASSERT_TRUE(g.wait_window(30.0)) << g.stderr_text();
    FontSheet font(g.dir() + "/asset/atarifont.bmp");

    // Once grown the picture is still: red (1.0, 0.1, 0.1) bytes everywhere but
    // the white glyph texels of "OU", "?" and the start word, each where it
    // belongs, pixel for pixel.
    Diff diff;
    EXPECT_TRUE(shows(g, render(font, START_RED, start_words(10)), 30.0, diff))
        << diff.count << " pixels differ, first: " << diff.first;
}

// Tries once to press the button on the word while it still has its first size,
// at the first frame of the start screen. The press is followed by a resize in
// the same xdotool script: X delivers the two in order, so the first frame drawn
// for the new window size was made after the press had been read, and if it
// still shows the word at size 4 the press came before any growth step. UNKNOWN
// when that could not be established (the machine was too slow to press in
// time); the caller starts over.
enum class Press { NOT_TAKEN_YET, TAKEN, UNKNOWN };

Press press_while_small(XdoStream &xdo, Game &g, const FontSheet &font) {
    Picture small = render(font, START_RED, start_words(4));
    if (!poll_until(
            20.0, [&] { return g.shot().background() == START_RED; }, 0.001))
        return Press::UNKNOWN;
    int rx, ry;
    if (!g.root_of(320, 320, rx, ry)) return Press::UNKNOWN;
    std::ostringstream script;
    script << "mousemove " << rx << " " << ry << "\nmousedown 1\nwindowsize " << g.window()
           << " 700 640\n";
    EXPECT_TRUE(xdo.send(script.str()));
    Shot first;
    bool resized = poll_until(
        10.0,
        [&] {
            first = g.shot();
            // The new letterbox: black bars 30 pixels wide, the picture between. On a
            // loaded machine the press may come late enough to start the run, whose
            // background is no longer red: that frame still shows the new size, and
            // the comparisons below call it UNKNOWN, so the caller starts over.
            return first.w == 700 && first.win(5, 5) == BLACK && first.win(35, 5) != BLACK &&
                   first.win(694, 5) == BLACK;
        },
        0.001);
    std::this_thread::sleep_for(std::chrono::milliseconds(60)); // hold across frames
    EXPECT_TRUE(xdo.send("mouseup 1\n"));
    EXPECT_TRUE(resized) << "the game did not redraw for the new window size";
    if (!resized) return Press::UNKNOWN;
    if (compare(first, small).count == 0) return Press::NOT_TAKEN_YET;
    // The word at its first size drawn in pure red: the blink after a taken click.
    std::vector<Text> blink = start_words(4);
    blink.back().ink = Rgb{255, 0, 0};
    if (compare(first, render(font, START_RED, blink)).count == 0) return Press::TAKEN;
    return Press::UNKNOWN;
}

TEST(StartScreen, ClickBeforeTheWordGrowsIsIgnored) {
    for (int attempt = 1; attempt <= 5; attempt++) {
        XServer x;
        Game g(x);
        XdoStream xdo(x); // started while the game starts, ready to press at once
        FontSheet font(g.dir() + "/asset/atarifont.bmp");
        ASSERT_TRUE(g.wait_window(30.0)) << g.stderr_text();
        Press press = press_while_small(xdo, g, font);
        if (HasFailure()) return;
        if (press == Press::UNKNOWN) continue;
        ASSERT_NE(press, Press::TAKEN)
            << "the click before the first growth step started the blink";
        // The word goes on growing to its last size: the game stayed on the start
        // screen (a taken click would have frozen the word, blinked and started).
        Diff diff;
        EXPECT_TRUE(shows(g, render(font, START_RED, start_words(10)), 30.0, diff))
            << diff.count << " pixels differ, first: " << diff.first;
        // The same button does start the run once the word has grown.
        EXPECT_TRUE(g.click_until(320, 320, [&] { return run_started(g); }));
        return;
    }
    FAIL() << "could not press during the first 0.2 s in 5 attempts";
}

// A touchpad's tap-to-click sends the button's down and up together, so both
// usually reach the game in one frame: that one click, without a retry, starts
// the run.
TEST(StartScreen, BackToBackClickOnTheGrownWordStartsTheRun) {
    XServer x;
    Game g(x);
    ASSERT_TRUE(g.wait_window(30.0)) << g.stderr_text();
    FontSheet font(g.dir() + "/asset/atarifont.bmp");
    Diff diff;
    ASSERT_TRUE(shows(g, render(font, START_RED, start_words(10)), 30.0, diff)) << diff.first;
    ASSERT_TRUE(g.click(320, 320));
    EXPECT_TRUE(poll_until(
        3.0, [&] { return run_started(g); }, 0.001))
        << "the click was not taken";
}

TEST(StartScreen, ResizedWindowLetterboxesAndTakesTheClick) {
    XServer x;
    Game g(x);
    ASSERT_TRUE(g.wait_window(30.0)) << g.stderr_text();
    FontSheet font(g.dir() + "/asset/atarifont.bmp");
    Picture grown = render(font, START_RED, start_words(10));
    Diff diff;
    ASSERT_TRUE(shows(g, grown, 30.0, diff)) << diff.first;

    ASSERT_TRUE(xdotool(x, {"windowsize", std::to_string(g.window()), "800", "600"}));
    // The picture scaled to 600 x 600 (nearest texel) between two bars.
    EXPECT_TRUE(shows(g, grown, 10.0, diff))
        << diff.count << " pixels differ, first: " << diff.first;
    Shot s = g.shot();
    ASSERT_EQ(s.w, 800);
    ASSERT_EQ(s.h, 600);
    int wrong_bar = 0, wrong_edge = 0;
    for (int y = 0; y < 600; y++) {
        for (int x0 = 0; x0 < 100; x0++) {
            if (s.win(x0, y) != BLACK) wrong_bar++;
            if (s.win(700 + x0, y) != BLACK) wrong_bar++;
        }
        // The picture's outer columns are background on the start screen.
        if (s.win(100, y) != START_RED || s.win(699, y) != START_RED) wrong_edge++;
    }
    EXPECT_EQ(wrong_bar, 0) << "pixels of the bars x < 100 and x >= 700 not black";
    EXPECT_EQ(wrong_edge, 0) << "picture not spanning x 100 to 699 on every row";

    // A point of the word's box whose window position lies outside that box if
    // taken as picture coordinates, so only a correct transform starts the run.
    int rx, ry, wx, wy, ww, wh;
    ASSERT_TRUE(g.root_of(500, 330, rx, ry));
    ASSERT_TRUE(g.geometry(wx, wy, ww, wh));
    ASSERT_GT(rx - wx, 528);
    EXPECT_TRUE(g.click_until(500, 330, [&] { return run_started(g); }));
}

// The sheet with every texel's coverage inverted: glyphs become white blocks with
// letter-shaped holes.
std::string inverted_sheet(const std::string &bmp) {
    std::string out = bmp;
    uint32_t offset = 0;
    memcpy(&offset, &bmp[10], 4);
    uint16_t bpp = 0;
    memcpy(&bpp, &bmp[28], 2);
    EXPECT_EQ(bpp, 32);
    for (size_t i = offset + 3; i < out.size(); i += 4)
        out[i] = static_cast<char>(255 - static_cast<uint8_t>(out[i]));
    return out;
}

TEST(StartScreen, NewFontSheetShowsWithinASecond) {
    XServer x;
    Game g(x);
    ASSERT_TRUE(g.wait_window(30.0)) << g.stderr_text();
    std::string sheet = g.dir() + "/asset/atarifont.bmp";
    FontSheet font(sheet);
    Diff diff;
    ASSERT_TRUE(shows(g, render(font, START_RED, start_words(10)), 30.0, diff)) << diff.first;

    // Written aside and renamed over the sheet, so the game never reads half a
    // file; modification times count whole seconds, so this one is 2 s later.
    struct stat old;
    ASSERT_EQ(stat(sheet.c_str(), &old), 0);
    std::string next = g.dir() + "/asset/next.bmp";
    write_file(next, inverted_sheet(read_file(sheet)));
    timespec times[2] = {{old.st_mtim.tv_sec + 2, 0}, {old.st_mtim.tv_sec + 2, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, next.c_str(), times, 0), 0);
    FontSheet inverted(next);
    Picture want = render(inverted, START_RED, start_words(10));
    ASSERT_EQ(rename(next.c_str(), sheet.c_str()), 0);
    auto swapped = Clock::now();

    EXPECT_TRUE(shows(g, want, 1.0, diff))
        << diff.count << " pixels differ a second after the swap, first: " << diff.first;
    std::printf("new glyphs shown %.3f s after the swap\n", seconds_since(swapped));
}

} // namespace
