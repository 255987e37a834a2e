// SPDX-License-Identifier: Zlib
// The unpacked Windows game under Wine, on private X servers with the disk audio
// driver and a microphone file named the Windows way: the start screen is the
// Linux build's picture, a click on the grown word starts the run and closing
// the window then ends the game with status 0; it starts from a folder whose name
// the ANSI code page cannot spell; without a microphone it says why and what to do
// in a message box, and ends with status 1 once the box is closed; the box keeps
// its advice whatever the lines before it hold. The installer installs it for the
// user over the version before, refuses a folder of someone else's files, the
// installed game starts, and its uninstaller leaves nothing.
#include "harness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <regex>
#include <sys/wait.h>

using namespace e2e;
namespace fs = std::filesystem;

namespace {

// Wine sees this machine's files under Z:, with backslashes.
std::string windows_path(const std::string &path) {
    std::string p = "Z:" + path;
    for (char &c : p)
        if (c == '/') c = '\\';
    return p;
}

Launch under_wine() {
    Launch how;
    how.runtime_dir = BRAMBLE_WINDOWS_GAME;
    how.exe = "bramble.exe";
    how.runner = {"wine"};
    // No debug channels, and no offer to install .NET or the HTML engine.
    // A UTF-8 locale, as on any desktop: Wine then reads this machine's file names
    // (a folder named Zoé-日本) as UTF-8.
    how.env = {std::string("WINEPREFIX=") + BRAMBLE_WINEPREFIX, "WINEDEBUG=-all",
               "WINEDLLOVERRIDES=mscoree,mshtml=", "LANG=C.UTF-8"};
    how.game_path = windows_path;
    // The prefix's server and its desktop process are tied to this test's X
    // server: stopped with it, so the next test starts afresh.
    how.after = {"wineserver", "-k"};
    return how;
}

TEST(Windows, StartScreenIsTheLinuxBuildsPicture) {
    XServer xw, xl;
    Game win(xw, Mic::SILENT, {}, under_wine());
    Game lin(xl);
    ASSERT_TRUE(win.wait_window(60.0)) << win.stderr_text();
    ASSERT_TRUE(lin.wait_window(60.0)) << lin.stderr_text();

    // Both once the start word has grown, the start screen's still picture: the
    // whole windows, letterbox and all, are compared pixel for pixel.
    FontSheet font(win.dir() + "/asset/atarifont.bmp");
    Picture grown = render(font, START_RED, start_words(10));
    Diff diff;
    ASSERT_TRUE(shows(lin, grown, 60.0, diff)) << "Linux: " << diff.first;
    Shot linux_shot = lin.shot();
    ASSERT_TRUE(shows(win, grown, 60.0, diff)) << "Windows: " << diff.first;
    const Shot &windows_shot = win.shot();
    EXPECT_EQ(windows_shot.w, linux_shot.w);
    EXPECT_EQ(windows_shot.h, linux_shot.h);
    EXPECT_TRUE(windows_shot.px == linux_shot.px);
}

TEST(Windows, ClickOnTheGrownWordStartsTheRunAndClosingTheWindowEndsIt) {
    XServer x;
    Game g(x, Mic::SILENT, {}, under_wine());
    ASSERT_TRUE(g.wait_window(60.0)) << g.stderr_text();
    double delay = 0;
    ASSERT_TRUE(start_run(x, g, delay)) << g.stderr_text();

    ASSERT_TRUE(g.close_window());
    std::optional<int> status = g.wait_exit(30.0);
    ASSERT_TRUE(status.has_value()) << "still running after the window was closed";
    EXPECT_EQ(*status, 0);
    EXPECT_EQ(unclean(g.stderr_text()), "");
}

TEST(Windows, StartsFromAFolderWhoseNameIsNotInTheAnsiCodePage) {
    XServer x;
    Launch how = under_wine();
    how.folder = "Zo\u00e9-\u65e5\u672c"; // Zoé-日本
    Game g(x, Mic::SILENT, {}, how);
    ASSERT_TRUE(g.wait_window(60.0)) << g.stderr_text();
    FontSheet font(g.dir() + "/asset/atarifont.bmp");
    Diff diff;
    EXPECT_TRUE(shows(g, render(font, START_RED, start_words(10)), 60.0, diff))
        << diff.first << "\n"
        << g.stderr_text();
}

TEST(Windows, NoMicrophoneShowsWhyAndWhatToDoInAMessageBoxThenEndsWithStatusOne) {
    XServer x;
    Launch how = under_wine();
    // Wine's trace of the message boxes it opens holds their words as shown.
    for (std::string &e : how.env)
        if (e.rfind("WINEDEBUG=", 0) == 0) e = "WINEDEBUG=-all,trace+msgbox";
    Game g(x, Mic::MISSING, {}, how);
    ASSERT_TRUE(g.wait_window(60.0, "bramble stopped")) << g.stderr_text();
    // The box waits until it has been read.
    EXPECT_TRUE(g.running());
    ASSERT_TRUE(xdotool(x, {"key", "--window", std::to_string(g.window()), "Return"}));
    std::optional<int> status = g.wait_exit(30.0);
    ASSERT_TRUE(status.has_value()) << "still running after the box was closed";
    EXPECT_EQ(*status, 1);

    // Standard error is a file: the ERR line comes without colour codes.
    std::string err = g.stderr_text();
    EXPECT_TRUE(std::regex_search(
        err,
        std::regex(R"((^|\n)ERR record\.cpp:record_init:[0-9]+ \tassert failed: mic > 0\r?\n)")))
        << err;
    std::smatch box;
    ASSERT_TRUE(std::regex_search(err, box, std::regex(R"re(MSGBOX_OnInit L"(.*)")re"))) << err;
    std::string words = box[1];
    EXPECT_NE(words.find("record_init"), std::string::npos) << words;
    EXPECT_NE(words.find("assert failed: mic > 0"), std::string::npos) << words;
    EXPECT_NE(words.find("Privacy & security > Microphone"), std::string::npos) << words;
    EXPECT_EQ(words.find("[91m"), std::string::npos) << words; // no colour codes
}

// Kept lines longer than a kept line holds, with characters of two and three bytes
// across their cuts, and one with a byte that is not UTF-8: the box shows each
// line, cut between two characters, the bad byte as one replacement character,
// and the advice after them. The tests' program reads the box's words as shown.
TEST(Windows, FatalNoticeKeepsEveryLineAndTheAdviceWhateverTheLinesHold) {
    XServer x;
    Launch how = under_wine();
    how.runtime_dir = BRAMBLE_WINDOWS_PROBES;
    how.exe = "fatal_notice.exe";
    how.in_place = true; // a program without the game's files
    Game g(x, Mic::SILENT, {}, how);
    ASSERT_TRUE(g.wait_window(60.0, "fatal_notice stopped")) << g.stderr_text();
    const std::string begin = "--- box ---\n", end = "\n--- end ---";
    ASSERT_TRUE(poll_until(30.0, [&] { return g.stdout_text().find(end) != std::string::npos; }))
        << g.stdout_text() << g.stderr_text();
    ASSERT_TRUE(xdotool(x, {"key", "--window", std::to_string(g.window()), "Return"}));
    std::optional<int> status = g.wait_exit(30.0);
    ASSERT_TRUE(status.has_value()) << "still running after the box was closed";
    EXPECT_EQ(*status, 1);

    std::string out = g.stdout_text();
    size_t from = out.find(begin) + begin.size();
    std::string words = out.substr(from, out.find(end) - from);
    const std::string replacement = "\uFFFD";
    size_t replaced = 0;
    for (size_t at = words.find(replacement); at != std::string::npos;
         at = words.find(replacement, at + 1))
        replaced++;
    EXPECT_EQ(replaced, 1u) << "only the byte that is not UTF-8 is replaced:\n" << words;
    EXPECT_NE(words.find("Zo" + replacement + "\\bramble: not found"), std::string::npos) << words;
    EXPECT_TRUE(std::regex_search(
        words, std::regex("(LOG fatal_notice\\.cpp:main:[0-9]+ \t~{0,2}C:\\\\Users\\\\Zo\u00e9\\\\"
                          "(\u00e9\u65e5\u672c)+[^\n]*\n){3}")))
        << words;
    EXPECT_NE(words.find("assert failed: body.empty()"), std::string::npos) << words;
    EXPECT_NE(words.find("Advice: the last words of the notice."), std::string::npos) << words;
}

// Runs a program of the test's Wine prefix (wine, wineserver) to its end; its
// exit status, or -1.
int run_in_prefix(const XServer &x, const std::vector<std::string> &argv, double timeout) {
    std::vector<std::string> env = under_wine().env;
    env.push_back("DISPLAY=" + x.name());
    env.push_back("PATH=/usr/local/bin:/usr/bin:/bin");
    if (const char *home = getenv("HOME")) env.push_back(std::string("HOME=") + home);
    pid_t pid = spawn(argv, env, "", "");
    std::optional<int> st = wait_for(pid, timeout);
    if (!st) stop(pid, 1.0);
    return st && WIFEXITED(*st) ? WEXITSTATUS(*st) : -1;
}

// The prefix's user folder (Wine names the user after this machine's).
std::string wine_user_dir() {
    for (const auto &e : fs::directory_iterator(std::string(BRAMBLE_WINEPREFIX) + "/drive_c/users"))
        if (e.path().filename() != "Public" && fs::exists(e.path() / "AppData")) return e.path();
    return "";
}

// The exit status of `reg query KEY` in the prefix: 0 when the key exists.
int reg_query(const XServer &x, const std::string &key) {
    return run_in_prefix(x, {"wine", "reg", "query", key}, 60.0);
}

// Files and folders under `dir`, recursively.
int entries_under(const std::string &dir) {
    int n = 0;
    for ([[maybe_unused]] const auto &e : fs::recursive_directory_iterator(dir)) n++;
    return n;
}

// A player's path through the installers: the version before this one, then this
// one over it, as an upgrade; a folder holding someone else's files is refused;
// the installed game starts; the uninstaller leaves nothing behind.
TEST(Windows, InstallerUpgradesTheEarlierVersionTheGameStartsAndUninstallLeavesNothing) {
    XServer x;
    std::string user = wine_user_dir();
    ASSERT_NE(user, "");
    const std::string home = user + "/AppData/Local/Programs/bramble";
    const std::string menu = user + "/AppData/Roaming/Microsoft/Windows/Start Menu/Programs";
    const std::string link = menu + "/bramble.lnk";
    const std::string uninstall_key =
        R"(HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\bramble)";
    ASSERT_FALSE(fs::exists(home)) << "left from an earlier run: " << home;

    // The earlier version, which ships a file this one does not.
    ASSERT_EQ(run_in_prefix(x, {"wine", BRAMBLE_WINDOWS_OLDER_SETUP, "/S"}, 120.0), 0);
    ASSERT_TRUE(fs::exists(home + "/retired/notes.txt"));

    Clock::time_point t = Clock::now();
    ASSERT_EQ(run_in_prefix(x, {"wine", BRAMBLE_WINDOWS_SETUP, "/S"}, 120.0), 0);
    std::cout << "upgraded silently in " << seconds_since(t) << " s\n";
    for (const char *part :
         {"bramble.exe", "asset/atarifont.bmp", "res/world/world.csv", "README.txt",
          "licences/bramble.txt", "licences/SDL-debian-sources.txt", "Uninstall.exe"})
        EXPECT_TRUE(fs::exists(home + "/" + part)) << part;
    EXPECT_FALSE(fs::exists(home + "/retired")) << "the earlier version's own file is still there";
    EXPECT_TRUE(fs::exists(link));
    int entries = 0;
    for (const auto &e : fs::directory_iterator(menu))
        entries += e.path().filename().string().find("bramble") != std::string::npos;
    EXPECT_EQ(entries, 1) << "Start-menu entries";
    EXPECT_EQ(reg_query(x, uninstall_key), 0);
    // One uninstall entry, this version's.
    {
        TempDir out;
        std::vector<std::string> env = under_wine().env;
        env.push_back("DISPLAY=" + x.name());
        env.push_back("PATH=/usr/local/bin:/usr/bin:/bin");
        if (const char *h = getenv("HOME")) env.push_back(std::string("HOME=") + h);
        pid_t pid = spawn({"wine", "reg", "query",
                           R"(HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall)", "/s"},
                          env, out.file("reg.txt"), "");
        ASSERT_TRUE(wait_for(pid, 60.0).has_value());
        const std::string reg = read_file(out.file("reg.txt"));
        const std::regex version(R"(DisplayVersion\s+REG_SZ\s+)" + std::string(BRAMBLE_VERSION) +
                                 R"(\r?\n)");
        EXPECT_TRUE(std::regex_search(reg, version)) << reg;
        const std::regex name(R"(DisplayName\s+REG_SZ\s+bramble)");
        EXPECT_EQ(std::distance(std::sregex_iterator(reg.begin(), reg.end(), name),
                                std::sregex_iterator()),
                  1)
            << reg;
    }

    // A folder with someone else's file: refused, untouched.
    {
        TempDir other;
        write_file(other.file("notes.txt"), "mine");
        EXPECT_NE(run_in_prefix(
                      x, {"wine", BRAMBLE_WINDOWS_SETUP, "/S", "/D=" + windows_path(other.path())},
                      120.0),
                  0);
        EXPECT_EQ(entries_under(other.path()), 1);
        EXPECT_EQ(read_file(other.file("notes.txt")), "mine");
    }

    {
        Launch installed = under_wine();
        installed.runtime_dir = home;
        installed.in_place = true;
        Game g(x, Mic::SILENT, {}, installed);
        ASSERT_TRUE(g.wait_window(60.0)) << g.stderr_text();
        FontSheet font(home + "/asset/atarifont.bmp");
        Diff diff;
        EXPECT_TRUE(shows(g, render(font, START_RED, start_words(10)), 60.0, diff)) << diff.first;
        ASSERT_TRUE(g.close_window());
        std::optional<int> status = g.wait_exit(30.0);
        EXPECT_EQ(status, std::optional<int>(0));
    }

    // The uninstaller works from a copy of itself in the temporary folder and
    // returns at once: what it removes is awaited.
    ASSERT_EQ(run_in_prefix(x, {"wine", home + "/Uninstall.exe", "/S"}, 60.0), 0);
    EXPECT_TRUE(poll_until(60.0, [&] { return !fs::exists(home) && !fs::exists(link); }))
        << (fs::exists(home) ? home : link) << " is still there";
    EXPECT_NE(reg_query(x, uninstall_key), 0);
    EXPECT_NE(reg_query(x, R"(HKCU\Software\bramble)"), 0);
    run_in_prefix(x, {"wineserver", "-k"}, 30.0);
}

} // namespace
