// Numeric library: allocation, element operations, LU decomposition and
// inversion in single precision, and the covariance wrappers.
#include "numlib.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "console.h"

// The numeric code ends its runs like every console tool.
void fatal_error(const char *message) { fail_with("%s", message); }

// ---------------------------------------------------------------------------
// Allocation and release

namespace {

// The allocators' failures have no line end, unlike the tools' other
// messages: they have always been printed so and users' scripts match them
// as they are. Leave them without one.
constexpr char REAL_VECTOR_FAILURE[] = "Failure in allocate_real_vector().";
constexpr char INTEGER_VECTOR_FAILURE[] =
    "Failure in allocate_integer_vector().";
constexpr char REAL_MATRIX_FAILURE[] = "Failure in allocate_real_matrix().";
constexpr char INTEGER_MATRIX_FAILURE[] =
    "Failure in allocate_integer_matrix().";

}  // namespace

RealVector allocate_real_vector(int lo, int hi) {
  return allocate_vector_block<float>(lo, hi, REAL_VECTOR_FAILURE);
}

IntVector allocate_integer_vector(int lo, int hi) {
  return allocate_vector_block<std::int32_t>(lo, hi, INTEGER_VECTOR_FAILURE);
}

RealMatrix allocate_real_matrix(int lr, int ur, int lc, int uc) {
  return allocate_matrix_blocks<float>(lr, ur, lc, uc, REAL_MATRIX_FAILURE);
}

IntMatrix allocate_integer_matrix(int lr, int ur, int lc, int uc) {
  return allocate_matrix_blocks<std::int32_t>(lr, ur, lc, uc,
                                              INTEGER_MATRIX_FAILURE);
}

// The handle carries its own block; the bounds are taken for symmetry with
// the allocation call.
void free_real_vector(RealVector v, int /*lo*/) { release_vector_block(v); }

void free_integer_vector(IntVector v, int /*lo*/) { release_vector_block(v); }

void free_real_matrix(RealMatrix m, int lr, int ur, int /*lc*/) {
  release_matrix_blocks(m, lr, ur);
}

void free_integer_matrix(IntMatrix m, int lr, int ur, int /*lc*/) {
  release_matrix_blocks(m, lr, ur);
}

// ---------------------------------------------------------------------------
// Element operations

void swap_rows(int lo, int hi, int r1, int r2, RealMatrix m) {
  RealVector a = m[r1], b = m[r2];
  for (int j = lo; j <= hi; ++j) {
    float t = a[j];
    a[j] = b[j];
    b[j] = t;
  }
}

void swap_columns(int lo, int hi, int c1, int c2, RealMatrix m) {
  for (int i = lo; i <= hi; ++i) {
    RealVector row = m[i];
    float t = row[c1];
    row[c1] = row[c2];
    row[c2] = t;
  }
}

void copy_vec_to_col(int lo, int hi, int col, RealMatrix m, RealVector v) {
  for (int i = lo; i <= hi; ++i) m[i][col] = v[i];
}

// One term of a single-precision inner product: the product of two floats is
// exact in double; the sum is rounded back to single precision.
static inline float add_exact_product(float sum, float x, float y) {
  return static_cast<float>(static_cast<double>(sum) +
                            static_cast<double>(x) * static_cast<double>(y));
}

float dot_row_col(int lo, int hi, int i, int j, RealMatrix a, RealMatrix b) {
  RealVector row = a[i];
  float sum = 0.0f;
  for (int k = lo; k <= hi; ++k) sum = add_exact_product(sum, row[k], b[k][j]);
  return sum;
}

float dot_row_row(int lo, int hi, int i, int j, RealMatrix a, RealMatrix b) {
  RealVector x = a[i], y = b[j];
  float sum = 0.0f;
  for (int k = lo; k <= hi; ++k) sum = add_exact_product(sum, x[k], y[k]);
  return sum;
}

// ---------------------------------------------------------------------------
// LU decomposition and inversion

void lu_decompose(RealMatrix a, int n, RealVector aux, IntVector p) {
  RealVector v = allocate_real_vector(1, n);

  // Row scales: the reciprocal Euclidean norm of every row. A zero row has
  // no scale; its candidates count as size 0 in the pivot search.
  float big = -1.0f;
  for (int i = 1; i <= n; ++i) {
    float s = static_cast<float>(
        std::sqrt(static_cast<double>(dot_row_row(1, n, i, i, a, a))));
    if (s > big) big = s;
    v[i] = s == 0.0f ? 0.0f : 1.0f / s;
  }
  float eps = aux[2] * big;

  float d = 1.0f;
  int completed = n;
  for (int k = 1; k <= n; ++k) {
    // Reduce column k below the diagonal and search the pivot by scaled size;
    // among equal sizes the smallest row wins. When no size exceeds -1 (only
    // when they are all NaN) row k stays the pivot.
    float largest = -1.0f;
    int pivot = k;
    for (int i = k; i <= n; ++i) {
      float x = a[i][k] - dot_row_col(1, k - 1, i, k, a, a);
      a[i][k] = x;
      float size = std::fabs(x) * v[i];
      if (size > largest) {
        largest = size;
        pivot = i;
      }
    }
    p[k] = pivot;
    v[pivot] = v[k];
    float s = a[pivot][k];
    if (std::fabs(s) < eps || s == 0.0f) {
      completed = k - 1;
      break;
    }
    if (s < 0.0f) d = -d;
    if (pivot != k) {
      d = -d;
      swap_rows(1, n, k, pivot, a);
    }
    for (int i = k + 1; i <= n; ++i)
      a[k][i] = (a[k][i] - dot_row_col(1, k - 1, k, i, a, a)) / s;
  }
  aux[1] = d;
  aux[3] = static_cast<float>(completed);

  free_real_vector(v, 1);
}

void lu_invert(RealMatrix a, int n, IntVector p) {
  RealVector w = allocate_real_vector(1, n);

  for (int k = n; k >= 1; --k) {
    int k1 = k + 1;
    for (int j = n; j >= k1; --j) {
      a[j][k1] = w[j];
      w[j] = -dot_row_col(k1, n, k, j, a, a);
    }
    float r = a[k][k];
    for (int j = n; j >= k1; --j) {
      a[k][j] = w[j];
      w[j] = -dot_row_col(k1, n, j, k, a, a) / r;
    }
    w[k] = (1.0f - dot_row_col(k1, n, k, k, a, a)) / r;
  }
  copy_vec_to_col(1, n, 1, a, w);
  for (int k = n - 1; k >= 1; --k)
    if (p[k] != k) swap_columns(1, n, k, p[k], a);

  free_real_vector(w, 1);
}

void decompose_and_invert(RealMatrix a, int n, RealVector aux) {
  IntVector p = allocate_integer_vector(1, n);
  lu_decompose(a, n, aux, p);
  if (aux[3] == static_cast<float>(n)) lu_invert(a, n, p);
  free_integer_vector(p, 1);
}

float determinant_from_diagonal(RealMatrix a, int n, int sign) {
  float x = 1.0f;
  for (int i = 1; i <= n; ++i) x = x * a[i][i];
  return std::fabs(x) * static_cast<float>(sign);
}

// ---------------------------------------------------------------------------
// Covariance wrappers

// A matrix 1..n x 1..n holding the block's n x n part in single precision.
static RealMatrix matrix_from_block(const double *block, int n) {
  RealMatrix a = allocate_real_matrix(1, n, 1, n);
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j)
      a[i][j] =
          static_cast<float>(block[(i - 1) * COVARIANCE_BLOCK_SIDE + (j - 1)]);
  return a;
}

float covariance_diagonal_product(const double *block, int n) {
  RealMatrix a = matrix_from_block(block, n);
  float product = determinant_from_diagonal(a, n, 1);
  free_real_matrix(a, 1, n, 1);
  return product;
}

void covariance_inverse(const double *source, double *destination, int n) {
  RealMatrix a = matrix_from_block(source, n);
  RealVector aux = allocate_real_vector(1, 3);
  aux[2] = 1.0e-5f;
  decompose_and_invert(a, n, aux);
  bool inverted = aux[3] == static_cast<float>(n);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j)
      destination[(i - 1) * COVARIANCE_BLOCK_SIDE + (j - 1)] =
          inverted ? static_cast<double>(a[i][j]) : nan;
  free_real_vector(aux, 1);
  free_real_matrix(a, 1, n, 1);
}
