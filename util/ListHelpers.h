#pragma once
// Helpers for lists created on demand and for freeing owned objects. Ownership
// is explicit in this code, so nothing here tests whether memory holds a live
// object: a list of owned pointers is freed by deleting each item once.
#include <algorithm>
#include <memory>
#include <vector>

#include "platform/StringList.h"

// Appends item, creating the list first when it does not exist; answers the index.
template <class T>
int ListAdd(std::unique_ptr<std::vector<T>>& list, T item) {
  if (!list) list = std::make_unique<std::vector<T>>();
  list->push_back(std::move(item));
  return static_cast<int>(list->size()) - 1;
}

// Appends item only when the list does not hold it yet; answers its index.
template <class T>
int ListAddSingle(std::unique_ptr<std::vector<T>>& list, T item) {
  if (list) {
    auto found = std::find(list->begin(), list->end(), item);
    if (found != list->end()) return static_cast<int>(found - list->begin());
  }
  return ListAdd(list, std::move(item));
}

// Removes the first occurrence of item; answers its former index, or -1.
template <class T>
int ListRemove(std::vector<T>* list, const T& item) {
  if (!list) return -1;
  auto found = std::find(list->begin(), list->end(), item);
  if (found == list->end()) return -1;
  int index = static_cast<int>(found - list->begin());
  list->erase(found);
  return index;
}

// Deletes obj; an exception from its destructor is swallowed.
template <class T>
void SaveFree(T* obj) noexcept {
  try {
    delete obj;
  } catch (...) {
  }
}

// Clears the variable first, so that nothing reaches the object while it is
// being destroyed, then deletes it, swallowing exceptions.
template <class T>
void FreeAndNil(T*& ref) noexcept {
  T* old = ref;
  ref = nullptr;
  SaveFree(old);
}

// Clears the variable, then deletes the items from the last to the first
// (an exception of one item does not stop the others), then the list.
template <class T>
void FreeListAndItems(std::unique_ptr<std::vector<T*>>& list) noexcept {
  std::unique_ptr<std::vector<T*>> taken = std::move(list);
  if (!taken) return;
  for (auto it = taken->rbegin(); it != taken->rend(); ++it) SaveFree(*it);
}

// A new sorted string list with the given handling of duplicates.
std::unique_ptr<TStringList> CreateSortedList(TDuplicates duplicates = dupIgnore);
