#include "util/DualStringList.h"

#include <gtest/gtest.h>

#include "platform/CodePage.h"
#include "platform/Exceptions.h"

namespace {

std::string errorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EListError& e) {
    return e.Message();
  }
  return "no error";
}

std::string pairs(const TDualStringList& list) {
  std::string s;
  for (int i = 0; i < list.Count(); ++i) s += list.Name(i) + ":" + list.Value(i) + " ";
  return s;
}

}  // namespace

TEST(DualStringList, SortedAddHandlesDuplicatesAsAsked) {
  TDualStringList list;
  list.SetSorted(true);
  list.AddValue("beta", "2");
  list.AddValue("Alpha", "1");
  list.AddValue("gamma", "3");
  EXPECT_EQ(pairs(list), "Alpha:1 beta:2 gamma:3 ");
  EXPECT_EQ(list.AddValue("ALPHA", "again"), 0);  // ignored
  EXPECT_EQ(list.Count(), 3);

  list.Duplicates = dupAccept;
  list.AddValue("BETA", "4");
  EXPECT_EQ(list.Count(), 4);
  EXPECT_EQ(list.IndexOf("beta"), 1);

  list.Duplicates = dupError;
  EXPECT_EQ(errorOf([&] { list.Add("Gamma"); }), "Dup string!");
  EXPECT_EQ(errorOf([&] { list.Insert(0, "x"); }), "Sorted list err!");
  EXPECT_EQ(errorOf([&] { list.Put(0, "x"); }), "Sorted list err!");
  EXPECT_EQ(errorOf([&] { list.GetValue(4); }), "List index out of bounds (4)");
  EXPECT_EQ(list.Count(), 4);
}

TEST(DualStringList, LookupIgnoresCaseOfTheCodePagesLetters) {
  for (bool sorted : {false, true}) {
    TDualStringList list;
    list.AddValue(Utf8ToAnsi("Žába"), "frog");
    list.AddValue("cat", "Kitty");
    list.SetSorted(sorted);
    EXPECT_EQ(list.GetValueEx(Utf8ToAnsi("žÁBA")), "frog") << sorted;
    EXPECT_EQ(list.GetValueEx("dog"), "") << sorted;
    EXPECT_EQ(list.IndexOf("CAT"), list.IndexOfValue("kitty")) << sorted;
    EXPECT_EQ(list.IndexOf("dog"), -1) << sorted;
  }
  TDualStringList list;
  list.SetSorted(true);
  for (const char* name : {"b", "d", "f"}) list.Add(name);
  int index = -1;
  EXPECT_FALSE(list.Find("E", index));
  EXPECT_EQ(index, 2);
  EXPECT_TRUE(list.Find("D", index));
  EXPECT_EQ(index, 1);
}

TEST(DualStringList, ValuesMoveWithTheirNames) {
  TDualStringList list;
  list.AddValue("c", "3");
  list.AddValue("a", "1");
  list.InsertValue(1, "b", "2");
  list.Exchange(0, 2);
  EXPECT_EQ(pairs(list), "a:1 b:2 c:3 ");
  list.Move(0, 2);
  EXPECT_EQ(pairs(list), "b:2 c:3 a:1 ");
  list.Sort();
  EXPECT_EQ(pairs(list), "a:1 b:2 c:3 ");
  list.Sort([](const TDualStringList& l, int a, int b) { return -AnsiCompareText(l.Value(a), l.Value(b)); });
  EXPECT_EQ(pairs(list), "c:3 b:2 a:1 ");
  list.PutValue(0, "three");
  list.Put(0, "C");
  list.Delete(1);
  EXPECT_EQ(pairs(list), "C:three a:1 ");
  list.PutObject(0, &list);
  EXPECT_EQ(list.GetObject(0), nullptr);
}

TEST(DualStringList, OneNotificationPerChangeAndNoneInsideAnUpdate) {
  TDualStringList list;
  std::string events;
  list.OnChanging = [&](TDualStringList&) { events += "<"; };
  list.OnChange = [&](TDualStringList& l) { events += std::to_string(l.Count()) + ">"; };
  list.AddValue("a", "1");
  list.PutValue(0, "2");
  list.Delete(0);
  EXPECT_EQ(events, "<1><1><0>");
  events.clear();
  list.BeginUpdate();
  list.AddValue("a", "1");
  list.AddValue("b", "2");
  list.EndUpdate();
  EXPECT_EQ(events, "<2>");
}

TEST(DualStringList, IniTextRoundTripAndAssign) {
  TDualStringList list;
  list.SetIniText("name=value\r\nempty=\r\nplain\nx=a=b\r\n");
  EXPECT_EQ(pairs(list), "name:value empty: plain: x:a=b ");
  EXPECT_EQ(list.GetIniText(), "name=value\r\nempty=\r\nplain=\r\nx=a=b\r\n");
  TDualStringList copy;
  copy.SetIniText(list.GetIniText());
  EXPECT_EQ(pairs(copy), pairs(list));

  TDualStringList assigned;
  assigned.Assign(list);
  EXPECT_EQ(pairs(assigned), pairs(list));
  TStringList names;
  names.Add("k=v");
  assigned.Assign(names);
  EXPECT_EQ(pairs(assigned), "k=v: ");
}

TEST(DualStringList, CapacityGrowsLikeTheOtherLists) {
  TDualStringList list;
  list.SetCapacity(64);
  for (int i = 0; i < 65; ++i) list.Add(std::to_string(i));
  EXPECT_EQ(list.Capacity(), 80);
  EXPECT_EQ(errorOf([&] { list.SetCapacity(10); }), "List capacity out of bounds (10)");
}
