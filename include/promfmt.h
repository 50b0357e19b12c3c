/* SPDX-License-Identifier: MIT */
/**
 * @file promfmt.h
 * @brief promfmt: writes metrics in the Prometheus text exposition format
 * (version 0.0.4) into an in-memory buffer.
 *
 * The host creates a buffer, calls one emitter per HELP line, TYPE line and
 * sample, then reads the text with promfmt_buffer_data() and
 * promfmt_buffer_len() and serves it with the content type
 * <tt>text/plain; version=0.0.4; charset=utf-8</tt>. The library does no
 * I/O, starts no threads and reads no configuration.
 *
 * The guide @ref md_docs_families "Writing whole families" (docs/families.md)
 * shows how to write a family with many series, a histogram and a summary,
 * how to build the labels JSON text safely, and how to read the last-error
 * text from threaded hosts.
 *
 * Conventions shared by every function:
 *
 * - Text arguments are NUL-terminated byte strings. Bytes at or above 0x80
 *   are ordinary bytes: never letters in names, copied unchanged in values
 *   and help texts. The library does not check that text is valid UTF-8;
 *   that is the caller's responsibility.
 * - Emitters return 0 on success and -1 on failure. A failure leaves a fixed
 *   English message (lower case, no full stop) in the last-error text, read
 *   with promfmt_last_error(). A success never clears that text.
 * - Whole lines only: promfmt_emit_sample(), promfmt_emit_help() and
 *   promfmt_emit_type() either append one whole line or, on failure, leave
 *   the buffer's text and length exactly as they were before the call. The
 *   gauge and counter shortcuts make up to three such calls and do not roll
 *   back: when a step fails, the lines of the steps before it stay (the
 *   HELP line when the TYPE line fails, both when the sample is refused).
 * - Numbers never depend on the process locale: values are written as the
 *   C locale's <tt>%.14g</tt> would write them, whatever setlocale() says.
 * - Every function that takes a buffer accepts NULL: queries return an
 *   empty result, reset and free do nothing, emitters fail with a message.
 * - Thread-safety: nothing is locked. One buffer must not be used from two
 *   threads at once; distinct buffers may be filled from distinct threads
 *   at the same time. The last-error text is ONE process-wide block shared
 *   by all threads, by design: after a failure on one thread, another
 *   thread's failure may overwrite the message before it is read.
 * - Memory comes from malloc/realloc/free. The host frees only what it
 *   created, with promfmt_buffer_free(); every string the library returns
 *   stays owned by the library.
 */
#ifndef PROMFMT_H
#define PROMFMT_H

#include <stddef.h>
#include <stdint.h>

/** Major version of this header. */
#define PROMFMT_VERSION_MAJOR 1
/** Minor version of this header. */
#define PROMFMT_VERSION_MINOR 0
/** Patch version of this header. */
#define PROMFMT_VERSION_PATCH 0
/** The version as one number: major * 10000 + minor * 100 + patch. */
#define PROMFMT_VERSION \
    (PROMFMT_VERSION_MAJOR * 10000 + PROMFMT_VERSION_MINOR * 100 + PROMFMT_VERSION_PATCH)
/** The version as text. */
#define PROMFMT_VERSION_STRING "1.0.0"

/*
 * PROMFMT_API marks the exported functions and PROMFMT_CALL their calling
 * convention (cdecl on Windows, as zlib's DLL). Define PROMFMT_STATIC when
 * linking a static build on Windows. Both macros may be predefined.
 */
#ifndef PROMFMT_API
#  if defined(_WIN32) || defined(__CYGWIN__)
#    if defined(PROMFMT_STATIC)
#      define PROMFMT_API
#    elif defined(PROMFMT_BUILDING)
#      define PROMFMT_API __declspec(dllexport)
#    else
#      define PROMFMT_API __declspec(dllimport)
#    endif
#  elif defined(__GNUC__) && __GNUC__ >= 4
#    define PROMFMT_API __attribute__((visibility("default")))
#  else
#    define PROMFMT_API
#  endif
#endif

#ifndef PROMFMT_CALL
#  if defined(_WIN32) && !defined(_WIN64) && !defined(__CYGWIN__)
#    define PROMFMT_CALL __cdecl
#  else
#    define PROMFMT_CALL
#  endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/**
 * The output buffer: a growable block of text that is always
 * NUL-terminated. Opaque; create it with promfmt_buffer_create().
 */
typedef struct promfmt_buffer promfmt_buffer_t;

/**
 * Metric kinds for promfmt_emit_type().
 *
 * The function takes any 32-bit value: codes other than these five,
 * negative ones included, write "untyped". (In C++ the enumeration has the
 * fixed underlying type int32_t, so every such value is a valid one.)
 */
#ifdef __cplusplus
typedef enum promfmt_metric_type_t : int32_t {
#else
typedef enum promfmt_metric_type_t {
#endif
    PROMFMT_TYPE_UNTYPED = 0,   /**< writes "untyped" */
    PROMFMT_TYPE_COUNTER = 1,   /**< writes "counter" */
    PROMFMT_TYPE_GAUGE = 2,     /**< writes "gauge" */
    PROMFMT_TYPE_HISTOGRAM = 3, /**< writes "histogram" */
    PROMFMT_TYPE_SUMMARY = 4    /**< writes "summary" */
} promfmt_metric_type_t;

/* ---- Buffer lifecycle and queries -------------------------------------- */

/**
 * Creates an empty buffer.
 *
 * @param initial_capacity bytes to allocate for the text, NUL included;
 *        values below 64 (0 included) give 64. The buffer grows as needed.
 * @return a new buffer holding "" (length 0), owned by the caller until it
 *         is passed to promfmt_buffer_free(); NULL on failure, with the
 *         message "failed to allocate promfmt_buffer_t struct" or
 *         "failed to allocate buffer data memory" (nothing stays allocated).
 * @note Thread-safe, apart from the shared last-error text on failure.
 */
PROMFMT_API promfmt_buffer_t *PROMFMT_CALL promfmt_buffer_create(size_t initial_capacity);

/**
 * Frees a buffer and its text.
 *
 * @param buf the buffer, or NULL (then nothing happens). Every pointer
 *        obtained from promfmt_buffer_data() for it becomes invalid.
 * @note Never fails. Must not race with any other use of the same buffer.
 */
PROMFMT_API void PROMFMT_CALL promfmt_buffer_free(promfmt_buffer_t *buf);

/**
 * Empties the buffer (length 0, text "") but keeps its memory (the text
 * block and the emitters' working memory), so a buffer reused once per
 * scrape stops allocating once it has grown.
 *
 * @param buf the buffer, or NULL (then nothing happens).
 * @note Never fails; the capacity never shrinks. The text pointer stays the
 *       same, but the old text is gone.
 */
PROMFMT_API void PROMFMT_CALL promfmt_buffer_reset(promfmt_buffer_t *buf);

/**
 * Returns the buffer's text.
 *
 * @param buf the buffer, or NULL.
 * @return the NUL-terminated text; a static "" for NULL. Never NULL. The
 *         pointer is owned by the buffer and stays valid only until the next
 *         emitter call, reset or free of that buffer: growing the buffer may
 *         move its text. Copy or send the text before writing more.
 * @note Never fails. Safe from any thread while no thread writes the buffer.
 */
PROMFMT_API const char *PROMFMT_CALL promfmt_buffer_data(const promfmt_buffer_t *buf);

/**
 * Returns the length of the buffer's text.
 *
 * @param buf the buffer, or NULL.
 * @return the number of text bytes, not counting the NUL; 0 for NULL.
 * @note Never fails. Safe from any thread while no thread writes the buffer.
 */
PROMFMT_API size_t PROMFMT_CALL promfmt_buffer_len(const promfmt_buffer_t *buf);

/**
 * Returns the message of the most recent failure in the process.
 *
 * @return the message, or "" when nothing has failed yet. Never NULL. The
 *         pointer is a static block owned by the library, always the same
 *         one, valid for the life of the process. Successes do not clear it.
 * @note The block is shared by all threads without locking: read it right
 *       after the failing call, on the thread that made it, and only rely on
 *       it when no other thread can fail at the same time.
 */
PROMFMT_API const char *PROMFMT_CALL promfmt_last_error(void);

/* ---- Escaping ----------------------------------------------------------- */

/**
 * Escapes a label value: a backslash becomes `\\`, a double quote becomes
 * <tt>\\\"</tt> and a line feed becomes `\n` (two bytes each); every other
 * byte, carriage return and tab included, is copied as is.
 *
 * Call it once with @p out NULL to learn the length L, allocate L + 1
 * bytes, and call it again to write.
 *
 * @param in       text to escape; NULL is taken as the empty text: the
 *        result is 0 and, when @p out is non-NULL and @p out_size is
 *        non-zero, one NUL is stored at @p out.
 * @param out      destination, or NULL to measure only.
 * @param out_size bytes available at @p out; 0 also means measure only.
 * @return the escaped length L, not counting the NUL. When measuring
 *         (@p out NULL or @p out_size 0), nothing is written. Otherwise
 *         @p out receives the L escaped bytes and a NUL. -1 on failure, with
 *         "destination buffer too small for escaped label value" when
 *         @p out_size < L + 1 (@p out is untouched), or with
 *         "label value too long" when L would exceed INT_MAX.
 * @note This is the exposition format's escape, not JSON's: a value escaped
 *       with it is not a valid JSON string (a tab or carriage return stays
 *       raw). To put a value into the labels JSON text, escape it for JSON.
 * @note Thread-safe, apart from the shared last-error text on failure.
 */
PROMFMT_API int PROMFMT_CALL promfmt_escape_label_value(const char *in, char *out,
                                                        size_t out_size);

/* ---- Emitters ----------------------------------------------------------- */

/**
 * Appends one sample line: <tt>name{label="value",...} value[ timestamp]</tt>
 * and a line feed.
 *
 * A family with several series is one HELP line, one TYPE line, then one
 * call of this function per series (see the guide
 * @ref md_docs_families "Writing whole families").
 *
 * @param buf         the buffer; NULL fails with "null buffer pointer".
 * @param name        metric name matching <tt>[a-zA-Z_:][a-zA-Z0-9_:]*</tt>;
 *        NULL or another name fails with "invalid metric name".
 * @param labels_json NULL, "" or only spaces, tabs, line feeds and carriage
 *        returns for no labels; otherwise the text of one JSON object whose
 *        members become the labels.
 *        Keys must match <tt>[a-zA-Z_][a-zA-Z0-9_]*</tt> (a key is cut at an
 *        escaped NUL, <tt>\\u0000</tt>), be unique, and not be `__name__`:
 *        readers take that label for the metric name and drop the whole
 *        scrape, so it fails with "invalid label name in JSON", also when
 *        the key's text before an escaped NUL is `__name__`. Other names
 *        starting with `__` are accepted.
 *        Values: strings as they are (cut at an escaped NUL); integers from
 *        -2^63 to 2^64-1 in full, except the literal `-0`, which is written
 *        `0`; integers beyond 64 bits and other numbers with 14 significant
 *        digits (<tt>%.14g</tt>); true and false as words; null, arrays and
 *        objects as the empty value. A number too large for a double fails
 *        to parse.
 *        Labels are written sorted by name (byte order), values escaped as
 *        by promfmt_escape_label_value(). The text is only read.
 * @param value       NaN is written "NaN", infinities "+Inf" and "-Inf",
 *        anything else with 14 significant digits (<tt>%.14g</tt>,
 *        locale-free).
 * @param timestamp   milliseconds since the epoch; written only when > 0.
 * @return 0, or -1 with one of: "null buffer pointer", "invalid metric name",
 *         "failed to parse labels JSON" (not JSON, trailing text, invalid
 *         UTF-8, or the parser ran out of memory),
 *         "labels JSON must be an object", "invalid label name in JSON",
 *         "duplicate label name in JSON",
 *         "out of memory allocating label pairs",
 *         "failed to expand buffer: out of memory".
 *         On failure the buffer is exactly as it was.
 * @note May be called on distinct buffers from distinct threads at once.
 *       Invalidates earlier promfmt_buffer_data() pointers of @p buf. Uses
 *       about 10 KiB of stack: small labels texts are parsed there. Larger
 *       label sets and labels texts use working memory that stays with the
 *       buffer for the next call (up to 4 MiB per kind; more is freed when
 *       the call returns), so a reused buffer stops allocating for them too;
 *       promfmt_buffer_free() releases it.
 */
PROMFMT_API int PROMFMT_CALL promfmt_emit_sample(promfmt_buffer_t *buf, const char *name,
                                                 const char *labels_json, double value,
                                                 int64_t timestamp);

/**
 * Appends a HELP line: "# HELP ", the name, a space, the escaped help text
 * and a line feed. In the text, a backslash becomes `\\` and a line feed
 * becomes `\n` (two bytes each); every other byte, the double quote
 * included, is copied.
 *
 * Write one HELP line per family: a second HELP line for the same name
 * makes readers refuse the scrape.
 *
 * The text is not checked for valid UTF-8: invalid sequences are copied
 * unchanged, and keeping the text valid UTF-8 is the caller's job (readers
 * may reject a scrape that is not).
 *
 * @param buf  the buffer; NULL fails with "null buffer pointer".
 * @param name metric name; NULL or an invalid name fails with
 *        "invalid metric name for HELP emission".
 * @param help the help text; NULL and "" both write "# HELP name " and a
 *        line feed.
 * @return 0, or -1 with one of the messages above or
 *         "failed to expand buffer: out of memory"; the buffer is then
 *         exactly as it was.
 * @note Same thread-safety and pointer rules as promfmt_emit_sample().
 */
PROMFMT_API int PROMFMT_CALL promfmt_emit_help(promfmt_buffer_t *buf, const char *name,
                                               const char *help);

/**
 * Appends a TYPE line: "# TYPE ", the name, a space, the kind and a line
 * feed. The kind is "counter", "gauge", "histogram" or "summary" for codes 1
 * to 4, and "untyped" for 0 and for every other value, negative ones
 * included.
 *
 * @param buf  the buffer; NULL fails with "null buffer pointer".
 * @param name metric name; NULL or an invalid name fails with
 *        "invalid metric name for TYPE emission".
 * @param type the kind, any 32-bit value.
 * @return 0, or -1 with one of the messages above or
 *         "failed to expand buffer: out of memory"; the buffer is then
 *         exactly as it was.
 * @note Same thread-safety and pointer rules as promfmt_emit_sample().
 */
PROMFMT_API int PROMFMT_CALL promfmt_emit_type(promfmt_buffer_t *buf, const char *name,
                                               promfmt_metric_type_t type);

/**
 * Appends a whole gauge family: the HELP line when @p help is non-empty,
 * the TYPE line "gauge", and one sample line without timestamp. The name is
 * used unchanged on every line.
 *
 * For a family of one series only: calling it once per series repeats the
 * HELP and TYPE lines, and readers refuse the scrape. For several series,
 * call promfmt_emit_help() and promfmt_emit_type() once, then
 * promfmt_emit_sample() per series.
 *
 * @param buf         the buffer.
 * @param name        metric name.
 * @param help        help text; NULL or "" writes no HELP line.
 * @param labels_json labels, as for promfmt_emit_sample().
 * @param value       the sample's value.
 * @return 0, or -1 with one of:
 *         - "null buffer or metric name" when @p buf or @p name is NULL;
 *           nothing written;
 *         - a message of promfmt_emit_help(); nothing written;
 *         - a message of promfmt_emit_type(); nothing written when there
 *           was no HELP line (or the name is invalid), but when the TYPE
 *           line fails after a HELP line was written (only running out of
 *           memory can cause that), the HELP line stays;
 *         - a message of promfmt_emit_sample(); the HELP and TYPE lines
 *           stay in the buffer.
 *
 *         Nothing is rolled back.
 * @note Same thread-safety and pointer rules as promfmt_emit_sample().
 */
PROMFMT_API int PROMFMT_CALL promfmt_emit_gauge(promfmt_buffer_t *buf, const char *name,
                                                const char *help, const char *labels_json,
                                                double value);

/**
 * Appends a whole counter family, exactly as promfmt_emit_gauge() but with
 * the TYPE line "counter". No `_total` suffix is added to the name.
 * For a family of one series only, as promfmt_emit_gauge().
 *
 * @param buf         the buffer.
 * @param name        metric name.
 * @param help        help text; NULL or "" writes no HELP line.
 * @param labels_json labels, as for promfmt_emit_sample().
 * @param value       the sample's value.
 * @return as promfmt_emit_gauge().
 * @note Same thread-safety and pointer rules as promfmt_emit_sample().
 */
PROMFMT_API int PROMFMT_CALL promfmt_emit_counter(promfmt_buffer_t *buf, const char *name,
                                                  const char *help, const char *labels_json,
                                                  double value);

#ifdef __cplusplus
}
#endif

#endif /* PROMFMT_H */
