#include "positioning/engine/matrix.h"

#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>

#include "positioning/data_servers/data_malloc.h"

namespace {

// Far above any solver's size; keeps rows x columns x 8 bytes well inside the size type.
constexpr int kMaxDim = 4096;

constexpr double kEps = std::numeric_limits<double>::epsilon();

void* take(std::size_t bytes, bool slow) { return slow ? SlowDataMalloc(bytes) : FastDataMalloc(bytes); }

void giveBack(void* p, std::size_t bytes, bool slow) {
  if (slow) {
    SlowDataFree(p, bytes);
  } else {
    FastDataFree(p, bytes);
  }
}

bool validDim(int n) { return n >= 0 && n <= kMaxDim; }

}  // namespace

// ---- MatrixDbl ----

MatrixDbl::MatrixDbl(int rows, int columns, bool slowHeap) { init(rows, columns, slowHeap); }

MatrixDbl::~MatrixDbl() { release(); }

void MatrixDbl::release() {
  if (block != nullptr) {
    giveBack(block, sizeof(double) * allocRows * allocColumns, slow);
    giveBack(rowPtr, sizeof(double*) * allocRows, slow);
  }
  block = nullptr;
  rowPtr = nullptr;
  allocRows = allocColumns = curRows = curColumns = 0;
}

bool MatrixDbl::init(int rows, int columns, bool slowHeap) {
  release();
  if (!validDim(rows) || !validDim(columns)) return false;
  slow = slowHeap;
  block = static_cast<double*>(take(sizeof(double) * rows * columns, slow));
  rowPtr = static_cast<double**>(take(sizeof(double*) * rows, slow));
  for (int i = 0; i < rows; ++i) rowPtr[i] = block + static_cast<std::ptrdiff_t>(i) * columns;
  allocRows = curRows = rows;
  allocColumns = curColumns = columns;
  return true;
}

bool MatrixDbl::setSize(int rows, int columns) {
  if (rows < 0 || columns < 0 || !fits(rows, columns)) return false;
  curRows = rows;
  curColumns = columns;
  return true;
}

bool MatrixDbl::mulMxMx(const MatrixDbl& a, const MatrixDbl& b) {
  if (this == &a || this == &b || a.curColumns != b.curRows || !fits(a.curRows, b.curColumns)) return false;
  curRows = a.curRows;
  curColumns = b.curColumns;
  for (int i = 0; i < curRows; ++i) {
    for (int j = 0; j < curColumns; ++j) {
      double s = 0.0;
      for (int k = 0; k < a.curColumns; ++k) s += a.rowPtr[i][k] * b.rowPtr[k][j];
      rowPtr[i][j] = s;
    }
  }
  return true;
}

bool MatrixDbl::mulMxMt(const MatrixDbl& a, const MatrixDbl& b) {
  if (this == &a || this == &b || a.curColumns != b.curColumns || !fits(a.curRows, b.curRows)) return false;
  curRows = a.curRows;
  curColumns = b.curRows;
  for (int i = 0; i < curRows; ++i) {
    for (int j = 0; j < curColumns; ++j) {
      double s = 0.0;
      for (int k = 0; k < a.curColumns; ++k) s += a.rowPtr[i][k] * b.rowPtr[j][k];
      rowPtr[i][j] = s;
    }
  }
  return true;
}

bool MatrixDbl::transpos(const MatrixDbl& a) {
  if (this == &a || !fits(a.curColumns, a.curRows)) return false;
  curRows = a.curColumns;
  curColumns = a.curRows;
  for (int i = 0; i < curRows; ++i) {
    for (int j = 0; j < curColumns; ++j) rowPtr[i][j] = a.rowPtr[j][i];
  }
  return true;
}

// ---- DblArray (diagonal matrices and vectors) ----

DblArray::DblArray(int n, bool slowHeap) { init(n, slowHeap); }

DblArray::~DblArray() { release(); }

void DblArray::release() {
  if (data != nullptr) giveBack(data, sizeof(double) * allocSize, slow);
  data = nullptr;
  allocSize = curSize = 0;
}

bool DblArray::init(int n, bool slowHeap) {
  release();
  if (!validDim(n)) return false;
  slow = slowHeap;
  data = static_cast<double*>(take(sizeof(double) * n, slow));
  allocSize = curSize = n;
  return true;
}

bool DblArray::setSize(int n) {
  if (n < 0 || n > allocSize) return false;
  curSize = n;
  return true;
}

// ---- VectorDbl ----

VectorDbl& VectorDbl::operator=(const VectorDbl& v) {
  if (this == &v) return *this;
  if (v.curSize > allocSize) {
    curSize = 0;
    return *this;
  }
  curSize = v.curSize;
  for (int i = 0; i < curSize; ++i) data[i] = v.data[i];
  return *this;
}

bool VectorDbl::mulMxVc(const MatrixDbl& m, const VectorDbl& v) {
  if (this == &v || m.columns() != v.curSize || m.rows() > allocSize) return false;
  curSize = m.rows();
  for (int i = 0; i < curSize; ++i) {
    const double* r = m[i];
    double s = 0.0;
    for (int k = 0; k < v.curSize; ++k) s += r[k] * v.data[k];
    data[i] = s;
  }
  return true;
}

bool VectorDbl::mulVtMx(const VectorDbl& v, const MatrixDbl& m) {
  if (this == &v || m.rows() != v.curSize || m.columns() > allocSize) return false;
  curSize = m.columns();
  for (int j = 0; j < curSize; ++j) {
    double s = 0.0;
    for (int k = 0; k < v.curSize; ++k) s += v.data[k] * m[k][j];
    data[j] = s;
  }
  return true;
}

bool VectorDbl::innerProduct(const VectorDbl& a, const VectorDbl& b, double& sum) {
  if (a.curSize != b.curSize) return false;
  double s = 0.0;
  for (int i = 0; i < a.curSize; ++i) s += a.data[i] * b.data[i];
  sum = s;
  return true;
}

// ---- Solvers ----

int invert_Chol(MatrixDbl& a) {
  const int n = a.rows();
  if (n < 1 || a.columns() != n) return 0;
  if (n == 1) {
    if (a[0][0] == 0.0) return 0;
    a[0][0] = 1.0 / a[0][0];
    return 1;
  }
  // A = L L^T, L in the lower triangle. A pivot that is not clearly positive against the
  // element it came from means the matrix is not positive definite, or singular to working
  // precision; !(d > ...) also stops on NaN.
  for (int j = 0; j < n; ++j) {
    double d = a[j][j];
    for (int k = 0; k < j; ++k) d -= a[j][k] * a[j][k];
    if (!(d > std::fabs(a[j][j]) * n * kEps)) return 0;
    const double l = std::sqrt(d);
    a[j][j] = l;
    for (int i = j + 1; i < n; ++i) {
      double s = a[i][j];
      for (int k = 0; k < j; ++k) s -= a[i][k] * a[j][k];
      a[i][j] = s / l;
    }
  }
  // X = L^-1, column by column over L's own storage: column j needs only X's column j so far
  // and L's columns right of j, which are still untouched.
  for (int j = 0; j < n; ++j) {
    a[j][j] = 1.0 / a[j][j];
    for (int i = j + 1; i < n; ++i) {
      double s = a[i][j] * a[j][j];
      for (int k = j + 1; k < i; ++k) s += a[i][k] * a[k][j];
      a[i][j] = -s / a[i][i];
    }
  }
  // A^-1 = X^T X into the upper triangle, row by row: element (i, j), j >= i, reads X's rows
  // k >= j, and X's diagonal element i is needed by no later row once row i is done.
  for (int i = 0; i < n; ++i) {
    for (int j = i; j < n; ++j) {
      double s = 0.0;
      for (int k = j; k < n; ++k) s += a[k][i] * a[k][j];
      a[i][j] = s;
    }
  }
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < i; ++j) a[i][j] = a[j][i];
    for (int j = i; j < n; ++j) {
      if (!std::isfinite(a[i][j])) return 0;
    }
  }
  return 1;
}

bool realize_GaussElimination(MatrixDbl& a, VectorDbl& order) {
  const int n = a.rows();
  if (a.columns() != n || !order.setSize(n)) return false;
  for (int k = 0; k < n; ++k) {
    // The column's largest element before elimination scales the test for a lost pivot.
    double colMax = 0.0;
    int p = k;
    double best = -1.0;
    for (int i = 0; i < n; ++i) colMax = std::fmax(colMax, std::fabs(a[i][k]));
    for (int i = k; i < n; ++i) {
      if (std::fabs(a[i][k]) > best) best = std::fabs(a[i][k]), p = i;
    }
    if (!(best > colMax * n * kEps) || !std::isfinite(best)) return false;
    order[k] = p;
    if (p != k) {
      for (int j = 0; j < n; ++j) std::swap(a[k][j], a[p][j]);
    }
    const double piv = a[k][k];
    for (int i = k + 1; i < n; ++i) {
      const double f = a[i][k] / piv;
      a[i][k] = f;
      for (int j = k + 1; j < n; ++j) a[i][j] -= f * a[k][j];
    }
  }
  return true;
}

bool solve_LinearSystem(const VectorDbl& order, const MatrixDbl& lu, VectorDbl& x) {
  const int n = lu.rows();
  if (&order == &x || lu.columns() != n || order.size() != n || x.size() != n) return false;
  for (int k = 0; k < n; ++k) {
    const double o = order[k];
    if (!(o >= k && o < n) || o != static_cast<int>(o)) return false;
  }
  for (int k = 0; k < n; ++k) {
    const int p = static_cast<int>(order[k]);
    if (p != k) std::swap(x[k], x[p]);
  }
  for (int i = 1; i < n; ++i) {
    double s = x[i];
    for (int k = 0; k < i; ++k) s -= lu[i][k] * x[k];
    x[i] = s;
  }
  for (int i = n - 1; i >= 0; --i) {
    double s = x[i];
    for (int k = i + 1; k < n; ++k) s -= lu[i][k] * x[k];
    x[i] = s / lu[i][i];
  }
  for (int i = 0; i < n; ++i) {
    if (!std::isfinite(x[i])) return false;
  }
  return true;
}
