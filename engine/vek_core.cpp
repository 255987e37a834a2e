// SPDX-License-Identifier: Zlib
// Engine lifecycle: configuration, start-up, main loop, shutdown.
#include "vek_internal.h"

#include <SDL_mixer.h>
#include <cerrno>
#include <cstring>

VEK_Config ___vek_config = {._ = 0,
                            .width = 0,
                            .height = 0,
                            .scale = 0,
                            .target_fps = 0,
                            .ratio = 0,
                            .pixel_perfect = false,
                            .interlace = false,
                            .hd_render = false,
                            .scale_linear = false,
                            .show_cursor = false,
                            .mixer = VEK_MIXER_OFF,
                            .basepath = nullptr,
                            .title = nullptr};
SDL_Window *___vek_window = nullptr;
SDL_Renderer *___vek_renderer = nullptr;
uint32_t ___vek_tick = 0;
uint32_t ___vek_min_dt = 0;
uint32_t ___vek_next_time = 0;
int ___vek_should_quit = 0;
int ___vek_mouse_x = 0, ___vek_mouse_y = 0;

int sdl_error(int rv) {
    SDL_Log("%s\n", SDL_GetError());
    return rv;
}

int _sdl_error(void) {
    sdl_error(-1);
    VEK_Quit();
    return -1;
}

// SDL chose a driver that draws nowhere (nothing else started) although no
// driver was asked for by name, through the environment or a hint.
static bool no_display_reached(void) {
    const char *driver = SDL_GetCurrentVideoDriver();
    if (driver == nullptr) return false;
    bool headless = strcmp(driver, "offscreen") == 0 || strcmp(driver, "dummy") == 0;
    const char *asked = SDL_GetHint("SDL_VIDEODRIVER"); // the hint, else the variable
    return headless && (asked == nullptr || asked[0] == '\0');
}

std::vector<std::string> display_unreached(const char *display, const char *wayland_display,
                                           bool x11_libraries, bool wayland_libraries) {
    std::vector<std::string> why;
    // The portable build's SDL loads the client libraries when it starts: a
    // system without them has the variable set by its session and still no
    // display, and the way out is a package, not the variable.
    if (env_value_set(display))
        why.push_back(x11_libraries
                          ? "no X server answered at DISPLAY=" + std::string(display)
                          : "DISPLAY is set, but the X11 client libraries libX11.so.6 and "
                            "libXext.so.6 are missing: install libx11-6 and libxext6 (Debian, "
                            "Ubuntu; Fedora: libX11, libXext)");
    if (env_value_set(wayland_display))
        why.push_back(wayland_libraries
                          ? "no Wayland compositor answered at WAYLAND_DISPLAY=" +
                                std::string(wayland_display)
                          : "WAYLAND_DISPLAY is set, but the Wayland client libraries are "
                            "missing: install libwayland-client0, libwayland-cursor0, "
                            "libwayland-egl1 and libxkbcommon0 (Debian, Ubuntu; Fedora: "
                            "libwayland-client, -cursor, -egl, libxkbcommon)");
    return why;
}

// Whether every library of the list loads (SDL's X11 and Wayland drivers need
// all of theirs); asked only for a display variable that is set.
static bool all_load(std::initializer_list<const char *> names) {
    for (const char *name : names)
        if (!platform_library_loads(name)) return false;
    return true;
}

int _VEK_Init(const VEK_Config *config) {
    ___vek_config = *config;
    const VEK_Config &c = ___vek_config;
    platform_init();

    // The game-controller subsystem is started with the joystick one: SDL only
    // reports controller arrival (and so lets the engine open pads) while it runs.
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER) < 0)
        return _sdl_error();

    // With no display at all SDL falls back to a window-less driver, and a
    // desktop program would run unseen. Headless runs name their driver.
    if (no_display_reached()) {
        const char *display = getenv("DISPLAY"), *wayland = getenv("WAYLAND_DISPLAY");
        std::vector<std::string> why = display_unreached(
            display, wayland, env_value_set(display) && all_load({"libX11.so.6", "libXext.so.6"}),
            env_value_set(wayland) && all_load({"libwayland-client.so.0", "libwayland-cursor.so.0",
                                                "libwayland-egl.so.1", "libxkbcommon.so.0"}));
        if (why.empty())
            LOG("no display: set DISPLAY or WAYLAND_DISPLAY, or SDL_VIDEODRIVER for a headless "
                "run");
        for (const std::string &line : why) LOG("no display: %s", line.c_str());
        VEK_Quit();
        return -1;
    }

    if (c.mixer == VEK_MIXER_FLAC && Mix_Init(MIX_INIT_FLAC) != MIX_INIT_FLAC) {
        LOG("%s", SDL_GetError());
        ___vek_config.mixer = VEK_MIXER_OFF;
    }

    if (c.basepath != nullptr) {
        if (platform_chdir(c.basepath) < 0) {
            LOG("%s", strerror(errno));
            VEK_Quit();
            return -1;
        }
    } else {
        char *base = SDL_GetBasePath();
        if (base == nullptr) return _sdl_error();
        int rv = platform_chdir(base);
        int err = errno;
        SDL_free(base);
        if (rv < 0) {
            LOG("%s", strerror(err));
            VEK_Quit();
            return -1;
        }
    }

    int w = to_int(c.scale * (static_cast<float>(c.width) * c.ratio));
    int h = to_int(c.scale * static_cast<float>(c.height));
    ___vek_window = SDL_CreateWindow(c.title, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, w,
                                     h, SDL_WINDOW_RESIZABLE);
    if (___vek_window == nullptr) return _sdl_error();

    // No vsync: pacing is the engine's alone.
    ___vek_renderer = platform_create_renderer(___vek_window);
    if (___vek_renderer == nullptr) return _sdl_error();

    if (VEK_SetViewportSize(c.width, c.height) != 0) {
        VEK_Quit();
        return -1;
    }

    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, c.scale_linear ? "1" : "0");

    ___vek_tick = 0;
    if (c.target_fps > 0) {
        ___vek_min_dt = static_cast<uint32_t>(1000 / c.target_fps);
        ___vek_next_time = static_cast<uint32_t>(SDL_GetTicks64());
    }

    if (!c.show_cursor) SDL_ShowCursor(SDL_DISABLE);

    ___vek_mouse_x = c.width / 2;
    ___vek_mouse_y = c.height / 2;

    if (c.mixer != VEK_MIXER_OFF && Mix_OpenAudio(48000, AUDIO_S16LSB, 8, 1024) < 0) {
        sdl_error(0);
        Mix_Quit();
        ___vek_config.mixer = VEK_MIXER_OFF;
    }
    return 0;
}

int VEK_MainLoop(int (*main_loop)(void *), void *udata) {
    for (;;) {
        if (VEK_ShouldQuit()) return 0;
        VEK_CycleEvents();
        if (main_loop(udata) != 0) return 1;
    }
}

int VEK_ShouldQuit(void) {
    return ___vek_should_quit;
}

uint32_t VEK_GetTick(void) {
    return ___vek_tick;
}

void VEK_Quit(void) {
    for (size_t i = 0; i < ___vek_resources_size; i++) VEK_DestroyResource(&___vek_resources[i], 1);
    if (___vek_resources != nullptr) _free(___vek_resources);
    ___vek_resources = nullptr;
    ___vek_resources_size = ___vek_resources_capacity = 0;

    for (size_t i = 0; i < ___vek_joysticks_size; i++)
        if (___vek_joysticks[i].ptr != nullptr) SDL_GameControllerClose(___vek_joysticks[i].ptr);
    if (___vek_joysticks != nullptr) _free(___vek_joysticks);
    ___vek_joysticks = nullptr;
    ___vek_joysticks_size = ___vek_joysticks_capacity = 0;
    // Held keys and touching fingers of this session will send no release to the next.
    input_reset();

    if (___vek_target_pre != nullptr) SDL_DestroyTexture(___vek_target_pre);
    ___vek_target_pre = nullptr;
    if (___vek_target != nullptr) SDL_DestroyTexture(___vek_target);
    ___vek_target = nullptr;
    if (___vek_renderer != nullptr) SDL_DestroyRenderer(___vek_renderer);
    ___vek_renderer = nullptr;
    if (___vek_window != nullptr) SDL_DestroyWindow(___vek_window);
    ___vek_window = nullptr;

    if (___vek_config.mixer != VEK_MIXER_OFF) {
        VEK_StopMusic(); // the music's decoder and file go with it, before the mixer
        Mix_CloseAudio();
        Mix_Quit();
    }
    SDL_Quit();
}
