// quenta's report of degenerate bands, with its pauses of one to two
// seconds after each line: slow, so these tests carry the label "slow".
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <random>
#include <string>

#include "quenta_fixture.h"

namespace {

// Classes 2 and 4 differ only in band 4, constant in class 6: Pass 1 cannot
// tell them apart, Pass 2 can; class 6's pixels are not decided again.
// Classes 1, 3 and 5 are absent.
Scene two_pass_scene() {
  std::mt19937 rng(5);
  const Centres centres = {{2, {60, 60, 60, 100}},
                           {4, {60, 60, 60, 150}},
                           {6, {180, 180, 180, 125}}};
  return Scene(rng, centres, 4 * 50, 8, {{6, 3}});
}

const char TWO_PASS_REPORT[] =
    "WARNING!\n"
    "Class 6 degenerate bands: 4\n"
    "Pass 1> Bands: 1 2 3, Classes: 2 4 6\n"
    "Pass 2> Bands: 1 2 3 4, Classes: 2 4\n";

// The report goes word for word, with a pause of one to two seconds after
// each line.
TEST_F(Quenta, TwoPassReportAndResult) {
  const Scene scene = two_pass_scene();
  const std::string paths = write_bands(scene.bands);
  write_file(ts(), scene.ts);
  const auto start = std::chrono::steady_clock::now();
  RunResult r = run(paths, "1  2 3\t4", "TM", {4, 50, 0, 0, 4, 50});
  const std::chrono::duration<double> took =
      std::chrono::steady_clock::now() - start;
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "WARNING!\n"
            "Class 6 degenerate bands: 4\n"
            "Pass 1> Bands: 1 2 3, Classes: 2 4 6\n"
            "Pass 2> Bands: 1  2 3\t4, Classes: 2 4\n" +
                progress({12, 25, 37, 50, 62, 75, 87, 100}));
  EXPECT_GE(took.count(), 4.0);
  EXPECT_EQ(read_file(cof()), scene.truth);

  // A reader of the report and progress lines that is gone does not end
  // the run: the same COF file, status 0.
  write_file(cof(), "");
  r = testsupport::run_program_without_reader(
      "quenta",
      {paths, "1  2 3\t4", "TM", "4", "50", "0", "0", "4", "50", ts(), cof()});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(read_file(cof()), scene.truth);
}

// Pass 2 reads back the rows Pass 1 wrote. Rows that cannot be written out
// before (a full device), or a COF file that cannot be repositioned (a
// pipe), end the run with the COF file's messages: never a success with
// the result lost.
TEST_F(Quenta, Pass2CofFailures) {
  const Scene scene = two_pass_scene();
  const std::string paths = write_bands(scene.bands);
  write_file(ts(), scene.ts);
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const struct {
    std::string cof, err;
  } cases[] = {
      {"/dev/full",
       "Error writing COF file \"/dev/full\" (No space left on device).\n"},
      {fifo, "Error reading COF file \"" + fifo + "\" (Illegal seek).\n"},
  };
  for (const auto &c : cases) {
    const RunResult r = testsupport::run_program(
        "quenta",
        {paths, "1 2 3 4", "TM", "4", "50", "0", "0", "4", "50", ts(), c.cof});
    EXPECT_EQ(r.status, 1) << c.cof;
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, TWO_PASS_REPORT + progress({12, 25, 37, 50}));
  }
}

// One non-degenerate class: no Pass 2, progress over 0..100. The band list
// "3 1 2 4": class 1 is constant in bands 1 and 2, class 2 in band 2.
TEST_F(Quenta, OneNonDegenerateClassRunsOnePass) {
  std::mt19937 rng(11);
  const Centres centres = {{1, {40, 90, 90, 40}},
                           {2, {200, 150, 120, 60}},
                           {3, {120, 30, 200, 220}}};
  const Scene scene(rng, centres, 4 * 20, 5, {{1, 1}, {1, 2}, {2, 2}});
  write_file(ts(), scene.ts);
  RunResult r =
      run(write_bands(scene.bands), "3 1 2 4", "TM", {4, 20, 0, 0, 4, 20});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "WARNING!\n"
            "Class 1 degenerate bands: 1 2\n"
            "Class 2 degenerate bands: 2\n"
            "Pass 1> Bands: 3 4, Classes: 1 2 3\n"
            "Pass 2> Insufficient non-degenerate classes\n" +
                progress({25, 50, 75, 100}));
  EXPECT_EQ(read_file(cof()), scene.truth);
}

// In classes 1 and 2 band 3 is band 1 + 50, so their covariances on all
// bands have no inverse and Pass 2 finds no winner: every pixel keeps the
// class Pass 1 gave it.
TEST_F(Quenta, PixelsKeepTheirClassWhenPass2HasNoWinner) {
  std::string text;
  for (int s = 0; s < 6; ++s) {
    const int c1 = 40 + s, c2 = 150 + s;
    text += "1 " + std::to_string(c1) + " " + std::to_string(60 + s * s % 7) +
            " " + std::to_string(c1 + 50) + "\n";
    text += "2 " + std::to_string(c2) + " " + std::to_string(140 + 3 * s % 5) +
            " " + std::to_string(c2 + 50) + "\n";
    text += "3 " + std::to_string(100 + s % 3) + " " + std::to_string(220 + s) +
            " 77\n";
  }
  write_file(ts(), text);
  const std::string paths =
      write_bands({{42, 152, 101, 43}, {62, 141, 222, 61}, {92, 202, 77, 93}});
  RunResult r = run(paths, "1 2 3", "TM", {1, 4, 0, 0, 1, 4});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "WARNING!\n"
            "Class 3 degenerate bands: 3\n"
            "Pass 1> Bands: 1 2, Classes: 1 2 3\n"
            "Pass 2> Bands: 1 2 3, Classes: 1 2\n" +
                progress({50, 100}));
  EXPECT_EQ(read_file(cof()), std::string("\1\2\3\1", 4));
}

}  // namespace
