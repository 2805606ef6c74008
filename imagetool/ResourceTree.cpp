#include "imagetool/ResourceTree.h"

#include <set>

#include "platform/Format.h"

namespace {

constexpr uint32_t kDirectoryHeaderSize = 16;
constexpr uint32_t kEntrySize = 8;
constexpr uint32_t kDataEntrySize = 16;
constexpr uint32_t kSubdirectoryFlag = 0x80000000;
// Type, name and language make three levels; a few more are tolerated.
constexpr int kMaxDepth = 8;
// Directories may share entries, so the entries visited are counted too.
constexpr uint64_t kMaxEntries = 1000000;

struct TWalk {
  const ExeImage& image;
  uint32_t root;
  std::set<uint64_t> directories;
  std::set<uint32_t> dataEntries;
  std::vector<uint32_t> ordered;
  uint64_t visited = 0;

  void directory(uint64_t offset, int depth) {
    if (depth > kMaxDepth) throw EImageFormat("The resource tree is nested too deeply");
    if (!directories.insert(offset).second) return;
    image.Check(offset, kDirectoryHeaderSize);
    uint64_t count = uint64_t(image.U16(offset + 12)) + image.U16(offset + 14);
    image.Check(offset + kDirectoryHeaderSize, count * kEntrySize);
    visited += count;
    if (visited > kMaxEntries) throw EImageFormat("The resource tree has too many entries");
    for (uint64_t i = 0; i < count; ++i) {
      uint32_t target = image.U32(offset + kDirectoryHeaderSize + i * kEntrySize + 4);
      uint64_t at = uint64_t(root) + (target & ~kSubdirectoryFlag);
      if (target & kSubdirectoryFlag) {
        directory(at, depth + 1);
      } else {
        image.Check(at, kDataEntrySize);
        if (dataEntries.insert(uint32_t(at)).second) ordered.push_back(uint32_t(at));
      }
    }
  }
};

}  // namespace

std::vector<uint32_t> CollectResourceDataEntries(const ExeImage& image, uint32_t rootOffset) {
  TWalk walk{image, rootOffset, {}, {}, {}};
  walk.directory(rootOffset, 0);
  return walk.ordered;
}
