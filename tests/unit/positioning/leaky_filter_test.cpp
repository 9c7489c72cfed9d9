#include "positioning/leaky_filter.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Step {
  double x;
  double mean;
  int n;
};

TEST(LeakyFilter, ExactMeanThenExponentialMean) {
  struct Case {
    int length;
    std::vector<Step> steps;
  };
  const Case cases[] = {
      {5, {{1, 1, 1}, {2, 1.5, 2}, {3, 2, 3}}},
      {1, {{4, 4, 1}, {-2, -2, 1}, {7.5, 7.5, 1}}},
      // Saturated at 2: each new sample weighs one half.
      {2, {{2, 2, 1}, {4, 3, 2}, {9, 6, 2}, {0, 3, 2}}},
      // Saturated at 4: mean += (x - mean) / 4.
      {4, {{4, 4, 1}, {4, 4, 2}, {4, 4, 3}, {4, 4, 4}, {8, 5, 4}, {1, 4, 4}}},
  };
  for (const Case& c : cases) {
    LeakyFilter f;
    ASSERT_TRUE(f.setLength(c.length));
    int total = 0;
    int k = 0;
    for (const Step& s : c.steps) {
      int n = 0;
      EXPECT_DOUBLE_EQ(f.update(s.x, n, total), s.mean) << "length " << c.length << " step " << k;
      EXPECT_EQ(n, s.n);
      EXPECT_EQ(total, ++k);  // never capped
    }
  }
}

TEST(LeakyFilter, LengthBelowOneIsRefused) {
  LeakyFilter f;  // length not set yet
  int n = -5;
  int total = -5;
  EXPECT_EQ(f.update(3.0, n, total), 0.0);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(total, 0);
  EXPECT_FALSE(f.setLength(0));
  EXPECT_FALSE(f.setLength(-1));
  EXPECT_EQ(f.update(3.0, n), 0.0);
  EXPECT_EQ(f.count, 0);
  ASSERT_TRUE(f.setLength(3));
  EXPECT_EQ(f.update(3.0, n), 3.0);
  EXPECT_EQ(n, 1);
}

TEST(LeakyFilter, ShorterLengthTakesEffectAtOnce) {
  LeakyFilter f;
  ASSERT_TRUE(f.setLength(10));
  int n = 0;
  for (int i = 0; i < 6; ++i) f.update(1.0, n);
  ASSERT_TRUE(f.setLength(2));
  EXPECT_DOUBLE_EQ(f.update(3.0, n), 2.0);
  EXPECT_EQ(n, 2);
}

}  // namespace
