// SPDX-License-Identifier: MIT
// The output buffer record, its growth rule and the last-error text.
//
// Emitters write whole lines: they measure the complete line, call
// buf_ensure_avail() once, write the bytes at buf_tail() and then
// buf_commit() them. A failure before the commit leaves the buffer as it was.
#ifndef PROMFMT_BUFFER_H
#define PROMFMT_BUFFER_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "promfmt.h"

namespace promfmt {

// Working memory an emitter may need for one call (label pairs and their
// order, the parse arena for a large labels text). It is kept with the
// buffer between calls, so that a host that reuses its buffer stops
// allocating; see buf_scratch().
enum scratch_slot { SCRATCH_PAIRS, SCRATCH_PARSE, SCRATCH_SLOTS };

// Metric names up to this length are kept once found valid; see
// checked_metric_name() in emit.cpp.
constexpr size_t kKeptNameMax = 64;

// The label names of the last labels text the scanner took, when they are
// few and short; see kept_labels.h. A family's samples nearly always
// repeat them, and then their checks and their sort are not done again.
constexpr size_t kKeptLabelsMax = 8;
constexpr size_t kKeptLabelsText = 192;
static_assert(kKeptLabelsText <= UINT8_MAX, "piece ends are kept in bytes");

struct kept_labels {
    size_t count;                       // names kept; 0 for none
    size_t fixed_len;                   // bytes of {a="",b=""} for them
    uint8_t piece_end[kKeptLabelsMax];  // where each member's piece ends
    uint8_t out_end[kKeptLabelsMax];    // where each written piece ends
    uint8_t order[kKeptLabelsMax];      // the sort: indices in name order
    char pieces[kKeptLabelsText];       // as read: {"a":" then ","b":" ...
    char out_pieces[kKeptLabelsText];   // as written, in name order:
                                        // {a=" then ",b=" ..., then "}
};

}  // namespace promfmt

struct promfmt_buffer {
    char *data;       // text block, always NUL-terminated at data[len]
    size_t len;       // text bytes, NUL not counted
    size_t capacity;  // bytes in data; always >= len + 1
    void *scratch[promfmt::SCRATCH_SLOTS];
    size_t scratch_size[promfmt::SCRATCH_SLOTS];
    size_t valid_name_len;  // bytes of valid_name; 0 before the first
    char valid_name[promfmt::kKeptNameMax];  // the last valid metric name
    promfmt::kept_labels kept;               // the last few label names
};

namespace promfmt {

// Copies msg (at most 511 bytes of it) into the process-wide last-error text.
void set_error(const char *msg);

// Grows the text block for n more bytes plus the NUL; see buf_ensure_avail().
int buf_grow(promfmt_buffer_t *buf, size_t n);

// Makes room for n more bytes plus the NUL. 0 on success; -1 with
// "failed to expand buffer: out of memory" when the size cannot be
// represented or realloc fails, and then the buffer is unchanged. Room
// already there is found inline: capacity is at least len + 1, so the
// difference cannot wrap.
inline int buf_ensure_avail(promfmt_buffer_t *buf, size_t n)
{
    if (buf && n < buf->capacity - buf->len)
        return 0;
    return buf_grow(buf, n);
}

// Working memory up to this size stays with the buffer between calls:
// ample for hundreds of labels and labels texts of 64 KiB.
constexpr size_t kScratchKept = size_t{4} << 20;

// At least n bytes of the buffer's working memory in slot, keeping the
// block's earlier contents; NULL when it cannot grow (the block is then
// unchanged). Sets no message. Valid until the next buf_scratch() of that
// slot or buf_scratch_trim().
void *buf_scratch(promfmt_buffer_t *buf, scratch_slot slot, size_t n);

// Ends a call's use of the working memory: blocks larger than a scrape
// normally needs are released rather than kept with the buffer.
void buf_scratch_trim(promfmt_buffer_t *buf);

// Where the next byte goes; valid after buf_ensure_avail() succeeded.
inline char *buf_tail(promfmt_buffer_t *buf) { return buf->data + buf->len; }

// Adds n bytes already written at buf_tail() to the text and terminates it.
inline void buf_commit(promfmt_buffer_t *buf, size_t n)
{
    buf->len += n;
    buf->data[buf->len] = '\0';
}

// Copies n bytes to dst and returns the end. The lines are made of many
// short pieces (names, label values, numbers); those of up to 64 bytes are
// copied inline, with two overlapping moves that read and write no byte
// outside the pieces, rather than by a call. src may be NULL when n is 0.
// `longest`, when given, is the most n can be at the call (the room of a
// number's text), and drops the steps for longer pieces.
template <size_t longest = SIZE_MAX>
inline char *put(char *dst, const char *src, size_t n)
{
    if (n >= 8 && n <= 16) {
        memcpy(dst, src, 8);
        memcpy(dst + n - 8, src + n - 8, 8);
    } else if (n > 16 && n <= 32) {
        memcpy(dst, src, 16);
        memcpy(dst + n - 16, src + n - 16, 16);
    } else if (n >= 4 && n < 8) {
        memcpy(dst, src, 4);
        memcpy(dst + n - 4, src + n - 4, 4);
    } else if (n < 4) {
        for (size_t i = 0; i < n; ++i)
            dst[i] = src[i];
    } else if (longest > 32 && n <= 64) {  // names behind a long shared prefix
        memcpy(dst, src, 32);
        memcpy(dst + n - 32, src + n - 32, 32);
    } else if (longest > 64) {
        memcpy(dst, src, n);
    }
    return dst + n;
}

// Adds b to *total unless that would wrap; returns false when it would.
inline bool size_add(size_t *total, size_t b)
{
    if (b > static_cast<size_t>(-1) - *total)
        return false;
    *total += b;
    return true;
}

}  // namespace promfmt

#endif
