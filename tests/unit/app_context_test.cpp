#include "core/app_context.h"
#include "core/settings_path.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace tarvik {
namespace {

TEST(AppContext, NewItemIdIsAtomicAndConsecutive) {
  CAppContext ctx;
  ctx.seed = 500;
  EXPECT_EQ(NewItemId(&ctx), 501);
  EXPECT_EQ(NewItemId(&ctx), 502);
  EXPECT_EQ(NewItemId(&ctx), 503);
  EXPECT_EQ(ctx.seed.load(), 503);

  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) NewItemId(&ctx);
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(ctx.seed.load(), 503 + 40000);
  EXPECT_EQ(NewItemId(nullptr), 0);
}

TEST(AppContext, RaiseSeedOnlyRaises) {
  CAppContext ctx;
  ctx.seed = 100;
  RaiseSeed(&ctx, 50);
  EXPECT_EQ(ctx.seed.load(), 100);
  RaiseSeed(&ctx, 250);
  EXPECT_EQ(ctx.seed.load(), 250);
  EXPECT_EQ(NewItemId(&ctx), 251);
}

TEST(AppContext, ControlIdsStopAt1524) {
  CAppContext ctx;
  InitContext(ctx, u"/nonexistent-dir/Tarvik.ini");
  EXPECT_EQ(TakeControlId(&ctx), 1125u);
  std::uint32_t last = 0;
  for (int i = 2; i <= 400; ++i) last = TakeControlId(&ctx);
  EXPECT_EQ(last, 1524u);
  EXPECT_EQ(TakeControlId(&ctx), 1524u);
  EXPECT_EQ(TakeControlId(&ctx), 1524u);
  ReleaseContext(ctx);
}

TEST(AppContext, SettingsPathBesideTheExecutableOrPerUser) {
  SettingsPathInput in;
  in.exePath = u"/opt/tarvik/bin/tarvik";
  in.userConfigDir = u"/home/u/.config";
  EXPECT_EQ(SettingsPathFor(in), u"/opt/tarvik/bin/Tarvik.ini");
  in.exePath = u"/tarvik";
  EXPECT_EQ(SettingsPathFor(in), u"/Tarvik.ini");

  in.exePath = u"/usr/bin/tarvik";
  in.installed = true;  // root may write to /usr/bin: settings still go to the user's folder
  EXPECT_EQ(SettingsPathFor(in), u"/home/u/.config/Tarvik/Tarvik.ini");
  in.installed = false;
  in.exeDirWritable = false;
  EXPECT_EQ(SettingsPathFor(in), u"/home/u/.config/Tarvik/Tarvik.ini");
  in.iniBesideExists = true;  // an existing file beside the program is kept
  EXPECT_EQ(SettingsPathFor(in), u"/usr/bin/Tarvik.ini");
  in.iniBesideExists = false;
  in.userConfigDir.clear();
  EXPECT_EQ(SettingsPathFor(in), u"/usr/bin/Tarvik.ini");

  in.exePath = u"tarvik";  // no folder at all
  EXPECT_EQ(SettingsPathFor(in), u"");
  // The real process: some path ending in Tarvik.ini.
  std::u16string real = DefaultSettingsPath();
  ASSERT_GE(real.size(), 10u);
  EXPECT_EQ(real.substr(real.size() - 10), u"Tarvik.ini");
}

TEST(AppContext, ClockSeedIsSecondsSince1970) {
  std::int64_t s = ClockSeed();
  EXPECT_GT(s, 1700000000);  // after November 2023
  EXPECT_LT(s, 4102444800);  // before 2100
}

}  // namespace
}  // namespace tarvik
