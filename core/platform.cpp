#include "core/platform.h"

#include <cerrno>
#include <cstdint>
#include <cstring>

#if defined(_WIN32)
#include <malloc.h>
#elif defined(__APPLE__)
#include <malloc/malloc.h>
#else
#include <malloc.h>
#endif

#if defined(__GLIBC__)
#include <locale.h>
#endif

#if defined(__linux__)
#include <sched.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <thread>

#include "core/language.h"
#include "core/text.h"
#include "resources/string_ids.h"

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

#if !defined(_WIN32)
namespace {
// GNU and XSI strerror_r differ in their result; both leave a text somewhere.
[[maybe_unused]] std::string StrerrorText(char* result, const char* buf) {
  return result ? std::string(result) : std::string(buf);
}
[[maybe_unused]] std::string StrerrorText(int, const char* buf) {
  return buf;
}
}  // namespace
#endif

namespace {
// The system errors a user meets, in the program's own words: the system has them in the
// user's language only where its catalogue for that language is installed.
struct ErrnoText {
  int err;
  std::uint32_t id;
};
constexpr ErrnoText kErrnoTexts[] = {
    {ENOENT, STR_ERRNO_ENOENT},
    {EACCES, STR_ERRNO_EACCES},
    {EPERM, STR_ERRNO_EPERM},
    {EROFS, STR_ERRNO_EROFS},
    {ENOSPC, STR_ERRNO_ENOSPC},
    {EISDIR, STR_ERRNO_EISDIR},
    {ENOTDIR, STR_ERRNO_ENOTDIR},
    {EEXIST, STR_ERRNO_EEXIST},
    {ENAMETOOLONG, STR_ERRNO_ENAMETOOLONG},
    {EMFILE, STR_ERRNO_EMFILE},
    {EIO, STR_ERRNO_EIO},
    {ELOOP, STR_ERRNO_ELOOP},
    {EFBIG, STR_ERRNO_EFBIG},
    {ETXTBSY, STR_ERRNO_ETXTBSY},
#ifdef EDQUOT
    {EDQUOT, STR_ERRNO_EDQUOT},
#endif
};
}  // namespace

std::string ErrorText(int err) {
  for (const ErrnoText& e : kErrnoTexts)
    if (e.err == err) return Utf16ToUtf8(StrLoad(e.id));
#if defined(_WIN32)
  char buf[256] = {};
  strerror_s(buf, sizeof buf, err);
  return buf;
#else
#if defined(__GLIBC__)
  // The system's words for it in the program's language, in UTF-8, whatever the locale:
  // English is the C locale's; Russian is a Russian UTF-8 locale's where one is installed.
  static const locale_t english = newlocale(LC_ALL_MASK, "C", locale_t{});
  static const locale_t russian = newlocale(LC_ALL_MASK, "ru_RU.UTF-8", locale_t{});
  const locale_t words = CurrentLanguage() == Language::Russian && russian ? russian : english;
  if (words) return strerror_l(err, words);
#endif
  char buf[256] = {};
  return StrerrorText(strerror_r(err, buf, sizeof buf), buf);
#endif
}

std::size_t HugePageSize() {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  return std::size_t{2} << 20;
#else
  return 0;
#endif
}

#if defined(__linux__) && defined(MADV_HUGEPAGE)
namespace {

// An address range of `bytes` that starts at a huge page boundary, as one mapping.
void* ReserveAligned(std::size_t bytes) {
  const std::size_t huge = HugePageSize();
  if (bytes > SIZE_MAX - huge) return nullptr;
  void* area =
      ::mmap(nullptr, bytes + huge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (area == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<std::uintptr_t>(area);
  const std::uintptr_t aligned = (start + huge - 1) & ~(std::uintptr_t{huge} - 1);
  if (aligned > start) ::munmap(area, aligned - start);
  const std::uintptr_t tail = start + bytes + huge - (aligned + bytes);
  if (tail) ::munmap(reinterpret_cast<void*>(aligned + bytes), tail);
  return reinterpret_cast<void*>(aligned);
}

// Huge pages for the block, but small ones for its last huge page when less than half of it
// is wanted: a huge page is resident whole once touched.
void AdviseBlock(void* block, std::size_t bytes, std::size_t used) {
  // Advice only: where it is refused (huge pages switched off) the memory works as before.
  (void)::madvise(block, bytes, MADV_HUGEPAGE);
  const std::size_t huge = HugePageSize();
  if (used <= bytes && used > bytes - huge && used - (bytes - huge) <= huge / 2)
    (void)::madvise(static_cast<char*>(block) + bytes - huge, huge, MADV_NOHUGEPAGE);
}

}  // namespace

void* MapHugeBlock(std::size_t bytes, std::size_t used) {
  void* block = ReserveAligned(bytes);
  if (block) AdviseBlock(block, bytes, used);
  return block;
}

void* RemapHugeBlock(void* block, std::size_t oldBytes, std::size_t bytes, std::size_t used) {
  void* target = ReserveAligned(bytes);
  if (!target) return nullptr;
  // One advice for the whole block again, so that it is one mapping that can move.
  (void)::madvise(block, oldBytes, MADV_HUGEPAGE);
  void* moved = ::mremap(block, oldBytes, bytes, MREMAP_MAYMOVE | MREMAP_FIXED, target);
  if (moved == MAP_FAILED) {
    ::munmap(target, bytes);
    return nullptr;
  }
  AdviseBlock(moved, bytes, used);
  return moved;
}

void UnmapHugeBlock(void* block, std::size_t bytes) {
  if (block) ::munmap(block, bytes);
}

void PrefaultPages(void* p, std::size_t n) {
#ifdef MADV_POPULATE_WRITE
  static const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  if (!p || !n || page == 0 || (page & (page - 1)) != 0) return;
  const auto from = reinterpret_cast<std::uintptr_t>(p) & ~(page - 1);
  const auto to = (reinterpret_cast<std::uintptr_t>(p) + n + page - 1) & ~(page - 1);
  (void)::madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
#else
  (void)p;
  (void)n;
#endif
}
#else
void* MapHugeBlock(std::size_t, std::size_t) {
  return nullptr;
}
void* RemapHugeBlock(void*, std::size_t, std::size_t, std::size_t) {
  return nullptr;
}
void UnmapHugeBlock(void*, std::size_t) {}
void PrefaultPages(void*, std::size_t) {}
#endif

unsigned HardwareThreads() {
#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
  return 1;  // a browser build without threads
#endif
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
