// SPDX-License-Identifier: Zlib
#include "flash.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

namespace {

constexpr size_t CACHE_SIZE = 4096; // a picture holds few colours at a time

float linear(uint32_t byte) {
    float s = static_cast<float>(byte) / 255.0f;
    return s <= 0.04045f ? s / 12.92f : std::pow((s + 0.055f) / 1.055f, 2.4f);
}

} // namespace

FlashCounter::FlashCounter(int w, int h)
    : w_(w), h_(h), shown_(static_cast<size_t>(w) * static_cast<size_t>(h)), pixels_(shown_.size()),
      cache_(CACHE_SIZE) {}

const FlashCounter::Shade &FlashCounter::shade(uint32_t rgb) const {
    Cached &c = cache_[(rgb * 2654435761u) >> 20];
    if (c.rgb == rgb) return c.shade;
    float r = linear(rgb >> 16 & 0xff), g = linear(rgb >> 8 & 0xff), b = linear(rgb & 0xff);
    Shade &s = c.shade;
    // The sRGB primaries' XYZ, then the chromaticity (x, y) and from it the CIE 1976
    // UCS coordinates; Y is the relative luminance.
    const float X = 0.4124f * r + 0.3576f * g + 0.1805f * b;
    const float Y = 0.2126f * r + 0.7152f * g + 0.0722f * b;
    const float Z = 0.0193f * r + 0.1192f * g + 0.9505f * b;
    s.luminance = Y;
    s.u = s.v = 0.0f;
    if (X + Y + Z > 0.0f) {
        const float cx = X / (X + Y + Z), cy = Y / (X + Y + Z);
        const float den = -2.0f * cx + 12.0f * cy + 3.0f;
        s.u = 4.0f * cx / den;
        s.v = 9.0f * cy / den;
    }
    // Saturated red and redness, by the working definition's own terms.
    const float sum = r + g + b;
    s.red = sum > 0.0f && r >= 0.8f * sum;
    s.redness = r - g - b > 0.0f ? (r - g - b) * 320.0f : 0.0f;
    c.rgb = rgb;
    return s;
}

float FlashCounter::measure(Kind k, uint32_t rgb) const {
    return k == GENERAL ? shade(rgb).luminance : shade(rgb).redness;
}

// +1 when the measure rises from `from` to `to`, -1 when it falls, 0 when it
// stays; a red of the same redness as a colour that is not one lies above it.
int FlashCounter::direction(Kind k, uint32_t from, uint32_t to) const {
    float a = measure(k, from), b = measure(k, to);
    if (a != b) return b > a ? +1 : -1;
    if (k == RED) return static_cast<int>(shade(to).red) - static_cast<int>(shade(from).red);
    return 0;
}

// Far enough apart to be two turning points: a tenth of luminance; for the red
// kind more than 20 of redness, or more than 0.2 of chromaticity with a saturated
// red at one end.
bool FlashCounter::far_apart(Kind k, uint32_t a, uint32_t b) const {
    const Shade &x = shade(a), &y = shade(b);
    if (k == GENERAL) return std::fabs(x.luminance - y.luminance) >= 0.1f;
    return std::fabs(x.redness - y.redness) > 20.0f ||
           ((x.red || y.red) && std::hypot(x.u - y.u, x.v - y.v) > 0.2f);
}

// A leg from `a` to `b` that is a transition: the darker end below 0.8, or for
// the red kind a saturated red at one end.
bool FlashCounter::transition(Kind k, uint32_t a, uint32_t b) const {
    if (!far_apart(k, a, b)) return false;
    if (k == GENERAL) return std::fmin(shade(a).luminance, shade(b).luminance) < 0.8f;
    return shade(a).red || shade(b).red;
}

FlashCounter::Leg FlashCounter::step(Kind k, Leg &leg, uint32_t rgb, int32_t ms) const {
    Leg ended;
    if (leg.dir == 0) {
        // No turning point yet: the first leg starts from the least or the most
        // reached so far, whichever the new colour lies far enough from.
        int32_t dir = 0;
        if (direction(k, leg.to, rgb) < 0 && far_apart(k, leg.to, rgb)) {
            dir = -1;
            leg.from = leg.to;
        } else if (direction(k, leg.from, rgb) > 0 && far_apart(k, leg.from, rgb)) {
            dir = +1;
        }
        if (dir != 0) {
            leg.to = rgb;
            leg.dir = dir;
            leg.counts_at = transition(k, leg.from, leg.to) ? ms : NEVER;
        } else if (measure(k, rgb) < measure(k, leg.from)) {
            leg.from = rgb;
        } else if (measure(k, rgb) > measure(k, leg.to)) {
            leg.to = rgb;
        }
        return ended;
    }
    int dir = direction(k, leg.to, rgb);
    if (dir == leg.dir) {
        // Farther the same way: the leg goes on, and may become a transition.
        leg.to = rgb;
        if (leg.counts_at == NEVER && transition(k, leg.from, leg.to)) leg.counts_at = ms;
    } else if (dir == -leg.dir && far_apart(k, leg.to, rgb)) {
        // Back far enough: the farthest point was a turning point.
        ended = leg;
        leg.from = leg.to;
        leg.to = rgb;
        leg.dir = dir;
        leg.counts_at = transition(k, leg.from, leg.to) ? ms : NEVER;
    }
    return ended;
}

void FlashCounter::tally(Tally &t, Kind k, const Leg &ended, int pixels) {
    if (ended.dir == 0 || ended.counts_at == NEVER || pixels == 0) return;
    t[ended.counts_at][k][ended.dir > 0] += pixels;
}

void FlashCounter::frame(int64_t ms, const uint32_t *argb) {
    const size_t n = pixels_.size();
    if (!started_) {
        std::memcpy(shown_.data(), argb, n * 4);
        for (size_t i = 0; i < n; i++) {
            uint32_t rgb = argb[i] & 0xffffff;
            for (Leg &leg : pixels_[i].legs) leg = Leg{rgb, rgb, NEVER, 0};
        }
        first_ms_ = ms;
        started_ = true;
        return;
    }
    const int32_t at = static_cast<int32_t>(ms - first_ms_);
    // Pixels' states compare as bytes: they have no padding.
    static_assert(std::has_unique_object_representations_v<Pixel>);
    // Most pixels that change do so from the same state to the same colour as the
    // one before (a new background): its outcome is reused, and the legs it ended
    // are tallied once for the whole run of such pixels.
    Pixel before{}, after{};
    uint32_t to = 0;
    Leg ended[2]{};
    int run = 0;
    auto flush = [&] {
        for (int k = 0; k < 2; k++) tally(ended_, static_cast<Kind>(k), ended[k], run);
        run = 0;
    };
    const size_t row = static_cast<size_t>(w_);
    for (size_t first = 0; first < n; first += row) {
        // Whole rows that did not change are passed over at once.
        if (std::memcmp(argb + first, &shown_[first], row * 4) == 0) continue;
        for (size_t i = first; i < first + row; i++) {
            uint32_t rgb = argb[i] & 0xffffff;
            if (rgb == (shown_[i] & 0xffffff)) continue;
            Pixel &p = pixels_[i];
            if (run == 0 || rgb != to || std::memcmp(&p, &before, sizeof p) != 0) {
                flush();
                before = p;
                after = p;
                to = rgb;
                for (int k = 0; k < 2; k++)
                    ended[k] = step(static_cast<Kind>(k), after.legs[k], rgb, at);
            }
            p = after;
            run++;
        }
        std::memcpy(&shown_[first], argb + first, row * 4);
    }
    flush();
}

FlashWindow FlashCounter::worst(Kind k) const {
    // The legs still going count too, from where they became transitions.
    Tally all = ended_;
    Leg going{};
    int run = 0;
    for (const Pixel &p : pixels_) {
        const Leg &leg = p.legs[k];
        if (leg.dir != going.dir || leg.counts_at != going.counts_at) {
            tally(all, k, going, run);
            going = leg;
            run = 0;
        }
        run++;
    }
    tally(all, k, going, run);
    // The transitions of the picture, in time order. The same change made by two
    // parts of the picture one after the other is still one transition: only
    // opposite ones pair into flashes.
    const int area = (w_ * h_ + 3) / 4;
    std::vector<int64_t> at;
    int last = 0;
    for (const auto &[ms, counts] : all)
        for (int dir : {+1, -1})
            if (counts[k][dir > 0] >= area && dir != last) {
                last = dir;
                at.push_back(ms);
            }
    // For every transition, those that follow it within the same second.
    FlashWindow best;
    for (size_t i = 0; i < at.size(); i++) {
        auto end = std::lower_bound(at.begin() + static_cast<long>(i), at.end(), at[i] + 1000);
        int n = static_cast<int>(end - at.begin()) - static_cast<int>(i);
        if (n > best.transitions) {
            best.transitions = n;
            best.from_ms = first_ms_ + at[i];
        }
    }
    return best;
}
