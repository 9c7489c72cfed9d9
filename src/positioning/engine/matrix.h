// Dense double-precision matrices and vectors for the least-squares solvers. Storage is taken
// once, when an object is built or init() is called, from the fast or the slow data heap;
// nothing is allocated while solving, so a solver works within the sizes it was built for.
//
// Every operation checks its operands: a size that does not conform or does not fit the
// result's storage, or a result that is one of the operands, makes it return false and leave
// the result untouched (a product into its own operand would read elements it has already
// overwritten, and a temporary would need storage per call). A numerically singular system
// fails instead of handing back infinities.
#pragma once

class MatrixDbl {
 public:
  MatrixDbl() = default;
  // slowHeap: storage from the slow data heap (rarely touched) rather than the fast one.
  MatrixDbl(int rows, int columns, bool slowHeap);
  ~MatrixDbl();
  MatrixDbl(const MatrixDbl&) = delete;
  MatrixDbl& operator=(const MatrixDbl&) = delete;

  // Gives back any storage held, then takes rows x columns and makes that the current size.
  // False (and the matrix empty) for a negative or too large size.
  bool init(int rows, int columns, bool slowHeap);
  // Current size within the storage; false (nothing changed) when it does not fit.
  [[nodiscard]] bool setSize(int rows, int columns);

  int rows() const { return curRows; }
  int columns() const { return curColumns; }
  int allocatedRows() const { return allocRows; }
  int allocatedColumns() const { return allocColumns; }

  // Row i of the storage; the caller keeps i and the column within the allocated size.
  double* operator[](int i) { return rowPtr[i]; }
  const double* operator[](int i) const { return rowPtr[i]; }

  // this = a x b; this takes a's rows and b's columns.
  [[nodiscard]] bool mulMxMx(const MatrixDbl& a, const MatrixDbl& b);
  // this = a transposed.
  [[nodiscard]] bool transpos(const MatrixDbl& a);

 private:
  void release();
  bool fits(int rows, int columns) const { return rows <= allocRows && columns <= allocColumns; }

  int allocRows = 0, allocColumns = 0;
  int curRows = 0, curColumns = 0;
  bool slow = false;
  double** rowPtr = nullptr;
  double* block = nullptr;
};

// A run of doubles whose storage is taken once from the data heaps and sized within it: what a
// diagonal matrix and a vector share.
class DblArray {
 public:
  DblArray() = default;
  DblArray(int n, bool slowHeap);
  ~DblArray();
  DblArray(const DblArray&) = delete;
  DblArray& operator=(const DblArray&) = delete;

  bool init(int n, bool slowHeap);
  [[nodiscard]] bool setSize(int n);
  int size() const { return curSize; }
  int allocatedSize() const { return allocSize; }
  double& operator[](int i) { return data[i]; }
  double operator[](int i) const { return data[i]; }

 protected:
  void release();
  int allocSize = 0, curSize = 0;
  bool slow = false;
  double* data = nullptr;
};

// Diagonal element i is [i].
class MatrixDiagDbl : public DblArray {
 public:
  using DblArray::DblArray;
};

class VectorDbl : public DblArray {
 public:
  using DblArray::DblArray;
  VectorDbl(const VectorDbl&) = delete;
  VectorDbl& operator=(const VectorDbl&) = delete;

  // this = m x v.
  [[nodiscard]] bool mulMxVc(const MatrixDbl& m, const VectorDbl& v);
};

// In-place inverse of a symmetric positive-definite matrix (only its lower triangle is read)
// by Cholesky factorisation. Returns 1 on success; 0 for a matrix that is not square or empty,
// whose pivot is not positive or is lost in rounding (singular to working precision), or whose
// inverse does not come out finite. A 1 x 1 matrix fails only on 0.0 (a negative value inverts).
// After a failure the matrix holds partial factors and must be built again.
[[nodiscard]] int invert_Chol(MatrixDbl& a);
