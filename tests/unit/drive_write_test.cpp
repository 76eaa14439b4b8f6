// The drive write on temporary folders: the files of every enabled profile against the
// export's own, a full disk and a cancel part-way, the FAT rules, two profiles on one file;
// and the removable drives read from a fixture mountinfo and sysfs.
#include "processing/drive_write.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "convert_fixture.h"
#include "core/platform_drives.h"
#include "core/platform_files.h"
#include "core/store_lock.h"
#include "core/text.h"
#include "processing/pipeline.h"
#include "resources/string_ids.h"
#include "test_files.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;
using testfiles::NoTemporaries;
using testfiles::ReadBytes;
using testfiles::ScratchDir;
using testing::Rec;

std::string U8(std::u16string_view s) {
  return Utf16ToUtf8(s);
}

// Lets a test cancel once the status of a given profile arrives.
class StatusSink : public TaskSink {
 public:
  void SetProgress(int) override {}
  void SetStatus(std::uint32_t) override {}
  void SetStatusText(const std::u16string& text) override {
    statuses.push_back(text);
    if (onStatus) onStatus(text);
  }
  void EnableCancel(bool) override {}
  void EndTask(int) override {}
  std::vector<std::u16string> statuses;
  std::function<void(const std::u16string&)> onStatus;
};

class DriveWrite : public testing::ConvertFixture, public ::testing::Test {
 protected:
  DriveWrite() {
    std::vector<PoiRecord> records = {Rec(37.5, 55.5, 1, 60), Rec(37.6, 55.7, 2, 0),
                                      Rec(30.3, 59.9, 1, 90), Rec(10.0, 10.0, 1, 40)};
    for (int k = 0; k < 40; ++k) records.push_back(Rec(37.1 + k * 0.01, 55.2, 1, 20 + k));
    SetRecords(records);
    AddArea({37, 56, 38, 55});
    AddArea({30, 60, 31, 59});
    SchemaSet& s = AddSchema();
    AddEntry(s, 1, u"Камера {speed}, км/ч");
    AddEntry(s, 2, u"Пост");
  }
  ~DriveWrite() override { platform::SetFileFaultHook(nullptr); }

  // No reference comes back: the next append may move every profile.
  void Profile(std::u16string_view name, std::u16string_view folder, std::u16string_view file,
               std::uint8_t param = PARAM_ENABLED) {
    ExportProfile* p = params.AppendProfile();
    p->Param = param;
    SetText(p->Name, name);
    SetText(p->Folder, folder);
    SetText(p->File, file);
    SetText(p->Format, u"{x},{y},{desc}");
    p->Codepage = 65001;
  }

  // Every entry and area ticked.
  void TickAll() {
    SchemaSet& s = *params.CurrentSchema();
    entries.assign(s.Count, {});
    for (std::uint32_t k = 0; k < s.Count; ++k)
      entries[k] = {&s.Entries[k], k + 1 < s.Count ? &entries[k + 1] : nullptr};
    areas.assign(params.Filters().size(), {});
    for (std::size_t k = 0; k < areas.size(); ++k)
      areas[k] = {&params.Filters()[k], k + 1 < areas.size() ? &areas[k + 1] : nullptr};
    task.entryList = entries.data();
    task.areaList = areas.data();
  }

  std::u16string Plan(std::u16string_view fsType = u"vfat") {
    StoreHold<CParamStore> hold(&params, StoreHold<CParamStore>::Wait);
    return PlanDriveWrite(params, Utf8ToUtf16(root.string()), fsType, plan);
  }

  // Runs the drive write as the front ends do.
  void Write(TaskSink* sink = nullptr) {
    TickAll();
    task.progressWindow = sink;
    task.drivePlan = &plan;
    task.stageFlags = TASK_DRIVE;
    RunTask(&task);
  }

  // What the export writes for `profile` alone.
  std::string Exported(ExportProfile& profile) {
    WorkerTask one;
    one.appContext = &ctx;
    one.poiStore = &poi;
    one.paramStore = &params;
    one.entryList = task.entryList;
    one.areaList = task.areaList;
    one.exportProfile = &profile;
    one.targetPath = Utf8ToUtf16((reference.path() / "ref").string());
    one.replaceTarget = true;
    one.stageFlags = TASK_EXPORT;
    RunTask(&one);
    EXPECT_EQ(one.failure.stringId, 0u) << U8(FailureText(one.failure));
    return ReadBytes(reference.path() / "ref");
  }

  ScratchDir drive{"drive"}, reference{"reference"};
  fs::path root = drive.path();
  DrivePlan plan;
  std::vector<RefNode> entries, areas;
};

TEST_F(DriveWrite, EveryEnabledProfileByteForByteAsTheExport) {
  Profile(u"Корень", u"", u"POIs.csv");
  Profile(u"Машина", u"POI/Car", u"cams.txt");
  Profile(u"Windows", u"E:\\POI", u"windows.csv");
  Profile(u"Выключен", u"Off", u"off.csv", 0);
  ExportProfile& a = params.Profiles()[0];
  ExportProfile& b = params.Profiles()[1];
  b.Codepage = 1251;
  b.Translit = 1;
  SetText(b.Format, u"{desc};{x};{y}");
  ExportProfile& c = params.Profiles()[2];
  c.SizeLimit = 1;  // one line stays out
  c.StringLimit = 6;
  ASSERT_EQ(Plan(), u"");
  ASSERT_EQ(plan.files.size(), 3u);
  EXPECT_EQ(plan.maxFileBytes, 0xFFFFFFFFull);
  EXPECT_EQ(plan.files[2].relative, u"POI/windows.csv");
  StatusSink sink;
  Write(&sink);
  ASSERT_EQ(task.failure.stringId, 0u) << U8(FailureText(task.failure));
  EXPECT_FALSE(Aborted(task));
  EXPECT_TRUE(task.driveReport.flushed);
  ASSERT_EQ(task.driveReport.written.size(), 3u);
  EXPECT_EQ(sink.statuses.front(), u"Запись профиля «Корень» (1 из 3)...");

  const fs::path files[] = {root / "POIs.csv", root / "POI/Car/cams.txt", root / "POI/windows.csv"};
  ExportProfile* profiles[] = {&a, &b, &c};
  for (int k = 0; k < 3; ++k) {
    SCOPED_TRACE(files[k].string());
    const std::string bytes = ReadBytes(files[k]);
    EXPECT_FALSE(bytes.empty());
    EXPECT_EQ(bytes, Exported(*profiles[k]));
    EXPECT_EQ(task.driveReport.written[k].result.bytesWritten, bytes.size());
    EXPECT_EQ(task.driveReport.written[k].path, Utf8ToUtf16(files[k].string()));
  }
  EXPECT_FALSE(fs::exists(root / "Off"));
  EXPECT_TRUE(NoTemporaries(root) && NoTemporaries(root / "POI") &&
              NoTemporaries(root / "POI/Car"));

  const std::vector<std::u16string> summary =
      DriveSummary(task.driveReport, task.failure, false, plan.root);
  ASSERT_EQ(summary.size(), 5u);  // three files, the limit's note, the all-clear
  EXPECT_EQ(summary[0], u"Профиль «Корень»: " + Utf8ToUtf16(files[0].string()) +
                            u", POI: 43, байт: " +
                            Utf8ToUtf16(std::to_string(ReadBytes(files[0]).size())));
  const std::uint64_t leftOut = task.driveReport.written[2].result.linesLeftOut;
  EXPECT_GT(leftOut, 0u);
  EXPECT_EQ(summary[3], u"Профиль «Windows»: не вошло из-за ограничения размера POI: " +
                            Utf8ToUtf16(std::to_string(leftOut)));
  EXPECT_EQ(summary[4], u"Все файлы записаны, данные сброшены на диск " + plan.root + u".");

  // Planned again, every file exists and is replaced by the same bytes.
  ASSERT_EQ(Plan(), u"");
  EXPECT_EQ(ExistingFiles(plan).size(), 3u);
  Write();
  EXPECT_EQ(task.failure.stringId, 0u);
  EXPECT_EQ(ReadBytes(files[1]), Exported(b));
}

// A full disk on the second profile, a cancel before it, and a file that would pass the
// file system's largest size: the first file stays whole, the second leaves nothing, the third
// is not begun.
TEST_F(DriveWrite, StopsAtTheFirstFailureOrCancel) {
  Profile(u"Первый", u"", u"one.csv");
  Profile(u"Второй", u"POI", u"two.csv");
  Profile(u"Третий", u"", u"three.csv");
  static std::atomic<int> opens;
  struct Case {
    const char* what;
    std::function<void(StatusSink&)> arrange;
    std::string message;  // "" : cancelled
  };
  const Case cases[] = {
      {"disk full",
       [](StatusSink&) {
         opens = 0;
         platform::SetFileFaultHook([](platform::FileStep step) {
           if (step == platform::FileStep::Open) ++opens;
           return step == platform::FileStep::Write && opens == 2 ? ENOSPC : 0;
         });
       },
       "Профиль «Второй»: Ошибка записи файла экспорта"},
      {"cancel",
       [this](StatusSink& sink) {
         sink.onStatus = [this](const std::u16string& s) {
           if (s.find(u"Второй") != std::u16string::npos) SetAbort(task);
         };
       },
       ""},
      {"larger than the file system holds",
       [this](StatusSink& sink) {
         sink.onStatus = [this](const std::u16string& s) {
           if (s.find(u"Второй") != std::u16string::npos) plan.maxFileBytes = 10;
         };
       },
       "Профиль «Второй»: Файл " + (root / "POI/two.csv").string() +
           " не записан: на диске FAT файл не может быть больше 4 ГиБ без одного байта"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(root / "POI");
    fs::remove(root / "one.csv");
    task.abortFlag = 0;
    task.failure = {};
    ASSERT_EQ(Plan(), u"");
    StatusSink sink;
    c.arrange(sink);
    Write(&sink);
    platform::SetFileFaultHook(nullptr);
    EXPECT_EQ(ReadBytes(root / "one.csv"), Exported(params.Profiles()[0]));
    EXPECT_FALSE(fs::exists(root / "POI/two.csv"));
    EXPECT_FALSE(fs::exists(root / "three.csv"));
    EXPECT_TRUE(NoTemporaries(root) && (!fs::exists(root / "POI") || NoTemporaries(root / "POI")));
    ASSERT_EQ(task.driveReport.written.size(), 1u);
    EXPECT_TRUE(task.driveReport.flushed);
    const std::vector<std::u16string> summary =
        DriveSummary(task.driveReport, task.failure, Aborted(task), plan.root);
    ASSERT_EQ(summary.size(), 2u);
    if (c.message.empty()) {
      EXPECT_TRUE(Aborted(task));
      EXPECT_EQ(summary[1], u"Запись отменена. Перечисленные выше файлы записаны целиком.");
    } else {
      EXPECT_EQ(U8(summary[1]).rfind(c.message, 0), 0u) << U8(summary[1]);
    }
  }
}

TEST_F(DriveWrite, NamesTheFileSystemRefuses) {
  struct Case {
    std::u16string_view folder, file, fsType;
    std::string result;  // "" : planned; else the start of the refusal
  };
  const Case cases[] = {
      {u"", u"POIs.csv", u"vfat", ""},
      {u"E:\\POI\\Car", u"POIs.csv", u"vfat", ""},
      {u"\\\\POI//./Car\\", u"POIs.csv", u"exfat", ""},
      {u"POI", u"a*b.csv", u"vfat", "Профиль «P»: символ «*» недопустим"},
      {u"PO?I", u"POIs.csv", u"exfat", "Профиль «P»: символ «?» недопустим"},
      {u"POI", u"a<b>.csv", u"msdos", "Профиль «P»: символ «<» недопустим"},
      {u"POI", u"a|b.csv", u"vfat", "Профиль «P»: символ «|» недопустим"},
      {u"POI", u"a\"b.csv", u"vfat", "Профиль «P»: символ «\"» недопустим"},
      {u"C:POI:x", u"a.csv", u"vfat", "Профиль «P»: символ «:» недопустим"},
      {u"POI", u"a\tb.csv", u"vfat", "Профиль «P»: символ «U+0009» недопустим"},
      {u"POI.", u"a.csv", u"vfat", "Профиль «P»: имя «POI.» не может кончаться"},
      {u"POI", u"a.csv ", u"exfat", "Профиль «P»: имя «a.csv » не может кончаться"},
      // Other file systems take these names.
      {u"PO?I.", u"a*b:c.csv ", u"ext4", ""},
      {u"POI", u"", u"ext4", "Профиль «P»: не задано имя файла"},
      {u"POI", u"Car\\", u"vfat", "Профиль «P»: не задано имя файла"},
      {u"../POI", u"a.csv", u"ext4", "Профиль «P»: путь «../POI/a.csv» выходит за пределы диска"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(U8(c.folder) + " | " + U8(c.file) + " | " + U8(c.fsType));
    params.Clear();
    AddSchema();
    Profile(u"P", c.folder, c.file);
    const std::string got = U8(Plan(c.fsType));
    if (c.result.empty())
      EXPECT_EQ(got, "");
    else
      EXPECT_EQ(got.rfind(c.result, 0), 0u) << got;
  }
}

TEST_F(DriveWrite, TwoProfilesOnOneFile) {
  Profile(u"Первый", u"POI", u"cams.csv");
  Profile(u"Второй", u"E:\\poi\\", u"CAMS.CSV");
  EXPECT_EQ(Plan(u"vfat"), u"Профили «Первый» и «Второй» записали бы один и тот же файл " +
                               Utf8ToUtf16(root.string()) + u"/poi/CAMS.CSV");
  // Where names keep their case, they are two files.
  EXPECT_EQ(Plan(u"ext4"), u"");
  EXPECT_EQ(plan.files.size(), 2u);
  EXPECT_EQ(plan.maxFileBytes, 0u);
  Profile(u"Третий", u"poi", u"CAMS.CSV");
  EXPECT_EQ(U8(Plan(u"ext4")).rfind("Профили «Второй» и «Третий»", 0), 0u);
  params.Clear();
  EXPECT_EQ(Plan(), u"Нет включённых профилей экспорта");
}

// mountinfo and sysfs as the kernel shows a USB stick, a memory card and drives that are not
// removable.
TEST(RemovableMounts, FromMountinfoAndSysfs) {
  ScratchDir fixture{"sysfs"};
  const fs::path base = fixture.path();
  auto device = [&](const std::string& majorMinor, const std::string& path, bool partition,
                    const char* removable) {
    const fs::path dev = base / "sys/devices" / path;
    fs::create_directories(dev);
    if (partition) testfiles::WriteBytes(dev / "partition", "1\n");
    testfiles::WriteBytes((partition ? dev.parent_path() : dev) / "removable", removable);
    fs::create_directories(base / "sys/dev/block");
    fs::create_directory_symlink("../../devices/" + path, base / "sys/dev/block" / majorMinor);
  };
  device("8:1", "pci0000:00/0000:00:17.0/ata1/host0/target0:0:0/0:0:0:0/block/sda/sda1", true,
         "0\n");
  device("8:17",
         "pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb/sdb1", true,
         "0\n");
  device("179:1", "platform/fe340000.mmc/mmc_host/mmc0/mmc0:0001/block/mmcblk0/mmcblk0p1", true,
         "1\n");
  device("7:0", "virtual/block/loop0", false, "0\n");
  fs::create_directories(base / "labels");
  fs::create_symlink("../../sdb1", base / "labels/MY\\x20STICK");
  fs::create_symlink("../../sda1", base / "labels/system");
  for (const char* m : {"media/STICK", "media/card one", "bind", "tmp", "loop"})
    fs::create_directories(base / m);
  const std::string b = base.string();
  testfiles::WriteBytes(base / "mountinfo",
                        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
                        "40 22 8:17 / " +
                            b +
                            "/media/STICK rw,nosuid shared:2 - vfat /dev/sdb1 rw,fmask=0022\n"
                            "41 22 179:1 / " +
                            b +
                            "/media/card\\040one rw - exfat /dev/mmcblk0p1 rw\n"
                            "42 22 8:17 /sub " +
                            b +
                            "/bind rw shared:3 master:2 - vfat /dev/sdb1 rw\n"
                            "43 22 0:50 / " +
                            b +
                            "/tmp rw - tmpfs tmpfs rw\n"
                            "44 22 7:0 / " +
                            b +
                            "/loop ro - squashfs /dev/loop0 ro\n"
                            "broken line\n");
  platform::MountSources sources{(base / "mountinfo").string(), (base / "sys").string(),
                                 (base / "labels").string()};
  const std::vector<platform::MountedDrive> drives = platform::ReadRemovableMounts(sources);
  ASSERT_EQ(drives.size(), 2u);
  EXPECT_EQ(U8(drives[0].mountPoint), b + "/media/STICK");
  EXPECT_EQ(drives[0].label, u"MY STICK");
  EXPECT_EQ(drives[0].fsType, u"vfat");
  EXPECT_EQ(drives[0].device, u"/dev/sdb1");
  EXPECT_GT(drives[0].freeBytes, 0u);
  EXPECT_EQ(U8(drives[1].mountPoint), b + "/media/card one");
  EXPECT_EQ(drives[1].label, u"");
  EXPECT_EQ(drives[1].fsType, u"exfat");

  // A folder on the stick belongs to its mount; the longest mount point wins.
  fs::create_directories(base / "media/STICK/POI");
  platform::MountedDrive mount;
  ASSERT_TRUE(platform::MountOf((base / "media/STICK/POI").string(), mount, sources));
  EXPECT_EQ(U8(mount.mountPoint), b + "/media/STICK");
  EXPECT_EQ(mount.fsType, u"vfat");
  ASSERT_TRUE(platform::MountOf(b, mount, sources));
  EXPECT_EQ(mount.mountPoint, u"/");
  EXPECT_FALSE(platform::MountOf(b + "/missing", mount, sources));
  sources.mountinfo = b + "/missing";
  EXPECT_TRUE(platform::ReadRemovableMounts(sources).empty());
}

}  // namespace
}  // namespace tarvik
