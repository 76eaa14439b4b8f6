#pragma once
// The one application-wide record: memory totals, identifiers, settings path.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace tarvik {

struct UiResources;  // fonts, icons, image list: owned by the window side when there is one

struct CAppContext {
  // Memory totals (tracked_memory.h). Each is changed under its own lock; the status
  // monitor reads them without one, hence atomics.
  std::recursive_mutex allocLock;
  std::recursive_mutex reallocLock;
  std::recursive_mutex releaseLock;
  std::atomic<std::uint64_t> bytesAllocated{0};
  std::atomic<std::uint64_t> bytesRegrownTo{0};
  std::atomic<std::uint64_t> bytesRegrownFrom{0};
  std::atomic<std::uint64_t> bytesReleased{0};

  // The string table is compiled into the program; kept for symmetry with the callers.
  const void* resModule = nullptr;

  std::uint32_t nextControlId = 1124;
  std::mutex controlIdLock;

  std::atomic<std::int64_t> seed{0};

  std::uint32_t colorLight = 0xFFFFFF;
  std::uint32_t colorDark = 0x323232;

  std::shared_ptr<UiResources> ui;

  // Full path of Tarvik.ini. Empty when it could not be determined.
  std::u16string iniPath;
};

}  // namespace tarvik
