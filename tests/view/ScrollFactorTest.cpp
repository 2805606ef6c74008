#include <gtest/gtest.h>

#include "view/ScrollFactor.h"

namespace {

TEST(ScrollFactor, FitsRangesIntoTheScrollBar) {
  struct Case {
    int64_t range;
    int64_t factor;
  };
  const Case cases[] = {
      {0, 1},
      {65534, 1},
      {65535, 2},
      {200000, 4},  // 200000 div 3 is still 66666
      {int64_t{1} << 31, 32769},
      {int64_t{1} << 62, 70369817935872},
      {INT64_MAX, 140739635871744},
  };
  for (const Case& c : cases) {
    const int64_t f = ScrollFactorFor(c.range);
    EXPECT_EQ(c.factor, f) << c.range;
    EXPECT_LE(c.range / f, kScrollBarLimit) << c.range;
    if (f > 1 && c.range < (int64_t{1} << 31)) {
      EXPECT_GE(c.range / (f - 1), kScrollBarLimit) << "factor not minimal for " << c.range;
    }
  }
}

TEST(ScrollFactor, FitDividesRangePageAndPosition) {
  const TScrollBarFit fit = FitScrollBar(200000, 3, 100000);
  EXPECT_EQ(4, fit.Factor);
  EXPECT_EQ(50000, fit.Range);
  EXPECT_EQ(1, fit.Page);  // 3 div 4 = 0 becomes 1
  EXPECT_EQ(25000, fit.Position);
}

TEST(ScrollFactor, ThumbPositionsMapBackAndClamp) {
  EXPECT_EQ(199952, ThumbToPosition(49988, 4, 199999));
  EXPECT_EQ(199999, ThumbToPosition(60000, 4, 199999));
  EXPECT_EQ(0, ThumbToPosition(-5, 4, 199999));
  // No overflow for the largest factors.
  const int64_t f = ScrollFactorFor(INT64_MAX);
  const int64_t last = INT64_MAX - 1;
  EXPECT_EQ(last / f * f, ThumbToPosition(last / f, f, last));
  EXPECT_EQ(last, ThumbToPosition(last / f + 1, f, last));
}

}  // namespace
