#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QScrollBar>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "ViewTestSupport.h"
#include "platform/Exceptions.h"
#include "platform/Streams.h"
#include "util/DiagLog.h"
#include "view/GutterOptions.h"
#include "view/ScrollFactor.h"

namespace {

std::string numberedLines(int n) {
  std::string text;
  for (int i = 0; i < n; ++i) text += "line " + std::to_string(i) + "\n";
  return text;
}

TEST(ViewCore, MetricsComeFromTheFont) {
  TestMemView v("abc");
  const QFontMetrics fm(v->font());
  EXPECT_EQ((fm.horizontalAdvance("xXyY") + 3) / 4, v->CharWidth());
  EXPECT_EQ(fm.height(), v->LineHeight());
  EXPECT_TRUE(QFontInfo(v->font()).fixedPitch());
  const int before = v->LineHeight();
  QFont bigger = v->font();
  bigger.setPointSize(bigger.pointSize() * 2);
  v->setFont(bigger);
  EXPECT_GT(v->LineHeight(), before);
  EXPECT_EQ(v->ClientTextHeight() / v->LineHeight(), v->VisibleLines());
}

TEST(ViewCore, PixelMappingRoundTrip) {
  TestMemView v("a\tbc\tdefgh\n\nxyz\t\tq\n" + numberedLines(30), 300, 150);
  v->ScrollBy(0, 1);
  v->ScrollBy(2, 0);
  const int cw = v->CharWidth(), lh = v->LineHeight();
  ASSERT_GT(cw, 0);
  int checked = 0;
  for (int64_t line = v->TopLine(); line < v->BottomLine(); ++line) {
    std::string text;
    v->GetDisplayLine(line, text);
    for (int32_t col = 0; col <= static_cast<int32_t>(text.size()); ++col) {
      int x, y;
      if (!v->PixelAtPoint({col, line}, x, y)) continue;
      TTextPoint back;
      // Anywhere inside the left half of the cell maps back to the character.
      ASSERT_TRUE(v->PointAtPixel(x + cw / 2 - 1, y + lh - 1, back)) << line << ":" << col;
      EXPECT_EQ((TTextPoint{col, line}), back);
      ++checked;
    }
  }
  EXPECT_GT(checked, 20);
  int x, y;
  EXPECT_FALSE(v->PixelAtPoint({0, 0}, x, y));  // above the top line
  TTextPoint p;
  EXPECT_FALSE(v->PointAtPixel(v->TextRect().left() - 3 * cw, v->TextRect().top(), p));
}

TEST(ViewCore, PixelsAboveTheTextMapToTheLinesAboveTheTop) {
  TestMemView v(numberedLines(30), 300, 150);
  v->SetTopLine(5);
  const int top = v->TextRect().top(), lh = v->LineHeight();
  const int x = v->TextRect().left() + 1;
  struct Case {
    int y;
    int64_t line;
  };
  const Case cases[] = {{top, 5}, {top - 1, 4}, {top - lh, 4}, {top - lh - 1, 3}, {top - 2 * lh, 3}};
  for (const Case& c : cases) {
    TTextPoint p;
    ASSERT_TRUE(v->PointAtPixel(x, c.y, p)) << c.y - top;
    EXPECT_EQ(c.line, p.Line) << c.y - top;
  }
}

// A view of 2^62 lines, as a hex dump of a very large device has.
class THugeView : public TCustomScrivel {
public:
  static constexpr int64_t kLines = int64_t{1} << 62;
  void Reformat() override {}
  int64_t DisplayLineCount() override { return kLines; }
  bool GetDisplayLine(int64_t line, std::string& text) override {
    text.clear();
    if (line < 0 || line >= kLines) return false;
    text = "0123456789ABCDEF";
    return true;
  }
  int64_t TextLength() override { return INT64_MAX; }
};

TEST(ViewCore, ScrollingOverTwoToTheSixtyTwoLines) {
  EnsureQtApp();
  THugeView v;
  v.setAttribute(Qt::WA_DontShowOnScreen);
  v.resize(300, 150);
  v.show();
  v.SetLongestLine(16);
  v.UpdateScrollBars();
  EXPECT_EQ(ScrollFactorFor(THugeView::kLines), v.VScrollFactor());
  v.ScrollBy(0, THugeView::kLines);
  EXPECT_EQ(THugeView::kLines - 1, v.TopLine());
  v.ScrollBy(0, -THugeView::kLines);
  EXPECT_EQ(0, v.TopLine());
  v.ScrollBy(0, INT64_MAX);
  EXPECT_EQ(THugeView::kLines - 1, v.TopLine());
  v.ScrollBy(0, INT64_MIN);
  EXPECT_EQ(0, v.TopLine());
  v.VScroll(SB_BOTTOM);
  EXPECT_EQ(THugeView::kLines - v.VisibleLines(), v.TopLine());
  v.VScroll(SB_THUMBTRACK, v.verticalScrollBar()->maximum() / 2);
  EXPECT_GT(v.TopLine(), THugeView::kLines / 4);
  v.ScrollToPoint({0, 12}, true);
  EXPECT_EQ(std::max<int64_t>(12 - v.VisibleLines() / 2, 0), v.TopLine());
  int64_t width = 0, height = 0;
  v.GetContentSize(width, height);
  EXPECT_EQ(16 * v.CharWidth(), width);
  EXPECT_EQ(INT64_MAX, height);  // the pixel height does not fit: as large as it gets
  const QImage img = v.Render();
  EXPECT_FALSE(img.isNull());
}

TEST(ViewCore, ScrollBarsUseTheScrollFactor) {
  TestMemView v(numberedLines(200000), 300, 200);
  EXPECT_EQ(4, v->VScrollFactor());
  QScrollBar* bar = v->verticalScrollBar();
  EXPECT_TRUE(v->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOn);
  EXPECT_LE(bar->maximum(), 50000);
  // Dragging the thumb to the end shows the last lines.
  bar->triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_EQ(200000 - v->VisibleLines(), v->TopLine());
  v->VScroll(SB_THUMBTRACK, 100);
  EXPECT_EQ(400, v->TopLine());
  v->VScroll(SB_TOP);
  EXPECT_EQ(0, v->TopLine());
  v->VScroll(SB_PAGEDOWN);
  EXPECT_EQ(v->VisibleLines(), v->TopLine());
}

TEST(ViewCore, HiddenScrollBarsWhenTheTextFits) {
  TestMemView v("short\ntext\n", 300, 200);
  EXPECT_EQ(Qt::ScrollBarAlwaysOff, v->verticalScrollBarPolicy());
  EXPECT_EQ(Qt::ScrollBarAlwaysOff, v->horizontalScrollBarPolicy());
  v->SetHideScrollbars(false);
  EXPECT_EQ(Qt::ScrollBarAlwaysOn, v->verticalScrollBarPolicy());
  EXPECT_FALSE(v->verticalScrollBar()->isEnabled());
  // Hidden again, then needed: shown and usable.
  v->SetHideScrollbars(true);
  v->SetText(numberedLines(100));
  EXPECT_EQ(Qt::ScrollBarAlwaysOn, v->verticalScrollBarPolicy());
  EXPECT_TRUE(v->verticalScrollBar()->isEnabled());
}

TEST(ViewCore, ScrollByClampsAndReports) {
  TestMemView v(numberedLines(100), 300, 150);
  int scrolls = 0;
  v->OnScroll = [&](TCustomScrivel*) { ++scrolls; };
  v->ScrollBy(0, -5);
  EXPECT_EQ(0, scrolls);
  v->ScrollBy(0, 1000);
  EXPECT_EQ(99, v->TopLine());
  v->ScrollBy(0, -10);
  EXPECT_EQ(89, v->TopLine());
  EXPECT_EQ(2, scrolls);
  v->ScrollToPoint({0, 10}, true);
  EXPECT_EQ(std::max<int64_t>(10 - v->VisibleLines() / 2, 0), v->TopLine());
  v->ScrollToPoint({0, 60}, false);
  EXPECT_EQ(60 - v->VisibleLines() + 1, v->TopLine());
}

TEST(ViewCore, ANewShorterTextBringsTheViewBack) {
  TestMemView v(numberedLines(100) + std::string(300, 'w'), 300, 150);
  v->SetTopLine(90);
  v->ScrollBy(250, 0);
  ASSERT_EQ(90, v->TopLine());
  ASSERT_EQ(250, v->LeftCol());
  v->SetText("short\ntext");
  EXPECT_EQ(1, v->TopLine());
  EXPECT_EQ(4, v->LeftCol());
  v->SetText("");
  EXPECT_EQ(0, v->TopLine());
  EXPECT_EQ(0, v->LeftCol());
}

TEST(ViewCore, ReadTextNeverPassesTheBuffer) {
  TestMemView v("0123456789");
  char buf[5];
  std::memset(buf, '#', sizeof buf);
  EXPECT_EQ(4, v->ReadText(buf, sizeof buf, 3));
  EXPECT_STREQ("3456", buf);
  EXPECT_EQ(2, v->ReadText(buf, sizeof buf, 8));
  EXPECT_STREQ("89", buf);
  EXPECT_EQ(0, v->ReadText(buf, sizeof buf, 10));
  buf[0] = '#';
  EXPECT_EQ(0, v->ReadText(buf, 0, 0));
  EXPECT_EQ('#', buf[0]);  // a zero size writes nothing
}

TEST(ViewCore, MemViewRefusesTwoGigabytes) {
  TestMemView v("kept");
  static const char one = 'x';
  try {
    v->SetData(&one, int64_t{1} << 31, false);
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_NE(std::string::npos, e.Message().find("too large")) << e.Message();
  }
  std::string text;
  v->GetAllText(text);
  EXPECT_EQ("kept", text);
}

TEST(ViewCore, CopyAndCutGoThroughTheClipboard) {
  EnsureQtApp();
  int deletes = 0;
  struct Counting : TMemScrivel {
    int* deletes;
    void DeleteSelection() override { ++*deletes; }
  };
  Counting c;
  c.deletes = &deletes;
  c.SetText("hello world");
  c.SetSelection(5, 0);
  std::string seen;
  c.OnCopyText = [&](TCustomScrivel*, std::string& text, bool& handled) {
    seen = text;
    text = "changed";
    handled = false;
  };
  c.Cut();
  EXPECT_EQ("hello", seen);
  EXPECT_EQ(QString("changed"), QGuiApplication::clipboard()->text());
  EXPECT_EQ(1, deletes);
  // A selection too large for the clipboard is neither copied nor deleted.
  std::string big(TCustomScrivel::kMaxSelText + 1, 'x');
  c.SetText(big);
  c.SelectAll();
  seen.clear();
  c.Cut();
  EXPECT_EQ("", seen);
  EXPECT_EQ(1, deletes);
}

TEST(ViewCore, SaveAndLoadThroughFiles) {
  char dir[] = "/tmp/viewfileXXXXXX";
  ASSERT_NE(nullptr, mkdtemp(dir));
  const std::string name = std::string(dir) + "/t.txt";
  {
    TestMemView v("one\r\ntwo");
    EXPECT_TRUE(v->SaveToFile(name));
  }
  TestMemView w("");
  EXPECT_TRUE(w->LoadFromFile(name));
  std::string text;
  w->GetAllText(text);
  EXPECT_EQ("one\r\ntwo", text);
  EXPECT_EQ(2, w->DisplayLineCount());
  EXPECT_THROW(w->LoadFromFile(std::string(dir) + "/missing.txt"), EStreamError);
  EXPECT_THROW(w->SaveToFile(std::string(dir) + "/no/such/dir/x.txt"), EStreamError);
  unlink(name.c_str());
  rmdir(dir);
}

TEST(ViewCore, AssignCopiesSelectionTopAndCaret) {
  TestMemView a(numberedLines(100), 300, 150);
  TestMemView b(numberedLines(100), 300, 150);
  a->SetCaretKeys(true);
  b->SetCaretKeys(true);
  a->SetTopLine(40);
  a->SetSelection(3, 400);
  a->SetCaretPos(403);
  b->Assign(*a.view);
  EXPECT_EQ(40, b->TopLine());
  EXPECT_EQ(400, b->SelStart());
  EXPECT_EQ(3, b->SelLength());
  EXPECT_EQ(403, b->CaretPos());
  // From a view without caret keys whose caret is out of sight: the middle line.
  a->SetCaretKeys(false);
  a->SetCaretPos(0);
  b->Assign(*a.view);
  EXPECT_EQ(40 + b->VisibleLines() / 2, b->CaretPoint().Line);
}

TEST(ViewCore, HighlighterUseFollowsAttachment) {
  TestMemView v("text");
  auto* h = new TFiveRunHighlighter;
  h->AddRef();  // the test's own use
  v->SetHighlighter(h);
  EXPECT_EQ(h, v->Highlighter());
  EXPECT_EQ(2, h->RefCount());
  EXPECT_EQ(1, h->textInits);
  v->SetText("new text");
  EXPECT_EQ(2, h->textInits);
  v->SetHighlighter(nullptr);
  EXPECT_EQ(nullptr, v->Highlighter());
  EXPECT_EQ(1, h->RefCount());
  v->SetHighlighter(h);
  h->Release();
  EXPECT_EQ(1, h->RefCount());  // the view's use keeps it
}

TEST(ViewCore, PaintLockDefersRepaintsAndScrollBars) {
  TestMemView v("a\n", 300, 150);
  v->BeginPaintLock();
  v->SetText(numberedLines(500));
  EXPECT_EQ(Qt::ScrollBarAlwaysOff, v->verticalScrollBarPolicy());
  v->EndPaintLock();
  EXPECT_EQ(Qt::ScrollBarAlwaysOn, v->verticalScrollBarPolicy());
  EXPECT_EQ(0, v->PaintLockDepth());
}

TEST(ViewCore, CaretIsTracedInTheDiagnosticLog) {
  CreateLogStream();
  ClearLogStream();
  TestMemView v("abc");
  v->SetCaretKeys(true);
  v->ShowCaret(true, false);
  const std::string log = LogStreamRead();
  EXPECT_NE(std::string::npos, log.find("ShowCaret(1,0)"));
  EXPECT_NE(std::string::npos, log.find("... will create caret:"));
  DestroyLogStream();
}

TEST(ViewCore, GutterClickSelectsTheLine) {
  TestMemView v("first\nsecond\nthird\n");
  v->Gutter()->SetWidth(8);
  v->Gutter()->SetLineSelect(true);
  int64_t clickedLine = -1;
  v->OnGutterClick = [&](TCustomScrivel*, Qt::MouseButton, TShiftState, int32_t, int64_t line) {
    clickedLine = line;
  };
  v->GutterClick(Qt::LeftButton, 0, 0, 1);
  EXPECT_EQ(1, clickedLine);
  EXPECT_EQ(6, v->SelStart());
  EXPECT_EQ(6, v->SelLength());
  EXPECT_EQ((TTextPoint{0, 1}), v->CaretPoint());
  EXPECT_EQ(v->SelEndPoint(), v->AnchorPoint());
  // With Shift, only the event.
  v->SetSelection(0, 0);
  v->GutterClick(Qt::LeftButton, ssShift, 0, 2);
  EXPECT_EQ(0, v->SelLength());
  EXPECT_EQ(8, v->GutterWidth());
  v->Gutter()->SetWidth(-4);
  EXPECT_EQ(0, v->GutterWidth());
}

}  // namespace
