// Dense matrix kit: inverses against the published Hilbert inverse and A x inv(A) = I, and refusal
// of singular, mis-sized and self-referencing input.
#include "positioning/engine/matrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

void fill(MatrixDbl& m, int r, int c, const std::vector<double>& v) {
  ASSERT_TRUE(m.init(r, c, false));
  for (int i = 0; i < r * c; ++i) m[i / c][i % c] = v[i];
}

TEST(Matrix, CholeskyInverse) {
  const double nan = std::nan("");
  const struct { const char* what; int r, c; std::vector<double> a, inv; } cases[] = {
      // Hilbert matrix of order 4 and its integer inverse.
      {"Hilbert 4", 4, 4, {1, 1. / 2, 1. / 3, 1. / 4, 1. / 2, 1. / 3, 1. / 4, 1. / 5,
                           1. / 3, 1. / 4, 1. / 5, 1. / 6, 1. / 4, 1. / 5, 1. / 6, 1. / 7},
       {16, -120, 240, -140, -120, 1200, -2700, 1680, 240, -2700, 6480, -4200, -140, 1680, -4200, 2800}},
      {"1x1", 1, 1, {4.0}, {0.25}},
      {"1x1 negative still inverts", 1, 1, {-4.0}, {-0.25}},
      {"1x1 zero", 1, 1, {0.0}, {}},
      {"indefinite", 2, 2, {1, 2, 2, 1}, {}},
      {"negative diagonal", 2, 2, {-1, 0, 0, 1}, {}},
      {"exactly singular", 2, 2, {1, 2, 2, 4}, {}},
      {"rank one 3x3", 3, 3, {1, 1, 1, 1, 1, 1, 1, 1, 1}, {}},
      {"NaN", 2, 2, {nan, 0, 0, 1}, {}},
      {"not square", 2, 3, {1, 0, 0, 0, 1, 0}, {}},
  };
  for (const auto& c : cases) {
    MatrixDbl m;
    fill(m, c.r, c.c, c.a);
    ASSERT_EQ(invert_Chol(m), c.inv.empty() ? 0 : 1) << c.what;
    for (size_t i = 0; i < c.inv.size(); ++i)
      EXPECT_NEAR(m[i / c.c][i % c.c], c.inv[i], 1e-9 * std::fabs(c.inv[i])) << c.what << " element " << i;
  }
}

TEST(Matrix, RandomSpdInverse) {
  std::mt19937 rng(20261207);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int n : {2, 3, 4, 5, 8, 12, 16}) {
    MatrixDbl b(n, n, false), bt(n, n, false), a(n, n, true), inv(n, n, false), prod(n, n, false);
    for (int i = 0; i < n * n; ++i) b[i / n][i % n] = u(rng);
    ASSERT_TRUE(bt.transpos(b));
    ASSERT_TRUE(a.mulMxMx(b, bt));  // B B^T plus a small ridge: symmetric positive definite
    for (int i = 0; i < n; ++i) a[i][i] += 0.01;
    ASSERT_TRUE(inv.transpos(a));
    ASSERT_EQ(invert_Chol(inv), 1) << n;
    ASSERT_TRUE(prod.mulMxMx(a, inv));
    for (int i = 0; i < n * n; ++i) EXPECT_NEAR(prod[i / n][i % n], i / n == i % n ? 1.0 : 0.0, 1e-9) << n;
    // B x against the sums by hand.
    VectorDbl x(n, false), rhs(n, false);
    for (int i = 0; i < n; ++i) x[i] = u(rng);
    ASSERT_TRUE(rhs.mulMxVc(b, x));
    for (int i = 0; i < n; ++i) {
      double want = 0.0;
      for (int k = 0; k < n; ++k) want += b[i][k] * x[k];
      EXPECT_NEAR(rhs[i], want, 1e-12) << n;
    }
  }
}

TEST(Matrix, SizesAndAliasingAreRefused) {
  MatrixDbl a, b, r(2, 2, false), big(3, 3, false);
  fill(a, 2, 3, {1, 2, 3, 4, 5, 6});
  fill(b, 3, 2, {7, 8, 9, 10, 11, 12});
  r[0][0] = -1;
  EXPECT_FALSE(r.mulMxMx(a, a));    // 3 columns against 2 rows
  EXPECT_FALSE(r.transpos(a));      // 3 x 2 does not fit 2 x 2
  EXPECT_FALSE(b.mulMxMx(b, r));    // result is an operand
  EXPECT_FALSE(big.transpos(big));
  EXPECT_EQ(r[0][0], -1);           // untouched by every refusal
  ASSERT_TRUE(r.mulMxMx(a, b));     // [1 2 3; 4 5 6] x [7 8; 9 10; 11 12]
  EXPECT_EQ((std::vector<double>{r[0][0], r[0][1], r[1][0], r[1][1]}), (std::vector<double>{58, 64, 139, 154}));
  ASSERT_TRUE(a.setSize(0, 3));
  ASSERT_TRUE(r.mulMxMx(a, b));
  EXPECT_EQ(r.rows() * 10 + r.columns(), 2);  // 0 rows, B's 2 columns

  VectorDbl v3(3, false), v2(2, false), w(2, false);
  EXPECT_FALSE(v2.mulMxVc(b, v3));  // B is 3 x 2: v3 has the wrong length
  EXPECT_FALSE(v3.mulMxVc(b, v3));  // result is an operand
  EXPECT_FALSE(w.setSize(3));
}

}  // namespace
