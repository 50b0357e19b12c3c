// SPDX-License-Identifier: MIT
// Helpers shared by the test files.
#ifndef PROMFMT_TEST_SUPPORT_H
#define PROMFMT_TEST_SUPPORT_H

#include <cstring>
#include <memory>
#include <string>

#include "buffer.h"
#include "promfmt.h"

// Owns one buffer for the length of a test.
class Buffer {
public:
    explicit Buffer(size_t capacity = 0) : buf_(promfmt_buffer_create(capacity)) {}
    ~Buffer() { promfmt_buffer_free(buf_); }
    Buffer(const Buffer &) = delete;
    Buffer &operator=(const Buffer &) = delete;

    promfmt_buffer_t *get() const { return buf_; }
    operator promfmt_buffer_t *() const { return buf_; }
    std::string text() const
    {
        return std::string(promfmt_buffer_data(buf_), promfmt_buffer_len(buf_));
    }
    size_t capacity() const { return buf_->capacity; }

private:
    promfmt_buffer_t *buf_;
};

// A heap block of exactly text's bytes and its NUL: a read past the NUL
// leaves the block, where AddressSanitizer and valgrind see it.
inline std::unique_ptr<char[]> exact_copy(const std::string &text)
{
    std::unique_ptr<char[]> copy(new char[text.size() + 1]);
    memcpy(copy.get(), text.c_str(), text.size() + 1);
    return copy;
}

inline std::string last_error() { return promfmt_last_error(); }

// Leaves a message no emitter sets, so that a check of a failure's message
// cannot pass on text an earlier failure left behind.
inline void prime_error()
{
    char out[1];
    promfmt_escape_label_value("\"", out, sizeof out);
}

#endif
