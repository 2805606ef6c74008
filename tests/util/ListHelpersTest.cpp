#include "util/ListHelpers.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

namespace {

// Records its destruction, and whether its owner's variable still held it then.
struct Tracked {
  Tracked(std::string name, std::string& log, std::function<bool()> held, bool throws = false)
      : name(std::move(name)), log(log), held(std::move(held)), throws(throws) {}
  ~Tracked() noexcept(false) {
    log += name + (held() ? "(still held) " : " ");
    if (throws) throw std::runtime_error("destructor failed");
  }
  std::string name;
  std::string& log;
  std::function<bool()> held;
  bool throws;
};

}  // namespace

TEST(ListHelpers, ListsAreCreatedOnDemand) {
  std::unique_ptr<std::vector<int>> list;
  EXPECT_EQ(ListRemove(list.get(), 1), -1);
  EXPECT_EQ(ListAdd(list, 5), 0);
  ASSERT_TRUE(list);
  EXPECT_EQ(ListAdd(list, 6), 1);
  EXPECT_EQ(ListAddSingle(list, 5), 0);
  EXPECT_EQ(ListAddSingle(list, 7), 2);
  EXPECT_EQ(*list, (std::vector<int>{5, 6, 7}));
  EXPECT_EQ(ListRemove(list.get(), 6), 1);
  EXPECT_EQ(ListRemove(list.get(), 6), -1);
  EXPECT_EQ(*list, (std::vector<int>{5, 7}));

  std::unique_ptr<std::vector<int>> fresh;
  EXPECT_EQ(ListAddSingle(fresh, 1), 0);
}

TEST(ListHelpers, FreeListAndItemsClearsFirstThenFreesLastToFirstPastFailures) {
  std::string log;
  std::unique_ptr<std::vector<Tracked*>> list;
  auto held = [&] { return list != nullptr; };
  for (const char* name : {"a", "b", "c"}) ListAdd(list, new Tracked(name, log, held, name[0] == 'b'));
  FreeListAndItems(list);
  EXPECT_FALSE(list);
  EXPECT_EQ(log, "c b a ");
  FreeListAndItems(list);  // nothing left to free
}

TEST(ListHelpers, FreeAndNilClearsTheVariableBeforeTheObjectGoes) {
  std::string log;
  Tracked* holder = nullptr;
  auto held = [&] { return holder != nullptr; };
  holder = new Tracked("x", log, held, true);
  FreeAndNil(holder);
  EXPECT_EQ(holder, nullptr);
  EXPECT_EQ(log, "x ");
  FreeAndNil(holder);
  SaveFree(new Tracked("y", log, [] { return false; }, true));
  EXPECT_EQ(log, "x y ");
}

TEST(ListHelpers, CreateSortedList) {
  auto list = CreateSortedList(dupError);
  EXPECT_TRUE(list->Sorted());
  EXPECT_EQ(list->Duplicates, dupError);
  list->Add("b");
  list->Add("a");
  EXPECT_EQ(list->Get(0), "a");
}
