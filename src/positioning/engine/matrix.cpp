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

