#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "areatool_test.h"

using testsupport::read_file;
using testsupport::RunResult;
using testsupport::write_band8;
using testsupport::write_file;

namespace {

class Fossik : public areatool::AreaTool {
 protected:
  Fossik() : AreaTool("fossik", 1) {}
  std::vector<std::string> plain(const std::map<int, std::string> &changes) {
    return args({"NO-AREAS"}, changes);
  }
};

std::string bytes(const std::vector<int> &values) {
  return std::string(values.begin(), values.end());
}

// Eight rectangles that each hold every pixel, colours 0..7 in a chosen
// order, then `more`.
std::string all_colours(const std::string &more) {
  std::string s;
  for (int c : {3, 0, 7, 1, 6, 2, 5, 4})
    s += std::to_string(c) + ":1:0:255:2:0:255,";
  return s + more;
}

TEST_F(Fossik, OneBitPerColourGroup) {
  const std::pair<std::map<int, std::string>, std::vector<int>> cases[] = {
      {{}, std::vector<int>(12, 0)},
      // Colour 1: band 1 in 0..5; colour 3: band 2 in 20..30 and band 1 in
      // 5..9; colour 0: band 1 in 10..11 (bounds inclusive); colour 7: all.
      {{{11,
         "1:1:0:5:2:0:255,3:2:20:30:1:5:9,0:1:10:11:1:0:255,7:1:0:255:1:0:"
         "255"}},
       {130, 130, 130, 130, 130, 138, 136, 136, 136, 136, 129, 129}},
      // Items of one colour: one bit wherever any holds the pixel.
      {{{11, "2:1:0:1:1:0:255,2:2:30:30:-1:100:110,2:1:0:255:2:0:9"}},
       {4, 4, 0, 0, 0, 0, 0, 0, 4, 4, 4, 0}},
      // The file covers the area only, first byte at (aRow, aCol).
      {{{11, "1:1:5:6:2:0:255,3:-1:106:109:2:20:30,0:1:9:9:1:0:255"},
        {7, "1"},
        {8, "1"},
        {9, "2"},
        {10, "2"}},
       {2, 10, 9, 0}},
      {{{11, all_colours("0:1:0:0:1:0:0")}, {9, "1"}, {10, "2"}}, {255, 255}},
      // Colour numbers without a bit mark nothing.
      {{{11, "8:1:0:255:1:0:255,-1:1:0:255:1:0:255,1:1:0:0:1:0:0"}, {9, "1"}},
       {2, 0, 0, 0}},
      {{{9, "0"}}, {}},
      {{{10, "0"}}, {}},
  };
  for (const auto &c : cases)
    EXPECT_EQ(output_of(plain(c.first)), bytes(c.second)) << c.first.size();
}

TEST_F(Fossik, Refusals) {
  const std::string miss = "Missing/extra parameter.\n";
  std::vector<testsupport::Failure> cases =
      testsupport::count_failures(plain({}), miss, miss, miss);
  const std::vector<testsupport::Failure> more = {
      {plain({{10, "-2147483649"}}), "Illegal parameter.\n"},
      {plain({{9, "-1"}}), "Illegal parameter.\n"},
      {plain({{10, "-1"}}), "Illegal parameter.\n"},
      {plain({{11, "1:1:0:1:1:0:1,"}}), "Illegal areas string.\n"},
      {plain({{11, all_colours("8:1:0:0:1:0:0")}}),
       "Too many different colors.\n"},
      // Files are opened before the raster is had.
      {plain({{11, "1:1:0:1:3:0:1"}, {9, "2147483647"}, {10, "2147483647"}}),
       "Error opening image file for band 3 (No such file or directory)."},
      {plain({{11, "1:-1:0:1:1:0:1"}, {12, dir.file("p1")}}),
       "Error creating matching file (File exists).\n"},
      {plain({{12, dir.file("no/dir")}}),
       "Error creating matching file (No such file or directory).\n"},
      {plain({{12, "/dev/full"}}),
       "Error closing matching file (No space left on device).\n"},
  };
  cases.insert(cases.end(), more.begin(), more.end());
  // An image type that names no layout would mark an area of zeros as if
  // it had been read; it is refused before any file is opened (band 3 has
  // none).
  for (const char *type : {"0", "5", "-5", "2147483647", "-2147483648"}) {
    cases.push_back({plain({{4, type}}), "Illegal parameter.\n"});
    cases.push_back(
        {plain({{4, type}, {11, "1:1:0:1:3:0:1"}}), "Illegal parameter.\n"});
  }
  // No file is written, and an earlier one stays as it was.
  expect_failures(cases, nullptr);
  write_file(out(), "earlier");
  expect_failures(cases, "earlier");
  EXPECT_EQ(read_file(dir.file("p1")).size(), 12u);
}

// A raster that cannot be had. The sanitizers' allocator is asked to report
// it as the system's does, by a null result, and warns on a line of its own
// first.
TEST_F(Fossik, RasterThatCannotBeHad) {
  const char *old = getenv("ASAN_OPTIONS");
  const std::string saved = old ? old : "";
  setenv("ASAN_OPTIONS", "allocator_may_return_null=1", 1);
  testsupport::RunResult r =
      run(plain({{9, "2147483647"}, {10, "2147483647"}}));
  if (old)
    setenv("ASAN_OPTIONS", saved.c_str(), 1);
  else
    unsetenv("ASAN_OPTIONS");
  const std::string warning = "WARNING: AddressSanitizer failed to allocate";
  if (r.err.rfind("==", 0) == 0 && r.err.find(warning) != std::string::npos)
    r.err.erase(0, r.err.find('\n') + 1);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error allocating memory.");
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(testsupport::file_exists(out()));
}

// The matching file may not replace any listed file, read or not, by its
// own path or through a hard or a symbolic link. The check comes where the
// check of the files read comes, after the last row: a failed read is
// reported first.
TEST_F(Fossik, ListedFilesAreNeverReplaced) {
  const std::string b1 = dir.file("b1"), b2 = dir.file("b2");
  const std::string p1 = dir.file("p1");
  ASSERT_EQ(link(b2.c_str(), dir.file("hard").c_str()), 0);
  ASSERT_EQ(symlink(p1.c_str(), dir.file("soft").c_str()), 0);
  const std::string exists = "Error creating matching file (File exists).\n";
  std::vector<testsupport::Failure> cases;
  for (const std::string &path :
       {b1, b2, dir.file("hard"), p1, dir.file("soft")}) {
    // NO-AREAS reads no file at all; the rectangle reads band 1 only.
    cases.push_back({plain({{12, path}}), exists});
    cases.push_back({plain({{11, "1:1:0:1:1:0:1"}, {12, path}}), exists});
  }
  cases.push_back({plain({{11, "1:1:0:1:1:0:1"}, {9, "4"}, {12, b2}}),
                   "Error reading from image file (No data available).\n"});
  const std::string before[] = {read_file(b1), read_file(b2), read_file(p1)};
  write_file(out(), "earlier");
  expect_failures(cases, "earlier");
  EXPECT_EQ(read_file(b1), before[0]);
  EXPECT_EQ(read_file(b2), before[1]);
  EXPECT_EQ(read_file(p1), before[2]);
  EXPECT_EQ(before[1].size(), 12u);
}

// Every word of the PCI list names a file the matching file may not
// replace, also in a list that no set could hold whole (a word too long for
// a slot or for any path, thousands of words), when no component is used.
TEST_F(Fossik, EveryWordOfTheListsIsAnInput) {
  write_band8(dir.file("p2"), std::vector<uint8_t>(12, 9));
  const std::string exists = "Error creating matching file (File exists).\n";
  std::vector<testsupport::Failure> cases;
  for (const auto &[list, path] : lists_naming_components())
    for (const char *areas : {"NO-AREAS", "1:1:0:5:2:0:255"})
      cases.push_back({plain({{3, list}, {11, areas}, {12, path}}), exists});
  expect_failures_keeping_components(cases, "earlier");
}

// A GI image stores bands 1 to 5: band codes 6 and 7 name nothing there,
// nor component codes -6 and -7 of an image of GI components (type -4).
// They are refused before any file is opened (band 6 names the missing file
// of band 3).
TEST_F(Fossik, PlanesThatGiDoesNotStoreAreRefused) {
  std::vector<testsupport::Failure> cases;
  for (const char *areas : {"1:6:0:1:1:0:1", "1:1:0:1:2:0:1,2:1:0:1:7:0:1",
                            "1:1:0:1:6:0:1,9:1:0:1:1:0:1"})
    cases.push_back({plain({{2, "1 2 6"}, {4, "4"}, {11, areas}}),
                     "Illegal areas string.\n"});
  cases.push_back({plain({{2, "1 2 6"}, {4, "-4"}, {11, "1:-7:0:1:1:0:1"}}),
                   "Illegal areas string.\n"});
  cases.push_back({plain({{2, "1 2 6"}, {11, "1:6:0:1:1:0:1"}}),
                   "Error opening image file for band 6 "
                   "(No such file or directory)."});
  expect_failures(cases, nullptr);
  // Band 6 of an image of GI components is a full plane.
  EXPECT_EQ(output_of(plain({{2, "6 2 3"},
                             {4, "-4"},
                             {11, "1:6:64:64:6:0:255,2:6:192:192:6:0:255"},
                             {9, "1"},
                             {10, "2"}})),
            bytes({2, 4}));
}

// An area of no columns reads nothing: its empty file is written at once,
// however many rows it has, and its rows end as the rows of no columns
// always have (a row past the largest int is refused). The run is allowed
// a few seconds of processor time, where reading every row took minutes.
TEST_F(Fossik, AreaOfNoColumnsEndsAtOnce) {
  const std::map<int, std::string> empty = {{9, "2147483647"}, {10, "0"}};
  auto with = [&](std::map<int, std::string> changes) {
    changes.insert(empty.begin(), empty.end());
    return plain(changes);
  };
  for (const char *areas : {"NO-AREAS", "1:1:0:9:-1:0:255,3:2:0:0:2:0:0"}) {
    write_file(out(), "earlier");
    const RunResult r = run_limited(with({{11, areas}}), 5);
    EXPECT_EQ(r.status, 0) << r.err << r.signal;
    EXPECT_EQ(r.out + r.err, "");
    EXPECT_EQ(read_file(out()), "");
  }
  const std::string image =
      "Error reading from image file (Invalid argument).\n";
  expect_cheap_failures(
      {{with({{7, "2147483000"}, {11, "1:1:0:9:1:0:9"}}), image},
       {with({{8, "-1"}, {11, "1:1:0:9:1:0:9"}}), image},
       {with({{7, "2147483000"}, {11, "1:-1:0:9:-1:0:9"}}),
        "Error reading from PCI file (Invalid argument).\n"}},
      "earlier");
}

#if !defined(__SANITIZE_ADDRESS__)
// With little address space (the sanitizers' allocator would abort instead
// of failing): a PCI list of thousands of words is checked without memory
// of its own, and a raster that cannot be had ends the run with its
// message, never an abort.
TEST_F(Fossik, LittleAddressSpace) {
  std::string many;
  for (int i = 0; i < 60000; ++i) many += "x ";
  const size_t space = size_t{16} << 20;
  RunResult r = run_limited(
      plain({{3, many + dir.file("p1")}, {11, "1:1:0:5:1:0:255"}}), 60, space);
  EXPECT_EQ(r.status, 0) << r.err << r.signal;
  EXPECT_EQ(read_file(out()), bytes({2, 2, 2, 2, 2, 2, 0, 0, 0, 0, 0, 0}));
  r = run_limited(plain({{3, many + dir.file("p1")}, {12, dir.file("p1")}}), 60,
                  space);
  EXPECT_EQ(r.status, 1) << r.signal;
  EXPECT_EQ(r.err, "Error creating matching file (File exists).\n");
  write_file(out(), "earlier");
  for (const char *rows : {"5", "5000"}) {
    r = run_limited(plain({{9, rows}, {10, "4000000"}}), 60, space);
    EXPECT_EQ(r.status, 1) << r.signal;
    EXPECT_EQ(r.err, "Error allocating memory.");
    EXPECT_EQ(read_file(out()), "earlier");
  }
}
#endif

// An area far wider than its files fails at its first read, without first
// filling gigabytes of raster and rows: the run never holds more than a
// little memory.
TEST_F(Fossik, ImpossibleWidthFailsAtTheFirstRead) {
  // The leak check that the sanitizers run at the exit reads every block
  // still held, the rows no read touched included, and so makes them
  // resident: these runs leave it out, as the rows are the point here.
  const areatool::SanitizerOption noLeakCheck("ASAN_OPTIONS", "detect_leaks=0");
  const std::map<int, std::string> wide = {{9, "1"}, {10, "2147483647"}};
  std::map<int, std::string> bands = wide, component = wide;
  bands[11] = "1:1:0:9:2:0:255";
  component[11] = "1:-1:0:9:-1:0:255";
  expect_failures(
      {{plain(bands), "Error reading from image file (No data available).\n"},
       {plain(component),
        "Error reading from PCI file (No data available).\n"}},
      nullptr);
  // A row filled with zeros would hold 2 GB; the sanitizers' shadow of the
  // rows left untouched stays far below the bound.
  EXPECT_LT(testsupport::peak_of_runs_kb(), 1536 * 1024);
}

// Rasters past 2 MB sit on huge pages: 1500 x 1401 pixels whose last row
// (of zeros) marks nothing; written whole, or failing at the write.
TEST_F(Fossik, LargeRasters) {
  std::vector<uint8_t> band(1500 * 1401, 7);
  std::fill(band.begin() + 1500 * 1400, band.end(), 0);
  write_band8(dir.file("b1"), band);
  std::map<int, std::string> large = {{11, "1:1:7:7:1:0:9"}};
  for (int pos : {5, 9}) large[pos] = "1401", large[pos + 1] = "1500";
  std::string expected(1500 * 1401, '\2');
  std::fill(expected.begin() + 1500 * 1400, expected.end(), '\0');
  EXPECT_EQ(output_of(plain(large)), expected);
  large[12] = "/dev/full";
  const testsupport::RunResult r = run(plain(large));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error writing matching file (No space left on device).\n");
}

// Random areas strings; a written file holds aRows x aCols bytes.
TEST_F(Fossik, RandomAreasStringsEndSoundly) {
  expect_sound_ends(
      areatool::RandomAreas(99, {"1", "2", "-1"}), false, 10, 150,
      [&](int, const std::string &areas) { return args({areas}); },
      [](const std::string &match, const std::string &areas) {
        EXPECT_EQ(match.size(), 12u) << areas;
      });
}

}  // namespace
