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

// json_special_bytes() of two words at once: non-zero when a byte of
// either is a quote, a backslash or below 0x20.
inline std::uint64_t json_special_pair(std::uint64_t a, std::uint64_t b) noexcept
{
#if defined(__SSE2__)
    const __m128i v = _mm_set_epi64x(static_cast<long long>(b), static_cast<long long>(a));
    const __m128i control = _mm_cmpeq_epi8(_mm_min_epu8(v, _mm_set1_epi8(0x1F)), v);
    const __m128i quote = _mm_cmpeq_epi8(v, _mm_set1_epi8('"'));
    const __m128i backslash = _mm_cmpeq_epi8(v, _mm_set1_epi8('\\'));
    return static_cast<std::uint64_t>(
        _mm_movemask_epi8(_mm_or_si128(control, _mm_or_si128(quote, backslash))));
#else
    return json_special_bytes(a) | json_special_bytes(b);
#endif
}

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
    for (std::size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(p[i]);
        special |= c < 0x20 || c == '"' || c == '\\';
    }
    return special;
}

// Copies s to dst and tests it on the way: non-zero when some byte of s
// needs escaping in a JSON string (the copy is then of no use). From 4 to
// 16 bytes, the words loaded for the test are the ones stored.
inline std::uint64_t copy_plain(char *dst, std::string_view s) noexcept
{
    const char *p = s.data();
    const std::size_t n = s.size();
    if (n >= 8 && n <= 16) {
        const std::uint64_t head = load_word<std::uint64_t>(p);
        const std::uint64_t tail = load_word<std::uint64_t>(p + n - 8);
        store_word<std::uint64_t>(dst, head);
        store_word<std::uint64_t>(dst + n - 8, tail);
        return json_special_pair(head, tail);
    }
    if (n >= 4 && n < 8) {
        const std::uint64_t head = load_word<std::uint32_t>(p);
        const std::uint64_t tail = load_word<std::uint32_t>(p + n - 4);
        store_word<std::uint32_t>(dst, head);
        store_word<std::uint32_t>(dst + n - 4, tail);
        const std::uint64_t both = head | tail << 32;
        return json_special_pair(both, both);
    }
    return copy_plain_long_or_short(dst, s);
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
    void truncate(std::size_t size) noexcept { used_ = size; }  // size <= size()
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

// Appends s as a JSON string: quotes, backslashes and bytes below 0x20 are
// escaped, every other byte is copied in runs.
inline void append_json_string(staging &out, std::string_view s)
{
    static constexpr char hex[] = "0123456789abcdef";
    out.push_back('"');
    std::size_t run = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c >= 0x20 && c != '"' && c != '\\')
            continue;
        out.append(s.substr(run, i - run));
        run = i + 1;
        if (c == '"' || c == '\\') {
            const char escaped[2] = {'\\', static_cast<char>(c)};
            out.append({escaped, 2});
        } else {
            const char escaped[6] = {'\\', 'u', '0', '0', hex[c >> 4], hex[c & 15]};
            out.append({escaped, 6});
        }
    }
    out.append(s.substr(run));
    out.push_back('"');
}

// Appends "name":"value", preceded by lead: the object's opening brace
// for its first member, else a comma. Names and values with nothing to
// escape (nearly all) are copied whole, into room made once, and tested as
// they are copied.
inline void append_member(staging &out, char lead, std::string_view name,
                          std::string_view value)
{
    const std::size_t texts = name.size() + value.size();
    if (texts < name.size() || texts > std::size_t(-1) - 6)  // one text viewed twice, say
        throw std::length_error("promfmt: label too long to stage");
    const std::size_t start = out.size();
    char *p = out.extend(texts + 6);
    *p++ = lead;
    *p++ = '"';
    std::uint64_t special = copy_plain(p, name);
    p += name.size();
    *p++ = '"';
    *p++ = ':';
    *p++ = '"';
    special |= copy_plain(p, value);
    p[value.size()] = '"';
    if (special == 0)
        return;
    out.truncate(start);  // written again, escaped
    out.push_back(lead);
    append_json_string(out, name);
    out.push_back(':');
    append_json_string(out, value);
}

// Appends the pairs from it to end as one JSON object.
template <class It, class End>
void append_object(staging &out, It it, End end)
{
    if (it == end) {
        out.append("{}");
        return;
    }
    for (char lead = '{'; it != end; ++it, lead = ',')
        append_member(out, lead, it->first, it->second);
    out.push_back('}');
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
        const std::size_t n = stage(name), h = stage(text);
        return promfmt_emit_help(get(), at(n), at(h)) == 0;
    }

    /** type() that returns false instead of throwing error. */
    [[nodiscard]] bool try_type(std::string_view name, metric_type kind)
    {
        scratch_.clear();
        const std::size_t n = stage(name);
        return promfmt_emit_type(get(), at(n), static_cast<promfmt_metric_type_t>(kind)) == 0;
    }

    /** sample() that returns false instead of throwing error. */
    [[nodiscard]] bool try_sample(std::string_view name, label_source labels, double value,
                                  std::int64_t timestamp_ms = 0)
    {
        scratch_.clear();
        const std::size_t n = stage(name), l = stage_labels(labels);
        return promfmt_emit_sample(get(), at(n), labels_at(labels, l), value, timestamp_ms) == 0;
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
        const std::size_t n = stage(name), h = stage(help_text), l = stage_labels(labels);
        return emit(get(), at(n), at(h), labels_at(labels, l), value) == 0;
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
};

}  // namespace promfmt::cxx

#endif  // PROMFMT_HPP
