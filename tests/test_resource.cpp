// SPDX-License-Identifier: Zlib
// Resource registry: loading by path and from memory, de-duplication, kinds by
// extension, the growth rule, the whole-file reader and its refusals, getters.
#include "rig.h"
#include "vek_internal.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A mono 16-bit 48 kHz WAV file of n silent samples.
std::string make_wav(uint32_t n) {
    auto u32 = [](std::string &s, uint32_t v) {
        for (int i = 0; i < 4; i++) s += char((v >> (8 * i)) & 0xff);
    };
    auto u16 = [](std::string &s, uint16_t v) { s += char(v & 0xff), s += char(v >> 8); };
    std::string s = "RIFF";
    u32(s, 36 + 2 * n);
    s += "WAVEfmt ";
    u32(s, 16), u16(s, 1), u16(s, 1), u32(s, 48000), u32(s, 96000), u16(s, 2), u16(s, 16);
    s += "data";
    u32(s, 2 * n);
    s += std::string(2 * n, '\0');
    return s;
}

std::string raw_bytes(VEK_Uint id) {
    const VEK_Raw *raw = VEK_GetRawResource(id);
    return std::string(static_cast<const char *>(raw->data), raw->size);
}

// The engine runs in a fresh directory, so relative names resolve there.
class Registry : public EngineTest {
  protected:
    TempDir dir;
    void SetUp() override {
        ASSERT_EQ(VEK_Init(.width = 32, .height = 32, .mixer = VEK_MIXER_OFF,
                           .basepath = dir.path().c_str()),
                  0);
    }
};

class RegistryWithMixer : public Registry {
  protected:
    void SetUp() override {
        ASSERT_EQ(VEK_Init(.width = 32, .height = 32, .mixer = VEK_MIXER_ON,
                           .basepath = dir.path().c_str()),
                  0);
        if (___vek_config.mixer == VEK_MIXER_OFF) GTEST_SKIP() << "no audio device";
    }
};

} // namespace

// ---------------------------------------------------------------------------
// Kinds by extension, and the growth rule
// ---------------------------------------------------------------------------
TEST(DeduceType, LastDotOfThePathCaseInsensitive) {
    struct Case {
        const char *path;
        VEK_ResourceType type;
    } cases[] = {
        {"a/font.BMP", VEK_RES_IMAGE}, {"x.Png", VEK_RES_IMAGE},     {"x.jpg", VEK_RES_IMAGE},
        {"x.QOI", VEK_RES_IMAGE},      {"music.WAV", VEK_RES_SOUND}, {"notes.txt", VEK_RES_RAW},
        {"README", VEK_RES_RAW},       {"dir.d/x", VEK_RES_RAW},     {"x.bmp.txt", VEK_RES_RAW},
        {"x.tar.wav", VEK_RES_SOUND},  {"x.bmpx", VEK_RES_RAW},      {".bmp", VEK_RES_IMAGE},
        {"x.", VEK_RES_RAW},           {"dir.bmp/x", VEK_RES_RAW},   {"", VEK_RES_RAW},
    };
    for (const Case &c : cases) EXPECT_EQ(deduce_type(c.path), c.type) << c.path;
}

TEST(Reserve, FortyByteElementsGrowAtPowerOfTwoBlocks) {
    // count at which the block grows -> capacity after it
    struct Growth {
        size_t count, capacity;
    } expected[] = {{1, 1}, {2, 3}, {4, 6}, {7, 12}, {13, 25}, {26, 51}};
    void *vec = nullptr;
    size_t capacity = 0;
    std::vector<Growth> seen;
    for (size_t count = 1; count <= 40; count++) {
        size_t before = capacity;
        void *old = vec;
        ASSERT_EQ(reserve(&vec, count, &capacity, 40), 0);
        if (capacity != before) {
            seen.push_back({count, capacity});
        } else {
            EXPECT_EQ(vec, old) << "count " << count << " moved the block without growing";
        }
        // the elements already there survive the growth
        static_cast<uint8_t *>(vec)[(count - 1) * 40] = uint8_t(count);
        for (size_t k = 1; k <= count; k++)
            ASSERT_EQ(static_cast<uint8_t *>(vec)[(k - 1) * 40], uint8_t(k));
    }
    ASSERT_EQ(seen.size(), std::size(expected));
    for (size_t i = 0; i < seen.size(); i++) {
        EXPECT_EQ(seen[i].count, expected[i].count);
        EXPECT_EQ(seen[i].capacity, expected[i].capacity);
    }
    _free(vec);
    wdeinit();
}

// ---------------------------------------------------------------------------
// drain: whole regular files only
// ---------------------------------------------------------------------------
TEST(Drain, ReadsExactlyTheFileBytes) {
    TempDir dir;
    std::string bytes("a\0b\xff\n", 5);
    write_file(dir.file("f"), bytes);
    FILE *fp = fopen(dir.file("f").c_str(), "rb");
    ASSERT_NE(fp, nullptr);
    size_t size = 99;
    char *data = drain(fp, &size);
    fclose(fp);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::string(data, size), bytes);
    _free(data);
    wdeinit();
}

TEST(Drain, RefusesWhatIsNotASizeableRegularFile) {
    TempDir dir;
    mkdir(dir.file("sub").c_str(), 0755);
    int big = open(dir.file("big").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_EQ(ftruncate(big, 3LL << 30), 0); // sparse: 3 GB, nothing written
    close(big);
    int pipefd[2];
    ASSERT_EQ(pipe(pipefd), 0);
    ASSERT_EQ(write(pipefd[1], "xyz", 3), 3);
    close(pipefd[1]);

    struct Case {
        const char *what;
        FILE *fp;
        int err;
    } cases[] = {
        {"directory", fopen(dir.file("sub").c_str(), "rb"), EISDIR},
        {"3 GB file", fopen(dir.file("big").c_str(), "rb"), EFBIG},
        {"pipe", fdopen(pipefd[0], "rb"), EINVAL},
        {"character device", fopen("/dev/null", "rb"), EINVAL},
    };
    for (const Case &c : cases) {
        ASSERT_NE(c.fp, nullptr) << c.what;
        size_t live = alloc_live_count();
        StderrCapture cap;
        size_t size = 0;
        char *data = drain(c.fp, &size);
        std::string err = cap.text();
        fclose(c.fp);
        EXPECT_EQ(data, nullptr) << c.what;
        EXPECT_EQ(err, std::string("VEK_LoadResourceTyped:drain: ") + strerror(c.err) + "\n")
            << c.what;
        EXPECT_EQ(alloc_live_count(), live) << c.what << ": allocated on a refused file";
    }
    wdeinit();
}

// ---------------------------------------------------------------------------
// Loading by path
// ---------------------------------------------------------------------------
TEST_F(Registry, SamePathAndKindGivesTheSameIdWithoutRereading) {
    write_file(dir.file("notes.txt"), "first");
    write_file(dir.file("pic.bmp"), make_bmp(8, 4, coded));
    VEK_Uint raw = VEK_LoadResource("notes.txt");
    VEK_Uint img = VEK_LoadResource("pic.bmp");
    ASSERT_EQ(raw, 1u);
    ASSERT_EQ(img, 2u);

    // Change both files: a second load must answer from the table, not the disk.
    write_file(dir.file("notes.txt"), "second, longer");
    write_file(dir.file("pic.bmp"), make_bmp(16, 16, coded));
    StderrCapture cap;
    EXPECT_EQ(VEK_LoadResource("notes.txt"), raw);
    EXPECT_EQ(VEK_LoadResource("pic.bmp"), img);
    EXPECT_EQ(VEK_LoadResourceTyped(VEK_RES_RAW, "notes.txt"), raw);
    EXPECT_EQ(cap.text(), "");
    EXPECT_EQ(___vek_resources_size, 2u);
    EXPECT_EQ(raw_bytes(raw), "first");
    EXPECT_EQ(VEK_GetImageWidth(img), 8);
}

TEST_F(Registry, KindAndPathBytesBothTellResourcesApart) {
    std::string bmp = make_bmp(8, 4, coded);
    write_file(dir.file("pic.bmp"), bmp);
    VEK_Uint as_raw = VEK_LoadResourceTyped(VEK_RES_RAW, "pic.bmp");
    VEK_Uint as_img = VEK_LoadResourceTyped(VEK_RES_IMAGE, "pic.bmp");
    VEK_Uint dotted = VEK_LoadResource("./pic.bmp");
    EXPECT_EQ(as_raw, 1u);
    EXPECT_EQ(as_img, 2u);
    EXPECT_EQ(dotted, 3u);
    EXPECT_EQ(VEK_GetResourceType(as_raw), VEK_RES_RAW);
    EXPECT_EQ(VEK_GetResourceType(as_img), VEK_RES_IMAGE);
    EXPECT_EQ(raw_bytes(as_raw), bmp);
    EXPECT_EQ(VEK_GetImageWidth(as_img), 8);
    EXPECT_EQ(VEK_GetImageHeight(as_img), 4);
    EXPECT_STREQ(VEK_GetResourcePath(dotted), "./pic.bmp");
    EXPECT_EQ(VEK_GetResourcePointer(dotted)->mtime, 0);
}

TEST_F(Registry, FailedLoadsConsumeNoId) {
    write_file(dir.file("a.txt"), "a");
    write_file(dir.file("b.txt"), "b");
    write_file(dir.file("fake.bmp"), "not a picture");
    ASSERT_EQ(VEK_LoadResource("a.txt"), 1u);
    StderrCapture cap;
    EXPECT_EQ(VEK_LoadResource("missing.txt"), 0u);
    EXPECT_EQ(VEK_LoadResource("fake.bmp"), 0u);
    EXPECT_EQ(VEK_LoadResource("."), 0u);
    cap.text();
    EXPECT_EQ(___vek_resources_size, 1u);
    EXPECT_EQ(VEK_LoadResource("b.txt"), 2u);
    EXPECT_EQ(raw_bytes(2), "b");
    // the slot the failed image load half filled was taken over cleanly
    EXPECT_STREQ(VEK_GetResourcePath(2), "b.txt");
}

TEST_F(Registry, EmptyFileIsZeroRawBytesButNoPicture) {
    write_file(dir.file("empty.bmp"), "");
    VEK_Uint raw = VEK_LoadResourceTyped(VEK_RES_RAW, "empty.bmp");
    ASSERT_NE(raw, 0u);
    EXPECT_EQ(VEK_GetRawResource(raw)->size, 0u);

    StderrCapture cap;
    EXPECT_EQ(VEK_LoadResource("empty.bmp"), 0u);
    std::string err = cap.text();
    EXPECT_NE(err.find(SDL_GetError()), std::string::npos) << err;
    EXPECT_EQ(___vek_resources_size, 1u);
}

TEST_F(Registry, PngBytesAreNotDecoded) {
    static const char sig[] = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x08\0\0\0\x04\x08\x02\0\0\0";
    std::string png(sig, sizeof sig - 1);
    write_file(dir.file("pic.png"), png);
    StderrCapture cap;
    EXPECT_EQ(VEK_LoadResource("pic.png"), 0u);
    std::string err = cap.text();
    ASSERT_STRNE(SDL_GetError(), "");
    EXPECT_NE(err.find(SDL_GetError()), std::string::npos) << err;
    EXPECT_EQ(___vek_resources_size, 0u);
}

TEST_F(Registry, UnreadablePathsFailCleanly) {
    mkdir(dir.file("assets.d").c_str(), 0755);
    int fd = open(dir.file("huge.bmp").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_EQ(ftruncate(fd, 3LL << 30), 0);
    close(fd);
    write_file(dir.file("keep.txt"), "kept");
    ASSERT_EQ(VEK_LoadResource("keep.txt"), 1u);

    struct Case {
        VEK_ResourceType type;
        const char *path;
        std::string report;
    } cases[] = {
        {VEK_RES_RAW, "assets.d", std::string("VEK_LoadResourceTyped:drain: ") + strerror(EISDIR)},
        {VEK_RES_IMAGE, "assets.d",
         std::string("VEK_LoadResourceTyped:drain: ") + strerror(EISDIR)},
        {VEK_RES_RAW, "huge.bmp", std::string("VEK_LoadResourceTyped:drain: ") + strerror(EFBIG)},
        {VEK_RES_IMAGE, "huge.bmp", std::string("VEK_LoadResourceTyped:drain: ") + strerror(EFBIG)},
        {VEK_RES_IMAGE, "missing.bmp", std::string("missing.bmp: ") + strerror(ENOENT)},
        {VEK_RES_RAW, "no/such/dir/x", std::string("no/such/dir/x: ") + strerror(ENOENT)},
    };
    for (const Case &c : cases) {
        size_t live = alloc_live_count();
        size_t capacity = ___vek_resources_capacity;
        StderrCapture cap;
        EXPECT_EQ(VEK_LoadResourceTyped(c.type, c.path), 0u) << c.path;
        std::string err = cap.text();
        EXPECT_NE(err.find(c.report + "\n"), std::string::npos) << c.path << ": " << err;
        EXPECT_EQ(___vek_resources_size, 1u) << c.path;
        EXPECT_EQ(___vek_resources_capacity, capacity) << c.path;
        EXPECT_EQ(alloc_live_count(), live) << c.path;
    }
    EXPECT_EQ(raw_bytes(1), "kept");
}

TEST_F(Registry, MissingFileIsALogLine) {
    StderrCapture cap;
    EXPECT_EQ(VEK_LoadResource("missing.bmp"), 0u);
    std::string err = cap.text();
    EXPECT_EQ(err.rfind("LOG vek_resource.cpp:VEK_LoadResourceTyped:", 0), 0u) << err;
    EXPECT_NE(err.find(std::string(" \tmissing.bmp: ") + strerror(ENOENT) + "\n"),
              std::string::npos)
        << err;
}

TEST_F(Registry, RefusedArguments) {
    write_file(dir.file("a.txt"), "a");
    struct Case {
        const char *what;
        VEK_Uint (*load)(const char *path);
        const char *message;
    } cases[] = {
        {"type 3", [](const char *p) { return VEK_LoadResourceTyped(___VEK_RES_COUNT, p); },
         "invalid type\n"},
        {"type 7", [](const char *p) { return VEK_LoadResourceTyped(VEK_ResourceType(7), p); },
         "invalid type\n"},
        {"null path", [](const char *) { return VEK_LoadResource(nullptr); }, "NULL\n"},
        {"null path, typed",
         [](const char *) { return VEK_LoadResourceTyped(VEK_RES_RAW, nullptr); }, "NULL\n"},
        {"negative size",
         [](const char *p) { return VEK_LoadResourceFromMemory(VEK_RES_RAW, p, -5); },
         "invalid data"},
    };
    for (const Case &c : cases) {
        StderrCapture cap;
        EXPECT_EQ(c.load("a.txt"), 0u) << c.what;
        std::string err = cap.text();
        EXPECT_EQ(err.rfind("LOG ", 0), 0u) << c.what << ": " << err;
        EXPECT_NE(err.find(c.message), std::string::npos) << c.what << ": " << err;
        EXPECT_EQ(___vek_resources_size, 0u) << c.what;
    }
}

TEST_F(Registry, SoundWithTheMixerOffIsSkipped) {
    write_file(dir.file("beep.wav"), make_wav(64));
    StderrCapture cap;
    EXPECT_EQ(VEK_LoadResource("beep.wav"), 0u);
    EXPECT_NE(cap.text().find("audio mixer disabled, skip loading\n"), std::string::npos);
    EXPECT_EQ(___vek_resources_size, 0u);
}

TEST_F(RegistryWithMixer, SoundsDecodeWavBytesOnly) {
    write_file(dir.file("beep.wav"), make_wav(64));
    write_file(dir.file("empty.wav"), "");
    VEK_Uint id = VEK_LoadResource("beep.wav");
    ASSERT_EQ(id, 1u);
    EXPECT_EQ(VEK_GetResourceType(id), VEK_RES_SOUND);
    EXPECT_NE(VEK_GetResourcePointer(id)->sound.ptr, nullptr);
    StderrCapture cap;
    EXPECT_EQ(VEK_LoadResource("empty.wav"), 0u);
    std::string err = cap.text();
    EXPECT_NE(err.find(SDL_GetError()), std::string::npos) << err;
    EXPECT_EQ(___vek_resources_size, 1u);
}

// ---------------------------------------------------------------------------
// Loading from memory, ownership, shutdown
// ---------------------------------------------------------------------------
TEST_F(Registry, MemoryResourcesCopyTheBytesAndHaveNoPath) {
    char bytes[] = "payload";
    VEK_Uint id = VEK_LoadResourceFromMemory(VEK_RES_RAW, bytes, 7);
    ASSERT_EQ(id, 1u);
    bytes[0] = 'X';
    EXPECT_EQ(raw_bytes(id), "payload");
    EXPECT_EQ(VEK_GetResourcePath(id), nullptr);

    std::string bmp = make_bmp(5, 3, coded);
    VEK_Uint img = VEK_LoadResourceFromMemory(VEK_RES_IMAGE, bmp.data(), int(bmp.size()));
    ASSERT_EQ(img, 2u);
    EXPECT_EQ(VEK_GetImageWidth(img), 5);
    EXPECT_EQ(VEK_GetImageHeight(img), 3);
    // no de-duplication from memory
    EXPECT_EQ(VEK_LoadResourceFromMemory(VEK_RES_RAW, bytes, 7), 3u);
}

TEST_F(Registry, ShutdownReleasesEveryBlock) {
    size_t base = alloc_live_count();
    write_file(dir.file("a.txt"), "aaa");
    write_file(dir.file("b.bmp"), make_bmp(4, 4, coded));
    ASSERT_EQ(VEK_LoadResource("a.txt"), 1u);
    ASSERT_EQ(VEK_LoadResource("b.bmp"), 2u);
    ASSERT_EQ(VEK_LoadResourceFromMemory(VEK_RES_RAW, "m", 1), 3u);
    // table + (path, bytes) + path + bytes; the read blocks are gone already
    EXPECT_EQ(alloc_live_count(), base + 1 + 2 + 1 + 1);
    VEK_Quit();
    EXPECT_EQ(alloc_live_count(), base);
    EXPECT_EQ(___vek_resources, nullptr);
    EXPECT_EQ(___vek_resources_size, 0u);
    EXPECT_EQ(___vek_resources_capacity, 0u);
}

TEST_F(Registry, DestroyingAnUnknownKindReleasesOnlyThePath) {
    size_t base = alloc_live_count();
    VEK_Resource res = {};
    res.type = VEK_ResourceType(5);
    res.path = static_cast<char *>(alloc(4));
    StderrCapture cap;
    VEK_DestroyResource(&res, 1);
    EXPECT_NE(cap.text().find("unknown resource type 5\n"), std::string::npos);
    EXPECT_EQ(alloc_live_count(), base);
}

// ---------------------------------------------------------------------------
// Getters refuse ids that name nothing
// ---------------------------------------------------------------------------
TEST_F(Registry, GettersRefuseIdsOutsideTheTable) {
    write_file(dir.file("a.bmp"), make_bmp(6, 2, coded));
    ASSERT_EQ(VEK_LoadResource("a.bmp"), 1u);
    for (VEK_Uint id : {0u, 2u, 1000u, 0xffffffffu}) {
        StderrCapture cap;
        EXPECT_EQ(VEK_GetResourcePointer(id), nullptr) << id;
        EXPECT_EQ(VEK_GetResourceType(id), ___VEK_RES_COUNT) << id;
        EXPECT_EQ(VEK_GetResourcePath(id), nullptr) << id;
        EXPECT_EQ(VEK_GetRawResource(id), nullptr) << id;
        EXPECT_EQ(VEK_GetImageWidth(id), -1) << id;
        EXPECT_EQ(VEK_GetImageHeight(id), -1) << id;
        std::string err = cap.text();
        std::string line = "resource id " + std::to_string(id) + " out of range\n";
        size_t n = 0;
        for (size_t at = err.find(line); at != std::string::npos; at = err.find(line, at + 1)) n++;
        EXPECT_EQ(n, 6u) << err;
    }
    // the one valid id still answers
    EXPECT_EQ(VEK_GetResourcePointer(1), &___vek_resources[0]);
    EXPECT_EQ(VEK_GetImageWidth(1), 6);
}
