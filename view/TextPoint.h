#pragma once
// A place in a view: Col is the character offset inside the display line
// (a tab counts as one), Line the 64-bit display line index.
#include <cstdint>

struct TTextPoint {
  int32_t Col = 0;
  int64_t Line = 0;

  friend bool operator==(const TTextPoint&, const TTextPoint&) = default;
};

// Text order: p before or at q.
constexpr bool PointBeforeOrEqual(const TTextPoint& p, const TTextPoint& q) {
  return p.Line < q.Line || (p.Line == q.Line && p.Col <= q.Col);
}
constexpr bool PointBefore(const TTextPoint& p, const TTextPoint& q) {
  return p.Line < q.Line || (p.Line == q.Line && p.Col < q.Col);
}
