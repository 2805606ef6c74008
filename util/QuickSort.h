#pragma once
// The quicksort of the lists: sorts the positions lo..hi through two
// callbacks, compare(a, b) (negative, zero, positive) and exchange(a, b).
// Hoare partition, so runs of equal items split evenly; the scans are bounded
// by the range, so a compare that is not a consistent order gives some order
// but never leads outside the range; the recursion goes into the smaller
// part, so its depth stays logarithmic.
template <class Compare, class Exchange>
void ListQuickSort(int lo, int hi, const Compare& compare, const Exchange& exchange) {
  while (lo < hi) {
    int pivot = lo + (hi - lo) / 2;
    int i = lo, j = hi;
    while (i <= j) {
      while (i < hi && compare(i, pivot) < 0) ++i;
      while (j > lo && compare(j, pivot) > 0) --j;
      if (i <= j) {
        if (i != j) {
          exchange(i, j);
          // The pivot is compared by position, so follow it when it moves.
          if (pivot == i) pivot = j;
          else if (pivot == j) pivot = i;
        }
        ++i;
        --j;
      }
    }
    if (j - lo < hi - i) {
      ListQuickSort(lo, j, compare, exchange);
      lo = i;
    } else {
      ListQuickSort(i, hi, compare, exchange);
      hi = j;
    }
  }
}
