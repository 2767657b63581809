// Double-precision matrix kit of the principal-component calculator:
// vectors and matrices with caller-chosen index ranges (as a rule from 1),
// their allocation and release, and the element operations (inner products,
// interchanges, scaled additions, plane rotations) the eigen solver and the
// general-matrix reductions are built from.
//
// The containers are numlib's handles instantiated for double: v[i] and
// m[i][j] use the caller's own indices. Every kernel takes its index range
// explicitly and runs k = lo..hi in ascending order; a range with lo > hi
// does nothing and an inner product over it is 0.0. The first matrix operand
// may be the same matrix as the second: within one step k every element is
// read before it is written.
#pragma once

#include "numlib.h"

using DoubleVector = VecHandle<double>;
using DoubleMatrix = MatHandle<double>;

// ---------------------------------------------------------------------------
// Allocation and release. Elements are not initialised. A request that
// cannot be met ends the run through fatal_error("Error allocating
// memory."). Release with the same lower bounds (for a matrix also the same
// upper row bound).

DoubleMatrix allocate_double_matrix(int lr, int ur, int lc, int uc);
DoubleVector allocate_double_vector(int lo, int hi);
IntVector allocate_int_vector(int lo, int hi);
void free_int_vector(IntVector v, int lo);
void free_double_matrix(DoubleMatrix m, int lr, int ur, int lc);
void free_double_vector(DoubleVector v, int lo);

// ---------------------------------------------------------------------------
// Inner products: the sum starts at 0.0 and each product is added in
// ascending k, all in double precision.

// Sum of a[i][k] * b[k][j] (row i of a with column j of b).
double dot_row_col_double(int lo, int hi, int i, int j, DoubleMatrix a,
                          DoubleMatrix b);
// Sum of a[i][k] * v[k].
double dot_row_vec(int lo, int hi, int i, DoubleMatrix a, DoubleVector v);
// Sum of a[k][i] * b[k][j] (column i of a with column j of b).
double dot_col_col(int lo, int hi, int i, int j, DoubleMatrix a,
                   DoubleMatrix b);
// Sum of a[i][k] * b[j][k] (row i of a with row j of b).
double dot_row_row_double(int lo, int hi, int i, int j, DoubleMatrix a,
                          DoubleMatrix b);
// Sum of a[k][i] * v[k].
double dot_col_vec(int lo, int hi, int i, DoubleMatrix a, DoubleVector v);
// Sum of v[k] * w[k + shift].
double dot_vec_offset(int lo, int hi, int shift, DoubleVector v,
                      DoubleVector w);

// ---------------------------------------------------------------------------
// Interchanges move the 64-bit values unchanged.

// Exchanges a[i][k] and a[j][k].
void swap_rows_double(int lo, int hi, int i, int j, DoubleMatrix a);
// Exchanges a[k][i] and a[k][j].
void swap_columns_double(int lo, int hi, int i, int j, DoubleMatrix a);

// ---------------------------------------------------------------------------
// Scaled additions and rotations write each element once, in ascending k.

// a[k][i] = a[k][i] + v[k] * x.
void add_scaled_vec_to_col(int lo, int hi, int i, DoubleMatrix a,
                           DoubleVector v, double x);
// a[k][i] = a[k][i] + b[k][j] * x.
void add_scaled_col_to_col(int lo, int hi, int i, int j, DoubleMatrix a,
                           DoubleMatrix b, double x);
// v[k] = v[k] + a[k][i] * x.
void add_scaled_col_to_vec(int lo, int hi, int i, DoubleVector v,
                           DoubleMatrix a, double x);
// With p = a[k][i], q = a[k][j]: a[k][i] = cs*p + sn*q, a[k][j] = cs*q - sn*p.
void rotate_columns(int lo, int hi, int i, int j, DoubleMatrix a, double cs,
                    double sn);
// With p = a[i][k], q = a[j][k]: a[i][k] = cs*p + sn*q, a[j][k] = cs*q - sn*p.
void rotate_rows(int lo, int hi, int i, int j, DoubleMatrix a, double cs,
                 double sn);
