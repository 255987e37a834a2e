// SPDX-License-Identifier: Zlib
// Flash counter: reads the pictures a game shows, frame after frame, and counts
// general and red flashes by the web accessibility guidelines' flash thresholds
// (see docs/photosensitivity.md), reporting the worst one-second window.
//
// Each pixel follows its own light: a transition is a change of relative
// luminance of at least 0.1 from the extreme reached since its last transition,
// in the opposite direction, with the darker state below 0.8; a red transition is
// a change into or out of a saturated red that is far enough in colour. A frame
// holds a transition of the picture when the pixels making the same transition in
// it cover at least a quarter of the picture. A flash is a pair of opposite
// transitions: more than six transitions within one second is more than three
// flashes.
#pragma once

#include <cstdint>
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

    FlashWindow worst_general() const { return worst(general_.at); }
    FlashWindow worst_red() const { return worst(red_.at); }

  private:
    struct Shade {
        float luminance, u, v, redness;
        bool red;
    };
    struct Cached {
        uint32_t rgb = 0xffffffff; // no 24-bit colour has this key
        Shade shade{};
    };
    struct Series {
        std::vector<int64_t> at;
        int last = 0; // direction of the last one
        void add(int64_t ms, int direction);
    };

    const Shade &shade(uint32_t rgb);
    static FlashWindow worst(const std::vector<int64_t> &at);

    int w_, h_;
    bool started_ = false;
    std::vector<uint32_t> shown_;   // each pixel now, as read
    std::vector<float> extreme_;    // luminance reached since its last transition
    std::vector<int8_t> direction_; // of that transition: +1, -1, 0 none yet
    std::vector<uint32_t> red_ref_; // colour a red transition is measured from
    std::vector<Cached> cache_;
    Series general_, red_;
};
