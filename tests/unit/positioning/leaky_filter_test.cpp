#include "positioning/leaky_filter.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(LeakyFilter, ExactMeanThenExponentialMean) {
  struct Step {
    double x, mean;
    int n;
    int newLength = 0;  // set before this sample when not 0
  };
  const struct { int length; std::vector<Step> steps; } cases[] = {
      {5, {{1, 1, 1}, {2, 1.5, 2}, {3, 2, 3}}},
      {1, {{4, 4, 1}, {-2, -2, 1}, {7.5, 7.5, 1}}},
      // Saturated at 2: each new sample weighs one half.
      {2, {{2, 2, 1}, {4, 3, 2}, {9, 6, 2}, {0, 3, 2}}},
      // Saturated at 4: mean += (x - mean) / 4.
      {4, {{4, 4, 1}, {4, 4, 2}, {4, 4, 3}, {4, 4, 4}, {8, 5, 4}, {1, 4, 4}}},
      // A shorter length takes effect at once.
      {10, {{1, 1, 1}, {1, 1, 2}, {1, 1, 3}, {3, 2, 2, 2}}},
  };
  for (const auto& c : cases) {
    LeakyFilter f;
    ASSERT_TRUE(f.setLength(c.length));
    int total = 0, k = 0;
    for (const Step& s : c.steps) {
      SCOPED_TRACE(testing::Message() << "length " << c.length << " step " << k);
      ASSERT_TRUE(s.newLength == 0 || f.setLength(s.newLength));
      int n = 0;
      EXPECT_DOUBLE_EQ(f.update(s.x, n, total), s.mean);
      EXPECT_EQ(n, s.n);
      EXPECT_EQ(total, ++k);  // never capped
    }
  }
}

TEST(LeakyFilter, LengthBelowOneIsRefused) {
  LeakyFilter f;  // length not set yet
  int n = -5, total = -5;
  EXPECT_EQ(f.update(3.0, n, total), 0.0);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(total, 0);
  EXPECT_FALSE(f.setLength(0));
  EXPECT_FALSE(f.setLength(-1));
  EXPECT_EQ(f.update(3.0, n), 0.0);
  ASSERT_TRUE(f.setLength(3));
  EXPECT_EQ(f.update(3.0, n), 3.0);
  EXPECT_EQ(n, 1);
}

}  // namespace
