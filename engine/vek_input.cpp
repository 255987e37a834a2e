// SPDX-License-Identifier: Zlib
// Input: per-frame states of keys, mouse buttons, controller buttons and fingers,
// the mouse and finger positions, and the controller table with its stick values.
#include "vek_internal.h"

#include <cmath>
#include <cstring>

// Every key, mouse button, controller button and finger has one state. Events
// (keys, mouse, fingers) or polling (controllers) set PRESS / RELEASE; the start
// of the next frame ages them to DOWN / UP.
VEK_KeyState ___vek_keystates[512];
VEK_KeyState ___vek_mousestates[256];
VEK_KeyState ___vek_joystates[21];
VEK_KeyState ___vek_fingerstates[VEK_FINGER_MAX];

// A release drained together with its press (a touchpad's tap-to-click sends
// both at once) would overwrite the PRESS before any frame saw it. It waits here
// instead, and the next frame's ageing turns the PRESS into RELEASE.
bool ___vek_key_release_pending[512];
bool ___vek_mouse_release_pending[256];
bool ___vek_joy_release_pending[21];
bool ___vek_finger_release_pending[VEK_FINGER_MAX];

// Controller slots; a null `ptr` is an empty slot that the next arrival reuses.
VEK_Joystick *___vek_joysticks = nullptr;
size_t ___vek_joysticks_size = 0;
size_t ___vek_joysticks_capacity = 0;

Finger ___vek_fingers[VEK_FINGER_MAX];

static constexpr int KEY_COUNT = 512;
static constexpr int JOY_BUTTON_COUNT = 21;

void next_state(VEK_KeyState *keystate) {
    switch (*keystate) {
    case VEK_KEYSTATE_PRESS:
        *keystate = VEK_KEYSTATE_DOWN;
        break;
    case VEK_KEYSTATE_RELEASE:
        *keystate = VEK_KEYSTATE_UP;
        break;
    default:
        break;
    }
}

void press_state(VEK_KeyState *keystate, bool *release_pending) {
    *keystate = VEK_KEYSTATE_PRESS;
    *release_pending = false; // pressed again: held at the end of the drain
}

void release_state(VEK_KeyState *keystate, bool *release_pending) {
    // Ageing runs before the drain, so PRESS here means "pressed in this drain".
    if (*keystate == VEK_KEYSTATE_PRESS)
        *release_pending = true;
    else
        *keystate = VEK_KEYSTATE_RELEASE;
}

void age_state(VEK_KeyState *keystate, bool *release_pending) {
    if (*release_pending) {
        *keystate = VEK_KEYSTATE_RELEASE;
        *release_pending = false;
    } else {
        next_state(keystate);
    }
}

void age_states(void) {
    for (int i = 0; i < KEY_COUNT; i++)
        age_state(&___vek_keystates[i], &___vek_key_release_pending[i]);
    for (int i = 0; i < 256; i++)
        age_state(&___vek_mousestates[i], &___vek_mouse_release_pending[i]);
    for (int i = 0; i < JOY_BUTTON_COUNT; i++)
        age_state(&___vek_joystates[i], &___vek_joy_release_pending[i]);
    for (int i = 0; i < VEK_FINGER_MAX; i++)
        age_state(&___vek_fingerstates[i], &___vek_finger_release_pending[i]);
}

void input_reset(void) {
    memset(___vek_keystates, 0, sizeof ___vek_keystates);
    memset(___vek_mousestates, 0, sizeof ___vek_mousestates);
    memset(___vek_joystates, 0, sizeof ___vek_joystates);
    memset(___vek_fingerstates, 0, sizeof ___vek_fingerstates);
    memset(___vek_key_release_pending, 0, sizeof ___vek_key_release_pending);
    memset(___vek_mouse_release_pending, 0, sizeof ___vek_mouse_release_pending);
    memset(___vek_joy_release_pending, 0, sizeof ___vek_joy_release_pending);
    memset(___vek_finger_release_pending, 0, sizeof ___vek_finger_release_pending);
    memset(___vek_fingers, 0, sizeof ___vek_fingers);
}

void get_axis(SDL_GameController *gc, float *out, SDL_GameControllerAxis axis) {
    Sint16 v = SDL_GameControllerGetAxis(gc, axis);
    // Half of each direction's travel is dead zone, so a worn stick at rest reads 0.
    if (v >= -16383 && v <= 16383)
        *out = 0.0f;
    else
        *out = static_cast<float>(v) / 32767.0f;
}

// A controller arrived: open it in the first empty slot, or in a new one.
// Reports go out from VEK_PollEvent, the operation the caller sees.
enum Arrival { ARRIVAL_OPENED, ARRIVAL_NO_ROOM, ARRIVAL_OPEN_FAILED };

static Arrival open_controller(int device_index) {
    size_t slot = ___vek_joysticks_size;
    for (size_t i = 0; i < ___vek_joysticks_size; i++) {
        if (___vek_joysticks[i].ptr == nullptr) {
            slot = i;
            break;
        }
    }
    if (slot == ___vek_joysticks_size) {
        void *vec = ___vek_joysticks;
        if (reserve(&vec, ___vek_joysticks_size + 1, &___vek_joysticks_capacity,
                    sizeof(VEK_Joystick)) != 0)
            return ARRIVAL_NO_ROOM;
        ___vek_joysticks = static_cast<VEK_Joystick *>(vec);
        ___vek_joysticks[slot].ptr = nullptr; // _realloc leaves the new part as it was
        ___vek_joysticks_size += 1;
    }
    SDL_GameController *gc = SDL_GameControllerOpen(device_index);
    if (gc == nullptr) return ARRIVAL_OPEN_FAILED;
    ___vek_joysticks[slot] = VEK_Joystick{gc, 0.0f, 0.0f, 0.0f, 0.0f, 0};
    return ARRIVAL_OPENED;
}

// The open slot of the pad with this instance id, or null.
static VEK_Joystick *pad_slot(SDL_JoystickID instance_id) {
    for (size_t i = 0; i < ___vek_joysticks_size; i++) {
        SDL_GameController *gc = ___vek_joysticks[i].ptr;
        if (gc != nullptr &&
            SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(gc)) == instance_id)
            return &___vek_joysticks[i];
    }
    return nullptr;
}

// Whether any open pad holds button k as far as the engine has seen.
static bool any_pad_holds(int k) {
    for (size_t i = 0; i < ___vek_joysticks_size; i++)
        if (___vek_joysticks[i].ptr != nullptr && (___vek_joysticks[i].held >> k & 1u)) return true;
    return false;
}

// A controller left: close the open slot whose joystick has that instance id.
// False when no open slot had it.
static bool close_controller(SDL_JoystickID instance_id) {
    VEK_Joystick *pad = pad_slot(instance_id);
    if (pad == nullptr) return false;
    SDL_GameControllerClose(pad->ptr);
    pad->ptr = nullptr;
    pad->held = 0;
    return true;
}

static void set_key(SDL_Scancode scancode, bool down) {
    // SDL's scancodes are all below 512; a forged event beyond that changes nothing.
    if (scancode < 0 || scancode >= KEY_COUNT) return;
    if (down)
        press_state(&___vek_keystates[scancode], &___vek_key_release_pending[scancode]);
    else
        release_state(&___vek_keystates[scancode], &___vek_key_release_pending[scancode]);
}

static void set_mouse_button(const SDL_MouseButtonEvent &b, bool down) {
    ___vek_mouse_x = b.x;
    ___vek_mouse_y = b.y;
    if (down)
        press_state(&___vek_mousestates[b.button], &___vek_mouse_release_pending[b.button]);
    else
        release_state(&___vek_mousestates[b.button], &___vek_mouse_release_pending[b.button]);
}

// A pad's button event, in the order the pad sent them: the shared state moves
// like a key's whenever the first pad takes the button or the last one lets it
// go, so a release and a new press on one pad within a frame read PRESS, while
// a second pad pressing a button the first still holds changes nothing.
static void on_pad_button(const SDL_ControllerButtonEvent &b, bool down) {
    VEK_Joystick *pad = pad_slot(b.which);
    if (pad == nullptr || b.button >= JOY_BUTTON_COUNT) return;
    uint32_t bit = 1u << b.button;
    if (down == ((pad->held & bit) != 0)) return; // nothing new for this pad
    if (down) {
        if (!any_pad_holds(b.button))
            press_state(&___vek_joystates[b.button], &___vek_joy_release_pending[b.button]);
        pad->held |= bit;
    } else {
        pad->held &= ~bit;
        if (!any_pad_holds(b.button))
            release_state(&___vek_joystates[b.button], &___vek_joy_release_pending[b.button]);
    }
}

// The slot following this finger while it touches, or -1.
static int finger_slot(SDL_TouchID touch, SDL_FingerID id) {
    for (int i = 0; i < VEK_FINGER_MAX; i++)
        if (___vek_fingers[i].touching && ___vek_fingers[i].touch == touch &&
            ___vek_fingers[i].id == id)
            return i;
    return -1;
}

// Fingers come and go as pads do: a new finger takes the first free slot, and a
// slot is free again once its release has been seen (its state aged back to UP).
// A finger beyond the last slot is not followed.
static void on_finger(const SDL_TouchFingerEvent &f, Uint32 type) {
    // Touches SDL makes up from the mouse (SDL_HINT_MOUSE_TOUCH_EVENTS) are the
    // mouse's: a click must not read as a finger.
    if (f.touchId == SDL_MOUSE_TOUCHID) return;
    // A trackpad that reports its contacts as fingers gives positions on the pad,
    // not on the screen: read as fingers they would touch whatever is drawn at
    // that fraction of the window. Its clicks and pointer come as the mouse's.
    // A device SDL does not know (an event someone pushed) is taken as a screen.
    SDL_TouchDeviceType device = SDL_GetTouchDeviceType(f.touchId);
    if (device == SDL_TOUCH_DEVICE_INDIRECT_ABSOLUTE ||
        device == SDL_TOUCH_DEVICE_INDIRECT_RELATIVE)
        return;
    int slot = finger_slot(f.touchId, f.fingerId);
    if (type == SDL_FINGERDOWN && slot < 0) {
        for (int i = 0; i < VEK_FINGER_MAX && slot < 0; i++)
            if (!___vek_fingers[i].touching && ___vek_fingerstates[i] == VEK_KEYSTATE_UP &&
                !___vek_finger_release_pending[i])
                slot = i;
        if (slot < 0) return;
        ___vek_fingers[slot].touch = f.touchId;
        ___vek_fingers[slot].id = f.fingerId;
        ___vek_fingers[slot].touching = true;
    }
    if (slot < 0) return; // moved or lifted, but never followed
    ___vek_fingers[slot].x = f.x;
    ___vek_fingers[slot].y = f.y;
    if (type == SDL_FINGERDOWN)
        press_state(&___vek_fingerstates[slot], &___vek_finger_release_pending[slot]);
    else if (type == SDL_FINGERUP) {
        ___vek_fingers[slot].touching = false;
        release_state(&___vek_fingerstates[slot], &___vek_finger_release_pending[slot]);
    }
}

int VEK_PollEvent(VEK_Event *e) {
    VEK_Event local;
    if (e == nullptr) e = &local;
    SDL_Event ev;
    while (SDL_PollEvent(&ev)) {
        switch (ev.type) {
        case SDL_QUIT:
            e->type = VEK_EV_QUIT;
            ___vek_should_quit = 1;
            return 1;
        case SDL_KEYDOWN:
            if (ev.key.repeat) break;
            e->type = VEK_EV_KEYDOWN;
            e->button = ev.key.keysym.scancode;
            set_key(ev.key.keysym.scancode, true);
            return 1;
        case SDL_KEYUP:
            e->type = VEK_EV_KEYUP;
            e->button = ev.key.keysym.scancode;
            set_key(ev.key.keysym.scancode, false);
            return 1;
        case SDL_MOUSEMOTION:
            ___vek_mouse_x = ev.motion.x;
            ___vek_mouse_y = ev.motion.y;
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            // Touches turned into the mouse by SDL count as clicks too: the game's
            // other challenges are played that way on a touch screen.
            set_mouse_button(ev.button, ev.type == SDL_MOUSEBUTTONDOWN);
            break;
        case SDL_FINGERDOWN:
        case SDL_FINGERMOTION:
        case SDL_FINGERUP:
            on_finger(ev.tfinger, ev.type);
            break;
        case SDL_CONTROLLERBUTTONDOWN:
        case SDL_CONTROLLERBUTTONUP:
            on_pad_button(ev.cbutton, ev.type == SDL_CONTROLLERBUTTONDOWN);
            break;
        case SDL_CONTROLLERDEVICEADDED:
            switch (open_controller(ev.cdevice.which)) {
            case ARRIVAL_OPENED:
                LOG("opened joystick");
                break;
            case ARRIVAL_NO_ROOM:
                LOG("failed to reserve for new joystick");
                break;
            case ARRIVAL_OPEN_FAILED:
                sdl_error(0);
                break;
            }
            break;
        case SDL_CONTROLLERDEVICEREMOVED:
            if (!close_controller(ev.cdevice.which)) LOG("didn't remove no joystick");
            break;
        default:
            break;
        }
    }
    return 0;
}

// Controller buttons: one shared state per button. A button counts as held when
// any open controller holds it, so two pads never fight over the same entry. The
// pads' button events (on_pad_button) move the state as keys move theirs, which
// keeps a tap or a re-press that happens between two polls; the poll then
// settles it with what the pads hold now, for events SDL did not deliver. With no
// pad left open every button reads as not held, which releases a button whose
// pad was unplugged mid-press.
static void poll_controllers(void) {
    bool held[JOY_BUTTON_COUNT] = {};
    for (size_t i = 0; i < ___vek_joysticks_size; i++) {
        VEK_Joystick *j = &___vek_joysticks[i];
        if (j->ptr == nullptr) continue;
        j->held = 0;
        for (int k = 0; k < JOY_BUTTON_COUNT; k++)
            if (SDL_GameControllerGetButton(j->ptr, static_cast<SDL_GameControllerButton>(k))) {
                held[k] = true;
                j->held |= 1u << k;
            }
        get_axis(j->ptr, &j->leftx, SDL_CONTROLLER_AXIS_LEFTX);
        get_axis(j->ptr, &j->lefty, SDL_CONTROLLER_AXIS_LEFTY);
        get_axis(j->ptr, &j->rightx, SDL_CONTROLLER_AXIS_RIGHTX);
        get_axis(j->ptr, &j->righty, SDL_CONTROLLER_AXIS_RIGHTY);
    }
    for (int k = 0; k < JOY_BUTTON_COUNT; k++) {
        VEK_KeyState *s = &___vek_joystates[k];
        bool *pending = &___vek_joy_release_pending[k];
        if (held[k]) {
            if (*s != VEK_KEYSTATE_DOWN) press_state(s, pending);
        } else if (*s != VEK_KEYSTATE_UP) {
            release_state(s, pending);
        }
    }
}

void VEK_CycleEvents(void) {
    VEK_ResourcesWatch();
    age_states();
    VEK_Event e;
    while (VEK_PollEvent(&e)) {
    }
    poll_controllers();
}

// ---------------------------------------------------------------------------
// Queries
// ---------------------------------------------------------------------------
static bool is_down(VEK_KeyState s) {
    return s == VEK_KEYSTATE_DOWN || s == VEK_KEYSTATE_PRESS;
}
static bool is_up(VEK_KeyState s) {
    return s == VEK_KEYSTATE_UP || s == VEK_KEYSTATE_RELEASE;
}

VEK_KeyState VEK_GetKeyState(int scancode) {
    if (scancode < 0 || scancode >= KEY_COUNT) return VEK_KEYSTATE_UP;
    return ___vek_keystates[scancode];
}
bool VEK_IsKeyDown(int scancode) {
    return is_down(VEK_GetKeyState(scancode));
}
bool VEK_IsKeyPressed(int scancode) {
    return VEK_GetKeyState(scancode) == VEK_KEYSTATE_PRESS;
}
bool VEK_IsKeyReleased(int scancode) {
    return VEK_GetKeyState(scancode) == VEK_KEYSTATE_RELEASE;
}
bool VEK_IsKeyUp(int scancode) {
    return is_up(VEK_GetKeyState(scancode));
}

VEK_KeyState VEK_MouseGetState(uint8_t button) {
    return ___vek_mousestates[button];
}
bool VEK_MouseDown(uint8_t button) {
    return is_down(VEK_MouseGetState(button));
}
bool VEK_MousePressed(uint8_t button) {
    return VEK_MouseGetState(button) == VEK_KEYSTATE_PRESS;
}
bool VEK_MouseReleased(uint8_t button) {
    return VEK_MouseGetState(button) == VEK_KEYSTATE_RELEASE;
}
bool VEK_MouseUp(uint8_t button) {
    return is_up(VEK_MouseGetState(button));
}

void VEK_MouseGetPosition(int *x, int *y) {
    if (x != nullptr) *x = ___vek_mouse_x;
    if (y != nullptr) *y = ___vek_mouse_y;
    VEK_ScreenTransform(x, y);
}

VEK_KeyState VEK_JoystickGetState(uint8_t button) {
    if (button >= JOY_BUTTON_COUNT) return VEK_KEYSTATE_UP;
    return ___vek_joystates[button];
}
bool VEK_JoystickDown(uint8_t button) {
    return is_down(VEK_JoystickGetState(button));
}
bool VEK_JoystickPressed(uint8_t button) {
    return VEK_JoystickGetState(button) == VEK_KEYSTATE_PRESS;
}
bool VEK_JoystickReleased(uint8_t button) {
    return VEK_JoystickGetState(button) == VEK_KEYSTATE_RELEASE;
}
bool VEK_JoystickUp(uint8_t button) {
    return is_up(VEK_JoystickGetState(button));
}

// The first open controller whose stick is off-centre answers.
static float first_stick(float VEK_Joystick::*field) {
    for (size_t i = 0; i < ___vek_joysticks_size; i++) {
        const VEK_Joystick &j = ___vek_joysticks[i];
        if (j.ptr != nullptr && j.*field != 0.0f) return j.*field;
    }
    return 0.0f;
}
float VEK_JoystickLeftX(void) {
    return first_stick(&VEK_Joystick::leftx);
}
float VEK_JoystickLeftY(void) {
    return first_stick(&VEK_Joystick::lefty);
}
float VEK_JoystickRightX(void) {
    return first_stick(&VEK_Joystick::rightx);
}
float VEK_JoystickRightY(void) {
    return first_stick(&VEK_Joystick::righty);
}

VEK_KeyState VEK_FingerGetState(int finger) {
    if (finger < 0 || finger >= VEK_FINGER_MAX) return VEK_KEYSTATE_UP;
    return ___vek_fingerstates[finger];
}
bool VEK_FingerDown(int finger) {
    return is_down(VEK_FingerGetState(finger));
}
bool VEK_FingerPressed(int finger) {
    return VEK_FingerGetState(finger) == VEK_KEYSTATE_PRESS;
}
bool VEK_FingerReleased(int finger) {
    return VEK_FingerGetState(finger) == VEK_KEYSTATE_RELEASE;
}
bool VEK_FingerUp(int finger) {
    return is_up(VEK_FingerGetState(finger));
}

// SDL gives finger positions as fractions of the window. Scaled by the window's
// size (not the drawable's, which is larger at pixel ratios above 1) they land
// in the units of mouse positions and of the letterbox, so the mouse's transform
// applies. Rounded to the nearest pixel: a position made as pixel / size comes
// back as that pixel despite the float's error.
static int window_pixel(float fraction, int size) {
    return to_int(std::floor(static_cast<double>(fraction) * size + 0.5));
}

void VEK_FingerGetPosition(int finger, int *x, int *y) {
    if (finger < 0 || finger >= VEK_FINGER_MAX) return;
    int w = 0, h = 0;
    if (___vek_window != nullptr) SDL_GetWindowSize(___vek_window, &w, &h);
    int wx = window_pixel(___vek_fingers[finger].x, w);
    int wy = window_pixel(___vek_fingers[finger].y, h);
    VEK_ScreenTransform(&wx, &wy);
    if (x != nullptr) *x = wx;
    if (y != nullptr) *y = wy;
}
