#include "core/tracked_memory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#if !defined(_WIN32)
#include <stdlib.h>
#endif

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

// Blocks of this size and more (the file bytes, the records) are aligned to huge pages and
// ask for them: touching them then costs a page fault per 2 MiB, not per 4 KiB, which on some
// machines is most of the time a large table takes to load. They still come from malloc and go
// back through free, and they count with their whole size.
constexpr std::size_t kLargeBlock = std::size_t{4} << 20;

void* AllocateRaw(std::size_t size, bool zero) {
#if !defined(_WIN32)
  if (const std::size_t huge = platform::HugePageSize(); huge && size >= kLargeBlock) {
    // Whole huge pages, the last one included: a partly covered one would fall back to small
    // pages.
    if (size > SIZE_MAX - huge) return nullptr;
    size = (size + huge - 1) & ~(huge - 1);
    void* p = nullptr;
    if (::posix_memalign(&p, huge, size) != 0) return nullptr;
    platform::AdviseHugePages(p, size);
    if (zero) std::memset(p, 0, size);
    return p;
  }
#endif
  return zero ? std::calloc(1, size) : std::malloc(size);
}

void* Allocate(CAppContext* context, std::size_t n, bool zero) {
  if (n == 0) return nullptr;
  if (n > SIZE_MAX - 1024 || InjectedFailure()) return nullptr;
  void* p = AllocateRaw(GrowSize(n), zero);
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
    if (GrowSize(n) >= kLargeBlock) platform::AdviseHugePages(result, GrowSize(n));
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
