#include "imagetool/ImageRewrite.h"

#include <gtest/gtest.h>

#include <cstring>

#include "TestSupport.h"
#include "imagetool/UPeFile.h"

namespace {

constexpr uint32_t kPe = TTestImage::kPeOffset;

uint32_t sectionField(const TBytes& bytes, int index, uint32_t field) {
  return Get32(bytes, TTestImage::kSectionTable + 40 * index + field);
}

// A resource section at va: one RCDATA entry whose data ("resdata!") lies at va + 80.
TBytes resourceSection(uint32_t va) {
  TBytes r(0x100, 0);
  Put16(r, 14, 1);
  Put32(r, 16, 10);
  Put32(r, 20, 0x80000018);
  Put16(r, 0x18 + 14, 1);
  Put32(r, 0x28, 1);
  Put32(r, 0x2C, 0x80000030);
  Put16(r, 0x30 + 14, 1);
  Put32(r, 0x40, 0x409);
  Put32(r, 0x44, 0x48);
  Put32(r, 0x48, va + 0x80);
  Put32(r, 0x4C, 8);
  std::memcpy(r.data() + 0x80, "resdata!", 8);
  return r;
}

// .text at 1000 holds two absolute addresses, one into itself and one into
// the resources; .reloc at 2000 comes before .rsrc at 3000; an overlay follows.
TTestImage relocBeforeResources() {
  TTestImage t;
  TBytes text(0x200, 0xCC);
  Put32(text, 0, 0x00401010);
  Put32(text, 4, 0x00403080);
  t.sections.push_back({".text", 0x1000, 0, text, 0x60000020});
  t.sections.push_back({".reloc", 0x2000, 0, RelocationBlock(0x1000, {0x3000, 0x3004}), 0x42000040});
  t.sections.push_back({".rsrc", 0x3000, 0, resourceSection(0x3000)});
  t.directories[diRelocations] = {0x2000, 12};
  t.directories[diResources] = {0x3000, 0x100};
  t.overlay = {'O', 'V', 'E', 'R', 'L', 'A', 'Y', '!'};
  return t;
}

std::string withTimeStampsCleared(TBytes bytes) {
  int error = 0;
  auto image = ExeImage::OpenImageInMemory(bytes, error);
  EXPECT_TRUE(image);
  uint32_t pe = image->Headers();
  Put32(bytes, pe + PeField::TimeDateStamp, 0);
  if (auto exports = image->ExportDirectory()) Put32(bytes, *exports + 4, 0);
  if (auto debug = image->RvaToPointer(image->DirectoryRva(diDebug)))
    for (uint32_t at = 0; at + 28 <= image->DirectorySize(diDebug); at += 28) Put32(bytes, *debug + at + 4, 0);
  return std::string(bytes.begin(), bytes.end());
}

TEST(Rebase, GivesTheImageTheLinkerMakesAtTheOtherBase) {
  TTempDir dir;
  std::string lib = CopyFixture(dir, "imagor_lib.dll");
  TRunResult r = RunTool({lib, "-rebase", "20000000"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(withTimeStampsCleared(ReadFile(lib)), withTimeStampsCleared(ReadFile(FixturePath("imagor_lib_at20.dll"))));
}

TEST(Rebase, DumpsEveryPlaceAndDoesNothingForTheCurrentBase) {
  TTempDir dir;
  std::string lib = CopyFixture(dir, "imagor_lib.dll");
  TRunResult r = RunTool({lib, "-rebase", "$10000000", "-dumprelocs", "-ini"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "");  // the current base: no step, no "[Relocs]"
  EXPECT_EQ(ReadFile(lib), ReadFile(FixturePath("imagor_lib.dll")));

  r = RunTool({lib, "-rebase", "0x10010000", "-dumprelocs", "-ini", "-lh"});
  EXPECT_EQ(r.exitCode, 0);
  std::vector<std::string> lines = Lines(r.out);
  ASSERT_GT(lines.size(), 11u);
  EXPECT_EQ(lines[0], "[Relocs]");
  // The file offset of the place plus the new base, then the value written.
  EXPECT_EQ(lines[1], "1001040E=10013000");
  EXPECT_EQ(lines[10], "10010814=10013000");
  EXPECT_EQ(lines[11], "[Header]");
  EXPECT_NE(r.out.find("ImageBase            = 10010000"), std::string::npos);
}

TEST(StripRelocations, MovesTheResourcesDownAndKeepsWhatFollows) {
  TTempDir dir;
  TBytes before = relocBeforeResources().Build();
  std::string file = WriteFile(dir / "strip.exe", before);
  TRunResult r = RunTool({file, "-strip"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "FileSkew=-512 (-0200), RvaSkew=-4096 (-1000) RvaMask=0FFF\n");
  TBytes after = ReadFile(file);
  ASSERT_EQ(after.size(), before.size() - 0x200);
  EXPECT_EQ(Get16(after, kPe + PeField::SectionCount), 2);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&after[TTestImage::kSectionTable + 40])), ".rsrc");
  EXPECT_EQ(sectionField(after, 1, 12), 0x2000u);  // virtual address
  EXPECT_EQ(sectionField(after, 1, 20), 0x600u);   // raw offset
  EXPECT_EQ(Get32(after, TTestImage::kSectionTable + 80), 0u);  // the old slot is cleared
  EXPECT_EQ(Get32(after, kPe + PeField::Directories + 8 * diResources), 0x2000u);
  EXPECT_EQ(Get32(after, kPe + PeField::Directories + 8 * diRelocations), 0u);
  EXPECT_EQ(Get32(after, kPe + PeField::SizeOfImage), Get32(before, kPe + PeField::SizeOfImage) - 0x1000);
  EXPECT_EQ(Get32(after, 0x600 + 0x48), 0x2080u);            // the data entry follows
  EXPECT_EQ(std::memcmp(after.data() + 0x680, "resdata!", 8), 0);
  EXPECT_EQ(Get32(after, 0x400), 0x00401010u);  // below the resources: unchanged
  EXPECT_EQ(Get32(after, 0x404), 0x00402080u);  // into the resources: moved with them
  EXPECT_EQ(std::memcmp(after.data() + after.size() - 8, "OVERLAY!", 8), 0);
  // The stripped image lists cleanly.
  r = RunTool({file, "-lh"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find(".rsrc    00002000 00000100  00000600 00000200"), std::string::npos);
}

TEST(StripRelocations, RefusesLayoutsItCannotMoveAndLeavesTheFile) {
  TTempDir dir;
  TTestImage lowHalf = relocBeforeResources();
  lowHalf.sections[1].data = RelocationBlock(0x1000, {0x3000, 0x2008});
  TTestImage codeBehind = relocBeforeResources();  // .text's data lies behind .rsrc's in the file
  codeBehind.sections[1].rawOffset = 0x400;
  codeBehind.sections[2].rawOffset = 0x600;
  codeBehind.sections[0].rawOffset = 0x800;
  TTestImage placeInResources = relocBeforeResources();
  placeInResources.sections[1].data = RelocationBlock(0x3000, {0x30F0});
  struct Case {
    std::string file;
    int error;
  };
  const Case cases[] = {
      {CopyFixture(dir, "imagor_lib.dll"), -29},  // ".reloc" is the last section
      {WriteFile(dir / "lowhalf.exe", lowHalf.Build()), -17},
      {WriteFile(dir / "codebehind.exe", codeBehind.Build()), -29},
      {WriteFile(dir / "inres.exe", placeInResources.Build()), -29},
  };
  for (const Case& c : cases) {
    TBytes before = ReadFile(c.file);
    TRunResult r = RunTool({c.file, "-strip", "-lh"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_NE(r.err.find("Error: Strip-relocations failed (error=" + std::to_string(c.error) + ")!\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.out.find("FileSize:"), std::string::npos);  // the listings still run
    EXPECT_EQ(ReadFile(c.file), before);
  }
}

TEST(StripResources, CutsTheLastSectionAndEndsTheImageAtIt) {
  TTempDir dir;
  TTestImage t = relocBeforeResources();
  t.overlay.clear();
  TBytes before = t.Build();
  std::string file = WriteFile(dir / "res.exe", before);
  TRunResult r = RunTool({file, "-stripres"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "FileSkew=512 (0200), RvaSkew=4096 (1000)\n");
  TBytes after = ReadFile(file);
  EXPECT_EQ(after.size(), 0x800u);
  EXPECT_EQ(Get16(after, kPe + PeField::SectionCount), 2);
  EXPECT_EQ(Get32(after, kPe + PeField::SizeOfImage), 0x3000u);
  EXPECT_EQ(Get32(after, kPe + PeField::Directories + 8 * diResources), 0u);

  // A resource section without raw data owns no bytes of the file.
  t.sections[2].rawOffset = 0;
  t.sections[2].rawSize = 0;
  before = t.Build();
  file = WriteFile(dir / "nores.exe", before);
  r = RunTool({file, "-stripres"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  after = ReadFile(file);
  EXPECT_EQ(after.size(), before.size());
  EXPECT_EQ(Get16(after, kPe + PeField::SectionCount), 2);
}

TEST(StripResources, RefusesResourcesThatAreNotLast) {
  TTempDir dir;
  std::string lib = CopyFixture(dir, "imagor_lib.dll");
  TRunResult r = RunTool({lib, "-stripres"});
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_EQ(r.err.rfind("Error: Strip-resources failed (error=-29)!\n", 0), 0u);
  EXPECT_EQ(ReadFile(lib), ReadFile(FixturePath("imagor_lib.dll")));
}

TEST(StripResources, RefusesToCutDebugDataBehindTheResources) {
  TTempDir dir;
  TTestImage t = relocBeforeResources();
  // A debug entry in .text whose data lies in the overlay, behind the resources.
  Put32(t.sections[0].data, 0x100 + 16, 8);       // size of the data
  Put32(t.sections[0].data, 0x100 + 24, 0xA00);   // its file position
  t.directories[diDebug] = {0x1100, 28};
  std::string file = WriteFile(dir / "debug.exe", t.Build());
  TBytes before = ReadFile(file);
  TRunResult r = RunTool({file, "-stripres"});
  EXPECT_EQ(r.exitCode, 3);
  EXPECT_EQ(r.err.rfind("Error: Strip-resources failed (error=-29)!\n", 0), 0u) << r.err;
  EXPECT_EQ(ReadFile(file), before);
}

// "CODE" at 1000: 0x301 bytes of code in 0x3000 bytes of raw data and virtual
// size; DATA at 4000 follows it in the file; BSS has no raw data.
TTestImage codeWithZeroTail() {
  TTestImage t;
  TBytes code(0x3000, 0);
  std::fill(code.begin(), code.begin() + 0x300, 0x90);
  t.sections.push_back({"CODE", 0x1000, 0x3000, code, 0x60000020});
  t.sections.push_back({"DATA", 0x4000, 0, TBytes(0x200, 0xDA), 0xC0000040});
  t.sections.push_back({"BSS", 0x5000, 0x1000, {}, 0xC0000080});
  t.overlay = {'T', 'A', 'I', 'L'};
  return t;
}

TEST(LoseWeight, TrimsTheZeroTailAndKeepsTheVirtualLayoutWithAGap) {
  TTempDir dir;
  TBytes before = codeWithZeroTail().Build();
  std::string file = WriteFile(dir / "w8.exe", before);
  TRunResult r = RunTool({file, "-w8loss"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "Bplw8: RvaSkew 8192 (2000)\nBplw8: FileSkew 11264 (2C00)\n");
  TBytes after = ReadFile(file);
  EXPECT_EQ(after.size(), before.size() - 0x2C00);  // shorter by exactly the printed skew
  EXPECT_EQ(Get16(after, kPe + PeField::SectionCount), 4);
  EXPECT_EQ(sectionField(after, 0, 8), 0x301u);     // code virtual size = used bytes
  EXPECT_EQ(sectionField(after, 0, 16), 0x400u);    // raw size
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&after[TTestImage::kSectionTable + 40])), "GAP");
  EXPECT_EQ(sectionField(after, 1, 8), 0x2000u);
  EXPECT_EQ(sectionField(after, 1, 12), 0x2000u);
  EXPECT_EQ(sectionField(after, 1, 16), 0u);
  EXPECT_EQ(sectionField(after, 1, 36), 0xC2000000u);
  EXPECT_EQ(sectionField(after, 2, 20), 0x800u);  // DATA moved down with the file
  EXPECT_EQ(after[0x800], 0xDA);
  EXPECT_EQ(sectionField(after, 3, 20), 0u);      // BSS has no raw data to move
  EXPECT_EQ(std::memcmp(after.data() + after.size() - 4, "TAIL", 4), 0);
  EXPECT_EQ(Get32(after, kPe + PeField::SizeOfImage), Get32(before, kPe + PeField::SizeOfImage));
}

TEST(LoseWeight, WithoutHeaderRoomOnlyTrimsTheFile) {
  TTempDir dir;
  // A virtual size of 0 means the raw size: the trimmed section keeps its old extent.
  for (uint32_t virtualSize : {0x3000u, 0u}) {
    TBytes before = codeWithZeroTail().Build();
    Put32(before, TTestImage::kSectionTable + 8, virtualSize);
    before[TTestImage::kSectionTable + 3 * 40 + 10] = 1;  // something lives behind the section table
    std::string file = WriteFile(dir / "w8.exe", before);
    TRunResult r = RunTool({file, "-bplw8"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Bplw8: FileSkew 11264 (2C00)\n");
    TBytes after = ReadFile(file);
    EXPECT_EQ(Get16(after, kPe + PeField::SectionCount), 3);
    EXPECT_EQ(sectionField(after, 0, 8), 0x3000u) << virtualSize;
    EXPECT_EQ(sectionField(after, 0, 16), 0x400u);
    EXPECT_EQ(after[TTestImage::kSectionTable + 3 * 40 + 10], 1);
  }
}

TEST(LoseWeight, ReportsWhyItCannotWork) {
  TTempDir dir;
  TTestImage full;
  full.sections.push_back({"CODE", 0x1000, 0, TBytes(0x200, 0x90), 0x60000020});
  TTestImage empty;
  empty.sections.push_back({"CODE", 0x1000, 0, TBytes(0x200, 0), 0x60000020});
  TTestImage slack;
  slack.sections.push_back({"CODE", 0x1000, 0x800, TBytes(0x200, 0x90), 0x60000020});
  TTestImage noCode;
  noCode.sections.push_back({".text", 0x1000, 0, TBytes(0x200, 0x90), 0x60000020});
  struct Case {
    TTestImage image;
    int error;
    std::string message;
  };
  const Case cases[] = {
      {full, -14, "ERR: No spare...\n"},
      {empty, -14, "ERR: CODE Section empty!\n"},
      {slack, -14, "ERR: SecCode.VirtualSize   =00000800\nERR: SecCode.SizeOfRawData =00000200\n"},
      {noCode, -12, ""},
  };
  for (const Case& c : cases) {
    TBytes before = c.image.Build();
    std::string file = WriteFile(dir / "w8.exe", before);
    TRunResult r = RunTool({file, "-w8loss"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.err.rfind(c.message + "Error: W8loss failed (error=" + std::to_string(c.error) + ")!\n", 0), 0u)
        << r.err;
    EXPECT_EQ(ReadFile(file), before);
  }
}

}  // namespace
