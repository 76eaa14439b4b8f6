#pragma once
// Writing the selection onto a drive: every enabled export profile into
// <drive>/<Folder>/<File>, each file exactly what the export writes for that profile, all of
// them in one task, and the drive flushed at the end so that it may be pulled out.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "processing/task.h"

namespace tarvik {

class CParamStore;
struct ExportProfile;

// One file to write.
struct DriveFile {
  ExportProfile* profile = nullptr;
  std::u16string relative;  // under the root, folders separated by '/'
  std::u16string path;      // the root and `relative`
  bool exists = false;      // something had the name when planned
};

// The files of one write, in store order of their profiles.
struct DrivePlan {
  std::u16string root;
  std::u16string fsType;
  std::uint64_t maxFileBytes = 0;  // the largest file the file system holds; 0: no limit
  std::vector<DriveFile> files;
};

// The path under a drive's root of a profile's Folder and File: backslashes are separators,
// a leading drive letter and leading separators of Folder are dropped, so "E:\POI" is "POI";
// empty and "." parts are skipped. `out` gets the parts joined with '/'.
enum class DrivePathError { None, NoFileName, Outside /* a ".." part */ };
DrivePathError DriveRelativePath(std::u16string_view folder, std::u16string_view file,
                                 std::u16string& out);

// The first character of `relative` that the FAT family refuses in names (* ? < > | " : and
// control characters), or 0. A part ending in a dot or a space is reported through
// `badPart` (the part) with 0 returned; `badPart` stays empty otherwise.
char16_t FatForbidden(std::u16string_view relative, std::u16string& badPart);

// Plans the write of every enabled profile under `root`, a folder on a file system of type
// `fsType` (its FAT rules apply there). The parameter store must be held. Empty on success,
// otherwise what stands in the way, as the user reads it (nothing is written then).
std::u16string PlanDriveWrite(CParamStore& params, std::u16string_view root,
                              std::u16string_view fsType, DrivePlan& plan);

// The paths of the planned files that exist.
std::vector<std::u16string> ExistingFiles(const DrivePlan& plan);

// The stage TASK_DRIVE: writes the files of task.drivePlan with task.entryList and
// task.areaList through the export, replacing those that existed when planned, each whole or
// not at all. It stops at the first failure or a cancel; what was written stays whole. Then
// it flushes the folders it touched and the file system. Runs under the POI store's lock and
// needs the parameter store free. False when it could not run or was cancelled.
bool WriteToDrive(WorkerTask& task);

// What a drive write did, as the user reads it: a line per file written, then the failure,
// the cancel or the all-clear.
std::vector<std::u16string> DriveSummary(const DriveReport& report, const TaskFailure& failure,
                                         bool aborted, std::u16string_view root);

}  // namespace tarvik
