#include "grenik.h"

#include <sys/resource.h>

#include <algorithm>
#include <climits>
#include <ctime>

#include "clustertest.h"

using namespace clustertest;
using testsupport::read_file;
using testsupport::RunResult;

namespace {

struct Params {
  int seed, cellCount, cellSamples, nClasses;
};

// What grenik should print and write, worked out plainly: cells by integer
// division, two draws per sample (row first), the clusters merged by full
// rescans and each pixel labelled on its own.
std::pair<std::string, std::string> expected_run(const Scene &s,
                                                 const Params &p) {
  const int n = static_cast<int>(s.bands.size());
  capture();
  const int64_t cells = std::max(0, std::min({p.cellCount, s.aRows, s.aCols}));
  const int total =
      static_cast<int>(std::max(0, p.cellSamples) * cells * cells);
  seed_random(static_cast<uint32_t>(p.seed));
  ClusterList list;
  for (int64_t i = 0, drawn = 0; i < cells; ++i) {
    const int64_t r0 = i * s.aRows / cells, r1 = (i + 1) * s.aRows / cells;
    for (int64_t j = 0; j < cells; ++j) {
      const int64_t c0 = j * s.aCols / cells, c1 = (j + 1) * s.aCols / cells;
      for (int k = 0; k < p.cellSamples; ++k) {
        const int64_t r = r0 + next_random() * (r1 - r0) / RANDOM_RANGE;
        const int64_t c = c0 + next_random() * (c1 - c0) / RANDOM_RANGE;
        float mean[MAX_BANDS];
        for (int b = 0; b < n; ++b) mean[b] = s.at(b, r, c);
        push_cluster(list, mean, n);
        show_progress(0, 2, static_cast<int>(++drawn), total);
      }
    }
  }
  merge_closest_pairs_by_rescan(list, n, total - p.nClasses, 2, 50);
  std::string cof;
  for (int r = 0; r < s.aRows; ++r) {
    for (int c = 0; c < s.aCols; ++c) {
      uint16_t pixel[MAX_BANDS];
      for (int b = 0; b < n; ++b) pixel[b] = s.at(b, r, c);
      cof += static_cast<char>(nearest_cluster_class(list, pixel, n));
    }
    show_progress(50, 100, r + 1, s.aRows);
  }
  return {captured(), cof};
}

class Grenik : public ::testing::Test {
 protected:
  RunResult run(const Scene &s, bool wide, const Params &p) {
    return testsupport::run_program(
        "grenik",
        scene_args(dir, s, wide,
                   {std::to_string(p.seed), std::to_string(p.cellCount),
                    std::to_string(p.cellSamples), std::to_string(p.nClasses),
                    cof()}));
  }
  std::string cof() const { return dir.file("out.cof"); }
  testsupport::TempDir dir;
};

// The grid is clipped to the area; a negative count, side or number of
// samples is an empty grid; totals stay exact beyond 32 bits, held at the
// top beyond 64.
TEST(GrenikGrid, ClippedToTheArea) {
  const struct {
    int cellCount, cellSamples, aRows, aCols;
    int64_t cells, samples;
  } grids[] = {{10, 4, 100, 3, 3, 36},
               {4, -2, 10, 10, 0, 0},
               {-3, 5, 10, 10, 0, 0},
               {4, 5, -2, 10, 0, 0},
               {50000, 2, 60000, 60000, 50000, 5000000000},
               {INT_MAX, 9, INT_MAX, INT_MAX, INT_MAX, INT64_MAX}};
  for (const auto &g : grids) {
    const Grid grid =
        clipped_grid(g.cellCount, g.cellSamples, g.aRows, g.aCols);
    EXPECT_EQ(grid.cells, g.cells) << g.cellCount;
    EXPECT_EQ(grid.samples, g.samples) << g.cellCount;
  }
}

// Draws, merges, class bytes and progress lines byte for byte against the
// plain model.
TEST_F(Grenik, WritesWhatThePlainModelWrites) {
  std::mt19937 rng(7);
  const struct {
    Scene s;
    int bands, top;
    bool wide;
    Params p;
  } cases[] = {
      {{3, 100, 0, 0, 3, 100, {}}, 2, 255, false, {11, 10, 2, 4}},  // 3 x 3
      // Cell rows 0..2, 3..5, 6..9; equal distances.
      {{10, 12, 0, 0, 10, 12, {}}, 1, 9, false, {5, 3, 3, 2}},
      {{12, 15, 2, 3, 8, 10, {}}, 3, 255, false, {99, 2, 3, 20}},    // K < 20
      {{20, 20, 0, 0, 20, 20, {}}, 2, 255, false, {3, 17, 1, 300}},  // wraps
      {{9, 9, 0, 0, 9, 9, {}}, 2, 255, false, {4, -3, 2, 2}},  // empty grid
      {{30, 40, 1, 1, 28, 38, {}}, 7, 60000, true, {-5, 8, 5, 6}},
      {{4, 5, 0, 0, 0, 5, {}}, 1, 255, false, {1, 3, 2, 1}},  // no row
  };
  for (const auto &c : cases) {
    Scene s = c.s;
    s.fill(rng, c.bands, c.top);
    expect_run(run(s, c.wide, c.p), expected_run(s, c.p), cof(),
               std::to_string(c.p.seed));
  }
}

TEST_F(Grenik, SeedZeroTakesTheTime) {
  std::mt19937 rng(3);
  Scene s{20, 20, 0, 0, 20, 20, {}};
  s.fill(rng, 3, 255);
  const time_t start = time(nullptr);
  const RunResult r = run(s, false, {0, 4, 2, 5});
  bool matched = false;
  for (time_t t = start; t <= time(nullptr) && !matched; ++t)
    matched = expected_run(s, {static_cast<int>(t), 4, 2, 5}) ==
              std::make_pair(r.out, read_file(cof()));
  EXPECT_TRUE(matched);
}

TEST_F(Grenik, FailuresInOrder) {
  std::mt19937 rng(5);
  Scene s{4, 5, 0, 0, 4, 5, {}};
  s.fill(rng, 2, 255);
  const auto base = scene_args(dir, s, false, {"1", "2", "1", "2", cof()});
  const std::string b1 = dir.file("b1"), none = dir.file("none");
  const std::string unread =
      error_line("reading image file", b1, "No data available");
  expect_failures(
      "grenik",
      {{{},
        "Usage: grenik \"<iPaths>\" \"<iChannels>\" <iType>\n"
        "               <iRows> <iCols> <aRow> <aCol>\n"
        "               <aRows> <aCols> <seed> <cellCount>\n"
        "               <cellSamples> <nClasses> <cof>\n"},
       {{base.begin(), base.end() - 1}, "Missing/extra parameter.\n"},
       {changed(base, {{2, "tm"}, {3, "x"}}), "Unknown image type.\n"},
       {changed(base, {{4, "x"}, {1, ""}}), "Illegal parameter.\n"},
       {changed(base, {{12, "0"}, {1, ""}}), "Illegal parameter.\n"},  // K < 1
       {changed(base, {{1, "1 2 3 4 5 6 7 1"}, {0, b1}}),
        "Illegal image bands.\n"},
       {changed(base, {{0, b1}}), "Illegal image paths.\n"},
       {changed(base, {{8, "-1"}, {0, none + " " + b1}}),
        "Error allocating memory.\n"},
       {changed(base, {{0, b1 + " " + none}, {13, b1}}),
        error_line("opening image file", none, "No such file or directory")},
       {changed(base, {{13, b1}}),
        error_line("opening COF file", b1, "File exists")},
       // Every draw of a grid beyond 32 bits would be a cluster.
       {changed(base, {{10, "2"}, {11, "1073741824"}}),
        "Error allocating memory.\n"},
       {changed(base, {{3, "9"}, {5, "5"}}), unread},  // a draw past the end
       {changed(base, {{7, "7"}, {11, "0"}}), unread, "57%\n64%\n71%\n78%\n"},
       // A row of no columns: its write of no bytes writes no item.
       {changed(base, {{8, "0"}}),
        error_line("writing COF file", cof(), "Invalid argument")}});
  EXPECT_EQ(read_file(b1).size(), 20u);  // the input named as output is intact
}

#if !defined(__SANITIZE_ADDRESS__)
// The sanitizer's allocator reports a store it cannot provide itself, so
// the run's own message is observable only in a plain build.
//
// A draw total within int whose store cannot be had is refused before the
// first draw: at once, with no progress line and the COF file left empty,
// never after hours of draws with the memory growing. The run gets a
// limited address space, so that the store is out of reach on any machine.
TEST_F(Grenik, DrawStoreOutOfReachFailsBeforeTheFirstDraw) {
  std::mt19937 rng(9);
  Scene s{40, 48, 0, 0, 40, 48, {}};
  s.fill(rng, 1, 255);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_AS, &saved), 0);
  rlimit limited = saved;
  limited.rlim_cur = rlim_t{1} << 30;
  if (saved.rlim_max != RLIM_INFINITY && saved.rlim_max < limited.rlim_cur)
    limited.rlim_cur = saved.rlim_max;
  ASSERT_EQ(setrlimit(RLIMIT_AS, &limited), 0);
  const RunResult r = testsupport::run_program(
      "grenik", scene_args(dir, s, false, {"1", "1", "2147483647", "4", cof()}),
      10);
  setrlimit(RLIMIT_AS, &saved);
  EXPECT_FALSE(r.timed_out);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error allocating memory.\n");
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(testsupport::file_exists(cof()));
  EXPECT_EQ(read_file(cof()), "");
}
#endif

}  // namespace
