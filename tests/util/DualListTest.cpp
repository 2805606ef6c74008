#include "util/DualList.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/Exceptions.h"

namespace {

void* item(uintptr_t n) { return reinterpret_cast<void*>(n); }

std::string listErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EListError& e) {
    return e.Message();
  }
  return "no error";
}

}  // namespace

TEST(DualList, CapacityGrowsBy4Then16ThenAQuarter) {
  TDualList list;
  std::vector<int> capacities;
  for (int i = 0; i < 30; ++i) {
    list.Add(item(i));
    if (capacities.empty() || capacities.back() != list.Capacity()) capacities.push_back(list.Capacity());
  }
  EXPECT_EQ(capacities, (std::vector<int>{4, 8, 12, 28, 44}));

  TDualList full;
  full.SetCapacity(64);
  for (int i = 0; i < 64; ++i) full.Add(item(i));
  EXPECT_EQ(full.Capacity(), 64);
  full.Add(item(64));
  EXPECT_EQ(full.Capacity(), 80);
  while (full.Count() < 80) full.Add(nullptr);
  full.Add(nullptr);
  EXPECT_EQ(full.Capacity(), 100);
}

TEST(DualList, PairsStayTogether) {
  TDualList list;
  for (int i = 0; i < 5; ++i) EXPECT_EQ(list.Add(item(10 + i), 100 + i), i);
  list.InsertValue(0, item(9), 99);
  list.Delete(3);  // item 12
  list.Move(0, 4);
  list.Exchange(0, 1);
  // items now 11, 10, 13, 14, 9
  const uintptr_t items[] = {11, 10, 13, 14, 9};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(list.Get(i), item(items[i])) << i;
    EXPECT_EQ(list.GetValue(i), static_cast<int32_t>(items[i] + 90)) << i;
  }
  EXPECT_EQ(list.IndexOf(item(13)), 2);
  EXPECT_EQ(list.IndexOfValue(99), 4);
  EXPECT_EQ(list.IndexOf(item(12)), -1);
  EXPECT_EQ(list.IndexOfValue(7), -1);
  list.PutValue(1, -5);
  list.Put(1, item(77));
  EXPECT_EQ(list.Get(1), item(77));
  EXPECT_EQ(list.GetValue(1), -5);

  list.SetCount(7);
  EXPECT_EQ(list.Get(6), nullptr);
  EXPECT_EQ(list.GetValue(6), 0);
  list.SetCount(2);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Get(1), item(77));
}

TEST(DualList, ErrorsNameTheBadNumber) {
  TDualList list;
  for (int i = 0; i < 5; ++i) list.Add(item(i));
  struct Case {
    const char* what;
    std::function<void()> action;
    const char* message;
  } cases[] = {
      {"get -1", [&] { list.Get(-1); }, "List index out of bounds (-1)"},
      {"get count", [&] { list.GetValue(5); }, "List index out of bounds (5)"},
      {"delete count", [&] { list.Delete(5); }, "List index out of bounds (5)"},
      {"insert past count", [&] { list.InsertValue(6, nullptr, 0); }, "List index out of bounds (6)"},
      {"move to count", [&] { list.Move(0, 5); }, "List index out of bounds (5)"},
      {"capacity below count", [&] { list.SetCapacity(4); }, "List capacity out of bounds (4)"},
      {"capacity too large", [&] { list.SetCapacity(0x8000000); }, "List capacity out of bounds (134217728)"},
      {"negative count", [&] { list.SetCount(-1); }, "List count out of bounds (-1)"},
  };
  for (const Case& c : cases) EXPECT_EQ(listErrorOf(c.action), c.message) << c.what;
  EXPECT_EQ(list.Count(), 5);
}

TEST(DualList, DefaultSortIsThreeWayOnFullPointers) {
  // A 32-bit difference of these two items has the wrong sign.
  TDualList list;
  list.Add(item(uintptr_t(1) << 32), 1);
  list.Add(item(1), 2);
  list.Add(item(0xFFFFFFFF), 3);
  list.Sort();
  EXPECT_EQ(list.Get(0), item(1));
  EXPECT_EQ(list.Get(1), item(0xFFFFFFFF));
  EXPECT_EQ(list.Get(2), item(uintptr_t(1) << 32));
  EXPECT_EQ(list.GetValue(0), 2);
  EXPECT_EQ(list.GetValue(2), 1);

  int found = -1;
  EXPECT_TRUE(Sorted2ListFind(list, item(0xFFFFFFFF), found));
  EXPECT_EQ(found, 1);
  EXPECT_FALSE(Sorted2ListFind(list, item(2), found));
  EXPECT_EQ(found, 1);
  EXPECT_FALSE(Sorted2ListFind(list, item(uintptr_t(2) << 32), found));
  EXPECT_EQ(found, 3);
}

TEST(DualList, SortWithACompareAndItsValuesFollow) {
  TDualList list;
  std::mt19937 random(7);
  for (int i = 0; i < 1000; ++i) {
    uintptr_t key = random() % 100;
    list.Add(item(key), static_cast<int32_t>(key * 3));
  }
  auto descending = [](void* a, void* b) { return CompareDualListItems(b, a); };
  list.Sort(descending);
  for (int i = 0; i < list.Count(); ++i) {
    EXPECT_EQ(list.GetValue(i), static_cast<int32_t>(reinterpret_cast<uintptr_t>(list.Get(i)) * 3));
    if (i > 0) {
      EXPECT_GE(list.Get(i - 1), list.Get(i));
    }
  }
  int found = -1;
  ASSERT_TRUE(Sorted2ListFind(list, item(50), found, descending));
  EXPECT_EQ(list.Get(found), item(50));
  EXPECT_NE(list.Get(found - 1), item(50));  // the first of the equal items
}

TEST(DualList, SortSurvivesAnInconsistentCompareAndManyEqualItems) {
  TDualList list;
  for (int i = 0; i < 2000; ++i) list.Add(item(i), i);
  std::mt19937 random(1);
  list.Sort([&](void*, void*) { return static_cast<int>(random() % 3) - 1; });
  std::vector<bool> seen(2000);
  for (int i = 0; i < list.Count(); ++i) {
    auto n = reinterpret_cast<uintptr_t>(list.Get(i));
    ASSERT_LT(n, 2000u);
    EXPECT_EQ(list.GetValue(i), static_cast<int32_t>(n));
    seen[n] = true;
  }
  EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 2000);

  TDualList same;
  for (int i = 0; i < 100000; ++i) same.Add(item(42), i);
  long compares = 0;
  same.Sort([&](void* a, void* b) {
    ++compares;
    return CompareDualListItems(a, b);
  });
  EXPECT_LT(compares, 100000L * 40);  // n log n, not n squared
}
