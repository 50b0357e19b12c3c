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
  size_t family = 0;  // the current family's name in the arena

  void clear();
  size_t keep(const char *text);
  // Writes every row into buf; false with the library's message in error.
  bool write(promfmt_buffer_t *buf, std::string &error) const;
};

// Adds the scrape functions to exports: scrapeNew(owner) gives the number
// of a scrape that lives as long as owner; scrapeFamily(id, name, help,
// type), scrapeSamples(id, text, values, count, ascii, named),
// scrapeRender(id) and scrapeRenderAsync(id) take it first.
void define_scrape(Napi::Env env, Napi::Object exports);

}  // namespace promfmt_node

#endif
