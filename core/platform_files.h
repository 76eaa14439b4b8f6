#pragma once
// File names and files written whole. A file the program writes (an export, the settings) is
// made under a new name beside its target and put in the target's place in one step, so a
// failed, cancelled or interrupted write leaves the old file exactly as it was.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvik::platform {

// File names are bytes to the system. As text a name is UTF-8, and each byte that is not part
// of valid UTF-8 becomes U+DC00 + byte, a lone surrogate that no valid name decodes to, so
// NativePath gives the very same bytes back. Shown to the user those bytes read as U+FFFD.
std::u16string PathFromNative(std::string_view bytes);
std::string NativePath(std::u16string_view path);

// Test seam: the steps of file work where a fault can be injected, so that tests reach every
// failure path without full disks or read-only mounts. The hook returns the errno value to
// fail the step with, or 0 to let it run.
enum class FileStep { Read, Open, Write, Sync, Rename };
using FileFaultHook = int (*)(FileStep step);
void SetFileFaultHook(FileFaultHook hook);
// The injected failure of `step`, 0 when there is none.
int FileFault(FileStep step);

// Where a write through `path` lands: the path itself or, for a symbolic link, the name its
// chain of links ends at, also when nothing exists there yet. 0, or ELOOP for a loop.
int ResolveLinks(const std::string& path, std::string& resolved);

// True when something, a dangling symbolic link included, has the name `path`.
bool NameTaken(const std::string& path);
// True when `path` (through links) is a character device or a pipe, which a ReplacingFile
// writes in place.
bool IsDeviceOrPipe(const std::string& path);

// Removes the temporaries that writes of `target` left behind when their run was killed: in
// the target's folder, only regular files of this user named as ReplacingFile names them,
// unchanged since this run began, whose writer (the process id in the name) no longer runs;
// those of older versions, which name none, go by their age alone. ReplacingFile::Open calls it.
void RemoveStaleTemporaries(const std::string& target);

// Reads up to `n` bytes. A pipe or device opened with O_NONBLOCK is waited for, looking at
// `cancel` (may be null) every 100 ms: a pipe whose writer never comes ends no run. Bytes read,
// 0 at the end, or -1 with errno (ECANCELED once cancelled).
long ReadWaiting(int fd, void* buffer, std::size_t n, const std::atomic<std::uint32_t>* cancel);

// A file that takes the place of its target when committed. The new file is created in the
// target's folder under an unpredictable name, exclusively and never through a link; until
// Commit the target is untouched, and the new file goes again on every other way out.
class ReplacingFile {
 public:
  ReplacingFile() = default;
  ~ReplacingFile();
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  // A flag that, once non-zero, ends a wait for a pipe's reader or for room in it with
  // ECANCELED (a run cancelled by the user or a signal). Null: none. Set before Open.
  void CancelWith(const std::atomic<std::uint32_t>* flag) { cancel_ = flag; }

  // A character device or a pipe at `target` (also through links) is written as it is, with or
  // without `replace`: it holds nothing to lose and cannot be replaced. Otherwise, with
  // `replace`, a symbolic link at `target` stays and the file it points to is replaced;
  // without, the name must be free, now (else EEXIST) and when committing. Any other special
  // file is refused (ENOTSUP). Stale temporaries of the target go first
  // (RemoveStaleTemporaries). 0 or the reason.
  int Open(const std::string& target, bool replace);
  // Writes every byte. 0 or the reason.
  int Write(const void* data, std::size_t size);
  // Flushes the file to disk and gives it the target's name, over what is there when opened
  // with `replace`; otherwise EEXIST when the name was taken meanwhile, and the new file goes.
  // 0 or the reason; afterwards nothing is left under a temporary name.
  int Commit();
  // Drops the new file; the target stays as it was.
  void Discard();

  bool isOpen() const { return fd_ >= 0; }
  // Whether the target is written in place (a device or pipe).
  bool direct() const { return direct_; }
  // The path the file will have (the target after its links).
  const std::string& destination() const { return dest_; }

 private:
  int OpenDirect(const std::string& target);

  int fd_ = -1;
  const std::atomic<std::uint32_t>* cancel_ = nullptr;
  bool replace_ = false;
  bool direct_ = false;  // a device or pipe written in place
  std::uint64_t written_ = 0;
  std::uint64_t handedOver_ = 0;  // bytes whose writing to disk has been started
  std::string dest_;
  std::string temp_;
};

}  // namespace tarvik::platform
