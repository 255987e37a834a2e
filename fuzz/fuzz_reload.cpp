// SPDX-License-Identifier: Zlib
// The hot-reload path: three files loaded by path (raw, image, sound) are each
// overwritten with the input, given a new modification time and picked up by
// the watcher, then the resource is used under its old id: the bytes compared,
// the picture drawn, the sound played. The first byte picks the file (modulo 3).
// Every input starts from the same state: the file is first put back to its
// valid contents and reloaded, so a finding replays alone.
#include "common.h"

#include "VEK.h"
#include "_.h"

#include <SDL.h>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>

extern size_t ___vek_resources_size;

namespace {

struct Watched {
    const char *name;
    VEK_ResourceType type;
    std::vector<uint8_t> valid; // contents every input starts from
    VEK_Uint id;
};
Watched files[3] = {
    {"reload.dat", VEK_RES_RAW, {}, 0},
    {"reload.bmp", VEK_RES_IMAGE, {}, 0},
    {"reload.wav", VEK_RES_SOUND, {}, 0},
};
constexpr int VALID_W = 3, VALID_H = 2;
EngineHeld held;
time_t stamp = 1000000000; // modification times handed out, one new second per write

std::vector<uint8_t> valid_bmp(void) {
    SDL_Surface *s =
        SDL_CreateRGBSurfaceWithFormat(0, VALID_W, VALID_H, 32, SDL_PIXELFORMAT_ARGB8888);
    FUZZ_CHECK(s != nullptr);
    SDL_FillRect(s, nullptr, 0xFF20A040u);
    std::vector<uint8_t> out(4096);
    SDL_RWops *rw = SDL_RWFromMem(out.data(), static_cast<int>(out.size()));
    FUZZ_CHECK(SDL_SaveBMP_RW(s, rw, 0) == 0);
    out.resize(static_cast<size_t>(SDL_RWtell(rw)));
    SDL_RWclose(rw);
    SDL_FreeSurface(s);
    return out;
}

std::vector<uint8_t> valid_wav(void) {
    // 16-bit mono PCM at 22050 Hz, eight samples.
    const int16_t samples[8] = {0, 8000, 16000, 8000, 0, -8000, -16000, -8000};
    auto u32 = [](std::vector<uint8_t> &v, uint32_t x) {
        for (int i = 0; i < 4; i++) v.push_back(uint8_t(x >> (8 * i)));
    };
    auto u16 = [](std::vector<uint8_t> &v, uint16_t x) {
        v.push_back(uint8_t(x));
        v.push_back(uint8_t(x >> 8));
    };
    std::vector<uint8_t> v;
    v.insert(v.end(), {'R', 'I', 'F', 'F'});
    u32(v, 36 + sizeof samples);
    v.insert(v.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    u32(v, 16);
    u16(v, 1);         // PCM
    u16(v, 1);         // mono
    u32(v, 22050);     // frames per second
    u32(v, 22050 * 2); // bytes per second
    u16(v, 2);         // block
    u16(v, 16);        // bits
    v.insert(v.end(), {'d', 'a', 't', 'a'});
    u32(v, sizeof samples);
    const uint8_t *p = reinterpret_cast<const uint8_t *>(samples);
    v.insert(v.end(), p, p + sizeof samples);
    return v;
}

void rewrite(const Watched &f, const uint8_t *data, size_t size) {
    std::string path = fuzz_dir() + "/" + f.name;
    fuzz_write(path, data, size);
    stamp += 1;
    struct timespec times[2] = {{stamp, 0}, {stamp, 0}};
    FUZZ_CHECK(utimensat(AT_FDCWD, path.c_str(), times, 0) == 0);
    VEK_ResourcesWatch();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz_engine_start();
    files[1].valid = valid_bmp();
    files[2].valid = valid_wav();
    files[0].valid = {'r', 'a', 'w', '\n'};
    for (Watched &f : files) {
        fuzz_write(fuzz_dir() + "/" + f.name, f.valid.data(), f.valid.size());
        f.id = VEK_LoadResourceTyped(f.type, (fuzz_dir() + "/" + f.name).c_str());
        FUZZ_CHECK(f.id != 0);
    }
    VEK_ResourcesWatch(); // first pass: only records the times
    held = fuzz_engine_held();
    FUZZ_CHECK(held.resources == 3);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    Watched &f = files[data[0] % 3];
    const uint8_t *bytes = data + 1;
    size_t n = size - 1;

    rewrite(f, f.valid.data(), f.valid.size());
    VEK_Resource before = *VEK_GetResourcePointer(f.id);
    rewrite(f, bytes, n);
    const VEK_Resource *res = VEK_GetResourcePointer(f.id);
    FUZZ_CHECK(res->type == f.type && res->path == before.path);

    switch (f.type) {
    case VEK_RES_RAW: // a regular file always reads: the record holds exactly the new bytes
        FUZZ_CHECK(res->raw.size == n && (n == 0 || memcmp(res->raw.data, bytes, n) == 0));
        break;
    case VEK_RES_IMAGE: {
        // A new texture exists beside the old one before that is released, so an
        // unchanged pointer means the reload was refused and the old picture kept.
        if (res->image.ptr == before.image.ptr)
            FUZZ_CHECK(res->image.width == VALID_W && res->image.height == VALID_H);
        int w = VEK_GetImageWidth(f.id), h = VEK_GetImageHeight(f.id);
        FUZZ_CHECK(w > 0 && h > 0);
        FUZZ_CHECK(VEK_DrawBegin() == 0);
        VEK_DrawImage(.id = f.id, .x = 0, .y = 0);
        VEK_DrawImage(.id = f.id, .x = 5, .y = 5, .ix = 1, .iy = 1, .w = w - 1, .h = -h, .r = 0.3f,
                      .sx = 2, .sy = 2, .center = true, .flip_x = true);
        FUZZ_CHECK(VEK_DrawEnd() == 0);
        break;
    }
    case VEK_RES_SOUND:
        FUZZ_CHECK(res->sound.ptr != nullptr);
        VEK_PlaySound(.id = f.id, .volume = 0.25f);
        break;
    default:
        break;
    }

    // Reloads replace in place: no record added, no block kept.
    EngineHeld after = fuzz_engine_held();
    FUZZ_CHECK(after.resources == held.resources && after.blocks == held.blocks);
    return 0;
}
