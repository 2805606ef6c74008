// Where the user is in a view's text: the selection model (stream and column
// selections, anchor, caret), keyboard navigation in caret and scroll mode,
// word movement, and the mouse clicks that place the caret.
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <algorithm>

#include "view/CustomScrivel.h"

// ---------------------------------------------------------------- selection model

bool TCustomScrivel::SelectionEmpty() const {
  if (columnSel_) return selStartPt_ == selEndPt_;
  return selLength_ <= 0;
}

void TCustomScrivel::SetSelection(int64_t length, int64_t start) {
  bool anchorAtStart = true;
  if (length < 0) {
    start += length;
    length = -length;
    anchorAtStart = false;
  }
  if (start < 0) {
    length += start;
    start = 0;
  }
  if (!columnSel_ && start == selStart_ && length == selLength_ && anchorAtStart == anchorAtStart_) return;
  columnSel_ = false;
  anchorAtStart_ = anchorAtStart;
  SetSelectionByPoints(nullptr, nullptr, std::max<int64_t>(length, 0), start);
}

void TCustomScrivel::SetSelectionByPoints(const TTextPoint* start, const TTextPoint* end, int64_t length,
                                          int64_t startOffset) {
  TTextPoint s, e;
  if (start && end) {
    s = *start;
    e = *end;
    if (PointBefore(e, s)) std::swap(s, e);
    if (startOffset < 0 || length < 0) {
      int64_t so = 0, eo = 0;
      if (!PointToOffset(s, so)) so = 0;
      if (!PointToOffset(e, eo)) eo = so;
      startOffset = so;
      length = std::max<int64_t>(eo - so, 0);
    }
  } else {
    if (startOffset < 0 || length < 0) {
      startOffset = selStart_;
      length = selLength_;
    }
    if (!OffsetToPoint(startOffset, s)) s = {0, 0};
    if (length == 0) {
      e = s;
    } else if (!OffsetToPoint(startOffset + length, e)) {
      // A range ending inside a line end stops at that line's end.
      TTextPoint probe;
      if (OffsetToPoint(startOffset + length - 1, probe))
        e = {DisplayLineLength(probe.Line), probe.Line};
      else
        e = s;
    }
  }
  SetSelectionPoints(s, e, length, startOffset);
  anchorPt_ = anchorAtStart_ ? selStartPt_ : selEndPt_;
  SelectionChanged();
  Invalidate();
}

void TCustomScrivel::recomputeSelectionPoints() { SetSelectionByPoints(nullptr, nullptr); }

void TCustomScrivel::SetColumnSelection(int32_t startCol, int32_t endCol, int64_t startLine, int64_t endLine) {
  // The anchor is the given start; the stored points are the two corners in
  // text order, also for a selection made upwards or leftwards.
  const TTextPoint anchor{startCol, startLine};
  TTextPoint s = anchor;
  TTextPoint e{endCol, endLine};
  if (PointBefore(e, s)) std::swap(s, e);
  if (columnSel_ && selStartPt_ == s && selEndPt_ == e && anchorPt_ == anchor) return;
  columnSel_ = true;
  anchorAtStart_ = s == anchor;
  int64_t so = 0, eo = 0;
  if (!PointToOffset(s, so)) so = 0;
  if (!PointToOffset(e, eo)) eo = so;
  SetSelectionPoints(s, e, std::max<int64_t>(eo - so, 0), so);
  anchorPt_ = anchor;
  SelectionChanged();
  Invalidate();
}

void TCustomScrivel::SetAnchorSide(bool atStart) {
  anchorAtStart_ = atStart;
  anchorPt_ = atStart ? selStartPt_ : selEndPt_;
}

int64_t TCustomScrivel::CaretPos() {
  int64_t offset;
  return PointToOffset(caret_, offset) ? offset : -1;
}

void TCustomScrivel::SetCaretPos(int64_t offset) {
  TTextPoint p;
  if (OffsetToPoint(offset, p)) SetCaretPoint(p);
}

void TCustomScrivel::SetCaretPoint(TTextPoint point) {
  if (point.Col < 0) point.Col = caret_.Col;
  if (point.Line < 0) point.Line = caret_.Line;
  const int64_t count = DisplayLineCount();
  if (point.Line >= count && !(point.Line == count && point.Col == 0)) point = {0, count};
  const bool shown = caretFlags_ & cfShown;
  if (shown) ShowCaret(false);
  caret_ = point;
  if (shown || (caretKeys_ && hasFocus())) ShowCaret(true);
  if (curLineColor_ != color_) Invalidate();
  SelectionChanged();
}

void TCustomScrivel::SetCaretAndClearSel(int64_t offset) {
  SetSelection(0, offset);
  SetCaretPos(offset);
}

void TCustomScrivel::ExtendSelection(bool extend, int64_t offset) {
  if (extend) {
    int64_t anchor;
    if (!PointToOffset(anchorPt_, anchor)) anchor = offset;
    columnSel_ = false;
    if (offset < anchor) {
      anchorAtStart_ = false;
      SetSelectionByPoints(nullptr, nullptr, anchor - offset, offset);
    } else {
      anchorAtStart_ = true;
      SetSelectionByPoints(nullptr, nullptr, offset - anchor, anchor);
    }
  } else {
    columnSel_ = false;
    anchorAtStart_ = true;
    SetSelectionByPoints(nullptr, nullptr, 0, offset);
  }
  ScrollToSelection(false);
  TTextPoint p;
  if (OffsetToPoint(offset, p)) {
    SetCaretPoint(p);
    desiredCol_ = p.Col;
  } else {
    SelectionChanged();
  }
}

void TCustomScrivel::SelectAll() {
  const int32_t left = leftCol_;
  SetSelection(TextLength(), 0);
  leftCol_ = left;
}

void TCustomScrivel::ScrollToSelection(bool centre) {
  const bool anchorIsStart = anchorPt_ == selStartPt_;
  const TTextPoint moving = anchorIsStart ? selEndPt_ : selStartPt_;
  const TTextPoint anchor = anchorIsStart ? selStartPt_ : selEndPt_;
  auto visible = [&](const TTextPoint& p) {
    if (p.Line < topLine_ || p.Line >= topLine_ + std::max<int64_t>(VisibleLines(), 1)) return false;
    if (wordWrap_) return true;
    int32_t screen = p.Col;
    CharToScreenCol(screen, p.Line);
    return screen >= leftCol_ && screen < leftCol_ + std::max(VisibleColumns(), 1);
  };
  if (visible(moving) && (!centre || visible(anchor))) return;
  if (centre) ScrollToPoint(anchor, true);
  TTextPoint target = moving;
  if (selUnit_ == 3) target.Col = 0;
  ScrollToPoint(target, false);
}

bool TCustomScrivel::IsInSelection(int32_t column, int64_t line) const {
  if (SelectionEmpty()) return false;
  if (line < selStartPt_.Line || line > selEndPt_.Line) return false;
  if (columnSel_) {
    return column >= std::min(selStartPt_.Col, selEndPt_.Col) && column <= std::max(selStartPt_.Col, selEndPt_.Col);
  }
  if (line == selStartPt_.Line && column < selStartPt_.Col) return false;
  if (line == selEndPt_.Line && column > selEndPt_.Col) return false;
  return true;
}

// ---------------------------------------------------------------- words

const TLineCharTypes& TCustomScrivel::LineCharTypes(int64_t line) {
  if (line != charTypesLine_) {
    std::string text;
    if (!GetDisplayLine(line, text)) text.clear();
    charTypes_.Assign(text);
    charTypesLine_ = line;
  }
  return charTypes_;
}

bool TCustomScrivel::IsWordChar(int32_t column, int64_t line) { return LineCharTypes(line).IsWordAt(column); }

bool TCustomScrivel::IsBlankChar(int32_t column, int64_t line) {
  const TLineCharTypes& t = LineCharTypes(line);
  return column >= 0 && column < t.Length() && t.ClassAt(column) == ccOther;
}

namespace {
// Applies a column move of the line's classes to (offset, column).
template <class Move>
bool moveWord(const TLineCharTypes& types, int64_t& offset, int32_t& column, Move move) {
  int32_t c = column;
  if (!move(types, c)) return false;
  offset += c - column;
  column = c;
  return true;
}
}  // namespace

bool TCustomScrivel::WordStartBackward(int64_t& offset, int32_t& column, int64_t line) {
  return moveWord(LineCharTypes(line), offset, column,
                  [](const TLineCharTypes& t, int32_t& c) { return t.WordStartBackward(c); });
}
bool TCustomScrivel::WordEndBackward(int64_t& offset, int32_t& column, int64_t line) {
  return moveWord(LineCharTypes(line), offset, column,
                  [](const TLineCharTypes& t, int32_t& c) { return t.WordEndBackward(c); });
}
bool TCustomScrivel::WordStartForward(int64_t& offset, int32_t& column, int64_t line) {
  return moveWord(LineCharTypes(line), offset, column,
                  [](const TLineCharTypes& t, int32_t& c) { return t.WordStartForward(c); });
}
bool TCustomScrivel::WordEndForward(int64_t& offset, int32_t& column, int64_t line) {
  return moveWord(LineCharTypes(line), offset, column,
                  [](const TLineCharTypes& t, int32_t& c) { return t.WordEndForward(c); });
}

bool TCustomScrivel::FindWordAt(int64_t& offset, int32_t column, bool forward, int32_t& length, int64_t line) {
  const TLineCharTypes& t = LineCharTypes(line);
  int32_t start, len;
  if (t.WordAt(column, start, len)) {
    offset += start - column;
    length = len;
    return true;
  }
  if (!forward) return false;
  int32_t c = column;
  if (!t.WordStartBackward(c) || !t.WordAt(c, start, len)) return false;
  offset += start - column;
  length = len;
  return true;
}

void TCustomScrivel::SelectWord() {
  if (!SelectionEmpty() && !columnSel_) {
    TTextPoint s = selStartPt_, e = selEndPt_;
    int64_t so = selStart_, eo = selStart_ + selLength_;
    const TLineCharTypes& ts = LineCharTypes(s.Line);
    int32_t start, len;
    if (ts.WordAt(s.Col, start, len)) so -= s.Col - start;
    const TLineCharTypes& te = LineCharTypes(e.Line);
    if (e.Col > 0 && te.WordAt(e.Col - 1, start, len)) eo += start + len - e.Col;
    anchorAtStart_ = true;
    SetSelectionByPoints(nullptr, nullptr, eo - so, so);
  } else {
    int64_t offset = CaretPos();
    int32_t length;
    if (offset < 0 || !FindWordAt(offset, caret_.Col, false, length, caret_.Line)) return;
    anchorAtStart_ = true;
    SetSelectionByPoints(nullptr, nullptr, length, offset);
  }
  ScrollToSelection(false);
  SetCaretPoint(selEndPt_);
}

void TCustomScrivel::SelectLines(bool trim) {
  const bool empty = SelectionEmpty();
  const int64_t first = selStartPt_.Line;
  int64_t last = selEndPt_.Line;
  if (!empty && selEndPt_.Col == 0 && last > first) --last;
  int64_t from, to;
  if (!PointToOffset({0, first}, from)) return;
  const int64_t count = DisplayLineCount();
  if (last + 1 < count) {
    if (!PointToOffset({0, last + 1}, to)) return;
  } else if (!PointToOffset({DisplayLineLength(last), last}, to)) {
    to = TextLength();
  }
  if (trim && empty) {
    std::string text;
    GetDisplayLine(first, text);
    size_t a = 0, b = text.size();
    while (a < b && static_cast<unsigned char>(text[a]) < 33) ++a;
    while (b > a && static_cast<unsigned char>(text[b - 1]) < 33) --b;
    to = from + static_cast<int64_t>(b);
    from += static_cast<int64_t>(a);
  }
  anchorAtStart_ = true;
  columnSel_ = false;
  SetSelectionByPoints(nullptr, nullptr, to - from, from);
  ScrollToSelection(false);
  SetCaretPoint({DisplayLineLength(last), last});
  desiredCol_ = 10000;
}

std::string TCustomScrivel::WordAtCaret() {
  std::string text;
  if (!SelectionEmpty()) {
    GetSelText(text);
    return text;
  }
  const TLineCharTypes& t = LineCharTypes(caret_.Line);
  int32_t start, len;
  if (!t.WordAt(caret_.Col, start, len) && !(caret_.Col > 0 && t.WordAt(caret_.Col - 1, start, len)))
    return text;
  std::string line;
  GetDisplayLine(caret_.Line, line);
  return line.substr(static_cast<size_t>(start), static_cast<size_t>(len));
}

// ---------------------------------------------------------------- caret moves

int64_t TCustomScrivel::lineStartOffset(int64_t line) {
  int64_t offset;
  return PointToOffset({0, line}, offset) ? offset : -1;
}

int64_t TCustomScrivel::lineEndOffset(int64_t line) {
  int64_t offset;
  return PointToOffset({DisplayLineLength(line), line}, offset) ? offset : -1;
}

bool TCustomScrivel::MoveCaretLines(int64_t delta, bool extend) {
  const int64_t count = DisplayLineCount();
  int64_t line = caret_.Line + delta;
  int32_t col = desiredCol_ >= 0 ? desiredCol_ : caret_.Col;
  if (line >= count) {
    line = count;
    col = 0;
  }
  if (line < 0) line = 0;
  if (line < count) col = std::min(col, DisplayLineLength(line));
  TTextPoint target{col, line};
  int64_t offset;
  if (!PointToOffset(target, offset)) {
    offset = TextLength();
    if (!OffsetToPoint(offset, target)) return false;
  }
  if (extend) {
    int64_t anchor;
    if (!PointToOffset(anchorPt_, anchor)) anchor = selStart_;
    columnSel_ = false;
    anchorAtStart_ = anchor <= offset;
    SetSelectionByPoints(nullptr, nullptr, std::abs(offset - anchor), std::min(anchor, offset));
  } else {
    columnSel_ = false;
    anchorAtStart_ = true;
    SetSelectionByPoints(nullptr, nullptr, 0, offset);
  }
  ScrollToSelection(false);
  const int32_t keep = desiredCol_ >= 0 ? desiredCol_ : caret_.Col;
  SetCaretPoint(target);
  desiredCol_ = keep;
  return true;
}

bool TCustomScrivel::wrapsIntoNextLine(int64_t line) {
  if (line < 0 || line + 1 >= DisplayLineCount()) return false;
  const int64_t end = lineEndOffset(line);
  return end >= 0 && end == lineStartOffset(line + 1);
}

void TCustomScrivel::moveCaretHorizontally(uint16_t key, TShiftState shift) {
  const bool ext = shift & ssShift;
  const bool ctrl = shift & ssCtrl;
  const int64_t count = DisplayLineCount();
  TTextPoint c = caret_;
  // A wrap point is both the end of one display line and the start of the
  // next: the move goes on from the side it leaves by.
  if (key == VK_LEFT && c.Col == 0 && wrapsIntoNextLine(c.Line - 1))
    c = {DisplayLineLength(c.Line - 1), c.Line - 1};
  else if (key == VK_RIGHT && c.Line < count && c.Col >= DisplayLineLength(c.Line) && wrapsIntoNextLine(c.Line))
    c = {0, c.Line + 1};
  int64_t target = -1;
  if (key == VK_LEFT) {
    if (!ctrl) {
      if (c.Col > 0) {
        PointToOffset({c.Col - 1, c.Line}, target);
      } else if (c.Line > 0) {
        target = lineEndOffset(c.Line - 1);
      } else {
        target = 0;
      }
    } else {
      if (c.Col == 0) {
        target = c.Line > 0 ? lineEndOffset(c.Line - 1) : 0;
      } else {
        const TLineCharTypes& t = LineCharTypes(c.Line);
        int32_t col = std::min(c.Col, t.Length()) - 1;
        if (SelectionEmpty())
          while (col > 0 && t.ClassAt(col) == ccOther) --col;
        if (t.IsWordAt(col)) {
          while (col > 0 && t.IsWordAt(col - 1)) --col;
        } else if (!t.WordEndBackward(col)) {
          col = 0;
        }
        PointToOffset({col, c.Line}, target);
      }
    }
  } else {  // VK_RIGHT
    const int32_t len = c.Line < count ? DisplayLineLength(c.Line) : 0;
    if (c.Line >= count) {
      target = TextLength();
    } else if (c.Col >= len) {
      target = c.Line + 1 < count ? lineStartOffset(c.Line + 1) : TextLength();
      if (target < 0) target = TextLength();
    } else if (!ctrl) {
      PointToOffset({c.Col + 1, c.Line}, target);
    } else {
      const TLineCharTypes& t = LineCharTypes(c.Line);
      int32_t col = c.Col;
      if (t.IsWordAt(col)) {
        t.WordEndForward(col);
        if (SelectionEmpty() && !ext)
          while (col < t.Length() && t.ClassAt(col) == ccOther) ++col;
      } else if (!t.WordStartForward(col)) {
        col = t.Length();
      }
      PointToOffset({col, c.Line}, target);
    }
  }
  if (target < 0) return;
  ExtendSelection(ext, std::min(target, TextLength()));
  desiredCol_ = -1;
}

void TCustomScrivel::CaretModeKey(uint16_t& key, TShiftState shift) {
  const bool ext = shift & ssShift;
  const bool ctrl = shift & ssCtrl;
  if (shift & ssAlt) return;
  const bool empty = SelectionEmpty();
  if (!empty && !ext) {
    if (key == VK_LEFT || key == VK_UP) {
      const int64_t s = selStart_;
      ExtendSelection(false, s);
      desiredCol_ = -1;
      key = 0;
      return;
    }
    if ((key == VK_RIGHT || key == VK_DOWN) && !ctrl) {
      const int64_t e = selStart_ + selLength_;
      ExtendSelection(false, e);
      desiredCol_ = -1;
      key = 0;
      return;
    }
  }
  switch (key) {
    case VK_PRIOR:
    case VK_NEXT: {
      const int64_t page = PageLines();
      if (ctrl) {
        const int64_t line = key == VK_PRIOR ? topLine_ : std::max<int64_t>(BottomLine() - 1, topLine_);
        MoveCaretLines(line - caret_.Line, ext);
      } else {
        VScroll(key == VK_PRIOR ? SB_PAGEUP : SB_PAGEDOWN);
        MoveCaretLines(key == VK_PRIOR ? -page : page, ext);
      }
      break;
    }
    case VK_HOME: {
      const int64_t target = ctrl ? 0 : lineStartOffset(caret_.Line);
      if (target >= 0) ExtendSelection(ext, target);
      desiredCol_ = -1;
      break;
    }
    case VK_END: {
      const int64_t line = caret_.Line;
      int64_t target;
      if (ctrl) {
        target = TextLength();
      } else {
        target = lineEndOffset(caret_.Line);
        if (ext && caret_.Col >= DisplayLineLength(caret_.Line) && caret_.Line < DisplayLineCount()) {
          // Shift+End at the end of a line takes in the line end.
          const int64_t next = lineStartOffset(caret_.Line + 1);
          target = next >= 0 ? std::min(next, TextLength()) : TextLength();
        }
        if (target < 0) target = TextLength();
      }
      ExtendSelection(ext, target);
      // The end of a wrapped display line is also the start of the next one:
      // the caret stays on its own line.
      if (!ctrl && caret_ == TTextPoint{0, line + 1} && wrapsIntoNextLine(line))
        SetCaretPoint({DisplayLineLength(line), line});
      desiredCol_ = -1;
      break;
    }
    case VK_LEFT:
    case VK_RIGHT: moveCaretHorizontally(key, shift); break;
    case VK_UP:
    case VK_DOWN:
      if (ctrl)
        ScrollBy(0, key == VK_UP ? -1 : 1);
      else
        MoveCaretLines(key == VK_UP ? -1 : 1, ext);
      break;
    default:
      if (ctrl && key >= '0' && key <= '9') {
        const int32_t id = key - '0' + 1;
        if (ext) {
          SetMarker(id, static_cast<int32_t>(std::min<int64_t>(selLength_, INT32_MAX)), selStart_);
        } else {
          int64_t offset = -1;
          int32_t value = 0;
          if (!markers_ || !markers_->GetMarker(id, offset, value)) {
            key = 0;
            return;
          }
          anchorAtStart_ = true;
          columnSel_ = false;
          SetSelectionByPoints(nullptr, nullptr, std::max(value, 0), offset);
          ScrollToSelection(true);
          SetCaretPos(offset + std::max(value, 0));
        }
        break;
      }
      return;
  }
  key = 0;
}

void TCustomScrivel::ScrollModeKey(uint16_t& key, TShiftState shift) {
  if (shift & (ssShift | ssAlt)) return;
  const bool ctrl = shift & ssCtrl;
  switch (key) {
    case VK_PRIOR: if (vbarShown_) VScroll(SB_PAGEUP); break;
    case VK_NEXT: if (vbarShown_) VScroll(SB_PAGEDOWN); break;
    case VK_HOME: if (vbarShown_) VScroll(SB_TOP); break;
    case VK_END: if (vbarShown_) VScroll(SB_BOTTOM); break;
    case VK_UP: if (vbarShown_) VScroll(SB_LINEUP); break;
    case VK_DOWN: if (vbarShown_) VScroll(SB_LINEDOWN); break;
    case VK_LEFT:
    case VK_RIGHT:
      if (hbarShown_ && !wordWrap_) {
        const int64_t step = ctrl ? 8 : 1;
        ScrollBy(key == VK_LEFT ? -step : step, 0);
      }
      break;
    default: return;
  }
  key = 0;
}

void TCustomScrivel::KeyDown(uint16_t& key, TShiftState shift) {
  if (caretKeys_)
    CaretModeKey(key, shift);
  else
    ScrollModeKey(key, shift);
  if (!key) return;
  const bool ctrl = shift & ssCtrl;
  const bool sh = shift & ssShift;
  const bool alt = shift & ssAlt;
  if (alt) return;
  if ((ctrl && !sh && key == 'C') || (ctrl && !sh && key == VK_INSERT)) {
    CopyToClipboard();
  } else if ((ctrl && !sh && key == 'V') || (sh && !ctrl && key == VK_INSERT)) {
    PasteFromClipboard();
  } else if ((ctrl && !sh && key == 'X') || (sh && !ctrl && key == VK_DELETE)) {
    Cut();
  } else if (ctrl && !sh && key == 'A') {
    const int64_t top = topLine_;
    SelectAll();
    SetTopLine(top);
  } else if (key == VK_DELETE && !sh && !SelectionEmpty()) {
    DeleteSelection();
  } else {
    return;
  }
  key = 0;
}

void TCustomScrivel::keyPressEvent(QKeyEvent* event) {
  const uint16_t vk = VirtualKeyOf(*event);
  uint16_t key = vk;
  if (key) KeyDown(key, ShiftStateOf(*event));
  if (vk != 0 && key == 0) {
    event->accept();
    return;
  }
  // Keys the view leaves go to the parent; the scroll area's own arrow-key
  // scrolling would bypass the view's modes.
  QWidget::keyPressEvent(event);
}

// ---------------------------------------------------------------- gutter and mouse

void TCustomScrivel::GutterClick(Qt::MouseButton button, TShiftState shift, int32_t column, int64_t line) {
  if (OnGutterClick) OnGutterClick(this, button, shift, column, line);
  if (button != Qt::LeftButton || (shift & (ssShift | ssCtrl | ssAlt))) return;
  if (!(gutterFlags_ & gfLineSelect) || line < 0 || line >= DisplayLineCount()) return;
  const int64_t start = lineStartOffset(line);
  if (start < 0) return;
  anchorAtStart_ = false;
  columnSel_ = false;
  SetSelectionByPoints(nullptr, nullptr, DisplayLineLength(line), start);
  selUnit_ = 3;
  ScrollToSelection(false);
  SetCaretPoint({0, line});
  selecting_ = true;
}

void TCustomScrivel::mousePressEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  const TShiftState shift = ShiftStateFromQt(event->modifiers().toInt(), event->buttons().toInt());
  if (isEnabled() && !hasFocus()) setFocus(Qt::MouseFocusReason);
  if (pos.x() < textRect_.left() && pos.x() >= textRect_.left() - gutterWidth_) {
    if (lineHeight_ > 0 && pos.y() >= textRect_.top()) {
      const int64_t line = (pos.y() - textRect_.top()) / lineHeight_ + topLine_;
      if (line < DisplayLineCount()) GutterClick(event->button(), shift, 0, line);
    }
    return;
  }
  TTextPoint point;
  const bool mapped = PointAtPixel(pos.x(), pos.y(), point);
  int64_t offset = -1;
  if (mapped && PointToOffset(point, offset)) OffsetToPoint(offset, point);
  lastDownPoint_ = point;
  lastDownOffset_ = offset;
  const bool selects = event->button() == Qt::LeftButton || (event->button() == Qt::RightButton && rightSelect_);
  if (!selects || offset < 0) return;
  selUnit_ = 1;
  ExtendSelection(shift & ssShift, offset);
  selecting_ = true;
  ShowCaret(false);
}

void TCustomScrivel::mouseMoveEvent(QMouseEvent* event) {
  if (!selecting_) return;
  const QPoint pos = event->position().toPoint();
  TTextPoint point;
  if (!PointAtPixel(pos.x(), pos.y(), point)) return;
  const int64_t count = DisplayLineCount();
  if (point.Line < count) point.Col = std::min(point.Col, DisplayLineLength(point.Line));
  int64_t offset;
  if (selUnit_ == 3) {
    // Whole lines from the anchor's line to the line under the mouse.
    const int64_t anchorLine = anchorPt_.Line;
    const int64_t first = std::min(anchorLine, point.Line);
    const int64_t last = std::max(anchorLine, point.Line);
    const int64_t from = lineStartOffset(first);
    int64_t to = last + 1 < count ? lineStartOffset(last + 1) : TextLength();
    if (from < 0 || to < 0) return;
    anchorAtStart_ = point.Line >= anchorLine;
    SetSelectionByPoints(nullptr, nullptr, to - from, from);
    ScrollToSelection(false);
    return;
  }
  if (!PointToOffset(point, offset)) return;
  ExtendSelection(true, offset);
}

void TCustomScrivel::mouseReleaseEvent(QMouseEvent*) {
  selecting_ = false;
  ShowCaret(true);
}

void TCustomScrivel::wheelEvent(QWheelEvent* event) {
  const int delta = event->angleDelta().y();
  if (delta == 0) {
    QAbstractScrollArea::wheelEvent(event);
    return;
  }
  const bool down = delta < 0;
  const Qt::KeyboardModifiers mods = event->modifiers();
  if (mods & Qt::ControlModifier) {
    VScroll(down ? SB_PAGEDOWN : SB_PAGEUP);
  } else if (mods == Qt::ShiftModifier) {
    ScrollBy(0, down ? 1 : -1);
  } else {
    const int lines = std::max(QApplication::wheelScrollLines(), 1);
    ScrollBy(0, down ? lines : -lines);
  }
  event->accept();
}
