// celdon run over BIFs written by the test.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "testsupport.h"

namespace {

struct Celdon {
  testsupport::TempDir dir;
  std::string bif = dir.file("points.bif");
  // `args`: iRows iCols row col forward class, separated by blanks
  testsupport::RunResult run(const std::string &args) {
    std::vector<std::string> all{bif};
    std::istringstream in(args);
    for (std::string word; in >> word;) all.push_back(word);
    return testsupport::run_program("celdon", all);
  }
};

TEST(Celdon, NearestRecordInBothDirections) {
  Celdon c;
  testsupport::write_bif(c.bif, {{6, 0, 2},
                                 {5, 12, 2},
                                 {5, 8, 2},
                                 {4, 99, 2},
                                 {-3, 1, 4},
                                 {2, 1, 4},
                                 {7, 5, 0}});
  const char *cases[][2] = {
      // clang-format off
      {"100 10 5 9 1 2", "12 5\n"},
      {"100 10 5 9 0 2", "8 5\n"},
      {"100 10 5 8 1 2", "8 5\n"},      // the start qualifies both ways
      {"100 10 5 8 0 2", "8 5\n"},
      {"100 1 4 0 1 2", "99 4\n"},      // iCols plays no part
      {"100 10 0 0 1 0", "5 7\n"},      // class 0 is searched like any other
      {"6 10 5 13 1 2", "NotFound\n"},  // nearest in row iRows
      {"100 10 -5 0 1 4", "NotFound\n"},  // nearest in row -3, not row 2
      {"100 10 0 5 0 4", "NotFound\n"},
      {"100 10 9 0 0 4", "1 2\n"},
      {"100 10 5 9 1 7", "NotFound\n"},
      // clang-format on
  };
  for (const auto &k : cases) {
    auto r = c.run(k[0]);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, k[1]) << k[0];
  }
  testsupport::write_file(c.bif, "");
  EXPECT_EQ(c.run("100 10 0 0 1 2").out, "NotFound\n");
}

TEST(Celdon, TruncatedBifsAndFailures) {
  Celdon c;
  const std::string one = testsupport::bif_bytes({{3, 4, 1}});
  for (size_t extra = 1; extra <= 11; ++extra) {
    testsupport::write_file(c.bif, one + std::string(extra, '\x01'));
    auto r = c.run("10 10 0 0 1 1");
    EXPECT_EQ(r.status, extra <= 3 ? 0 : 1) << extra;
    EXPECT_EQ(r.out, extra <= 3 ? "4 3\n" : "") << extra;
    EXPECT_EQ(r.err.rfind("Error reading from BIF (", 0),
              extra <= 3 ? r.err.npos : 0u);
  }
  EXPECT_EQ(c.run("10 10 0 0 1").err, "Missing/extra parameter.\n");
  EXPECT_EQ(c.run("10 10 0 x 1 1").err, "Illegal parameter.\n");
  // A number beyond int is refused, not wrapped (4294967301 would read 5).
  EXPECT_EQ(c.run("10 10 0 4294967301 1 1").err, "Illegal parameter.\n");
  testsupport::write_file(c.bif, one);
  EXPECT_EQ(c.run("10 10 0 4abc 1 1").out, "4 3\n");
  c.bif = c.dir.path();  // opens, but cannot be read
  EXPECT_EQ(c.run("10 10 0 0 1 1").err.rfind("Error reading from BIF (", 0),
            0u);
  c.bif = c.dir.file("missing.bif");
  auto r = c.run("10 10 0 0 1 1");
  EXPECT_EQ(r.err.rfind("Error opening BIF (", 0), 0u) << r.err;
  EXPECT_EQ(r.status, 1);
}

// The result line is the whole answer: when it cannot be written, the run
// says so and fails, whether a point was found or not.
TEST(Celdon, LostResultLineFails) {
  Celdon c;
  testsupport::write_bif(c.bif, {{3, 4, 1}});
  using Runner = testsupport::RunResult (*)(const std::string &,
                                            const std::vector<std::string> &);
  const struct {
    Runner run;
    const char *text;
  } outputs[] = {
      {testsupport::run_program_to_full_device, "No space left on device"},
      {testsupport::run_program_with_output_closed, "Bad file descriptor"},
      {testsupport::run_program_without_reader, "Broken pipe"},
  };
  for (const auto &output : outputs) {
    for (const char *forward : {"1", "0"}) {  // "4 3", then "NotFound"
      auto r =
          output.run("celdon", {c.bif, "10", "10", "0", "0", forward, "1"});
      EXPECT_EQ(r.status, 1) << output.text << " signal " << r.signal;
      EXPECT_EQ(r.err, std::string("Error writing to standard output (") +
                           output.text + ").\n");
    }
  }
}

}  // namespace
