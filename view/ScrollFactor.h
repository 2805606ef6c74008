#pragma once
// A scroll bar holds positions up to 65535; a view scrolls over up to 2^63
// lines. The view divides range, page and position by a factor and
// multiplies thumb positions back by it.
#include <cstdint>

constexpr int64_t kScrollBarLimit = 65535;

// The smallest factor (from the rule's starting guess) that brings the
// range under the scroll bar's limit; 1 for ranges below the limit.
int64_t ScrollFactorFor(int64_t range);

// Range, page and position as the scroll bar holds them.
struct TScrollBarFit {
  int64_t Factor = 1;
  int32_t Range = 0;
  int32_t Page = 1;
  int32_t Position = 0;
};

// A page that divides down to 0 becomes 1; a negative range or position counts as 0.
TScrollBarFit FitScrollBar(int64_t range, int64_t page, int64_t position);

// The view position of a thumb position (thumb × factor), clamped to 0..last.
int64_t ThumbToPosition(int64_t thumb, int64_t factor, int64_t last);
