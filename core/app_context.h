#pragma once
// The one application-wide record: memory totals, identifiers, settings path.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

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

  std::uint32_t nextControlId = 1124;
  std::mutex controlIdLock;

  std::atomic<std::int64_t> seed{0};

  std::uint32_t colorLight = 0xFFFFFF;
  std::uint32_t colorDark = 0x323232;

  std::shared_ptr<UiResources> ui;

  // Full path of Tarvik.ini. Empty when it could not be determined.
  std::u16string iniPath;
  // The first-start defaults could not be written: a load that finds no settings file gives
  // them for this run.
  bool defaultsInMemory = false;
};

// Sets up the fields that need no window: control identifiers, colours, the settings path
// and `seed` from the clock; the program entry finds the path (settings_path.h) and then puts
// the stored "Core"/"Seed" in place of the seed. Reports nothing.
void InitContext(CAppContext& context, std::u16string_view iniPath);
// Tears down what InitContext set up. The seed is written by the program entry, not here.
void ReleaseContext(CAppContext& context);

// The next item identifier: `seed` + 1, taken with a compare-and-exchange loop.
std::int64_t NewItemId(CAppContext* context);
// Raises `seed` to `id` when that is larger (after a load, so no identifier is handed out
// twice even when a run ended without writing "Seed").
void RaiseSeed(CAppContext* context, std::int64_t id);
// The next child-control identifier: 1125 first, 1524 from the 401st on.
std::uint32_t TakeControlId(CAppContext* context);

// Seconds since 1970-01-01 00:00 UTC, the seed of a first start.
std::int64_t ClockSeed();

}  // namespace tarvik
