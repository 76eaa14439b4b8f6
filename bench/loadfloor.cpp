// What the kernel costs at least for a table held in memory, whatever the parser does: the file
// read into fresh memory in huge pages (cleared by the kernel, then copied from the page
// cache) and a fresh block of 32 bytes per record touched, on two threads as Tarvik does it.
// Measured with runstat beside tarvik-cli, it shows how much of Tarvik's system time is this
// floor on the machine at hand:
//
//   loadfloor FILE RECORDS
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

constexpr std::size_t kHuge = std::size_t{2} << 20;
constexpr std::size_t kPiece = std::size_t{1} << 20;

char* FreshBlock(std::size_t bytes) {
  void* p =
      ::mmap(nullptr, bytes + kHuge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  auto at = (reinterpret_cast<std::uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1);
  char* block = reinterpret_cast<char*>(at);
  (void)::madvise(block, (bytes + kHuge - 1) & ~(kHuge - 1), MADV_HUGEPAGE);
  return block;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: loadfloor FILE RECORDS\n", stderr);
    return 2;
  }
  int fd = ::open(argv[1], O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  const auto size = static_cast<std::size_t>(st.st_size);
  const std::size_t recordBytes = std::strtoull(argv[2], nullptr, 10) * 32;
  char* file = FreshBlock(size + 1);
  char* records = FreshBlock(recordBytes);
  if (!file || !records) return 1;
  std::atomic<bool> failed{false};
  auto half = [&](std::size_t first) {
    for (std::size_t at = first * kPiece; at < size; at += 2 * kPiece) {
      std::size_t want = size - at < kPiece ? size - at : kPiece;
      if (::pread(fd, file + at, want, static_cast<off_t>(at)) != static_cast<ssize_t>(want))
        failed.store(true);
    }
    for (std::size_t at = first * kHuge; at < recordBytes; at += 2 * kHuge) records[at] = 1;
  };
  std::thread helper(half, 1);
  half(0);
  helper.join();
  return failed.load() ? 1 : 0;
}
