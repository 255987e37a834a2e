// SPDX-License-Identifier: Zlib
// End-to-end harness: the real game on its own X server, driven with xdotool and
// read back from the screen.
//
// Every test gets a fresh Xvfb on a free display number, a private copy of the
// runtime directory (executable, asset/, res/) so that it may change files without
// touching the build tree or other tests, and the disk audio driver with a
// microphone file written by the test. Nothing here sleeps for a fixed time to
// wait for the game: conditions are polled against deadlines.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <sys/types.h>
#include <vector>

// Xlib's own header defines macros (None, Bool, Status) that clash with GoogleTest;
// only the harness's source includes it.
struct _XDisplay;

namespace e2e {

using Display = ::_XDisplay;
using Window = unsigned long; // X's XID

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point t);

// Calls `done` every `step` seconds until it returns true or `timeout` seconds
// have passed; returns whether it did.
bool poll_until(double timeout, const std::function<bool()> &done, double step = 0.005);

// The game's picture is 640 x 640; the window shows it letterboxed.
constexpr int PICTURE = 640;

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb &o) const { return r == o.r && g == o.g && b == o.b; }
    bool operator!=(const Rgb &o) const { return !(*this == o); }
};
std::ostream &operator<<(std::ostream &os, const Rgb &c);

constexpr Rgb WHITE{255, 255, 255};
constexpr Rgb BLACK{0, 0, 0};
// The start and finish background, (1.0, 0.1, 0.1) through the engine's colour rule.
constexpr Rgb START_RED{255, 25, 25};

// The engine's float-to-byte rule: 255 * c truncated.
uint8_t color_byte(float c);
// Whether every channel is one of the eleven background levels 0.2, 0.25, ..., 0.7.
bool is_palette(Rgb c);

// A temporary directory, removed with its contents on destruction.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

void write_file(const std::string &path, const std::string &bytes);
std::string read_file(const std::string &path);

// Microphone files: raw 32-bit float little-endian mono at 44100 Hz.
std::string silent_mic(double seconds);
std::string noise_mic(double seconds); // full-scale uniform noise

// ---------------------------------------------------------------------------
// Screen
// ---------------------------------------------------------------------------

// Where the picture lands in a window of the given size: the engine's letterbox
// (aspect kept, centred, no whole-factor rounding).
struct Letterbox {
    float scale = 1.0f;
    int x = 0, y = 0, w = 0, h = 0;
};
Letterbox letterbox(int win_w, int win_h);

// One read-back of the window.
struct Shot {
    int w = 0, h = 0;
    std::vector<uint32_t> px; // 0xRRGGBB, row by row
    Letterbox lb;
    double t = 0; // seconds since the game started, when it was taken

    Rgb win(int x, int y) const;
    // The window pixel showing picture pixel (x, y): the one holding its centre.
    Rgb at(int x, int y) const;
    // Top corners of the picture, which no screen draws on: the background, when
    // both agree.
    std::optional<Rgb> background() const;
};

// The 16 x 32 glyph cells of the font sheet, 16 per row, by character code.
class FontSheet {
  public:
    explicit FontSheet(const std::string &bmp_path);
    bool lit(unsigned char code, int gx, int gy) const;
    int w = 0, h = 0;
    std::vector<uint32_t> argb;
};

// Text as the game draws it: a glyph cell per character (blanks skipped), each
// sheet texel a size x size block in the ink colour. Whole sizes only, which the
// GPU scales exactly.
struct Text {
    std::string s;
    int x = 0, y = 0, size = 1;
    Rgb ink{255, 255, 255};
};

// The picture expected from a background and texts, 0xRRGGBB row by row like a
// shot.
struct Picture {
    std::vector<uint32_t> px = std::vector<uint32_t>(PICTURE * PICTURE);
    Rgb at(int x, int y) const;
    void set(int x, int y, Rgb c);
};
Picture render(const FontSheet &font, Rgb background, const std::vector<Text> &texts);

// Picture pixels of the shot differing from `want`. Under a scaled letterbox the
// pixels whose centre falls within a hair of a texel edge are skipped, since
// which side the GPU samples there is not defined.
struct Diff {
    int count = 0;
    std::string first; // description of the first difference
};
Diff compare(const Shot &shot, const Picture &want);

// Whether the lit texels of the glyphs of `text` at (x, y) with a whole size show
// in the shot as pixels different from `bg`, and the unlit ones as `bg`. Returns
// the colour of the lit pixels when they all match and share one colour.
std::optional<Rgb> glyphs_shown(const Shot &shot, const FontSheet &font, const Text &text, Rgb bg);

// The first picture row in [y_from, y_to) holding a run of exactly `length`
// pixels of `colour`, as (left, row).
std::optional<std::pair<int, int>> find_run(const Shot &shot, Rgb colour, int length, int y_from,
                                            int y_to);

// ---------------------------------------------------------------------------
// Processes
// ---------------------------------------------------------------------------

// Starts `argv` with `env` (the whole environment), stdout and stderr to files
// (empty: /dev/null). Returns the process id; fails the test when it cannot.
pid_t spawn(const std::vector<std::string> &argv, const std::vector<std::string> &env,
            const std::string &out_path, const std::string &err_path);
// Waits for `pid` up to `timeout` seconds; the raw wait status, if it ended.
std::optional<int> wait_for(pid_t pid, double timeout);
// SIGTERM, then SIGKILL if it does not end in `grace` seconds; reaps it.
void stop(pid_t pid, double grace);

// An Xvfb server of our own.
class XServer {
  public:
    XServer();
    ~XServer();
    XServer(const XServer &) = delete;
    XServer &operator=(const XServer &) = delete;
    const std::string &name() const { return name_; } // ":N"
    Display *dpy() const { return dpy_; }
    // Copies a rectangle of the screen as 0xRRGGBB pixels, through shared memory
    // where the server offers it (a shot is then one copy instead of a transfer
    // over the socket, which keeps the reader from loading the machine).
    bool grab(int x, int y, int w, int h, std::vector<uint32_t> &px);

  private:
    struct Shm;
    void drop_shm();

    TempDir dir_;
    std::string name_;
    pid_t pid_ = -1;
    Display *dpy_ = nullptr;
    std::unique_ptr<Shm> shm_;
    bool use_shm_ = true;
};

// Runs xdotool on the server and waits for it; false if it failed.
bool xdotool(const XServer &x, const std::vector<std::string> &args);

// One xdotool reading commands from a pipe, which runs each line as it arrives:
// input without the time it takes to start a process.
class XdoStream {
  public:
    explicit XdoStream(const XServer &x);
    ~XdoStream();
    XdoStream(const XdoStream &) = delete;
    XdoStream &operator=(const XdoStream &) = delete;
    bool send(const std::string &commands); // newline-terminated lines

  private:
    pid_t pid_ = -1;
    int fd_ = -1;
};

// Runs xdotool without waiting, so that the screen keeps being read while a key
// is held. One at a time: start() refuses while the previous one runs.
class AsyncXdo {
  public:
    explicit AsyncXdo(const XServer &x) : x_(x) {}
    ~AsyncXdo();
    bool busy();
    bool start(const std::vector<std::string> &args);

  private:
    const XServer &x_;
    pid_t pid_ = -1;
};

// ---------------------------------------------------------------------------
// The game
// ---------------------------------------------------------------------------

enum class Mic { SILENT, LOUD, MISSING };

// How a game is started. The default is the native build of runtime_dir(); a build
// for another system runs through a program that hosts it (the Windows build
// through Wine).
struct Launch {
    std::string runtime_dir;         // empty: runtime_dir()
    std::string exe = "bramble";     // the executable's name in it
    std::vector<std::string> runner; // put before the executable, e.g. {"wine"}
    std::vector<std::string> env;    // added to the game's environment
    // A file of this machine as the game names it; empty: the same path.
    std::function<std::string(const std::string &)> game_path;
    // Run, and waited for, once the game has ended, e.g. to stop the host's server.
    std::vector<std::string> after;
    // The name of the folder the copy of the runtime directory is made in.
    std::string folder = "game";
    // Run the executable where it is (an installed game), without a copy.
    bool in_place = false;
};

class Game {
  public:
    // Copies the runtime directory; `prepare` may change the copy before start.
    explicit Game(XServer &x, Mic mic = Mic::SILENT,
                  const std::function<void(const std::string &dir)> &prepare = {},
                  const Launch &how = {});
    ~Game();
    Game(const Game &) = delete;
    Game &operator=(const Game &) = delete;

    const std::string &dir() const { return dir_; } // the copied runtime directory
    std::string stdout_text() const { return read_file(tmp_.file("stdout.txt")); }
    std::string stderr_text() const { return read_file(tmp_.file("stderr.txt")); }

    // Waits for the game's window to be mapped. SDL replaces its first window by
    // one made for OpenGL when the renderer starts, so the window is looked up
    // again whenever the one known is gone or unmapped.
    bool wait_window(double timeout);
    // The same for a window of another title (a message box), which becomes the
    // window() the calls below act on.
    bool wait_window(double timeout, const std::string &title);
    Window window() const { return win_; }
    // Window geometry on the root window (client area).
    bool geometry(int &x, int &y, int &w, int &h);
    // Reads the window now. The shot is the game object's own, overwritten by the
    // next call (reusing its memory: shots are taken hundreds of times a second);
    // copy it to keep it. Empty (w == 0) when there is no window to read.
    const Shot &shot();

    // Root coordinates of picture pixel (px, py) through the current letterbox.
    bool root_of(int px, int py, int &rx, int &ry);
    // Left click at a picture position (moving the pointer there), the button's
    // down and up back to back as a touchpad's tap sends them: both often reach
    // the game in one frame.
    bool click(int px, int py);
    // Clicks until `effect` holds, at most `attempts` times, waiting `wait`
    // seconds after each.
    bool click_until(int px, int py, const std::function<bool()> &effect, int attempts = 3,
                     double wait = 3.0);
    bool move_to(int px, int py);
    // Asks the window to close, as a window manager's close button does
    // (WM_DELETE_WINDOW).
    bool close_window();

    // Exit status once it has ended (-1 if killed by a signal).
    std::optional<int> wait_exit(double timeout);
    bool running();
    void terminate() { kill_signal(15); }
    void kill_signal(int sig);
    pid_t pid() const { return pid_; }
    Clock::time_point started() const { return start_; }

  private:
    bool find_window(const std::string &title = "bramble");

    XServer &x_;
    Launch how_;
    TempDir tmp_;
    std::string dir_;
    pid_t pid_ = -1;
    std::optional<int> status_;
    Window win_ = 0;
    Clock::time_point start_;
    Shot shot_;
};

// ---------------------------------------------------------------------------
// Playing
// ---------------------------------------------------------------------------

// A stretch of shots with one background colour: one challenge, since every
// switch draws a new colour (two equal draws in a row merge two challenges, about
// one switch in 1331).
struct Segment {
    Rgb bg;
    double first = 0, last = 0; // times of its first and last shot
    double end = -1;            // time of the next segment's first shot; -1 while current
    double gap_before = 0;      // time between the previous shot and its first one
    int shots = 0;
};

// Reads the screen of a running game shot after shot, splitting it into segments,
// and gets past the keyboard prompt (the one screen without a time-out) by
// pressing the letter keys in turn while a screen with a background of the
// palette lasts longer than 0.6 s (challenges time out after 0.4 s at most).
class Player {
  public:
    Player(XServer &x, Game &g) : g_(g), xdo_(x) {}
    // Calls `on_shot` with each shot and the segment it belongs to (the last of
    // `segments`) until it returns true; false after `timeout` seconds.
    bool play(double timeout, const std::function<bool(const Shot &, Segment &)> &on_shot,
              double step = 0.005);
    std::vector<Segment> segments;
    int keys_pressed = 0;

  private:
    Game &g_;
    AsyncXdo xdo_;
    size_t next_key_ = 0;
};

// The start screen's words: "OU " and " ?" at size 4, the start word "PAS" at
// `pas_size`, centred.
std::vector<Text> start_words(int pas_size);
// Polls until the window shows `want`; the last difference is left in `diff`.
bool shows(Game &g, const Picture &want, double timeout, Diff &diff);
// Waits for the start word to have grown to its last size, clicks it, and waits
// for the first background of the palette; `delay` is the time from the button
// going down (for the click that took) to that shot.
bool start_run(XServer &x, Game &g, double &delay);

// Stderr of a run that must show no diagnostics: no ERR or WRN line, no
// sanitizer report. Empty when clean, else the offending text.
std::string unclean(const std::string &stderr_text);

std::string runtime_dir();

} // namespace e2e
