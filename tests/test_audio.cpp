// SPDX-License-Identifier: Zlib
// Audio: music streamed from a file and sound effects from sound resources, on
// SDL's disk audio driver so that what the mixer outputs can be read back.
#include "rig.h"
#include "vek_internal.h"

#include <SDL_mixer.h>
#include <cmath>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

// A mono 16-bit PCM WAV file holding a sine wave.
std::string make_wav(double seconds, int rate = 48000, double freq = 440.0, double amp = 0.5) {
    const int frames = static_cast<int>(seconds * rate);
    std::string pcm;
    for (int i = 0; i < frames; i++) {
        int16_t s = static_cast<int16_t>(
            std::lround(amp * 32767.0 * std::sin(2.0 * M_PI * freq * i / rate)));
        pcm.push_back(static_cast<char>(s & 0xff));
        pcm.push_back(static_cast<char>((s >> 8) & 0xff));
    }
    auto u32 = [](uint32_t v) {
        std::string b(4, '\0');
        for (int i = 0; i < 4; i++) b[i] = static_cast<char>((v >> (8 * i)) & 0xff);
        return b;
    };
    auto u16 = [](uint16_t v) {
        return std::string{static_cast<char>(v & 0xff), static_cast<char>(v >> 8)};
    };
    std::string wav = "RIFF" + u32(static_cast<uint32_t>(36 + pcm.size())) + "WAVE";
    wav += "fmt " + u32(16) + u16(1) /* PCM */ + u16(1) /* mono */ +
           u32(static_cast<uint32_t>(rate)) + u32(static_cast<uint32_t>(rate * 2)) + u16(2) +
           u16(16);
    wav += "data" + u32(static_cast<uint32_t>(pcm.size())) + pcm;
    return wav;
}

// Largest absolute sample in the disk driver's output (signed 16-bit LE) past `from`.
int peak(const std::string &raw, size_t from = 0) {
    int best = 0;
    for (size_t i = from & ~size_t{1}; i + 1 < raw.size(); i += 2) {
        int16_t s = static_cast<int16_t>(static_cast<uint8_t>(raw[i]) |
                                         (static_cast<uint8_t>(raw[i + 1]) << 8));
        best = std::max(best, std::abs(static_cast<int>(s)));
    }
    return best;
}

// Waits (bounded) until the output file has grown past `bytes`.
std::string output_after(const std::string &path, size_t bytes) {
    std::string raw;
    for (int i = 0; i < 300; i++) {
        raw = read_file(path);
        if (raw.size() > bytes) break;
        SDL_Delay(10);
    }
    return raw;
}

class AudioTest : public EngineTest {
  protected:
    TempDir dir;
    std::string out;

    void SetUp() override {
        out = dir.file("out.raw");
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);
        write_file(dir.file("tune.wav"), make_wav(2.0));
        write_file(dir.file("blip.wav"), make_wav(0.05));
    }
    void TearDown() override {
        VEK_StopMusic();
        EngineTest::TearDown();
    }
    int start(unsigned mixer = VEK_MIXER_ON) {
        return VEK_Init(.width = 64, .height = 64, .target_fps = 0, .mixer = mixer,
                        .basepath = dir.path().c_str());
    }
    VEK_Uint load_sound() {
        std::string wav = make_wav(0.05);
        return VEK_LoadResourceFromMemory(VEK_RES_SOUND, wav.data(), static_cast<int>(wav.size()));
    }
};

// ---------------------------------------------------------------------------
// Mixer switched off
// ---------------------------------------------------------------------------
TEST_F(AudioTest, MixerOffRefusesMusic) {
    ASSERT_EQ(start(VEK_MIXER_OFF), 0);
    StderrCapture cap;
    EXPECT_EQ(VEK_PlayMusic("tune.wav", 0), -1);
    std::string log = cap.text();
    EXPECT_NE(log.find("LOG vek_audio.cpp:VEK_PlayMusic:"), std::string::npos) << log;
    EXPECT_NE(log.find("mixer is disabled\n"), std::string::npos) << log;
    EXPECT_EQ(___vek_music, nullptr);
    EXPECT_FALSE(Mix_PlayingMusic());
    VEK_StopMusic();
    EXPECT_EQ(___vek_music, nullptr);
}

TEST_F(AudioTest, QuitReleasesThePlayingMusicAndItsFile) {
    // The music streams from its file; after VEK_Quit nothing may hold it open,
    // and an engine started again without a mixer has no music left to touch.
    auto open_files = [] {
        std::string names;
        char link[4096];
        for (int fd = 0; fd < 1024; fd++) {
            std::string path = "/proc/self/fd/" + std::to_string(fd);
            ssize_t n = readlink(path.c_str(), link, sizeof link - 1);
            if (n > 0) names += std::string(link, static_cast<size_t>(n)) + "\n";
        }
        return names;
    };
    ASSERT_EQ(start(), 0);
    ASSERT_EQ(VEK_PlayMusic("tune.wav", -1), 0);
    ASSERT_NE(open_files().find("tune.wav"), std::string::npos) << "the music is not streamed";
    VEK_Quit();
    EXPECT_EQ(open_files().find("tune.wav"), std::string::npos) << open_files();
    EXPECT_EQ(___vek_music, nullptr);

    ASSERT_EQ(start(VEK_MIXER_OFF), 0);
    VEK_StopMusic();
    EXPECT_EQ(___vek_music, nullptr);
}

TEST_F(AudioTest, SoundLoadWhileMixerOffIsSkipped) {
    ASSERT_EQ(start(VEK_MIXER_OFF), 0);
    StderrCapture cap;
    EXPECT_EQ(load_sound(), 0u);
    EXPECT_EQ(VEK_LoadResource("blip.wav"), 0u);
    std::string log = cap.text();
    size_t first = log.find("audio mixer disabled, skip loading\n");
    EXPECT_NE(first, std::string::npos) << log;
    EXPECT_NE(log.find("audio mixer disabled, skip loading\n", first + 1), std::string::npos)
        << log;
    EXPECT_EQ(___vek_resources_size, 0u);
}

// ---------------------------------------------------------------------------
// Music
// ---------------------------------------------------------------------------
TEST_F(AudioTest, MusicReachesTheOutput) {
    ASSERT_EQ(start(), 0);
    // Silence first: the device runs with nothing to play.
    std::string before = output_after(out, 48000);
    ASSERT_GT(before.size(), 48000u) << "disk audio output not written";
    EXPECT_EQ(peak(before), 0);

    size_t mark = read_file(out).size();
    ASSERT_EQ(VEK_PlayMusic("tune.wav", 0), 0);
    EXPECT_NE(___vek_music, nullptr);
    EXPECT_TRUE(Mix_PlayingMusic());
    // About a fifth of a second of 8-channel 16-bit output at 48 kHz.
    std::string after = output_after(out, mark + 8 * 2 * 48000 / 5);
    EXPECT_GT(peak(after, mark), 1000);
}

TEST_F(AudioTest, PlayingAgainRestartsTheMusic) {
    ASSERT_EQ(start(), 0);
    ASSERT_EQ(VEK_PlayMusic("tune.wav", 0), 0);
    double pos = 0;
    for (int i = 0; i < 300 && pos < 0.3; i++) {
        SDL_Delay(10);
        pos = Mix_GetMusicPosition(___vek_music);
    }
    ASSERT_GE(pos, 0.3);
    ASSERT_EQ(VEK_PlayMusic("tune.wav", 0), 0);
    EXPECT_LT(Mix_GetMusicPosition(___vek_music), 0.2);
    EXPECT_TRUE(Mix_PlayingMusic());
}

TEST_F(AudioTest, MissingMusicReleasesThePrevious) {
    ASSERT_EQ(start(), 0);
    ASSERT_EQ(VEK_PlayMusic("tune.wav", -1), 0);
    ASSERT_TRUE(Mix_PlayingMusic());
    StderrCapture cap;
    EXPECT_EQ(VEK_PlayMusic("no-such-music.wav", 0), -1);
    std::string log = cap.text();
    EXPECT_EQ(___vek_music, nullptr);
    EXPECT_FALSE(Mix_PlayingMusic());
    EXPECT_FALSE(log.empty()) << "SDL's error text is logged";
    // A bad file that exists fails the same way.
    write_file(dir.file("junk.wav"), "not a wave file at all");
    ASSERT_EQ(VEK_PlayMusic("tune.wav", 0), 0);
    EXPECT_EQ(VEK_PlayMusic("junk.wav", 0), -1);
    EXPECT_EQ(___vek_music, nullptr);
}

TEST_F(AudioTest, StopMusicHaltsAndIsRepeatable) {
    ASSERT_EQ(start(), 0);
    VEK_StopMusic(); // nothing loaded yet
    ASSERT_EQ(VEK_PlayMusic("tune.wav", 0), 0);
    VEK_StopMusic();
    EXPECT_EQ(___vek_music, nullptr);
    EXPECT_FALSE(Mix_PlayingMusic());
    VEK_StopMusic();
    EXPECT_EQ(___vek_music, nullptr);
}

// ---------------------------------------------------------------------------
// Sound effects
// ---------------------------------------------------------------------------
TEST_F(AudioTest, PlaySoundRejectsWhatIsNotASound) {
    ASSERT_EQ(start(), 0);
    std::string bmp = make_bmp(2, 2, Rgb{127, 127, 127});
    VEK_Uint image =
        VEK_LoadResourceFromMemory(VEK_RES_IMAGE, bmp.data(), static_cast<int>(bmp.size()));
    ASSERT_NE(image, 0u);
    VEK_Uint raw = VEK_LoadResourceFromMemory(VEK_RES_RAW, "abc", 3);
    ASSERT_NE(raw, 0u);
    VEK_Uint sound = load_sound();
    ASSERT_NE(sound, 0u);

    struct Case {
        VEK_Uint id;
        std::string message;
    } cases[] = {
        {0, "args->id is 0\n"},
        {image, std::to_string(image) + " isn't a sound\n"},
        {raw, std::to_string(raw) + " isn't a sound\n"},
    };
    for (const Case &c : cases) {
        StderrCapture cap;
        EXPECT_EQ(VEK_PlaySound(.id = c.id), -1) << c.id;
        std::string log = cap.text();
        EXPECT_NE(log.find("LOG vek_audio.cpp:_VEK_PlaySound:"), std::string::npos) << log;
        EXPECT_NE(log.find(c.message), std::string::npos) << log;
    }
    EXPECT_EQ(Mix_Playing(-1), 0) << "nothing was started";
    EXPECT_EQ(VEK_PlaySound(.id = sound), 0);
    EXPECT_GT(Mix_Playing(-1), 0);
}

TEST_F(AudioTest, PlaySoundSetsTheChunkVolume) {
    ASSERT_EQ(start(), 0);
    VEK_Uint id = load_sound();
    ASSERT_NE(id, 0u);
    Mix_Chunk *chunk = VEK_GetResourcePointer(id)->sound.ptr;
    ASSERT_NE(chunk, nullptr);
    struct Case {
        float volume;
        int want;
    } cases[] = {{0.0f, 0}, {0.5f, 64}, {0.999f, 127}, {1.0f, 128}, {0.25f, 32}, {2.0f, 128}};
    for (const Case &c : cases) {
        Mix_VolumeChunk(chunk, 77);
        EXPECT_EQ(VEK_PlaySound(.id = id, .volume = c.volume), 0) << c.volume;
        EXPECT_EQ(Mix_VolumeChunk(chunk, -1), c.want) << c.volume;
    }
    // The named form's default is full volume.
    Mix_VolumeChunk(chunk, 5);
    EXPECT_EQ(VEK_PlaySound(.id = id), 0);
    EXPECT_EQ(Mix_VolumeChunk(chunk, -1), 128);
}

TEST_F(AudioTest, SoundReachesTheOutput) {
    ASSERT_EQ(start(), 0);
    VEK_Uint id = load_sound();
    ASSERT_NE(id, 0u);
    // Silent play first: a zero volume must leave the output silent.
    size_t mark = output_after(out, 0).size();
    ASSERT_EQ(VEK_PlaySound(.id = id, .volume = 0.0f), 0);
    std::string quiet = output_after(out, mark + 8 * 2 * 48000 / 5);
    EXPECT_EQ(peak(quiet, mark), 0);

    mark = quiet.size();
    ASSERT_EQ(VEK_PlaySound(.id = id, .loop = 2, .volume = 1.0f), 0);
    std::string loud = output_after(out, mark + 8 * 2 * 48000 / 5);
    EXPECT_GT(peak(loud, mark), 1000);
}

TEST_F(AudioTest, PlaySoundWithNoFreeChannelFails) {
    ASSERT_EQ(start(), 0);
    VEK_Uint id = load_sound();
    ASSERT_NE(id, 0u);
    Mix_Chunk *chunk = VEK_GetResourcePointer(id)->sound.ptr;
    int channels = Mix_AllocateChannels(-1);
    Mix_AllocateChannels(0);
    StderrCapture cap;
    EXPECT_EQ(VEK_PlaySound(.id = id, .volume = 0.5f), -1);
    EXPECT_FALSE(cap.text().empty()) << "SDL's error text is logged";
    EXPECT_EQ(Mix_VolumeChunk(chunk, -1), 64) << "the volume was set before the refusal";
    Mix_AllocateChannels(channels);
    EXPECT_EQ(VEK_PlaySound(.id = id, .volume = 0.5f), 0);
}

} // namespace
