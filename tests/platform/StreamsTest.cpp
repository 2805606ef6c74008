#include "platform/Streams.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <functional>

#include "platform/Exceptions.h"
#include "tests/common/OrdinaryUser.h"
#include "tests/common/TestFiles.h"

namespace fs = std::filesystem;

namespace {

// 0 when replacing target raises EStreamError, 1 when it succeeds.
int replaceResult(const std::string& target) {
  try {
    TReplaceStream r(target);
    r.WriteString("new");
    r.Commit();
    return 1;
  } catch (const EStreamError&) {
    return 0;
  }
}

}  // namespace

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

TEST(MemoryStream, SeeksBeyondTheRangeOfAPositionStopAtItsEnds) {
  TMemoryStream m;
  m.WriteString("abc");
  EXPECT_EQ(m.Seek(INT64_MAX, TSeekOrigin::soCurrent), INT64_MAX);
  EXPECT_EQ(m.Seek(INT64_MIN, TSeekOrigin::soEnd), 0);
  EXPECT_EQ(m.Seek(-1, TSeekOrigin::soBeginning), 0);
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

TEST(ReplaceStream, UnwritableFolderOrTargetRaisesAndLeavesTheTarget) {
  struct Case {
    const char* what;
    mode_t folderMode, fileMode;
  } cases[] = {
      {"folder without write permission", 0555, 0666},
      {"read-only target in a writable folder", 0777, 0444},
  };
  for (const Case& c : cases) {
    TTempDir dir;
    std::string target = dir / "doc.txt";
    WriteTestFile(target, "keep");
    if (::geteuid() == 0) {
      ASSERT_EQ(::chown(target.c_str(), kNobody, kNobody), 0);
    }
    ::chmod(target.c_str(), c.fileMode);
    ::chmod(dir.Path().c_str(), c.folderMode);
    EXPECT_EQ(RunAsOrdinaryUser([&] { return replaceResult(target); }), 0) << c.what;
    ::chmod(dir.Path().c_str(), 0700);
    EXPECT_EQ(ReadTestFile(target), "keep") << c.what;
    EXPECT_EQ(dir.EntryCount(), 1u) << c.what;
  }
}

TEST(ReplaceStream, TheReplacementKeepsTheTargetsOwner) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root may give a file to another user";
  TTempDir dir;
  std::string target = dir / "theirs.txt";
  WriteTestFile(target, "old");
  ASSERT_EQ(::chown(target.c_str(), kNobody, kNobody), 0);
  ::chmod(target.c_str(), 04750);
  EXPECT_EQ(replaceResult(target), 1);
  struct stat st;
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, kNobody);
  EXPECT_EQ(st.st_gid, kNobody);
  EXPECT_EQ(st.st_mode & 07777, 04750u) << "the mode is set after the owner, which clears set-user-ID";
  EXPECT_EQ(ReadTestFile(target), "new");
}

TEST(ReplaceStream, ATargetWithTheLongestNameCanBeReplaced) {
  TTempDir dir;
  std::string target = dir / (std::string(250, 'n') + ".txt");  // 254 of the 255 bytes a name may have
  WriteTestFile(target, "old");
  EXPECT_EQ(replaceResult(target), 1);
  EXPECT_EQ(ReadTestFile(target), "new");
  EXPECT_EQ(dir.EntryCount(), 1u);
}

TEST(ReplaceStream, ANewFileGetsTheRightsTheUmaskAllows) {
  TTempDir dir;
  const mode_t old = ::umask(027);
  {
    TReplaceStream r(dir / "new.txt");
    r.WriteString("x");
    r.Commit();
  }
  const mode_t after = ::umask(old);
  EXPECT_EQ(after, 027u) << "saving leaves the process's mask as it was";
  struct stat st;
  ASSERT_EQ(::stat((dir / "new.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(ReplaceStream, APipeIsWrittenAsItIsAndStaysAPipe) {
  TTempDir dir;
  const std::string fifo = dir / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string received;
  std::thread reader([&] { received = ReadTestFile(fifo); });
  {
    TReplaceStream r(fifo);
    r.WriteString("through the pipe");
    r.Commit();
  }
  reader.join();
  EXPECT_EQ(received, "through the pipe");
  struct stat st;
  ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the pipe was replaced by a regular file";
  EXPECT_EQ(dir.EntryCount(), 1u);
}

TEST(ReplaceStream, AFolderIsRefused) {
  TTempDir dir;
  EXPECT_THROW(TReplaceStream r(dir.Path().string()), EStreamError);
}

TEST(MemoryStream, SavingToAFileReplacesItWholeOrNotAtAll) {
  TTempDir dir;
  WriteTestFile(dir / "out.bin", "old");
  TMemoryStream m;
  m.WriteString("new content");
  m.SaveToFile(dir / "out.bin");
  EXPECT_EQ(ReadTestFile(dir / "out.bin"), "new content");
  EXPECT_EQ(dir.EntryCount(), 1u);
  m.SaveToFile("/dev/null");  // a device is written, never replaced
  struct stat st;
  ASSERT_EQ(::stat("/dev/null", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
}
