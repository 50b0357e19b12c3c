// SPDX-License-Identifier: MIT
// Labels sort as single numbers: each name's first bytes, packed as
// six-bit codes that keep the byte order (label_name_code()), above the
// label's index. One integer comparison then decides almost every pair of
// names. Names that share all packed bytes (exporters often put a long
// common prefix before every name) form runs of equal codes; each run is
// packed again from the first byte where its names differ and sorted the
// same way, so a shared prefix costs one pass over it, not comparisons.
//
// Hosts send labels in a fixed order (often sorted, or reversed) or in any
// order. The first costs one pass; the second a merge sort whose merge
// steps select rather than branch, and which merges each pair of runs from
// both ends at once, two pairs side by side, so random input pays neither
// for mispredictions nor for one long chain of dependent loads.
#include "label_sort.h"

#include <algorithm>
#include <cstring>

#include "rules.h"
#include "words.h"

namespace promfmt {

namespace {

// How the keys of one call are packed: the index in the low index_bits,
// the codes of the first `packed` bytes of the name above it (the rest of
// the name's code is dropped).
struct packing {
    unsigned index_bits;
    size_t packed;
};

packing packing_for(size_t n)
{
    unsigned bits = 1;
    while (bits < 63 && (uint64_t{1} << bits) < n)
        bits += bits < 8 ? 7 : 1;  // 8 bits for up to 256 labels at once
    size_t packed = (64 - bits) / 6;
    return {bits, packed < kNameCodeBytes ? packed : kNameCodeBytes};
}

// name_code: label_name_code() of the name, or of the part of it that
// follows bytes all names being sorted share.
uint64_t make_key(uint64_t name_code, size_t index, packing pk)
{
    uint64_t code = name_code >> 6 * (kNameCodeBytes - pk.packed);
    return code << pk.index_bits | index;
}

size_t index_of(uint64_t key, packing pk) { return key & ((uint64_t{1} << pk.index_bits) - 1); }
uint64_t code_of(uint64_t key, packing pk) { return key >> pk.index_bits; }

bool name_less(const label_pair &a, const label_pair &b)
{
    size_t n = a.name_len < b.name_len ? a.name_len : b.name_len;
    int c = memcmp(a.name, b.name, n);
    return c != 0 ? c < 0 : a.name_len < b.name_len;
}

void insertion_sort(uint64_t *keys, size_t n)
{
    for (size_t i = 1; i < n; ++i) {
        uint64_t k = keys[i];
        size_t j = i;
        for (; j > 0 && k < keys[j - 1]; --j)
            keys[j] = keys[j - 1];
        keys[j] = k;
    }
}

// Merges sorted a[0..na) and b[0..nb) into out, one key per step.
void merge_forward(const uint64_t *a, size_t na, const uint64_t *b, size_t nb, uint64_t *out)
{
    const uint64_t *a_end = a + na;
    const uint64_t *b_end = b + nb;
    while (a < a_end && b < b_end) {
        uint64_t x = *a;
        uint64_t y = *b;
        bool take_b = y < x;
        *out++ = take_b ? y : x;
        a += !take_b;
        b += take_b;
    }
    while (a < a_end)
        *out++ = *a++;
    while (b < b_end)
        *out++ = *b++;
}

// Merges two sorted runs a and b of n keys each into out[0..2n): the
// smallest n from the front and the largest n from the back, one of each
// per step(). With equal runs neither end can run out before its n steps.
// Each end keeps one count, the keys it took from b; the keys it took from
// a follow from the step number, so a step's next loads wait on one add.
class merge_from_both_ends {
public:
    merge_from_both_ends(const uint64_t *a, const uint64_t *b, size_t n, uint64_t *out)
        : a_(a), b_(b), a_last_(a + n - 1), b_last_(b + n - 1), out_(out),
          out_last_(out + 2 * n - 1)
    {
    }

    void step(size_t i)
    {
        uint64_t x = a_[i - front_b_];
        uint64_t y = b_[front_b_];
        bool take_b = y < x;
        out_[i] = take_b ? y : x;
        front_b_ += take_b;

        uint64_t x_last = *(a_last_ - (i - back_b_));
        uint64_t y_last = *(b_last_ - back_b_);
        bool take_a = y_last < x_last;
        *(out_last_ - i) = take_a ? x_last : y_last;
        back_b_ += !take_a;
    }

private:
    const uint64_t *a_, *b_, *a_last_, *b_last_;
    uint64_t *out_, *out_last_;
    size_t front_b_ = 0;  // keys the front took from b; i - front_b_ from a
    size_t back_b_ = 0;   // keys the back took from b
};

void merge_both_ends(const uint64_t *a, const uint64_t *b, size_t n, uint64_t *out)
{
    merge_from_both_ends m(a, b, n, out);
    for (size_t i = 0; i < n; ++i)
        m.step(i);
}

// Two such merges of runs of n keys, from[0..4n) into to[0..4n), in one
// loop: four chains of loads in flight instead of two.
void merge_two_pairs(const uint64_t *from, size_t n, uint64_t *to)
{
    merge_from_both_ends first(from, from + n, n, to);
    merge_from_both_ends second(from + 2 * n, from + 3 * n, n, to + 2 * n);
    for (size_t i = 0; i < n; ++i) {
        first.step(i);
        second.step(i);
    }
}

// Puts a and b in order by a computed select, not a branch.
inline void order_pair(uint64_t &a, uint64_t &b)
{
    uint64_t x = a;
    uint64_t y = b;
    bool swap = y < x;
    a = swap ? y : x;
    b = swap ? x : y;
}

// Sorts eight keys with a sorting network of 19 exchanges in six layers,
// one layer a line; the exchanges of a layer are independent of each other.
void sort_eight(uint64_t *k)
{
    uint64_t a = k[0], b = k[1], c = k[2], d = k[3], e = k[4], f = k[5], g = k[6], h = k[7];
    order_pair(a, c); order_pair(b, d); order_pair(e, g); order_pair(f, h);
    order_pair(a, e); order_pair(b, f); order_pair(c, g); order_pair(d, h);
    order_pair(a, b); order_pair(c, d); order_pair(e, f); order_pair(g, h);
    order_pair(c, e); order_pair(d, f);
    order_pair(b, e); order_pair(d, g);
    order_pair(b, c); order_pair(d, e); order_pair(f, g);
    k[0] = a; k[1] = b; k[2] = c; k[3] = d;
    k[4] = e; k[5] = f; k[6] = g; k[7] = h;
}

constexpr size_t kNetwork = 8;

// Bottom-up merge sort: runs of eight by the network (the rest by
// insertion), then merge passes that swap between keys and tmp; the result
// ends in keys.
void merge_sort(uint64_t *keys, uint64_t *tmp, size_t n)
{
    size_t block = 0;
    for (; n - block >= kNetwork; block += kNetwork)
        sort_eight(keys + block);
    insertion_sort(keys + block, n - block);
    uint64_t *from = keys;
    uint64_t *to = tmp;
    for (size_t width = kNetwork; width < n; width *= 2) {
        size_t i = 0;
        for (; n - i >= 4 * width; i += 4 * width)
            merge_two_pairs(from + i, width, to + i);
        for (; i < n; i += 2 * width) {
            size_t mid = n - i < width ? n : i + width;
            size_t end = n - i < 2 * width ? n : i + 2 * width;
            if (end - mid == width)
                merge_both_ends(from + i, from + mid, width, to + i);
            else
                merge_forward(from + i, mid - i, from + mid, end - mid, to + i);
        }
        uint64_t *t = from;
        from = to;
        to = t;
    }
    if (from != keys)
        memcpy(keys, from, n * sizeof *keys);
}

// 1 when keys are already in order, -1 when in strictly reverse order,
// 0 otherwise.
int presorted(const uint64_t *keys, size_t n)
{
    size_t i = 1;
    while (i < n && keys[i - 1] <= keys[i])
        ++i;
    if (i == n)
        return 1;
    if (i > 1)
        return 0;
    while (i < n && keys[i - 1] > keys[i])
        ++i;
    return i == n ? -1 : 0;
}

// Bytes that the names of a and b share, counting from `from` (bytes
// before it are known to be shared), up to the end of the shorter name.
size_t shared_prefix(const label_pair &a, const label_pair &b, size_t from)
{
    size_t n = a.name_len < b.name_len ? a.name_len : b.name_len;
    if (from >= n)
        return n;
    return from + common_prefix(a.name + from, b.name + from, n - from);
}

// Sorts n keys of distinct indices; tmp has room for n keys.
void sort_keys(uint64_t *keys, uint64_t *tmp, size_t n)
{
    if (n <= kNetwork)
        insertion_sort(keys, n);
    else
        merge_sort(keys, tmp, n);
}

// How many times a run of tied names is packed again from further on
// before the rest is left to comparisons of whole names. Each packing
// splits the run, so only names that share long stretches beyond a first
// difference need the comparisons.
constexpr int kRepackings = 4;

bool order_run(const label_pair *pairs, uint64_t *keys, uint64_t *tmp, size_t n, packing pk,
               size_t known, int repackings);
bool repack_run(const label_pair *pairs, uint64_t *keys, uint64_t *tmp, size_t n, packing pk,
                size_t common, int repackings);

// Calls order_run() on every run of keys[0..n) that ties in its packed
// codes; true when some name appears twice.
bool order_tied_runs(const label_pair *pairs, uint64_t *keys, uint64_t *tmp, size_t n,
                     packing pk, size_t known, int repackings)
{
    bool twice = false;
    size_t start = 0;
    for (size_t i = 1; i <= n; ++i) {
        if (i < n && code_of(keys[i], pk) == code_of(keys[start], pk))
            continue;
        if (i - start > 1)
            twice |= order_run(pairs, keys + start, tmp, i - start, pk, known, repackings);
        start = i;
    }
    return twice;
}

// True when two neighbours of keys[0..n) have the same name.
bool has_neighbours_named_alike(const label_pair *pairs, const uint64_t *keys, size_t n,
                                packing pk)
{
    for (size_t i = 1; i < n; ++i) {
        if (same_name(pairs[index_of(keys[i - 1], pk)], pairs[index_of(keys[i], pk)]))
            return true;
    }
    return false;
}

// Puts in name order a run of n keys whose names share their first `known`
// bytes (or are equal and shorter). The names are packed again from the
// first byte where they differ, sorted by those keys, and what still ties
// is ordered the same way. True when some name appears twice.
bool order_run(const label_pair *pairs, uint64_t *keys, uint64_t *tmp, size_t n, packing pk,
               size_t known, int repackings)
{
    if (repackings == 0) {
        std::sort(keys, keys + n, [&](uint64_t a, uint64_t b) {
            return name_less(pairs[index_of(a, pk)], pairs[index_of(b, pk)]);
        });
        return has_neighbours_named_alike(pairs, keys, n, pk);
    }
    const label_pair &first = pairs[index_of(keys[0], pk)];
    size_t common = first.name_len;
    size_t longest = first.name_len;
    for (size_t i = 1; i < n; ++i) {
        const label_pair &p = pairs[index_of(keys[i], pk)];
        size_t shared = shared_prefix(first, p, known);
        common = shared < common ? shared : common;
        longest = p.name_len > longest ? p.name_len : longest;
    }
    if (common == longest)
        return true;  // all the same name
    return repack_run(pairs, keys, tmp, n, pk, common, repackings);
}

// Packs the n keys of a run again from byte `common` of their names, which
// all of them share and where two of them differ, sorts them, and orders
// what still ties.
bool repack_run(const label_pair *pairs, uint64_t *keys, uint64_t *tmp, size_t n, packing pk,
                size_t common, int repackings)
{
    for (size_t i = 0; i < n; ++i) {
        size_t index = index_of(keys[i], pk);
        const label_pair &p = pairs[index];
        keys[i] = make_key(label_name_code(p.name + common, p.name_len - common), index, pk);
    }
    sort_keys(keys, tmp, n);
    return order_tied_runs(pairs, keys, tmp, n, pk, common + pk.packed, repackings - 1);
}

// True when two neighbours share their packed codes.
bool has_ties(const uint64_t *keys, size_t n, packing pk)
{
    uint64_t equal = 0;
    for (size_t i = 1; i < n; ++i)
        equal |= code_of(keys[i], pk) == code_of(keys[i - 1], pk);
    return equal != 0;
}

// The code of name bytes from `shared` on, for a name that shares its
// first `from` bytes (from > shared) with the first name, from its code of
// the bytes from `from` on and the first name's from `shared` on: the
// shared bytes' codes come from the first name, the rest move down.
uint64_t code_moved_down(uint64_t code, size_t from, size_t shared, uint64_t first_code)
{
    size_t moved = from - shared;
    if (moved >= kNameCodeBytes)
        return first_code;
    unsigned kept_bits = static_cast<unsigned>(6 * (kNameCodeBytes - moved));
    uint64_t below = (uint64_t{1} << kept_bits) - 1;
    return (first_code & ~below) | code >> 6 * moved;
}

// Makes every name_code of pairs[0..n) (n > kFewLabels) that of the
// name's bytes from coding.shared on, as the sort needs them: the first
// kFewLabels carry keys and are coded here, the names before recode_below
// have their codes moved down (or are coded again when the runs were lost).
void finish_codes(label_pair *pairs, size_t n, const name_coding &coding)
{
    size_t shared = coding.shared;
    for (size_t i = 0; i < kFewLabels; ++i)
        pairs[i].name_code = label_name_code(pairs[i].name + shared, pairs[i].name_len - shared);
    if (coding.recode_below <= kFewLabels)
        return;
    size_t below = coding.recode_below < n ? coding.recode_below : n;
    if (coding.runs == kRunsLost) {
        for (size_t i = kFewLabels; i < below; ++i)
            pairs[i].name_code = label_name_code(pairs[i].name + shared, pairs[i].name_len - shared);
        return;
    }
    uint64_t first_code = pairs[0].name_code;
    size_t i = kFewLabels;
    for (size_t r = 0; r < coding.runs; ++r) {
        const coded_run &run = coding.run[r];
        for (; i < run.end && i < below; ++i)
            pairs[i].name_code = code_moved_down(pairs[i].name_code, run.from, shared, first_code);
    }
}

// Orders pairs[0..n) by the whole names, a handful of them whose keys
// tie; true when two names are the same. Kept out of line, it leaves
// sort_few() a leaf that needs no stack frame.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
bool order_by_names(const label_pair *pairs, size_t n, uint64_t *order)
{
    auto less = [pairs](uint64_t a, uint64_t b) {
        const label_pair &x = pairs[a];
        const label_pair &y = pairs[b];
        return x.name_code != y.name_code ? x.name_code < y.name_code : name_less(x, y);
    };
    for (size_t i = 0; i < n; ++i) {
        size_t j = i;
        for (; j > 0 && less(i, order[j - 1]); --j)
            order[j] = order[j - 1];
        order[j] = i;
    }
    for (size_t i = 1; i < n; ++i) {
        if (same_name(pairs[order[i - 1]], pairs[order[i]]))
            return true;
    }
    return false;
}

// True when every name of pairs[0..n) is `shared` bytes long, so all
// of them are the same name.
bool all_of_length(const label_pair *pairs, size_t n, size_t shared)
{
    for (size_t i = 0; i < n; ++i) {
        if (pairs[i].name_len != shared)
            return false;
    }
    return true;
}

}  // namespace

bool sort_few(const label_pair *pairs, size_t n, uint64_t *order)
{
    bool ties = false;
    for (size_t i = 0; i < n; ++i) {
        uint64_t key = pairs[i].name_code;
        size_t j = i;
        for (; j > 0 && key < pairs[order[j - 1]].name_code; --j)
            order[j] = order[j - 1];
        order[j] = i;
        // Keys that are equal stand side by side: the one before is the
        // last of them, if any.
        ties |= j > 0 && key == pairs[order[j - 1]].name_code;
    }
    // Names with different keys differ.
    return ties && order_by_names(pairs, n, order);
}

bool sort_many(label_pair *pairs, size_t n, const name_coding &coding, uint64_t *order,
               uint64_t *tmp)
{
    finish_codes(pairs, n, coding);
    size_t shared = coding.shared;
    if (shared > 0 && all_of_length(pairs, n, shared))
        return true;
    // Keys start where the names differ: a prefix they all share would
    // tell nothing apart.
    packing pk = packing_for(n);
    for (size_t i = 0; i != n; ++i)
        order[i] = make_key(pairs[i].name_code, i, pk);
    int sorted = presorted(order, n);
    if (sorted < 0)
        std::reverse(order, order + n);
    else if (sorted == 0)
        sort_keys(order, tmp, n);
    // Names that differ in their packed codes differ.
    bool twice = has_ties(order, n, pk) &&
                 order_tied_runs(pairs, order, tmp, n, pk, shared + pk.packed, kRepackings);
    for (size_t i = 0; i != n; ++i)
        order[i] = index_of(order[i], pk);
    return twice;
}

bool same_name(const label_pair &a, const label_pair &b)
{
    return a.name_len == b.name_len && memcmp(a.name, b.name, a.name_len) == 0;
}

}  // namespace promfmt
