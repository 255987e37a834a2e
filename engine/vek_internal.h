// SPDX-License-Identifier: Zlib
// Engine-private state and helpers, shared by the engine's source files only.
// The game includes VEK.h alone.
#pragma once

#include "VEK.h"
#include "_.h"
#include "platform.h"

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

// Float to int as a cast truncates, but defined for every value: beyond int's
// range it saturates and NaN gives 0. Every float-to-int conversion of sizes and
// positions goes through it, so a huge scale or camera cannot be undefined.
constexpr int to_int(double v) {
    if (v != v) return 0;
    if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(v);
}

// ---------------------------------------------------------------------------
// Lifecycle (vek_core.cpp)
// ---------------------------------------------------------------------------
extern VEK_Config ___vek_config;
extern SDL_Window *___vek_window;
extern SDL_Renderer *___vek_renderer;
extern uint32_t ___vek_tick;
extern uint32_t ___vek_min_dt;
extern uint32_t ___vek_next_time;
extern int ___vek_should_quit;
extern int ___vek_mouse_x, ___vek_mouse_y;

int sdl_error(int rv); // log SDL's error text, give rv back
int _sdl_error(void);  // sdl_error(-1), then VEK_Quit; -1
// Why a start found no display although DISPLAY or WAYLAND_DISPLAY (each null
// or empty when unset) names one: a line per variable set, saying either that
// its client libraries do not load (and what to install) or that nothing
// answered there. Empty when neither is set.
std::vector<std::string> display_unreached(const char *display, const char *wayland_display,
                                           bool x11_libraries, bool wayland_libraries);

// ---------------------------------------------------------------------------
// Frame and presentation (vek_frame.cpp)
// ---------------------------------------------------------------------------
extern SDL_Texture *___vek_target;
extern SDL_Texture *___vek_target_pre;
extern SDL_BlendMode ___vek_blendmode;
extern float ___vek_scale;
extern int ___vek_off_x, ___vek_off_y;
extern int ___vek_camera_x, ___vek_camera_y;

int pixel_draw_end(void); // compose the off-screen picture into the window

// Pacing schedule: advances *next_time by min_dt and returns how many
// milliseconds to wait at `now`; a late frame restarts the schedule at `now`.
// Wrap-aware across the 32-bit millisecond clock.
uint32_t pace_frame(uint32_t *next_time, uint32_t min_dt, uint32_t now);

// Letterbox fit of a w x h picture (shown `ratio` times as wide) into a window.
typedef struct Letterbox {
    float scale;
    int x, y, w, h;
} Letterbox;
Letterbox letterbox_fit(int win_w, int win_h, int width, int height, float ratio,
                        bool pixel_perfect);

// ---------------------------------------------------------------------------
// Drawing (vek_draw.cpp)
// ---------------------------------------------------------------------------
extern VEK_Color ___vek_color;
int color_byte(float c); // 255 * c truncated; callers keep the low 8 bits

// ---------------------------------------------------------------------------
// Resource registry (vek_resource.cpp)
// ---------------------------------------------------------------------------
extern VEK_Resource *___vek_resources;
extern size_t ___vek_resources_size;
extern size_t ___vek_resources_capacity;

int reserve(void **vec, size_t size, size_t *capacity, size_t elem); // 0, or 1 on failure
char *drain(FILE *fp, size_t *size);                                  // whole file, or null
VEK_ResourceType deduce_type(const char *path);
VEK_Resource *resource_find(VEK_Uint id); // the record of id, or null outside 1..size (no LOG)

// ---------------------------------------------------------------------------
// Audio (vek_audio.cpp)
// ---------------------------------------------------------------------------
struct _Mix_Music;
extern struct _Mix_Music *___vek_music;

// ---------------------------------------------------------------------------
// Input (vek_input.cpp)
// ---------------------------------------------------------------------------
extern VEK_KeyState ___vek_keystates[512];
extern VEK_KeyState ___vek_mousestates[256];
extern VEK_KeyState ___vek_joystates[21];
extern VEK_KeyState ___vek_fingerstates[VEK_FINGER_MAX];
// Per state: a release drained with its press, shown at the next frame.
extern bool ___vek_key_release_pending[512];
extern bool ___vek_mouse_release_pending[256];
extern bool ___vek_joy_release_pending[21];
extern bool ___vek_finger_release_pending[VEK_FINGER_MAX];
extern VEK_Joystick *___vek_joysticks;
extern size_t ___vek_joysticks_size;
extern size_t ___vek_joysticks_capacity;

// One finger slot: the SDL finger it follows while that finger touches, and its
// last position as SDL gives it, in fractions (0..1) of the window.
typedef struct Finger {
    SDL_TouchID touch;
    SDL_FingerID id;
    bool touching; // down and not lifted yet: the finger's events land here
    float x, y;
} Finger;
extern Finger ___vek_fingers[VEK_FINGER_MAX];

void next_state(VEK_KeyState *keystate);                           // PRESS -> DOWN, RELEASE -> UP
void press_state(VEK_KeyState *keystate, bool *release_pending);   // a down event
void release_state(VEK_KeyState *keystate, bool *release_pending); // an up event
void age_state(VEK_KeyState *keystate, bool *release_pending);     // one frame on
void age_states(void);  // every key, button and finger one frame on
void input_reset(void); // every state UP, nothing pending, no finger followed
void get_axis(SDL_GameController *gc, float *out, SDL_GameControllerAxis axis);
