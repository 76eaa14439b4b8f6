#pragma once
// An object living in a zero-filled tracked block (MemAllocZero), so the memory figure of
// the status bar counts it; destroyed and released by its owner.
#include <memory>
#include <new>
#include <utility>

#include "core/tracked_memory.h"

namespace tarvik {

template <class T>
struct TrackedObjectDeleter {
  CAppContext* context = nullptr;
  void operator()(T* p) const {
    if (!p) return;
    p->~T();
    MemFree(context, p);
  }
};

template <class T>
using TrackedObject = std::unique_ptr<T, TrackedObjectDeleter<T>>;

// Null when the block cannot be had.
template <class T, class... Args>
TrackedObject<T> MakeTracked(CAppContext* context, Args&&... args) {
  static_assert(alignof(T) <= alignof(std::max_align_t));
  void* block = MemAllocZero(context, sizeof(T));
  if (!block) return TrackedObject<T>(nullptr, TrackedObjectDeleter<T>{context});
  return TrackedObject<T>(::new (block) T(std::forward<Args>(args)...),
                          TrackedObjectDeleter<T>{context});
}

}  // namespace tarvik
