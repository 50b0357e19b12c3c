// SPDX-License-Identifier: MIT
#include "scrape.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "kinds.h"
#include "text.h"

namespace promfmt_node {

void Rows::clear() {
  arena.clear();
  rows.clear();
}

size_t Rows::keep(const char *text) {
  size_t at = arena.size();
  arena.append(text, std::strlen(text) + 1);
  return at;
}

bool Rows::write(promfmt_buffer_t *buf, std::string &error) const {
  const char *base = arena.data();
  for (const Row &row : rows) {
    const char *name = base + row.name;
    int status = 0;
    switch (row.kind) {
      case Row::kHelp: status = promfmt_emit_help(buf, name, base + row.text); break;
      case Row::kType: status = promfmt_emit_type(buf, name, row.type); break;
      case Row::kSample: status = promfmt_emit_sample(buf, name, base + row.text, row.value, 0);
    }
    if (status != 0) {
      error = promfmt_last_error();
      return false;
    }
  }
  return true;
}

namespace {

// Writes a scrape's rows in a worker thread; resolves with the text.
class RenderWork : public Napi::AsyncWorker {
 public:
  RenderWork(Napi::Env env, Rows &&rows)
      : Napi::AsyncWorker(env, "promfmt.renderAsync"), deferred_(env), rows_(std::move(rows)) {}
  ~RenderWork() override { promfmt_buffer_free(buf_); }
  Napi::Promise Promise() { return deferred_.Promise(); }

 protected:
  void Execute() override {
    std::string error;
    buf_ = promfmt_buffer_create(rows_.arena.size() + rows_.rows.size() * 16);
    if (buf_ == nullptr) error = promfmt_last_error();
    if (buf_ != nullptr && !rows_.write(buf_, error)) promfmt_buffer_reset(buf_);
    if (!error.empty()) SetError(error);
    rows_.clear();
  }
  void OnOK() override {
    deferred_.Resolve(
        Napi::String::New(Env(), promfmt_buffer_data(buf_), promfmt_buffer_len(buf_)));
  }
  void OnError(const Napi::Error &e) override {
    Napi::Env env = Env();
    throw_promfmt_error(env, e.Message().c_str());
    Napi::Error error = env.GetAndClearPendingException();
    deferred_.Reject(error.Value());
  }

 private:
  Napi::Promise::Deferred deferred_;
  Rows rows_;
  promfmt_buffer_t *buf_ = nullptr;
};

napi_value property(napi_env env, napi_value object, const char *name) {
  napi_value value = nullptr;
  if (napi_get_named_property(env, object, name, &value) != napi_ok) return nullptr;
  return value;
}

}  // namespace

Napi::Function Scrape::Define(Napi::Env env) {
  return DefineClass(env, "Scrape",
                     {InstanceMethod<&Scrape::Family>("family"),
                      InstanceMethod<&Scrape::Samples>("samples"),
                      InstanceMethod<&Scrape::Render>("render"),
                      InstanceMethod<&Scrape::RenderAsync>("renderAsync")});
}

Scrape::Scrape(const Napi::CallbackInfo &info) : Napi::ObjectWrap<Scrape>(info) {}

Scrape::~Scrape() { promfmt_buffer_free(buf_); }

// family(name, help, kind): the HELP and TYPE lines of the next family.
Napi::Value Scrape::Family(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  promfmt_metric_type_t kind = PROMFMT_TYPE_UNTYPED;
  if (!read_string(env, info[0], "name", family_) ||
      !read_string(env, info[1], "help", labels_) ||
      !read_string(env, info[2], "type", name_))
    return env.Undefined();
  if (!kind_from_name(name_, kind)) {
    throw_type_error(env, "type", kKindNames);
    return env.Undefined();
  }
  if (std::memchr(labels_.data(), 0, labels_.size()) != nullptr) {
    throw_promfmt_error(env, "help text contains a NUL byte");
    return env.Undefined();
  }
  size_t name = rows_.keep(name_or_empty(family_));
  Row help{Row::kHelp, kind, name, rows_.keep(labels_.c_str()), 0};
  rows_.rows.push_back(help);
  rows_.rows.push_back(Row{Row::kType, kind, name, 0, 0});
  return env.Undefined();
}

bool Scrape::ReadSample(napi_env env, napi_value item, napi_value defaults) {
  napi_value metric_name = property(env, item, "metricName");
  napi_value value = property(env, item, "value");
  napi_value labels = property(env, item, "labels");
  napi_value shared = property(env, item, "sharedLabels");
  if (!metric_name || !value || !labels || !shared) return false;
  napi_valuetype type = napi_undefined;
  napi_typeof(env, metric_name, &type);
  if (type == napi_undefined) {
    name_ = family_;
  } else if (!read_string(env, metric_name, "metricName", name_)) {
    return false;
  }
  double number = 0;
  if (napi_get_value_double(env, value, &number) != napi_ok) {
    throw_type_error(env, "the value of a " + family_ + " sample", "a number");
    return false;
  }
  if (!merged_labels_json(env, labels, shared, defaults, labels_, scratch_)) return false;
  size_t name = rows_.keep(name_or_empty(name_));
  rows_.rows.push_back(Row{Row::kSample, PROMFMT_TYPE_UNTYPED, name, rows_.keep(labels_.c_str()), number});
  return true;
}

// samples(values, start, end, defaultLabels): prom-client's values[start, end)
// of the current family.
Napi::Value Scrape::Samples(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (!info[0].IsArray() || !info[1].IsNumber() || !info[2].IsNumber()) {
    throw_type_error(env, "samples(values, start, end)", "an array and two numbers");
    return env.Undefined();
  }
  Napi::Array values = info[0].As<Napi::Array>();
  uint32_t end = std::min(values.Length(), info[2].As<Napi::Number>().Uint32Value());
  for (uint32_t i = info[1].As<Napi::Number>().Uint32Value(); i < end; ++i) {
    napi_value item;
    if (napi_get_element(env, values, i, &item) != napi_ok || !ReadSample(env, item, info[3]))
      return env.Undefined();
  }
  return env.Undefined();
}

// render(): the text, written here; the rows are cleared, memory kept.
Napi::Value Scrape::Render(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (buf_ == nullptr) buf_ = promfmt_buffer_create(rows_.arena.size());
  std::string error;
  if (buf_ == nullptr) {
    error = promfmt_last_error();
  } else {
    promfmt_buffer_reset(buf_);
    rows_.write(buf_, error);
  }
  rows_.clear();
  if (!error.empty()) {
    throw_promfmt_error(env, error.c_str());
    return env.Undefined();
  }
  return Napi::String::New(env, promfmt_buffer_data(buf_), promfmt_buffer_len(buf_));
}

// renderAsync(): a Promise of the text, written in a worker thread; the
// rows move to the work, and this scrape starts empty.
Napi::Value Scrape::RenderAsync(const Napi::CallbackInfo &info) {
  RenderWork *work = new RenderWork(info.Env(), std::move(rows_));
  rows_ = Rows();
  work->Queue();
  return work->Promise();
}

}  // namespace promfmt_node
