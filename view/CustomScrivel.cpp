#include "view/CustomScrivel.h"

#include <QApplication>
#include <QClipboard>
#include <QFocusEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScrollBar>

#include <algorithm>
#include <climits>
#include <cstring>

#include "highlight/CustomHighlighter.h"
#include "platform/Exceptions.h"
#include "platform/QtText.h"
#include "platform/Streams.h"
#include "platform/StringList.h"
#include "util/DiagLog.h"
#include "view/GutterOptions.h"
#include "view/ScrollFactor.h"
#include "view/TabExpansion.h"
#include "view/ViewStrings.h"
#include "view/ViewTextPos.h"

namespace {

const char kDefaultFontName[] = "Courier New";

// base + delta limited to lo..hi, without overflow for deltas of any size.
int64_t clampedSum(int64_t base, int64_t delta, int64_t lo, int64_t hi) {
  if (delta >= 0) return delta >= hi - base ? hi : std::max(base + delta, lo);
  return delta <= lo - base ? lo : std::min(base + delta, hi);
}

// The Unicode character of every byte of the ANSI code page, for painting.
QFont defaultViewFont() {
  QFont font(kDefaultFontName);
  QFontInfo info(font);
  if (info.family() == kDefaultFontName && info.fixedPitch()) return font;
  // The named font is absent: the system's fixed-pitch font stands in.
  return QFontDatabase::systemFont(QFontDatabase::FixedFont);
}

}  // namespace

TCustomScrivel::TCustomScrivel(QWidget* parent)
    : QAbstractScrollArea(parent),
      gutter_(std::make_unique<TGutterOptions>(this)),
      markers_(new TBookmarkList(this)) {
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setAutoFillBackground(false);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, &TCustomScrivel::onVScrollAction);
  connect(horizontalScrollBar(), &QScrollBar::actionTriggered, this, &TCustomScrivel::onHScrollAction);
  connect(&caretTimer_, &QTimer::timeout, this, &TCustomScrivel::onCaretBlink);
  setFont(defaultViewFont());
  UpdateMetrics();
}

TCustomScrivel::~TCustomScrivel() {
  caretFlags_ |= cfDestroying;
  caretTimer_.stop();
  if (highlighter_) SetHighlighter(nullptr);
  if (TViewStrings* adapter = strings_) {
    strings_ = nullptr;
    adapter->ForgetView();
    delete adapter;
  }
  gutter_->DetachView();
  if (ownsMarkers_) delete markers_;
}

TLogSender TCustomScrivel::logSender() const {
  static const std::string className = "TCustomScrivel";
  thread_local std::string name;
  name = objectName().toStdString();
  return TLogSender{name, className};
}

TLogSender TCustomScrivel::highlighterLogSender() const {
  static const std::string className = "TCustomHighlighter";
  thread_local std::string name;
  name = highlighter_ ? highlighter_->HighlighterName() : std::string();
  return TLogSender{name, className};
}

// ---------------------------------------------------------------- properties

QColor TCustomScrivel::qcolor(TColor c) const {
  QColor q = ColorToQColor(c, palette());
  if (!q.isValid()) q = ColorToQColor(c == clDefault ? color_ : clWindow, palette());
  return q;
}

void TCustomScrivel::SetColor(TColor value) {
  if (curLineFollowsColor_) curLineColor_ = value;
  if (gutterFollowsColor_) gutterColor_ = value;
  color_ = value;
  Invalidate();
}

void TCustomScrivel::SetFontColor(TColor value) {
  fontColor_ = value;
  Invalidate();
}

void TCustomScrivel::SetCurLineColor(TColor value) {
  curLineColor_ = value;
  curLineFollowsColor_ = value == color_;
  Invalidate();
}

void TCustomScrivel::SetBorderStyle(TBorderStyle value) {
  borderStyle_ = value;
  setFrameStyle(value == bsSingle ? (QFrame::StyledPanel | QFrame::Sunken) : QFrame::NoFrame);
  UpdateTextRect();
}

void TCustomScrivel::SetScrollbars(TScrollStyle value) {
  scrollbars_ = value;
  UpdateScrollBars();
}

void TCustomScrivel::SetHideScrollbars(bool value) {
  hideScrollbars_ = value;
  UpdateScrollBars();
}

void TCustomScrivel::SetTabSize(int32_t value) {
  tabSize_ = SanitizeTabSize(value);
  Reformat();
}

void TCustomScrivel::SetCaretStyle(TCaretStyle value) {
  if (value == caretStyle_) return;
  const bool shown = caretFlags_ & cfShown;
  destroyCaret();
  caretStyle_ = value;
  if (shown) ShowCaret(true);
}

void TCustomScrivel::SetGutter(const TGutterOptions& value) { gutter_->Assign(value); }

void TCustomScrivel::SetWinFrame(bool value) {
  if (winFrame_ == value) return;
  winFrame_ = value;
  UpdateTextRect();
  Invalidate();
}

void TCustomScrivel::SetWinFrameColor(TColor value) {
  winFrameColor_ = value;
  Invalidate();
}

void TCustomScrivel::SetWordWrap(bool value) {
  if (wordWrap_ == value) return;
  wordWrap_ = value;
  if (wordWrap_) leftCol_ = 0;
  Reformat();
}

void TCustomScrivel::SetCaretKeys(bool value) {
  if (caretKeys_ == value) return;
  caretKeys_ = value;
  ShowCaret(value);
}

uint8_t TCustomScrivel::ViewFontStyle() const {
  const QFont& f = font();
  return static_cast<uint8_t>((f.bold() ? fsBold : 0) | (f.italic() ? fsItalic : 0) |
                              (f.underline() ? fsUnderline : 0) | (f.strikeOut() ? fsStrikeOut : 0));
}

// ---------------------------------------------------------------- metrics

void TCustomScrivel::UpdateMetrics() {
  QFontMetrics fm(font());
  charWidth_ = (fm.horizontalAdvance(QStringLiteral("xXyY")) + 3) / 4;
  lineHeight_ = fm.height();
  ascent_ = fm.ascent();
  // The glyphs' own advance is rarely a whole number of pixels: spacing
  // makes every character take exactly one cell, so that text drawn a run at
  // a time stays on the cell grid of the selection, the caret and the mouse.
  paintFont_ = font();
  const qreal advance = QFontMetricsF(font()).horizontalAdvance(QLatin1Char('x'));
  paintFont_.setLetterSpacing(QFont::AbsoluteSpacing, charWidth_ - advance);
  textRect_ = QRect();  // forces the recomputation to count as a change
  UpdateTextRect();
}

void TCustomScrivel::UpdateTextRect() {
  QRect r = viewport()->rect();
  if (winFrame_) r.adjust(1, 1, -1, -1);
  r.setLeft(r.left() + gutterWidth_);
  if (r == textRect_) return;
  textRect_ = r;
  if (wordWrap_) {
    Reformat();
  } else {
    UpdateScrollBars();
    Invalidate();
  }
}

int64_t TCustomScrivel::VisibleLines() const {
  if (lineHeight_ <= 0 || textRect_.height() <= 0) return 0;
  return textRect_.height() / lineHeight_;
}

int32_t TCustomScrivel::VisibleColumns() const {
  if (charWidth_ <= 0 || textRect_.width() <= 0) return 0;
  return textRect_.width() / charWidth_;
}

int64_t TCustomScrivel::PageLines() const {
  if (lineHeight_ <= 0) return kDefaultPageLines;
  return std::max<int64_t>(VisibleLines(), 1);
}

void TCustomScrivel::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateTextRect();
  updateCaretRect();
}

void TCustomScrivel::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    // Metrics, then a new layout (word wrap) or new scroll ranges.
    UpdateMetrics();
    if (wordWrap_)
      Reformat();
    else
      UpdateScrollBars();
    Invalidate();
    RefreshCaret();
  } else if (event->type() == QEvent::PaletteChange) {
    Invalidate();
  }
}

// ---------------------------------------------------------------- scroll bars

// Setting a policy lays the scroll area out again, even an unchanged one.
void TCustomScrivel::setBarShown(Qt::Orientation orientation, bool shown) {
  const Qt::ScrollBarPolicy policy = shown ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff;
  if (orientation == Qt::Vertical) {
    vbarShown_ = shown;
    if (verticalScrollBarPolicy() != policy) setVerticalScrollBarPolicy(policy);
  } else {
    hbarShown_ = shown;
    if (horizontalScrollBarPolicy() != policy) setHorizontalScrollBarPolicy(policy);
  }
}

int64_t TCustomScrivel::fitBar(Qt::Orientation orientation, int64_t range, int64_t page, int64_t position) {
  const TScrollBarFit fit = FitScrollBar(range, page, position);
  QScrollBar* bar = orientation == Qt::Vertical ? verticalScrollBar() : horizontalScrollBar();
  const QSignalBlocker block(bar);
  bar->setRange(0, std::max(0, fit.Range - fit.Page));
  bar->setPageStep(fit.Page);
  bar->setSingleStep(1);
  bar->setValue(fit.Position);
  // A bar that is not needed is hidden, or shown disabled without HideScrollbars.
  const bool needed = page == 0 || range > page;
  setBarShown(orientation, needed || !hideScrollbars_);
  bar->setEnabled(needed);
  return fit.Factor;
}

void TCustomScrivel::UpdateScrollBars() {
  if (paintLock_ > 0) {
    scrollBarsPending_ = true;
    return;
  }
  if (updatingScrollBars_) return;  // showing a bar resizes the viewport, which lands here again
  updatingScrollBars_ = true;
  scrollBarsPending_ = false;
  // A bar shown or hidden on the way changes the page: then a second pass.
  for (int pass = 0; pass < 2; ++pass) {
    const QRect before = textRect_;
    if (scrollbars_ == ssVertical || scrollbars_ == ssBoth)
      vFactor_ = fitBar(Qt::Vertical, DisplayLineCount(), lineHeight_ > 0 ? VisibleLines() : 1, topLine_);
    else if (vbarShown_)
      setBarShown(Qt::Vertical, false);
    if ((scrollbars_ == ssHorizontal || scrollbars_ == ssBoth) && !wordWrap_)
      hFactor_ = fitBar(Qt::Horizontal, longestLine_, charWidth_ > 0 ? VisibleColumns() : 1, leftCol_);
    else if (hbarShown_)
      setBarShown(Qt::Horizontal, false);
    if (textRect_ == before) break;
  }
  updatingScrollBars_ = false;
}

bool TCustomScrivel::showVerticalBarForWrap() {
  if (!wordWrap_ || !hideScrollbars_ || vbarShown_) return false;
  if (scrollbars_ != ssVertical && scrollbars_ != ssBoth) return false;
  if (DisplayLineCount() <= VisibleLines()) return false;
  setBarShown(Qt::Vertical, true);
  const QRect before = textRect_;
  QRect r = viewport()->rect();
  if (winFrame_) r.adjust(1, 1, -1, -1);
  r.setLeft(r.left() + gutterWidth_);
  textRect_ = r;
  return textRect_ != before;
}

void TCustomScrivel::scrollContentsBy(int, int) {
  // Scroll bar values are set by the view itself; moves go through VScroll/HScroll.
}

void TCustomScrivel::onVScrollAction(int action) {
  QScrollBar* bar = verticalScrollBar();
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: VScroll(SB_LINEDOWN); break;
    case QAbstractSlider::SliderSingleStepSub: VScroll(SB_LINEUP); break;
    case QAbstractSlider::SliderPageStepAdd: VScroll(SB_PAGEDOWN); break;
    case QAbstractSlider::SliderPageStepSub: VScroll(SB_PAGEUP); break;
    case QAbstractSlider::SliderToMinimum: VScroll(SB_TOP); break;
    case QAbstractSlider::SliderToMaximum: VScroll(SB_BOTTOM); break;
    case QAbstractSlider::SliderMove:
      // A thumb at the end of its track shows the last page whatever the factor rounding.
      if (bar->sliderPosition() >= bar->maximum() && bar->maximum() > 0)
        VScroll(SB_BOTTOM);
      else
        VScroll(SB_THUMBTRACK, bar->sliderPosition());
      break;
    default: break;
  }
  const int64_t f = std::max<int64_t>(vFactor_, 1);
  bar->setSliderPosition(static_cast<int>(topLine_ / f));
}

void TCustomScrivel::onHScrollAction(int action) {
  QScrollBar* bar = horizontalScrollBar();
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: HScroll(SB_LINEDOWN); break;
    case QAbstractSlider::SliderSingleStepSub: HScroll(SB_LINEUP); break;
    case QAbstractSlider::SliderPageStepAdd: HScroll(SB_PAGEDOWN); break;
    case QAbstractSlider::SliderPageStepSub: HScroll(SB_PAGEUP); break;
    case QAbstractSlider::SliderToMinimum: HScroll(SB_TOP); break;
    case QAbstractSlider::SliderToMaximum: HScroll(SB_BOTTOM); break;
    case QAbstractSlider::SliderMove: HScroll(SB_THUMBTRACK, bar->sliderPosition()); break;
    default: break;
  }
  const int64_t f = std::max<int64_t>(hFactor_, 1);
  bar->setSliderPosition(static_cast<int>(leftCol_ / f));
}

void TCustomScrivel::afterScrollChange(bool horizontal) {
  const bool shown = caretFlags_ & cfShown;
  if (!horizontal && shown) ShowCaret(false);
  if (OnScroll) OnScroll(this);
  UpdateScrollBars();
  Invalidate();
  if (!horizontal && shown) ShowCaret(true);
  if (horizontal) updateCaretRect();
}

void TCustomScrivel::VScroll(int code, int64_t thumbPosition) {
  const int64_t count = DisplayLineCount();
  const int64_t page = lineHeight_ > 0 ? std::max<int64_t>(VisibleLines(), 1) : 1;
  const int64_t old = topLine_;
  int64_t top = topLine_;
  switch (code) {
    case SB_LINEUP:
      if (topLine_ > 0) ScrollBy(0, -1);
      return;
    case SB_LINEDOWN:
      if (topLine_ < count - 1) ScrollBy(0, 1);
      return;
    case SB_PAGEUP: top = std::max<int64_t>(topLine_ - page, 0); break;
    case SB_PAGEDOWN: top = std::max<int64_t>(std::min(topLine_ + page, count - page), 0); break;
    case SB_TOP: top = 0; break;
    case SB_BOTTOM:
      if (count <= page) return;
      top = count - page;
      break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
      const int64_t target = ThumbToPosition(thumbPosition, vFactor_, std::max<int64_t>(count - 1, 0));
      if (target > topLine_ - page && target < topLine_ + page) {
        ScrollBy(0, target - topLine_);
        return;
      }
      top = target;
      break;
    }
    default: return;
  }
  if (top == old) return;
  topLine_ = top;
  afterScrollChange(false);
}

void TCustomScrivel::HScroll(int code, int64_t thumbPosition) {
  if (wordWrap_) return;
  const int32_t visible = std::max(VisibleColumns(), 1);
  if (longestLine_ <= visible && leftCol_ == 0) return;
  const int64_t maxLeft = std::max<int64_t>(longestLine_ - 1, 0);
  int64_t left = leftCol_;
  switch (code) {
    case SB_LINEUP: left = leftCol_ - 1; break;
    case SB_LINEDOWN:
      if (leftCol_ + visible >= longestLine_) return;
      left = leftCol_ + 1;
      break;
    case SB_PAGEUP: left = leftCol_ - visible; break;
    case SB_PAGEDOWN: left = leftCol_ + visible; break;
    case SB_TOP: left = 0; break;
    case SB_BOTTOM: left = std::max<int64_t>(longestLine_ - visible, 0); break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: {
      const int64_t target = ThumbToPosition(thumbPosition, hFactor_, maxLeft);
      if (target > leftCol_ - visible && target < leftCol_ + visible) {
        ScrollBy(target - leftCol_, 0);
        return;
      }
      left = target;
      break;
    }
    default: return;
  }
  left = std::clamp<int64_t>(left, 0, maxLeft);
  if (left == leftCol_) return;
  leftCol_ = static_cast<int32_t>(left);
  afterScrollChange(true);
}

void TCustomScrivel::SetTopLine(int64_t line) {
  const int64_t count = DisplayLineCount();
  line = std::clamp<int64_t>(line, 0, std::max<int64_t>(count - 1, 0));
  if (line == topLine_) return;
  topLine_ = line;
  afterScrollChange(false);
}

int64_t TCustomScrivel::BottomLine() {
  return std::min(topLine_ + VisibleLines(), DisplayLineCount());
}

void TCustomScrivel::SetLeftCol(int32_t column) {
  const int64_t maxLeft = std::max<int64_t>(longestLine_ - 1, 0);
  const int32_t c = static_cast<int32_t>(std::clamp<int64_t>(column, 0, maxLeft));
  if (c == leftCol_) return;
  leftCol_ = c;
  afterScrollChange(true);
}

void TCustomScrivel::ScrollBy(int64_t columns, int64_t lines) {
  const int64_t count = DisplayLineCount();
  const int64_t newTop = clampedSum(topLine_, lines, 0, std::max<int64_t>(count - 1, 0));
  const int64_t newLeft = wordWrap_ ? 0 : clampedSum(leftCol_, columns, 0, std::max<int64_t>(longestLine_, 0));
  const int64_t dLines = newTop - topLine_;
  const int64_t dCols = newLeft - leftCol_;
  if (dLines == 0 && dCols == 0) return;
  const bool caretShown = caretFlags_ & cfShown;
  if (caretShown) ShowCaret(false);
  topLine_ = newTop;
  leftCol_ = static_cast<int32_t>(newLeft);
  // Move what is painted and paint only the uncovered strips. Vertical moves
  // take the gutter along; its marks belong to the lines.
  QRect area = textRect_;
  if (dCols == 0) area.setLeft(textRect_.left() - gutterWidth_);
  // A move of a whole area or more repaints (and keeps the pixel distances in range).
  const bool withinArea = std::abs(dLines) < area.height() && std::abs(dCols) < area.width();
  const int64_t dy = withinArea ? -dLines * lineHeight_ : 0;
  const int64_t dx = withinArea ? -dCols * charWidth_ : 0;
  if (!withinArea || std::abs(dy) >= area.height() || std::abs(dx) >= area.width() || paintLock_ > 0 ||
      !viewport()->isVisible()) {
    Invalidate();
  } else {
    viewport()->scroll(static_cast<int>(dx), static_cast<int>(dy), area);
    // Lines below the last full one are partly cut: repaint them as well.
    QRegion exposed;
    if (dy < 0) exposed += QRect(area.left(), area.bottom() + 1 + static_cast<int>(dy) - lineHeight_, area.width(), static_cast<int>(-dy) + lineHeight_);
    if (dy > 0) exposed += QRect(area.left(), area.top(), area.width(), static_cast<int>(dy));
    if (dx < 0) exposed += QRect(area.right() + 1 + static_cast<int>(dx) - charWidth_, area.top(), static_cast<int>(-dx) + charWidth_, area.height());
    if (dx > 0) exposed += QRect(area.left(), area.top(), static_cast<int>(dx), area.height());
    viewport()->repaint(exposed);
  }
  if (caretShown) ShowCaret(true);
  if (OnScroll) OnScroll(this);
  UpdateScrollBars();
}

void TCustomScrivel::ScrollToPoint(const TTextPoint& point, bool centre) {
  const int64_t page = std::max<int64_t>(VisibleLines(), 1);
  int64_t top = topLine_;
  int64_t left = leftCol_;
  if (point.Line < topLine_ || point.Line >= topLine_ + page) {
    if (centre)
      top = std::max<int64_t>(point.Line - page / 2, 0);
    else if (point.Line < topLine_)
      top = point.Line;
    else
      top = point.Line - page + 1;
    top = std::max<int64_t>(top, 0);
  }
  if (!wordWrap_) {
    int32_t screen = point.Col;
    CharToScreenCol(screen, point.Line);
    const int32_t visible = std::max(VisibleColumns(), 1);
    if (screen < leftCol_ || screen >= leftCol_ + visible) {
      if (screen < visible && (centre || screen < leftCol_))
        left = 0;
      else if (screen < leftCol_)
        left = screen;
      else
        left = screen - visible + 1;
    }
  }
  if (top == topLine_ && left == leftCol_) return;
  const bool shown = caretFlags_ & cfShown;
  if (shown) ShowCaret(false);
  topLine_ = top;
  leftCol_ = static_cast<int32_t>(std::max<int64_t>(left, 0));
  if (OnScroll) OnScroll(this);
  if (shown) ShowCaret(true);
  UpdateScrollBars();
  Invalidate();
}

void TCustomScrivel::LayOutLines(const std::function<int64_t(int32_t wrapWidth)>& build) {
  DropCharTypesCache();
  for (int pass = 0; pass < 2; ++pass) {
    SetLongestLine(build(wordWrap_ ? std::max(VisibleColumns(), 1) : 0));
    if (!showVerticalBarForWrap()) break;
  }
  clampScrollPosition();
  UpdateScrollBars();
  Invalidate();
}

void TCustomScrivel::clampScrollPosition() {
  const int64_t count = DisplayLineCount();
  if (topLine_ > 0 && topLine_ >= count) SetTopLine(count - 1);
  if (leftCol_ > 0 && (wordWrap_ || leftCol_ > longestLine_)) {
    leftCol_ = wordWrap_ ? 0 : static_cast<int32_t>(std::max<int64_t>(longestLine_ - 1, 0));
    if (OnScroll) OnScroll(this);
  }
}

void TCustomScrivel::GetContentSize(int64_t& width, int64_t& height) {
  // Sizes beyond 64 bits of pixels (2^62 lines and more) stay at the largest value.
  auto product = [](int64_t a, int64_t b) { return b > 0 && a > INT64_MAX / b ? INT64_MAX : a * b; };
  width = product(longestLine_, charWidth_);
  height = product(DisplayLineCount(), lineHeight_);
}

// ---------------------------------------------------------------- paint lock

void TCustomScrivel::Invalidate() {
  if (paintLock_ > 0) {
    repaintPending_ = true;
    return;
  }
  viewport()->update();
}

void TCustomScrivel::BeginPaintLock() { ++paintLock_; }

void TCustomScrivel::EndPaintLock() {
  if (paintLock_ <= 0) return;
  if (--paintLock_ > 0) return;
  if (scrollBarsPending_) UpdateScrollBars();
  if (repaintPending_) {
    repaintPending_ = false;
    viewport()->update();
  }
}

void TCustomScrivel::InvalidateLine(int64_t line) {
  if (line < topLine_ || line > topLine_ + VisibleLines() || lineHeight_ <= 0) return;
  if (paintLock_ > 0) {
    repaintPending_ = true;
    return;
  }
  const int y = textRect_.top() + static_cast<int>(line - topLine_) * lineHeight_;
  viewport()->update(QRect(0, y, viewport()->width(), lineHeight_));
}

void TCustomScrivel::InvalidateOffsetLine(int64_t offset) {
  TTextPoint p;
  if (OffsetToPoint(offset, p)) InvalidateLine(p.Line);
}

bool TCustomScrivel::viewportEvent(QEvent* event) {
  // Paint requests while the paint lock is held are answered without painting.
  if (event->type() == QEvent::Paint && paintLock_ > 0) {
    repaintPending_ = true;
    return true;
  }
  const bool handled = QAbstractScrollArea::viewportEvent(event);
  // Showing or hiding a scroll bar resizes only the viewport.
  if (event->type() == QEvent::Resize) UpdateTextRect();
  return handled;
}

// ---------------------------------------------------------------- focus

void TCustomScrivel::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  try {
    LogLine("WM_SETFOCUS");
    if (OnFocus) OnFocus(this, true);
    if (winFrame_ && winFrameColor_ == clDefault) Invalidate();
    ShowCaret(true);
  } catch (...) {
    const TLogSender sender = logSender();
    LogException(&sender, "WmSetFocus");
  }
}

void TCustomScrivel::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  try {
    LogLine("WM_KILLFOCUS");
    ShowCaret(false, true);
    destroyCaret();
    LogLine("Destroyed caret...");
    if (OnFocus) OnFocus(this, false);
    if (winFrame_ && winFrameColor_ == clDefault) Invalidate();
  } catch (...) {
    const TLogSender sender = logSender();
    LogException(&sender, "WmKillFocus");
  }
}

bool TCustomScrivel::focusNextPrevChild(bool next) {
  // While editable, Tab belongs to the text.
  if (editable_) return false;
  return QAbstractScrollArea::focusNextPrevChild(next);
}

// ---------------------------------------------------------------- mapping

int64_t TCustomScrivel::GetTopPos() {
  int32_t col = leftCol_;
  if (!ScreenToCharCol(col, topLine_)) col = 0;
  int64_t offset;
  if (PointToOffset({col, topLine_}, offset)) return offset;
  return -1;
}

void TCustomScrivel::SetTopPos(int64_t offset) {
  TTextPoint p;
  if (!OffsetToPoint(offset, p)) return;
  const int64_t count = DisplayLineCount();
  topLine_ = std::clamp<int64_t>(p.Line, 0, std::max<int64_t>(count - 1, 0));
  leftCol_ = 0;
  afterScrollChange(false);
}

bool TCustomScrivel::GetDisplayLineView(int64_t line, std::string_view& text, std::string& scratch) {
  const bool ok = GetDisplayLine(line, scratch);
  text = scratch;
  return ok;
}

bool TCustomScrivel::CharToScreenCol(int32_t& column, int64_t line) {
  std::string scratch;
  std::string_view text;
  if (!GetDisplayLineView(line, text, scratch)) text = {};
  return CharToScreenColumn(text, column, tabSize_);
}

bool TCustomScrivel::ScreenToCharCol(int32_t& column, int64_t line) {
  std::string scratch;
  std::string_view text;
  if (!GetDisplayLineView(line, text, scratch)) text = {};
  return ScreenToCharColumn(text, column, tabSize_);
}

bool TCustomScrivel::PointAtPixel(int x, int y, TTextPoint& point) {
  if (charWidth_ <= 0 || lineHeight_ <= 0) return false;
  // Rounded down, also above and left of the text rectangle.
  auto floorDiv = [](int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); };
  const int64_t line = floorDiv(y - textRect_.top(), lineHeight_) + topLine_;
  const int64_t screen = floorDiv(x + charWidth_ / 2 - textRect_.left(), charWidth_) + leftCol_;
  if (line < 0 || screen < 0) return false;
  const int64_t count = DisplayLineCount();
  if (line > count) return false;
  int32_t col = static_cast<int32_t>(std::min<int64_t>(screen, INT32_MAX));
  if (line == count) {
    if (col != 0) return false;
  } else {
    ScreenToCharCol(col, line);
  }
  if (col < 0) return false;
  point = {col, line};
  return true;
}

bool TCustomScrivel::PixelAtPoint(const TTextPoint& point, int& x, int& y) {
  const int64_t visibleLines = VisibleLines();
  if (point.Line < topLine_ || point.Line > topLine_ + visibleLines) return false;
  if (point.Line == topLine_ + visibleLines && (lineHeight_ <= 0 || textRect_.height() % lineHeight_ == 0))
    return false;
  int32_t screen = point.Col;
  CharToScreenCol(screen, point.Line);
  if (screen < leftCol_ || screen > leftCol_ + VisibleColumns()) return false;
  y = static_cast<int>((point.Line - topLine_) * lineHeight_) + textRect_.top();
  x = (screen - leftCol_) * charWidth_ + textRect_.left();
  return true;
}

int64_t TCustomScrivel::DisplayLineCount() { return 0; }

int32_t TCustomScrivel::DisplayLineLength(int64_t line) {
  std::string text;
  return GetDisplayLine(line, text) ? static_cast<int32_t>(text.size()) : 0;
}

int64_t TCustomScrivel::LineCount() { return DisplayLineCount(); }

int32_t TCustomScrivel::LineLength(int64_t line) {
  std::string text;
  return GetLine(line, text) ? static_cast<int32_t>(text.size()) : 0;
}

bool TCustomScrivel::GetLine(int64_t line, std::string& text) { return GetDisplayLine(line, text); }

void TCustomScrivel::GetAllText(std::string& text) {
  text.clear();
  const int64_t count = LineCount();
  std::string line;
  for (int64_t i = 0; i < count; ++i) {
    if (i > 0) text += "\r\n";
    if (GetLine(i, line)) text += line;
  }
}

const char* TCustomScrivel::GetTextBuffer(int64_t& length) {
  length = 0;
  return nullptr;
}

void TCustomScrivel::SetText(std::string_view) {}
void TCustomScrivel::SetEditable(bool value) { editable_ = value; }
void TCustomScrivel::SetStrings(const TStrings*) {}

void TCustomScrivel::SetSelectionPoints(const TTextPoint& start, const TTextPoint& end, int64_t length,
                                        int64_t startOffset) {
  selStartPt_ = start;
  selEndPt_ = end;
  selLength_ = length;
  selStart_ = startOffset;
}

void TCustomScrivel::TextReplaced() {
  DropCharTypesCache();
  if (!highlighter_) return;
  try {
    highlighter_->TextInit();
  } catch (...) {
    const TLogSender sender = highlighterLogSender();
    LogException(&sender, "Highlighter.TextInit");
  }
}

void TCustomScrivel::TextChangedAt(int64_t offset, int64_t delta) {
  DropCharTypesCache();
  if (ownsMarkers_ && markers_ && offset >= 0) markers_->ShiftMarkers(delta, offset);
  if (!highlighter_) return;
  try {
    highlighter_->TextChanged(offset, delta);
  } catch (...) {
    const TLogSender sender = highlighterLogSender();
    LogException(&sender, "Highlighter.TextChanged");
  }
}

int64_t TCustomScrivel::ReadText(char* buffer, int64_t size, int64_t) {
  if (buffer && size > 0) buffer[0] = 0;
  return 0;
}

TViewTextPos* TCustomScrivel::CreateTextPos() { return new TViewTextPos(this); }

bool TCustomScrivel::LoadFromStream(TStream& stream, const std::string&) {
  const int64_t size = stream.Size() - stream.Position();
  std::string text;
  if (size > 0) {
    text.resize(static_cast<size_t>(size));
    stream.ReadBuffer(text.data(), size);
  }
  SetText(text);
  return true;
}

bool TCustomScrivel::SaveToStream(TStream& stream, const std::string&) {
  std::string text;
  GetAllText(text);
  stream.WriteString(text);
  return true;
}

namespace {
std::string extensionOf(const std::string& fileName) {
  const size_t slash = fileName.rfind('/');
  const size_t dot = fileName.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string();
  return fileName.substr(dot);
}
}  // namespace

bool TCustomScrivel::LoadFromFile(const std::string& fileName) {
  TFileStream stream(fileName, fmOpenRead);
  return LoadFromStream(stream, extensionOf(fileName));
}

bool TCustomScrivel::SaveToFile(const std::string& fileName) {
  TReplaceStream stream(fileName);
  if (!SaveToStream(stream, extensionOf(fileName))) return false;
  stream.Commit();
  return true;
}

bool TCustomScrivel::OffsetToPoint(int64_t, TTextPoint&) { return false; }
bool TCustomScrivel::PointToOffset(const TTextPoint&, int64_t&) { return false; }
bool TCustomScrivel::OffsetToLine(int64_t, int64_t&, int32_t&) { return false; }
bool TCustomScrivel::LineToOffset(int32_t, int64_t, int64_t&) { return false; }

// ---------------------------------------------------------------- markers

TMarker* TCustomScrivel::FindMarker(int32_t id, int64_t offset) {
  return markers_ ? markers_->FindMarker(id, offset) : nullptr;
}

TMarker* TCustomScrivel::SetMarker(int32_t id, int32_t value, int64_t offset) {
  if (!markers_) return nullptr;
  TMarker* m = markers_->SetMarker(id, value, offset);
  if (IsNumberedBookmark(id) && (gutterFlags_ & gfShowBookmarks)) Invalidate();
  return m;
}

void TCustomScrivel::RemoveMarker(int32_t id, int64_t offset) {
  if (!markers_) return;
  markers_->RemoveMarker(id, offset);
  if (IsNumberedBookmark(id) && (gutterFlags_ & gfShowBookmarks)) Invalidate();
}

void TCustomScrivel::ClearMarkers() {
  if (markers_) markers_->ClearMarkers();
  Invalidate();
}

bool TCustomScrivel::GetBookmarkLines(TBookmarkLines* list) {
  if (!markers_) return false;
  // Looked up by identifier: the list may hold many highlighter markers.
  bool found = false;
  for (int32_t id = kFirstNumberedBookmark; id <= kLastNumberedBookmark; ++id) {
    const TMarker* m = markers_->FindMarker(id, -1);
    TTextPoint p;
    if (!m || !OffsetToPoint(m->Offset, p)) continue;
    found = true;
    if (!list) return true;
    list->emplace_back(p.Line, id);
  }
  return found;
}

void TCustomScrivel::SetMarkerList(TBookmarkList* list) {
  if (list == markers_) return;
  if (ownsMarkers_) delete markers_;
  if (list) {
    markers_ = list;
    ownsMarkers_ = false;
  } else {
    markers_ = new TBookmarkList(this);
    ownsMarkers_ = true;
  }
  Invalidate();
}

intptr_t TCustomScrivel::FindLineTag(int64_t, int32_t&, uint16_t) { return 0; }
int64_t TCustomScrivel::FindTaggedLine(intptr_t, uint16_t, int64_t, int64_t) { return -1; }
bool TCustomScrivel::AddLineTag(int64_t, int32_t, bool, intptr_t, uint16_t) { return false; }
bool TCustomScrivel::RemoveLineTags(int64_t, uint16_t, intptr_t, int32_t) { return false; }

// ---------------------------------------------------------------- highlighter

void TCustomScrivel::SetHighlighter(TCustomHighlighter* highlighter) {
  if (highlighter == highlighter_) return;
  TCustomHighlighter* old = highlighter_;
  highlighter_ = nullptr;
  if (old) old->SetView(nullptr);  // gives its use back
  if (highlighter) highlighter->SetView(this);  // calls UseHighlighter
  Invalidate();
}

void TCustomScrivel::UseHighlighter(TCustomHighlighter* highlighter, TCustomHighlighter* former) {
  if (!highlighter) {
    if (former && former == highlighter_) {
      highlighter_ = nullptr;
      Invalidate();
    }
    return;
  }
  if (highlighter_ != highlighter) {
    TCustomHighlighter* old = highlighter_;
    highlighter_ = highlighter;
    if (old) old->SetView(nullptr);
  }
  Invalidate();
}

bool TCustomScrivel::ShowsBracketMarks() const { return SelectionEmpty() && hasFocus(); }

// ---------------------------------------------------------------- clipboard

void TCustomScrivel::GetSelText(std::string& text) {
  text.clear();
  if (selLength_ <= 0 || selLength_ > kMaxSelText) return;
  text.resize(static_cast<size_t>(selLength_) + 1);
  const int64_t n = ReadText(text.data(), selLength_ + 1, selStart_);
  text.resize(static_cast<size_t>(std::max<int64_t>(n, 0)));
}

void TCustomScrivel::CopyToClipboard() {
  std::string text;
  GetSelText(text);
  if (!text.empty()) CopyTextOut(std::move(text));
}

bool TCustomScrivel::CopyTextOut(std::string text) {
  bool handled = false;
  if (OnCopyText) OnCopyText(this, text, handled);
  if (handled) return true;
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (!clipboard) return false;
  const QString qtext = ToQString(text);
  clipboard->setText(qtext);
  // The clipboard may refuse (no display connection, another owner racing).
  return clipboard->text() == qtext;
}

void TCustomScrivel::Cut() {
  std::string text;
  GetSelText(text);
  // The selection goes only once its text is safe on the clipboard.
  if (!text.empty() && CopyTextOut(std::move(text))) DeleteSelection();
}

void TCustomScrivel::PasteFromClipboard() {}
void TCustomScrivel::DeleteSelection() {}

// ---------------------------------------------------------------- strings, assignment

TViewStrings* TCustomScrivel::CreateStringsAdapter() { return new TViewStrings(this); }

TViewStrings* TCustomScrivel::Strings() {
  if (!strings_) strings_ = CreateStringsAdapter();
  return strings_;
}

void TCustomScrivel::ForgetStringsAdapter(TViewStrings* adapter) {
  if (strings_ == adapter) strings_ = nullptr;
}

void TCustomScrivel::AssignFromStrings(const TStrings& list) {
  // A line view copies the lines; other views ignore them.
  SetStrings(&list);
}

void TCustomScrivel::AssignToStrings(TStrings& list) {
  // Read first: the list may be the one the view shows.
  std::vector<std::string> lines(static_cast<size_t>(std::max<int64_t>(DisplayLineCount(), 0)));
  for (size_t i = 0; i < lines.size(); ++i) GetDisplayLine(static_cast<int64_t>(i), lines[i]);
  list.BeginUpdate();
  list.Clear();
  for (const std::string& line : lines) list.Add(line);
  list.EndUpdate();
}

void TCustomScrivel::Assign(TCustomScrivel& source) {
  SetSelection(source.SelLength(), source.SelStart());
  const int64_t top = source.GetTopPos();
  if (top >= 0) SetTopPos(top);
  int64_t caret = source.CaretPos();
  if (!source.CaretKeys() && caretKeys_ && (source.caret_.Line < source.TopLine() ||
                                            source.caret_.Line > source.BottomLine())) {
    int64_t offset;
    if (PointToOffset({0, topLine_ + VisibleLines() / 2}, offset)) caret = offset;
  }
  if (caret >= 0) SetCaretPos(caret);
}

void TCustomScrivel::TextModified() {
  DropCharTypesCache();
  for (auto it = changeHandlers_.rbegin(); it != changeHandlers_.rend(); ++it)
    if (*it) (*it)(this);
}

void TCustomScrivel::SelectionChanged() {
  if (OnSelChange) OnSelChange(this);
}

void TCustomScrivel::SetGutterWidth(int32_t width) {
  width = std::max(width, 0);
  if (width == gutterWidth_) return;
  gutterWidth_ = width;
  if (caretFlags_ & cfDestroying) return;
  UpdateTextRect();
  Invalidate();
}

void TCustomScrivel::SetGutterColor(TColor color) {
  gutterColor_ = color;
  gutterFollowsColor_ = color == color_;
  Invalidate();
}

void TCustomScrivel::SetGutterFlag(uint8_t flag, bool on) {
  const uint8_t before = gutterFlags_;
  gutterFlags_ = on ? (gutterFlags_ | flag) : (gutterFlags_ & static_cast<uint8_t>(~flag));
  if (before != gutterFlags_ && flag == gfShowBookmarks) Invalidate();
}

void TCustomScrivel::SetLineEndMark(char mark) {
  lineEndMark_ = mark;
  Invalidate();
}
