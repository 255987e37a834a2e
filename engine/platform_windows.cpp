// SPDX-License-Identifier: Zlib
// Platform points of the Windows build (mingw-w64). Paths arrive as UTF-8 (SDL's
// base path, the game's own names) and go to Windows through its wide-character
// calls: the C library's narrow ones read them in the ANSI code page, which
// cannot name a folder such as C:\Users\Zoé\Downloads.
#include "platform.h"

#include <SDL.h>

#include <cerrno>
#include <cwchar>
#include <direct.h>
#include <io.h>
#include <string>
#include <sys/stat.h>
#include <windows.h>

// What widen does with bytes that are not UTF-8: a path must name exactly the
// file meant, so it is refused; words for a person keep the rest of their text,
// each bad byte shown as U+FFFD.
enum class Invalid { REFUSE, REPLACE };

// UTF-8 to UTF-16; false (errno EINVAL) when the bytes are not UTF-8 and refused.
static bool widen(const char *utf8, std::wstring &out, Invalid invalid = Invalid::REFUSE) {
    DWORD flags = invalid == Invalid::REFUSE ? MB_ERR_INVALID_CHARS : 0;
    int n = MultiByteToWideChar(CP_UTF8, flags, utf8, -1, nullptr, 0);
    if (n <= 0) {
        errno = EINVAL;
        return false;
    }
    out.assign(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, flags, utf8, -1, out.data(), n);
    out.resize(static_cast<size_t>(n - 1));
    return true;
}

void platform_init(void) {
    // Sharp on scaled screens: the window is sized in points and drawn in the
    // monitor's own pixels (the engine's letterbox follows the drawable size),
    // instead of Windows stretching a 100 % bitmap.
    SDL_SetHint(SDL_HINT_WINDOWS_DPI_AWARENESS, "permonitorv2");
    SDL_SetHint(SDL_HINT_WINDOWS_DPI_SCALING, "1");
}

void frame_wait(uint32_t ms) {
    if (ms > 0) SDL_Delay(ms);
}

int platform_chdir(const char *path) {
    std::wstring w;
    if (!widen(path, w)) return -1;
    return _wchdir(w.c_str());
}

FILE *platform_fopen(const char *path, const char *mode) {
    std::wstring w, m;
    if (!widen(path, w) || !widen(mode, m)) return nullptr;
    return _wfopen(w.c_str(), m.c_str());
}

int64_t platform_mtime(const char *path) {
    std::wstring w;
    struct _stat64 st;
    if (!widen(path, w) || _wstat64(w.c_str(), &st) != 0) return 0;
    return static_cast<int64_t>(st.st_mtime);
}

bool platform_stderr_colours(void) {
    // A console shows the codes once asked to (Windows 10 and later); a file, a
    // pipe, or an older console does not, and gets the bare lines.
    HANDLE h = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (h == INVALID_HANDLE_VALUE || h == nullptr || !GetConsoleMode(h, &mode)) return false;
    if (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) return true;
    return SetConsoleMode(h, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

void platform_fatal_notice(const char *text) {
    // The game is a GUI program: started from Explorer, its standard error goes
    // nowhere anyone sees. The system's own message box works whether or not SDL
    // is running, and its text can be copied with Ctrl+C. Its title is the
    // program's name.
    wchar_t exe[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring title = n > 0 && n < MAX_PATH ? exe : L"program";
    size_t slash = title.find_last_of(L"\\/");
    if (slash != std::wstring::npos) title.erase(0, slash + 1);
    size_t dot = title.rfind(L'.');
    if (dot != std::wstring::npos && dot > 0) title.erase(dot);
    title += L" stopped";
    // A byte that is not UTF-8 (a message of the C library in the ANSI code page,
    // say) costs that character only, never the advice after it.
    std::wstring words;
    if (!widen(text, words, Invalid::REPLACE)) words = L"(see standard error for the reason)";
    MessageBoxW(nullptr, words.c_str(), title.c_str(),
                MB_OK | MB_ICONERROR | MB_SETFOREGROUND | MB_TASKMODAL);
}

bool platform_library_loads(const char *name) {
    HMODULE module = LoadLibraryA(name);
    if (module != nullptr) FreeLibrary(module);
    return module != nullptr;
}

// Accelerated only: without one the start fails and says SDL's reason.
SDL_Renderer *platform_create_renderer(SDL_Window *window) {
    return SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED);
}
