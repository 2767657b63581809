// Symmetric eigen solver against known spectra and random symmetric
// matrices, with the stage-level cases the covariance entry point hides.
#include "eigen.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

struct Block {
  double m[7][7] = {};
};

struct Result {
  double E[7][7];
  double value[7];
};

// Runs the entry point with 99 in every output slot beforehand.
Result decompose(const Block &c, int n) {
  Result r;
  std::fill(&r.E[0][0], &r.E[0][0] + 49, 99.0);
  std::fill(r.value, r.value + 7, 99.0);
  EXPECT_EQ(covariance_eigen(c.m, r.E, r.value, n), 0);
  return r;
}

// Unit length, non-increasing eigenvalues, A*v = lambda*v to rel * norm,
// pairs orthogonal to orth (when given), nothing written outside n x n.
void expect_eigenpairs(const Block &c, const Result &r, int n, double rel,
                       double orth = -1.0) {
  double norm = 0.0;
  for (int i = 0; i < n; ++i) {
    double s = 0.0;
    for (int j = 0; j < n; ++j) s += std::fabs(c.m[i][j]);
    norm = std::max(norm, s);
  }
  for (int k = 0; k < n; ++k) {
    double len = 0.0;
    for (int i = 0; i < n; ++i) {
      len += r.E[k][i] * r.E[k][i];
      double s = 0.0;
      for (int j = 0; j < n; ++j) s += c.m[i][j] * r.E[k][j];
      ASSERT_NEAR(s, r.value[k] * r.E[k][i], rel * norm) << k << "," << i;
    }
    ASSERT_NEAR(len, 1.0, 1e-12);
    ASSERT_TRUE(k == 0 || r.value[k] <= r.value[k - 1]);
    for (int m = 0; m < k && orth >= 0.0; ++m) {
      double d = 0.0;
      for (int i = 0; i < n; ++i) d += r.E[k][i] * r.E[m][i];
      ASSERT_NEAR(d, 0.0, orth) << m << "," << k;
    }
  }
  for (int i = 0; i < 7; ++i)
    for (int j = 0; j < 7; ++j)
      ASSERT_TRUE((i < n && j < n) ||
                  (r.E[i][j] == 99.0 && (i < n || r.value[i] == 99.0)));
}

// Q * diag(values) * Q' with Q a reflection from a random vector.
Block with_spectrum(const std::vector<double> &values, std::mt19937 &gen) {
  const int n = static_cast<int>(values.size());
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  double u[7], uu = 0.0;
  for (int i = 0; i < n; ++i) {
    u[i] = dist(gen);
    uu += u[i] * u[i];
  }
  Block c;
  for (int i = 0; i < n; ++i)
    for (int j = i; j < n; ++j)
      for (int k = 0; k < n; ++k)
        c.m[i][j] = c.m[j][i] += ((i == k) - 2.0 * u[i] * u[k] / uu) *
                                 values[k] *
                                 ((j == k) - 2.0 * u[j] * u[k] / uu);
  return c;
}

TEST(Eigen, TridiagonalFormOfSmallAndDiagonalMatrices) {
  // n = 2 reflects nothing; a diagonal matrix skips every step.
  DoubleMatrix a = allocate_double_matrix(1, 3, 1, 3);
  DoubleVector d = allocate_double_vector(1, 3),
               e = allocate_double_vector(1, 3),
               e2 = allocate_double_vector(1, 3);
  double control[10] = {1.0e-6};
  a[1][1] = 2.0, a[1][2] = -3.0, a[2][2] = 0.5, a[2][1] = 1000.0;
  tridiagonalize_symmetric(a, 2, d, e, e2, control);
  EXPECT_EQ(control[1], 5.0);
  EXPECT_TRUE(d[1] == 2.0 && d[2] == 0.5 && e[1] == -3.0 && e2[1] == 9.0);
  EXPECT_TRUE(e[2] == 0.0 && e2[2] == 0.0 && a[1][1] == 1.0 && a[2][2] == 1.0);
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) a[i][j] = i == j ? 4.0 - i : 0.0;
  tridiagonalize_symmetric(a, 3, d, e, e2, control);
  for (int i = 1; i <= 3; ++i)
    EXPECT_TRUE(d[i] == 4.0 - i && e[i] == 0.0 && e2[i] == 0.0 &&
                a[i][i] == 1.0);
  free_double_vector(e2, 1), free_double_vector(e, 1), free_double_vector(d, 1);
  free_double_matrix(a, 1, 3, 1);
}

TEST(Eigen, SturmCountSides) {
  DoubleVector d = allocate_double_vector(1, 3),
               sq = allocate_double_vector(1, 3);
  d[1] = 3.0, d[2] = 2.0, d[3] = 1.0;
  sq[1] = sq[2] = sq[3] = 0.0;
  int count = 0;
  double ub = 10.0;
  // 2.5 lies below the largest and above the second largest, which it bounds.
  EXPECT_GT(sturm_count(d, sq, 3, 2.5, 1, 1e-9, 1e6, count, ub), 0.0);
  EXPECT_EQ(ub, 2.5);
  EXPECT_LT(sturm_count(d, sq, 3, 2.5, 2, 1e-9, 1e6, count, ub), 0.0);
  EXPECT_GT(sturm_count(d, sq, 3, 0.5, 2, 1e-9, 1e6, count, ub), 0.0);
  EXPECT_EQ(ub, 2.5);
  // For k = n a first non-positive pivot decides at once.
  d[1] = 0.0;
  EXPECT_EQ(sturm_count(d, sq, 3, 1.0, 3, 1e-9, 1e6, count, ub), -1e6);
  EXPECT_EQ(count, 4);
  free_double_vector(sq, 1), free_double_vector(d, 1);
}

TEST(Eigen, OneBandTakesElevenSolves) {
  for (double v : {4.0, 0.37, 2.5e-3}) {
    Block c;
    c.m[0][0] = v;
    Result r = decompose(c, 1);
    EXPECT_NEAR(r.value[0], v, 2e-6 * v);
    EXPECT_NEAR(std::fabs(r.E[0][0]), 1.0, 1e-15);
  }
  DoubleMatrix a = allocate_double_matrix(1, 1, 1, 1),
               vec = allocate_double_matrix(1, 1, 1, 1);
  DoubleVector val = allocate_double_vector(1, 1);
  double control[10] = {1.0e-6, 0.0,    1.0e-6, 0.0, 1.0e-3,
                        0.0,    1.0e-7, 0.0,    10.0};
  a[1][1] = 4.0;
  symmetric_eigen(a, 1, 1, val, vec, control);
  EXPECT_EQ(control[9], 11.0);  // the cap of 10, plus one
  free_double_vector(val, 1), free_double_matrix(vec, 1, 1, 1),
      free_double_matrix(a, 1, 1, 1);
}

TEST(Eigen, DiagonalMatrixGivesUnitVectors) {
  Block c;
  c.m[0][0] = 2.0, c.m[1][1] = 9.0, c.m[2][2] = 5.0;
  Result r = decompose(c, 3);
  expect_eigenpairs(c, r, 3, 1e-5);
  // Zero couplings enter as tol = 9e-6: off-position parts of tol / gap.
  const int band[3] = {1, 2, 0};
  for (int k = 0; k < 3; ++k)
    for (int i = 0; i < 3; ++i)
      EXPECT_NEAR(std::fabs(r.E[k][i]), i == band[k] ? 1.0 : 0.0, 1e-5);
}

TEST(Eigen, EqualAndCloseEigenvaluesGiveOrthogonalVectors) {
  Block id;
  for (int i = 0; i < 4; ++i) id.m[i][i] = 7.0;
  expect_eigenpairs(id, decompose(id, 4), 4, 1e-5, 1e-9);
  std::mt19937 gen(3);
  Block triple = with_spectrum({5.0, 2.0, 2.0, 2.0, -1.0}, gen);
  expect_eigenpairs(triple, decompose(triple, 5), 5, 1e-5, 1e-6);
  // 1e-4 apart, norm near 10: grouped (closer than 1e-3 * norm) though not
  // shifted apart (not closer than tol).
  Block close = with_spectrum({8.0, 3.0, 3.0 - 1e-4, 0.5}, gen);
  expect_eigenpairs(close, decompose(close, 4), 4, 1e-5, 1e-5);
}

TEST(Eigen, ZeroMatrixGivesZerosAndUnitVectors) {
  for (int n = 1; n <= 7; ++n) {
    Result r = decompose(Block{}, n);
    for (int k = 0; k < n; ++k)
      for (int i = 0; i < n; ++i)
        ASSERT_TRUE(r.value[k] == 0.0 && r.E[k][i] == (i == k ? 1.0 : 0.0));
  }
  // Two Sturm evaluations per eigenvalue.
  DoubleVector d = allocate_double_vector(1, 4),
               sq = allocate_double_vector(1, 4),
               val = allocate_double_vector(1, 4);
  for (int i = 1; i <= 4; ++i) d[i] = sq[i] = 0.0;
  double control[10] = {1.0e-6, 0.0, 1.0e-6};
  tridiagonal_eigenvalues(d, sq, 4, 1, 4, val, control);
  EXPECT_EQ(control[3], 8.0);
  free_double_vector(val, 1), free_double_vector(sq, 1),
      free_double_vector(d, 1);
}

TEST(Eigen, RandomAndCovarianceLikeMatrices) {
  std::mt19937 gen(2024);
  std::uniform_real_distribution<double> dist(-100.0, 100.0);
  for (int trial = 0; trial < 400; ++trial) {
    const int n = 1 + trial % 7;
    const int rank = trial % 3 == 0 ? 1 : n;  // products of factors: PSD
    double f[7][7];
    for (auto &row : f)
      for (double &x : row) x = dist(gen);
    Block c, other;
    for (int i = 0; i < n; ++i)
      for (int j = i; j < n; ++j) {
        double s = 0.0;
        for (int k = 0; k < rank; ++k) s += f[i][k] * f[j][k];
        c.m[i][j] = c.m[j][i] = trial % 2 ? s : f[i][j];
        other.m[i][j] = c.m[i][j];
        other.m[j][i] = i == j ? c.m[i][j] : -3.0 * i;  // lower triangle
      }
    Result r = decompose(c, n);
    expect_eigenpairs(c, r, n, 1e-5);
    Result r2 = decompose(other, n);
    ASSERT_EQ(std::memcmp(&r, &r2, sizeof r), 0) << "trial " << trial;
  }
}

TEST(Eigen, ResumingInsideAGroup) {
  // Vectors 1..3 and then 4..5 (splitting the group of three equal
  // eigenvalues, carried over through control[5]) match one call for 1..5.
  std::mt19937 gen(31);
  Block c = with_spectrum({10.0, 6.0, 6.0, 6.0, 1.0}, gen);
  DoubleMatrix a = allocate_double_matrix(1, 5, 1, 5),
               whole = allocate_double_matrix(1, 5, 1, 5),
               parts = allocate_double_matrix(1, 5, 1, 5);
  DoubleVector d = allocate_double_vector(1, 5),
               e = allocate_double_vector(1, 5),
               e2 = allocate_double_vector(1, 5),
               val = allocate_double_vector(1, 5);
  for (int i = 1; i <= 5; ++i)
    for (int j = 1; j <= 5; ++j) a[i][j] = c.m[i - 1][j - 1];
  double control[10] = {1.0e-6, 0.0,    1.0e-6, 0.0, 1.0e-3,
                        0.0,    1.0e-7, 0.0,    50.0};
  tridiagonalize_symmetric(a, 5, d, e, e2, control);
  tridiagonal_eigenvalues(d, e2, 5, 1, 5, val, control);
  tridiagonal_eigenvectors(d, e, 5, 1, 5, val, whole, control);
  tridiagonal_eigenvectors(d, e, 5, 1, 3, val, parts, control);
  EXPECT_EQ(control[5], 2.0);
  tridiagonal_eigenvectors(d, e, 5, 4, 5, val, parts, control);
  for (int i = 1; i <= 5; ++i)
    for (int k = 1; k <= 5; ++k)
      EXPECT_EQ(parts[i][k], whole[i][k]) << i << "," << k;
  for (int k = 3; k <= 4; ++k)
    for (int m = 2; m < k; ++m)
      EXPECT_NEAR(dot_col_col(1, 5, k, m, whole, whole), 0.0, 1e-6);
  free_double_vector(val, 1), free_double_vector(e2, 1),
      free_double_vector(e, 1);
  free_double_vector(d, 1), free_double_matrix(parts, 1, 5, 1);
  free_double_matrix(whole, 1, 5, 1), free_double_matrix(a, 1, 5, 1);
}

}  // namespace
