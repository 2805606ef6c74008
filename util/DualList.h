#pragma once
// TDualList: a growable array of pairs (pointer-sized item, 32-bit value)
// that move together.
#include <cstdint>
#include <functional>
#include <memory>

// Compares two items: negative, zero or positive.
using TDualListCompare = std::function<int(void* item1, void* item2)>;

constexpr int kMaxListSize = 0x7FFFFFF;

// The capacity a full list grows to: by 4 up to 8, by 16 up to 64, and by a
// quarter above 64 (64 -> 80 -> 100).
int GrowListCapacity(int capacity);

class TDualList {
public:
  struct TPair {
    void* Item;
    int32_t Value;
  };

  TDualList() = default;
  TDualList(const TDualList&) = delete;
  TDualList& operator=(const TDualList&) = delete;

  int Count() const { return count_; }
  int Capacity() const { return capacity_; }

  // Append and answer the index.
  int Add(void* item, int32_t value = 0);
  int AddValue(void* item, int32_t value) { return Add(item, value); }
  void Insert(int index, void* item) { InsertValue(index, item, 0); }
  void InsertValue(int index, void* item, int32_t value);
  void Delete(int index);
  void Clear();

  void* Get(int index) const;
  void Put(int index, void* item);
  int32_t GetValue(int index) const;
  void PutValue(int index, int32_t value);
  void* operator[](int index) const { return Get(index); }

  // First index of the item / the value, or -1.
  int IndexOf(const void* item) const;
  int IndexOfValue(int32_t value) const;
  // Takes the pair at from out and puts it back at to.
  void Move(int from, int to);
  void Exchange(int index1, int index2);

  // Raises "List capacity out of bounds" below the count or above kMaxListSize.
  void SetCapacity(int capacity);
  // Growing adds zero pairs; shrinking deletes from the end.
  void SetCount(int count);

  // Sorts the pairs by their items (default: the items' addresses in
  // ascending order). A compare that is not a consistent order gives some
  // order, never a fault.
  void Sort(const TDualListCompare& compare = nullptr);

  const TPair* Pairs() const { return pairs_.get(); }

private:
  void checkIndex(int index) const;
  void grow();

  std::unique_ptr<TPair[]> pairs_;
  int count_ = 0;
  int capacity_ = 0;
};

// Binary search of a list sorted by compare (default as Sort's) for key:
// true with the index of a match, or false with the index where key belongs.
bool Sorted2ListFind(const TDualList& list, void* key, int& index, const TDualListCompare& compare = nullptr);

// The default order of items: their addresses, three-way.
int CompareDualListItems(void* item1, void* item2);
