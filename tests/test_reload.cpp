// SPDX-License-Identifier: Zlib
// Hot reload: real files whose whole-second modification times are set by hand,
// watched pass by pass.
#include "rig.h"
#include "vek_internal.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const long T0 = 1600000000; // a whole second, far from "now"

size_t count(const std::string &text, const std::string &what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
}

class Reload : public EngineTest {
  protected:
    TempDir dir;
    std::string pic;
    VEK_Uint id = 0;

    void SetUp() override {
        ASSERT_EQ(VEK_Init(.width = 32, .height = 32, .target_fps = 0, .mixer = VEK_MIXER_OFF,
                           .basepath = dir.path().c_str()),
                  0);
        pic = dir.file("pic.bmp");
    }

    // Loads an 8x4 red picture and lets the watcher record its time T0.
    void load_watched_picture() {
        put_file(pic, make_bmp(8, 4, Rgb{255, 0, 0}), T0);
        id = VEK_LoadResource(pic.c_str());
        ASSERT_EQ(id, 1u);
        VEK_ResourcesWatch();
        ASSERT_EQ(VEK_GetResourcePointer(id)->mtime, T0);
    }

    // The colour the picture's top-left pixel draws with, read back from the frame.
    Rgb drawn_colour() {
        VEK_DrawBegin();
        VEK_DrawSetColor(.r = 1, .g = 1, .b = 1, .a = 1);
        VEK_DrawImage(.id = id, .x = 0, .y = 0);
        return read_picture().at(0, 0);
    }
};

} // namespace

TEST_F(Reload, FirstPassRecordsTheTimeOnly) {
    put_file(pic, make_bmp(8, 4, Rgb{255, 0, 0}), T0);
    id = VEK_LoadResource(pic.c_str());
    ASSERT_EQ(id, 1u);
    EXPECT_EQ(VEK_GetResourcePointer(id)->mtime, 0);
    // Changed on disk before the watcher ever saw it: recorded, not reloaded.
    put_file(pic, make_bmp(12, 6, Rgb{0, 0, 255}), T0 + 10);
    StderrCapture cap;
    VEK_ResourcesWatch();
    VEK_ResourcesWatch();
    EXPECT_EQ(cap.text(), "");
    EXPECT_EQ(VEK_GetResourcePointer(id)->mtime, T0 + 10);
    EXPECT_EQ(VEK_GetImageWidth(id), 8);
}

TEST_F(Reload, ChangedTimeReloadsUnderTheSameId) {
    load_watched_picture();
    EXPECT_EQ(drawn_colour(), (Rgb{255, 0, 0}));
    const char *path = VEK_GetResourcePath(id);
    size_t live = alloc_live_count();

    // forward in time, then back: each change is one reload
    struct Step {
        long mtime;
        int w, h;
        Rgb colour;
    } steps[] = {{T0 + 1, 12, 6, {0, 0, 255}}, {T0 - 100, 3, 9, {0, 255, 0}}};
    for (const Step &s : steps) {
        put_file(pic, make_bmp(s.w, s.h, s.colour), s.mtime);
        StderrCapture cap;
        VEK_ResourcesWatch();
        EXPECT_EQ(cap.text(), "");
        EXPECT_EQ(VEK_GetImageWidth(id), s.w);
        EXPECT_EQ(VEK_GetImageHeight(id), s.h);
        EXPECT_EQ(VEK_GetResourcePointer(id)->mtime, s.mtime);
        EXPECT_EQ(VEK_GetResourceType(id), VEK_RES_IMAGE);
        EXPECT_EQ(VEK_GetResourcePath(id), path); // the same path block
        EXPECT_EQ(___vek_resources_size, 1u);
        EXPECT_EQ(alloc_live_count(), live); // nothing leaked, nothing added
        EXPECT_EQ(drawn_colour(), s.colour);
    }
}

TEST_F(Reload, ChangesWithinTheRecordedSecondAreOne) {
    load_watched_picture();
    put_file(pic, make_bmp(12, 6, Rgb{0, 0, 255}), T0 + 1);
    VEK_ResourcesWatch();
    ASSERT_EQ(VEK_GetImageWidth(id), 12);
    put_file(pic, make_bmp(16, 8, Rgb{0, 255, 0}), T0 + 1);
    VEK_ResourcesWatch();
    EXPECT_EQ(VEK_GetImageWidth(id), 12);
    EXPECT_EQ(drawn_colour(), (Rgb{0, 0, 255}));
    // the next second is seen
    set_mtime(pic, T0 + 2);
    VEK_ResourcesWatch();
    EXPECT_EQ(VEK_GetImageWidth(id), 16);
}

TEST_F(Reload, UndecodableFileKeepsTheOldPictureAndLogsOnce) {
    load_watched_picture();
    SDL_Texture *before = VEK_GetResourcePointer(id)->image.ptr;
    size_t live = alloc_live_count();
    std::string truncated = make_bmp(12, 6, Rgb{0, 0, 255}).substr(0, 30);
    put_file(pic, truncated, T0 + 1);

    StderrCapture cap;
    VEK_ResourcesWatch();
    std::string first = cap.text();
    EXPECT_NE(first.find(SDL_GetError()), std::string::npos) << first;
    EXPECT_EQ(count(first, "\n"), 1u) << first;
    EXPECT_EQ(VEK_GetResourcePointer(id)->image.ptr, before);
    EXPECT_EQ(VEK_GetImageWidth(id), 8);
    EXPECT_EQ(VEK_GetResourcePointer(id)->mtime, T0 + 1);
    EXPECT_EQ(alloc_live_count(), live);

    StderrCapture again;
    VEK_ResourcesWatch();
    VEK_ResourcesWatch();
    EXPECT_EQ(again.text(), "");
    EXPECT_EQ(drawn_colour(), (Rgb{255, 0, 0}));
}

TEST_F(Reload, UnreadableReplacementKeepsTheOldPicture) {
    // The file becomes a directory: the reader refuses it instead of sizing it.
    load_watched_picture();
    ASSERT_EQ(unlink(pic.c_str()), 0);
    ASSERT_EQ(mkdir(pic.c_str(), 0755), 0);
    set_mtime(pic, T0 + 1);
    StderrCapture cap;
    VEK_ResourcesWatch();
    EXPECT_EQ(cap.text(), std::string("VEK_LoadResourceTyped:drain: ") + strerror(EISDIR) + "\n");
    EXPECT_EQ(VEK_GetImageWidth(id), 8);
    EXPECT_EQ(VEK_GetResourcePointer(id)->mtime, T0 + 1);
    EXPECT_EQ(drawn_colour(), (Rgb{255, 0, 0}));
}

TEST_F(Reload, DeletedFileLogsOnceAndComingBackIsOnlyRecorded) {
    load_watched_picture();
    ASSERT_EQ(unlink(pic.c_str()), 0);

    StderrCapture cap;
    VEK_ResourcesWatch();
    VEK_ResourcesWatch();
    std::string err = cap.text();
    EXPECT_EQ(count(err, pic + ": " + strerror(ENOENT) + "\n"), 1u) << err;
    EXPECT_EQ(count(err, "\n"), 1u) << err;
    EXPECT_EQ(VEK_GetResourcePointer(id)->mtime, 0);
    EXPECT_EQ(VEK_GetImageWidth(id), 8);

    // Put back with new contents: its time is recorded, the contents wait.
    put_file(pic, make_bmp(12, 6, Rgb{0, 0, 255}), T0 + 5);
    StderrCapture back;
    VEK_ResourcesWatch();
    EXPECT_EQ(back.text(), "");
    EXPECT_EQ(VEK_GetResourcePointer(id)->mtime, T0 + 5);
    EXPECT_EQ(VEK_GetImageWidth(id), 8);
    // ... until the next change
    set_mtime(pic, T0 + 6);
    VEK_ResourcesWatch();
    EXPECT_EQ(VEK_GetImageWidth(id), 12);
}

TEST_F(Reload, RawBytesAreReplacedInPlace) {
    std::string txt = dir.file("notes.txt");
    put_file(txt, "old bytes", T0);
    VEK_Uint raw = VEK_LoadResource(txt.c_str());
    ASSERT_EQ(raw, 1u);
    VEK_ResourcesWatch();
    size_t live = alloc_live_count();
    put_file(txt, "new, longer bytes", T0 + 1);
    VEK_ResourcesWatch();
    const VEK_Raw *r = VEK_GetRawResource(raw);
    EXPECT_EQ(std::string(static_cast<const char *>(r->data), r->size), "new, longer bytes");
    EXPECT_EQ(alloc_live_count(), live); // the old block went
}

TEST_F(Reload, ForcedReloadIgnoresTheTime) {
    load_watched_picture();
    put_file(pic, make_bmp(12, 6, Rgb{0, 0, 255}), T0); // same second: the watcher would not see it
    VEK_ResourcesWatch();
    ASSERT_EQ(VEK_GetImageWidth(id), 8);
    EXPECT_EQ(VEK_ReloadResource(id), 0);
    EXPECT_EQ(VEK_GetImageWidth(id), 12);
    EXPECT_EQ(VEK_GetResourcePointer(id)->mtime, T0); // the watcher's field is left alone
}

TEST_F(Reload, RefusedIds) {
    char bytes[] = "in memory";
    VEK_Uint mem = VEK_LoadResourceFromMemory(VEK_RES_RAW, bytes, 9);
    ASSERT_EQ(mem, 1u);
    struct Case {
        VEK_Uint id;
        std::string message;
    } cases[] = {
        {mem, "resource path of 1 is NULL\n"},
        {0, "resource id 0 out of range\n"},
        {2, "resource id 2 out of range\n"},
        {0xffffffffu, "resource id 4294967295 out of range\n"},
    };
    for (const Case &c : cases) {
        StderrCapture cap;
        EXPECT_EQ(VEK_ReloadResource(c.id), -1) << c.id;
        std::string err = cap.text();
        EXPECT_EQ(err.rfind("LOG vek_reload.cpp:VEK_ReloadResource:", 0), 0u) << err;
        EXPECT_NE(err.find(" \t" + c.message), std::string::npos) << err;
    }
    // the watcher never looks at a resource without a path
    StderrCapture cap;
    VEK_ResourcesWatch();
    EXPECT_EQ(cap.text(), "");
    EXPECT_EQ(VEK_GetResourcePointer(mem)->mtime, 0);
}

TEST_F(Reload, WatchingDoesNotAllocate) {
    load_watched_picture();
    std::string txt = dir.file("notes.txt");
    put_file(txt, "abc", T0);
    ASSERT_EQ(VEK_LoadResource(txt.c_str()), 2u);
    VEK_ResourcesWatch();
    size_t live = alloc_live_count();
    for (int i = 0; i < 10; i++) VEK_ResourcesWatch();
    EXPECT_EQ(alloc_live_count(), live);
}
