// Numeric library: single-precision vectors and matrices with caller-chosen
// index ranges, their allocation and release, LU decomposition with row-norm
// scaling and partial pivoting, inversion, and the two wrappers that the
// maximum-likelihood classifier applies to its 7 x 7 covariance blocks.
// Also the fatal-error exit shared with the principal-component calculator.
//
// Vectors and matrices are addressed through handles that keep the lower
// bound of their range and subtract it on every access, so v[i] and m[i][j]
// use the caller's own indices (as a rule from 1) without a pointer that
// points before its block. The handle templates are generic: the double
// precision kit of the principal-component calculator instantiates them for
// double and shares the allocation helpers below.
//
// Allocation of an empty range (hi < lo) allocates nothing and yields a
// handle with a null block; releasing it does nothing. Such a handle must
// not be indexed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Writes `message` to standard error unchanged (no line end is added) and
// ends the process with exit status 1. The one exit of the numeric code, by
// its definition: the allocators below end the run through it when memory
// is exhausted, so their callers never see a null block, and tendor's own
// allocators end the same way.
[[noreturn]] void fatal_error(const char *message);

// ---------------------------------------------------------------------------
// Handles

// A vector with elements lo..hi held in one block; element i is v[i].
template <class T>
struct VecHandle {
  T *block = nullptr;  // element lo
  int lo = 0;

  T &operator[](int i) const {
    return block[static_cast<std::ptrdiff_t>(i) - lo];
  }
};

// A matrix with rows lr..ur, each row a separate block with columns lc..uc;
// element (i, j) is m[i][j]. Rows are separate blocks: an interchange of two
// rows moves the elements, never the row handles.
template <class T>
struct MatHandle {
  VecHandle<T> *rows = nullptr;  // row table; entry 0 is row lr
  int lr = 0;

  VecHandle<T> &operator[](int i) const {
    return rows[static_cast<std::ptrdiff_t>(i) - lr];
  }
};

using RealVector = VecHandle<float>;
using IntVector = VecHandle<std::int32_t>;
using RealMatrix = MatHandle<float>;
using IntMatrix = MatHandle<std::int32_t>;

// ---------------------------------------------------------------------------
// Block allocation shared by every element type. The blocks come from the
// standard library's malloc and go back through free. A failed request ends
// the process through fatal_error(message); blocks already obtained are
// not released since the process ends.

template <class T>
VecHandle<T> allocate_vector_block(int lo, int hi, const char *message) {
  VecHandle<T> v;
  v.lo = lo;
  if (hi < lo) return v;
  std::size_t count =
      static_cast<std::size_t>(static_cast<std::int64_t>(hi) - lo + 1);
  v.block = static_cast<T *>(std::malloc(count * sizeof(T)));
  if (v.block == nullptr) fatal_error(message);
  return v;
}

template <class T>
void release_vector_block(VecHandle<T> v) {
  std::free(v.block);
}

// Row table first, then rows lr..ur in ascending order.
template <class T>
MatHandle<T> allocate_matrix_blocks(int lr, int ur, int lc, int uc,
                                    const char *message) {
  MatHandle<T> m;
  m.lr = lr;
  if (ur < lr) return m;
  std::size_t rows =
      static_cast<std::size_t>(static_cast<std::int64_t>(ur) - lr + 1);
  m.rows =
      static_cast<VecHandle<T> *>(std::malloc(rows * sizeof(VecHandle<T>)));
  if (m.rows == nullptr) fatal_error(message);
  for (std::size_t r = 0; r < rows; ++r)
    m.rows[r] = allocate_vector_block<T>(lc, uc, message);
  return m;
}

// Rows from the last to the first, then the row table.
template <class T>
void release_matrix_blocks(MatHandle<T> m, int lr, int ur) {
  if (m.rows == nullptr) return;
  for (int i = ur; i >= lr; --i) release_vector_block(m[i]);
  std::free(m.rows);
}

// ---------------------------------------------------------------------------
// Allocation and release. Elements are not initialised. Release with the
// same lower bounds (and, for a matrix, the same upper row bound).

RealVector allocate_real_vector(int lo, int hi);
IntVector allocate_integer_vector(int lo, int hi);
RealMatrix allocate_real_matrix(int lr, int ur, int lc, int uc);
IntMatrix allocate_integer_matrix(int lr, int ur, int lc, int uc);
void free_real_vector(RealVector v, int lo);
void free_integer_vector(IntVector v, int lo);
void free_real_matrix(RealMatrix m, int lr, int ur, int lc);
void free_integer_matrix(IntMatrix m, int lr, int ur, int lc);

// ---------------------------------------------------------------------------
// Element operations. Each loop runs over lo..hi in ascending order; an
// empty range (lo > hi) changes nothing and an inner product over it is 0.

// Exchanges m[r1][j] and m[r2][j] for j = lo..hi.
void swap_rows(int lo, int hi, int r1, int r2, RealMatrix m);
// Exchanges m[i][c1] and m[i][c2] for i = lo..hi.
void swap_columns(int lo, int hi, int c1, int c2, RealMatrix m);
// m[i][col] = v[i] for i = lo..hi.
void copy_vec_to_col(int lo, int hi, int col, RealMatrix m, RealVector v);

// Inner products in single precision: every product of two floats is formed
// exactly, added to the running single-precision sum and the sum rounded to
// single precision after each term, in ascending k.
// Sum of a[i][k] * b[k][j] (row i of a with column j of b).
float dot_row_col(int lo, int hi, int i, int j, RealMatrix a, RealMatrix b);
// Sum of a[i][k] * b[j][k] (row i of a with row j of b).
float dot_row_row(int lo, int hi, int i, int j, RealMatrix a, RealMatrix b);

// ---------------------------------------------------------------------------
// Linear algebra on square matrices 1..n x 1..n.

// Decomposes a in place (P*A = L*U, L with the pivots on the diagonal in the
// lower triangle, the unit upper factor U in the strict upper triangle).
// aux[2] (in) is the relative tolerance; aux[1] (out) the sign of the
// determinant (+1 or -1); aux[3] (out) the number of completed steps (the
// rank reached, 0..n). p[k] is the row interchanged with row k at step k.
// A step stops the decomposition when its pivot is below aux[2] times the
// largest row norm, or is exactly zero. A row whose norm is zero counts as
// size 0 in the pivot search.
void lu_decompose(RealMatrix a, int n, RealVector aux, IntVector p);

// Replaces the factors of a full-rank decomposition by the inverse of the
// matrix that was decomposed.
void lu_invert(RealMatrix a, int n, IntVector p);

// lu_decompose, then lu_invert when the rank reached is n. a then holds the
// inverse, or the partial decomposition when the rank is below n.
void decompose_and_invert(RealMatrix a, int n, RealVector aux);

// |a[1][1] * ... * a[n][n]| * sign, the products rounded to single precision.
float determinant_from_diagonal(RealMatrix a, int n, int sign);

// Covariance blocks: 7 x 7 doubles row by row, element (i, j) (0-based) at
// 7 * i + j; only the upper-left n x n part (n = 1..7) is read or written.
constexpr int COVARIANCE_BLOCK_SIDE = 7;

// The absolute product of the n diagonal elements, each rounded to single
// precision and multiplied in single precision (it overflows to +infinity
// for large variances). Not the determinant of the full block.
float covariance_diagonal_product(const double *block, int n);

// Writes the inverse of the source's n x n part, computed in single
// precision with relative tolerance 1.0e-5, into the destination's n x n
// part; the destination's other elements are left as they were.
// When the decomposition stops below rank n the block has no inverse: the
// destination's n x n part is then filled with quiet NaN, so every quadratic
// form built from it is NaN. The result is fully determined by the source.
void covariance_inverse(const double *source, double *destination, int n);
