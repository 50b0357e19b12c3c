// SPDX-License-Identifier: MIT
#include "failing_alloc.h"

#include <atomic>
#include <cstddef>

extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void __libc_free(void *);
}

namespace {

std::atomic<long> g_countdown{-1};
std::atomic<bool> g_failed{false};
std::atomic<long> g_live{0};

bool should_fail()
{
    long n = g_countdown.load(std::memory_order_relaxed);
    if (n < 0)
        return false;
    g_countdown.store(n - 1, std::memory_order_relaxed);
    if (n == 0) {
        g_failed = true;
        return true;
    }
    return false;
}

}  // namespace

namespace failing_alloc {

void fail_after(long n)
{
    g_failed = false;
    g_countdown = n;
}

bool failed() { return g_failed; }

long live_blocks() { return g_live; }

}  // namespace failing_alloc

extern "C" {

void *malloc(size_t n)
{
    if (should_fail())
        return nullptr;
    void *p = __libc_malloc(n);
    if (p)
        ++g_live;
    return p;
}

void *calloc(size_t count, size_t size)
{
    if (should_fail())
        return nullptr;
    void *p = __libc_calloc(count, size);
    if (p)
        ++g_live;
    return p;
}

void *realloc(void *old, size_t n)
{
    if (should_fail())
        return nullptr;
    void *p = __libc_realloc(old, n);
    if (p && !old)
        ++g_live;
    return p;
}

void free(void *p)
{
    if (p)
        --g_live;
    __libc_free(p);
}

}  // extern "C"
