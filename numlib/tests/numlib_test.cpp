// Tests of the numeric library: handles and allocation, the precision of the
// inner products, the LU decomposition's pivoting, sign and rank, the
// inverse, the covariance wrappers and the fatal-error exit.
#include "numlib.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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

using Rows = std::vector<std::vector<double>>;

// A square matrix 1..n x 1..n filled from rows given 0-based, released at
// the end of the scope.
struct Square {
  RealMatrix m;
  int n;
  explicit Square(const Rows &rows) : n(static_cast<int>(rows.size())) {
    m = allocate_real_matrix(1, n, 1, n);
    for (int i = 1; i <= n; ++i)
      for (int j = 1; j <= n; ++j)
        m[i][j] = static_cast<float>(rows[i - 1][j - 1]);
  }
  ~Square() { free_real_matrix(m, 1, n, 1); }
  Square(const Square &) = delete;
  Square &operator=(const Square &) = delete;
  float det(float sign) const {
    return determinant_from_diagonal(m, n, static_cast<int>(sign));
  }
};

struct Decomposition {
  float sign = 0;
  int rank = -1;
  std::vector<int> pivots;  // 1-based entries, index 0 unused
};

// lu_decompose on s; pivot entries the decomposition did not reach stay -7.
Decomposition decompose(Square &s, float tolerance) {
  RealVector aux = allocate_real_vector(1, 3);
  IntVector p = allocate_integer_vector(1, s.n);
  for (int k = 1; k <= s.n; ++k) p[k] = -7;
  aux[2] = tolerance;
  lu_decompose(s.m, s.n, aux, p);
  Decomposition d{aux[1], static_cast<int>(aux[3]), {0}};
  for (int k = 1; k <= s.n; ++k) d.pivots.push_back(p[k]);
  free_integer_vector(p, 1);
  free_real_vector(aux, 1);
  return d;
}

// decompose_and_invert with tolerance 1.0e-5; returns the rank reached.
int invert(Square &s) {
  RealVector aux = allocate_real_vector(1, 3);
  aux[2] = 1.0e-5f;
  decompose_and_invert(s.m, s.n, aux);
  int rank = static_cast<int>(aux[3]);
  free_real_vector(aux, 1);
  return rank;
}

// Largest deviation of rows·inverse and inverse·rows from the identity.
double identity_residual(const Rows &rows, RealMatrix inv) {
  int n = static_cast<int>(rows.size());
  double worst = 0.0;
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) {
      double left = 0.0, right = 0.0;
      for (int k = 1; k <= n; ++k) {
        left += double(float(rows[i - 1][k - 1])) * inv[k][j];
        right += double(inv[i][k]) * float(rows[k - 1][j - 1]);
      }
      double want = i == j ? 1.0 : 0.0;
      worst = std::fmax(
          worst, std::fmax(std::fabs(left - want), std::fabs(right - want)));
    }
  return worst;
}

struct TestRandom {  // deterministic, -1 .. 1
  std::uint64_t state;
  double uniform() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return double(state >> 11) / 9007199254740992.0 * 2.0 - 1.0;
  }
};

// B·Bᵀ + n·I, times scale.
Rows random_spd(TestRandom &rng, int n, double scale) {
  Rows b(n, std::vector<double>(n)), a(n, std::vector<double>(n));
  for (auto &row : b)
    for (double &x : row) x = rng.uniform();
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) {
      double s = i == j ? n : 0.0;
      for (int k = 0; k < n; ++k) s += b[i][k] * b[j][k];
      a[i][j] = s * scale;
    }
  return a;
}

void fill_block(double *block, const Rows &rows) {
  for (std::size_t i = 0; i < rows.size(); ++i)
    for (std::size_t j = 0; j < rows.size(); ++j) block[i * 7 + j] = rows[i][j];
}

struct ChildResult {
  int status = -1;  // exit status, -1 when the child did not exit normally
  std::string err;
};

// Runs `body` in a child process with standard error captured. With
// `limit_memory` the child cannot obtain large blocks.
ChildResult run_in_child(void (*body)(), bool limit_memory) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  std::fflush(stdout);
  std::fflush(stderr);
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    dup2(fds[1], 2);
    close(fds[1]);
#if defined(__SANITIZE_ADDRESS__)
    __lsan_disable();    // the process ends without releasing, on purpose
    (void)limit_memory;  // the sanitizer's size cap refuses large blocks
#else
    struct rlimit lim = {rlim_t(512) << 20, rlim_t(512) << 20};
    if (limit_memory) setrlimit(RLIMIT_AS, &lim);
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
  if (WIFEXITED(wstatus)) result.status = WEXITSTATUS(wstatus);
  return result;
}

// ---------------------------------------------------------------------------
// Storage and element operations

TEST(NumlibStorage,
     AnyBoundsIndexTheirOwnElementsAndEmptyRangesAllocateNothing) {
  RealMatrix m = allocate_real_matrix(-3, 2, 5, 9);
  for (int i = -3; i <= 2; ++i)
    for (int j = 5; j <= 9; ++j) m[i][j] = float(i * 10 + j);
  for (int i = -3; i <= 2; ++i)
    for (int j = 5; j <= 9; ++j) EXPECT_EQ(m[i][j], float(i * 10 + j));
  free_real_matrix(m, -3, 2, 5);
  IntMatrix im = allocate_integer_matrix(0, 1, 0, 1);
  im[1][1] = INT32_MIN;
  EXPECT_EQ(im[1][1], INT32_MIN);
  free_integer_matrix(im, 0, 1, 0);

  RealVector v = allocate_real_vector(1, 0);
  IntVector iv = allocate_integer_vector(5, 4);
  RealMatrix none = allocate_real_matrix(1, 0, 1, 3);
  RealMatrix hollow = allocate_real_matrix(1, 2, 1, 0);
  EXPECT_EQ(v.block, nullptr);
  EXPECT_EQ(iv.block, nullptr);
  EXPECT_EQ(none.rows, nullptr);
  EXPECT_EQ(hollow[2].block, nullptr);
  free_real_vector(v, 1);
  free_integer_vector(iv, 5);
  free_real_matrix(none, 1, 0, 1);
  free_real_matrix(hollow, 1, 2, 1);
}

TEST(NumlibElementOps, SwapsAndCopyMoveBitsWithinTheirRanges) {
  Square s({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
  RealMatrix m = s.m;
  m[1][1] = -0.0f;
  m[3][3] = std::nanf("");
  swap_rows(1, 3, 1, 3, m);
  EXPECT_TRUE(std::isnan(m[1][3]));
  EXPECT_TRUE(std::signbit(m[3][1]));
  swap_rows(1, 3, 2, 2, m);  // same row
  swap_rows(3, 2, 1, 2, m);  // empty range
  EXPECT_EQ(m[2][1], 4.0f);
  EXPECT_EQ(m[1][2], 8.0f);
  swap_columns(1, 2, 1, 2, m);  // rows 1..2 only
  swap_columns(1, 3, 3, 3, m);
  swap_columns(2, 1, 1, 3, m);
  EXPECT_EQ(m[1][1], 8.0f);
  EXPECT_EQ(m[2][2], 4.0f);
  EXPECT_TRUE(std::signbit(m[3][1]));

  RealVector v = allocate_real_vector(1, 3);
  v[1] = 10, v[2] = 20, v[3] = 30;
  copy_vec_to_col(2, 3, 2, m, v);
  copy_vec_to_col(3, 2, 1, m, v);
  EXPECT_EQ(m[1][2], 7.0f);
  EXPECT_EQ(m[2][2], 20.0f);
  EXPECT_EQ(m[3][2], 30.0f);
  EXPECT_EQ(m[3][1], 0.0f);
  free_real_vector(v, 1);
}

TEST(NumlibElementOps, InnerProductsPairRowsAndColumns) {
  Square a({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
  EXPECT_EQ(dot_row_col(1, 3, 1, 2, a.m, a.m), 1 * 2 + 2 * 5 + 3 * 8);
  EXPECT_EQ(dot_row_row(1, 3, 1, 2, a.m, a.m), 1 * 4 + 2 * 5 + 3 * 6);
  EXPECT_EQ(dot_row_col(2, 3, 3, 1, a.m, a.m), 8 * 4 + 9 * 7);
  EXPECT_EQ(dot_row_col(3, 2, 1, 1, a.m, a.m), 0.0f);
  EXPECT_EQ(dot_row_row(1, 0, 1, 1, a.m, a.m), 0.0f);
}

// Each product is exact: rounding it to single precision first would drop
// the bits that round the sum up. The sum itself is rounded after every
// term: two terms of half an ulp each vanish one by one.
TEST(NumlibElementOps, ProductsAreExactAndTheSumIsRoundedPerTerm) {
  const float x = std::ldexp(float((1 << 23) + 2509), -35);
  const float y = std::ldexp(float((1 << 23) - 2508), -35);
  Square a({{1, x}, {0, 0}}), b({{1, 0}, {y, 0}}), c({{1, y}, {0, 0}});
  const float up = 1.0f + std::ldexp(1.0f, -23);
  EXPECT_EQ(dot_row_col(1, 2, 1, 1, a.m, b.m), up);
  EXPECT_EQ(dot_row_row(1, 2, 1, 1, a.m, c.m), up);

  const float h = std::ldexp(1.0f, -12);
  Square d({{1, h, h}, {0, 0, 0}, {0, 0, 0}});
  EXPECT_EQ(dot_row_row(1, 3, 1, 1, d.m, d.m), 1.0f);
}

// ---------------------------------------------------------------------------
// LU decomposition

TEST(NumlibDecompose, OrderOneGivesTheSignOfItsElementAndItsReciprocal) {
  for (float x : {2.5f, -4.0f}) {
    Square a(Rows{{x}});
    Decomposition d = decompose(a, 1.0e-5f);
    EXPECT_EQ(d.rank, 1);
    EXPECT_EQ(d.sign, x > 0 ? 1.0f : -1.0f);
    EXPECT_EQ(a.det(d.sign), x);
    Square b(Rows{{x}});
    EXPECT_EQ(invert(b), 1);
    EXPECT_EQ(b.m[1][1], 1.0f / x);
  }
}

TEST(NumlibDecompose, InterchangesAndNegativePivotsFlipTheSign) {
  Square swapped({{0, 1}, {1, 0}});
  Decomposition d = decompose(swapped, 1.0e-5f);
  EXPECT_EQ(d.rank, 2);
  EXPECT_EQ(d.pivots[1], 2);
  EXPECT_EQ(d.sign, -1.0f);
  EXPECT_EQ(swapped.det(d.sign), -1.0f);

  Square diag({{-2, 0}, {0, 3}});
  d = decompose(diag, 1.0e-5f);
  EXPECT_EQ(d.pivots, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(d.sign, -1.0f);
  EXPECT_EQ(diag.det(d.sign), -6.0f);
}

// A permutation matrix times a diagonal: the determinant is the diagonal's
// product times the permutation's parity, exactly.
TEST(NumlibDecompose, DeterminantOfScaledPermutations) {
  TestRandom rng{7};
  for (int trial = 0; trial < 200; ++trial) {
    int n = 1 + trial % 7;
    std::vector<int> perm(n);
    for (int i = 0; i < n; ++i) {
      int j = static_cast<int>((rng.uniform() + 1.0) / 2.0 * (i + 1)) % (i + 1);
      perm[i] = perm[j];
      perm[j] = i;
    }
    Rows rows(n, std::vector<double>(n, 0.0));
    double want = 1.0;
    for (int i = 0; i < n; ++i) {
      double v = std::floor(rng.uniform() * 4.0);
      rows[i][perm[i]] = v == 0.0 ? 3.0 : v;
      want *= rows[i][perm[i]];
    }
    std::vector<bool> seen(n, false);
    for (int i = 0; i < n; ++i) {  // parity from the cycle lengths
      int len = 0;
      for (int j = i; !seen[j]; j = perm[j], ++len) seen[j] = true;
      if (len > 0 && len % 2 == 0) want = -want;
    }
    Square a(rows);
    Decomposition d = decompose(a, 1.0e-5f);
    ASSERT_EQ(d.rank, n);
    EXPECT_EQ(a.det(d.sign), float(want)) << "trial " << trial;
  }
}

TEST(NumlibDecompose, PivotSearchUsesRowScalesAndPrefersTheLowerRow) {
  Square tie({{-1, 1}, {1, 1}});  // equal scaled sizes: row 1
  Decomposition d = decompose(tie, 1.0e-5f);
  EXPECT_EQ(d.pivots[1], 1);
  EXPECT_EQ(d.sign, -1.0f);
  EXPECT_EQ(tie.det(d.sign), -2.0f);

  Square scaled({{1, 10}, {1, 0}});  // equal sizes, row 1 has the larger norm
  d = decompose(scaled, 1.0e-5f);
  EXPECT_EQ(d.pivots[1], 2);
  EXPECT_EQ(scaled.det(d.sign), -10.0f);

  Square three({{0, 0, 1}, {0, 2, 0}, {3, 0, 0}});
  d = decompose(three, 1.0e-5f);
  EXPECT_EQ(d.pivots, (std::vector<int>{0, 3, 2, 3}));
  EXPECT_EQ(three.det(d.sign), -6.0f);
}

TEST(NumlibDecompose, StopsOnlyBelowTheRelativeTolerance) {
  // Largest row norm 1000, tolerance 0.25: a pivot of 250 passes.
  Square at({{1000, 0}, {0, 250}}), below({{1000, 0}, {0, 249.5}});
  EXPECT_EQ(decompose(at, 0.25f).rank, 2);
  Decomposition d = decompose(below, 0.25f);
  EXPECT_EQ(d.rank, 1);
  EXPECT_EQ(d.pivots[2], 2);  // the stopping step still records its pivot
}

TEST(NumlibDecompose, EqualRowsStopAtRankOneAndAreNotInverted) {
  Square a({{1, 2}, {1, 2}});
  EXPECT_EQ(invert(a), 1);
  // The partial factors stay: L's column 1, U's row 1, the reduced zero.
  EXPECT_EQ(a.m[1][1], 1.0f);
  EXPECT_EQ(a.m[1][2], 2.0f);
  EXPECT_EQ(a.m[2][1], 1.0f);
  EXPECT_EQ(a.m[2][2], 0.0f);
}

TEST(NumlibDecompose, ZeroRowsAndZeroPivotsStopWithoutDividing) {
  Square zero_row({{1, 2}, {0, 0}}), zero_first({{0, 0}, {3, 4}});
  EXPECT_EQ(decompose(zero_row, 1.0e-5f).rank, 1);
  Decomposition d = decompose(zero_first, 1.0e-5f);
  EXPECT_EQ(d.pivots[1], 2);
  EXPECT_EQ(d.rank, 1);

  Square zero({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}});
  d = decompose(zero, 1.0e-5f);
  EXPECT_EQ(d.rank, 0);
  EXPECT_EQ(d.pivots, (std::vector<int>{0, 1, -7, -7}));

  // With no tolerance an exactly singular matrix still stops at its zero
  // pivot.
  Square equal({{1, 2}, {1, 2}});
  EXPECT_EQ(decompose(equal, 0.0f).rank, 1);
  EXPECT_TRUE(std::isfinite(equal.m[2][2]));
}

// ---------------------------------------------------------------------------
// Inverse

TEST(NumlibInverse, SmallCasesAreExact) {
  Square swap({{0, 1}, {1, 0}});
  EXPECT_EQ(invert(swap), 2);
  Square m({{2, 0, 0}, {0, 0, 4}, {0, -8, 0}});
  EXPECT_EQ(invert(m), 3);
  Rows want_swap = {{0, 1}, {1, 0}};
  Rows want_m = {{0.5, 0, 0}, {0, 0, -0.125}, {0, 0.25, 0}};
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j) {
      EXPECT_EQ(m.m[i][j], float(want_m[i - 1][j - 1])) << i << "," << j;
      if (i <= 2 && j <= 2) {
        EXPECT_EQ(swap.m[i][j], float(want_swap[i - 1][j - 1]));
      }
    }
}

// Symmetric positive definite matrices of every order and size, and general
// matrices whose interchanges the inverse undoes on its columns.
TEST(NumlibInverse, RandomMatricesTimesTheirInverseGiveTheIdentity) {
  TestRandom rng{3};
  for (int trial = 0; trial < 600; ++trial) {
    int n = 1 + trial % 7;
    Rows rows;
    if (trial % 2 == 0) {
      rows = random_spd(rng, n, std::pow(10.0, trial % 5));
    } else {
      rows.assign(n, std::vector<double>(n));
      for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
          rows[i][j] = rng.uniform() + (j == (i + trial) % n ? 2.0 * n : 0.0);
    }
    Square a(rows);
    ASSERT_EQ(invert(a), n) << "trial " << trial;
    EXPECT_LT(identity_residual(rows, a.m), 2.0e-5) << "trial " << trial;
  }
}

// ---------------------------------------------------------------------------
// Covariance wrappers

TEST(NumlibCovariance, DiagonalProductIsTheVariancesInSinglePrecision) {
  double block[49] = {};
  fill_block(block, {{4, 2}, {2, 3}});
  block[48] = 1.0e30;  // outside the order-2 corner
  EXPECT_EQ(covariance_diagonal_product(block, 2), 12.0f);
  block[0] = -4;
  EXPECT_EQ(covariance_diagonal_product(block, 2), 12.0f);

  double big[49] = {};
  for (int i = 0; i < 7; ++i)
    big[i * 7 + i] = 4.0e5;  // product 1.6e39, finite in double
  EXPECT_TRUE(std::isinf(covariance_diagonal_product(big, 7)));
  EXPECT_TRUE(std::isfinite(covariance_diagonal_product(big, 6)));
  double one[49] = {1.0 + 1.0e-12};
  EXPECT_EQ(covariance_diagonal_product(one, 1), 1.0f);
}

TEST(NumlibCovariance, InverseFillsOnlyTheUsedCorner) {
  TestRandom rng{17};
  for (int n = 1; n <= 7; ++n) {
    Rows rows = random_spd(rng, n, 250.0);
    double source[49], destination[49];
    std::fill(source, source + 49, 12345.0);
    std::fill(destination, destination + 49, -99.0);
    fill_block(source, rows);
    covariance_inverse(source, destination, n);
    Square inv(Rows(n, std::vector<double>(n)));
    for (int i = 0; i < 7; ++i)
      for (int j = 0; j < 7; ++j) {
        double x = destination[i * 7 + j];
        if (i < n && j < n) {
          EXPECT_EQ(x, double(float(x)));  // single-precision results
          inv.m[i + 1][j + 1] = float(x);
        } else {
          EXPECT_EQ(x, -99.0) << i << "," << j;
        }
      }
    EXPECT_LT(identity_residual(rows, inv.m), 2.0e-5) << "n " << n;
  }
}

// A block without an inverse yields NaN in its corner, so every quadratic
// form built from it is NaN; the rest of the destination stays as it was.
TEST(NumlibCovariance, RankDeficientBlockGivesNaN) {
  double source[49] = {}, destination[49];
  std::fill(destination, destination + 49, 5.0);
  fill_block(source, {{1, 2}, {2, 4}});  // band 2 = 2 x band 1
  covariance_inverse(source, destination, 2);
  for (int i = 0; i < 7; ++i)
    for (int j = 0; j < 7; ++j)
      EXPECT_EQ(std::isnan(destination[i * 7 + j]), i < 2 && j < 2);

  // Three samples in five bands: the covariance has rank 2.
  TestRandom rng{23};
  double samples[3][5], mean[5] = {}, cov[49] = {};
  for (auto &s : samples)
    for (int b = 0; b < 5; ++b)
      mean[b] += (s[b] = std::floor((rng.uniform() + 1.0) * 100.0)) / 3.0;
  for (auto &s : samples)
    for (int i = 0; i < 5; ++i)
      for (int j = 0; j < 5; ++j)
        cov[i * 7 + j] += (s[i] - mean[i]) * (s[j] - mean[j]) / 3.0;
  covariance_inverse(cov, destination, 5);
  for (int i = 0; i < 5; ++i)
    for (int j = 0; j < 5; ++j) EXPECT_TRUE(std::isnan(destination[i * 7 + j]));
}

// ---------------------------------------------------------------------------
// The fatal-error exit

TEST(NumlibFatal, MessagesGoOutUnchangedWithStatusOne) {
  ChildResult r =
      run_in_child([] { fatal_error("Error allocating memory."); }, false);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error allocating memory.");
  r = run_in_child([] { fatal_error("100% \"%s\"\n"); }, false);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "100% \"%s\"\n");

  constexpr int huge = 1 << 29;  // 2 GiB of four-byte elements
  struct {
    void (*run)();
    std::string message;
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
  for (const auto &c : cases) {
    r = run_in_child(c.run, true);
    EXPECT_EQ(r.status, 1) << c.message;
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer adds a warning line of its own before the message.
    ASSERT_GE(r.err.size(), c.message.size());
    r.err.erase(0, r.err.size() - c.message.size());
#endif
    EXPECT_EQ(r.err, c.message);
  }
}

}  // namespace
