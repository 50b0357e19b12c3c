// SPDX-License-Identifier: MIT
// Scrape: a registry's families and values read on the main thread into
// native rows, then written by the library there (render) or in a worker
// thread through Node-API async work (renderAsync).
#ifndef PROMFMT_NODE_SCRAPE_H
#define PROMFMT_NODE_SCRAPE_H

#include <napi.h>
#include <string>
#include <vector>

#include "promfmt.h"

namespace promfmt_node {

// One line to write; name and text are offsets of NUL-terminated strings
// in Rows::arena (text: the help text or the labels JSON).
struct Row {
  enum Kind : unsigned char { kHelp, kType, kSample } kind;
  promfmt_metric_type_t type;
  size_t name;
  size_t text;
  double value;
};

struct Rows {
  std::string arena;
  std::vector<Row> rows;

  void clear();
  size_t keep(const char *text);
  // Writes every row into buf; false with the library's message in error.
  bool write(promfmt_buffer_t *buf, std::string &error) const;
};

class Scrape : public Napi::ObjectWrap<Scrape> {
 public:
  static Napi::Function Define(Napi::Env env);
  explicit Scrape(const Napi::CallbackInfo &info);
  ~Scrape() override;

 private:
  Napi::Value Family(const Napi::CallbackInfo &info);
  Napi::Value Samples(const Napi::CallbackInfo &info);
  Napi::Value Render(const Napi::CallbackInfo &info);
  Napi::Value RenderAsync(const Napi::CallbackInfo &info);

  Rows rows_;
  promfmt_buffer_t *buf_ = nullptr;
  std::string family_;
  std::string kind_;
  std::string help_;
  std::string text_;
};

}  // namespace promfmt_node

#endif
