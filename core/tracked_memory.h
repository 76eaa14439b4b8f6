#pragma once
// Heap blocks counted into the context's totals. Blocks are requested in 1 KiB steps.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "core/app_context.h"

namespace tarvik {

// The next multiple of 1024 strictly above n.
constexpr std::size_t GrowSize(std::size_t n) {
  return (n & ~std::size_t{1023}) + 1024;
}

void* MemAlloc(CAppContext* context, std::size_t n);
void* MemAllocZero(CAppContext* context, std::size_t n);
// Never shrinks and never moves a block that is already large enough. On failure the old
// block stays valid and owned by the caller.
void* MemRealloc(CAppContext* context, void* block, std::size_t n);
void MemFree(CAppContext* context, void* block);
std::int64_t MemInUse(const CAppContext* context);
// Brings in the pages of bytes [offset, offset + n) of a large block (one of 4 MiB and more)
// ahead of writing them, in one call instead of a fault per page; nothing for other blocks.
// Threads may prefault different ranges of one block at once.
void MemPrefault(void* block, std::size_t offset, std::size_t n);

// Test hook: the n-th allocation from now on fails (1 = the next one), and so do the run - 1
// after it (LONG_MAX: every one, as when the address space is used up); 0 switches failures
// off. It counts the tracked allocations and growths, and every other allocation that asks
// MemFailDue (a test's operator new). Counts across threads.
void MemFailAfter(long n, long run = 1);
// Counts one allocation against the hook: true when this one must fail.
bool MemFailDue();
// What is left of the count; 0 once the failure happened or when the hook is off.
long MemFailLeft();

// Owns a tracked block.
struct TrackedDeleter {
  CAppContext* context = nullptr;
  void operator()(void* p) const { MemFree(context, p); }
};
template <class T>
using TrackedPtr = std::unique_ptr<T, TrackedDeleter>;
using TrackedStr = std::unique_ptr<char16_t[], TrackedDeleter>;

// Standard allocator over the tracked services, so engine containers count their bytes.
template <class T>
struct TrackedAllocator {
  using value_type = T;
  CAppContext* context = nullptr;

  TrackedAllocator() = default;
  explicit TrackedAllocator(CAppContext* c) : context(c) {}
  template <class U>
  TrackedAllocator(const TrackedAllocator<U>& o) : context(o.context) {}

  T* allocate(std::size_t n) {
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
    void* p = MemAlloc(context, n * sizeof(T));
    if (!p) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* p, std::size_t) { MemFree(context, p); }
  template <class U>
  bool operator==(const TrackedAllocator<U>& o) const {
    return context == o.context;
  }
};

}  // namespace tarvik
