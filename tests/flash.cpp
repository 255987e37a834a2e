// SPDX-License-Identifier: Zlib
#include "flash.h"

#include <cmath>
#include <cstring>

namespace {

constexpr size_t CACHE_SIZE = 4096; // a picture holds few colours at a time

float linear(uint32_t byte) {
    float s = static_cast<float>(byte) / 255.0f;
    return s <= 0.04045f ? s / 12.92f : std::pow((s + 0.055f) / 1.055f, 2.4f);
}

} // namespace

FlashCounter::FlashCounter(int w, int h)
    : w_(w), h_(h), shown_(static_cast<size_t>(w) * static_cast<size_t>(h)),
      extreme_(shown_.size()), direction_(shown_.size()), red_ref_(shown_.size()),
      cache_(CACHE_SIZE) {}

// The colour measures are worked out here apart from the game's own flash limit
// (src/minigame_manager.cpp), on purpose: a fault in one must not hide in the other.
const FlashCounter::Shade &FlashCounter::shade(uint32_t rgb) {
    Cached &c = cache_[(rgb * 2654435761u) >> 20];
    if (c.rgb == rgb) return c.shade;
    float r = linear(rgb >> 16 & 0xff), g = linear(rgb >> 8 & 0xff), b = linear(rgb & 0xff);
    Shade &s = c.shade;
    s.luminance = 0.2126f * r + 0.7152f * g + 0.0722f * b;
    // Chromaticity in the CIE 1976 UCS diagram, from the sRGB primaries' XYZ.
    float x = 0.4124f * r + 0.3576f * g + 0.1805f * b;
    float z = 0.0193f * r + 0.1192f * g + 0.9505f * b;
    float d = x + 15.0f * s.luminance + 3.0f * z;
    s.u = d > 0.0f ? 4.0f * x / d : 0.0f;
    s.v = d > 0.0f ? 9.0f * s.luminance / d : 0.0f;
    s.redness = std::fmax(0.0f, (r - g - b) * 320.0f);
    s.red = r + g + b > 0.0f && r / (r + g + b) >= 0.8f;
    c.rgb = rgb;
    return s;
}

void FlashCounter::Series::add(int64_t ms, int direction) {
    // The same change made by two parts of the picture one after the other is
    // still one transition: only opposite ones pair into flashes.
    if (direction == last) return;
    last = direction;
    at.push_back(ms);
}

void FlashCounter::frame(int64_t ms, const uint32_t *argb) {
    const size_t n = shown_.size();
    if (!started_) {
        for (size_t i = 0; i < n; i++) {
            shown_[i] = argb[i];
            red_ref_[i] = argb[i] & 0xffffff;
            extreme_[i] = shade(red_ref_[i]).luminance;
            direction_[i] = 0;
        }
        started_ = true;
        return;
    }
    int lighter = 0, darker = 0, into_red = 0, out_of_red = 0;
    // Most pixels that change take the same colour from the same state as their
    // neighbour (a new background): the last pixel's outcome is kept and reused.
    struct Step {
        uint32_t rgb, red_ref;
        float extreme;
        int8_t direction;
    } in{}, out{};
    int general = 0, red = 0; // the kept outcome's transitions
    bool kept = false;
    const size_t row = static_cast<size_t>(w_);
    for (size_t first = 0; first < n; first += row) {
        // Whole rows that did not change are passed over at once.
        if (std::memcmp(argb + first, &shown_[first], row * 4) == 0) continue;
        for (size_t i = first; i < first + row; i++) {
            uint32_t rgb = argb[i] & 0xffffff;
            if (rgb == (shown_[i] & 0xffffff)) continue;
            shown_[i] = argb[i];
            Step now{rgb, red_ref_[i], extreme_[i], direction_[i]};
            if (!kept || now.rgb != in.rgb || now.red_ref != in.red_ref ||
                now.extreme != in.extreme || now.direction != in.direction) {
                in = now;
                out = now;
                general = red = 0;
                const Shade s = shade(rgb);
                float y = s.luminance;
                if (out.direction >= 0 && out.extreme - y >= 0.1f && y < 0.8f) {
                    out.extreme = y;
                    out.direction = -1;
                    general = -1;
                } else if (out.direction <= 0 && y - out.extreme >= 0.1f && out.extreme < 0.8f) {
                    out.extreme = y;
                    out.direction = +1;
                    general = +1;
                } else if ((out.direction > 0 && y > out.extreme) ||
                           (out.direction < 0 && y < out.extreme)) {
                    out.extreme = y;
                }
                const Shade ref = shade(out.red_ref);
                if (ref.red == s.red) {
                    out.red_ref = rgb;
                } else if (std::hypot(ref.u - s.u, ref.v - s.v) > 0.2f ||
                           std::fabs(ref.redness - s.redness) > 20.0f) {
                    out.red_ref = rgb;
                    red = s.red ? +1 : -1;
                }
                kept = true;
            }
            extreme_[i] = out.extreme;
            direction_[i] = out.direction;
            red_ref_[i] = out.red_ref;
            lighter += general > 0;
            darker += general < 0;
            into_red += red > 0;
            out_of_red += red < 0;
        }
    }
    // A quarter of the picture: the area beyond which flashing counts.
    const int area = (w_ * h_ + 3) / 4;
    if (lighter >= area) general_.add(ms, +1);
    if (darker >= area) general_.add(ms, -1);
    if (into_red >= area) red_.add(ms, +1);
    if (out_of_red >= area) red_.add(ms, -1);
}

FlashWindow FlashCounter::worst(const std::vector<int64_t> &at) {
    FlashWindow best;
    size_t first = 0;
    for (size_t last = 0; last < at.size(); last++) {
        while (at[last] - at[first] >= 1000) first++;
        int n = static_cast<int>(last - first + 1);
        if (n > best.transitions) {
            best.transitions = n;
            best.from_ms = at[first];
        }
    }
    return best;
}
