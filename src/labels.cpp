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

// Byte order of the names, as strcmp would give it.
bool label_pair_cmp(const label_pair &a, const label_pair &b)
{
    size_t n = a.name_len < b.name_len ? a.name_len : b.name_len;
    int c = memcmp(a.name, b.name, n);
    return c < 0 || (c == 0 && a.name_len < b.name_len);
}

bool same_name(const label_pair &a, const label_pair &b)
{
    return a.name_len == b.name_len && memcmp(a.name, b.name, a.name_len) == 0;
}

void set_text(label_pair *p, const char *text, size_t len)
{
    p->value = text;
    p->value_len = len;
    p->escaped_len = len;
}

// The label value text of one JSON value. Numbers and words need no escaping.
void convert_value(yyjson_val *val, label_pair *p)
{
    switch (yyjson_get_type(val)) {
    case YYJSON_TYPE_STR: {
        escaped_size size = measure_label_value(yyjson_get_str(val), yyjson_get_len(val));
        p->value = yyjson_get_str(val);
        p->value_len = size.raw_len;
        p->escaped_len = size.escaped_len;
        return;
    }
    case YYJSON_TYPE_NUM: {
        size_t n;
        if (yyjson_is_uint(val))
            n = format_uint(p->number, yyjson_get_uint(val));
        else if (yyjson_is_sint(val))
            n = format_int(p->number, yyjson_get_sint(val));
        else
            n = format_real(p->number, yyjson_get_real(val));
        set_text(p, nullptr, n);
        return;
    }
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

// Walks the members in document order into set->pairs.
int convert_members(yyjson_val *root, label_set *set)
{
    yyjson_obj_iter iter = yyjson_obj_iter_with(root);
    yyjson_val *key;
    size_t i = 0;
    while ((key = yyjson_obj_iter_next(&iter)) != nullptr) {
        label_pair *p = &set->pairs[i++];
        p->name = yyjson_get_str(key);
        p->name_len = label_name_len(p->name, yyjson_get_len(key));
        if (p->name_len == 0)
            return fail(set, "invalid label name in JSON");
        convert_value(yyjson_obj_iter_get_val(key), p);
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
    set->pairs = set->inline_pairs;
    set->count = 0;
    set->text_len = 0;
    if (!labels_json)
        return 0;
    const char *text = skip_json_space(labels_json);
    if (*text == '\0')
        return 0;

    // Without YYJSON_READ_INSITU the text is only read, never written.
    set->doc = yyjson_read_opts(const_cast<char *>(text), strlen(text), 0, nullptr, nullptr);
    if (!set->doc)
        return fail(set, "failed to parse labels JSON");
    yyjson_val *root = yyjson_doc_get_root(set->doc);
    if (!yyjson_is_obj(root))
        return fail(set, "labels JSON must be an object");

    size_t count = yyjson_obj_size(root);
    if (count == 0)
        return 0;
    if (count > kInlinePairs) {
        set->pairs = count > SIZE_MAX / sizeof(label_pair)
                         ? nullptr
                         : static_cast<label_pair *>(malloc(count * sizeof(label_pair)));
        if (!set->pairs)
            return fail(set, "out of memory allocating label pairs");
    }
    if (convert_members(root, set) != 0)
        return -1;
    set->count = count;

    std::sort(set->pairs, set->pairs + count, label_pair_cmp);
    for (size_t i = 1; i < count; ++i) {
        if (same_name(set->pairs[i - 1], set->pairs[i]))
            return fail(set, "duplicate label name in JSON");
    }
    if (!measure_text(set))
        return fail(set, "failed to expand buffer: out of memory");
    return 0;
}

void release_labels(label_set *set)
{
    if (set->pairs != set->inline_pairs)
        free(set->pairs);
    set->pairs = set->inline_pairs;
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
        const label_pair &p = set->pairs[i];
        if (i)
            *dst++ = ',';
        memcpy(dst, p.name, p.name_len);
        dst += p.name_len;
        *dst++ = '=';
        *dst++ = '"';
        const char *value = p.value ? p.value : p.number;
        if (p.escaped_len == p.value_len) {
            memcpy(dst, value, p.value_len);
            dst += p.value_len;
        } else {
            dst = write_label_value(dst, value, p.value_len);
        }
        *dst++ = '"';
    }
    *dst++ = '}';
    return dst;
}

}  // namespace promfmt
