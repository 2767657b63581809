#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "parzen.h"
#include "pnn_scene.h"
#include "testsupport.h"

using testsupport::changed;
using testsupport::read_file;
using testsupport::write_band8;
using testsupport::write_file;

namespace {

// The densities of the classes at one pixel, straight from their formulas.
int reference_class(const pnntest::StoredSamples &stored,
                    const std::vector<int> &x, int sigma) {
  const int n = static_cast<int>(x.size());
  const double norm =
      1.0 / (pow(sigma, n) * pow(2.0 * 3.141592653589793, n / 2.0));
  const double twoSigmaSq = static_cast<double>(2LL * sigma * sigma);
  return pnntest::best_class(stored, [&](int k) {
    double sum = 0.0;
    for (const auto &sample : stored[k]) {
      long long d2 = 0;
      for (int b = 0; b < n; ++b)
        d2 += static_cast<long long>(x[b] - sample[b]) * (x[b] - sample[b]);
      sum += exp(-(d2 / twoSigmaSq));
    }
    return (norm * sum) / static_cast<double>(stored[k].size());
  });
}

class Wimbel : public pnntest::ToolTest {
 protected:
  Wimbel() : ToolTest("wimbel") {}

  // Three rows of one band and three classes; the arguments of their run.
  std::vector<std::string> write_three_rows() {
    const std::string b1 = dir.file("b1");
    write_band8(b1, {0, 50, 100, 150, 200, 1, 2, 3, 20, 22, 9, 180, 90, 40, 7});
    write_file(ts(), "1 2\n2 22\n3 180\n");
    return {b1,  "1", "TM", "8", "10", "3",  "5",
            "0", "0", "3",  "5", ts(), cof()};
  }
};

// The checks that wimbel and sotrak share are tested here.
TEST_F(Wimbel, UsageAndArgumentChecksInOrder) {
  const std::string b1 = write_check_files(), none = dir.file("none");
  const std::vector<std::string> good = {b1,  "1", "TM", "8", "10", "2",  "2",
                                         "0", "0", "2",  "2", ts(), cof()};
  const std::string noFile = " (No such file or directory).\n";
  expect_failures(
      count_cases(
          good,
          "Usage: wimbel \"<iPaths>\" \"<iBands>\" <iType>\n"
          "            <sigma> <maxSamples> <iRows> <iCols>\n"
          "            <aRow> <aCol> <aRows> <aCols> <tsPath>\n"
          "            <cofPath>\n",
          {{changed(good, {{11, "x"}, {3, "tm"}}), "Illegal parameter.\n"},
           {changed(good, {{4, "99999999999"}}), "Illegal parameter.\n"},
           {changed(good, {{3, "tm"}, {2, "x"}}), "Unknown image type.\n"},
           {changed(good, {{2, "1 2 3 4 5 6 7 1"}}), "Illegal image bands.\n"},
           {changed(good, {{2, "1 x"}, {1, none}}), "Illegal image bands.\n"},
           // A GI image stores bands 1 to 5: refused before any file opens.
           {changed(good, {{3, "GI"}, {2, "6"}, {1, none}, {12, none}}),
            "Illegal image bands.\n"},
           {changed(good, {{1, b1 + " " + b1}}), "Illegal image paths.\n"},
           {changed(good, {{1, none}, {12, none}}),
            "Error opening image file \"" + none + "\"" + noFile},
           {changed(good, {{12, none}, {13, none + "/x"}}),
            "Error opening training set" + noFile},
           {changed(good, {{13, none + "/x"}}),
            "Error opening classifications file" + noFile},
           {changed(good, {{13, b1}}),
            "Error opening classifications file (File exists).\n"},
           {changed(good, {{13, ts()}}),
            "Error opening classifications file (File exists).\n"}}),
      false);
  EXPECT_EQ(read_file(b1), std::string(4, '\1'));

  // Checks made after the COF file is created leave it there, empty.
  expect_failures(
      {{changed(good, {{5, "0"}}), "Illegal maximum number of samples (0).\n"},
       {changed(good, {{5, "501"}, {4, "0"}}),
        "Illegal maximum number of samples (501).\n"},
       {changed(good, {{4, "0"}}), "Illegal sigma value (0).\n"},
       {changed(good, {{4, "-5"}}), "Illegal sigma value (-5).\n"},
       {changed(good, {{11, "-1"}}), "Error allocating memory.\n"}},
      true);
}

// One band of two rows, 0, 50, 100, 150, 200 and 1, 2, 3, 20, 22; rows
// of the table change arguments by position.
TEST_F(Wimbel, TrainingSetsAreasAndDecisions) {
  const std::string b1 = dir.file("b1");
  write_band8(b1, {0, 50, 100, 150, 200, 1, 2, 3, 20, 22});
  const std::vector<std::string> good = {b1,  "1", "TM", "8", "10", "2",  "5",
                                         "0", "0", "1",  "5", ts(), cof()};
  const std::string noData =
                        "Error reading training set (No data available).\n",
                    noRow = "Error reading image file \"" + b1 +
                            "\" (No data available).\n",
                    two = "1 2\n2 22\n", rows = "\1\2\2\2\2\1\1\1\2\2";
  const struct {
    const char *ts;
    std::map<int, std::string> changes;
    std::string out, err, cof;
  } cases[] = {
      {"", {}, "100%\n", "", std::string(5, '\0')},
      // Only the first maxSamples records of a class count, and the density
      // divides by their number.
      {"1 0\n1 100\n2 60\n", {{5, "1"}}, "100%\n", "", "\1\2\2\2\2"},
      {"1 0\n1 100\n2 60\n", {{5, "2"}}, "100%\n", "", "\1\2\1\1\1"},
      // Records are n + 1 integers wherever the lines break.
      {"1 0 1\n100 2 60", {{5, "2"}}, "100%\n", "", "\1\2\1\1\1"},
      // Equal densities keep the lower class; far from every sample all
      // kernels are 0 and the lowest present class wins.
      {"5 100\n3 100\n", {}, "100%\n", "", "\3\3\3\3\3"},
      {"9 0 4 200", {}, "100%\n", "", "\11\11\4\4\4"},
      {"2 0 4 60", {{4, "1"}}, "100%\n", "", "\2\4\2\2\2"},
      // A word where a class is due ends the reading quietly.
      {"1 0\nend 2 200\n", {}, "100%\n", "", "\1\1\1\1\1"},
      // Classes outside 1..27 have no room and are skipped.
      {"28 0\n0 0\n-1 0\n2 200\n", {}, "100%\n", "", "\2\2\2\2\2"},
      // Class 27 is the highest that has room.
      {"27 0\n1 200\n", {}, "100%\n", "", "\33\33\1\1\1"},
      {"1 0\n2", {}, "", noData, ""},
      {"28", {}, "", noData, ""},
      {"1 0\n2 x 3",
       {},
       "",
       "Error reading training set (Invalid argument).\n",
       ""},
      // Areas: empty, inside, the whole image (text after a number's digits
      // is ignored), no columns, rows the band file does not hold (those
      // before them are kept).
      {two.c_str(), {{10, "0"}}, "", "", ""},
      {two.c_str(), {{8, "1"}, {9, "1"}, {11, "3"}}, "100%\n", "", "\1\1\2"},
      {two.c_str(), {{4, "8x"}, {10, "2abc"}}, "50%\n100%\n", "", rows},
      {two.c_str(),
       {{11, "0"}},
       "",
       "Error writing classifications file (Invalid argument).\n",
       ""},
      {two.c_str(), {{6, "3"}, {10, "3"}}, "33%\n66%\n", noRow, rows},
      {two.c_str(), {{6, "3"}, {8, "2147483647"}}, "", noRow, ""},
  };
  for (const auto &c : cases) {
    write_file(ts(), c.ts);
    const testsupport::RunResult r = run(changed(good, c.changes));
    EXPECT_EQ(r.status, c.err.empty() ? 0 : 1) << c.ts;
    EXPECT_EQ(r.err, c.err) << c.ts;
    EXPECT_EQ(r.out, c.out) << c.ts;
    EXPECT_EQ(read_file(cof()), c.cof) << c.ts;
  }
}

// With nobody reading the progress lines the run still ends well and writes
// its COF file; a COF file whose close fails is reported.
TEST_F(Wimbel, RunsWithoutAReaderAndACloseThatFails) {
  expect_output_endings(write_three_rows(), "33%\n66%\n100%\n", 15);
}

#if !defined(__SANITIZE_ADDRESS__)
// Memory that cannot be had ends the run with the allocation message and
// status 1, never an abort: the kernel table of a wide kernel (32 MB for
// sigma 1000) in an address space of 24 MB, and every shortfall on the way
// to a limit that lets a run finish.
TEST_F(Wimbel, MemoryThatCannotBeHadIsReported) {
  const std::vector<std::string> args = write_three_rows();
  const testsupport::RunResult r =
      run_limited(changed(args, {{4, "1000"}}), size_t{24} << 20);
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error allocating memory.\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(read_file(cof()), "");
  expect_every_memory_shortage_reported(args);
}
#endif

// Random scenes of every width of data against the formulas pixel by
// pixel: 8-bit and 10-bit values, 16-bit values beyond the packed range,
// kernels too wide for a complete table, odd band counts and areas that
// end inside a run of pixels. Where a chunk of the first row may take the
// packed and vector paths, their kernel sums are the general path's, bit
// for bit (only one of them serves a given processor).
TEST_F(Wimbel, MatchesTheFormulasOnRandomScenes) {
  const struct {
    std::string type;
    int n, sigma, valueMax, pixelMax, maxSamples, rows, cols;
  } cases[] = {
      {"TM", 7, 8, 255, 255, 20, 6, 301},
      {"MSS", 3, 3, 255, 255, 5, 5, 40},
      {"-TM", 1, 1, 255, 255, 500, 4, 37},
      {"AVHRR", 5, 32, 1023, 1023, 12, 5, 270},
      {"-GI", 2, 20, 1023, 65535, 15, 4, 50},
      {"-AVHRR", 6, 60, 1023, 1023, 10, 4, 45},
      {"AVHRR", 4, 700, 65535, 65535, 8, 3, 30},
      {"-MSS", 4, 5, 255, 255, 40, 2, 70},
      {"AVHRR", 6, 12, 1023, 1023, 25, 2, 60},
      {"TM", 2, 4, 255, 255, 60, 2, 90},
  };
  std::mt19937 rng(11);
  static TrainingSet ts;
  int packedChunks = 0;
  for (const auto &c : cases) {
    pnntest::Scene s =
        pnntest::random_scene(rng, dir, c.type, c.rows, c.cols, c.n, 6,
                              c.valueMax, c.maxSamples, c.pixelMax);
    expect_scene(s, {c.sigma, c.maxSamples}, 1, 2,
                 [&](const std::vector<int> &x) {
                   return reference_class(s.stored, x, c.sigma);
                 });
    pnntest::fill_training_set(s, ts);
    ParzenModel m;
    build_parzen_model(ts, c.n, c.sigma, m);
    const int count = std::min(c.cols, PIXEL_CHUNK);
    const int32_t *values[MAX_BANDS];
    pnntest::chunk_values(s, 0, 0, values);
    if (chunk_path(m, values, count, false) != SUMS_PACKED) continue;
    ++packedChunks;
    EXPECT_EQ(chunk_path(m, values, count), SUMS_VECTOR);
    for (int k = 1; k <= ts.highestClass; ++k) {
      std::vector<double> sums[3];
      for (SumPath path : {SUMS_VECTOR, SUMS_PACKED, SUMS_GENERAL}) {
        sums[path].resize(count);
        kernel_sums(m, ts, k, values, count, sums[path].data(), path);
      }
      EXPECT_EQ(sums[SUMS_VECTOR], sums[SUMS_GENERAL]) << c.type << " " << k;
      EXPECT_EQ(sums[SUMS_PACKED], sums[SUMS_GENERAL]) << c.type << " " << k;
    }
  }
  EXPECT_EQ(packedChunks, 7);  // every band count
}

// The kernel table against exp at its edges, for a complete table (sigma 8)
// and one too wide to tabulate whole (sigma 60).
TEST(ParzenModel, KernelValuesAtTheTableEdges) {
  static TrainingSet ts;
  ts.highestClass = 0;
  for (int sigma : {8, 60}) {
    ParzenModel m;
    build_parzen_model(ts, 3, sigma, m);
    const double tss = 2.0 * sigma * sigma;
    EXPECT_EQ(m.norm,
              1.0 / (pow(sigma, 3) * pow(2.0 * 3.141592653589793, 1.5)));
    const uint64_t size = m.kernel.size();
    for (uint64_t d2 : {uint64_t{0}, uint64_t{1}, size - 1, size, size + 1,
                        uint64_t{746} * 7200 - 1, uint64_t{746} * 7200,
                        uint64_t{1} << 40, UINT64_MAX})
      EXPECT_EQ(kernel_value(m, d2), exp(-(static_cast<double>(d2) / tss)))
          << sigma << " " << d2;
  }
}

}  // namespace
