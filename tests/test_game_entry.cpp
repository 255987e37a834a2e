// SPDX-License-Identifier: Zlib
// The game's entry and frame: the built program run as a child process (exit
// status and diagnostic lines when the microphone, the world file or the engine
// is missing, and a clean 0 when the window is closed), the exit actions seen
// from inside the process, and the frame's fatal checks.
#include "rig.h"
#include "vek_internal.h"

#include "cfg.h"
#include "minigame_manager.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

std::string runtime_dir() {
    const char *dir = getenv("BRAMBLE_RUNTIME_DIR");
    return dir != nullptr ? dir : "";
}

// ---------------------------------------------------------------------------
// Running the program as a child
// ---------------------------------------------------------------------------
struct ProgramRun {
    bool exited = false; // ended by exit (not by a signal, not killed by us)
    int status = -1;     // its exit status
    std::string out, err;
};

using Env = std::map<std::string, std::string>;

// Is SIGTERM caught by the process yet (SDL installs its handler at start-up)?
bool catches_sigterm(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("SigCgt:", 0) != 0) continue;
        unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
        return (mask >> (SIGTERM - 1)) & 1;
    }
    return false;
}

// Runs `exe` with `args` and the environment changed by `env` (empty value:
// removed). With `quit_after_ms` >= 0 the child gets SIGTERM that long after it
// started catching it. Gives up (and kills the child) after 60 seconds.
ProgramRun run_program(const std::string &exe, const std::vector<std::string> &args, const Env &env,
                       int quit_after_ms = -1) {
    TempDir dir;
    std::string out_path = dir.file("out"), err_path = dir.file("err");
    Env merged;
    for (char **e = environ; *e != nullptr; e++) {
        std::string kv = *e;
        size_t eq = kv.find('=');
        if (eq != std::string::npos) merged[kv.substr(0, eq)] = kv.substr(eq + 1);
    }
    for (const auto &[k, v] : env) {
        if (v.empty())
            merged.erase(k);
        else
            merged[k] = v;
    }
    std::vector<std::string> env_strings, argv_strings{exe};
    for (const auto &[k, v] : merged) env_strings.push_back(k + "=" + v);
    argv_strings.insert(argv_strings.end(), args.begin(), args.end());
    std::vector<char *> envp, argv;
    for (std::string &s : env_strings) envp.push_back(s.data());
    envp.push_back(nullptr);
    for (std::string &s : argv_strings) argv.push_back(s.data());
    argv.push_back(nullptr);

    fflush(stdout);
    fflush(stderr);
    pid_t pid = fork();
    if (pid == 0) {
        FILE *o = fopen(out_path.c_str(), "w");
        FILE *e = fopen(err_path.c_str(), "w");
        if (o == nullptr || e == nullptr) _exit(126);
        dup2(fileno(o), 1);
        dup2(fileno(e), 2);
        execve(exe.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    ProgramRun run;
    if (pid < 0) return run;
    bool sent = false;
    int waited_ms = 0, caught_at = -1, status = 0;
    for (;;) {
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) break;
        if (quit_after_ms >= 0 && !sent) {
            if (caught_at < 0 && catches_sigterm(pid)) caught_at = waited_ms;
            if (caught_at >= 0 && waited_ms - caught_at >= quit_after_ms) {
                kill(pid, SIGTERM);
                sent = true;
            }
        }
        if (waited_ms > 60000) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            run.out = read_file(out_path);
            run.err = read_file(err_path);
            return run;
        }
        usleep(10000);
        waited_ms += 10;
    }
    run.exited = WIFEXITED(status);
    run.status = run.exited ? WEXITSTATUS(status) : -1;
    run.out = read_file(out_path);
    run.err = read_file(err_path);
    return run;
}

// True when `text` holds a whole ERR line from `file`:`function` whose message is
// "assert failed: <condition>".
bool has_assert_line(const std::string &text, const std::string &file, const std::string &function,
                     const std::string &condition) {
    std::istringstream lines(text);
    std::string line;
    const std::string prefix = "ERR " + file + ":" + function + ":";
    const std::string message = " \tassert failed: " + condition;
    while (std::getline(lines, line)) {
        if (line.rfind(prefix, 0) != 0) continue;
        size_t at = line.find(message);
        if (at != std::string::npos && at + message.size() == line.size()) return true;
    }
    return false;
}

int count_of(const std::string &text, const std::string &what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
}

class Program : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(runtime_dir().empty());
        exe = runtime_dir() + "/bramble";
        ASSERT_EQ(access(exe.c_str(), X_OK), 0) << exe;
    }
    std::string exe;
    TempDir scratch;
    // No microphone: the disk driver's capture input does not exist. Its output
    // goes to the scratch directory, not beside the program.
    Env no_microphone() const {
        return {{"SDL_AUDIODRIVER", "disk"},
                {"SDL_DISKAUDIOFILEIN", scratch.file("missing/in.raw")},
                {"SDL_DISKAUDIOFILE", scratch.file("out.raw")},
                {"SDL_DISKAUDIODELAY", "0"}};
    }
};

// ---------------------------------------------------------------------------
// The program: fatal start-up failures and closing the window
// ---------------------------------------------------------------------------
TEST_F(Program, NoCaptureDeviceExitsOneWithTheMicLine) {
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{}, std::vector<std::string>{"--help", "-x", "whatever"}}) {
        ProgramRun run = run_program(exe, args, no_microphone());
        ASSERT_TRUE(run.exited) << run.err;
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_TRUE(has_assert_line(run.err, "record.cpp", "record_init", "mic > 0")) << run.err;
        EXPECT_EQ(count_of(run.err, "ERR "), 1) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

TEST_F(Program, ClosingTheWindowReturnsZero) {
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{}, std::vector<std::string>{"--help", "-x", "whatever"}}) {
        ProgramRun run = run_program(exe, args, {{"SDL_AUDIODRIVER", "dummy"}}, 300);
        ASSERT_TRUE(run.exited) << run.err;
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(count_of(run.err, "ERR "), 0) << run.err;
        EXPECT_EQ(count_of(run.err, "WRN "), 0) << run.err;
    }
}

// --version answers without a display, a microphone or an audio device: nothing
// is opened. The SDL versions are those this test was compiled and runs with,
// since it links the same libraries.
TEST_F(Program, VersionPrintsTheGamesAndSdlsVersionsAndOpensNothing) {
    SDL_version sdl;
    SDL_GetVersion(&sdl);
    const SDL_version *mixer = Mix_Linked_Version();
    auto both = [](const SDL_version &v) {
        std::string s =
            std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.patch);
        return "compiled " + s + ", linked " + s;
    };
    ProgramRun run = run_program(exe, {"--version"},
                                 {{"DISPLAY", ":9999"},
                                  {"SDL_VIDEODRIVER", "x11"},
                                  {"SDL_AUDIODRIVER", "disk"},
                                  {"SDL_DISKAUDIOFILEIN", scratch.file("missing/in.raw")},
                                  {"SDL_DISKAUDIOFILE", scratch.file("out.raw")}});
    ASSERT_TRUE(run.exited) << run.err;
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, std::string("bramble ") + BRAMBLE_VERSION + "\nSDL2 " + both(sdl) +
                           "\nSDL2_mixer " + both(*mixer) + "\n");
    EXPECT_EQ(run.err, "");
    EXPECT_FALSE(std::filesystem::exists(scratch.file("out.raw")));
}

TEST_F(Program, WorldFileIsLoadedBeforeTheMicrophoneIsOpened) {
    // A copy of the program without res/ beside it and without a microphone:
    // the grid fails first.
    std::string copy = scratch.file("bramble");
    std::filesystem::copy_file(exe, copy);
    std::filesystem::permissions(copy, std::filesystem::perms::owner_all);
    ProgramRun run = run_program(copy, {}, no_microphone());
    ASSERT_TRUE(run.exited) << run.err;
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(has_assert_line(run.err, "world.cpp", "world_init", "world != ((void *)0)"))
        << run.err;
    EXPECT_EQ(count_of(run.err, "mic > 0"), 0) << run.err;
}

TEST_F(Program, EngineStartFailureNamesTheInitCall) {
    ProgramRun run = run_program(exe, {}, {{"SDL_VIDEODRIVER", "no-such-driver"}});
    ASSERT_TRUE(run.exited) << run.err;
    EXPECT_EQ(run.status, 1);
    std::istringstream lines(run.err);
    std::string line;
    bool found = false;
    while (std::getline(lines, line)) {
        if (line.rfind("ERR main.cpp:SDL_main:", 0) != 0) continue;
        size_t at = line.find(" \tassert failed: ");
        found = at != std::string::npos && line.find("VEK_Init(", at) != std::string::npos &&
                line.size() >= 5 && line.compare(line.size() - 5, 5, " == 0") == 0;
    }
    EXPECT_TRUE(found) << run.err;
}

TEST_F(Program, NoDisplaySaysWhyAndExitsOne) {
    // With a console display the kernel's own video driver would start: then
    // there is a display, and nothing to check here.
    if (access("/dev/dri/card0", R_OK | W_OK) == 0) GTEST_SKIP() << "a console display exists";
    // Started from a desktop menu with no display at all and no driver named; and
    // with the display of a session that is gone (or of another machine's user),
    // where asking to set the variable would send the player in circles. If the
    // game ran window-less anyway, SIGTERM two seconds in ends it with 0.
    const std::string gone = ":" + std::to_string(5000 + getpid() % 1000);
    const std::string ask = "set DISPLAY or WAYLAND_DISPLAY, or SDL_VIDEODRIVER for a headless run";
    const struct {
        std::string display, line;
        int asks;
    } cases[] = {{"", "no display: " + ask + "\n", 1},
                 {gone, "no display: no X server answered at DISPLAY=" + gone + "\n", 0}};
    for (const auto &c : cases) {
        ProgramRun run = run_program(exe, {},
                                     {{"DISPLAY", c.display},
                                      {"WAYLAND_DISPLAY", ""},
                                      {"SDL_VIDEODRIVER", ""},
                                      {"SDL_RENDER_DRIVER", ""},
                                      {"SDL_AUDIODRIVER", "dummy"}},
                                     2000);
        ASSERT_TRUE(run.exited) << run.err;
        EXPECT_EQ(run.status, 1) << run.err;
        EXPECT_EQ(count_of(run.err, c.line), 1) << run.err;
        EXPECT_EQ(count_of(run.err, ask), c.asks) << run.err;
    }
}

// ---------------------------------------------------------------------------
// Exit actions, seen from inside the process
// ---------------------------------------------------------------------------

// Registered before SDL_main, so it runs after every action SDL_main registers.
// The engine's window and the allocator's table being gone shows that VEK_Quit
// and wdeinit both ran.
void report_exit_actions() {
    bool engine_down = ___vek_window == nullptr && ___vek_renderer == nullptr;
    bool tracker_down = alloc_capacity() == 0;
    fprintf(stderr, "exit actions: engine %s, allocator %s\n", engine_down ? "down" : "UP",
            tracker_down ? "down" : "UP");
}

// Starts SDL_main in a death-test child with a tracked block held, so the
// allocator's table exists until wdeinit takes it down.
[[noreturn]] void run_sdl_main(void (*before)(void)) {
    atexit(report_exit_actions);
    static void *held = alloc(16);
    (void)held;
    if (before != nullptr) before();
    char name[] = "bramble";
    char *argv[] = {name, nullptr};
    exit(SDL_main(1, argv));
}

// SDL_main works in the test binary's directory: give it the grid there.
void link_world_beside_the_tests() {
    char *base = SDL_GetBasePath();
    ASSERT_NE(base, nullptr);
    std::string link = std::string(base) + "res";
    SDL_free(base);
    std::error_code ec;
    if (!std::filesystem::exists(link + "/world/world.csv", ec))
        std::filesystem::create_directory_symlink(runtime_dir() + "/res", link, ec);
    ASSERT_TRUE(std::filesystem::exists(link + "/world/world.csv")) << link;
}

void quit_after_three_frames() {
    std::thread([] {
        while (VEK_GetTick() < 3) SDL_Delay(5);
        kill(getpid(), SIGTERM); // SDL turns it into its quit event
    }).detach();
}

TEST(ExitActions, QuitReturnsZeroAfterVEKQuitAndWdeinit) {
    link_world_beside_the_tests();
    EXPECT_EXIT(run_sdl_main(quit_after_three_frames), ::testing::ExitedWithCode(0),
                "exit actions: engine down, allocator down\n$");
}

void without_microphone() {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILEIN", "/nonexistent/bramble-in.raw", 1);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
}

TEST(ExitActions, FatalFailureAfterStartRunsBothActions) {
    link_world_beside_the_tests();
    EXPECT_EXIT(run_sdl_main(without_microphone), ::testing::ExitedWithCode(1),
                "assert failed: mic > 0\n(.|\n)*exit actions: engine down, allocator down\n$");
}

void without_video() {
    setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
}

TEST(ExitActions, EngineStartFailureStillReleasesTheAllocator) {
    EXPECT_EXIT(run_sdl_main(without_video), ::testing::ExitedWithCode(1),
                "assert failed: VEK_Init(.|\n)*exit actions: engine down, allocator down\n$");
}

// ---------------------------------------------------------------------------
// The frame's fatal checks
// ---------------------------------------------------------------------------
class Frame : public EngineTest {
  protected:
    void SetUp() override {
        ASSERT_EQ(VEK_Init(.width = 640, .height = 640, .target_fps = 0, .mixer = VEK_MIXER_OFF,
                           .basepath = runtime_dir().c_str()),
                  0);
        game = minigame{};
        minigame_init();
    }
};

TEST_F(Frame, ReturnsZeroToKeepTheLoopGoing) {
    for (int i = 0; i < 3; i++) EXPECT_EQ(main_loop(nullptr), 0);
    EXPECT_EQ(VEK_GetTick(), 3u);
}

TEST_F(Frame, FailedFrameBeginIsFatal) {
    EXPECT_EXIT(
        {
            VEK_Quit(); // no renderer: the frame cannot begin
            main_loop(nullptr);
        },
        ::testing::ExitedWithCode(1),
        "ERR main.cpp:main_loop:[0-9]+ \tassert failed: VEK_DrawBegin\\(\\) == 0\n");
}

void lose_the_picture() {
    SDL_DestroyTexture(___vek_target);
    ___vek_target = nullptr;
}

TEST_F(Frame, FailedFrameEndIsFatal) {
    game.start = 2;
    game.time_start = game_time();
    game.cur_minigame = lose_the_picture;
    EXPECT_EXIT(main_loop(nullptr), ::testing::ExitedWithCode(1),
                "ERR main.cpp:main_loop:[0-9]+ \tassert failed: VEK_DrawEnd\\(\\) == 0\n");
}

} // namespace
