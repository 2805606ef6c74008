#include "textbuf/StepPartition.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <vector>

namespace {

// The plain model: the length of every line.
void ExpectSame(const TStepPartition& table, const std::vector<int32_t>& lengths) {
  ASSERT_EQ(table.Count(), static_cast<int32_t>(lengths.size()));
  int32_t start = 0;
  for (int32_t i = 0; i < table.Count(); ++i) {
    ASSERT_EQ(table.Start(i), start) << "line " << i;
    ASSERT_EQ(table.Length(i), lengths[static_cast<size_t>(i)]) << "line " << i;
    if (lengths[static_cast<size_t>(i)] > 0) {
      ASSERT_EQ(table.LineOf(start), i);
      ASSERT_EQ(table.LineOf(start + lengths[static_cast<size_t>(i)] - 1), i);
    }
    start += lengths[static_cast<size_t>(i)];
  }
  ASSERT_EQ(table.Total(), start);
}

TEST(StepPartition, RandomShiftsInsertionsAndRemovalsMatchPlainLengths) {
  std::mt19937 rng(7);
  auto below = [&](int32_t n) { return static_cast<int32_t>(std::uniform_int_distribution<int32_t>(0, n - 1)(rng)); };
  TStepPartition table;
  std::vector<int32_t> lengths;
  for (int i = 0; i < 50; ++i) {
    lengths.push_back(1 + below(40));
    table.AppendLine(lengths.back());
  }
  for (int step = 0; step < 3000; ++step) {
    const int32_t count = table.Count();
    switch (below(4)) {
      case 0:
      case 1: {  // a length changes, near the last change or anywhere
        const int32_t line = below(count);
        const int32_t delta = std::max(-lengths[static_cast<size_t>(line)] + 1, below(21) - 10);
        table.Shift(line, delta);
        lengths[static_cast<size_t>(line)] += delta;
        break;
      }
      case 2: {  // a line is split in two
        const int32_t line = below(count);
        const int32_t at = below(lengths[static_cast<size_t>(line)] + 1);
        table.InsertLine(line + 1, table.Start(line) + at);
        lengths.insert(lengths.begin() + line + 1, lengths[static_cast<size_t>(line)] - at);
        lengths[static_cast<size_t>(line)] = at;
        break;
      }
      default: {  // lines merge into the one before them
        if (count < 3) break;
        const int32_t first = 1 + below(count - 1);
        const int32_t n = 1 + below(std::min(3, count - first));
        int32_t merged = 0;
        for (int32_t i = 0; i < n; ++i) merged += lengths[static_cast<size_t>(first + i)];
        table.RemoveLines(first, n);
        lengths.erase(lengths.begin() + first, lengths.begin() + first + n);
        lengths[static_cast<size_t>(first - 1)] += merged;
        break;
      }
    }
    ExpectSame(table, lengths);
    if (HasFatalFailure()) return;
  }
}

TEST(StepPartition, EditsAtOnePlaceLeaveTheStepThere) {
  TStepPartition table;
  for (int i = 0; i < 100000; ++i) table.AppendLine(10);
  for (int i = 0; i < 1000; ++i) table.Shift(500, 1);
  // The step waits at line 500: nothing after it was rewritten, yet every
  // start reads as if it had been.
  EXPECT_EQ(table.PendingStepLine(), 500);
  EXPECT_EQ(table.Start(501), 5010 + 1000);
  EXPECT_EQ(table.Total(), 1000000 + 1000);
  EXPECT_EQ(table.LineOf(5010 + 1000), 501);
  table.Shift(400, -5);
  EXPECT_EQ(table.PendingStepLine(), 400);
  EXPECT_EQ(table.Start(450), 4500 - 5);
  EXPECT_EQ(table.Start(501), 5010 + 995);
}

TEST(StepPartition, ClearLeavesTheEmptyText) {
  TStepPartition table;
  table.AppendLine(5);
  table.Shift(0, 3);
  table.Clear();
  EXPECT_EQ(table.Count(), 0);
  EXPECT_EQ(table.Total(), 0);
  table.AppendLine(4);
  EXPECT_EQ(table.Total(), 4);
}

}  // namespace
