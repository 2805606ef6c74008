#include "platform/StringList.h"

#include <algorithm>

#include "platform/CodePage.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"
#include "platform/SortedSearch.h"
#include "platform/Streams.h"

// ---- TStrings --------------------------------------------------------------

void TStrings::ListError(const char* format, int index) { throw EListError(Format(format, index)); }

int TStrings::CompareStrings(std::string_view a, std::string_view b) const { return AnsiCompareText(a, b); }

void TStrings::Put(int index, const std::string& s) {
  void* object = GetObject(index);
  Delete(index);
  InsertObject(index, s, object);
}

void TStrings::InsertObject(int index, const std::string& s, void* object) {
  Insert(index, s);
  PutObject(index, object);
}

int TStrings::Add(const std::string& s) {
  int index = Count();
  Insert(index, s);
  return index;
}

int TStrings::AddObject(const std::string& s, void* object) {
  int index = Add(s);
  PutObject(index, object);
  return index;
}

void TStrings::AddStrings(const TStrings& other) {
  BeginUpdate();
  try {
    for (int i = 0; i < other.Count(); ++i) AddObject(other.Get(i), other.GetObject(i));
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

int TStrings::IndexOf(std::string_view s) const {
  for (int i = 0, n = Count(); i < n; ++i)
    if (CompareStrings(Get(i), s) == 0) return i;
  return -1;
}

void TStrings::Exchange(int index1, int index2) {
  BeginUpdate();
  try {
    std::string s1 = Get(index1), s2 = Get(index2);
    void* o1 = GetObject(index1);
    void* o2 = GetObject(index2);
    Put(index1, s2);
    PutObject(index1, o2);
    Put(index2, s1);
    PutObject(index2, o1);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::Move(int curIndex, int newIndex) {
  if (curIndex == newIndex) return;
  // Checked before the item is taken out, so that a bad target cannot lose it.
  if (newIndex < 0 || newIndex >= Count()) ListError("List index out of bounds (%d)", newIndex);
  BeginUpdate();
  try {
    std::string s = Get(curIndex);
    void* o = GetObject(curIndex);
    Delete(curIndex);
    InsertObject(newIndex, s, o);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::Assign(const TStrings& source) {
  if (&source == this) return;
  BeginUpdate();
  try {
    Clear();
    NameValueSeparator = source.NameValueSeparator;
    AddStrings(source);
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

std::string TStrings::GetText() const {
  std::string out;
  size_t total = 0;
  int n = Count();
  for (int i = 0; i < n; ++i) total += Get(i).size() + LineBreak.size();
  out.reserve(total);
  for (int i = 0; i < n; ++i) {
    out += Get(i);
    out += LineBreak;
  }
  return out;
}

void TStrings::SetText(std::string_view text) {
  BeginUpdate();
  try {
    Clear();
    size_t i = 0;
    while (i < text.size()) {
      size_t start = i;
      while (i < text.size() && text[i] != '\r' && text[i] != '\n') ++i;
      Add(std::string(text.substr(start, i - start)));
      if (i < text.size() && text[i] == '\r') ++i;
      if (i < text.size() && text[i] == '\n') ++i;
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

// The state change is announced while the list still counts as not updating,
// so that watchers hear "changing" once before and "changed" once after.
void TStrings::BeginUpdate() {
  if (updateCount_ == 0) SetUpdateState(true);
  ++updateCount_;
}

void TStrings::EndUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0) SetUpdateState(false);
}

std::string TStrings::Names(int index) const {
  std::string s = Get(index);
  size_t eq = s.find(NameValueSeparator);
  return eq == std::string::npos ? std::string() : s.substr(0, eq);
}

std::string TStrings::ValueFromIndex(int index) const {
  if (index < 0 || index >= Count()) return {};
  std::string s = Get(index);
  size_t eq = s.find(NameValueSeparator);
  return eq == std::string::npos ? std::string() : s.substr(eq + 1);
}

std::string TStrings::Values(std::string_view name) const { return ValueFromIndex(IndexOfName(name)); }

void TStrings::SetValue(std::string_view name, std::string_view value) {
  int i = IndexOfName(name);
  if (value.empty()) {
    if (i >= 0) Delete(i);
    return;
  }
  std::string item = std::string(name) + NameValueSeparator + std::string(value);
  if (i < 0) Add(item);
  else Put(i, item);
}

int TStrings::IndexOfName(std::string_view name) const {
  for (int i = 0, n = Count(); i < n; ++i) {
    std::string s = Get(i);
    size_t eq = s.find(NameValueSeparator);
    if (eq != std::string::npos && CompareStrings(std::string_view(s).substr(0, eq), name) == 0) return i;
  }
  return -1;
}

int TStrings::IndexOfObject(const void* object) const {
  for (int i = 0, n = Count(); i < n; ++i)
    if (GetObject(i) == object) return i;
  return -1;
}

std::string TStrings::CommaText() const {
  std::string out;
  for (int i = 0, n = Count(); i < n; ++i) {
    if (i > 0) out += ',';
    std::string s = Get(i);
    bool quote = s.empty() && n == 1;
    for (unsigned char c : s)
      if (c <= ' ' || c == ',' || c == '"') quote = true;
    if (!quote) {
      out += s;
      continue;
    }
    out += '"';
    for (char c : s) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  return out;
}

void TStrings::SetCommaText(std::string_view text) {
  BeginUpdate();
  try {
    Clear();
    size_t i = 0, n = text.size();
    auto skipBlanks = [&] {
      while (i < n && static_cast<unsigned char>(text[i]) <= ' ') ++i;
    };
    skipBlanks();
    while (i < n) {
      std::string item;
      if (text[i] == '"') {
        ++i;
        while (i < n) {
          if (text[i] == '"') {
            if (i + 1 < n && text[i + 1] == '"') {
              item += '"';
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          item += text[i++];
        }
      } else {
        while (i < n && static_cast<unsigned char>(text[i]) > ' ' && text[i] != ',') item += text[i++];
      }
      Add(item);
      skipBlanks();
      if (i < n && text[i] == ',') {
        ++i;
        skipBlanks();
        if (i == n) Add(std::string());
      }
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

void TStrings::LoadFromStream(TStream& stream) {
  int64_t size = stream.Size() - stream.Position();
  std::string text(static_cast<size_t>(std::max<int64_t>(size, 0)), '\0');
  text.resize(static_cast<size_t>(stream.Read(text.data(), static_cast<int64_t>(text.size()))));
  SetText(text);
}

void TStrings::SaveToStream(TStream& stream) const { stream.WriteString(GetText()); }

void TStrings::LoadFromFile(const std::string& fileName) {
  TFileStream file(fileName, fmOpenRead);
  LoadFromStream(file);
}

void TStrings::SaveToFile(const std::string& fileName) const {
  TReplaceStream file(fileName);
  SaveToStream(file);
  file.Commit();
}

bool TStrings::Equals(const TStrings& other) const {
  int n = Count();
  if (n != other.Count()) return false;
  for (int i = 0; i < n; ++i)
    if (Get(i) != other.Get(i)) return false;
  return true;
}

// ---- TStringList -----------------------------------------------------------

void TStringList::checkIndex(int index) const {
  if (index < 0 || index >= Count()) ListError("List index out of bounds (%d)", index);
}

const std::string& TStringList::Item(int index) const {
  checkIndex(index);
  return items_[static_cast<size_t>(index)].text;
}

std::string TStringList::Get(int index) const { return Item(index); }

void* TStringList::GetObject(int index) const {
  checkIndex(index);
  return items_[static_cast<size_t>(index)].object;
}

void TStringList::Put(int index, const std::string& s) {
  if (sorted_) throw EListError("Operation not allowed on sorted list");
  checkIndex(index);
  Changing();
  items_[static_cast<size_t>(index)].text = s;
  Changed();
}

void TStringList::PutObject(int index, void* object) {
  checkIndex(index);
  Changing();
  items_[static_cast<size_t>(index)].object = object;
  Changed();
}

void TStringList::Insert(int index, const std::string& s) { InsertObject(index, s, nullptr); }

void TStringList::InsertObject(int index, const std::string& s, void* object) {
  if (sorted_) throw EListError("Operation not allowed on sorted list");
  if (index < 0 || index > Count()) ListError("List index out of bounds (%d)", index);
  insertItem(index, s, object);
}

void TStringList::insertItem(int index, const std::string& s, void* object) {
  Changing();
  items_.insert(items_.begin() + index, Entry{s, object});
  Changed();
}

void TStringList::Delete(int index) {
  checkIndex(index);
  Changing();
  items_.erase(items_.begin() + index);
  Changed();
}

void TStringList::Clear() {
  if (items_.empty()) return;
  Changing();
  items_.clear();
  Changed();
}

int TStringList::Add(const std::string& s) { return AddObject(s, nullptr); }

int TStringList::AddObject(const std::string& s, void* object) {
  if (sorted_) return addSorted(s, object);
  int index = Count();
  insertItem(index, s, object);
  return index;
}

int TStringList::addSorted(const std::string& s, void* object) {
  int index;
  if (Find(s, index)) {
    if (Duplicates == dupIgnore) return index;
    if (Duplicates == dupError) throw EListError("String list does not allow duplicates");
  }
  insertItem(index, s, object);
  return index;
}

int TStringList::IndexOf(std::string_view s) const {
  if (!sorted_) return TStrings::IndexOf(s);
  int index;
  return Find(s, index) ? index : -1;
}

void TStringList::Exchange(int index1, int index2) {
  checkIndex(index1);
  checkIndex(index2);
  Changing();
  std::swap(items_[static_cast<size_t>(index1)], items_[static_cast<size_t>(index2)]);
  Changed();
}

void TStringList::Move(int curIndex, int newIndex) {
  if (curIndex == newIndex) return;
  if (sorted_) throw EListError("Operation not allowed on sorted list");
  checkIndex(curIndex);
  checkIndex(newIndex);
  Changing();
  Entry item = std::move(items_[static_cast<size_t>(curIndex)]);
  items_.erase(items_.begin() + curIndex);
  items_.insert(items_.begin() + newIndex, std::move(item));
  Changed();
}

bool TStringList::Find(std::string_view s, int& index) const {
  return SortedListFind(
      Count(), [&](int i) { return CompareStrings(items_[static_cast<size_t>(i)].text, s); }, index);
}

void TStringList::Sort() {
  CustomSort([](const TStringList& list, int a, int b) {
    return list.CompareStrings(list.items_[static_cast<size_t>(a)].text, list.items_[static_cast<size_t>(b)].text);
  });
}

void TStringList::CustomSort(const TCompare& compare) {
  if (Count() < 2) return;
  Changing();
  // The comparer takes item indexes, so sort a permutation and apply it.
  std::vector<int> order(items_.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return compare(*this, a, b) < 0; });
  std::vector<Entry> sorted;
  sorted.reserve(items_.size());
  for (int i : order) sorted.push_back(std::move(items_[static_cast<size_t>(i)]));
  items_ = std::move(sorted);
  Changed();
}

void TStringList::SetSorted(bool sorted) {
  if (sorted == sorted_) return;
  if (sorted) Sort();
  sorted_ = sorted;
}

void TStringList::SetCaseSensitive(bool value) {
  if (value == caseSensitive_) return;
  caseSensitive_ = value;
  if (sorted_) Sort();
}

int TStringList::CompareStrings(std::string_view a, std::string_view b) const {
  return caseSensitive_ ? AnsiCompareStr(a, b) : AnsiCompareText(a, b);
}

void TStringList::SetUpdateState(bool updating) {
  if (updating) Changing();
  else Changed();
}

void TStringList::Changing() {
  if (!Updating() && OnChanging) OnChanging(*this);
}

void TStringList::Changed() {
  if (!Updating() && OnChange) OnChange(*this);
}
