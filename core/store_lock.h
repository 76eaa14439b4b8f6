#pragma once
// The shared lock discipline of the two stores: a recursive lock plus a busyMarker in the
// data block, raised 0->1 right after entering and lowered right before leaving.
#include <atomic>
#include <cstdint>

namespace tarvik {

inline void RaiseBusy(std::atomic<std::int32_t>& marker) {
  std::int32_t expected = 0;
  marker.compare_exchange_strong(expected, 1);
}

inline void LowerBusy(std::atomic<std::int32_t>& marker) {
  std::int32_t v = marker.load();
  while (v != 0 && !marker.compare_exchange_weak(v, v - 1)) {
  }
}

// Store: has `lock` (recursive mutex) and `data` (pointer to a block with `busyMarker`).
template <class Store>
bool TryEnterStore(Store& store) {
  if (!store.lock.try_lock()) return false;
  if (store.data) RaiseBusy(store.data->busyMarker);
  return true;
}

template <class Store>
void EnterStore(Store& store) {
  store.lock.lock();
  if (store.data) RaiseBusy(store.data->busyMarker);
}

template <class Store>
void LeaveStore(Store& store) {
  if (store.data) LowerBusy(store.data->busyMarker);
  store.lock.unlock();
}

// Scoped hold of a store: try once (or wait), leave on destruction.
template <class Store>
class StoreHold {
 public:
  enum Mode { Try, Wait };
  StoreHold(Store* store, Mode mode) : store_(store) {
    if (!store_) return;
    if (mode == Wait) {
      EnterStore(*store_);
      held_ = true;
    } else {
      held_ = TryEnterStore(*store_);
    }
  }
  ~StoreHold() {
    if (held_) LeaveStore(*store_);
  }
  StoreHold(const StoreHold&) = delete;
  StoreHold& operator=(const StoreHold&) = delete;
  bool held() const { return held_; }
  explicit operator bool() const { return held_; }

 private:
  Store* store_ = nullptr;
  bool held_ = false;
};

}  // namespace tarvik
