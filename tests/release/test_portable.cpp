// SPDX-License-Identifier: Zlib
// The portable Linux build as a player meets it: unpacked into a folder whose
// name is not ASCII, started on a private X server, it opens the display through
// the X11 library SDL loads at start (the program links none), shows the red
// start screen, and a click on the grown word starts the run.
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
    const Picture grown =
        render(FontSheet(g.dir() + "/asset/atarifont.bmp"), START_RED, start_words(10));
    Diff diff;
    ASSERT_TRUE(shows(g, grown, 60.0, diff)) << diff.first << "\n" << g.stderr_text();
    double delay = 0;
    ASSERT_TRUE(start_run(x, g, delay)) << g.stderr_text();
    // No ERR or WRN line on the way.
    EXPECT_EQ(unclean(g.stderr_text()), "");
}

} // namespace
