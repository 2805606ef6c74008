#include "platform/DebugOutput.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/Exceptions.h"
#include "tests/common/TestFiles.h"

namespace {

class DebugOutputTest : public ::testing::Test {
protected:
  void SetUp() override {
    name_ = ::testing::TempDir() + "debug-output-test.log";
    std::remove(name_.c_str());
  }
  void TearDown() override {
    SetDebugLogFile("");
    std::remove(name_.c_str());
  }
  std::string name_;
};

}  // namespace

TEST_F(DebugOutputTest, NothingIsWrittenUntilAFileIsChosen) {
  EXPECT_FALSE(DebugOutputActive());
  Debug("lost %d", 1);
  ASSERT_TRUE(SetDebugLogFile(name_));
  EXPECT_EQ(DebugLogFile(), name_);
  Debug("Search proc-implem for \"%s\"", "Foo");
  Debug("%d", "bad argument");
  try {
    throw EListError("List index out of bounds (3)");
  } catch (const std::exception& e) {
    LogException(e, "Restore");
  }
  LogException(std::runtime_error("plain"), "Save");
  SetDebugLogFile("");
  Debug("after %d", 2);
  EXPECT_EQ(ReadTestFile(name_),
            "Search proc-implem for \"Foo\"\n"
            "%d\n"
            "EXC in Restore: List index out of bounds (3) (EListError)\n"
            "EXC in Save: plain (std::runtime_error)\n");
  EXPECT_FALSE(SetDebugLogFile("/nonexistent-folder/debug.log"));
  EXPECT_FALSE(DebugOutputActive());
}

TEST_F(DebugOutputTest, LinesFromSeveralThreadsStayWhole) {
  ASSERT_TRUE(SetDebugLogFile(name_));
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < 500; ++i) Debug("thread %d line %d %s", t, i, std::string(60, char('a' + t)));
    });
  for (auto& thread : threads) thread.join();
  SetDebugLogFile("");
  std::istringstream lines(ReadTestFile(name_));
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    int t = -1, i = -1;
    ASSERT_EQ(std::sscanf(line.c_str(), "thread %d line %d", &t, &i), 2) << line;
    EXPECT_EQ(line.substr(line.size() - 60), std::string(60, char('a' + t))) << line;
  }
  EXPECT_EQ(count, 2000);
}
