#pragma once
// TDualStringList: a string list whose every item is a pair (name, value).
// The name is the item's string as TStrings sees it; the value travels with
// it through every insertion, move, exchange and sort. The list keeps no
// objects: reading an item's object gives none, setting one does nothing.
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/StringList.h"

class TDualStringList : public TStrings {
public:
  using TNotifyEvent = std::function<void(TDualStringList&)>;
  using TCompare = std::function<int(const TDualStringList&, int index1, int index2)>;

  TDualStringList() = default;
  TDualStringList(const TDualStringList& other) { Assign(other); }
  TDualStringList& operator=(const TDualStringList& other) {
    if (this != &other) Assign(other);
    return *this;
  }

  int Count() const override { return static_cast<int>(items_.size()); }
  int Capacity() const { return capacity_; }
  // Raises "List capacity out of bounds" below the count or above kMaxListSize.
  void SetCapacity(int capacity);

  std::string Get(int index) const override;
  // Raises "Sorted list err!" on a sorted list.
  void Put(int index, const std::string& name) override;
  void* GetObject(int) const override { return nullptr; }
  void PutObject(int, void*) override {}
  // Raises "Sorted list err!" on a sorted list.
  void Insert(int index, const std::string& name) override;
  void InsertObject(int index, const std::string& name, void*) override { Insert(index, name); }
  // On a sorted list, a name already present is ignored (answering its
  // index), added again or refused with "Dup string!", as Duplicates says.
  int Add(const std::string& name) override { return AddValue(name, {}); }
  int AddObject(const std::string& name, void*) override { return Add(name); }
  void Delete(int index) override;
  void Clear() override;
  // Sorted: Find; otherwise the first name equal ignoring case; -1 when absent.
  int IndexOf(std::string_view name) const override;
  void Exchange(int index1, int index2) override;
  void Move(int curIndex, int newIndex) override;
  // Names and values from another TDualStringList, names only from any other list.
  void Assign(const TStrings& source) override;

  // Both parts with one change notification.
  int AddValue(const std::string& name, const std::string& value);
  void InsertValue(int index, const std::string& name, const std::string& value);
  std::string GetValue(int index) const;
  void PutValue(int index, const std::string& value);
  // The value of the item named name (IndexOf), empty when there is none.
  std::string GetValueEx(std::string_view name) const;
  // First item whose value equals value ignoring case, -1 when absent.
  int IndexOfValue(std::string_view value) const;

  // Binary search by AnsiCompareText: true with the index of the match, or
  // false with the index where name belongs. The list must be sorted.
  bool Find(std::string_view name, int& index) const;
  // Sorts an unsorted list (default: AnsiCompareText of the names).
  void Sort(const TCompare& compare = nullptr);
  bool Sorted() const { return sorted_; }
  void SetSorted(bool sorted);
  TDuplicates Duplicates = dupIgnore;

  // Per item: name, "=", value, CR LF.
  std::string GetIniText() const;
  // Replaces the items with the lines of text, each split at its first "="
  // (a line without "=" is a name with an empty value).
  void SetIniText(std::string_view text);

  const std::string& Name(int index) const;
  const std::string& Value(int index) const;

  TNotifyEvent OnChanging;
  TNotifyEvent OnChange;

protected:
  void SetUpdateState(bool updating) override;
  void Changing();
  void Changed();

private:
  void checkIndex(int index) const;
  void insertItem(int index, std::string name, std::string value);
  void reserveForOneMore();

  std::vector<std::pair<std::string, std::string>> items_;
  int capacity_ = 0;
  bool sorted_ = false;
};
