#include "util/DataAllocator.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define QUILL_ARENA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUILL_ARENA_ASAN 1
#endif
#endif

#ifdef QUILL_ARENA_ASAN
#include <sanitizer/asan_interface.h>
// Blocks outside their lifetime are poisoned, so that the sanitizer catches a
// use after free or an overrun inside the arena as it does for the heap.
#define ARENA_POISON(p, n) ASAN_POISON_MEMORY_REGION((p), (n))
#define ARENA_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION((p), (n))
#else
#define ARENA_POISON(p, n) ((void)(p), (void)(n))
#define ARENA_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace {
constexpr uint32_t kPageMagic = 0x41524E50;  // a small-block page
constexpr uint32_t kLargeMagic = 0x41524E4C; // a block with a mapping of its own
constexpr uint32_t kLargeClass = 0xFFFFFFFF;
constexpr size_t kPagesPerRegion = 16;
constexpr size_t kMaxRegionSize = size_t(32) << 20;
constexpr size_t kHugePageSize = size_t(2) << 20;

size_t systemPageSize() {
  static const size_t size = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  return size;
}

size_t roundUp(size_t n, size_t to) { return (n + to - 1) / to * to; }
}  // namespace

// Every page (and every large block's mapping) starts with this header, so the
// header of any block is found by masking its address with the page size.
struct TDataAllocator::PageHeader {
  uint32_t magic;
  uint32_t classIndex;
  size_t mappedSize;  // large blocks: the size of their mapping
  PageHeader* prev;   // large blocks: the chain that the destructor unmaps
  PageHeader* next;
};
static_assert(sizeof(void*) == 8, "the arena lays out 8-byte aligned blocks");
constexpr size_t kHeaderSize = 32;

TDataAllocator::TDataAllocator(size_t pageSize) : pageSize_(pageSize) {
  if (pageSize_ < 4096 || (pageSize_ & (pageSize_ - 1)) != 0) pageSize_ = 0x10000;
  static_assert(sizeof(PageHeader) <= kHeaderSize);
  largeThreshold_ = pageSize_ - kHeaderSize;
  regionSize_ = pageSize_ * kPagesPerRegion;
  // Classes step by 8 bytes up to 256, then by an eighth of the power of two
  // below them, so that no block wastes more than about 12 % of its room.
  const size_t smallLimit = pageSize_ / 8;
  for (size_t size = 8; size <= smallLimit;) {
    classes_.push_back(SizeClass{static_cast<uint32_t>(size), nullptr, nullptr, nullptr});
    size_t step = 8;
    if (size >= 256) {
      size_t pow2 = 256;
      while (pow2 * 2 <= size) pow2 *= 2;
      step = pow2 / 8;
    }
    size += step;
  }
  // Above that a page holds only a few blocks, and what a block costs is the
  // page divided by how many of its class fit: the classes are the payload
  // split into k equal blocks, down to one block filling the whole page.
  // Blocks as large as long lines' chunks thus share the arena's regions
  // instead of taking a mapping each, of which the system allows only so many.
  for (size_t k = largeThreshold_ / classes_.back().size; k >= 1; --k) {
    const size_t size = largeThreshold_ / k & ~size_t(7);
    if (size > classes_.back().size)
      classes_.push_back(SizeClass{static_cast<uint32_t>(size), nullptr, nullptr, nullptr});
  }
  smallLookup_.resize(1024 / 8 + 1);
  size_t c = 0;
  for (size_t i = 0; i < smallLookup_.size(); ++i) {
    size_t n = i * 8;
    while (c < classes_.size() && classes_[c].size < n) ++c;
    smallLookup_[i] = static_cast<uint16_t>(c);
  }
}

TDataAllocator::~TDataAllocator() {
  for (const Region& region : regions_) {
    ARENA_UNPOISON(region.base, region.size);
    ::munmap(region.base, region.size);
  }
  PageHeader* h = largeHead_;
  while (h) {
    PageHeader* next = h->next;
    ::munmap(h, h->mappedSize);
    h = next;
  }
}

void* TDataAllocator::mapAligned(size_t size, size_t alignment) {
  size_t span = size + alignment;
  void* raw = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  uintptr_t start = reinterpret_cast<uintptr_t>(raw);
  uintptr_t aligned = (start + alignment - 1) & ~(uintptr_t(alignment) - 1);
  if (aligned > start) ::munmap(raw, aligned - start);
  uintptr_t end = start + span;
  uintptr_t used = aligned + size;
  if (end > used) ::munmap(reinterpret_cast<void*>(used), end - used);
  return reinterpret_cast<void*>(aligned);
}

int TDataAllocator::classIndexFor(size_t n) const {
  if (n <= 1024) return smallLookup_[(n + 7) / 8];
  size_t lo = 0, hi = classes_.size();
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (classes_[mid].size < n)
      lo = mid + 1;
    else
      hi = mid;
  }
  return static_cast<int>(lo);
}

char* TDataAllocator::newPage(uint32_t classIndex) {
  if (regionNext_ == regionEnd_) {
    const bool huge = regionSize_ >= kHugePageSize;
    void* region = mapAligned(regionSize_, huge ? std::max(kHugePageSize, pageSize_) : pageSize_);
    if (!region) throw std::bad_alloc();
    // A large text touches its regions from end to end: huge pages spare
    // the kernel a fault for every 4 KiB of them.
    if (huge) ::madvise(region, regionSize_, MADV_HUGEPAGE);
    regions_.push_back({region, regionSize_});
    bytesReserved_ += regionSize_;
    regionNext_ = static_cast<char*>(region);
    regionEnd_ = regionNext_ + regionSize_;
    ARENA_POISON(region, regionSize_);
    regionSize_ = std::min(regionSize_ * 2, std::max(kMaxRegionSize, pageSize_ * kPagesPerRegion));
  }
  char* page = regionNext_;
  regionNext_ += pageSize_;
  ARENA_UNPOISON(page, kHeaderSize);
  auto* header = reinterpret_cast<PageHeader*>(page);
  header->magic = kPageMagic;
  header->classIndex = classIndex;
  header->mappedSize = 0;
  header->prev = header->next = nullptr;
  return page;
}

void* TDataAllocator::Alloc(size_t n) {
  if (n == 0) n = 1;
  if (n > largeThreshold_) return allocLarge(n);
  const int ci = classIndexFor(n);
  SizeClass& sc = classes_[ci];
  void* block;
  if (sc.freeList) {
    FreeBlock* fb = sc.freeList;
    ARENA_UNPOISON(fb, sizeof(FreeBlock));
    sc.freeList = fb->next;
    block = fb;
  } else {
    if (sc.bumpNext == nullptr || static_cast<size_t>(sc.bumpEnd - sc.bumpNext) < sc.size) {
      char* page = newPage(static_cast<uint32_t>(ci));
      sc.bumpNext = page + kHeaderSize;
      sc.bumpEnd = page + kHeaderSize + (pageSize_ - kHeaderSize) / sc.size * sc.size;
    }
    block = sc.bumpNext;
    sc.bumpNext += sc.size;
  }
  ARENA_UNPOISON(block, sc.size);
  bytesInUse_ += sc.size;
  return block;
}

// Blocks larger than a page's payload live in mappings of their own, chained
// through their headers so that the destructor can give them back.
void* TDataAllocator::allocLarge(size_t n) {
  size_t mapped = roundUp(kHeaderSize + n, systemPageSize());
  void* base = mapAligned(mapped, pageSize_);
  if (!base) throw std::bad_alloc();
  auto* header = static_cast<PageHeader*>(base);
  header->magic = kLargeMagic;
  header->classIndex = kLargeClass;
  header->mappedSize = mapped;
  header->prev = nullptr;
  header->next = largeHead_;
  if (largeHead_) largeHead_->prev = header;
  largeHead_ = header;
  bytesReserved_ += mapped;
  bytesInUse_ += mapped - kHeaderSize;
  return static_cast<char*>(base) + kHeaderSize;
}

namespace {
template <class Header>
Header* headerOf(const void* block, size_t pageSize) {
  return reinterpret_cast<Header*>(reinterpret_cast<uintptr_t>(block) & ~(uintptr_t(pageSize) - 1));
}
}  // namespace

void TDataAllocator::Free(void* block) {
  if (!block) return;
  PageHeader* header = headerOf<PageHeader>(block, pageSize_);
  if (header->classIndex == kLargeClass) {
    if (header->prev)
      header->prev->next = header->next;
    else
      largeHead_ = header->next;
    if (header->next) header->next->prev = header->prev;
    bytesReserved_ -= header->mappedSize;
    bytesInUse_ -= header->mappedSize - kHeaderSize;
    ::munmap(header, header->mappedSize);
    return;
  }
  SizeClass& sc = classes_[header->classIndex];
  auto* fb = static_cast<FreeBlock*>(block);
  fb->next = sc.freeList;
  sc.freeList = fb;
  bytesInUse_ -= sc.size;
  ARENA_POISON(block, sc.size);
}

size_t TDataAllocator::UsableSize(const void* block) const {
  if (!block) return 0;
  const PageHeader* header = headerOf<const PageHeader>(block, pageSize_);
  if (header->classIndex == kLargeClass) return header->mappedSize - kHeaderSize;
  return classes_[header->classIndex].size;
}

bool TDataAllocator::Resize(void* block, size_t n) { return block && n <= UsableSize(block); }

std::unique_ptr<TDataAllocator> DsCreateDataAllocator(size_t pageSize) {
  return std::make_unique<TDataAllocator>(pageSize);
}
