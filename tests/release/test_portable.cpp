// SPDX-License-Identifier: Zlib
// The portable Linux build as a player meets it: unpacked into a folder whose
// name is not ASCII, started on a private X server, it opens the display through
// the X11 library SDL loads at start (the program links none), shows the red
// start screen, and a click on the grown word starts the run. Where that library
// is missing it says so.
#include "harness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/wait.h>

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

// Whether this machine lets a test hide files from a program it starts, in a
// mount namespace of its own (root, or unprivileged user namespaces).
bool can_hide_files() {
    pid_t pid = spawn({"unshare", "-rm", "true"}, {"PATH=/usr/bin:/bin"}, "", "");
    std::optional<int> st = wait_for(pid, 30.0);
    return st && WIFEXITED(*st) && WEXITSTATUS(*st) == 0;
}

// A system without the X11 client libraries (a server installation reached with
// ssh -X, say) has DISPLAY set, and SDL, which loads them at start, finds none:
// the game names the libraries and their packages instead of asking for DISPLAY.
// The library is hidden from the game by a private mount of an empty file in its
// place, on a real X server.
TEST(Portable, WithoutTheX11LibrariesNamesThemAndTheirPackages) {
    if (!can_hide_files()) GTEST_SKIP() << "no mount namespace for a test here";
    std::string x11;
    for (const char *dir : {"/usr/lib/x86_64-linux-gnu", "/lib/x86_64-linux-gnu", "/usr/lib64"})
        if (x11.empty() && std::filesystem::exists(std::string(dir) + "/libX11.so.6"))
            x11 = std::filesystem::canonical(std::string(dir) + "/libX11.so.6");
    ASSERT_FALSE(x11.empty()) << "no libX11.so.6 to hide";
    XServer x;
    Launch how;
    how.runtime_dir = BRAMBLE_PORTABLE_GAME;
    how.runner = {"unshare", "-rm", "sh", "-c", "mount --bind /dev/null \"$0\" && exec \"$@\"",
                  x11};
    Game g(x, Mic::SILENT, {}, how);
    std::optional<int> status = g.wait_exit(60.0);
    ASSERT_TRUE(status.has_value()) << "still running";
    EXPECT_EQ(*status, 1) << g.stderr_text();
    std::string err = g.stderr_text();
    EXPECT_NE(err.find("no display: DISPLAY is set, but the X11 client libraries libX11.so.6 and "
                       "libXext.so.6 are missing: install libx11-6 and libxext6"),
              std::string::npos)
        << err;
    EXPECT_EQ(err.find("set DISPLAY or WAYLAND_DISPLAY"), std::string::npos) << err;
}

} // namespace
