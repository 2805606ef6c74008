#include "platform/StringList.h"

#include <gtest/gtest.h>

#include "platform/Exceptions.h"
#include "platform/Streams.h"

TEST(StringList, TextSplitsEveryLineEndAndJoinsWithTheLineBreak) {
  TStringList list;
  list.SetText("one\r\ntwo\nthree\rfour");
  ASSERT_EQ(list.Count(), 4);
  EXPECT_EQ(list[3], "four");
  EXPECT_EQ(list.GetText(), "one\r\ntwo\r\nthree\r\nfour\r\n");
  list.SetText("a\n\nb\n");
  EXPECT_EQ(list.Count(), 3) << "an empty line is an item, a final line end is not";
  list.LineBreak = "\n";
  EXPECT_EQ(list.GetText(), "a\n\nb\n");
}

TEST(StringList, NamesAndValuesIgnoreCaseOfTheName) {
  TStringList list;
  list.Add("Width=80");
  list.Add("noequals");
  list.Add("Path=a=b");
  EXPECT_EQ(list.Values("WIDTH"), "80");
  EXPECT_EQ(list.Values("path"), "a=b");
  EXPECT_EQ(list.Names(1), "");
  EXPECT_EQ(list.Values("missing"), "");
  list.SetValue("width", "100");
  EXPECT_EQ(list[0], "width=100");
  list.SetValue("New", "1");
  EXPECT_EQ(list[3], "New=1");
  list.SetValue("path", "");
  EXPECT_EQ(list.IndexOfName("Path"), -1);
}

TEST(StringList, SortedListFindsAndHandlesDuplicates) {
  TStringList list;
  list.SetSorted(true);
  for (const char* s : {"pear", "Apple", "fig", "apple"}) list.Add(s);
  EXPECT_EQ(list.Count(), 3) << "dupIgnore drops a name equal but for case";
  EXPECT_EQ(list[0], "Apple");
  int index;
  EXPECT_FALSE(list.Find("grape", index));
  EXPECT_EQ(index, 2);
  EXPECT_EQ(list.IndexOf("PEAR"), 2);
  EXPECT_THROW(list.Insert(0, "x"), EListError);
  list.Duplicates = dupError;
  EXPECT_THROW(list.Add("FIG"), EListError);
  list.Duplicates = dupAccept;
  list.Add("FIG");
  EXPECT_EQ(list.Count(), 4);
}

TEST(StringList, ObjectsTravelWithTheirItems) {
  TStringList list;
  int a = 1, b = 2;
  list.AddObject("b", &b);
  list.AddObject("a", &a);
  list.Sort();
  EXPECT_EQ(list.GetObject(0), &a);
  list.Move(0, 1);
  EXPECT_EQ(list.GetObject(1), &a);
  EXPECT_EQ(list.IndexOfObject(&b), 0);
  EXPECT_THROW(list.GetObject(2), EListError);
}

TEST(StringList, AMoveThatCannotBeDoneRaisesAndKeepsEveryItem) {
  TStringList list;
  int a = 1;
  list.AddObject("a", &a);
  list.Add("b");
  list.Add("c");
  EXPECT_THROW(list.Move(0, 3), EListError);
  EXPECT_THROW(list.Move(-1, 0), EListError);
  EXPECT_EQ(list.GetText(), "a\r\nb\r\nc\r\n");
  list.Move(0, 2);
  EXPECT_EQ(list.GetText(), "b\r\nc\r\na\r\n");
  EXPECT_EQ(list.GetObject(2), &a);

  list.SetSorted(true);
  EXPECT_THROW(list.Move(0, 1), EListError);
  EXPECT_EQ(list.GetText(), "a\r\nb\r\nc\r\n");
}

TEST(StringList, UpdateBracketsNotifyOnceAroundTheChange) {
  TStringList list;
  int changing = 0, changed = 0;
  list.OnChanging = [&](TStringList&) { ++changing; };
  list.OnChange = [&](TStringList&) { ++changed; };
  list.Add("x");
  EXPECT_EQ(changing, 1);
  EXPECT_EQ(changed, 1);
  list.BeginUpdate();
  list.Add("y");
  list.Add("z");
  list.EndUpdate();
  EXPECT_EQ(changing, 2);
  EXPECT_EQ(changed, 2);
}

TEST(StringList, CommaTextQuotesWhatNeedsIt) {
  TStringList list;
  list.SetCommaText("a, \"b c\",\"say \"\"hi\"\"\",d");
  ASSERT_EQ(list.Count(), 4);
  EXPECT_EQ(list[1], "b c");
  EXPECT_EQ(list[2], "say \"hi\"");
  EXPECT_EQ(list.CommaText(), "a,\"b c\",\"say \"\"hi\"\"\",d");
}

TEST(StringList, StreamRoundTrip) {
  TStringList list;
  list.SetText("x\ny");
  TMemoryStream m;
  list.SaveToStream(m);
  EXPECT_EQ(m.ToString(), "x\r\ny\r\n");
  m.SetPosition(0);
  TStringList back;
  back.LoadFromStream(m);
  EXPECT_TRUE(back.Equals(list));
}
