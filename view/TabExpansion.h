#pragma once
// Tab expansion of the views. The character after a tab that starts at
// screen column c starts at ((c + 1) div tabSize + 1) × tabSize − 1, so with
// tab size 8 a tab at column 0 reaches column 7 and one at column 7 reaches
// 15: stops at 7, 15, 23 ... This layout is the views' own and is kept on
// purpose; stored column positions and the painted text depend on it.
#include <cstdint>
#include <string_view>

// A tab size below 1 counts as 1.
constexpr int32_t SanitizeTabSize(int32_t tabSize) { return tabSize < 1 ? 1 : tabSize; }

// The screen column after a tab that starts at screen column c.
constexpr int64_t ScreenColumnAfterTab(int64_t c, int32_t tabSize) {
  const int64_t t = SanitizeTabSize(tabSize);
  return ((c + 1) / t + 1) * t - 1;
}

// Screen column of character column `col` of the line. A column beyond the
// line is extended by one screen column per missing character, and the
// answer is false.
bool CharToScreenColumn(std::string_view line, int32_t& col, int32_t tabSize);

// Character column whose screen cell range holds screen column `col` (the
// first character whose cells go beyond it). A screen column beyond the line
// gives the line length plus the missing columns, and the answer is false.
bool ScreenToCharColumn(std::string_view line, int32_t& col, int32_t tabSize);

// Screen width of the whole line.
int64_t ScreenWidth(std::string_view line, int32_t tabSize);
