#include "core/platform.h"

#include <cstring>

#if defined(_WIN32)
#include <malloc.h>
#elif defined(__APPLE__)
#include <malloc/malloc.h>
#else
#include <malloc.h>
#endif

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

}  // namespace tarvik::platform
