#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "ViewTestSupport.h"
#include "view/MemLineTable.h"
#include "view/TabExpansion.h"

namespace {

TMemLayout layoutOf(const std::string& text, int32_t width = 0, int32_t tabSize = 8) {
  TMemLayout l;
  BuildMemLayout(text.data(), static_cast<int32_t>(text.size()), width, tabSize, l);
  return l;
}

std::vector<std::pair<int32_t, int32_t>> entries(const std::vector<TMemLine>& lines) {
  std::vector<std::pair<int32_t, int32_t>> out;
  for (const TMemLine& l : lines) out.emplace_back(l.Start, l.Length);
  return out;
}

using Entries = std::vector<std::pair<int32_t, int32_t>>;

TEST(MemLineTable, SplitsAtEveryKindOfLineEnd) {
  struct Case {
    std::string text;
    Entries lines;
  };
  const Case cases[] = {
      {"a\r\nb", {{0, 1}, {3, -1}}},
      {"a\nb\rc", {{0, 1}, {2, 1}, {4, -1}}},
      {"a\r\n", {{0, 1}}},                 // no empty entry after a final line end
      {"\n\n", {{0, 0}, {1, 0}}},
      {"\r\r\n", {{0, 0}, {1, 0}}},        // CR, then CR LF
      {"\n\rx", {{0, 0}, {1, 0}, {2, -1}}},  // LF, then CR: two line ends
      {"", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(c.lines, entries(layoutOf(c.text).Lines)) << c.text;
}

TEST(MemLineTable, OffsetAndPointMappingTable) {
  const std::string text = "ab\r\n\r\ncd";  // lines "ab", "", "cd" (no final line end)
  const TMemLayout l = layoutOf(text);
  const int32_t size = static_cast<int32_t>(text.size());
  struct Case {
    int64_t offset;
    bool ok;
    TTextPoint point;
  };
  const Case cases[] = {
      {0, true, {0, 0}}, {2, true, {2, 0}}, {3, false, {}},  // inside CR LF
      {4, true, {0, 1}}, {6, true, {0, 2}}, {8, true, {2, 2}},
      {9, false, {}},    {-1, false, {}},
  };
  for (const Case& c : cases) {
    TTextPoint p{-9, -9};
    EXPECT_EQ(c.ok, MemOffsetToPoint(l.Lines, size, c.offset, p)) << c.offset;
    if (c.ok) {
      EXPECT_EQ(c.point, p) << c.offset;
      int64_t back = -1;
      EXPECT_TRUE(MemPointToOffset(l.Lines, size, p, back));
      EXPECT_EQ(c.offset, back);
    }
  }
  int64_t o = -1;
  EXPECT_TRUE(MemPointToOffset(l.Lines, size, {99, 0}, o));  // columns stop at the line end
  EXPECT_EQ(2, o);
  EXPECT_FALSE(MemPointToOffset(l.Lines, size, {0, 3}, o));  // no line end after "cd"
}

TEST(MemLineTable, TheLineAfterAFinalLineEndIsTheTextSize) {
  for (const std::string text : {"ab\n", "ab\r\n", "ab\r"}) {
    const TMemLayout l = layoutOf(text);
    const int32_t size = static_cast<int32_t>(text.size());
    int64_t o = -1;
    EXPECT_TRUE(MemPointToOffset(l.Lines, size, {0, 1}, o)) << text;
    EXPECT_EQ(size, o) << text;
    EXPECT_FALSE(MemPointToOffset(l.Lines, size, {1, 1}, o));
    TTextPoint p;
    EXPECT_TRUE(MemOffsetToPoint(l.Lines, size, size, p));
    EXPECT_EQ((TTextPoint{0, 1}), p);
  }
  TTextPoint p;
  int64_t o = -1;
  EXPECT_TRUE(MemOffsetToPoint({}, 0, 0, p));
  EXPECT_TRUE(MemPointToOffset({}, 0, {0, 0}, o));
  EXPECT_EQ(0, o);
}

TEST(MemLineTable, WrappedPiecesHaveNegativeLengths) {
  const std::string line(25, 'x');
  const TMemLayout l = layoutOf(line + "\n", 10);
  EXPECT_EQ((Entries{{0, -10}, {10, -10}, {20, 5}}), entries(l.Lines));
  EXPECT_EQ((Entries{{0, 25}}), entries(l.Logical));
  EXPECT_EQ(10, l.Longest);
  // An offset at a piece boundary belongs to the next piece.
  TTextPoint p;
  EXPECT_TRUE(MemOffsetToPoint(l.Lines, 26, 10, p));
  EXPECT_EQ((TTextPoint{0, 1}), p);
  EXPECT_TRUE(MemOffsetToPoint(l.Lines, 26, 25, p));
  EXPECT_EQ((TTextPoint{5, 2}), p);
  // The logical table maps the same offset to the logical line.
  EXPECT_TRUE(MemOffsetToPoint(l.Logical, 26, 10, p));
  EXPECT_EQ((TTextPoint{10, 0}), p);
}

TEST(MemLineTable, TabsWrapAsTheViewPaintsThem) {
  // The tab at column 0 reaches column 7; three letters fill the line to 10.
  EXPECT_EQ((Entries{{0, -4}, {4, -7}}), entries(layoutOf("\tabcdefghij", 10).Lines));
  // A tab at column 7 reaches column 15: the letters after it go to the next piece.
  EXPECT_EQ((Entries{{0, -8}, {8, -3}}), entries(layoutOf("abcdefg\tXYZ", 10).Lines));
  EXPECT_EQ(16, layoutOf("ab\tc\tx").Longest);
  EXPECT_EQ(16, layoutOf("abcdefg\tX").Longest);
}

// Every character but a tab starts inside the window when wrapping (a tab
// may reach past the edge with its blanks), and without wrapping the
// longest line is the widest painted one.
TEST(MemLineTable, PiecesFitTheWindowAsPainted) {
  std::mt19937 rng(11);
  const char alphabet[] = {'x', 'y', '\t', '\t', '\n', ' '};
  for (int round = 0; round < 200; ++round) {
    std::string text;
    const int n = static_cast<int>(rng() % 80);
    for (int i = 0; i < n; ++i) text += alphabet[rng() % sizeof alphabet];
    for (int32_t tabSize : {4, 8}) {
      int64_t widest = 0;
      for (const TMemLine& l : layoutOf(text, 0, tabSize).Lines)
        widest = std::max(widest, ScreenWidth(std::string_view(text).substr(l.Start, l.Chars()), tabSize));
      EXPECT_EQ(widest, layoutOf(text, 0, tabSize).Longest);
      for (int32_t width : {1, 3, 8, 10, 20}) {
        for (const TMemLine& l : layoutOf(text, width, tabSize).Lines) {
          const std::string_view piece = std::string_view(text).substr(l.Start, l.Chars());
          for (int32_t i = 0; i < l.Chars(); ++i) {
            if (piece[i] == '\t') continue;
            int32_t col = i;
            CharToScreenColumn(piece, col, tabSize);
            EXPECT_LT(col, width) << "piece '" << piece << "' width " << width;
          }
        }
      }
    }
  }
}

TEST(MemLineTable, WrapWidthsMatchFold) {
  std::string text;
  for (int n : {0, 1, 9, 10, 11, 25, 40, 79, 80, 81, 203}) text += std::string(n, 'a' + n % 26) + "\n";
  for (int width : {1, 7, 10, 80}) {
    bool ok;
    const std::string folded = RunFilter("fold -w " + std::to_string(width), text, ok);
    if (!ok) GTEST_SKIP() << "fold is not available";
    std::vector<int32_t> expected;
    std::istringstream in(folded);
    for (std::string piece; std::getline(in, piece);) expected.push_back(static_cast<int32_t>(piece.size()));
    std::vector<int32_t> got;
    for (const TMemLine& l : layoutOf(text, width).Lines) got.push_back(l.Chars());
    EXPECT_EQ(expected, got) << "width " << width;
  }
}

TEST(MemLineTable, CrOnlyTextIsScannedOnce) {
  // Half a million CR-only lines: a scan per line for the next LF would be
  // quadratic here.
  std::string text;
  for (int i = 0; i < 500000; ++i) text += "line\r";
  const TMemLayout l = layoutOf(text);
  ASSERT_EQ(500000u, l.Lines.size());
  EXPECT_EQ(5 * 499999, l.Lines.back().Start);
  EXPECT_EQ(4, l.Lines.back().Length);
}

}  // namespace

namespace {

// Every offset of random texts maps to a point and back, except the offset
// between the CR and LF of a line end; with and without wrapping.
TEST(MemLineTable, OffsetsRoundTripOnRandomTexts) {
  std::mt19937 rng(7);
  const char alphabet[] = {'x', 'y', '\t', '\r', '\n', ' '};
  for (int round = 0; round < 300; ++round) {
    std::string text;
    const int n = static_cast<int>(rng() % 60);
    for (int i = 0; i < n; ++i) text += alphabet[rng() % sizeof alphabet];
    for (int32_t width : {0, 1, 3, 8}) {
      const TMemLayout l = layoutOf(text, width);
      const int32_t size = static_cast<int32_t>(text.size());
      for (int32_t offset = 0; offset <= size; ++offset) {
        const bool insideCrLf = offset > 0 && offset < size && text[offset - 1] == '\r' && text[offset] == '\n';
        TTextPoint p;
        const bool mapped = MemOffsetToPoint(l.Lines, size, offset, p);
        const bool atOpenEnd = offset == size && size > 0 && text[size - 1] != '\r' && text[size - 1] != '\n';
        EXPECT_EQ(!insideCrLf, mapped || atOpenEnd) << "offset " << offset << " width " << width;
        if (!mapped) continue;
        int64_t back = -1;
        ASSERT_TRUE(MemPointToOffset(l.Lines, size, p, back)) << offset;
        EXPECT_EQ(offset, back) << "width " << width;
      }
    }
  }
}

}  // namespace
