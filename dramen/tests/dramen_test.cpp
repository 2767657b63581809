#include <gtest/gtest.h>
#include <unistd.h>

#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "areatool_test.h"

using testsupport::read_file;
using testsupport::RunResult;
using testsupport::write_band16;
using testsupport::write_band8;
using testsupport::write_file;

namespace {

class Dramen : public areatool::AreaTool {
 protected:
  Dramen() : AreaTool("dramen", 2) {}
  // Plot bands 1 and 2, no areas; `changes` by position.
  std::vector<std::string> plain(
      const std::map<int, std::string> &changes = {}) {
    return args({"1", "2", "NO-AREAS"}, changes);
  }
};

TEST_F(Dramen, PlotFiles) {
  const std::pair<std::map<int, std::string>, const char *> cases[] = {
      // Groups newest first. A: band 1 in 0..3 and 10..11; B: band 2 in
      // 10..20 with band 1 in 5..9.
      {{{13, "A:1:0:3:2:0:255,B:2:10:20:1:5:9,A:1:10:11:1:0:255"}},
       "2 B A\n1 1 1\n0 10 1 0 1\n1 10 1 0 1\n2 10 1 0 1\n3 10 1 0 1\n"
       "4 20 1 0 0\n5 20 1 1 0\n6 20 1 1 0\n7 20 1 1 0\n"
       "8 30 1 0 0\n9 30 1 0 0\n10 30 1 0 1\n11 30 1 0 1\n"},
      // Overlapping rectangles count a pixel once; bounds are inclusive.
      {{{11, "2"},
        {13,
         "#00ff00000000:2:10:20:1:0:255,lo:2:10:10:1:0:11,"
         "#00ff00000000:1:0:5:2:0:30"}},
       "2 lo #00ff00000000\n4 4 4\n10 10 4 4 4\n20 20 4 0 4\n30 30 4 0 0\n"},
      {{{11, "-1"}, {9, "1"}, {10, "3"}, {7, "1"}},
       "0\n1\n104 20 1\n105 20 1\n106 20 1\n"},
      {{{9, "0"}}, "0\n0\n"},
      {{{9, "-3"}}, "0\n0\n"},
      {{{10, "0"}, {13, "A:1:0:255:1:0:255,B:1:0:0:1:0:0"}}, "2 B A\n0 0 0\n"},
      // Text after a number's digits is ignored.
      {{{11, "1x"}, {12, "2 "}, {9, "1abc"}, {10, " 1"}}, "0\n1\n0 10 1\n"},
  };
  for (const auto &c : cases) EXPECT_EQ(output_of(plain(c.first)), c.second);
}

TEST_F(Dramen, SixteenBitPlanesShiftedToBytes) {
  // GI: band 1 and component 2 are 16-bit rasters; components are read with
  // the negated type.
  std::vector<uint16_t> band1(12), pc2(12);
  for (int i = 0; i < 12; ++i) {
    band1[i] = static_cast<uint16_t>(4 * i + 3);
    pc2[i] = static_cast<uint16_t>(1020 - 4 * i);
  }
  write_band16(dir.file("b1"), band1);
  write_band16(dir.file("p2"), pc2);
  EXPECT_EQ(output_of(args({"1", "-2", "g:-2:254:255:1:0:255"},
                           {{4, "4"}, {9, "1"}, {10, "3"}})),
            "1 g\n1 1\n0 255 1 1\n1 254 1 1\n2 253 1 0\n");
}

TEST_F(Dramen, Refusals) {
  const std::string b1 = dir.file("b1"), b2 = dir.file("b2");
  const std::string none = " (No such file or directory)";
  std::vector<testsupport::Failure> cases = testsupport::count_failures(
      plain(), "Missing/extra parameter [1].\n",
      "Missing/extra parameter [14].\n", "Missing/extra parameter [16].\n");
  for (int pos = 4; pos <= 12; ++pos)
    for (const char *bad : {"x", "", "2147483648"})
      cases.push_back({plain({{pos, bad}}), "Illegal parameter.\n"});
  for (const char *code : {"0", "8", "-8"})
    for (int pos : {11, 12})
      cases.push_back({plain({{pos, code}}), "Illegal parameter.\n"});
  // An image type that names no layout would count an area of zeros as if
  // it had been read; it is refused before any file is opened (band 3 has
  // none).
  for (const char *type : {"0", "5", "-5", "2147483647", "-2147483648"}) {
    cases.push_back({plain({{4, type}}), "Illegal parameter.\n"});
    cases.push_back({plain({{4, type}, {12, "3"}}), "Illegal parameter.\n"});
    cases.push_back({plain({{4, type}, {11, "-1"}}), "Illegal parameter.\n"});
  }
  for (const char *areas : {"", "A:9:0:1:1:0:1", "NO-AREAS,"})
    cases.push_back({plain({{13, areas}}),
                     "Illegal areas string (" + std::string(areas) + ").\n"});
  const std::vector<testsupport::Failure> more = {
      {plain({{12, "4"}}), "Error opening image file - band does not exist."},
      {plain({{13, "A:1:0:1:5:0:1"}}),
       "Error opening image file - band does not exist."},
      {plain({{2, "1 2"}}), "Error opening image files - illegal parameter."},
      {plain({{12, "3"}}), "Error opening image file for band 3" + none + "."},
      {plain({{13, "A:-3:0:1:1:0:1"}}),
       "Error opening PCI file - component does not exist."},
      {plain({{12, "-1"}, {3, "NO-PCI"}}),
       "Error opening PCI file - component does not exist."},
      {plain({{12, "-2"}, {3, dir.file("p1") + " " + dir.file("none")}}),
       "Error opening PCI file for component 2" + none + "."},
      {plain({{10, "-1"}}), "Error allocating memory."},
      {plain({{9, "4"}}),
       "Error reading from image file (No data available).\n"},
      {plain({{7, "-1"}}),
       "Error reading from image file (Invalid argument).\n"},
      {plain({{11, "-1"}, {3, dir.file("short")}}),
       "Error reading from PCI file (No data available).\n"},
      // The plot file may not replace an input.
      {plain({{14, b2}}), "Error creating plot file (File exists).\n"},
      {plain({{14, dir.file("no/dir")}}),
       "Error creating plot file" + none + ".\n"},
  };
  cases.insert(cases.end(), more.begin(), more.end());
  write_file(out(), "earlier plot");
  write_band8(dir.file("short"), std::vector<uint8_t>(11, 1));
  expect_failures(cases, "earlier plot");
  EXPECT_EQ(read_file(b2), std::string("\12\12\12\12\24\24\24\24\36\36\36\36"));

  // A short plot file fails at its close, a long one at a write.
  std::vector<uint8_t> ramp(256 * 64), steps(256 * 64);
  for (size_t i = 0; i < ramp.size(); ++i) {
    ramp[i] = static_cast<uint8_t>(i);
    steps[i] = static_cast<uint8_t>(i / 256);
  }
  write_band8(b1, ramp);
  write_band8(b2, steps);
  expect_failures(
      {{plain({{14, "/dev/full"}}),
        "Error closing plot file (No space left on device).\n"},
       {plain(
            {{5, "64"}, {6, "256"}, {9, "64"}, {10, "256"}, {14, "/dev/full"}}),
        "Error writing plot file (No space left on device).\n"}},
      "earlier plot");
}

// The plot file may not replace any listed file, read or not, by its own
// path or through a hard or a symbolic link. The check comes where the check
// of the files read comes, after the last row: a failed read is reported
// first.
TEST_F(Dramen, ListedFilesAreNeverReplaced) {
  const std::string b1 = dir.file("b1"), b2 = dir.file("b2");
  const std::string p1 = dir.file("p1"), p2 = dir.file("p2");
  ASSERT_EQ(link(b2.c_str(), dir.file("hard").c_str()), 0);
  ASSERT_EQ(symlink(p2.c_str(), dir.file("soft").c_str()), 0);
  // Band 1 against itself: band 2 and the components stay unread.
  auto bandOne = [&](std::map<int, std::string> changes) {
    return args({"1", "1", "NO-AREAS"}, changes);
  };
  const std::string exists = "Error creating plot file (File exists).\n";
  std::vector<testsupport::Failure> cases;
  for (const std::string &path :
       {b1, b2, dir.file("hard"), p1, p2, dir.file("soft")}) {
    cases.push_back({bandOne({{14, path}}), exists});
    cases.push_back({plain({{13, "A:-1:0:255:1:0:255"}, {14, path}}), exists});
  }
  cases.push_back({bandOne({{9, "4"}, {14, b2}}),
                   "Error reading from image file (No data available).\n"});
  cases.push_back({bandOne({{12, "3"}, {14, p2}}),
                   "Error opening image file for band 3 "
                   "(No such file or directory)."});
  const std::string before[] = {read_file(b1), read_file(b2), read_file(p1),
                                read_file(p2)};
  write_file(out(), "earlier plot");
  expect_failures(cases, "earlier plot");
  EXPECT_EQ(read_file(b1), before[0]);
  EXPECT_EQ(read_file(b2), before[1]);
  EXPECT_EQ(read_file(p1), before[2]);
  EXPECT_EQ(read_file(p2), before[3]);
  EXPECT_EQ(before[1].size(), 12u);
  EXPECT_EQ(before[3].size(), 12u);
}

// Every word of the PCI list names a file the plot file may not replace,
// also in a list that no set could hold whole (a word too long for a slot
// or for any path, thousands of words), when no component is used.
TEST_F(Dramen, EveryWordOfTheListsIsAnInput) {
  const std::string exists = "Error creating plot file (File exists).\n";
  std::vector<testsupport::Failure> cases;
  for (const auto &[list, path] : lists_naming_components())
    cases.push_back({plain({{3, list}, {14, path}}), exists});
  // A used component still needs a list the set can hold.
  cases.push_back({plain({{3, dir.file("p1") + " " + std::string(256, 'a')},
                          {11, "-1"},
                          {14, dir.file("p2")}}),
                   "Error opening PCI file - component does not exist."});
  expect_failures_keeping_components(cases, "earlier plot");
}

// A GI image stores bands 1 to 5: band codes 6 and 7 name nothing there,
// nor component codes -6 and -7 of an image of GI components (type -4,
// whose components are read as GI). They are refused before any file is
// opened (band 6 names the missing file of band 3), in the plot bands and
// in the areas string alike.
TEST_F(Dramen, PlanesThatGiDoesNotStoreAreRefused) {
  const std::map<int, std::string> gi = {{2, "1 2 6"}, {4, "4"}};
  auto with = [&](std::map<int, std::string> changes) {
    changes.insert(gi.begin(), gi.end());
    return plain(changes);
  };
  std::vector<testsupport::Failure> cases;
  for (const char *code : {"6", "7"})
    for (int pos : {11, 12})
      cases.push_back({with({{pos, code}}), "Illegal parameter.\n"});
  for (const char *code : {"-6", "-7"})
    cases.push_back({with({{4, "-4"}, {11, code}}), "Illegal parameter.\n"});
  for (const char *areas : {"A:6:0:1:1:0:1", "A:1:0:1:2:0:1,B:1:0:1:7:0:1"})
    cases.push_back({with({{13, areas}}),
                     "Illegal areas string (" + std::string(areas) + ").\n"});
  cases.push_back({with({{4, "-4"}, {13, "A:-7:0:1:1:0:1"}}),
                   "Illegal areas string (A:-7:0:1:1:0:1).\n"});
  // The same band read as a plane that other layouts store: the open fails.
  cases.push_back({with({{4, "1"}, {12, "6"}}),
                   "Error opening image file for band 6 "
                   "(No such file or directory)."});
  expect_failures(cases, nullptr);
  // Components 6 and 7 of a GI image are full planes, as every band of an
  // image of GI components.
  const std::string p = dir.file("p1") + " ";
  EXPECT_EQ(output_of(plain({{3, p + p + p + p + p + dir.file("p2")},
                             {4, "4"},
                             {11, "-6"},
                             {13, "A:-6:0:255:2:0:255"},
                             {9, "1"},
                             {10, "2"}})),
            "1 A\n1 1\n113 130 1 1\n242 130 1 1\n");
  EXPECT_EQ(output_of(plain({{4, "-4"},
                             {2, "6 7 2"},
                             {12, "6"},
                             {11, "7"},
                             {9, "1"},
                             {10, "2"}})),
            "0\n1\n130 64 1\n130 192 1\n");
}

// An area of no columns reads nothing: its plot file is written at once,
// however many rows it has, and its rows end as the rows of no columns
// always have (a row past the largest int is refused). The run is allowed
// a few seconds of processor time, where reading every row took minutes.
TEST_F(Dramen, AreaOfNoColumnsEndsAtOnce) {
  const std::map<int, std::string> empty = {{9, "2147483647"}, {10, "0"}};
  auto with = [&](std::map<int, std::string> changes) {
    changes.insert(empty.begin(), empty.end());
    return changes;
  };
  const std::pair<std::vector<std::string>, std::string> written[] = {
      {plain(empty), "0\n0\n"},
      {args({"1", "1", "B:1:0:0:2:0:0,A:2:0:255:-1:0:255"}, empty),
       "2 A B\n0 0 0\n"},
      {args({"-1", "-2", "NO-AREAS"}, with({{4, "4"}})), "0\n0\n"},
  };
  for (const auto &c : written) {
    const RunResult r = run_limited(c.first, 5);
    EXPECT_EQ(r.status, 0) << r.err << r.signal;
    EXPECT_EQ(r.out + r.err, "");
    EXPECT_EQ(read_file(out()), c.second);
  }
  const std::string invalid =
      "Error reading from image file (Invalid argument).\n";
  expect_cheap_failures(
      {{plain(with({{7, "2147483000"}})), invalid},
       {plain(with({{7, "-1"}})), invalid},
       {plain(with({{8, "-1"}})), invalid},
       {args({"-1", "-1", "NO-AREAS"}, with({{7, "2147483000"}})),
        "Error reading from PCI file (Invalid argument).\n"}},
      "earlier plot");
}

#if !defined(__SANITIZE_ADDRESS__)
// With little address space (the sanitizers' allocator would abort instead
// of failing): a PCI list of thousands of words is checked without memory
// of its own, and memory that cannot be had ends the run with its message,
// never an abort: the counts of a group, the row buffers.
TEST_F(Dramen, LittleAddressSpace) {
  std::string many;
  for (int i = 0; i < 60000; ++i) many += "x ";
  std::string groups;
  for (int g = 0; g < 40; ++g)
    groups += (g ? ",g" : "g") + std::to_string(g) + ":1:0:1:2:0:1";
  const size_t space = size_t{16} << 20;
  RunResult r = run_limited(plain({{3, many + dir.file("p1")}}), 60, space);
  EXPECT_EQ(r.status, 0) << r.err << r.signal;
  EXPECT_EQ(read_file(out()).substr(0, 4), "0\n1\n");
  r = run_limited(plain({{3, many + dir.file("p1")}, {14, dir.file("p1")}}), 60,
                  space);
  EXPECT_EQ(r.status, 1) << r.signal;
  EXPECT_EQ(r.err, "Error creating plot file (File exists).\n");
  write_file(out(), "earlier plot");
  const std::pair<std::vector<std::string>, std::string> refused[] = {
      {plain({{13, groups}}), "Error allocating memory.\n"},
      {plain({{9, "1"}, {10, "2147483647"}}), "Error allocating memory."},
  };
  for (const auto &c : refused) {
    r = run_limited(c.first, 60, space);
    EXPECT_EQ(r.status, 1) << r.signal;
    EXPECT_EQ(r.err, c.second);
    EXPECT_EQ(read_file(out()), "earlier plot");
  }
}
#endif

// An area far wider than its files fails at its first read, without first
// filling gigabytes of rows: the run never holds more than a little memory.
TEST_F(Dramen, ImpossibleWidthFailsAtTheFirstRead) {
  // The leak check that the sanitizers run at the exit reads every block
  // still held, the rows no read touched included, and so makes them
  // resident: these runs leave it out, as the rows are the point here.
  const areatool::SanitizerOption noLeakCheck("ASAN_OPTIONS", "detect_leaks=0");
  const std::map<int, std::string> wide = {{9, "1"}, {10, "2147483647"}};
  expect_failures(
      {{plain(wide), "Error reading from image file (No data available).\n"},
       // A group tested pixel by pixel needs two scratch rows as well.
       {args({"1", "1", "A:1:0:9:2:0:255"}, wide),
        "Error reading from image file (No data available).\n"},
       {args({"-1", "-1", "NO-AREAS"}, wide),
        "Error reading from PCI file (No data available).\n"}},
      nullptr);
  // A row filled with zeros would hold 2 GB; the sanitizers' shadow of the
  // rows left untouched stays far below the bound.
  EXPECT_LT(testsupport::peak_of_runs_kb(), 1536 * 1024);
}

// Groups that test only the plot bands are counted from the value pairs,
// others pixel by pixel. Band 3 copies band 1, so both ways must agree.
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
  const std::map<int, std::string> size = {
      {5, "12"}, {6, "40"}, {9, "12"}, {10, "40"}};
  for (int round = 0; round < 20; ++round) {
    std::string plain, copied;
    for (int i = 0, items = 1 + gen() % 5; i < items; ++i) {
      const char name = static_cast<char>('a' + gen() % 3);
      std::string p(1, name), c(1, name);
      for (int t = 0; t < 2; ++t) {
        // Bounds near the values of the band tested.
        const int code = 1 + gen() % 2;
        const int lo = (code == 1 ? -2 : 247) + static_cast<int>(gen() % 14);
        const std::string b = ":" + std::to_string(lo) + ":" +
                              std::to_string(lo + static_cast<int>(gen() % 7));
        p += ":" + std::to_string(code) + b;
        c += (code == 1 ? ":3" : ":2") + b;
      }
      plain += (i ? "," : "") + p;
      copied += (i ? "," : "") + c;
    }
    for (const char *plot : {"12", "21", "11"}) {
      const std::string p1(1, plot[0]), p2(1, plot[1]);
      const std::string expected = output_of(args({p1, p2, plain}, size));
      EXPECT_EQ(output_of(args({p1, p2, copied}, size)), expected) << plain;
      EXPECT_GT(expected.size(), 4u);
    }
  }
}

// Random areas strings; a plot file's lines hold as many numbers as its
// header says.
TEST_F(Dramen, RandomAreasStringsEndSoundly) {
  expect_sound_ends(
      areatool::RandomAreas(2024, {"1", "2", "-1", "-2"}), true, 4, 60,
      [&](int round, const std::string &areas) {
        return args({std::to_string(round % 2 + 1), "-1", areas});
      },
      [](const std::string &plot, const std::string &areas) {
        std::istringstream text(plot);
        std::string line;
        std::getline(text, line);
        const int groups = std::stoi(line);  // names may be empty
        for (int n = 1; std::getline(text, line); ++n) {
          std::istringstream words(line);
          const auto count =
              std::distance(std::istream_iterator<std::string>(words), {});
          EXPECT_EQ(count, (n == 1 ? 1 : 3) + groups) << areas;
        }
      });
}

}  // namespace
