// SPDX-License-Identifier: Zlib
// How the game ends: a SIGTERM ends it like closing the window (status 0, clean
// stderr, no sanitizer report), and the start-up failures a player can meet, a
// missing world file, a microphone that cannot be opened and a system without
// OpenGL, end it with status 1 and the lines that say why, in a message box too
// when the game was started from the desktop.
#include "harness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>

using namespace e2e;

namespace {

struct EndCase {
    const char *name;
    Mic mic;
    bool without_world; // res/world/world.csv removed from the copy
    bool sigterm;       // sent once the start screen shows
    int status;
    const char *err_line; // regex an ERR line must match; null: no ERR line at all
};

void PrintTo(const EndCase &c, std::ostream *os) {
    *os << c.name;
}

class Ends : public ::testing::TestWithParam<EndCase> {};

TEST_P(Ends, StatusAndDiagnostics) {
    const EndCase &c = GetParam();
    XServer x;
    Game g(x, c.mic, [&](const std::string &dir) {
        if (c.without_world) std::filesystem::remove(dir + "/res/world/world.csv");
    });
    if (c.sigterm) {
        ASSERT_TRUE(g.wait_window(30.0)) << g.stderr_text();
        ASSERT_TRUE(poll_until(30.0, [&] { return g.shot().background() == START_RED; }));
        g.terminate();
    }
    std::optional<int> status = g.wait_exit(60.0);
    ASSERT_TRUE(status.has_value()) << "still running";
    EXPECT_EQ(*status, c.status);

    std::string err = g.stderr_text();
    if (c.err_line == nullptr) {
        EXPECT_EQ(unclean(err), "");
        return;
    }
    // Exactly one ERR line, the failed check's; no sanitizer report.
    std::istringstream in(err);
    std::string line;
    int errs = 0, matching = 0;
    while (std::getline(in, line)) {
        if (line.rfind("ERR ", 0) != 0) continue;
        errs++;
        if (std::regex_search(line, std::regex(c.err_line))) matching++;
    }
    EXPECT_EQ(errs, 1) << err;
    EXPECT_EQ(matching, 1) << err;
    EXPECT_EQ(err.find("Sanitizer"), std::string::npos) << err;
    EXPECT_EQ(err.find("runtime error"), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(
    Game, Ends,
    ::testing::Values(EndCase{"sigterm", Mic::SILENT, false, true, 0, nullptr},
                      EndCase{"no_world_file", Mic::SILENT, true, false, 1,
                              R"(ERR [^ ]*:world_init:[0-9]+.*assert failed: world != )"},
                      EndCase{"no_microphone", Mic::MISSING, false, false, 1,
                              R"(ERR [^ ]*:record_init:[0-9]+.*assert failed: mic > 0)"}),
    [](const ::testing::TestParamInfo<EndCase> &i) { return std::string(i.param.name); });

// Started from the desktop (standard input and error no terminal, as the harness
// starts it), a fatal stop shows its words in a message box, which waits to be
// read: the game is still there until the box is closed, then ends with status 1.
// The box fits the screen, since its lines are laid out to a width.
TEST(DesktopStart, NoMicrophoneShowsWhyInAMessageBoxThenEndsWithStatusOne) {
    XServer x;
    Launch how;
    how.env = {"VEK_FATAL_NOTICE="}; // the game decides by its terminals alone
    Game g(x, Mic::MISSING, {}, how);
    ASSERT_TRUE(g.wait_window(60.0, "bramble stopped")) << g.stderr_text();
    EXPECT_TRUE(g.running());
    int bx, by, bw, bh;
    ASSERT_TRUE(g.geometry(bx, by, bw, bh));
    EXPECT_LE(bw, 1024) << "a line of the notice runs off the screen";
    ASSERT_TRUE(xdotool(x, {"key", "--window", std::to_string(g.window()), "Return"}));
    std::optional<int> status = g.wait_exit(30.0);
    ASSERT_TRUE(status.has_value()) << "still running after the box was closed";
    EXPECT_EQ(*status, 1);
    std::string err = g.stderr_text();
    EXPECT_NE(err.find("assert failed: mic > 0"), std::string::npos) << err;
    EXPECT_EQ(err.find("no message box"), std::string::npos) << err;
}

// Without an OpenGL library SDL has no accelerated renderer and says only that no
// render driver matched: the game names what to install, and the way to start
// without it, which does start.
TEST(DesktopStart, NoOpenGlSaysWhatToInstallAndSoftwareDrawingStarts) {
    XServer x;
    Launch how;
    how.env = {"SDL_OPENGL_LIBRARY=/nonexistent/libGL.so.1"};
    {
        Game g(x, Mic::SILENT, {}, how);
        std::optional<int> status = g.wait_exit(60.0);
        ASSERT_TRUE(status.has_value()) << "still running";
        EXPECT_EQ(*status, 1);
        std::string err = g.stderr_text();
        EXPECT_TRUE(std::regex_search(
            err, std::regex(R"((^|\n)LOG [^ ]+:platform_create_renderer:[0-9]+ \tno accelerated )"
                            R"(renderer \([^)]+\): install OpenGL \(Mesa: libgl1 [^\n]*)"
                            R"(SDL_RENDER_DRIVER=software to draw without it\n)")))
            << err;
    }
    how.env.push_back("SDL_RENDER_DRIVER=software");
    Game g(x, Mic::SILENT, {}, how);
    ASSERT_TRUE(g.wait_window(60.0)) << g.stderr_text();
    ASSERT_TRUE(poll_until(60.0, [&] { return g.shot().background() == START_RED; }))
        << g.stderr_text();
    g.terminate();
    EXPECT_EQ(g.wait_exit(30.0), std::optional<int>(0)) << g.stderr_text();
}

// The e2e runs are the sanitized check of the real executable: when these tests
// are built with the sanitizers, the game they start must carry the runtimes too
// (the names of the shared libraries it needs stand in its dynamic string table).
TEST(Sanitizers, GameUnderTestCarriesThem) {
#if defined(__SANITIZE_ADDRESS__)
    std::string exe = read_file(runtime_dir() + "/bramble");
    ASSERT_FALSE(exe.empty());
    EXPECT_NE(exe.find("libasan.so"), std::string::npos);
    EXPECT_NE(exe.find("libubsan.so"), std::string::npos);
#else
    GTEST_SKIP() << "tests built without the sanitizers";
#endif
}

} // namespace
