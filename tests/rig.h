// SPDX-License-Identifier: Zlib
// Headless test rig shared by every test: SDL on the dummy video driver with the
// software renderer, engine start/stop as a fixture, pixel read-back, output capture,
// files and pictures made on the fly.
#pragma once

#include "VEK.h"
#include "_.h"

#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

// A pixel as read back: bytes, no alpha.
struct Rgb {
    uint8_t r, g, b;
    bool operator==(const Rgb &o) const { return r == o.r && g == o.g && b == o.b; }
};
std::ostream &operator<<(std::ostream &os, const Rgb &c);

// Pixels of the current render target (or the window when it is the target),
// ARGB8888, row by row.
struct Pixels {
    int w = 0, h = 0;
    std::vector<uint32_t> data;
    Rgb at(int x, int y) const;
};
Pixels read_target(void);  // whatever the renderer targets now
Pixels read_window(void);  // the window's back buffer (targets the window)
Pixels read_picture(void); // the off-screen picture (targets it)
// The off-screen picture into `px`, reusing its memory: for reading every frame.
void read_picture_into(Pixels &px);

// Captures what is written to the file descriptor `fd` between construction and
// text(), at the descriptor level, so the engine's own writes are caught too.
class FdCapture {
  public:
    explicit FdCapture(int fd);
    ~FdCapture();
    FdCapture(const FdCapture &) = delete;
    FdCapture &operator=(const FdCapture &) = delete;
    std::string text(); // stops capturing on first call and returns everything written
  private:
    int fd_;
    int saved_ = -1;
    std::string path_;
    bool done_ = false;
    std::string text_;
};

struct StderrCapture : FdCapture {
    StderrCapture() : FdCapture(2) {}
};
struct StdoutCapture : FdCapture {
    StdoutCapture() : FdCapture(1) {}
};

// Engine fixture: starts the engine before each test with the given config and
// shuts it down after. Tests that need their own config call VEK_Init themselves.
class EngineTest : public ::testing::Test {
  protected:
    void TearDown() override;
};

// A fresh temporary directory, removed with its contents on destruction.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

void write_file(const std::string &path, const std::string &bytes);
std::string read_file(const std::string &path);
// Gives the file the modification time `secs` (whole seconds), as the watcher sees it.
void set_mtime(const std::string &path, long secs);
// Writes the bytes and gives the file the modification time `secs`.
void put_file(const std::string &path, const std::string &bytes, long secs);

// Plugs in an SDL virtual game controller with every button and axis, each on
// the joystick input of the same number; returns its instance id.
SDL_JoystickID attach_virtual_pad(const char *name);

// Queues an SDL touch event (SDL_FINGERDOWN, SDL_FINGERMOTION or SDL_FINGERUP) of
// finger `finger` on touch device `touch` at (x, y), in fractions of the window as
// SDL gives them.
void push_finger(Uint32 type, SDL_FingerID finger, float x, float y, SDL_TouchID touch = 1);

// A pixel that names its own column and row: (4x, 8y, 100).
Rgb coded(int x, int y);

// BMP file bytes (24 bits per pixel) of a w x h picture whose pixel (x, y) is px(x, y),
// or filled with one colour.
std::string make_bmp(int w, int h, const std::function<Rgb(int, int)> &px);
std::string make_bmp(int w, int h, Rgb fill);
