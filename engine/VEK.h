// SPDX-License-Identifier: Zlib
// VEK: a small 2-D engine over SDL2 and SDL2_mixer.
//
// One window, one renderer, an off-screen picture letterboxed into the window,
// frame pacing, drawing primitives, a resource registry with hot reload, music
// and sound effects, keyboard / mouse / game-controller / touch input.
//
// Results: operations return 0 on success and -1 on failure; loads return a
// resource id, 0 on failure. The engine never ends the process and writes only
// LOG lines (plus SDL's own log for SDL failures).
//
// Named arguments: the calls written without a leading underscore take field
// settings by name, in declaration order, any of them omitted:
//     VEK_Init(.width = 640, .height = 640, .title = "bramble");
//     VEK_DrawImage(.id = font, .x = 10, .y = 20, .sx = 2, .sy = 2);
// Omitted fields take the defaults written in the argument record below.
#pragma once

// The engine's version, the project's own (the build checks the two agree).
#define VEK_VERSION_MAJOR 0
#define VEK_VERSION_MINOR 1
#define VEK_VERSION_PATCH 0

#include <SDL.h>
#include <climits>
#include <cstddef>
#include <cstdint>

struct Mix_Chunk;

// Builds the argument record of a named-argument call; the record lives until
// the end of the full expression, which covers the call it is passed to.
template <class T> constexpr const T *vek_args_(const T &args) { return &args; }

// ===========================================================================
// Lifecycle and main loop
// ===========================================================================
typedef enum VEK_MixerFlags {
    VEK_MIXER_OFF = 0,  // no audio at all
    VEK_MIXER_ON = 1,   // open the audio device
    VEK_MIXER_FLAC = 2, // also load the FLAC decoder first
} VEK_MixerFlags;

typedef struct VEK_Config {
    int _ = 0;                         // dummy: lets the named list be empty
    int width = 256;                   // picture width in game pixels
    int height = 224;                  // picture height in game pixels
    float scale = 1.0f;                // initial window pixels per game pixel
    int target_fps = 60;               // frame cap; 0 or less turns pacing off
    float ratio = 1.0f;                // horizontal pixel aspect
    bool pixel_perfect = true;         // enlarge by whole factors only
    bool interlace = false;            // keep every other row of the previous frame
    bool hd_render = false;            // draw straight to the window
    bool scale_linear = false;         // linear texture filtering
    bool show_cursor = false;          // keep the system cursor visible
    unsigned int mixer = VEK_MIXER_ON; // a VEK_MixerFlags value
    const char *basepath = nullptr;    // working directory; null: the executable's
    const char *title = "VEK";         // window title
} VEK_Config;

#define VEK_Init(...) _VEK_Init(vek_args_(VEK_Config{._ = 0, __VA_ARGS__}))
[[nodiscard]] int _VEK_Init(const VEK_Config *config); // start SDL, window, renderer, audio; 0 or -1
int VEK_MainLoop(int (*main_loop)(void *), void *udata); // frames until quit (0) or frame != 0 (1)
int VEK_ShouldQuit(void);                                // 1 once a quit was requested
uint32_t VEK_GetTick(void);                              // frames presented so far
void VEK_Quit(void); // release everything and end SDL; safe twice and half-started

// ===========================================================================
// Frame and presentation
// ===========================================================================
int VEK_DrawBegin(void);                      // target the off-screen picture
int VEK_DrawClear(void);                      // fill the target with the draw colour
int VEK_DrawEnd(void);                        // compose, pace, present, count
int VEK_BlendMode(SDL_BlendMode mode);        // draw blend mode for shapes and images
int VEK_SetViewportSize(int width, int height); // change the logical picture size
void VEK_ToggleFullscreen(void);              // desktop fullscreen <-> windowed
void VEK_ScreenTransform(int *x, int *y);     // window pixels -> game pixels, in place
void VEK_SetCamera(float x, float y);         // camera position for later drawing
int VEK_GetCameraX(void);                     // stored camera offset (negated position)
int VEK_GetCameraY(void);

// ===========================================================================
// Drawing primitives (game pixels, camera applied)
// ===========================================================================
typedef struct VEK_Color {
    int _ = 0;
    float r = -1, g = -1, b = -1, a = -1; // 0..1; negative keeps the current value
} VEK_Color;

typedef struct VEK_DrawRectangleArgs {
    int _ = 0;
    int x = 0, y = 0;    // top-left corner, or the centre with `center`
    int w = 0, h = 0;    // size
    bool fill = false;   // filled, or a one-pixel outline
    bool center = false; // x, y name the centre
} VEK_DrawRectangleArgs;

typedef uint32_t VEK_Uint;

typedef struct VEK_DrawImageArgs {
    int _ = 0;
    VEK_Uint id = 0;                 // image resource
    int x = 0, y = 0;                // anchor: top-left, or centre with `center`
    int ix = 0, iy = 0;              // source corner inside the image
    int w = INT_MIN, h = INT_MIN;    // source size; INT_MIN: whole image; negative mirrors
    float r = 0;                     // rotation in turns, clockwise
    float sx = 1.0f, sy = 1.0f;      // scale; negative mirrors
    bool center = false;             // anchor at the drawn image's centre
    bool flip_x = false, flip_y = false;
} VEK_DrawImageArgs;

typedef struct VEK_Point {
    int x, y;
} VEK_Point;

typedef struct VEK_Rect {
    VEK_Point from, to; // both corners inclusive
} VEK_Rect;

#define VEK_DrawSetColor(...) _VEK_DrawSetColor(vek_args_(VEK_Color{._ = 0, __VA_ARGS__}))
int _VEK_DrawSetColor(const VEK_Color *color);                 // current colour and tint
int VEK_DrawSetColor8(uint8_t r, uint8_t g, uint8_t b, uint8_t a); // same, in bytes
int VEK_DrawPoint(int x, int y);                               // one pixel
int VEK_DrawLine(int x0, int y0, int x1, int y1);              // a line
#define VEK_DrawRectangle(...)                                                                     \
    _VEK_DrawRectangle(vek_args_(VEK_DrawRectangleArgs{._ = 0, __VA_ARGS__}))
int _VEK_DrawRectangle(const VEK_DrawRectangleArgs *args); // filled or outline rectangle
#define VEK_DrawImage(...) _VEK_DrawImage(vek_args_(VEK_DrawImageArgs{._ = 0, __VA_ARGS__}))
int _VEK_DrawImage(const VEK_DrawImageArgs *args);         // cut-out, scaled, mirrored, rotated, tinted
void VEK_RectFromSDLRect(VEK_Rect *dest, const SDL_Rect *src); // (x, y, w, h) -> inclusive corners

// ===========================================================================
// Resource registry and hot reload
// ===========================================================================
typedef enum VEK_ResourceType : uint32_t {
    VEK_RES_RAW = 0,   // the bytes as read
    VEK_RES_IMAGE = 1, // a texture (BMP data)
    VEK_RES_SOUND = 2, // a mixer chunk (WAV data)
    ___VEK_RES_COUNT = 3,
} VEK_ResourceType;

typedef struct VEK_Raw {
    void *data;
    size_t size;
} VEK_Raw;

typedef struct VEK_Image {
    int width, height;
    SDL_Texture *ptr;
} VEK_Image;

typedef struct VEK_Sound {
    Mix_Chunk *ptr;
} VEK_Sound;

typedef struct VEK_Font { // declared for completeness; no resource kind fills it
    void *ptr;
    int ptsize;
} VEK_Font;

typedef struct VEK_Resource {
    VEK_ResourceType type; // fixed at creation
    char *path;            // copy of the load path; null for a resource from memory
    int64_t mtime;         // modification time last seen by the watcher (seconds); 0: not yet
    union {
        VEK_Raw raw;
        VEK_Image image;
        VEK_Sound sound;
        VEK_Font ttf;
    };
} VEK_Resource;

[[nodiscard]] VEK_Uint VEK_LoadResource(const char *path); // kind from the extension; same path, same id
[[nodiscard]] VEK_Uint VEK_LoadResourceTyped(VEK_ResourceType type, const char *path);
[[nodiscard]] VEK_Uint VEK_LoadResourceFromMemory(VEK_ResourceType type, const void *data, int size);
int VEK_DirectResourceLoad(VEK_Resource *res, const void *data, int size); // decode into a record
void VEK_DestroyResource(VEK_Resource *res, int free_path); // release what a record owns
VEK_Resource *VEK_GetResourcePointer(VEK_Uint id); // the record (valid until the next load)
VEK_ResourceType VEK_GetResourceType(VEK_Uint id);
const char *VEK_GetResourcePath(VEK_Uint id);      // null for a resource from memory
VEK_Raw *VEK_GetRawResource(VEK_Uint id);
int VEK_GetImageWidth(VEK_Uint id);
int VEK_GetImageHeight(VEK_Uint id);
void VEK_ResourcesWatch(void);          // reload files whose modification time changed
int VEK_ReloadResource(VEK_Uint id);    // re-read one file under the same id

// ===========================================================================
// Audio
// ===========================================================================
typedef struct VEK_PlaySoundArgs {
    int _ = 0;
    VEK_Uint id = 0;      // sound resource
    int loop = 0;         // extra repetitions; -1 until stopped
    float volume = 1.0f;  // 0..1
} VEK_PlaySoundArgs;

int VEK_PlayMusic(const char *path, int loop); // stream a music file (replaces the current one)
void VEK_StopMusic(void);                      // halt and release the music
#define VEK_PlaySound(...) _VEK_PlaySound(vek_args_(VEK_PlaySoundArgs{._ = 0, __VA_ARGS__}))
int _VEK_PlaySound(const VEK_PlaySoundArgs *args); // play a sound resource on a free channel

// ===========================================================================
// Input: per-frame states of keys (SDL scancodes), mouse buttons, controller buttons
// and fingers. A press and its release between two frames read PRESS in the first
// frame and RELEASE in the next: a quick tap counts, once.
// ===========================================================================
typedef enum VEK_KeyState : uint32_t {
    VEK_KEYSTATE_UP = 0,      // not held
    VEK_KEYSTATE_DOWN = 1,    // held since an earlier frame
    VEK_KEYSTATE_RELEASE = 2, // released this frame
    VEK_KEYSTATE_PRESS = 3,   // pressed this frame
} VEK_KeyState;

typedef enum VEK_EventType : uint32_t {
    VEK_EV_QUIT = 0,
    VEK_EV_KEYDOWN = 1,
    VEK_EV_KEYUP = 2,
} VEK_EventType;

typedef struct VEK_Event {
    VEK_EventType type;
    int button; // scancode of a key event
} VEK_Event;

typedef struct VEK_Joystick {
    SDL_GameController *ptr; // null: empty slot
    float leftx, lefty, rightx, righty;
    uint32_t held; // the engine's own: buttons this pad holds as last seen, bit k for button k
} VEK_Joystick;

void VEK_CycleEvents(void);       // once per frame: watch files, age states, drain events, poll pads
int VEK_PollEvent(VEK_Event *e);  // 1 when an event was stored, 0 when the queue is empty

VEK_KeyState VEK_GetKeyState(int scancode); // UP for a scancode out of range
bool VEK_IsKeyDown(int scancode);           // held (PRESS or DOWN)
bool VEK_IsKeyPressed(int scancode);        // went down this frame
bool VEK_IsKeyReleased(int scancode);       // went up this frame
bool VEK_IsKeyUp(int scancode);             // not held (UP or RELEASE)

VEK_KeyState VEK_MouseGetState(uint8_t button); // 1 left, 2 middle, 3 right
bool VEK_MouseDown(uint8_t button);
bool VEK_MousePressed(uint8_t button);
bool VEK_MouseReleased(uint8_t button);
bool VEK_MouseUp(uint8_t button);
void VEK_MouseGetPosition(int *x, int *y); // pointer in game pixels; either may be null

VEK_KeyState VEK_JoystickGetState(uint8_t button); // any open controller; UP out of range
bool VEK_JoystickDown(uint8_t button);
bool VEK_JoystickPressed(uint8_t button);
bool VEK_JoystickReleased(uint8_t button);
bool VEK_JoystickUp(uint8_t button);
float VEK_JoystickLeftX(void);  // first non-zero stick value among open controllers
float VEK_JoystickLeftY(void);
float VEK_JoystickRightX(void);
float VEK_JoystickRightY(void);

constexpr int VEK_FINGER_MAX = 10;           // finger slots; a new finger takes the first free one
VEK_KeyState VEK_FingerGetState(int finger); // slot 0 to VEK_FINGER_MAX - 1; UP out of range
bool VEK_FingerDown(int finger);             // touching (PRESS or DOWN)
bool VEK_FingerPressed(int finger);          // touched down this frame
bool VEK_FingerReleased(int finger);         // lifted this frame
bool VEK_FingerUp(int finger);               // not touching (UP or RELEASE)
void VEK_FingerGetPosition(int finger, int *x, int *y); // game pixels; either may be null
