// SPDX-License-Identifier: Zlib
// Resource registry: one table of records (raw bytes, textures, mixer chunks)
// handed out as small ids, plus the growth rule and the whole-file reader the
// rest of the engine shares.
#include "vek_internal.h"

#include <SDL_mixer.h>
#include <cerrno>
#include <cstring>
#include <strings.h>
#include <sys/stat.h>

VEK_Resource *___vek_resources = nullptr;
size_t ___vek_resources_size = 0;
size_t ___vek_resources_capacity = 0;

// ---------------------------------------------------------------------------
// Shared helpers
// ---------------------------------------------------------------------------
int reserve(void **vec, size_t size, size_t *capacity, size_t elem) {
    if (*capacity >= size) return 0;
    // Smallest power-of-two byte count (from 16) holding `size` elements; the
    // capacity is then how many whole elements fit, not a power of two itself.
    size_t target = 16;
    while (target < size * elem) target *= 2;
    void *block = *vec == nullptr ? alloc(target) : _realloc(*vec, target);
    if (block == nullptr) {
        perror("VEK_LoadResourceFromMemory:reserve_ressources");
        return 1;
    }
    *vec = block;
    *capacity = target / elem;
    return 0;
}

static char *drain_error(void) {
    perror("VEK_LoadResourceTyped:drain");
    return nullptr;
}

char *drain(FILE *fp, size_t *size) {
    // fopen happily opens a directory for reading on this platform, and ftell on
    // one (or on a pipe or device) gives nonsense; the loaders also take an int
    // size. So only regular files whose size fits an int are read at all, before
    // anything is allocated for them.
    struct stat st;
    if (fstat(fileno(fp), &st) != 0) return drain_error();
    if (S_ISDIR(st.st_mode)) {
        errno = EISDIR;
        return drain_error();
    }
    if (!S_ISREG(st.st_mode)) {
        errno = EINVAL;
        return drain_error();
    }
    if (st.st_size > INT_MAX) {
        errno = EFBIG;
        return drain_error();
    }

    if (fseek(fp, 0, SEEK_END) < 0) return drain_error();
    long end = ftell(fp);
    if (end < 0) return drain_error();
    if (end > INT_MAX) { // grew since fstat
        errno = EFBIG;
        return drain_error();
    }
    *size = static_cast<size_t>(end);
    if (fseek(fp, 0, SEEK_SET) < 0) return drain_error();

    char *data = static_cast<char *>(alloc(*size));
    if (data == nullptr) return drain_error();
    if (fread(data, 1, *size, fp) < *size) {
        _free(data);
        return drain_error();
    }
    return data;
}

VEK_ResourceType deduce_type(const char *path) {
    if (path == nullptr) return VEK_RES_RAW;
    // The last dot of the whole path: a dot in a directory name alone gives an
    // "extension" running across the slash, which matches nothing.
    const char *ext = strrchr(path, '.');
    if (ext == nullptr) return VEK_RES_RAW;
    static const char *const images[] = {".bmp", ".png", ".jpg", ".qoi"};
    for (const char *e : images)
        if (strcasecmp(ext, e) == 0) return VEK_RES_IMAGE;
    if (strcasecmp(ext, ".wav") == 0) return VEK_RES_SOUND;
    return VEK_RES_RAW;
}

VEK_Resource *resource_find(VEK_Uint id) {
    if (id == 0 || id > ___vek_resources_size) return nullptr;
    return &___vek_resources[id - 1];
}

// ---------------------------------------------------------------------------
// Loading
// ---------------------------------------------------------------------------
VEK_Uint VEK_LoadResource(const char *path) {
    if (path == nullptr) {
        LOG("resource path is NULL");
        return 0;
    }
    return VEK_LoadResourceTyped(deduce_type(path), path);
}

VEK_Uint VEK_LoadResourceTyped(VEK_ResourceType type, const char *path) {
    if (path == nullptr) {
        LOG("resource path is NULL");
        return 0;
    }
    // Callers load by path every frame and use the id at once, so an existing
    // record of the same kind and path answers without touching the file.
    for (uint32_t i = 0; i < ___vek_resources_size; i++) {
        const VEK_Resource *r = &___vek_resources[i];
        if (r->type == type && r->path != nullptr && strcmp(r->path, path) == 0) return i + 1;
    }

    FILE *fp = platform_fopen(path, "rb");
    if (fp == nullptr) {
        LOG("%s: %s", path, strerror(errno));
        return 0;
    }
    size_t size = 0;
    char *data = drain(fp, &size);
    fclose(fp);
    if (data == nullptr) return 0;

    // drain refuses anything larger than an int, so the cut loses nothing.
    VEK_Uint id = VEK_LoadResourceFromMemory(type, data, static_cast<int>(size));
    _free(data);
    if (id == 0) return 0;

    // Stored only after a successful decode, so a failed load leaves no record.
    VEK_Resource *res = &___vek_resources[id - 1];
    res->path = static_cast<char *>(alloc(strlen(path) + 1));
    res->mtime = 0; // the watcher records the file's time on its next pass
    if (res->path != nullptr)
        strcpy(res->path, path);
    else
        LOG("%s", strerror(errno));
    return id;
}

VEK_Uint VEK_LoadResourceFromMemory(VEK_ResourceType type, const void *data, int size) {
    void *table = ___vek_resources;
    if (reserve(&table, ___vek_resources_size + 1, &___vek_resources_capacity,
                sizeof(VEK_Resource)) != 0) {
        LOG("failed to reserve for new ressource");
        return 0;
    }
    ___vek_resources = static_cast<VEK_Resource *>(table);

    // The slot past the last live record; on a failed decode it stays outside
    // the live range and the next load overwrites it.
    VEK_Resource *res = &___vek_resources[___vek_resources_size];
    memset(res, 0, sizeof(*res));
    res->type = type;
    res->path = nullptr;
    if (VEK_DirectResourceLoad(res, data, size) != 0) return 0;
    ___vek_resources_size += 1;
    return static_cast<VEK_Uint>(___vek_resources_size);
}

// SDL sizes (and clears) a BMP's whole surface from its header before it reads a
// single pixel; it reads the bytes a short header lacks as zeros, and headers past
// 2 GB of pixels even come back as pictures. So a header is held to what its bytes
// can hold first, read the same way: uncompressed rows must all be there (a cut or
// half-written file is refused before anything is allocated for it), and since
// run-length data has no such bound, no picture may have more than 2^26 pixels
// (256 MB as a 32-bit texture).
static constexpr int64_t BMP_MAX_PIXELS = int64_t{1} << 26;

static int bmp_sized_by_its_bytes(const void *data, int size) {
    const uint8_t *p = static_cast<const uint8_t *>(data);
    auto le = [p, size](int at, int n) {
        int64_t v = 0;
        for (int i = n - 1; i >= 0; i--) v = v << 8 | (at + i < size ? p[at + i] : 0);
        return v;
    };
    if (size < 2 || p[0] != 'B' || p[1] != 'M') return 0; // SDL refuses it itself
    int64_t offset = le(10, 4), header = le(14, 4), w, h, bpp, compression = 0;
    if (header == 12) { // the old core header: 16-bit sides
        w = le(18, 2), h = le(20, 2), bpp = le(24, 2);
    } else if (header >= 16) {
        w = static_cast<int32_t>(le(18, 4)), h = static_cast<int32_t>(le(22, 4)), bpp = le(28, 2);
        if (header >= 20) compression = le(30, 4);
    } else {
        return 0;
    }
    if (h < 0) h = -h;              // rows stored top-down
    if (w <= 0 || h == 0) return 0; // SDL reports the bad dimensions
    if (w * h > BMP_MAX_PIXELS)
        return SDL_SetError("BMP of %" SDL_PRIs64 "x%" SDL_PRIs64 " pixels: more than %" SDL_PRIs64
                            " pixels refused",
                            w, h, BMP_MAX_PIXELS);
    if (compression != 0 && compression != 3 && compression != 6) return 0; // run-length
    int64_t start = offset >= 14 + header ? offset : 14 + header;
    int64_t row = (w * bpp + 31) / 32 * 4;
    int64_t need = row * (h - 1) + (w * bpp + 7) / 8; // the last row may lack its padding
    if (start + need > size)
        return SDL_SetError("BMP of %" SDL_PRIs64 "x%" SDL_PRIs64 " pixels needs %" SDL_PRIs64
                            " bytes of pixels, has %" SDL_PRIs64,
                            w, h, need, start < size ? size - start : 0);
    return 0;
}

static int load_image(VEK_Resource *res, const void *data, int size) {
    if (bmp_sized_by_its_bytes(data, size) != 0) return sdl_error(-1);
    SDL_RWops *rw = SDL_RWFromConstMem(data, size);
    if (rw == nullptr) return sdl_error(-1);
    SDL_Surface *surface = SDL_LoadBMP_RW(rw, 1);
    if (surface == nullptr) return sdl_error(-1);
    SDL_Texture *texture = SDL_CreateTextureFromSurface(___vek_renderer, surface);
    SDL_FreeSurface(surface);
    if (texture == nullptr) return sdl_error(-1);
    if (SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_BLEND) < 0) {
        SDL_DestroyTexture(texture);
        return sdl_error(-1);
    }
    if (SDL_QueryTexture(texture, nullptr, nullptr, &res->image.width, &res->image.height) != 0) {
        SDL_DestroyTexture(texture);
        return sdl_error(-1);
    }
    res->image.ptr = texture;
    return 0;
}

static int load_sound(VEK_Resource *res, const void *data, int size) {
    if (___vek_config.mixer == VEK_MIXER_OFF) {
        LOG("audio mixer disabled, skip loading");
        return -1;
    }
    SDL_RWops *rw = SDL_RWFromConstMem(data, size);
    if (rw == nullptr) return sdl_error(-1);
    Mix_Chunk *chunk = Mix_LoadWAV_RW(rw, 0);
    SDL_RWclose(rw);
    if (chunk == nullptr) return sdl_error(-1);
    res->sound.ptr = chunk;
    return 0;
}

int VEK_DirectResourceLoad(VEK_Resource *res, const void *data, int size) {
    // A negative size would widen to a huge block request, which the allocator
    // answers by ending the process; null bytes with a size cannot be copied.
    if (size < 0 || (data == nullptr && size > 0)) {
        LOG("invalid data (%p, %d)", data, size);
        return -1;
    }
    switch (res->type) {
    case VEK_RES_RAW: {
        res->raw.size = static_cast<size_t>(size);
        res->raw.data = alloc(res->raw.size);
        if (res->raw.data == nullptr) {
            LOG("%s", strerror(errno));
            return -1;
        }
        if (size > 0) memcpy(res->raw.data, data, res->raw.size);
        return 0;
    }
    case VEK_RES_IMAGE:
        return load_image(res, data, size);
    case VEK_RES_SOUND:
        return load_sound(res, data, size);
    default:
        LOG("invalid type");
        return -1;
    }
}

void VEK_DestroyResource(VEK_Resource *res, int free_path) {
    if (res->path != nullptr && free_path) _free(res->path);
    switch (res->type) {
    case VEK_RES_RAW:
        if (res->raw.data != nullptr) _free(res->raw.data);
        break;
    case VEK_RES_IMAGE:
        if (res->image.ptr != nullptr) SDL_DestroyTexture(res->image.ptr);
        break;
    case VEK_RES_SOUND:
        if (res->sound.ptr != nullptr) Mix_FreeChunk(res->sound.ptr);
        break;
    default:
        LOG("unknown resource type %u", static_cast<unsigned>(res->type));
        break;
    }
}

// ---------------------------------------------------------------------------
// Getters. An id outside 1..size names nothing: each getter says so on a LOG
// line and gives its failure value instead of reading past the table.
// ---------------------------------------------------------------------------
VEK_Resource *VEK_GetResourcePointer(VEK_Uint id) {
    VEK_Resource *res = resource_find(id);
    if (res == nullptr) LOG("resource id %u out of range", id);
    return res;
}

VEK_ResourceType VEK_GetResourceType(VEK_Uint id) {
    const VEK_Resource *res = resource_find(id);
    if (res == nullptr) {
        LOG("resource id %u out of range", id);
        return ___VEK_RES_COUNT;
    }
    return res->type;
}

const char *VEK_GetResourcePath(VEK_Uint id) {
    const VEK_Resource *res = resource_find(id);
    if (res == nullptr) {
        LOG("resource id %u out of range", id);
        return nullptr;
    }
    return res->path;
}

VEK_Raw *VEK_GetRawResource(VEK_Uint id) {
    VEK_Resource *res = resource_find(id);
    if (res == nullptr) {
        LOG("resource id %u out of range", id);
        return nullptr;
    }
    return &res->raw;
}

int VEK_GetImageWidth(VEK_Uint id) {
    const VEK_Resource *res = resource_find(id);
    if (res == nullptr) {
        LOG("resource id %u out of range", id);
        return -1;
    }
    return res->image.width;
}

int VEK_GetImageHeight(VEK_Uint id) {
    const VEK_Resource *res = resource_find(id);
    if (res == nullptr) {
        LOG("resource id %u out of range", id);
        return -1;
    }
    return res->image.height;
}
