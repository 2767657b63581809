// Double-precision matrix kit: allocation and element operations.
#include "matkit.h"

namespace {
const char kAllocationMessage[] = "Error allocating memory.";
}

// ---------------------------------------------------------------------------
// Allocation and release

DoubleMatrix allocate_double_matrix(int lr, int ur, int lc, int uc) {
  return allocate_matrix_blocks<double>(lr, ur, lc, uc, kAllocationMessage);
}

DoubleVector allocate_double_vector(int lo, int hi) {
  return allocate_vector_block<double>(lo, hi, kAllocationMessage);
}

IntVector allocate_int_vector(int lo, int hi) {
  return allocate_vector_block<std::int32_t>(lo, hi, kAllocationMessage);
}

void free_int_vector(IntVector v, int /*lo*/) { release_vector_block(v); }

void free_double_matrix(DoubleMatrix m, int lr, int ur, int /*lc*/) {
  release_matrix_blocks(m, lr, ur);
}

void free_double_vector(DoubleVector v, int /*lo*/) { release_vector_block(v); }

// ---------------------------------------------------------------------------
// Inner products

double dot_row_col_double(int lo, int hi, int i, int j, DoubleMatrix a,
                          DoubleMatrix b) {
  double s = 0.0;
  for (int k = lo; k <= hi; ++k) s += a[i][k] * b[k][j];
  return s;
}

double dot_row_vec(int lo, int hi, int i, DoubleMatrix a, DoubleVector v) {
  double s = 0.0;
  const DoubleVector row = a[i];
  for (int k = lo; k <= hi; ++k) s += row[k] * v[k];
  return s;
}

double dot_col_col(int lo, int hi, int i, int j, DoubleMatrix a,
                   DoubleMatrix b) {
  double s = 0.0;
  for (int k = lo; k <= hi; ++k) s += a[k][i] * b[k][j];
  return s;
}

double dot_row_row_double(int lo, int hi, int i, int j, DoubleMatrix a,
                          DoubleMatrix b) {
  double s = 0.0;
  const DoubleVector ra = a[i];
  const DoubleVector rb = b[j];
  for (int k = lo; k <= hi; ++k) s += ra[k] * rb[k];
  return s;
}

double dot_col_vec(int lo, int hi, int i, DoubleMatrix a, DoubleVector v) {
  double s = 0.0;
  for (int k = lo; k <= hi; ++k) s += a[k][i] * v[k];
  return s;
}

double dot_vec_offset(int lo, int hi, int shift, DoubleVector v,
                      DoubleVector w) {
  double s = 0.0;
  for (int k = lo; k <= hi; ++k) s += v[k] * w[k + shift];
  return s;
}

// ---------------------------------------------------------------------------
// Interchanges

void swap_rows_double(int lo, int hi, int i, int j, DoubleMatrix a) {
  const DoubleVector ri = a[i];
  const DoubleVector rj = a[j];
  for (int k = lo; k <= hi; ++k) {
    double t = ri[k];
    ri[k] = rj[k];
    rj[k] = t;
  }
}

void swap_columns_double(int lo, int hi, int i, int j, DoubleMatrix a) {
  for (int k = lo; k <= hi; ++k) {
    const DoubleVector row = a[k];
    double t = row[i];
    row[i] = row[j];
    row[j] = t;
  }
}

// ---------------------------------------------------------------------------
// Scaled additions and rotations

void add_scaled_vec_to_col(int lo, int hi, int i, DoubleMatrix a,
                           DoubleVector v, double x) {
  for (int k = lo; k <= hi; ++k) a[k][i] = a[k][i] + v[k] * x;
}

void add_scaled_col_to_col(int lo, int hi, int i, int j, DoubleMatrix a,
                           DoubleMatrix b, double x) {
  for (int k = lo; k <= hi; ++k) a[k][i] = a[k][i] + b[k][j] * x;
}

void add_scaled_col_to_vec(int lo, int hi, int i, DoubleVector v,
                           DoubleMatrix a, double x) {
  for (int k = lo; k <= hi; ++k) v[k] = v[k] + a[k][i] * x;
}

void rotate_columns(int lo, int hi, int i, int j, DoubleMatrix a, double cs,
                    double sn) {
  for (int k = lo; k <= hi; ++k) {
    const DoubleVector row = a[k];
    double p = row[i];
    double q = row[j];
    row[i] = cs * p + sn * q;
    row[j] = cs * q - sn * p;
  }
}

void rotate_rows(int lo, int hi, int i, int j, DoubleMatrix a, double cs,
                 double sn) {
  const DoubleVector ri = a[i];
  const DoubleVector rj = a[j];
  for (int k = lo; k <= hi; ++k) {
    double p = ri[k];
    double q = rj[k];
    ri[k] = cs * p + sn * q;
    rj[k] = cs * q - sn * p;
  }
}
