// Rendered checks on real pixels of the view's own painting.
#include <gtest/gtest.h>

#include <QApplication>

#include "ViewTestSupport.h"
#include "view/GutterOptions.h"

namespace {

// The colour as it lands in an RGB32 image.
QColor colorOf(TMemScrivel* v, TColor c) { return QColor::fromRgb(ColorToQColor(c, v->palette()).rgb()); }

// The pixel in the middle of the cell (column, line of the window).
QColor cellPixel(const QImage& img, TMemScrivel* v, int screenCol, int row, int dy = 0) {
  const int x = v->TextRect().left() + screenCol * v->CharWidth() + v->CharWidth() / 2;
  const int y = v->TextRect().top() + row * v->LineHeight() + v->LineHeight() / 2 + dy;
  return img.pixelColor(x, y);
}

// Whether any pixel of the cell has exactly the colour.
bool cellHas(const QImage& img, TMemScrivel* v, int screenCol, int row, const QColor& c) {
  const int x0 = v->TextRect().left() + screenCol * v->CharWidth();
  const int y0 = v->TextRect().top() + row * v->LineHeight();
  for (int y = y0; y < y0 + v->LineHeight(); ++y)
    for (int x = x0; x < x0 + v->CharWidth(); ++x)
      if (img.pixelColor(x, y) == c) return true;
  return false;
}

bool cellIsPlain(const QImage& img, TMemScrivel* v, int screenCol, int row, const QColor& c) {
  const int x0 = v->TextRect().left() + screenCol * v->CharWidth();
  const int y0 = v->TextRect().top() + row * v->LineHeight();
  for (int y = y0; y < y0 + v->LineHeight(); ++y)
    for (int x = x0; x < x0 + v->CharWidth(); ++x)
      if (img.pixelColor(x, y) != c) return false;
  return true;
}

TEST(Render, EmptyLineInsideASelectionShowsSelected) {
  TestMemView v("abc\n\ndef\n\nghi\n");
  v->SetSelection(6, 1);  // from "b" to the start of "def"
  const QImage img = v->Render();
  SaveScreenshot(img, "empty-line-selected");
  const QColor sel = colorOf(v.view, clHighlight);
  const QColor back = colorOf(v.view, clWindow);
  EXPECT_EQ(sel, cellPixel(img, v.view, 0, 1));
  EXPECT_EQ(sel, cellPixel(img, v.view, 30, 1));  // the whole width
  EXPECT_EQ(sel, cellPixel(img, v.view, 30, 0));  // the first line continues past its text
  EXPECT_EQ(back, cellPixel(img, v.view, 0, 3));  // the empty line after the selection
  EXPECT_EQ(back, cellPixel(img, v.view, 30, 2));
}

TEST(Render, ColumnSelectionIsARectangle) {
  TestMemView v("abcdef\n\nabcdef\n");
  v->SetColumnSelection(0, 3, 0, 2);
  const QImage img = v->Render();
  SaveScreenshot(img, "column-selection");
  const QColor sel = colorOf(v.view, clHighlight);
  EXPECT_TRUE(cellHas(img, v.view, 0, 0, sel));
  EXPECT_TRUE(cellHas(img, v.view, 2, 2, sel));
  EXPECT_FALSE(cellHas(img, v.view, 3, 0, sel));
  EXPECT_FALSE(cellHas(img, v.view, 10, 2, sel));
  // The empty line inside the rectangle is not painted over its width.
  EXPECT_FALSE(cellHas(img, v.view, 10, 1, sel));
}

TEST(Render, CurrentLineColourOnAndOff) {
  TestMemView v("one\ntwo\nthree\n");
  v->SetCaretKeys(true);
  v->SetCaretAndClearSel(5);  // line 1
  v->SetCurLineColor(clYellow);
  const QColor yellow = colorOf(v.view, clYellow);
  QImage img = v->Render();
  SaveScreenshot(img, "current-line-on");
  EXPECT_EQ(yellow, cellPixel(img, v.view, 20, 1));
  EXPECT_NE(yellow, cellPixel(img, v.view, 20, 0));
  // A selection turns it off, and so does the view's own colour.
  v->SetSelection(2, 4);
  img = v->Render();
  EXPECT_NE(yellow, cellPixel(img, v.view, 20, 1));
  v->SetCaretAndClearSel(5);
  v->SetCurLineColor(v->Color());
  img = v->Render();
  SaveScreenshot(img, "current-line-off");
  EXPECT_EQ(colorOf(v.view, clWindow), cellPixel(img, v.view, 20, 1));
}

TEST(Render, TabsAndHighlighterRuns) {
  TestMemView v("\tx\nkeywordscommentsd\n");
  auto* h = new TFiveRunHighlighter;
  v->SetHighlighter(h);
  const QImage img = v->Render();
  SaveScreenshot(img, "tabs-and-runs");
  const QColor back = colorOf(v.view, clWindow);
  for (int col = 0; col < 7; ++col) EXPECT_TRUE(cellIsPlain(img, v.view, col, 0, back)) << col;
  EXPECT_FALSE(cellIsPlain(img, v.view, 7, 0, back));  // the x after the tab
  // Line 1 has 17 characters: runs of 3, alternating the two attributes.
  EXPECT_TRUE(cellHas(img, v.view, 0, 1, QColor(0, 0, 0x80)));
  EXPECT_TRUE(cellHas(img, v.view, 4, 1, QColor(0, 0x80, 0)));
  EXPECT_FALSE(cellHas(img, v.view, 4, 1, QColor(0, 0, 0x80)));
}

TEST(Render, BracketUnderline) {
  TestMemView v("f(a[1])\n");
  QApplication::setActiveWindow(v.view);
  v->setFocus();
  if (!v->hasFocus()) GTEST_SKIP() << "no focus on this platform";
  auto* h = new TFiveRunHighlighter;
  v->SetHighlighter(h);
  h->SetBracketMarks(6, 1);
  const QImage img = v->Render();
  SaveScreenshot(img, "bracket-underline");
  const QColor mark(0xC0, 0xC0, 0xC0);
  const int bottom = v->TextRect().top() + v->LineHeight() - 1;
  auto bottomPixel = [&](int col) {
    return img.pixelColor(v->TextRect().left() + col * v->CharWidth() + v->CharWidth() / 2, bottom);
  };
  EXPECT_EQ(mark, bottomPixel(1));
  EXPECT_EQ(mark, bottomPixel(6));
  EXPECT_NE(mark, bottomPixel(3));
  // With a selection the marks are not shown.
  v->SetSelection(1, 0);
  const QImage plain = v->Render();
  EXPECT_NE(mark, plain.pixelColor(v->TextRect().left() + 6 * v->CharWidth() + 1, bottom));
}

TEST(Render, GutterShowsBookmarks) {
  TestMemView v("0\n1\n2\n3\n4\n");
  v->Gutter()->SetWidth(8);
  v->Gutter()->SetColor(clBtnFace);
  v->SetMarker(1, 0, 6);  // line 3
  const int gutterLeft = v->TextRect().left() - 8;
  auto px = [&](const QImage& img, int x, int row) {
    return img.pixelColor(x, v->TextRect().top() + row * v->LineHeight() + v->LineHeight() / 2);
  };
  QImage img = v->Render();
  const QColor mark = colorOf(v.view, clHighlight);
  EXPECT_NE(mark, px(img, gutterLeft + 1, 3));  // ShowBookmarks is off
  v->Gutter()->SetShowBookmarks(true);
  img = v->Render();
  SaveScreenshot(img, "gutter-bookmark");
  EXPECT_EQ(mark, px(img, gutterLeft + 1, 3));
  EXPECT_NE(mark, px(img, gutterLeft + 1, 2));
  EXPECT_EQ(colorOf(v.view, clBtnFace), px(img, gutterLeft + 4, 3));
  // The raised edge at the gutter's right side.
  EXPECT_EQ(colorOf(v.view, clBtnHighlight), px(img, gutterLeft + 6, 0));
  EXPECT_EQ(colorOf(v.view, clBtnShadow), px(img, gutterLeft + 7, 0));
  // The bookmark follows the text.
  v->TextChangedAt(0, 2);
  img = v->Render();
  EXPECT_EQ(8, v->FindMarker(1, -1)->Offset);
  EXPECT_EQ(mark, px(img, gutterLeft + 1, 4));
}

}  // namespace

namespace {

TEST(Render, CaretShapesAreDrawnByTheView) {
  TestMemView v("abcdef\n");
  QApplication::setActiveWindow(v.view);
  v->setFocus();
  if (!v->hasFocus()) GTEST_SKIP() << "no focus on this platform";
  v->SetCaretKeys(true);
  v->SetCaretAndClearSel(2);
  ASSERT_TRUE(v->CaretVisible());
  const int x = v->TextRect().left() + 2 * v->CharWidth();
  const int y = v->TextRect().top();
  const int cw = v->CharWidth(), lh = v->LineHeight();
  struct Case {
    TCaretStyle style;
    QRect rect;
  };
  const Case cases[] = {
      {cstVertical, QRect(x, y, 1, lh - 1)},
      {cstHorizontal, QRect(x, y + lh - 1, cw, 1)},
      {cstBox, QRect(x, y, cw, lh - 1)},
  };
  for (const Case& c : cases) {
    v->SetCaretStyle(c.style);
    ASSERT_TRUE(v->CaretVisible());
    EXPECT_EQ(c.rect, v->CaretRect()) << int(c.style);
  }
  // The box inverts its cell: the blank right of the text turns black.
  v->SetCaretAndClearSel(7);
  const QImage img = v->Render();
  SaveScreenshot(img, "caret-box");
  const QRect r = v->CaretRect();
  EXPECT_EQ(QColor(Qt::black), img.pixelColor(r.center()));
  v->clearFocus();
  EXPECT_FALSE(v->CaretVisible());
}

}  // namespace

namespace {

TEST(Render, LineEndMarkAfterTheText) {
  TestMemView v("abc\nde\n");
  const QColor back = colorOf(v.view, clWindow);
  QImage img = v->Render();
  EXPECT_TRUE(cellIsPlain(img, v.view, 3, 0, back));
  v->SetLineEndMark('~');
  img = v->Render();
  SaveScreenshot(img, "line-end-mark");
  EXPECT_FALSE(cellIsPlain(img, v.view, 3, 0, back));
  EXPECT_FALSE(cellIsPlain(img, v.view, 2, 1, back));
  EXPECT_TRUE(cellIsPlain(img, v.view, 4, 0, back));
  // Scrolled so far right that the text ends left of the window: no mark.
  v->SetLongestLine(100);
  v->ScrollBy(10, 0);
  img = v->Render();
  EXPECT_TRUE(cellIsPlain(img, v.view, 0, 0, back));
}

}  // namespace

namespace {

TEST(Render, LongLinesScrolledFarRight) {
  const std::string head(70000, '.');
  TestMemView v(head + "\tZ\n");
  v->ScrollBy(69995, 0);
  ASSERT_EQ(69995, v->LeftCol());
  const QColor back = colorOf(v.view, clWindow);
  // The tab at column 70000 reaches screen column 70007: relative column 12.
  QImage img = v->Render();
  SaveScreenshot(img, "long-line-right");
  EXPECT_TRUE(cellIsPlain(img, v.view, 6, 0, back));
  EXPECT_FALSE(cellIsPlain(img, v.view, 12, 0, back));
  // A new text without the tab: the Z follows the dots directly.
  v->SetText(head + "Z\n");
  v->ScrollBy(69995 - v->LeftCol(), 0);
  img = v->Render();
  EXPECT_FALSE(cellIsPlain(img, v.view, 5, 0, back));
  EXPECT_TRUE(cellIsPlain(img, v.view, 12, 0, back));
}

}  // namespace

namespace {

// A highlighter that finds no token anywhere, counting how often it is asked.
class TNoTokenHighlighter : public TCustomHighlighter {
public:
  bool GetToken(const char*, int32_t, int32_t&, THiAttrib*&) override {
    ++asked;
    return false;
  }
  int64_t asked = 0;
};

TEST(Render, RunsOfLongLinesStopAtTheWindowEdge) {
  TestMemView v(std::string(1000000, 'x') + "\n");
  auto* h = new TNoTokenHighlighter;
  v->SetHighlighter(h);
  v->Render();
  EXPECT_LT(h->asked, 1000);  // the visible characters, not the million of the line
  v->ScrollBy(500000, 0);
  h->asked = 0;
  v->Render();
  EXPECT_LT(h->asked, 500000 + 1000);  // up to the left edge once, then the visible part
}

TEST(Render, GlyphsStayOnTheCellGrid) {
  TestMemView v(std::string(45, 'M') + "\n" + std::string(44, 'i') + "|\n", 500, 100);
  const QImage img = v->Render();
  SaveScreenshot(img, "cell-grid");
  const QColor back = colorOf(v.view, clWindow);
  // However the font's own advance rounds, the 45th character is in cell 44.
  EXPECT_FALSE(cellIsPlain(img, v.view, 44, 0, back));
  EXPECT_TRUE(cellIsPlain(img, v.view, 45, 0, back));
  EXPECT_FALSE(cellIsPlain(img, v.view, 44, 1, back));
  EXPECT_TRUE(cellIsPlain(img, v.view, 45, 1, back));
}

}  // namespace
