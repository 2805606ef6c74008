#pragma once
// Binary search over positions 0..count-1 of a sorted list. compareAt(i)
// compares item i with the key (negative, zero, positive). Answers whether an
// equal item exists; index is the first equal item, or the position where the
// key would be inserted. With duplicates the first of them is found.
template <class CompareAt>
bool SortedListFind(int count, const CompareAt& compareAt, int& index) {
  int lo = 0, hi = count - 1;
  bool found = false;
  while (lo <= hi) {
    int mid = lo + (hi - lo) / 2;
    int c = compareAt(mid);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) found = true;
    }
  }
  index = lo;
  return found;
}
