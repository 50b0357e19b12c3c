// SPDX-License-Identifier: MIT
/**
 * @file promfmt.hpp
 * @brief The C++17 face of promfmt: a move-only buffer, std::string_view
 * arguments, labels from pairs, and exceptions that carry the library's
 * message. Header only; it calls the C interface of promfmt.h and adds no
 * symbol to the library.
 *
 * @code
 * promfmt::cxx::buffer buf;                       // throws on failure
 * buf.help("http_requests_total", "Requests served.");
 * buf.type("http_requests_total", promfmt::cxx::metric_type::counter);
 * buf.sample("http_requests_total", {{"method", "get"}, {"code", "200"}}, 1027);
 * std::map<std::string, std::string> labels = {{"room", "b"}};
 * buf.gauge("temp_celsius", "Temperature.", labels, 21.5);
 * send(buf.view());                                // std::string_view
 * buf.reset();                                     // next scrape, same memory
 * @endcode
 *
 * Names live in namespace promfmt::cxx: the library keeps its own internal
 * names in namespace promfmt (a static archive defines them), and the
 * nested namespace can never meet them.
 *
 * Conventions shared by every function here:
 *
 * - Text is taken as std::string_view, which need not be NUL-terminated:
 *   the buffer copies each name, help text and labels text into scratch
 *   memory it owns and reuses, so once that memory has grown no call
 *   allocates (the library's own working memory is also kept with the
 *   buffer; see promfmt.h). Bytes at or above 0x80 pass through unchanged;
 *   a labels text must be valid UTF-8, as the library parses it as JSON.
 * - Labels are given as a label_source: a braced list of pairs, any range
 *   whose elements have `first` and `second` convertible to
 *   std::string_view (a std::map, a std::vector of std::pair, ...), a
 *   json_text, or `{}` for none. Pairs are written as one JSON object, with
 *   quotes, backslashes and control bytes escaped; the library checks the
 *   names, sorts them and escapes the values. A NUL byte in a name or value
 *   ends it there, as an escaped NUL does in the library.
 * - Every emitter has two forms. The plain one (help(), sample(), ...)
 *   throws promfmt::cxx::error carrying the library's message when the
 *   library refuses the call. The try_ form (try_help(), try_sample(), ...)
 *   returns false instead; the message is then last_error(). Both forms
 *   throw std::bad_alloc when the scratch memory cannot grow, as any
 *   std::string would. A refused sample, HELP or TYPE line leaves the text
 *   as it was; gauge() and counter() keep the lines written before a
 *   refused step, exactly as promfmt_emit_gauge() does.
 * - Threads: nothing is locked. A buffer may be moved to another thread,
 *   but one buffer must not be used from two threads at once. The
 *   library's last-error text is one block shared by the whole process:
 *   error::what() is copied right after the failing call, on its thread,
 *   but a failure on another thread at that very moment may overwrite it.
 */
#ifndef PROMFMT_HPP
#define PROMFMT_HPP

#if (defined(_MSVC_LANG) ? _MSVC_LANG : __cplusplus) < 201703L
#error "promfmt.hpp needs C++17 or later"
#endif

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "promfmt.h"

namespace promfmt::cxx {

/** The kind a TYPE line names. */
enum class metric_type : std::int32_t {
    untyped = PROMFMT_TYPE_UNTYPED,
    counter = PROMFMT_TYPE_COUNTER,
    gauge = PROMFMT_TYPE_GAUGE,
    histogram = PROMFMT_TYPE_HISTOGRAM,
    summary = PROMFMT_TYPE_SUMMARY,
};

/**
 * A refusal by the library. what() is the library's message, the same text
 * promfmt_last_error() gave right after the call ("invalid metric name",
 * "duplicate label name in JSON", ...).
 */
class error : public std::runtime_error {
public:
    explicit error(const char *message) : std::runtime_error(message) {}
};

/**
 * The message of the most recent failure in the process, "" when nothing
 * has failed. Read it right after a try_ call returns false, on the same
 * thread. The view stays valid for the life of the process, but its text
 * changes with the next failure anywhere.
 */
inline std::string_view last_error() noexcept { return promfmt_last_error(); }

/** One label: name and value. Both views must outlive the call only. */
using label = std::pair<std::string_view, std::string_view>;

/**
 * Labels given as the text of one JSON object, passed to the library as
 * it is (see promfmt_emit_sample() for what it accepts). The text need not
 * be NUL-terminated.
 */
struct json_text {
    std::string_view text;
};

namespace detail {

// For the few functions of the label loop whose call would cost more than
// their work.
#if defined(__GNUC__)
#define PROMFMT_HPP_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define PROMFMT_HPP_ALWAYS_INLINE inline
#endif

// Non-zero when some byte of w is a quote, a backslash or below 0x20. A
// borrow may mark bytes above the first such byte, never a word without one.
// Flipping bit 1 takes the quote (0x22) to 0x20 and keeps bytes below 0x20
// below it, while every other byte stays at 0x21 or above: one test for both.
inline std::uint64_t json_special_bytes(std::uint64_t w) noexcept
{
    constexpr std::uint64_t ones = 0x0101010101010101u, highs = 0x8080808080808080u;
    const auto below = [](std::uint64_t x, unsigned n) { return (x - ones * n) & ~x; };
    return (below(w ^ ones * 0x02, 0x21) | below(w ^ ones * '\\', 1)) & highs;
}

template <class Word>
inline std::uint64_t load_word(const char *p) noexcept
{
    Word w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

template <class Word>
inline void copy_word(char *dst, const char *src) noexcept
{
    std::memcpy(dst, src, sizeof(Word));
}

struct block16 {
    char bytes[16];
};

// Copies s to dst and returns the end of the copy. Up to 32 bytes (names
// and most values) take two overlapping copies of a fixed size instead of
// a call.
inline char *copy_bytes(char *dst, std::string_view s) noexcept
{
    const char *p = s.data();
    const std::size_t n = s.size();
    if (n > 32) {
        std::memcpy(dst, p, n);
    } else if (n > 16) {
        copy_word<block16>(dst, p);
        copy_word<block16>(dst + n - 16, p + n - 16);
    } else if (n >= 8) {
        copy_word<std::uint64_t>(dst, p);
        copy_word<std::uint64_t>(dst + n - 8, p + n - 8);
    } else if (n >= 4) {
        copy_word<std::uint32_t>(dst, p);
        copy_word<std::uint32_t>(dst + n - 4, p + n - 4);
    } else {
        for (std::size_t i = 0; i < n; ++i)
            dst[i] = p[i];
    }
    return dst + n;
}

template <class Word>
inline void store_word(char *dst, std::uint64_t w) noexcept
{
    const auto word = static_cast<Word>(w);
    std::memcpy(dst, &word, sizeof word);
}

#if defined(__SSE2__)
// 0xFF in each byte of v that is a quote, a backslash or below 0x20.
inline __m128i json_special_lanes(__m128i v) noexcept
{
    const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(v, _mm_set1_epi8(0x1F)), v);
    const __m128i quote = _mm_cmpeq_epi8(v, _mm_set1_epi8('"'));
    const __m128i backslash = _mm_cmpeq_epi8(v, _mm_set1_epi8('\\'));
    return _mm_or_si128(control, _mm_or_si128(quote, backslash));
}

inline __m128i words_vector(std::uint64_t a, std::uint64_t b) noexcept
{
    return _mm_set_epi64x(static_cast<long long>(b), static_cast<long long>(a));
}
#endif

// json_special_bytes() of two words at once: non-zero when a byte of
// either is a quote, a backslash or below 0x20.
inline std::uint64_t json_special_pair(std::uint64_t a, std::uint64_t b) noexcept
{
#if defined(__SSE2__)
    return static_cast<std::uint64_t>(_mm_movemask_epi8(json_special_lanes(words_vector(a, b))));
#else
    return json_special_bytes(a) | json_special_bytes(b);
#endif
}

// json_special_pair() of two pairs of words at once.
inline std::uint64_t json_special_pairs(std::uint64_t a, std::uint64_t b, std::uint64_t c,
                                        std::uint64_t d) noexcept
{
#if defined(__SSE2__)
    return static_cast<std::uint64_t>(_mm_movemask_epi8(_mm_or_si128(
        json_special_lanes(words_vector(a, b)), json_special_lanes(words_vector(c, d)))));
#else
    return json_special_pair(a, b) | json_special_pair(c, d);
#endif
}

// True for a byte that a JSON string must escape.
constexpr bool json_special(unsigned char c) noexcept { return c < 0x20 || c == '"' || c == '\\'; }

// copy_plain() for the texts its two words do not cover: over 16 bytes
// (tested a word at a time, the last word overlapping the one before) and
// under 4. Kept apart so that the common sizes stay small enough to inline.
inline std::uint64_t copy_plain_long_or_short(char *dst, std::string_view s) noexcept
{
    const char *p = s.data();
    const std::size_t n = s.size();
    copy_bytes(dst, s);
    std::uint64_t special = 0;
    if (n > 16) {
        special = json_special_bytes(load_word<std::uint64_t>(p + n - 8));
        for (std::size_t i = 0; i < n - 8; i += 8)
            special |= json_special_bytes(load_word<std::uint64_t>(p + i));
        return special;
    }
    for (std::size_t i = 0; i < n; ++i)
        special |= json_special(static_cast<unsigned char>(p[i]));
    return special;
}

// True for a text of 4 to 16 bytes, which copy_short() copies.
constexpr bool is_short(std::string_view s) noexcept { return s.size() - 4 <= 12; }

// Copies a text of 4 to 16 bytes to dst as two words that cover it,
// overlapping when it is shorter, and returns the end of the copy. *a and
// *b are set to two words that hold every byte of the text and no other,
// for the json_special tests.
PROMFMT_HPP_ALWAYS_INLINE char *copy_short(char *dst, std::string_view s, std::uint64_t *a,
                                           std::uint64_t *b) noexcept
{
    const char *p = s.data();
    const std::size_t n = s.size();
    if (n >= 8) {
        *a = load_word<std::uint64_t>(p);
        *b = load_word<std::uint64_t>(p + n - 8);
        store_word<std::uint64_t>(dst, *a);
        store_word<std::uint64_t>(dst + n - 8, *b);
    } else {
        const std::uint64_t head = load_word<std::uint32_t>(p);
        const std::uint64_t tail = load_word<std::uint32_t>(p + n - 4);
        store_word<std::uint32_t>(dst, head);
        store_word<std::uint32_t>(dst + n - 4, tail);
        *a = *b = head | tail << 32;
    }
    return dst + n;
}

// Copies s to dst and tests it on the way: non-zero when some byte of s
// needs escaping in a JSON string (the copy is then of no use).
inline std::uint64_t copy_plain(char *dst, std::string_view s) noexcept
{
    if (!is_short(s))
        return copy_plain_long_or_short(dst, s);
    std::uint64_t a, b;
    copy_short(dst, s, &a, &b);
    return json_special_pair(a, b);
}

// The memory a buffer stages one call's texts in, NUL-terminated for the
// library. It grows by doubling and never shrinks, so once it has held the
// largest call, staging allocates nothing. Offsets, not pointers, name a
// staged text: the memory may move while it grows.
class staging {
public:
    staging() = default;
    staging(staging &&other) noexcept
        : bytes_(std::move(other.bytes_)), used_(std::exchange(other.used_, 0))
    {
    }
    staging &operator=(staging &&other) noexcept
    {
        bytes_ = std::move(other.bytes_);
        used_ = std::exchange(other.used_, 0);
        return *this;
    }

    void clear() noexcept { used_ = 0; }
    std::size_t size() const noexcept { return used_; }
    const char *at(std::size_t offset) const noexcept { return bytes_.data() + offset; }

    // n more bytes at the end, for the caller to fill in.
    // @throws std::bad_alloc or std::length_error when the memory cannot grow.
    char *extend(std::size_t n)
    {
        if (bytes_.size() - used_ < n)
            grow(n);
        char *p = &bytes_[used_];
        used_ += n;
        return p;
    }

    void append(std::string_view s) { copy_bytes(extend(s.size()), s); }
    void push_back(char c) { *extend(1) = c; }

    // For a writer that keeps its place in locals: the end of the staged
    // bytes and of the room after them. commit(p) stages the bytes up to p,
    // a place between the two.
    char *tail() noexcept { return bytes_.data() + used_; }
    char *room_end() noexcept { return bytes_.data() + bytes_.size(); }
    void commit(const char *p) noexcept { used_ = static_cast<std::size_t>(p - bytes_.data()); }

    // Stages the bytes up to p and makes room for n more after them;
    // returns the new tail(), as the memory may have moved.
    char *room_at(const char *p, std::size_t n)
    {
        commit(p);
        if (bytes_.size() - used_ < n)
            grow(n);
        return tail();
    }

private:
    void grow(std::size_t n)
    {
        if (n > bytes_.max_size() - used_)
            throw std::length_error("promfmt: text too long to stage");
        const std::size_t need = used_ + n, most = bytes_.max_size();
        const std::size_t doubled = bytes_.size() <= most / 2 ? bytes_.size() * 2 : most;
        bytes_.resize(doubled > need ? doubled : need);
    }

    std::string bytes_;  // its size() is the room; used_ bytes of it are staged
    std::size_t used_ = 0;
};

// The length of s escaped as the inside of a JSON string.
// @throws std::length_error when it is too large to count.
inline std::size_t json_escaped_size(std::string_view s)
{
    std::size_t extra = 0;
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        extra += !json_special(u) ? 0u : u < 0x20 ? 5u : 1u;
    }
    if (extra > std::size_t(-1) - s.size())
        throw std::length_error("promfmt: label too long to stage");
    return s.size() + extra;
}

// Writes s at p as the inside of a JSON string (json_escaped_size(s) bytes):
// quotes and backslashes after a backslash, bytes below 0x20 as \u00XX.
inline char *put_json_escaped(char *p, std::string_view s) noexcept
{
    static constexpr char hex[] = "0123456789abcdef";
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (!json_special(u)) {
            *p++ = c;
        } else if (u >= 0x20) {
            *p++ = '\\';
            *p++ = c;
        } else {
            const char escaped[6] = {'\\', 'u', '0', '0', hex[u >> 4], hex[u & 15]};
            std::memcpy(p, escaped, 6);
            p += 6;
        }
    }
    return p;
}

// The room lead"name":"value" takes for texts of these sizes.
// @throws std::length_error when that does not fit a size_t.
inline std::size_t member_room(std::size_t name_size, std::size_t value_size)
{
    const std::size_t texts = name_size + value_size;
    if (texts < name_size || texts > std::size_t(-1) - 6)  // one text viewed twice, say
        throw std::length_error("promfmt: label too long to stage");
    return texts + 6;
}

// put_plain_member() for texts of any size.
inline char *put_plain_member_any(char *p, char lead, std::string_view name,
                                  std::string_view value) noexcept
{
    p[0] = lead;
    p[1] = '"';
    std::uint64_t special = copy_plain(p + 2, name);
    p += 2 + name.size();
    std::memcpy(p, "\":\"", 3);
    special |= copy_plain(p + 3, value);
    p += 3 + value.size();
    *p++ = '"';
    return special == 0 ? p : nullptr;
}

// Writes lead"name":"value" at p, copying each text whole and testing it
// on the way. Returns the end, or nullptr when some byte needs escaping
// (the bytes written are then of no use). Names and values of 4 to 16
// bytes, as most are, are tested together.
PROMFMT_HPP_ALWAYS_INLINE char *put_plain_member(char *p, char lead, std::string_view name,
                                                std::string_view value) noexcept
{
    if (!is_short(name) || !is_short(value))
        return put_plain_member_any(p, lead, name, value);
    std::uint64_t name_a, name_b, value_a, value_b;
    p[0] = lead;
    p[1] = '"';
    p = copy_short(p + 2, name, &name_a, &name_b);
    std::memcpy(p, "\":\"", 3);
    p = copy_short(p + 3, value, &value_a, &value_b);
    *p++ = '"';
    return json_special_pairs(name_a, name_b, value_a, value_b) == 0 ? p : nullptr;
}

// Writes lead"name":"value" at p with the texts escaped; returns the end.
inline char *put_escaped_member(char *p, char lead, std::string_view name,
                                std::string_view value) noexcept
{
    p[0] = lead;
    p[1] = '"';
    p = put_json_escaped(p + 2, name);
    std::memcpy(p, "\":\"", 3);
    p = put_json_escaped(p + 3, value);
    *p++ = '"';
    return p;
}

// Writes the staging memory through a place kept in locals, so that the
// stores of text bytes do not make the compiler reload the memory's state.
class staging_writer {
public:
    explicit staging_writer(staging &out) noexcept
        : out_(out), p_(out.tail()), room_end_(out.room_end())
    {
    }

    // The place to write n bytes at; advance() then passes what was written.
    char *room(std::size_t n)
    {
        if (static_cast<std::size_t>(room_end_ - p_) < n) {
            p_ = out_.room_at(p_, n);
            room_end_ = out_.room_end();
        }
        return p_;
    }
    void advance(char *end) noexcept { p_ = end; }
    void commit() noexcept { out_.commit(p_); }

private:
    staging &out_;
    char *p_, *room_end_;
};

// The room lead"name":"value" takes with the texts escaped. For texts of
// up to 1 KiB, the most it can take (6 bytes a byte) is made without
// counting; longer ones are counted, so as not to make room for 6 times
// their size.
inline std::size_t escaped_member_room(std::string_view name, std::string_view value)
{
    const std::size_t texts = member_room(name.size(), value.size()) - 6;
    if (texts <= 1024)
        return 6 * texts + 6;
    return member_room(json_escaped_size(name), json_escaped_size(value));
}

// Writes lead"name":"value" with the texts escaped, in room made for it.
inline void write_escaped_member(staging_writer &w, char lead, std::string_view name,
                                 std::string_view value)
{
    w.advance(put_escaped_member(w.room(escaped_member_room(name, value)), lead, name, value));
}

// Appends the pairs from it to end as one JSON object. Nearly every name
// and value has nothing to escape: each member is copied whole, tested on
// the way, and written again escaped only when it needs it.
template <class It, class End>
void append_object(staging &out, It it, End end)
{
    staging_writer w(out);
    char lead = '{';
    for (; it != end; ++it, lead = ',') {
        const std::string_view name = it->first, value = it->second;
        char *p = w.room(member_room(name.size(), value.size()));
        if (char *next = put_plain_member(p, lead, name, value))
            w.advance(next);
        else
            write_escaped_member(w, lead, name, value);
    }
    char *p = w.room(2);
    if (lead == '{')
        *p++ = '{';  // no members
    *p++ = '}';
    w.advance(p);
    w.commit();
}

template <class Range>
using label_iterator = decltype(std::begin(std::declval<const Range &>()));

// True for a range whose elements have first and second that convert to
// std::string_view.
template <class Range, class = void>
struct is_label_range : std::false_type {};

template <class Range>
struct is_label_range<Range, std::void_t<decltype(std::end(std::declval<const Range &>())),
                                         decltype(std::declval<label_iterator<Range>>()->first),
                                         decltype(std::declval<label_iterator<Range>>()->second)>>
    : std::conjunction<
          std::is_convertible<decltype(std::declval<label_iterator<Range>>()->first),
                              std::string_view>,
          std::is_convertible<decltype(std::declval<label_iterator<Range>>()->second),
                              std::string_view>> {};

}  // namespace detail

/**
 * Where a sample's labels come from, taken by the emitters. Not stored: it
 * refers to the caller's labels for the length of one call only.
 */
class label_source {
public:
    /** No labels: `{}`. */
    label_source() noexcept = default;

    /** A braced list of pairs: `{{"method", "get"}, {"code", "200"}}`. */
    label_source(std::initializer_list<label> pairs) noexcept
        : object_(pairs.begin()), count_(pairs.size()), write_(&write_list)
    {
    }

    /** Any range of pairs whose first and second convert to std::string_view. */
    template <class Range,
              std::enable_if_t<detail::is_label_range<Range>::value, int> = 0>
    label_source(const Range &pairs) noexcept : object_(&pairs), write_(&write_range<Range>)
    {
    }

    /** JSON text, handed to the library unchanged. */
    label_source(json_text json) noexcept : json_(json.text), write_(&write_json) {}

    /** True for `{}`: the sample has no labels. */
    bool empty() const noexcept { return write_ == nullptr; }

    /** Appends the labels as JSON text to out. */
    void write(std::string &out) const
    {
        detail::staging text;
        write(text);
        out.append(text.at(0), text.size());
    }

    /** Appends the labels as JSON text to out (what the buffer calls). */
    void write(detail::staging &out) const
    {
        if (write_)
            write_(*this, out);
    }

private:
    using write_fn = void (*)(const label_source &, detail::staging &);

    static void write_list(const label_source &self, detail::staging &out)
    {
        const auto *first = static_cast<const label *>(self.object_);
        detail::append_object(out, first, first + self.count_);
    }

    template <class Range>
    static void write_range(const label_source &self, detail::staging &out)
    {
        const auto &pairs = *static_cast<const Range *>(self.object_);
        detail::append_object(out, std::begin(pairs), std::end(pairs));
    }

    static void write_json(const label_source &self, detail::staging &out)
    {
        out.append(self.json_);
    }

    const void *object_ = nullptr;
    std::size_t count_ = 0;
    std::string_view json_;
    write_fn write_ = nullptr;
};

/**
 * An output buffer: owns one promfmt_buffer_t (freed by the destructor) and
 * the scratch memory its calls stage text in, which keeps the size of the
 * largest call's name, help text and labels. Move-only; a moved-from
 * buffer owns nothing: its view is empty and its emitters fail with
 * "null buffer pointer".
 */
class buffer {
public:
    /**
     * Creates an empty buffer of @p initial_capacity bytes (at least 64; it
     * grows as needed).
     * @throws error with the library's message when memory runs out.
     */
    explicit buffer(std::size_t initial_capacity = 0)
        : handle_(promfmt_buffer_create(initial_capacity))
    {
        if (!handle_)
            throw error(promfmt_last_error());
    }

    /**
     * The non-throwing form: when memory runs out, the buffer owns nothing
     * (test it with operator bool) and last_error() says why.
     */
    explicit buffer(std::nothrow_t, std::size_t initial_capacity = 0) noexcept
        : handle_(promfmt_buffer_create(initial_capacity))
    {
    }

    buffer(buffer &&) noexcept = default;
    buffer &operator=(buffer &&) noexcept = default;
    buffer(const buffer &) = delete;
    buffer &operator=(const buffer &) = delete;
    ~buffer() = default;

    /** True when the buffer owns a promfmt_buffer_t (not moved from). */
    explicit operator bool() const noexcept { return handle_ != nullptr; }

    /**
     * The text written so far. The view points into the buffer: it stays
     * valid until the next emitter call, reset() or destruction (moving the
     * buffer keeps it valid). Copy or send the text before writing more.
     */
    std::string_view view() const noexcept { return {data(), size()}; }

    /** The text as a NUL-terminated string; same lifetime as view(). */
    const char *data() const noexcept { return promfmt_buffer_data(handle_.get()); }

    /** The length of the text in bytes, without the NUL. */
    std::size_t size() const noexcept { return promfmt_buffer_len(handle_.get()); }

    /**
     * Empties the text and keeps the memory, so a buffer reused for every
     * scrape stops allocating once it has grown. Invalidates view().
     */
    void reset() noexcept { promfmt_buffer_reset(handle_.get()); }

    /**
     * The owned promfmt_buffer_t, for calls of the C interface; nullptr
     * when moved from. Still owned by this buffer: do not free it.
     */
    promfmt_buffer_t *get() const noexcept { return handle_.get(); }

    /**
     * Appends "# HELP name text": the help text's backslashes and line
     * feeds are escaped. Write one HELP line per family.
     * @throws error "invalid metric name for HELP emission" or
     *         "failed to expand buffer: out of memory"; the text is then
     *         as it was.
     */
    void help(std::string_view name, std::string_view text) { check(try_help(name, text)); }

    /**
     * Appends "# TYPE name kind".
     * @throws error "invalid metric name for TYPE emission" or
     *         "failed to expand buffer: out of memory"; the text is then
     *         as it was.
     */
    void type(std::string_view name, metric_type kind) { check(try_type(name, kind)); }

    /**
     * Appends one sample line: the name, the labels sorted by name, the
     * value (NaN, +Inf, -Inf or 14 significant digits) and, when
     * @p timestamp_ms > 0, the timestamp in milliseconds since the epoch.
     * @throws error with any message of promfmt_emit_sample() ("invalid
     *         metric name", "invalid label name in JSON", "duplicate label
     *         name in JSON", "failed to parse labels JSON", ...); the text
     *         is then as it was.
     */
    void sample(std::string_view name, label_source labels, double value,
                std::int64_t timestamp_ms = 0)
    {
        check(try_sample(name, labels, value, timestamp_ms));
    }

    /**
     * Appends a whole gauge family of one series: the HELP line when
     * @p help_text is not empty, the TYPE line and the sample line. For a
     * family of several series, call help(), type() and then sample() per
     * series.
     * @throws error with the message of the refused step; the lines of the
     *         steps before it stay.
     */
    void gauge(std::string_view name, std::string_view help_text, label_source labels,
               double value)
    {
        check(try_gauge(name, help_text, labels, value));
    }

    /** As gauge(), with the TYPE line "counter"; the name is not changed. */
    void counter(std::string_view name, std::string_view help_text, label_source labels,
                 double value)
    {
        check(try_counter(name, help_text, labels, value));
    }

    /** help() that returns false instead of throwing error. */
    [[nodiscard]] bool try_help(std::string_view name, std::string_view text)
    {
        scratch_.clear();
        const std::size_t h = stage(text);
        return promfmt_emit_help(get(), staged_name(name), at(h)) == 0;
    }

    /** type() that returns false instead of throwing error. */
    [[nodiscard]] bool try_type(std::string_view name, metric_type kind)
    {
        return promfmt_emit_type(get(), staged_name(name),
                                 static_cast<promfmt_metric_type_t>(kind)) == 0;
    }

    /** sample() that returns false instead of throwing error. */
    [[nodiscard]] bool try_sample(std::string_view name, label_source labels, double value,
                                  std::int64_t timestamp_ms = 0)
    {
        scratch_.clear();
        const std::size_t l = stage_labels(labels);
        return promfmt_emit_sample(get(), staged_name(name), labels_at(labels, l), value,
                                   timestamp_ms) == 0;
    }

    /** gauge() that returns false instead of throwing error. */
    [[nodiscard]] bool try_gauge(std::string_view name, std::string_view help_text,
                                 label_source labels, double value)
    {
        return try_family(promfmt_emit_gauge, name, help_text, labels, value);
    }

    /** counter() that returns false instead of throwing error. */
    [[nodiscard]] bool try_counter(std::string_view name, std::string_view help_text,
                                   label_source labels, double value)
    {
        return try_family(promfmt_emit_counter, name, help_text, labels, value);
    }

private:
    struct deleter {
        void operator()(promfmt_buffer_t *buf) const noexcept { promfmt_buffer_free(buf); }
    };

    using family_fn = decltype(&promfmt_emit_gauge);

    bool try_family(family_fn emit, std::string_view name, std::string_view help_text,
                    const label_source &labels, double value)
    {
        scratch_.clear();
        const std::size_t h = stage(help_text), l = stage_labels(labels);
        return emit(get(), staged_name(name), at(h), labels_at(labels, l), value) == 0;
    }

    static void check(bool ok)
    {
        if (!ok)
            throw error(promfmt_last_error());
    }

    // Copies text and a NUL to the end of the scratch memory and returns
    // where it starts.
    std::size_t stage(std::string_view text)
    {
        const std::size_t start = scratch_.size();
        *detail::copy_bytes(scratch_.extend(text.size() + 1), text) = '\0';
        return start;
    }

    // The metric name, NUL-terminated. It is staged apart from the other
    // texts and kept there while calls repeat it, as a family's lines do:
    // the library then reads bytes written long before, not ones it would
    // have to wait for.
    const char *staged_name(std::string_view name)
    {
        const bool same = name_.size() == name.size() + 1 &&
                          (name.empty() || std::memcmp(name_.at(0), name.data(), name.size()) == 0);
        if (!same) {
            name_.clear();
            *detail::copy_bytes(name_.extend(name.size() + 1), name) = '\0';
        }
        return name_.at(0);
    }

    std::size_t stage_labels(const label_source &labels)
    {
        const std::size_t start = scratch_.size();
        labels.write(scratch_);
        scratch_.push_back('\0');
        return start;
    }

    const char *at(std::size_t offset) const noexcept { return scratch_.at(offset); }

    const char *labels_at(const label_source &labels, std::size_t offset) const noexcept
    {
        return labels.empty() ? nullptr : at(offset);
    }

    std::unique_ptr<promfmt_buffer_t, deleter> handle_;
    detail::staging scratch_;
    detail::staging name_;
};

}  // namespace promfmt::cxx

#undef PROMFMT_HPP_ALWAYS_INLINE

#endif  // PROMFMT_HPP
