// SPDX-License-Identifier: MIT
// Label order on the shapes real exporters send: names behind a common
// prefix of every length up to 40 bytes, label sets of the sizes the sort
// handles differently, every input order a fast path could mistake for
// another, both label routes, and duplicates among many labels. Every case
// is written on one buffer, reset in between, so that each call runs on the
// working memory the call before it left behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support.h"

namespace {

// The bytes of label names, in byte order; the first byte of a name may
// not be a digit.
const std::string kNameBytes =
    "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz";
const std::string kFirstBytes = kNameBytes.substr(10);
// Prefixes are cut from this; each is a valid start of a name.
const std::string kPrefixSource = "label_app_kubernetes_io_managed_by_Team42x";
constexpr size_t kMaxPrefix = 40;
// Larger sets first, so that each call finds the keys of a larger one in
// the working memory.
const size_t kCounts[] = {256, 64, 17, 16, 5, 2};

struct Rng {
    uint64_t s;
    uint64_t next()
    {
        s ^= s << 13, s ^= s >> 7, s ^= s << 17;
        return s;
    }
    size_t below(size_t n) { return static_cast<size_t>(next() % n); }
};

// n distinct names: the first `prefix` bytes of kPrefixSource, then a
// suffix. With fixed_length, every suffix has the same length (one byte,
// or two when one cannot give n names), so neighbours in byte order differ
// only in their last byte; otherwise suffixes have 0 to 3 bytes and some
// names are prefixes of others.
std::vector<std::string> make_names(size_t prefix, size_t n, bool fixed_length, Rng &rng)
{
    const std::string head = kPrefixSource.substr(0, prefix);
    size_t length = n <= kFirstBytes.size() ? 1 : 2;
    std::set<std::string> names;
    while (names.size() < n) {
        if (!fixed_length)
            length = rng.below(4);
        std::string name = head;
        for (size_t i = 0; i < length; ++i) {
            const std::string &bytes = name.empty() ? kFirstBytes : kNameBytes;
            name += bytes[rng.below(bytes.size())];
        }
        if (!name.empty())
            names.insert(name);
    }
    return std::vector<std::string>(names.begin(), names.end());
}

// How the sorted names are handed over.
enum Order { SORTED, REVERSED, PAIRS_SWAPPED, ROTATED, ROTATED_BACK, SHUFFLED };
const Order kOrders[] = {SORTED, REVERSED, PAIRS_SWAPPED, ROTATED, ROTATED_BACK, SHUFFLED};
const char *const kOrderNames[] = {"sorted",  "reversed",     "pairs swapped",
                                   "rotated", "rotated back", "shuffled"};

std::vector<size_t> arrange(size_t n, Order order, Rng &rng)
{
    std::vector<size_t> idx(n);
    for (size_t i = 0; i < n; ++i)
        idx[i] = i;
    switch (order) {
    case SORTED:
        break;
    case REVERSED:
        std::reverse(idx.begin(), idx.end());
        break;
    case PAIRS_SWAPPED:
        for (size_t i = 0; i + 1 < n; i += 2)
            std::swap(idx[i], idx[i + 1]);
        break;
    case ROTATED:  // sorted, but the first name comes last
        std::rotate(idx.begin(), idx.begin() + 1, idx.end());
        break;
    case ROTATED_BACK:  // sorted, but the last name comes first
        std::rotate(idx.begin(), idx.end() - 1, idx.end());
        break;
    case SHUFFLED:
        for (size_t i = n; i > 1; --i)
            std::swap(idx[i - 1], idx[rng.below(i)]);
        break;
    }
    return idx;
}

// Which reader takes the labels text: string values stay with the
// copy-through scanner, number values go to the parser, and a number in
// the last member sends the text to the parser after the scanner has read
// (and made room for) all the others.
enum Route { STRINGS, NUMBERS, LAST_A_NUMBER };
const Route kRoutes[] = {STRINGS, NUMBERS, LAST_A_NUMBER};
const char *const kRouteNames[] = {"string values", "number values", "last value a number"};

// A member with value id: "name":"id" or "name":id.
std::string member(const std::string &name, size_t id, bool number)
{
    std::string v = std::to_string(id);
    return "\"" + name + "\":" + (number ? v : "\"" + v + "\"");
}

// The labels text of names[at[0]], names[at[1]], ...; each label's value
// is its index in names, so a label that loses its value shows.
std::string labels_json(const std::vector<std::string> &names, const std::vector<size_t> &at,
                        Route route)
{
    std::string json = "{";
    for (size_t k = 0; k < at.size(); ++k) {
        bool number = route == NUMBERS || (route == LAST_A_NUMBER && k + 1 == at.size());
        json += (k ? "," : "") + member(names[at[k]], at[k], number);
    }
    return json + "}";
}

// The line, built independently: the (name, value) pairs sorted as strings.
std::string expected_line(const std::vector<std::string> &names, const std::vector<size_t> &at)
{
    std::vector<std::pair<std::string, size_t>> pairs;
    for (size_t i : at)
        pairs.emplace_back(names[i], i);
    std::sort(pairs.begin(), pairs.end());
    std::string line = "m{";
    for (size_t i = 0; i < pairs.size(); ++i)
        line += (i ? ",": "") + pairs[i].first + "=\"" + std::to_string(pairs[i].second) + "\"";
    return line + "} 1\n";
}

// Writes one labels text on buf (reset first) and checks the outcome: the
// line, or the refusal with its message and an empty buffer.
void check_one(promfmt_buffer_t *buf, const std::string &json, const std::string &line,
               const char *error, const std::string &what)
{
    promfmt_buffer_reset(buf);
    prime_error();
    int rc = promfmt_emit_sample(buf, "m", json.c_str(), 1, 0);
    std::string text(promfmt_buffer_data(buf), promfmt_buffer_len(buf));
    if (!error) {
        ASSERT_EQ(rc, 0) << what << ": " << last_error() << "\n" << json;
        ASSERT_EQ(text, line) << what << "\n" << json;
    } else {
        ASSERT_EQ(rc, -1) << what << "\n" << json;
        ASSERT_EQ(last_error(), error) << what;
        ASSERT_EQ(text, "") << what << ": a refused line must leave the buffer as it was";
    }
}

std::string describe(size_t prefix, size_t n, const char *shape, Order order, Route route)
{
    return std::to_string(n) + " names, " + shape + ", behind a " + std::to_string(prefix) +
           "-byte prefix, " + kOrderNames[order] + ", " + kRouteNames[route];
}

TEST(Sort, NamesBehindCommonPrefixesOfEveryLength)
{
    Buffer buf;
    Rng rng{0x2545F4914F6CDD1Dull};
    for (size_t prefix = 0; prefix <= kMaxPrefix; ++prefix) {
        for (bool fixed_length : {true, false}) {
            const char *shape = fixed_length ? "differing in the last byte" : "of unequal length";
            for (size_t n : kCounts) {
                std::vector<std::string> names = make_names(prefix, n, fixed_length, rng);
                for (Order order : kOrders) {
                    std::vector<size_t> at = arrange(n, order, rng);
                    std::string line = expected_line(names, at);
                    for (Route route : kRoutes) {
                        std::string what = describe(prefix, n, shape, order, route);
                        check_one(buf, labels_json(names, at, route), line, nullptr, what);
                        if (HasFatalFailure())
                            return;
                    }
                }
            }
        }
    }
}

// A name of `prefix` bytes of kPrefixSource and a suffix of 1 to 3 bytes.
std::string name_behind(size_t prefix, Rng &rng)
{
    std::string name = kPrefixSource.substr(0, prefix);
    for (size_t i = 0, length = 1 + rng.below(3); i < length; ++i) {
        const std::string &bytes = name.empty() ? kFirstBytes : kNameBytes;
        name += bytes[rng.below(bytes.size())];
    }
    return name;
}

// n distinct names, the k-th behind a prefix of prefix_of(k) bytes.
template <typename PrefixOf>
std::vector<std::string> names_behind(size_t n, PrefixOf prefix_of, Rng &rng)
{
    std::set<std::string> seen;
    std::vector<std::string> names;
    while (names.size() < n) {
        std::string name = name_behind(prefix_of(names.size()), rng);
        if (seen.insert(name).second)
            names.push_back(name);
    }
    return names;
}

std::vector<size_t> in_order(size_t n)
{
    std::vector<size_t> at(n);
    for (size_t i = 0; i < n; ++i)
        at[i] = i;
    return at;
}

// The prefix the names share seems long while the first names are read,
// then shrinks once or twice: codes the scanner made from further on must
// be made again. Names before the first shrink share levels[0] bytes, the
// one there levels[1], the one at the second shrink levels[2]; the others
// take any level allowed by then.
TEST(Sort, PrefixesThatShrinkWhileTheNamesAreRead)
{
    Buffer buf;
    Rng rng{0xD1B54A32D192ED03ull};
    const size_t kLevels[][3] = {{24, 12, 0}, {24, 9, 5},   {40, 30, 3}, {12, 6, 0},
                                 {30, 29, 28}, {9, 8, 4}, {33, 10, 9}, {16, 16, 2}};
    for (const auto &levels : kLevels) {
        for (size_t n : {3, 4, 5, 16, 17, 64, 256}) {
            for (size_t first_shrink : {size_t{1}, size_t{2}, n / 2}) {
                size_t second_shrink = first_shrink + (n - first_shrink) / 2;
                std::vector<std::string> names = names_behind(n, [&](size_t k) {
                    size_t level = k < first_shrink    ? 0
                                   : k == first_shrink  ? 1
                                   : k < second_shrink  ? rng.below(2)
                                   : k == second_shrink ? 2
                                                        : rng.below(3);
                    return levels[level];
                }, rng);
                std::vector<size_t> at = in_order(n);
                std::string line = expected_line(names, at);
                for (Route route : {STRINGS, LAST_A_NUMBER}) {
                    std::string what = std::to_string(n) + " names behind " +
                                       std::to_string(levels[0]) + ", " +
                                       std::to_string(levels[1]) + " (from name " +
                                       std::to_string(first_shrink) + ") and " +
                                       std::to_string(levels[2]) + " bytes, " +
                                       kRouteNames[route];
                    check_one(buf, labels_json(names, at, route), line, nullptr, what);
                    if (HasFatalFailure())
                        return;
                }
            }
        }
    }
    // The prefix shrinks at every name for a while, more often than the
    // scanner keeps runs of codes apart: from the first name on, and from
    // past the handful sorted by key. The names after take any level
    // reached by then.
    const size_t kSteps[] = {40, 36, 32, 28, 24, 20, 16, 12, 9, 6, 4, 0};
    const size_t kStepCount = sizeof kSteps / sizeof kSteps[0];
    for (size_t start : {1, 5}) {
        for (size_t n : {12, 16, 17, 40}) {
            std::vector<std::string> names = names_behind(n, [&](size_t k) {
                if (k >= start + kStepCount - 1)
                    return kSteps[rng.below(kStepCount)];
                return kSteps[k < start ? 0 : k - start + 1];
            }, rng);
            std::vector<size_t> at = in_order(n);
            check_one(buf, labels_json(names, at, STRINGS), expected_line(names, at), nullptr,
                      std::to_string(n) + " names behind a prefix shrinking at each from name " +
                          std::to_string(start));
            if (HasFatalFailure())
                return;
        }
    }
    // Two names told apart only by the tenth byte past the final prefix
    // (the last byte a code holds, which only a handful of labels compare
    // by), one of them coded before the prefix shrank: its code, moved
    // down, keeps its own tenth byte, not the first name's.
    const std::vector<std::string> names = {"label_aaab", "label_qqqa", "zone", "label_qqqaz"};
    const std::vector<size_t> at = {0, 1, 2, 3};
    check_one(buf, labels_json(names, at, STRINGS), expected_line(names, at), nullptr,
              "names differing in the tenth byte past the prefix");
}

TEST(Sort, DuplicatesAmongManyLabels)
{
    Buffer buf;
    Rng rng{0x9E3779B97F4A7C15ull};
    const char *kDuplicate = "duplicate label name in JSON";
    for (size_t prefix : {0, 9, 24}) {
        for (size_t n : kCounts) {
            std::vector<std::string> names = make_names(prefix, n, true, rng);
            // The name repeated: first and last in byte order, and one between.
            for (size_t twice : {size_t{0}, n - 1, n / 2}) {
                for (Order order : kOrders) {
                    std::vector<size_t> at = arrange(n, order, rng);
                    at.insert(at.begin() + static_cast<std::ptrdiff_t>(rng.below(n + 1)), twice);
                    for (Route route : kRoutes) {
                        std::string what = describe(prefix, n, "one of them twice", order, route);
                        check_one(buf, labels_json(names, at, route), "", kDuplicate, what);
                        if (HasFatalFailure())
                            return;
                    }
                }
            }
        }
    }
    // One name many times over, on both sides of the labels kept inline.
    for (size_t copies : {2, 16, 17, 64, 300}) {
        std::vector<std::string> names = {"label_app_kubernetes_io_name"};
        std::vector<size_t> at(copies, 0);
        for (Route route : kRoutes) {
            std::string what = std::to_string(copies) + " copies, " + kRouteNames[route];
            check_one(buf, labels_json(names, at, route), "", kDuplicate, what);
            if (HasFatalFailure())
                return;
        }
    }
}

// Thousands of labels leave fewer bits of each key to the name: past 1024
// labels a key holds eight bytes of the name, not nine, beside an index of
// 11 bits (1500 labels) or 15 bits (20000). Names start with every letter,
// so a name code that lost its top bit to the index would misorder them.
TEST(Sort, ThousandsOfLabels)
{
    Buffer buf;
    Rng rng{0x94D049BB133111EBull};
    for (size_t n : {1500, 20000}) {
        std::vector<std::string> names = make_names(0, n, false, rng);
        std::vector<size_t> at = arrange(n, SHUFFLED, rng);
        std::string line = expected_line(names, at);
        for (Route route : kRoutes) {
            check_one(buf, labels_json(names, at, route), line, nullptr,
                      describe(0, n, "of unequal length", SHUFFLED, route));
            if (HasFatalFailure())
                return;
        }
    }
}

// Names that still tie after every repacking: each level splits one name
// off and leaves the others sharing the next nine bytes as well, so the
// deepest names are ordered, and their duplicates found, by comparing
// whole names. Every deepest name is also written twice, and 21 times.
// The deepest names come first in name order, or last, where their run
// ends with the keys and the working memory past them is not theirs.
// stem receives the deepest names' shared start.
std::vector<std::string> names_tying_through_every_repacking(char split, char deeper,
                                                             std::string &stem)
{
    std::vector<std::string> names;
    stem = "zzzzzzzzz";
    for (int level = 0; level < 6; ++level) {
        names.push_back(stem + split);
        stem += deeper + std::string("zzzzzzzz");
    }
    // Twenty of them: more than a comparison sort orders by insertion alone.
    for (const char *last : {"", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "A", "B",
                             "C", "_", "a", "b", "c", "x", "z"})
        names.push_back(stem + last);
    std::sort(names.begin(), names.end());
    return names;
}

TEST(Sort, NamesThatTieThroughEveryRepacking)
{
    Buffer buf;
    Rng rng{0xD1B54A32D192ED03ull};
    const char *kDuplicate = "duplicate label name in JSON";
    for (auto [split, deeper] : {std::pair{'b', 'a'}, std::pair{'a', 'b'}}) {
        for (Order order : kOrders) {
            std::string stem;
            std::vector<std::string> names =
                names_tying_through_every_repacking(split, deeper, stem);
            std::vector<size_t> at = arrange(names.size(), order, rng);
            for (Route route : kRoutes) {
                std::string what = describe(0, names.size(), "tying through every repacking", order,
                                            route);
                check_one(buf, labels_json(names, at, route), expected_line(names, at), nullptr,
                          what);
                for (size_t twice = 0; twice < names.size(); ++twice) {
                    if (names[twice].compare(0, stem.size(), stem) != 0)
                        continue;  // not one of the deepest
                    for (size_t copies : {1, 20}) {
                        std::vector<size_t> with_copies = at;
                        for (size_t k = 0; k < copies; ++k) {
                            auto where = rng.below(with_copies.size() + 1);
                            with_copies.insert(with_copies.begin() +
                                                   static_cast<std::ptrdiff_t>(where),
                                               twice);
                        }
                        check_one(buf, labels_json(names, with_copies, route), "", kDuplicate,
                                  what + ", " + names[twice] + " " + std::to_string(copies + 1) +
                                      " times");
                    }
                }
                if (HasFatalFailure())
                    return;
            }
        }
    }
}

// Sorted names but for the last, which comes first, look reversed for one
// step only: the check must stop at the last key, not read the keys a
// larger call of later names left in the working memory past it.
TEST(Sort, RotatedNamesAfterMoreOfLaterNames)
{
    Buffer buf;
    Rng rng{0xBF58476D1CE4E5B9ull};
    auto names_after = [](char first, size_t n) {
        std::vector<std::string> names;
        for (size_t i = 0; i < n; ++i)
            names.push_back(first + kNameBytes.substr(i, 1));
        return names;
    };
    const std::vector<std::string> later = names_after('z', 20);
    const std::vector<std::string> earlier = names_after('a', 30);
    for (Route route : kRoutes) {
        std::vector<size_t> shuffled = arrange(later.size(), SHUFFLED, rng);
        check_one(buf, labels_json(later, shuffled, route), expected_line(later, shuffled),
                  nullptr, describe(0, later.size(), "all after 'z'", SHUFFLED, route));
        std::vector<size_t> rotated = arrange(earlier.size(), ROTATED_BACK, rng);
        check_one(buf, labels_json(earlier, rotated, route), expected_line(earlier, rotated),
                  nullptr, describe(0, earlier.size(), "all after 'a'", ROTATED_BACK, route));
        if (HasFatalFailure())
            return;
    }
}

// A run of names that tie, packed again from where they differ, ends next
// to a name whose code at the level above is the same number as the
// run's last codes: "bcdefghij" after "abcdefghi" + "bcdefghijk...". Each
// run is ordered within its own bounds, never joined to the name after it.
TEST(Sort, RunEndsBesideTheSameCodeOneLevelUp)
{
    const std::vector<std::string> names = {"abcdefghia", "abcdefghibcdefghijkw",
                                            "abcdefghibcdefghijkx", "bcdefghij", "z"};
    Buffer buf;
    Rng rng{0x8CB92BA72F3D8DD7ull};
    for (Order order : kOrders) {
        std::vector<size_t> at = arrange(names.size(), order, rng);
        for (Route route : kRoutes) {
            check_one(buf, labels_json(names, at, route), expected_line(names, at), nullptr,
                      describe(0, names.size(), "one run beside a like code", order, route));
            if (HasFatalFailure())
                return;
        }
    }
}

}  // namespace
