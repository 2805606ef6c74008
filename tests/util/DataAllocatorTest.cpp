#include "util/DataAllocator.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

struct Block {
  unsigned char* p;
  size_t n;
  unsigned char fill;
};

TEST(DataAllocator, BlocksOfEverySizeKeepTheirBytesWhileOthersComeAndGo) {
  TDataAllocator arena(0x10000);
  std::mt19937 rng(3);
  std::vector<Block> live;
  for (int step = 0; step < 6000; ++step) {
    if (live.empty() || rng() % 3 != 0) {
      // Mostly small blocks, some past the small-block limit and past a page.
      size_t n = rng() % 25 == 0 ? 8000 + rng() % 70000 : 1 + rng() % 300;
      auto* p = static_cast<unsigned char*>(arena.Alloc(n));
      ASSERT_EQ(reinterpret_cast<uintptr_t>(p) % 8, 0u);
      ASSERT_GE(arena.UsableSize(p), n);
      auto fill = static_cast<unsigned char>(rng());
      std::memset(p, fill, arena.UsableSize(p));
      live.push_back({p, arena.UsableSize(p), fill});
    } else {
      size_t i = rng() % live.size();
      Block b = live[i];
      for (size_t k = 0; k < b.n; ++k) ASSERT_EQ(b.p[k], b.fill) << "block of " << b.n << " damaged at " << k;
      arena.Free(b.p);
      live.erase(live.begin() + static_cast<long>(i));
    }
  }
  size_t inUse = 0;
  for (const Block& b : live) {
    for (size_t k = 0; k < b.n; ++k) ASSERT_EQ(b.p[k], b.fill);
    inUse += b.n;
  }
  EXPECT_EQ(arena.BytesInUse(), inUse);
  EXPECT_GE(arena.BytesReserved(), inUse);
}

TEST(DataAllocator, FreedBlocksAreReusedForTheirSize) {
  TDataAllocator arena(0x10000);
  void* a = arena.Alloc(40);
  arena.Free(a);
  EXPECT_EQ(arena.Alloc(37), a);
  const size_t reserved = arena.BytesReserved();
  for (int i = 0; i < 1000; ++i) arena.Free(arena.Alloc(100));
  EXPECT_EQ(arena.BytesReserved(), reserved);
}

TEST(DataAllocator, ResizeStaysInPlaceOnlyWithinTheRoom) {
  TDataAllocator arena(0x10000);
  void* p = arena.Alloc(20);
  const size_t room = arena.UsableSize(p);
  EXPECT_TRUE(arena.Resize(p, room));
  EXPECT_TRUE(arena.Resize(p, 1));
  EXPECT_FALSE(arena.Resize(p, room + 1));
  EXPECT_EQ(arena.UsableSize(p), room);
  void* big = arena.Alloc(100000);
  EXPECT_GE(arena.UsableSize(big), 100000u);
  EXPECT_FALSE(arena.Resize(big, arena.UsableSize(big) + 1));
}

TEST(DataAllocator, LargeBlocksGoBackToTheSystemWhenFreed) {
  TDataAllocator arena(0x10000);
  const size_t before = arena.BytesReserved();
  void* big = arena.Alloc(200000);
  EXPECT_GE(arena.BytesReserved(), before + 200000);
  arena.Free(big);
  EXPECT_EQ(arena.BytesReserved(), before);
  EXPECT_EQ(arena.BytesInUse(), 0u);
}

TEST(DataAllocator, OtherPageSizesWork) {
  auto arena = DsCreateDataAllocator(4096);
  ASSERT_EQ(arena->PageSize(), 4096u);
  std::vector<void*> blocks;
  for (int i = 0; i < 5000; ++i) blocks.push_back(arena->Alloc(1 + i % 700));
  for (size_t i = 0; i < blocks.size(); i += 2) arena->Free(blocks[i]);
  EXPECT_GT(arena->BytesInUse(), 0u);
  // An odd page size falls back to the buffer's 64 KiB.
  EXPECT_EQ(DsCreateDataAllocator(5000)->PageSize(), 0x10000u);
}

}  // namespace
