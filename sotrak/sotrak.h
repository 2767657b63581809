// sotrak: the exponent vectors and polynomial terms (terms.cpp), and the
// coefficients and decisions of the polynomial classifier (polynomial.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "pnnlib.h"

constexpr int MAX_EXPONENT_VECTORS = 15625;
constexpr int MAX_POLY_TERMS = 3125;
constexpr int MAX_POLYNOMIAL_ORDER = 6;

// One exponent vector: one decimal digit per band, first band first.
using ExponentString = char[8];

// ---------------------------------------------------------------------------
// Exponent vectors and terms (terms.cpp).

// Slots 0..last hold the vectors built so far; afterwards slots
// 0 .. (last + 1) * (polynomialOrder + 1) - 1 hold them extended by one band.
void expand_exponent_strings(ExponentString *strings, int polynomialOrder,
                             int last);
// Copies into `terms`, in order, every one of the N vectors whose digit sum
// is at most polynomialOrder; lastBand is the index of the last digit.
// Returns the number copied.
int select_terms(const ExponentString *strings, ExponentString *terms,
                 int polynomialOrder, int N, int lastBand);
// n! for n = 0..12 (the terms' exponents are digits 0..6).
int fact(int n);
// The value of one class's polynomial at the band values x[0..m-1].
void evaluate_polynomial(const ExponentString *terms, int m,
                         const double *coefficients, int T, const int32_t *x,
                         double *result, int M);

// Whether the enumeration of m bands up to polynomialOrder fits its table.
bool order_fits(int polynomialOrder, int m);

// The selected terms and their per-term tables.
struct PolynomialTerms {
  ExponentString strings[MAX_EXPONENT_VECTORS];  // the enumeration
  ExponentString terms[MAX_EXPONENT_VECTORS];
  int T = 0;
  int exponent[MAX_POLY_TERMS][MAX_BANDS];
  int exponentSum[MAX_POLY_TERMS];
  int factorialProduct[MAX_POLY_TERMS];
};

// The enumeration, the selection and the per-term tables, for an order and
// band count that fit.
void build_terms(int m, int polynomialOrder, PolynomialTerms &pt);

// ---------------------------------------------------------------------------
// Coefficients and decisions (polynomial.cpp).

// Sample scale M of an image type: 255 for the 8-bit types, 1023 for the
// 16-bit ones.
int sample_scale(int typeCode);

struct PolynomialModel {
  int n = 0, M = 0, sigma = 0;
  int MM = 0;  // M * M
  std::unique_ptr<PolynomialTerms> terms;
  std::vector<double> coefficients[MAX_TS_CLASSES + 1];  // T per class
  // power[(e - 1) * (M + 1) + x] = pow(x / M, e) for x in 0..M, e >= 1.
  std::vector<double> power;
  // The bands of non-zero exponent of term t and their exponents:
  // entries factorStart[t] .. factorStart[t + 1] - 1.
  std::vector<int> factorStart, factorBand, factorExponent;
  // Room for one chunk's products of powers (see pixel_terms), rewritten by
  // every decision.
  std::vector<double> products;
};

// The model of an order and band count that fit: 0, or 1 when its tables
// cannot be had.
int build_polynomial_model(const TrainingSet &ts, int n, int sigma,
                           int polynomialOrder, int M, PolynomialModel &model);

// pow(x / M, e), e >= 1, tabulated for x in 0..M.
double scaled_power(const PolynomialModel &model, int32_t x, int e);

// Pixels are decided in chunks of at most this many columns.
constexpr int POLY_CHUNK = 64;

// For count <= POLY_CHUNK pixels (values[b][p]): the product of powers of
// each term t at pixel p in products[t * POLY_CHUNK + p], the same for
// every class, and the pixel's factor.
void pixel_terms(const PolynomialModel &model, const int32_t *const *values,
                 int count, double *products, double *factor);
// scores[p] = class k's polynomial at pixel p times the pixel's factor.
// `vector` allows the AVX2 code where the processor has it; the scores are
// the same either way.
void class_scores(const PolynomialModel &model, int k, const double *products,
                  const double *factor, int count, double *scores,
                  bool vector = true);

// Decides `count` pixels: values[b][p] is pixel p's value on band b;
// out[p] receives the class byte, the class of the greatest score. Works in
// the model's room for products. `vector` as for class_scores.
void decide_polynomial_pixels(PolynomialModel &model, const TrainingSet &ts,
                              const int32_t *const *values, int count,
                              uint8_t *out, bool vector = true);
