#include "util/CopyStream.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "platform/Exceptions.h"
#include "platform/Streams.h"

namespace {

TMemoryStream* memoryWith(TMemoryStream& m, const std::string& text, int64_t position = 0) {
  m.Clear();
  m.WriteString(text);
  m.SetPosition(position);
  return &m;
}

// A source that claims more bytes than it delivers, like a file that
// shrinks while it is being copied.
class ShrinkingSource : public TStream {
public:
  int64_t Read(void* buffer, int64_t count) override {
    int64_t n = std::min<int64_t>(count, delivered_ < 10 ? 10 - delivered_ : 0);
    std::memset(buffer, 'z', static_cast<size_t>(n));
    delivered_ += n;
    return n;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t, TSeekOrigin) override { return 0; }
  int64_t GetSize() override { return 1000000; }

private:
  int64_t delivered_ = 0;
};

// A source whose size cannot be known, like a pipe.
class PipeLikeSource : public TStream {
public:
  explicit PipeLikeSource(std::string data) : data_(std::move(data)) {}
  int64_t Read(void* buffer, int64_t count) override {
    int64_t n = std::min<int64_t>(count, static_cast<int64_t>(data_.size() - pos_));
    std::memcpy(buffer, data_.data() + pos_, static_cast<size_t>(n));
    pos_ += static_cast<size_t>(n);
    return n;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t, TSeekOrigin) override { throw EStreamError("Cannot seek"); }

private:
  std::string data_;
  size_t pos_ = 0;
};

}  // namespace

TEST(CopyStreamEx, CopiesTheRestOrACountAndRewindsOnRequest) {
  TMemoryStream source, dest;
  struct Case {
    const char* what;
    int64_t sourcePosition;
    bool fromStart;
    int64_t count;
    const char* result;
  } cases[] = {
      {"rest of the source", 3, false, kCopyAll, "defghij"},
      {"from the start", 3, true, kCopyAll, "abcdefghij"},
      {"limited count", 0, false, 4, "abcd"},
      {"count beyond the end", 8, false, 100, "ij"},
      {"nothing left", 10, false, kCopyAll, ""},
      {"zero count", 0, false, 0, ""},
  };
  for (const Case& c : cases) {
    memoryWith(source, "abcdefghij", c.sourcePosition);
    dest.Clear();
    int64_t copied = CopyStreamEx(&source, &dest, c.fromStart, c.count);
    EXPECT_EQ(dest.ToString(), c.result) << c.what;
    EXPECT_EQ(copied, static_cast<int64_t>(std::strlen(c.result))) << c.what;
    EXPECT_EQ(dest.Position(), copied) << c.what;
  }
  EXPECT_EQ(CopyStreamEx(nullptr, &dest, true), 0);
  EXPECT_EQ(CopyStreamEx(&source, nullptr, true), 0);
}

TEST(CopyStreamEx, LargeCopiesCrossBlockBoundaries) {
  std::string data(65536 * 3 + 17, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
  TMemoryStream source, dest;
  memoryWith(source, data);
  EXPECT_EQ(CopyStreamEx(&source, &dest, true, 65536 + 5), 65536 + 5);
  EXPECT_EQ(dest.ToString(), data.substr(0, 65536 + 5));
  dest.Clear();
  EXPECT_EQ(CopyStreamEx(&source, &dest, true), static_cast<int64_t>(data.size()));
  EXPECT_EQ(dest.ToString(), data);
}

TEST(CopyStreamEx, PreSizedDestinationIsCutToWhatWasWritten) {
  std::string name = ::testing::TempDir() + "copystream-test.bin";
  {
    ShrinkingSource source;
    TFileStream dest(name, fmCreate);
    EXPECT_EQ(CopyStreamEx(&source, &dest, false), 10);
  }
  EXPECT_EQ(std::filesystem::file_size(name), 10u);
  std::filesystem::remove(name);

  // Writing into the middle keeps the bytes behind the written ones.
  TMemoryStream source, dest;
  memoryWith(source, "abc");
  memoryWith(dest, "0123456789", 2);
  EXPECT_EQ(CopyStreamEx(&source, &dest, false), 3);
  EXPECT_EQ(dest.ToString(), "01abc56789");
  EXPECT_EQ(dest.Position(), 5);

  ShrinkingSource liar;
  memoryWith(dest, "0123", 4);
  EXPECT_EQ(CopyStreamEx(&liar, &dest, false), 10);
  EXPECT_EQ(dest.ToString(), "0123zzzzzzzzzz");

  PipeLikeSource pipe("from a pipe");
  dest.Clear();
  EXPECT_EQ(CopyStreamEx(&pipe, &dest, false), 11);
  EXPECT_EQ(dest.ToString(), "from a pipe");
}

TEST(CopyStreamEx, AFailedWriteRaises) {
  TMemoryStream source;
  memoryWith(source, std::string(100000, 'x'));
  TFileStream full("/dev/full", fmOpenWrite);
  try {
    CopyStreamEx(&source, &full, true);
    FAIL() << "a write to a full device must raise";
  } catch (const EStreamError& e) {
    EXPECT_NE(e.Message().find(SysErrorMessage(ENOSPC)), std::string::npos) << e.Message();
  }
}

TEST(CopyStreamEx, AFileDestinationThatCannotBeSizedIsWrittenAsItIs) {
  TMemoryStream source;
  memoryWith(source, "to a device");
  TFileStream null("/dev/null", fmOpenWrite);
  EXPECT_EQ(CopyStreamEx(&source, &null, true), 11);

  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  {
    TFileStream pipe("/proc/self/fd/" + std::to_string(fds[1]), fmOpenWrite);
    EXPECT_EQ(CopyStreamEx(&source, &pipe, true), 11);
  }
  ::close(fds[1]);
  char buffer[32];
  ssize_t n = ::read(fds[0], buffer, sizeof buffer);
  ::close(fds[0]);
  EXPECT_EQ(std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0), "to a device");
}
