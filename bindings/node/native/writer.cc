// SPDX-License-Identifier: MIT
#include "writer.h"

#include <cstring>

#include "kinds.h"
#include "text.h"

namespace promfmt_node {

Napi::Function Writer::Define(Napi::Env env) {
  return DefineClass(env, "Writer",
                     {InstanceMethod<&Writer::Help>("help"),
                      InstanceMethod<&Writer::Type>("type"),
                      InstanceMethod<&Writer::Sample>("sample"),
                      InstanceMethod<&Writer::Gauge>("gauge"),
                      InstanceMethod<&Writer::Counter>("counter"),
                      InstanceMethod<&Writer::Reset>("reset"),
                      InstanceMethod<&Writer::ToString>("toString"),
                      InstanceMethod<&Writer::ToBuffer>("toBuffer"),
                      InstanceAccessor<&Writer::Length>("length")});
}

Writer::Writer(const Napi::CallbackInfo &info) : Napi::ObjectWrap<Writer>(info) {
  size_t capacity = 0;
  if (info.Length() > 0 && !info[0].IsUndefined()) {
    double wanted = info[0].IsNumber() ? info[0].As<Napi::Number>().DoubleValue() : -1;
    if (!(wanted >= 0 && wanted <= 1u << 30)) {
      throw_type_error(info.Env(), "initialCapacity", "a number from 0 to 2^30");
      return;
    }
    capacity = static_cast<size_t>(wanted);
  }
  buf_ = promfmt_buffer_create(capacity);
  if (buf_ == nullptr) throw_library_error(info.Env());
}

Writer::~Writer() { promfmt_buffer_free(buf_); }

bool Writer::ReadName(const Napi::CallbackInfo &info, size_t index) {
  return read_string(info.Env(), info[index], "name", name_);
}

bool Writer::ReadHelp(const Napi::CallbackInfo &info, size_t index) {
  if (!read_string(info.Env(), info[index], "help", help_)) return false;
  if (std::memchr(help_.data(), 0, help_.size()) == nullptr) return true;
  throw_promfmt_error(info.Env(), "help text contains a NUL byte");
  return false;
}

bool Writer::ReadLabels(const Napi::CallbackInfo &info, size_t index) {
  if (!labels_json(info.Env(), info[index], labels_, scratch_)) return false;
  if (std::memchr(labels_.data(), 0, labels_.size()) == nullptr) return true;
  // The library reads C strings: text after a NUL byte would go unread.
  throw_promfmt_error(info.Env(), "failed to parse labels JSON");
  return false;
}

Napi::Value Writer::Done(const Napi::CallbackInfo &info, int status) {
  if (status != 0) {
    throw_library_error(info.Env());
    return info.Env().Undefined();
  }
  return info.This();
}

Napi::Value Writer::Help(const Napi::CallbackInfo &info) {
  if (!ReadName(info, 0) || !ReadHelp(info, 1)) return info.Env().Undefined();
  return Done(info, promfmt_emit_help(buf_, name_or_empty(name_), help_.c_str()));
}

Napi::Value Writer::Type(const Napi::CallbackInfo &info) {
  promfmt_metric_type_t kind = PROMFMT_TYPE_UNTYPED;
  if (!ReadName(info, 0) || !read_string(info.Env(), info[1], "kind", help_))
    return info.Env().Undefined();
  if (!kind_from_name(help_, kind)) {
    throw_type_error(info.Env(), "kind", kKindNames);
    return info.Env().Undefined();
  }
  return Done(info, promfmt_emit_type(buf_, name_or_empty(name_), kind));
}

Napi::Value Writer::Sample(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (!ReadName(info, 0) || !ReadLabels(info, 1)) return env.Undefined();
  if (!info[2].IsNumber()) {
    throw_type_error(env, "value", "a number");
    return env.Undefined();
  }
  int64_t timestamp = 0;
  if (!info[3].IsUndefined()) {
    if (!info[3].IsNumber()) {
      throw_type_error(env, "timestamp", "a number (milliseconds) or undefined");
      return env.Undefined();
    }
    timestamp = info[3].As<Napi::Number>().Int64Value();
  }
  return Done(info, promfmt_emit_sample(buf_, name_or_empty(name_), labels_.c_str(),
                                        info[2].As<Napi::Number>().DoubleValue(), timestamp));
}

Napi::Value Writer::Family(const Napi::CallbackInfo &info, promfmt_metric_type_t type) {
  Napi::Env env = info.Env();
  if (!ReadName(info, 0) || !ReadHelp(info, 1) || !ReadLabels(info, 2)) return env.Undefined();
  if (!info[3].IsNumber()) {
    throw_type_error(env, "value", "a number");
    return env.Undefined();
  }
  double value = info[3].As<Napi::Number>().DoubleValue();
  const char *name = name_or_empty(name_);
  int status = type == PROMFMT_TYPE_GAUGE
                   ? promfmt_emit_gauge(buf_, name, help_.c_str(), labels_.c_str(), value)
                   : promfmt_emit_counter(buf_, name, help_.c_str(), labels_.c_str(), value);
  return Done(info, status);
}

Napi::Value Writer::Gauge(const Napi::CallbackInfo &info) {
  return Family(info, PROMFMT_TYPE_GAUGE);
}

Napi::Value Writer::Counter(const Napi::CallbackInfo &info) {
  return Family(info, PROMFMT_TYPE_COUNTER);
}

Napi::Value Writer::Reset(const Napi::CallbackInfo &info) {
  promfmt_buffer_reset(buf_);
  return info.This();
}

Napi::Value Writer::ToString(const Napi::CallbackInfo &info) {
  return text_of(info.Env(), buf_);
}

Napi::Value Writer::ToBuffer(const Napi::CallbackInfo &info) {
  return Napi::Buffer<char>::Copy(info.Env(), promfmt_buffer_data(buf_),
                                  promfmt_buffer_len(buf_));
}

Napi::Value Writer::Length(const Napi::CallbackInfo &info) {
  return Napi::Number::New(info.Env(), static_cast<double>(promfmt_buffer_len(buf_)));
}

}  // namespace promfmt_node
