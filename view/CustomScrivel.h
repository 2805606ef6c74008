#pragma once
// TCustomScrivel: the window that shows a text as lines of fixed-pitch
// characters and, with its caret keys on, lets the user move a caret and
// select. It does not know where the text comes from: descendants supply
// lines through the virtual operations below (a byte block, a string list,
// an edit buffer, a hex dump, a log).
//
// Offsets are 64-bit character offsets in the text the view presents. A text
// point is (column: character offset in the display line, line: display line).
// Screen columns (after tab expansion) appear only in painting and in mouse
// mapping. The arithmetic (tab expansion, scroll factors, line tables,
// selection shapes) lives in plain functions beside this class.
#include <QAbstractScrollArea>
#include <QFont>
#include <QPointer>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "highlight/DrawLineInfo.h"
#include "highlight/HighlightedView.h"
#include "platform/Colors.h"
#include "platform/KeyCodes.h"
#include "view/BookmarkList.h"
#include "view/LineCharTypes.h"
#include "view/TextPoint.h"

class QPainter;
struct TLogSender;
class TCustomHighlighter;
class TGutterOptions;
class TStream;
class TStrings;
class TViewStrings;
class TViewTextPos;

enum TBorderStyle : uint8_t { bsNone, bsSingle };
enum TScrollStyle : uint8_t { ssNone, ssHorizontal, ssVertical, ssBoth };
enum TCaretStyle : uint8_t { cstVertical, cstHorizontal, cstBox };

// Scroll request codes of the scroll bars and the scroll-mode keys.
enum TScrollCode : int {
  SB_LINEUP = 0,
  SB_LINEDOWN = 1,
  SB_PAGEUP = 2,
  SB_PAGEDOWN = 3,
  SB_THUMBPOSITION = 4,
  SB_THUMBTRACK = 5,
  SB_TOP = 6,
  SB_BOTTOM = 7,
  SB_ENDSCROLL = 8,
};

// Bookmark lines collected for the gutter: (display line, bookmark id).
using TBookmarkLines = std::vector<std::pair<int64_t, int32_t>>;

class TCustomScrivel : public QAbstractScrollArea, public THighlightedView {
  Q_OBJECT

public:
  using TNotifyEvent = std::function<void(TCustomScrivel* sender)>;
  // May change the text going to the clipboard, or put it there itself (Handled).
  using TCopyTextEvent = std::function<void(TCustomScrivel* sender, std::string& text, bool& handled)>;
  using TFocusEvent = std::function<void(TCustomScrivel* sender, bool focusing)>;
  using TDrawGutterEvent =
      std::function<void(TCustomScrivel* sender, QPainter& canvas, const QRect& rect, int64_t row)>;
  using TGutterClickEvent = std::function<void(TCustomScrivel* sender, Qt::MouseButton button,
                                               TShiftState shift, int32_t column, int64_t line)>;

  // Text selections above this many characters are not copied.
  static constexpr int64_t kMaxSelText = 0x1000000;
  // Page size of the paging keys while there are no metrics.
  static constexpr int64_t kDefaultPageLines = 24;
  static constexpr int32_t kDefaultLocale = 1024;
  // The colour of bracket underlines.
  static constexpr TColor kBracketMarkColor = 0xC0C0C0;
  // The frame colour while focused when WinFrameColor is clDefault.
  static constexpr TColor kFocusFrameColor = clAqua;

  explicit TCustomScrivel(QWidget* parent = nullptr);
  ~TCustomScrivel() override;

  // ---- published properties
  TColor Color() const { return color_; }
  void SetColor(TColor value);
  TColor FontColor() const { return fontColor_; }
  void SetFontColor(TColor value);
  TColor CurLineColor() const { return curLineColor_; }
  void SetCurLineColor(TColor value);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle value);
  TScrollStyle Scrollbars() const { return scrollbars_; }
  void SetScrollbars(TScrollStyle value);
  bool HideScrollbars() const { return hideScrollbars_; }
  void SetHideScrollbars(bool value);
  int32_t TabSize() const { return tabSize_; }
  void SetTabSize(int32_t value);
  bool RightSelect() const { return rightSelect_; }
  void SetRightSelect(bool value) { rightSelect_ = value; }
  TCaretStyle CaretStyle() const { return caretStyle_; }
  void SetCaretStyle(TCaretStyle value);
  TGutterOptions* Gutter() const { return gutter_.get(); }
  void SetGutter(const TGutterOptions& value);
  bool WinFrame() const { return winFrame_; }
  void SetWinFrame(bool value);
  TColor WinFrameColor() const { return winFrameColor_; }
  void SetWinFrameColor(TColor value);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool value);
  bool CaretKeys() const { return caretKeys_; }
  void SetCaretKeys(bool value);

  TNotifyEvent OnScroll;
  TNotifyEvent OnSelChange;
  TCopyTextEvent OnCopyText;
  TFocusEvent OnFocus;
  TDrawGutterEvent OnDrawGutter;
  TGutterClickEvent OnGutterClick;

  // ---- virtual operations, in their fixed order
  // Paints the lines meeting `region` (client coordinates of the viewport).
  virtual void Paint(QPainter& painter, const QRegion& region);
  virtual int64_t GetTopPos();
  virtual void SetTopPos(int64_t offset);
  virtual void PaintLineText(TDrawLineInfo& info);
  virtual void PaintGutter(TDrawLineInfo& info);
  virtual void InitLinePaint(TDrawLineInfo& info);
  virtual int32_t NextRunLength(TDrawLineInfo& info, int32_t column);
  virtual void Reformat() = 0;
  virtual int64_t DisplayLineCount();
  virtual int32_t DisplayLineLength(int64_t line);
  virtual bool GetDisplayLine(int64_t line, std::string& text) = 0;
  // The display line without copying where the view holds it in one piece
  // (painting and column mapping of very long lines); otherwise it is read
  // into `scratch`. The view stays valid until the text changes.
  virtual bool GetDisplayLineView(int64_t line, std::string_view& text, std::string& scratch);
  virtual void GetSelText(std::string& text);
  virtual int64_t LineCount();
  virtual int32_t LineLength(int64_t line);
  virtual bool GetLine(int64_t line, std::string& text);
  virtual int64_t TextLength() = 0;
  virtual void GetAllText(std::string& text);
  virtual const char* GetTextBuffer(int64_t& length);
  virtual void SetText(std::string_view text);
  virtual bool MoveCaretLines(int64_t delta, bool extend);
  virtual void SetEditable(bool value);
  virtual void SetStrings(const TStrings* list);
  virtual void SetSelectionPoints(const TTextPoint& start, const TTextPoint& end, int64_t length,
                                  int64_t startOffset);
  virtual bool FindWordAt(int64_t& offset, int32_t column, bool forward, int32_t& length, int64_t line);
  virtual void TextReplaced();
  virtual void TextChangedAt(int64_t offset, int64_t delta);
  virtual TMarker* FindMarker(int32_t id, int64_t offset);
  virtual bool GetBookmarkLines(TBookmarkLines* list);
  // Copies at most size − 1 characters from the offset and a terminating zero;
  // answers the characters copied.
  virtual int64_t ReadText(char* buffer, int64_t size, int64_t offset);
  virtual TViewTextPos* CreateTextPos();
  virtual bool LoadFromStream(TStream& stream, const std::string& extension);
  virtual bool SaveToStream(TStream& stream, const std::string& extension);
  virtual bool LoadFromFile(const std::string& fileName);
  virtual bool SaveToFile(const std::string& fileName);
  virtual bool OffsetToPoint(int64_t offset, TTextPoint& point);
  virtual bool PointToOffset(const TTextPoint& point, int64_t& offset);
  virtual bool OffsetToLine(int64_t offset, int64_t& line, int32_t& column);
  virtual bool LineToOffset(int32_t column, int64_t line, int64_t& offset);
  virtual bool CharToScreenCol(int32_t& column, int64_t line);
  virtual bool ScreenToCharCol(int32_t& column, int64_t line);
  virtual TMarker* SetMarker(int32_t id, int32_t value, int64_t offset);
  virtual void RemoveMarker(int32_t id, int64_t offset);
  virtual void ClearMarkers();
  virtual intptr_t FindLineTag(int64_t line, int32_t& offset, uint16_t key);
  // The first line in first..last holding a matching tag (last < first searches
  // backwards; first < 0 searches the whole text); −1 when none.
  virtual int64_t FindTaggedLine(intptr_t value, uint16_t key, int64_t first, int64_t last);
  virtual bool AddLineTag(int64_t line, int32_t offset, bool ownsValue, intptr_t value, uint16_t key);
  virtual bool RemoveLineTags(int64_t line, uint16_t key, intptr_t value, int32_t offset);
  virtual void CopyToClipboard();
  virtual void PasteFromClipboard();
  virtual void DeleteSelection();

  // ---- dynamic operations
  // Key handling of the two modes; a consumed key is set to 0.
  virtual void ScrollModeKey(uint16_t& key, TShiftState shift);
  virtual void CaretModeKey(uint16_t& key, TShiftState shift);
  virtual void GutterClick(Qt::MouseButton button, TShiftState shift, int32_t column, int64_t line);
  virtual void SelectionChanged();
  virtual void TextModified();
  virtual TViewStrings* CreateStringsAdapter();
  virtual bool CanStartDrag() { return true; }
  // Puts text on the clipboard (OnCopyText may change or take it); answers
  // whether the text reached the clipboard or OnCopyText took it.
  virtual bool CopyTextOut(std::string text);

  // ---- the window messages of the original as calls
  void VScroll(int code, int64_t thumbPosition = 0);
  void HScroll(int code, int64_t thumbPosition = 0);
  void Cut();
  // Key down with a virtual key and shift state: the mode's keys, then the
  // keys of both modes. A consumed key is set to 0.
  void KeyDown(uint16_t& key, TShiftState shift);

  // ---- scrolling, metrics and mapping
  int64_t TopLine() const { return topLine_; }
  void SetTopLine(int64_t line);
  int64_t BottomLine();
  int32_t LeftCol() const { return leftCol_; }
  void SetLeftCol(int32_t column);
  int64_t VisibleLines() const;
  int32_t VisibleColumns() const;
  int32_t ClientTextWidth() const { return textRect_.width(); }
  int32_t ClientTextHeight() const { return textRect_.height(); }
  int32_t CharWidth() const { return charWidth_; }
  int32_t LineHeight() const { return lineHeight_; }
  int64_t LongestLine() const { return longestLine_; }
  const QRect& TextRect() const { return textRect_; }
  int64_t VScrollFactor() const { return vFactor_; }
  int64_t HScrollFactor() const { return hFactor_; }
  void ScrollBy(int64_t columns, int64_t lines);
  void ScrollToPoint(const TTextPoint& point, bool centre);
  void UpdateScrollBars();
  void SetHighlighter(TCustomHighlighter* highlighter);
  TCustomHighlighter* Highlighter() const { return highlighter_; }
  void ShowCaret(bool show, bool forced = false);
  bool CaretVisible() const { return caretFlags_ & cfShown; }
  QRect CaretRect() const;
  bool PointAtPixel(int x, int y, TTextPoint& point);
  bool PixelAtPoint(const TTextPoint& point, int& x, int& y);
  void InvalidateLine(int64_t line);
  void BeginPaintLock();
  void EndPaintLock();
  int PaintLockDepth() const { return paintLock_; }
  void SetGutterWidth(int32_t width);
  int32_t GutterWidth() const { return gutterWidth_; }
  void SetGutterColor(TColor color);
  TColor GutterColor() const { return gutterColor_; }
  void SetGutterFlag(uint8_t flag, bool on);
  uint8_t GutterFlags() const { return gutterFlags_; }
  void SetLineEndMark(char mark);
  void GetContentSize(int64_t& width, int64_t& height);
  void RefreshCaret();
  void SetLongestLine(int64_t columns) { longestLine_ = columns; }
  // Renders the whole view as it paints itself (tests, previews).
  QImage Render();

  // ---- selection and caret
  int64_t SelStart() const { return selStart_; }
  int64_t SelLength() const { return selLength_; }
  TTextPoint SelStartPoint() const { return selStartPt_; }
  TTextPoint SelEndPoint() const { return selEndPt_; }
  TTextPoint AnchorPoint() const { return anchorPt_; }
  TTextPoint CaretPoint() const { return caret_; }
  bool ColumnSelection() const { return columnSel_; }
  int32_t DesiredColumn() const { return desiredCol_; }
  bool SelectionEmpty() const;
  void SetSelection(int64_t length, int64_t start);
  // Points and offsets: with both points given (start.Line >= 0) they are
  // stored; with only an offset and length the points are computed; with
  // neither the points are derived again from the current selection.
  void SetSelectionByPoints(const TTextPoint* start, const TTextPoint* end, int64_t length = -1,
                            int64_t startOffset = -1);
  void SetColumnSelection(int32_t startCol, int32_t endCol, int64_t startLine, int64_t endLine);
  void SetAnchorSide(bool atStart);
  int64_t CaretPos();
  void SetCaretPos(int64_t offset);
  void SetCaretPoint(TTextPoint point);
  void SetCaretAndClearSel(int64_t offset);
  void SetSelLength(int64_t length) { SetSelection(length, selStart_); }
  void ExtendSelection(bool extend, int64_t offset);
  void SelectAll();
  void ScrollToSelection(bool centre);
  bool IsInSelection(int32_t column, int64_t line) const;
  void SelectWord();
  void SelectLines(bool trim);
  std::string WordAtCaret();
  bool IsWordChar(int32_t column, int64_t line);
  bool IsBlankChar(int32_t column, int64_t line);
  bool WordStartBackward(int64_t& offset, int32_t& column, int64_t line);
  bool WordEndBackward(int64_t& offset, int32_t& column, int64_t line);
  bool WordStartForward(int64_t& offset, int32_t& column, int64_t line);
  bool WordEndForward(int64_t& offset, int32_t& column, int64_t line);
  // The classes of a display line (cached for the last line asked).
  const TLineCharTypes& LineCharTypes(int64_t line);
  int32_t Locale() const { return locale_; }

  // ---- markers, strings and state
  TBookmarkList* Markers() const { return markers_; }
  // Uses another list (a buffer's); none returns to an own list.
  void SetMarkerList(TBookmarkList* list);
  bool OwnsMarkers() const { return ownsMarkers_; }
  TViewStrings* Strings();
  void ForgetStringsAdapter(TViewStrings* adapter);
  bool Editable() const { return editable_; }
  bool DoubleLineEnd() const { return doubleLineEnd_; }
  // Copies selection, top position and caret from another view (not the text).
  void Assign(TCustomScrivel& source);
  void AssignFromStrings(const TStrings& list);
  void AssignToStrings(TStrings& list);
  void AddChangeHandler(TNotifyEvent handler) { changeHandlers_.push_back(std::move(handler)); }

  // ---- THighlightedView
  TColor ViewFontColor() const override { return fontColor_; }
  TColor ViewColor() const override { return color_; }
  uint8_t ViewFontStyle() const override;
  void UseHighlighter(TCustomHighlighter* highlighter, TCustomHighlighter* former) override;
  bool ShowsBracketMarks() const override;
  bool ViewOffsetToPoint(int64_t offset, TTextPoint& point) override { return OffsetToPoint(offset, point); }
  void InvalidateOffsetLine(int64_t offset) override;
  TBookmarkList* ViewMarkers() override { return markers_; }

  // Gutter flag bits.
  static constexpr uint8_t gfShowBookmarks = 1;
  static constexpr uint8_t gfLineSelect = 2;

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  bool viewportEvent(QEvent* event) override;
  bool focusNextPrevChild(bool next) override;

  // Recomputes the character width and line height from the font.
  void UpdateMetrics();
  // Recomputes the text rectangle; when it changed, reformats (word wrap) or
  // updates the scroll bars and repaints.
  void UpdateTextRect();
  // The frame of every Reformat: `build` lays the display lines out for a
  // wrap width (0 without word wrap, else the visible columns and at least 1)
  // and answers the longest line in screen columns. With word wrap it runs a
  // second time when its lines need the hidden vertical bar, which narrows
  // the text. Then the scroll position is kept inside the text, the scroll
  // bars follow and the view repaints.
  void LayOutLines(const std::function<int64_t(int32_t wrapWidth)>& build);
  // Repaint, or a pending repaint while the paint lock is held.
  void Invalidate();
  void SetDoubleLineEnd(bool value) { doubleLineEnd_ = value; }
  void SetColumnSelectionFlag(bool value) { columnSel_ = value; }
  // Drops what the view remembers about lines (classes, tab positions) after
  // a change of the text or its layout.
  void DropCharTypesCache() {
    charTypesLine_ = -1;
    firstTabOfLongLines_.clear();
  }
  int64_t PageLines() const;

  int64_t longestLine_ = 0;
  bool vbarShown_ = false;
  bool hbarShown_ = false;

private:
  // Word wrap: shows the vertical bar when a layout found more lines than
  // fit while it was hidden; answers whether it was shown (lay out again).
  bool showVerticalBarForWrap();
  // After a layout: keeps the top line and left column inside the text.
  void clampScrollPosition();
  void paintLine(QPainter& painter, TDrawLineInfo& info, const QRect& lineRect);
  void paintSegment(TDrawLineInfo& info, int32_t from, int32_t to, bool selected);
  void setBarShown(Qt::Orientation orientation, bool shown);
  // Fits range, page and position into a scroll bar and shows, hides or
  // disables it; answers the scroll factor.
  int64_t fitBar(Qt::Orientation orientation, int64_t range, int64_t page, int64_t position);
  void onVScrollAction(int action);
  void onHScrollAction(int action);
  void afterScrollChange(bool horizontal);
  void onCaretBlink();
  void destroyCaret();
  void updateCaretRect();
  bool caretCreatable() const;
  // Colours resolved for this widget.
  QColor qcolor(TColor c) const;
  bool selectedColumns(int64_t line, int32_t& from, int32_t& to) const;
  void recomputeSelectionPoints();
  void moveCaretHorizontally(uint16_t key, TShiftState shift);
  // Whether the display line goes on in the next one without a line end (word wrap).
  bool wrapsIntoNextLine(int64_t line);
  int64_t lineStartOffset(int64_t line);
  int64_t lineEndOffset(int64_t line);
  void logCaretTrace(const char* text);
  // The view and its highlighter as senders of diagnostic log entries.
  TLogSender logSender() const;
  TLogSender highlighterLogSender() const;

  // Caret flag bits.
  static constexpr uint8_t cfCreated = 1;
  static constexpr uint8_t cfShown = 2;
  static constexpr uint8_t cfDestroying = 0x80;

  std::vector<TNotifyEvent> changeHandlers_;
  TBorderStyle borderStyle_ = bsSingle;
  TScrollStyle scrollbars_ = ssBoth;
  bool hideScrollbars_ = true;
  bool wordWrap_ = false;
  TCaretStyle caretStyle_ = cstVertical;
  int32_t leftCol_ = 0;
  int64_t topLine_ = 0;
  int32_t charWidth_ = 0;
  int32_t lineHeight_ = 0;
  int32_t ascent_ = 0;
  QFont paintFont_;  // the font with the spacing that keeps glyphs on the cells
  int64_t vFactor_ = 1;
  int64_t hFactor_ = 1;
  int32_t tabSize_ = 8;
  std::unique_ptr<TGutterOptions> gutter_;
  int32_t gutterWidth_ = 2;
  TColor gutterColor_ = clWindow;
  int16_t paintLock_ = 0;
  bool repaintPending_ = false;
  bool scrollBarsPending_ = false;
  bool updatingScrollBars_ = false;
  uint8_t gutterFlags_ = 0;
  bool winFrame_ = false;
  TColor winFrameColor_ = clDefault;
  TTextPoint caret_;
  TCustomHighlighter* highlighter_ = nullptr;
  QTimer caretTimer_;
  bool caretBlinkOn_ = true;
  QRect caretPaintedRect_;
  TBookmarkList* markers_ = nullptr;
  bool ownsMarkers_ = true;
  int64_t selStart_ = 0;
  int64_t selLength_ = 0;
  int32_t desiredCol_ = -1;
  int32_t locale_ = kDefaultLocale;
  QRect textRect_;
  TTextPoint selStartPt_, selEndPt_, anchorPt_;
  TLineCharTypes charTypes_;
  int64_t charTypesLine_ = -1;
  TViewStrings* strings_ = nullptr;
  bool editable_ = false;
  bool doubleLineEnd_ = false;
  bool columnSel_ = false;
  bool caretKeys_ = false;
  uint8_t caretFlags_ = 0;
  int selUnit_ = 1;  // of the last click: 1 character, 2 word, 3 line
  bool rightSelect_ = false;
  char lineEndMark_ = 0;
  bool curLineFollowsColor_ = true;
  bool gutterFollowsColor_ = true;
  TTextPoint lastDownPoint_;
  int64_t lastDownOffset_ = -1;
  TColor color_ = clWindow;
  TColor fontColor_ = clWindowText;
  TColor curLineColor_ = clWindow;
  bool selecting_ = false;
  bool anchorAtStart_ = true;

  // Paint state of the line being painted.
  QPainter* painter_ = nullptr;
  std::vector<int32_t> paintScreenCols_;  // screen column (relative) of each displayed character
  std::vector<int32_t> paintWidths_;
  // The first tab (or the length) of long painted lines, so that a line of
  // many megabytes scrolled far right is not searched at every paint.
  std::unordered_map<int64_t, int64_t> firstTabOfLongLines_;
  int32_t paintSelFrom_ = 0, paintSelTo_ = 0;  // selected character columns of the line
};
