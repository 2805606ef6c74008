#pragma once
// A small-block arena working in pages of a fixed size. Blocks of a size
// class share pages, so a block carries no header of its own: the header at
// the start of its page, found by masking the block's address, says how
// large it is. Freed blocks go back to their class and are reused; pages are
// given back only when the whole allocator is destroyed, which frees every
// block at once. Classes go up to a block that fills a whole page beside
// its header; only blocks larger than that get a mapping of their own,
// aligned to the page size and headed the same way, and go back to the
// system when freed.
//
// Single-threaded: one allocator belongs to one owner (an edit buffer).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class TDataAllocator {
public:
  // pageSize must be a power of two of at least 4096 bytes.
  explicit TDataAllocator(size_t pageSize = 0x10000);
  ~TDataAllocator();
  TDataAllocator(const TDataAllocator&) = delete;
  TDataAllocator& operator=(const TDataAllocator&) = delete;

  // A block of at least n bytes (n 0 gives the smallest block), aligned to
  // 8 bytes. Raises std::bad_alloc when the system has no memory left.
  void* Alloc(size_t n);
  // Returns a block to the allocator; nullptr is ignored.
  void Free(void* block);
  // Grows or shrinks a block without moving it: true when n bytes fit the
  // block's room, which then stays as it was. A block that does not fit is
  // left untouched and false is answered; the caller allocates anew.
  bool Resize(void* block, size_t n);
  // The number of bytes the block may hold (at least what was asked for).
  size_t UsableSize(const void* block) const;

  size_t PageSize() const { return pageSize_; }
  // Bytes taken from the system (pages and large blocks).
  size_t BytesReserved() const { return bytesReserved_; }
  // Bytes of the blocks currently handed out, counted by their usable size.
  size_t BytesInUse() const { return bytesInUse_; }

private:
  struct PageHeader;
  struct FreeBlock {
    FreeBlock* next;
  };
  struct SizeClass {
    uint32_t size;
    FreeBlock* freeList;
    char* bumpNext;  // unused room of the class's newest page
    char* bumpEnd;
  };

  int classIndexFor(size_t n) const;
  char* newPage(uint32_t classIndex);
  void* allocLarge(size_t n);
  static void* mapAligned(size_t size, size_t alignment);

  size_t pageSize_;
  size_t largeThreshold_;  // a page's payload: larger blocks get a mapping each
  std::vector<SizeClass> classes_;
  std::vector<uint16_t> smallLookup_;  // class index by (n + 7) / 8 for n up to 1024
  struct Region {
    void* base;
    size_t size;
  };
  // Pages come from regions that double in size up to kMaxRegionSize, so a
  // small text takes little and a large one few, huge-page backed mappings.
  std::vector<Region> regions_;
  size_t regionSize_;  // size of the next region
  char* regionNext_ = nullptr;  // next unused page of the newest region
  char* regionEnd_ = nullptr;
  size_t bytesReserved_ = 0;
  size_t bytesInUse_ = 0;
  PageHeader* largeHead_ = nullptr;  // chain of the large blocks' mappings
};

// Creates a page allocator; the edit buffer uses a page size of 0x10000.
std::unique_ptr<TDataAllocator> DsCreateDataAllocator(size_t pageSize);
