#include "core/platform.h"

#include <cstdint>
#include <cstring>

#if defined(_WIN32)
#include <malloc.h>
#elif defined(__APPLE__)
#include <malloc/malloc.h>
#else
#include <malloc.h>
#endif

#if defined(__linux__)
#include <sched.h>
#include <sys/mman.h>
#endif

#include <thread>

namespace tarvik::platform {

std::size_t HeapUsableSize(void* block) {
  if (!block) return 0;
#if defined(_WIN32)
  return _msize(block);
#elif defined(__APPLE__)
  return malloc_size(block);
#else
  return malloc_usable_size(block);
#endif
}

std::string ErrorText(int err) {
#if defined(_WIN32)
  char buf[256] = {};
  strerror_s(buf, sizeof buf, err);
  return buf;
#else
  char buf[256] = {};
  // GNU and XSI strerror_r differ in their result; both leave a text somewhere.
  auto r = strerror_r(err, buf, sizeof buf);
  if constexpr (std::is_same_v<decltype(r), char*>) {
    return r ? std::string(r) : std::string(buf);
  } else {
    return buf;
  }
#endif
}

std::size_t HugePageSize() {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  return std::size_t{2} << 20;
#else
  return 0;
#endif
}

void AdviseHugePages(void* block, std::size_t n) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  const std::uintptr_t huge = HugePageSize();
  const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(block) + huge - 1) & ~(huge - 1);
  const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(block) + n) & ~(huge - 1);
  // Advice only: where it is refused (huge pages switched off) the memory works as before.
  if (begin < end) (void)::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)block;
  (void)n;
#endif
}

unsigned HardwareThreads() {
#if defined(__linux__)
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0) {
    int n = CPU_COUNT(&set);
    if (n > 0) return static_cast<unsigned>(n);
  }
#endif
  unsigned n = std::thread::hardware_concurrency();
  return n ? n : 1;
}

}  // namespace tarvik::platform
