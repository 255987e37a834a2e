// SPDX-License-Identifier: Zlib
// Support library: tracked allocator and vector/matrix math.
#include "rig.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <regex>
#include <unistd.h>

namespace {

class Allocator : public ::testing::Test {
  protected:
    void SetUp() override { wdeinit(); }
    void TearDown() override { wdeinit(); }
};

TEST_F(Allocator, TableGrowsOnlyWhenTheNextBlockDoesNotFit) {
    EXPECT_EQ(alloc_capacity(), 0u);
    std::vector<void *> blocks;
    // (live blocks after the call, capacity expected)
    const std::pair<size_t, size_t> steps[] = {{1, 16}, {16, 16}, {17, 32}, {32, 32}, {33, 64}};
    for (auto [count, capacity] : steps) {
        while (blocks.size() < count) blocks.push_back(alloc(8));
        EXPECT_EQ(alloc_live_count(), count);
        EXPECT_EQ(alloc_capacity(), capacity) << "with " << count << " live blocks";
    }
    // Releasing never shrinks the table.
    for (void *b : blocks) _free(b);
    EXPECT_EQ(alloc_live_count(), 0u);
    EXPECT_EQ(alloc_capacity(), 64u);
}

TEST_F(Allocator, BlocksAreZeroFilledAndDistinctEvenForZeroBytes) {
    auto *p = static_cast<unsigned char *>(alloc(256));
    for (int i = 0; i < 256; i++) ASSERT_EQ(p[i], 0) << i;
    void *a = alloc(0), *b = alloc(0);
    EXPECT_NE(a, nullptr);
    EXPECT_NE(a, b);
}

TEST_F(Allocator, ReleaseKeepsTheOrderOfTheOthers) {
    void *b[5];
    for (auto &p : b) p = alloc(4);
    _free(b[0]); // oldest: all others move down
    _free(b[3]); // middle
    _free(b[4]); // newest: nothing moves
    ASSERT_EQ(alloc_live_count(), 2u);
    EXPECT_EQ(alloc_slot(0), b[1]);
    EXPECT_EQ(alloc_slot(1), b[2]);
}

TEST_F(Allocator, DoubleFreeAndNullOnlyWarn) {
    void *keep = alloc(4);
    void *p = alloc(4);
    _free(p);
    StderrCapture cap;
    _free(p);
    _free(nullptr);
    std::string err = cap.text();
    char expected[64];
    snprintf(expected, sizeof expected, "double free of %p\n", p);
    EXPECT_NE(err.find(std::string("WRN _.cpp:_free:")), std::string::npos) << err;
    EXPECT_NE(err.find(expected), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2);
    EXPECT_EQ(alloc_live_count(), 1u);
    EXPECT_EQ(alloc_slot(0), keep);
}

TEST(Diagnostics, ColourCodesOnlyWhenStderrIsATerminal) {
    // A pseudo-terminal as stderr: the prefix carries its colour codes (for a
    // terminal that shows them: TERM=dumb does not).
    const char *term_env = getenv("TERM");
    std::string saved_term = term_env != nullptr ? term_env : "";
    setenv("TERM", "xterm", 1);
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    int tty = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(tty, 0);
    fflush(stderr);
    int saved = dup(STDERR_FILENO);
    dup2(tty, STDERR_FILENO);
    WRN("on a terminal");
    setenv("TERM", "dumb", 1);
    WRN("on a dumb terminal");
    if (term_env != nullptr)
        setenv("TERM", saved_term.c_str(), 1);
    else
        unsetenv("TERM");
    dup2(saved, STDERR_FILENO);
    close(saved);
    close(tty);
    // The lines arrive in pieces (prefix, message, newline): read up to the last,
    // for at most 10 seconds, so that a line which never comes fails the test with
    // what did come instead of blocking it until ctest gives up.
    std::string shown;
    char buf[256];
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (shown.find("dumb terminal") == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        pollfd ready = {master, POLLIN, 0};
        if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0) break;
        ssize_t n = read(master, buf, sizeof buf);
        if (n <= 0) break;
        shown.append(buf, static_cast<size_t>(n));
    }
    close(master);
    ASSERT_NE(shown.find("dumb terminal"), std::string::npos) << "the terminal showed only:\n"
                                                              << shown;
    EXPECT_EQ(shown.rfind("\033[93mWRN test_support.cpp:", 0), 0u) << shown;
    EXPECT_NE(shown.find("\033[0m \ton a terminal"), std::string::npos) << shown;
    EXPECT_TRUE(std::regex_search(
        shown, std::regex("\nWRN test_support\\.cpp:[A-Za-z_]+:[0-9]+ \ton a dumb terminal")))
        << shown;

    // A file: the same words without them.
    StderrCapture cap;
    WRN("in a file");
    std::string err = cap.text();
    EXPECT_TRUE(
        std::regex_match(err, std::regex("WRN test_support\\.cpp:[A-Za-z_]+:[0-9]+ \tin a file\n")))
        << err;
}

TEST_F(Allocator, ReallocKeepsSlotAndContents) {
    void *a = alloc(4);
    auto *b = static_cast<char *>(alloc(4));
    void *c = alloc(4);
    memcpy(b, "abc", 4);
    auto *nb = static_cast<char *>(_realloc(b, 1 << 20));
    EXPECT_STREQ(nb, "abc");
    EXPECT_EQ(alloc_slot(0), a);
    EXPECT_EQ(alloc_slot(1), nb);
    EXPECT_EQ(alloc_slot(2), c);
    EXPECT_EQ(alloc_live_count(), 3u);
}

TEST_F(Allocator, ReallocToZeroKeepsATrackedBlockThatIsFreedOnce) {
    void *a = alloc(8);
    void *b = _realloc(a, 0);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(alloc_live_count(), 1u);
    EXPECT_EQ(alloc_slot(0), b);
    b = _realloc(b, 16); // still usable as a block
    _free(b);
    EXPECT_EQ(alloc_live_count(), 0u);
    (void)_realloc(alloc(4), 0); // left to the sweep, which must free it exactly once
}

using AllocatorDeathTest = Allocator;

TEST_F(AllocatorDeathTest, ReallocOfAnUntrackedPointerIsFatal) {
    const char *line = "ERR _\\.cpp:_realloc:[0-9]+.* \tfucked up realloc, have fun debugging\n";
    EXPECT_EXIT((void)_realloc(nullptr, 8), ::testing::ExitedWithCode(1), line);
    void *p = alloc(8);
    _free(p);
    EXPECT_EXIT((void)_realloc(p, 8), ::testing::ExitedWithCode(1), line);
}

TEST_F(AllocatorDeathTest, FailedCheckPrintsTheCondition) {
    EXPECT_EXIT(ASSERT(1 + 1 == 3), ::testing::ExitedWithCode(1),
                "ERR test_support\\.cpp:TestBody:[0-9]+.* \tassert failed: 1 \\+ 1 == 3\n");
}

TEST_F(Allocator, SweepIsSafeEmptyAndTwiceAndStartsAfresh) {
    wdeinit();
    wdeinit();
    EXPECT_EQ(alloc_capacity(), 0u);
    for (int i = 0; i < 20; i++) (void)alloc(1);
    wdeinit();
    EXPECT_EQ(alloc_live_count(), 0u);
    EXPECT_EQ(alloc_capacity(), 0u);
    wdeinit();
    (void)alloc(1);
    EXPECT_EQ(alloc_capacity(), 16u);
}

// ---------------------------------------------------------------------------

MATCHER_P2(IsVec, x, y, "") { return std::fabs(arg.x - x) < 1e-5f && std::fabs(arg.y - y) < 1e-5f; }

TEST(Math, VectorEdgeCases) {
    EXPECT_TRUE(v2_eq(v2(0, 0), v2_negate(v2(0, 0))));
    EXPECT_TRUE(std::signbit(v2_negate(v2(0, 0)).x));
    vec2 nan = v2(NAN, 0);
    EXPECT_FALSE(v2_eq(nan, nan));

    EXPECT_THAT(v2_normalize(v2(0.6f, 0)), IsVec(0.6f, 0));      // below 1: unchanged
    EXPECT_THAT(v2_normalize(v2(3, 4)), IsVec(0.6f, 0.8f));
    EXPECT_THAT(v2_normalize(v2_zero()), IsVec(0, 0));

    EXPECT_THAT(v2_round(v2(2.5f, -2.5f)), IsVec(3, -3));
    EXPECT_THAT(v2_trunc(v2(2.7f, -2.7f)), IsVec(2, -2));
    EXPECT_THAT(v2_clamp(v2(0, 0), v2(-1, 5), v2(1, 1)), IsVec(0, 1));
    EXPECT_THAT(v2_clamp(v2(2, 2), v2(0, 5), v2(1, 1)), IsVec(1, 1)); // min above max: max wins
    EXPECT_THAT(v2_lerp(v2(0, 0), v2(10, 20), 1.5f), IsVec(15, 30));
    EXPECT_THAT(v2_swap(v2(1, 2)), IsVec(2, 1));
    EXPECT_FLOAT_EQ(v2_dot(v2(1, 2), v2(3, 4)), 11);
}

TEST(Math, AngleUsesHalfTurnOf3125) {
    const struct {
        vec2 v;
        float expect;
    } cases[] = {
        {v2(1, 0), 0.0f},          {v2(1, 1), 0.125664f},  {v2(0, 1), 0.251327f},
        {v2(-1, 0), 0.5f},         {v2(0, -1), -0.251327f}, {v2(-1, -1), 0.625664f},
        {v2(-1, 1), 0.374336f},
    };
    for (auto &c : cases) EXPECT_NEAR(v2_angle(c.v), c.expect, 1e-5) << c.v.x << "," << c.v.y;
    EXPECT_TRUE(std::isnan(v2_angle(v2_zero())));
}

TEST(Math, MatricesComposeAsRowVectors) {
    EXPECT_THAT(v2_transform(v2(1, 2), m3_translating(v2(10, 20))), IsVec(11, 22));
    EXPECT_THAT(v2_transform(v2(1, 2), m3_scaling(v2(2, 3))), IsVec(2, 6));
    const float r = 0.7f;
    EXPECT_THAT(v2_transform(v2(1, 0), m3_rotating(r)), IsVec(cosf(r), -sinf(r)));
    EXPECT_THAT(v2_transform(v2(0, 1), m3_rotating(r)), IsVec(sinf(r), cosf(r)));

    // m3_dot(A, B) applies A first: scale then translate differs from the reverse.
    mat3 s = m3_scaling(v2(2, 2)), t = m3_translating(v2(10, 0));
    EXPECT_THAT(v2_transform(v2(1, 1), m3_dot(s, t)), IsVec(12, 2));
    EXPECT_THAT(v2_transform(v2(1, 1), m3_dot(t, s)), IsVec(22, 2));

    mat3 m = m3_dot(m3_rotating(0.3f), m3_translating(v2(4, -2)));
    mat3 a = m3_dot(m3_identity(), m), b = m3_dot(m, m3_identity());
    mat3 rt = m3_transpose(m3_rotating(0.3f)), rn = m3_rotating(-0.3f);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 3; x++) {
            EXPECT_FLOAT_EQ(a.a[y][x], m.a[y][x]);
            EXPECT_FLOAT_EQ(b.a[y][x], m.a[y][x]);
            EXPECT_NEAR(rt.a[y][x], rn.a[y][x], 1e-6);
        }
}

} // namespace
