// SPDX-License-Identifier: MIT
#include "scrape.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

#include "handles.h"
#include "kinds.h"
#include "text.h"

namespace promfmt_node {

void Rows::clear() {
  arena.clear();
  rows.clear();
  family = 0;
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

struct Scrape {
  Scrape() = default;
  ~Scrape() { promfmt_buffer_free(buf); }
  Scrape(const Scrape &) = delete;
  Scrape &operator=(const Scrape &) = delete;

  Rows rows;
  promfmt_buffer_t *buf = nullptr;
  Utf8 family;
  Utf8 kind;
  Utf8 help;
  Utf8 text;
};

using Scrapes = Handles<Scrape>;

Scrape *find(const Napi::CallbackInfo &info) {
  return static_cast<Scrapes *>(info.Data())->Find(info.Env(), info[0]);
}

Napi::Value New(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  int32_t id = static_cast<Scrapes *>(info.Data())->Adopt(env, info[0], std::make_unique<Scrape>());
  return id < 0 ? env.Undefined() : Napi::Number::New(env, id);
}

// scrapeFamily(id, name, help, kind): the HELP and TYPE lines of the next family.
Napi::Value Family(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  Scrape *scrape = find(info);
  promfmt_metric_type_t kind = PROMFMT_TYPE_UNTYPED;
  if (!scrape || !read_string(env, info[1], "name", scrape->family) ||
      !read_string(env, info[2], "help", scrape->help) ||
      !read_string(env, info[3], "type", scrape->kind))
    return env.Undefined();
  if (!kind_from_name(scrape->kind, kind)) {
    throw_type_error(env, "type", kKindNames);
    return env.Undefined();
  }
  if (scrape->help.has_nul()) {
    throw_promfmt_error(env, "help text contains a NUL byte");
    return env.Undefined();
  }
  Rows &rows = scrape->rows;
  size_t name = rows.keep(name_or_empty(scrape->family));
  rows.family = name;
  rows.rows.push_back(Row{Row::kHelp, kind, name, rows.keep(scrape->help.c_str()), 0});
  rows.rows.push_back(Row{Row::kType, kind, name, 0, 0});
  return env.Undefined();
}

// scrapeSamples(id, text, values, count, ascii, named): the next count
// samples of the current family. text holds, for each, its labels JSON,
// preceded when named by its name (empty for the family's), each ended by
// a line feed; values holds their values; ascii: text is known to be
// ASCII. The text goes into the arena as it is, each line feed turned into
// the NUL that ends a row's string.
Napi::Value Samples(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  Scrape *scrape = find(info);
  if (!scrape) return env.Undefined();
  if (!info[2].IsTypedArray() ||
      info[2].As<Napi::TypedArray>().TypedArrayType() != napi_float64_array) {
    throw_type_error(env, "values", "a Float64Array");
    return env.Undefined();
  }
  Napi::Float64Array values = info[2].As<Napi::Float64Array>();
  uint32_t count = 0;
  if (napi_get_value_uint32(env, info[3], &count) != napi_ok || count > values.ElementLength()) {
    throw_type_error(env, "count", "a number of values");
    return env.Undefined();
  }
  bool ascii = false, named = false;
  napi_get_value_bool(env, info[4], &ascii);  // false unless a boolean
  napi_get_value_bool(env, info[5], &named);
  if (scrape->text.Read(env, info[1], ascii) != napi_ok) {
    if (!env.IsExceptionPending()) throw_type_error(env, "text", "a string");
    return env.Undefined();
  }
  const char *text = scrape->text.c_str();
  size_t size = scrape->text.size();
  size_t lines = static_cast<size_t>(std::count(text, text + size, '\n'));
  // JSON text has no raw line feed or NUL: only a metric name with one in
  // it can split a sample or cut its name.
  if (lines != (named ? 2 : 1) * size_t{count} || (size != 0 && text[size - 1] != '\n') ||
      scrape->text.has_nul()) {
    throw_promfmt_error(env, "invalid metric name");
    return env.Undefined();
  }
  Rows &rows = scrape->rows;
  size_t at = rows.arena.size();
  rows.arena.append(text, size);
  for (size_t i = 0; i < count; ++i) {
    size_t name = rows.family;
    if (named) {
      if (rows.arena[at] != '\n') name = at;
      at = rows.arena.find('\n', at);
      rows.arena[at++] = '\0';
    }
    size_t labels = at;
    at = rows.arena.find('\n', at);
    rows.arena[at++] = '\0';
    rows.rows.push_back(Row{Row::kSample, PROMFMT_TYPE_UNTYPED, name, labels, values[i]});
  }
  return env.Undefined();
}

// scrapeRender(id): the text, written here; the rows are cleared, memory kept.
Napi::Value Render(const Napi::CallbackInfo &info) {
  Napi::Env env = info.Env();
  Scrape *scrape = find(info);
  if (!scrape) return env.Undefined();
  if (scrape->buf == nullptr) scrape->buf = promfmt_buffer_create(scrape->rows.arena.size());
  std::string error;
  if (scrape->buf == nullptr) {
    error = promfmt_last_error();
  } else {
    promfmt_buffer_reset(scrape->buf);
    scrape->rows.write(scrape->buf, error);
  }
  scrape->rows.clear();
  if (!error.empty()) {
    throw_promfmt_error(env, error.c_str());
    return env.Undefined();
  }
  return text_of(env, scrape->buf);
}

// scrapeRenderAsync(id): a Promise of the text, written in a worker thread;
// the rows move to the work, and the scrape starts empty.
Napi::Value RenderAsync(const Napi::CallbackInfo &info) {
  Scrape *scrape = find(info);
  if (!scrape) return info.Env().Undefined();
  RenderWork *work = new RenderWork(info.Env(), std::move(scrape->rows));
  scrape->rows = Rows();
  work->Queue();
  return work->Promise();
}

}  // namespace

void define_scrape(Napi::Env env, Napi::Object exports) {
  Scrapes *scrapes = Scrapes::Create(env);
  exports.Set("scrapeNew", Napi::Function::New<New>(env, "scrapeNew", scrapes));
  exports.Set("scrapeFamily", Napi::Function::New<Family>(env, "scrapeFamily", scrapes));
  exports.Set("scrapeSamples", Napi::Function::New<Samples>(env, "scrapeSamples", scrapes));
  exports.Set("scrapeRender", Napi::Function::New<Render>(env, "scrapeRender", scrapes));
  exports.Set("scrapeRenderAsync",
              Napi::Function::New<RenderAsync>(env, "scrapeRenderAsync", scrapes));
}

}  // namespace promfmt_node
