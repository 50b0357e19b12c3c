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
        text_of(Env(), buf_));
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
      !read_string(env, info[1], "help", help_) ||
      !read_string(env, info[2], "type", kind_))
    return env.Undefined();
  if (!kind_from_name(kind_, kind)) {
    throw_type_error(env, "type", kKindNames);
    return env.Undefined();
  }
  if (std::memchr(help_.data(), 0, help_.size()) != nullptr) {
    throw_promfmt_error(env, "help text contains a NUL byte");
    return env.Undefined();
  }
  size_t name = rows_.keep(name_or_empty(family_));
  Row help{Row::kHelp, kind, name, rows_.keep(help_.c_str()), 0};
  rows_.rows.push_back(help);
  rows_.rows.push_back(Row{Row::kType, kind, name, 0, 0});
  return env.Undefined();
}

// samples(text, values): the next values.length samples of the current
// family. text holds, for each, its name and its labels JSON, each ended by
// a line feed; values holds their values. The text goes into the arena as
// it is, each line feed turned into the NUL that ends a row's string.
Napi::Value Scrape::Samples(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  if (!info[1].IsTypedArray() ||
      info[1].As<Napi::TypedArray>().TypedArrayType() != napi_float64_array) {
    throw_type_error(env, "values", "a Float64Array");
    return env.Undefined();
  }
  if (!read_string(env, info[0], "text", text_)) return env.Undefined();
  Napi::Float64Array values = info[1].As<Napi::Float64Array>();
  size_t count = values.ElementLength();
  size_t lines = static_cast<size_t>(std::count(text_.begin(), text_.end(), '\n'));
  // JSON text has no raw line feed or NUL: only a metric name with one in
  // it can split a sample or cut its name.
  if (lines != 2 * count || (!text_.empty() && text_.back() != '\n') ||
      std::memchr(text_.data(), 0, text_.size()) != nullptr) {
    throw_promfmt_error(env, "invalid metric name");
    return env.Undefined();
  }
  size_t at = rows_.arena.size();
  rows_.arena.append(text_);
  for (size_t i = 0; i < count; ++i) {
    size_t name = at;
    at = rows_.arena.find('\n', at);
    rows_.arena[at++] = '\0';
    size_t labels = at;
    at = rows_.arena.find('\n', at);
    rows_.arena[at++] = '\0';
    rows_.rows.push_back(Row{Row::kSample, PROMFMT_TYPE_UNTYPED, name, labels, values[i]});
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
  return text_of(env, buf_);
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
