#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ViewTestSupport.h"
#include "view/TabExpansion.h"

namespace {

// The line laid out as the view paints it: every character at its screen
// column, tabs as blanks.
std::string layOut(const std::string& line, int32_t tabSize) {
  std::string out;
  for (size_t i = 0; i < line.size(); ++i) {
    int32_t col = static_cast<int32_t>(i);
    CharToScreenColumn(line, col, tabSize);
    out.resize(static_cast<size_t>(col), ' ');
    if (line[i] != '\t') out += line[i];
  }
  int32_t end = static_cast<int32_t>(line.size());
  CharToScreenColumn(line, end, tabSize);
  out.resize(static_cast<size_t>(end), ' ');
  return out;
}

const std::vector<std::string> kTabLines = {
    "\tx",        "a\tx",          "abcdef\tx",   "abcdefg\tx",  "abcdefgh\tx",
    "\t\tx",      "ab\tcd\tef\tg", "\t",          "x\t\t\t",     "1234567890123456\tz",
    "a\tbcdefgh\ti\tj", "",          "no tabs at all",
};

TEST(TabExpansion, LayoutMatchesExpandWithStopsAt7Plus8k) {
  std::string stops = "7";
  for (int s = 15; s < 200; s += 8) stops += "," + std::to_string(s);
  std::string input, expected;
  for (const std::string& line : kTabLines) {
    input += line + "\n";
    expected += layOut(line, 8) + "\n";
  }
  bool ok;
  const std::string reference = RunFilter("expand -t " + stops, input, ok);
  if (!ok) GTEST_SKIP() << "expand is not available";
  EXPECT_EQ(expected, reference);
}

TEST(TabExpansion, ScreenColumnsOfTheRule) {
  struct Case {
    const char* line;
    int32_t col;
    int32_t tabSize;
    int32_t screen;
    bool inside;
  };
  const Case cases[] = {
      {"\tx", 1, 8, 7, true},          // a tab at column 0 reaches column 7
      {"a\tx", 2, 8, 7, true},
      {"abcdefg\tx", 8, 8, 15, true},  // a tab at column 7 reaches 15
      {"abcdef\tx", 7, 8, 7, true},    // a tab at column 6 is one column wide
      {"\tx", 1, 4, 3, true},
      {"ab", 5, 8, 5, false},          // beyond the line: one column per missing character
      {"\t", 3, 8, 9, false},
      {"\tx", 1, 0, 1, true},          // a tab size below 1 counts as 1
  };
  for (const Case& c : cases) {
    int32_t col = c.col;
    EXPECT_EQ(c.inside, CharToScreenColumn(c.line, col, c.tabSize)) << c.line;
    EXPECT_EQ(c.screen, col) << c.line << " col " << c.col;
  }
}

TEST(TabExpansion, ScreenToCharIsTheInverseInsideCells) {
  for (const std::string& line : kTabLines) {
    for (int32_t i = 0; i < static_cast<int32_t>(line.size()); ++i) {
      int32_t start = i, end = i + 1;
      CharToScreenColumn(line, start, 8);
      CharToScreenColumn(line, end, 8);
      for (int32_t s = start; s < end; ++s) {
        int32_t c = s;
        EXPECT_TRUE(ScreenToCharColumn(line, c, 8));
        EXPECT_EQ(i, c) << "line '" << line << "' screen " << s;
      }
    }
    int32_t beyond = static_cast<int32_t>(ScreenWidth(line, 8)) + 3;
    EXPECT_FALSE(ScreenToCharColumn(line, beyond, 8));
    EXPECT_EQ(static_cast<int32_t>(line.size()) + 3, beyond);
  }
}

}  // namespace
