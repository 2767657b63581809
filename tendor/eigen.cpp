// Symmetric eigen solver: Householder tridiagonalisation, Sturm-sequence
// eigenvalue search, inverse iteration and the two entry points.
#include "eigen.h"

#include <cmath>

// ---------------------------------------------------------------------------
// Householder tridiagonalisation

namespace {

// Largest absolute row sum of the symmetric matrix whose upper triangle (with
// the diagonal) a holds: row i is column i down to the diagonal followed by
// row i right of it.
double symmetric_norm(DoubleMatrix a, int n) {
  double norm = 0.0;
  for (int i = 1; i <= n; ++i) {
    double sum = 0.0;
    for (int m = 1; m <= i; ++m) sum += std::fabs(a[m][i]);
    for (int m = i + 1; m <= n; ++m) sum += std::fabs(a[i][m]);
    if (sum > norm) norm = sum;
  }
  return norm;
}

// One reflection I + h*u*u' applied from both sides to the leading j x j
// block; u is column r, rows 1..j, and p (held in offdiag) the work vector.
void reflect_leading_block(DoubleMatrix a, int r, int j, double h,
                           DoubleVector p) {
  for (int k = 1; k <= j; ++k)
    p[k] = (dot_col_col(1, k, k, r, a, a) +
            dot_row_col_double(k + 1, j, k, r, a, a)) *
           h;
  double K = dot_col_vec(1, j, r, a, p) * h * 0.5;
  add_scaled_col_to_vec(1, j, r, p, a, K);
  for (int k = 1; k <= j; ++k) {
    add_scaled_col_to_col(1, k, k, r, a, a, p[k]);
    add_scaled_vec_to_col(1, k, k, a, p, a[k][r]);
  }
}

}  // namespace

void tridiagonalize_symmetric(DoubleMatrix a, int n, DoubleVector diag,
                              DoubleVector offdiag, DoubleVector offdiag_sq,
                              double *control) {
  double norm = symmetric_norm(a, n);
  control[CONTROL_NORM] = norm;
  double tol = control[CONTROL_PRECISION] * norm;

  for (int r = n; r >= 2; --r) {
    int j = r - 1;
    diag[r] = a[r][r];
    double s = dot_col_col(1, r - 2, r, r, a, a);
    double w = a[j][r];
    if (std::sqrt(s) <= tol) {
      offdiag[j] = w;
      offdiag_sq[j] = w * w;
      a[r][r] = 1.0;
      continue;
    }
    offdiag_sq[j] = w * w + s;
    double sigma =
        w > 0.0 ? -std::sqrt(offdiag_sq[j]) : std::sqrt(offdiag_sq[j]);
    a[j][r] = w - sigma;
    double h = 1.0 / (sigma * a[j][r]);
    a[r][r] = h;
    reflect_leading_block(a, r, j, h, offdiag);
    offdiag[j] = sigma;
  }
  diag[1] = a[1][1];
  a[1][1] = 1.0;
  offdiag_sq[n] = 0.0;
  offdiag[n] = 0.0;
}

void back_transform_eigenvectors(DoubleMatrix a, int n, int first, int last,
                                 DoubleMatrix vec) {
  for (int i = 2; i <= n; ++i) {
    double h = a[i][i];
    if (!(h < 0.0)) continue;
    for (int col = first; col <= last; ++col) {
      double t = h * dot_col_col(1, i - 1, i, col, a, vec);
      add_scaled_col_to_col(1, i - 1, col, i, vec, a, t);
    }
  }
}

// ---------------------------------------------------------------------------
// Tridiagonal eigenvalues

double sturm_count(DoubleVector diag, DoubleVector offdiag_sq, int n, double x,
                   int k, double machtol, double big, int &count, double &ub) {
  ++count;
  int t = k;
  double p = diag[1] - x;
  for (int i = 2; i <= n; ++i) {
    if (p <= 0.0) {
      ++t;
      if (t > n) return (n - t) * big;
    } else if (t < i - 1) {
      return (n - t) * big;
    }
    if (std::fabs(p) < machtol) p = p <= 0.0 ? -machtol : machtol;
    // A pivot is exactly zero only when machtol is 0 (the zero matrix); with
    // a zero coupling the next pivot is then simply diag[i] - x, where the
    // plain formula would divide 0 by 0.
    if (p == 0.0 && offdiag_sq[i - 1] == 0.0)
      p = diag[i] - x;
    else
      p = diag[i] - x - offdiag_sq[i - 1] / p;
  }
  if (t == n || p <= 0.0) {
    if (ub > x) ub = x;
  }
  return t == n ? p : (n - t) * big;
}

void tridiagonal_eigenvalues(DoubleVector diag, DoubleVector offdiag_sq, int n,
                             int first, int last, DoubleVector val,
                             double *control) {
  const double tiny = 0x1p-126;  // smallest normal single-precision value
  int count = 0;
  const double machtol = control[CONTROL_NORM] * control[CONTROL_PRECISION];
  const double big = control[CONTROL_NORM] / control[CONTROL_PRECISION];
  double ub = 1.1 * control[CONTROL_NORM];
  double lambda = ub;

  for (int k = first; k <= last; ++k) {
    double y = ub;
    double x = -1.1 * control[CONTROL_NORM];
    double fx = sturm_count(diag, offdiag_sq, n, x, k, machtol, big, count, ub);
    double fy = sturm_count(diag, offdiag_sq, n, y, k, machtol, big, count, ub);
    double z = y;
    double fz = fy;
    double a = 0.0;
    double fa = 0.0;
    int ext = 0;

    for (;;) {
      if (std::fabs(fx) > std::fabs(fz)) {
        if (z != y) {
          a = y;
          fa = fy;
        }
        y = x;
        fy = fx;
        x = z;
        fx = fz;
        z = y;
        fz = fy;
      }
      double tol = std::fabs(x) * control[CONTROL_ZERO_TOLERANCE] + machtol;
      double mb = (x + z) * 0.5 - x;
      if (std::fabs(mb) <= tol) break;

      double w;
      if (ext > 2) {
        w = mb;
      } else {
        if (mb < 0.0) tol = -tol;
        double p = (x - y) * fx;
        double q;
        if (ext <= 1) {
          q = fy - fx;
        } else {
          double fda = (fa - fx) / (a - x);
          double fdb = (fa - fy) / (a - y);
          p = fdb * p;
          q = fda * fy - fdb * fx;
        }
        if (p < 0.0) {
          p = -p;
          q = -q;
        }
        if (p < tiny || p <= q * tol)
          w = tol;
        else if (p < q * mb)
          w = p / q;
        else
          w = mb;
      }

      a = y;
      fa = fy;
      y = x;
      fy = fx;
      x = x + w;
      fx = sturm_count(diag, offdiag_sq, n, x, k, machtol, big, count, ub);
      if ((fz >= 0.0 && fx >= 0.0) || (fz < 0.0 && fx <= 0.0)) {
        z = y;
        fz = fy;
        ext = 0;
      } else {
        ext = w == mb ? 0 : ext + 1;
      }
    }

    if (x <= lambda) lambda = x;
    val[k] = lambda;
    if (ub > x) ub = x < z ? z : x;
  }
  control[CONTROL_STURM_COUNT] = count;
}

// ---------------------------------------------------------------------------
// Inverse iteration

namespace {

// Work space of the inverse iteration: the factorisation of T - lambda*I
// with row interchanges and the iterate.
struct InverseIteration {
  int n;
  IntVector interchanged;  // 1 where rows i and i + 1 were swapped
  DoubleVector mult;       // multipliers, 2..n
  DoubleVector piv;        // diagonal of U
  DoubleVector sup1;       // first superdiagonal of U
  DoubleVector sup2;       // second superdiagonal of U
  DoubleVector x;          // iterate, 1..n + 2 (n + 1 and n + 2 stay 0)
};

InverseIteration allocate_inverse_iteration(int n) {
  InverseIteration w;
  w.n = n;
  w.interchanged = allocate_int_vector(1, n);
  w.mult = allocate_double_vector(1, n);
  w.piv = allocate_double_vector(1, n);
  w.sup1 = allocate_double_vector(1, n);
  w.sup2 = allocate_double_vector(1, n);
  w.x = allocate_double_vector(1, n + 2);
  return w;
}

void free_inverse_iteration(InverseIteration &w) {
  free_double_vector(w.x, 1);
  free_double_vector(w.sup2, 1);
  free_double_vector(w.sup1, 1);
  free_double_vector(w.piv, 1);
  free_double_vector(w.mult, 1);
  free_int_vector(w.interchanged, 1);
}

// Factorises T - lambda*I with row interchanges into w and sets the iterate
// to (1, ..., 1). Couplings and the last pivot below tol in magnitude are
// replaced by +tol.
void factorise_shifted(InverseIteration &w, DoubleVector diag,
                       DoubleVector offdiag, double lambda, double tol) {
  const int n = w.n;
  double u = diag[1] - lambda;
  double v = offdiag[1];
  double sub = offdiag[1];
  if (std::fabs(sub) < tol) sub = tol;
  for (int i = 1; i <= n - 1; ++i) {
    double bi = offdiag[i + 1];
    if (std::fabs(bi) < tol) bi = tol;
    if (std::fabs(u) <= std::fabs(sub)) {
      w.mult[i + 1] = u / sub;
      w.piv[i] = sub;
      w.sup1[i] = diag[i + 1] - lambda;
      w.sup2[i] = bi;
      u = v - w.mult[i + 1] * w.sup1[i];
      v = -w.mult[i + 1] * bi;
      w.interchanged[i] = 1;
    } else {
      w.mult[i + 1] = sub / u;
      w.piv[i] = u;
      w.sup1[i] = v;
      w.sup2[i] = 0.0;
      u = diag[i + 1] - lambda - w.mult[i + 1] * v;
      v = bi;
      w.interchanged[i] = 0;
    }
    w.x[i] = 1.0;
    sub = bi;
  }
  w.piv[n] = std::fabs(u) < tol ? tol : u;
  w.sup1[n] = 0.0;
  w.sup2[n] = 0.0;
  w.x[n] = 1.0;
  w.x[n + 1] = 0.0;
  w.x[n + 2] = 0.0;
}

// Applies the row interchanges and multipliers of the factorisation to x.
void forward_eliminate(InverseIteration &w) {
  DoubleVector x = w.x;
  double v = x[1];
  for (int i = 2; i <= w.n; ++i) {
    double u;
    if (w.interchanged[i - 1] == 1) {
      u = v;
      x[i - 1] = x[i];
      v = x[i - 1];
    } else {
      u = x[i];
    }
    x[i] = u - w.mult[i] * v;
    v = x[i];
  }
}

// Solves U*x = x in place.
void back_substitute(InverseIteration &w) {
  DoubleVector x = w.x;
  for (int i = w.n; i >= 1; --i)
    x[i] = (x[i] - w.sup1[i] * x[i + 1] - w.sup2[i] * x[i + 2]) / w.piv[i];
}

// The eigenvectors of the zero matrix: any orthonormal set will do, and the
// unit vectors keep every later division well defined.
void unit_eigenvectors(int n, int first, int last, DoubleMatrix vec) {
  for (int k = first; k <= last; ++k)
    for (int i = 1; i <= n; ++i) vec[i][k] = i == k ? 1.0 : 0.0;
}

}  // namespace

void tridiagonal_eigenvectors(DoubleVector diag, DoubleVector offdiag, int n,
                              int first, int last, DoubleVector val,
                              DoubleMatrix vec, double *control) {
  const double norm = control[CONTROL_NORM];
  const double tol = control[CONTROL_PRECISION] * norm;
  const double orth = control[CONTROL_GROUP_DISTANCE] * norm;
  const double stop = control[CONTROL_STOP] * norm;
  const int cap = static_cast<int>(control[CONTROL_ITERATION_CAP]);
  const double restart = std::sqrt(control[CONTROL_PRECISION]);

  if (!(tol > 0.0)) {
    // No tolerance to keep the factorisation away from 0 / 0: with a zero
    // norm the matrix is zero and the unit vectors are its eigenvectors.
    unit_eigenvectors(n, first, last, vec);
    control[CONTROL_GROUP_SIZE] = 1.0;
    control[CONTROL_LARGEST_RESIDUAL] = 0.0;
    control[CONTROL_ITERATIONS] = 0.0;
    return;
  }

  int next_unit = 0;
  int largest_it = 0;
  double largest_w = 0.0;
  double prev = 0.0;
  int g = 1;

  if (first > 1) {
    // Rebuild the group that ended at first - 1.
    g = static_cast<int>(control[CONTROL_GROUP_SIZE]);
    if (g < 1) g = 1;
    if (g > first - 1) g = first - 1;
    prev = val[first - g];
    for (int j = first - g + 1; j <= first - 1; ++j) {
      double l = val[j];
      if (prev - l < tol) l = prev - tol;
      prev = l;
    }
  }

  InverseIteration work = allocate_inverse_iteration(n);
  DoubleVector x = work.x;

  for (int k = first; k <= last; ++k) {
    double lambda = val[k];
    if (k > 1) {
      double diff = prev - lambda;
      if (diff < orth) {
        if (diff < tol) lambda = prev - tol;
        ++g;
      } else {
        g = 1;
      }
    }

    factorise_shifted(work, diag, offdiag, lambda, tol);
    int it = 0;
    int restarts = 0;
    double w;
    for (;;) {
      back_substitute(work);
      double len = std::sqrt(dot_vec_offset(1, n, 0, x, x));
      if (g > 1) {
        double len0 = len;
        for (int j = k - g + 1; j <= k - 1; ++j)
          add_scaled_col_to_vec(1, n, j, x, vec, -dot_col_vec(1, n, j, vec, x));
        len = std::sqrt(dot_vec_offset(1, n, 0, x, x));
        // A solve that lay almost wholly in the span of the group's earlier
        // vectors starts again from the next unit vector. After n restarts
        // of one vector every unit vector has been tried and a further
        // restart would repeat the same course for ever, so the iteration
        // then goes on from the projected vector, bounded by the cap.
        if (len0 * restart > len && restarts < n) {
          ++restarts;
          ++next_unit;
          it = 1;
          for (int i = 1; i <= n; ++i) x[i] = 0.0;
          x[next_unit] = 1.0;
          if (next_unit == n) next_unit = 0;
          forward_eliminate(work);
          continue;
        }
      }
      w = 1.0 / len;
      if (w <= stop && it != 0) break;
      ++it;
      if (it > cap) break;
      for (int i = 1; i <= n; ++i) x[i] = x[i] * w;
      forward_eliminate(work);
    }

    for (int i = 1; i <= n; ++i) vec[i][k] = x[i] * w;
    if (it > largest_it) largest_it = it;
    if (w > largest_w) largest_w = w;
    prev = lambda;
  }

  control[CONTROL_GROUP_SIZE] = g;
  control[CONTROL_LARGEST_RESIDUAL] = largest_w;
  control[CONTROL_ITERATIONS] = largest_it;
  free_inverse_iteration(work);
}

// ---------------------------------------------------------------------------
// Entry points

void symmetric_eigen(DoubleMatrix a, int n, int count, DoubleVector val,
                     DoubleMatrix vec, double *control) {
  DoubleVector offdiag = allocate_double_vector(1, n);
  DoubleVector offdiag_sq = allocate_double_vector(1, n);
  DoubleVector diag = allocate_double_vector(1, n);
  tridiagonalize_symmetric(a, n, diag, offdiag, offdiag_sq, control);
  tridiagonal_eigenvalues(diag, offdiag_sq, n, 1, count, val, control);
  tridiagonal_eigenvectors(diag, offdiag, n, 1, count, val, vec, control);
  back_transform_eigenvectors(a, n, 1, count, vec);
  free_double_vector(diag, 1);
  free_double_vector(offdiag_sq, 1);
  free_double_vector(offdiag, 1);
}

int covariance_eigen(const double cov[EIGEN_BLOCK_SIDE][EIGEN_BLOCK_SIDE],
                     double E[EIGEN_BLOCK_SIDE][EIGEN_BLOCK_SIDE],
                     double eigenvalue[EIGEN_BLOCK_SIDE], int n) {
  DoubleMatrix a = allocate_double_matrix(1, n, 1, n);
  DoubleMatrix vec = allocate_double_matrix(1, n, 1, n);
  DoubleVector val = allocate_double_vector(1, n);

  // Entries 1, 3, 5, 7 and 9 are outputs of the stages.
  double control[CONTROL_SIZE] = {};
  control[CONTROL_PRECISION] = 1.0e-6;
  control[CONTROL_ZERO_TOLERANCE] = 1.0e-6;
  control[CONTROL_GROUP_DISTANCE] = 1.0e-3;
  control[CONTROL_STOP] = 1.0e-7;
  control[CONTROL_ITERATION_CAP] = 10.0 * static_cast<double>(n);

  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) a[i][j] = cov[i - 1][j - 1];

  symmetric_eigen(a, n, n, val, vec, control);

  for (int k = 1; k <= n; ++k) {
    eigenvalue[k - 1] = val[k];
    for (int j = 1; j <= n; ++j) E[k - 1][j - 1] = vec[j][k];
  }

  free_double_matrix(a, 1, n, 1);
  free_double_matrix(vec, 1, n, 1);
  free_double_vector(val, 1);
  return 0;
}
