#pragma once
// Growing arrays of trivially copyable records in tracked blocks: one record at a time
// (GrowByOne, for arrays whose every record counts, like the parameter sets and counters), or
// by doubling (TrackedBuffer, for working buffers).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "core/tracked_memory.h"

namespace tarvik {

// `block` resized to n bytes: a new tracked block when it is null, else MemRealloc's answer.
inline void* MemGrow(CAppContext* context, void* block, std::size_t n) {
  return block ? MemRealloc(context, block, n) : MemAlloc(context, n);
}

// Grows `array` (holding `count` records) by one zero-filled record and counts it. On failure
// the array and the count stay as they were and the answer is null.
template <class T>
T* GrowByOne(CAppContext* context, T*& array, std::uint32_t& count) {
  if (count == std::numeric_limits<std::uint32_t>::max()) return nullptr;
  void* block = MemGrow(context, array, (static_cast<std::size_t>(count) + 1) * sizeof(T));
  if (!block) return nullptr;
  array = static_cast<T*>(block);
  T* item = array + count;
  std::memset(static_cast<void*>(item), 0, sizeof(T));
  ++count;
  return item;
}

// A growable tracked array of trivially copyable elements; grows by doubling.
template <class T>
class TrackedBuffer {
 public:
  explicit TrackedBuffer(CAppContext* context) : block_(nullptr, TrackedDeleter{context}) {}

  bool Reserve(std::size_t n) {
    if (n <= capacity_) return true;
    std::size_t want = capacity_ * 2 > n ? capacity_ * 2 : n;
    if (want > SIZE_MAX / sizeof(T) - 1024) return false;
    void* p = MemGrow(block_.get_deleter().context, block_.get(), want * sizeof(T));
    if (!p) return false;
    (void)block_.release();
    block_.reset(static_cast<T*>(p));
    capacity_ = want;
    return true;
  }
  bool Append(const T* p, std::size_t n) {
    if (size_ + n > capacity_ && !Reserve(size_ + n)) return false;
    if (n) std::memcpy(block_.get() + size_, p, n * sizeof(T));
    size_ += n;
    return true;
  }
  bool Append(T c) { return Append(&c, 1); }

  T* data() { return block_.get(); }
  const T* data() const { return block_.get(); }
  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }
  void Resize(std::size_t n) { size_ = n; }  // n <= capacity()
  void Clear() { size_ = 0; }
  // Hands the block to the caller, who frees it with MemFree; the buffer is empty afterwards.
  T* Release() {
    capacity_ = size_ = 0;
    return block_.release();
  }

 private:
  std::unique_ptr<T[], TrackedDeleter> block_;
  std::size_t capacity_ = 0;
  std::size_t size_ = 0;
};

// Objects in one tracked block, made and destroyed together. Each starts a cache line of its
// own: they are the per-thread or per-batch state of parallel work, and two threads writing
// counters in one line would pass that line back and forth on every record.
template <class T>
class TrackedObjects {
 public:
  explicit TrackedObjects(CAppContext* context) : context_(context) {}
  ~TrackedObjects() {
    for (std::size_t k = 0; k < count_; ++k) std::destroy_at(&(*this)[k]);
    MemFree(context_, block_);
  }
  TrackedObjects(const TrackedObjects&) = delete;
  TrackedObjects& operator=(const TrackedObjects&) = delete;

  // n objects, each made as T(args...); false when memory ran out. Once only.
  template <class... A>
  bool Create(std::size_t n, const A&... args) {
    if (block_ || n > (SIZE_MAX - kLine) / kStride) return false;
    block_ = MemAlloc(context_, n * kStride + kLine);
    if (!block_) return false;
    const auto at = reinterpret_cast<std::uintptr_t>(block_);
    first_ = static_cast<char*>(block_) + ((kLine - at % kLine) % kLine);
    for (; count_ < n; ++count_) std::construct_at(&(*this)[count_], args...);
    return true;
  }
  T& operator[](std::size_t k) { return *std::launder(reinterpret_cast<T*>(first_ + k * kStride)); }

 private:
  static constexpr std::size_t kLine = 64;
  static constexpr std::size_t kStride = (sizeof(T) + kLine - 1) / kLine * kLine;
  static_assert(alignof(T) <= kLine);
  CAppContext* context_;
  void* block_ = nullptr;
  char* first_ = nullptr;
  std::size_t count_ = 0;
};

}  // namespace tarvik
