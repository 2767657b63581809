// Double-precision kit: allocation, kernels over empty ranges, summation
// order and aliased operands.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cmath>
#include <cstdint>

#include "matkit.h"

namespace {

// A matrix 1..n x 1..n filled with 10 * i + j.
DoubleMatrix numbered(int n) {
  DoubleMatrix m = allocate_double_matrix(1, n, 1, n);
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) m[i][j] = 10.0 * i + j;
  return m;
}

bool is_numbered(DoubleMatrix m, int n) {
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j)
      if (m[i][j] != 10.0 * i + j) return false;
  return true;
}

TEST(Kit, AllocationWithCallerBounds) {
  // Every element of each range is usable (the sanitizer build checks it).
  DoubleVector v = allocate_double_vector(0, 6);
  IntVector iv = allocate_int_vector(-2, 2);
  DoubleMatrix m = allocate_double_matrix(0, 3, -2, 2);
  for (int i = 0; i <= 6; ++i) v[i] = i;
  for (int i = -2; i <= 2; ++i) iv[i] = i;
  for (int i = 0; i <= 3; ++i)
    for (int j = -2; j <= 2; ++j) m[i][j] = i * j;
  EXPECT_EQ(v[6] + iv[-2] + m[3][-2], 6.0 - 2.0 - 6.0);
  free_double_matrix(m, 0, 3, -2);
  free_int_vector(iv, -2);
  free_double_vector(v, 0);
}

#if !defined(__SANITIZE_ADDRESS__)
// The sanitizer's allocator reports a failed request itself, so the exit
// through fatal_error is observable only in a plain build.
void limit_address_space() {
  rlimit limit{};
  limit.rlim_cur = limit.rlim_max = std::uint64_t{1} << 30;
  setrlimit(RLIMIT_AS, &limit);
}

TEST(KitDeathTest, ExhaustedMemoryEndsTheRun) {
  EXPECT_EXIT((limit_address_space(), allocate_double_vector(1, 1 << 29)),
              testing::ExitedWithCode(1), "^Error allocating memory\\.$");
  // The third row of 512 MiB no longer fits.
  EXPECT_EXIT((limit_address_space(), allocate_double_matrix(1, 4, 1, 1 << 26)),
              testing::ExitedWithCode(1), "^Error allocating memory\\.$");
}
#endif

TEST(Kit, EmptyRangesAndIdentityOperations) {
  DoubleMatrix a = numbered(3);
  DoubleVector v = allocate_double_vector(1, 3);
  v[1] = v[2] = v[3] = 1.0;
  EXPECT_EQ(dot_row_col_double(3, 2, 1, 1, a, a), 0.0);
  EXPECT_EQ(dot_row_vec(2, 1, 1, a, v), 0.0);
  EXPECT_EQ(dot_col_col(1, 0, 1, 2, a, a), 0.0);
  EXPECT_EQ(dot_row_row_double(4, 3, 1, 2, a, a), 0.0);
  EXPECT_EQ(dot_col_vec(3, 1, 1, a, v), 0.0);
  EXPECT_EQ(dot_vec_offset(1, 0, 5, v, v), 0.0);
  swap_rows_double(3, 1, 1, 2, a);
  swap_columns_double(2, 1, 1, 2, a);
  add_scaled_vec_to_col(4, 3, 1, a, v, 2.0);
  add_scaled_col_to_col(1, 0, 1, 2, a, a, 2.0);
  add_scaled_col_to_vec(3, 2, 1, v, a, 2.0);
  rotate_columns(2, 1, 1, 2, a, 0.6, 0.8);
  rotate_rows(2, 1, 1, 2, a, 0.6, 0.8);
  swap_rows_double(1, 3, 2, 2, a);
  swap_columns_double(1, 3, 3, 3, a);
  rotate_columns(1, 3, 1, 3, a, 1.0, 0.0);
  rotate_rows(1, 3, 2, 3, a, 1.0, 0.0);
  EXPECT_TRUE(is_numbered(a, 3));
  EXPECT_EQ(v[1] + v[2] + v[3], 3.0);
  free_double_vector(v, 1);
  free_double_matrix(a, 1, 3, 1);
}

TEST(Kit, KernelsAddressRowsAndColumns) {
  DoubleMatrix a = numbered(3);
  DoubleVector v = allocate_double_vector(1, 4);
  v[1] = 1.0, v[2] = -2.0, v[3] = 0.5, v[4] = 3.0;
  EXPECT_EQ(dot_row_col_double(1, 3, 2, 3, a, a), 21 * 13 + 22 * 23 + 23 * 33);
  EXPECT_EQ(dot_row_vec(2, 3, 3, a, v), -64.0 + 16.5);
  EXPECT_EQ(dot_col_col(1, 2, 1, 3, a, a), 11 * 13 + 21 * 23);
  EXPECT_EQ(dot_row_row_double(1, 3, 1, 3, a, a), 11 * 31 + 12 * 32 + 13 * 33);
  EXPECT_EQ(dot_col_vec(1, 3, 2, a, v), 12.0 - 44.0 + 16.0);
  EXPECT_EQ(dot_vec_offset(1, 3, 1, v, v), -2.0 - 1.0 + 1.5);
  add_scaled_col_to_vec(1, 3, 2, v, a, 2.0);
  EXPECT_EQ(v[3], 0.5 + 64.0);
  add_scaled_vec_to_col(2, 3, 1, a, v, 0.5);
  EXPECT_EQ(a[1][1], 11.0);
  EXPECT_EQ(a[3][1], 31.0 + 32.25);
  swap_rows_double(2, 3, 1, 3, a);
  EXPECT_EQ(a[1][1], 11.0);
  EXPECT_EQ(a[1][3], 33.0);
  EXPECT_EQ(a[3][2], 12.0);
  // cs = 0, sn = 1: column i becomes column j, column j the negated column i.
  rotate_columns(1, 3, 1, 2, a, 0.0, 1.0);
  EXPECT_EQ(a[2][1], 22.0);
  EXPECT_EQ(a[2][2], -(21.0 + 42.0 * 0.5));
  free_double_vector(v, 1);
  free_double_matrix(a, 1, 3, 1);
}

TEST(Kit, AscendingSumsOfRoundedProducts) {
  DoubleVector v = allocate_double_vector(1, 3);
  DoubleVector w = allocate_double_vector(1, 3);
  // 1 + 1e16 rounds back to 1e16: only the ascending order gives 0.
  v[1] = 1.0, v[2] = 1.0e16, v[3] = -1.0e16;
  w[1] = w[2] = w[3] = 1.0;
  EXPECT_EQ(dot_vec_offset(1, 3, 0, v, w), 0.0);
  // x * x = 1 + 2^-29 + 2^-60 is rounded before it is added; a fused
  // multiply-add would leave 2^-60.
  const double x = 1.0 + std::ldexp(1.0, -30);
  v[1] = -(1.0 + std::ldexp(1.0, -29)), v[2] = x, w[2] = x;
  EXPECT_EQ(dot_vec_offset(1, 2, 0, v, w), 0.0);
  free_double_vector(w, 1);
  free_double_vector(v, 1);
}

TEST(Kit, SameMatrixAsBothOperands) {
  // Column 1 gets column 3, then column 3 loses the new column 1.
  DoubleMatrix c = numbered(3);
  add_scaled_col_to_col(1, 3, 1, 3, c, c, 1.0);
  add_scaled_col_to_col(1, 3, 3, 1, c, c, -1.0);
  add_scaled_col_to_col(1, 3, 2, 2, c, c, 1.0);
  for (int k = 1; k <= 3; ++k) {
    EXPECT_EQ(c[k][1], 20.0 * k + 4);
    EXPECT_EQ(c[k][3], -(10.0 * k + 1));
    EXPECT_EQ(c[k][2], 2.0 * (10.0 * k + 2));
  }
  // A rotation of a column or row with itself reads both before writing.
  rotate_columns(1, 3, 1, 1, c, 0.0, 1.0);
  EXPECT_EQ(c[1][1], -24.0);
  rotate_rows(1, 3, 2, 2, c, 1.0, 1.0);
  EXPECT_EQ(c[2][2], 0.0);
  free_double_matrix(c, 1, 3, 1);
}

}  // namespace
