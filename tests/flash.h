// SPDX-License-Identifier: Zlib
// Flash counter: reads the pictures a game shows, frame after frame, and counts
// general and red flashes by the web accessibility guidelines' flash thresholds
// (see docs/photosensitivity.md), reporting the worst one-second window.
//
// It is a second formulation of the rule, written apart from the game's own flash
// limit (src/flash_limit.cpp) so that a fault in one does not hide in the other.
// Each pixel's history is cut into legs between its turning points: a leg runs
// from one turning point in the direction of the change, the farthest point it
// reaches is the next turning point once the pixel has come back from it far
// enough to make a leg of its own. A leg far enough in luminance (0.1, the darker
// end below 0.8) is a general transition, one far enough in redness or colour
// with a saturated red at one end a red transition; it counts from the frame in
// which it first became one. A frame holds a transition of the picture when the
// legs counting from it, in the same direction, cover at least a quarter of the
// picture. A flash is a pair of opposite transitions: more than six transitions
// within one second is more than three flashes.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <vector>

// The busiest second of a run.
struct FlashWindow {
    int transitions = 0;
    int64_t from_ms = 0; // time of its first transition
    double flashes() const { return transitions / 2.0; }
};

class FlashCounter {
  public:
    static constexpr int MAX_TRANSITIONS = 6; // three flashes a second

    FlashCounter(int w, int h);
    // The picture shown from `ms` on: w x h pixels 0x..RRGGBB (ARGB8888, alpha
    // ignored), row by row. The first picture is where counting starts.
    void frame(int64_t ms, const uint32_t *argb);

    // Up to the last picture, legs not yet ended included.
    FlashWindow worst_general() const { return worst(GENERAL); }
    FlashWindow worst_red() const { return worst(RED); }

  private:
    enum Kind { GENERAL, RED };
    static constexpr int32_t NEVER = INT32_MIN;

    // A pixel's current leg of one kind. Before its first leg (`dir` 0), `from`
    // and `to` are the colours with the least and the most of the measure so far.
    struct Leg {
        uint32_t from = 0, to = 0; // colours at its ends, 0xRRGGBB
        int32_t counts_at = NEVER; // frame from which it is a transition, in ms
                                   // from the first
        int32_t dir = 0;           // +1 rising, -1 falling measure
    };
    struct Pixel {
        Leg legs[2]; // GENERAL, RED
    };
    struct Shade {
        float luminance, u, v, redness;
        bool red;
    };
    struct Cached {
        uint32_t rgb = 0xffffffff; // no 24-bit colour has this key
        Shade shade{};
    };
    // Pixels whose transitions counted from a time in each direction, by kind:
    // [kind][0] falling, [kind][1] rising.
    using Counts = std::array<std::array<int, 2>, 2>;
    using Tally = std::map<int32_t, Counts>;

    const Shade &shade(uint32_t rgb) const;
    float measure(Kind k, uint32_t rgb) const;
    int direction(Kind k, uint32_t from, uint32_t to) const;
    bool far_apart(Kind k, uint32_t a, uint32_t b) const;
    bool transition(Kind k, uint32_t a, uint32_t b) const;
    // Moves `leg` on to `rgb` at `ms`; a leg that ends is returned.
    Leg step(Kind k, Leg &leg, uint32_t rgb, int32_t ms) const;
    static void tally(Tally &t, Kind k, const Leg &ended, int pixels);
    FlashWindow worst(Kind k) const;

    int w_, h_;
    bool started_ = false;
    int64_t first_ms_ = 0;
    std::vector<uint32_t> shown_; // the last picture, colours only
    std::vector<Pixel> pixels_;
    Tally ended_; // transitions of the legs that ended
    mutable std::vector<Cached> cache_;
};
