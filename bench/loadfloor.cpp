// What the kernel costs at least for a table held in memory, whatever the parser does: the file
// read into fresh memory in huge pages (cleared by the kernel, then copied from the page
// cache) and a fresh block of 32 bytes per record touched, on two threads as Tarvik does it.
// Measured with runstat beside tarvik-cli, it shows how much of Tarvik's system time is this
// floor on the machine at hand:
//
//   loadfloor FILE RECORDS
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "core/platform.h"

namespace {

constexpr std::size_t kPiece = std::size_t{1} << 20;

// A block as Tarvik takes one for a large table.
char* FreshBlock(std::size_t used) {
  const std::size_t huge = tarvik::platform::HugePageSize();
  if (!huge) return nullptr;
  return static_cast<char*>(tarvik::platform::MapHugeBlock((used + huge - 1) & ~(huge - 1), used));
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
    for (std::size_t at = first * 4096; at < recordBytes; at += 2 * 4096) records[at] = 1;
  };
  std::thread helper(half, 1);
  half(0);
  helper.join();
  return failed.load() ? 1 : 0;
}
