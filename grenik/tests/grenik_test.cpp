#include "grenik.h"

#include <algorithm>
#include <climits>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <utility>

#include "clustertest.h"

using namespace clustertest;
using testsupport::changed;
using testsupport::expect_failures;
using testsupport::read_file;
using testsupport::RunResult;

namespace {

struct Params {
  int seed, cellCount, cellSamples, nClasses;
};

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

// Three rows of three distinct levels: each row is a class of its own.
// The whole output was recorded once, from a run checked against a plain
// model of the draws, merges and labels.
TEST_F(Grenik, WritesWhatWasRecorded) {
  Scene rows{3, 4, 0, 0, 3, 4, {}};
  rows.bands = {{0, 1, 2, 3, 10, 11, 12, 13, 20, 21, 22, 23},
                {5, 5, 5, 5, 0, 0, 0, 0, 9, 9, 9, 9}};
  expect_run(run(rows, false, {7, 2, 2, 3}),
             {"0%\n1%\n2%\n11%\n21%\n30%\n40%\n50%\n66%\n83%\n100%\n",
              "\3\3\3\3\1\1\1\1\2\2\2\2"},
             cof(), "rows");

  // Random scenes, each with the number of classes it can have (its draws,
  // when fewer than nClasses) and the digest of its output.
  std::mt19937 rng(7);
  const struct {
    RandomScene scene;
    Params p;
    int classes;
  } cases[] = {
      // 3 x 3 cells.
      {{{3, 100, 0, 0, 3, 100, {}}, 2, 255, false}, {11, 10, 2, 4}, 4},
      // Cell rows 0..2, 3..5, 6..9; equal distances.
      {{{10, 12, 0, 0, 10, 12, {}}, 1, 9, false}, {5, 3, 3, 2}, 2},
      // K < 20.
      {{{12, 15, 2, 3, 8, 10, {}}, 3, 255, false}, {99, 2, 3, 20}, 12},
      // Bytes wrap.
      {{{20, 20, 0, 0, 20, 20, {}}, 2, 255, false}, {3, 17, 1, 300}, 289},
      // An empty grid.
      {{{9, 9, 0, 0, 9, 9, {}}, 2, 255, false}, {4, -3, 2, 2}, 0},
      {{{30, 40, 1, 1, 28, 38, {}}, 7, 60000, true}, {-5, 8, 5, 6}, 6},
      {{{4, 5, 0, 0, 0, 5, {}}, 1, 255, false}, {1, 3, 2, 1}, 0},  // no row
  };
  const uint64_t recorded[] = {0xaa8c04d0879175f7, 0xad53347953b983b2,
                               0x26771670bd413204, 0x1f28548a9f0cb0d6,
                               0x81bf289ea5558b6b, 0x18a648baa55cb394,
                               0xaf63f14c8602103b};
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto &c = cases[i];
    const Scene s = c.scene.filled(rng);
    const std::string label = std::to_string(c.p.seed);
    const RunResult r = run(s, c.scene.wide, c.p);
    const std::string bytes = read_file(cof());
    expect_recorded_run(r, cof(), recorded[i], label);
    expect_classes(bytes, s, c.classes, label);
    // The same seed gives the same run.
    expect_run(run(s, c.scene.wide, c.p), {r.out, bytes}, cof(), label);
  }
}

// Seed 0 draws as the seed of the clock's time at the run would.
TEST_F(Grenik, SeedZeroTakesTheTime) {
  std::mt19937 rng(3);
  Scene s{20, 20, 0, 0, 20, 20, {}};
  s.fill(rng, 3, 255);
  const time_t start = time(nullptr);
  const RunResult r = run(s, false, {0, 4, 2, 5});
  const std::pair<std::string, std::string> clock = {r.out, read_file(cof())};
  const time_t end = time(nullptr);
  bool matched = false;
  for (time_t t = start; t <= end && !matched; ++t) {
    const RunResult timed = run(s, false, {static_cast<int>(t), 4, 2, 5});
    matched = std::make_pair(timed.out, read_file(cof())) == clock;
  }
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
  // A GI image stores bands 1 to 5: band 6 is refused before any file is
  // opened, over an empty file that would read nothing.
  const std::string empty = dir.file("empty.raw"), gi = dir.file("g.cof");
  testsupport::write_file(empty, "");
  expect_failures(
      "grenik",
      {{{},
        "Usage: grenik \"<iPaths>\" \"<iChannels>\" <iType>\n"
        "               <iRows> <iCols> <aRow> <aCol>\n"
        "               <aRows> <aCols> <seed> <cellCount>\n"
        "               <cellSamples> <nClasses> <cof>\n"},
       {{base.begin(), base.end() - 1}, "Missing/extra parameter.\n"},
       {changed(base, {{3, "tm"}, {4, "x"}}), "Unknown image type.\n"},
       {changed(base, {{5, "x"}, {2, ""}}), "Illegal parameter.\n"},
       {changed(base, {{13, "0"}, {2, ""}}), "Illegal parameter.\n"},  // K < 1
       {changed(base, {{2, "1 2 3 4 5 6 7 1"}, {1, b1}}),
        "Illegal image bands.\n"},
       {{empty, "6", "GI", "40", "48", "0", "0", "100", "100", "1", "2", "2",
         "4", gi},
        "Illegal image bands.\n"},
       {changed(base, {{1, b1}}), "Illegal image paths.\n"},
       {changed(base, {{9, "-1"}, {1, none + " " + b1}}),
        "Error allocating memory.\n"},
       {changed(base, {{1, b1 + " " + none}, {14, b1}}),
        error_line("opening image file", none, "No such file or directory")},
       {changed(base, {{14, b1}}),
        error_line("opening COF file", b1, "File exists")},
       // Every draw of a grid beyond 32 bits would be a cluster.
       {changed(base, {{11, "2"}, {12, "1073741824"}}),
        "Error allocating memory.\n"},
       {changed(base, {{4, "9"}, {6, "5"}}), unread},  // a draw past the end
       {changed(base, {{8, "7"}, {12, "0"}}), unread, "57%\n64%\n71%\n78%\n"},
       // A row of no columns: its write of no bytes writes no item.
       {changed(base, {{9, "0"}}),
        error_line("writing COF file", cof(), "Invalid argument")},
       // The rows fit the stream's buffer: they fail when it is closed.
       {changed(base, {{14, "/dev/full"}}),
        error_line("closing COF file", "/dev/full", "No space left on device"),
        "0%\n1%\n2%\n26%\n50%\n62%\n75%\n87%\n100%\n"}});
  EXPECT_EQ(read_file(b1).size(), 20u);  // the input named as output is intact
  EXPECT_FALSE(testsupport::file_exists(gi));
}

// A run whose standard output has no reader left finishes as it would
// have: status 0 and the same COF file, only its progress lines lost.
TEST_F(Grenik, RunWithoutAReaderOfItsProgress) {
  std::mt19937 rng(13);
  Scene s{30, 40, 0, 0, 30, 40, {}};
  s.fill(rng, 3, 255);
  const auto args = scene_args(dir, s, false, {"17", "5", "4", "6", cof()});
  testsupport::expect_same_result_without_reader("grenik", args, {cof()});
  EXPECT_EQ(read_file(cof()).size(), 1200u);
}

#if !defined(__SANITIZE_ADDRESS__)
// The sanitizer's allocator reports a store it cannot provide itself, so
// the run's own message is observable only in a plain build.
//
// A draw total within int whose store cannot be had is refused before the
// first draw becomes a cluster: at once, with no progress line and the COF
// file left empty, never after hours of draws with the memory growing. The
// run gets a limited address space, so that the store is out of reach on
// any machine. Band files that cannot give the first draw fail at its read,
// as they would with a store in reach.
TEST_F(Grenik, DrawStoreOutOfReachFailsBeforeTheFirstDraw) {
  std::mt19937 rng(9);
  Scene s{40, 48, 0, 0, 40, 48, {}};
  s.fill(rng, 1, 255);
  const auto args =
      scene_args(dir, s, false, {"1", "1", "2147483647", "4", cof()});
  const std::string empty = dir.file("empty");
  testsupport::write_file(empty, "");
  const struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {args, "Error allocating memory.\n"},
      {changed(args, {{1, empty}}),
       error_line("reading image file", empty, "No data available")},
      // 2^32 draws, past the range of int.
      {changed(args, {{1, empty}, {11, "2"}, {12, "1073741824"}}),
       error_line("reading image file", empty, "No data available")},
  };
  for (const auto &c : cases) {
    const RunResult r = testsupport::run_program_with_address_limit(
        "grenik", c.args, size_t{1} << 30);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(testsupport::file_exists(cof()));
    EXPECT_EQ(read_file(cof()), "");
  }
}

// A million draws that nothing merges (nClasses above them) fit in 64 MB
// (44 MB of clusters), but the table of their means and class bytes for
// the labelling (29 MB more) does not: the run ends with the message,
// after the draws and before the first row.
TEST_F(Grenik, ClassTableOutOfReachFailsBeforeTheFirstRow) {
  std::mt19937 rng(9);
  Scene s{40, 48, 0, 0, 40, 48, {}};
  s.fill(rng, 1, 255);
  const RunResult r = testsupport::run_program_with_address_limit(
      "grenik",
      scene_args(dir, s, false, {"1", "1", "1000000", "2147483647", cof()}),
      size_t{64} << 20);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error allocating memory.\n");
  EXPECT_EQ(r.out, "0%\n1%\n2%\n");
  EXPECT_EQ(read_file(cof()), "");
}
#endif

}  // namespace
