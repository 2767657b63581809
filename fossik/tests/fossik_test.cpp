#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "areatool_test.h"
#include "testsupport.h"

using areatool::FailureCase;
using testsupport::read_file;
using testsupport::RunResult;
using testsupport::write_band16;
using testsupport::write_band8;
using testsupport::write_file;

namespace {

// The scene of write_scene with component 1.
class Fossik : public ::testing::Test {
 protected:
  void SetUp() override { areatool::write_scene(dir); }

  // Arguments over the whole image; `changes` replace arguments by
  // position (1-based, as on the command line).
  std::vector<std::string> args(const std::string &areas,
                                std::map<int, std::string> changes = {}) {
    std::vector<std::string> a = areatool::scene_arguments(dir, dir.file("p1"));
    a.insert(a.end(), {areas, match()});
    for (const auto &c : changes) a[c.first - 1] = c.second;
    return a;
  }
  std::string match() { return dir.file("out.match"); }
  RunResult run(const std::vector<std::string> &a) {
    return testsupport::run_program("fossik", a);
  }
  // Runs and expects success with nothing printed; the file's bytes.
  std::vector<int> bytes_of(const std::vector<std::string> &a) {
    RunResult r = run(a);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    std::vector<int> bytes;
    for (unsigned char c : read_file(match())) bytes.push_back(c);
    return bytes;
  }

  testsupport::TempDir dir;
};

// Eight rectangles that each hold every pixel, colours 0..7 in a chosen
// order, then `more`.
std::string all_colours(const std::string &more = "") {
  std::string s;
  for (int c : {3, 0, 7, 1, 6, 2, 5, 4})
    s += std::to_string(c) + ":1:0:255:2:0:255,";
  return more.empty() ? s.substr(0, s.size() - 1) : s + more;
}

TEST_F(Fossik, OneBitPerColourGroup) {
  struct Case {
    std::string areas;
    std::map<int, std::string> changes;
    std::vector<int> bytes;
  };
  const std::vector<Case> cases = {
      {"NO-AREAS", {}, std::vector<int>(12, 0)},
      // Colour 1: band 1 in 0..5; colour 3: band 2 in 20..30 and band 1 in
      // 5..9; colour 0: band 1 in 10..11 (bounds inclusive); colour 7: all.
      {"1:1:0:5:2:0:255,3:2:20:30:1:5:9,0:1:10:11:1:0:255,7:1:0:255:1:0:255",
       {},
       {130, 130, 130, 130, 130, 138, 136, 136, 136, 136, 129, 129}},
      // Two items of one colour: one bit wherever either holds the pixel.
      {"2:1:0:1:1:0:255,2:2:30:30:-1:100:110,2:1:0:255:2:0:9",
       {},
       {4, 4, 0, 0, 0, 0, 0, 0, 4, 4, 4, 0}},
      // The file covers the area only, first byte at (aRow, aCol).
      {"1:1:5:6:2:0:255,3:-1:106:109:2:20:30,0:1:9:9:1:0:255",
       {{7, "1"}, {8, "1"}, {9, "2"}, {10, "2"}},
       {2, 10, 9, 0}},
      {all_colours(), {{9, "1"}, {10, "2"}}, {255, 255}},
      // Colour numbers without a bit mark nothing.
      {"8:1:0:255:1:0:255,-1:1:0:255:1:0:255,1:1:0:0:1:0:0",
       {{9, "1"}},
       {2, 0, 0, 0}},
      {"NO-AREAS", {{9, "0"}}, {}},
      {"NO-AREAS", {{10, "0"}}, {}},
  };
  for (const Case &c : cases)
    EXPECT_EQ(bytes_of(args(c.areas, c.changes)), c.bytes) << c.areas;
}

TEST_F(Fossik, SixteenBitSamplesShiftedToBytes) {
  std::vector<uint16_t> wide(12), pc(12);
  for (int i = 0; i < 12; ++i) {
    wide[i] = static_cast<uint16_t>(4 * i * 20 + 3);  // bytes 0, 20, ... 220
    pc[i] = static_cast<uint16_t>(1023 - i);  // bytes 255 (4 times), 254, 253
  }
  write_band16(dir.file("b1"), wide);
  write_band16(dir.file("p1"), pc);
  EXPECT_EQ(
      bytes_of(args("0:1:40:100:-1:255:255,4:-1:254:254:1:0:255", {{4, "3"}})),
      std::vector<int>({0, 0, 1, 1, 16, 16, 16, 16, 0, 0, 0, 0}));
}

TEST_F(Fossik, Refusals) {
  std::vector<FailureCase> cases = areatool::count_cases(
      args("NO-AREAS"), "Missing/extra parameter.\n",
      "Missing/extra parameter.\n", "Missing/extra parameter.\n");
  for (int pos = 4; pos <= 10; ++pos)
    for (const char *bad : {"x", "", "-2147483649"})
      cases.push_back({args("NO-AREAS", {{pos, bad}}), "Illegal parameter.\n"});
  cases.push_back({args("NO-AREAS", {{9, "-1"}}), "Illegal parameter.\n"});
  cases.push_back({args("NO-AREAS", {{10, "-1"}}), "Illegal parameter.\n"});
  for (const char *areas :
       {"", "1:1:0:1:1:0:1,", "1:1:0:1:1:0:1,,2:1:0:1:1:0:1", "1:1:0:1:1:0",
        "A:1:0:1:1:0:1", "1:0:0:1:1:0:1", "1:1:0:1:-8:0:1", "1 :1:0:1:1:0:1"})
    cases.push_back({args(areas), "Illegal areas string.\n"});
  cases.push_back(
      {args(all_colours("8:1:0:0:1:0:0")), "Too many different colors.\n"});
  cases.push_back(
      {args(all_colours("-1:1:0:0:1:0:0,x")), "Too many different colors.\n"});
  // The opening messages are the shared front end's (see dramen's tests).
  cases.push_back({args("1:1:0:1:4:0:1"),
                   "Error opening image file - band does not exist."});
  cases.push_back({args("1:1:0:1:-1:0:1", {{3, "NO-PCI"}}),
                   "Error opening PCI file - component does not exist."});
  cases.push_back({args("1:1:0:1:1:0:1", {{9, "4"}}),
                   "Error reading from image file (No data available).\n"});
  cases.push_back({args("1:-1:0:1:1:0:1", {{3, dir.file("short")}}),
                   "Error reading from PCI file (No data available).\n"});
  cases.push_back({args("1:-1:0:1:1:0:1", {{12, dir.file("p1")}}),
                   "Error creating matching file (File exists).\n"});
  cases.push_back(
      {args("NO-AREAS", {{12, dir.file("no/dir")}}),
       "Error creating matching file (No such file or directory).\n"});
  write_band8(dir.file("short"), std::vector<uint8_t>(5, 1));
  // No file is written, and an earlier one stays as it was.
  areatool::expect_failures("fossik", cases, match(), nullptr);
  write_file(match(), "earlier");
  areatool::expect_failures("fossik", cases, match(), "earlier");
  EXPECT_EQ(read_file(dir.file("p1")).size(), 12u);
}

TEST_F(Fossik, RasterThatCannotBeHadAndFailedWrites) {
  RunResult r = run(args("NO-AREAS", {{9, "2147483647"}, {10, "2147483647"}}));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error allocating memory.");
  // The files are opened before the raster is obtained.
  r = run(args("1:1:0:1:3:0:1", {{9, "2147483647"}, {10, "2147483647"}}));
  EXPECT_EQ(r.err,
            "Error opening image file for band 3 (No such file or directory).");

  // A short file fails at its close, a long one at the write.
  r = run(args("NO-AREAS", {{12, "/dev/full"}}));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error closing matching file (No space left on device).\n");
  // Rasters past 2 MB sit on huge pages: one of 1500 x 1401 pixels whose
  // last row (of zeros) marks nothing.
  std::vector<uint8_t> band(1500 * 1401, 7);
  for (size_t i = 1500 * 1400; i < band.size(); ++i) band[i] = 0;
  write_band8(dir.file("b1"), band);
  const std::map<int, std::string> large = {
      {5, "1401"}, {6, "1500"}, {9, "1401"}, {10, "1500"}};
  std::map<int, std::string> full = large;
  full[12] = "/dev/full";
  r = run(args("1:1:7:7:1:0:9", full));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error writing matching file (No space left on device).\n");
  std::vector<int> expected(1500 * 1401, 2);
  std::fill(expected.begin() + 1500 * 1400, expected.end(), 0);
  EXPECT_EQ(bytes_of(args("1:1:7:7:1:0:9", large)), expected);
}

// Random areas strings: every run ends with 0 and a file of aRows x aCols
// bytes, or with 1 and a message; never a signal, a hang or a sanitizer
// report.
TEST_F(Fossik, RandomAreasStringsNeverCrash) {
  areatool::RandomAreas random(99, {"1", "2", "-1"});
  int written = 0, refused = 0;
  for (int round = 0; round < 60; ++round) {
    const std::string areas = random.next(false, 10);
    RunResult r = run(args(areas));
    if (!areatool::tally_end(r, areas, &written, &refused)) continue;
    EXPECT_EQ(read_file(match()).size(), 12u) << areas;
  }
  EXPECT_GT(written, 5);
  EXPECT_GT(refused, 5);
}

}  // namespace
