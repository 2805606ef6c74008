#include "imagetool/UPeFile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>

#include "TestSupport.h"

namespace {

std::unique_ptr<ExeImage> open(const TBytes& bytes, int& error) { return ExeImage::OpenImageInMemory(bytes, error); }

std::unique_ptr<ExeImage> open(const TBytes& bytes) {
  int error = 0;
  auto image = open(bytes, error);
  EXPECT_TRUE(image) << "error " << error;
  return image;
}

// A code section at 1000 with 512 bytes of data and 0x800 of virtual size.
TTestImage simpleImage() {
  TTestImage t;
  TTestSection text{".text", 0x1000, 0x800, TBytes(0x200, 0x90), 0x60000020};
  TTestSection data{".data", 0x2000, 0, TBytes(0x100, 1), 0xC0000040};
  t.sections = {text, data};
  return t;
}

TEST(ImageModel, RefusesFilesThatAreNoImage) {
  TBytes good = simpleImage().Build();
  struct Case {
    const char* what;
    size_t offset;
    uint32_t value;
    int width;
    int error;
  };
  const Case cases[] = {
      {"no MZ", 0, 'X', 1, kImageErrNotImage},
      {"offset 60 beyond the file", 60, 0x7FFFFFF0, 4, kImageErrNotImage},
      {"offset 60 on no PE signature", 60, 0x80, 4, kImageErrNotImage},
      {"PE32+ header", TTestImage::kPeOffset + 24, 0x20B, 2, kImageErr64Bit},
      {"unknown optional header magic", TTestImage::kPeOffset + 24, 0x107, 2, kImageErrNotImage},
      {"optional header too small", TTestImage::kPeOffset + 20, 40, 2, kImageErrNotImage},
      {"section table beyond the file", TTestImage::kPeOffset + 6, 0xFFFF, 2, kImageErrNotImage},
  };
  for (const Case& c : cases) {
    TBytes bad = good;
    if (c.width == 1) bad[c.offset] = uint8_t(c.value);
    if (c.width == 2) Put16(bad, c.offset, uint16_t(c.value));
    if (c.width == 4) Put32(bad, c.offset, c.value);
    int error = 0;
    EXPECT_FALSE(open(bad, error)) << c.what;
    EXPECT_EQ(error, c.error) << c.what;
  }
  int error = 0;
  EXPECT_FALSE(open(TBytes(good.begin(), good.begin() + 30), error));
  EXPECT_EQ(error, kImageErrNotImage);
}

TEST(ImageModel, OpenImageReportsSystemErrors) {
  TTempDir dir;
  int error = 0;
  EXPECT_FALSE(ExeImage::OpenImage(dir / "missing.dll", imRead, error));
  EXPECT_EQ(error, ENOENT);
  EXPECT_FALSE(ExeImage::OpenImage(dir / "", imRead, error));
  EXPECT_EQ(error, EISDIR);
  EXPECT_FALSE(ExeImage::OpenImage(WriteFile(dir / "empty", {}), imRead, error));
  EXPECT_EQ(error, kImageErrNotImage);
}

TEST(ImageModel, WritesReachTheFileOnlyInWriteMode) {
  TTempDir dir;
  TBytes original = simpleImage().Build();
  for (int mode : {imRead, imWrite, imCopyOnWrite}) {
    std::string name = WriteFile(dir / "image.exe", original);
    int error = 0;
    auto image = ExeImage::OpenImage(name, mode, error);
    ASSERT_TRUE(image) << error;
    if (mode == imRead) {
      EXPECT_THROW(image->SetU32(0x400, 1), EImageFormat);
    } else {
      image->SetU32(0x400, 0x12345678);
      image->newFileSize = 0x500;
    }
    EXPECT_EQ(image->CloseImage(), 0);
    TBytes after = ReadFile(name);
    if (mode == imWrite) {
      ASSERT_EQ(after.size(), 0x500u);  // cut to the new size on close
      EXPECT_EQ(Get32(after, 0x400), 0x12345678u);
    } else {
      EXPECT_EQ(after, original) << "mode " << mode;
    }
  }
}

TEST(ImageModel, TranslatesAddressesThroughTheSections) {
  TTestImage t = simpleImage();
  t.sections.push_back({".bss", 0x3000, 0x400, {}, 0xC0000080});  // raw offset 0, no raw data
  auto image = open(t.Build());
  ASSERT_TRUE(image);
  EXPECT_EQ(image->RvaToOffset(0x1000), 0x400u);
  EXPECT_EQ(image->RvaToOffset(0x11FF), 0x5FFu);
  // Virtual slack past the raw data, and a section without raw data, are not in the file.
  EXPECT_EQ(image->RvaToOffset(0x1200), std::nullopt);
  EXPECT_EQ(image->RvaToOffset(0x3000), std::nullopt);
  EXPECT_EQ(image->RvaToOffset(0x0FFF), std::nullopt);
  EXPECT_EQ(image->RvaToOffset(0x2000), 0x600u);  // virtual size 0 counts as the raw size
  EXPECT_EQ(image->RvaSpan(0x1100), 0x100u);
  EXPECT_EQ(image->PointerToRva(0x401), 0x1001u);
  EXPECT_EQ(image->PointerToRva(0x200), 0u);
  EXPECT_EQ(image->PointerToRva(0x100000), 0u);
}

TEST(ImageModel, OverlappingSectionsTranslateThroughTheFirstInTableOrder) {
  TTestImage t;
  t.sections.push_back({"A", 0x2000, 0x1000, TBytes(0x200, 1)});
  t.sections.push_back({"B", 0x1000, 0x3000, TBytes(0x3000, 2)});  // covers A's range too
  t.sections.push_back({"C", 0x2800, 0x100, TBytes(0x200, 3)});    // inside A: never used
  auto image = open(t.Build());
  ASSERT_TRUE(image);
  EXPECT_EQ(image->RvaToOffset(0x1FFF), 0x600u + 0xFFF);      // B before A
  EXPECT_EQ(image->RvaToOffset(0x2000), 0x400u);              // A wins over B
  EXPECT_EQ(image->RvaToOffset(0x2800), std::nullopt);        // A's slack, although B and C have data there
  EXPECT_EQ(image->RvaToOffset(0x3000), 0x600u + 0x2000);     // B again behind A
  EXPECT_EQ(image->RvaSpan(0x2100), 0x100u);
  EXPECT_EQ(image->RvaToOffset(0x4000), std::nullopt);
}

// Thousands of sections and relocations: every address lookup must not walk
// the whole section table, or a small crafted file keeps the tool busy for minutes.
TEST(ImageModel, AddressLookupsDoNotWalkTheSectionTable) {
  constexpr uint32_t kSections = 8000, kEntries = 50000;
  TTestImage t;
  t.headerSize = 0x4F000;
  for (uint32_t i = 0; i < kSections; ++i) t.sections.push_back({".v", 0x1000 * (i + 1), 0x10, {}});
  uint32_t last = 0x1000 * (kSections + 1);
  std::vector<uint16_t> entries(kEntries, 0x3000);
  t.sections.push_back({".reloc", last, 0, RelocationBlock(last, entries)});
  t.directories[diRelocations] = {last, 8 + 2 * kEntries};
  auto image = open(t.Build());
  ASSERT_TRUE(image);
  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(image->ApplyRelocations(0x10000, std::nullopt)) << image->error;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(ImageModel, UsesOnlyDirectoriesInSectionsAndDeclaredByTheHeader) {
  TTestImage t = simpleImage();
  t.directories[diImports] = {0x9000, 40};  // in no section
  t.directories[diExports] = {0x1000, 40};
  auto image = open(t.Build());
  ASSERT_TRUE(image);
  EXPECT_FALSE(image->ImportDirectory());
  EXPECT_EQ(image->ExportDirectory(), 0x400u);
  t.directoryCount = 0;  // the header declares no directory at all
  image = open(t.Build());
  ASSERT_TRUE(image);
  EXPECT_FALSE(image->ExportDirectory());
  EXPECT_EQ(image->DirectoryRva(diExports), 0u);
}

TEST(ImageModel, FindSectionMatchesTheBeginningWithoutCase) {
  TTestImage t = simpleImage();
  t.sections[0].name = "CODE";
  auto image = open(t.Build());
  ASSERT_TRUE(image);
  EXPECT_EQ(image->FindSection("code"), 0);
  EXPECT_EQ(image->FindSection(".DA"), 1);
  EXPECT_EQ(image->FindSection(".datax"), -1);
}

TEST(ImageModel, ResolvesEveryExportNameOnItsOwn) {
  // The two names lie in different sections; the second one is not where the
  // first one's section would put it.
  TTestImage t = simpleImage();
  TBytes& text = t.sections[0].data;
  TBytes& data = t.sections[1].data;
  Put32(text, 0x00 + 20, 2);       // functions
  Put32(text, 0x00 + 24, 2);       // names
  Put32(text, 0x00 + 28, 0x1040);  // address table
  Put32(text, 0x00 + 32, 0x1050);  // name pointers
  Put32(text, 0x00 + 36, 0x1060);  // name ordinals
  Put32(text, 0x40, 0x1100);
  Put32(text, 0x44, 0x1104);
  Put32(text, 0x50, 0x1080);
  Put32(text, 0x54, 0x2010);
  Put16(text, 0x60, 1);
  Put16(text, 0x62, 0);
  std::string first = "First", second = "Second";
  std::copy(first.begin(), first.end() + 1, text.begin() + 0x80);
  std::copy(second.begin(), second.end() + 1, data.begin() + 0x10);
  t.directories[diExports] = {0x1000, 40};
  auto image = open(t.Build());
  ASSERT_TRUE(image);
  std::vector<TExportName> names;
  ASSERT_TRUE(image->GetExportNames(names));
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0].name, "First");
  EXPECT_EQ(names[0].ordinalIndex, 1);
  EXPECT_EQ(names[1].name, "Second");
  std::vector<uint32_t> addresses;
  ASSERT_TRUE(image->GetExportAddresses(addresses));
  EXPECT_EQ(addresses, (std::vector<uint32_t>{0x1100, 0x1104}));
  // A table that runs out of the file cannot be read.
  Put32(t.sections[0].data, 20, 0x10000000);
  image = open(t.Build());
  ASSERT_TRUE(image);
  EXPECT_FALSE(image->GetExportAddresses(addresses));
}

// ---- the relocation engine -------------------------------------------------

struct TRelocImage {
  TBytes bytes;
  static constexpr size_t kText = 0x400;  // file offset of .text
};

// .text holds 32-bit values at 0 and 4 and 16-bit halves at 8 and 10; the
// relocation blocks are the given bytes.
TBytes relocImage(const TBytes& blocks, uint32_t declaredSize = 0) {
  TTestImage t;
  TBytes text(0x200, 0);
  Put32(text, 0, 0x00401000);
  Put32(text, 4, 0x00402000);
  Put16(text, 8, 0x0040);
  Put16(text, 10, 0x1234);
  t.sections.push_back({".text", 0x1000, 0, text, 0x60000020});
  t.sections.push_back({".reloc", 0x2000, 0, blocks.empty() ? TBytes(8, 0) : blocks, 0x42000040});
  t.directories[diRelocations] = {0x2000, declaredSize ? declaredSize : uint32_t(blocks.size())};
  return t.Build();
}

TEST(RelocationEngine, AppliesFullAndHalfRelocations) {
  TBytes bytes = relocImage(RelocationBlock(0x1000, {0x3000, 0x3004, 0x1008, 0x200A, 0x0000}));
  auto image = open(bytes);
  ASSERT_TRUE(image);
  std::vector<std::pair<uint32_t, uint32_t>> reported;
  ASSERT_TRUE(image->ApplyRelocations(0x10000, std::nullopt,
                                      [&](uint32_t at, uint32_t value) { reported.emplace_back(at, value); }));
  EXPECT_EQ(image->U32(0x400), 0x00411000u);
  EXPECT_EQ(image->U32(0x404), 0x00412000u);
  EXPECT_EQ(image->U16(0x408), 0x0041u);
  EXPECT_EQ(image->U16(0x40A), 0x1234u);  // the delta's low half is 0
  EXPECT_EQ(image->ImageBase(), 0x410000u);
  EXPECT_EQ(image->HeaderU32(PeField::ImageBase), 0x410000u);
  ASSERT_EQ(reported.size(), 4u);
  EXPECT_EQ(reported[2], std::make_pair(0x408u, 0x00410000u));  // the high half shifted up
  EXPECT_FALSE(image->changing);
}

TEST(RelocationEngine, ChecksEveryBlockBeforeChangingAnything) {
  struct Case {
    const char* what;
    TBytes blocks;
    int32_t delta;
    std::optional<uint32_t> limit;
    int error;
  };
  auto join = [](TBytes a, const TBytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  TBytes good = RelocationBlock(0x1000, {0x3000});
  TBytes shortBlock = good;
  Put32(shortBlock, 4, 6);
  TBytes oddBlock = join(good, RelocationBlock(0x1000, {0x3004}));
  Put32(oddBlock, 12, 11);
  TBytes longBlock = good;
  Put32(longBlock, 4, 0x100);
  const Case cases[] = {
      {"unknown type", join(good, RelocationBlock(0x1000, {0x5004})), 0x10000, std::nullopt, kImageErrUnsupported},
      {"block smaller than its header", shortBlock, 0x10000, std::nullopt, kImageErrUnsupported},
      {"odd block size", oddBlock, 0x10000, std::nullopt, kImageErrUnsupported},
      {"block past the directory", longBlock, 0x10000, std::nullopt, kImageErrUnsupported},
      {"place outside the file", join(good, RelocationBlock(0x7000, {0x3000})), 0x10000, std::nullopt,
       kImageErrUnsupported},
      {"place across the raw end", join(good, RelocationBlock(0x1000, {0x31FE})), 0x10000, std::nullopt,
       kImageErrUnsupported},
      {"high half with a low delta", join(good, RelocationBlock(0x1000, {0x1008})), 0x1000, std::nullopt,
       kImageErrUnsupported},
      {"low half above a limit", join(good, RelocationBlock(0x1000, {0x200A})), 0x10000, 0x1000u,
       kImageErrLowRelocWithLimit},
  };
  for (const Case& c : cases) {
    TBytes bytes = relocImage(c.blocks);
    auto image = open(bytes);
    ASSERT_TRUE(image) << c.what;
    EXPECT_FALSE(image->ApplyRelocations(c.delta, c.limit)) << c.what;
    EXPECT_EQ(image->error, c.error) << c.what;
    EXPECT_FALSE(image->changing) << c.what;
    EXPECT_EQ(image->U32(0x400), 0x00401000u) << c.what << ": the first block was applied";
    EXPECT_EQ(image->ImageBase(), 0x400000u) << c.what;
  }
}

TEST(RelocationEngine, RefusesPlacesInTheHeaders) {
  // A section whose raw data starts at offset 0 maps the headers; a place there
  // would move the section table under the walk.
  TTestImage t;
  TTestSection headers{".hdr", 0x3000, 0, TBytes(0x200, 0)};
  headers.rawOffset = 0;
  t.sections.push_back({".text", 0x1000, 0, TBytes(0x200, 0x90), 0x60000020});
  t.sections.push_back(headers);
  uint16_t tableEntry = uint16_t(0x3000 | (TTestImage::kSectionTable + 12));  // .text's virtual address
  t.sections.push_back({".reloc", 0x4000, 0, RelocationBlock(0x3000, {tableEntry}), 0x42000040});
  t.directories[diRelocations] = {0x4000, 10};
  TBytes bytes = t.Build();
  auto image = open(bytes);
  ASSERT_TRUE(image);
  EXPECT_FALSE(image->ApplyRelocations(0x10000, std::nullopt));
  EXPECT_EQ(image->error, kImageErrUnsupported);
  EXPECT_EQ(image->Section(0).virtualAddress, 0x1000u);
}

TEST(RelocationEngine, MovesOnlyValuesAtOrAboveTheLimit) {
  auto image = open(relocImage(RelocationBlock(0x1000, {0x3000, 0x3004})));
  ASSERT_TRUE(image);
  // The limit is a virtual address once the image base is added: 402000.
  ASSERT_TRUE(image->ApplyRelocations(-0x1000, 0x2000u));
  EXPECT_EQ(image->U32(0x400), 0x00401000u);
  EXPECT_EQ(image->U32(0x404), 0x00401000u);
  EXPECT_EQ(image->ImageBase(), 0x400000u);  // a limited move keeps the base
}

TEST(RelocationEngine, LowHalvesMoveWithoutALimitAndZeroDeltaChangesNothing) {
  auto image = open(relocImage(RelocationBlock(0x1000, {0x200A})));
  ASSERT_TRUE(image);
  ASSERT_TRUE(image->ApplyRelocations(0, std::nullopt));
  EXPECT_EQ(image->U16(0x40A), 0x1234u);
  ASSERT_TRUE(image->ApplyRelocations(0x20, std::nullopt));
  EXPECT_EQ(image->U16(0x40A), 0x1254u);
}

TEST(RelocationEngine, NeedsARelocationDirectory) {
  TTestImage t = simpleImage();
  auto image = open(t.Build());
  ASSERT_TRUE(image);
  EXPECT_FALSE(image->HasRelocations());
  EXPECT_EQ(image->error, kImageErrNoRelocations);
  EXPECT_FALSE(image->ApplyRelocations(0x10000, std::nullopt));
}

}  // namespace
