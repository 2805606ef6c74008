#include "util/DataAllocator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

namespace {

// The number of mappings of the process: the system caps it (65,530 by
// default), so an allocator must not spend one on every block of a text.
size_t mappingCount() {
  std::ifstream maps("/proc/self/maps");
  return static_cast<size_t>(std::count(std::istreambuf_iterator<char>(maps), std::istreambuf_iterator<char>(), '\n'));
}

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

TEST(DataAllocator, BlocksUpToAPageShareTheArenasMappingsAndStayInsideTheirPage) {
  TDataAllocator arena(0x10000);
  const size_t pageSize = arena.PageSize();
  std::mt19937 rng(7);
  std::vector<void*> blocks;
  const size_t mappingsBefore = mappingCount();
  // Line chunks of long lines: from past the small-block limit up to the
  // largest chunk the buffer makes, after the edges of the block sizes.
  const size_t edges[] = {pageSize / 8 + 1, pageSize / 2, pageSize / 2 + 8, pageSize - 64};
  for (int i = 0; i < 3000; ++i) {
    const size_t n = i < 4 ? edges[i] : 9 * 1024 + rng() % (50 * 1024 + 1);
    auto* p = static_cast<char*>(arena.Alloc(n));
    const size_t room = arena.UsableSize(p);
    ASSERT_GE(room, n);
    const size_t offset = reinterpret_cast<uintptr_t>(p) & (pageSize - 1);
    ASSERT_GE(offset, 8u) << "a block must leave its page's header alone";
    ASSERT_LE(offset + room, pageSize) << "a block of " << n << " runs into the next page";
    std::memset(p, 0x5A, room);
    blocks.push_back(p);
  }
  EXPECT_LT(mappingCount(), mappingsBefore + 100) << "3000 blocks took a mapping each";

  // Freed, the same sizes come back out of the freed blocks.
  const size_t reserved = arena.BytesReserved();
  for (void* p : blocks) arena.Free(p);
  EXPECT_EQ(arena.BytesInUse(), 0u);
  rng.seed(7);
  for (int i = 0; i < 3000; ++i) arena.Alloc(i < 4 ? edges[i] : 9 * 1024 + rng() % (50 * 1024 + 1));
  EXPECT_EQ(arena.BytesReserved(), reserved);

  // A whole page does not fit beside the page's header: it gets a mapping of
  // its own, which goes back to the system when freed.
  void* whole = arena.Alloc(pageSize);
  EXPECT_GT(arena.BytesReserved(), reserved);
  arena.Free(whole);
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
