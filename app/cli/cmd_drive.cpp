// tarvik-cli drive --list
// tarvik-cli drive FILE --to FOLDER [--ini PATH] [--schema NAME] [--areas NAME[,NAME...]]
//   [--types CODE[,CODE...]] [--yes] [--eject]
// The drive dialog from a terminal: lists the removable drives mounted now, or writes the
// ticked rows through every enabled export profile onto a drive or into a folder, then may
// remove the drive safely.
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/cli/cli_common.h"
#include "app/cli/convert_session.h"
#include "core/platform_drives.h"
#include "core/platform_files.h"
#include "core/store_lock.h"
#include "processing/drive_write.h"
#include "resources/string_ids.h"

#ifdef TARVIK_HAVE_UDISKS
#include <QCoreApplication>

#include "udisks/udisks_client.h"
#endif

namespace tarvik::cli {

namespace {

struct DriveOptions : SessionOptions {
  std::string to;
  std::vector<std::string> areas;
  std::vector<std::string> types;
  bool list = false;
  bool yes = false;
  bool eject = false;
};

// UDisks2 when the program has it and it answers, else the kernel's mount table.
class Drives {
 public:
  Drives() {
#ifdef TARVIK_HAVE_UDISKS
    // Qt D-Bus runs its connection for an application object.
    if (!QCoreApplication::instance()) app_ = std::make_unique<QCoreApplication>(argc_, argv_);
    udisks_ = std::make_unique<UDisksClient>();
#endif
  }

  // The drives mounted now; where they came from is said on stderr.
  std::vector<platform::MountedDrive> Detect() {
    std::vector<platform::MountedDrive> drives;
    reason_ = STR_UDISKS_NOT_BUILT;
#ifdef TARVIK_HAVE_UDISKS
    fromUDisks_ = udisks_->Read(drives, reason_);
#endif
    if (!fromUDisks_) drives = platform::ReadRemovableMounts();
    PrintError(fromUDisks_ ? Text(STR_DRIVE_FROM_UDISKS)
                           : Text(STR_DRIVE_FROM_KERNEL, StrLoad(reason_)));
    return drives;
  }

  // Removes the drive that holds `folder`. kExitOk when it may be pulled out; otherwise
  // kExitFailed after saying why.
  int Eject(const std::u16string& folder) {
    const std::vector<platform::MountedDrive> drives = Detect();
    if (!fromUDisks_) {
      PrintError(Text(STR_DRIVE_EJECT_FAILED, folder, StrLoad(reason_)));
      return kExitFailed;
    }
    std::error_code ec;
    const std::u16string real = platform::PathFromNative(
        std::filesystem::canonical(platform::NativePath(folder), ec).native());
    const platform::MountedDrive* holder = nullptr;
    for (const platform::MountedDrive& d : drives) {
      const std::u16string& m = d.mountPoint;
      const bool under = real.compare(0, m.size(), m) == 0 &&
                         (real.size() == m.size() || real[m.size()] == u'/' || m == u"/");
      if (under && !d.driveId.empty() && (!holder || m.size() > holder->mountPoint.size()))
        holder = &d;
    }
#ifdef TARVIK_HAVE_UDISKS
    if (holder) {
      const std::u16string name = holder->label.empty() ? holder->mountPoint : holder->label;
      std::u16string error;
      switch (udisks_->Eject(holder->driveId, error)) {
        case UDisksClient::EjectResult::Ejected: {
          Output out;
          out.Append(Text(STR_DRIVE_EJECTED, name) + '\n');
          return out.Finish() ? kExitOk : kExitFailed;
        }
        case UDisksClient::EjectResult::Busy:
          PrintError(Text(STR_DRIVE_BUSY, name));
          return kExitFailed;
        case UDisksClient::EjectResult::Failed:
          PrintError(Text(STR_DRIVE_EJECT_FAILED, name, error));
          return kExitFailed;
      }
    }
#endif
    PrintError(Text(STR_DRIVE_NOT_EJECTABLE, folder));
    return kExitFailed;
  }

 private:
#ifdef TARVIK_HAVE_UDISKS
  int argc_ = 1;
  char name_[11] = "tarvik-cli";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QCoreApplication> app_;
  std::unique_ptr<UDisksClient> udisks_;
#endif
  bool fromUDisks_ = false;
  std::uint32_t reason_ = 0;
};

int ListDrives() {
  Drives drives;
  const std::vector<platform::MountedDrive> found = drives.Detect();
  if (found.empty()) PrintError(Text(STR_CLI_DRIVE_NONE));
  Output out;
  for (const platform::MountedDrive& d : found)
    out.Append(Utf16ToUtf8KeepingBytes(d.mountPoint) + '\t' + Utf16ToUtf8(d.label) + '\t' +
               Utf16ToUtf8(d.fsType) + '\t' + std::to_string(d.freeBytes) + '\n');
  return out.Finish() ? kExitOk : kExitFailed;
}

int RunDriveWrite(const DriveOptions& options) {
  ConvertSession session;
  if (int status = session.LoadSettings(options); status != kExitOk) return status;

  const std::u16string folder = PathArgument(options.to);
  struct stat st {};
  if (::stat(options.to.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    PrintError(Text(STR_CLI_DRIVE_NO_FOLDER, folder));
    return kExitFailed;
  }
  platform::MountedDrive mount;
  platform::MountOf(options.to, mount);
  DrivePlan plan;
  {
    StoreHold<CParamStore> hold(&session.params, StoreHold<CParamStore>::Wait);
    const std::u16string problem = PlanDriveWrite(session.params, folder, mount.fsType, plan);
    if (!problem.empty()) {
      PrintError(Utf16ToUtf8(problem));
      return kExitFailed;
    }
  }
  // Checked again when each file is written, which never replaces what appeared meanwhile.
  if (const std::vector<std::u16string> existing = ExistingFiles(plan);
      !existing.empty() && !options.yes) {
    std::u16string paths;
    for (const std::u16string& p : existing) paths += (paths.empty() ? u"" : u", ") + p;
    PrintError(Text(STR_CLI_DRIVE_EXISTS, paths));
    return kExitFailed;
  }

  if (int status = session.LoadTable(options.file); status != kExitOk) return status;
  ConvertSession::Selection selection;
  if (int status = session.Select(options.areas, options.types, selection); status != kExitOk)
    return status;

  WorkerTask task;
  session.Prepare(task, TASK_DRIVE, selection);
  task.drivePlan = &plan;
  session.Run(task);
  const bool cancelled = Aborted(task) && task.failure.stringId == 0;
  const bool done = task.failure.stringId == 0 && !cancelled && task.driveReport.flushed;
  std::vector<std::u16string> summary =
      DriveSummary(task.driveReport, task.failure, cancelled, plan.root);
  Output out;
  for (std::size_t k = 0; k < summary.size(); ++k)
    if (done || k + 1 < summary.size()) out.Append(Utf16ToUtf8(summary[k]) + '\n');
  const bool printed = out.Finish();
  if (!done) {
    PrintError(summary.empty() ? AbortMessage(task) : Utf16ToUtf8(summary.back()));
    return kExitFailed;
  }
  if (!printed) return kExitFailed;
  return options.eject ? Drives().Eject(folder) : kExitOk;
}

}  // namespace

void RegisterDrive(CliApp& app) {
  auto options = std::make_shared<DriveOptions>();
  CLI::App* cmd = app.AddCommand("drive", STR_CLI_DRIVE_HELP, [options] {
    if (!options->list) return RunDriveWrite(*options);
    // --list takes nothing else.
    const std::string other = !options->file.empty() ? options->file
                              : !options->to.empty() ? std::string("--to")
                              : options->yes         ? std::string("--yes")
                              : options->eject       ? std::string("--eject")
                                                     : std::string();
    if (other.empty()) return ListDrives();
    PrintError(Text(STR_CLI_DRIVE_LIST_ALONE, PathArgument(other)));
    PrintError(Text(STR_CLI_SEE_HELP, std::u16string(u"tarvik-cli drive")));
    return static_cast<int>(kExitUsage);
  });
  CLI::Option* file =
      cmd->add_option(Text(STR_CLI_ARG_FILE), options->file, Text(STR_CLI_TABLE_FILE))
          ->type_name("");
  CLI::Option* to = cmd->add_option("--to", options->to, Text(STR_CLI_DRIVE_TO))
                        ->type_name(Text(STR_CLI_TYPE_FOLDER));
  cmd->add_flag("--list", options->list, Text(STR_CLI_DRIVE_LIST));
  cmd->add_option("--ini", options->ini, Text(STR_CLI_INI))->type_name(Text(STR_CLI_TYPE_FILE));
  cmd->add_option("--schema", options->schema, Text(STR_CLI_SCHEMA))
      ->type_name(Text(STR_CLI_TYPE_NAME));
  cmd->add_option("--areas", options->areas, Text(STR_CLI_AREAS))
      ->type_name(Text(STR_CLI_TYPE_NAME))
      ->delimiter(',');
  cmd->add_option("--types", options->types, Text(STR_CLI_TYPES))
      ->type_name(Text(STR_CLI_TYPE_CODE))
      ->delimiter(',');
  cmd->add_flag("--yes", options->yes, Text(STR_CLI_DRIVE_YES));
  cmd->add_flag("--eject", options->eject, Text(STR_CLI_DRIVE_EJECT));
  // Without --list the table and the folder are required.
  cmd->parse_complete_callback([options, file, to] {
    if (options->list) return;
    if (options->file.empty()) throw CLI::RequiredError(file->get_name());
    if (options->to.empty()) throw CLI::RequiredError(to->get_name());
  });
}

}  // namespace tarvik::cli
