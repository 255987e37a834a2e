// SPDX-License-Identifier: Zlib
// The support library: diagnostic lines, the tracked allocator, vector and matrix math.
#include "_.h"

#include "platform.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

// ---------------------------------------------------------------------------
// Diagnostic lines
// ---------------------------------------------------------------------------
// The last lines written, without colour codes, for a fatal stop's notice: a
// ring of fixed buffers (no heap: the allocator itself reports through here).
static constexpr int KEPT_LINES = 6;
static constexpr size_t KEPT_LINE = 320;
static char _kept[KEPT_LINES][KEPT_LINE];
static int _kept_next = 0;

// Copies `in` without its "\033[...m" sequences into out (size n).
static void strip_colours(const char *in, char *out, size_t n) {
    size_t o = 0;
    for (const char *p = in; *p != '\0' && o + 1 < n; p++) {
        if (p[0] == '\033' && p[1] == '[') {
            const char *m = p + 2;
            while (*m != '\0' && *m != 'm') m++;
            if (*m == 'm') {
                p = m;
                continue;
            }
        }
        out[o++] = *p;
    }
    out[o] = '\0';
}

// The length of s[0, n) without a last character that the cut at n splits: the
// bytes of half a UTF-8 sequence are no text, and a notice shown by a system that
// insists on valid UTF-8 would lose every line for them.
static size_t utf8_whole(const char *s, size_t n) {
    size_t lead = n; // back over the continuation bytes (10xxxxxx) of the last character
    while (lead > 0 && n - lead < 3 && (static_cast<unsigned char>(s[lead - 1]) & 0xC0) == 0x80)
        lead--;
    if (lead == 0) return n;
    unsigned char c = static_cast<unsigned char>(s[--lead]);
    size_t len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    return lead + len > n ? lead : n;
}

void diag_line(const char *prefix, const char *file, const char *func, int line, const char *fmt,
               ...) {
    char head[256];
    snprintf(head, sizeof head, prefix, file, func, line);
    char plain[sizeof head];
    strip_colours(head, plain, sizeof plain);
    // One write per piece, all to the unbuffered stderr, so a line is never
    // held back when the process dies right after it.
    fputs(platform_stderr_colours() ? head : plain, stderr);
    va_list ap;
    va_start(ap, fmt);
    vfprintf(stderr, fmt, ap);
    va_end(ap);
    fputc('\n', stderr);

    char message[KEPT_LINE];
    va_start(ap, fmt);
    vsnprintf(message, sizeof message, fmt, ap);
    va_end(ap);
    char *kept = _kept[_kept_next];
    size_t head_len = strlen(plain); // < sizeof plain < KEPT_LINE
    size_t message_len = utf8_whole(message, strnlen(message, KEPT_LINE - 1 - head_len));
    memcpy(kept, plain, head_len);
    memcpy(kept + head_len, message, message_len);
    kept[head_len + message_len] = '\0';
    _kept_next = (_kept_next + 1) % KEPT_LINES;
}

void diag_fatal(const char *advice) {
    char text[KEPT_LINES * KEPT_LINE + 512];
    size_t n = 0;
    for (int i = 0; i < KEPT_LINES; i++) {
        const char *kept = _kept[(_kept_next + i) % KEPT_LINES];
        if (kept[0] == '\0') continue;
        int w = snprintf(text + n, sizeof text - n, "%s\n", kept);
        if (w > 0 && n + static_cast<size_t>(w) < sizeof text) n += static_cast<size_t>(w);
    }
    text[n] = '\0';
    if (advice != nullptr) snprintf(text + n, sizeof text - n, "\n%s", advice);
    platform_fatal_notice(text);
}

// ---------------------------------------------------------------------------
// Tracked allocator
// ---------------------------------------------------------------------------
static void **_alloced = nullptr;
static size_t _alloced_size = 0;
static size_t _alloced_capacity = 0;

void *alloc(size_t size) {
    // The block is counted before it exists; every failure path below leaves the
    // count matching the slots the sweep may release.
    _alloced_size += 1;
    if (_alloced == nullptr) {
        _alloced = static_cast<void **>(calloc(16, sizeof(void *)));
        if (_alloced == nullptr) _alloced_size -= 1;
        ASSERT(_alloced != nullptr);
        _alloced_capacity = 16;
    }
    if (_alloced_capacity < _alloced_size) {
        size_t capacity = 16;
        while (_alloced_size >= capacity) capacity *= 2;
        void **new_alloced = static_cast<void **>(realloc(_alloced, capacity * sizeof(void *)));
        if (new_alloced == nullptr) _alloced_size -= 1;
        ASSERT(new_alloced != nullptr);
        _alloced = new_alloced;
        _alloced_capacity = capacity;
    }
    _alloced[_alloced_size - 1] = calloc(1, size);
    ASSERT(_alloced[_alloced_size - 1] != nullptr);
    return _alloced[_alloced_size - 1];
}

// Index of ptr in the table, or -1 when it is not tracked.
static long find_slot(const void *ptr) {
    for (uint32_t i = 0; i < _alloced_size; i++)
        if (_alloced[i] == ptr) return static_cast<long>(i);
    return -1;
}

void _free(void *ptr) {
    long found = find_slot(ptr);
    if (found < 0) {
        WRN("double free of %p", ptr);
        return;
    }
    uint32_t i = static_cast<uint32_t>(found);
    free(_alloced[i]);
    _alloced[i] = nullptr;
    // Shift the later blocks down so the table stays dense and in allocation order.
    for (uint32_t k = i; k < _alloced_size - 1; k++) _alloced[k] = _alloced[k + 1];
    _alloced_size -= 1;
}

void *_realloc(void *ptr, size_t size) {
    long found = find_slot(ptr);
    if (found < 0) {
        ERR("fucked up realloc, have fun debugging");
        diag_fatal(nullptr);
        exit(1);
    }
    // realloc(ptr, 0) may free the block and return null, which the check below
    // would take for exhaustion while the sweep still holds the freed pointer. A
    // size of 0 keeps a minimal block instead: still tracked, never null.
    void *new_ptr = realloc(ptr, size > 0 ? size : 1);
    ASSERT(new_ptr != nullptr);
    _alloced[found] = new_ptr;
    return new_ptr;
}

void wdeinit(void) {
    if (_alloced != nullptr) {
        for (uint32_t i = 0; i < _alloced_size; i++) free(_alloced[i]);
        free(_alloced);
    }
    _alloced = nullptr;
    _alloced_size = 0;
    _alloced_capacity = 0;
}

size_t alloc_live_count(void) { return _alloced_size; }
size_t alloc_capacity(void) { return _alloced_capacity; }
void *alloc_slot(size_t i) { return i < _alloced_size ? _alloced[i] : nullptr; }

// ---------------------------------------------------------------------------
// Vector math
// ---------------------------------------------------------------------------
vec2 v2(f32 x, f32 y) {
    vec2 v;
    v.x = x;
    v.y = y;
    return v;
}
vec2 v2r(f32 x) { return v2(x, x); }
vec2 v2_zero(void) { return v2(0, 0); }
bool v2_eq(vec2 a, vec2 b) { return a.x == b.x && a.y == b.y; }
vec2 v2_sub(vec2 a, vec2 b) { return v2(a.x - b.x, a.y - b.y); }
vec2 v2_add(vec2 a, vec2 b) { return v2(a.x + b.x, a.y + b.y); }
vec2 v2_mul(vec2 a, f32 x) { return v2(a.x * x, a.y * x); }
vec2 v2_div(vec2 a, f32 x) { return v2(a.x / x, a.y / x); }
f32 v2_dot(vec2 a, vec2 b) { return a.x * b.x + a.y * b.y; }
f32 v2_length(vec2 a) { return sqrtf(a.x * a.x + a.y * a.y); }

vec2 v2_normalize(vec2 a) {
    f32 len = v2_length(a);
    if (len < 1) return a;
    return v2(a.x / len, a.y / len);
}

f32 v2_angle(vec2 a) {
    // A fraction of a turn, with 3.125 standing for the half turn.
    f32 q = a.y / a.x;
    double t = atanf(q);
    return static_cast<f32>(t / 3.125 / 2.0 + 0.5 * (a.x < 0 ? 1.0 : 0.0));
}

vec2 v2_round(vec2 a) { return v2(roundf(a.x), roundf(a.y)); }

vec2 v2_trunc(vec2 a) {
    // Through a signed 64-bit integer: out-of-range and NaN components do not survive.
    // The conversion is done with explicit bounds so it stays defined behaviour.
    auto to_i64 = [](f32 f) -> i64 {
        if (!(f >= -9.2233720368547758e18f && f < 9.2233720368547758e18f)) return INT64_MIN;
        return static_cast<i64>(f);
    };
    return v2(static_cast<f32>(to_i64(a.x)), static_cast<f32>(to_i64(a.y)));
}

vec2 v2_clamp(vec2 min, vec2 a, vec2 max) {
    for (int i = 0; i < 2; i++) {
        if (min.a[i] > a.a[i]) a.a[i] = min.a[i];
        if (a.a[i] > max.a[i]) a.a[i] = max.a[i];
    }
    return a;
}

vec2 v2_swap(vec2 a) { return v2(a.y, a.x); }
vec2 v2_negate(vec2 a) { return v2(-a.x, -a.y); }
vec2 v2_lerp(vec2 a, vec2 b, f32 x) { return v2_add(a, v2_mul(v2_sub(b, a), x)); }

vec2 v2_transform(vec2 v, mat3 m) {
    vec2 out = v2_zero();
    for (int i = 0; i < 2; i++) out.a[i] = (v.x * m.a[0][i] + v.y * m.a[1][i]) + m.a[2][i];
    return out;
}

// ---------------------------------------------------------------------------
// Matrix math
// ---------------------------------------------------------------------------
mat3 m3_zero(void) {
    mat3 m;
    memset(&m, 0, sizeof m);
    return m;
}

mat3 m3_identity(void) {
    mat3 m = m3_zero();
    m.a[0][0] = m.a[1][1] = m.a[2][2] = 1;
    return m;
}

mat3 m3_scaling(vec2 v) {
    mat3 m = m3_zero();
    m.a[0][0] = v.x;
    m.a[1][1] = v.y;
    m.a[2][2] = 1;
    return m;
}

mat3 m3_translating(vec2 v) {
    mat3 m = m3_identity();
    m.a[2][0] = v.x;
    m.a[2][1] = v.y;
    return m;
}

mat3 m3_rotating(f32 r) {
    f32 c = cosf(r), s = sinf(r);
    mat3 m = m3_zero();
    m.a[0][0] = c;
    m.a[0][1] = -s;
    m.a[1][0] = s;
    m.a[1][1] = c;
    m.a[2][2] = 1;
    return m;
}

mat3 m3_dot(mat3 m0, mat3 m1) {
    mat3 out = m3_zero();
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 3; x++)
            for (int i = 0; i < 3; i++) out.a[y][x] += m0.a[y][i] * m1.a[i][x];
    return out;
}

mat3 m3_transpose(mat3 m) {
    mat3 out;
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 3; x++) out.a[x][y] = m.a[y][x];
    return out;
}
