// Symmetric eigen solver of the principal-component calculator, in double
// precision: Householder reduction to tridiagonal form, eigenvalues by a
// bracketing zero-finder on Sturm-sequence counts, eigenvectors by inverse
// iteration, and the back-transformation to the original matrix.
//
// Every stage shares one control vector of ten doubles, slots named below:
//   0 in   relative precision; control[0] * norm is the absolute tolerance
//   1 out  norm of the matrix (largest absolute row sum)
//   2 in   relative tolerance of the eigenvalue zero-finder
//   3 out  number of Sturm evaluations
//   4 in   grouping distance: eigenvalues closer than control[4] * norm to
//          the previous one share a group whose vectors are orthogonalised
//   5 out  size of the last group (in when the first vector asked for is
//          not the first)
//   6 in   iteration stop: a vector is accepted once 1 / its length after a
//          solve is at most control[6] * norm
//   7 out  largest accepted 1 / length
//   8 in   iteration cap per vector (truncated to an integer)
//   9 out  largest iteration count over all vectors
#pragma once

#include "matkit.h"

// Slots of the control vector (in: set by the caller; out: set by a stage).
enum EigenControl {
  CONTROL_PRECISION = 0,         // in
  CONTROL_NORM = 1,              // out
  CONTROL_ZERO_TOLERANCE = 2,    // in
  CONTROL_STURM_COUNT = 3,       // out
  CONTROL_GROUP_DISTANCE = 4,    // in
  CONTROL_GROUP_SIZE = 5,        // out (in for a later first vector)
  CONTROL_STOP = 6,              // in
  CONTROL_LARGEST_RESIDUAL = 7,  // out
  CONTROL_ITERATION_CAP = 8,     // in
  CONTROL_ITERATIONS = 9,        // out
  CONTROL_SIZE = 10
};

// Number of bands of the covariance layout: 7 x 7 doubles, row by row.
constexpr int EIGEN_BLOCK_SIDE = 7;

// Eigen decomposition of the n x n covariance matrix in the top-left block of
// cov (n = 1..7; only the upper triangle with the diagonal is read). Writes
// the n eigenvalues, largest first, into eigenvalue[0..n-1] and the unit
// eigenvector of eigenvalue[k] into row k of E (E[k][j] belongs to band
// j + 1). Entries outside 0..n-1 are not written. Always returns 0; ends the
// run through fatal_error when its work space cannot be allocated.
// The zero matrix (every band constant) yields eigenvalues 0 and the unit
// vectors: row k of E is 1 at position k and 0 elsewhere.
int covariance_eigen(const double cov[EIGEN_BLOCK_SIDE][EIGEN_BLOCK_SIDE],
                     double E[EIGEN_BLOCK_SIDE][EIGEN_BLOCK_SIDE],
                     double eigenvalue[EIGEN_BLOCK_SIDE], int n);

// The largest `count` eigenpairs of the symmetric matrix held in the upper
// triangle of a (1..n x 1..n, overwritten): val[1..count] non-increasing,
// vec (1..n x 1..count) the unit eigenvectors as columns.
void symmetric_eigen(DoubleMatrix a, int n, int count, DoubleVector val,
                     DoubleMatrix vec, double *control);

// Reduces the symmetric matrix in the upper triangle of a (1..n x 1..n) to
// tridiagonal form: diag[1..n], offdiag[j] couples rows j and j + 1
// (offdiag[n] = 0), offdiag_sq[j] its square (offdiag_sq[n] = 0). The upper
// triangle then holds the reflections for back_transform_eigenvectors; the
// strictly lower triangle is neither read nor written. Sets CONTROL_NORM.
void tridiagonalize_symmetric(DoubleMatrix a, int n, DoubleVector diag,
                              DoubleVector offdiag, DoubleVector offdiag_sq,
                              double *control);

// Turns the eigenvectors of the tridiagonal matrix in columns first..last of
// vec (1..n rows) into eigenvectors of the matrix that a was reduced from.
void back_transform_eigenvectors(DoubleMatrix a, int n, int first, int last,
                                 DoubleMatrix vec);

// One Sturm-sequence evaluation of T - x*I. Increments count and may lower
// ub to x. Positive when x lies below the k-th largest eigenvalue, negative
// above it; near the eigenvalue it is the last pivot.
double sturm_count(DoubleVector diag, DoubleVector offdiag_sq, int n, double x,
                   int k, double machtol, double big, int &count, double &ub);

// Eigenvalues first..last (k-th largest at val[k]) of the tridiagonal matrix,
// non-increasing. Sets CONTROL_STURM_COUNT.
void tridiagonal_eigenvalues(DoubleVector diag, DoubleVector offdiag_sq, int n,
                             int first, int last, DoubleVector val,
                             double *control);

// Eigenvectors (columns first..last of vec, unit length) of the tridiagonal
// matrix for the eigenvalues val[first..last], by inverse iteration. Sets
// CONTROL_GROUP_SIZE, CONTROL_LARGEST_RESIDUAL and CONTROL_ITERATIONS.
void tridiagonal_eigenvectors(DoubleVector diag, DoubleVector offdiag, int n,
                              int first, int last, DoubleVector val,
                              DoubleMatrix vec, double *control);
