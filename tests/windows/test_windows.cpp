// SPDX-License-Identifier: Zlib
// The unpacked Windows game under Wine, on private X servers with the disk audio
// driver and a microphone file named the Windows way: the start screen is the
// Linux build's picture, a click on the grown word starts the run and closing
// the window then ends the game with status 0, and without a microphone it ends
// with status 1 and the failed check's ERR line.
#include "harness.h"

#include <gtest/gtest.h>

#include <regex>

using namespace e2e;

namespace {

// Wine sees this machine's files under Z:, with backslashes.
std::string windows_path(const std::string &path) {
    std::string p = "Z:" + path;
    for (char &c : p)
        if (c == '/') c = '\\';
    return p;
}

Launch under_wine() {
    Launch how;
    how.runtime_dir = BRAMBLE_WINDOWS_GAME;
    how.exe = "bramble.exe";
    how.runner = {"wine"};
    // No debug channels, and no offer to install .NET or the HTML engine.
    how.env = {std::string("WINEPREFIX=") + BRAMBLE_WINEPREFIX, "WINEDEBUG=-all",
               "WINEDLLOVERRIDES=mscoree,mshtml="};
    how.game_path = windows_path;
    // The prefix's server and its desktop process are tied to this test's X
    // server: stopped with it, so the next test starts afresh.
    how.after = {"wineserver", "-k"};
    return how;
}

TEST(Windows, StartScreenIsTheLinuxBuildsPicture) {
    XServer xw, xl;
    Game win(xw, Mic::SILENT, {}, under_wine());
    Game lin(xl);
    ASSERT_TRUE(win.wait_window(60.0)) << win.stderr_text();
    ASSERT_TRUE(lin.wait_window(60.0)) << lin.stderr_text();

    // Both once the start word has grown, the start screen's still picture: the
    // whole windows, letterbox and all, are compared pixel for pixel.
    FontSheet font(win.dir() + "/asset/atarifont.bmp");
    Picture grown = render(font, START_RED, start_words(10));
    Diff diff;
    ASSERT_TRUE(shows(lin, grown, 60.0, diff)) << "Linux: " << diff.first;
    Shot linux_shot = lin.shot();
    ASSERT_TRUE(shows(win, grown, 60.0, diff)) << "Windows: " << diff.first;
    const Shot &windows_shot = win.shot();
    EXPECT_EQ(windows_shot.w, linux_shot.w);
    EXPECT_EQ(windows_shot.h, linux_shot.h);
    EXPECT_TRUE(windows_shot.px == linux_shot.px);
}

TEST(Windows, ClickOnTheGrownWordStartsTheRunAndClosingTheWindowEndsIt) {
    XServer x;
    Game g(x, Mic::SILENT, {}, under_wine());
    ASSERT_TRUE(g.wait_window(60.0)) << g.stderr_text();
    double delay = 0;
    ASSERT_TRUE(start_run(x, g, delay)) << g.stderr_text();

    ASSERT_TRUE(g.close_window());
    std::optional<int> status = g.wait_exit(30.0);
    ASSERT_TRUE(status.has_value()) << "still running after the window was closed";
    EXPECT_EQ(*status, 0);
    EXPECT_EQ(unclean(g.stderr_text()), "");
}

TEST(Windows, NoMicrophoneEndsWithStatusOneAndTheErrLine) {
    XServer x;
    Game g(x, Mic::MISSING, {}, under_wine());
    std::optional<int> status = g.wait_exit(60.0);
    ASSERT_TRUE(status.has_value()) << "still running";
    EXPECT_EQ(*status, 1);
    std::string err = g.stderr_text();
    EXPECT_TRUE(std::regex_search(
        err, std::regex(R"(\x1b\[91mERR [^ ]*:record_init:[0-9]+.*assert failed: mic > 0)")))
        << err;
}

} // namespace
