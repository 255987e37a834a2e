// SPDX-License-Identifier: Zlib
#include "harness.h"

#include <SDL.h>
#include <gtest/gtest.h>
// After GoogleTest: Xlib defines macros that clash with its names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <link.h>
#include <poll.h>
#include <random>
#include <spawn.h>
#include <sstream>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace e2e {

double seconds_since(Clock::time_point t) {
    return std::chrono::duration<double>(Clock::now() - t).count();
}

bool poll_until(double timeout, const std::function<bool()> &done, double step) {
    auto start = Clock::now();
    for (;;) {
        if (done()) return true;
        if (seconds_since(start) > timeout) return false;
        std::this_thread::sleep_for(std::chrono::duration<double>(step));
    }
}

std::ostream &operator<<(std::ostream &os, const Rgb &c) {
    return os << "(" << int(c.r) << ", " << int(c.g) << ", " << int(c.b) << ")";
}

uint8_t color_byte(float c) {
    return static_cast<uint8_t>(static_cast<int>(255.0f * c));
}

bool is_palette(Rgb c) {
    auto level = [](uint8_t byte) {
        for (int k = 0; k <= 10; k++)
            if (color_byte(static_cast<float>(k) / 20.0f + 0.2f) == byte) return true;
        return false;
    };
    return level(c.r) && level(c.g) && level(c.b);
}

// ---------------------------------------------------------------------------
// Files
// ---------------------------------------------------------------------------

TempDir::TempDir() {
    char tmpl[] = "/tmp/bramble-e2e-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) ADD_FAILURE() << "mkdtemp: " << strerror(errno);
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void write_file(const std::string &path, const std::string &bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!f) ADD_FAILURE() << "cannot write " << path;
}

std::string read_file(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

static std::string float_samples(size_t n, const std::function<float()> &sample) {
    std::string bytes(n * sizeof(float), '\0');
    for (size_t i = 0; i < n; i++) {
        float v = sample();
        memcpy(&bytes[i * sizeof(float)], &v, sizeof v); // little-endian host
    }
    return bytes;
}

std::string silent_mic(double seconds) {
    return float_samples(static_cast<size_t>(seconds * 44100), [] { return 0.0f; });
}

std::string noise_mic(double seconds) {
    std::mt19937 gen(12345);
    std::uniform_real_distribution<float> full_scale(-1.0f, 1.0f);
    return float_samples(static_cast<size_t>(seconds * 44100), [&] { return full_scale(gen); });
}

// ---------------------------------------------------------------------------
// Screen
// ---------------------------------------------------------------------------

static uint32_t packed(Rgb c) {
    return uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | c.b;
}

static Rgb unpacked(uint32_t p) {
    return Rgb{uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p)};
}

Letterbox letterbox(int win_w, int win_h) {
    if (win_w == 0) win_w = 1;
    if (win_h == 0) win_h = 1;
    float side = static_cast<float>(PICTURE);
    float ratio_w = static_cast<float>(win_w) / side;
    float ratio_h = static_cast<float>(win_h) / side;
    Letterbox lb;
    lb.scale = ratio_h > ratio_w ? ratio_w : ratio_h;
    lb.x = static_cast<int>((static_cast<float>(win_w) - lb.scale * side) / 2.0f);
    lb.y = static_cast<int>((static_cast<float>(win_h) - lb.scale * side) / 2.0f);
    lb.w = static_cast<int>(lb.scale * side);
    lb.h = static_cast<int>(lb.scale * side);
    return lb;
}

Rgb Shot::win(int x, int y) const {
    if (x < 0 || y < 0 || x >= w || y >= h) return BLACK;
    return unpacked(px[size_t(y) * size_t(w) + size_t(x)]);
}

Rgb Shot::at(int x, int y) const {
    int wx = lb.x + static_cast<int>((static_cast<float>(x) + 0.5f) * lb.scale);
    int wy = lb.y + static_cast<int>((static_cast<float>(y) + 0.5f) * lb.scale);
    return win(wx, wy);
}

std::optional<Rgb> Shot::background() const {
    if (w == 0) return std::nullopt;
    Rgb a = at(3, 3), b = at(PICTURE - 4, 3);
    if (a != b) return std::nullopt;
    return a;
}

FontSheet::FontSheet(const std::string &bmp_path) {
    SDL_Surface *raw = SDL_LoadBMP(bmp_path.c_str());
    if (raw == nullptr) {
        ADD_FAILURE() << "cannot load " << bmp_path << ": " << SDL_GetError();
        return;
    }
    SDL_Surface *s = SDL_ConvertSurfaceFormat(raw, SDL_PIXELFORMAT_ARGB8888, 0);
    SDL_FreeSurface(raw);
    if (s == nullptr) {
        ADD_FAILURE() << "cannot convert " << bmp_path << ": " << SDL_GetError();
        return;
    }
    w = s->w;
    h = s->h;
    argb.resize(size_t(w) * size_t(h));
    for (int y = 0; y < h; y++)
        memcpy(&argb[size_t(y) * size_t(w)], static_cast<uint8_t *>(s->pixels) + y * s->pitch,
               size_t(w) * 4);
    SDL_FreeSurface(s);
}

bool FontSheet::lit(unsigned char code, int gx, int gy) const {
    int x = (code % 16) * 16 + gx, y = (code / 16) * 32 + gy;
    if (x >= w || y >= h) return false;
    return (argb[size_t(y) * size_t(w) + size_t(x)] >> 24) >= 128;
}

static bool blank(char c) {
    unsigned char code = static_cast<unsigned char>(c);
    return code == ' ' || code == '\n' || code >= 128;
}

Rgb Picture::at(int x, int y) const {
    return unpacked(px[size_t(y) * PICTURE + size_t(x)]);
}

void Picture::set(int x, int y, Rgb c) {
    px[size_t(y) * PICTURE + size_t(x)] = packed(c);
}

Picture render(const FontSheet &font, Rgb background, const std::vector<Text> &texts) {
    Picture pic;
    for (uint32_t &p : pic.px) p = packed(background);
    for (const Text &t : texts) {
        for (size_t i = 0; i < t.s.size(); i++) {
            if (blank(t.s[i])) continue;
            int x0 = t.x + 16 * static_cast<int>(i) * t.size;
            for (int gy = 0; gy < 32; gy++)
                for (int gx = 0; gx < 16; gx++) {
                    if (!font.lit(static_cast<unsigned char>(t.s[i]), gx, gy)) continue;
                    for (int dy = 0; dy < t.size; dy++)
                        for (int dx = 0; dx < t.size; dx++) {
                            int x = x0 + gx * t.size + dx, y = t.y + gy * t.size + dy;
                            if (x >= 0 && y >= 0 && x < PICTURE && y < PICTURE)
                                pic.set(x, y, t.ink);
                        }
                }
        }
    }
    return pic;
}

Diff compare(const Shot &shot, const Picture &want) {
    Diff d;
    if (shot.w == 0) {
        d.count = PICTURE * PICTURE;
        d.first = "no window";
        return d;
    }
    const Letterbox &lb = shot.lb;
    bool exact = lb.scale == 1.0f;
    if (exact && lb.w == PICTURE && lb.h == PICTURE && lb.x >= 0 && lb.y >= 0 &&
        lb.x + PICTURE <= shot.w && lb.y + PICTURE <= shot.h) {
        // Unscaled: whole rows compare at once, pixels only where a row differs.
        for (int y = 0; y < PICTURE; y++) {
            const uint32_t *got = &shot.px[size_t(lb.y + y) * size_t(shot.w) + size_t(lb.x)];
            const uint32_t *row = &want.px[size_t(y) * PICTURE];
            if (memcmp(got, row, PICTURE * sizeof(uint32_t)) == 0) continue;
            for (int x = 0; x < PICTURE; x++) {
                if (got[x] == row[x]) continue;
                if (d.count++ == 0) {
                    std::ostringstream s;
                    s << "picture (" << x << ", " << y << ") shows " << unpacked(got[x])
                      << ", want " << unpacked(row[x]);
                    d.first = s.str();
                }
            }
        }
        return d;
    }
    for (int wy = lb.y; wy < lb.y + lb.h; wy++) {
        float v = (static_cast<float>(wy - lb.y) + 0.5f) / lb.scale;
        float fv = v - std::floor(v);
        if (!exact && (fv < 0.02f || fv > 0.98f)) continue;
        for (int wx = lb.x; wx < lb.x + lb.w; wx++) {
            float u = (static_cast<float>(wx - lb.x) + 0.5f) / lb.scale;
            float fu = u - std::floor(u);
            if (!exact && (fu < 0.02f || fu > 0.98f)) continue;
            int px = static_cast<int>(u), py = static_cast<int>(v);
            if (px >= PICTURE || py >= PICTURE) continue;
            Rgb got = shot.win(wx, wy);
            if (got == want.at(px, py)) continue;
            if (d.count++ == 0) {
                std::ostringstream s;
                s << "picture (" << px << ", " << py << ") shows " << got << ", want "
                  << want.at(px, py);
                d.first = s.str();
            }
        }
    }
    return d;
}

std::optional<Rgb> glyphs_shown(const Shot &shot, const FontSheet &font, const Text &text, Rgb bg) {
    std::optional<Rgb> ink;
    for (size_t i = 0; i < text.s.size(); i++) {
        if (blank(text.s[i])) continue;
        int x0 = text.x + 16 * static_cast<int>(i) * text.size;
        for (int gy = 0; gy < 32; gy++)
            for (int gx = 0; gx < 16; gx++) {
                Rgb p = shot.at(x0 + gx * text.size + text.size / 2,
                                text.y + gy * text.size + text.size / 2);
                bool lit = font.lit(static_cast<unsigned char>(text.s[i]), gx, gy);
                if (!lit) {
                    if (p != bg) return std::nullopt;
                    continue;
                }
                if (p == bg) return std::nullopt;
                if (!ink) ink = p;
                if (*ink != p) return std::nullopt;
            }
    }
    return ink;
}

std::optional<std::pair<int, int>> find_run(const Shot &shot, Rgb colour, int length, int y_from,
                                            int y_to) {
    for (int y = y_from; y < y_to; y++) {
        int run = 0;
        for (int x = 0; x <= PICTURE; x++) {
            if (x < PICTURE && shot.at(x, y) == colour) {
                run++;
                continue;
            }
            if (run == length) return std::make_pair(x - length, y);
            run = 0;
        }
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------
// Processes
// ---------------------------------------------------------------------------

static std::vector<char *> c_strings(const std::vector<std::string> &v) {
    std::vector<char *> out;
    for (const std::string &s : v) out.push_back(const_cast<char *>(s.c_str()));
    out.push_back(nullptr);
    return out;
}

static pid_t spawn_with(const std::vector<std::string> &argv, const std::vector<std::string> &env,
                        const std::string &out_path, const std::string &err_path, int extra_fd,
                        int extra_fd_as, int stdin_fd = -1) {
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (stdin_fd >= 0)
        posix_spawn_file_actions_adddup2(&fa, stdin_fd, 0);
    else
        posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, out_path.empty() ? "/dev/null" : out_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&fa, 2, err_path.empty() ? "/dev/null" : err_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (extra_fd >= 0) posix_spawn_file_actions_adddup2(&fa, extra_fd, extra_fd_as);
    std::vector<char *> args = c_strings(argv), envp = c_strings(env);
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) {
        ADD_FAILURE() << "cannot start " << argv[0] << ": " << strerror(rc);
        return -1;
    }
    return pid;
}

pid_t spawn(const std::vector<std::string> &argv, const std::vector<std::string> &env,
            const std::string &out_path, const std::string &err_path) {
    return spawn_with(argv, env, out_path, err_path, -1, -1);
}

std::optional<int> wait_for(pid_t pid, double timeout) {
    if (pid <= 0) return std::nullopt;
    std::optional<int> status;
    poll_until(
        timeout,
        [&] {
            int st = 0;
            pid_t r = waitpid(pid, &st, WNOHANG);
            if (r == pid) status = st;
            return r == pid || r < 0;
        },
        0.002);
    return status;
}

void stop(pid_t pid, double grace) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    if (wait_for(pid, grace)) return;
    kill(pid, SIGKILL);
    int st = 0;
    waitpid(pid, &st, 0);
}

static std::vector<std::string> base_env() {
    std::vector<std::string> env = {"PATH=/usr/local/bin:/usr/bin:/bin"};
    if (const char *home = getenv("HOME")) env.push_back(std::string("HOME=") + home);
    return env;
}

static bool x_error_seen = false;

static int ignore_x_errors(Display *, XErrorEvent *) {
    // A window that went away between two requests is not the test's failure;
    // the requests that care look at the flag.
    x_error_seen = true;
    return 0;
}

// A pipe with both ends away from fd 3 (which the X server gets) and closed in
// every other child.
static bool high_pipe(int fds[2]) {
    int raw[2];
    if (pipe(raw) != 0) {
        ADD_FAILURE() << "pipe: " << strerror(errno);
        return false;
    }
    fds[0] = fcntl(raw[0], F_DUPFD_CLOEXEC, 10);
    fds[1] = fcntl(raw[1], F_DUPFD_CLOEXEC, 10);
    close(raw[0]);
    close(raw[1]);
    return true;
}

XServer::XServer() {
    XSetErrorHandler(ignore_x_errors);
    // The server picks a free display number itself and writes it to the pipe once
    // it accepts connections, so parallel tests never race for a number.
    int fds[2];
    if (!high_pipe(fds)) return;
    pid_ = spawn_with(
        {"Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"},
        base_env(), "", dir_.file("xvfb.log"), fds[1], 3);
    close(fds[1]);
    std::string number;
    auto start = Clock::now();
    while (seconds_since(start) < 20.0) {
        pollfd p = {fds[0], POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char c;
        ssize_t n = read(fds[0], &c, 1);
        if (n <= 0 || c == '\n') break;
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        ADD_FAILURE() << "Xvfb did not start: " << read_file(dir_.file("xvfb.log"));
        return;
    }
    name_ = ":" + number;
    dpy_ = XOpenDisplay(name_.c_str());
    if (dpy_ == nullptr) ADD_FAILURE() << "cannot open display " << name_;
}

struct XServer::Shm {
    XImage *img = nullptr;
    XShmSegmentInfo info{};
    int w = 0, h = 0;
};

XServer::~XServer() {
    drop_shm();
    if (dpy_ != nullptr) XCloseDisplay(dpy_);
    stop(pid_, 5.0);
}

void XServer::drop_shm() {
    if (!shm_ || shm_->img == nullptr) return;
    XShmDetach(dpy_, &shm_->info);
    XSync(dpy_, False);
    shm_->img->data = nullptr; // the segment is not the image's to free
    XDestroyImage(shm_->img);
    shmdt(shm_->info.shmaddr);
    shm_->img = nullptr;
}

bool XServer::grab(int x, int y, int w, int h, std::vector<uint32_t> &px) {
    if (dpy_ == nullptr || w <= 0 || h <= 0) return false;
    Window root = DefaultRootWindow(dpy_);
    XImage *img = nullptr;
    if (use_shm_ && !shm_) {
        shm_ = std::make_unique<Shm>();
        use_shm_ = XShmQueryExtension(dpy_);
    }
    if (use_shm_ && (shm_->img == nullptr || shm_->w != w || shm_->h != h)) {
        drop_shm();
        int screen = DefaultScreen(dpy_);
        Shm &m = *shm_;
        m.img =
            XShmCreateImage(dpy_, DefaultVisual(dpy_, screen), unsigned(DefaultDepth(dpy_, screen)),
                            ZPixmap, nullptr, &m.info, unsigned(w), unsigned(h));
        m.info.shmid =
            m.img != nullptr
                ? shmget(IPC_PRIVATE, size_t(m.img->bytes_per_line) * size_t(h), IPC_CREAT | 0600)
                : -1;
        if (m.info.shmid >= 0) {
            m.info.shmaddr = m.img->data = static_cast<char *>(shmat(m.info.shmid, nullptr, 0));
            m.info.readOnly = False;
            x_error_seen = false;
            XShmAttach(dpy_, &m.info);
            XSync(dpy_, False);
            // Freed by the system once both sides have detached, even if we crash.
            shmctl(m.info.shmid, IPC_RMID, nullptr);
        }
        if (m.info.shmid < 0 || x_error_seen) {
            if (m.img != nullptr && m.info.shmid >= 0) {
                m.img->data = nullptr;
                XDestroyImage(m.img);
                shmdt(m.info.shmaddr);
            } else if (m.img != nullptr) {
                XDestroyImage(m.img);
            }
            m.img = nullptr;
            use_shm_ = false;
        } else {
            m.w = w;
            m.h = h;
        }
    }
    if (use_shm_) {
        x_error_seen = false;
        if (!XShmGetImage(dpy_, root, shm_->img, x, y, AllPlanes) || x_error_seen) return false;
        img = shm_->img;
    } else {
        img = XGetImage(dpy_, root, x, y, unsigned(w), unsigned(h), AllPlanes, ZPixmap);
        if (img == nullptr) return false;
    }
    bool ok = img->bits_per_pixel == 32 && img->red_mask == 0xFF0000 && img->blue_mask == 0xFF;
    if (ok) {
        px.resize(size_t(w) * size_t(h));
        for (int row = 0; row < h; row++)
            memcpy(&px[size_t(row) * size_t(w)],
                   img->data + size_t(row) * size_t(img->bytes_per_line), size_t(w) * 4);
        for (uint32_t &p : px) p &= 0xFFFFFF;
    } else {
        ADD_FAILURE() << "unexpected X image format: " << img->bits_per_pixel << " bpp";
    }
    if (img != (shm_ ? shm_->img : nullptr)) XDestroyImage(img);
    return ok;
}

static std::vector<std::string> xdo_argv(const std::vector<std::string> &args) {
    std::vector<std::string> argv = {"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

static std::vector<std::string> x_env(const XServer &x) {
    std::vector<std::string> env = base_env();
    env.push_back("DISPLAY=" + x.name());
    return env;
}

bool xdotool(const XServer &x, const std::vector<std::string> &args) {
    pid_t pid = spawn(xdo_argv(args), x_env(x), "", "");
    std::optional<int> st = wait_for(pid, 20.0);
    if (!st) {
        stop(pid, 1.0);
        return false;
    }
    return WIFEXITED(*st) && WEXITSTATUS(*st) == 0;
}

XdoStream::XdoStream(const XServer &x) {
    int fds[2];
    if (!high_pipe(fds)) return;
    pid_ = spawn_with(xdo_argv({"-"}), x_env(x), "", "", -1, -1, fds[0]);
    close(fds[0]);
    fd_ = fds[1];
}

XdoStream::~XdoStream() {
    if (fd_ >= 0) close(fd_); // end of its script: it exits
    if (pid_ > 0 && !wait_for(pid_, 10.0)) stop(pid_, 1.0);
}

bool XdoStream::send(const std::string &commands) {
    if (fd_ < 0) return false;
    return write(fd_, commands.data(), commands.size()) == static_cast<ssize_t>(commands.size());
}

AsyncXdo::~AsyncXdo() {
    if (pid_ > 0 && !wait_for(pid_, 10.0)) stop(pid_, 1.0);
}

bool AsyncXdo::busy() {
    if (pid_ <= 0) return false;
    int st = 0;
    if (waitpid(pid_, &st, WNOHANG) == 0) return true;
    pid_ = -1;
    return false;
}

bool AsyncXdo::start(const std::vector<std::string> &args) {
    if (busy()) return false;
    pid_ = spawn(xdo_argv(args), x_env(x_), "", "");
    return pid_ > 0;
}

// ---------------------------------------------------------------------------
// The game
// ---------------------------------------------------------------------------

std::string runtime_dir() {
    const char *dir = getenv("BRAMBLE_RUNTIME_DIR");
    return dir != nullptr && *dir != '\0' ? dir : BRAMBLE_RUNTIME_DIR_DEFAULT;
}

// Path of a shared library loaded into this process whose file name starts with
// `stem`, or "".
static std::string loaded_library(const std::string &stem) {
    struct Search {
        std::string stem, path;
    } search{stem, ""};
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *data) {
            auto *s = static_cast<Search *>(data);
            std::string name = info->dlpi_name != nullptr ? info->dlpi_name : "";
            if (fs::path(name).filename().string().rfind(s->stem, 0) == 0) s->path = name;
            return 0;
        },
        &search);
    return search.path;
}

// Mesa's GL driver is loaded by the GLX library when SDL creates its OpenGL
// renderer and unloaded again when SDL closes the X display at SDL_Quit. Blocks
// the driver still holds then lose the only references LeakSanitizer could see
// (the driver's own data, now unmapped) and are reported as leaks of an
// "<unknown module>", turning every clean exit into status 1. Preloading the
// driver keeps it mapped until the process ends, so its blocks stay reachable
// and nothing needs suppressing: any leak LeakSanitizer still reports is real,
// the project's own included. (Suppressing by the driver's frames instead would
// need the slow unwinder on every malloc, which deadlocks inside the unwinder
// as soon as llvmpipe's JIT registers its frames.) The sanitizer runtime must
// come first in the preload list.
static std::string gl_driver_preload() {
    std::string list;
    std::string asan = loaded_library("libasan.so");
    if (!asan.empty()) list = asan;
    std::string driver = BRAMBLE_E2E_GL_DRIVER;
    if (!driver.empty() && fs::exists(driver)) list += (list.empty() ? "" : " ") + driver;
    return list;
}

Game::Game(XServer &x, Mic mic, const std::function<void(const std::string &dir)> &prepare,
           const Launch &how)
    : x_(x), how_(how) {
    dir_ = tmp_.file(how.folder);
    std::string src = how.runtime_dir.empty() ? runtime_dir() : how.runtime_dir;
    std::error_code ec;
    if (how.in_place) {
        dir_ = src;
    } else {
        fs::create_directory(dir_, ec);
        for (const std::string &part : {how.exe, std::string("asset"), std::string("res")}) {
            fs::copy(src + "/" + part, dir_ + "/" + part, fs::copy_options::recursive, ec);
            if (ec) ADD_FAILURE() << "cannot copy " << src << "/" << part << ": " << ec.message();
        }
    }
    std::string mic_path = tmp_.file("mic.raw");
    if (mic == Mic::SILENT) write_file(mic_path, silent_mic(1.0));
    if (mic == Mic::LOUD) write_file(mic_path, noise_mic(60.0));
    if (prepare) prepare(dir_);
    auto game_path = [&](const std::string &p) { return how.game_path ? how.game_path(p) : p; };

    std::vector<std::string> env = x_env(x_);
    env.push_back("SDL_AUDIODRIVER=disk");
    env.push_back("SDL_DISKAUDIOFILE=" + game_path(tmp_.file("speaker.raw")));
    env.push_back("SDL_DISKAUDIOFILEIN=" + game_path(mic_path));
    env.push_back("DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent");
    env.insert(env.end(), how.env.begin(), how.env.end());
    // Started as from a desktop (no terminal), a fatal stop would wait in a message
    // box until someone closes it. The tests read standard error; the one about the
    // box names the setting itself.
    if (std::none_of(how.env.begin(), how.env.end(),
                     [](const std::string &e) { return e.rfind("VEK_FATAL_NOTICE=", 0) == 0; }))
        env.push_back("VEK_FATAL_NOTICE=stderr");
    if (how.runner.empty()) {
        // Any sanitizer finding ends the game with a report on stderr and a non-zero
        // status; both are checked by the tests.
        env.push_back("ASAN_OPTIONS=detect_leaks=1:halt_on_error=1");
        env.push_back("UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1");
        std::string preload = gl_driver_preload();
        if (!preload.empty()) env.push_back("LD_PRELOAD=" + preload);
    }

    std::vector<std::string> argv = how.runner;
    argv.push_back(dir_ + "/" + how.exe);
    start_ = Clock::now();
    pid_ = spawn(argv, env, tmp_.file("stdout.txt"), tmp_.file("stderr.txt"));
}

Game::~Game() {
    if (running()) stop(pid_, 10.0);
    if (!how_.after.empty()) {
        std::vector<std::string> env = base_env();
        env.insert(env.end(), how_.env.begin(), how_.env.end());
        pid_t pid = spawn(how_.after, env, "", "");
        if (!wait_for(pid, 30.0)) stop(pid, 1.0);
    }
}

bool Game::running() {
    if (pid_ <= 0 || status_) return false;
    int st = 0;
    pid_t r = waitpid(pid_, &st, WNOHANG);
    if (r == 0) return true;
    status_ = (r == pid_ && WIFEXITED(st)) ? WEXITSTATUS(st) : -1;
    return false;
}

std::optional<int> Game::wait_exit(double timeout) {
    poll_until(
        timeout, [&] { return !running(); }, 0.005);
    return status_;
}

void Game::kill_signal(int sig) {
    if (running()) kill(pid_, sig);
}

static std::string window_name(Display *dpy, Window w) {
    char *name = nullptr;
    std::string out;
    if (XFetchName(dpy, w, &name) && name != nullptr) out = name;
    if (name != nullptr) XFree(name);
    return out;
}

bool Game::find_window(const std::string &title) {
    Display *dpy = x_.dpy();
    if (dpy == nullptr) return false;
    Window root_ret, parent;
    Window *children = nullptr;
    unsigned int n = 0;
    win_ = 0;
    if (!XQueryTree(dpy, DefaultRootWindow(dpy), &root_ret, &parent, &children, &n)) return false;
    for (unsigned int i = 0; i < n && win_ == 0; i++) {
        XWindowAttributes a;
        if (XGetWindowAttributes(dpy, children[i], &a) && a.map_state == IsViewable &&
            window_name(dpy, children[i]) == title)
            win_ = children[i];
    }
    if (children != nullptr) XFree(children);
    return win_ != 0;
}

bool Game::wait_window(double timeout) {
    return poll_until(timeout, [&] { return find_window() || !running(); }) && win_ != 0;
}

bool Game::wait_window(double timeout, const std::string &title) {
    return poll_until(timeout, [&] { return find_window(title) || !running(); }) && win_ != 0;
}

bool Game::geometry(int &x, int &y, int &w, int &h) {
    Display *dpy = x_.dpy();
    if (dpy == nullptr) return false;
    XWindowAttributes a;
    bool known = win_ != 0 && XGetWindowAttributes(dpy, win_, &a) && a.map_state == IsViewable;
    if (!known && !(find_window() && XGetWindowAttributes(dpy, win_, &a))) return false;
    Window child;
    if (!XTranslateCoordinates(dpy, win_, DefaultRootWindow(dpy), 0, 0, &x, &y, &child))
        return false;
    w = a.width;
    h = a.height;
    return true;
}

const Shot &Game::shot() {
    Shot &s = shot_;
    int x, y, w, h;
    if (!geometry(x, y, w, h) || !x_.grab(x, y, w, h, s.px)) {
        s.w = s.h = 0;
        return s;
    }
    s.w = w;
    s.h = h;
    s.lb = letterbox(w, h);
    s.t = seconds_since(start_);
    return s;
}

bool Game::root_of(int px, int py, int &rx, int &ry) {
    int x, y, w, h;
    if (!geometry(x, y, w, h)) return false;
    Letterbox lb = letterbox(w, h);
    rx = x + lb.x + static_cast<int>((static_cast<float>(px) + 0.5f) * lb.scale);
    ry = y + lb.y + static_cast<int>((static_cast<float>(py) + 0.5f) * lb.scale);
    return true;
}

bool Game::move_to(int px, int py) {
    int rx, ry;
    if (!root_of(px, py, rx, ry)) return false;
    return xdotool(x_, {"mousemove", std::to_string(rx), std::to_string(ry)});
}

bool Game::close_window() {
    Display *dpy = x_.dpy();
    if (dpy == nullptr || !find_window()) return false;
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = win_;
    e.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    bool sent = XSendEvent(dpy, win_, False, NoEventMask, &e) != 0;
    XFlush(dpy);
    return sent;
}

bool Game::click(int px, int py) {
    int rx, ry;
    if (!root_of(px, py, rx, ry)) return false;
    return xdotool(x_, {"mousemove", std::to_string(rx), std::to_string(ry), "click", "1"});
}

bool Player::play(double timeout, const std::function<bool(const Shot &, Segment &)> &on_shot,
                  double step) {
    // Every letter key but M, the one position never asked for.
    static const char *const keys = "qwertyuiopasdfghjklzxcvbn";
    auto start = Clock::now();
    double last_t = -1;
    while (seconds_since(start) < timeout) {
        const Shot &s = g_.shot();
        std::optional<Rgb> bg = s.background();
        if (bg) {
            if (segments.empty() || segments.back().bg != *bg) {
                if (!segments.empty()) segments.back().end = s.t;
                Segment seg;
                seg.bg = *bg;
                seg.first = s.t;
                seg.gap_before = last_t < 0 ? 0 : s.t - last_t;
                segments.push_back(seg);
            }
            Segment &cur = segments.back();
            cur.last = s.t;
            cur.shots++;
            last_t = s.t;
            if (on_shot(s, cur)) return true;
            bool stuck = is_palette(cur.bg) && s.t - cur.first > 0.6;
            if (stuck && !xdo_.busy()) {
                // Five keys per call, each held across frames so that it goes down
                // in a frame of its own: the prompt judges only the first key of a
                // frame.
                std::vector<std::string> args;
                for (int i = 0; i < 5; i++) {
                    std::string key(1, keys[next_key_++ % 25]);
                    args.insert(args.end(), {"keydown", key, "sleep", "0.06", "keyup", key});
                }
                if (xdo_.start(args)) keys_pressed += 5;
            }
        }
        if (!g_.running()) return false;
        std::this_thread::sleep_for(std::chrono::duration<double>(step));
    }
    return false;
}

std::vector<Text> start_words(int pas_size) {
    int w = 3 * 16 * pas_size, h = 32 * pas_size;
    return {{"OU ", 84, 258, 4},
            {" ?", 366, 258, 4},
            {"PAS", (PICTURE - w) / 2, (PICTURE - h) / 2, pas_size}};
}

bool shows(Game &g, const Picture &want, double timeout, Diff &diff) {
    return poll_until(timeout, [&] {
        diff = compare(g.shot(), want);
        return diff.count == 0;
    });
}

bool start_run(XServer &x, Game &g, double &delay) {
    FontSheet font(g.dir() + "/asset/atarifont.bmp");
    Diff diff;
    if (!shows(g, render(font, START_RED, start_words(10)), 30.0, diff)) {
        ADD_FAILURE() << "start screen not shown: " << diff.first;
        return false;
    }
    for (int attempt = 0; attempt < 3; attempt++) {
        int rx, ry;
        if (!g.root_of(320, 320, rx, ry) ||
            !xdotool(x, {"mousemove", std::to_string(rx), std::to_string(ry), "mousedown", "1"}))
            return false;
        auto pressed = Clock::now();
        AsyncXdo up(x);
        up.start({"sleep", "0.06", "mouseup", "1"});
        bool started = poll_until(
            3.0,
            [&] {
                std::optional<Rgb> bg = g.shot().background();
                return bg && is_palette(*bg);
            },
            0.001);
        delay = seconds_since(pressed);
        if (started) return true;
    }
    return false;
}

bool Game::click_until(int px, int py, const std::function<bool()> &effect, int attempts,
                       double wait) {
    for (int i = 0; i < attempts; i++) {
        if (!click(px, py)) return false;
        if (poll_until(wait, effect)) return true;
    }
    return false;
}

std::string unclean(const std::string &stderr_text) {
    std::istringstream in(stderr_text);
    std::string line, bad;
    // ERR and WRN lines start with their level (after its colour code on a terminal).
    for (const char *mark : {"ERR ", "WRN ", "runtime error", "Sanitizer", "assert failed"}) {
        bool level = mark[3] == ' ';
        in.clear();
        in.seekg(0);
        while (std::getline(in, line)) {
            size_t at = line.find(mark);
            if (at != std::string::npos && (!level || at == 0 || line.rfind("\x1b[", 0) == 0))
                bad += line + "\n";
        }
    }
    return bad;
}

} // namespace e2e
