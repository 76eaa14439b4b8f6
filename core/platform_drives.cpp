#include "core/platform_drives.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "core/platform_files.h"

namespace tarvik::platform {
namespace {

namespace fs = std::filesystem;

// One line of mountinfo: "36 35 98:0 /root /mount/point opts [optional...] - fstype source
// superopts"; names escape space, tab, newline and backslash as \ooo.
struct MountLine {
  std::string device;  // major:minor
  std::string root;
  std::string mountPoint;
  std::string fsType;
  std::string source;
};

std::string Unescape(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '3' && s[i + 2] >= '0' &&
        s[i + 2] <= '7' && s[i + 3] >= '0' && s[i + 3] <= '7') {
      out += static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
      i += 3;
    } else {
      out += s[i];
    }
  }
  return out;
}

bool ParseMountLine(std::string_view line, MountLine& out) {
  std::vector<std::string_view> f;
  std::size_t at = 0;
  while (at < line.size()) {
    std::size_t end = line.find(' ', at);
    if (end == std::string_view::npos) end = line.size();
    if (end > at) f.push_back(line.substr(at, end - at));
    at = end + 1;
  }
  std::size_t dash = 6;
  while (dash < f.size() && f[dash] != "-") ++dash;
  if (f.size() < 5 || dash + 2 >= f.size()) return false;
  out.device = std::string(f[2]);
  out.root = Unescape(f[3]);
  out.mountPoint = Unescape(f[4]);
  out.fsType = Unescape(f[dash + 1]);
  out.source = Unescape(f[dash + 2]);
  return true;
}

bool ReadMounts(const std::string& path, std::vector<MountLine>& out) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  MountLine m;
  while (std::getline(in, line))
    if (ParseMountLine(line, m)) out.push_back(m);
  return true;
}

std::string ReadFirstLine(const fs::path& p) {
  std::ifstream in(p);
  std::string s;
  std::getline(in, s);
  return s;
}

// Whether the block device major:minor sits on a USB bus or on a removable disk.
bool IsRemovableDevice(const std::string& sysfs, const std::string& device) {
  std::error_code ec;
  const fs::path dev = fs::canonical(fs::path(sysfs) / "dev" / "block" / device, ec);
  if (ec) return false;
  for (const fs::path& part : dev)
    if (part.native().rfind("usb", 0) == 0) return true;
  // A partition's disk is the folder above it.
  const fs::path disk = fs::exists(dev / "partition", ec) ? dev.parent_path() : dev;
  return ReadFirstLine(disk / "removable") == "1";
}

// udev names label links with \xNN for bytes that are not safe in a name.
std::string DecodeLabel(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x') {
      char* end = nullptr;
      const std::string hex(s.substr(i + 2, 2));
      long v = std::strtol(hex.c_str(), &end, 16);
      if (end == hex.c_str() + 2) {
        out += static_cast<char>(v);
        i += 3;
        continue;
      }
    }
    out += s[i];
  }
  return out;
}

std::string LabelOf(const std::string& labels, const std::string& source) {
  const std::string device = fs::path(source).filename().native();
  std::error_code ec;
  for (fs::directory_iterator it(labels, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path target = fs::read_symlink(it->path(), ec);
    if (!ec && target.filename() == device) return DecodeLabel(it->path().filename().native());
    ec.clear();
  }
  return {};
}

MountedDrive ToDrive(const MountLine& m) {
  MountedDrive d;
  d.mountPoint = PathFromNative(m.mountPoint);
  d.fsType = PathFromNative(m.fsType);
  d.device = PathFromNative(m.source);
  d.freeBytes = FreeBytes(m.mountPoint);
  return d;
}

// True when `path` is `folder` or lies below it.
bool Under(const std::string& path, const std::string& folder) {
  if (folder == "/") return true;
  return path.compare(0, folder.size(), folder) == 0 &&
         (path.size() == folder.size() || path[folder.size()] == '/');
}

std::u16string_view Lower(std::u16string_view s, char16_t* buf, std::size_t cap) {
  std::size_t n = 0;
  for (char16_t c : s) {
    if (n == cap) break;
    buf[n++] = c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
  }
  return {buf, n};
}

}  // namespace

std::vector<MountedDrive> ReadRemovableMounts(const MountSources& sources) {
  std::vector<MountLine> mounts;
  std::vector<MountedDrive> out;
  if (!ReadMounts(sources.mountinfo, mounts)) return out;
  for (const MountLine& m : mounts) {
    // A bind mount of a folder inside a file system is not the drive's root.
    if (m.root != "/" || m.source.rfind("/dev/", 0) != 0) continue;
    if (!IsRemovableDevice(sources.sysfs, m.device)) continue;
    MountedDrive d = ToDrive(m);
    d.label = PathFromNative(LabelOf(sources.labels, m.source));
    out.push_back(std::move(d));
  }
  return out;
}

bool MountOf(const std::string& path, MountedDrive& out, const MountSources& sources) {
  std::error_code ec;
  const fs::path real = fs::canonical(path, ec);
  if (ec) return false;
  std::vector<MountLine> mounts;
  if (!ReadMounts(sources.mountinfo, mounts)) return false;
  const MountLine* best = nullptr;
  for (const MountLine& m : mounts)
    if (Under(real.native(), m.mountPoint) &&
        (!best || m.mountPoint.size() >= best->mountPoint.size()))
      best = &m;
  if (!best) return false;
  out = ToDrive(*best);
  out.freeBytes = FreeBytes(real.native());
  return true;
}

std::uint64_t FreeBytes(const std::string& path) {
  struct statvfs st {};
  if (::statvfs(path.c_str(), &st) != 0) return 0;
  return static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
}

bool IsFatFamily(std::u16string_view fsType) {
  char16_t buf[16];
  const std::u16string_view t = Lower(fsType, buf, 16);
  return IsFat(t) || t == u"exfat";
}

bool IsFat(std::u16string_view fsType) {
  char16_t buf[16];
  const std::u16string_view t = Lower(fsType, buf, 16);
  return t == u"vfat" || t == u"msdos" || t == u"fat" || t == u"fat32" || t == u"fat16";
}

int MakeFolders(const std::string& root, const std::string& relative,
                std::vector<std::string>& made) {
  std::string path = root;
  std::size_t at = 0;
  while (at < relative.size()) {
    std::size_t end = relative.find('/', at);
    if (end == std::string::npos) end = relative.size();
    if (end > at) {
      if (path.empty() || path.back() != '/') path += '/';
      path.append(relative, at, end - at);
      if (::mkdir(path.c_str(), 0777) == 0) {
        made.push_back(path);
      } else if (errno != EEXIST) {
        return errno;
      } else {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) return errno;
        if (!S_ISDIR(st.st_mode)) return ENOTDIR;
      }
    }
    at = end + 1;
  }
  return 0;
}

int SyncFolder(const std::string& folder) {
  if (int e = FileFault(FileStep::Sync)) return e;
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  int result = ::fsync(fd) == 0 ? 0 : errno;
  // Some file systems cannot flush a folder by itself; the flush of the whole file system
  // that follows covers it there.
  if (result == EINVAL) result = 0;
  ::close(fd);
  return result;
}

int SyncFileSystem(const std::string& path) {
  if (int e = FileFault(FileStep::Sync)) return e;
#if defined(__EMSCRIPTEN__)
  (void)path;  // a page writes to no drive
  return 0;
#else
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int result = ::syncfs(fd) == 0 ? 0 : errno;
  ::close(fd);
  return result;
#endif
}

}  // namespace tarvik::platform
