// SPDX-License-Identifier: MIT
// Strings between JavaScript and the library: UTF-8 copies into reused
// memory, JSON string literals, and the errors the addon throws.
#ifndef PROMFMT_NODE_TEXT_H
#define PROMFMT_NODE_TEXT_H

#include <napi.h>
#include <string>

#include "promfmt.h"

namespace promfmt_node {

// A string's UTF-8, NUL-terminated, in memory kept from one string to the
// next. The memory is always in use to its end, so that copying a string
// into it never first fills it with zeros.
class Utf8 {
 public:
  const char *c_str() const { return size_ == 0 ? "" : bytes_.data(); }
  size_t size() const { return size_; }
  bool has_nul() const;
  bool operator==(const char *text) const;

  // Copies value's UTF-8 here. napi_string_expected when it is no string.
  // ascii: the caller knows the string is ASCII, copied as Latin-1 bytes
  // (the same bytes, about 3 times faster).
  napi_status Read(napi_env env, napi_value value, bool ascii = false);

 private:
  char *Room(size_t wanted);

  std::string bytes_;
  size_t size_ = 0;
};

// Copies a JavaScript string's UTF-8 into out. false, with a TypeError
// pending naming `what`, when value is no string.
bool read_string(napi_env env, napi_value value, const char *what, Utf8 &out);

// Copies the text of a label value: a string as is, a number or boolean as
// String() writes it. false, with a TypeError pending, for anything else.
bool read_label_value(napi_env env, napi_value value, const Utf8 &label, Utf8 &out);

// Appends text as a JSON string literal (quotes included).
void append_json_string(std::string &out, const Utf8 &text);

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
