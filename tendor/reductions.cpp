// Reductions of general real matrices: balancing, elimination to upper
// Hessenberg form and real eigenvalues of a Hessenberg matrix by QR
// iteration with single shifts. Nothing in the toolkit calls them; they
// complete the double-precision kit.
#include "reductions.h"

#include <cmath>

// ---------------------------------------------------------------------------
// Balancing

namespace {

// Euclidean lengths of column i and row i over the active block l..k,
// without the diagonal element.
double off_diagonal_column_length(DoubleMatrix a, int l, int k, int i) {
  return std::sqrt(dot_col_col(l, i - 1, i, i, a, a) +
                   dot_col_col(i + 1, k, i, i, a, a));
}

double off_diagonal_row_length(DoubleMatrix a, int l, int k, int i) {
  return std::sqrt(dot_row_row_double(l, i - 1, i, i, a, a) +
                   dot_row_row_double(i + 1, k, i, i, a, a));
}

// Interchanges row and column i with row and column target, and their
// scale factors.
void exchange_row_and_column(DoubleMatrix a, int n, DoubleVector scale, int i,
                             int target) {
  if (i == target) return;
  swap_columns_double(1, n, i, target, a);
  swap_rows_double(1, n, i, target, a);
  double t = scale[i];
  scale[i] = scale[target];
  scale[target] = t;
}

}  // namespace

void equilibrate_matrix(DoubleMatrix a, int n, double *control,
                        DoubleVector scale, IntVector moves) {
  const double omega = control[REDUCTION_PRECISION];
  const double inv_two_ln2 = 1.0 / (2.0 * std::log(2.0));
  for (int i = 1; i <= n; ++i) {
    scale[i] = 1.0;
    moves[i] = 0;
  }

  int l = 1;
  int k = n;
  int m = n;
  int j = 1;
  int i = 1;
  const long long visits = static_cast<long long>(n) * (n + 1) / 2;
  for (long long visit = 0; visit < visits && m > 0 && l <= k; ++visit) {
    double cn = off_diagonal_column_length(a, l, k, i);
    double rn = off_diagonal_row_length(a, l, k, i);
    if (omega * rn >= cn / omega) {
      // Column negligible: move to the top of the block.
      moves[j++] = i;
      m = k - l;
      exchange_row_and_column(a, n, scale, i, l);
      ++l;
    } else if (omega * cn >= rn / omega) {
      // Row negligible: move to the bottom of the block.
      moves[j++] = -i;
      m = k - l;
      exchange_row_and_column(a, n, scale, i, k);
      --k;
    } else {
      double e = std::log(rn / cn) * inv_two_ln2;
      // Lengths that are not finite numbers give no factor.
      int q = std::fabs(e) < 1024.0 ? static_cast<int>(e) : 0;
      if (q > 1 || q < -1) {
        m = k - l;
        double t = std::ldexp(1.0, q);
        scale[i] = scale[i] * t;
        for (int r = 1; r <= n; ++r)
          if (r != i) a[r][i] = a[r][i] * t;
        for (int c = 1; c <= n; ++c)
          if (c != i) a[i][c] = a[i][c] / t;
      } else {
        --m;
      }
    }
    ++i;
    if (i > k || i < l) i = l;
  }
}

// ---------------------------------------------------------------------------
// Elimination to Hessenberg form

void hessenberg_eliminate(DoubleMatrix a, int n, double *control,
                          IntVector pivots) {
  double norm = 0.0;
  for (int i = 1; i <= n; ++i) {
    double sum = 0.0;
    for (int c = 1; c <= n; ++c) sum += std::fabs(a[i][c]);
    if (sum > norm) norm = sum;
  }
  control[REDUCTION_NORM] = norm;
  const double tol = norm * control[REDUCTION_PRECISION];
  pivots[1] = 0;
  if (n < 2) return;

  // w[m - 1] holds the new a[m][j] of the column being built.
  DoubleVector w = allocate_double_vector(0, n - 1);
  for (int j = 2; j <= n; ++j) {
    const int p = j - 1;
    int pivot_row = 0;
    double largest = 0.0;
    for (int r = j + 1; r <= n; ++r) {
      double v = std::fabs(a[r][p]);
      if (v > tol && (pivot_row == 0 || v > largest)) {
        pivot_row = r;
        largest = v;
      }
    }
    const bool found = pivot_row != 0;
    if (found) {
      if (std::fabs(a[j][p]) >= largest) {
        pivots[j] = j;
      } else {
        swap_rows_double(1, n, j, pivot_row, a);
        swap_columns_double(1, n, j, pivot_row, a);
        pivots[j] = pivot_row;
      }
      for (int r = j + 1; r <= n; ++r) a[r][p] = a[r][p] / a[j][p];
    } else {
      for (int r = j + 1; r <= n; ++r) a[r][p] = 0.0;
      pivots[j] = 0;
    }

    for (int r = 1; r <= n; ++r) {
      int q = r - 2 < j - 1 ? r - 2 : j - 1;
      double s = a[r][j];
      if (found) s = s + dot_row_col_double(j + 1, n, r, p, a, a);
      a[r][j] = s - dot_row_vec(1, q, r, a, w);
      w[r - 1] = a[r][j];
    }
  }
  free_double_vector(w, 0);
}

// ---------------------------------------------------------------------------
// QR iteration

namespace {

// One QR step on rows and columns l..n of the Hessenberg matrix a (already
// shifted): rotations of row pairs make it upper triangular, the same
// rotations applied to column pairs give R*Q. cs and sn keep the rotations.
void qr_step(DoubleMatrix a, int l, int n, DoubleVector cs, DoubleVector sn) {
  for (int i = l; i <= n - 1; ++i) {
    double p = a[i][i];
    double q = a[i + 1][i];
    double r = std::hypot(p, q);
    if (r == 0.0) {
      cs[i] = 1.0;
      sn[i] = 0.0;
    } else {
      cs[i] = p / r;
      sn[i] = q / r;
    }
    rotate_rows(i, n, i, i + 1, a, cs[i], sn[i]);
  }
  for (int i = l; i <= n - 1; ++i)
    rotate_columns(l, i + 1, i, i + 1, a, cs[i], sn[i]);
}

}  // namespace

int hessenberg_qr_eigenvalues(DoubleMatrix a, int n, double *control,
                              DoubleVector val) {
  const double tol1 = control[REDUCTION_PRECISION] * control[REDUCTION_NORM];
  const double tol2 = control[REDUCTION_QR_TOLERANCE] * control[REDUCTION_NORM];
  const int cap = static_cast<int>(control[REDUCTION_QR_CAP]);
  int iterations = 0;
  double largest_negligible = 0.0;
  int not_found = 0;

  DoubleVector cs = allocate_double_vector(1, n);
  DoubleVector sn = allocate_double_vector(1, n);
  while (n >= 1) {
    int l = n;
    while (l > 1 && std::fabs(a[l][l - 1]) > tol2) --l;
    if (l > 1 && std::fabs(a[l][l - 1]) > largest_negligible)
      largest_negligible = std::fabs(a[l][l - 1]);
    if (l == n) {
      val[n] = a[n][n];
      n = n - 1;
      continue;
    }

    double d = a[n][n] - a[n - 1][n - 1];
    double p = a[n][n - 1] * a[n - 1][n];
    double r;
    if (std::fabs(d) < tol1) {
      // A complex pair (p < 0) has no real root: take its real part, as the
      // branch below does.
      r = p >= 0.0 ? std::sqrt(p) : -d / 2.0;
    } else {
      double w = 2.0 / d;
      double t = w * w * p + 1.0;
      r = t <= 0.0 ? -d / 2.0 : w * p / (std::sqrt(t) + 1.0);
    }
    if (l == n - 1) {
      val[n] = a[n][n] + r;
      val[n - 1] = a[n - 1][n - 1] - r;
      n = n - 2;
      continue;
    }

    ++iterations;
    if (iterations > cap) {
      not_found = n;
      break;
    }
    double z = a[n][n] + r;
    if (std::fabs(d) < tol2 && std::fabs(a[n - 1][n - 1] - r) < std::fabs(z))
      z = a[n - 1][n - 1] - r;
    for (int i = l; i <= n; ++i) a[i][i] = a[i][i] - z;
    qr_step(a, l, n, cs, sn);
    for (int i = l; i <= n; ++i) a[i][i] = a[i][i] + z;
  }
  free_double_vector(sn, 1);
  free_double_vector(cs, 1);
  control[REDUCTION_LARGEST_NEGLIGIBLE] = largest_negligible;
  control[REDUCTION_QR_ITERATIONS] = iterations;
  return not_found;
}
