// SPDX-License-Identifier: Zlib
// Counts every heap call of the process. Defining malloc, calloc and realloc in
// the executable puts these ahead of the C library's for every caller, shared
// libraries included; each forwards to the C library's own allocator, so free
// and the rest of the allocator work on the same heap unchanged.
#include "bench_common.h"

#include <cstddef>

std::atomic<size_t> process_heap_calls{0};

// Under the sanitizers their runtime owns these entry points; the whole-process
// count then stays 0 (the engine and game count, by --wrap, still works).
#ifndef BENCH_NO_PROCESS_HEAP_COUNT
extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);

void *malloc(size_t n) {
    process_heap_calls.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(n);
}
void *calloc(size_t n, size_t m) {
    process_heap_calls.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(n, m);
}
void *realloc(void *p, size_t n) {
    process_heap_calls.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, n);
}
}
#endif
