// Headless test rig shared by every test: SDL on the dummy video driver with the
// software renderer, engine start/stop as a fixture, pixel read-back, stderr capture.
#pragma once

#include "VEK.h"
#include "_.h"

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
Pixels read_target(void);           // whatever the renderer targets now
Pixels read_window(void);           // the window's back buffer (targets the window)
Pixels read_picture(void);          // the off-screen picture (targets it)

// Captures what is written to stderr (fd 2) between construction and text().
class StderrCapture {
  public:
    StderrCapture();
    ~StderrCapture();
    std::string text(); // stops capturing on first call and returns everything written
  private:
    int saved_ = -1;
    std::string path_;
    bool done_ = false;
    std::string text_;
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
