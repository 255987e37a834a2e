// SPDX-License-Identifier: Zlib
// The microphone callback with arbitrary byte counts and float bit patterns.
#include "common.h"

#include "record.h"

#include <cmath>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // SDL hands the callback an int byte count; libFuzzer's inputs stay far below.
    int len = static_cast<int>(size);
    g_dB = 12345.0;
    audioRecordingCallback(nullptr, const_cast<uint8_t *>(data), len);
    double level = g_dB;
    FUZZ_CHECK(level != 12345.0); // every buffer replaces the level

    size_t n = size / sizeof(float);
    if (n == 0) {
        FUZZ_CHECK(std::isnan(level)); // no whole sample: no level
        return 0;
    }
    bool any_nan = false, in_range = true, all_zero = true;
    for (size_t i = 0; i < n; i++) {
        float s;
        memcpy(&s, data + i * sizeof s, sizeof s);
        any_nan |= std::isnan(s);
        in_range &= std::fabs(s) <= 1.0f;
        all_zero &= s == 0.0f;
    }
    if (any_nan) FUZZ_CHECK(std::isnan(level));
    if (all_zero) FUZZ_CHECK(std::isinf(level) && level < 0);
    // Samples within full scale never read louder than 40 (an RMS of 1).
    if (in_range && !any_nan) FUZZ_CHECK(level <= 40.0 + 1e-9);
    return 0;
}
