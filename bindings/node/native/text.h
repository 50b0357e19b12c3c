// SPDX-License-Identifier: MIT
// Strings between JavaScript and the library: UTF-8 copies into reused
// memory, JSON string literals, and the errors the addon throws.
#ifndef PROMFMT_NODE_TEXT_H
#define PROMFMT_NODE_TEXT_H

#include <napi.h>
#include <string>

#include "promfmt.h"

namespace promfmt_node {

// Copies a JavaScript string's UTF-8 into out, reusing out's memory.
// false, with a TypeError pending naming `what`, when value is no string.
bool read_string(napi_env env, napi_value value, const char *what, std::string &out);

// Copies the text of a label value: a string as is, a number or boolean as
// String() writes it. false, with a TypeError pending, for anything else.
bool read_label_value(napi_env env, napi_value value, const std::string &label,
                      std::string &out);

// Appends text as a JSON string literal (quotes included).
void append_json_string(std::string &out, const std::string &text);

// A JavaScript string of a buffer's text. ASCII text, the common case, is
// copied as Latin-1, which skips UTF-8 decoding.
Napi::Value text_of(Napi::Env env, const promfmt_buffer_t *buf);

// Throws a TypeError: "<what> must be <expected>".
void throw_type_error(napi_env env, const std::string &what, const char *expected);

// Throws the package's PromfmtError with message.
void throw_promfmt_error(napi_env env, const char *message);

// Throws PromfmtError with the library's last error text; read it right
// after the failing call, on the thread that made it.
void throw_library_error(napi_env env);

// Keeps the PromfmtError class for throw_promfmt_error().
void set_error_class(Napi::Env env, Napi::Function error_class);

}  // namespace promfmt_node

#endif
