#include <gtest/gtest.h>

#include "ViewTestSupport.h"

namespace {

struct Key {
  uint16_t vk;
  TShiftState shift;
};

void press(TMemScrivel* v, std::initializer_list<Key> keys) {
  for (Key k : keys) {
    uint16_t vk = k.vk;
    v->KeyDown(vk, k.shift);
  }
}

TEST(Selection, NegativeLengthPutsTheAnchorAtTheEnd) {
  TestMemView v("0123456789abcdef");
  v->SetSelection(-3, 10);
  EXPECT_EQ(7, v->SelStart());
  EXPECT_EQ(3, v->SelLength());
  EXPECT_EQ(v->SelEndPoint(), v->AnchorPoint());
  v->SetSelection(3, 7);
  EXPECT_EQ(v->SelStartPoint(), v->AnchorPoint());
}

TEST(Selection, SelectionChangeIsReportedOncePerChange) {
  TestMemView v("0123456789");
  int changes = 0;
  v->OnSelChange = [&](TCustomScrivel*) { ++changes; };
  v->SetSelection(2, 3);
  v->SetSelection(2, 3);
  EXPECT_EQ(1, changes);
}

TEST(Selection, KeyTable) {
  const std::string text = "foo bar baz\nshort\na much longer line here\n\nend";
  struct Case {
    const char* what;
    int64_t caret;
    std::vector<Key> keys;
    int64_t selStart, selLength, caretAfter;
  };
  const Case cases[] = {
      {"Shift+Right twice, Shift+Left once", 5, {{VK_RIGHT, ssShift}, {VK_RIGHT, ssShift}, {VK_LEFT, ssShift}}, 5, 1, 6},
      {"Shift+Left past the anchor", 5, {{VK_RIGHT, ssShift}, {VK_LEFT, ssShift}, {VK_LEFT, ssShift}}, 4, 1, 4},
      {"Left collapses to the start", 5, {{VK_RIGHT, ssShift}, {VK_RIGHT, ssShift}, {VK_LEFT, 0}}, 5, 0, 5},
      {"Right collapses to the end", 5, {{VK_RIGHT, ssShift}, {VK_RIGHT, ssShift}, {VK_RIGHT, 0}}, 7, 0, 7},
      {"Ctrl+Right stops after the blank", 0, {{VK_RIGHT, ssCtrl}}, 4, 0, 4},
      {"Ctrl+Left returns to the word start", 4, {{VK_LEFT, ssCtrl}}, 0, 0, 0},
      {"Ctrl+Right at the end of a line goes on", 11, {{VK_RIGHT, ssCtrl}}, 12, 0, 12},
      {"Right at the end of a line", 11, {{VK_RIGHT, 0}}, 12, 0, 12},
      {"Left at the start of a line", 12, {{VK_LEFT, 0}}, 11, 0, 11},
      {"Home and Shift+End", 14, {{VK_HOME, 0}, {VK_END, ssShift}}, 12, 5, 17},
      {"Shift+End at the line end takes the line end", 12, {{VK_END, 0}, {VK_END, ssShift}}, 17, 1, 18},
      {"Ctrl+End and Ctrl+Home", 3, {{VK_END, ssCtrl}, {VK_HOME, ssCtrl | ssShift}}, 0, 46, 0},
      {"Down and Up keep the column", 9, {{VK_DOWN, 0}, {VK_DOWN, 0}, {VK_UP, 0}, {VK_UP, 0}}, 9, 0, 9},
      {"Right at the end of the text", 46, {{VK_RIGHT, 0}}, 46, 0, 46},
      {"Shift+Down selects a line", 0, {{VK_DOWN, ssShift}}, 0, 12, 12},
  };
  for (const Case& c : cases) {
    TestMemView v(text);
    v->SetCaretKeys(true);
    v->SetCaretAndClearSel(c.caret);
    std::vector<Key> keys = c.keys;
    for (Key k : keys) {
      uint16_t vk = k.vk;
      v->KeyDown(vk, k.shift);
      EXPECT_EQ(0, vk) << c.what << ": key not consumed";
    }
    EXPECT_EQ(c.selStart, v->SelStart()) << c.what;
    EXPECT_EQ(c.selLength, v->SelLength()) << c.what;
    EXPECT_EQ(c.caretAfter, v->CaretPos()) << c.what;
  }
}

TEST(Selection, VerticalMovesKeepTheDesiredColumn) {
  TestMemView v("a long first line\nshort\nanother long line\n");
  v->SetCaretKeys(true);
  v->SetCaretAndClearSel(12);
  press(v.view, {{VK_DOWN, 0}});
  EXPECT_EQ((TTextPoint{5, 1}), v->CaretPoint());
  press(v.view, {{VK_DOWN, 0}});
  EXPECT_EQ((TTextPoint{12, 2}), v->CaretPoint());
  press(v.view, {{VK_DOWN, 0}});  // past the last line: the open line after it
  EXPECT_EQ((TTextPoint{0, 3}), v->CaretPoint());
  // A horizontal move drops the column: Left reaches column 17 of line 2,
  // and two lines up that column is kept instead of 12.
  press(v.view, {{VK_LEFT, 0}, {VK_UP, 0}, {VK_UP, 0}});
  EXPECT_EQ((TTextPoint{17, 0}), v->CaretPoint());
  // Ctrl+Page Up is a vertical move as well: the column is kept for the next ones.
  TestMemView w("short\nanother long line\n");
  w->SetCaretKeys(true);
  w->SetCaretAndClearSel(23);  // the end of line 1, column 17
  press(w.view, {{VK_PRIOR, ssCtrl}});
  EXPECT_EQ((TTextPoint{5, 0}), w->CaretPoint());
  press(w.view, {{VK_DOWN, 0}});
  EXPECT_EQ((TTextPoint{17, 1}), w->CaretPoint());
}

TEST(Selection, HorizontalMovesCrossWrapPoints) {
  // Wrapped at 10 columns: display lines "0123456789", "abcdefghij", "KL"
  // (then a line end) and "z". Offsets 10 and 20 are wrap points: the end of
  // one display line and the start of the next.
  TestMemView v("0123456789abcdefghijKL\nz");
  v->resize(v->width() + 10 * v->CharWidth() - v->ClientTextWidth(), v->height());
  v->SetWordWrap(true);
  ASSERT_EQ(4, v->DisplayLineCount());
  v->SetCaretKeys(true);
  struct Case {
    const char* what;
    int64_t caret;
    std::vector<Key> keys;
    int64_t offsetAfter;
    TTextPoint pointAfter;
  };
  const Case cases[] = {
      {"Left at the start of a wrapped piece", 10, {{VK_LEFT, 0}}, 9, {9, 0}},
      {"Ctrl+Left at the start of a wrapped piece", 20, {{VK_LEFT, ssCtrl}}, 10, {0, 1}},
      {"End stays on the display line", 5, {{VK_END, 0}}, 10, {10, 0}},
      {"End twice", 5, {{VK_END, 0}, {VK_END, 0}}, 10, {10, 0}},
      {"End, then Right", 5, {{VK_END, 0}, {VK_RIGHT, 0}}, 11, {1, 1}},
      {"End, then Left", 5, {{VK_END, 0}, {VK_LEFT, 0}}, 9, {9, 0}},
      {"Left over a line end", 23, {{VK_LEFT, 0}}, 22, {2, 2}},
      {"Home on a wrapped piece", 15, {{VK_HOME, 0}}, 10, {0, 1}},
  };
  for (const Case& c : cases) {
    v->SetCaretAndClearSel(c.caret);
    for (Key k : c.keys) {
      uint16_t vk = k.vk;
      v->KeyDown(vk, k.shift);
    }
    EXPECT_EQ(c.offsetAfter, v->CaretPos()) << c.what;
    EXPECT_EQ(c.pointAfter, v->CaretPoint()) << c.what;
  }
  // Shift+Left over a wrap point selects the character before it.
  v->SetCaretAndClearSel(10);
  press(v.view, {{VK_LEFT, ssShift}});
  EXPECT_EQ(9, v->SelStart());
  EXPECT_EQ(1, v->SelLength());
}

TEST(Selection, NumberedBookmarksWithCtrlDigits) {
  TestMemView v("0123456789\nabcdefghij\n");
  v->SetCaretKeys(true);
  v->SetSelection(3, 12);
  press(v.view, {{'4', ssCtrl | ssShift}});
  ASSERT_NE(nullptr, v->FindMarker(5, -1));
  EXPECT_EQ(12, v->FindMarker(5, -1)->Offset);
  EXPECT_EQ(3, v->FindMarker(5, -1)->Value);
  v->SetCaretAndClearSel(0);
  press(v.view, {{'4', ssCtrl}});
  EXPECT_EQ(12, v->SelStart());
  EXPECT_EQ(3, v->SelLength());
  EXPECT_EQ(15, v->CaretPos());
}

TEST(Selection, ScrollModeKeysScroll) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += std::string(200, 'a' + i % 26) + "\n";
  TestMemView v(text, 300, 150);
  press(v.view, {{VK_NEXT, 0}});
  EXPECT_EQ(v->VisibleLines(), v->TopLine());
  press(v.view, {{VK_END, 0}});
  EXPECT_EQ(300 - v->VisibleLines(), v->TopLine());
  press(v.view, {{VK_UP, 0}, {VK_RIGHT, ssCtrl}, {VK_RIGHT, 0}});
  EXPECT_EQ(299 - v->VisibleLines(), v->TopLine());
  EXPECT_EQ(9, v->LeftCol());
  uint16_t vk = VK_DOWN;
  v->KeyDown(vk, ssShift);  // Shift: nothing
  EXPECT_EQ(299 - v->VisibleLines(), v->TopLine());
}

TEST(Selection, ColumnSelectionIsARectangle) {
  TestMemView v("abcdef\nabcdef\nabcdef\n");
  v->SetColumnSelection(1, 3, 0, 2);
  EXPECT_TRUE(v->ColumnSelection());
  EXPECT_TRUE(v->IsInSelection(2, 1));
  EXPECT_TRUE(v->IsInSelection(3, 2));
  EXPECT_FALSE(v->IsInSelection(4, 1));
  EXPECT_FALSE(v->IsInSelection(0, 0));
  // A zero-width column selection still spans its lines.
  v->SetColumnSelection(2, 2, 0, 2);
  EXPECT_TRUE(v->IsInSelection(2, 1));
  EXPECT_FALSE(v->IsInSelection(1, 1));
  v->SetSelection(2, 1);
  EXPECT_FALSE(v->ColumnSelection());
}

TEST(Selection, ColumnSelectionMadeUpwardsOrLeftwards) {
  TestMemView v("abcdef\nabcdef\nabcdef\n");
  // From (4, 2) up to (1, 0): the same rectangle as from (1, 0) down to (4, 2).
  v->SetColumnSelection(4, 1, 2, 0);
  EXPECT_TRUE(v->IsInSelection(2, 1));
  EXPECT_TRUE(v->IsInSelection(4, 0));
  EXPECT_FALSE(v->IsInSelection(5, 2));
  EXPECT_EQ((TTextPoint{4, 2}), v->AnchorPoint());
  // Start and length are the stream range between the two corners.
  EXPECT_EQ(1, v->SelStart());
  EXPECT_EQ(17, v->SelLength());
  // Leftwards on one line.
  v->SetColumnSelection(5, 2, 1, 1);
  EXPECT_EQ(9, v->SelStart());
  EXPECT_EQ(3, v->SelLength());
  std::string text;
  v->GetSelText(text);
  EXPECT_EQ("cde", text);
}

TEST(Selection, StreamSelectionMembership) {
  TestMemView v("abcdef\nabcdef\nabcdef\n");
  v->SetSelection(9, 3);  // (3,0) .. (5,1)
  EXPECT_FALSE(v->IsInSelection(2, 0));
  EXPECT_TRUE(v->IsInSelection(3, 0));
  EXPECT_TRUE(v->IsInSelection(50, 0));
  EXPECT_TRUE(v->IsInSelection(5, 1));
  EXPECT_FALSE(v->IsInSelection(6, 1));
  EXPECT_FALSE(v->IsInSelection(0, 2));
}

TEST(Selection, WordsAndLines) {
  TestMemView v("  alpha beta\ngamma\n");
  v->SetCaretKeys(true);
  v->SetCaretAndClearSel(4);
  EXPECT_EQ("alpha", v->WordAtCaret());
  v->SelectWord();
  EXPECT_EQ(2, v->SelStart());
  EXPECT_EQ(5, v->SelLength());
  v->SetCaretAndClearSel(7);  // just after "alpha"
  EXPECT_EQ("alpha", v->WordAtCaret());
  v->SetCaretAndClearSel(3);
  v->SelectLines(true);
  EXPECT_EQ(2, v->SelStart());
  EXPECT_EQ(10, v->SelLength());
  v->SetSelection(3, 3);
  v->SelectLines(false);
  EXPECT_EQ(0, v->SelStart());
  EXPECT_EQ(13, v->SelLength());
  EXPECT_EQ(10000, v->DesiredColumn());
  int64_t offset = 10;
  int32_t length = 0;
  EXPECT_TRUE(v->FindWordAt(offset, 10, false, length, 0));
  EXPECT_EQ(8, offset);
  EXPECT_EQ(4, length);
  offset = 7;
  EXPECT_FALSE(v->FindWordAt(offset, 7, false, length, 0));
  EXPECT_TRUE(v->FindWordAt(offset, 7, true, length, 0));
  EXPECT_EQ(2, offset);
}

}  // namespace
