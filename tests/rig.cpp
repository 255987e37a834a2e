// SPDX-License-Identifier: Zlib
#include "rig.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::ostream &operator<<(std::ostream &os, const Rgb &c) {
    return os << "(" << int(c.r) << ", " << int(c.g) << ", " << int(c.b) << ")";
}

Rgb Pixels::at(int x, int y) const {
    uint32_t p = data[static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)];
    return Rgb{uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)};
}

extern SDL_Renderer *___vek_renderer;
extern SDL_Texture *___vek_target;

static void read_target_into(Pixels &px) {
    SDL_Rect vp;
    SDL_RenderGetViewport(___vek_renderer, &vp);
    SDL_Texture *t = SDL_GetRenderTarget(___vek_renderer);
    if (t != nullptr) {
        SDL_QueryTexture(t, nullptr, nullptr, &px.w, &px.h);
    } else {
        SDL_GetRendererOutputSize(___vek_renderer, &px.w, &px.h);
    }
    px.data.resize(static_cast<size_t>(px.w) * static_cast<size_t>(px.h));
    SDL_Rect all = {0, 0, px.w, px.h};
    if (SDL_RenderReadPixels(___vek_renderer, &all, SDL_PIXELFORMAT_ARGB8888, px.data.data(),
                             px.w * 4) != 0)
        ADD_FAILURE() << "SDL_RenderReadPixels: " << SDL_GetError();
}

Pixels read_target(void) {
    Pixels px;
    read_target_into(px);
    return px;
}

Pixels read_window(void) {
    SDL_SetRenderTarget(___vek_renderer, nullptr);
    return read_target();
}

Pixels read_picture(void) {
    Pixels px;
    read_picture_into(px);
    return px;
}

void read_picture_into(Pixels &px) {
    SDL_SetRenderTarget(___vek_renderer, ___vek_target);
    read_target_into(px);
}

FdCapture::FdCapture(int fd) : fd_(fd) {
    char tmpl[] = "/tmp/bramble-capture-XXXXXX";
    int file = mkstemp(tmpl);
    path_ = tmpl;
    fflush(nullptr); // what was buffered before belongs to the old target
    saved_ = dup(fd_);
    dup2(file, fd_);
    close(file);
}

std::string FdCapture::text() {
    if (!done_) {
        fflush(nullptr);
        dup2(saved_, fd_);
        close(saved_);
        done_ = true;
        text_ = read_file(path_);
        unlink(path_.c_str());
    }
    return text_;
}

FdCapture::~FdCapture() {
    text();
}

void EngineTest::TearDown() {
    VEK_Quit();
    wdeinit();
}

TempDir::TempDir() {
    char tmpl[] = "/tmp/bramble-test-XXXXXX";
    path_ = mkdtemp(tmpl);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void write_file(const std::string &path, const std::string &bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void set_mtime(const std::string &path, long secs) {
    struct timespec times[2] = {{secs, 0}, {secs, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path << ": " << strerror(errno);
}

void put_file(const std::string &path, const std::string &bytes, long secs) {
    write_file(path, bytes);
    set_mtime(path, secs);
}

SDL_JoystickID attach_virtual_pad(const char *name) {
    SDL_VirtualJoystickDesc desc;
    SDL_zero(desc);
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = SDL_CONTROLLER_AXIS_MAX;
    desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
    // SDL builds the pad's mapping from these masks.
    desc.button_mask = (1u << SDL_CONTROLLER_BUTTON_MAX) - 1;
    desc.axis_mask = (1u << SDL_CONTROLLER_AXIS_MAX) - 1;
    desc.name = name;
    int index = SDL_JoystickAttachVirtualEx(&desc);
    EXPECT_GE(index, 0) << SDL_GetError();
    return SDL_JoystickGetDeviceInstanceID(index);
}

void push_finger(Uint32 type, SDL_FingerID finger, float x, float y, SDL_TouchID touch) {
    SDL_Event ev;
    SDL_zero(ev);
    ev.type = type;
    ev.tfinger.touchId = touch;
    ev.tfinger.fingerId = finger;
    ev.tfinger.x = x;
    ev.tfinger.y = y;
    ev.tfinger.pressure = type == SDL_FINGERUP ? 0.0f : 1.0f;
    ASSERT_EQ(SDL_PushEvent(&ev), 1) << SDL_GetError();
}

std::string read_file(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

Rgb coded(int x, int y) {
    return Rgb{uint8_t(4 * x), uint8_t(8 * y), 100};
}

std::string make_bmp(int w, int h, const std::function<Rgb(int, int)> &px) {
    SDL_Surface *s = SDL_CreateRGBSurfaceWithFormat(0, w, h, 24, SDL_PIXELFORMAT_RGB24);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            auto *p = static_cast<uint8_t *>(s->pixels) + y * s->pitch + x * 3;
            Rgb c = px(x, y);
            p[0] = c.r, p[1] = c.g, p[2] = c.b;
        }
    std::string buf(size_t(w * h * 4 + 1024), '\0');
    SDL_RWops *rw = SDL_RWFromMem(buf.data(), int(buf.size()));
    SDL_SaveBMP_RW(s, rw, 0);
    buf.resize(size_t(SDL_RWtell(rw)));
    SDL_RWclose(rw);
    SDL_FreeSurface(s);
    return buf;
}

std::string make_bmp(int w, int h, Rgb fill) {
    return make_bmp(w, h, [fill](int, int) { return fill; });
}

int main(int argc, char **argv) {
    // Headless by default; a caller's own settings win.
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_RENDER_DRIVER", "software", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent", 0);
    // A fatal stop of a test (or of the game a test starts) says so on standard
    // error only: a message box would wait for someone to close it.
    setenv("VEK_FATAL_NOTICE", "stderr", 0);
    setenv("BRAMBLE_RUNTIME_DIR", BRAMBLE_RUNTIME_DIR_DEFAULT, 0);
    setenv("BRAMBLE_SOURCE_DIR", BRAMBLE_SOURCE_DIR_DEFAULT, 0);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    return RUN_ALL_TESTS();
}
