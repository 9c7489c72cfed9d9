#include "positioning/leaky_filter.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The exact mean until the length is reached, then mean += (x - mean) / length; a shorter length takes
// effect at once; lengths below one are refused and an unset filter answers 0.
TEST(LeakyFilter, ExactMeanThenExponentialMean) {
  struct Step { double x, mean; int n, newLength = 0; };
  const struct { int length; std::vector<Step> steps; } cases[] = {
      {5, {{1, 1, 1}, {2, 1.5, 2}, {3, 2, 3}}},
      {1, {{4, 4, 1}, {-2, -2, 1}, {7.5, 7.5, 1}}},
      {2, {{2, 2, 1}, {4, 3, 2}, {9, 6, 2}, {0, 3, 2}}},
      {4, {{4, 4, 1}, {4, 4, 2}, {4, 4, 3}, {4, 4, 4}, {8, 5, 4}, {1, 4, 4}}},
      {10, {{1, 1, 1}, {1, 1, 2}, {1, 1, 3}, {3, 2, 2, 2}}},
  };
  for (const auto& c : cases) {
    LeakyFilter f;
    ASSERT_TRUE(f.setLength(c.length));
    int total = 0, k = 0;
    for (const Step& s : c.steps) {
      ASSERT_TRUE(s.newLength == 0 || f.setLength(s.newLength));
      int n = 0;
      EXPECT_DOUBLE_EQ(f.update(s.x, n, total), s.mean) << "length " << c.length << " step " << k;
      EXPECT_TRUE(n == s.n && total == ++k) << "length " << c.length << " step " << k;  // the total is never capped
    }
  }
  LeakyFilter f;
  int n = -5, total = -5;
  EXPECT_TRUE(f.update(3.0, n, total) == 0.0 && n == 0 && total == 0);
  EXPECT_FALSE(f.setLength(0) || f.setLength(-1));
  EXPECT_EQ(f.update(3.0, n), 0.0);
  ASSERT_TRUE(f.setLength(3));
  EXPECT_TRUE(f.update(3.0, n) == 3.0 && n == 1);
}

}  // namespace
