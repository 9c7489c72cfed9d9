#include "differential/rtk/rtk_matrix.h"

Mat::Mat(int rows, int cols, int memType)
    : memType_(memType),
      capRows_(rows > 0 ? rows : 0),
      capCols_(cols > 0 ? cols : 0),
      rowAct_(new std::uint8_t[capRows_ > 0 ? capRows_ : 1]()),
      colAct_(new std::uint8_t[capCols_ > 0 ? capCols_ : 1]()),
      buf_(new double[capRows_ * capCols_ > 0 ? capRows_ * capCols_ : 1]()),
      row_(new double*[capRows_ > 0 ? capRows_ : 1]()) {
  Reset(capRows_, capCols_);
}

bool Mat::Reset(int rows, int cols) {
  if (rows < 0 || cols < 0 || rows > capRows_ || cols > capCols_) return false;
  rows_ = rows;
  cols_ = cols;
  for (int r = 0; r < capRows_; ++r) rowAct_[r] = 1;
  for (int c = 0; c < capCols_; ++c) colAct_[c] = 1;
  // Rows follow one another at the current column count.
  for (int r = 0; r < capRows_; ++r) row_[r] = buf_.get() + r * cols_;
  return true;
}

void Mat::Zero() {
  for (int r = 0; r < rows_; ++r) {
    if (!rowAct_[r]) continue;
    for (int c = 0; c < cols_; ++c)
      if (colAct_[c]) row_[r][c] = 0.0;
  }
}

void Mat::Ident() {
  for (int r = 0; r < rows_; ++r) {
    if (!rowAct_[r]) continue;
    for (int c = 0; c < cols_; ++c)
      if (colAct_[c]) row_[r][c] = r == c ? 1.0 : 0.0;
  }
}

LMat::LMat(int n)
    : cap_(n > 0 ? n : 0),
      n_(cap_),
      act_(new std::uint8_t[cap_ > 0 ? cap_ : 1]()),
      buf_(new double[cap_ > 0 ? cap_ * (cap_ + 1) / 2 : 1]()) {
  Reset(cap_);
}

bool LMat::Reset(int n) {
  if (n < 0 || n > cap_) return false;
  n_ = n;
  for (int i = 0; i < cap_; ++i) act_[i] = 1;
  return true;
}

void LMat::Zero() {
  for (int i = 0; i < n_; ++i) {
    if (!act_[i]) continue;
    for (int j = 0; j <= i; ++j)
      if (act_[j]) buf_[index(i, j)] = 0.0;
  }
}
