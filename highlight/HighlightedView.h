#pragma once
// What a highlighter needs from the text view it colours. The view
// implements it; keeping it here lets the highlighters work without the
// window toolkit.
#include <cstdint>
#include <string>

#include "platform/Colors.h"
#include "view/TextPoint.h"

class TBookmarkList;
class TCustomHighlighter;

class THighlightedView {
public:
  virtual TColor ViewFontColor() const = 0;
  virtual TColor ViewColor() const = 0;
  virtual uint8_t ViewFontStyle() const = 0;
  // The view now uses this highlighter (none = drop `former` if it is the one in use).
  virtual void UseHighlighter(TCustomHighlighter* highlighter, TCustomHighlighter* former) = 0;
  // Bracket marks are shown only without a selection and with the focus.
  virtual bool ShowsBracketMarks() const = 0;
  virtual bool ViewOffsetToPoint(int64_t offset, TTextPoint& point) = 0;
  virtual void InvalidateOffsetLine(int64_t offset) = 0;
  // The marker list highlighters record their analysis in.
  virtual TBookmarkList* ViewMarkers() = 0;

protected:
  ~THighlightedView() = default;
};
