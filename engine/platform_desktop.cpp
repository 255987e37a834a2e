// SPDX-License-Identifier: Zlib
// Platform points of the desktop build (Linux and other POSIX systems).
#include "platform.h"

#include "_.h"

#include <SDL.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <unistd.h>

void platform_init(void) {}

void frame_wait(uint32_t ms) {
    if (ms > 0) SDL_Delay(ms);
}

bool platform_stderr_colours(void) {
    // A terminal, unless it says it shows no colours.
    const char *term = getenv("TERM");
    return isatty(STDERR_FILENO) == 1 && (term == nullptr || strcmp(term, "dumb") != 0);
}

// Whether a fatal stop's words go in a message box as well as to standard error.
// VEK_FATAL_NOTICE=box or =stderr decides (tests, scripts). Otherwise a box when
// the program was not started from a terminal, whose player reads standard
// error there: neither standard input nor standard error is one, as for a
// desktop entry or a file manager's double-click (`game 2>log` from a terminal
// keeps its terminal input and gets no box). A box needs a display.
static bool notice_in_box(void) {
    const char *how = getenv("VEK_FATAL_NOTICE");
    if (env_value_set(how) && strcmp(how, "box") == 0) return true;
    if (env_value_set(how) && strcmp(how, "stderr") == 0) return false;
    if (isatty(STDIN_FILENO) == 1 || isatty(STDERR_FILENO) == 1) return false;
    return env_value_set(getenv("DISPLAY")) || env_value_set(getenv("WAYLAND_DISPLAY"));
}

std::string notice_fill(const char *text, size_t width) {
    std::string out;
    size_t line_start = 0, chars = 0, last_space = std::string::npos;
    for (const char *p = text; *p != '\0'; p++) {
        char c = *p == '\t' ? ' ' : *p;
        if (c == '\n') {
            out += c;
            line_start = out.size(), chars = 0, last_space = std::string::npos;
            continue;
        }
        bool starts_char = (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        if (starts_char && chars == width) {
            // Full: break here at a space, else at the line's last space, else cut
            // the word here.
            if (c == ' ') {
                out += '\n';
                line_start = out.size(), chars = 0, last_space = std::string::npos;
                continue;
            }
            if (last_space != std::string::npos) {
                out[last_space] = '\n';
                line_start = last_space + 1;
            } else {
                out += '\n';
                line_start = out.size();
            }
            chars = 0;
            for (size_t i = line_start; i < out.size(); i++)
                chars += (static_cast<unsigned char>(out[i]) & 0xC0) != 0x80;
            last_space = std::string::npos;
        }
        if (c == ' ') last_space = out.size();
        out += c;
        chars += starts_char;
    }
    return out;
}

// Started from a terminal, the lines on standard error are the notice. Started
// from the desktop, standard error goes to a log nobody reads, and the game
// would just close: SDL's message box shows the words (through the X server,
// which must have its core fonts, or through zenity), and where it cannot, the
// lines on standard error are all there is.
void platform_fatal_notice(const char *text) {
    if (!notice_in_box()) return;
    std::string title = std::string(program_invocation_short_name) + " stopped";
    std::string words = notice_fill(text, 76);
    if (SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title.c_str(), words.c_str(), nullptr) != 0)
        LOG("no message box for this notice: %s", SDL_GetError());
}

bool platform_library_loads(const char *name) {
    void *handle = dlopen(name, RTLD_LAZY | RTLD_LOCAL);
    if (handle != nullptr) dlclose(handle);
    return handle != nullptr;
}

// Accelerated only. SDL's accelerated renderers draw through OpenGL (or its ES
// form), which a system without Mesa's library lacks; SDL then says only that
// no render driver matched.
SDL_Renderer *platform_create_renderer(SDL_Window *window) {
    SDL_Renderer *renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED);
    if (renderer == nullptr)
        LOG("no accelerated renderer (%s): install OpenGL (Mesa: libgl1 on Debian and Ubuntu, "
            "mesa-libGL on Fedora), or start the game with SDL_RENDER_DRIVER=software to draw "
            "without it",
            SDL_GetError());
    return renderer;
}
