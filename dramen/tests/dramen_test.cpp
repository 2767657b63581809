#include <gtest/gtest.h>

#include <iterator>
#include <map>
#include <random>
#include <sstream>
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

// The scene of write_scene with both components.
class Dramen : public ::testing::Test {
 protected:
  void SetUp() override { areatool::write_scene(dir); }

  // Arguments over the whole image; `changes` replace arguments by
  // position (1-based, as on the command line).
  std::vector<std::string> args(const std::string &plot1,
                                const std::string &plot2,
                                const std::string &areas,
                                std::map<int, std::string> changes = {}) {
    std::vector<std::string> a =
        areatool::scene_arguments(dir, dir.file("p1") + " " + dir.file("p2"));
    a.insert(a.end(), {plot1, plot2, areas, plot()});
    for (const auto &c : changes) a[c.first - 1] = c.second;
    return a;
  }
  std::string plot() { return dir.file("out.plot"); }
  RunResult run(const std::vector<std::string> &a) {
    return testsupport::run_program("dramen", a);
  }
  // Runs and expects success with nothing printed; the plot file.
  std::string plot_of(const std::vector<std::string> &a) {
    RunResult r = run(a);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    return read_file(plot());
  }

  testsupport::TempDir dir;
};

TEST_F(Dramen, GroupsNewestFirstWithTheirCountsAndMaxima) {
  // A takes band 1 in 0..3 and 10..11, B band 2 in 10..20 with band 1 in
  // 5..9. The pixel of band 1 = 4 lies in neither; 8 and 9 have band 2 = 30.
  EXPECT_EQ(plot_of(args("1", "2",
                         "A:1:0:3:2:0:255,B:2:10:20:1:5:9,A:1:10:11:1:0:255")),
            "2 B A\n1 1 1\n"
            "0 10 1 0 1\n1 10 1 0 1\n2 10 1 0 1\n3 10 1 0 1\n"
            "4 20 1 0 0\n5 20 1 1 0\n6 20 1 1 0\n7 20 1 1 0\n"
            "8 30 1 0 0\n9 30 1 0 0\n10 30 1 0 1\n11 30 1 0 1\n");
}

TEST_F(Dramen, CountsAndMaximaPerCell) {
  // Band 2 against itself: three cells of four pixels. Group "#00ff00000000"
  // holds two overlapping rectangles (each pixel counts once), "lo" the
  // exact bounds 10..10 of band 2 and the whole of band 1 (inclusive).
  EXPECT_EQ(
      plot_of(args("2", "2",
                   "#00ff00000000:2:10:20:1:0:255,lo:2:10:10:1:0:11,"
                   "#00ff00000000:1:0:5:2:0:30")),
      "2 lo #00ff00000000\n4 4 4\n10 10 4 4 4\n20 20 4 0 4\n30 30 4 0 0\n");
  // A component against a band: every pixel its own cell.
  EXPECT_EQ(
      plot_of(args("-1", "2", "NO-AREAS", {{9, "1"}, {10, "3"}, {7, "1"}})),
      "0\n1\n104 20 1\n105 20 1\n106 20 1\n");
}

TEST_F(Dramen, EmptyAreasAndNoGroups) {
  EXPECT_EQ(plot_of(args("1", "2", "NO-AREAS", {{9, "0"}})), "0\n0\n");
  EXPECT_EQ(
      plot_of(args("1", "2", "A:1:0:255:1:0:255,B:1:0:0:1:0:0", {{10, "0"}})),
      "2 B A\n0 0 0\n");
  // A negative row count reads no row.
  EXPECT_EQ(plot_of(args("1", "2", "NO-AREAS", {{9, "-3"}})), "0\n0\n");
}

TEST_F(Dramen, ComponentsAreReadWithTheNegatedType) {
  // GI bands 2..5 are reduced planes; component 2 of a GI image is a full
  // 16-bit raster. Samples are shifted right by 2.
  std::vector<uint16_t> band1(12), pc2(12);
  for (int i = 0; i < 12; ++i) {
    band1[i] = static_cast<uint16_t>(4 * i + 3);
    pc2[i] = static_cast<uint16_t>(1020 - 4 * i);
  }
  write_band16(dir.file("b1"), band1);
  write_band16(dir.file("p2"), pc2);
  EXPECT_EQ(plot_of(args("1", "-2", "g:-2:254:255:1:0:255",
                         {{4, "4"}, {9, "1"}, {10, "3"}})),
            "1 g\n1 1\n0 255 1 1\n1 254 1 1\n2 253 1 0\n");
}

TEST_F(Dramen, SixteenBitSamplesFillTheByteRange) {
  std::vector<uint16_t> wide(12);
  for (int i = 0; i < 12; ++i)
    wide[i] = static_cast<uint16_t>(i < 6 ? 1023 : 3);
  write_band16(dir.file("b1"), wide);
  EXPECT_EQ(plot_of(args("1", "1", "top:1:255:255:1:0:300", {{4, "3"}})),
            "1 top\n6 6\n0 0 6 0\n255 255 6 6\n");
}

TEST_F(Dramen, ArgumentChecks) {
  std::vector<FailureCase> cases = areatool::count_cases(
      args("1", "2", "NO-AREAS"), "Missing/extra parameter [1].\n",
      "Missing/extra parameter [14].\n", "Missing/extra parameter [16].\n");
  for (int pos = 4; pos <= 12; ++pos)
    for (const char *bad : {"x", "", "2147483648"})
      cases.push_back(
          {args("1", "2", "NO-AREAS", {{pos, bad}}), "Illegal parameter.\n"});
  // Plot bands that name no plane.
  for (const char *code : {"0", "8", "-8"}) {
    cases.push_back({args(code, "2", "NO-AREAS"), "Illegal parameter.\n"});
    cases.push_back({args("1", code, "NO-AREAS"), "Illegal parameter.\n"});
  }
  const std::string too_long = "abcdefghijklmnop:1:0:1:1:0:1";
  for (const std::string &areas :
       {std::string(), std::string("A:1:2:3:4:5"),
        std::string("A:1:0:1:1:0:1,"), too_long, std::string("A:1:0:1:0:0:1"),
        std::string("A:9:0:1:1:0:1"), std::string("A:1:0:1:1:0:99999999999"),
        std::string("NO-AREAS,")})
    cases.push_back(
        {args("1", "2", areas), "Illegal areas string (" + areas + ").\n"});
  write_file(plot(), "earlier plot");
  areatool::expect_failures("dramen", cases, plot(), "earlier plot");
  // Text after a number's digits is ignored.
  EXPECT_EQ(plot_of(args("1x", "2 ", "NO-AREAS", {{9, "1abc"}, {10, " 1"}})),
            "0\n1\n0 10 1\n");
}

TEST_F(Dramen, OpeningReadingAndWritingFailures) {
  const std::string b1 = dir.file("b1"), b2 = dir.file("b2");
  const std::vector<FailureCase> cases = {
      {args("1", "4", "NO-AREAS"),
       "Error opening image file - band does not exist."},
      {args("1", "2", "A:1:0:1:5:0:1"),
       "Error opening image file - band does not exist."},
      {args("1", "2", "NO-AREAS", {{2, "1 2"}}),
       "Error opening image files - illegal parameter."},
      {args("1", "2", "NO-AREAS", {{2, "1,2,3"}}),
       "Error opening image files - illegal parameter."},
      {args("1", "3", "NO-AREAS"),
       "Error opening image file for band 3 (No such file or directory)."},
      {args("1", "2", "A:-3:0:1:1:0:1"),
       "Error opening PCI file - component does not exist."},
      {args("1", "-1", "NO-AREAS", {{3, "NO-PCI"}}),
       "Error opening PCI file - component does not exist."},
      {args("1", "-2", "NO-AREAS",
            {{3, dir.file("p1") + " " + dir.file("none")}}),
       "Error opening PCI file for component 2 (No such file or directory)."},
      {args("1", "2", "NO-AREAS", {{10, "-1"}}), "Error allocating memory."},
      {args("1", "2", "NO-AREAS", {{9, "4"}}),
       "Error reading from image file (No data available).\n"},
      {args("1", "2", "NO-AREAS", {{7, "-1"}}),
       "Error reading from image file (Invalid argument).\n"},
      {args("-1", "2", "NO-AREAS", {{3, dir.file("short")}}),
       "Error reading from PCI file (No data available).\n"},
      // The plot file may not replace an input.
      {args("1", "2", "NO-AREAS", {{14, b2}}),
       "Error creating plot file (File exists).\n"},
      {args("1", "2", "NO-AREAS", {{14, dir.file("no/dir")}}),
       "Error creating plot file (No such file or directory).\n"},
  };
  write_file(plot(), "earlier plot");
  write_band8(dir.file("short"), std::vector<uint8_t>(11, 1));
  areatool::expect_failures("dramen", cases, plot(), "earlier plot");
  EXPECT_EQ(read_file(b2),
            std::string("\12\12\12\12\24\24\24\24\36\36\36\36", 12));

  // A short plot file fails at its close, a long one at a write.
  RunResult r = run(args("1", "2", "NO-AREAS", {{14, "/dev/full"}}));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error closing plot file (No space left on device).\n");
  std::vector<uint8_t> ramp(256 * 64), steps(256 * 64);
  for (size_t i = 0; i < ramp.size(); ++i) {
    ramp[i] = static_cast<uint8_t>(i);
    steps[i] = static_cast<uint8_t>(i / 256);
  }
  write_band8(b1, ramp);
  write_band8(b2, steps);
  r = run(
      args("1", "2", "NO-AREAS",
           {{5, "64"}, {6, "256"}, {9, "64"}, {10, "256"}, {14, "/dev/full"}}));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error writing plot file (No space left on device).\n");
}

// Groups whose rectangles test only the plot bands are counted from the
// value pairs; groups that test another plane pixel by pixel. Band 3 is a
// copy of band 1, so both ways must give the same file.
TEST_F(Dramen, CellAndPixelCountingAgree) {
  std::mt19937 gen(5);
  std::vector<uint8_t> b1(12 * 40), b2(12 * 40);
  for (size_t i = 0; i < b1.size(); ++i) {
    b1[i] = static_cast<uint8_t>(gen() % 12);
    b2[i] = static_cast<uint8_t>(250 + gen() % 6);
  }
  write_band8(dir.file("b1"), b1);
  write_band8(dir.file("b2"), b2);
  write_band8(dir.file("b3"), b1);
  const std::map<int, std::string> area = {
      {5, "12"}, {6, "40"}, {9, "12"}, {10, "40"}};
  for (int round = 0; round < 20; ++round) {
    std::string plain, copied;
    const int items = 1 + static_cast<int>(gen() % 5);
    for (int i = 0; i < items; ++i) {
      const std::string name =
          std::string(1, static_cast<char>('a' + gen() % 3));
      const int code1 = 1 + static_cast<int>(gen() % 2),
                code2 = 1 + static_cast<int>(gen() % 2);
      // Bounds near the values of the band tested: 0..11 for band 1,
      // 250..255 for band 2.
      auto bounds = [&gen](int code) {
        const int lo = (code == 1 ? -2 : 247) + static_cast<int>(gen() % 14);
        return std::to_string(lo) + ":" +
               std::to_string(lo + static_cast<int>(gen() % 7));
      };
      const std::string b1 = bounds(code1), b2 = bounds(code2);
      auto item = [&](int c1, int c2) {
        return name + ":" + std::to_string(c1) + ":" + b1 + ":" +
               std::to_string(c2) + ":" + b2;
      };
      plain += (i ? "," : "") + item(code1, code2);
      copied +=
          (i ? "," : "") + item(code1 == 1 ? 3 : code1, code2 == 1 ? 3 : code2);
    }
    for (const auto &plot : std::vector<std::pair<std::string, std::string>>{
             {"1", "2"}, {"2", "1"}, {"1", "1"}}) {
      const std::string expected =
          plot_of(args(plot.first, plot.second, plain, area));
      EXPECT_EQ(plot_of(args(plot.first, plot.second, copied, area)), expected)
          << plain;
      EXPECT_NE(expected.find('\n'), std::string::npos);
    }
  }
}

// Random areas strings: every run ends with 0 and a plot file whose lines
// hold as many numbers as the header says, or with 1 and a message; never
// a signal, a hang or a sanitizer report.
TEST_F(Dramen, RandomAreasStringsNeverCrash) {
  areatool::RandomAreas random(2024, {"1", "2", "-1", "-2"});
  int written = 0, refused = 0;
  for (int round = 0; round < 60; ++round) {
    const std::string areas = random.next(true, 4);
    RunResult r = run(args(std::to_string(round % 2 + 1), "-1", areas));
    if (!areatool::tally_end(r, areas, &written, &refused)) continue;
    std::istringstream text(read_file(plot()));
    std::string line;
    int groups = -1;
    for (int n = 0; std::getline(text, line); ++n) {
      std::istringstream words(line);
      const std::vector<std::string> numbers{
          std::istream_iterator<std::string>(words), {}};
      if (n == 0) {
        groups = std::stoi(line);  // names may be empty
      } else {
        EXPECT_EQ(static_cast<int>(numbers.size()), (n == 1 ? 1 : 3) + groups)
            << areas;
      }
    }
  }
  EXPECT_GT(written, 5);
  EXPECT_GT(refused, 5);
}

}  // namespace
