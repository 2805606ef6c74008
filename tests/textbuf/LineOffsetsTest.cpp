#include "textbuf/LineOffsets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

void ExpectSame(const TLineOffsets& table, const std::vector<int32_t>& lengths) {
  ASSERT_EQ(table.Count(), static_cast<int32_t>(lengths.size()));
  int32_t start = 0;
  for (int32_t i = 0; i < table.Count(); ++i) {
    const int32_t length = lengths[static_cast<size_t>(i)];
    ASSERT_EQ(table.Start(i), start) << "line " << i;
    if (length > 0) {
      ASSERT_EQ(table.LineOf(start), i) << "line " << i;
      ASSERT_EQ(table.LineOf(start + length - 1), i) << "line " << i;
    }
    start += length;
  }
  ASSERT_EQ(table.Total(), start);
}

// Thousands of lines, so that blocks split, shrink, vanish and merge
// boundaries; checked against the plain list of line lengths.
TEST(LineOffsets, BlocksFollowPlainLengthsThroughEveryKindOfChange) {
  std::mt19937 rng(17);
  auto below = [&](int32_t n) { return static_cast<int32_t>(std::uniform_int_distribution<int32_t>(0, n - 1)(rng)); };
  TLineOffsets table;
  std::vector<int32_t> lengths;
  for (int i = 0; i < 5000; ++i) {
    lengths.push_back(1 + below(40));
    table.AppendLine(lengths.back());
  }
  ExpectSame(table, lengths);
  for (int step = 0; step < 1500; ++step) {
    const int32_t count = table.Count();
    switch (below(5)) {
      case 0:
      case 1: {
        const int32_t line = below(count);
        const int32_t delta = std::max(-lengths[static_cast<size_t>(line)] + 1, below(21) - 10);
        table.Shift(line, delta);
        lengths[static_cast<size_t>(line)] += delta;
        break;
      }
      case 2: {  // split a line, often many times near one place
        const int32_t line = step % 7 == 0 ? below(count) : std::min(count - 1, 2500 + below(50));
        const int32_t at = below(lengths[static_cast<size_t>(line)] + 1);
        for (int k = 0; k < 20 && at > 0; ++k) {
          table.InsertLine(line + 1, table.Start(line) + at);
          lengths.insert(lengths.begin() + line + 1, lengths[static_cast<size_t>(line)] - at);
          lengths[static_cast<size_t>(line)] = at;
        }
        break;
      }
      case 3: {  // merge a few lines
        if (count < 3) break;
        const int32_t first = 1 + below(count - 1);
        const int32_t n = 1 + below(std::min(4, count - first));
        int32_t merged = 0;
        for (int32_t i = 0; i < n; ++i) merged += lengths[static_cast<size_t>(first + i)];
        table.RemoveLines(first, n);
        lengths.erase(lengths.begin() + first, lengths.begin() + first + n);
        lengths[static_cast<size_t>(first - 1)] += merged;
        break;
      }
      default: {  // merge a long run, across whole blocks
        if (count < 3000 || below(4) != 0) break;
        const int32_t first = 1 + below(count - 2500);
        const int32_t n = 1 + below(2400);
        int32_t merged = 0;
        for (int32_t i = 0; i < n; ++i) merged += lengths[static_cast<size_t>(first + i)];
        table.RemoveLines(first, n);
        lengths.erase(lengths.begin() + first, lengths.begin() + first + n);
        lengths[static_cast<size_t>(first - 1)] += merged;
        break;
      }
    }
    if (step % 25 == 0 || step > 1450) {
      ExpectSame(table, lengths);
      if (HasFatalFailure()) return;
    }
  }
  ExpectSame(table, lengths);
}

TEST(LineOffsets, AnEmptyLastLineAndTheEnd) {
  TLineOffsets table;
  for (int i = 0; i < 2 * TLineOffsets::kBlockLines; ++i) table.AppendLine(2);
  table.AppendLine(0);
  EXPECT_EQ(table.LineOf(table.Total()), table.Count() - 1);
  EXPECT_EQ(table.LineOf(table.Total() - 1), table.Count() - 2);
  table.RemoveLines(1, table.Count() - 1);
  EXPECT_EQ(table.Count(), 1);
  EXPECT_EQ(table.Start(1), 4 * TLineOffsets::kBlockLines);
}

}  // namespace
