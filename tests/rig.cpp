#include "rig.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
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

Pixels read_target(void) {
    Pixels px;
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
    return px;
}

Pixels read_window(void) {
    SDL_SetRenderTarget(___vek_renderer, nullptr);
    return read_target();
}

Pixels read_picture(void) {
    SDL_SetRenderTarget(___vek_renderer, ___vek_target);
    return read_target();
}

StderrCapture::StderrCapture() {
    char tmpl[] = "/tmp/bramble-stderr-XXXXXX";
    int fd = mkstemp(tmpl);
    path_ = tmpl;
    fflush(stderr);
    saved_ = dup(2);
    dup2(fd, 2);
    close(fd);
}

std::string StderrCapture::text() {
    if (!done_) {
        fflush(stderr);
        dup2(saved_, 2);
        close(saved_);
        done_ = true;
        text_ = read_file(path_);
        unlink(path_.c_str());
    }
    return text_;
}

StderrCapture::~StderrCapture() { text(); }

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

std::string read_file(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

int main(int argc, char **argv) {
    // Headless by default; a caller's own settings win.
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    setenv("SDL_RENDER_DRIVER", "software", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent", 0);
    setenv("BRAMBLE_RUNTIME_DIR", BRAMBLE_RUNTIME_DIR_DEFAULT, 0);
    setenv("BRAMBLE_SOURCE_DIR", BRAMBLE_SOURCE_DIR_DEFAULT, 0);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    return RUN_ALL_TESTS();
}
