#include "params/param_io.h"
#include "processing/param_stages.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <vector>

#include "core/platform_files.h"
#include "core/text.h"
#include "params/default_params.h"
#include "processing/pipeline.h"
#include "processing/program_entry.h"
#include "test_files.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;

using testfiles::ReadBytes;
using testfiles::WriteBytes;

// A saved file's text as UTF-8; saves are UTF-16LE with a byte-order mark (else: empty).
std::string SavedText(const fs::path& p) {
  const std::string bytes = ReadBytes(p);
  if (bytes.size() % 2 != 0 || bytes.rfind("\xFF\xFE", 0) != 0) return {};
  std::u16string text;
  for (std::size_t i = 2; i < bytes.size(); i += 2)
    text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                  static_cast<unsigned char>(bytes[i + 1]) << 8);
  return Utf16ToUtf8(text);
}

std::string Hex(const void* p, std::size_t n) {
  return Utf16ToUtf8(EncodeStruct(p, n));
}
template <class T>
std::string Hex(T v) {
  return Hex(&v, sizeof v);
}

// Records what a task reports; can cancel at the n-th progress report.
class Sink : public TaskSink {
 public:
  void SetProgress(int percent) override {
    progress.push_back(percent);
    if (task && cancelAt && static_cast<int>(progress.size()) == cancelAt) SetAbort(*task);
  }
  void SetStatus(std::uint32_t id) override { statuses.push_back(id); }
  void EnableCancel(bool) override {}
  void EndTask(int) override {}
  std::vector<int> progress;
  std::vector<std::uint32_t> statuses;
  WorkerTask* task = nullptr;
  int cancelAt = 0;
};

int FailRename(platform::FileStep step) {
  return step == platform::FileStep::Rename ? EROFS : 0;
}

class ParamIoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = scratch.path();
    file = dir / "Tarvik.ini";
    ctx.iniPath = Utf8ToUtf16(file.string());
    ctx.seed = 100;
  }
  void TearDown() override { platform::SetFileFaultHook(nullptr); }
  // A task over `store` reporting to `sink`.
  void Prepare(WorkerTask& task, CParamStore& store) {
    task.appContext = &ctx;
    task.paramStore = &store;
    task.progressWindow = &sink;
    sink.task = &task;
  }
  bool Save(CParamStore& store) {
    WorkerTask task;
    Prepare(task, store);
    bool ok = SaveParams(task);
    lastFailure = task.failure;
    lastSaveFailed = task.paramsSaveFailed;
    return ok;
  }
  bool Load(CParamStore& store) {
    WorkerTask task;
    Prepare(task, store);
    store.Clear();
    bool ok = LoadParams(task);
    lastFailure = task.failure;
    return ok;
  }

  testfiles::ScratchDir scratch{"params"};
  fs::path dir, file;
  CAppContext ctx;
  Sink sink;
  TaskFailure lastFailure;
  bool lastSaveFailed = false;
};

TEST_F(ParamIoTest, EmptyStoreSavesThreeCountOnlySections) {
  CParamStore store(&ctx);
  EXPECT_TRUE(Save(store));
  EXPECT_EQ(SavedText(file),
            "[Filter]\r\nCount=0000000000\r\n"
            "[Schema]\r\nCount=0000000000\r\n"
            "[Export]\r\nCount=0000000000\r\n");
  EXPECT_EQ(lastFailure.stringId, 0u);
}

TEST_F(ParamIoTest, SaveWritesKeysInOrderDenselyWithCountLast) {
  CParamStore store(&ctx);
  FilterArea* f = store.AppendFilter();
  f->Param = PARAM_ENABLED;
  f->ID = 7;
  SetText(f->Name, u"Москва");
  f->AX = 37.5;
  f->AY = 56.0;
  f->CX = 38.0;
  f->CY = 55.5;
  store.AppendFilter()->Param = PARAM_DELETED | PARAM_ENABLED;  // dropped
  FilterArea* g = store.AppendFilter();
  g->ID = 9;
  SetText(g->Name, u"B");

  store.AppendSchema()->Param = PARAM_DELETED;  // dropped with its entries
  store.AppendEntry(store.Schemas()[0]);
  SchemaSet* s = store.AppendSchema();
  s->Param = PARAM_ENABLED | PARAM_DEFAULT;
  s->ID = 11;
  SetText(s->Name, u"S");
  SchemaEntry* e0 = store.AppendEntry(*s);
  e0->Param = PARAM_ENABLED | PARAM_DELETED;
  SchemaEntry* e1 = store.AppendEntry(*s);
  e1->Param = PARAM_ENABLED;
  e1->ID = 12;
  e1->Type = 255;
  SetText(e1->Desc, u"Камера {speed}");

  ExportProfile* p = store.AppendProfile();
  p->Param = PARAM_ENABLED | PARAM_DEFAULT | PARAM_LOCKED;
  p->ID = 13;
  SetText(p->Name, u"P");
  SetText(p->File, u"POIs.csv");
  SetText(p->Format, u"{x},{y},{desc}");
  p->SizeLimit = 512;
  p->Codepage = 65001;
  p->StringLimit = 40;
  p->Translit = 1;
  SetText(p->Desc, u"d");

  ASSERT_TRUE(Save(store));
  std::string expected =
      "[Filter]\r\n"
      "0.Param=4040\r\n0.ID=" +
      Hex(std::uint64_t{7}) +
      "\r\n0.Name=Москва\r\n"
      "0.AX=0000000000C0424042\r\n0.AY=" +
      Hex(56.0) + "\r\n0.CX=" + Hex(38.0) + "\r\n0.CY=" + Hex(55.5) +
      "\r\n"
      "1.Param=0000\r\n1.ID=" +
      Hex(std::uint64_t{9}) +
      "\r\n1.Name=B\r\n"
      "1.AX=" +
      Hex(0.0) + "\r\n1.AY=" + Hex(0.0) + "\r\n1.CX=" + Hex(0.0) + "\r\n1.CY=" + Hex(0.0) +
      "\r\n"
      "Count=0200000002\r\n"
      "[Schema]\r\n"
      "0.Param=6060\r\n0.ID=" +
      Hex(std::uint64_t{11}) +
      "\r\n0.Name=S\r\n"
      "0.0.ID=" +
      Hex(std::uint64_t{12}) +
      "\r\n0.0.Param=4040\r\n0.0.Type=FF000000FF\r\n"
      "0.0.Desc=Камера {speed}\r\n"
      "0.Count=0100000001\r\n"
      "Count=0100000001\r\n"
      "[Export]\r\n"
      "0.Param=6161\r\n0.ID=" +
      Hex(std::uint64_t{13}) +
      "\r\n0.Name=P\r\n0.File=POIs.csv\r\n"
      "0.Format={x},{y},{desc}\r\n0.Folder=\r\n0.SizeLimit=" +
      Hex(std::int32_t{512}) +
      "\r\n0.Codepage=E9FD0000E6\r\n0.StringLimit=" + Hex(std::int32_t{40}) +
      "\r\n0.Translit=0101\r\n0.Desc=d\r\n"
      "Count=0100000001\r\n";
  EXPECT_EQ(SavedText(file), expected);

  // Save, clear, load: the store holds exactly what the file holds.
  ASSERT_TRUE(Load(store));
  ASSERT_EQ(store.Filters().size(), 2u);
  EXPECT_EQ(store.Filters()[0].ID, 7u);
  EXPECT_EQ(store.Filters()[1].ID, 9u);
  ASSERT_EQ(store.Schemas().size(), 1u);
  ASSERT_EQ(store.Schemas()[0].Count, 1u);
  EXPECT_EQ(store.Schemas()[0].Entries[0].ID, 12u);
  EXPECT_EQ(store.CurrentProfile()->ID, 13u);
  EXPECT_FALSE(store.data->stale);
}

TEST_F(ParamIoTest, EveryFieldRoundTripsAtItsLimits) {
  CParamStore store(&ctx);
  FilterArea* f = store.AppendFilter();
  f->Param = 0x5F;  // bits without meaning survive
  f->ID = std::numeric_limits<std::uint64_t>::max();
  SetText(f->Name, std::u16string(63, u'Ж'));
  f->AX = std::numeric_limits<double>::quiet_NaN();
  f->AY = std::numeric_limits<double>::infinity();
  f->CX = -std::numeric_limits<double>::infinity();
  f->CY = -0.0;
  SchemaSet* s = store.AppendSchema();
  s->ID = 1;
  SetText(s->Name, u"  edge blanks ");
  SchemaEntry* e = store.AppendEntry(*s);
  e->Type = -5;
  SetText(e->Desc, std::u16string(127, u'д'));
  ExportProfile* p = store.AppendProfile();
  SetText(p->Name, u"\"quoted\"");
  SetText(p->File, std::u16string(4095, u'f'));
  SetText(p->Format, std::u16string(127, u'x'));
  SetText(p->Folder, std::u16string(4095, u'ф'));
  SetText(p->Desc, std::u16string(511, u'z'));
  p->SizeLimit = -1;
  p->Codepage = 0;
  p->StringLimit = std::numeric_limits<std::int32_t>::min();
  p->Translit = 0xFF;

  // Copies to compare against after the reload.
  FilterArea f0 = *f;
  SchemaEntry e0 = *e;
  ExportProfile p0 = *p;
  SchemaSet s0 = *s;
  ASSERT_TRUE(Save(store));
  ASSERT_TRUE(Load(store));
  ASSERT_EQ(store.Filters().size(), 1u);
  EXPECT_EQ(std::memcmp(&store.Filters()[0], &f0, sizeof f0), 0);
  EXPECT_EQ(std::memcmp(&store.Profiles()[0], &p0, sizeof p0), 0);
  SchemaSet& s1 = store.Schemas()[0];
  EXPECT_EQ(std::u16string(s1.Name), s0.Name);
  ASSERT_EQ(s1.Count, 1u);
  EXPECT_EQ(std::memcmp(&s1.Entries[0], &e0, sizeof e0), 0);
  EXPECT_NE(SavedText(file).find("0.0.Type=FBFFFFFFF8"), std::string::npos);
}

TEST_F(ParamIoTest, CountsAndMissingKeys) {
  WriteBytes(file,
             "[Filter]\r\n"
             "Count=0300000003\r\n"
             "0.Param=4040\r\n0.Name=first\r\n"
             "2.Param=4040\r\n2.Name=" +
                 std::string(70, 'n') +
                 "\r\n2.AX=0000000000C04240FF\r\n"
                 "[Schema]\r\n"
                 "0.Param=6060\r\n0.Count=0300000003\r\n0.0.Type=FF000000FF\r\n"
                 "[Export]\r\n"
                 "Count=0100000001\r\n"
                 "0.Param=40\r\n0.Codepage=E9FD0000E6\r\n");
  CParamStore store(&ctx);
  ASSERT_TRUE(Load(store));
  ASSERT_EQ(store.Filters().size(), 3u);
  const FilterArea& middle = store.Filters()[1];
  EXPECT_EQ(middle.Param, 0);
  EXPECT_EQ(middle.ID, 0u);
  EXPECT_EQ(middle.Name[0], 0);
  EXPECT_EQ(middle.AX, 0.0);
  EXPECT_EQ(FieldText(store.Filters()[2].Name), std::u16string(63, u'n'));
  EXPECT_EQ(store.Filters()[2].AX, 0.0);  // bad checksum reads as 0
  EXPECT_TRUE(store.Schemas().empty());   // no "Count": no schemas
  ASSERT_EQ(store.Profiles().size(), 1u);
  EXPECT_EQ(store.Profiles()[0].Param, 0);  // wrong number of digits
  EXPECT_EQ(store.Profiles()[0].Codepage, 65001);

  // A schema whose entry count exceeds the entries present gets empty entries.
  WriteBytes(file,
             "[Schema]\r\nCount=0100000001\r\n0.Count=0300000003\r\n0.0.Type=FF000000FF\r\n"
             "0.0.Desc=a\r\n");
  ASSERT_TRUE(Load(store));
  ASSERT_EQ(store.Schemas().size(), 1u);
  ASSERT_EQ(store.Schemas()[0].Count, 3u);
  EXPECT_EQ(store.Schemas()[0].Entries[0].Type, 255);
  EXPECT_EQ(store.Schemas()[0].Entries[2].Type, 0);
  EXPECT_EQ(store.Schemas()[0].Entries[2].Desc[0], 0);
}

// Memory and time follow the keys the file holds, whatever its counts say: junk keys under a
// count of four billion, an item number near the top, an entry count of four billion.
TEST_F(ParamIoTest, DamagedHugeCountsStayBounded) {
  std::string junk;
  for (int i = 0; i < 20000; ++i) junk += "j" + std::to_string(i) + "=\r\n";
  WriteBytes(file,
             "[Filter]\r\nCount=FFFFFFFFFC\r\n0.Name=a\r\n4000000000.Name=b\r\n"
             "[Schema]\r\nCount=0100000001\r\n0.Count=FFFFFFFFFC\r\n0.7.Type=" +
                 Hex(std::int32_t{5}) + "\r\n[Export]\r\nCount=FFFFFFFFFC\r\n" + junk);
  CParamStore store(&ctx);
  const std::int64_t before = MemInUse(&ctx);
  ASSERT_TRUE(Load(store));
  EXPECT_LT(MemInUse(&ctx) - before, 2 << 20);
  auto filters = store.Filters();
  ASSERT_GE(filters.size(), 2u);
  EXPECT_LE(filters.size(), 2u + 64u);
  EXPECT_EQ(FieldText(filters.front().Name), u"a");
  EXPECT_EQ(FieldText(filters.back().Name), u"b");
  ASSERT_EQ(store.Schemas().size(), 1u);
  auto entries = CParamStore::Entries(store.Schemas()[0]);
  ASSERT_GE(entries.size(), 8u);
  EXPECT_LE(entries.size(), 1u + 64u);
  EXPECT_EQ(entries[7].Type, 5);
  EXPECT_LE(store.Profiles().size(), 64u);
}

TEST_F(ParamIoTest, LoadRaisesTheSeedToTheLargestId) {
  WriteBytes(file, "[Filter]\r\nCount=0100000001\r\n0.ID=" + Hex(std::uint64_t{5000}) +
                       "\r\n[Schema]\r\nCount=0100000001\r\n0.Count=0100000001\r\n0.0.ID=" +
                       Hex(std::uint64_t{7000}) + "\r\n");
  CParamStore store(&ctx);
  ASSERT_TRUE(Load(store));
  EXPECT_EQ(ctx.seed.load(), 7000);
  EXPECT_EQ(NewItemId(&ctx), 7001);
  ctx.seed = 9000;  // a larger seed stays
  ASSERT_TRUE(Load(store));
  EXPECT_EQ(ctx.seed.load(), 9000);
}

TEST_F(ParamIoTest, SaveKeepsForeignSectionsCommentsAndUtf16) {
  std::u16string text = u"; Мои заметки\r\n[Window]\r\nPos=1,2\r\n[Filter]\r\nCount=0\r\n";
  std::string bytes = "\xFF\xFE";
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  WriteBytes(file, bytes);
  CParamStore store(&ctx);
  store.AddFilter();
  ASSERT_TRUE(Save(store));
  IniFile ini;
  ASSERT_TRUE(ini.Load(ctx.iniPath));
  EXPECT_EQ(ini.encoding(), IniEncoding::Utf16Le);
  std::string saved = ReadBytes(file);
  ASSERT_GE(saved.size(), bytes.size());
  // Everything before the old Filter section is unchanged, byte for byte.
  std::size_t keep = bytes.size() - 2 * std::u16string(u"[Filter]\r\nCount=0\r\n").size();
  EXPECT_EQ(saved.substr(0, keep), bytes.substr(0, keep));
  std::u16string_view v;
  ASSERT_TRUE(ini.GetValue(u"Filter", u"Count", v));
  EXPECT_EQ(v, u"0100000001");
  ASSERT_TRUE(ini.GetValue(u"Window", u"Pos", v));
  EXPECT_EQ(v, u"1,2");
}

TEST_F(ParamIoTest, FailedSaveIsReportedAndKeepsTheFile) {
  CParamStore store(&ctx);
  store.AddFilter();
  ASSERT_TRUE(Save(store));
  const std::string before = ReadBytes(file);
  store.AddFilter();
  platform::SetFileFaultHook(FailRename);
  EXPECT_TRUE(Save(store));  // not cancelled; the failure is in the task
  platform::SetFileFaultHook(nullptr);
  EXPECT_TRUE(lastSaveFailed);
  EXPECT_EQ(lastFailure.stringId, 750u);
  EXPECT_NE(lastFailure.detail.find(ctx.iniPath), std::u16string::npos);
  EXPECT_EQ(ReadBytes(file), before);
  EXPECT_EQ(store.Filters().size(), 2u);  // the unsaved edit is still in the store
}

TEST_F(ParamIoTest, SaveAndReloadThroughThePipeline) {
  CParamStore store(&ctx);
  store.AddFilter();
  FilterArea* gone = store.AddFilter();
  store.AddFilter();
  MarkDeleted(*gone);
  SchemaSet* s = store.AddSchema();
  store.AddEntry(*s);
  MarkDeleted(*store.AddEntry(*s));
  WorkerTask task;
  Prepare(task, store);
  task.stageFlags = TASK_SAVE_PARAMS | TASK_LOAD_PARAMS;
  EXPECT_EQ(RunTask(&task), 0);
  EXPECT_EQ(task.failure.stringId, 0u);
  EXPECT_EQ(store.Filters().size(), 2u);  // the deleted one is gone after the reload
  ASSERT_EQ(store.Schemas().size(), 1u);
  EXPECT_EQ(store.Schemas()[0].Count, 1u);
  EXPECT_EQ(sink.statuses.back(), 590u);  // "Готово"

  // A save that cannot write skips the reload: the unsaved edits stay in the store.
  store.AddFilter();
  platform::SetFileFaultHook(FailRename);
  WorkerTask failing;
  Prepare(failing, store);
  failing.stageFlags = TASK_SAVE_PARAMS | TASK_LOAD_PARAMS;
  RunTask(&failing);
  platform::SetFileFaultHook(nullptr);
  EXPECT_TRUE(failing.paramsSaveFailed);
  EXPECT_EQ(failing.failure.stringId, 750u);
  EXPECT_EQ(store.Filters().size(), 3u);
  CParamStore onDisk(&ctx);
  ASSERT_TRUE(Load(onDisk));
  EXPECT_EQ(onDisk.Filters().size(), 2u);
}

TEST_F(ParamIoTest, UnreadableFileIsNeverOverwritten) {
  ctx.iniPath = Utf8ToUtf16(dir.string());  // a folder: exists, cannot be read
  CParamStore store(&ctx);
  EXPECT_TRUE(Load(store));
  EXPECT_EQ(lastFailure.stringId, 751u);
  EXPECT_TRUE(store.data->stale);
  store.AddFilter();
  Save(store);
  EXPECT_EQ(lastFailure.stringId, 753u);  // refused: the store does not hold the file
  EXPECT_FALSE(lastSaveFailed);           // so the reload brings the file back

  // A store that mirrors nothing yet, over a file that cannot be read: the save fails.
  CParamStore fresh(&ctx);
  fresh.AddFilter();
  Save(fresh);
  EXPECT_EQ(lastFailure.stringId, 750u);
  EXPECT_TRUE(lastSaveFailed);
  EXPECT_TRUE(fs::is_directory(dir));
}

TEST_F(ParamIoTest, NoSettingsPath) {
  ctx.iniPath.clear();
  CParamStore store(&ctx);
  EXPECT_TRUE(Load(store));
  EXPECT_EQ(lastFailure.stringId, 0u);
  EXPECT_FALSE(store.data->stale);
  Save(store);
  EXPECT_EQ(lastFailure.stringId, 752u);
  EXPECT_TRUE(lastSaveFailed);
}

TEST_F(ParamIoTest, ProgressAndStatusOfALoad) {
  std::string text = "[Filter]\r\nCount=0400000004\r\n";
  for (int i = 0; i < 4; ++i) text += std::to_string(i) + ".Param=4040\r\n";
  text += "[Export]\r\nCount=0200000002\r\n0.Param=4040\r\n1.Param=4040\r\n";
  WriteBytes(file, text);
  CParamStore store(&ctx);
  ASSERT_TRUE(Load(store));
  // 594, then after each finished section 0 and 594 again; percentages only when they change.
  EXPECT_EQ(sink.statuses, (std::vector<std::uint32_t>{594, 594, 594}));
  EXPECT_EQ(sink.progress, (std::vector<int>{0, 25, 50, 75, 0, 0, 50}));
}

TEST_F(ParamIoTest, CancelRules) {
  CParamStore store(&ctx);
  for (int i = 0; i < 10; ++i) store.AddFilter();
  for (int i = 0; i < 10; ++i) store.AddProfile();
  ASSERT_TRUE(Save(store));
  const std::string full = ReadBytes(file);

  // Cancelled before the save: the file stays as it is.
  store.AddSchema();
  {
    WorkerTask task;
    Prepare(task, store);
    SetAbort(task);
    EXPECT_FALSE(SaveParams(task));
  }
  EXPECT_EQ(ReadBytes(file), full);

  // Cancelled during the save: the save still completes.
  {
    WorkerTask task;
    Prepare(task, store);
    sink.progress.clear();
    sink.cancelAt = 3;
    EXPECT_FALSE(SaveParams(task));
    sink.cancelAt = 0;
  }
  CParamStore check(&ctx);
  ASSERT_TRUE(Load(check));
  EXPECT_EQ(check.Filters().size(), 10u);
  EXPECT_EQ(check.Schemas().size(), 1u);
  EXPECT_EQ(check.Profiles().size(), 10u);

  // Cancelled during the load: it stops, and the store is marked as not mirroring the file.
  {
    WorkerTask task;
    Prepare(task, check);
    check.Clear();
    sink.progress.clear();
    sink.cancelAt = 3;
    EXPECT_FALSE(LoadParams(task));
    sink.cancelAt = 0;
  }
  EXPECT_LT(check.Filters().size(), 10u);
  EXPECT_TRUE(check.Profiles().empty());
  EXPECT_TRUE(check.data->stale);
}

TEST_F(ParamIoTest, FirstStartDefaults) {
  ctx.seed = 1000;
  ASSERT_TRUE(WriteDefaultParamsIfMissing(ctx));
  EXPECT_FALSE(WriteDefaultParamsIfMissing(ctx));  // the file exists now
  std::int64_t seed = 0;
  ASSERT_TRUE(ReadSeed(ctx.iniPath, seed));
  EXPECT_EQ(seed, ctx.seed.load());

  CParamStore store(&ctx);
  ASSERT_TRUE(Load(store));
  ASSERT_EQ(store.Filters().size(), 1u);
  const FilterArea& world = store.Filters()[0];
  EXPECT_EQ(FieldText(world.Name), u"Весь мир");
  EXPECT_EQ(world.Param, PARAM_ENABLED);
  EXPECT_TRUE(world.AX < -179.9 && world.CX > 179.9 && world.AY > 89.9 && world.CY < -89.9);
  SchemaSet* schema = store.CurrentSchema();
  ASSERT_NE(schema, nullptr);
  // Camera types 1 to 7, then the hazards 100 to 106 of published tables.
  ASSERT_EQ(schema->Count, 14u);
  for (std::int32_t k = 0; k < 14; ++k) {
    EXPECT_EQ(schema->Entries[k].Type, k < 7 ? k + 1 : k + 93);
    EXPECT_NE(schema->Entries[k].Desc[0], 0);
  }
  EXPECT_NE(FieldText(schema->Entries[0].Desc).find(u"{speed}"), std::u16string_view::npos);
  EXPECT_EQ(FieldText(schema->Entries[8].Desc), u"Ограничение скорости {speed} км/ч");
  ExportProfile* profile = store.CurrentProfile();
  ASSERT_NE(profile, nullptr);
  EXPECT_EQ(FieldText(profile->File), u"POIs.csv");
  EXPECT_EQ(FieldText(profile->Format), u"{x},{y},{desc}");
  EXPECT_EQ(profile->Codepage, 65001);

  // A user who deleted everything keeps an empty file.
  CParamStore empty(&ctx);
  ASSERT_TRUE(Save(empty));
  EXPECT_FALSE(WriteDefaultParamsIfMissing(ctx));
  ASSERT_TRUE(Load(store));
  EXPECT_TRUE(store.Filters().empty());
}

// Defaults that cannot be written (a link that points nowhere has the name; a folder that
// refuses the file) are told and serve the run from memory; nothing on disk changes.
TEST_F(ParamIoTest, FirstStartDefaultsThatCannotBeWritten) {
  using platform::FileStep;
  for (int variant = 0; variant < 2; ++variant) {
    fs::remove(file);
    if (variant == 0) fs::create_symlink(dir / "nowhere" / "Tarvik.ini", file);
    if (variant == 1)
      platform::SetFileFaultHook([](FileStep s) { return s == FileStep::Open ? EROFS : 0; });
    CAppContext run;
    ProgramEntry entry(run, {ctx.iniPath, true, false});
    platform::SetFileFaultHook(nullptr);
    EXPECT_FALSE(entry.defaultsWritten());
    EXPECT_EQ(entry.defaultsError(), variant == 0 ? EEXIST : EROFS);
    EXPECT_EQ(fs::is_symlink(file), variant == 0);
    EXPECT_FALSE(fs::exists(file));
    CParamStore store(&run);
    WorkerTask task;
    Prepare(task, store);
    task.appContext = &run;
    ASSERT_TRUE(LoadParams(task));
    EXPECT_EQ(store.Filters().size(), 1u);
    EXPECT_NE(store.CurrentProfile(), nullptr);
  }
}

// Two first starts at once: the one that finds the other's file where it would put its own
// uses that file, as any it found there, and has nothing lost to report.
std::filesystem::path g_winnersFile;
TEST_F(ParamIoTest, FirstStartThatLosesTheRaceUsesTheOtherRunsFile) {
  fs::remove(file);
  g_winnersFile = file;
  platform::SetFileFaultHook([](platform::FileStep s) {
    if (s == platform::FileStep::Open) testfiles::WriteBytes(g_winnersFile, "[Core]\n");
    return 0;
  });
  CAppContext run;
  ProgramEntry entry(run, {ctx.iniPath, true, false});
  platform::SetFileFaultHook(nullptr);
  EXPECT_TRUE(entry.defaultsRaced());
  EXPECT_EQ(entry.defaultsError(), 0);
  EXPECT_FALSE(run.defaultsInMemory);
  CParamStore store(&run);
  WorkerTask task;
  Prepare(task, store);
  task.appContext = &run;
  ASSERT_TRUE(LoadParams(task));
  EXPECT_TRUE(store.Filters().empty());
  EXPECT_EQ(ReadBytes(file), "[Core]\n");
}

TEST_F(ParamIoTest, SeedPersistsAcrossRuns) {
  std::int64_t first;
  {
    CAppContext run;
    ProgramEntry entry(run, {ctx.iniPath, false, true});
    first = run.seed.load();
    EXPECT_GT(first, 1700000000);  // the clock
    EXPECT_EQ(NewItemId(&run), first + 1);
    EXPECT_EQ(NewItemId(&run), first + 2);
    EXPECT_EQ(NewItemId(&run), first + 3);
    EXPECT_TRUE(entry.Finish());
    EXPECT_TRUE(run.iniPath.empty());  // released
  }
  std::int64_t stored = 0;
  ASSERT_TRUE(ReadSeed(ctx.iniPath, stored));
  EXPECT_EQ(stored, first + 3);
  CAppContext next;
  {
    ProgramEntry entry(next, {ctx.iniPath, false, false});
    EXPECT_EQ(next.seed.load(), first + 3);
  }

  // With the defaults on, a first start writes them once.
  fs::remove(file);
  CAppContext fresh;
  ProgramEntry entry(fresh, {ctx.iniPath, true, true});
  EXPECT_TRUE(entry.defaultsWritten());
  CAppContext again;
  ProgramEntry second(again, {ctx.iniPath, true, false});
  EXPECT_FALSE(second.defaultsWritten());
}

}  // namespace
}  // namespace tarvik
