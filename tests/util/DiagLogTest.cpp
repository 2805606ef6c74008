#include "util/DiagLog.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/Exceptions.h"

namespace {

class DiagLogTest : public ::testing::Test {
protected:
  void SetUp() override { CreateLogStream(); }
  void TearDown() override { DestroyLogStream(); }
};

}  // namespace

TEST(DiagLogWithoutStream, WritesNothingAndRaisesNothing) {
  DestroyLogStream();
  LogLine("text");
  LogFmt("%d %s", 1, "x");
  try {
    throw Exception("boom");
  } catch (...) {
    TLogSender sender{"Editor1", "TTextEditor"};
    LogException(&sender, "Paint");
  }
  EXPECT_FALSE(LogStreamExists());
  EXPECT_EQ(LogStreamSize(), 0);
  EXPECT_EQ(LogStreamRead(), "");
}

TEST_F(DiagLogTest, LinesOfAnyLengthEndWithCrLf) {
  std::string longLine(300, 'L');
  LogLine("short");
  LogLine(longLine);
  LogLine("");
  EXPECT_EQ(LogStreamRead(), "short\r\n" + longLine + "\r\n\r\n");
  EXPECT_EQ(LogStreamRead(7), longLine + "\r\n\r\n");
  ClearLogStream();
  EXPECT_TRUE(LogStreamExists());
  EXPECT_EQ(LogStreamSize(), 0);
}

TEST_F(DiagLogTest, LogFmtIsBoundedTo255Characters) {
  std::string text(400, 'x');
  LogFmt("%s|%d", text, 5);
  EXPECT_EQ(LogStreamRead(), std::string(255, 'x') + "\r\n");
  ClearLogStream();
  LogFmt("pos=%d len=%-4d|", 12, 3);
  LogFmt("%d", "not a number");
  EXPECT_EQ(LogStreamRead(), "pos=12 len=3   |\r\n%d\r\n");
}

TEST_F(DiagLogTest, LogExceptionFormat) {
  TLogSender sender{"Editor1", "TTextEditor"};
  try {
    throw Exception("Index 5 out of range");
  } catch (...) {
    LogException(&sender, "Paint");
    LogException(nullptr, "");
  }
  LogException(nullptr, "outside a handler");
  EXPECT_EQ(LogStreamRead(),
            "-(Exc)!: 'Index 5 out of range', Ctx=\"Paint\", Sender=\"Editor1: TTextEditor\" \r\n"
            "-(Exc)!: 'Index 5 out of range', Ctx=\"\"\r\n"
            "-(Exc)!: '', Ctx=\"outside a handler\"\r\n");
}

TEST_F(DiagLogTest, LinesFromSeveralThreadsStayWhole) {
  constexpr int kThreads = 4, kLines = 2000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < kLines; ++i) LogFmt("thread %d line %d %s", t, i, std::string(40, char('a' + t)));
    });
  for (auto& thread : threads) thread.join();

  std::string log = LogStreamRead();
  std::vector<int> next(kThreads, 0);
  size_t start = 0, lines = 0;
  for (size_t end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2, ++lines) {
    std::string line = log.substr(start, end - start);
    int t = -1, i = -1;
    ASSERT_EQ(std::sscanf(line.c_str(), "thread %d line %d", &t, &i), 2) << line;
    ASSERT_TRUE(t >= 0 && t < kThreads);
    EXPECT_EQ(i, next[static_cast<size_t>(t)]++);  // each thread's lines in order
    EXPECT_EQ(line.substr(line.size() - 40), std::string(40, char('a' + t)));
  }
  EXPECT_EQ(start, log.size());
  EXPECT_EQ(lines, static_cast<size_t>(kThreads * kLines));
}

TEST_F(DiagLogTest, TheOldestLinesGoWhenTheLogPassesItsLimit) {
  std::string line(1000, '.');
  int64_t written = 0;
  for (int i = 0; written <= kLogStreamLimit; ++i) {
    std::string numbered = std::to_string(i) + line;
    LogLine(numbered);
    written += static_cast<int64_t>(numbered.size()) + 2;
  }
  int64_t size = LogStreamSize();
  EXPECT_LE(size, kLogStreamLimit);
  EXPECT_GE(size, kLogStreamLimit / 4);
  std::string head = LogStreamRead(size - 1);
  EXPECT_EQ(head, "\n");
  std::string log = LogStreamRead();
  EXPECT_NE(log.substr(0, 12).find_first_not_of("0123456789"), 0u);  // starts at a line start
}
