#include "core/tracked_memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "core/platform.h"
#include "core/tracked_array.h"

namespace tarvik {
namespace {

TEST(TrackedMemory, GrowSizeIsNextKibStepAbove) {
  EXPECT_EQ(GrowSize(0), 1024u);
  EXPECT_EQ(GrowSize(1), 1024u);
  EXPECT_EQ(GrowSize(1023), 1024u);
  EXPECT_EQ(GrowSize(1024), 2048u);
  EXPECT_EQ(GrowSize(8192), 9216u);
}

TEST(TrackedMemory, AllocFreeBalancesAndZeroSizeCountsNothing) {
  CAppContext ctx;
  EXPECT_EQ(MemAlloc(&ctx, 0), nullptr);
  EXPECT_EQ(MemAllocZero(&ctx, 0), nullptr);
  EXPECT_EQ(ctx.bytesAllocated.load(), 0u);

  void* p = MemAlloc(&ctx, 10);
  ASSERT_NE(p, nullptr);
  EXPECT_GE(platform::HeapUsableSize(p), 1024u);
  EXPECT_EQ(ctx.bytesAllocated.load(), platform::HeapUsableSize(p));
  EXPECT_GT(MemInUse(&ctx), 0);
  MemFree(&ctx, p);
  EXPECT_EQ(MemInUse(&ctx), 0);
  MemFree(&ctx, nullptr);  // no-op
  EXPECT_EQ(MemInUse(&ctx), 0);

  auto* z = static_cast<unsigned char*>(MemAllocZero(&ctx, 3000));
  ASSERT_NE(z, nullptr);
  for (std::size_t i = 0; i < 3072; ++i) ASSERT_EQ(z[i], 0) << i;
  MemFree(&ctx, z);
  EXPECT_EQ(MemInUse(&ctx), 0);
}

TEST(TrackedMemory, ReallocNeverShrinksAndGrowsOnEqualSize) {
  CAppContext ctx;
  char* p = static_cast<char*>(MemAlloc(&ctx, 100));
  ASSERT_NE(p, nullptr);
  std::size_t usable = platform::HeapUsableSize(p);
  std::int64_t before = MemInUse(&ctx);

  // Smaller than usable: same block, both regrowth totals move by the same amount.
  EXPECT_EQ(MemRealloc(&ctx, p, 50), p);
  EXPECT_EQ(ctx.bytesRegrownFrom.load(), usable);
  EXPECT_EQ(ctx.bytesRegrownTo.load(), usable);
  EXPECT_EQ(MemInUse(&ctx), before);

  std::memcpy(p, "keep", 5);
  char* q = static_cast<char*>(MemRealloc(&ctx, p, usable));
  ASSERT_NE(q, nullptr);
  EXPECT_GE(platform::HeapUsableSize(q), GrowSize(usable));
  EXPECT_STREQ(q, "keep");

  EXPECT_EQ(MemRealloc(&ctx, nullptr, 10), nullptr);
  EXPECT_EQ(MemRealloc(&ctx, q, 0), nullptr);
  MemFree(&ctx, q);
  EXPECT_EQ(MemInUse(&ctx), 0);
}

TEST(TrackedMemory, BlocksKeepTheirBytesAcrossTheLargeSizeAndTotalsBalance) {
  // Small to large (one copy into a block of its own), large to larger (pages moved), zeroed
  // large blocks; whatever the machine offers.
  CAppContext ctx;
  auto* z = static_cast<unsigned char*>(MemAllocZero(&ctx, 9u << 20));
  ASSERT_NE(z, nullptr);
  for (std::size_t i = 0; i < (9u << 20); i += 4093) ASSERT_EQ(z[i], 0) << i;
  auto* p = static_cast<unsigned char*>(MemAlloc(&ctx, 3000));
  ASSERT_NE(p, nullptr);
  for (std::size_t i = 0; i < 3000; ++i) p[i] = static_cast<unsigned char>(i * 7);
  for (std::size_t size : {std::size_t{5} << 20, std::size_t{5} << 20, std::size_t{23} << 20}) {
    p = static_cast<unsigned char*>(MemRealloc(&ctx, p, size));
    ASSERT_NE(p, nullptr) << size;
    p[size - 1] = 1;
    // Prefaulting is advice: bytes stay, and a range past the end stops at the block's end.
    MemPrefault(p, 1000, size);
    MemPrefault(p, size + 4096, 4096);
    for (std::size_t i = 0; i < 3000; ++i) ASSERT_EQ(p[i], static_cast<unsigned char>(i * 7));
    ASSERT_EQ(p[size - 1], 1);
  }
  EXPECT_GE(MemInUse(&ctx), std::int64_t{32} << 20);
  MemFree(&ctx, p);
  // A freed large block may serve the next one of about its size: zeroed when asked for.
  auto* again = static_cast<unsigned char*>(MemAllocZero(&ctx, 20u << 20));
  ASSERT_NE(again, nullptr);
  for (std::size_t i = 0; i < (20u << 20); i += i < 3000 ? 1 : 4093) ASSERT_EQ(again[i], 0) << i;
  MemFree(&ctx, again);
  MemFree(&ctx, z);
  EXPECT_EQ(MemInUse(&ctx), 0);
}

// Threads write their own objects all the time (record counts, tallies); sharing a cache
// line between two of them halves what two threads get done.
TEST(TrackedMemory, TrackedObjectsEachStartACacheLineOfTheirOwn) {
  struct Small {
    explicit Small(int v) : value(v) {}
    int value;
  };
  CAppContext ctx;
  {
    TrackedObjects<Small> objects(&ctx);
    ASSERT_TRUE(objects.Create(5, 42));
    for (std::size_t k = 0; k < 5; ++k) {
      EXPECT_EQ(objects[k].value, 42);
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(&objects[k]) % 64, 0u) << k;
    }
    EXPECT_GT(MemInUse(&ctx), 0);
  }
  EXPECT_EQ(MemInUse(&ctx), 0);
}

TEST(TrackedMemory, InjectedFailuresLeaveBlocksAndTotalsIntact) {
  CAppContext ctx;
  MemFailAfter(2);
  void* a = MemAlloc(&ctx, 8);
  ASSERT_NE(a, nullptr);
  std::uint64_t allocated = ctx.bytesAllocated.load();
  EXPECT_EQ(MemRealloc(&ctx, a, 5000), nullptr);  // second request fails
  EXPECT_EQ(ctx.bytesAllocated.load(), allocated);
  EXPECT_EQ(ctx.bytesRegrownTo.load(), 0u);
  void* b = MemRealloc(&ctx, a, 5000);  // hook spent: works again, old block was kept
  ASSERT_NE(b, nullptr);
  MemFree(&ctx, b);
  MemFailAfter(0);
  EXPECT_EQ(MemInUse(&ctx), 0);
}

TEST(TrackedMemory, TotalsStayConsistentAcrossThreads) {
  CAppContext ctx;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        void* p = MemAlloc(&ctx, 100 + i);
        p = MemRealloc(&ctx, p, 3000 + i);
        MemFree(&ctx, p);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(MemInUse(&ctx), 0);
}

TEST(TrackedMemory, AllocatorCountsContainerBytes) {
  CAppContext ctx;
  {
    std::vector<int, TrackedAllocator<int>> v{TrackedAllocator<int>(&ctx)};
    v.resize(5000);
    EXPECT_GE(MemInUse(&ctx), static_cast<std::int64_t>(5000 * sizeof(int)));
  }
  EXPECT_EQ(MemInUse(&ctx), 0);
}

}  // namespace
}  // namespace tarvik
