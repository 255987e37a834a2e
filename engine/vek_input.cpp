// SPDX-License-Identifier: Zlib
// Input: per-frame states of keys, mouse buttons and controller buttons, the
// mouse position, and the controller table with its stick values.
#include "vek_internal.h"

#include <cstring>

// Every key, mouse button and controller button has one state. Events (keys,
// mouse) or polling (controllers) set PRESS / RELEASE; the start of the next
// frame ages them to DOWN / UP.
VEK_KeyState ___vek_keystates[512];
VEK_KeyState ___vek_mousestates[256];
VEK_KeyState ___vek_joystates[21];

// Controller slots; a null `ptr` is an empty slot that the next arrival reuses.
VEK_Joystick *___vek_joysticks = nullptr;
size_t ___vek_joysticks_size = 0;
size_t ___vek_joysticks_capacity = 0;

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
    ___vek_joysticks[slot] = VEK_Joystick{gc, 0.0f, 0.0f, 0.0f, 0.0f};
    return ARRIVAL_OPENED;
}

// A controller left: close the open slot whose joystick has that instance id.
// False when no open slot had it.
static bool close_controller(SDL_JoystickID instance_id) {
    for (size_t i = 0; i < ___vek_joysticks_size; i++) {
        SDL_GameController *gc = ___vek_joysticks[i].ptr;
        if (gc == nullptr) continue;
        if (SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(gc)) == instance_id) {
            SDL_GameControllerClose(gc);
            ___vek_joysticks[i].ptr = nullptr;
            return true;
        }
    }
    return false;
}

static void set_key(SDL_Scancode scancode, VEK_KeyState state) {
    // SDL's scancodes are all below 512; a forged event beyond that changes nothing.
    if (scancode >= 0 && scancode < KEY_COUNT) ___vek_keystates[scancode] = state;
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
            set_key(ev.key.keysym.scancode, VEK_KEYSTATE_PRESS);
            return 1;
        case SDL_KEYUP:
            e->type = VEK_EV_KEYUP;
            e->button = ev.key.keysym.scancode;
            set_key(ev.key.keysym.scancode, VEK_KEYSTATE_RELEASE);
            return 1;
        case SDL_MOUSEMOTION:
            ___vek_mouse_x = ev.motion.x;
            ___vek_mouse_y = ev.motion.y;
            break;
        case SDL_MOUSEBUTTONDOWN:
            ___vek_mouse_x = ev.button.x;
            ___vek_mouse_y = ev.button.y;
            ___vek_mousestates[ev.button.button] = VEK_KEYSTATE_PRESS;
            break;
        case SDL_MOUSEBUTTONUP:
            ___vek_mouse_x = ev.button.x;
            ___vek_mouse_y = ev.button.y;
            ___vek_mousestates[ev.button.button] = VEK_KEYSTATE_RELEASE;
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
// any open controller holds it, so two pads never fight over the same entry and
// the state moves exactly once per frame. With no pad left open every button
// reads as not held, which releases a button whose pad was unplugged mid-press.
static void poll_controllers(void) {
    bool held[JOY_BUTTON_COUNT] = {};
    for (size_t i = 0; i < ___vek_joysticks_size; i++) {
        VEK_Joystick *j = &___vek_joysticks[i];
        if (j->ptr == nullptr) continue;
        for (int k = 0; k < JOY_BUTTON_COUNT; k++)
            if (SDL_GameControllerGetButton(j->ptr, static_cast<SDL_GameControllerButton>(k)))
                held[k] = true;
        get_axis(j->ptr, &j->leftx, SDL_CONTROLLER_AXIS_LEFTX);
        get_axis(j->ptr, &j->lefty, SDL_CONTROLLER_AXIS_LEFTY);
        get_axis(j->ptr, &j->rightx, SDL_CONTROLLER_AXIS_RIGHTX);
        get_axis(j->ptr, &j->righty, SDL_CONTROLLER_AXIS_RIGHTY);
    }
    for (int k = 0; k < JOY_BUTTON_COUNT; k++) {
        if (held[k]) {
            if (___vek_joystates[k] != VEK_KEYSTATE_DOWN) ___vek_joystates[k] = VEK_KEYSTATE_PRESS;
        } else {
            if (___vek_joystates[k] != VEK_KEYSTATE_UP) ___vek_joystates[k] = VEK_KEYSTATE_RELEASE;
        }
    }
}

void VEK_CycleEvents(void) {
    VEK_ResourcesWatch();
    for (VEK_KeyState &s : ___vek_keystates) next_state(&s);
    for (VEK_KeyState &s : ___vek_mousestates) next_state(&s);
    for (VEK_KeyState &s : ___vek_joystates) next_state(&s);
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
