// SPDX-License-Identifier: MIT
// Labels: yyjson parses the object, every key is checked against the
// label-name rule, every value is turned into text, and the pairs are sorted
// by name. Duplicate names are refused: readers reject a line that repeats
// a label name.
#include "labels.h"

#include <yyjson.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "buffer.h"
#include "rules.h"

namespace promfmt {

namespace {

const char *skip_json_space(const char *s)
{
    while (*s == ' ' || *s == '\t' || *s == '\n' || *s == '\r')
        ++s;
    return s;
}

// Eight bytes as one number whose order is the bytes' order, on any host:
// the first byte is the most significant. Compilers turn this into one load
// (and a byte swap on little-endian hosts).
uint64_t load_big_endian(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return uint64_t{u[0]} << 56 | uint64_t{u[1]} << 48 | uint64_t{u[2]} << 40 |
           uint64_t{u[3]} << 32 | uint64_t{u[4]} << 24 | uint64_t{u[5]} << 16 |
           uint64_t{u[6]} << 8 | uint64_t{u[7]};
}

// Byte order of the names, as strcmp would give it: eight bytes at a time
// (names often share a prefix), then byte by byte.
struct label_pair_cmp {
    bool operator()(const label_pair *pa, const label_pair *pb) const
    {
        const label_pair &a = *pa;
        const label_pair &b = *pb;
        size_t n = a.name_len < b.name_len ? a.name_len : b.name_len;
        size_t i = 0;
        for (; i + 8 <= n; i += 8) {
            uint64_t x = load_big_endian(a.name + i);
            uint64_t y = load_big_endian(b.name + i);
            if (x != y)
                return x < y;
        }
        for (; i < n; ++i) {
            if (a.name[i] != b.name[i])
                return static_cast<unsigned char>(a.name[i]) <
                       static_cast<unsigned char>(b.name[i]);
        }
        return a.name_len < b.name_len;
    }
};

bool same_name(const label_pair *a, const label_pair *b)
{
    return a->name_len == b->name_len && memcmp(a->name, b->name, a->name_len) == 0;
}

// Orders set->sorted by name: insertion sort for the common handful of
// labels, std::sort beyond.
void sort_pairs(label_set *set)
{
    const label_pair **order = set->sorted;
    size_t count = set->count;
    for (size_t i = 0; i < count; ++i)
        order[i] = &set->pairs[i];
    if (count > kInlinePairs) {
        std::sort(order, order + count, label_pair_cmp());
        return;
    }
    for (size_t i = 1; i < count; ++i) {
        const label_pair *p = order[i];
        size_t j = i;
        for (; j > 0 && label_pair_cmp()(p, order[j - 1]); --j)
            order[j] = order[j - 1];
        order[j] = p;
    }
}

void set_text(label_pair *p, const char *text, size_t len)
{
    p->value = text;
    p->value_len = len;
    p->escaped_len = len;
}

// The label value text of one JSON value. yyjson's strings end in a NUL, so
// a string is taken up to its first NUL. Numbers and words need no escaping.
void convert_value(yyjson_val *val, label_pair *p, char *number)
{
    switch (yyjson_get_type(val)) {
    case YYJSON_TYPE_STR: {
        escaped_size size = measure_label_value(yyjson_get_str(val), yyjson_get_len(val));
        p->value = yyjson_get_str(val);
        p->value_len = size.raw_len;
        p->escaped_len = size.escaped_len;
        return;
    }
    case YYJSON_TYPE_NUM:
        if (yyjson_is_uint(val))
            set_text(p, number, format_uint(number, yyjson_get_uint(val)));
        else if (yyjson_is_sint(val))
            set_text(p, number, format_int(number, yyjson_get_sint(val)));
        else
            set_text(p, number, format_real(number, yyjson_get_real(val)));
        return;
    case YYJSON_TYPE_BOOL:
        if (yyjson_is_true(val))
            set_text(p, "true", 4);
        else
            set_text(p, "false", 5);
        return;
    default:  // null, array, object
        set_text(p, "", 0);
        return;
    }
}

int fail(label_set *set, const char *msg)
{
    release_labels(set);
    set_error(msg);
    return -1;
}

// Parses text into set->doc: in the set's arena when the parse is sure to
// fit there, which spares two heap allocations per sample, otherwise on the
// heap. Without YYJSON_READ_INSITU the text is only read, never written.
yyjson_doc *read_json(const char *text, label_set *set)
{
    size_t len = strlen(text);
    // The estimate is 0 when yyjson's own arithmetic overflows: far too big.
    size_t worst = yyjson_read_max_memory_usage(len, 0);
    if (worst != 0 && worst <= sizeof set->arena) {
        yyjson_alc arena;
        if (yyjson_alc_pool_init(&arena, set->arena, sizeof set->arena)) {
            set->doc_in_arena = true;
            return yyjson_read_opts(const_cast<char *>(text), len, 0, &arena, nullptr);
        }
    }
    return yyjson_read_opts(const_cast<char *>(text), len, 0, nullptr, nullptr);
}

// Gets room for count pairs, their order and their number texts: inside
// the set for a few, otherwise one heap block holding the three arrays.
bool reserve_pairs(label_set *set, size_t count)
{
    if (count <= kInlinePairs)
        return true;
    const size_t each = sizeof(label_pair) + sizeof(label_pair *) + kNumberMax;
    if (count > SIZE_MAX / each)
        return false;
    auto *block = static_cast<unsigned char *>(malloc(count * each));
    if (!block)
        return false;
    set->pairs = reinterpret_cast<label_pair *>(block);
    block += count * sizeof(label_pair);
    set->sorted = reinterpret_cast<const label_pair **>(block);
    block += count * sizeof(label_pair *);
    set->numbers = reinterpret_cast<char(*)[kNumberMax]>(block);
    return true;
}

// Walks the members in document order into set->pairs.
int convert_members(yyjson_val *root, label_set *set)
{
    yyjson_obj_iter iter = yyjson_obj_iter_with(root);
    yyjson_val *key;
    size_t i = 0;
    while ((key = yyjson_obj_iter_next(&iter)) != nullptr) {
        label_pair *p = &set->pairs[i];
        p->name = yyjson_get_str(key);
        p->name_len = label_name_len(p->name, yyjson_get_len(key));
        if (p->name_len == 0)
            return fail(set, "invalid label name in JSON");
        convert_value(yyjson_obj_iter_get_val(key), p, set->numbers[i]);
        ++i;
    }
    return 0;
}

// Bytes of {name="value",...}; false when the sum cannot be represented.
bool measure_text(label_set *set)
{
    size_t total = 1 + set->count;  // "{", then "," between pairs and "}"
    for (size_t i = 0; i < set->count; ++i) {
        const label_pair &p = set->pairs[i];
        if (!size_add(&total, p.name_len) || !size_add(&total, p.escaped_len) ||
            !size_add(&total, 3))  // =""
            return false;
    }
    set->text_len = total;
    return true;
}

}  // namespace

int parse_labels(const char *labels_json, label_set *set)
{
    set->doc = nullptr;
    set->doc_in_arena = false;
    set->pairs = set->inline_pairs;
    set->sorted = set->inline_sorted;
    set->numbers = set->inline_numbers;
    set->count = 0;
    set->text_len = 0;
    if (!labels_json)
        return 0;
    const char *text = skip_json_space(labels_json);
    if (*text == '\0')
        return 0;

    set->doc = read_json(text, set);
    if (!set->doc)
        return fail(set, "failed to parse labels JSON");
    yyjson_val *root = yyjson_doc_get_root(set->doc);
    if (!yyjson_is_obj(root))
        return fail(set, "labels JSON must be an object");

    size_t count = yyjson_obj_size(root);
    if (count == 0)
        return 0;
    if (!reserve_pairs(set, count))
        return fail(set, "out of memory allocating label pairs");
    if (convert_members(root, set) != 0)
        return -1;
    set->count = count;

    sort_pairs(set);
    for (size_t i = 1; i < count; ++i) {
        if (same_name(set->sorted[i - 1], set->sorted[i]))
            return fail(set, "duplicate label name in JSON");
    }
    if (!measure_text(set))
        return fail(set, "failed to expand buffer: out of memory");
    return 0;
}

void release_labels(label_set *set)
{
    if (set->pairs != set->inline_pairs)
        free(set->pairs);  // the order and the number texts share the block
    set->pairs = set->inline_pairs;
    set->sorted = set->inline_sorted;
    set->numbers = set->inline_numbers;
    if (!set->doc_in_arena)
        yyjson_doc_free(set->doc);
    set->doc = nullptr;
    set->count = 0;
}

char *write_labels(char *dst, const label_set *set)
{
    if (set->count == 0)
        return dst;
    *dst++ = '{';
    for (size_t i = 0; i < set->count; ++i) {
        const label_pair &p = *set->sorted[i];
        if (i)
            *dst++ = ',';
        memcpy(dst, p.name, p.name_len);
        dst += p.name_len;
        *dst++ = '=';
        *dst++ = '"';
        if (p.escaped_len == p.value_len) {
            memcpy(dst, p.value, p.value_len);
            dst += p.value_len;
        } else {
            dst = write_label_value(dst, p.value, p.value_len);
        }
        *dst++ = '"';
    }
    *dst++ = '}';
    return dst;
}

}  // namespace promfmt
