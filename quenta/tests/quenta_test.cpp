#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "quenta_fixture.h"
#include "testsupport.h"

namespace {

TEST_F(Quenta, ArgumentChecksInOrder) {
  write_band8(dir.file("b1"), std::vector<uint8_t>(4, 1));
  write_file(ts(), "");
  const std::string b1 = dir.file("b1"), none = dir.file("none");
  auto with = [&](std::map<int, std::string> changes) {
    std::vector<std::string> a = {b1,  "1", "TM", "2",  "2",  "0",
                                  "0", "2", "2",  ts(), cof()};
    for (auto &c : changes) a[c.first] = c.second;
    return a;
  };
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "Missing/extra parameter.\n"},
      {{b1, "1", "TM", "2", "2", "0", "0", "2", "2", ts()},
       "Missing/extra parameter.\n"},
      {with({{8, "-"}, {2, "tm"}}), "Illegal parameter.\n"},
      {with({{2, "TM "}, {1, "1,2"}}), "Unknown image type.\n"},
      {with({{1, ""}}), "Illegal image bands.\n"},
      {with({{1, "1 2 3 4 5 6 7 1"}}), "Illegal image bands.\n"},
      // GI stores bands 1 to 5 only; refused before the paths are counted.
      {with({{2, "GI"}, {1, "6"}}), "Illegal image bands.\n"},
      {with({{0, b1 + " " + b1}, {2, "GI"}, {1, "1 6"}}),
       "Illegal image bands.\n"},
      {with({{0, b1 + " " + b1}}), "Illegal image paths.\n"},
      {with({{0, none}, {9, none}}), prefix("Error opening image file", none) +
                                         "No such file or directory).\n"},
      {with({{9, none}, {10, none + "/x"}}),
       prefix("Error opening TS file", none) + "No such file or directory).\n"},
      {with({{10, none + "/x"}}),
       prefix("Error opening COF file", none + "/x") +
           "No such file or directory).\n"},
  };
  for (const auto &c : cases) {
    RunResult r = testsupport::run_program("quenta", c.first);
    EXPECT_EQ(r.status, 1) << c.second;
    EXPECT_EQ(r.err, c.second);
    EXPECT_EQ(r.out, "");
  }
  EXPECT_FALSE(testsupport::file_exists(cof()));

  // Text after a number's digits is ignored.
  RunResult r =
      testsupport::run_program("quenta", with({{3, "2x"}, {7, "2abc"}}));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(cof()), std::string(4, '\0'));
}

TEST_F(Quenta, TrainingSetFailuresLeaveAnEmptyCof) {
  write_band8(dir.file("b1"), std::vector<uint8_t>(8, 1));
  const std::string paths = dir.file("b1") + " " + dir.file("b1");
  const std::string illegal = "Illegal class in TS file \"" + ts() + "\".\n";
  const std::string reading = prefix("Error reading TS file", ts());
  for (const auto &c : std::vector<std::pair<std::string, std::string>>{
           {"1 10 20\n0 10 20\n", illegal},
           {"1 10 20\n28 10 20\n", illegal},
           {"1 10 20\n1 11 21\n2 30\n", reading + "No data available).\n"},
           {"1 10 20\n2 30 x1\n", reading + "Invalid argument).\n"}}) {
    write_file(cof(), "old contents");
    write_file(ts(), c.first);
    RunResult r = run(paths, "1 2", "TM", {2, 4, 0, 0, 2, 4});
    EXPECT_EQ(r.status, 1) << c.first;
    EXPECT_EQ(r.err.substr(0, c.second.size()), c.second) << c.first;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(testsupport::file_exists(cof()));
    EXPECT_EQ(read_file(cof()), "");
  }
}

TEST_F(Quenta, NoClassZeroRowsAndZeroColumns) {
  std::vector<uint8_t> band(30);
  for (int i = 0; i < 30; ++i) band[i] = static_cast<uint8_t>(i);
  write_band8(dir.file("b1"), band);
  const std::string b1 = dir.file("b1");
  // No class before the first token that is not a number.
  for (const char *text : {"", "  \n", "x 1 2\n", "class 1 2\n"}) {
    write_file(ts(), text);
    RunResult r = run(b1, "1", "TM", {5, 6, 1, 2, 3, 4});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, progress({33, 66, 100}));
    EXPECT_EQ(read_file(cof()), std::string(12, '\0'));
  }
  write_file(ts(), "1 3\n1 5\n2 20\n2 24\nend 7 7\n");
  RunResult r = run(b1, "1", "TM", {5, 6, 0, 0, 0, 6});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(testsupport::file_exists(cof()));
  EXPECT_EQ(read_file(cof()), "");

  r = run(b1, "1", "TM", {5, 6, 0, 0, 2, 0});
  EXPECT_EQ(r.status, 1);
  const std::string writing = prefix("Error writing COF file", cof());
  EXPECT_EQ(r.err.substr(0, writing.size()), writing);
  EXPECT_EQ(r.out, "");

  r = run(b1, "1", "TM", {5, 6, 0, 0, 2, -4});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error allocating memory.\n");
}

// The COF file's rows go out when it is closed: a close that fails is
// reported, never a success.
TEST_F(Quenta, CofCloseFailureIsReported) {
  write_band8(dir.file("b1"), {1, 2, 3, 4, 20, 21, 22, 23});
  write_file(ts(), "1 1\n1 3\n2 21\n2 23\n");
  RunResult r = testsupport::run_program(
      "quenta", {dir.file("b1"), "1", "TM", "2", "4", "0", "0", "2", "4", ts(),
                 "/dev/full"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "Error closing COF file \"/dev/full\" (No space left on "
            "device).\n");
  EXPECT_EQ(r.out, progress({50, 100}));
}

#if !defined(__SANITIZE_ADDRESS__)
// Rows that cannot be had end the run with the allocation message, never
// an abort, before any file is opened. The run gets a limited address
// space (the sanitizers' allocator aborts instead).
TEST_F(Quenta, MemoryOutOfReachIsReported) {
  write_band8(dir.file("b1"), {1, 2, 3, 4, 20, 21, 22, 23});
  write_file(ts(), "1 1\n1 3\n2 21\n2 23\n");
  const std::string b1 = dir.file("b1");
  const RunResult r = testsupport::run_program_with_address_limit(
      "quenta",
      {b1 + " " + b1, "1 1", "TM", "2", "2147483647", "0", "0", "2",
       "2147483647", ts(), cof()},
      size_t{1} << 30);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error allocating memory.\n");
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(testsupport::file_exists(cof()));
}
#endif

TEST_F(Quenta, ShortBandFileKeepsTheRowsWritten) {
  write_band8(dir.file("b1"), {1, 2, 3, 4, 20, 21, 22, 23});
  write_file(ts(), "1 1\n1 3\n2 21\n2 23\n");
  RunResult r = run(dir.file("b1"), "1", "TM", {3, 4, 0, 0, 3, 4});
  EXPECT_EQ(r.status, 1);
  const std::string expected =
      prefix("Error reading image file", dir.file("b1"));
  EXPECT_EQ(r.err, expected + "No data available).\n");
  EXPECT_EQ(r.out, progress({33, 66}));
  EXPECT_EQ(read_file(cof()), std::string("\1\1\1\1\2\2\2\2", 8));
}

// An area at a row whose offset lies beyond the largest file size fails
// its first read: it never classifies the first bytes of the bands.
TEST_F(Quenta, AreaFarPastTheEndFailsItsFirstRead) {
  write_band8(dir.file("b1"), {1, 2, 3, 4, 20, 21, 22, 23});
  write_file(ts(), "1 1\n1 3\n2 21\n2 23\n");
  RunResult r =
      run(dir.file("b1"), "1", "TM", {3, 2147483647, 1000000, 0, 1, 4});
  EXPECT_EQ(r.status, 1);
  const std::string expected =
      prefix("Error reading image file", dir.file("b1"));
  EXPECT_TRUE(r.err == expected + "Invalid argument).\n" ||
              r.err == expected + "No data available).\n")
      << r.err;
  EXPECT_EQ(read_file(cof()), "");
}

// With a row length of 0 every image row starts at the file's start, so the
// command line can reach row 2147483647 and ask for the row after it, which
// no int addresses: that read fails with quenta's own error text.
TEST_F(Quenta, RowPastTheRangeOfIntFailsItsRead) {
  write_band8(dir.file("b1"), {1, 2, 3, 4, 20, 21, 22, 23});
  write_file(ts(), "1 1\n1 3\n2 21\n2 23\n");
  RunResult r = run(dir.file("b1"), "1", "TM", {3, 0, 2147483647, 0, 2, 4});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, prefix("Error reading image file", dir.file("b1")) +
                       "Value too large for defined data type).\n");
  EXPECT_EQ(r.out, progress({50}));
  EXPECT_EQ(read_file(cof()), std::string("\1\1\1\1", 4));
}

// The COF file may not replace an input: a path naming the training set or
// a band file (by any spelling) is refused and the input keeps its bytes.
TEST_F(Quenta, CofNamingAnInputIsRefused) {
  write_band8(dir.file("b1"), {1, 2, 3, 4, 20, 21, 22, 23});
  write_band8(dir.file("b2"), {1, 2, 3, 4, 20, 21, 22, 23});
  write_file(ts(), "1 1 1\n1 3 2\n2 21 20\n2 23 22\n");
  const std::string paths = dir.file("b1") + " " + dir.file("b2");
  for (const std::string &input : {ts(), dir.file("b2"), dir.path() + "/./b1",
                                   dir.path() + "//train.ts"}) {
    const std::string base = input.substr(input.rfind('/') + 1);
    const std::string before = read_file(dir.file(base));
    std::vector<std::string> args = {paths, "1 2", "TM", "2",  "4",  "0",
                                     "0",   "2",   "4",  ts(), input};
    RunResult r = testsupport::run_program("quenta", args);
    EXPECT_EQ(r.status, 1) << input;
    EXPECT_EQ(r.err,
              prefix("Error opening COF file", input) + "File exists).\n");
    EXPECT_EQ(read_file(dir.file(base)), before) << input;
  }
}

TEST_F(Quenta, EqualDiscriminantsGoToTheLowerClass) {
  write_file(ts(),
             "5 10 40\n5 14 44\n5 12 41\n2 10 40\n2 14 44\n2 12 41\n"
             "7 200 100\n7 204 103\n7 201 108\n");
  const std::string paths = write_bands({{11, 13, 200, 12}, {40, 44, 104, 42}});
  RunResult r = run(paths, "1 2", "TM", {1, 4, 0, 0, 1, 4});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, progress({100}));
  EXPECT_EQ(read_file(cof()), std::string("\2\2\7\2", 4));
}

// Every band count, 8 and 16 bits, an area offset in the image and wider
// than one run of pixels, with odd widths; band numbers in any order.
TEST_F(Quenta, ClassifiesEveryBandCountAndType) {
  std::mt19937 rng(2024);
  const int rows = 9, cols = 300;
  for (int m = 1; m <= 7; ++m) {
    const bool wide = m % 2 == 0;
    Centres centres;
    const int classes[5] = {1, 3, 4, 9, 27};
    for (int i = 0; i < 5; ++i)
      for (int b = 0; b < m; ++b)
        centres[classes[i]].push_back((20 + 45 * ((i + b) % 5)) *
                                      (wide ? 4 : 1));
    const Scene scene(rng, centres, rows * cols, wide ? 20 : 5);
    const std::string paths = write_bands(scene.bands, wide);
    write_file(ts(), scene.ts);
    const int aRow = 2, aCol = m, aRows = 7, aCols = 261 + 2 * m + m % 3;
    std::string bands;
    for (int b = m; b >= 1; --b) bands += std::to_string(b) + " ";
    RunResult r = run(paths, bands, wide ? "-AVHRR" : "MSS",
                      {rows, cols, aRow, aCol, aRows, aCols});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, progress({14, 28, 42, 57, 71, 85, 100}));
    std::string expected;
    for (int row = aRow; row < aRow + aRows; ++row)
      expected += scene.truth.substr(row * cols + aCol, aCols);
    EXPECT_EQ(read_file(cof()), expected) << m << " bands";
  }
}

// GI: band 1 is a full 16-bit plane, band 2 a reduced plane of one word per
// 4 x 4 block of the image; band 2 separates the classes.
TEST_F(Quenta, GiReducedPlane) {
  const int rows = 8, cols = 16;
  std::vector<uint16_t> b1(rows * cols), plane((rows / 4) * (cols / 4));
  for (int i = 0; i < rows * cols; ++i)
    b1[i] = static_cast<uint16_t>(500 + (i * 37) % 200);
  for (size_t w = 0; w < plane.size(); ++w) plane[w] = w % 3 == 0 ? 100 : 900;
  const std::string paths = write_bands({b1, plane}, true);
  write_file(ts(),
             "1 500 90\n1 700 110\n1 600 95\n1 650 105\n"
             "2 520 880\n2 690 920\n2 610 890\n2 640 910\n");
  RunResult r = run(paths, "1 2", "GI", {rows, cols, 1, 2, 6, 13});
  ASSERT_EQ(r.status, 0) << r.err;
  std::string expected;
  for (int row = 1; row < 7; ++row)
    for (int col = 2; col < 15; ++col)
      expected += plane[(row / 4) * (cols / 4) + col / 4] == 100 ? '\1' : '\2';
  EXPECT_EQ(read_file(cof()), expected);
}

TEST_F(Quenta, AllBandsDegenerate) {
  write_band8(dir.file("b1"), std::vector<uint8_t>(8, 1));
  const std::string paths = dir.file("b1") + " " + dir.file("b1");
  // A class of one sample is constant in every band.
  for (const char *text : {"1 10 20\n1 12 24\n2 30 40\n",
                           "1 10 20\n1 10 24\n2 30 40\n2 31 40\n"}) {
    write_file(ts(), text);
    RunResult r = run(paths, "1 2", "TM", {2, 4, 0, 0, 2, 4});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "All bands are degenerate.\n"
              "Maximum Likelihood classification is not possible.\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(read_file(cof()), "");
  }
}

// A class whose covariance has no inverse (fewer samples than bands plus
// one) takes part but wins no pixel, not even at its own mean.
TEST_F(Quenta, ClassWithoutInverseWinsNoPixel) {
  write_file(ts(),
             "1 100 100 100\n1 120 90 110\n1 90 115 95\n1 110 105 120\n"
             "1 95 98 87\n2 40 60 80\n2 44 58 86\n2 42 59 83\n");
  const std::string paths =
      write_bands({{42, 100, 200, 42}, {59, 100, 10, 60}, {83, 100, 30, 80}});
  RunResult r = run(paths, "1 2 3", "TM", {1, 4, 0, 0, 1, 4});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(cof()), std::string("\1\1\1\1", 4));
}

}  // namespace
