// SPDX-License-Identifier: MIT
// Buffer lifecycle, growth and the last-error text.
#include "buffer.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace promfmt {

namespace {

constexpr size_t kMinCapacity = 64;
constexpr size_t kErrorSize = 512;
constexpr size_t kGrowthSlack = 1024;
constexpr size_t kSizeMax = SIZE_MAX;

char s_last_error[kErrorSize];

}  // namespace

void set_error(const char *msg)
{
    strncpy(s_last_error, msg, kErrorSize - 1);
    s_last_error[kErrorSize - 1] = '\0';
}

// Growth doubles the block, or gives the needed size plus 1024 bytes when
// doubling falls short. Every sum is checked by subtraction first.
int buf_grow(promfmt_buffer_t *buf, size_t n)
{
    if (!buf)
        return -1;
    if (n > kSizeMax - buf->len - 1) {
        set_error("failed to expand buffer: out of memory");
        return -1;
    }
    size_t needed = buf->len + n + 1;
    if (buf->capacity >= needed)
        return 0;
    size_t new_cap = buf->capacity <= kSizeMax / 2 ? buf->capacity * 2 : kSizeMax;
    if (new_cap < needed) {
        if (needed > kSizeMax - kGrowthSlack) {
            set_error("failed to expand buffer: out of memory");
            return -1;
        }
        new_cap = needed + kGrowthSlack;
    }
    char *data = static_cast<char *>(realloc(buf->data, new_cap));
    if (!data) {
        set_error("failed to expand buffer: out of memory");
        return -1;
    }
    buf->data = data;
    buf->capacity = new_cap;
    return 0;
}

void *buf_scratch(promfmt_buffer_t *buf, scratch_slot slot, size_t n)
{
    if (n <= buf->scratch_size[slot])
        return buf->scratch[slot];
    size_t size = buf->scratch_size[slot] <= kSizeMax / 2 ? buf->scratch_size[slot] * 2 : n;
    if (size < n)
        size = n;
    if (n <= kScratchKept && size > kScratchKept)
        size = kScratchKept;  // doubling must not push a keepable block past the limit
    void *block = realloc(buf->scratch[slot], size);
    if (!block)
        return nullptr;
    buf->scratch[slot] = block;
    buf->scratch_size[slot] = size;
    return block;
}

void buf_scratch_trim(promfmt_buffer_t *buf)
{
    for (int slot = 0; slot < SCRATCH_SLOTS; ++slot) {
        if (buf->scratch_size[slot] > kScratchKept) {
            free(buf->scratch[slot]);
            buf->scratch[slot] = nullptr;
            buf->scratch_size[slot] = 0;
        }
    }
}

}  // namespace promfmt

using promfmt::set_error;

extern "C" {

PROMFMT_API promfmt_buffer_t *PROMFMT_CALL promfmt_buffer_create(size_t initial_capacity)
{
    auto *buf = static_cast<promfmt_buffer_t *>(calloc(1, sizeof(promfmt_buffer_t)));
    if (!buf) {
        set_error("failed to allocate promfmt_buffer_t struct");
        return nullptr;
    }
    size_t cap = initial_capacity < promfmt::kMinCapacity ? promfmt::kMinCapacity
                                                          : initial_capacity;
    buf->data = static_cast<char *>(malloc(cap));
    if (!buf->data) {
        set_error("failed to allocate buffer data memory");
        free(buf);
        return nullptr;
    }
    buf->data[0] = '\0';
    buf->len = 0;
    buf->capacity = cap;
    return buf;
}

PROMFMT_API void PROMFMT_CALL promfmt_buffer_free(promfmt_buffer_t *buf)
{
    if (!buf)
        return;
    for (void *block : buf->scratch)
        free(block);
    free(buf->data);
    free(buf);
}

PROMFMT_API void PROMFMT_CALL promfmt_buffer_reset(promfmt_buffer_t *buf)
{
    if (!buf)
        return;
    buf->len = 0;
    if (buf->data && buf->capacity)
        buf->data[0] = '\0';
}

PROMFMT_API const char *PROMFMT_CALL promfmt_buffer_data(const promfmt_buffer_t *buf)
{
    if (!buf || !buf->data)
        return "";
    return buf->data;
}

PROMFMT_API size_t PROMFMT_CALL promfmt_buffer_len(const promfmt_buffer_t *buf)
{
    return buf ? buf->len : 0;
}

PROMFMT_API const char *PROMFMT_CALL promfmt_last_error(void)
{
    return promfmt::s_last_error;
}

}  // extern "C"
