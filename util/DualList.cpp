#include "util/DualList.h"
#include "platform/SortedSearch.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/Exceptions.h"
#include "platform/Format.h"
#include "util/QuickSort.h"

namespace {

[[noreturn]] void listError(const char* format, int value) { throw EListError(Format(format, value)); }

}  // namespace

int GrowListCapacity(int capacity) {
  int delta = capacity > 64 ? capacity / 4 : capacity > 8 ? 16 : 4;
  return capacity + delta;
}

int CompareDualListItems(void* item1, void* item2) {
  auto a = reinterpret_cast<uintptr_t>(item1), b = reinterpret_cast<uintptr_t>(item2);
  return (a > b) - (a < b);
}

void TDualList::checkIndex(int index) const {
  if (index < 0 || index >= count_) listError("List index out of bounds (%d)", index);
}

void TDualList::grow() { SetCapacity(std::min(GrowListCapacity(capacity_), std::max(kMaxListSize, capacity_ + 1))); }

void TDualList::SetCapacity(int capacity) {
  if (capacity < count_ || capacity > kMaxListSize) listError("List capacity out of bounds (%d)", capacity);
  if (capacity == capacity_) return;
  auto pairs = std::make_unique<TPair[]>(static_cast<size_t>(capacity));
  if (count_ > 0) std::memcpy(pairs.get(), pairs_.get(), sizeof(TPair) * static_cast<size_t>(count_));
  pairs_ = std::move(pairs);
  capacity_ = capacity;
}

void TDualList::SetCount(int count) {
  if (count < 0 || count > kMaxListSize) listError("List count out of bounds (%d)", count);
  if (count > capacity_) SetCapacity(count);
  for (int i = count_; i < count; ++i) pairs_[static_cast<size_t>(i)] = TPair{nullptr, 0};
  count_ = count;
}

int TDualList::Add(void* item, int32_t value) {
  int index = count_;
  InsertValue(index, item, value);
  return index;
}

void TDualList::InsertValue(int index, void* item, int32_t value) {
  if (index < 0 || index > count_) listError("List index out of bounds (%d)", index);
  if (count_ == capacity_) grow();
  TPair* p = pairs_.get();
  std::memmove(p + index + 1, p + index, sizeof(TPair) * static_cast<size_t>(count_ - index));
  p[index] = TPair{item, value};
  ++count_;
}

void TDualList::Delete(int index) {
  checkIndex(index);
  TPair* p = pairs_.get();
  std::memmove(p + index, p + index + 1, sizeof(TPair) * static_cast<size_t>(count_ - index - 1));
  --count_;
}

void TDualList::Clear() {
  pairs_.reset();
  count_ = capacity_ = 0;
}

void* TDualList::Get(int index) const {
  checkIndex(index);
  return pairs_[static_cast<size_t>(index)].Item;
}

void TDualList::Put(int index, void* item) {
  checkIndex(index);
  pairs_[static_cast<size_t>(index)].Item = item;
}

int32_t TDualList::GetValue(int index) const {
  checkIndex(index);
  return pairs_[static_cast<size_t>(index)].Value;
}

void TDualList::PutValue(int index, int32_t value) {
  checkIndex(index);
  pairs_[static_cast<size_t>(index)].Value = value;
}

int TDualList::IndexOf(const void* item) const {
  for (int i = 0; i < count_; ++i)
    if (pairs_[static_cast<size_t>(i)].Item == item) return i;
  return -1;
}

int TDualList::IndexOfValue(int32_t value) const {
  for (int i = 0; i < count_; ++i)
    if (pairs_[static_cast<size_t>(i)].Value == value) return i;
  return -1;
}

void TDualList::Move(int from, int to) {
  if (from == to) return;
  checkIndex(from);
  checkIndex(to);
  TPair* p = pairs_.get();
  TPair moving = p[from];
  if (from < to) std::memmove(p + from, p + from + 1, sizeof(TPair) * static_cast<size_t>(to - from));
  else std::memmove(p + to + 1, p + to, sizeof(TPair) * static_cast<size_t>(from - to));
  p[to] = moving;
}

void TDualList::Exchange(int index1, int index2) {
  checkIndex(index1);
  checkIndex(index2);
  std::swap(pairs_[static_cast<size_t>(index1)], pairs_[static_cast<size_t>(index2)]);
}

void TDualList::Sort(const TDualListCompare& compare) {
  if (count_ < 2) return;
  TPair* p = pairs_.get();
  const TDualListCompare& cmp = compare ? compare : TDualListCompare(CompareDualListItems);
  ListQuickSort(
      0, count_ - 1, [&](int a, int b) { return cmp(p[a].Item, p[b].Item); }, [&](int a, int b) { std::swap(p[a], p[b]); });
}

bool Sorted2ListFind(const TDualList& list, void* key, int& index, const TDualListCompare& compare) {
  const TDualListCompare& cmp = compare ? compare : TDualListCompare(CompareDualListItems);
  return SortedListFind(list.Count(), [&](int i) { return cmp(list.Pairs()[i].Item, key); }, index);
}
