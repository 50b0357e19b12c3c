// SPDX-License-Identifier: MIT
#include "labels.h"

#include "text.h"

namespace promfmt_node {

namespace {

napi_valuetype type_of(napi_env env, napi_value value) {
  napi_valuetype type = napi_undefined;
  napi_typeof(env, value, &type);
  return type;
}

bool is_array(napi_env env, napi_value value) {
  bool result = false;
  napi_is_array(env, value, &result);
  return result;
}

void append_member(std::string &out, const LabelScratch &scratch) {
  if (out.size() > 1) out += ',';
  append_json_string(out, scratch.name);
  out += ':';
  append_json_string(out, scratch.value);
}

// Appends the own enumerable string-keyed members of object.
bool append_object(napi_env env, napi_value object, std::string &out, LabelScratch &scratch) {
  napi_value keys;
  if (napi_get_all_property_names(env, object, napi_key_own_only,
                                  static_cast<napi_key_filter>(napi_key_enumerable |
                                                               napi_key_skip_symbols),
                                  napi_key_numbers_to_strings, &keys) != napi_ok)
    return false;
  uint32_t count = 0;
  napi_get_array_length(env, keys, &count);
  for (uint32_t i = 0; i < count; ++i) {
    napi_value key, value;
    if (napi_get_element(env, keys, i, &key) != napi_ok) return false;
    if (napi_get_property(env, object, key, &value) != napi_ok) return false;
    if (!read_string(env, key, "a label name", scratch.name) ||
        !read_label_value(env, value, scratch.name, scratch.value))
      return false;
    append_member(out, scratch);
  }
  return true;
}

std::string pair_place(uint32_t i, const char *part) {
  return "labels[" + std::to_string(i) + "]" + part;
}

bool append_pairs(napi_env env, napi_value pairs, std::string &out, LabelScratch &scratch) {
  uint32_t count = 0;
  napi_get_array_length(env, pairs, &count);
  for (uint32_t i = 0; i < count; ++i) {
    napi_value pair, name, value;
    uint32_t len = 0;
    if (napi_get_element(env, pairs, i, &pair) != napi_ok) return false;
    if (!is_array(env, pair) || napi_get_array_length(env, pair, &len) != napi_ok || len != 2) {
      throw_type_error(env, pair_place(i, ""), "a [name, value] pair");
      return false;
    }
    if (napi_get_element(env, pair, 0, &name) != napi_ok ||
        napi_get_element(env, pair, 1, &value) != napi_ok)
      return false;
    if (type_of(env, name) != napi_string) {
      throw_type_error(env, pair_place(i, "[0]"), "a string");
      return false;
    }
    if (!read_string(env, name, "a label name", scratch.name) ||
        !read_label_value(env, value, scratch.name, scratch.value))
      return false;
    append_member(out, scratch);
  }
  return true;
}

// The text of labels given as a string, the common case: read first.
const char *json_text(napi_env env, const Utf8 &text) {
  if (!text.has_nul()) return text.c_str();
  // The library reads C strings: text after a NUL byte would go unread.
  throw_promfmt_error(env, "failed to parse labels JSON");
  return nullptr;
}

}  // namespace

const char *labels_json(napi_env env, napi_value labels, LabelScratch &scratch, bool ascii) {
  napi_status status = scratch.text.Read(env, labels, ascii);
  if (status == napi_ok) return json_text(env, scratch.text);
  if (status != napi_string_expected) return nullptr;
  napi_valuetype type = type_of(env, labels);
  if (type == napi_undefined || type == napi_null) return "";
  if (type != napi_object) {
    throw_type_error(env, "labels", "an object, an array of [name, value] pairs, "
                                    "a JSON string, null or undefined");
    return nullptr;
  }
  std::string &out = scratch.json;
  out.assign(1, '{');
  bool ok = is_array(env, labels) ? append_pairs(env, labels, out, scratch)
                                  : append_object(env, labels, out, scratch);
  out += '}';
  return ok ? out.c_str() : nullptr;
}

}  // namespace promfmt_node
