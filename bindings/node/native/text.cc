// SPDX-License-Identifier: MIT
#include "text.h"

#include <cstdio>
#include <cstring>

#include "promfmt.h"

namespace promfmt_node {

namespace {

struct AddonData {
  Napi::FunctionReference error_class;
};

napi_valuetype type_of(napi_env env, napi_value value) {
  napi_valuetype type = napi_undefined;
  napi_typeof(env, value, &type);
  return type;
}

// The most UTF-8 bytes of one character: a copy that stops short of its
// room by at least this many left no character out.
constexpr size_t kLongestCharacter = 4;

// The library would cut a label value at a NUL: it is refused instead.
bool no_nul(napi_env env, const Utf8 &label, const Utf8 &value) {
  if (!value.has_nul()) return true;
  std::string message = std::string("label '") + label.c_str() + "': value contains a NUL character";
  throw_promfmt_error(env, message.c_str());
  return false;
}

}  // namespace

bool Utf8::has_nul() const { return std::memchr(c_str(), 0, size_) != nullptr; }

bool Utf8::operator==(const char *text) const {
  return std::strlen(text) == size_ && std::memcmp(c_str(), text, size_) == 0;
}

// At least wanted bytes, and one more for the NUL; grown memory is used to
// its capacity.
char *Utf8::Room(size_t wanted) {
  if (bytes_.size() < wanted) {
    bytes_.resize(wanted);
    bytes_.resize(bytes_.capacity());
  }
  return &bytes_[0];
}

// V8 copies a string's UTF-8 at about twice the speed when the memory has
// room for 3 bytes per character, the most a UTF-16 unit takes: memory is
// kept that large for strings of up to kFastCopyLength characters.
constexpr size_t kFastCopyLength = 16384;

napi_status Utf8::Read(napi_env env, napi_value value, bool ascii) {
  auto copy = ascii ? napi_get_value_string_latin1 : napi_get_value_string_utf8;
  // One call when the text fits the memory there is; a second, after
  // asking for the length, when it may not have. A copy that does not fit
  // stops before the first character that does not, up to 4 bytes short.
  size_t room = bytes_.size() < 255 ? 255 : bytes_.size(), copied = 0;
  // A std::string keeps room for its terminator: size() + 1 bytes are writable.
  napi_status status = copy(env, value, Room(room), room + 1, &copied);
  if (status != napi_ok) return status;
  if (copied + kLongestCharacter > room) {
    size_t len = 0;
    status = copy(env, value, nullptr, 0, &len);
    if (status == napi_ok) status = copy(env, value, Room(len), len + 1, &copied);
    if (status != napi_ok) return status;
  }
  size_ = copied;
  if (copied <= kFastCopyLength && bytes_.size() < 3 * copied) Room(3 * copied);
  return napi_ok;
}

bool read_string(napi_env env, napi_value value, const char *what, Utf8 &out) {
  napi_status status = out.Read(env, value);
  if (status == napi_string_expected) throw_type_error(env, what, "a string");
  return status == napi_ok;
}

bool read_label_value(napi_env env, napi_value value, const Utf8 &label, Utf8 &out) {
  napi_valuetype type = type_of(env, value);
  if (type == napi_string) return out.Read(env, value) == napi_ok && no_nul(env, label, out);
  if (type == napi_number || type == napi_boolean) {
    napi_value text;
    return napi_coerce_to_string(env, value, &text) == napi_ok && out.Read(env, text) == napi_ok;
  }
  throw_type_error(env, std::string("the value of label \"") + label.c_str() + "\"",
                   "a string, number or boolean");
  return false;
}

void append_json_string(std::string &out, const Utf8 &utf8) {
  static const char hex[] = "0123456789abcdef";
  const char *text = utf8.c_str();
  out += '"';
  size_t plain = 0;  // start of the bytes not yet copied
  for (size_t i = 0; i < utf8.size(); ++i) {
    unsigned char u = static_cast<unsigned char>(text[i]);
    if (u >= 0x20 && u != '"' && u != '\\') continue;
    out.append(text, plain, i - plain);
    plain = i + 1;
    if (u >= 0x20) {
      out += '\\';
      out += static_cast<char>(u);
    } else {
      char esc[6] = {'\\', 'u', '0', '0', hex[u >> 4], hex[u & 15]};
      out.append(esc, sizeof esc);
    }
  }
  out.append(text + plain, utf8.size() - plain);
  out += '"';
}

Napi::Value text_of(Napi::Env env, const promfmt_buffer_t *buf) {
  const char *data = promfmt_buffer_data(buf);
  size_t len = promfmt_buffer_len(buf);
  unsigned char high = 0;
  for (size_t i = 0; i < len; ++i) high |= static_cast<unsigned char>(data[i]);
  napi_value text = nullptr;
  if (high < 0x80)
    napi_create_string_latin1(env, data, len, &text);
  else
    napi_create_string_utf8(env, data, len, &text);
  return Napi::Value(env, text);
}

void throw_type_error(napi_env env, const std::string &what, const char *expected) {
  std::string message = what + " must be " + expected;
  napi_throw_type_error(env, "ERR_INVALID_ARG_TYPE", message.c_str());
}

void throw_promfmt_error(napi_env env, const char *message) {
  Napi::Env e(env);
  AddonData *data = e.GetInstanceData<AddonData>();
  if (data == nullptr || data->error_class.IsEmpty()) {
    napi_throw_error(env, nullptr, message);
    return;
  }
  Napi::Object error = data->error_class.New({Napi::String::New(e, message)});
  if (!e.IsExceptionPending()) napi_throw(env, error);
}

void throw_library_error(napi_env env) { throw_promfmt_error(env, promfmt_last_error()); }

void set_error_class(Napi::Env env, Napi::Function error_class) {
  AddonData *data = env.GetInstanceData<AddonData>();
  if (data == nullptr) {
    data = new AddonData();
    env.SetInstanceData(data);
  }
  data->error_class = Napi::Persistent(error_class);
}

}  // namespace promfmt_node
