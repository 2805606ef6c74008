#include "imagetool/ResourceTree.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace {

// A resource section at 1000 whose root holds the given entries (name, target).
std::unique_ptr<ExeImage> resourceImage(const std::vector<std::pair<uint32_t, uint32_t>>& rootEntries,
                                        TBytes extra = {}) {
  TTestImage t;
  TBytes r(0x200, 0);
  Put16(r, 14, uint16_t(rootEntries.size()));
  for (size_t i = 0; i < rootEntries.size(); ++i) {
    Put32(r, 16 + 8 * i, rootEntries[i].first);
    Put32(r, 20 + 8 * i, rootEntries[i].second);
  }
  std::copy(extra.begin(), extra.end(), r.begin() + 0x100);
  t.sections.push_back({".rsrc", 0x1000, 0, r});
  t.directories[diResources] = {0x1000, 0x200};
  int error = 0;
  auto image = ExeImage::OpenImageInMemory(t.Build(), error);
  EXPECT_TRUE(image);
  return image;
}

TEST(ResourceTree, CollectsEachDataEntryOnceAndStopsOnLoops) {
  // Two entries share one data entry at 0x100; a third points back at the root.
  auto image = resourceImage({{1, 0x100}, {2, 0x100}, {3, 0x80000000}}, TBytes(16, 0));
  ASSERT_TRUE(image);
  EXPECT_EQ(CollectResourceDataEntries(*image, *image->ResourceDirectory()), std::vector<uint32_t>{0x500});
}

TEST(ResourceTree, RaisesForEntriesOutsideTheFile) {
  auto image = resourceImage({{1, 0x7FFFFFF0}});
  ASSERT_TRUE(image);
  EXPECT_THROW(CollectResourceDataEntries(*image, *image->ResourceDirectory()), EImageFormat);
  TBytes tooMany(16, 0);
  Put16(tooMany, 14, 0xFFFF);  // a subdirectory claiming more entries than the file holds
  image = resourceImage({{1, 0x80000100}}, tooMany);
  ASSERT_TRUE(image);
  EXPECT_THROW(CollectResourceDataEntries(*image, *image->ResourceDirectory()), EImageFormat);
}

}  // namespace
