#pragma once
// The display line table of a view over a byte block: one (start, length)
// entry per display line. The length is negative when the display line is
// not followed by a line end (a wrapped piece, or a last line without line
// end); its absolute value is the number of characters. A line ends at CR,
// LF or CR LF. A text that ends with a line end has no empty entry after it.
#include <cstdint>
#include <vector>

#include "view/TextPoint.h"

struct TMemLine {
  int32_t Start = 0;
  int32_t Length = 0;

  int32_t Chars() const { return Length < 0 ? -Length : Length; }
  bool FollowedByLineEnd() const { return Length >= 0; }
};

struct TMemLayout {
  std::vector<TMemLine> Lines;    // display lines
  std::vector<TMemLine> Logical;  // logical lines, only when wrapping
  int64_t Longest = 0;            // widest display line in screen columns
};

// Splits the block into display lines. widthLimit > 0 wraps lines at that
// many columns; 0 or below means no wrapping. Tabs count with the width the
// view paints them (TabExpansion.h), so every character of a piece but a
// tab's blanks lies inside the window, and Longest is the painted width.
// The previous capacity of `out.Lines` is reused.
void BuildMemLayout(const char* text, int32_t size, int32_t widthLimit, int32_t tabSize,
                    TMemLayout& out);

// Offset of the block → display point over a line table. An offset inside a
// line end fails; the text size maps to (entry count, 0) when the text ends
// with a line end.
bool MemOffsetToPoint(const std::vector<TMemLine>& lines, int32_t size, int64_t offset,
                      TTextPoint& point);
// Display point → offset. Columns past a line's end stop at its end; the line
// after the last maps (column 0 only) to the text size when the text ends with
// a line end.
bool MemPointToOffset(const std::vector<TMemLine>& lines, int32_t size, const TTextPoint& point,
                      int64_t& offset);
