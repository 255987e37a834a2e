// SPDX-License-Identifier: Zlib
// The portable Linux build as a player meets it: unpacked into a folder whose
// name is not ASCII, started on a private X server, it opens the display and the
// sound through the libraries SDL loads at start, shows the red start screen,
// and a click on the grown word starts the run.
#include "harness.h"

#include <gtest/gtest.h>

using namespace e2e;

namespace {

TEST(Portable, StartsFromANonAsciiFolderShowsTheStartScreenAndAClickStartsTheRun) {
    XServer x;
    Launch how;
    how.runtime_dir = BRAMBLE_PORTABLE_GAME;
    how.folder = "Zo\u00e9-\u65e5\u672c"; // Zoé-日本
    // Through env: a program built without the sanitizers gets none of their
    // runtime preloaded, as the harness does for the test build's game.
    how.runner = {"env"};
    Game g(x, Mic::SILENT, {}, how);
    ASSERT_TRUE(g.wait_window(60.0)) << g.stderr_text();
    FontSheet font(g.dir() + "/asset/atarifont.bmp");
    Diff diff;
    ASSERT_TRUE(shows(g, render(font, START_RED, start_words(10)), 60.0, diff))
        << diff.first << "\n"
        << g.stderr_text();
    double delay = 0;
    ASSERT_TRUE(start_run(x, g, delay)) << g.stderr_text();
    ASSERT_TRUE(g.close_window());
    std::optional<int> status = g.wait_exit(30.0);
    ASSERT_TRUE(status.has_value()) << "still running after the window was closed";
    EXPECT_EQ(*status, 0);
    EXPECT_EQ(unclean(g.stderr_text()), "");
}

} // namespace
