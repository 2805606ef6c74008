// Painting of the view: line by line through the highlighter's runs, with
// the selection, the current line, bracket underlines, the gutter, the
// line-end mark, the frame, and the caret, which the view draws itself.
#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QStyleHints>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

#include "highlight/CustomHighlighter.h"
#include "platform/CodePage.h"
#include "util/DiagLog.h"
#include "view/CustomScrivel.h"
#include "view/TabExpansion.h"

namespace {

const std::array<QChar, 256>& paintCharTable() {
  static const std::array<QChar, 256> table = [] {
    std::array<QChar, 256> t;
    const TCodePage& cp = AnsiCodePage();
    for (int c = 0; c < 256; ++c) t[c] = QChar(cp.ToUnicode(static_cast<unsigned char>(c)));
    // Zero characters are painted as character 255.
    t[0] = t[255];
    return t;
  }();
  return table;
}

// Lines from this length on have their first tab remembered.
constexpr int32_t kLongLine = 1 << 16;

}  // namespace

// ---------------------------------------------------------------- painting

void TCustomScrivel::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  Paint(painter, event->region());
}

QImage TCustomScrivel::Render() {
  QImage image(viewport()->size(), QImage::Format_RGB32);
  image.fill(Qt::black);
  QPainter painter(&image);
  Paint(painter, QRegion(image.rect()));
  return image;
}

void TCustomScrivel::Paint(QPainter& painter, const QRegion& region) {
  BeginPaintLock();
  painter_ = &painter;
  const QColor background = qcolor(color_);
  try {
    if (highlighter_) {
      try {
        highlighter_->UpdateAttribs();
      } catch (...) {
        // The highlighter keeps its former attributes.
      }
    }
    TDrawLineInfo info;
    info.BaseColor = fontColor_;
    info.BaseBackground = color_;
    info.BaseStyle = ViewFontStyle();
    info.View = this;
    info.CharWidth = charWidth_;
    const bool curLineActive = curLineColor_ != color_ && SelectionEmpty();
    info.HasSelection = selStartPt_ != selEndPt_;
    TBookmarkLines bookmarkLines;
    if ((gutterFlags_ & gfShowBookmarks) && gutterWidth_ > 0 && GetBookmarkLines(&bookmarkLines))
      info.BookmarkLines = &bookmarkLines;
    int64_t topOffset;
    if (markers_ && PointToOffset({0, topLine_}, topOffset)) markers_->SetSearchHint(topOffset);
    if (highlighter_) {
      try {
        highlighter_->PaintInit(this, info);
      } catch (...) {
        const TLogSender sender = highlighterLogSender();
        LogException(&sender, "Highlighter.PaintInit");
      }
    }
    painter.setFont(paintFont_);
    const int64_t count = DisplayLineCount();
    int y = textRect_.top();
    int64_t line = topLine_;
    const int lh = std::max(lineHeight_, 1);
    for (; y <= textRect_.bottom(); y += lh, ++line) {
      const QRect lineRect(textRect_.left() - gutterWidth_, y, textRect_.width() + gutterWidth_, lh);
      if (!region.intersects(lineRect)) continue;
      info.Line = line;
      info.Left = lineRect.left();
      info.Top = y;
      info.Right = lineRect.right() + 1;
      info.Bottom = y + lh;
      info.CurrentLine = curLineActive && caretKeys_ && line == caret_.Line;
      painter.save();
      painter.setClipRect(lineRect.intersected(textRect_.adjusted(-gutterWidth_, 0, 0, 0)));
      try {
        if (line >= count) {
          painter.fillRect(lineRect, background);
          info.Text = nullptr;
          info.TextLength = 0;
          PaintGutter(info);
        } else {
          paintLine(painter, info, lineRect);
        }
      } catch (...) {
        const TLogSender sender = logSender();
        LogException(&sender, "View.PaintLine");
      }
      painter.restore();
      if (lineHeight_ <= 0) break;
    }
    // Below the last line and around the text rectangle.
    QRegion rest(viewport()->rect());
    rest -= QRect(textRect_.left() - gutterWidth_, textRect_.top(), textRect_.width() + gutterWidth_,
                  std::max(0, y - textRect_.top()));
    rest &= region;
    for (const QRect& r : rest) painter.fillRect(r, background);
    if (winFrame_) {
      TColor frame = winFrameColor_;
      if (frame == clDefault) frame = hasFocus() ? kFocusFrameColor : color_;
      painter.setPen(qcolor(frame));
      painter.setBrush(Qt::NoBrush);
      const QRect fr = textRect_.adjusted(-gutterWidth_ - 1, -1, 0, 0);
      painter.drawRect(fr);
    }
    // The caret, drawn by inverting its cell.
    if ((caretFlags_ & cfShown) && caretBlinkOn_ && caretPaintedRect_.isValid() &&
        region.intersects(caretPaintedRect_)) {
      painter.save();
      painter.setClipRect(textRect_);
      painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
      painter.fillRect(caretPaintedRect_, Qt::white);
      painter.restore();
    }
  } catch (...) {
    const TLogSender sender = logSender();
    LogException(&sender, "View.Paint");
  }
  painter_ = nullptr;
  EndPaintLock();
}

void TCustomScrivel::paintLine(QPainter& painter, TDrawLineInfo& info, const QRect& lineRect) {
  std::string scratch;
  std::string_view text;
  const QColor background = qcolor(info.CurrentLine ? curLineColor_ : color_);
  if (!GetDisplayLineView(info.Line, text, scratch)) {
    painter.fillRect(lineRect, qcolor(color_));
    info.Text = nullptr;
    info.TextLength = 0;
    PaintGutter(info);
    return;
  }
  // Cut the characters scrolled off to the left; a tab cut by the left edge
  // keeps the part of its width that remains.
  const int32_t n = static_cast<int32_t>(std::min<size_t>(text.size(), INT32_MAX));
  // Only the part up to the right edge is looked at, however long the line.
  const int32_t visibleCols = (textRect_.width() + gutterWidth_) / std::max(charWidth_, 1) + 1;
  const int64_t scanEnd = std::min<int64_t>(n, int64_t{leftCol_} + visibleCols);
  bool hasTabs;
  if (n >= kLongLine) {
    auto it = firstTabOfLongLines_.find(info.Line);
    if (it == firstTabOfLongLines_.end()) {
      const void* tab = std::memchr(text.data(), '\t', static_cast<size_t>(n));
      const int64_t first = tab ? static_cast<const char*>(tab) - text.data() : n;
      it = firstTabOfLongLines_.emplace(info.Line, first).first;
    }
    hasTabs = it->second < scanEnd;
  } else {
    hasTabs = std::memchr(text.data(), '\t', static_cast<size_t>(scanEnd)) != nullptr;
  }
  int32_t cut = 0;
  int64_t cutScreen = 0;  // screen column where the first displayed character starts
  if (!hasTabs) {
    cut = static_cast<int32_t>(std::min<int64_t>(leftCol_, n));
    cutScreen = cut;
  } else {
    int64_t d = 0;
    while (cut < n) {
      const int64_t next = text[cut] == '\t' ? ScreenColumnAfterTab(d, tabSize_) : d + 1;
      if (next > leftCol_) break;
      d = next;
      ++cut;
    }
    cutScreen = d;
  }
  info.CutChars = cut;
  info.HasTabs = hasTabs;
  info.TabSkipColumns = cut < n && cutScreen < leftCol_ ? static_cast<int32_t>(leftCol_ - cutScreen) : 0;
  info.FirstScreenCol = leftCol_;
  // Characters up to the visible column count, with their screen columns
  // relative to the left column.
  paintScreenCols_.clear();
  paintWidths_.clear();
  int64_t d = cutScreen;
  int32_t end = cut;
  while (end < n && d - leftCol_ < visibleCols) {
    const int64_t next = text[end] == '\t' ? ScreenColumnAfterTab(d, tabSize_) : d + 1;
    paintScreenCols_.push_back(static_cast<int32_t>(d - leftCol_));
    paintWidths_.push_back(static_cast<int32_t>(next - std::max<int64_t>(d, leftCol_)) * charWidth_);
    d = next;
    ++end;
  }
  paintScreenCols_.push_back(static_cast<int32_t>(d - leftCol_));  // end of the displayed text
  info.LineText = text;
  info.Text = text.data() + cut;
  info.TextLength = end - cut;
  info.Widths = hasTabs ? paintWidths_.data() : nullptr;

  painter.fillRect(lineRect, background);
  info.SelReachesLine = info.HasSelection && selectedColumns(info.Line, paintSelFrom_, paintSelTo_);
  if (!info.SelReachesLine) paintSelFrom_ = paintSelTo_ = 0;
  if (n == 0) {
    InitLinePaint(info);
    // Selected empty lines of a stream selection show: the end of this line
    // and the start of the next both inside the selection. (A column
    // selection covers only the columns of its rectangle, none here.)
    if (info.HasSelection && !columnSel_ && IsInSelection(0, info.Line) && IsInSelection(0, info.Line + 1))
      painter.fillRect(QRect(textRect_.left(), lineRect.top(), textRect_.width(), lineRect.height()),
                       qcolor(clHighlight));
  } else {
    PaintLineText(info);
  }
  PaintGutter(info);
  if (lineEndMark_ && end == n && d >= leftCol_ && d - leftCol_ < visibleCols) {
    painter.setPen(qcolor(clGrayText));
    const int x = textRect_.left() + static_cast<int>(d - leftCol_) * charWidth_;
    painter.drawText(QPointF(x, lineRect.top() + ascent_),
                     QString(paintCharTable()[static_cast<unsigned char>(lineEndMark_)]));
  }
  info.LineText = {};
  info.Text = nullptr;
}

void TCustomScrivel::InitLinePaint(TDrawLineInfo& info) {
  if (!highlighter_) return;
  try {
    highlighter_->LineInit(info);
  } catch (...) {
    const TLogSender sender = highlighterLogSender();
    LogException(&sender, "Highlighter.LineInit");
  }
}

int32_t TCustomScrivel::NextRunLength(TDrawLineInfo& info, int32_t column) {
  if (highlighter_) {
    try {
      return highlighter_->NextRun(info, column);
    } catch (...) {
      // A failing run paints with the view's colours.
    }
  }
  info.RunColor = info.BaseColor;
  info.RunBackground = info.BaseBackground;
  info.RunStyle = info.BaseStyle;
  info.CurStyle = 0;
  return 0;
}

bool TCustomScrivel::selectedColumns(int64_t line, int32_t& from, int32_t& to) const {
  if (line < selStartPt_.Line || line > selEndPt_.Line) return false;
  if (columnSel_) {
    from = std::min(selStartPt_.Col, selEndPt_.Col);
    to = std::max(selStartPt_.Col, selEndPt_.Col);
  } else {
    from = line == selStartPt_.Line ? selStartPt_.Col : 0;
    to = line == selEndPt_.Line ? selEndPt_.Col : INT32_MAX;  // INT32_MAX: past the end of the line
  }
  return from < to;
}

void TCustomScrivel::paintSegment(TDrawLineInfo& info, int32_t from, int32_t to, bool selected) {
  // from/to index the displayed text.
  if (from >= to) return;
  QPainter& p = *painter_;
  const int32_t x0 = textRect_.left() + std::max(paintScreenCols_[from], 0) * charWidth_;
  const int32_t x1 = textRect_.left() + paintScreenCols_[to] * charWidth_;
  const QRect cell(x0, info.Top, x1 - x0, info.Bottom - info.Top);
  QColor fg, bg;
  if (selected) {
    fg = qcolor(clHighlightText);
    bg = qcolor(clHighlight);
  } else {
    fg = qcolor(info.RunColor);
    bg = info.CurrentLine ? qcolor(curLineColor_) : qcolor(info.RunBackground);
  }
  p.fillRect(cell, bg);
  const auto& chars = paintCharTable();
  QString s;
  s.reserve(to - from);
  for (int32_t i = from; i < to; ++i) {
    const unsigned char c = static_cast<unsigned char>(info.Text[i]);
    if (c == '\t') {
      const int32_t cols = paintScreenCols_[i + 1] - std::max(paintScreenCols_[i], 0);
      s.append(QString(cols, QLatin1Char(' ')));
    } else {
      s.append(chars[c]);
    }
  }
  if (info.RunStyle != info.BaseStyle) {
    QFont f = paintFont_;
    f.setBold(info.RunStyle & fsBold);
    f.setItalic(info.RunStyle & fsItalic);
    f.setUnderline(info.RunStyle & fsUnderline);
    f.setStrikeOut(info.RunStyle & fsStrikeOut);
    p.setFont(f);
  } else {
    p.setFont(paintFont_);
  }
  p.setPen(fg);
  if (info.CurStyle & THiAttrib::kStyleDiffers) {
    p.save();
    p.setClipRect(cell, Qt::IntersectClip);
    p.drawText(QPointF(x0, info.Top + ascent_), s);
    p.restore();
  } else {
    p.drawText(QPointF(x0, info.Top + ascent_), s);
  }
}

void TCustomScrivel::PaintLineText(TDrawLineInfo& info) {
  InitLinePaint(info);
  const int32_t cut = info.CutChars;
  const int32_t n = info.TextLength;
  // The selected range in displayed-text indexes.
  int32_t selFrom = 0, selTo = 0;
  if (info.SelReachesLine) {
    selFrom = std::clamp<int64_t>(int64_t{paintSelFrom_} - cut, 0, n);
    selTo = std::clamp<int64_t>(int64_t{paintSelTo_} - cut, 0, n);
  }
  info.Resync = true;
  int32_t i = 0;
  while (i < n) {
    int32_t len = NextRunLength(info, cut + i);
    info.Resync = false;
    if (len <= 0 || len > n - i) len = n - i;
    const int32_t runEnd = i + len;
    // Split the run at the selection boundaries.
    int32_t a = i;
    while (a < runEnd) {
      bool selected;
      int32_t b;
      if (a < selFrom) {
        selected = false;
        b = std::min(runEnd, selFrom);
      } else if (a < selTo) {
        selected = true;
        b = std::min(runEnd, selTo);
      } else {
        selected = false;
        b = runEnd;
      }
      paintSegment(info, a, b, selected);
      a = b;
    }
    i = runEnd;
  }
  QPainter& p = *painter_;
  // A stream selection running on past the end of the line fills the rest.
  if (info.SelReachesLine && !columnSel_ && paintSelTo_ == INT32_MAX) {
    const int32_t xEnd = textRect_.left() + paintScreenCols_[n] * charWidth_;
    p.fillRect(QRect(xEnd, info.Top, textRect_.right() + 1 - xEnd, info.Bottom - info.Top), qcolor(clHighlight));
  }
  // Bracket underlines.
  for (const TTextPoint& mark : {info.BracketMark1, info.BracketMark2}) {
    if (mark.Line != info.Line || mark.Col < cut || mark.Col >= cut + n) continue;
    const int32_t k = mark.Col - cut;
    const int32_t x0 = textRect_.left() + std::max(paintScreenCols_[k], 0) * charWidth_;
    const int32_t x1 = textRect_.left() + paintScreenCols_[k + 1] * charWidth_;
    p.fillRect(QRect(x0, info.Bottom - 1, x1 - x0, 1), qcolor(kBracketMarkColor));
  }
}

void TCustomScrivel::PaintGutter(TDrawLineInfo& info) {
  if (gutterWidth_ <= 0 || !painter_) return;
  QPainter& p = *painter_;
  const QRect r(textRect_.left() - gutterWidth_, info.Top, gutterWidth_, info.Bottom - info.Top);
  p.fillRect(r, qcolor(gutterColor_));
  if (gutterColor_ == clBtnFace && gutterWidth_ >= 2) {
    p.fillRect(QRect(r.right() - 1, r.top(), 1, r.height()), qcolor(clBtnHighlight));
    p.fillRect(QRect(r.right(), r.top(), 1, r.height()), qcolor(clBtnShadow));
  }
  if ((gutterFlags_ & gfShowBookmarks) && info.BookmarkLines) {
    const auto& lines = *info.BookmarkLines;
    const bool marked = std::any_of(lines.begin(), lines.end(),
                                    [&](const auto& e) { return e.first == info.Line; });
    if (marked && r.height() > 2) {
      const int x = gutterWidth_ <= 2 ? r.left() : r.left() + 1;
      p.fillRect(QRect(x, r.top() + 1, 1, r.height() - 2), qcolor(clHighlight));
    }
  }
  if (OnDrawGutter) OnDrawGutter(this, p, r, info.Line);
}

// ---------------------------------------------------------------- caret

bool TCustomScrivel::caretCreatable() const { return hasFocus() || QApplication::focusWidget() == this; }

QRect TCustomScrivel::CaretRect() const { return caretPaintedRect_; }

void TCustomScrivel::logCaretTrace(const char* text) { LogLine(text); }

void TCustomScrivel::updateCaretRect() {
  const QRect old = caretPaintedRect_;
  caretPaintedRect_ = QRect();
  if (caretFlags_ & cfShown) {
    int x, y;
    if (PixelAtPoint(caret_, x, y)) {
      switch (caretStyle_) {
        case cstVertical: caretPaintedRect_ = QRect(x, y, 1, lineHeight_ - 1); break;
        case cstHorizontal: caretPaintedRect_ = QRect(x, y + lineHeight_ - 1, charWidth_, 1); break;
        case cstBox: caretPaintedRect_ = QRect(x, y, charWidth_, lineHeight_ - 1); break;
      }
    }
  }
  if (old != caretPaintedRect_) {
    if (old.isValid()) viewport()->update(old);
    if (caretPaintedRect_.isValid()) viewport()->update(caretPaintedRect_);
  }
}

void TCustomScrivel::ShowCaret(bool show, bool forced) {
  LogFmt("ShowCaret(%d,%d)", show ? 1 : 0, forced ? 1 : 0);
  if (caretFlags_ & cfDestroying) return;
  if (!forced && (!caretKeys_ || selecting_)) show = false;
  if (show) {
    if (!(caretFlags_ & cfCreated)) {
      logCaretTrace("... will create caret:");
      if (!caretCreatable()) {
        const QWidget* focus = QApplication::focusWidget();
        LogFmt("Not focused... Wnd=%x, Focus=%x", static_cast<uint32_t>(reinterpret_cast<uintptr_t>(this)),
               static_cast<uint32_t>(reinterpret_cast<uintptr_t>(focus)));
        return;
      }
      caretFlags_ |= cfCreated;
      const int flash = QGuiApplication::styleHints()->cursorFlashTime();
      if (flash > 0) caretTimer_.start(flash / 2);
    }
    int x, y;
    if (PixelAtPoint(caret_, x, y) && textRect_.contains(x, y) && viewport()->rect().contains(x, y)) {
      LogFmt("Setting CaretPos (%d,%d)", x, y);
      logCaretTrace("Showing caret...");
      caretFlags_ |= cfShown;
      caretBlinkOn_ = true;
    } else {
      logCaretTrace("Failed ColRowToMouse...");
      caretFlags_ &= static_cast<uint8_t>(~cfShown);
    }
  } else {
    if (caretFlags_ & cfShown) logCaretTrace("Hiding caret..");
    caretFlags_ &= static_cast<uint8_t>(~cfShown);
  }
  updateCaretRect();
}

void TCustomScrivel::destroyCaret() {
  caretTimer_.stop();
  caretFlags_ &= static_cast<uint8_t>(~(cfCreated | cfShown));
  updateCaretRect();
}

void TCustomScrivel::onCaretBlink() {
  caretBlinkOn_ = !caretBlinkOn_;
  if (caretPaintedRect_.isValid()) viewport()->update(caretPaintedRect_);
}

void TCustomScrivel::RefreshCaret() {
  if (caretKeys_) SetCaretPos(CaretPos());
}
