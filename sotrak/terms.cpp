// Exponent vectors of m bands, the terms of total degree at most the
// polynomial order, their per-term tables, and a polynomial's value.
#include <cmath>
#include <cstring>

#include "sotrak.h"

namespace {

int digit(const ExponentString s, int j) { return s[j] - '0'; }

}  // namespace

void expand_exponent_strings(ExponentString *strings, int polynomialOrder,
                             int last) {
  const int block = last + 1;
  for (int i = 1; i <= polynomialOrder; ++i)
    for (int j = 0; j <= last; ++j)
      memcpy(strings[block * i + j], strings[j], sizeof(ExponentString));
  for (int i = 0; i <= polynomialOrder; ++i)
    for (int j = 0; j <= last; ++j) {
      char *slot = strings[block * i + j];
      const size_t length = strlen(slot);
      slot[length] = static_cast<char>('0' + i);
      slot[length + 1] = '\0';
    }
}

int select_terms(const ExponentString *strings, ExponentString *terms,
                 int polynomialOrder, int N, int lastBand) {
  int T = 0;
  for (int k = 0; k < N; ++k) {
    int sum = 0;
    for (int j = 0; j <= lastBand; ++j) sum += digit(strings[k], j);
    if (sum <= polynomialOrder)
      memcpy(terms[T++], strings[k], sizeof(ExponentString));
  }
  return T;
}

int fact(int n) {
  uint32_t product = 1;
  for (int i = 2; i <= n; ++i) product *= static_cast<uint32_t>(i);
  return static_cast<int>(product);
}

void evaluate_polynomial(const ExponentString *terms, int m,
                         const double *coefficients, int T, const int32_t *x,
                         double *result, int M) {
  double sum = 0.0;
  for (int t = 0; t < T; ++t) {
    double product = 1.0;
    for (int j = 0; j < m; ++j) {
      const int e = digit(terms[t], j);
      if (e != 0)
        product *= pow(static_cast<double>(x[j]) / M, static_cast<double>(e));
    }
    sum += coefficients[t] * product;
  }
  *result = sum;
}

bool order_fits(int polynomialOrder, int m) {
  if (polynomialOrder < 0 || polynomialOrder > MAX_POLYNOMIAL_ORDER)
    return false;
  long long slots = 1;
  for (int j = 0; j < m; ++j) slots *= polynomialOrder + 1;
  return slots <= MAX_EXPONENT_VECTORS;
}

void build_terms(int m, int p, PolynomialTerms &pt) {
  for (int k = 0; k <= p; ++k) {
    pt.strings[k][0] = static_cast<char>('0' + k);  // one digit: p <= 6
    pt.strings[k][1] = '\0';
  }
  int N = p + 1;
  for (int j = 1; j < m; ++j) {
    expand_exponent_strings(pt.strings, p, N - 1);
    N *= p + 1;
  }
  pt.T = select_terms(pt.strings, pt.terms, p, N, m - 1);
  for (int t = 0; t < pt.T; ++t) {
    pt.exponentSum[t] = 0;
    pt.factorialProduct[t] = 1;
    for (int j = 0; j < m; ++j) {
      pt.exponent[t][j] = digit(pt.terms[t], j);
      pt.exponentSum[t] += pt.exponent[t][j];
      pt.factorialProduct[t] *= fact(pt.exponent[t][j]);
    }
  }
}
