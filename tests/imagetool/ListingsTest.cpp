#include "imagetool/Listings.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

namespace {

TEST(FlagNames, RunsSingleLettersTogetherAndSeparatesWords) {
  struct Case {
    uint32_t value;
    bool section;
    const char* names;
  };
  const Case cases[] = {
      {0x60500020, true, "CER,Align1,Align8,Align16"},  // code aligned to 16: every contained alignment mask
      {0xC2000000, true, "RW,Discard"},
      {0x00000240, true, "I,Inf"},
      {0x00020000, true, "Purge,16bit"},
      {0x00000200, true, "Inf"},
      {0x00000000, true, ""},
      {0x2102, false, "DLL,Image,32bit"},
      {0x0103, false, "Strip,Image,32bit"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.section ? SectionFlagNames(c.value) : FileFlagNames(c.value), c.names) << std::hex << c.value;
  EXPECT_EQ(SubsystemName(3), "Windows Console");
  EXPECT_EQ(SubsystemName(9), "Unknown9");
}

TEST(HeaderListing, WritesTheHeaderDirectoriesAndSectionsOfALinkedLibrary) {
  TRunResult r = RunTool({FixturePath("imagor_lib.dll"), "-lh"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, R"(FileSize:                4096 ($00001000)
PESize:                  4096 ($00001000)
AdditionalSize:             0 ($00000000)
Characteristics:     2102 (DLL,Image,32bit)
LinkerVersion:       14.0
SizeOfCode:          512
SizeOfInitData:      2560
SizeOfUninitData:    0
EntryPoint:          RVA=$00001050 (Ptr=10001050)
BaseOfCode:          00001000
BaseOfData:          00000000
ImageBase:           10000000
SizeOfImage:         24576 ($00006000)
SizeOfHeaders:       1024
SectionAlign:        00001000
FileAlign:           00000200
Operating system:    6.0, sub=6.0, win32=0
SubSystem:           2 (Windows GUI)
Image version:       0.0
CheckSum:            00000000
Stack Com/Res:       1000/100000
Heap Com/Res:        1000/100000

Object:              Rva      Size
------:              ---      ----
Exports:             0000201C $000000A4 (164)
Imports:             000020C0 $00000028 (40)
Resources:           00004000 $00000350 (848)
Relocations:         00005000 $00000028 (40)
Debug:               00002000 $0000001C (28)
IAT:                 000020F4 $0000000C (12)

Sections:
         RVA      Size      Phys Off PhysSize  Flags
.text    00001000 00000070  00000400 00000200  60000020 [CER]
.rdata   00002000 0000011D  00000600 00000200  40000040 [IR]
.data    00003000 00000018  00000800 00000200  C0000040 [IRW]
.rsrc    00004000 00000350  00000A00 00000400  40000040 [IR]
.reloc   00005000 00000028  00000E00 00000200  42000040 [IR,Discard]

)");
}

TEST(HeaderListing, IniFormUsesSectionsAndCommentedTitles) {
  TRunResult r = RunTool({FixturePath("imagor_app.exe"), "-lh", "-ini"});
  std::vector<std::string> lines = Lines(r.out);
  ASSERT_GT(lines.size(), 35u);
  EXPECT_EQ(lines[0], "[Header]");
  EXPECT_EQ(lines[1], "FileSize             =     3072 ($00000C00)");
  EXPECT_EQ(lines[9], "EntryPoint           = RVA=$00001000 (Ptr=00401000)");
  EXPECT_EQ(lines[18], "SubSystem            = 3 (Windows Console)");
  EXPECT_EQ(lines[24], "[DataDirectory]");
  EXPECT_EQ(lines[25], ";Object              = Rva      Size");
  EXPECT_EQ(lines[26], ";------              = ---      ----");
  EXPECT_EQ(lines[27], "Imports              = 0000202C $00000028 (40)");
  EXPECT_EQ(lines[32], "[Sections]");
  EXPECT_EQ(lines[33], ";        RVA      Size      Phys Off PhysSize  Flags");
  EXPECT_EQ(lines[34], ".text   =00001000 00000032  00000400 00000200  60000020 [CER]");
}

TEST(HeaderListing, ReportsTheBytesBehindTheImage) {
  TTempDir dir;
  TTestImage t;
  std::vector<std::string> lines = Lines(RunTool({WriteFile(dir / "bare.exe", t.Build()), "-lh"}).out);
  EXPECT_EQ(lines[1], "PESize:                     0 ($00000000)");  // no sections
  EXPECT_EQ(lines[2], "AdditionalSize:          1024 ($00000400)");
  EXPECT_EQ(lines[3], "AdditionalSignature: MZ#00#00");
  t.sections.push_back({".text", 0x1000, 0, TBytes(0x200, 1)});
  t.overlay = {' ', '\t', 0x01, 'M', 'Z', 0x90, 0x00, 'x'};
  lines = Lines(RunTool({WriteFile(dir / "overlay.exe", t.Build()), "-lh"}).out);
  EXPECT_EQ(lines[1], "PESize:                  1536 ($00000600)");
  EXPECT_EQ(lines[2], "AdditionalSize:             8 ($00000008)");
  EXPECT_EQ(lines[3], "AdditionalSignature: MZ#90#00");

  // An image whose sections claim more than the file holds: the size is negative
  // while the end lies less than 4 bytes beyond the file, and is left out beyond.
  for (uint32_t missing : {2u, 4u}) {
    TTestImage s;
    s.sections.push_back({".text", 0x1000, 0, TBytes(0x200, 1)});
    TBytes bytes = s.Build();
    bytes.resize(bytes.size() - missing);
    lines = Lines(RunTool({WriteFile(dir / "short.exe", bytes), "-lh"}).out);
    if (missing == 2) {
      EXPECT_EQ(lines[2], "AdditionalSize:            -2 ($FFFFFFFE)");
      EXPECT_EQ(lines[3].rfind("Characteristics:", 0), 0u);
    } else {
      EXPECT_EQ(lines[2].rfind("Characteristics:", 0), 0u);
    }
  }
}

TEST(ImportListing, ListsImportsByNameAndByOrdinal) {
  TRunResult r = RunTool({FixturePath("imagor_lib.dll"), "-li"});
  EXPECT_EQ(r.out, "Imports from imagor_dep.dll\n  #5\n  dep_named_a (hint=1)\n\n");
  r = RunTool({FixturePath("imagor_app.exe"), "-li", "-ini", "-dump"});
  EXPECT_EQ(r.out,
            "[Imports from imagor_lib.dll]\n"
            ";ImportDir=(RVA: $0000202C, Offset: $0000062C)\n"
            ";ImportLookup=(RVA: $00002054, Offset: $00000654)\n"
            ";DllName=(RVA: $00002084, Offset: $00000684)\n"
            ";ImportAddress=(RVA: $00002060, Offset: $00000660)\n"
            ";(RVA: $0000206C, Offset: $0000066C)\n"
            "  lib_alpha (hint=3)\n"
            ";(RVA: $00002078, Offset: $00000678)\n"
            "  lib_gamma (hint=7)\n"
            "\n");
}

// An import directory in .idata at 1000: one library whose table is given.
TBytes importImage(const std::vector<uint32_t>& slots, uint32_t nameRva = 0x1100, bool terminate = true) {
  TTestImage t;
  TBytes idata(0x200, 0);
  Put32(idata, 0, 0x1040);   // lookup table
  Put32(idata, 12, nameRva);
  Put32(idata, 16, 0x1040);  // address table
  uint32_t at = 0x40;
  for (uint32_t slot : slots) Put32(idata, std::exchange(at, at + 4), slot);
  if (!terminate) {
    // The table moves to the end of the section and fills it without a zero slot.
    Put32(idata, 0, 0x11F0);
    for (at = 0x1F0; at < 0x200; at += 4) Put32(idata, at, 0x80000001);
  }
  Put16(idata, 0x120, 0);
  std::string name = "plain";
  std::copy(name.begin(), name.end(), idata.begin() + 0x122);
  std::string lib = "some.dll";
  std::copy(lib.begin(), lib.end(), idata.begin() + 0x100);
  t.sections.push_back({".idata", 0x1000, 0, idata});
  t.directories[diImports] = {0x1000, 40};
  return t.Build();
}

TEST(ImportListing, ReportsDamagedTablesWithoutLeavingTheFile) {
  TTempDir dir;
  // A hint/name outside the file, a name without hint, an unmappable library name.
  TRunResult r = RunTool({WriteFile(dir / "a.exe", importImage({0x9000, 0x1120, 0x80000010}, 0x7000)), "-li"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "Imports from #$00007000\n  ? unknown import-slot $00009000\n  plain\n  #16\n\n");
  // A table that never ends ends the listing with the exception lines and a failing exit code.
  r = RunTool({WriteFile(dir / "b.exe", importImage({0x1120}, 0x1100, false)), "-li", "-ini"});
  EXPECT_EQ(r.exitCode, 4);
  std::vector<std::string> lines = Lines(r.out);
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[lines.size() - 4], "[Exception]");
  EXPECT_EQ(lines[lines.size() - 3], "Error while listing imports:");
  EXPECT_EQ(lines[lines.size() - 2], "Import table of some.dll at RVA $000011F0 runs past its section");
  EXPECT_EQ(lines[lines.size() - 1], "");
}

// Exports with ordinal base 5: five slots, the second one empty; three names
// in table order "gamma" (index 0), "beta" (2), "Alpha" (4); index 3 is unnamed.
TBytes exportImage() {
  TTestImage t;
  TBytes edata(0x200, 0);
  Put32(edata, 12, 0x10F0);
  Put32(edata, 16, 5);
  Put32(edata, 20, 5);
  Put32(edata, 24, 3);
  Put32(edata, 28, 0x1040);
  Put32(edata, 32, 0x1060);
  Put32(edata, 36, 0x1070);
  const uint32_t addresses[] = {0x2030, 0, 0x2010, 0x2020, 0x2000};
  for (int i = 0; i < 5; ++i) Put32(edata, 0x40 + 4 * i, addresses[i]);
  const char* names[] = {"gamma", "beta", "Alpha"};
  const uint16_t indexes[] = {0, 2, 4};
  uint32_t at = 0x80;
  for (int i = 0; i < 3; ++i) {
    Put32(edata, 0x60 + 4 * i, 0x1000 + at);
    Put16(edata, 0x70 + 2 * i, indexes[i]);
    std::string n = names[i];
    std::copy(n.begin(), n.end(), edata.begin() + at);
    at += uint32_t(n.size()) + 1;
  }
  t.sections.push_back({".edata", 0x1000, 0, edata});
  t.sections.push_back({".text", 0x2000, 0, TBytes(0x40, 0xC3), 0x60000020});
  t.directories[diExports] = {0x1000, 0x100};
  return t.Build();
}

TEST(ExportListing, SortsAndAddsTheOrdinalBase) {
  TTempDir dir;
  std::string file = WriteFile(dir / "exp.dll", exportImage());
  struct Case {
    std::vector<std::string> options;
    const char* out;
  };
  const Case cases[] = {
      {{"-le"},
       " 3 exported names, 5 exported functions\nAlpha=$00402000 (9)\nbeta=$00402010 (7)\ngamma=$00402030 (5)\n"
       "=$00402020 (8)\n\n"},
      {{"-le", "-so", "-ini"},
       "[Exports]\n; 3 exported names, 5 exported functions\ngamma=$00402030 (5)\nbeta=$00402010 (7)\n"
       "Alpha=$00402000 (9)\n=$00402020 (8)\n\n"},
      {{"-le", "-sa"},
       " 3 exported names, 5 exported functions\nAlpha=$00402000 (9)\nbeta=$00402010 (7)\ngamma=$00402030 (5)\n"
       "=$00402020 (8)\n\n"},
      {{"-le", "-raw", "-so"}, "gamma\nbeta\nAlpha\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> params{file};
    params.insert(params.end(), c.options.begin(), c.options.end());
    TRunResult r = RunTool(params);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, c.out) << c.options.back();
  }
}

TEST(ExportListing, DumpDescribesTheTables) {
  TTempDir dir;
  std::vector<std::string> lines = Lines(RunTool({WriteFile(dir / "exp.dll", exportImage()), "-le", "-dump"}).out);
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(lines[0], ";ExportDir=(RVA: $00001000, Offset: $00000400)");
  EXPECT_EQ(lines[1], ";ExportDir.Name=(RVA: $000010F0, Offset: $000004F0)");
  EXPECT_EQ(lines[2],
            ";ExportDir.FunctionTable=(RVA: $00001040, Offset: $00000440),   Size=20 ($14), End=(RVA: $00001054, "
            "Offset: $00000454)");
  EXPECT_EQ(lines[4].rfind(";ExportDir.NameOrdinalTable=(RVA: $00001070, Offset: $00000470) Size=6 ($6), End=", 0),
            0u);
  EXPECT_EQ(lines[5], ";Names Size=17 ($11), ZeroGap@Sec=3840 ($F00), ZeroGap@File=256 ($100)");
}

TEST(ExportListing, TablesOutsideTheFileEndTheListingWithAnException) {
  TTempDir dir;
  TBytes bytes = exportImage();
  Put32(bytes, 0x400 + 24, 0x4000000);  // more names than the file holds
  TRunResult r = RunTool({WriteFile(dir / "bad.dll", bytes), "-le", "-li"});
  EXPECT_EQ(r.exitCode, 4);
  EXPECT_EQ(r.out,
            "Exception:\nError while listing exports:\nThe export tables at RVA $00001000 lie outside the file\n\n");
}

TEST(WriteItem, PadsTheValueToColumn21WithAtLeastOneBlank) {
  TTestImage t;
  int error = 0;
  auto image = ExeImage::OpenImageInMemory(t.Build(), error);
  ASSERT_TRUE(image);
  TStringSink out, err;
  TConsole console(out, err);
  TImagorOptions options;
  TImageLister plain(*image, options, console);
  plain.WriteItem("Name", "v");
  plain.WriteItem("ANameOfTwentyLetters", "v");
  options.ini = true;
  plain.WriteItem("Name", "v");
  EXPECT_EQ(out.Text(), "Name:                v\nANameOfTwentyLetters: v\nName                 = v\n");
  EXPECT_EQ(plain.FormatRva(0), "(0)");
  EXPECT_EQ(plain.FormatRva(0x5000), "(RVA: $00005000, Offset: $00000000)");
}

}  // namespace

namespace {

TEST(ImportListing, StopsWhenLibrariesShareOneTable) {
  // 150 descriptors all list the same table of 200 ordinals: far more slots than the file holds.
  TTestImage t;
  TBytes idata(0x1000, 0);
  for (uint32_t i = 0; i < 150; ++i) {
    Put32(idata, 20 * i, 0x1C00);
    Put32(idata, 20 * i + 12, 0x1F80);
  }
  for (uint32_t i = 0; i < 200; ++i) Put32(idata, 0xC00 + 4 * i, 0x80000000 + i);
  t.sections.push_back({".idata", 0x1000, 0, idata});
  t.directories[diImports] = {0x1000, 151 * 20};
  TTempDir dir;
  TRunResult r = RunTool({WriteFile(dir / "shared.exe", t.Build()), "-li"});
  EXPECT_EQ(r.exitCode, 4);
  EXPECT_LT(r.out.size(), 100000u);
  EXPECT_NE(r.out.find("Exception:\nError while listing imports:\nThe import tables overlap each other\n"),
            std::string::npos);
}

}  // namespace
