// The polynomial classifier: per class, the coefficients of the truncated
// expansion of its Gaussian kernel sum on values scaled by M; per pixel,
// each present class's polynomial times the pixel's factor.
//
// pow(x / M, e) depends only on the integer x and e, so it is looked up in
// a table built with the same call. A term's product of powers is the same
// for every class at a pixel and is formed once; each class's sum then adds
// the same doubles in the same order as evaluate_polynomial does.
//
// Measured gains, processor time over the bench/sotrak.sh runs (medians,
// 8-core x86-64 shared with other work): the table and the shared products
// against evaluate_polynomial per pixel and class, 54x (11.3 s against
// 0.21 s, 8-bit scene); the AVX2 class_scores against its SSE2 twin, 1.3x
// (0.28 s against 0.21 s, 8-bit; 0.21 s against 0.16 s, 16-bit).
#include <cmath>
#include <new>

#include "sotrak.h"
#include "vector_path.h"

int sample_scale(int typeCode) {
  const int a = typeCode < 0 ? -typeCode : typeCode;
  return a == 1 || a == 2 ? 255 : 1023;
}

double scaled_power(const PolynomialModel &m, int32_t x, int e) {
  if (x >= 0 && x <= m.M)
    return m.power[static_cast<size_t>(e - 1) * (m.M + 1) + x];
  return pow(static_cast<double>(x) / m.M, static_cast<double>(e));
}

namespace {

// The product of a term's powers at band values x, bands in order.
double term_product(const PolynomialModel &m, int t, const int32_t *x) {
  double product = 1.0;
  for (int f = m.factorStart[t]; f < m.factorStart[t + 1]; ++f)
    product *= scaled_power(m, x[m.factorBand[f]], m.factorExponent[f]);
  return product;
}

// Each term's bands of non-zero exponent, in band order.
void list_factors(PolynomialModel &m) {
  const PolynomialTerms &pt = *m.terms;
  m.factorStart.assign(1, 0);
  for (int t = 0; t < pt.T; ++t) {
    for (int j = 0; j < m.n; ++j)
      if (pt.exponent[t][j] != 0) {
        m.factorBand.push_back(j);
        m.factorExponent.push_back(pt.exponent[t][j]);
      }
    m.factorStart.push_back(static_cast<int>(m.factorBand.size()));
  }
}

uint64_t sum_of_squares(const int32_t *x, int n) {
  uint64_t sq = 0;
  for (int j = 0; j < n; ++j)
    sq = saturating_add(sq, squared_difference(x[j], 0));
  return sq;
}

void compute_coefficients(const TrainingSet &ts, PolynomialModel &m) {
  const PolynomialTerms &pt = *m.terms;
  const double sigmaSq = pow(m.sigma, 2.0);
  const double scale = m.M * m.M * 2.0;
  std::vector<double> g(MAX_TS_SAMPLES);
  std::vector<double> products(MAX_TS_SAMPLES);
  for (int k = 1; k <= ts.highestClass; ++k) {
    if (!class_present(ts, k)) continue;
    // The sample factor exp(-(sum of squares) / (2 M^2) / sigma^2): the
    // same for every term.
    for (int s = 0; s < ts.counts[k]; ++s) {
      const double ss =
          static_cast<double>(sum_of_squares(ts.samples[k][s], m.n));
      g[s] = exp((-ss) / scale / sigmaSq);
    }
    m.coefficients[k].assign(pt.T, 0.0);
    for (int t = 0; t < pt.T; ++t) {
      double acc = 0.0;
      for (int s = 0; s < ts.counts[k]; ++s)
        acc += g[s] * term_product(m, t, ts.samples[k][s]);
      const int divisor = pt.factorialProduct[t] * ts.counts[k];
      m.coefficients[k][t] =
          acc / (divisor * pow(m.sigma, pt.exponentSum[t] * 2.0));
    }
  }
}

}  // namespace

int build_polynomial_model(const TrainingSet &ts, int n, int sigma,
                           int polynomialOrder, int M, PolynomialModel &m) {
  m.n = n;
  m.M = M;
  m.sigma = sigma;
  try {
    m.power.resize(static_cast<size_t>(polynomialOrder) * (M + 1));
    for (int e = 1; e <= polynomialOrder; ++e)
      for (int x = 0; x <= M; ++x)
        m.power[static_cast<size_t>(e - 1) * (M + 1) + x] =
            pow(static_cast<double>(x) / M, static_cast<double>(e));
    m.terms = std::make_unique<PolynomialTerms>();
    build_terms(n, polynomialOrder, *m.terms);
    list_factors(m);
    compute_coefficients(ts, m);
    m.products.resize(static_cast<size_t>(m.terms->T) * POLY_CHUNK);
  } catch (const std::bad_alloc &) {
    return 1;
  }
  m.MM = M * M;
  return 0;
}

void pixel_terms(const PolynomialModel &m, const int32_t *const *values,
                 int count, double *products, double *factor) {
  for (int p = 0; p < count; ++p) {
    int32_t x[MAX_BANDS];
    for (int j = 0; j < m.n; ++j) x[j] = values[j][p];
    const double q = static_cast<double>(sum_of_squares(x, m.n)) / m.MM;
    // sigma here, not sigma^2 as in the coefficients, on purpose. The
    // factor scales every class of the pixel alike, so it only matters
    // where it rounds scores together (at worst all to 0.0, when the lowest
    // present class wins); sigma^2 could move those pixels, and sotrak's
    // COF files have always been made with sigma.
    factor[p] = exp(-(q / (m.sigma * 2.0)));
  }
  // Term by term across the pixels, each pixel's factors in band order.
  for (int t = 0; t < m.terms->T; ++t) {
    double *product = products + static_cast<size_t>(t) * POLY_CHUNK;
    for (int p = 0; p < count; ++p) product[p] = 1.0;
    for (int f = m.factorStart[t]; f < m.factorStart[t + 1]; ++f) {
      const int e = m.factorExponent[f];
      const int32_t *x = values[m.factorBand[f]];
      const double *power =
          m.power.data() + static_cast<size_t>(e - 1) * (m.M + 1);
      for (int p = 0; p < count; ++p)
        product[p] *=
            x[p] >= 0 && x[p] <= m.M ? power[x[p]] : scaled_power(m, x[p], e);
    }
  }
}

namespace {

// Plain loops across the pixels, compiled twice below: the compiler turns
// them into two pixels at once with SSE2 and four with AVX2, each pixel's
// sum in the same order either way.
__attribute__((always_inline)) inline void scores_loops(
    const PolynomialModel &m, int k, const double *products,
    const double *factor, int count, double *scores) {
  const double *c = m.coefficients[k].data();
  for (int p = 0; p < count; ++p) scores[p] = 0.0;
  for (int t = 0; t < m.terms->T; ++t) {
    const double *product = products + static_cast<size_t>(t) * POLY_CHUNK;
    for (int p = 0; p < count; ++p) scores[p] += c[t] * product[p];
  }
  for (int p = 0; p < count; ++p) scores[p] *= factor[p];
}

void scores_plain(const PolynomialModel &m, int k, const double *products,
                  const double *factor, int count, double *scores) {
  scores_loops(m, k, products, factor, count, scores);
}

__attribute__((target("avx2"))) void scores_avx2(const PolynomialModel &m,
                                                 int k, const double *products,
                                                 const double *factor,
                                                 int count, double *scores) {
  scores_loops(m, k, products, factor, count, scores);
}

}  // namespace

void class_scores(const PolynomialModel &m, int k, const double *products,
                  const double *factor, int count, double *scores,
                  bool vector) {
  if (use_avx2(vector))
    scores_avx2(m, k, products, factor, count, scores);
  else
    scores_plain(m, k, products, factor, count, scores);
}

void decide_polynomial_pixels(PolynomialModel &m, const TrainingSet &ts,
                              const int32_t *const *values, int count,
                              uint8_t *out, bool vector) {
  double factor[POLY_CHUNK];
  double *products = m.products.data();
  choose_classes<POLY_CHUNK>(
      ts, m.n, values, count, out,
      [&](const int32_t *const *chunk, int chunkCount) {
        pixel_terms(m, chunk, chunkCount, products, factor);
      },
      [&](int k, const int32_t *const *, int chunkCount, double *scores) {
        class_scores(m, k, products, factor, chunkCount, scores, vector);
      });
}
