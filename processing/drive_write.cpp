// The drive write: plans the files of every enabled profile and writes them through the
// export, one after another, in one task.
#include "processing/drive_write.h"

#include <algorithm>

#include "core/platform.h"
#include "core/platform_drives.h"
#include "core/platform_files.h"
#include "core/store_lock.h"
#include "core/text.h"
#include "params/param_store.h"
#include "processing/poi_store.h"
#include "resources/string_ids.h"

namespace tarvik {
namespace {

bool IsAsciiLetter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// Upper case as FAT compares names: ASCII and the Russian alphabet.
char16_t FoldCase(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 0x20);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 0x50);
  return c;
}

std::u16string Folded(std::u16string_view s) {
  std::u16string out(s);
  for (char16_t& c : out) c = FoldCase(c);
  return out;
}

std::u16string JoinRoot(std::u16string_view root, std::u16string_view relative) {
  std::u16string path(root);
  while (path.size() > 1 && path.back() == u'/') path.pop_back();
  if (path != u"/") path += u'/';
  return path + std::u16string(relative);
}

// The folder part of a path; "" for a bare name, "/" for a name in the root.
std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return path.substr(0, slash == 0 ? 1 : slash);
}

// A character as the refusal names it: itself, or U+XXXX for one that cannot be seen.
std::u16string CharName(char16_t c) {
  if (c >= 0x20) return std::u16string(1, c);
  static const char16_t kHex[] = u"0123456789ABCDEF";
  return {u'U', u'+', u'0', u'0', kHex[c >> 4], kHex[c & 15]};
}

// Passes the export's reports on, its progress as a share of the whole write and its status
// as the line of the profile being written.
class DriveSink : public TaskSink {
 public:
  DriveSink(TaskSink* inner, std::size_t count) : inner_(inner), count_(count ? count : 1) {}

  void Begin(std::size_t index, std::u16string status) {
    index_ = index;
    status_ = std::move(status);
    SetStatus(0);
    SetProgress(0);
  }
  void SetProgress(int percent) override {
    if (inner_)
      inner_->SetProgress(
          static_cast<int>((index_ * 100 + static_cast<std::size_t>(percent)) / count_));
  }
  void SetStatus(std::uint32_t) override {
    if (inner_) inner_->SetStatusText(status_);
  }
  void SetStatusText(const std::u16string& text) override {
    if (inner_) inner_->SetStatusText(text);
  }
  void EnableCancel(bool on) override {
    if (inner_) inner_->EnableCancel(on);
  }
  void EndTask(int code) override {
    if (inner_) inner_->EndTask(code);
  }

 private:
  TaskSink* inner_;
  std::size_t count_;
  std::size_t index_ = 0;
  std::u16string status_;
};

}  // namespace

DrivePathError DriveRelativePath(std::u16string_view folder, std::u16string_view file,
                                 std::u16string& out) {
  out.clear();
  bool outside = false;
  auto add = [&](std::u16string_view text) {
    std::size_t at = 0;
    while (at <= text.size()) {
      std::size_t end = text.find_first_of(u"/\\", at);
      if (end == std::u16string_view::npos) end = text.size();
      const std::u16string_view part = text.substr(at, end - at);
      if (part == u"..") {
        outside = true;
      } else if (!part.empty() && part != u".") {
        if (!out.empty()) out += u'/';
        out += part;
      }
      at = end + 1;
    }
  };
  // A Windows-made folder names its drive: "E:\POI" is the folder POI of whatever drive.
  if (folder.size() >= 2 && folder[1] == u':' && IsAsciiLetter(folder[0])) folder.remove_prefix(2);
  add(folder);
  add(file);
  if (outside) return DrivePathError::Outside;
  // The file's own name is its last part: "Car\" or "." names none.
  const std::size_t last = file.find_last_of(u"/\\");
  const std::u16string_view name = last == std::u16string_view::npos ? file : file.substr(last + 1);
  return name.empty() || name == u"." ? DrivePathError::NoFileName : DrivePathError::None;
}

char16_t FatForbidden(std::u16string_view relative, std::u16string& badPart) {
  badPart.clear();
  for (char16_t c : relative)
    if (c < 0x20 || std::u16string_view(u"*?<>|\":").find(c) != std::u16string_view::npos) return c;
  std::size_t at = 0;
  while (at < relative.size()) {
    std::size_t end = relative.find(u'/', at);
    if (end == std::u16string_view::npos) end = relative.size();
    const std::u16string_view part = relative.substr(at, end - at);
    if (!part.empty() && (part.back() == u'.' || part.back() == u' ')) {
      badPart = part;
      return 0;
    }
    at = end + 1;
  }
  return 0;
}

std::u16string PlanDriveWrite(CParamStore& params, std::u16string_view root,
                              std::u16string_view fsType, DrivePlan& plan) {
  plan = {};
  plan.root = root;
  plan.fsType = fsType;
  plan.maxFileBytes = platform::IsFat(fsType) ? 0xFFFFFFFFull : 0;
  const bool fat = platform::IsFatFamily(fsType);
  std::vector<std::u16string> keys;
  for (ExportProfile& p : params.Profiles()) {
    if (IsDeleted(p) || !(p.Param & PARAM_ENABLED)) continue;
    const std::u16string name(FieldText(p.Name));
    std::u16string relative;
    switch (DriveRelativePath(FieldText(p.Folder), FieldText(p.File), relative)) {
      case DrivePathError::None:
        break;
      case DrivePathError::NoFileName:
        return StrLoad(STR_DRIVE_NO_FILE_NAME, name);
      case DrivePathError::Outside: {
        const std::u16string_view folder = FieldText(p.Folder);
        return StrLoad(STR_DRIVE_OUTSIDE, name,
                       folder.empty()
                           ? std::u16string(FieldText(p.File))
                           : std::u16string(folder) + u'/' + std::u16string(FieldText(p.File)));
      }
    }
    if (fat) {
      std::u16string badPart;
      if (const char16_t c = FatForbidden(relative, badPart))
        return StrLoad(STR_DRIVE_BAD_CHAR, name, CharName(c), root, fsType);
      if (!badPart.empty()) return StrLoad(STR_DRIVE_BAD_END, name, badPart, root, fsType);
    }
    // Two profiles must not write one file: the second would replace the first.
    std::u16string key = fat ? Folded(relative) : relative;
    const auto same = std::find(keys.begin(), keys.end(), key);
    if (same != keys.end()) {
      const DriveFile& first = plan.files[static_cast<std::size_t>(same - keys.begin())];
      return StrLoad(STR_DRIVE_COLLISION, FieldText(first.profile->Name), name,
                     JoinRoot(root, relative));
    }
    keys.push_back(std::move(key));
    DriveFile file;
    file.profile = &p;
    file.path = JoinRoot(root, relative);
    file.relative = std::move(relative);
    file.exists = platform::NameTaken(platform::NativePath(file.path));
    plan.files.push_back(std::move(file));
  }
  if (plan.files.empty()) return StrLoad(STR_CLI_NO_ENABLED_PROFILE);
  return {};
}

std::vector<std::u16string> ExistingFiles(const DrivePlan& plan) {
  std::vector<std::u16string> out;
  for (const DriveFile& f : plan.files)
    if (f.exists) out.push_back(f.path);
  return out;
}

bool WriteToDrive(WorkerTask& task) {
  if (!task.drivePlan || !task.paramStore || !task.poiStore) return false;
  const DrivePlan& plan = *task.drivePlan;
  DriveReport& report = task.driveReport;
  report = {};
  // The plan points at the profiles: they stay where they are while the store is held.
  StoreHold<CParamStore> hold(task.paramStore, StoreHold<CParamStore>::Try);
  if (!hold) {
    SetFailure(task, STR_DRIVE_PARAMS_BUSY);
    return !Aborted(task);
  }
  const std::string root = platform::NativePath(plan.root);
  std::vector<std::string> touched;  // folders whose lists of names changed
  auto touch = [&](const std::string& folder) {
    if (std::find(touched.begin(), touched.end(), folder) == touched.end())
      touched.push_back(folder);
  };

  DriveSink sink(task.progressWindow, plan.files.size());
  TaskSink* const outer = task.progressWindow;
  task.progressWindow = outer ? &sink : nullptr;
  for (std::size_t k = 0; k < plan.files.size() && !Aborted(task); ++k) {
    const DriveFile& file = plan.files[k];
    const std::u16string name(FieldText(file.profile->Name));
    sink.Begin(k, StrLoad(STR_DRIVE_STATUS, name, static_cast<unsigned>(k + 1),
                          static_cast<unsigned>(plan.files.size())));
    if (Aborted(task)) break;
    const std::string native = platform::NativePath(file.path);
    const std::string relativeFolder = FolderOf(platform::NativePath(file.relative));
    std::vector<std::string> made;
    const int e = platform::MakeFolders(root, relativeFolder, made);
    for (const std::string& folder : made) touch(FolderOf(folder));
    if (e != 0) {
      SetFailureText(task, STR_DRIVE_FAIL_FOLDER,
                     JoinRoot(plan.root, platform::PathFromNative(relativeFolder)),
                     Utf8ToUtf16(platform::ErrorText(e)));
      break;
    }
    task.targetPath = file.path;
    task.exportProfile = file.profile;
    task.replaceTarget = file.exists;
    task.outputLimit = plan.maxFileBytes;
    ExportPois(task);
    if (task.failure.stringId != 0) {
      task.failure = {STR_DRIVE_PROFILE_FAILED,
                      StrLoad(STR_DRIVE_PROFILE_FAILED, name, FailureText(task.failure))};
      break;
    }
    if (Aborted(task)) break;
    touch(FolderOf(native));
    report.written.push_back({name, file.path, task.exportResult});
  }
  task.progressWindow = outer;

  // Only what reached the disk counts: the folders' lists of names, then the whole drive.
  if (!touched.empty()) {
    int e = 0;
    for (const std::string& folder : touched)
      if (e == 0) e = platform::SyncFolder(folder);
    if (e == 0) e = platform::SyncFileSystem(root);
    if (e != 0)
      SetFailureText(task, STR_DRIVE_FAIL_SYNC, plan.root, Utf8ToUtf16(platform::ErrorText(e)));
    report.flushed = e == 0;
  }
  if (task.failure.stringId == 0 && !Aborted(task)) ReportProgress(task, 100);
  return !Aborted(task);
}

std::vector<std::u16string> DriveSummary(const DriveReport& report, const TaskFailure& failure,
                                         bool aborted, std::u16string_view root) {
  std::vector<std::u16string> lines;
  for (const DriveFileResult& w : report.written) {
    lines.push_back(StrLoad(STR_DRIVE_WRITTEN, w.profileName, w.path,
                            static_cast<unsigned long long>(w.result.linesWritten),
                            static_cast<unsigned long long>(w.result.bytesWritten)));
    if (w.result.linesLeftOut != 0)
      lines.push_back(StrLoad(STR_DRIVE_LEFT_OUT, w.profileName,
                              static_cast<unsigned long long>(w.result.linesLeftOut)));
  }
  if (failure.stringId != 0) {
    lines.push_back(FailureText(failure));
  } else if (aborted) {
    lines.push_back(StrLoad(STR_DRIVE_CANCELLED));
  } else if (report.flushed) {
    lines.push_back(StrLoad(STR_DRIVE_ALL_DONE, root));
  }
  return lines;
}

}  // namespace tarvik
