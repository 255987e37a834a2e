// SPDX-License-Identifier: Zlib
// The run played on a real X server: its start from the start word, the stream of
// challenges on palette backgrounds, the microphone deciding how "YELL !" and
// "CHUT !" end, and the direction line of "FOLLOW ME !" on standard output.
#include "harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <regex>
#include <sstream>

using namespace e2e;

namespace {

double median(std::vector<double> v) {
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

TEST(Run, StartsWithinHalfASecondAndKeepsSwitchingOnPaletteColours) {
    XServer x;
    Game g(x, Mic::SILENT);
    ASSERT_TRUE(g.wait_window(30.0)) << g.stderr_text();
    double delay = 0;
    ASSERT_TRUE(start_run(x, g, delay)) << g.stderr_text();
    // The word blinks for 0.1 s, then the first challenge's colour shows.
    EXPECT_LT(delay, 0.5);

    // With a silent microphone and no other input every challenge but the
    // keyboard prompt ends on its own; the player only presses letter keys while
    // a screen lasts.
    Player p(x, g);
    std::vector<Rgb> off_palette;
    bool enough = p.play(60.0, [&](const Shot &, Segment &seg) {
        if (seg.shots == 1 && !is_palette(seg.bg)) off_palette.push_back(seg.bg);
        return p.segments.size() >= 12;
    });
    EXPECT_TRUE(enough) << p.segments.size() << " backgrounds in 60 s, " << p.keys_pressed
                        << " keys pressed";
    for (const Rgb &c : off_palette) ADD_FAILURE() << "background " << c << " off the palette";
    std::printf("start delay %.3f s; %zu backgrounds; %d letter keys pressed\n", delay,
                p.segments.size(), p.keys_pressed);
    EXPECT_EQ(unclean(g.stderr_text()), "");
}

// ---------------------------------------------------------------------------
// Microphone: "YELL !" and "CHUT !"
// ---------------------------------------------------------------------------

// What the screen told of one "YELL !" or "CHUT !" challenge.
struct Voice {
    bool yell = false;
    bool big = false, small = false; // title size 6 / size 2 seen ("CHUT !" grows on noise)
    bool progressing = false;        // title colour fading with a held condition
    // Bounds of its time on screen: from its first to its last shot, and from the
    // shot before its first to the first shot of the next challenge.
    double at_least = 0, at_most = 0;
};

// Recognises the title of the challenge on screen; for the hold colour f of the
// title ((f, 1, f) for "CHUT !", (1, f, f) for "YELL !") a byte within 40..250
// means a hold under way (f between 0.16 and 0.98), which a condition broken in
// every frame (f at 1 or a little above) never shows.
std::optional<Voice> read_voice(const Shot &s, const FontSheet &font, Rgb bg) {
    Voice v;
    auto progress = [](uint8_t f) { return f >= 40 && f <= 250; };
    if (std::optional<Rgb> ink = glyphs_shown(s, font, {"YELL !", 32, 224, 6}, bg)) {
        v.yell = v.big = true;
        v.progressing = ink->r == 255 && progress(ink->g);
        return v;
    }
    std::optional<Rgb> ink = glyphs_shown(s, font, {"CHUT !", 32, 224, 6}, bg);
    if (ink) {
        v.big = true;
    } else {
        ink = glyphs_shown(s, font, {"CHUT !", 224, 288, 2}, bg);
        if (!ink) return std::nullopt;
        v.small = true;
    }
    v.progressing = ink->g == 255 && progress(ink->r);
    return v;
}

struct MicCase {
    const char *name;
    Mic mic;
    bool yell_holds; // "YELL !" ends by its hold, "CHUT !" by time-out; else the reverse
};

void PrintTo(const MicCase &c, std::ostream *os) {
    *os << c.name;
}

class Microphone : public ::testing::TestWithParam<MicCase> {};

TEST_P(Microphone, DecidesWhetherYellOrChutEndsByHold) {
    const MicCase &c = GetParam();
    XServer x;
    Game g(x, c.mic);
    ASSERT_TRUE(g.wait_window(30.0)) << g.stderr_text();
    double delay = 0;
    ASSERT_TRUE(start_run(x, g, delay)) << g.stderr_text();
    FontSheet font(g.dir() + "/asset/atarifont.bmp");

    std::vector<Voice> voices; // one per segment, finished ones only
    std::optional<Voice> cur;
    size_t cur_index = 0;
    Player p(x, g);
    auto finished = [&](bool yell) {
        return std::count_if(voices.begin(), voices.end(),
                             [&](const Voice &v) { return v.yell == yell; });
    };
    p.play(90.0, [&](const Shot &s, Segment &seg) {
        size_t index = p.segments.size() - 1;
        if (cur && index != cur_index) {
            const Segment &done = p.segments[cur_index];
            cur->at_least = done.last - done.first;
            cur->at_most = done.end - done.first + done.gap_before;
            voices.push_back(*cur);
            cur.reset();
        }
        if (std::optional<Voice> v = read_voice(s, font, seg.bg)) {
            if (!cur) {
                cur = *v;
                cur_index = index;
            } else if (cur->yell == v->yell) {
                cur->big |= v->big;
                cur->small |= v->small;
                cur->progressing |= v->progressing;
            }
        }
        return finished(true) >= 3 && finished(false) >= 3;
    });

    std::vector<double> yell_least, yell_most, chut_least, chut_most;
    bool yell_progress = false, chut_progress = false, chut_big = false, chut_small = false;
    for (const Voice &v : voices) {
        (v.yell ? yell_least : chut_least).push_back(v.at_least);
        (v.yell ? yell_most : chut_most).push_back(v.at_most);
        (v.yell ? yell_progress : chut_progress) |= v.progressing;
        if (!v.yell) {
            chut_big |= v.big;
            chut_small |= v.small;
        }
    }
    ASSERT_GE(yell_least.size(), 3u) << "\"YELL !\" seen " << yell_least.size() << " times";
    ASSERT_GE(chut_least.size(), 3u) << "\"CHUT !\" seen " << chut_least.size() << " times";
    std::printf("%s: median time on screen YELL %.3f..%.3f s (%zu), CHUT %.3f..%.3f s (%zu)\n",
                c.name, median(yell_least), median(yell_most), yell_least.size(),
                median(chut_least), median(chut_most), chut_least.size());
    // The challenge whose condition holds shows its title fading as the hold
    // goes on and ends after the hold time (0.15 s); the other one restarts its
    // hold every frame and lasts until its time-out (0.4 s). Times on screen are
    // bounded from the shots around each change of colour, and compared by their
    // medians so that one late frame does not decide.
    const std::vector<double> &held = c.yell_holds ? yell_least : chut_least;
    const std::vector<double> &timed_out = c.yell_holds ? chut_most : yell_most;
    EXPECT_GE(median(timed_out), 0.3);
    EXPECT_LT(median(held) + 0.1, median(timed_out));
    if (c.yell_holds) {
        // Noise: the shout's title reddens; "CHUT !" is enlarged by the noise.
        EXPECT_TRUE(yell_progress) << "no \"YELL !\" title fading to red";
        EXPECT_TRUE(chut_big);
        EXPECT_FALSE(chut_small) << "\"CHUT !\" drawn small under noise";
    } else {
        // Silence: "CHUT !" stays small and fades to green.
        EXPECT_TRUE(chut_progress) << "no \"CHUT !\" title fading to green";
        EXPECT_TRUE(chut_small);
        EXPECT_FALSE(chut_big) << "\"CHUT !\" drawn large in silence";
    }
    EXPECT_EQ(unclean(g.stderr_text()), "");
}

INSTANTIATE_TEST_SUITE_P(Loudness, Microphone,
                         ::testing::Values(MicCase{"silent", Mic::SILENT, false},
                                           MicCase{"noise", Mic::LOUD, true}),
                         [](const ::testing::TestParamInfo<MicCase> &i) {
                             return std::string(i.param.name);
                         });

// ---------------------------------------------------------------------------
// "FOLLOW ME !" and its direction line
// ---------------------------------------------------------------------------

// The moving rectangle: 400 x 100 white, its top rows clear of the title; it
// starts at (120, 270) and drifts at most a pixel a frame for 0.4 s.
std::optional<std::pair<int, int>> find_rectangle(const Shot &s) {
    return find_run(s, WHITE, 400, 200, 340);
}

struct Direction {
    double x = 0, y = 0;
};

// Parses "dir[0]=%f; dir[1]=%f" lines; adds a failure for any other line.
std::vector<Direction> direction_lines(const std::string &out) {
    static const std::regex line_re(
        R"(dir\[0\]=(-?[0-9]+\.[0-9]{6}); dir\[1\]=(-?[0-9]+\.[0-9]{6}))");
    std::vector<Direction> dirs;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        std::smatch m;
        if (!std::regex_match(line, m, line_re)) {
            ADD_FAILURE() << "stdout line \"" << line << "\"";
            continue;
        }
        Direction d{std::stod(m[1]), std::stod(m[2])};
        for (double v : {d.x, d.y}) {
            EXPECT_LE(std::fabs(v), 1.0) << line;
            EXPECT_NEAR(v * 40.0, std::round(v * 40.0), 1e-4) << line << ": not a step of 0.025";
        }
        dirs.push_back(d);
    }
    return dirs;
}

// Whether (left, top) is the rectangle's place after n frames for some n: its
// centre at 320 + n * d truncated to whole pixels (either side of a sum that
// lands on a whole number, since the game adds d frame by frame).
bool drifted(int left, int top, const Direction &d) {
    auto fits = [](int got, double v) {
        return got == static_cast<int>(std::floor(v + 1e-6)) ||
               got == static_cast<int>(std::floor(v - 1e-6));
    };
    for (int n = 1; n <= 600; n++)
        if (fits(left, 120.0 + n * d.x) && fits(top, 270.0 + n * d.y)) return true;
    return false;
}

TEST(Run, EveryFollowMePrintsOneDirectionLineThatMovesTheRectangle) {
    XServer x;
    Game g(x, Mic::SILENT);
    ASSERT_TRUE(g.wait_window(30.0)) << g.stderr_text();
    double delay = 0;
    ASSERT_TRUE(start_run(x, g, delay)) << g.stderr_text();
    // The pointer away from the rectangle: each "FOLLOW ME !" runs to its time-out.
    ASSERT_TRUE(g.move_to(620, 20));

    // Per segment: stdout lines counted right after its first shot, whether it
    // shows the rectangle, and the rectangle's first and last place.
    struct Seen {
        size_t lines = 0;
        double lines_late = 0; // time from the first shot to the count
        bool follow = false;
        int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        double t0 = 0, t1 = 0;
    };
    std::vector<Seen> seen;
    Player p(x, g);
    // Pairs with a blind spot that could hide a whole challenge, a late count, or
    // a segment seen only once (its frames came late) prove nothing and are not
    // checked.
    auto checkable = [&](size_t i) {
        return i > 0 && p.segments[i].gap_before <= 0.06 && p.segments[i].shots >= 2 &&
               seen[i].lines_late <= 0.03 && seen[i - 1].lines_late <= 0.03;
    };
    int follows = 0, checkable_follows = 0;
    p.play(120.0, [&](const Shot &s, Segment &seg) {
        std::optional<std::pair<int, int>> r =
            is_palette(seg.bg) ? find_rectangle(s) : std::nullopt;
        if (seg.shots == 1) {
            Seen n;
            std::string out = g.stdout_text();
            n.lines = static_cast<size_t>(std::count(out.begin(), out.end(), '\n'));
            n.lines_late = seconds_since(g.started()) - s.t;
            seen.push_back(n);
            size_t done = seen.size() - 2; // the segment just ended
            if (seen.size() >= 2 && seen[done].follow && checkable(done)) checkable_follows++;
        }
        Seen &cur = seen.back();
        if (r) {
            if (!cur.follow) {
                cur.follow = true;
                follows++;
                std::tie(cur.x0, cur.y0) = *r;
                cur.t0 = s.t;
            }
            std::tie(cur.x1, cur.y1) = *r;
            cur.t1 = s.t;
        }
        return checkable_follows >= 3;
    });
    std::vector<Direction> dirs = direction_lines(g.stdout_text());
    ASSERT_GE(follows, 3) << "\"FOLLOW ME !\" seen " << follows << " times";

    // Between two segments seen one after the other, exactly the "FOLLOW ME !"
    // one added a line. The last segment may still be running: left out.
    int checked = 0, moved = 0;
    for (size_t i = 1; i + 1 < seen.size(); i++) {
        const Segment &seg = p.segments[i];
        if (!checkable(i)) continue;
        EXPECT_EQ(seen[i].lines - seen[i - 1].lines, seen[i].follow ? 1u : 0u)
            << "segment " << i << " with background " << seg.bg << ": shots " << seg.shots
            << " from " << seg.first << " to " << seg.last << " s, gap before " << seg.gap_before
            << " s, lines counted " << seen[i].lines_late << " s late; previous "
            << p.segments[i - 1].bg << " shots " << p.segments[i - 1].shots << " from "
            << p.segments[i - 1].first << " to " << p.segments[i - 1].last << "; next starts "
            << p.segments[i + 1].first;
        if (!seen[i].follow) continue;
        checked++;
        // The rectangle starts centred and drifts by the printed direction each
        // frame: the places seen are those of some frame counts n.
        ASSERT_LE(seen[i].lines, dirs.size());
        const Direction &d = dirs[seen[i].lines - 1];
        for (auto [x0, y0] : {std::pair{seen[i].x0, seen[i].y0}, std::pair{seen[i].x1, seen[i].y1}})
            EXPECT_TRUE(drifted(x0, y0, d)) << "rectangle at (" << x0 << ", " << y0
                                            << ") for direction (" << d.x << ", " << d.y << ")";
        if (seen[i].x1 != seen[i].x0 || seen[i].y1 != seen[i].y0) moved++;
    }
    EXPECT_GE(checked, 3) << "too few \"FOLLOW ME !\" seen without a blind spot";
    std::printf("%d FOLLOW ME seen, %d checked against their line, %d seen moving\n", follows,
                checked, moved);
    g.terminate();
    EXPECT_EQ(g.wait_exit(20.0), 0);
    EXPECT_EQ(unclean(g.stderr_text()), "");
}

} // namespace
