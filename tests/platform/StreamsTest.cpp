#include "platform/Streams.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/Exceptions.h"
#include "tests/common/TestFiles.h"

namespace fs = std::filesystem;

TEST(MemoryStream, WritesReadsSeeksAndResizes) {
  TMemoryStream m;
  m.WriteString("hello world");
  EXPECT_EQ(m.Size(), 11);
  m.SetPosition(6);
  char buf[5];
  m.ReadBuffer(buf, 5);
  EXPECT_EQ(std::string(buf, 5), "world");
  EXPECT_EQ(m.Read(buf, 5), 0);
  EXPECT_THROW(m.ReadBuffer(buf, 1), EStreamError);
  m.SetSize(5);
  EXPECT_EQ(m.ToString(), "hello");
  m.SetSize(7);
  EXPECT_EQ(m.ToString(), std::string("hello\0\0", 7));
}

TEST(MemoryStream, AWriteBeyondTheEndFillsTheGapWithZeros) {
  TMemoryStream m;
  m.WriteString("abcdef");
  m.SetSize(2);  // the bytes behind the new end must not come back
  m.SetPosition(4);
  m.WriteString("x");
  EXPECT_EQ(m.ToString(), std::string("ab\0\0x", 5));
}

TEST(FileStream, MissingFileRaisesWithItsName) {
  TTempDir dir;
  try {
    TFileStream f(dir / "absent.txt", fmOpenRead);
    FAIL();
  } catch (const EStreamError& e) {
    EXPECT_NE(e.Message().find("Cannot open file \"" + (dir / "absent.txt") + "\""), std::string::npos);
  }
}

TEST(ReplaceStream, CommitReplacesAndAbandonKeepsTheOldBytes) {
  TTempDir dir;
  std::string target = dir / "doc.txt";
  WriteTestFile(target, "old bytes");
  ::chmod(target.c_str(), 0640);
  {
    TReplaceStream r(target);
    r.WriteString("new");
    EXPECT_EQ(ReadTestFile(target), "old bytes");
  }  // abandoned
  EXPECT_EQ(ReadTestFile(target), "old bytes");
  EXPECT_EQ(dir.EntryCount(), 1u) << "an abandoned stream leaves no temporary file";
  {
    TReplaceStream r(target);
    r.WriteString("new bytes");
    r.Commit();
  }
  EXPECT_EQ(ReadTestFile(target), "new bytes");
  EXPECT_EQ(dir.EntryCount(), 1u);
  struct stat st;
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u) << "the replacement keeps the target's mode";
}

TEST(ReplaceStream, SavingThroughASymbolicLinkKeepsTheLink) {
  TTempDir dir;
  std::string real = dir / "real.txt", link = dir / "link.txt";
  WriteTestFile(real, "before");
  ASSERT_EQ(::symlink("real.txt", link.c_str()), 0);
  {
    TReplaceStream r(link);
    r.WriteString("after");
    r.Commit();
  }
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadTestFile(real), "after");
}

TEST(ReplaceStream, UnwritableFolderRaisesAndLeavesTheTarget) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may write anywhere";
  TTempDir dir;
  std::string target = dir / "doc.txt";
  WriteTestFile(target, "keep");
  ::chmod((dir / "").c_str(), 0500);
  EXPECT_THROW(TReplaceStream r(target), EStreamError);
  ::chmod((dir / "").c_str(), 0700);
  EXPECT_EQ(ReadTestFile(target), "keep");
}
