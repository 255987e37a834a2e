// SPDX-License-Identifier: Zlib
// A fatal stop whose kept diagnostic lines are hard to show, for the Windows tests
// under Wine (test_windows.cpp): three lines longer than a kept line holds, made of
// characters of two and three bytes, so that their cuts fall inside characters; a
// line with a byte that is not UTF-8 (an é in the ANSI code page, as the C
// library's messages come); then a failed check with advice. A thread reads the
// words of the box the stop shows, as the player sees them, and writes them to
// standard output in UTF-8 between two marker lines; closing the box is the test's.
#include "_.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <thread>

namespace {

// Appends the text of each static control of the box (the icon's is empty).
BOOL CALLBACK collect(HWND child, LPARAM out) {
    wchar_t cls[16];
    if (GetClassNameW(child, cls, 16) > 0 && lstrcmpiW(cls, L"Static") == 0) {
        int n = GetWindowTextLengthW(child);
        std::wstring text(static_cast<size_t>(n) + 1, L'\0');
        n = GetWindowTextW(child, text.data(), n + 1);
        reinterpret_cast<std::wstring *>(out)->append(text.data(), static_cast<size_t>(n));
    }
    return TRUE;
}

void report_box() {
    HWND box = nullptr;
    // Shown once its dialog has set its words.
    while ((box = FindWindowW(nullptr, L"fatal_notice stopped")) == nullptr ||
           !IsWindowVisible(box))
        Sleep(20);
    std::wstring words;
    EnumChildWindows(box, collect, reinterpret_cast<LPARAM>(&words));
    int n = WideCharToMultiByte(CP_UTF8, 0, words.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(n > 0 ? n : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, words.c_str(), -1, utf8.data(), n, nullptr, nullptr);
    printf("--- box ---\n%s\n--- end ---\n", utf8.c_str());
    fflush(stdout);
}

} // namespace

int main() {
    std::thread(report_box).detach();
    std::string body = "C:\\Users\\Zo\u00e9\\";
    while (body.size() < 400) body += "\u00e9\u65e5\u672c"; // é日本: 2, 3 and 3 bytes
    for (int shift = 0; shift < 3; shift++) LOG("%.*s%s", shift, "~~", body.c_str());
    LOG("C:\\Users\\Zo\xe9"
        "\\bramble: not found");
    ASSERT_ADVISE(body.empty(), "Advice: the last words of the notice.");
    return 0;
}
