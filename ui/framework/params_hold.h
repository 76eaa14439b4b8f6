#pragma once
// Editing dialogs (filter, schema and export editors, drive and about dialogs) hold the
// parameter store from OnInitDialog to OnDestroy, so no task changes the sets under them.
// Entered and left on the window's thread.
#include "params/param_store.h"

namespace tarvik {

class DialogParamsHold {
 public:
  DialogParamsHold() = default;
  ~DialogParamsHold() { Leave(); }
  DialogParamsHold(const DialogParamsHold&) = delete;
  DialogParamsHold& operator=(const DialogParamsHold&) = delete;

  // Waits for the store's lock and raises its busy marker; nothing without a store or when
  // already held.
  void Enter(CParamStore* store) {
    if (held_ || !store) return;
    AcquireParams(*store);
    held_ = store;
  }
  // Lowers the marker and leaves the lock; nothing when not held.
  void Leave() {
    if (!held_) return;
    ReleaseParams(*held_);
    held_ = nullptr;
  }
  bool Held() const { return held_ != nullptr; }

 private:
  CParamStore* held_ = nullptr;
};

}  // namespace tarvik
