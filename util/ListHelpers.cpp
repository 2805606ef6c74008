#include "util/ListHelpers.h"

std::unique_ptr<TStringList> CreateSortedList(TDuplicates duplicates) {
  auto list = std::make_unique<TStringList>();
  list->Duplicates = duplicates;
  list->SetSorted(true);
  return list;
}
