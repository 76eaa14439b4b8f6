#include "core/tracked_memory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "core/platform.h"

namespace tarvik {
namespace {

std::atomic<long> g_failCountdown{0};

// True when the test hook says this request must fail.
bool InjectedFailure() {
  long n = g_failCountdown.load(std::memory_order_relaxed);
  while (n > 0) {
    if (g_failCountdown.compare_exchange_weak(n, n - 1, std::memory_order_relaxed)) return n == 1;
  }
  return false;
}

void* Allocate(CAppContext* context, std::size_t n, bool zero) {
  if (n == 0) return nullptr;
  if (n > SIZE_MAX - 1024 || InjectedFailure()) return nullptr;
  std::size_t size = GrowSize(n);
  void* p = zero ? std::calloc(1, size) : std::malloc(size);
  if (!p) return nullptr;
  if (context) {
    std::lock_guard<std::recursive_mutex> guard(context->allocLock);
    context->bytesAllocated.fetch_add(platform::HeapUsableSize(p), std::memory_order_relaxed);
  }
  return p;
}

}  // namespace

void MemFailAfter(long n) {
  g_failCountdown.store(n < 0 ? 0 : n, std::memory_order_relaxed);
}

void* MemAlloc(CAppContext* context, std::size_t n) {
  return Allocate(context, n, false);
}

void* MemAllocZero(CAppContext* context, std::size_t n) {
  return Allocate(context, n, true);
}

void* MemRealloc(CAppContext* context, void* block, std::size_t n) {
  if (!block || n == 0) return nullptr;
  std::size_t old;
  if (context) {
    std::lock_guard<std::recursive_mutex> guard(context->reallocLock);
    old = platform::HeapUsableSize(block);
  } else {
    old = platform::HeapUsableSize(block);
  }
  void* result = block;
  if (n >= old) {
    if (n > SIZE_MAX - 1024 || InjectedFailure()) return nullptr;
    result = std::realloc(block, GrowSize(n));
    if (!result) return nullptr;
  }
  if (context) {
    std::lock_guard<std::recursive_mutex> guard(context->reallocLock);
    context->bytesRegrownFrom.fetch_add(old, std::memory_order_relaxed);
    context->bytesRegrownTo.fetch_add(platform::HeapUsableSize(result), std::memory_order_relaxed);
  }
  return result;
}

void MemFree(CAppContext* context, void* block) {
  if (block && context) {
    std::lock_guard<std::recursive_mutex> guard(context->releaseLock);
    context->bytesReleased.fetch_add(platform::HeapUsableSize(block), std::memory_order_relaxed);
  }
  std::free(block);
}

std::int64_t MemInUse(const CAppContext* context) {
  if (!context) return 0;
  auto a = context->bytesAllocated.load(std::memory_order_relaxed);
  auto to = context->bytesRegrownTo.load(std::memory_order_relaxed);
  auto from = context->bytesRegrownFrom.load(std::memory_order_relaxed);
  auto r = context->bytesReleased.load(std::memory_order_relaxed);
  return static_cast<std::int64_t>(a + to - from - r);
}

}  // namespace tarvik
