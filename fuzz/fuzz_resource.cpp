// SPDX-License-Identifier: Zlib
// VEK_LoadResourceFromMemory with raw, image and sound bytes. The first byte
// picks the kind (its value modulo 4, so the refused kind value 3 is covered
// too); the rest is the data. A loaded resource is drawn or played, then
// released and its record dropped, so the table and the tracked allocator must
// be back where they were before every input.
#include "common.h"

#include "VEK.h"
#include "_.h"

#include <cstring>

extern size_t ___vek_resources_size;

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz_engine_start();
    // The table's own block comes with the first load and stays: make it now,
    // so every input starts from the same allocator count.
    VEK_Uint id = VEK_LoadResourceFromMemory(VEK_RES_RAW, "", 0);
    FUZZ_CHECK(id == 1);
    VEK_DestroyResource(VEK_GetResourcePointer(id), 1);
    ___vek_resources_size = 0;
    return 0;
}

static void use(VEK_Uint id, VEK_ResourceType type, const uint8_t *data, int size) {
    switch (type) {
    case VEK_RES_RAW: {
        const VEK_Raw *raw = VEK_GetRawResource(id);
        FUZZ_CHECK(raw->size == static_cast<size_t>(size));
        FUZZ_CHECK(size == 0 || memcmp(raw->data, data, raw->size) == 0);
        break;
    }
    case VEK_RES_IMAGE: {
        int w = VEK_GetImageWidth(id), h = VEK_GetImageHeight(id);
        FUZZ_CHECK(w > 0 && h > 0);
        FUZZ_CHECK(VEK_DrawBegin() == 0);
        VEK_DrawImage(.id = id, .x = 1, .y = 2);
        VEK_DrawImage(.id = id, .x = 3, .y = 4, .ix = w / 2, .iy = h / 2, .w = -w, .h = h / 3,
                      .r = 0.125f, .sx = 1.5f, .sy = -0.5f, .center = true);
        FUZZ_CHECK(VEK_DrawEnd() == 0);
        break;
    }
    case VEK_RES_SOUND:
        FUZZ_CHECK(VEK_GetResourcePointer(id)->sound.ptr != nullptr);
        VEK_PlaySound(.id = id, .volume = 0.5f); // the mixer thread mixes it until it is freed
        break;
    default:
        FUZZ_CHECK(!"a refused kind was loaded");
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    auto type = static_cast<VEK_ResourceType>(data[0] % 4);
    const uint8_t *bytes = data + 1;
    int n = static_cast<int>(size - 1);

    EngineHeld before = fuzz_engine_held();
    VEK_Uint id = VEK_LoadResourceFromMemory(type, bytes, n);
    if (id == 0) {
        FUZZ_CHECK(type != VEK_RES_RAW); // raw bytes are always kept
        EngineHeld after = fuzz_engine_held();
        FUZZ_CHECK(after.resources == before.resources && after.blocks == before.blocks);
        return 0;
    }
    FUZZ_CHECK(id == before.resources + 1);
    FUZZ_CHECK(VEK_GetResourceType(id) == type && VEK_GetResourcePath(id) == nullptr);
    use(id, type, bytes, n);

    VEK_DestroyResource(VEK_GetResourcePointer(id), 1);
    ___vek_resources_size -= 1;
    EngineHeld after = fuzz_engine_held();
    FUZZ_CHECK(after.resources == before.resources && after.blocks == before.blocks);
    return 0;
}
