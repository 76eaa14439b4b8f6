#include "core/tracked_memory.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "core/platform.h"

namespace tarvik {
namespace {

std::atomic<long> g_failCountdown{0};
std::atomic<long> g_failRun{0};  // failures still to come right after the one counted down to

// True when the test hook says this request must fail.
bool InjectedFailure() {
  long n = g_failCountdown.load(std::memory_order_relaxed);
  while (n > 0) {
    if (g_failCountdown.compare_exchange_weak(n, n - 1, std::memory_order_relaxed)) return n == 1;
  }
  long r = g_failRun.load(std::memory_order_relaxed);
  while (r > 0) {
    if (g_failRun.compare_exchange_weak(r, r - 1, std::memory_order_relaxed)) return true;
  }
  return false;
}

// Blocks of this size and more (the file bytes, the records) are mappings of their own,
// aligned to huge pages and asking for them: touching them then costs a page fault per 2 MiB,
// not per 4 KiB, which on some machines is most of the time a large table takes to load. They
// grow by moving their pages, without a copy, and count with their whole size.
constexpr std::size_t kLargeBlock = std::size_t{4} << 20;

// The large blocks in use (they start at a huge page boundary, which tells them apart from the
// heap's blocks before a look here).
class LargeBlocks {
 public:
  // The size of `block` when it is a large one, else 0.
  std::size_t SizeOf(const void* block) {
    const std::size_t huge = platform::HugePageSize();
    if (!huge || (reinterpret_cast<std::uintptr_t>(block) & (huge - 1)) != 0) return 0;
    std::lock_guard<std::mutex> guard(mutex_);
    for (const Entry& e : entries_)
      if (e.block == block) return e.bytes;
    return 0;
  }
  // A large block of at least `n` bytes, zero-filled when `zero`; null when none can be had.
  void* Map(std::size_t n, bool zero) {
    const std::size_t bytes = Round(n);
    if (!bytes) return nullptr;
    std::lock_guard<std::mutex> guard(mutex_);
    Entry* free = Find(nullptr);
    if (!free) return nullptr;
    for (Entry& k : kept_) {
      if (k.block && k.bytes >= bytes && k.bytes - bytes <= bytes / 2) {
        *free = k;
        k = {};
        if (zero) std::memset(free->block, 0, free->bytes);
        return free->block;
      }
    }
    // None fits: the kept ones go back before more is taken.
    for (Entry& k : kept_) {
      platform::UnmapHugeBlock(k.block, k.bytes);
      k = {};
    }
    void* block = platform::MapHugeBlock(bytes, n);  // zero-filled
    if (block) *free = {block, bytes};
    return block;
  }
  // `block` grown to at least `n` bytes; null when it cannot grow (it stays as it was).
  void* Grow(void* block, std::size_t n) {
    const std::size_t bytes = Round(n);
    if (!bytes) return nullptr;
    std::lock_guard<std::mutex> guard(mutex_);
    Entry* e = Find(block);
    if (!e) return nullptr;
    void* moved = platform::RemapHugeBlock(block, e->bytes, bytes, n);
    if (moved) *e = {moved, bytes};
    return moved;
  }
  // Ends a block, or keeps it for the next one of about its size.
  void Unmap(void* block) {
    std::lock_guard<std::mutex> guard(mutex_);
    Entry* e = Find(block);
    if (!e) return;
    Entry* keep = nullptr;
    for (Entry& k : kept_)
      if (!k.block) keep = &k;
    if (keep) {
      *keep = *e;
    } else {
      platform::UnmapHugeBlock(block, e->bytes);
    }
    *e = {};
  }

 private:
  struct Entry {
    void* block = nullptr;
    std::size_t bytes = 0;
  };
  static std::size_t Round(std::size_t n) {
    const std::size_t huge = platform::HugePageSize();
    if (!huge || n > SIZE_MAX - huge) return 0;
    return (n + huge - 1) & ~(huge - 1);
  }
  Entry* Find(const void* block) {
    for (Entry& e : entries_)
      if (e.block == block) return &e;
    return nullptr;
  }

  std::mutex mutex_;
  Entry entries_[256];
  // Freed blocks kept for the next large ones of about their size: a table opened again (or
  // the next one like it) finds its memory in place instead of the system clearing fresh pages
  // and taking back the old ones. They no longer count as in use.
  Entry kept_[2];
};

LargeBlocks& Large() {
  static LargeBlocks blocks;
  return blocks;
}

std::size_t UsableSize(void* block) {
  if (std::size_t bytes = Large().SizeOf(block)) return bytes;
  return platform::HeapUsableSize(block);
}

void* AllocateRaw(std::size_t size, bool zero) {
  if (size >= kLargeBlock) {
    if (void* p = Large().Map(size, zero)) return p;
  }
  return zero ? std::calloc(1, size) : std::malloc(size);
}

void* Allocate(CAppContext* context, std::size_t n, bool zero) {
  if (n == 0) return nullptr;
  if (n > SIZE_MAX - 1024 || InjectedFailure()) return nullptr;
  void* p = AllocateRaw(GrowSize(n), zero);
  if (!p) return nullptr;
  if (context) {
    std::lock_guard<std::recursive_mutex> guard(context->allocLock);
    context->bytesAllocated.fetch_add(UsableSize(p), std::memory_order_relaxed);
  }
  return p;
}

// `block` (of `old` usable bytes) resized to `size` bytes the cheapest way: a large block by
// moving its pages, a block becoming large by one copy into a large block, else realloc.
void* Reallocate(void* block, std::size_t old, std::size_t size) {
  if (Large().SizeOf(block)) {
    if (void* p = Large().Grow(block, size)) return p;
    void* p = std::malloc(size);
    if (!p) return nullptr;
    std::memcpy(p, block, old);
    Large().Unmap(block);
    return p;
  }
  if (size >= kLargeBlock) {
    if (void* p = Large().Map(size, false)) {
      std::memcpy(p, block, old);
      std::free(block);
      return p;
    }
  }
  return std::realloc(block, size);
}

void Release(void* block) {
  if (Large().SizeOf(block)) {
    Large().Unmap(block);
  } else {
    std::free(block);
  }
}

}  // namespace

void MemFailAfter(long n, long run) {
  g_failRun.store(n > 0 && run > 1 ? run - 1 : 0, std::memory_order_relaxed);
  g_failCountdown.store(n < 0 ? 0 : n, std::memory_order_relaxed);
}

bool MemFailDue() {
  return InjectedFailure();
}

long MemFailLeft() {
  return g_failCountdown.load(std::memory_order_relaxed);
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
    old = UsableSize(block);
  } else {
    old = UsableSize(block);
  }
  void* result = block;
  if (n >= old) {
    if (n > SIZE_MAX - 1024 || InjectedFailure()) return nullptr;
    result = Reallocate(block, old, GrowSize(n));
    if (!result) return nullptr;
  }
  if (context) {
    std::lock_guard<std::recursive_mutex> guard(context->reallocLock);
    context->bytesRegrownFrom.fetch_add(old, std::memory_order_relaxed);
    context->bytesRegrownTo.fetch_add(UsableSize(result), std::memory_order_relaxed);
  }
  return result;
}

void MemFree(CAppContext* context, void* block) {
  if (block && context) {
    std::lock_guard<std::recursive_mutex> guard(context->releaseLock);
    context->bytesReleased.fetch_add(UsableSize(block), std::memory_order_relaxed);
  }
  Release(block);
}

void MemPrefault(void* block, std::size_t offset, std::size_t n) {
  const std::size_t bytes = block ? Large().SizeOf(block) : 0;
  if (offset >= bytes) return;
  platform::PrefaultPages(static_cast<char*>(block) + offset, std::min(n, bytes - offset));
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
