// Dense and packed-symmetric matrices of the RTK engine, each with a fixed capacity taken from
// the heap once and per-row / per-column "active" flags that Zero and Ident respect.
#pragma once

#include <cstdint>
#include <memory>

class Mat {
 public:
  static constexpr double kTol = 1e-9;

  Mat(int rows, int cols, int memType = 0);
  Mat(const Mat&) = delete;
  Mat& operator=(const Mat&) = delete;

  // Current size within the capacity, every row and column active; false (nothing changes)
  // outside it.
  bool Reset(int rows, int cols);
  // Zero / identity over the active elements only.
  void Zero();
  void Ident();

  int rows() const { return rows_; }
  int cols() const { return cols_; }
  int capRows() const { return capRows_; }
  int capCols() const { return capCols_; }
  int memType() const { return memType_; }
  double tol() const { return tol_; }
  // Element (r, c) of the current layout; the caller keeps r and c inside the current size.
  double& at(int r, int c) { return row_[r][c]; }
  double at(int r, int c) const { return row_[r][c]; }
  bool rowActive(int r) const { return rowAct_[r] != 0; }
  bool colActive(int c) const { return colAct_[c] != 0; }

 private:
  int memType_;
  int capRows_, capCols_;
  int rows_ = 0, cols_ = 0;
  double tol_ = kTol;
  std::unique_ptr<std::uint8_t[]> rowAct_;
  std::unique_ptr<std::uint8_t[]> colAct_;
  std::unique_ptr<double[]> buf_;
  std::unique_ptr<double*[]> row_;
};

// Symmetric matrix of order n kept as its packed lower triangle: row i starts at i(i+1)/2.
class LMat {
 public:
  static constexpr double kTol = 1e-9;

  explicit LMat(int n);
  LMat(const LMat&) = delete;
  LMat& operator=(const LMat&) = delete;

  // Current order within the capacity, every index active; false outside it.
  bool Reset(int n);
  // Zero over the active rows and columns.
  void Zero();

  int order() const { return n_; }
  int capacity() const { return cap_; }
  double tol() const { return tol_; }
  static int index(int i, int j) { return i >= j ? i * (i + 1) / 2 + j : j * (j + 1) / 2 + i; }
  double& at(int i, int j) { return buf_[index(i, j)]; }
  double at(int i, int j) const { return buf_[index(i, j)]; }
  bool active(int i) const { return act_[i] != 0; }

 private:
  int cap_;
  int n_;
  double tol_ = kTol;
  std::unique_ptr<std::uint8_t[]> act_;
  std::unique_ptr<double[]> buf_;
};
