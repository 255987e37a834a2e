// SPDX-License-Identifier: Zlib
// Hot reload: file-backed resources are re-read in place, under the same id,
// when their modification time (whole seconds, from stat) changes.
#include "vek_internal.h"

#include <cerrno>
#include <cstring>

void VEK_ResourcesWatch(void) {
    for (uint32_t i = 0; i < ___vek_resources_size; i++) {
        VEK_Resource *res = &___vek_resources[i];
        if (res->path == nullptr) continue;
        // A file that cannot be examined (deleted, say) leaves the cleared record,
        // i.e. time 0; when it comes back its time is only recorded, not reloaded.
        int64_t mtime = platform_mtime(res->path);
        if (mtime == res->mtime) continue;
        // 0 means "not seen yet": the first pass after a load only records.
        if (res->mtime != 0) VEK_ReloadResource(i + 1);
        // A reload never grows the table, so res still points at the record. The
        // time is stored even after a failed attempt: no retry until it changes.
        res->mtime = mtime;
    }
}

int VEK_ReloadResource(VEK_Uint id) {
    VEK_Resource *res = resource_find(id);
    if (res == nullptr) {
        LOG("resource id %u out of range", id);
        return -1;
    }
    if (res->path == nullptr) {
        LOG("resource path of %u is NULL", id);
        return -1;
    }
    FILE *fp = platform_fopen(res->path, "rb");
    if (fp == nullptr) {
        LOG("%s: %s", res->path, strerror(errno));
        return -1;
    }
    size_t size = 0;
    char *data = drain(fp, &size);
    fclose(fp);
    if (data == nullptr) return -1;

    // Decode into a copy, so that a file that does not decode (half written,
    // foreign) leaves the record and its old payload untouched.
    VEK_Resource fresh = *res;
    int rv = VEK_DirectResourceLoad(&fresh, data, static_cast<int>(size));
    _free(data);
    if (rv != 0) return -1;

    VEK_DestroyResource(res, 0); // the path block stays: the copy shares it
    *res = fresh;
    return 0;
}
