// SPDX-License-Identifier: Zlib
// Input: key / mouse / controller / finger state machine driven by real SDL events
// and SDL's virtual joysticks.
#include "rig.h"
#include "vek_internal.h"

#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <string>
#include <tuple>
#include <vector>

// This binary is linked with --wrap=SDL_GetTouchDeviceType: the engine's question
// lands here, which answers for the touch ids a test names and asks SDL otherwise.
extern "C" SDL_TouchDeviceType __real_SDL_GetTouchDeviceType(SDL_TouchID touch);
static std::vector<std::pair<SDL_TouchID, SDL_TouchDeviceType>> g_touch_devices;
extern "C" SDL_TouchDeviceType __wrap_SDL_GetTouchDeviceType(SDL_TouchID touch) {
    for (const auto &[id, type] : g_touch_devices)
        if (id == touch) return type;
    return __real_SDL_GetTouchDeviceType(touch);
}

namespace {

// ---------------------------------------------------------------------------
// Event helpers
// ---------------------------------------------------------------------------
void push(SDL_Event ev) {
    ASSERT_EQ(SDL_PushEvent(&ev), 1) << SDL_GetError();
}

void push_key(Uint32 type, int scancode, bool repeat = false) {
    SDL_Event ev;
    SDL_zero(ev);
    ev.type = type;
    ev.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    ev.key.repeat = repeat ? 1 : 0;
    ev.key.keysym.scancode = static_cast<SDL_Scancode>(scancode);
    push(ev);
}

void push_button(Uint32 type, uint8_t button, int x, int y) {
    SDL_Event ev;
    SDL_zero(ev);
    ev.type = type;
    ev.button.button = button;
    ev.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
    ev.button.x = x;
    ev.button.y = y;
    push(ev);
}

void push_motion(int x, int y) {
    SDL_Event ev;
    SDL_zero(ev);
    ev.type = SDL_MOUSEMOTION;
    ev.motion.x = x;
    ev.motion.y = y;
    push(ev);
}

void push_quit() {
    SDL_Event ev;
    SDL_zero(ev);
    ev.type = SDL_QUIT;
    push(ev);
}

// Engine with a 640x640 picture, no pacing, no audio; every input table cleared
// (process-wide: a test may have set them without starting the engine).
class InputTest : public EngineTest {
  protected:
    void SetUp() override {
        input_reset();
        g_touch_devices.clear(); // every touch device is SDL's own again
        ___vek_should_quit = 0;
        // The composition's values as they are before any frame was composed.
        ___vek_scale = 1.0f;
        ___vek_off_x = ___vek_off_y = 1;
        // SDL drops joystick input while none of its windows has keyboard focus,
        // which a headless window never gets.
        SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
        ASSERT_EQ(VEK_Init(.width = 640, .height = 640, .target_fps = 0, .pixel_perfect = false,
                           .mixer = VEK_MIXER_OFF),
                  0);
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    }
};

// ---------------------------------------------------------------------------
// Keys and mouse buttons: frames of events, state read after each frame
// ---------------------------------------------------------------------------
enum Act { DOWN, UP, REPEAT };

struct FrameCase {
    const char *name;
    std::vector<std::vector<Act>> frames; // events drained in each frame
    std::vector<VEK_KeyState> expect;     // state after each frame
};

const FrameCase kFrameCases[] = {
    {"press_held_release_up",
     {{DOWN}, {}, {}, {UP}, {}},
     {VEK_KEYSTATE_PRESS, VEK_KEYSTATE_DOWN, VEK_KEYSTATE_DOWN, VEK_KEYSTATE_RELEASE,
      VEK_KEYSTATE_UP}},
    {"repeat_ignored",
     {{DOWN}, {REPEAT}, {REPEAT, REPEAT}, {}},
     {VEK_KEYSTATE_PRESS, VEK_KEYSTATE_DOWN, VEK_KEYSTATE_DOWN, VEK_KEYSTATE_DOWN}},
    // A quick tap (a touchpad's tap-to-click sends both at once): pressed in its
    // frame, released in the next, and counted once however often it repeats.
    {"press_release_one_frame",
     {{DOWN, UP}, {}, {}},
     {VEK_KEYSTATE_PRESS, VEK_KEYSTATE_RELEASE, VEK_KEYSTATE_UP}},
    {"two_taps_one_frame",
     {{DOWN, UP, DOWN, UP}, {}, {}},
     {VEK_KEYSTATE_PRESS, VEK_KEYSTATE_RELEASE, VEK_KEYSTATE_UP}},
    {"tap_then_press_next_frame",
     {{DOWN, UP}, {DOWN}, {}},
     {VEK_KEYSTATE_PRESS, VEK_KEYSTATE_PRESS, VEK_KEYSTATE_DOWN}},
    {"tap_then_held_one_frame",
     {{DOWN, UP, DOWN}, {}, {UP}},
     {VEK_KEYSTATE_PRESS, VEK_KEYSTATE_DOWN, VEK_KEYSTATE_RELEASE}},
    {"release_press_one_frame",
     {{DOWN}, {UP, DOWN}, {}},
     {VEK_KEYSTATE_PRESS, VEK_KEYSTATE_PRESS, VEK_KEYSTATE_DOWN}},
    {"press_again_while_pressed",
     {{DOWN}, {DOWN}, {}},
     {VEK_KEYSTATE_PRESS, VEK_KEYSTATE_PRESS, VEK_KEYSTATE_DOWN}},
};

// The four predicates of a family, as read for one state.
struct Preds {
    bool down, pressed, released, up;
};

Preds expected_preds(VEK_KeyState s) {
    return {s == VEK_KEYSTATE_DOWN || s == VEK_KEYSTATE_PRESS, s == VEK_KEYSTATE_PRESS,
            s == VEK_KEYSTATE_RELEASE, s == VEK_KEYSTATE_UP || s == VEK_KEYSTATE_RELEASE};
}

void check_preds(const char *what, VEK_KeyState s, Preds got) {
    Preds want = expected_preds(s);
    EXPECT_EQ(got.down, want.down) << what;
    EXPECT_EQ(got.pressed, want.pressed) << what;
    EXPECT_EQ(got.released, want.released) << what;
    EXPECT_EQ(got.up, want.up) << what;
}

TEST_F(InputTest, KeyFrames) {
    const int key = SDL_SCANCODE_E; // 8, the key the game asks for
    for (const FrameCase &c : kFrameCases) {
        SCOPED_TRACE(c.name);
        input_reset();
        for (size_t f = 0; f < c.frames.size(); f++) {
            for (Act a : c.frames[f]) push_key(a == UP ? SDL_KEYUP : SDL_KEYDOWN, key, a == REPEAT);
            VEK_CycleEvents();
            SCOPED_TRACE("frame " + std::to_string(f));
            EXPECT_EQ(VEK_GetKeyState(key), c.expect[f]);
            check_preds("key", c.expect[f],
                        {VEK_IsKeyDown(key), VEK_IsKeyPressed(key), VEK_IsKeyReleased(key),
                         VEK_IsKeyUp(key)});
            EXPECT_EQ(VEK_GetKeyState(key + 1), VEK_KEYSTATE_UP) << "neighbour untouched";
        }
    }
}

TEST_F(InputTest, MouseButtonFrames) {
    const uint8_t button = SDL_BUTTON_LEFT;
    for (const FrameCase &c : kFrameCases) {
        SCOPED_TRACE(c.name);
        input_reset();
        for (size_t f = 0; f < c.frames.size(); f++) {
            // A mouse button has no repeat: a repeat row stands for "nothing".
            for (Act a : c.frames[f])
                if (a != REPEAT)
                    push_button(a == UP ? SDL_MOUSEBUTTONUP : SDL_MOUSEBUTTONDOWN, button, 10, 10);
            VEK_CycleEvents();
            SCOPED_TRACE("frame " + std::to_string(f));
            EXPECT_EQ(VEK_MouseGetState(button), c.expect[f]);
            check_preds("mouse", c.expect[f],
                        {VEK_MouseDown(button), VEK_MousePressed(button), VEK_MouseReleased(button),
                         VEK_MouseUp(button)});
            EXPECT_EQ(VEK_MouseGetState(SDL_BUTTON_RIGHT), VEK_KEYSTATE_UP);
        }
    }
}

TEST_F(InputTest, EveryMouseButtonNumberHasItsOwnState) {
    for (int b : {1, 2, 3, 4, 5, 200, 255}) {
        push_button(SDL_MOUSEBUTTONDOWN, static_cast<uint8_t>(b), 0, 0);
        VEK_CycleEvents();
        EXPECT_EQ(VEK_MouseGetState(static_cast<uint8_t>(b)), VEK_KEYSTATE_PRESS) << b;
        VEK_CycleEvents();
        EXPECT_EQ(VEK_MouseGetState(static_cast<uint8_t>(b)), VEK_KEYSTATE_DOWN) << b;
    }
}

TEST_F(InputTest, GettersAnswerUpOutOfRange) {
    // The last valid entries hold something else, so a reader that ran past the
    // table's end (or wrapped around) would not answer UP by chance.
    ___vek_keystates[511] = VEK_KEYSTATE_PRESS;
    ___vek_keystates[0] = VEK_KEYSTATE_DOWN;
    ___vek_joystates[20] = VEK_KEYSTATE_PRESS;
    ___vek_joystates[0] = VEK_KEYSTATE_DOWN;
    EXPECT_EQ(VEK_GetKeyState(511), VEK_KEYSTATE_PRESS);
    EXPECT_EQ(VEK_JoystickGetState(20), VEK_KEYSTATE_PRESS);
    for (int sc : {-1, -512, 512, 513, 100000, INT_MIN, INT_MAX}) {
        EXPECT_EQ(VEK_GetKeyState(sc), VEK_KEYSTATE_UP) << sc;
        EXPECT_TRUE(VEK_IsKeyUp(sc)) << sc;
        EXPECT_FALSE(VEK_IsKeyDown(sc) || VEK_IsKeyPressed(sc) || VEK_IsKeyReleased(sc)) << sc;
    }
    for (int b : {21, 22, 100, 255}) {
        uint8_t button = static_cast<uint8_t>(b);
        EXPECT_EQ(VEK_JoystickGetState(button), VEK_KEYSTATE_UP) << b;
        EXPECT_TRUE(VEK_JoystickUp(button)) << b;
        EXPECT_FALSE(VEK_JoystickDown(button) || VEK_JoystickPressed(button) ||
                     VEK_JoystickReleased(button))
            << b;
    }
}

TEST_F(InputTest, ForgedScancodeOutOfRangeChangesNothing) {
    push_key(SDL_KEYDOWN, 600);
    push_key(SDL_KEYDOWN, SDL_SCANCODE_A);
    VEK_CycleEvents();
    for (int sc = 0; sc < 512; sc++)
        EXPECT_EQ(VEK_GetKeyState(sc), sc == SDL_SCANCODE_A ? VEK_KEYSTATE_PRESS : VEK_KEYSTATE_UP)
            << sc;
}

// ---------------------------------------------------------------------------
// The frame's first step: changed files are reloaded before any input is read
// ---------------------------------------------------------------------------
TEST_F(InputTest, CycleEventsReloadsChangedFiles) {
    TempDir dir;
    const std::string path = dir.file("data.txt");
    write_file(path, "one");
    VEK_Uint id = VEK_LoadResource(path.c_str());
    ASSERT_NE(id, 0u);
    VEK_CycleEvents(); // first look: the time is recorded, nothing reloaded
    ASSERT_EQ(VEK_GetRawResource(id)->size, 3u);

    write_file(path, "three");
    struct timespec later[2] = {{time(nullptr) + 100, 0}, {time(nullptr) + 100, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), later, 0), 0);
    EXPECT_EQ(VEK_GetRawResource(id)->size, 3u) << "nothing reloads outside the frame step";
    VEK_CycleEvents();
    const VEK_Raw *raw = VEK_GetRawResource(id);
    ASSERT_EQ(raw->size, 5u);
    EXPECT_EQ(std::string(static_cast<const char *>(raw->data), raw->size), "three");
}

// ---------------------------------------------------------------------------
// VEK_PollEvent's report and the quit latch
// ---------------------------------------------------------------------------
TEST_F(InputTest, PollEventReportsKeysAndQuitOnly) {
    push_motion(5, 6);
    push_key(SDL_KEYDOWN, 8);
    push_key(SDL_KEYDOWN, 8, true); // repeat: skipped
    push_button(SDL_MOUSEBUTTONDOWN, 1, 7, 8);
    push_key(SDL_KEYUP, 9);
    push_quit();
    push_key(SDL_KEYDOWN, 10);

    struct Want {
        VEK_EventType type;
        int button; // -1: not looked at
    };
    const Want wants[] = {
        {VEK_EV_KEYDOWN, 8}, {VEK_EV_KEYUP, 9}, {VEK_EV_QUIT, -1}, {VEK_EV_KEYDOWN, 10}};
    for (const Want &w : wants) {
        VEK_Event e = {static_cast<VEK_EventType>(99), -7};
        ASSERT_EQ(VEK_PollEvent(&e), 1);
        EXPECT_EQ(e.type, w.type);
        if (w.button >= 0) {
            EXPECT_EQ(e.button, w.button);
        }
    }
    EXPECT_EQ(VEK_PollEvent(nullptr), 0);
    // Skipped events still took effect on the way.
    EXPECT_EQ(___vek_mouse_x, 7);
    EXPECT_EQ(___vek_mouse_y, 8);
    EXPECT_EQ(VEK_MouseGetState(1), VEK_KEYSTATE_PRESS);
    EXPECT_EQ(VEK_ShouldQuit(), 1);
}

TEST_F(InputTest, PollEventWithoutRecordStillApplies) {
    push_key(SDL_KEYDOWN, 20);
    EXPECT_EQ(VEK_PollEvent(nullptr), 1);
    EXPECT_EQ(VEK_GetKeyState(20), VEK_KEYSTATE_PRESS);
    EXPECT_EQ(VEK_PollEvent(nullptr), 0);
}

TEST_F(InputTest, QuitLatchesAndTheQueueIsStillDrained) {
    EXPECT_EQ(VEK_ShouldQuit(), 0);
    push_quit();
    push_key(SDL_KEYDOWN, SDL_SCANCODE_E);
    push_button(SDL_MOUSEBUTTONDOWN, 1, 3, 4);
    VEK_CycleEvents();
    EXPECT_EQ(VEK_ShouldQuit(), 1);
    EXPECT_EQ(VEK_GetKeyState(SDL_SCANCODE_E), VEK_KEYSTATE_PRESS);
    EXPECT_EQ(VEK_MouseGetState(1), VEK_KEYSTATE_PRESS);
    EXPECT_EQ(VEK_PollEvent(nullptr), 0) << "queue left non-empty";
    VEK_CycleEvents();
    EXPECT_EQ(VEK_ShouldQuit(), 1) << "nothing clears the latch";
}

TEST_F(InputTest, MainLoopStopsAfterTheFrameThatSawQuit) {
    int frames = 0;
    push_quit();
    auto frame = [](void *udata) {
        ++*static_cast<int *>(udata);
        return 0;
    };
    EXPECT_EQ(VEK_MainLoop(frame, &frames), 0);
    EXPECT_EQ(frames, 1);
}

// ---------------------------------------------------------------------------
// Mouse position through the screen transform
// ---------------------------------------------------------------------------
TEST_F(InputTest, MouseStartsAtTheCentreBeforeAnyEvent) {
    int x = -5, y = -5;
    VEK_MouseGetPosition(&x, &y);
    // 640 / 2 = 320, minus the initial offset 1, divided by the initial scale 1.
    EXPECT_EQ(x, 319);
    EXPECT_EQ(y, 319);
}

TEST_F(InputTest, MousePositionBeforeAnyComposition) {
    struct Case {
        bool motion;
        int wx, wy, gx, gy;
    } cases[] = {{true, 101, 51, 100, 50}, {false, 1, 1, 0, 0}, {true, 0, 700, -1, 699}};
    for (const Case &c : cases) {
        if (c.motion)
            push_motion(c.wx, c.wy);
        else
            push_button(SDL_MOUSEBUTTONUP, 3, c.wx, c.wy);
        VEK_CycleEvents();
        int x = 0, y = 0;
        VEK_MouseGetPosition(&x, &y);
        EXPECT_EQ(x, c.gx) << c.wx << "," << c.wy;
        EXPECT_EQ(y, c.gy) << c.wx << "," << c.wy;
    }
}

TEST_F(InputTest, MousePositionAfterCompositionIn800x600) {
    SDL_SetWindowSize(___vek_window, 800, 600);
    ASSERT_EQ(VEK_DrawBegin(), 0);
    ASSERT_EQ(VEK_DrawEnd(), 0);
    ASSERT_FLOAT_EQ(___vek_scale, 0.9375f);
    ASSERT_EQ(___vek_off_x, 100);
    ASSERT_EQ(___vek_off_y, 0);

    struct Case {
        Uint32 type; // SDL_MOUSEMOTION or a button event
        int wx, wy, gx, gy;
    } cases[] = {
        {SDL_MOUSEMOTION, 100 + 300, 300, 320, 320}, {SDL_MOUSEBUTTONDOWN, 100, 0, 0, 0},
        {SDL_MOUSEBUTTONUP, 699, 599, 638, 638},     {SDL_MOUSEMOTION, 700, 600, 640, 640},
        {SDL_MOUSEMOTION, 50, 10, -53, 10},
    };
    for (const Case &c : cases) {
        if (c.type == SDL_MOUSEMOTION)
            push_motion(c.wx, c.wy);
        else
            push_button(c.type, 1, c.wx, c.wy);
        VEK_CycleEvents();
        int x = 0, y = 0;
        VEK_MouseGetPosition(&x, &y);
        EXPECT_EQ(x, c.gx) << c.wx << "," << c.wy;
        EXPECT_EQ(y, c.gy) << c.wx << "," << c.wy;
    }
}

TEST_F(InputTest, MousePositionWritesOnlyTheGivenPointers) {
    push_motion(41, 61);
    VEK_CycleEvents();
    int x = 0, y = -123;
    VEK_MouseGetPosition(&x, nullptr);
    EXPECT_EQ(x, 40);
    VEK_MouseGetPosition(nullptr, &y);
    EXPECT_EQ(y, 60);
    VEK_MouseGetPosition(nullptr, nullptr); // must not crash
}

// ---------------------------------------------------------------------------
// Fingers through SDL's touch events
// ---------------------------------------------------------------------------
// Each finger slot's state, and its position in game pixels unless it is UP.
void expect_fingers(const std::vector<std::tuple<VEK_KeyState, int, int>> &want) {
    for (int f = 0; f < VEK_FINGER_MAX; f++) {
        auto [s, x, y] = f < int(want.size()) ? want[size_t(f)] : std::tuple(VEK_KEYSTATE_UP, 0, 0);
        EXPECT_EQ(VEK_FingerGetState(f), s) << "slot " << f;
        check_preds(
            "finger", s,
            {VEK_FingerDown(f), VEK_FingerPressed(f), VEK_FingerReleased(f), VEK_FingerUp(f)});
        int gx = 0, gy = 0;
        VEK_FingerGetPosition(f, &gx, &gy);
        if (s != VEK_KEYSTATE_UP) {
            EXPECT_EQ(std::pair(gx, gy), std::pair(x, y)) << "slot " << f;
        }
    }
}

// Fingers in a window of another shape than the picture: positions come through
// the letterbox, slots are taken in order and free again once a release was seen.
TEST_F(InputTest, FingersTakeSlotsAndReadThroughTheLetterbox) {
    SDL_SetWindowSize(___vek_window, 800, 600);
    ASSERT_EQ(VEK_DrawBegin(), 0);
    ASSERT_EQ(VEK_DrawEnd(), 0);
    ASSERT_FLOAT_EQ(___vek_scale, 0.9375f); // bars of 100 pixels left and right
    const VEK_KeyState PRESS = VEK_KEYSTATE_PRESS, HELD = VEK_KEYSTATE_DOWN,
                       RELEASE = VEK_KEYSTATE_RELEASE;

    push_finger(SDL_FINGERDOWN, 7, 0.5f, 0.5f); // window (400, 300)
    VEK_CycleEvents();
    expect_fingers({{PRESS, 320, 320}});

    // The first moves; a second taps, down and up in one drain.
    push_finger(SDL_FINGERMOTION, 7, 0.25f, 0.75f); // window (200, 450)
    push_finger(SDL_FINGERDOWN, 8, 0.8f, 0.1f);     // window (640, 60)
    push_finger(SDL_FINGERUP, 8, 0.8f, 0.1f);
    VEK_CycleEvents();
    expect_fingers({{HELD, 106, 480}, {PRESS, 576, 64}});

    // The first lifts at the picture's corner as a third comes down: no slot is
    // free before its release was seen, so the third takes a new one.
    push_finger(SDL_FINGERUP, 7, 0.125f, 0.0f);
    push_finger(SDL_FINGERDOWN, 9, 1.0f, 1.0f);
    VEK_CycleEvents();
    expect_fingers({{RELEASE, 0, 0}, {RELEASE, 576, 64}, {PRESS, 746, 640}});

    // Touches SDL makes from the mouse are no fingers; a real one takes slot 0 again.
    push_finger(SDL_FINGERDOWN, 1, 0.5f, 0.5f, SDL_MOUSE_TOUCHID);
    push_finger(SDL_FINGERDOWN, 7, 0.5f, 0.0f);
    VEK_CycleEvents();
    expect_fingers({{PRESS, 320, 0}, {VEK_KEYSTATE_UP, 0, 0}, {HELD, 746, 640}});

    VEK_Quit();
    EXPECT_EQ(VEK_FingerGetState(2), VEK_KEYSTATE_UP) << "a new session starts untouched";
}

// A trackpad reporting its contacts as fingers (absolute or relative to the
// pointer) touches nothing drawn; a touch screen and a device SDL does not know
// (as any pushed event's) do.
TEST_F(InputTest, OnlyTouchesOnTheScreenAreFingers) {
    ASSERT_EQ(VEK_DrawBegin(), 0); // composed once: the window is the picture
    ASSERT_EQ(VEK_DrawEnd(), 0);
    g_touch_devices = {{21, SDL_TOUCH_DEVICE_INDIRECT_ABSOLUTE},
                       {22, SDL_TOUCH_DEVICE_INDIRECT_RELATIVE},
                       {23, SDL_TOUCH_DEVICE_DIRECT}};
    push_finger(SDL_FINGERDOWN, 1, 0.5f, 0.5f, 21);
    push_finger(SDL_FINGERDOWN, 1, 0.25f, 0.5f, 22);
    VEK_CycleEvents();
    push_finger(SDL_FINGERMOTION, 1, 0.5f, 0.25f, 21);
    push_finger(SDL_FINGERUP, 1, 0.5f, 0.25f, 22);
    push_finger(SDL_FINGERDOWN, 1, 0.5f, 0.5f, 23);
    push_finger(SDL_FINGERDOWN, 2, 0.25f, 0.25f, 24); // unknown to SDL
    VEK_CycleEvents();
    expect_fingers({{VEK_KEYSTATE_PRESS, 320, 320}, {VEK_KEYSTATE_PRESS, 160, 160}});
}

// ---------------------------------------------------------------------------
// Controllers through SDL's virtual joysticks
// ---------------------------------------------------------------------------

// One virtual game pad, identified by its instance id (device indices shift when
// another pad leaves).
struct Pad {
    SDL_JoystickID id = -1;

    static Pad attach() {
        Pad p;
        p.id = attach_virtual_pad("bramble test pad");
        return p;
    }
    int device_index() const {
        for (int i = 0; i < SDL_NumJoysticks(); i++)
            if (SDL_JoystickGetDeviceInstanceID(i) == id) return i;
        return -1;
    }
    void detach() const {
        EXPECT_EQ(SDL_JoystickDetachVirtual(device_index()), 0) << SDL_GetError();
    }
    SDL_Joystick *joy() const { return SDL_JoystickFromInstanceID(id); }
    void button(int b, bool held) const {
        ASSERT_NE(joy(), nullptr);
        EXPECT_EQ(SDL_JoystickSetVirtualButton(joy(), b, held ? SDL_PRESSED : SDL_RELEASED), 0)
            << SDL_GetError();
    }
    void axis(int a, Sint16 v) const {
        ASSERT_NE(joy(), nullptr);
        EXPECT_EQ(SDL_JoystickSetVirtualAxis(joy(), a, v), 0) << SDL_GetError();
    }
    // The engine's slot holding this pad, or -1.
    long slot() const {
        for (size_t i = 0; i < ___vek_joysticks_size; i++) {
            SDL_GameController *gc = ___vek_joysticks[i].ptr;
            if (gc != nullptr && SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(gc)) == id)
                return static_cast<long>(i);
        }
        return -1;
    }
};

size_t count(const std::string &text, const std::string &needle) {
    size_t n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        n++;
    return n;
}

TEST_F(InputTest, ControllerArrivesAndLeaves) {
    StderrCapture cap;
    Pad a = Pad::attach();
    VEK_CycleEvents();
    std::string log = cap.text();
    EXPECT_EQ(count(log, "opened joystick"), 1u) << log;
    EXPECT_NE(log.find("LOG vek_input.cpp:VEK_PollEvent:"), std::string::npos) << log;
    ASSERT_EQ(___vek_joysticks_size, 1u);
    EXPECT_EQ(a.slot(), 0);
    EXPECT_TRUE(SDL_GameControllerGetAttached(___vek_joysticks[0].ptr));

    StderrCapture cap2;
    a.detach();
    VEK_CycleEvents();
    std::string log2 = cap2.text();
    EXPECT_EQ(___vek_joysticks[0].ptr, nullptr) << "slot left open";
    EXPECT_EQ(___vek_joysticks_size, 1u) << "slots are never removed";
    EXPECT_EQ(log2.find("didn't remove no joystick"), std::string::npos) << log2;
}

TEST_F(InputTest, ReplugReusesTheEmptySlot) {
    Pad a = Pad::attach();
    Pad b = Pad::attach();
    VEK_CycleEvents();
    ASSERT_EQ(___vek_joysticks_size, 2u);
    size_t capacity = ___vek_joysticks_capacity;
    VEK_Joystick *table = ___vek_joysticks;
    EXPECT_EQ(a.slot(), 0);
    EXPECT_EQ(b.slot(), 1);

    a.detach();
    VEK_CycleEvents();
    EXPECT_EQ(___vek_joysticks[0].ptr, nullptr);
    EXPECT_EQ(b.slot(), 1);

    StderrCapture cap;
    Pad c = Pad::attach();
    VEK_CycleEvents();
    EXPECT_EQ(count(cap.text(), "opened joystick"), 1u);
    EXPECT_EQ(c.slot(), 0) << "first empty slot reused";
    EXPECT_EQ(___vek_joysticks_size, 2u);
    EXPECT_EQ(___vek_joysticks_capacity, capacity);
    EXPECT_EQ(___vek_joysticks, table);

    // A third pad finds no empty slot and grows the table by one.
    Pad d = Pad::attach();
    VEK_CycleEvents();
    EXPECT_EQ(___vek_joysticks_size, 3u);
    EXPECT_EQ(d.slot(), 2);
}

TEST_F(InputTest, UnknownRemovalIsLogged) {
    Pad a = Pad::attach();
    VEK_CycleEvents();
    StderrCapture cap;
    SDL_Event ev;
    SDL_zero(ev);
    ev.type = SDL_CONTROLLERDEVICEREMOVED;
    ev.cdevice.which = a.id + 1000;
    push(ev);
    VEK_CycleEvents();
    std::string log = cap.text();
    EXPECT_EQ(count(log, "didn't remove no joystick"), 1u) << log;
    EXPECT_NE(log.find("LOG vek_input.cpp:VEK_PollEvent:"), std::string::npos) << log;
    EXPECT_EQ(a.slot(), 0) << "the open pad is untouched";

    // Removing a pad twice: the second event finds it closed already.
    StderrCapture cap2;
    ev.cdevice.which = a.id;
    push(ev);
    push(ev);
    VEK_CycleEvents();
    EXPECT_EQ(count(cap2.text(), "didn't remove no joystick"), 1u);
    EXPECT_EQ(___vek_joysticks[0].ptr, nullptr);
}

TEST_F(InputTest, NoControllerReadsCentredAndUp) {
    for (int f = 0; f < 3; f++) {
        VEK_CycleEvents();
        EXPECT_EQ(VEK_JoystickLeftX(), 0.0f);
        EXPECT_EQ(VEK_JoystickLeftY(), 0.0f);
        EXPECT_EQ(VEK_JoystickRightX(), 0.0f);
        EXPECT_EQ(VEK_JoystickRightY(), 0.0f);
        for (int b = 0; b < 21; b++)
            EXPECT_EQ(VEK_JoystickGetState(static_cast<uint8_t>(b)), VEK_KEYSTATE_UP) << b;
    }
}

float (*const kStick[4])(void) = {VEK_JoystickLeftX, VEK_JoystickLeftY, VEK_JoystickRightX,
                                  VEK_JoystickRightY};

TEST_F(InputTest, StickValuesAndDeadZone) {
    Pad a = Pad::attach();
    VEK_CycleEvents();
    ASSERT_EQ(a.slot(), 0);
    struct Case {
        Sint16 raw;
        float want;
    } cases[] = {
        {0, 0.0f},
        {16383, 0.0f},
        {-16383, 0.0f},
        {16384, 16384.0f / 32767.0f},
        {-16384, -16384.0f / 32767.0f},
        {32767, 1.0f},
        {-32768, -32768.0f / 32767.0f},
    };
    for (int axis = 0; axis < 4; axis++) {
        for (const Case &c : cases) {
            a.axis(axis, c.raw);
            VEK_CycleEvents();
            EXPECT_EQ(SDL_GameControllerGetAxis(___vek_joysticks[0].ptr,
                                                static_cast<SDL_GameControllerAxis>(axis)),
                      c.raw)
                << "the pad's mapping should pass the raw value through";
            EXPECT_FLOAT_EQ(kStick[axis](), c.want) << "axis " << axis << " raw " << c.raw;
            for (int other = 0; other < 4; other++)
                if (other != axis) {
                    EXPECT_EQ(kStick[other](), 0.0f) << axis << "/" << other;
                }
        }
        a.axis(axis, 0);
    }
    EXPECT_NEAR(16384.0f / 32767.0f, 0.500015f, 1e-6f);
    EXPECT_NEAR(-32768.0f / 32767.0f, -1.00003f, 1e-5f);
}

TEST_F(InputTest, FirstOffCentreStickWins) {
    Pad a = Pad::attach();
    Pad b = Pad::attach();
    VEK_CycleEvents();
    ASSERT_EQ(a.slot(), 0);
    ASSERT_EQ(b.slot(), 1);
    struct Case {
        Sint16 a, b;
        float want;
    } cases[] = {
        {0, 32767, 1.0f},                      // first centred: the second answers
        {-32768, 32767, -32768.0f / 32767.0f}, // both pushed: table order
        {10000, 20000, 20000.0f / 32767.0f},   // first inside its dead zone
        {10000, -10000, 0.0f},                 // both inside
    };
    for (const Case &c : cases) {
        a.axis(SDL_CONTROLLER_AXIS_LEFTX, c.a);
        b.axis(SDL_CONTROLLER_AXIS_LEFTX, c.b);
        VEK_CycleEvents();
        EXPECT_FLOAT_EQ(VEK_JoystickLeftX(), c.want) << c.a << " / " << c.b;
    }
    // A pad that left no longer answers, even with its last values kept.
    a.axis(SDL_CONTROLLER_AXIS_LEFTX, 32767);
    b.axis(SDL_CONTROLLER_AXIS_LEFTX, 0);
    VEK_CycleEvents();
    EXPECT_FLOAT_EQ(VEK_JoystickLeftX(), 1.0f);
    a.detach();
    VEK_CycleEvents();
    EXPECT_EQ(VEK_JoystickLeftX(), 0.0f);
}

TEST_F(InputTest, ButtonsCombineAcrossPads) {
    Pad a = Pad::attach();
    Pad b = Pad::attach();
    VEK_CycleEvents();
    ASSERT_EQ(a.slot(), 0);
    ASSERT_EQ(b.slot(), 1);
    struct Frame {
        bool a, b;
        VEK_KeyState want;
    };
    // Held on either pad counts as held; the state moves once per frame.
    const std::vector<Frame> frames = {
        {false, true, VEK_KEYSTATE_PRESS},    {false, true, VEK_KEYSTATE_DOWN},
        {false, true, VEK_KEYSTATE_DOWN},     {true, true, VEK_KEYSTATE_DOWN},
        {true, false, VEK_KEYSTATE_DOWN},     {false, false, VEK_KEYSTATE_RELEASE},
        {false, false, VEK_KEYSTATE_UP},      {true, false, VEK_KEYSTATE_PRESS},
        {true, false, VEK_KEYSTATE_DOWN},     {false, false, VEK_KEYSTATE_RELEASE},
        {false, false, VEK_KEYSTATE_UP},      {true, true, VEK_KEYSTATE_PRESS},
        {false, false, VEK_KEYSTATE_RELEASE},
    };
    for (int button :
         {SDL_CONTROLLER_BUTTON_A, SDL_CONTROLLER_BUTTON_START, SDL_CONTROLLER_BUTTON_DPAD_RIGHT}) {
        SCOPED_TRACE("button " + std::to_string(button));
        uint8_t other = button == 0 ? 1 : 0;
        for (size_t f = 0; f < frames.size(); f++) {
            a.button(button, frames[f].a);
            b.button(button, frames[f].b);
            VEK_CycleEvents();
            VEK_KeyState s = VEK_JoystickGetState(static_cast<uint8_t>(button));
            EXPECT_EQ(s, frames[f].want) << "frame " << f;
            check_preds("pad", s,
                        {VEK_JoystickDown(static_cast<uint8_t>(button)),
                         VEK_JoystickPressed(static_cast<uint8_t>(button)),
                         VEK_JoystickReleased(static_cast<uint8_t>(button)),
                         VEK_JoystickUp(static_cast<uint8_t>(button))});
            EXPECT_EQ(VEK_JoystickGetState(other), VEK_KEYSTATE_UP) << "frame " << f;
        }
        VEK_CycleEvents();
    }
}

TEST_F(InputTest, UnpluggingAPadReleasesItsButtons) {
    Pad a = Pad::attach();
    VEK_CycleEvents();
    a.button(SDL_CONTROLLER_BUTTON_B, true);
    VEK_CycleEvents();
    ASSERT_EQ(VEK_JoystickGetState(SDL_CONTROLLER_BUTTON_B), VEK_KEYSTATE_PRESS);
    VEK_CycleEvents();
    ASSERT_EQ(VEK_JoystickGetState(SDL_CONTROLLER_BUTTON_B), VEK_KEYSTATE_DOWN);
    a.detach();
    VEK_CycleEvents();
    EXPECT_EQ(VEK_JoystickGetState(SDL_CONTROLLER_BUTTON_B), VEK_KEYSTATE_RELEASE);
    VEK_CycleEvents();
    EXPECT_EQ(VEK_JoystickGetState(SDL_CONTROLLER_BUTTON_B), VEK_KEYSTATE_UP);
}

// A tap that goes down and up between two polls: only SDL's button events saw it.
TEST_F(InputTest, QuickPadTapBetweenPollsCounts) {
    Pad a = Pad::attach();
    VEK_CycleEvents();
    a.button(SDL_CONTROLLER_BUTTON_X, true);
    SDL_PumpEvents(); // SDL reads the pad: the down event is queued
    a.button(SDL_CONTROLLER_BUTTON_X, false);
    for (VEK_KeyState want : {VEK_KEYSTATE_PRESS, VEK_KEYSTATE_RELEASE, VEK_KEYSTATE_UP}) {
        VEK_CycleEvents();
        EXPECT_EQ(VEK_JoystickGetState(SDL_CONTROLLER_BUTTON_X), want);
    }
}

// A pad button let go and pressed again between two frames is a new press, as a
// key is; the same on one pad while another still holds the button is not, since
// the shared button never went up.
TEST_F(InputTest, PadReleasedAndPressedAgainWithinAFrameReadsPress) {
    Pad a = Pad::attach();
    Pad b = Pad::attach();
    VEK_CycleEvents();
    const uint8_t y = SDL_CONTROLLER_BUTTON_Y;
    auto frame = [&](VEK_KeyState want, const char *what) {
        VEK_CycleEvents();
        EXPECT_EQ(VEK_JoystickGetState(y), want) << what;
    };
    auto repress = [&](const Pad &p) {
        p.button(y, false);
        SDL_PumpEvents(); // SDL reads the pad: the up event is queued
        p.button(y, true);
    };
    a.button(y, true);
    frame(VEK_KEYSTATE_PRESS, "pressed");
    frame(VEK_KEYSTATE_DOWN, "held");
    repress(a);
    frame(VEK_KEYSTATE_PRESS, "pressed again within the frame");
    frame(VEK_KEYSTATE_DOWN, "held again");

    b.button(y, true);
    frame(VEK_KEYSTATE_DOWN, "the second pad joins");
    repress(a);
    frame(VEK_KEYSTATE_DOWN, "re-pressed while the second pad holds it");
    b.button(y, false);
    frame(VEK_KEYSTATE_DOWN, "the second pad lets go, the first still holds");
    repress(a);
    frame(VEK_KEYSTATE_PRESS, "alone again: a re-press counts");
}

TEST_F(InputTest, ShutdownClosesPadsAndEmptiesTheTable) {
    Pad::attach();
    Pad::attach();
    VEK_CycleEvents();
    ASSERT_EQ(___vek_joysticks_size, 2u);
    size_t live = alloc_live_count();
    VEK_Quit();
    EXPECT_EQ(___vek_joysticks, nullptr);
    EXPECT_EQ(___vek_joysticks_size, 0u);
    EXPECT_EQ(___vek_joysticks_capacity, 0u);
    EXPECT_EQ(alloc_live_count(), live - 1) << "the table block is released";
}

} // namespace
