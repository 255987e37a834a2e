// SPDX-License-Identifier: Zlib
// How the game ends: a SIGTERM ends it like closing the window (status 0, clean
// stderr, no sanitizer report), and the two start-up failures a player can meet,
// a missing world file and a microphone that cannot be opened, end it with status
// 1 and the ERR line of the failed check.
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
