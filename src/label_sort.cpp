// SPDX-License-Identifier: MIT
// Label names sort by precomputed keys: the first 16 bytes of each name
// decide almost every comparison without touching the names. Hosts send
// labels in a fixed order (often sorted, or reversed) or in any order; the
// first costs one pass, the second a merge sort whose merge step does not
// branch on the comparison, so random input does not pay for mispredictions.
#include "label_sort.h"

#include <cstring>

namespace promfmt {

namespace {

// Eight bytes as one number whose order is the bytes' order, on any host:
// the first byte is the most significant. Compilers turn this into one load
// (and a byte swap on little-endian hosts).
uint64_t load_big_endian(const unsigned char *u)
{
    return uint64_t{u[0]} << 56 | uint64_t{u[1]} << 48 | uint64_t{u[2]} << 40 |
           uint64_t{u[3]} << 32 | uint64_t{u[4]} << 24 | uint64_t{u[5]} << 16 |
           uint64_t{u[6]} << 8 | uint64_t{u[7]};
}

// Names equal in their first 16 bytes: the rest decides, then the length.
bool tail_less(const label_pair &a, const label_pair &b)
{
    size_t n = a.name_len < b.name_len ? a.name_len : b.name_len;
    int c = n > 16 ? memcmp(a.name + 16, b.name + 16, n - 16) : 0;
    return c != 0 ? c < 0 : a.name_len < b.name_len;
}

inline bool less(const sort_key &a, const sort_key &b)
{
    if (a.hi != b.hi)
        return a.hi < b.hi;
    if (a.lo != b.lo)
        return a.lo < b.lo;
    return tail_less(*a.pair, *b.pair);
}

// Up to this many keys, insertion sort beats merging.
constexpr size_t kSmallSort = 12;

void insertion_sort(sort_key *keys, size_t n)
{
    for (size_t i = 1; i < n; ++i) {
        sort_key k = keys[i];
        size_t j = i;
        for (; j > 0 && less(k, keys[j - 1]); --j)
            keys[j] = keys[j - 1];
        keys[j] = k;
    }
}

// Merges the sorted runs a[0..na) and b[0..nb) into out. Each step picks
// its source by a computed select, not a branch.
void merge(const sort_key *a, size_t na, const sort_key *b, size_t nb, sort_key *out)
{
    const sort_key *a_end = a + na;
    const sort_key *b_end = b + nb;
    while (a < a_end && b < b_end) {
        bool take_b = less(*b, *a);
        *out++ = *(take_b ? b : a);
        b += take_b;
        a += !take_b;
    }
    while (a < a_end)
        *out++ = *a++;
    while (b < b_end)
        *out++ = *b++;
}

// Bottom-up merge sort: runs of kSmallSort by insertion, then merge passes
// that swap between keys and tmp; the result ends in keys.
void merge_sort(sort_key *keys, sort_key *tmp, size_t n)
{
    for (size_t i = 0; i < n; i += kSmallSort)
        insertion_sort(keys + i, n - i < kSmallSort ? n - i : kSmallSort);
    sort_key *from = keys;
    sort_key *to = tmp;
    for (size_t width = kSmallSort; width < n; width *= 2) {
        for (size_t i = 0; i < n; i += 2 * width) {
            size_t mid = n - i < width ? n : i + width;
            size_t end = n - i < 2 * width ? n : i + 2 * width;
            merge(from + i, mid - i, from + mid, end - mid, to + i);
        }
        sort_key *t = from;
        from = to;
        to = t;
    }
    if (from != keys)
        memcpy(keys, from, n * sizeof *keys);
}

// 1 when keys are already in order, -1 when in strictly reverse order,
// 0 otherwise.
int presorted(const sort_key *keys, size_t n)
{
    size_t i = 1;
    while (i < n && !less(keys[i], keys[i - 1]))
        ++i;
    if (i == n)
        return 1;
    if (i > 1)
        return 0;
    while (i < n && less(keys[i], keys[i - 1]))
        ++i;
    return i == n ? -1 : 0;
}

}  // namespace

sort_key make_sort_key(const label_pair *pair)
{
    unsigned char first[16] = {};
    memcpy(first, pair->name, pair->name_len < 16 ? pair->name_len : 16);
    return {load_big_endian(first), load_big_endian(first + 8), pair};
}

void sort_keys(sort_key *keys, sort_key *tmp, size_t n)
{
    int order = presorted(keys, n);
    if (order > 0)
        return;
    if (order < 0) {
        for (size_t i = 0, j = n - 1; i < j; ++i, --j) {
            sort_key t = keys[i];
            keys[i] = keys[j];
            keys[j] = t;
        }
        return;
    }
    if (n <= kSmallSort)
        insertion_sort(keys, n);
    else
        merge_sort(keys, tmp, n);
}

bool same_name(const sort_key &a, const sort_key &b)
{
    const label_pair &x = *a.pair;
    const label_pair &y = *b.pair;
    return a.hi == b.hi && a.lo == b.lo && x.name_len == y.name_len &&
           (x.name_len <= 16 || memcmp(x.name + 16, y.name + 16, x.name_len - 16) == 0);
}

}  // namespace promfmt
