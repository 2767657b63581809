#include "sotrak.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "pnn_scene.h"
#include "testsupport.h"

using testsupport::changed;
using testsupport::read_file;

namespace {

// The polynomial classifier straight from its formulas: exponent vectors
// counted with the first band fastest, each coefficient and each score
// summed in the order given.
struct Reference {
  const pnntest::StoredSamples &stored;
  int n, p, M, sigma;
  std::vector<std::vector<int>> terms;
  std::vector<std::vector<double>> coefficients;  // [class][term]

  Reference(const pnntest::StoredSamples &stored_, int n_, int p_, int M_,
            int sigma_)
      : stored(stored_), n(n_), p(p_), M(M_), sigma(sigma_), coefficients(28) {
    int N = 1;
    for (int j = 0; j < n; ++j) N *= p + 1;
    for (int k = 0; k < N; ++k) {
      std::vector<int> e(n);
      int sum = 0;
      for (int j = 0, v = k; j < n; ++j, v /= p + 1) sum += e[j] = v % (p + 1);
      if (sum <= p) terms.push_back(e);
    }
    for (int k = 1; k <= 27; ++k) {
      if (stored[k].empty()) continue;
      for (const auto &e : terms) {
        double acc = 0.0;
        int factorials = 1, esum = 0;
        for (int j = 0; j < n; ++j) {
          for (int i = 2; i <= e[j]; ++i) factorials *= i;
          esum += e[j];
        }
        for (const auto &s : stored[k]) {
          int ss = 0;
          for (int j = 0; j < n; ++j) ss += s[j] * s[j];
          const double g = exp((-ss) / (M * M * 2.0) / pow(sigma, 2.0));
          acc += g * monomial(e, s);
        }
        const int count = static_cast<int>(stored[k].size());
        coefficients[k].push_back(
            acc / ((factorials * count) * pow(sigma, esum * 2.0)));
      }
    }
  }

  // The product of (v_j / M)^e_j over the bands of non-zero exponent.
  double monomial(const std::vector<int> &e, const std::vector<int> &v) const {
    double product = 1.0;
    for (int j = 0; j < n; ++j)
      if (e[j] != 0) product *= pow(static_cast<double>(v[j]) / M, e[j]);
    return product;
  }

  double score(int k, const std::vector<int> &x) const {
    double sum = 0.0;
    for (size_t t = 0; t < terms.size(); ++t)
      sum += coefficients[k][t] * monomial(terms[t], x);
    long long sq = 0;
    for (int v : x) sq += static_cast<long long>(v) * v;
    const double q = sq / static_cast<double>(M * M);
    return sum * exp(-(q / (sigma * 2.0)));
  }

  int decide(const std::vector<int> &x) const {
    return pnntest::best_class(stored, [&](int k) { return score(k, x); });
  }
};

// Every order and band count: whether the enumeration fits its table and,
// where it does, T = (m + p choose m) terms.
TEST(PolynomialTerms, OrdersThatFitAndTheirTermCounts) {
  static PolynomialTerms pt;
  const int largestM[] = {7, 7, 7, 6, 6, 5, 4};  // by order 0..6
  for (int p = -2; p <= 8; ++p)
    for (int m = 1; m <= 7; ++m) {
      const bool fits = p >= 0 && p <= 6 && m <= largestM[p];
      EXPECT_EQ(order_fits(p, m), fits) << p << " " << m;
      if (!fits) continue;
      build_terms(m, p, pt);
      long long binomial = 1;
      for (int i = 1; i <= m; ++i) binomial = binomial * (p + i) / i;
      EXPECT_EQ(pt.T, binomial) << p << " " << m;
    }
}

// The exponents are digits 0..6; fact holds up to 12! in 32 bits.
TEST(PolynomialTerms, Factorials) {
  const int expected[] = {1,    1,     2,      6,       24,       120,      720,
                          5040, 40320, 362880, 3628800, 39916800, 479001600};
  for (int n = 0; n <= 12; ++n) EXPECT_EQ(fact(n), expected[n]) << n;
}

class Sotrak : public pnntest::ToolTest {
 protected:
  Sotrak() : ToolTest("sotrak") {}

  // Three rows of two bands and three classes; the arguments of their run
  // with order 4.
  std::vector<std::string> write_three_rows() {
    const std::string b1 = dir.file("b1"), b2 = dir.file("b2");
    testsupport::write_band8(
        b1, {0, 50, 100, 150, 200, 1, 2, 3, 20, 22, 9, 180, 90, 40, 7});
    testsupport::write_band8(
        b2, {9, 8, 7, 6, 5, 100, 120, 140, 160, 180, 250, 0, 30, 60, 90});
    testsupport::write_file(ts(), "1 2 200\n2 22 10\n3 180 90\n");
    return {b1 + " " + b2, "1 2", "TM", "1", "4", "10", "3",
            "5",           "0",   "0",  "3", "5", ts(), cof()};
  }
};

// With nobody reading the progress lines the run still ends well and writes
// its COF file; a COF file whose close fails is reported.
TEST_F(Sotrak, RunsWithoutAReaderAndACloseThatFails) {
  expect_output_endings(write_three_rows(), "33%\n66%\n100%\n", 15);
}

#if !defined(__SANITIZE_ADDRESS__)
// Memory that cannot be had ends the run with the allocation message and
// status 1, never an abort, at every limit on the way to one that lets a
// run finish (the training store and the term tables among them).
TEST_F(Sotrak, MemoryThatCannotBeHadIsReported) {
  expect_every_memory_shortage_reported(write_three_rows());
}
#endif

// What sotrak checks beyond the checks it shares with wimbel.
TEST_F(Sotrak, UsageAndArgumentChecksInOrder) {
  const std::string b1 = write_check_files();
  const std::vector<std::string> good = {b1,  "1", "TM", "1", "2", "10", "2",
                                         "2", "0", "0",  "2", "2", ts(), cof()};
  const std::string none = dir.file("none");
  std::string seven = b1;
  for (int b = 2; b <= 7; ++b) seven += " " + b1;
  expect_failures(
      count_cases(
          good,
          "Usage: sotrak \"<iPaths>\" \"<iBands>\" <iType>\n"
          "              <sigma> <polynomialOrder> <maxSamples>\n"
          "              <iRows> <iCols> <aRow> <aCol>\n"
          "              <aRows> <aCols> <tsPath> <cofPath>\n",
          {{changed(good, {{5, "x"}, {3, "tm"}}), "Illegal parameter.\n"},
           {changed(good, {{12, ""}}), "Illegal parameter.\n"},
           // A GI image stores bands 1 to 5: refused before any file opens.
           {changed(good, {{3, "GI"}, {2, "1 6"}, {1, none + " " + none}}),
            "Illegal image bands.\n"}}),
      false);
  // Its own inputs are never replaced by the COF file.
  for (const std::string &input : {ts(), b1}) {
    std::vector<std::string> args = good;
    args.back() = input;
    const testsupport::RunResult r = testsupport::run_program("sotrak", args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error opening classifications file (File exists).\n");
  }
  EXPECT_EQ(testsupport::read_file(b1), std::string(4, '\1'));
  EXPECT_EQ(testsupport::read_file(ts()), "");
  // The order is checked after sigma, before the allocation.
  expect_failures(
      {{changed(good, {{6, "501"}, {4, "0"}, {5, "9"}}),
        "Illegal maximum number of samples (501).\n"},
       {changed(good, {{4, "0"}, {5, "9"}}), "Illegal sigma value (0).\n"},
       {changed(good, {{5, "7"}}), "Illegal polynomial order (7).\n"},
       {changed(good, {{5, "-1"}}), "Illegal polynomial order (-1).\n"},
       {changed(good, {{5, "3"}, {2, "1 1 1 1 1 1 1"}, {1, seven}}),
        "Illegal polynomial order (3).\n"},
       {changed(good, {{5, "7"}, {12, "-1"}}),
        "Illegal polynomial order (7).\n"},
       {changed(good, {{12, "-1"}}), "Error allocating memory.\n"}},
      true);
}

// One band of values 0, 50, 100, 150, 200.
TEST_F(Sotrak, TrainingSetsAndDecisions) {
  testsupport::write_band8(dir.file("b1"), {0, 50, 100, 150, 200});
  const std::vector<std::string> good = {
      dir.file("b1"), "1",  "TM", "1", "2", "10", "1", "5", "0", "0", "1", "5",
      ts(),           cof()};
  const struct {
    const char *ts, *order;
    std::string cof;
  } cases[] = {
      {"", "2", std::string(5, '\0')},
      // A single present class takes every pixel.
      {"7 0\n7 10\n", "4", std::string(5, '\7')},
      // Order 0: the mean of the samples' factors decides.
      {"3 200\n2 0\n3 10\n", "0", std::string(5, '\2')},
      // Equal scores keep the lower class.
      {"5 100\n4 100\n", "3", std::string(5, '\4')},
      {"1 0\n2 200\n28 100\n", "1", "\1\1\1\2\2"},
      // Class 27, the highest the store has room for, takes its pixels.
      {"27 0\n2 200\n", "1", "\33\33\33\2\2"},
  };
  for (const auto &c : cases) {
    testsupport::write_file(ts(), c.ts);
    const testsupport::RunResult r = run(changed(good, {{5, c.order}}));
    EXPECT_EQ(r.status, 0) << c.ts << r.err;
    EXPECT_EQ(r.out + r.err, "100%\n");
    EXPECT_EQ(read_file(cof()), c.cof) << c.ts;
  }
}

// Random scenes of every image type against the formulas pixel by pixel;
// the type chooses the scale M. The model's coefficients, and the scores of
// a chunk of the first row (values beyond the tabulated range included),
// are the formulas' own, bit for bit, on the AVX2 path and its plain twin.
TEST_F(Sotrak, MatchesTheFormulasOnRandomScenes) {
  const struct {
    std::string type;
    int M, n, order, sigma, valueMax, pixelMax, maxSamples, rows, cols;
  } cases[] = {
      {"TM", 255, 7, 2, 1, 255, 255, 30, 5, 140},
      {"-MSS", 255, 3, 5, 1, 255, 255, 10, 4, 70},
      {"AVHRR", 1023, 4, 3, 2, 1023, 1023, 20, 4, 90},
      {"-GI", 1023, 2, 6, 1, 1023, 2000, 500, 3, 65},
      {"-TM", 255, 1, 0, 3, 255, 255, 8, 3, 20},
      {"-AVHRR", 1023, 6, 4, 1, 1023, 1100, 40, 2, 30},
  };
  std::mt19937 rng(7);
  static TrainingSet ts;
  for (const auto &c : cases) {
    pnntest::Scene s =
        pnntest::random_scene(rng, dir, c.type, c.rows, c.cols, c.n, 5,
                              c.valueMax, c.maxSamples, c.pixelMax);
    const Reference ref(s.stored, c.n, c.order, c.M, c.sigma);
    expect_scene(s, {c.sigma, c.order, c.maxSamples}, 1, 1,
                 [&](const std::vector<int> &x) { return ref.decide(x); });

    pnntest::fill_training_set(s, ts);
    PolynomialModel m;
    build_polynomial_model(ts, c.n, c.sigma, c.order, c.M, m);
    ASSERT_EQ(m.terms->T, static_cast<int>(ref.terms.size()));
    const int count = std::min(c.cols, POLY_CHUNK);
    const int32_t *values[MAX_BANDS];
    pnntest::chunk_values(s, 0, 0, values);
    std::vector<double> products(static_cast<size_t>(m.terms->T) * POLY_CHUNK);
    double factor[POLY_CHUNK], scores[POLY_CHUNK], value;
    pixel_terms(m, values, count, products.data(), factor);
    for (int k = 1; k <= 27; ++k) {
      if (s.stored[k].empty()) continue;
      ASSERT_EQ(m.coefficients[k], ref.coefficients[k]) << c.type << " " << k;
      class_scores(m, k, products.data(), factor, count, scores);
      // The plain twin of the AVX2 path gives the same bits.
      double plain[POLY_CHUNK];
      class_scores(m, k, products.data(), factor, count, plain, false);
      ASSERT_EQ(std::vector<double>(plain, plain + count),
                std::vector<double>(scores, scores + count))
          << c.type << " " << k;
      for (int p = 0; p < count; ++p) {
        std::vector<int> x(c.n);
        for (int b = 0; b < c.n; ++b) x[b] = values[b][p];
        ASSERT_EQ(scores[p], ref.score(k, x)) << k << " " << p;
        evaluate_polynomial(m.terms->terms, c.n, m.coefficients[k].data(),
                            m.terms->T, x.data(), &value, c.M);
        ASSERT_EQ(scores[p], value * factor[p]);
      }
    }
  }
}

}  // namespace
