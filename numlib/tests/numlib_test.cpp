// Tests of the numeric library: handles and allocation, the precision of the
// inner products, the LU decomposition's pivoting, sign and rank, the
// inverse, the covariance wrappers and the fatal-error exit.
#include "numlib.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
// Let a refused allocation come back as null, as malloc does without the
// sanitizer, so the allocators' own failure path can be exercised.
extern "C" const char *__asan_default_options() {
  return "allocator_may_return_null=1:max_allocation_size_mb=256";
}
#endif

namespace {

// ---------------------------------------------------------------------------
// Helpers

struct ChildResult {
  int status = -1; // exit status, -1 when the child did not exit normally
  std::string err;
};

// Runs `body` in a child process with standard error captured. With
// `limit_memory` the child cannot obtain large blocks of memory.
template <class F> ChildResult run_in_child(F body, bool limit_memory) {
  int fds[2];
  if (pipe(fds) != 0)
    return {};
  std::fflush(stdout);
  std::fflush(stderr);
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    dup2(fds[1], 2);
    close(fds[1]);
#if defined(__SANITIZE_ADDRESS__)
    __lsan_disable(); // the process ends without releasing on purpose
    (void)limit_memory; // the sanitizer's size cap refuses large blocks
#else
    if (limit_memory) {
      struct rlimit lim = {rlim_t(512) << 20, rlim_t(512) << 20};
      setrlimit(RLIMIT_AS, &lim);
    }
#endif
    body();
    _exit(99);
  }
  close(fds[1]);
  ChildResult result;
  char buf[256];
  ssize_t got;
  while ((got = read(fds[0], buf, sizeof buf)) > 0)
    result.err.append(buf, static_cast<std::size_t>(got));
  close(fds[0]);
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  if (WIFEXITED(wstatus))
    result.status = WEXITSTATUS(wstatus);
  return result;
}

// A small deterministic generator for random test matrices.
struct TestRandom {
  std::uint64_t state;
  explicit TestRandom(std::uint64_t seed) : state(seed) {}
  double uniform() { // -1 .. 1
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) / 9007199254740992.0 * 2.0 - 1.0;
  }
};

using Rows = std::vector<std::vector<double>>;

// A real matrix 1..n x 1..n from rows given 0-based.
RealMatrix make_matrix(const Rows &rows) {
  int n = static_cast<int>(rows.size());
  RealMatrix a = allocate_real_matrix(1, n, 1, n);
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j)
      a[i][j] = static_cast<float>(rows[i - 1][j - 1]);
  return a;
}

struct Decomposition {
  float sign = 0;
  int rank = -1;
  std::vector<int> pivots; // 1-based entries, index 0 unused
};

Decomposition decompose(RealMatrix a, int n, float tolerance) {
  RealVector aux = allocate_real_vector(1, 3);
  IntVector p = allocate_integer_vector(1, n);
  for (int k = 1; k <= n; ++k)
    p[k] = -7; // marks entries the decomposition did not reach
  aux[2] = tolerance;
  lu_decompose(a, n, aux, p);
  Decomposition d;
  d.sign = aux[1];
  d.rank = static_cast<int>(aux[3]);
  d.pivots.assign(1, 0);
  for (int k = 1; k <= n; ++k)
    d.pivots.push_back(p[k]);
  free_integer_vector(p, 1);
  free_real_vector(aux, 1);
  return d;
}

// Determinant in double precision by Gaussian elimination.
double reference_determinant(Rows m) {
  int n = static_cast<int>(m.size());
  double det = 1.0;
  for (int k = 0; k < n; ++k) {
    int piv = k;
    for (int i = k + 1; i < n; ++i)
      if (std::fabs(m[i][k]) > std::fabs(m[piv][k]))
        piv = i;
    if (piv != k) {
      std::swap(m[piv], m[k]);
      det = -det;
    }
    det *= m[k][k];
    for (int i = k + 1; i < n; ++i) {
      double f = m[i][k] / m[k][k];
      for (int j = k; j < n; ++j)
        m[i][j] -= f * m[k][j];
    }
  }
  return det;
}

// Largest deviation of rows·inverse (both ways) from the identity.
double identity_residual(const Rows &rows, RealMatrix inv) {
  int n = static_cast<int>(rows.size());
  double worst = 0.0;
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) {
      double left = 0.0, right = 0.0;
      for (int k = 1; k <= n; ++k) {
        left += static_cast<double>(static_cast<float>(rows[i - 1][k - 1])) *
                inv[k][j];
        right += static_cast<double>(inv[i][k]) *
                 static_cast<float>(rows[k - 1][j - 1]);
      }
      double want = i == j ? 1.0 : 0.0;
      worst = std::fmax(worst, std::fabs(left - want));
      worst = std::fmax(worst, std::fabs(right - want));
    }
  return worst;
}

Rows random_spd(TestRandom &rng, int n, double scale) {
  Rows b(n, std::vector<double>(n));
  for (auto &row : b)
    for (double &x : row)
      x = rng.uniform();
  Rows a(n, std::vector<double>(n));
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      double s = i == j ? n : 0.0;
      for (int k = 0; k < n; ++k)
        s += b[i][k] * b[j][k];
      a[i][j] = s * scale;
    }
  return a;
}

void fill_block(double *block, const Rows &rows) {
  for (std::size_t i = 0; i < rows.size(); ++i)
    for (std::size_t j = 0; j < rows.size(); ++j)
      block[i * 7 + j] = rows[i][j];
}

// ---------------------------------------------------------------------------
// Handles, allocation and element operations

TEST(NumlibStorage, BoundsOtherThanOneIndexTheirOwnElements) {
  RealMatrix m = allocate_real_matrix(-3, 2, 5, 9);
  for (int i = -3; i <= 2; ++i)
    for (int j = 5; j <= 9; ++j)
      m[i][j] = static_cast<float>(i * 10 + j);
  for (int i = -3; i <= 2; ++i)
    for (int j = 5; j <= 9; ++j)
      EXPECT_EQ(m[i][j], static_cast<float>(i * 10 + j));
  free_real_matrix(m, -3, 2, 5);

  IntVector v = allocate_integer_vector(0, 4);
  for (int i = 0; i <= 4; ++i)
    v[i] = INT32_MIN + i;
  EXPECT_EQ(v[0], INT32_MIN);
  EXPECT_EQ(v[4], INT32_MIN + 4);
  free_integer_vector(v, 0);

  IntMatrix im = allocate_integer_matrix(1, 3, 1, 3);
  im[3][3] = -5;
  EXPECT_EQ(im[3][3], -5);
  free_integer_matrix(im, 1, 3, 1);
}

TEST(NumlibStorage, EmptyRangesAllocateNothing) {
  RealVector v = allocate_real_vector(1, 0);
  EXPECT_EQ(v.block, nullptr);
  free_real_vector(v, 1);
  IntVector iv = allocate_integer_vector(5, 4);
  EXPECT_EQ(iv.block, nullptr);
  free_integer_vector(iv, 5);
  RealMatrix none = allocate_real_matrix(1, 0, 1, 3);
  EXPECT_EQ(none.rows, nullptr);
  free_real_matrix(none, 1, 0, 1);
  RealMatrix hollow = allocate_real_matrix(1, 2, 1, 0);
  ASSERT_NE(hollow.rows, nullptr);
  EXPECT_EQ(hollow[2].block, nullptr);
  free_real_matrix(hollow, 1, 2, 1);
}

TEST(NumlibElementOps, SwapsAndCopyMoveBitsAndRespectRanges) {
  RealMatrix m = make_matrix({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
  float nan_bits = std::nanf("");
  m[1][1] = -0.0f;
  m[3][3] = nan_bits;

  swap_rows(1, 3, 1, 3, m);
  EXPECT_EQ(m[1][1], 7.0f);
  EXPECT_TRUE(std::isnan(m[1][3]));
  EXPECT_TRUE(std::signbit(m[3][1]));
  swap_rows(2, 3, 2, 2, m); // same row: unchanged
  swap_rows(3, 2, 1, 2, m); // empty range: unchanged
  EXPECT_EQ(m[2][1], 4.0f);
  EXPECT_EQ(m[1][2], 8.0f);

  swap_columns(1, 2, 1, 2, m); // rows 1..2 only
  EXPECT_EQ(m[1][1], 8.0f);
  EXPECT_EQ(m[2][2], 4.0f);
  EXPECT_TRUE(std::signbit(m[3][1])); // row 3 untouched
  swap_columns(1, 3, 3, 3, m);
  swap_columns(2, 1, 1, 3, m);
  EXPECT_EQ(m[2][3], 6.0f);

  RealVector v = allocate_real_vector(1, 3);
  v[1] = 10;
  v[2] = 20;
  v[3] = 30;
  copy_vec_to_col(2, 3, 2, m, v);
  EXPECT_EQ(m[1][2], 7.0f); // row 1 outside the range
  EXPECT_EQ(m[2][2], 20.0f);
  EXPECT_EQ(m[3][2], 30.0f);
  copy_vec_to_col(3, 2, 1, m, v);
  EXPECT_EQ(m[3][1], 0.0f);
  free_real_vector(v, 1);
  free_real_matrix(m, 1, 3, 1);
}

TEST(NumlibElementOps, InnerProductsPairRowsAndColumns) {
  RealMatrix a = make_matrix({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
  EXPECT_EQ(dot_row_col(1, 3, 1, 2, a, a), 1 * 2 + 2 * 5 + 3 * 8);
  EXPECT_EQ(dot_row_row(1, 3, 1, 2, a, a), 1 * 4 + 2 * 5 + 3 * 6);
  EXPECT_EQ(dot_row_col(2, 3, 3, 1, a, a), 8 * 4 + 9 * 7);
  EXPECT_EQ(dot_row_col(3, 2, 1, 1, a, a), 0.0f);
  EXPECT_EQ(dot_row_row(1, 0, 1, 1, a, a), 0.0f);
  free_real_matrix(a, 1, 3, 1);
}

// The product of two floats is exact; rounding it to single precision first
// would lose the bits that decide the sum's rounding.
TEST(NumlibElementOps, ProductsEnterTheSumExactly) {
  const float x = std::ldexp(float((1 << 23) + 2509), -35);
  const float y = std::ldexp(float((1 << 23) - 2508), -35);
  RealMatrix a = make_matrix({{1, x}, {0, 0}});
  RealMatrix b = make_matrix({{1, 0}, {y, 0}});
  RealMatrix c = make_matrix({{1, y}, {0, 0}});
  const float want = 1.0f + std::ldexp(1.0f, -23);
  EXPECT_EQ(dot_row_col(1, 2, 1, 1, a, b), want);
  EXPECT_EQ(dot_row_row(1, 2, 1, 1, a, c), want);
  free_real_matrix(a, 1, 2, 1);
  free_real_matrix(b, 1, 2, 1);
  free_real_matrix(c, 1, 2, 1);
}

// The running sum is rounded to single precision after every term: two
// terms of half an ulp each vanish one by one.
TEST(NumlibElementOps, RunningSumIsRoundedAfterEachTerm) {
  const float h = std::ldexp(1.0f, -12);
  RealMatrix a = make_matrix({{1, h, h}, {0, 0, 0}, {0, 0, 0}});
  EXPECT_EQ(dot_row_row(1, 3, 1, 1, a, a), 1.0f);
  free_real_matrix(a, 1, 3, 1);
}

// ---------------------------------------------------------------------------
// LU decomposition

TEST(NumlibDecompose, OrderOneGivesSignOfItsElement) {
  for (float x : {2.5f, -4.0f}) {
    RealMatrix a = make_matrix({{x}});
    Decomposition d = decompose(a, 1, 1.0e-5f);
    EXPECT_EQ(d.rank, 1);
    EXPECT_EQ(d.sign, x > 0 ? 1.0f : -1.0f);
    EXPECT_EQ(d.pivots[1], 1);
    EXPECT_EQ(determinant_from_diagonal(a, 1, static_cast<int>(d.sign)), x);
    free_real_matrix(a, 1, 1, 1);

    RealMatrix b = make_matrix({{x}});
    RealVector aux = allocate_real_vector(1, 3);
    aux[2] = 1.0e-5f;
    decompose_and_invert(b, 1, aux);
    EXPECT_EQ(b[1][1], 1.0f / x);
    free_real_vector(aux, 1);
    free_real_matrix(b, 1, 1, 1);
  }
}

TEST(NumlibDecompose, InterchangeAndNegativePivotsFlipTheSign) {
  RealMatrix swapped = make_matrix({{0, 1}, {1, 0}});
  Decomposition d = decompose(swapped, 2, 1.0e-5f);
  EXPECT_EQ(d.rank, 2);
  EXPECT_EQ(d.pivots[1], 2);
  EXPECT_EQ(d.sign, -1.0f);
  EXPECT_EQ(determinant_from_diagonal(swapped, 2, -1), -1.0f);
  free_real_matrix(swapped, 1, 2, 1);

  RealMatrix diag = make_matrix({{-2, 0}, {0, 3}});
  d = decompose(diag, 2, 1.0e-5f);
  EXPECT_EQ(d.rank, 2);
  EXPECT_EQ(d.pivots[1], 1);
  EXPECT_EQ(d.pivots[2], 2);
  EXPECT_EQ(d.sign, -1.0f);
  EXPECT_EQ(determinant_from_diagonal(diag, 2, -1), -6.0f);
  free_real_matrix(diag, 1, 2, 1);
}

// A permutation matrix times a diagonal: the determinant is the product of
// the diagonal times the permutation's parity, exactly.
TEST(NumlibDecompose, DeterminantOfScaledPermutations) {
  TestRandom rng(7);
  for (int trial = 0; trial < 200; ++trial) {
    int n = 1 + trial % 7;
    std::vector<int> perm(n);
    for (int i = 0; i < n; ++i)
      perm[i] = i;
    for (int i = n - 1; i > 0; --i) {
      int j = static_cast<int>((rng.uniform() + 1.0) / 2.0 * (i + 1)) % (i + 1);
      std::swap(perm[i], perm[j]);
    }
    Rows rows(n, std::vector<double>(n, 0.0));
    double want = 1.0;
    for (int i = 0; i < n; ++i) {
      double v = std::floor(rng.uniform() * 4.0);
      if (v == 0.0)
        v = 3.0;
      rows[i][perm[i]] = v;
      want *= v;
    }
    std::vector<bool> seen(n, false);
    for (int i = 0; i < n; ++i) // parity from the cycle lengths
      if (!seen[i]) {
        int len = 0;
        for (int j = i; !seen[j]; j = perm[j], ++len)
          seen[j] = true;
        if (len % 2 == 0)
          want = -want;
      }
    RealMatrix a = make_matrix(rows);
    Decomposition d = decompose(a, n, 1.0e-5f);
    ASSERT_EQ(d.rank, n);
    EXPECT_EQ(determinant_from_diagonal(a, n, static_cast<int>(d.sign)),
              static_cast<float>(want))
        << "trial " << trial;
    free_real_matrix(a, 1, n, 1);
  }
}

TEST(NumlibDecompose, DeterminantMatchesDoublePrecisionReference) {
  TestRandom rng(11);
  for (int trial = 0; trial < 100; ++trial) {
    int n = 1 + trial % 7;
    Rows rows(n, std::vector<double>(n));
    for (auto &row : rows)
      for (double &x : row)
        x = static_cast<float>(rng.uniform() * 100.0);
    double want = reference_determinant(rows);
    RealMatrix a = make_matrix(rows);
    Decomposition d = decompose(a, n, 1.0e-6f);
    if (d.rank == n) {
      float got = determinant_from_diagonal(a, n, static_cast<int>(d.sign));
      EXPECT_NEAR(got, want, 1.0e-3 * std::fabs(want) + 1.0e-3)
          << "trial " << trial;
    }
    free_real_matrix(a, 1, n, 1);
  }
}

TEST(NumlibDecompose, PivotSearchUsesRowScalesAndPrefersTheLowerRow) {
  // Equal scaled sizes: row 1 stays the pivot.
  RealMatrix tie = make_matrix({{-1, 1}, {1, 1}});
  Decomposition d = decompose(tie, 2, 1.0e-5f);
  EXPECT_EQ(d.pivots[1], 1);
  EXPECT_EQ(d.sign, -1.0f); // one negative pivot, no interchange
  EXPECT_EQ(determinant_from_diagonal(tie, 2, -1), -2.0f);
  free_real_matrix(tie, 1, 2, 1);

  // Equal raw sizes, but row 1 has the larger norm: row 2 wins.
  RealMatrix scaled = make_matrix({{1, 10}, {1, 0}});
  d = decompose(scaled, 2, 1.0e-5f);
  EXPECT_EQ(d.pivots[1], 2);
  EXPECT_EQ(d.sign, -1.0f);
  EXPECT_EQ(determinant_from_diagonal(scaled, 2, -1), -10.0f);
  free_real_matrix(scaled, 1, 2, 1);

  // Three rows, the last two tied after the first step.
  RealMatrix three = make_matrix({{0, 0, 1}, {0, 2, 0}, {3, 0, 0}});
  d = decompose(three, 3, 1.0e-5f);
  EXPECT_EQ(d.pivots[1], 3);
  EXPECT_EQ(d.pivots[2], 2);
  EXPECT_EQ(d.pivots[3], 3);
  EXPECT_EQ(determinant_from_diagonal(three, 3, static_cast<int>(d.sign)),
            -6.0f);
  free_real_matrix(three, 1, 3, 1);
}

TEST(NumlibDecompose, StopsBelowTheRelativeTolerance) {
  // Largest row norm 1000, tolerance 0.25: a pivot of 250 passes, 249.5 not.
  RealMatrix at = make_matrix({{1000, 0}, {0, 250}});
  Decomposition d = decompose(at, 2, 0.25f);
  EXPECT_EQ(d.rank, 2);
  free_real_matrix(at, 1, 2, 1);

  RealMatrix below = make_matrix({{1000, 0}, {0, 249.5}});
  d = decompose(below, 2, 0.25f);
  EXPECT_EQ(d.rank, 1);
  EXPECT_EQ(d.pivots[2], 2); // the stopping step still records its pivot
  free_real_matrix(below, 1, 2, 1);
}

TEST(NumlibDecompose, EqualRowsStopAtRankOneAndAreNotInverted) {
  RealMatrix a = make_matrix({{1, 2}, {1, 2}});
  RealVector aux = allocate_real_vector(1, 3);
  aux[2] = 1.0e-5f;
  decompose_and_invert(a, 2, aux);
  EXPECT_EQ(aux[3], 1.0f);
  EXPECT_EQ(aux[1], 1.0f);
  // The partial factors: L column 1, U row 1, and the reduced zero.
  EXPECT_EQ(a[1][1], 1.0f);
  EXPECT_EQ(a[1][2], 2.0f);
  EXPECT_EQ(a[2][1], 1.0f);
  EXPECT_EQ(a[2][2], 0.0f);
  free_real_vector(aux, 1);
  free_real_matrix(a, 1, 2, 1);
}

TEST(NumlibDecompose, ZeroRowsAndZeroPivotsStopWithoutInfinities) {
  RealMatrix zero_row = make_matrix({{1, 2}, {0, 0}});
  Decomposition d = decompose(zero_row, 2, 1.0e-5f);
  EXPECT_EQ(d.rank, 1);
  EXPECT_EQ(d.pivots[1], 1);
  free_real_matrix(zero_row, 1, 2, 1);

  RealMatrix zero_first = make_matrix({{0, 0}, {3, 4}});
  d = decompose(zero_first, 2, 1.0e-5f);
  EXPECT_EQ(d.pivots[1], 2);
  EXPECT_EQ(d.rank, 1);
  free_real_matrix(zero_first, 1, 2, 1);

  RealMatrix zero = make_matrix({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}});
  d = decompose(zero, 3, 1.0e-5f);
  EXPECT_EQ(d.rank, 0);
  EXPECT_EQ(d.pivots[1], 1);
  EXPECT_EQ(d.pivots[2], -7); // not reached
  free_real_matrix(zero, 1, 3, 1);

  // With no tolerance an exactly singular matrix still stops at its zero
  // pivot instead of dividing by it.
  RealMatrix equal = make_matrix({{1, 2}, {1, 2}});
  d = decompose(equal, 2, 0.0f);
  EXPECT_EQ(d.rank, 1);
  EXPECT_FALSE(std::isinf(equal[2][2]) || std::isnan(equal[2][2]));
  free_real_matrix(equal, 1, 2, 1);
}

// ---------------------------------------------------------------------------
// Inverse

TEST(NumlibInverse, SmallCasesAreExact) {
  RealMatrix swap = make_matrix({{0, 1}, {1, 0}});
  RealVector aux = allocate_real_vector(1, 3);
  aux[2] = 1.0e-5f;
  decompose_and_invert(swap, 2, aux);
  EXPECT_EQ(aux[3], 2.0f);
  EXPECT_EQ(swap[1][1], 0.0f);
  EXPECT_EQ(swap[1][2], 1.0f);
  EXPECT_EQ(swap[2][1], 1.0f);
  EXPECT_EQ(swap[2][2], 0.0f);
  free_real_matrix(swap, 1, 2, 1);

  RealMatrix m = make_matrix({{2, 0, 0}, {0, 0, 4}, {0, -8, 0}});
  decompose_and_invert(m, 3, aux);
  Rows want = {{0.5, 0, 0}, {0, 0, -0.125}, {0, 0.25, 0}};
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j)
      EXPECT_EQ(m[i][j], static_cast<float>(want[i - 1][j - 1]))
          << i << "," << j;
  free_real_matrix(m, 1, 3, 1);
  free_real_vector(aux, 1);
}

TEST(NumlibInverse, RandomSymmetricPositiveDefiniteMatrices) {
  TestRandom rng(3);
  for (int trial = 0; trial < 300; ++trial) {
    int n = 1 + trial % 7;
    double scale = std::pow(10.0, trial % 5); // covariances of any size
    Rows rows = random_spd(rng, n, scale);
    RealMatrix a = make_matrix(rows);
    RealVector aux = allocate_real_vector(1, 3);
    aux[2] = 1.0e-5f;
    decompose_and_invert(a, n, aux);
    ASSERT_EQ(aux[3], static_cast<float>(n)) << "trial " << trial;
    EXPECT_EQ(aux[1], 1.0f);
    EXPECT_LT(identity_residual(rows, a), 2.0e-5) << "trial " << trial;
    free_real_vector(aux, 1);
    free_real_matrix(a, 1, n, 1);
  }
}

// General matrices need interchanges, which the inverse undoes on columns.
TEST(NumlibInverse, RandomGeneralMatrices) {
  TestRandom rng(5);
  for (int trial = 0; trial < 300; ++trial) {
    int n = 2 + trial % 6;
    Rows rows(n, std::vector<double>(n));
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j)
        rows[i][j] = rng.uniform() + (j == (i + trial) % n ? 2.0 * n : 0.0);
    RealMatrix a = make_matrix(rows);
    RealVector aux = allocate_real_vector(1, 3);
    aux[2] = 1.0e-5f;
    decompose_and_invert(a, n, aux);
    ASSERT_EQ(aux[3], static_cast<float>(n));
    EXPECT_LT(identity_residual(rows, a), 1.0e-5) << "trial " << trial;
    free_real_vector(aux, 1);
    free_real_matrix(a, 1, n, 1);
  }
}

// ---------------------------------------------------------------------------
// Covariance wrappers

TEST(NumlibCovariance, DiagonalProductIgnoresCovariances) {
  double block[49] = {};
  fill_block(block, {{4, 2}, {2, 3}});
  EXPECT_EQ(covariance_diagonal_product(block, 2), 12.0f);
  block[0] = -4; // absolute value
  EXPECT_EQ(covariance_diagonal_product(block, 2), 12.0f);
  block[48] = 1.0e30; // outside the order-2 corner
  EXPECT_EQ(covariance_diagonal_product(block, 2), 12.0f);
}

TEST(NumlibCovariance, DiagonalProductOverflowsInSinglePrecision) {
  double block[49] = {};
  for (int i = 0; i < 7; ++i)
    block[i * 7 + i] = 4.0e5; // product 1.6e39, finite in double
  EXPECT_TRUE(std::isinf(covariance_diagonal_product(block, 7)));
  EXPECT_FALSE(std::isinf(covariance_diagonal_product(block, 6)));
  // Each element is rounded to single precision before the product.
  double one[49] = {};
  one[0] = 1.0 + 1.0e-12;
  EXPECT_EQ(covariance_diagonal_product(one, 1), 1.0f);
}

TEST(NumlibCovariance, InverseFillsOnlyTheUsedCorner) {
  TestRandom rng(17);
  for (int n = 1; n <= 7; ++n) {
    Rows rows = random_spd(rng, n, 250.0);
    double source[49], destination[49];
    for (double &x : source)
      x = 12345.0;
    for (double &x : destination)
      x = -99.0;
    fill_block(source, rows);
    covariance_inverse(source, destination, n);

    RealMatrix inv = allocate_real_matrix(1, n, 1, n);
    for (int i = 0; i < 7; ++i)
      for (int j = 0; j < 7; ++j) {
        if (i < n && j < n)
          inv[i + 1][j + 1] = static_cast<float>(destination[i * 7 + j]);
        else
          EXPECT_EQ(destination[i * 7 + j], -99.0) << i << "," << j;
      }
    EXPECT_LT(identity_residual(rows, inv) / 1.0, 2.0e-5) << "n " << n;
    // The values are single-precision results widened to double.
    EXPECT_EQ(destination[0], static_cast<float>(destination[0]));
    free_real_matrix(inv, 1, n, 1);
  }
}

// A block without an inverse yields NaN in its corner, so any discriminant
// built from it is NaN; the rest of the destination stays as it was.
TEST(NumlibCovariance, RankDeficientBlockGivesNaN) {
  double source[49] = {}, destination[49];
  for (double &x : destination)
    x = 5.0;
  fill_block(source, {{1, 2}, {2, 4}}); // band 2 = 2 x band 1
  covariance_inverse(source, destination, 2);
  for (int i = 0; i < 7; ++i)
    for (int j = 0; j < 7; ++j) {
      if (i < 2 && j < 2)
        EXPECT_TRUE(std::isnan(destination[i * 7 + j]));
      else
        EXPECT_EQ(destination[i * 7 + j], 5.0);
    }

  // Three samples in five bands: the covariance (divisor n) has rank 2.
  TestRandom rng(23);
  double samples[3][5];
  for (auto &s : samples)
    for (double &x : s)
      x = std::floor((rng.uniform() + 1.0) * 100.0);
  double mean[5] = {};
  for (auto &s : samples)
    for (int b = 0; b < 5; ++b)
      mean[b] += s[b] / 3.0;
  double cov[49] = {};
  for (auto &s : samples)
    for (int i = 0; i < 5; ++i)
      for (int j = 0; j < 5; ++j)
        cov[i * 7 + j] += (s[i] - mean[i]) * (s[j] - mean[j]) / 3.0;
  covariance_inverse(cov, destination, 5);
  for (int i = 0; i < 5; ++i)
    for (int j = 0; j < 5; ++j)
      EXPECT_TRUE(std::isnan(destination[i * 7 + j]));
}

// ---------------------------------------------------------------------------
// The fatal-error exit

TEST(NumlibFatal, MessageWithoutLineEndAndStatusOne) {
  ChildResult r = run_in_child([] { fatal_error("Error allocating memory."); },
                               false);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error allocating memory.");
  r = run_in_child([] { fatal_error("100% \"%s\"\n"); }, false);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "100% \"%s\"\n");
}

TEST(NumlibFatal, FailedAllocationsNameTheirAllocator) {
  const int huge = 1 << 29; // 2 GiB of four-byte elements
  struct Case {
    void (*run)();
    const char *message;
  } cases[] = {
      {[] { allocate_real_vector(1, huge); },
       "Failure in allocate_real_vector()."},
      {[] { allocate_integer_vector(-huge, 0); },
       "Failure in allocate_integer_vector()."},
      {[] { allocate_real_matrix(1, 2, 1, huge); },
       "Failure in allocate_real_matrix()."},
      {[] { allocate_integer_matrix(1, huge, 1, 1); },
       "Failure in allocate_integer_matrix()."},
  };
  for (const Case &c : cases) {
    ChildResult r = run_in_child(c.run, true);
    EXPECT_EQ(r.status, 1) << c.message;
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer adds a warning line of its own before the message.
    std::string tail(c.message);
    ASSERT_GE(r.err.size(), tail.size());
    EXPECT_EQ(r.err.substr(r.err.size() - tail.size()), tail);
#else
    EXPECT_EQ(r.err, c.message);
#endif
  }
}

} // namespace
