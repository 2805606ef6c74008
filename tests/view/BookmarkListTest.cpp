#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "textbuf/EditBuffer.h"
#include "textbuf/EditPos.h"
#include "view/BookmarkList.h"

namespace {

using Marks = std::vector<std::tuple<int32_t, int64_t, int32_t>>;  // id, offset, value

Marks marksOf(const TBookmarkList& list) {
  Marks out;
  list.EnumMarkers([&](int32_t id, int64_t offset, const std::string&, int32_t value) {
    out.emplace_back(id, offset, value);
    return true;
  });
  return out;
}

// The list stays sorted and its links agree both ways.
void expectConsistent(const TBookmarkList& list) {
  int32_t n = 0;
  const TMarker* prev = nullptr;
  for (const TMarker* m = list.First(); m; m = m->Next, ++n) {
    EXPECT_EQ(prev, m->Prev);
    if (prev) {
      EXPECT_LE(prev->Offset, m->Offset);
    }
    prev = m;
  }
  EXPECT_EQ(prev, list.Last());
  EXPECT_EQ(n, list.Count());
}

TEST(BookmarkList, NonNegativeIdentifiersAreUnique) {
  TBookmarkList list;
  list.SetMarker(3, 0, 100);
  list.SetMarker(3, 0, 50);
  list.SetMarker(1, 7, 60);
  EXPECT_EQ((Marks{{3, 50, 0}, {1, 60, 7}}), marksOf(list));
  list.SetMarker(3, 9, 50);  // same offset: only the value
  EXPECT_EQ(9, list.FindMarker(3, -1)->Value);
  EXPECT_EQ(nullptr, list.SetMarker(3, 0, -1));  // a negative offset removes it
  EXPECT_EQ((Marks{{1, 60, 7}}), marksOf(list));
  expectConsistent(list);
}

TEST(BookmarkList, NegativeIdentifiersMayRepeat) {
  TBookmarkList list;
  list.SetMarker(-5, 0, 10);
  list.SetMarker(-5, 0, 20);
  list.SetMarker(-5, 4, 10);  // same place: new value
  list.SetMarker(-6, 1, 10);  // equal offsets keep the order of insertion
  EXPECT_EQ((Marks{{-5, 10, 4}, {-6, 10, 1}, {-5, 20, 0}}), marksOf(list));
  EXPECT_EQ(20, list.FindMarker(-5, 20)->Offset);
  EXPECT_EQ(nullptr, list.FindMarker(-5, 15));
  list.RemoveMarker(-5, -1);
  EXPECT_EQ((Marks{{-6, 10, 1}}), marksOf(list));
  expectConsistent(list);
}

TEST(BookmarkList, ShiftMarkersTable) {
  struct Case {
    const char* what;
    int32_t id;
    int64_t offset;
    int32_t value;
    bool sticky;
    int64_t delta;
    int64_t at;
    bool kept;
    int64_t newOffset;
    int32_t newValue;
  };
  const Case cases[] = {
      {"insert before", 7, 100, 10, false, 5, 90, true, 105, 10},
      {"insert at the start moves it", 7, 100, 10, false, 5, 100, true, 105, 10},
      {"insert inside grows it", 7, 100, 10, false, 5, 104, true, 100, 15},
      {"insert at the end grows it", 7, 100, 10, false, 5, 110, true, 100, 15},
      {"insert at the end of a sticky one", 7, 100, 10, true, 5, 110, true, 100, 10},
      {"insert after", 7, 100, 10, false, 5, 111, true, 100, 10},
      {"delete inside shrinks it", 7, 100, 10, false, -3, 102, true, 100, 7},
      {"delete over its end takes the overlap", 7, 100, 10, false, -20, 105, true, 100, 5},
      {"delete before moves it", 7, 100, 10, false, -30, 50, true, 70, 10},
      {"delete over its start", 7, 100, 10, false, -10, 95, true, 95, 5},
      {"delete around it", 7, 100, 10, false, -50, 80, true, 80, 0},
      {"delete of the whole text start", 7, 3, 2, false, -10, 0, true, 0, 0},
      {"highlighter marker inside a deletion goes", -2, 100, 10, false, -10, 95, false, 0, 0},
      {"highlighter marker before it shrinks", -2, 100, 10, false, -3, 102, true, 100, 7},
      {"delete after", 7, 100, 10, false, -5, 110, true, 100, 10},
  };
  for (const Case& c : cases) {
    TBookmarkList list;
    TMarker* m = list.SetMarker(c.id, c.value, c.offset);
    list.SetMarkerSticky(m, c.sticky);
    list.ShiftMarkers(c.delta, c.at);
    TMarker* after = list.FindMarker(c.id, -1);
    ASSERT_EQ(c.kept, after != nullptr) << c.what;
    if (!after) continue;
    EXPECT_EQ(c.newOffset, after->Offset) << c.what;
    EXPECT_EQ(c.newValue, after->Value) << c.what;
    EXPECT_GE(after->Offset, 0) << c.what;
  }
}

// Edits made through an edit position reach the buffer's marker list with
// the offsets and deltas the buffer reports.
TEST(BookmarkList, BufferEditsMoveMarkers) {
  const std::string text = "0123456789\r\nabcdefghij\r\nKLMNOPQRST\r\n";
  struct Case {
    const char* what;
    int32_t at;
    int32_t deleted;
    const char* inserted;
    Marks expected;
  };
  // Bookmark 2 marks line 1 ("abcdefghij", 12 .. 22), marker 7 "cdefg" (14 .. 19),
  // highlighter marker -3 "MNO" (26 .. 29).
  const Case cases[] = {
      {"insert at a marker's start", 14, 0, "xy", {{2, 12, 12}, {7, 16, 5}, {-3, 28, 3}}},
      {"insert at a marker's end", 19, 0, "xy", {{2, 12, 12}, {7, 14, 7}, {-3, 28, 3}}},
      {"insert a line end inside", 16, 0, "\r\n", {{2, 12, 12}, {7, 14, 7}, {-3, 28, 3}}},
      {"delete at a marker's start", 14, 2, "", {{2, 12, 8}, {7, 14, 3}, {-3, 24, 3}}},
      {"delete over a marker's end", 18, 3, "", {{2, 12, 7}, {7, 14, 4}, {-3, 23, 3}}},
      {"delete the line end before a marker", 10, 2, "", {{2, 10, 10}, {7, 12, 5}, {-3, 24, 3}}},
      {"delete spanning markers", 9, 18, "", {{2, 9, 0}, {7, 9, 0}}},
      {"delete all", 0, 36, "", {{2, 0, 0}, {7, 0, 0}}},
  };
  for (const Case& c : cases) {
    TRefPtr<TEditBuffer> buffer(new TEditBuffer);
    buffer->SetText(text);
    auto owned = std::make_unique<TBookmarkList>(buffer.get());
    TBookmarkList& list = *owned;
    buffer->SetMarkerList(std::move(owned));
    list.SetMarker(2, 10, 12);
    list.SetMarker(7, 5, 14);
    list.SetMarker(-3, 3, 26);
    TRefPtr<TEditPos> pos(new TEditPos(buffer.get()));
    pos->SetPos(c.at);
    ASSERT_FALSE(pos->Invalid()) << c.what;
    if (c.deleted > 0) {
      ASSERT_TRUE(pos->DeleteText(c.deleted)) << c.what;
    }
    if (*c.inserted) {
      ASSERT_TRUE(pos->InsertText(c.inserted)) << c.what;
    }
    EXPECT_EQ(c.expected, marksOf(list)) << c.what;
    expectConsistent(list);
  }
}

TEST(BookmarkList, ShiftingKeepsTheOrder) {
  TBookmarkList list;
  for (int i = 0; i < 50; ++i) list.SetMarker(i % 2 ? -1 : 100 + i, i % 7, i * 10);
  list.ShiftMarkers(-125, 100);
  list.ShiftMarkers(40, 0);
  list.ShiftMarkers(-1000, 0);
  expectConsistent(list);
  EXPECT_EQ(25, list.Count());  // every highlighter marker fell inside a deletion
}

TEST(BookmarkList, RangeAndBeforeLookups) {
  TBookmarkList list;
  list.SetMarker(1, 3, 10);
  list.SetMarker(-4, 8, 20);
  list.SetMarker(2, 5, 30);
  int64_t offset = 25;
  EXPECT_EQ(-4, list.FindMarkerBefore(offset, {-4, 2}));
  EXPECT_EQ(20, offset);
  offset = 11;
  int32_t value = 0;
  EXPECT_EQ(2, list.FindMarkerInRange(offset, 1, value, 10, -1));
  EXPECT_EQ(30, offset);
  EXPECT_EQ(5, value);
  offset = 11;
  EXPECT_EQ(-1, list.FindMarkerInRange(offset, 1, value, 10, 29));
  EXPECT_EQ(-1, offset);
  list.RemoveMarkers({1, 2});
  EXPECT_EQ((Marks{{-4, 20, 8}}), marksOf(list));
}

TEST(BookmarkList, SavedStateBasesAreDistinctAndInRange) {
  TBookmarkList list;
  const int32_t a = list.NewSavedStateBase();
  const int32_t b = list.NewSavedStateBase();
  EXPECT_EQ(kSavedStateFirstId, a);
  EXPECT_EQ(a + kSavedStateIdCount, b);
  for (int i = 0; i < 1000; ++i) {
    const int32_t base = list.NewSavedStateBase();
    EXPECT_GE(base, kSavedStateFirstId);
    EXPECT_LT(base + kSavedStateIdCount - 1, kSavedStateIdLimit);
  }
}

TEST(BookmarkList, ClearingEmptiesTheList) {
  TBookmarkList list;
  for (int i = 0; i < 10; ++i) list.SetMarker(i, 0, i);
  list.SetSearchHint(5);
  list.ClearMarkers();
  EXPECT_EQ(0, list.Count());
  EXPECT_EQ(nullptr, list.First());
  EXPECT_EQ(nullptr, list.FindMarker(3, -1));
  list.SetMarker(3, 0, 7);  // usable again, no stale hints
  EXPECT_EQ(7, list.FindMarker(3, -1)->Offset);
}

}  // namespace
