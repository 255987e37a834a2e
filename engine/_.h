// SPDX-License-Identifier: Zlib
// _ : the support library. Tracked heap blocks, diagnostic lines, and small
// 2-D vector / 3x3 matrix arithmetic. Shared by the engine and the game.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// ---------------------------------------------------------------------------
// Diagnostic lines: "<coloured prefix naming file, function, line> \t message\n"
// on stderr. ERR and WRN are for the game and this library; the engine only LOGs.
// The colour codes are written only when stderr is a terminal that shows them;
// elsewhere (a file, a pipe) the prefix is the same words without them.
// ---------------------------------------------------------------------------
#define DIAG_ERR "\033[91mERR %s:%s:%d\033[0m \t"
#define DIAG_WRN "\033[93mWRN %s:%s:%d\033[0m \t"
#define DIAG_LOG "\033[94mLOG %s:%s:%d\033[0m \t"

// Writes one diagnostic line: prefix (filled with file, func, line), message, newline.
void diag_line(const char *prefix, const char *file, const char *func, int line, const char *fmt,
               ...) __attribute__((format(printf, 5, 6)));

#define ERR(...) diag_line(DIAG_ERR, __FILE_NAME__, __func__, __LINE__, __VA_ARGS__)
#define WRN(...) diag_line(DIAG_WRN, __FILE_NAME__, __func__, __LINE__, __VA_ARGS__)
#define LOG(...) diag_line(DIAG_LOG, __FILE_NAME__, __func__, __LINE__, __VA_ARGS__)

// A fatal stop's notice, before exit(1): where standard error is out of a
// player's sight (Windows; Linux started from the desktop), shows the last
// diagnostic lines and `advice` (what to do; may be null) in a message box and
// waits until they have been read. Nothing elsewhere.
void diag_fatal(const char *advice);

// Fatal check: an ERR line "assert failed: <condition as written>", the notice,
// then exit(1), which runs the registered exit actions.
#define ASSERT(cond)                                                                               \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            ERR("assert failed: %s", #cond);                                                       \
            diag_fatal(nullptr);                                                                   \
            exit(1);                                                                               \
        }                                                                                          \
    } while (0)
// The same with a line telling the player what to do about it. (Written out, not
// shared with ASSERT: a condition passed on would be macro-expanded before quoted.)
#define ASSERT_ADVISE(cond, advice)                                                                \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            ERR("assert failed: %s", #cond);                                                       \
            diag_fatal(advice);                                                                    \
            exit(1);                                                                               \
        }                                                                                          \
    } while (0)

// Registers an exit action; if that fails, runs it at once and stops with "defer".
#define DEFER(fn)                                                                                  \
    do {                                                                                           \
        if (atexit(fn) != 0) {                                                                     \
            fn();                                                                                  \
            ERR("defer");                                                                          \
            diag_fatal(nullptr);                                                                   \
            exit(1);                                                                               \
        }                                                                                          \
    } while (0)

// ---------------------------------------------------------------------------
// Tracked allocator: every live block sits in one table, swept by wdeinit.
// ---------------------------------------------------------------------------
[[nodiscard]] void *alloc(size_t size);            // zero-filled tracked block; never null
void _free(void *ptr);                             // release; untracked pointer only warns
[[nodiscard]] void *_realloc(void *ptr, size_t size); // resize in slot; 0: 1 byte; untracked: exit
void wdeinit(void);                                // release every tracked block and the table

// Read-only view of the tracking table, for tests and leak checks.
size_t alloc_live_count(void);     // blocks held now
size_t alloc_capacity(void);       // slots the table has room for (0 when there is no table)
void *alloc_slot(size_t i);        // block in slot i (i < alloc_live_count())

// ---------------------------------------------------------------------------
// Vector and matrix math. A point is a row vector (x, y, 1) times a matrix, so
// translation sits in the last row and m3_dot(A, B) applies A, then B.
// ---------------------------------------------------------------------------
typedef float f32;
typedef int64_t i64;

typedef union vec2 {
    struct {
        f32 x, y;
    };
    f32 a[2];
} vec2;

typedef union mat3 {
    f32 a[3][3]; // a[row][column]
} mat3;

vec2 v2(f32 x, f32 y);               // (x, y)
vec2 v2r(f32 x);                     // (x, x)
vec2 v2_zero(void);                  // (0, 0)
bool v2_eq(vec2 a, vec2 b);          // exact component equality
vec2 v2_sub(vec2 a, vec2 b);         // a - b
vec2 v2_add(vec2 a, vec2 b);         // a + b
vec2 v2_mul(vec2 a, f32 x);          // a * x
vec2 v2_div(vec2 a, f32 x);          // a / x
f32 v2_dot(vec2 a, vec2 b);          // dot product
f32 v2_length(vec2 a);               // euclidean length
vec2 v2_normalize(vec2 a);           // length 1, or a unchanged when shorter than 1
f32 v2_angle(vec2 a);                // direction as a fraction of a turn (3.125 per half turn)
vec2 v2_round(vec2 a);               // roundf per component
vec2 v2_trunc(vec2 a);               // truncation through i64 per component
vec2 v2_clamp(vec2 min, vec2 a, vec2 max); // raise to min, then lower to max
vec2 v2_swap(vec2 a);                // (y, x)
vec2 v2_negate(vec2 a);              // (-x, -y)
vec2 v2_lerp(vec2 a, vec2 b, f32 x); // a + (b - a) * x
vec2 v2_transform(vec2 v, mat3 m);   // (v.x, v.y, 1) * m, first two components

mat3 m3_identity(void);              // identity
mat3 m3_zero(void);                  // all zero
mat3 m3_scaling(vec2 v);             // diag(v.x, v.y, 1)
mat3 m3_translating(vec2 v);         // identity with (v.x, v.y) in the last row
mat3 m3_rotating(f32 r);             // rotation by r radians
mat3 m3_dot(mat3 m0, mat3 m1);       // m0 * m1
mat3 m3_transpose(mat3 m);           // transpose
