// SPDX-License-Identifier: MIT
// Counts calls of malloc, calloc and realloc in the benchmark process (the
// library, yyjson and operator new all reach them), forwarding to glibc.
#include <atomic>
#include <cstddef>

extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
}

std::atomic<unsigned long> g_bench_allocations{0};

extern "C" {

void *malloc(size_t n)
{
    g_bench_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(n);
}

void *calloc(size_t count, size_t size)
{
    g_bench_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}

void *realloc(void *p, size_t n)
{
    g_bench_allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, n);
}

}  // extern "C"
