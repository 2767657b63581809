// General-matrix reductions: balancing, elimination to Hessenberg form and
// QR eigenvalues, alone and chained on matrices with known real spectra.
#include "reductions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using Dense = std::vector<std::vector<double>>;

DoubleMatrix make_matrix(const Dense &rows) {
  const int n = static_cast<int>(rows.size());
  DoubleMatrix a = allocate_double_matrix(1, n, 1, n);
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) a[i][j] = rows[i - 1][j - 1];
  return a;
}

// T * diag(values) * T^-1 with T = L * U, L all ones on and below the
// diagonal, U on and above: a full matrix of small integers, since the
// inverses have 1 on the diagonal and -1 next to it.
Dense similar_to_diagonal(const std::vector<double> &values) {
  const size_t n = values.size();
  auto multiply = [n](const Dense &a, const Dense &b) {
    Dense c(n, std::vector<double>(n, 0.0));
    for (size_t i = 0; i < n; ++i)
      for (size_t j = 0; j < n; ++j)
        for (size_t k = 0; k < n; ++k) c[i][j] += a[i][k] * b[k][j];
    return c;
  };
  Dense l(n, std::vector<double>(n, 0.0)), u = l, li = l, ui = l, d = l;
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = 0; j < n; ++j) l[i][j] = j <= i, u[i][j] = j >= i;
    li[i][i] = ui[i][i] = 1.0, d[i][i] = values[i];
    if (i > 0) li[i][i - 1] = ui[i - 1][i] = -1.0;
  }
  return multiply(multiply(multiply(l, u), d), multiply(ui, li));
}

// Hessenberg elimination, then QR; the eigenvalues in ascending order.
// Releases a.
std::vector<double> eigenvalues_of(DoubleMatrix a, int n, double cap,
                                   int *not_found) {
  double control[10] = {1.0e-14, 0.0, 1.0e-14, 0.0, cap};
  IntVector pivots = allocate_int_vector(1, n);
  DoubleVector val = allocate_double_vector(1, n);
  hessenberg_eliminate(a, n, control, pivots);
  *not_found = hessenberg_qr_eigenvalues(a, n, control, val);
  std::vector<double> v;
  for (int i = 1; i <= n; ++i) v.push_back(val[i]);
  std::sort(v.begin(), v.end());
  free_double_vector(val, 1), free_int_vector(pivots, 1);
  free_double_matrix(a, 1, n, 1);
  return v;
}

TEST(Reductions, QrOnOneByOneAndKnownMatrices) {
  DoubleMatrix one = make_matrix({{-2.75}});
  DoubleVector val = allocate_double_vector(1, 3);
  double control[10] = {1.0e-14, 2.75, 1.0e-14, 0.0, 100.0};
  EXPECT_EQ(hessenberg_qr_eigenvalues(one, 1, control, val), 0);
  EXPECT_EQ(val[1], -2.75);
  EXPECT_EQ(control[5], 0.0);

  // Eigenvalues 3 - sqrt(3), 3, 3 + sqrt(3); the cap stops the search.
  const Dense t = {{2, 1, 0}, {1, 3, 1}, {0, 1, 4}};
  int not_found = -1;
  std::vector<double> v = eigenvalues_of(make_matrix(t), 3, 100.0, &not_found);
  EXPECT_EQ(not_found, 0);
  EXPECT_NEAR(v[0], 3.0 - std::sqrt(3.0), 1e-12);
  EXPECT_NEAR(v[1], 3.0, 1e-12);
  EXPECT_NEAR(v[2], 3.0 + std::sqrt(3.0), 1e-12);
  eigenvalues_of(make_matrix(t), 3, 0.0, &not_found);
  EXPECT_EQ(not_found, 3);

  // A complex pair 1 +- 2i (d = 0, below tol1) yields its real part twice.
  DoubleMatrix rot = make_matrix({{1, -2}, {2, 1}});
  double c2[10] = {1.0e-2, 3.0, 1.0e-14, 0.0, 100.0};
  EXPECT_EQ(hessenberg_qr_eigenvalues(rot, 2, c2, val), 0);
  EXPECT_TRUE(val[1] == 1.0 && val[2] == 1.0);
  free_double_vector(val, 1), free_double_matrix(one, 1, 1, 1);
  free_double_matrix(rot, 1, 2, 1);
}

TEST(Reductions, EliminationKeepsHessenbergInputAndTheSpectrum) {
  const Dense h = {{4, 1, -2, 3}, {2, 5, 1, 1}, {0, -3, 2, 7}, {0, 0, 1, -1}};
  DoubleMatrix a = make_matrix(h);
  IntVector pivots = allocate_int_vector(1, 4);
  double control[10] = {1.0e-14};
  hessenberg_eliminate(a, 4, control, pivots);
  EXPECT_EQ(control[1], 12.0);  // row 3
  for (int i = 1; i <= 4; ++i) {
    EXPECT_EQ(pivots[i], 0);
    for (int j = 1; j <= 4; ++j)
      EXPECT_EQ(a[i][j], h[i - 1][j - 1]) << i << "," << j;
  }
  free_double_matrix(a, 1, 4, 1);

  // The largest element of column 1 is in row 4: rows and columns 2 and 4
  // are interchanged.
  DoubleMatrix b =
      make_matrix({{2, 1, 0, 1}, {0.5, 3, 1, 0}, {1, 0, 4, 2}, {3, 1, 1, 5}});
  hessenberg_eliminate(b, 4, control, pivots);
  EXPECT_TRUE(pivots[1] == 0 && pivots[2] == 4 && b[2][1] == 3.0);
  EXPECT_NEAR(b[1][1] + b[2][2] + b[3][3] + b[4][4], 14.0, 1e-12);
  free_double_matrix(b, 1, 4, 1), free_int_vector(pivots, 1);

  int not_found = -1;
  std::vector<double> v = eigenvalues_of(
      make_matrix(similar_to_diagonal({1.0, -2.0, 3.0, 5.0, 0.5})), 5, 100.0,
      &not_found);
  EXPECT_EQ(not_found, 0);
  const double expected[5] = {-2.0, 0.5, 1.0, 3.0, 5.0};
  for (int i = 0; i < 5; ++i) EXPECT_NEAR(v[i], expected[i], 1e-9);
}

TEST(Reductions, EquilibrateMovesDiagonalRowsAndBalancesFullOnes) {
  DoubleMatrix a = make_matrix({{3, 0, 0}, {0, -1, 0}, {0, 0, 2}});
  DoubleVector scale = allocate_double_vector(1, 4);
  IntVector moves = allocate_int_vector(1, 4);
  double control[10] = {1.0e-6};
  equilibrate_matrix(a, 3, control, scale, moves);
  const double diagonal[4] = {0.0, 3.0, -1.0, 2.0};
  for (int i = 1; i <= 3; ++i)
    EXPECT_TRUE(scale[i] == 1.0 && moves[i] != 0 && a[i][i] == diagonal[i]);
  free_double_matrix(a, 1, 3, 1);

  // D * A * D^-1 with D = diag(1, 2^12, 2^-10, 1), eigenvalues 1, -2, 3, 5.
  Dense m = similar_to_diagonal({1, -2, 3, 5});
  const double d[4] = {1.0, 4096.0, 1.0 / 1024.0, 1.0};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) m[i][j] = m[i][j] * d[i] / d[j];
  DoubleMatrix b = make_matrix(m);
  equilibrate_matrix(b, 4, control, scale, moves);
  EXPECT_TRUE(scale[2] != 1.0 && scale[3] != 1.0);
  for (int i = 1; i <= 4; ++i) {
    int e = 0;
    EXPECT_TRUE(moves[i] == 0 && std::frexp(scale[i], &e) == 0.5);
    double cn = 0.0, rn = 0.0;
    for (int j = 1; j <= 4; ++j) {
      EXPECT_EQ(b[i][j], i == j ? m[i - 1][j - 1]
                                : m[i - 1][j - 1] * scale[j] / scale[i]);
      cn += j == i ? 0.0 : b[j][i] * b[j][i];
      rn += j == i ? 0.0 : b[i][j] * b[i][j];
    }
    EXPECT_TRUE(rn / cn < 256.0 && cn / rn < 256.0) << i;
  }
  int not_found = -1;
  std::vector<double> v = eigenvalues_of(b, 4, 100.0, &not_found);
  EXPECT_EQ(not_found, 0);
  const double expected[4] = {-2.0, 1.0, 3.0, 5.0};
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(v[i], expected[i], 1e-8);
  free_int_vector(moves, 1), free_double_vector(scale, 1);
}

}  // namespace
