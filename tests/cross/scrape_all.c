/* SPDX-License-Identifier: MIT */
/*
 * Loads the library at run time (LoadLibraryA on Windows, dlopen elsewhere),
 * resolves the twelve functions by name and writes to stdout one transcript
 * that calls every function with every kind of input: each call as one line
 * "> call(args) = result" followed by the exact bytes it appended. The same
 * transcript must come out byte for byte on every platform the library ships
 * on, so nothing here formats a floating-point number itself.
 *
 *   scrape_all [LOCALE]
 *
 * LOCALE is passed to setlocale(LC_ALL, ...) first; stderr then says how
 * that locale writes 1.5, so a caller can prove a comma locale took effect.
 * The library is PROMFMT_LIBRARY when set, else the platform's usual name.
 * Exit codes: 0 done, 1 library or a function missing, 2 locale refused.
 */
#if !defined(_WIN32) && !defined(_POSIX_C_SOURCE)
#define _POSIX_C_SOURCE 200809L
#endif

#include <float.h>
#include <limits.h>
#include <locale.h>
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#define DEFAULT_LIBRARY "velkaron-prometheus-promfmt.dll"
#else
#include <dlfcn.h>
#define DEFAULT_LIBRARY "libvelkaron-prometheus-promfmt.so.1"
#endif

#define PROMFMT_STATIC /* only the types are used: no import declarations */
#include "promfmt.h"

/* ---- The twelve functions, resolved at run time ------------------------- */

typedef promfmt_buffer_t *(PROMFMT_CALL *buffer_create_fn)(size_t);
typedef void(PROMFMT_CALL *buffer_free_fn)(promfmt_buffer_t *);
typedef void(PROMFMT_CALL *buffer_reset_fn)(promfmt_buffer_t *);
typedef const char *(PROMFMT_CALL *buffer_data_fn)(const promfmt_buffer_t *);
typedef size_t(PROMFMT_CALL *buffer_len_fn)(const promfmt_buffer_t *);
typedef const char *(PROMFMT_CALL *last_error_fn)(void);
typedef int(PROMFMT_CALL *escape_label_value_fn)(const char *, char *, size_t);
typedef int(PROMFMT_CALL *emit_sample_fn)(promfmt_buffer_t *, const char *, const char *,
                                          double, int64_t);
typedef int(PROMFMT_CALL *emit_help_fn)(promfmt_buffer_t *, const char *, const char *);
typedef int(PROMFMT_CALL *emit_type_fn)(promfmt_buffer_t *, const char *,
                                        promfmt_metric_type_t);
typedef int(PROMFMT_CALL *emit_gauge_fn)(promfmt_buffer_t *, const char *, const char *,
                                         const char *, double);
typedef int(PROMFMT_CALL *emit_counter_fn)(promfmt_buffer_t *, const char *, const char *,
                                           const char *, double);

static struct {
    buffer_create_fn buffer_create;
    buffer_free_fn buffer_free;
    buffer_reset_fn buffer_reset;
    buffer_data_fn buffer_data;
    buffer_len_fn buffer_len;
    last_error_fn last_error;
    escape_label_value_fn escape_label_value;
    emit_sample_fn emit_sample;
    emit_help_fn emit_help;
    emit_type_fn emit_type;
    emit_gauge_fn emit_gauge;
    emit_counter_fn emit_counter;
} api;

typedef void (*any_fn)(void);

#ifdef _WIN32
typedef HMODULE library_t;
static library_t open_library(const char *path) { return LoadLibraryA(path); }
static any_fn find_function(library_t lib, const char *name)
{
    return (any_fn)(void (*)(void))GetProcAddress(lib, name);
}
#else
typedef void *library_t;
static library_t open_library(const char *path) { return dlopen(path, RTLD_NOW | RTLD_LOCAL); }
static any_fn find_function(library_t lib, const char *name)
{
    void *sym = dlsym(lib, name);
    any_fn fn;
    memcpy(&fn, &sym, sizeof fn); /* object to function pointer, as POSIX allows */
    return fn;
}
#endif

static any_fn resolve(library_t lib, const char *name, int *missing)
{
    any_fn fn = find_function(lib, name);
    if (!fn) {
        fprintf(stderr, "scrape_all: the library does not export %s\n", name);
        ++*missing;
    }
    return fn;
}

/* Fails loudly, naming every function that is missing. */
static int resolve_all(library_t lib)
{
    int missing = 0;
#define RESOLVE(field) api.field = (field##_fn)resolve(lib, "promfmt_" #field, &missing)
    RESOLVE(buffer_create);
    RESOLVE(buffer_free);
    RESOLVE(buffer_reset);
    RESOLVE(buffer_data);
    RESOLVE(buffer_len);
    RESOLVE(last_error);
    RESOLVE(escape_label_value);
    RESOLVE(emit_sample);
    RESOLVE(emit_help);
    RESOLVE(emit_type);
    RESOLVE(emit_gauge);
    RESOLVE(emit_counter);
#undef RESOLVE
    if (missing)
        fprintf(stderr, "scrape_all: %d of the twelve functions are missing\n", missing);
    return missing;
}

/* ---- Locale-free output helpers ----------------------------------------- */

static void put(const char *s) { fputs(s, stdout); }
static void put_bytes(const char *p, size_t n) { fwrite(p, 1, n, stdout); }

static void put_u64(uint64_t v)
{
    char digits[24];
    size_t i = sizeof digits;
    do {
        digits[--i] = (char)('0' + v % 10);
        v /= 10;
    } while (v);
    put_bytes(digits + i, sizeof digits - i);
}

static void put_i64(int64_t v)
{
    if (v < 0) {
        put("-");
        put_u64(0 - (uint64_t)v);
    } else {
        put_u64((uint64_t)v);
    }
}

/* A text argument: NULL, or quoted with control bytes shown as \xNN and
 * backslash and double quote escaped, so every argument reads unambiguously. */
static void put_arg(const char *s)
{
    static const char hex[] = "0123456789abcdef";
    if (!s) {
        put("NULL");
        return;
    }
    put("\"");
    for (; *s; ++s) {
        unsigned char c = (unsigned char)*s;
        if (c == '\\' || c == '"') {
            char esc[2] = {'\\', (char)c};
            put_bytes(esc, 2);
        } else if (c < 0x20 || c == 0x7f) {
            char esc[4] = {'\\', 'x', hex[c >> 4], hex[c & 15]};
            put_bytes(esc, 4);
        } else {
            put_bytes(s, 1);
        }
    }
    put("\"");
}

static void put_section(const char *title)
{
    put("== ");
    put(title);
    put("\n");
}

/* Starts a call's line: "> fn(buf, name"; returns the buffer's length. */
static size_t begin_call(const char *fn, const promfmt_buffer_t *buf, const char *name)
{
    put("> ");
    put(fn);
    put(buf ? "(buf, " : "(NULL, ");
    put_arg(name);
    return api.buffer_len(buf);
}

static void text_arg(const char *s)
{
    put(", ");
    put_arg(s);
}

static void raw_arg(const char *s)
{
    put(", ");
    put(s);
}

/* Ends a call's line with its result and the message of a failure, then
 * copies what the call appended to buf since it held `before` bytes. */
static void report(int rc, const promfmt_buffer_t *buf, size_t before)
{
    size_t after = api.buffer_len(buf);
    put(") = ");
    put_i64(rc);
    if (rc != 0) {
        put(" ");
        put_arg(api.last_error());
    }
    put("\n");
    if (after != before)
        put_bytes(api.buffer_data(buf) + before, after - before);
}

/* ---- One helper per emitter: print the call, make it, report it ---------- */

static void sample(promfmt_buffer_t *buf, const char *name, const char *labels,
                   const char *value_text, double value, int64_t ts)
{
    size_t before = begin_call("sample", buf, name);
    text_arg(labels);
    raw_arg(value_text);
    put(", ");
    put_i64(ts);
    report(api.emit_sample(buf, name, labels, value, ts), buf, before);
}

static void help(promfmt_buffer_t *buf, const char *name, const char *text)
{
    size_t before = begin_call("help", buf, name);
    text_arg(text);
    report(api.emit_help(buf, name, text), buf, before);
}

static void type(promfmt_buffer_t *buf, const char *name, int32_t code)
{
    size_t before = begin_call("type", buf, name);
    put(", ");
    put_i64(code);
    report(api.emit_type(buf, name, (promfmt_metric_type_t)code), buf, before);
}

static void family(promfmt_buffer_t *buf, int counter, const char *name, const char *text,
                   const char *labels, const char *value_text, double value)
{
    size_t before = begin_call(counter ? "counter" : "gauge", buf, name);
    text_arg(text);
    text_arg(labels);
    raw_arg(value_text);
    int rc = counter ? api.emit_counter(buf, name, text, labels, value)
                     : api.emit_gauge(buf, name, text, labels, value);
    report(rc, buf, before);
}

/* ---- The transcript, one section per behaviour --------------------------- */

static double from_bits(uint64_t bits)
{
    double d;
    memcpy(&d, &bits, sizeof d);
    return d;
}

static void buffer_lifecycle(void)
{
    static const size_t capacities[] = {0, 63, 64, 1000};
    put_section("buffer lifecycle");
    put("> last_error() before any failure = ");
    put_arg(api.last_error());
    put("\n");
    for (size_t i = 0; i < sizeof capacities / sizeof capacities[0]; ++i) {
        promfmt_buffer_t *buf = api.buffer_create(capacities[i]);
        put("> buffer_create(");
        put_u64(capacities[i]);
        put(buf ? ") = buffer, len " : ") = NULL");
        if (buf) {
            put_u64(api.buffer_len(buf));
            put(", data ");
            put_arg(api.buffer_data(buf));
        }
        put("\n");
        api.buffer_free(buf);
    }
    promfmt_buffer_t *huge = api.buffer_create(SIZE_MAX);
    put("> buffer_create(SIZE_MAX) = ");
    put(huge ? "buffer" : "NULL ");
    put_arg(api.last_error());
    put("\n");
    api.buffer_free(huge);

    api.buffer_reset(NULL);
    api.buffer_free(NULL);
    const char *none = api.buffer_data(NULL);
    put("> buffer_reset(NULL), buffer_free(NULL): returned\n> buffer_data(NULL) = ");
    put(none ? "" : "NULL pointer ");
    put_arg(none);
    put(", buffer_len(NULL) = ");
    put_u64(api.buffer_len(NULL));
    put("\n");

    promfmt_buffer_t *buf = api.buffer_create(0);
    sample(buf, "before_reset", NULL, "1", 1, 0);
    const char *text = api.buffer_data(buf);
    api.buffer_reset(buf);
    put("> buffer_reset(buf): len ");
    put_u64(api.buffer_len(buf));
    put(", data ");
    put_arg(api.buffer_data(buf));
    put(api.buffer_data(buf) == text ? ", same text block\n" : ", moved text block\n");
    sample(buf, "after_reset", NULL, "2", 2, 0);
    api.buffer_free(buf);
}

static void values(promfmt_buffer_t *buf)
{
    static const struct {
        const char *text;
        double value;
    } cases[] = {
        {"0", 0.0},
        {"-0", -0.0},
        {"0.1", 0.1},
        {"1.5", 1.5},
        {"-2.5", -2.5},
        {"42", 42.0},
        {"-42", -42.0},
        {"0.1+0.2", 0.30000000000000004},
        {"2/3", 0.66666666666666663},
        {"1e14", 1e14},
        {"1e14-1", 99999999999999.0},
        {"1e14-0.5", 99999999999999.5},
        {"123456789012345678", 123456789012345678.0},
        {"12345678901234.5", 12345678901234.5},
        {"12345678901235.5", 12345678901235.5},
        {"3.14159265358979323846", 3.14159265358979323846},
        {"2^53+1", 9007199254740993.0},
        {"1e-4", 1e-4},
        {"1e-5", 1e-5},
        {"0.000123456789012345", 0.000123456789012345},
        {"1e21", 1e21},
        {"1e300", 1e300},
        {"-1e-300", -1e-300},
        {"DBL_MAX", DBL_MAX},
        {"DBL_MIN", DBL_MIN},
        {"4.9e-324", 4.9406564584124654e-324},
    };
    put_section("values");
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
        sample(buf, "v", NULL, cases[i].text, cases[i].value, 0);
    sample(buf, "v", NULL, "NAN", NAN, 0);
    sample(buf, "v", NULL, "-NAN", -NAN, 0);
    sample(buf, "v", NULL, "NaN with payload 0x7ff8000000000123",
           from_bits(UINT64_C(0x7ff8000000000123)), 0);
    sample(buf, "v", NULL, "signalling NaN 0xfff0000000000001",
           from_bits(UINT64_C(0xfff0000000000001)), 0);
    sample(buf, "v", NULL, "INFINITY", INFINITY, 0);
    sample(buf, "v", NULL, "-INFINITY", -INFINITY, 0);
}

static void timestamps(promfmt_buffer_t *buf)
{
    static const int64_t cases[] = {0, -5, 1, 1700000000000, INT64_MAX, INT64_MIN};
    put_section("timestamps");
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
        sample(buf, "t", NULL, "1.5", 1.5, cases[i]);
    sample(buf, "t", "{\"a\":\"b\"}", "NAN", NAN, 1);
}

static void metric_names(promfmt_buffer_t *buf)
{
    static const char *const names[] = {
        "a", ":", "_", "a:b:c", "__name", "Az09_:", NULL, "", "1a", "a-b", "a.b",
        "a b", "@", "[", "`", "{", "a@", "a[", "a`", "a{", "\xc3\xa9", "a\xc3\xa9",
    };
    put_section("metric names");
    for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i)
        sample(buf, names[i], NULL, "1", 1, 0);
}

static void labels(promfmt_buffer_t *buf)
{
    static const char *const cases[] = {
        /* no labels */
        NULL, "", " \t\n\r", "{}", " \t{ }\r\n", "\v{}", "\f{}",
        /* sorting: digits < uppercase < underscore < lowercase */
        "{\"b\":\"1\",\"a\":\"2\"}",
        "{\"b\":1,\"a\":2,\"_z\":3,\"Z\":4,\"a_\":5,\"A\":6,\"a0\":7,\"aa\":8,\"__x\":9}",
        /* strings: escapes, control bytes, UTF-8, \u escapes, escaped NUL */
        "{\"s\":\"back\\\\slash \\\"quote\\\" new\\nline tab\\t cr\\r\"}",
        "{\"s\":\"raw \xc3\xa9\xe6\x97\xa5 esc \\u00e9\\u65e5 pair \\ud83d\\ude00 \\/\"}",
        "{\"s\":\"ab\\u0000cd\",\"k\\u0000tail\":\"x\",\"e\":\"\"}",
        /* integers and reals */
        "{\"i\":7,\"n\":-7,\"z\":0,\"nz\":-0}",
        "{\"min\":-9223372036854775808,\"max\":18446744073709551615,"
        "\"imax\":9223372036854775807}",
        "{\"over\":18446744073709551616,\"under\":-9223372036854775809}",
        "{\"r\":1.5,\"p\":0.1,\"big\":1e300,\"tiny\":-1e-300,\"nz\":-0.0,"
        "\"long\":123456789012345678.0,\"e14\":1e14,\"e14m\":99999999999999.0}",
        /* literals and containers */
        "{\"t\":true,\"f\":false,\"n\":null,\"a\":[1,\"x\"],\"o\":{\"x\":1},\"ea\":[],\"eo\":{}}",
        /* failures */
        "[1]", "1", "\"s\"", "true", "false", "null", "not json", "{} x", "{\"a\":1,}",
        "{/*c*/}", "\xef\xbb\xbf{}", "{\"a\":NaN}", "{\"a\":Infinity}", "{\"a\":\"\xff\"}",
        "{\"a\":1", "{'a':1}", "{\"inf\":1e400}",
        "{\"a-b\":1}", "{\"a:b\":1}", "{\"1a\":1}", "{\"\xc3\xa9\":1}", "{\"\":1}",
        "{\"\\u0000k\":1}", "{\"ok\":1,\"fine\":2,\"bad-\":3}",
        "{\"a\":1,\"a\":2}", "{\"a\":1,\"b\":2,\"a\":3}",
    };
    put_section("labels");
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
        sample(buf, "l", cases[i], "1", 1, 0);
}

/* More members than fit a small parse: keys in reverse order, mixed values,
 * and a deeply nested array that becomes an empty value. */
static void wide_labels(promfmt_buffer_t *buf)
{
    enum { MEMBERS = 200, DEPTH = 300 };
    static const char *const kinds[] = {"\"v%d\\n\"", "%d", "-%d", "%d.25", "true", "null"};
    char *json = malloc(MEMBERS * 32 + DEPTH * 2 + 32);
    if (!json) {
        put("> wide labels: out of memory in the test\n");
        return;
    }
    size_t n = 0;
    json[n++] = '{';
    for (int i = MEMBERS - 1; i >= 0; --i) {
        n += (size_t)sprintf(json + n, "\"k%03d\":", i);
        n += (size_t)sprintf(json + n, kinds[i % 6], i);
        json[n++] = ',';
    }
    n += (size_t)sprintf(json + n, "\"deep\":");
    for (int i = 0; i < DEPTH; ++i)
        json[n++] = '[';
    for (int i = 0; i < DEPTH; ++i)
        json[n++] = ']';
    json[n++] = '}';
    json[n] = '\0';
    put_section("wide labels");
    put("(the labels text is generated: 200 members k199..k000, then a 300-deep array)\n");
    size_t before = begin_call("sample", buf, "wide");
    raw_arg("<generated>");
    raw_arg("1");
    raw_arg("0");
    report(api.emit_sample(buf, "wide", json, 1, 0), buf, before);
    free(json);
}

static void help_lines(promfmt_buffer_t *buf)
{
    put_section("help");
    help(buf, "h", NULL);
    help(buf, "h", "");
    help(buf, "h", "back\\slash new\nline \"quote\" tab\t cr\r \xc3\xa9");
    help(buf, "h", "twice");
    help(buf, "h", "twice");
    help(buf, "a:b", "colon");
    help(buf, "a-b", "hyphen");
    help(buf, "", "empty name");
    help(buf, NULL, "null name");
    help(NULL, "h", "null buffer");
}

static void type_lines(promfmt_buffer_t *buf)
{
    static const int32_t codes[] = {0, 1, 2, 3, 4, 5, -1, 100, INT32_MAX, INT32_MIN};
    put_section("type");
    for (size_t i = 0; i < sizeof codes / sizeof codes[0]; ++i)
        type(buf, "t", codes[i]);
    type(buf, "a:b", PROMFMT_TYPE_GAUGE);
    type(buf, "a-b", PROMFMT_TYPE_GAUGE);
    type(buf, "", PROMFMT_TYPE_GAUGE);
    type(buf, NULL, PROMFMT_TYPE_GAUGE);
    type(NULL, "t", PROMFMT_TYPE_GAUGE);
}

static void families(promfmt_buffer_t *buf)
{
    put_section("gauge and counter");
    for (int counter = 0; counter <= 1; ++counter) {
        family(buf, counter, "f", "Help with \\ and \n.", "{\"b\":\"2\",\"a\":\"1\"}", "0.5",
               0.5);
        family(buf, counter, "f", "", NULL, "NAN", NAN);
        family(buf, counter, "f", NULL, "{}", "-INFINITY", -INFINITY);
        family(buf, counter, "f", "kept", "[1]", "1", 1);
        family(buf, counter, "f", "", "{\"bad-key\":1}", "1", 1);
        family(buf, counter, "bad-name", "help", NULL, "1", 1);
        family(buf, counter, "bad-name", "", NULL, "1", 1);
        family(buf, counter, "", NULL, NULL, "1", 1);
        family(buf, counter, NULL, "help", NULL, "1", 1);
        family(NULL, counter, "f", "help", NULL, "1", 1);
    }
    sample(NULL, "f", NULL, "1", 1, 0);
}

static void escape_case(const char *in, int with_out, size_t size)
{
    char out[64];
    memset(out, '#', sizeof out);
    int rc = api.escape_label_value(in, with_out ? out : NULL, size);
    put("> escape_label_value(");
    put_arg(in);
    put(with_out ? ", out, " : ", NULL, ");
    put_u64(size);
    put(") = ");
    put_i64(rc);
    if (rc < 0) {
        put(" ");
        put_arg(api.last_error());
    }
    if (with_out) {
        /* Show what was written, up to its NUL, and whether anything was. */
        const char *end = memchr(out, '\0', sizeof out);
        put(", out ");
        if (end) {
            put_arg(out);
        } else {
            put(out[0] == '#' ? "untouched" : "unterminated");
        }
    }
    put("\n");
}

static void escaping(void)
{
    static const char special[] = "\\\"\n";
    static const char mixed[] = "a\\b\"c\nd\re\tf \xc3\xa9";
    put_section("escape_label_value");
    escape_case(special, 0, 0);
    escape_case(special, 1, 0);
    escape_case(special, 1, 7);
    escape_case(special, 1, 6);
    escape_case(mixed, 0, 0);
    escape_case(mixed, 1, 64);
    escape_case(mixed, 1, 17);
    escape_case("", 1, 64);
    escape_case("", 0, 0);
    escape_case(NULL, 1, 64);
    escape_case(NULL, 1, 0);
    escape_case(NULL, 0, 0);
    escape_case("plain", 1, 1);
}

static void sticky_error(promfmt_buffer_t *buf)
{
    put_section("last error after a success");
    sample(buf, "bad-name", NULL, "1", 1, 0);
    sample(buf, "good", NULL, "1", 1, 0);
    put("> last_error() = ");
    put_arg(api.last_error());
    put("\n");
}

static void transcript(void)
{
    buffer_lifecycle();
    promfmt_buffer_t *buf = api.buffer_create(0);
    if (!buf) {
        put("> buffer_create(0) = NULL\n");
        return;
    }
    values(buf);
    timestamps(buf);
    metric_names(buf);
    labels(buf);
    wide_labels(buf);
    help_lines(buf);
    type_lines(buf);
    families(buf);
    escaping();
    sticky_error(buf);
    put_section("whole scrape");
    put("> buffer_len(buf) = ");
    put_u64(api.buffer_len(buf));
    put("\n");
    api.buffer_free(buf);
}

/* Reports how the chosen locale writes 1.5, on stderr so stdout stays the
 * same whatever the locale. */
static int apply_locale(const char *name)
{
    if (!setlocale(LC_ALL, name)) {
        fprintf(stderr, "scrape_all: setlocale(LC_ALL, \"%s\") failed\n", name);
        return 0;
    }
    char probe[16];
    snprintf(probe, sizeof probe, "%.1f", 1.5);
    fprintf(stderr, "scrape_all: locale %s writes 1.5 as %s\n", name, probe);
    return 1;
}

int main(int argc, char **argv)
{
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    if (argc > 1 && !apply_locale(argv[1]))
        return 2;
    const char *path = getenv("PROMFMT_LIBRARY");
    if (!path || !*path)
        path = DEFAULT_LIBRARY;
    library_t lib = open_library(path);
    if (!lib) {
        fprintf(stderr, "scrape_all: cannot load %s\n", path);
        return 1;
    }
    if (resolve_all(lib) != 0)
        return 1;
    transcript();
    return fflush(stdout) == 0 ? 0 : 1;
}
