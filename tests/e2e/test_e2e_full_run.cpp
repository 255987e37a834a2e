// SPDX-License-Identifier: Zlib
// A whole play-through on a real X server: 145 seconds of challenges from the
// start word's first growth step, then "FINISH !" over the red background for as
// long as the window stays open, whatever the player does.
#include "harness.h"

#include <gtest/gtest.h>

using namespace e2e;

TEST(FullRun, EndsOnFinishAfter145SecondsAndStaysThere) {
    XServer x;
    Game g(x, Mic::SILENT);
    ASSERT_TRUE(g.wait_window(30.0)) << g.stderr_text();
    FontSheet font(g.dir() + "/asset/atarifont.bmp");

    // The run's clock starts with the word's first growth step.
    Picture small = render(font, START_RED, start_words(4));
    double grew = -1;
    ASSERT_TRUE(poll_until(30.0, [&] {
        const Shot &s = g.shot();
        if (s.background() != START_RED || compare(s, small).count == 0) return false;
        grew = s.t;
        return true;
    }));
    double delay = 0;
    ASSERT_TRUE(start_run(x, g, delay)) << g.stderr_text();

    Picture finish = render(font, START_RED, {{"FINISH !", 64, 256, 4}});
    Player p(x, g);
    std::vector<Rgb> off_palette;
    double finished = -1;
    bool done = p.play(
        200.0,
        [&](const Shot &s, Segment &seg) {
            if (compare(s, finish).count == 0) {
                finished = s.t;
                return true;
            }
            if (seg.shots == 1 && !is_palette(seg.bg)) off_palette.push_back(seg.bg);
            return false;
        },
        0.02);
    ASSERT_TRUE(done) << "no \"FINISH !\" screen " << seconds_since(g.started()) - grew
                      << " s after the first growth step";
    // Whole seconds of calendar time: the end comes between 144 and 145 s after the
    // growth step, seen a little later.
    double run = finished - grew;
    EXPECT_GE(run, 143.0);
    EXPECT_LE(run, 150.0);
    for (const Rgb &c : off_palette) ADD_FAILURE() << "background " << c << " off the palette";
    std::printf("run of %.1f s, %zu backgrounds, %d letter keys pressed\n", run,
                p.segments.size() - 1, p.keys_pressed);

    // Clicks and keys change nothing any more.
    ASSERT_TRUE(g.click(320, 320));
    ASSERT_TRUE(xdotool(x, {"keydown", "e", "sleep", "0.06", "keyup", "e"}));
    int shots = 0, differing = 0;
    auto watch = Clock::now();
    while (seconds_since(watch) < 3.0) {
        Diff d = compare(g.shot(), finish);
        shots++;
        if (d.count != 0) {
            differing++;
            ADD_FAILURE() << d.first;
            break;
        }
    }
    EXPECT_EQ(differing, 0) << "of " << shots << " shots";

    g.terminate();
    EXPECT_EQ(g.wait_exit(20.0), 0);
    EXPECT_EQ(unclean(g.stderr_text()), "");
}
