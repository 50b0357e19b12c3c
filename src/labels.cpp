// SPDX-License-Identifier: MIT
// Labels: the object's members are read in document order, every key is
// checked against the label-name rule, every value is turned into text,
// and the pairs are sorted by name. Duplicate names are refused: readers
// reject a line that repeats a label name.
//
// Members are read by the copy-through scanner (flat_labels.h) when it
// takes the text, and by yyjson otherwise; both give the same pairs.
#include "labels.h"

#include <yyjson.h>

#include <cstdint>
#include <cstring>

#include "flat_labels.h"
#include "rules.h"

namespace promfmt {

namespace {

int fail(label_set *set, const char *msg)
{
    release_labels(set);
    set_error(msg);
    return -1;
}

void use_inline_storage(label_set *set)
{
    set->pairs = set->inline_pairs;
    set->order = set->inline_order;
    set->numbers = set->inline_numbers;
    set->count = 0;
    set->capacity = kInlinePairs;
}

// Moves the set's storage to the buffer's working memory, with room for
// capacity pairs, then (with_numbers) as many number texts, then room to
// sort them. The pairs already stored are kept.
bool place_in_scratch(label_set *set, size_t capacity, bool with_numbers)
{
    const size_t each = sizeof(label_pair) + (with_numbers ? kNumberMax : 0) +
                        2 * sizeof(uint64_t);
    if (capacity > SIZE_MAX / each)
        return false;
    set->used_scratch = true;
    auto *block =
        static_cast<unsigned char *>(buf_scratch(set->buf, SCRATCH_PAIRS, capacity * each));
    if (!block)
        return false;
    if (set->pairs == set->inline_pairs)
        memcpy(block, set->inline_pairs, set->count * sizeof(label_pair));
    set->pairs = reinterpret_cast<label_pair *>(block);
    block += capacity * sizeof(label_pair);
    if (with_numbers) {
        set->numbers = reinterpret_cast<char(*)[kNumberMax]>(block);
        block += capacity * kNumberMax;
    }
    set->order = reinterpret_cast<uint64_t *>(block);
    set->capacity = capacity;
    return true;
}

// The shortcut: true when the scanner took the whole text. On false the
// pairs it stored mean nothing.
bool read_flat(const char *text, size_t len, label_set *set)
{
    flat_scan scan;
    flat_begin(&scan, text, len, &set->coding);
    for (;;) {
        size_t stored;
        flat_result r = flat_read(&scan, set->pairs + set->count, set->capacity - set->count,
                                  &stored);
        set->count += stored;
        if (r != FLAT_FULL)
            return r == FLAT_END;
        if (!place_in_scratch(set, 2 * set->capacity, false))
            return false;  // yyjson then tries, and reports what it meets
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
    case YYJSON_TYPE_STR:
        p->value = yyjson_get_str(val);
        p->value_len = yyjson_get_len(val);
        p->escaped_len = measure_label_value(p->value, &p->value_len);
        return;
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

// Parses text into set->doc: in an arena when the parse is sure to fit
// there (the set's own, or the buffer's working memory), which spares the
// parser's heap allocations, otherwise on the heap. Without
// YYJSON_READ_INSITU the text is only read, never written.
yyjson_doc *read_json(const char *text, size_t len, label_set *set)
{
    // The estimate is 0 when yyjson's own arithmetic overflows: far too big.
    size_t worst = yyjson_read_max_memory_usage(len, 0);
    void *arena = nullptr;
    size_t arena_size = worst;
    if (worst != 0 && worst <= sizeof set->arena) {
        arena = set->arena;
        arena_size = sizeof set->arena;
    } else if (worst != 0 && worst <= kScratchKept) {
        set->used_scratch = true;
        arena = buf_scratch(set->buf, SCRATCH_PARSE, worst);
    }
    yyjson_alc alc;
    if (arena && yyjson_alc_pool_init(&alc, arena, arena_size)) {
        set->doc_in_arena = true;
        return yyjson_read_opts(const_cast<char *>(text), len, 0, &alc, nullptr);
    }
    return yyjson_read_opts(const_cast<char *>(text), len, 0, nullptr, nullptr);
}

// The parser's way: the members of the parsed object in document order.
int read_parsed(const char *text, size_t len, label_set *set)
{
    use_inline_storage(set);
    set->coding.shared = 0;
    set->coding.recode_below = 0;
    set->doc = read_json(text, len, set);
    if (!set->doc)
        return fail(set, "failed to parse labels JSON");
    yyjson_val *root = yyjson_doc_get_root(set->doc);
    if (!yyjson_is_obj(root))
        return fail(set, "labels JSON must be an object");
    size_t count = yyjson_obj_size(root);
    if (count > kInlinePairs && !place_in_scratch(set, count, true))
        return fail(set, "out of memory allocating label pairs");

    yyjson_obj_iter iter = yyjson_obj_iter_with(root);
    yyjson_val *key;
    while ((key = yyjson_obj_iter_next(&iter)) != nullptr) {
        label_pair *p = &set->pairs[set->count];
        p->name = yyjson_get_str(key);
        p->name_len = yyjson_get_len(key);
        convert_value(yyjson_obj_iter_get_val(key), p, set->numbers[set->count]);
        ++set->count;
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

// Checks the names in document order (the first bad one is reported;
// the shortcut only takes valid names), sorts, and refuses a name that
// appears twice.
int check_and_sort(label_set *set, bool names_checked)
{
    size_t count = set->count;
    label_pair *pairs = set->pairs;
    for (size_t i = 0; !names_checked && i < count; ++i) {
        pairs[i].name_len = label_name_len(pairs[i].name, pairs[i].name_len);
        if (pairs[i].name_len == 0)
            return fail(set, "invalid label name in JSON");
        pairs[i].name_code = i < kFewLabels ? label_name_key(pairs[i].name, pairs[i].name_len)
                                            : label_name_code(pairs[i].name, pairs[i].name_len);
    }
    if (sort_labels(pairs, count, set->coding, set->order, set->order + count))
        return fail(set, "duplicate label name in JSON");
    if (!measure_text(set))
        return fail(set, "failed to expand buffer: out of memory");
    return 0;
}

// The set of a text that repeats the kept names (see flat_read_kept()):
// their order is the kept one, and only the values are measured.
bool read_kept(const kept_labels &kept, const char *text, size_t len, label_set *set)
{
    size_t values = flat_read_kept(kept, text, text + len, set->pairs);
    if (values == kNotKept)
        return false;
    set->count = kept.count;
    set->kept = &kept;
    set->text_len = kept.fixed_len;
    return size_add(&set->text_len, values);
}

// Appends the text open, the name of p and the text close to the pieces
// at *at, which then ends after them; false, with nothing appended, when
// they do not fit. Inline, with the texts' lengths fixed, so that those
// are copied by stores.
template <size_t open_size, size_t close_size>
inline bool add_piece(char *pieces, size_t *at, const char (&open)[open_size],
                      const label_pair &p, const char (&close)[close_size])
{
    constexpr size_t fixed = open_size - 1 + close_size - 1;
    size_t room = kKeptLabelsText - *at;
    if (room < fixed || p.name_len > room - fixed)
        return false;
    char *d = pieces + *at;
    memcpy(d, open, open_size - 1);
    d = put(d + open_size - 1, p.name, p.name_len);
    memcpy(d, close, close_size - 1);
    *at = static_cast<size_t>(d + close_size - 1 - pieces);
    return true;
}

// Keeps the names of a set the scanner read, checked and sorted, for the
// next text. A set of too many names leaves what is kept as it is; one
// whose names do not fit the pieces leaves nothing kept. The pieces are
// those a text without whitespace holds.
void keep_names(kept_labels *kept, const label_set *set)
{
    if (set->count > kKeptLabelsMax)
        return;
    kept->count = 0;
    size_t at = 0;
    size_t out_at = 0;
    for (size_t i = 0; i < set->count; ++i) {
        const label_pair &p = set->pairs[i];
        const label_pair &by_name = set->pairs[set->order[i]];
        bool fits = i == 0 ? add_piece(kept->pieces, &at, "{\"", p, "\":\"") &&
                                 add_piece(kept->out_pieces, &out_at, "{", by_name, "=\"")
                           : add_piece(kept->pieces, &at, "\",\"", p, "\":\"") &&
                                 add_piece(kept->out_pieces, &out_at, "\",", by_name, "=\"");
        if (!fits)
            return;
        kept->piece_end[i] = static_cast<uint8_t>(at);
        kept->out_end[i] = static_cast<uint8_t>(out_at);
        kept->order[i] = static_cast<uint8_t>(set->order[i]);
    }
    kept->fixed_len = out_at + 2;  // and "} after the last value
    kept->count = set->count;
}

}  // namespace

int parse_labels(promfmt_buffer_t *buf, const char *labels_json, label_set *set,
                 bool allow_shortcut)
{
    set->buf = buf;
    set->doc = nullptr;
    set->doc_in_arena = false;
    set->used_scratch = false;
    set->text_len = 0;
    set->kept = nullptr;
    use_inline_storage(set);
    if (!labels_json)
        return 0;
    const char *text = skip_json_space(labels_json);
    if (*text == '\0')
        return 0;

    size_t len = strlen(text);
    if (allow_shortcut && buf->kept.count != 0 && read_kept(buf->kept, text, len, set))
        return 0;
    bool flat = allow_shortcut && read_flat(text, len, set);
    if (!flat && read_parsed(text, len, set) != 0)
        return -1;
    if (set->count == 0)
        return 0;
    if (check_and_sort(set, flat) != 0)
        return -1;
    if (flat)
        keep_names(&buf->kept, set);
    return 0;
}

void release_held(label_set *set)
{
    if (set->doc && !set->doc_in_arena)
        yyjson_doc_free(set->doc);
    set->doc = nullptr;
    if (set->used_scratch) {
        buf_scratch_trim(set->buf);
        set->used_scratch = false;
    }
}

namespace {

// The labels of a set that repeated the kept names: their pieces as
// written, each followed by its value.
char *write_kept_labels(char *dst, const label_set *set)
{
    const kept_labels &kept = *set->kept;
    size_t from = 0;
    for (size_t i = 0; i < set->count; ++i) {
        dst = put(dst, kept.out_pieces + from, kept.out_end[i] - from);
        const label_pair &p = set->pairs[kept.order[i]];
        dst = put(dst, p.value, p.value_len);
        from = kept.out_end[i];
    }
    *dst++ = '"';
    *dst++ = '}';
    return dst;
}

}  // namespace

char *write_labels(char *dst, const label_set *set)
{
    if (set->kept)
        return write_kept_labels(dst, set);
    if (set->count == 0)
        return dst;
    *dst++ = '{';
    for (size_t i = 0; i < set->count; ++i) {
        const label_pair &p = set->pairs[set->order[i]];
        if (i)
            *dst++ = ',';
        dst = put(dst, p.name, p.name_len);
        *dst++ = '=';
        *dst++ = '"';
        if (p.escaped_len == p.value_len) {
            dst = put(dst, p.value, p.value_len);
        } else {
            dst = write_label_value(dst, p.value, p.value_len);
        }
        *dst++ = '"';
    }
    *dst++ = '}';
    return dst;
}

}  // namespace promfmt
