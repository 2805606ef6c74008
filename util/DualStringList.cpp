#include "util/DualStringList.h"
#include "platform/SortedSearch.h"

#include "platform/CodePage.h"
#include "platform/Exceptions.h"
#include "util/DualList.h"
#include "util/QuickSort.h"

void TDualStringList::checkIndex(int index) const {
  if (index < 0 || index >= Count()) ListError("List index out of bounds (%d)", index);
}

// Opening the outermost update tells OnChanging once, closing it tells
// OnChange once: TStrings calls this while the list still counts as not updating.
void TDualStringList::SetUpdateState(bool updating) {
  if (updating) Changing();
  else Changed();
}

void TDualStringList::Changing() {
  if (!Updating() && OnChanging) OnChanging(*this);
}

void TDualStringList::Changed() {
  if (!Updating() && OnChange) OnChange(*this);
}

void TDualStringList::SetCapacity(int capacity) {
  if (capacity < Count() || capacity > kMaxListSize) ListError("List capacity out of bounds (%d)", capacity);
  if (capacity > capacity_) items_.reserve(static_cast<size_t>(capacity));
  capacity_ = capacity;
}

void TDualStringList::reserveForOneMore() {
  if (Count() == capacity_) SetCapacity(GrowListCapacity(capacity_));
}

void TDualStringList::insertItem(int index, std::string name, std::string value) {
  reserveForOneMore();
  Changing();
  items_.emplace(items_.begin() + index, std::move(name), std::move(value));
  Changed();
}

std::string TDualStringList::Get(int index) const { return Name(index); }

const std::string& TDualStringList::Name(int index) const {
  checkIndex(index);
  return items_[static_cast<size_t>(index)].first;
}

const std::string& TDualStringList::Value(int index) const {
  checkIndex(index);
  return items_[static_cast<size_t>(index)].second;
}

void TDualStringList::Put(int index, const std::string& name) {
  if (sorted_) throw EListError("Sorted list err!");
  checkIndex(index);
  Changing();
  items_[static_cast<size_t>(index)].first = name;
  Changed();
}

void TDualStringList::Insert(int index, const std::string& name) { InsertValue(index, name, {}); }

void TDualStringList::InsertValue(int index, const std::string& name, const std::string& value) {
  if (sorted_) throw EListError("Sorted list err!");
  if (index < 0 || index > Count()) ListError("List index out of bounds (%d)", index);
  insertItem(index, name, value);
}

int TDualStringList::AddValue(const std::string& name, const std::string& value) {
  int index = Count();
  if (sorted_ && Find(name, index)) {
    if (Duplicates == dupIgnore) return index;
    if (Duplicates == dupError) throw EListError("Dup string!");
  }
  insertItem(index, name, value);
  return index;
}

void TDualStringList::Delete(int index) {
  checkIndex(index);
  Changing();
  items_.erase(items_.begin() + index);
  Changed();
}

void TDualStringList::Clear() {
  bool hadItems = !items_.empty();
  if (hadItems) Changing();
  items_.clear();
  items_.shrink_to_fit();
  capacity_ = 0;
  if (hadItems) Changed();
}

bool TDualStringList::Find(std::string_view name, int& index) const {
  return SortedListFind(
      Count(), [&](int i) { return AnsiCompareText(items_[static_cast<size_t>(i)].first, name); }, index);
}

int TDualStringList::IndexOf(std::string_view name) const {
  if (sorted_) {
    int index;
    return Find(name, index) ? index : -1;
  }
  for (int i = 0; i < Count(); ++i)
    if (AnsiSameText(items_[static_cast<size_t>(i)].first, name)) return i;
  return -1;
}

std::string TDualStringList::GetValue(int index) const { return Value(index); }

void TDualStringList::PutValue(int index, const std::string& value) {
  checkIndex(index);
  Changing();
  items_[static_cast<size_t>(index)].second = value;
  Changed();
}

std::string TDualStringList::GetValueEx(std::string_view name) const {
  int index = IndexOf(name);
  return index < 0 ? std::string() : items_[static_cast<size_t>(index)].second;
}

int TDualStringList::IndexOfValue(std::string_view value) const {
  for (int i = 0; i < Count(); ++i)
    if (AnsiSameText(items_[static_cast<size_t>(i)].second, value)) return i;
  return -1;
}

void TDualStringList::Exchange(int index1, int index2) {
  checkIndex(index1);
  checkIndex(index2);
  Changing();
  std::swap(items_[static_cast<size_t>(index1)], items_[static_cast<size_t>(index2)]);
  Changed();
}

void TDualStringList::Move(int curIndex, int newIndex) {
  if (curIndex == newIndex) return;
  checkIndex(curIndex);
  checkIndex(newIndex);
  Changing();
  auto item = std::move(items_[static_cast<size_t>(curIndex)]);
  items_.erase(items_.begin() + curIndex);
  items_.insert(items_.begin() + newIndex, std::move(item));
  Changed();
}

void TDualStringList::Assign(const TStrings& source) {
  if (&source == this) return;
  const auto* dual = dynamic_cast<const TDualStringList*>(&source);
  BeginUpdate();
  try {
    Clear();
    for (int i = 0; i < source.Count(); ++i) {
      if (dual) AddValue(dual->Name(i), dual->Value(i));
      else AddValue(source.Get(i), {});
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TDualStringList::Sort(const TCompare& compare) {
  if (sorted_ || Count() < 2) return;
  Changing();
  auto byName = [this](int a, int b) {
    return AnsiCompareText(items_[static_cast<size_t>(a)].first, items_[static_cast<size_t>(b)].first);
  };
  auto exchange = [this](int a, int b) { std::swap(items_[static_cast<size_t>(a)], items_[static_cast<size_t>(b)]); };
  if (compare) ListQuickSort(0, Count() - 1, [&](int a, int b) { return compare(*this, a, b); }, exchange);
  else ListQuickSort(0, Count() - 1, byName, exchange);
  Changed();
}

void TDualStringList::SetSorted(bool sorted) {
  if (sorted == sorted_) return;
  if (sorted) Sort();
  sorted_ = sorted;
}

std::string TDualStringList::GetIniText() const {
  std::string text;
  for (const auto& [name, value] : items_) {
    text += name;
    text += '=';
    text += value;
    text += "\r\n";
  }
  return text;
}

void TDualStringList::SetIniText(std::string_view text) {
  BeginUpdate();
  try {
    Clear();
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find_first_of("\r\n", start);
      std::string_view line = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
      size_t equals = line.find('=');
      if (equals == std::string_view::npos) AddValue(std::string(line), {});
      else AddValue(std::string(line.substr(0, equals)), std::string(line.substr(equals + 1)));
      if (end == std::string_view::npos) break;
      start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}
