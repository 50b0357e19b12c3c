// SPDX-License-Identifier: MIT
#include "writer.h"

#include <memory>

#include "handles.h"
#include "kinds.h"
#include "labels.h"
#include "promfmt.h"
#include "text.h"

namespace promfmt_node {

namespace {

struct Writer {
  explicit Writer(promfmt_buffer_t *buf) : buf(buf) {}
  ~Writer() { promfmt_buffer_free(buf); }
  Writer(const Writer &) = delete;
  Writer &operator=(const Writer &) = delete;

  promfmt_buffer_t *buf;
  bool reading_labels = false;  // a labels getter that calls the writer is refused
  Utf8 name;
  Utf8 help;
  LabelScratch labels;
};

using Writers = Handles<Writer>;

// One call's arguments, the writer first.
struct Call {
  explicit Call(const Napi::CallbackInfo &info)
      : info(info), env(info.Env()),
        writer(static_cast<Writers *>(info.Data())->Find(env, info[0])) {
    if (writer != nullptr && writer->reading_labels) {
      napi_throw_error(env, nullptr, "the writer is in use: a labels getter called it");
      writer = nullptr;
    }
  }

  // The metric name of argument i: null keeps the writer's last name.
  bool Name(size_t i) {
    return info[i].IsNull() || read_string(env, info[i], "name", writer->name);
  }
  const char *NameText() const { return name_or_empty(writer->name); }

  bool Help(size_t i) {
    if (!read_string(env, info[i], "help", writer->help)) return false;
    if (!writer->help.has_nul()) return true;
    throw_promfmt_error(env, "help text contains a NUL byte");
    return false;
  }

  // The labels JSON text of argument i, or nullptr with an exception pending.
  const char *Labels(size_t i, bool ascii = false) {
    writer->reading_labels = true;
    const char *text = labels_json(env, info[i], writer->labels, ascii);
    writer->reading_labels = false;
    return text;
  }

  bool Number(size_t i, const char *what, double &out) {
    if (napi_get_value_double(env, info[i], &out) == napi_ok) return true;
    throw_type_error(env, what, "a number");
    return false;
  }

  // The library's refusal, or undefined.
  Napi::Value Done(int status) {
    if (status != 0) throw_library_error(env);
    return env.Undefined();
  }

  const Napi::CallbackInfo &info;
  Napi::Env env;
  Writer *writer;
};

Napi::Value New(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  size_t capacity = 0;
  if (!info[1].IsUndefined()) {
    double wanted = info[1].IsNumber() ? info[1].As<Napi::Number>().DoubleValue() : -1;
    if (!(wanted >= 0 && wanted <= 1u << 30)) {
      throw_type_error(env, "initialCapacity", "a number from 0 to 2^30");
      return env.Undefined();
    }
    capacity = static_cast<size_t>(wanted);
  }
  promfmt_buffer_t *buf = promfmt_buffer_create(capacity);
  if (buf == nullptr) {
    throw_library_error(env);
    return env.Undefined();
  }
  auto writer = std::make_unique<Writer>(buf);
  int32_t id = static_cast<Writers *>(info.Data())->Adopt(env, info[0], std::move(writer));
  return id < 0 ? env.Undefined() : Napi::Number::New(env, id);
}

// writerHelp(id, name, text)
Napi::Value Help(const Napi::CallbackInfo &info) {
  Call call(info);
  if (!call.writer || !call.Name(1) || !call.Help(2)) return call.env.Undefined();
  return call.Done(promfmt_emit_help(call.writer->buf, call.NameText(), call.writer->help.c_str()));
}

// writerType(id, name, kind)
Napi::Value Type(const Napi::CallbackInfo &info) {
  Call call(info);
  promfmt_metric_type_t kind = PROMFMT_TYPE_UNTYPED;
  if (!call.writer || !call.Name(1) || !read_string(call.env, info[2], "kind", call.writer->help))
    return call.env.Undefined();
  if (!kind_from_name(call.writer->help, kind)) {
    throw_type_error(call.env, "kind", kKindNames);
    return call.env.Undefined();
  }
  return call.Done(promfmt_emit_type(call.writer->buf, call.NameText(), kind));
}

// writerSample(id, name, labels, value, timestamp, ascii): ascii true when
// labels is a string known to be ASCII.
Napi::Value Sample(const Napi::CallbackInfo &info) {
  Call call(info);
  double value = 0;
  bool ascii = false;
  const char *labels = nullptr;
  napi_get_value_bool(call.env, info[5], &ascii);  // false unless a boolean
  if (!call.writer || !call.Name(1) ||
      !(labels = call.Labels(2, ascii)) ||
      !call.Number(3, "value", value))
    return call.env.Undefined();
  int64_t timestamp = 0;
  if (napi_get_value_int64(call.env, info[4], &timestamp) != napi_ok && !info[4].IsUndefined()) {
    throw_type_error(call.env, "timestamp", "a number (milliseconds) or undefined");
    return call.env.Undefined();
  }
  return call.Done(
      promfmt_emit_sample(call.writer->buf, call.NameText(), labels, value, timestamp));
}

// writerGauge(id, name, help, labels, value) and writerCounter: HELP, TYPE
// and one sample.
template <promfmt_metric_type_t kKind>
Napi::Value Family(const Napi::CallbackInfo &info) {
  Call call(info);
  double value = 0;
  const char *labels = nullptr;
  if (!call.writer || !call.Name(1) || !call.Help(2) ||
      !(labels = call.Labels(3)) ||
      !call.Number(4, "value", value))
    return call.env.Undefined();
  Writer &w = *call.writer;
  return call.Done(kKind == PROMFMT_TYPE_GAUGE
                       ? promfmt_emit_gauge(w.buf, call.NameText(), w.help.c_str(), labels, value)
                       : promfmt_emit_counter(w.buf, call.NameText(), w.help.c_str(), labels,
                                              value));
}

Napi::Value Reset(const Napi::CallbackInfo &info) {
  Call call(info);
  if (call.writer) promfmt_buffer_reset(call.writer->buf);
  return call.env.Undefined();
}

Napi::Value Text(const Napi::CallbackInfo &info) {
  Call call(info);
  return call.writer ? text_of(call.env, call.writer->buf) : call.env.Undefined();
}

Napi::Value Bytes(const Napi::CallbackInfo &info) {
  Call call(info);
  if (!call.writer) return call.env.Undefined();
  return Napi::Buffer<char>::Copy(call.env, promfmt_buffer_data(call.writer->buf),
                                  promfmt_buffer_len(call.writer->buf));
}

Napi::Value Length(const Napi::CallbackInfo &info) {
  Call call(info);
  if (!call.writer) return call.env.Undefined();
  return Napi::Number::New(call.env, static_cast<double>(promfmt_buffer_len(call.writer->buf)));
}

}  // namespace

void define_writer(Napi::Env env, Napi::Object exports) {
  Writers *writers = Writers::Create(env);
  exports.Set("writerNew", Napi::Function::New<New>(env, "writerNew", writers));
  exports.Set("writerHelp", Napi::Function::New<Help>(env, "writerHelp", writers));
  exports.Set("writerType", Napi::Function::New<Type>(env, "writerType", writers));
  exports.Set("writerSample", Napi::Function::New<Sample>(env, "writerSample", writers));
  exports.Set("writerGauge",
              Napi::Function::New<Family<PROMFMT_TYPE_GAUGE>>(env, "writerGauge", writers));
  exports.Set("writerCounter",
              Napi::Function::New<Family<PROMFMT_TYPE_COUNTER>>(env, "writerCounter", writers));
  exports.Set("writerReset", Napi::Function::New<Reset>(env, "writerReset", writers));
  exports.Set("writerText", Napi::Function::New<Text>(env, "writerText", writers));
  exports.Set("writerBytes", Napi::Function::New<Bytes>(env, "writerBytes", writers));
  exports.Set("writerLength", Napi::Function::New<Length>(env, "writerLength", writers));
}

}  // namespace promfmt_node
