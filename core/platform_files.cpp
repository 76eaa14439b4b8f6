#include "core/platform_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string_view>

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

constexpr int kWaitMs = 100;  // how often a wait for a pipe's other end looks at its cancel flag

bool Cancelled(const std::atomic<std::uint32_t>* cancel) {
  return cancel && cancel->load(std::memory_order_relaxed) != 0;
}

// Waits until `fd` is ready for `events`, looking at `cancel` every kWaitMs. 0 or ECANCELED.
int WaitReady(int fd, short events, const std::atomic<std::uint32_t>* cancel) {
  for (;;) {
    if (Cancelled(cancel)) return ECANCELED;
    struct pollfd p = {fd, events, 0};
    int n = ::poll(&p, 1, kWaitMs);
    if (n > 0) return 0;
    if (n < 0 && errno != EINTR) return 0;  // the read or write itself will tell
  }
}

// Writes every byte; a device or pipe that cannot take them now (non-blocking) is waited for.
int WriteAll(int fd, const char* p, std::size_t n, const std::atomic<std::uint32_t>* cancel) {
  while (n > 0) {
    ssize_t done = ::write(fd, p, n);
    if (done < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        if (int e = WaitReady(fd, POLLOUT, cancel)) return e;
        continue;
      }
      return errno;
    }
    p += done;
    n -= static_cast<std::size_t>(done);
  }
  return 0;
}

// When this run began: a temporary older than that is not one of its own. Read from the
// coarse clock that stamps files, so a file this run writes is never dated before it.
const struct timespec g_runStart = [] {
  struct timespec t {};
#ifdef CLOCK_REALTIME_COARSE
  if (::clock_gettime(CLOCK_REALTIME_COARSE, &t) == 0) return t;
#endif
  ::clock_gettime(CLOCK_REALTIME, &t);
  return t;
}();

bool Before(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// The process id in a temporary's name ".NAME.<12 hex>.<pid>.tmp" after the prefix ".NAME.";
// 0 for a name of the older form without one; -1 for any other name.
long TemporaryOwner(std::string_view name, std::string_view prefix) {
  constexpr std::string_view kSuffix = ".tmp";
  if (name.size() < prefix.size() + 12 + kSuffix.size() || !name.starts_with(prefix) ||
      !name.ends_with(kSuffix))
    return -1;
  name = name.substr(prefix.size(), name.size() - prefix.size() - kSuffix.size());
  for (std::size_t k = 0; k < 12; ++k)
    if (!std::isxdigit(static_cast<unsigned char>(name[k]))) return -1;
  if (name.size() == 12) return 0;
  if (name[12] != '.' || name.size() == 13 || name.size() > 13 + 9) return -1;
  long pid = 0;
  for (char c : name.substr(13)) {
    if (c < '0' || c > '9') return -1;
    pid = pid * 10 + (c - '0');
  }
  return pid > 0 ? pid : -1;
}

// Whether process `pid` still runs (one that may not be signalled does).
bool ProcessAlive(long pid) {
  if (pid == ::getpid()) return false;  // a name of ours from before this run: an earlier owner
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

}  // namespace

void RemoveStaleTemporaries(const std::string& target) {
  const std::string folder = FolderOf(target);
  const std::string prefix = "." + NameOf(target) + ".";
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  const uid_t user = ::geteuid();
  while (const struct dirent* entry = ::readdir(dir)) {
    const long owner = TemporaryOwner(entry->d_name, prefix);
    if (owner < 0) continue;
    struct stat st {};
    if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISREG(st.st_mode) || st.st_uid != user || !Before(st.st_mtim, g_runStart)) continue;
    if (owner > 0 && ProcessAlive(owner)) continue;
    ::unlinkat(::dirfd(dir), entry->d_name, 0);
  }
  ::closedir(dir);
}

namespace {

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

bool IsDeviceOrPipe(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode));
}

ReplacingFile::~ReplacingFile() {
  Discard();
}

int ReplacingFile::OpenDirect(const std::string& target) {
  dest_ = target;
  // Without waiting for a pipe's reader: the wait below looks at the cancel flag.
  for (;;) {
    fd_ = ::open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ >= 0) break;
    if (errno == EINTR) continue;
    if (errno != ENXIO) return errno;  // ENXIO: a pipe nobody reads yet
    if (Cancelled(cancel_)) return ECANCELED;
    ::poll(nullptr, 0, kWaitMs);
  }
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !(S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode))) {
    int e = errno ? errno : EINVAL;
    ::close(fd_);
    fd_ = -1;
    return S_ISDIR(st.st_mode) ? EISDIR : e;  // something else took the name meanwhile
  }
  direct_ = true;
  return 0;
}

int ReplacingFile::Open(const std::string& target, bool replace) {
  Discard();
  replace_ = replace;
  direct_ = false;
  written_ = handedOver_ = 0;
  if (target.empty()) return ENOENT;
  if (int e = FileFault(FileStep::Open)) return e;
  dest_ = target;
  {
    // A device or pipe holds nothing to lose and cannot be replaced: it is written as it is,
    // with or without leave to replace. Other special files are not written at all.
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
      if (IsDeviceOrPipe(target)) return OpenDirect(target);
      if (S_ISDIR(st.st_mode)) return EISDIR;
      if (!S_ISREG(st.st_mode)) return ENOTSUP;
    }
  }
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
    if (!S_ISREG(st.st_mode)) return ENOTSUP;  // took the name since the look above
    // A file its owner made read-only is not replaced either.
    if (::access(dest_.c_str(), W_OK) != 0) return errno;
    mode = st.st_mode & 07777;
  }

  RemoveStaleTemporaries(dest_);
  // The process id in the name tells a later run whether the writer still lives.
  const std::string prefix = FolderOf(dest_) + "/." + NameOf(dest_) + ".";
  const std::string suffix = "." + std::to_string(::getpid()) + ".tmp";
  for (int attempt = 0; attempt < 100; ++attempt) {
    temp_ = prefix + RandomTag() + suffix;
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
  if (int e = WriteAll(fd_, static_cast<const char*>(data), size, cancel_)) return e;
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

long ReadWaiting(int fd, void* buffer, std::size_t n, const std::atomic<std::uint32_t>* cancel) {
  struct stat st {};
  const bool waits = ::fstat(fd, &st) == 0 && !S_ISREG(st.st_mode);
  for (;;) {
    // A pipe opened without waiting for its writer reads as ended until one came: wait first.
    if (waits) {
      if (int e = WaitReady(fd, POLLIN, cancel)) {
        errno = e;
        return -1;
      }
    }
    ssize_t got = ::read(fd, buffer, n);
    if (got >= 0) return static_cast<long>(got);
    if (errno == EINTR || ((errno == EAGAIN || errno == EWOULDBLOCK) && waits)) continue;
    return -1;
  }
}

}  // namespace tarvik::platform
