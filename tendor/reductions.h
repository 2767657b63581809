// Reductions of general real matrices that belong to the double-precision
// kit: balancing, elimination to upper Hessenberg form and real eigenvalues
// of a Hessenberg matrix by QR iteration with single shifts. They take a
// control vector of ten doubles like the eigen solver, with slots of their
// own meaning.
#pragma once

#include "matkit.h"

// Slots of a reduction's control vector.
enum ReductionControl {
  REDUCTION_PRECISION = 0,           // in: relative negligibility
  REDUCTION_NORM = 1,                // out of the elimination, in of the QR
  REDUCTION_QR_TOLERANCE = 2,        // in: relative subdiagonal tolerance
  REDUCTION_LARGEST_NEGLIGIBLE = 3,  // out: largest negligible subdiagonal
  REDUCTION_QR_CAP = 4,              // in: cap on the QR iterations
  REDUCTION_QR_ITERATIONS = 5,       // out: QR iterations used
};

// ---------------------------------------------------------------------------
// General real matrices (1..n x 1..n).

// Balances a by a diagonal similarity with powers of 2 after moving rows and
// columns with negligible off-diagonal parts (relative to REDUCTION_PRECISION)
// to the ends. scale[i]: factor applied to row and column i; moves[j]: the j-th
// interchange (+i to the top, -i to the bottom, 0 none).
void equilibrate_matrix(DoubleMatrix a, int n, double *control,
                        DoubleVector scale, IntVector moves);

// Reduces a to upper Hessenberg form by elementary similarity transformations
// with interchanges; the multipliers stay below the subdiagonal. pivots[j]:
// the row interchanged with row j at step j (j when none, 0 when the column
// was negligible; pivots[1] = 0). Sets REDUCTION_NORM to the norm.
void hessenberg_eliminate(DoubleMatrix a, int n, double *control,
                          IntVector pivots);

// Eigenvalues, assumed real, of the upper Hessenberg matrix a (destroyed)
// into val[1..n], last first, by QR iteration with single shifts.
// Subdiagonal elements at most REDUCTION_QR_TOLERANCE * REDUCTION_NORM are
// negligible; REDUCTION_QR_CAP caps the number of QR iterations. Returns the
// number of eigenvalues not found (0 on success); REDUCTION_LARGEST_NEGLIGIBLE
// receives the largest negligible subdiagonal element met and
// REDUCTION_QR_ITERATIONS the iterations used.
int hessenberg_qr_eigenvalues(DoubleMatrix a, int n, double *control,
                              DoubleVector val);
