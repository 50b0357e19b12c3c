// SPDX-License-Identifier: MIT
// A shortcut past the JSON parser for the labels texts hosts send most: a
// flat object whose values are ASCII strings that use no escape but \",
// \\ and \n. Between its quotes, such a value already is its label value
// in the exposition format, escapes included, so it is copied through.
//
// The scanner only says yes to text it fully understands and that is valid
// JSON; on anything else it gives up, and the caller parses the text with
// yyjson as if the scanner did not exist. It never reports an error itself.
#ifndef PROMFMT_FLAT_LABELS_H
#define PROMFMT_FLAT_LABELS_H

#include <cstddef>

#include "buffer.h"
#include "label_pair.h"

namespace promfmt {

struct flat_scan {
    const char *p;           // next byte to read
    const char *begin;       // the text's first byte
    const char *end;         // the text's terminating NUL
    bool in_object;          // past the opening brace: p is at a member
    const char *first_name;  // the first member's name, once read
    size_t shared;           // bytes all names read so far share from the
                             // start, or 0 once too few to matter
    name_coding *coding;     // how the names read so far were coded (with
                             // the same shared prefix)
    size_t stored;           // names stored by the calls before this one
};

enum flat_result { FLAT_END, FLAT_FULL, FLAT_GIVE_UP };

// The first byte at or after p that is not JSON whitespace (space, tab,
// line feed, carriage return); the NUL ending the text stops it.
inline const char *skip_json_space(const char *p)
{
    while (static_cast<unsigned char>(*p) <= ' ' &&
           (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r'))
        ++p;
    return p;
}

// Starts scanning text[0..len), whose first byte is not JSON whitespace;
// how the names are coded goes to *coding.
inline void flat_begin(flat_scan *scan, const char *text, size_t len, name_coding *coding)
{
    scan->p = text;
    scan->begin = text;
    scan->end = text + len;
    scan->in_object = false;
    scan->first_name = nullptr;
    scan->shared = 0;
    scan->coding = coding;
    coding->shared = 0;
    coding->recode_below = 0;
    coding->runs = 0;
    scan->stored = 0;
}

// Reads members in document order into out[0..room), and sets *stored to
// how many it stored; their names are valid label names, coded as
// *scan->coding says. FLAT_END after
// the closing brace and nothing but whitespace; FLAT_FULL when room ran
// out first (call again with more room to go on); FLAT_GIVE_UP for
// anything the shortcut does not take.
flat_result flat_read(flat_scan *scan, label_pair *out, size_t room, size_t *stored);

// The text at text (up to the NUL at end, its first byte no JSON
// whitespace) when it is exactly the kept names' members, in their order
// or another, each once, without whitespace between tokens, each with a
// value the scanner takes: {"a":"x","b":"y"}, whitespace after it
// allowed. Stores the kept.count values at out, each at its name's kept
// index (their names are left as they are), and returns their bytes;
// kNotKept for any other text (out then means nothing). The names need no
// check: they are the bytes of names checked before.
constexpr size_t kNotKept = SIZE_MAX;
size_t flat_read_kept(const kept_labels &kept, const char *text, const char *end,
                      label_pair *out);

}  // namespace promfmt

#endif
