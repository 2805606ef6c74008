#include <gtest/gtest.h>

#include "ViewTestSupport.h"
#include "view/LineScrivel.h"
#include "view/TabExpansion.h"
#include "view/ViewStrings.h"
#include "view/ViewTextPos.h"

namespace {

struct TestLineView {
  TestLineView() {
    EnsureQtApp();
    view = new TLineScrivel();
    view->setAttribute(Qt::WA_DontShowOnScreen);
    view->resize(400, 200);
    view->show();
  }
  ~TestLineView() { delete view; }
  TLineScrivel* operator->() { return view; }
  TLineScrivel* view;
};

// Sets the window so that exactly `columns` characters fit a line.
template <class View>
void fitColumns(View* v, int columns) {
  v->resize(v->width() + columns * v->CharWidth() - v->ClientTextWidth(), v->height());
  ASSERT_EQ(columns, v->VisibleColumns());
}

TEST(MemView, LinesOfABlock) {
  TestMemView v("a\r\nb");
  EXPECT_EQ(2, v->DisplayLineCount());
  EXPECT_EQ(1, v->Layout().Lines[0].Length);
  EXPECT_EQ(-1, v->Layout().Lines[1].Length);
  TTextPoint p;
  EXPECT_TRUE(v->OffsetToPoint(3, p));
  EXPECT_EQ((TTextPoint{0, 1}), p);
  std::string line;
  EXPECT_TRUE(v->GetLine(0, line));
  EXPECT_EQ("a\r\n", line);  // logical lines include their line end
  EXPECT_EQ(3, v->LineLength(0));
  EXPECT_EQ(1, v->DisplayLineLength(0));
  int64_t length = 0;
  EXPECT_NE(nullptr, v->GetTextBuffer(length));
  EXPECT_EQ(4, length);
}

TEST(MemView, WordWrapAtTheWindowWidth) {
  TestMemView v(std::string(25, 'x') + "\nnext");
  fitColumns(v.view, 10);
  v->SetWordWrap(true);
  ASSERT_EQ(4, v->DisplayLineCount());
  EXPECT_EQ(-10, v->Layout().Lines[0].Length);
  EXPECT_EQ(-10, v->Layout().Lines[1].Length);
  EXPECT_EQ(5, v->Layout().Lines[2].Length);
  EXPECT_EQ(2, v->LineCount());
  int64_t line;
  int32_t col;
  EXPECT_TRUE(v->OffsetToLine(26, line, col));
  EXPECT_EQ(1, line);
  EXPECT_EQ(0, col);
  int64_t offset;
  EXPECT_TRUE(v->LineToOffset(0, 1, offset));
  EXPECT_EQ(26, offset);
  // A window narrower than a character still wraps (at one column).
  v->resize(20, v->height());
  EXPECT_GE(v->DisplayLineCount(), 25);
}

// A tag value that counts its frees; a self-managed one answers the release query.
struct Tagged : TLineTagObject {
  explicit Tagged(int* freed, bool selfManaged = false) : freed(freed), selfManaged(selfManaged) {}
  ~Tagged() override { ++*freed; }
  bool TagOwnerRelease() override { return selfManaged; }
  int* freed;
  bool selfManaged;
};

TEST(MemView, LineTagsAndTheirRelease) {
  int freed = 0;
  Tagged keeper(&freed, true);
  {
    TestMemView v("one\ntwo\nthree\n");
    EXPECT_FALSE(v->AddLineTag(-1, 0, false, 1, 1));
    EXPECT_TRUE(v->AddLineTag(1, 2, false, 10, 7));
    EXPECT_TRUE(v->AddLineTag(1, 0, false, 11, 7));
    EXPECT_TRUE(v->AddLineTag(9, 0, false, 12, 7));  // beyond the last: filed at the line count
    EXPECT_TRUE(v->AddLineTag(2, 0, true, reinterpret_cast<intptr_t>(new Tagged(&freed)), 8));
    EXPECT_TRUE(v->AddLineTag(0, 0, true, reinterpret_cast<intptr_t>(&keeper), 8));
    int32_t offset = -1;
    EXPECT_EQ(11, v->FindLineTag(1, offset, 7));
    EXPECT_EQ(0, offset);
    offset = 2;
    EXPECT_EQ(10, v->FindLineTag(1, offset, 0));
    EXPECT_EQ(3, v->FindTaggedLine(12, 7, -1, -1));
    EXPECT_EQ(1, v->FindTaggedLine(10, 0, 3, 0));  // backwards
    EXPECT_EQ(-1, v->FindTaggedLine(10, 0, 2, 3));
    EXPECT_TRUE(v->RemoveLineTags(1, 0, 11, -1));
    offset = -1;
    EXPECT_EQ(10, v->FindLineTag(1, offset, 0));
    v->SetText("new text");  // drops every tag
    EXPECT_EQ(1, freed);
    EXPECT_EQ(-1, v->FindTaggedLine(12, 7, -1, -1));
  }
  EXPECT_EQ(1, freed);  // the object that answered the release query stays
}

TEST(LineView, OffsetsCountOneOrTwoLineEndCharacters) {
  TestLineView v;
  v->Lines().Add("ab");
  v->Lines().Add("cde");
  EXPECT_EQ(7, v->TextLength());
  int64_t line;
  int32_t col;
  EXPECT_TRUE(v->OffsetToLine(3, line, col));
  EXPECT_EQ(1, line);
  EXPECT_EQ(0, col);
  EXPECT_FALSE(v->OffsetToLine(8, line, col));
  char buf[16];
  EXPECT_EQ(7, v->ReadText(buf, sizeof buf, 0));
  EXPECT_STREQ("ab\rcde\r", buf);
  v->SetSelection(2, 3);
  v->SetDoubleLineEnd(true);
  EXPECT_EQ(9, v->TextLength());
  EXPECT_EQ(9, v->ReadText(buf, sizeof buf, 0));
  EXPECT_STREQ("ab\r\ncde\r\n", buf);
  EXPECT_EQ(3, v->ReadText(buf, 4, 1));
  EXPECT_STREQ("b\r\n", buf);
  EXPECT_EQ(4, v->SelStart());  // the same points, re-derived
  EXPECT_EQ(2, v->SelLength());
}

TEST(LineView, LinesTakeTheirTagsAlong) {
  int freed = 0;
  TestLineView v;
  v->SetText("one\ntwo\nthree\n");
  auto tag = [&](int line) {
    return v->AddLineTag(line, 0, true, reinterpret_cast<intptr_t>(new Tagged(&freed)), 5);
  };
  ASSERT_TRUE(tag(0));
  ASSERT_TRUE(tag(2));
  v->Lines().Delete(0);  // the line's tag goes with it
  EXPECT_EQ(1, freed);
  int32_t offset = -1;
  EXPECT_NE(0, v->FindLineTag(1, offset, 5));  // "three" keeps its own
  v->Lines().Clear();
  EXPECT_EQ(2, freed);
  EXPECT_EQ(0, v->LineCount());
}

TEST(LineView, SetStringsWithItsOwnLinesKeepsThem) {
  TestLineView v;
  v->SetText("one\ntwo\n");
  v->SetStrings(&v->Lines());
  EXPECT_EQ(2, v->LineCount());
  EXPECT_EQ("two", v->Lines().Get(1));
  v->AssignToStrings(v->Lines());  // the display lines into the list they come from
  EXPECT_EQ(2, v->LineCount());
  EXPECT_EQ("two", v->Lines().Get(1));
}

TEST(LineView, LongLinesKeepTheirFullLength) {
  TestLineView v;
  v->Lines().Add(std::string(70000, 'q') + "end");
  EXPECT_EQ(70003, v->DisplayLineLength(0));
  TTextPoint p;
  EXPECT_TRUE(v->OffsetToPoint(70001, p));
  EXPECT_EQ((TTextPoint{70001, 0}), p);
  v->SetHideScrollbars(false);  // the bar is there before wrapping narrows nothing
  fitColumns(v.view, 10);
  v->SetWordWrap(true);
  EXPECT_EQ(7001, v->DisplayLineCount());
  EXPECT_TRUE(v->OffsetToPoint(70001, p));
  EXPECT_EQ((TTextPoint{1, 7000}), p);
  int64_t offset;
  EXPECT_TRUE(v->PointToOffset({2, 7000}, offset));
  EXPECT_EQ(70002, offset);
}

TEST(LineView, TabsWidenTheHorizontalScrollRange) {
  TestLineView v;
  const std::string tabbed = std::string(10, '\t') + "X";  // the X at screen column 79
  v->Lines().Add("short");
  v->Lines().Add(tabbed);
  EXPECT_EQ(ScreenWidth(tabbed, v->TabSize()), v->LongestLine());
  ASSERT_LT(v->VisibleColumns(), 80);
  v->HScroll(SB_BOTTOM);
  EXPECT_GE(v->LeftCol() + v->VisibleColumns(), 80);
}

TEST(LineView, LineToOffsetOverManyLines) {
  TestLineView v;
  std::string text;
  for (int i = 0; i < 1000; ++i) text += std::to_string(i) + "\r\n";
  v->SetText(text);
  ASSERT_EQ(1000, v->LineCount());
  int64_t expected = 0;
  for (int i = 0; i < 999; ++i) expected += static_cast<int64_t>(std::to_string(i).size()) + 1;
  int64_t offset;
  EXPECT_TRUE(v->LineToOffset(1, 999, offset));
  EXPECT_EQ(expected + 1, offset);
  EXPECT_TRUE(v->LineToOffset(0, 1000, offset));
  EXPECT_EQ(v->TextLength(), offset);
  std::string all;
  v->GetAllText(all);
  EXPECT_EQ(text, all);
}

TEST(ViewStrings, ReadOnlyListOfDisplayLines) {
  TestMemView v("one\ntwo\nthree");
  TViewStrings* s = v->Strings();
  ASSERT_NE(nullptr, s);
  EXPECT_EQ(s, v->Strings());
  EXPECT_EQ(3, s->Count());
  EXPECT_EQ(-1, s->Add("four"));
  s->Delete(0);
  s->Clear();
  EXPECT_EQ(3, s->Count());
  EXPECT_EQ("two", s->Get(1));
  EXPECT_EQ("", s->Get(7));
  TStringList copy;
  v->AssignToStrings(copy);
  EXPECT_EQ("one\r\ntwo\r\nthree\r\n", copy.GetText());
  TLineScrivel lines;
  lines.SetStrings(&copy);
  EXPECT_EQ(3, lines.LineCount());
}

TEST(ViewTextPos, PositionOnAView) {
  TestMemView v("first line\nsecond\n");
  TRefPtr<TViewTextPos> pos(v->CreateTextPos());
  pos->SetPos(13);
  EXPECT_FALSE(pos->Invalid());
  EXPECT_EQ(1, pos->Line());
  EXPECT_EQ(2, pos->Column());
  std::string text;
  EXPECT_TRUE(pos->GetText(3, text));
  EXPECT_EQ("con", text);
  EXPECT_TRUE(pos->GetLineText(text));
  EXPECT_EQ("second\n", text);
  EXPECT_TRUE(pos->MoveLines(-1));
  EXPECT_EQ(0, pos->Position());
  EXPECT_TRUE(pos->MoveWord(TViewTextPos::mwForward | TViewTextPos::mwWordStart));
  EXPECT_EQ(6, pos->Position());
  EXPECT_TRUE(pos->MoveWord(TViewTextPos::mwForward | TViewTextPos::mwWordEnd));
  EXPECT_EQ(10, pos->Position());
  EXPECT_FALSE(pos->MoveBy(100));
  EXPECT_TRUE(pos->Invalid());
  delete v.view;
  v.view = nullptr;
  pos->SetPos(0);  // the view went: placement fails without touching it
  EXPECT_TRUE(pos->Invalid());
}

}  // namespace
