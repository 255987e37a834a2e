// Resource registry. (Minimal table for shutdown; loading comes next.)
#include "vek_internal.h"

VEK_Resource *___vek_resources = nullptr;
size_t ___vek_resources_size = 0;
size_t ___vek_resources_capacity = 0;

void VEK_DestroyResource(VEK_Resource *res, int free_path) {
    if (res->path != nullptr && free_path) _free(res->path);
}
