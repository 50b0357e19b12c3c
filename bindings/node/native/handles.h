// SPDX-License-Identifier: MIT
// Native objects owned by JavaScript objects and found again by number.
// JavaScript keeps the number and hands it back on each call: looking it up
// here costs a few nanoseconds, where napi_unwrap() costs more than the
// library's whole work on a sample line. A number that names nothing (never
// given out, or whose owner was collected) is refused with a TypeError.
#ifndef PROMFMT_NODE_HANDLES_H
#define PROMFMT_NODE_HANDLES_H

#include <napi.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace promfmt_node {

template <class T>
class Handles {
 public:
  // A table for env. It is shared by env's cleanup and by each owner's
  // finalizer, and goes with the last of them, whichever order the
  // environment's teardown runs them in.
  static Handles *Create(napi_env env) {
    Handles *table = new Handles();
    napi_add_env_cleanup_hook(env, [](void *self) { static_cast<Handles *>(self)->Release(); },
                              table);
    return table;
  }

  // Gives item to owner: it is freed when owner is collected. The number
  // to hand back, or -1 with an exception pending.
  int32_t Adopt(napi_env env, napi_value owner, std::unique_ptr<T> item) {
    if (items_.size() >= INT32_MAX && free_.empty()) {
      napi_throw_range_error(env, nullptr, "too many live objects");
      return -1;
    }
    uint32_t id = static_cast<uint32_t>(items_.size());
    if (!free_.empty()) {
      id = free_.back();
      free_.pop_back();
      items_[id] = std::move(item);
    } else {
      items_.push_back(std::move(item));
    }
    void *data = reinterpret_cast<void *>(static_cast<uintptr_t>(id));
    if (napi_add_finalizer(env, owner, data, Finalize, this, nullptr) != napi_ok) {
      Drop(id);
      return -1;
    }
    ++users_;
    return static_cast<int32_t>(id);
  }

  // The item numbered by id, or nullptr with a TypeError pending.
  T *Find(napi_env env, napi_value id) {
    uint32_t at = 0;
    if (napi_get_value_uint32(env, id, &at) == napi_ok && at < items_.size() && items_[at])
      return items_[at].get();
    napi_throw_type_error(env, "ERR_INVALID_ARG_TYPE", "the object is no live promfmt object");
    return nullptr;
  }

 private:
  Handles() = default;

  void Release() {
    if (--users_ == 0) delete this;
  }

  void Drop(uint32_t id) {
    items_[id].reset();
    free_.push_back(id);
  }

  static void Finalize(napi_env, void *data, void *hint) {
    Handles *self = static_cast<Handles *>(hint);
    self->Drop(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(data)));
    self->Release();
  }

  std::vector<std::unique_ptr<T>> items_;
  std::vector<uint32_t> free_;
  size_t users_ = 1;
};

}  // namespace promfmt_node

#endif
