#include "imagetool/CommandLine.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"
#include "imagetool/Imagor.h"

namespace {

const char* const kUsageStart = "Usage: imagor File.exe -flags...\n -e               \tStandard listing (-lh -le -li -lr)\n";

TEST(CommandLine, EndsWithTheSpecifiedMessagesAndExitCodes) {
  std::string lib = FixturePath("imagor_lib.dll");
  struct Case {
    std::vector<std::string> params;
    int exitCode;
    const char* err;
    bool usage;
  };
  const Case cases[] = {
      {{}, 99, "Error: Missing exe-file name!\n", true},
      {{"", "-lh"}, 99, "Error: Missing exe-file name!\n", true},
      {{lib, "-rebase"}, 99, "Error: Required parameter missing for \"-rebase\"!\n", true},
      {{lib, "-REBASE", "40000g"}, 99, "Error: Required parameter missing for \"-REBASE\"!\n", true},
      {{lib, "-rebase", "123456789"}, 99, "Error: Required parameter missing for \"-rebase\"!\n", true},
      {{"-h", lib}, 100, "", true},
      {{"/?"}, 100, "", true},
      {{"--help"}, 0, "", true},
  };
  for (const Case& c : cases) {
    TRunResult r = RunTool(c.params);
    std::string what = c.params.empty() ? "(none)" : c.params.back();
    EXPECT_EQ(r.exitCode, c.exitCode) << what;
    EXPECT_EQ(r.err, c.err) << what;
    EXPECT_EQ(r.out.rfind(kUsageStart, 0) == 0, c.usage) << what;
  }
  std::vector<std::string> usage = Lines(RunTool({"-?"}).out);
  ASSERT_EQ(usage.size(), 20u);
  EXPECT_EQ(usage[15], " -raw             \tRaw list...");
  EXPECT_EQ(usage[16], "");
  EXPECT_EQ(usage[19], " -w8loss          \tPerform weight-loss");
}

TEST(CommandLine, VersionNamesTheProgram) {
  TRunResult r = RunTool({"--version"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out.rfind("imagor ", 0), 0u);
}

TEST(CommandLine, SlashOptionsAreOptionsOnlyWhenTheyAreNoFile) {
  // "/LH" is "-lh"; an absolute path is the image even though it starts with "/".
  TRunResult r = RunTool({FixturePath("imagor_lib.dll"), "/LH"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out.rfind("FileSize:", 0), 0u);
  EXPECT_EQ(r.out.find("Imports from"), std::string::npos);

  TTempDir dir;
  std::string named = CopyFixture(dir, "imagor_lib.dll");
  std::filesystem::path shadow = std::filesystem::path(named).parent_path() / "lh";
  std::filesystem::copy_file(named, shadow);
  // A file whose name is also an option stays a file.
  ASSERT_TRUE(IsKnownOption("-lh"));
  r = RunTool({shadow.string(), "-li"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out.rfind("Imports from imagor_dep.dll", 0), 0u);
}

TEST(CommandLine, ASecondFileIsUnknownButTheFirstIsStillListed) {
  std::string lib = FixturePath("imagor_lib.dll");
  TRunResult r = RunTool({lib, "-li", FixturePath("imagor_app.exe"), "-nosuchoption"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "Error: Unknown param \"" + FixturePath("imagor_app.exe") + "\" !\n");
  EXPECT_EQ(r.out.rfind("Imports from imagor_dep.dll\n", 0), 0u);
  EXPECT_NE(r.out.find(kUsageStart), std::string::npos);
}

TEST(CommandLine, WithoutListingOptionsTheStandardListingIsWritten) {
  TRunResult r = RunTool({FixturePath("imagor_lib.dll")});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("FileSize:"), std::string::npos);
  EXPECT_NE(r.out.find("Imports from imagor_dep.dll"), std::string::npos);
  EXPECT_NE(r.out.find("lib_alpha=$10001000 (3)"), std::string::npos);
}

TEST(CommandLine, ImagesThatCannotBeOpenedEndWithCode2) {
  TTempDir dir;
  TTestImage t;
  t.magic = 0x20B;
  std::string wide = WriteFile(dir / "wide.dll", t.Build());
  std::string text = WriteFile(dir / "text.txt", TBytes(100, 'a'));
  struct Case {
    std::vector<std::string> params;
    std::string err;
  };
  const Case cases[] = {
      {{text, "-lh"}, "Error: Cannot open exe-file \"" + text + "\" (Error 9)!\nError: Not a 32-bit executable image.\n"},
      {{wide, "-lh"},
       "Error: Cannot open exe-file \"" + wide + "\" (Error -64)!\nError: 64-bit (PE32+) images are not supported.\n"},
      {{wide, "-strip"},
       "Error: Cannot open exe-file \"" + wide + "\" (Error -64)!\nError: 64-bit (PE32+) images are not supported.\n"},
  };
  for (const Case& c : cases) {
    TRunResult r = RunTool(c.params);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
  }
}

}  // namespace

namespace {

class TFailingSink : public TOutputSink {
public:
  void Write(std::string_view) override {}
  bool Flush() override { return false; }
};

TEST(CommandLine, AFailedWriteOfTheOutputEndsWithCode5) {
  TFailingSink out;
  TStringSink err;
  EXPECT_EQ(RunImagor({"imagor", FixturePath("imagor_lib.dll"), "-lh"}, out, err), 5);
  EXPECT_EQ(err.Text(), "Error: Writing the standard output failed\n");
}

}  // namespace
