// SPDX-License-Identifier: Zlib
// Bad inputs to the game: broken grid files; the font sheet deleted, replaced and
// half written while frames run; and the built program started with its font or
// its music missing, with no audio device, and with its files pulled away while
// it runs.
#include "game_rig.h"
#include "vek_internal.h"

#include "world.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

namespace fs = std::filesystem;

size_t count(const std::string &text, const std::string &what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
}

std::string runtime_dir() {
    const char *dir = getenv("BRAMBLE_RUNTIME_DIR");
    return dir != nullptr ? dir : "";
}

// A copy of the program's directory (the executable, asset/ and res/) that a
// test may change at will.
void copy_game(const std::string &to) {
    for (const char *part : {"bramble", "asset", "res"})
        fs::copy(runtime_dir() + "/" + part, to + "/" + part, fs::copy_options::recursive);
}

void set_mtime(const std::string &path, long secs) {
    struct timespec times[2] = {{secs, 0}, {secs, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path << ": " << strerror(errno);
}

const char *const FONT = "asset/atarifont.bmp";
const char *const MUSIC = "asset/Hall-of-the-Mountain-King.wav";
// Standard error is a pipe here: the prefixes come without colour codes.
const char *const LOG_PREFIX = "LOG ";
const char *const ERR_PREFIX = "ERR ";
const char *const WRN_PREFIX = "WRN ";

// ---------------------------------------------------------------------------
// Grid files: rows are taken as they come; nothing lands outside the grid
// ---------------------------------------------------------------------------
constexpr int W = 20, H = 20;

// The file line of row y: 20 tiles joined by commas, no two rows alike.
std::string row_line(int y) {
    std::string line;
    for (int x = 0; x < W; x++) {
        if (x > 0) line += ',';
        line += char('!' + (x * 7 + y * 3) % 90);
    }
    return line;
}

// The 20 tiles of a row line.
std::string tiles_of(const std::string &line) {
    std::string tiles;
    for (int x = 0; x < W; x++) tiles += line[size_t(2 * x)];
    return tiles;
}

std::string loaded_row(int y) {
    return std::string(g_world.cell[y], W);
}

TEST(BadGrid, FilesLoadWhatTheirRowsHold) {
    TempDir dir;
    std::string path = dir.file("world.csv");

    std::string ten_thousand;
    for (int y = 0; y < 10000; y++) ten_thousand += row_line(y % 97) + "\n";

    // One line of a megabyte: every 40 characters of it make a row.
    std::string mega;
    for (int i = 0; i < 1 << 20; i++) mega += char('a' + (i * 7 + i / 40) % 26);

    // NUL bytes in a tile, in a separator, as a row's first character, and a
    // whole row of them: each is a tile of code 0; reading goes on after them.
    std::string with_nuls;
    for (int y = 0; y < H; y++) {
        std::string line = row_line(y);
        if (y == 3) line[4] = '\0';               // tile 2
        if (y == 5) line[0] = '\0';               // tile 0, first character
        if (y == 7) line[1] = '\0';               // a separator
        if (y == 9) line = std::string(39, '\0'); // nothing but NULs
        with_nuls += line + "\n";
    }

    struct Case {
        const char *what;
        std::string text;
        std::function<std::string(int y)> row; // what row y must hold afterwards
    } cases[] = {
        {"10 000 lines", ten_thousand, [](int y) { return tiles_of(row_line(y)); }},
        {"one line of 1 MB", mega,
         [&](int y) { return tiles_of(mega.substr(size_t(40 * y), 40)); }},
        {"NUL bytes", with_nuls,
         [](int y) {
             std::string t = tiles_of(row_line(y));
             if (y == 3) t[2] = '\0';
             if (y == 5) t[0] = '\0';
             if (y == 9) t = std::string(W, '\0');
             return t;
         }},
    };
    for (const Case &c : cases) {
        memset(&g_world, 0, sizeof g_world);
        write_file(path, c.text);
        world_init(path.c_str());
        for (int y = 0; y < H; y++) EXPECT_EQ(loaded_row(y), c.row(y)) << c.what << ", row " << y;
    }
}

TEST(BadGrid, DirectoryAsTheGridReadsNothing) {
    // It opens for reading on this platform; every read of it fails.
    TempDir dir;
    memset(&g_world, 0x5A, sizeof g_world);
    StderrCapture cap;
    world_init(dir.path().c_str());
    EXPECT_EQ(cap.text(), "");
    for (int y = 0; y < H; y++) EXPECT_EQ(loaded_row(y), std::string(W, 'Z')) << "row " << y;
}

// ---------------------------------------------------------------------------
// The font sheet changed on disk while frames run: the start screen's text is
// drawn from whatever sheet the engine holds.
// ---------------------------------------------------------------------------
const long T0 = 1600000000;

class RunningGame : public GameTest {
  protected:
    TempDir dir;
    std::string font;
    void SetUp() override {
        GameTest::SetUp();
        // Paths are resolved against the working directory: run from a copy of
        // the program's files, so that they can be changed.
        copy_game(dir.path());
        ASSERT_EQ(chdir(dir.path().c_str()), 0);
        font = dir.file(FONT);
        set_mtime(font, T0);
        reset_start_screen();
    }
    // One pass of the real loop with the clocks standing still: the watcher,
    // the events, the game's frame.
    Pixels step() {
        VEK_CycleEvents();
        frame(0);
        return read_picture();
    }
    // The first frame loads the sheet, the next pass of the watcher records its time.
    Pixels begin() {
        step();
        return step();
    }
};

size_t lit(const Pixels &p) { // pixels that are not the start screen's red
    size_t n = 0;
    Rgb bg = p.at(0, 0);
    for (int y = 0; y < p.h; y++)
        for (int x = 0; x < p.w; x++) n += !(p.at(x, y) == bg);
    return n;
}

TEST_F(RunningGame, FontSheetDeletedKeepsTheText) {
    Pixels before = begin();
    ASSERT_GT(lit(before), 0u) << "the start screen shows its words";
    ASSERT_EQ(unlink(font.c_str()), 0);
    StderrCapture cap;
    Pixels after = step();
    for (int i = 0; i < 5; i++) after = step();
    std::string log = cap.text();
    EXPECT_EQ(log.rfind(LOG_PREFIX, 0), 0u) << log;
    EXPECT_EQ(count(log, std::string(FONT) + ": " + strerror(ENOENT) + "\n"), 1u) << log;
    EXPECT_EQ(count(log, "\n"), 1u) << log;
    EXPECT_TRUE(after.data == before.data);
}

TEST_F(RunningGame, FontSheetHalfWrittenKeepsTheText) {
    Pixels before = begin();
    std::string bytes = read_file(font);
    write_file(font, bytes.substr(0, bytes.size() / 2));
    set_mtime(font, T0 + 1);
    SDL_ClearError();
    StderrCapture cap;
    Pixels after = step();
    for (int i = 0; i < 5; i++) after = step();
    std::string log = cap.text();
    EXPECT_EQ(log, std::string("INFO: ") + SDL_GetError() + "\n");
    EXPECT_TRUE(after.data == before.data);
}

TEST_F(RunningGame, FontSheetReplacedShowsTheNewSheet) {
    Pixels before = begin();
    // Every cell of the new sheet is solid white: each letter becomes a block.
    write_file(font, make_bmp(256, 256, Rgb{255, 255, 255}));
    set_mtime(font, T0 + 1);
    StderrCapture cap;
    Pixels after = step();
    EXPECT_EQ(cap.text(), "");
    EXPECT_GT(lit(after), 2 * lit(before));
    // "PAS" at size 4: three cells of 64 x 128 from (224, 256), now solid white
    for (int x : {224, 300, 415})
        for (int y : {256, 320, 383})
            EXPECT_EQ(after.at(x, y), (Rgb{255, 255, 255})) << x << "," << y;
}

// ---------------------------------------------------------------------------
// The built program, started from a copy of its directory, on the disk audio
// driver (a silent microphone file in, the mixer's output to a file).
// ---------------------------------------------------------------------------
struct ProgramRun {
    bool exited = false; // by exit, not by a signal and not killed at the deadline
    int status = -1;
    std::string err;
};

using Env = std::map<std::string, std::string>;

// Has the process installed its SIGTERM handler (SDL does at start-up)?
bool catches_sigterm(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("SigCgt:", 0) == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> (SIGTERM - 1)) & 1;
    return false;
}

// Runs `exe` with the environment changed by `env`; `during` runs `during_ms`
// after the program started catching SIGTERM, which it gets `run_ms` after
// that. A program still there after 60 seconds is killed.
ProgramRun run_game(const std::string &exe, const Env &env, int run_ms,
                    const std::function<void()> &during = {}, int during_ms = 0) {
    TempDir out;
    std::string err_path = out.file("err");
    Env merged;
    for (char **e = environ; *e != nullptr; e++) {
        std::string kv = *e;
        size_t eq = kv.find('=');
        if (eq != std::string::npos) merged[kv.substr(0, eq)] = kv.substr(eq + 1);
    }
    for (const auto &[k, v] : env) merged[k] = v;
    std::vector<std::string> strings;
    for (const auto &[k, v] : merged) strings.push_back(k + "=" + v);
    std::vector<char *> envp;
    for (std::string &s : strings) envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string arg0 = exe;
    char *argv[] = {arg0.data(), nullptr};

    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        int fd = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int null = open("/dev/null", O_WRONLY);
        if (fd < 0 || null < 0) _exit(126);
        dup2(null, 1);
        dup2(fd, 2);
        execve(exe.c_str(), argv, envp.data());
        _exit(127);
    }
    ProgramRun run;
    if (pid < 0) return run;
    int status = 0, waited = 0, started = -1;
    bool done_during = !during, sent = false;
    for (;;) {
        if (waitpid(pid, &status, WNOHANG) == pid) break;
        if (started < 0 && catches_sigterm(pid)) started = waited;
        if (started >= 0 && !done_during && waited - started >= during_ms) {
            during();
            done_during = true;
        }
        if (started >= 0 && !sent && waited - started >= run_ms) {
            kill(pid, SIGTERM);
            sent = true;
        }
        if (waited > 60000) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            run.err = read_file(err_path);
            return run;
        }
        usleep(10000);
        waited += 10;
    }
    run.exited = WIFEXITED(status);
    run.status = run.exited ? WEXITSTATUS(status) : -1;
    run.err = read_file(err_path);
    return run;
}

// Largest absolute sample of signed 16-bit output.
int peak(const std::string &raw) {
    int best = 0;
    for (size_t i = 0; i + 1 < raw.size(); i += 2) {
        int16_t s = int16_t(uint8_t(raw[i]) | (uint8_t(raw[i + 1]) << 8));
        best = std::max(best, std::abs(int(s)));
    }
    return best;
}

class ProgramCopy : public ::testing::Test {
  protected:
    TempDir dir;
    std::string exe, output;
    Env env;
    void SetUp() override {
        ASSERT_FALSE(runtime_dir().empty());
        copy_game(dir.path());
        exe = dir.file("bramble");
        output = dir.file("out.raw");
        write_file(dir.file("mic.raw"), std::string(1 << 20, '\0'));
        env = {{"SDL_AUDIODRIVER", "disk"},
               {"SDL_DISKAUDIOFILEIN", dir.file("mic.raw")},
               {"SDL_DISKAUDIOFILE", output}};
    }
};

// Long enough for the start screen to start the music (after 0.2 s) and for
// the mixer to write a good part of a second of it.
const int RUN_MS = 1500;

TEST_F(ProgramCopy, AllFilesInPlaceMusicReachesTheOutput) {
    // The reference for the runs below: same environment, nothing missing.
    ProgramRun run = run_game(exe, env, RUN_MS);
    ASSERT_TRUE(run.exited) << run.err;
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(count(run.err, ERR_PREFIX) + count(run.err, WRN_PREFIX), 0u) << run.err;
    EXPECT_GT(peak(read_file(output)), 1000);
}

TEST_F(ProgramCopy, FontSheetMissingAtStartRunsWithoutTextAndSaysWhy) {
    ASSERT_TRUE(fs::remove(dir.file(FONT)));
    ProgramRun run = run_game(exe, env, RUN_MS);
    ASSERT_TRUE(run.exited) << run.err;
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(count(run.err, ERR_PREFIX) + count(run.err, WRN_PREFIX), 0u) << run.err;
    std::string why = std::string(LOG_PREFIX) + "vek_resource.cpp:VEK_LoadResourceTyped:";
    std::string what = std::string(" \t") + FONT + ": " + strerror(ENOENT) + "\n";
    size_t at = run.err.find(why);
    ASSERT_NE(at, std::string::npos) << run.err;
    EXPECT_NE(run.err.find(what, at), std::string::npos) << run.err;
    // tried again at every text draw: many frames ran
    EXPECT_GT(count(run.err, what), 10u);
}

TEST_F(ProgramCopy, MusicMissingRunGoesOnSilent) {
    ASSERT_TRUE(fs::remove(dir.file(MUSIC)));
    ProgramRun run = run_game(exe, env, RUN_MS);
    ASSERT_TRUE(run.exited) << run.err;
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(count(run.err, ERR_PREFIX) + count(run.err, WRN_PREFIX), 0u) << run.err;
    EXPECT_EQ(count(run.err, "INFO: "), 1u) << "SDL's reason, once\n" << run.err;
    EXPECT_NE(run.err.find(MUSIC), std::string::npos) << run.err;
    std::string out = read_file(output);
    EXPECT_GT(out.size(), 0u) << "the mixer ran";
    EXPECT_EQ(peak(out), 0);
}

TEST_F(ProgramCopy, NoAudioDeviceTurnsTheMixerOffAndNeedsTheMicrophone) {
    env["SDL_AUDIODRIVER"] = "no-such-driver";
    ProgramRun run = run_game(exe, env, 60000);
    ASSERT_TRUE(run.exited) << run.err;
    EXPECT_EQ(run.status, 1) << run.err;
    // the mixer's failure is SDL's text on SDL's log, then the one fatal line
    size_t mixer = run.err.find("INFO: ");
    size_t fatal = run.err.find(std::string(ERR_PREFIX) + "record.cpp:record_init:");
    ASSERT_NE(mixer, std::string::npos) << run.err;
    EXPECT_NE(run.err.find("no-such-driver", mixer), std::string::npos) << run.err;
    ASSERT_NE(fatal, std::string::npos) << run.err;
    EXPECT_LT(mixer, fatal);
    EXPECT_NE(run.err.find(" \tassert failed: mic > 0\n", fatal), std::string::npos) << run.err;
    EXPECT_EQ(count(run.err, ERR_PREFIX), 1u) << run.err;
    EXPECT_FALSE(fs::exists(output)) << "no output device was opened";
}

TEST_F(ProgramCopy, FilesPulledAwayWhileRunning) {
    // After the music has started: the font sheet and the grid deleted, the
    // keyboard picture replaced by garbage, the music cut to its header while
    // the mixer streams it.
    auto pull = [&] {
        fs::remove(dir.file(FONT));
        fs::remove(dir.file("res/world/world.csv"));
        write_file(dir.file("asset/keyboard.bmp"), "not a picture");
        fs::resize_file(dir.file(MUSIC), 44);
    };
    ProgramRun run = run_game(exe, env, RUN_MS + 500, pull, RUN_MS / 2);
    ASSERT_TRUE(run.exited) << run.err;
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(count(run.err, ERR_PREFIX) + count(run.err, WRN_PREFIX), 0u) << run.err;
    // the watcher reports the font sheet once; the rest is not watched
    EXPECT_EQ(count(run.err, std::string(FONT) + ": " + strerror(ENOENT) + "\n"), 1u) << run.err;
}

} // namespace
