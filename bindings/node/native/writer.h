// SPDX-License-Identifier: MIT
// Writer: one library buffer, written sample by sample from JavaScript.
#ifndef PROMFMT_NODE_WRITER_H
#define PROMFMT_NODE_WRITER_H

#include <napi.h>
#include <string>

#include "labels.h"
#include "promfmt.h"

namespace promfmt_node {

class Writer : public Napi::ObjectWrap<Writer> {
 public:
  static Napi::Function Define(Napi::Env env);
  explicit Writer(const Napi::CallbackInfo &info);
  ~Writer() override;

 private:
  Napi::Value Help(const Napi::CallbackInfo &info);
  Napi::Value Type(const Napi::CallbackInfo &info);
  Napi::Value Sample(const Napi::CallbackInfo &info);
  Napi::Value Gauge(const Napi::CallbackInfo &info);
  Napi::Value Counter(const Napi::CallbackInfo &info);
  Napi::Value Family(const Napi::CallbackInfo &info, promfmt_metric_type_t type);
  Napi::Value Reset(const Napi::CallbackInfo &info);
  Napi::Value ToString(const Napi::CallbackInfo &info);
  Napi::Value ToBuffer(const Napi::CallbackInfo &info);
  Napi::Value Length(const Napi::CallbackInfo &info);

  bool ReadName(const Napi::CallbackInfo &info, size_t index);
  bool ReadHelp(const Napi::CallbackInfo &info, size_t index);
  bool ReadLabels(const Napi::CallbackInfo &info, size_t index);
  Napi::Value Done(const Napi::CallbackInfo &info, int status);

  promfmt_buffer_t *buf_ = nullptr;
  std::string name_;
  std::string help_;
  std::string labels_;
  LabelScratch scratch_;
};

}  // namespace promfmt_node

#endif
