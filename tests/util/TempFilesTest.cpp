#include "util/TempFiles.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/Exceptions.h"
#include "tests/common/OrdinaryUser.h"
#include "tests/common/TestFiles.h"

namespace fs = std::filesystem;

namespace {

// Points TMPDIR at a fresh folder for the test and restores it afterwards.
class TempFolderTest : public ::testing::Test {
protected:
  void TearDown() override { fs::permissions(folder_, fs::perms::owner_all); }

  TTempDir dir_{"quill-tempfiles"};
  std::string folder_ = dir_.Path().string();
  TTmpDirOverride tmp_{folder_ + "/"};
};

}  // namespace

TEST_F(TempFolderTest, PrefixIsCutOrPaddedToThreeCharacters) {
  struct Case {
    std::string prefix;
    std::string head;
  } cases[] = {{"x", "x__"}, {"", "dfs"}, {"Qpd", "Qpd"}, {"undo", "und"}, {"a/b", "a_b"}, {std::string("\0", 1), "___"}};
  for (const Case& c : cases) {
    std::string name = GetTempFileEx(c.prefix);
    fs::path path(name);
    EXPECT_EQ(path.parent_path().string(), folder_) << c.prefix;
    EXPECT_EQ(path.filename().string().substr(0, 3), c.head) << c.prefix;
    EXPECT_EQ(path.extension().string(), ".tmp");
    ASSERT_TRUE(fs::is_regular_file(path)) << name;
    EXPECT_EQ(fs::file_size(path), 0u);
  }
}

TEST_F(TempFolderTest, EveryCallGivesANewFile) {
  std::string a = GetTempFileEx("x"), b = GetTempFileEx("x");
  EXPECT_NE(a, b);
  EXPECT_TRUE(fs::exists(a));
  EXPECT_TRUE(fs::exists(b));
}

TEST_F(TempFolderTest, AnUnwritableFolderRaisesWithItsName) {
  fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                               fs::perms::others_exec);
  // 0: raised with the folder's name, 1: raised without it, 2: no error.
  const int result = RunAsOrdinaryUser([&] {
    try {
      GetTempFileEx("x");
      return 2;
    } catch (const EStreamError& e) {
      return e.Message().find(folder_) != std::string::npos ? 0 : 1;
    }
  });
  EXPECT_EQ(result, 0);
}

TEST_F(TempFolderTest, WithoutTmpdirTheFolderIsTmp) {
  ::unsetenv("TMPDIR");
  EXPECT_EQ(TempFolder(), "/tmp");
  ::setenv("TMPDIR", "", 1);
  EXPECT_EQ(TempFolder(), "/tmp");
}
