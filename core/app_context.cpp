#include "core/app_context.h"

#include <chrono>

namespace tarvik {
namespace {

constexpr std::uint32_t kFirstControlId = 1124;  // the last one handed out before the first
constexpr std::uint32_t kLastControlId = 1524;

}  // namespace

std::int64_t ClockSeed() {
  using namespace std::chrono;
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

void InitContext(CAppContext& context, std::u16string_view iniPath) {
  {
    std::lock_guard<std::mutex> guard(context.controlIdLock);
    context.nextControlId = kFirstControlId;
  }
  context.colorLight = 0xFFFFFF;
  context.colorDark = 0x323232;
  context.iniPath = std::u16string(iniPath);
  context.seed.store(ClockSeed());
}

void ReleaseContext(CAppContext& context) {
  context.ui.reset();
  context.iniPath.clear();
  context.iniPath.shrink_to_fit();
}

std::int64_t NewItemId(CAppContext* context) {
  if (!context) return 0;
  // Wraps instead of overflowing: a corrupt seed must not make the increment undefined.
  auto next = [](std::int64_t v) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(v) + 1);
  };
  std::int64_t v = context->seed.load();
  while (!context->seed.compare_exchange_weak(v, next(v))) {
  }
  return next(v);
}

void RaiseSeed(CAppContext* context, std::int64_t id) {
  if (!context) return;
  std::int64_t v = context->seed.load();
  while (v < id && !context->seed.compare_exchange_weak(v, id)) {
  }
}

std::uint32_t TakeControlId(CAppContext* context) {
  if (!context) return 0;
  std::lock_guard<std::mutex> guard(context->controlIdLock);
  if (context->nextControlId < kLastControlId)
    ++context->nextControlId;
  else
    context->nextControlId = kLastControlId;
  return context->nextControlId;
}

}  // namespace tarvik
