// SPDX-License-Identifier: Zlib
// The flash limit. Each challenge repaints the whole picture in a new random
// colour, and challenges can end within a twentieth of a second, so the
// backgrounds alone could flash faster than is safe. The sequencer asks here
// before it shows a colour, and draws another when this one would be the seventh
// transition of a kind within a second.
//
// Two kinds of transition are followed, each as the swing of one measure of the
// colour: relative luminance for the general one, (R - G - B) x 320 of the linear
// channels for the red one. A swing keeps the least and the most of its measure
// reached since its last transition (since the start before the first one): a
// transition is a move far enough from the one opposite to the last transition's
// direction, after which both restart from the new colour.
#include "flash_limit.h"

#include <cmath>
#include <cstdint>

namespace {

// One second, plus a few frames for the pacing jitter between a switch and the
// frame that shows its colour.
constexpr clock_t FLASH_WINDOW_TICKS = 1050;

// A background as the eye meets it: the 8-bit colour the engine draws.
struct Shade {
    double luminance; // relative luminance, 0 to 1
    double u, v;      // chromaticity in the CIE 1976 UCS diagram
    double redness;   // (R - G - B) x 320 of the linear channels, at least 0
    bool red;         // saturated red: R / (R + G + B) of at least 0.8
};

double linear_channel(float c) {
    double s = static_cast<double>(static_cast<uint8_t>(255.0f * c)) / 255.0;
    return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
}

Shade shade_of(color c) {
    double r = linear_channel(c.red), g = linear_channel(c.green), b = linear_channel(c.blue);
    Shade s{};
    s.luminance = 0.2126 * r + 0.7152 * g + 0.0722 * b;
    double x = 0.4124 * r + 0.3576 * g + 0.1805 * b;
    double z = 0.0193 * r + 0.1192 * g + 0.9505 * b;
    double d = x + 15.0 * s.luminance + 3.0 * z;
    s.u = d > 0.0 ? 4.0 * x / d : 0.0;
    s.v = d > 0.0 ? 9.0 * s.luminance / d : 0.0;
    s.redness = std::fmax(0.0, (r - g - b) * 320.0);
    s.red = r + g + b > 0.0 && r / (r + g + b) >= 0.8;
    return s;
}

// The colours with the least and the most of a measure since the last transition.
struct Swing {
    Shade low, high;
    int direction; // of the last transition: +1 up, -1 down, 0 none yet
};

// Ends a step of `w` to `s`: a transition `d` (+1, -1) restarts the swing from
// `s`; no transition (0) widens it.
int settle(Swing &w, const Shade &s, int d, double Shade::*measure) {
    if (d != 0) {
        w.low = w.high = s;
        w.direction = d;
    } else if (s.*measure < w.low.*measure) {
        w.low = s;
    } else if (s.*measure > w.high.*measure) {
        w.high = s;
    }
    return d;
}

// A general transition: relative luminance moves by at least 0.1, the darker of
// the two states below 0.8.
int general_step(Swing &w, const Shade &s) {
    int d = 0;
    if (w.direction >= 0 && w.high.luminance - s.luminance >= 0.1 && s.luminance < 0.8)
        d = -1;
    else if (w.direction <= 0 && s.luminance - w.low.luminance >= 0.1 && w.low.luminance < 0.8)
        d = +1;
    return settle(w, s, d, &Shade::luminance);
}

// Two states far enough apart for a red transition: one of them a saturated red,
// and (R - G - B) x 320 changing by more than 20 or the chromaticity by more
// than 0.2.
bool red_apart(const Shade &a, const Shade &b) {
    return (a.red || b.red) &&
           (std::fabs(a.redness - b.redness) > 20.0 || std::hypot(a.u - b.u, a.v - b.v) > 0.2);
}

// The direction of a red change: up when the redness grows, down when it falls;
// between two of the same redness, up into a saturated red and down out of it.
int red_direction(const Shade &from, const Shade &to) {
    if (to.redness != from.redness) return to.redness > from.redness ? +1 : -1;
    return to.red ? +1 : -1;
}

int red_step(Swing &w, const Shade &s) {
    int d = 0;
    if (w.direction >= 0 && red_direction(w.high, s) < 0 && red_apart(w.high, s))
        d = -1;
    else if (w.direction <= 0 && red_direction(w.low, s) > 0 && red_apart(w.low, s))
        d = +1;
    return settle(w, s, d, &Shade::redness);
}

// Ticks of the last transitions of one kind.
struct Transitions {
    clock_t at[FLASH_MAX_TRANSITIONS];
    int count; // all of them; the ring holds the last FLASH_MAX_TRANSITIONS
};

struct FlashRecord {
    Swing general, red;
    Transitions general_at, red_at;
} record;

int recent(const Transitions &t, clock_t now) {
    int n = 0;
    for (int i = 0; i < FLASH_MAX_TRANSITIONS && i < t.count; i++)
        if (now - t.at[i] < FLASH_WINDOW_TICKS) n++;
    return n;
}

void note(Transitions &t, clock_t now) {
    t.at[t.count % FLASH_MAX_TRANSITIONS] = now;
    t.count++;
}

} // namespace

void flash_limit_reset(color shown) {
    Shade s = shade_of(shown);
    record = FlashRecord{};
    record.general = Swing{s, s, 0};
    record.red = Swing{s, s, 0};
}

bool flash_limit_exceeded(color c, clock_t now, int limit) {
    Shade s = shade_of(c);
    Swing general = record.general, red = record.red;
    return (general_step(general, s) != 0 && recent(record.general_at, now) >= limit) ||
           (red_step(red, s) != 0 && recent(record.red_at, now) >= limit);
}

void flash_limit_show(color c, clock_t now) {
    Shade s = shade_of(c);
    if (general_step(record.general, s) != 0) note(record.general_at, now);
    if (red_step(record.red, s) != 0) note(record.red_at, now);
}
