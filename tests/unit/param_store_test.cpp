#include "params/param_store.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "core/tracked_memory.h"

namespace tarvik {
namespace {

class ParamStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { ctx.seed = 1000; }
  void TearDown() override { MemFailAfter(0); }
  CAppContext ctx;
};

std::u16string Text(const char16_t* field) {
  return field;
}

TEST_F(ParamStoreTest, NewItemsCarryTheirDefaultsAndConsecutiveIds) {
  CParamStore store(&ctx);
  ASSERT_NE(store.data, nullptr);

  FilterArea* f = store.AddFilter();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->Param, PARAM_ENABLED);
  EXPECT_EQ(f->ID, 1001u);
  EXPECT_EQ(Text(f->Name), u"<новый элемент>");
  EXPECT_EQ(f->AX, 0.0);
  EXPECT_EQ(f->CY, 0.0);

  SchemaSet* s = store.AddSchema();
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->ID, 1002u);
  EXPECT_EQ(s->Param, PARAM_ENABLED | PARAM_DEFAULT);  // the first schema becomes current
  EXPECT_EQ(s->Count, 0u);
  EXPECT_EQ(s->Entries, nullptr);

  SchemaEntry* e = store.AddEntry(*s);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->Param, PARAM_ENABLED);
  EXPECT_EQ(e->ID, 1003u);
  EXPECT_EQ(e->Type, 255);
  EXPECT_EQ(Text(e->Desc), u"<новый элемент>");
  EXPECT_EQ(s->Count, 1u);

  ExportProfile* p = store.AddProfile();
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->ID, 1004u);
  EXPECT_EQ(p->Param, PARAM_ENABLED | PARAM_DEFAULT);
  EXPECT_EQ(Text(p->File), u"POIs.csv");
  EXPECT_EQ(Text(p->Format), u"{x},{y},{desc}");
  EXPECT_EQ(Text(p->Folder), u"");
  EXPECT_EQ(p->Codepage, 65001);
  EXPECT_EQ(p->StringLimit, 0);
  EXPECT_EQ(p->SizeLimit, 0);
  EXPECT_EQ(p->Translit, 0);
  EXPECT_EQ(ctx.seed.load(), 1004);
}

TEST_F(ParamStoreTest, AppendGrowsZeroFilledAndKeepsEarlierRecords) {
  CParamStore store(&ctx);
  // Enough profiles (8 KiB+ each) to move the array several times.
  for (int i = 0; i < 40; ++i) {
    ExportProfile* p = store.AppendProfile();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->Param, 0);
    EXPECT_EQ(p->File[0], 0);
    EXPECT_EQ(p->Desc[PROFILE_DESC_CAPACITY - 1], 0);
    p->ID = static_cast<std::uint64_t>(i);
  }
  ASSERT_EQ(store.Profiles().size(), 40u);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(store.Profiles()[i].ID, static_cast<std::uint64_t>(i));
}

TEST_F(ParamStoreTest, AppendWithoutMemoryAddsNothing) {
  CParamStore store(&ctx);
  store.AddFilter();
  MemFailAfter(1);
  // The first array block has room; force a growth that fails by filling it.
  std::uint32_t before = store.data->filterCount;
  FilterArea* f = nullptr;
  for (int i = 0; i < 100 && (f = store.AppendFilter()); ++i) {
  }
  EXPECT_EQ(f, nullptr);
  EXPECT_GT(store.data->filterCount, before);
  std::uint32_t count = store.data->filterCount;
  MemFailAfter(0);
  EXPECT_NE(store.AppendFilter(), nullptr);
  EXPECT_EQ(store.data->filterCount, count + 1);

  CParamStore fresh(&ctx);
  MemFailAfter(1);
  EXPECT_EQ(fresh.AddSchema(), nullptr);
  EXPECT_EQ(fresh.data->schemaCount, 0u);
  EXPECT_EQ(fresh.data->schemas, nullptr);
}

TEST_F(ParamStoreTest, ClearAndDestroyReleaseEverything) {
  std::int64_t before = MemInUse(&ctx);
  {
    CParamStore store(&ctx);
    store.Clear();  // empty store stays empty
    EXPECT_EQ(store.data->filterCount, 0u);
    for (int i = 0; i < 3; ++i) store.AddFilter();
    SchemaSet* s = store.AddSchema();
    for (int i = 0; i < 5; ++i) store.AddEntry(*s);
    store.AddProfile();
    store.Clear();
    EXPECT_EQ(store.data->filterCount, 0u);
    EXPECT_EQ(store.data->schemaCount, 0u);
    EXPECT_EQ(store.data->profileCount, 0u);
    EXPECT_EQ(store.data->filters, nullptr);
    EXPECT_EQ(store.data->schemas, nullptr);
    EXPECT_EQ(store.data->profiles, nullptr);
    EXPECT_TRUE(store.Schemas().empty());
    store.AddSchema();
    store.DestroyStore();
    EXPECT_EQ(store.data, nullptr);
    // Without a data block every operation is a no-op.
    EXPECT_EQ(store.AddFilter(), nullptr);
    EXPECT_EQ(store.CurrentSchema(), nullptr);
    store.Clear();
  }
  EXPECT_EQ(MemInUse(&ctx), before);
}

TEST_F(ParamStoreTest, SetTextKeepsAtMostCapacityMinusTwo) {
  FilterArea f{};
  std::u16string longName(70, u'я');
  SetText(f.Name, longName);
  EXPECT_EQ(FieldText(f.Name).size(), NAME_CAPACITY - 2);
  EXPECT_EQ(f.Name[NAME_CAPACITY - 2], 0);
  SetText(f.Name, u"ab");
  EXPECT_EQ(Text(f.Name), u"ab");
  EXPECT_EQ(f.Name[NAME_CAPACITY - 1], 0);
}

// Schemas A, B, C with the given Param bytes.
struct Three {
  SchemaSet items[3]{};
  Three(std::uint8_t a, std::uint8_t b, std::uint8_t c) {
    items[0].Param = a;
    items[1].Param = b;
    items[2].Param = c;
  }
  std::span<SchemaSet> span() { return items; }
};

constexpr std::uint8_t E = PARAM_ENABLED, D = PARAM_DEFAULT, X = PARAM_DELETED;

TEST(ParamRules, AddRuleMakesNewSchemaCurrentOnlyWhenNoneIs) {
  CAppContext ctx;
  CParamStore store(&ctx);
  SchemaSet* a = store.AddSchema();
  a->Param = E;  // disabled or deleted ones do not count
  store.AddSchema()->Param = E | D | X;
  SchemaSet* c = store.AddSchema();
  EXPECT_EQ(c->Param, E | D);
  SchemaSet* d = store.AddSchema();
  EXPECT_EQ(d->Param, E);
  EXPECT_EQ(store.CurrentSchema(), &store.Schemas()[2]);
}

TEST(ParamRules, DisablingTheCurrentMakesTheLastEnabledCurrent) {
  Three t(E, E | D, E);
  DisableItem(t.span(), t.items[1]);
  EXPECT_EQ(t.items[1].Param, 0);
  EXPECT_EQ(FindCurrent(t.span()), &t.items[2]);
  EXPECT_EQ(t.items[0].Param, E);
}

TEST(ParamRules, DeletingTheOnlyEnabledLeavesNoCurrent) {
  Three t(0, E | D, X | E);
  DeleteItem(t.span(), t.items[1]);
  EXPECT_EQ(FindCurrent(t.span()), nullptr);
  EXPECT_TRUE(IsDeleted(t.items[1]));
}

TEST(ParamRules, EnablingMovesNothingAndDeletedIsNeverCurrent) {
  Three t(X | E | D, 0, 0);
  EXPECT_EQ(FindCurrent(t.span()), nullptr);
  t.items[1].Param |= E;  // enabling alone does not make it current
  EXPECT_EQ(FindCurrent(t.span()), nullptr);
  RepairDefault(t.span());
  EXPECT_EQ(FindCurrent(t.span()), &t.items[1]);
  // RepairDefault changes nothing while an item is current.
  t.items[2].Param = E;
  RepairDefault(t.span());
  EXPECT_EQ(t.items[2].Param, E);
}

TEST(ParamRules, MakeCurrentVariants) {
  // Editor: only the current items lose default; a disabled item keeps its stale bit.
  Three t(E | D, D, E);
  MakeCurrentFromEditor(t.span(), t.items[2]);
  EXPECT_EQ(t.items[0].Param, E);
  EXPECT_EQ(t.items[1].Param, D);
  EXPECT_EQ(FindCurrent(t.span()), &t.items[2]);
  // Main window list: every item loses default, deleted and disabled included.
  Three u(E | D | X, D, E);
  MakeCurrentFromList(u.span(), u.items[2]);
  EXPECT_EQ(u.items[0].Param, E | X);
  EXPECT_EQ(u.items[1].Param, 0);
  EXPECT_EQ(u.items[2].Param, E | D);
}

TEST(ParamRules, ProfilesFollowTheSameRules) {
  CAppContext ctx;
  CParamStore store(&ctx);
  ExportProfile* a = store.AddProfile();
  EXPECT_EQ(a->Param, E | D);
  EXPECT_EQ(store.AddProfile()->Param, E);
  EXPECT_EQ(store.AddProfile()->Param, E);
  auto profiles = store.Profiles();
  DeleteItem(profiles, profiles[0]);
  EXPECT_EQ(store.CurrentProfile(), &profiles[2]);
}

TEST(ParamLock, TryAcquireFailsFromAnotherThreadAndMarksBusy) {
  CAppContext ctx;
  CParamStore store(&ctx);
  ASSERT_TRUE(TryAcquireParams(store));
  EXPECT_EQ(store.data->busyMarker.load(), 1);
  ASSERT_TRUE(TryAcquireParams(store));  // recursive
  EXPECT_EQ(store.data->busyMarker.load(), 1);
  bool other = true;
  std::thread([&] { other = ParamStoreHold(&store, ParamStoreHold::Try).held(); }).join();
  EXPECT_FALSE(other);
  ReleaseParams(store);
  ReleaseParams(store);
  EXPECT_EQ(store.data->busyMarker.load(), 0);
  std::thread([&] { other = ParamStoreHold(&store, ParamStoreHold::Try).held(); }).join();
  EXPECT_TRUE(other);
}

}  // namespace
}  // namespace tarvik
