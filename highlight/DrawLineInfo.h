#pragma once
// The per-line paint record the view hands to its highlighter. The view owns
// it; a highlighter reads the line and writes the colours and style of the run
// it answers (THiAttrib::Apply), which the view then paints with.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Colors.h"
#include "view/TextPoint.h"

class THighlightedView;

// Font style bits.
enum : uint8_t {
  fsBold = 1,
  fsItalic = 2,
  fsUnderline = 4,
  fsStrikeOut = 8,
};

struct TDrawLineInfo {
  // Colours and style of the run being painted (the view's canvas state).
  TColor RunColor = clWindowText;
  TColor RunBackground = clWindow;
  uint8_t RunStyle = 0;
  // The view's own colours and font style, for runs without an attribute.
  TColor BaseColor = clWindowText;
  TColor BaseBackground = clWindow;
  uint8_t BaseStyle = 0;

  // Line rectangle in pixels; the left edge includes the gutter.
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  int64_t Line = 0;
  int32_t CutChars = 0;          // characters removed at the front by scrolling
  bool HasSelection = false;
  bool SelReachesLine = false;
  uint8_t CurStyle = 0;          // style number of the current run (THiAttrib)
  bool Resync = false;           // first run of the line
  bool HasTabs = false;
  int32_t TabSkipColumns = 0;    // columns of a tab cut by the left edge
  int32_t FirstScreenCol = 0;
  const int32_t* Widths = nullptr;
  const char* Text = nullptr;    // displayed text (after the cut)
  int32_t TextLength = 0;
  std::string_view LineText;     // the line as stored
  const std::vector<std::pair<int64_t, int32_t>>* BookmarkLines = nullptr;  // (line, id)
  int32_t CharWidth = 0;
  THighlightedView* View = nullptr;
  TTextPoint BracketMark1{-1, -1};
  TTextPoint BracketMark2{-1, -1};
  bool CurrentLine = false;
};
