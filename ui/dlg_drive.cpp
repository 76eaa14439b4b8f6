#include "ui/dlg_drive.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <optional>

#include "core/platform_files.h"
#include "core/text.h"
#include "processing/drive_write.h"
#include "resources/string_ids.h"
#include "udisks/udisks_client.h"
#include "ui/dlg_proc.h"
#include "ui/framework/dlg_controls.h"
#include "ui/main_prompts.h"

namespace tarvik {
namespace {

constexpr ListColumn kColumns[] = {{STR_COLUMN_MARK, 30},
                                   {STR_DRIVE_COLUMN_LABEL, -25},
                                   {STR_DRIVE_COLUMN_MOUNT, -45},
                                   {STR_DRIVE_COLUMN_FS, -15},
                                   {STR_DRIVE_COLUMN_FREE, -15}};
constexpr int kDriveImage = 0;   // the images of the context's list: enabled
constexpr int kFolderImage = 4;  // an entry

std::u16string FreeText(std::uint64_t bytes) {
  constexpr double kGiB = 1024.0 * 1024.0 * 1024.0;
  const double b = static_cast<double>(bytes);
  return b >= kGiB ? StrLoad(STR_DRIVE_FREE_GB, b / kGiB)
                   : StrLoad(STR_DRIVE_FREE_MB, b / (1024.0 * 1024.0));
}

std::u16string Joined(const std::vector<std::u16string>& lines) {
  std::u16string text;
  for (const std::u16string& line : lines) {
    if (!text.empty()) text += u"\r\n";
    text += line;
  }
  return text;
}

// How the user knows a drive: its label, else where it is mounted.
std::u16string DriveName(const platform::MountedDrive& d) {
  return d.label.empty() ? d.mountPoint : d.label;
}

}  // namespace

CDlgDrive::CDlgDrive() = default;

CDlgDrive::~CDlgDrive() {
  if (mountFd_ >= 0) ::close(mountFd_);
}

void CDlgDrive::OnInitDialog(DlgWindow* window, const DlgStart&, DlgParam param) {
  lastWritten.clear();
  written_.clear();
  summary_.clear();
  if (!Open(window, param)) return;
  list_.SetUp(context, window, {IDC_LIST, 0, 0, kColumns});
  udisks_ = std::make_unique<UDisksClient>();
  if (udisks_->Watch())
    QObject::connect(udisks_.get(), &UDisksClient::changed, [this] { Refresh(); });
  if (ListViewWidget* list = list_.List())
    QObject::connect(list, &QTreeWidget::itemSelectionChanged, [this] { UpdateButtons(); });
  Refresh();
}

void CDlgDrive::Refresh() {
  if (!hwnd) return;
  std::uint32_t reason = STR_UDISKS_NO_SERVICE;
  fromUDisks_ = udisks_ && udisks_->Read(drives_, reason);
  if (fromUDisks_) {
    mountWatch_.reset();
  } else {
    drives_ = platform::ReadRemovableMounts();
    // The kernel marks its mount table changed for whoever watches it; only then is it read
    // again.
    if (!mountWatch_) {
      if (mountFd_ < 0) mountFd_ = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
      if (mountFd_ >= 0) {
        mountWatch_ = std::make_unique<QSocketNotifier>(mountFd_, QSocketNotifier::Exception);
        QObject::connect(mountWatch_.get(), &QSocketNotifier::activated, [this] { Refresh(); });
      }
    }
  }
  SetControlText(Control(IDC_SOURCE), fromUDisks_
                                          ? StrLoad(STR_DRIVE_FROM_UDISKS)
                                          : StrLoad(STR_DRIVE_FROM_KERNEL, StrLoad(reason)));
  auto mounted = [this](const std::u16string& root) {
    return std::any_of(drives_.begin(), drives_.end(),
                       [&](const platform::MountedDrive& d) { return d.mountPoint == root; });
  };
  if (!written_.empty() && !mounted(written_) &&
      std::none_of(folders_.begin(), folders_.end(),
                   [&](const platform::MountedDrive& f) { return f.mountPoint == written_; }))
    written_.clear();
  Fill();
}

void CDlgDrive::Fill() {
  list_.Clear();
  int select = -1;
  auto add = [&](platform::MountedDrive& d, int image, std::u16string label) {
    const int row = list_.Append(&d, image, {label, d.mountPoint, d.fsType, FreeText(d.freeBytes)});
    if (row >= 0 && d.mountPoint == chosen_) select = row;
  };
  for (platform::MountedDrive& d : drives_)
    add(d, kDriveImage, d.label.empty() ? StrLoad(STR_DRIVE_NO_LABEL) : d.label);
  for (platform::MountedDrive& f : folders_) add(f, kFolderImage, StrLoad(STR_DRIVE_FOLDER_ROW));
  // A single drive is the one meant.
  if (select < 0 && chosen_.empty() && list_.Count() == 1) select = 0;
  list_.Select(select);
  selectedRow = select;
  if (const platform::MountedDrive* d = Chosen()) chosen_ = d->mountPoint;
  UpdateButtons();
}

const platform::MountedDrive* CDlgDrive::Chosen() const {
  // One row at most is selected; the keyboard's focus does not matter here.
  const int row = list_.List() ? list_.List()->NextItem(-1, LVNI_SELECTED) : -1;
  return list_.Item<platform::MountedDrive>(row >= 0 ? row : selectedRow);
}

void CDlgDrive::UpdateButtons() {
  const platform::MountedDrive* d = Chosen();
  EnableControl(Control(IDC_EJECT), fromUDisks_ && d && !d->driveId.empty());
}

void CDlgDrive::SetSummary(std::vector<std::u16string> lines) {
  summary_ = std::move(lines);
  SetControlText(Summary(), Joined(summary_));
}

void CDlgDrive::OnCommand(DlgWindow* window, const DlgCommand& command, DlgParam) {
  if (!context) return;
  if (command.id == IDCANCEL || (command.id == IDOK && !Holding())) {
    PostEndMessage(window, static_cast<std::uint32_t>(command.id));
    return;
  }
  if (!Holding()) return;
  // A disabled button cannot be pressed, whoever sends its command.
  if (const QWidget* button = window->Item(command.id); button && !button->isEnabled()) return;
  switch (command.id) {
    case IDOK: {
      const platform::MountedDrive* d = Chosen();
      const bool justWritten = d && !written_.empty() && d->mountPoint == written_;
      if (justWritten || Write()) PostEndMessage(window, IDOK);
      break;
    }
    case IDC_SAVE:
      Write();
      break;
    case IDC_OTHER_FOLDER:
      AddFolder();
      break;
    case IDC_EJECT:
      Eject();
      break;
    default:
      break;
  }
}

void CDlgDrive::OnNotify(DlgWindow*, const DlgNotify& notify, DlgParam) {
  if (!context || notify.id != IDC_LIST || notify.code != NotifyCode::Click) return;
  selectedRow = notify.item;
  const platform::MountedDrive* d = list_.Item<platform::MountedDrive>(notify.item);
  chosen_ = d ? d->mountPoint : std::u16string();
  UpdateButtons();
}

void CDlgDrive::AddFolder() {
  const std::optional<std::u16string> folder = Prompts().ChooseFolder(hwnd, lastFolder_);
  if (!folder || folder->empty()) return;
  lastFolder_ = *folder;
  if (std::none_of(folders_.begin(), folders_.end(),
                   [&](const platform::MountedDrive& f) { return f.mountPoint == *folder; })) {
    platform::MountedDrive entry;
    platform::MountOf(platform::NativePath(*folder), entry);
    entry.mountPoint = *folder;  // the folder itself is the root of the write
    entry.label.clear();
    entry.driveId.clear();  // a folder is not removed
    folders_.push_back(std::move(entry));
  }
  chosen_ = *folder;
  Fill();
}

bool CDlgDrive::Write() {
  const platform::MountedDrive* chosen = Chosen();
  if (!chosen) {
    SetSummary({StrLoad(STR_DRIVE_CHOOSE)});
    return false;
  }
  // The list may be refilled while the write runs; the target stays what it was.
  const platform::MountedDrive target = *chosen;
  chosen_ = target.mountPoint;
  if (!entryList || !areaList) {
    SetSummary({StrLoad(STR_FAIL_EXPORT_NOTHING)});
    return false;
  }
  DrivePlan plan;
  const std::u16string problem =
      PlanDriveWrite(*paramStore, target.mountPoint, target.fsType, plan);
  if (!problem.empty()) {
    SetSummary({problem});
    return false;
  }
  if (const std::vector<std::u16string> existing = ExistingFiles(plan); !existing.empty()) {
    if (!Prompts().AskYesNo(hwnd, StrLoad(STR_DRIVE_EXISTING, Joined(existing))))
      return false;
  }
  if (!progress) return false;
  TaskRequest request;
  request.stageFlags = TASK_DRIVE;
  request.entryList = entryList;
  request.areaList = areaList;
  request.drivePlan = &plan;
  // The write reads the parameter sets on its own thread: the dialog lets go of them
  // meanwhile, and the progress window stands over this one.
  QWidget* const owner = progress->owner;
  progress->owner = hwnd;
  int result = -1;
  WithoutStore([&] { result = RunTaskDialog(*progress, request); });
  progress->owner = owner;
  if (result < 0) return false;
  const TaskFailure& failure = progress->lastFailure;
  const bool cancelled = progress->lastAborted && failure.stringId == 0;
  const bool done = failure.stringId == 0 && !cancelled && progress->lastDrive.flushed;
  SetSummary(DriveSummary(progress->lastDrive, failure, cancelled, target.mountPoint));
  written_ = done ? target.mountPoint : std::u16string();
  if (done) lastWritten = summary_.back();
  UpdateButtons();
  return done;
}

void CDlgDrive::Eject() {
  const platform::MountedDrive* chosen = Chosen();
  if (!chosen || !udisks_ || chosen->driveId.empty()) return;
  const platform::MountedDrive target = *chosen;
  std::u16string error;
  std::vector<std::u16string> lines = summary_;
  switch (udisks_->Eject(target.driveId, error)) {
    case UDisksClient::EjectResult::Ejected:
      lines.push_back(StrLoad(STR_DRIVE_EJECTED, DriveName(target)));
      break;
    case UDisksClient::EjectResult::Busy:
      lines.push_back(StrLoad(STR_DRIVE_BUSY, DriveName(target)));
      break;
    case UDisksClient::EjectResult::Failed:
      lines.push_back(StrLoad(STR_DRIVE_EJECT_FAILED, DriveName(target), error));
      break;
  }
  SetSummary(std::move(lines));
  Refresh();
}

void CDlgDrive::OnDestroy(DlgWindow* window, DlgParam param) {
  mountWatch_.reset();
  if (mountFd_ >= 0) ::close(mountFd_);
  mountFd_ = -1;
  udisks_.reset();
  list_.Release();
  drives_.clear();
  folders_.clear();
  chosen_.clear();
  CDlgParams::OnDestroy(window, param);
}

}  // namespace tarvik
