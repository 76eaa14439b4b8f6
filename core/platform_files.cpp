#include "core/platform_files.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>

#include "core/text.h"

namespace tarvik::platform {
namespace {

std::atomic<FileFaultHook> g_faultHook{nullptr};

constexpr int kMaxLinks = 40;  // as the system allows in one path

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Random bytes from the system; false when it has none to give now.
bool SystemRandom(std::uint64_t& v) {
#if defined(__EMSCRIPTEN__)
  return ::getentropy(&v, sizeof v) == 0;  // the browser's source (no getrandom there)
#else
  return ::getrandom(&v, sizeof v, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof v);
#endif
}

// Twelve hex digits nobody can guess; the system's random source, else a seeded engine.
std::string RandomTag() {
  std::uint64_t v = 0;
  if (!SystemRandom(v)) {
    static std::atomic<std::uint64_t> counter{0};
    std::random_device rd;
    std::mt19937_64 engine(
        (static_cast<std::uint64_t>(rd()) << 32) ^ rd() ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
        (counter.fetch_add(1) << 48));
    v = engine();
  }
  char buf[16];
  std::snprintf(buf, sizeof buf, "%012llx", static_cast<unsigned long long>(v & 0xFFFFFFFFFFFFull));
  return buf;
}

int WriteAll(int fd, const char* p, std::size_t n) {
  while (n > 0) {
    ssize_t done = ::write(fd, p, n);
    if (done < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    p += done;
    n -= static_cast<std::size_t>(done);
  }
  return 0;
}

// Gives `temp` the name `dest` only where nothing has that name.
int RenameNoReplace(const std::string& temp, const std::string& dest) {
#if defined(__EMSCRIPTEN__)
  // The browser's file system has neither that rename nor hard links, and only the page's one
  // thread writes there: a look before the rename serves.
  struct stat st {};
  if (::lstat(dest.c_str(), &st) == 0) return EEXIST;
  return ::rename(temp.c_str(), dest.c_str()) == 0 ? 0 : errno;
#else
#ifdef RENAME_NOREPLACE
  if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, dest.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return errno;
#endif
  // A file system without that rename: a hard link fails on a taken name just as well.
  if (::link(temp.c_str(), dest.c_str()) == 0) {
    ::unlink(temp.c_str());
    return 0;
  }
  return errno;
#endif
}

}  // namespace

std::u16string PathFromNative(std::string_view bytes) {
  return Utf8ToUtf16KeepingBytes(bytes);
}

std::string NativePath(std::u16string_view path) {
  return Utf16ToUtf8KeepingBytes(path);
}

void SetFileFaultHook(FileFaultHook hook) {
  g_faultHook.store(hook);
}

int FileFault(FileStep step) {
  FileFaultHook hook = g_faultHook.load();
  return hook ? hook(step) : 0;
}

int ResolveLinks(const std::string& path, std::string& resolved) {
  resolved = path;
  for (int hops = 0; hops < kMaxLinks; ++hops) {
    struct stat st {};
    if (::lstat(resolved.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return 0;
    std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    ssize_t n = ::readlink(resolved.c_str(), link.data(), link.size());
    if (n < 0) return 0;  // gone meanwhile: the name itself
    if (static_cast<std::size_t>(n) >= link.size()) return ENAMETOOLONG;  // grew meanwhile
    link.resize(static_cast<std::size_t>(n));
    resolved = link.front() == '/' ? link : FolderOf(resolved) + "/" + link;
  }
  return ELOOP;
}

bool NameTaken(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

ReplacingFile::~ReplacingFile() {
  Discard();
}

int ReplacingFile::Open(const std::string& target, bool replace) {
  Discard();
  replace_ = replace;
  direct_ = false;
  written_ = handedOver_ = 0;
  if (target.empty()) return ENOENT;
  if (int e = FileFault(FileStep::Open)) return e;
  dest_ = target;
  if (replace) {
    if (int e = ResolveLinks(target, dest_)) return e;
  } else if (NameTaken(target)) {
    struct stat st {};
    return ::stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? EISDIR : EEXIST;
  }

  mode_t mode = 0666;
  struct stat st {};
  bool exists = ::stat(dest_.c_str(), &st) == 0;
  if (exists) {
    if (S_ISDIR(st.st_mode)) return EISDIR;
    // A file its owner made read-only is not replaced either.
    if (S_ISREG(st.st_mode) && ::access(dest_.c_str(), W_OK) != 0) return errno;
    if (!S_ISREG(st.st_mode)) {
      // A device or pipe: written in place, as there is no file to keep.
      fd_ = ::open(dest_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
      if (fd_ < 0) return errno;
      direct_ = true;
      return 0;
    }
    mode = st.st_mode & 07777;
  }

  const std::string prefix = FolderOf(dest_) + "/." + NameOf(dest_) + ".";
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_ = prefix + RandomTag() + ".tmp";
    fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd_ >= 0) break;
    if (errno != EEXIST) {
      int e = errno;
      temp_.clear();
      return e;
    }
  }
  if (fd_ < 0) {
    temp_.clear();
    return EEXIST;
  }
  if (exists) {
    // The replacement keeps the old file's permissions, and its owner where that is allowed
    // (otherwise it belongs to whoever writes it).
    [[maybe_unused]] int owned = ::fchown(fd_, st.st_uid, st.st_gid);
    ::fchmod(fd_, mode);
  }
  return 0;
}

int ReplacingFile::Write(const void* data, std::size_t size) {
  if (fd_ < 0) return EBADF;
  if (int e = FileFault(FileStep::Write)) return e;
  if (int e = WriteAll(fd_, static_cast<const char*>(data), size)) return e;
  written_ += size;
#if defined(SYNC_FILE_RANGE_WRITE) && !defined(__EMSCRIPTEN__)  // declared there, not provided
  // The disk starts on what is written while the rest is still being made, so the flush of
  // Commit waits for little more than the last stretch. Only a hint: Commit's fsync reports.
  constexpr std::uint64_t kStretch = std::uint64_t{4} << 20;
  if (!direct_ && written_ - handedOver_ >= kStretch) {
    (void)::sync_file_range(fd_, static_cast<off_t>(handedOver_),
                            static_cast<off_t>(written_ - handedOver_), SYNC_FILE_RANGE_WRITE);
    handedOver_ = written_;
  }
#endif
  return 0;
}

int ReplacingFile::Commit() {
  if (fd_ < 0) return EBADF;
  int result = FileFault(FileStep::Sync);
  // A device or pipe has nothing to flush (and may refuse fsync).
  if (result == 0 && !direct_ && ::fsync(fd_) != 0) result = errno;
  if (::close(fd_) != 0 && result == 0) result = errno;
  fd_ = -1;
  if (direct_) {
    direct_ = false;
    return result;
  }
  if (result == 0) result = FileFault(FileStep::Rename);
  if (result == 0) {
    if (replace_) {
      if (::rename(temp_.c_str(), dest_.c_str()) != 0) result = errno;
    } else {
      result = RenameNoReplace(temp_, dest_);
    }
  }
  if (result != 0) {
    ::unlink(temp_.c_str());
  } else {
    // The new name itself must survive a crash too.
    int dir = ::open(FolderOf(dest_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      ::fsync(dir);
      ::close(dir);
    }
  }
  temp_.clear();
  return result;
}

void ReplacingFile::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
  direct_ = false;
}

}  // namespace tarvik::platform
