#include "grenik.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <ctime>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "clusterlib.h"
#include "clustertest.h"
#include "testsupport.h"

using testsupport::read_file;
using testsupport::RunResult;

namespace {

// An image held in memory: rows x cols samples per band, written as 8-bit
// ("TM") or 16-bit ("AVHRR") band files.
struct Image {
  int rows = 0, cols = 0;
  std::vector<std::vector<uint16_t>> bands;
  uint16_t at(int b, int64_t r, int64_t c) const {
    return bands[static_cast<size_t>(b)][static_cast<size_t>(r * cols + c)];
  }
};

Image random_image(std::mt19937 &rng, int rows, int cols, int bands, int top) {
  Image im;
  im.rows = rows;
  im.cols = cols;
  std::uniform_int_distribution<int> v(0, top);
  im.bands.assign(static_cast<size_t>(bands),
                  std::vector<uint16_t>(static_cast<size_t>(rows * cols)));
  for (auto &b : im.bands)
    for (auto &x : b) x = static_cast<uint16_t>(v(rng));
  return im;
}

struct Params {
  int aRow, aCol, aRows, aCols, seed, cellCount, cellSamples, nClasses;
};

// The generator as the toolkit defines it.
struct Lcg {
  uint32_t state;
  int next() {
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 32767u);
  }
};

// What grenik should print and write, worked out plainly: cells by integer
// division, two draws per sample, the clusters merged by full rescans and
// each pixel labelled on its own.
std::pair<std::string, std::string> expected_run(const Image &im,
                                                 const Params &p) {
  const int n = static_cast<int>(im.bands.size());
  clustertest::capture();
  int64_t cells = std::min({p.cellCount, p.aRows, p.aCols});
  if (cells < 0) cells = 0;
  const int64_t total = std::max<int64_t>(0, p.cellSamples * cells * cells);
  Lcg rng{static_cast<uint32_t>(p.seed)};
  ClusterList list;
  int drawn = 0;
  for (int64_t i = 0; i < cells; ++i) {
    const int64_t r0 = i * p.aRows / cells, h = (i + 1) * p.aRows / cells - r0;
    for (int64_t j = 0; j < cells; ++j) {
      const int64_t c0 = j * p.aCols / cells,
                    w = (j + 1) * p.aCols / cells - c0;
      for (int s = 0; s < p.cellSamples; ++s) {
        const int64_t dr = rng.next() * h / 32768;
        const int64_t dc = rng.next() * w / 32768;
        float mean[MAX_BANDS];
        for (int b = 0; b < n; ++b)
          mean[b] = im.at(b, p.aRow + r0 + dr, p.aCol + c0 + dc);
        push_cluster(list, mean, n);
        show_progress(0, 2, ++drawn, static_cast<int>(total));
      }
    }
  }
  merge_closest_pairs_by_rescan(list, n, static_cast<int>(total) - p.nClasses,
                                2, 50);
  std::string cof;
  for (int r = 0; r < p.aRows; ++r) {
    for (int c = 0; c < p.aCols; ++c) {
      uint16_t pixel[MAX_BANDS];
      for (int b = 0; b < n; ++b) pixel[b] = im.at(b, p.aRow + r, p.aCol + c);
      cof += static_cast<char>(nearest_cluster_class(list, pixel, n));
    }
    show_progress(50, 100, r + 1, p.aRows);
  }
  return {clustertest::captured(), cof};
}

class Grenik : public ::testing::Test {
 protected:
  // Band files b1, b2, ...; returns the path and band lists.
  std::pair<std::string, std::string> write_image(const Image &im, bool wide) {
    return clustertest::write_bands(dir, im.bands, wide);
  }

  RunResult run(const Image &im, bool wide, const Params &p) {
    const auto lists = write_image(im, wide);
    return testsupport::run_program(
        "grenik",
        {lists.first, lists.second, wide ? "AVHRR" : "TM",
         std::to_string(im.rows), std::to_string(im.cols),
         std::to_string(p.aRow), std::to_string(p.aCol),
         std::to_string(p.aRows), std::to_string(p.aCols),
         std::to_string(p.seed), std::to_string(p.cellCount),
         std::to_string(p.cellSamples), std::to_string(p.nClasses), cof()});
  }

  std::string cof() { return dir.file("out.cof"); }
  testsupport::TempDir dir;
};

TEST(GrenikGrid, CellsByTruncatedDivision) {
  const struct {
    int64_t i, cells, length, start, size;
  } spans[] = {{0, 3, 10, 0, 3},   {1, 3, 10, 3, 3},    {2, 3, 10, 6, 4},
               {0, 3, 100, 0, 33}, {2, 3, 100, 66, 34}, {0, 1, 7, 0, 7}};
  for (const auto &s : spans) {
    const CellSpan span = cell_span(s.i, s.cells, s.length);
    EXPECT_EQ(span.start, s.start);
    EXPECT_EQ(span.size, s.size);
  }
  // cellCount, cellSamples, aRows, aCols -> cells per side, draws.
  const struct {
    int cellCount, cellSamples, aRows, aCols;
    int64_t cells, samples;
  } grids[] = {
      {10, 4, 3, 100, 3, 36},  // clipped to the 3 rows
      {10, 4, 100, 3, 3, 36},  // and to the columns
      {4, 0, 10, 10, 0, 0},    // no sample per cell draws nothing
      {4, -2, 10, 10, 0, 0},   // nor does a negative number
      {0, 5, 10, 10, 0, 0},
      {-3, 5, 10, 10, 0, 0},  // a negative count is an empty grid
      {4, 5, -2, 10, 0, 0},   // as is a negative area side
      {50000, 2, 60000, 60000, 50000, 5000000000},  // beyond 32 bits
      {INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT_MAX, INT64_MAX},  // and 64
      {INT_MAX, INT_MIN, INT_MAX, INT_MAX, 0, 0},
  };
  for (const auto &g : grids) {
    const Grid grid =
        clipped_grid(g.cellCount, g.cellSamples, g.aRows, g.aCols);
    EXPECT_EQ(grid.cells, g.cells) << g.cellCount;
    EXPECT_EQ(grid.samples, g.samples) << g.cellCount;
  }
}

// Draws, merges, class bytes and progress lines byte for byte against the
// plain model, over grids that clip, wrap class bytes past 255, draw
// nothing, and areas inside a larger image.
TEST_F(Grenik, WritesWhatThePlainModelWrites) {
  std::mt19937 rng(7);
  const struct {
    int rows, cols, bands, top;
    bool wide;
    Params p;
  } cases[] = {
      {3, 100, 2, 255, false, {0, 0, 3, 100, 11, 10, 2, 4}},   // 3 x 3 grid
      {10, 12, 1, 9, false, {0, 0, 10, 12, 5, 3, 3, 2}},       // ties galore
      {12, 15, 3, 255, false, {2, 3, 8, 10, 99, 2, 3, 20}},    // nClasses >= T
      {20, 20, 2, 255, false, {0, 0, 20, 20, 3, 17, 1, 300}},  // 289 clusters
      {9, 9, 2, 255, false, {0, 0, 9, 9, 4, 3, 0, 2}},         // no draw
      {9, 9, 2, 255, false, {0, 0, 9, 9, 4, -3, 2, 2}},        // empty grid
      {16, 16, 7, 1023, true, {1, 1, 14, 15, 123, 4, 4, 8}},   // 16-bit
      {30, 40, 4, 60000, true, {0, 0, 30, 40, -5, 8, 5, 6}},   // large sums
  };
  for (const auto &c : cases) {
    const Image im = random_image(rng, c.rows, c.cols, c.bands, c.top);
    const auto expected = expected_run(im, c.p);
    const RunResult r = run(im, c.wide, c.p);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, expected.first) << c.rows << " x " << c.cols;
    EXPECT_EQ(read_file(cof()), expected.second) << c.rows << " x " << c.cols;
  }
}

TEST_F(Grenik, SeedZeroTakesTheTime) {
  std::mt19937 rng(3);
  const Image im = random_image(rng, 20, 20, 3, 255);
  const Params p{0, 0, 20, 20, 0, 4, 2, 5};
  const auto start = static_cast<int>(time(nullptr));
  const RunResult r = run(im, false, p);
  const auto end = static_cast<int>(time(nullptr));
  ASSERT_EQ(r.status, 0) << r.err;
  bool matched = false;
  for (int t = start; t <= end && !matched; ++t) {
    Params q = p;
    q.seed = t;
    const auto expected = expected_run(im, q);
    matched = expected.first == r.out && expected.second == read_file(cof());
  }
  EXPECT_TRUE(matched);
}

TEST_F(Grenik, EmptyAreas) {
  Image im;
  im.rows = 4;
  im.cols = 5;
  im.bands.assign(1, std::vector<uint16_t>(20, 7));
  // No row: nothing drawn, nothing written, the COF file created empty.
  RunResult r = run(im, false, {0, 0, 0, 5, 1, 3, 2, 1});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(testsupport::file_exists(cof()));
  EXPECT_EQ(read_file(cof()), "");
  // Rows of no column: the first row's write of no bytes writes no item.
  r = run(im, false, {0, 0, 2, 0, 1, 3, 2, 1});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, clustertest::error_line("writing COF file", cof(),
                                           "Invalid argument"));
  EXPECT_EQ(r.out, "");
}

TEST_F(Grenik, FailuresInOrder) {
  std::mt19937 rng(5);
  const Image im = random_image(rng, 4, 5, 2, 255);
  const auto lists = write_image(im, false);
  const std::string b1 = dir.file("b1"), none = dir.file("none");
  auto with = [&](std::map<int, std::string> changes) {
    std::vector<std::string> a = {lists.first, lists.second, "TM", "4",  "5",
                                  "0",         "0",          "4",  "5",  "1",
                                  "2",         "1",          "2",  cof()};
    for (auto &c : changes) a[static_cast<size_t>(c.first)] = c.second;
    return a;
  };
  const std::string usage =
      "Usage: grenik \"<iPaths>\" \"<iChannels>\" <iType>\n"
      "               <iRows> <iCols> <aRow> <aCol>\n"
      "               <aRows> <aCols> <seed> <cellCount>\n"
      "               <cellSamples> <nClasses> <cof>\n";
  std::vector<std::string> shortList = with({});
  shortList.pop_back();
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, usage},
      {shortList, "Missing/extra parameter.\n"},
      {with({{2, "tm"}, {3, "x"}}), "Unknown image type.\n"},
      {with({{4, "x"}, {1, ""}}), "Illegal parameter.\n"},
      {with({{12, "-"}}), "Illegal parameter.\n"},
      {with({{12, "0"}}), "Illegal parameter.\n"},  // nClasses below 1
      {with({{12, "-4"}, {1, ""}}), "Illegal parameter.\n"},
      {with({{1, ""}}), "Illegal image bands.\n"},
      {with({{1, "1 2 3 4 5 6 7 1"}}), "Illegal image bands.\n"},
      {with({{0, b1}}), "Illegal image paths.\n"},
      {with({{8, "-1"}, {0, none + " " + b1}}), "Error allocating memory.\n"},
      {with({{0, b1 + " " + none}, {13, none + "/x"}}),
       clustertest::error_line("opening image file", none,
                               "No such file or directory")},
      {with({{13, none + "/x"}}),
       clustertest::error_line("opening COF file", none + "/x",
                               "No such file or directory")},
      {with({{13, b1}}),
       clustertest::error_line("opening COF file", b1, "File exists")},
      // Every draw of a grid beyond 32 bits would be a cluster.
      {with({{10, "2"}, {11, "1073741824"}}), "Error allocating memory.\n"},
      // A draw below the end of the band files.
      {with({{3, "9"}, {5, "5"}}),
       clustertest::error_line("reading image file", b1, "No data available")},
  };
  for (const auto &c : cases) {
    const RunResult r = testsupport::run_program("grenik", c.first);
    EXPECT_EQ(r.status, 1) << c.second;
    EXPECT_EQ(r.err, c.second);
    EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(read_file(b1).size(), 20u);  // the input named as output is intact

  // A row below the end when nothing is drawn: the rows before it stay.
  const RunResult r =
      testsupport::run_program("grenik", with({{7, "7"}, {11, "0"}}));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, clustertest::error_line("reading image file", b1,
                                           "No data available"));
  EXPECT_EQ(r.out, "57%\n64%\n71%\n78%\n");
  EXPECT_EQ(read_file(cof()), std::string(20, '\0'));

  // Text behind a number is ignored.
  const RunResult ok =
      testsupport::run_program("grenik", with({{3, "4rows"}, {12, "2x"}}));
  EXPECT_EQ(ok.status, 0) << ok.err;
}

}  // namespace
