#include "view/ScrollFactor.h"

#include <algorithm>

int64_t ScrollFactorFor(int64_t range) {
  if (range < kScrollBarLimit) return 1;
  int64_t f;
  if (range < (int64_t{1} << 31)) {
    f = std::max<int64_t>(1, range / kScrollBarLimit - 1);
    while (range / f >= kScrollBarLimit) ++f;
  } else {
    f = std::max<int64_t>(1, range / kScrollBarLimit);
    while (range / f > kScrollBarLimit) ++f;
  }
  return f;
}

TScrollBarFit FitScrollBar(int64_t range, int64_t page, int64_t position) {
  TScrollBarFit fit;
  range = std::max<int64_t>(range, 0);
  page = std::max<int64_t>(page, 0);
  position = std::clamp<int64_t>(position, 0, range);
  fit.Factor = ScrollFactorFor(range);
  fit.Range = static_cast<int32_t>(range / fit.Factor);
  fit.Page = static_cast<int32_t>(std::min<int64_t>(page / fit.Factor, kScrollBarLimit));
  if (fit.Page == 0) fit.Page = 1;
  fit.Position = static_cast<int32_t>(position / fit.Factor);
  return fit;
}

int64_t ThumbToPosition(int64_t thumb, int64_t factor, int64_t last) {
  if (last < 0) return 0;
  if (thumb <= 0 || factor <= 0) return 0;
  if (thumb > last / factor) return last;  // also keeps thumb × factor from overflowing
  return std::min(thumb * factor, last);
}
