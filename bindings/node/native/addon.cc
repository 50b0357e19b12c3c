// SPDX-License-Identifier: MIT
// The addon's entry: the writer and scrape functions (lib/writer.js and
// lib/bridge.js make the classes), and setErrorClass(), through which
// lib/errors.js hands over PromfmtError.
#include <napi.h>

#include "scrape.h"
#include "text.h"
#include "writer.h"

namespace {

Napi::Value SetErrorClass(const Napi::CallbackInfo &info) {
  if (!info[0].IsFunction()) {
    promfmt_node::throw_type_error(info.Env(), "errorClass", "a function");
    return info.Env().Undefined();
  }
  promfmt_node::set_error_class(info.Env(), info[0].As<Napi::Function>());
  return info.Env().Undefined();
}

Napi::Object Init(Napi::Env env, Napi::Object exports) {
  promfmt_node::define_writer(env, exports);
  promfmt_node::define_scrape(env, exports);
  exports.Set("setErrorClass", Napi::Function::New(env, SetErrorClass, "setErrorClass"));
  return exports;
}

}  // namespace

NODE_API_MODULE(promfmt, Init)
