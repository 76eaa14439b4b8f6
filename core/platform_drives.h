#pragma once
// Drives and folders to write to: the removable drives mounted now as the kernel shows them
// (mountinfo and sysfs, for when UDisks2 cannot be asked), the mount that holds a folder, and
// what a write to a removable drive needs beyond a file written whole: folders made on the
// way, flushed with what they list, and the whole file system flushed at the end.
#include <cstdint>
#include <string>
#include <vector>

namespace tarvik::platform {

// A mounted file system that files can be written to.
struct MountedDrive {
  std::u16string mountPoint;
  std::u16string label;   // empty when the file system has none
  std::u16string fsType;  // as the system names it: vfat, exfat, ext4, ...
  std::uint64_t freeBytes = 0;
  std::u16string device;   // e.g. /dev/sdb1
  std::u16string driveId;  // the UDisks2 object of its drive; empty when not known from there
};

// Where the kernel's view of the mounts and devices is read; tests point it at fixtures.
struct MountSources {
  std::string mountinfo = "/proc/self/mountinfo";
  std::string sysfs = "/sys";
  std::string labels = "/dev/disk/by-label";
};

// The removable drives mounted now, in mount order: file systems mounted whole from a block
// device whose sysfs path runs through a USB bus or whose disk says removable = 1. A device
// mounted at several places is listed at each. Empty when mountinfo cannot be read.
std::vector<MountedDrive> ReadRemovableMounts(const MountSources& sources = {});

// The mount that holds `path` (the last one mounted at the longest mount point above it),
// with its free space; false when `path` does not exist or mountinfo cannot be read.
bool MountOf(const std::string& path, MountedDrive& out, const MountSources& sources = {});

// Bytes an unprivileged writer may still use under `path`; 0 when it cannot be told.
std::uint64_t FreeBytes(const std::string& path);

// True for the FAT family (vfat, msdos, fat) and exFAT: names are compared without regard to
// case and some characters are not allowed.
bool IsFatFamily(std::u16string_view fsType);
// True for FAT itself (not exFAT): no file may reach 4 GiB.
bool IsFat(std::u16string_view fsType);

// Makes `relative` (folders separated by '/') under the existing folder `root`, one level
// at a time; each folder made is added to `made` (its full path). 0 or the reason; a name
// that exists and is not a folder gives ENOTDIR.
int MakeFolders(const std::string& root, const std::string& relative,
                std::vector<std::string>& made);

// Flushes a folder's list of names to disk. 0 or the reason.
int SyncFolder(const std::string& folder);
// Flushes everything written to the file system that holds `path`. 0 or the reason.
int SyncFileSystem(const std::string& path);

}  // namespace tarvik::platform
