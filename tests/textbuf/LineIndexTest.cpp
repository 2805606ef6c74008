#include "textbuf/LineIndex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

using TIndex = TLineIndex<int32_t>;

// The plain model: every line's length and item.
struct Lines {
  std::vector<int32_t> lengths, items;
  int32_t nextItem = 0;
};

void ExpectSame(const TIndex& table, const Lines& model) {
  const std::vector<int32_t>& lengths = model.lengths;
  ASSERT_EQ(table.Count(), static_cast<int32_t>(lengths.size()));
  std::vector<int32_t> items;
  table.ForEach([&](int32_t item) { items.push_back(item); });
  ASSERT_EQ(items, model.items);
  int32_t start = 0;
  for (int32_t i = 0; i < table.Count(); ++i) {
    const int32_t length = lengths[static_cast<size_t>(i)];
    ASSERT_EQ(table.Start(i), start) << "line " << i;
    ASSERT_EQ(table.At(i), model.items[static_cast<size_t>(i)]) << "line " << i;
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
TEST(LineIndex, BlocksFollowPlainLinesThroughEveryKindOfChange) {
  std::mt19937 rng(17);
  auto below = [&](int32_t n) { return static_cast<int32_t>(std::uniform_int_distribution<int32_t>(0, n - 1)(rng)); };
  TIndex table;
  Lines model;
  std::vector<int32_t>& lengths = model.lengths;
  std::vector<int32_t>& items = model.items;
  for (int i = 0; i < 5000; ++i) {
    lengths.push_back(1 + below(40));
    items.push_back(model.nextItem++);
    table.AppendLine(lengths.back(), items.back());
  }
  ExpectSame(table, model);
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
          table.InsertLine(line + 1, table.Start(line) + at, model.nextItem);
          items.insert(items.begin() + line + 1, model.nextItem++);
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
        items.erase(items.begin() + first, items.begin() + first + n);
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
        items.erase(items.begin() + first, items.begin() + first + n);
        lengths[static_cast<size_t>(first - 1)] += merged;
        break;
      }
    }
    if (step % 25 == 0 || step > 1450) {
      ExpectSame(table, model);
      if (HasFatalFailure()) return;
    }
  }
  ExpectSame(table, model);
}

TEST(LineIndex, AnEmptyLastLineAndTheEnd) {
  TIndex table;
  for (int i = 0; i < 2 * TIndex::kBlockLines; ++i) table.AppendLine(2, i);
  table.AppendLine(0, -1);
  EXPECT_EQ(table.LineOf(table.Total()), table.Count() - 1);
  EXPECT_EQ(table.LineOf(table.Total() - 1), table.Count() - 2);
  table.RemoveLines(1, table.Count() - 1);
  EXPECT_EQ(table.Count(), 1);
  EXPECT_EQ(table.Start(1), 4 * TIndex::kBlockLines);
  EXPECT_EQ(table.At(0), 0);
}

}  // namespace
