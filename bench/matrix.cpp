// Cost of the least-squares inverse at the sizes the solvers use. Each iteration first copies the
// input back (n x n assignments), since the inverse works in place.
#include <benchmark/benchmark.h>

#include <random>

#include "positioning/engine/matrix.h"

namespace {

void randomSpd(MatrixDbl& a, MatrixDbl& b, int n) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int i = 0; i < n * n; ++i) b[i / n][i % n] = u(rng);
  MatrixDbl bt(n, n, false);
  if (!bt.transpos(b) || !a.mulMxMx(b, bt)) return;
  for (int i = 0; i < n; ++i) a[i][i] += 0.01;
}

void copyInto(MatrixDbl& to, const MatrixDbl& from, int n) {
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) to[i][j] = from[i][j];
}

void BM_InvertChol(benchmark::State& st) {
  const int n = static_cast<int>(st.range(0));
  MatrixDbl src(n, n, false), b(n, n, false), work(n, n, false);
  randomSpd(src, b, n);
  for (auto _ : st) {
    copyInto(work, src, n);
    benchmark::DoNotOptimize(invert_Chol(work));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_InvertChol)->Arg(4)->Arg(8)->Arg(16);

}  // namespace
