#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "testsupport.h"
#include "tooltest.h"

using namespace testsupport;

namespace {

// The ten arguments of a run over a whole image of rows x cols.
std::vector<std::string> whole(const std::string &paths,
                               const std::string &bands, int type, int rows,
                               int cols, const std::string &pci) {
  const std::string r = std::to_string(rows), c = std::to_string(cols);
  return {paths, bands, std::to_string(type), r, c, "0", "0", r, c, pci};
}

void expect_failure(const std::vector<std::string> &args,
                    const std::string &message) {
  RunResult r = run_program("tendor", args);
  EXPECT_EQ(r.status, 1) << message;
  EXPECT_EQ(r.err, message);
}

std::vector<int> samples_of(const std::string &path, int bytes) {
  const std::string data = read_file(path);
  std::vector<int> values;
  for (size_t k = 0; k + bytes <= data.size(); k += bytes)
    values.push_back(
        static_cast<unsigned char>(data[k]) |
        (bytes == 2 ? static_cast<unsigned char>(data[k + 1]) << 8 : 0));
  return values;
}

// A component must be the linear stretch of `source` onto 0..top, rising or
// falling (an eigenvector's sign is free), each pixel within one truncation
// step, with both ends of the scale reached exactly.
void expect_stretch_of(const std::vector<int> &component,
                       const std::vector<int> &source, int top) {
  ASSERT_EQ(component.size(), source.size());
  const auto lo = std::min_element(source.begin(), source.end());
  const int low = *lo, high = *std::max_element(source.begin(), source.end());
  const bool rising = component[lo - source.begin()] <= top / 2;
  for (size_t k = 0; k < source.size(); ++k) {
    const int s = rising ? source[k] - low : high - source[k];
    EXPECT_NEAR(component[k], 1.0 * s * top / (high - low), 1.0)
        << "pixel " << k;
  }
  EXPECT_EQ(*std::min_element(component.begin(), component.end()), 0);
  EXPECT_EQ(*std::max_element(component.begin(), component.end()), top);
}

// Three bands of 4 rows x 11 columns: a wide ramp across the columns, a
// small ramp down the rows (uncorrelated with it) and a constant.
std::string three_bands(const TempDir &dir, bool wide, std::vector<int> &across,
                        std::vector<int> &down) {
  std::vector<uint16_t> bands[3];
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 11; ++x) {
      across.push_back(5 + (wide ? 90 : 20) * x);
      down.push_back(3 * y);
      for (int i = 0; i < 3; ++i)
        bands[i].push_back(i == 0 ? across.back() : i == 1 ? down.back() : 7);
    }
  std::string paths;
  for (int i = 0; i < 3; ++i) {
    const std::string path = dir.file("band" + std::to_string(i + 1));
    if (wide)
      write_band16(path, bands[i]);
    else
      write_band8(path, std::vector<uint8_t>(bands[i].begin(), bands[i].end()));
    paths += path + " ";
  }
  return paths;
}

TEST(Tendor, ArgumentChecksInOrder) {
  RunResult r = run_program("tendor", {});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "Usage: tendor \"<iPaths>\" \"<iBands>\" <iType>\n"
            "               <iRows> <iCols> <aRow> <aCol>\n"
            "               <aRows> <aCols> \"<pciPaths>\"\n");
  std::vector<std::string> args = whole("a", "1,2", 1, 4, 4, "p");
  expect_failure(std::vector<std::string>(args.begin(), args.end() - 1),
                 "Missing/extra parameter.\n");
  args.push_back("x");
  expect_failure(args, "Missing/extra parameter.\n");
  // Numbers are scanned before the lists are looked at. Beyond the int
  // range or an empty area: refused.
  for (int k = 2; k <= 8; ++k)
    for (const char *bad : {"x", "", "99999999999"}) {
      args = whole("a", "1,2", 1, 4, 4, "p");
      args[k] = bad;
      expect_failure(args, "Illegal parameter.\n");
    }
  expect_failure(whole("a", "1", 1, 0, 4, ""), "Illegal parameter.\n");
  expect_failure(whole("a", "1", 1, 4, -1, ""), "Illegal parameter.\n");

  const std::string too_long(256, 'p');
  expect_failure(whole("a b", "1,2", 1, 4, 4, ""), "Illegal image bands.\n");
  expect_failure(whole("a b c d e f g h", "1 2 3 4 5 6 7 1", 1, 4, 4, ""),
                 "Illegal image bands.\n");
  expect_failure(whole("a b", "1 2 3", 1, 4, 4, ""), "Illegal image paths.\n");
  // A GI image stores bands 1 to 5 only: any other band number is refused
  // with the band list, before the paths are counted.
  for (const char *bands : {"1 6", "7", "0 2", "-1"})
    expect_failure(whole("a", bands, 4, 4, 4, ""), "Illegal image bands.\n");
  expect_failure(whole("a b c", "1 2 3", 1, 4, 4, "p q r s"),
                 "Illegal PCI paths.\n");
  expect_failure(whole("a b c", "1 2 3", 1, 4, 4, too_long),
                 "Illegal PCI paths.\n");
}

TEST(Tendor, FileFailuresNameTheirPath) {
  TempDir dir;
  std::vector<int> across, down;
  const std::string paths = three_bands(dir, false, across, down);
  const std::string p1 = dir.file("p1"), bad = dir.file("no/p2"),
                    p3 = dir.file("p3");
  expect_failure(whole(paths + dir.file("none"), "1 2 3 4", 1, 4, 11, p1),
                 "Error opening image file \"" + dir.file("none") +
                     "\" (No such file or directory).\n");
  EXPECT_FALSE(file_exists(p1));
  // PCI files are created in list order before the first pass.
  expect_failure(
      whole(paths, "1 2 3", 1, 4, 11, p1 + " " + bad + " " + p3),
      "Error opening PCI file \"" + bad + "\" (No such file or directory).\n");
  EXPECT_TRUE(file_exists(p1));
  EXPECT_EQ(read_file(p1), "");
  EXPECT_FALSE(file_exists(p3));

  // Pass 1 reads band 1 whole, then meets the end of the shorter band 2.
  write_band8(dir.file("short"), std::vector<uint8_t>(33, 1));
  RunResult r = run_program(
      "tendor",
      whole(dir.file("band1") + " " + dir.file("short"), "1 2", 1, 4, 11, p3));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error reading image file \"" + dir.file("short") +
                       "\" (No data available).\n");
  EXPECT_EQ(r.out, "1%\n");
  EXPECT_TRUE(file_exists(p3));
  EXPECT_EQ(read_file(p3), "");

  // An area that starts at the largest row or column runs past the file.
  for (int k : {5, 6}) {
    std::vector<std::string> args = whole(dir.file("band1"), "1", 1, 4, 11, p3);
    args[k] = "2147483647";
    args[k + 2] = "2";
    r = run_program("tendor", args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(
        r.err.rfind("Error reading image file \"" + dir.file("band1") + "\" (",
                    0),
        0u)
        << r.err;
    EXPECT_EQ(read_file(p3), "");
    args[2] = "7";  // a type that reads nothing never fails a read
    EXPECT_EQ(run_program("tendor", args).status, 0);
  }

  write_band8(dir.file("big"), std::vector<uint8_t>(64 * 256, 1));
  expect_failure(
      whole(dir.file("big"), "1", 1, 64, 256, "/dev/full"),
      "Error writing PCI file \"/dev/full\" (No space left on device).\n");
  expect_failure(
      whole(paths, "1 2 3", 1, 4, 11, "/dev/full"),
      "Error closing PCI file \"/dev/full\" (No space left on device).\n");
}

// Areas no file can hold fail at their first read: far past the largest
// file size (never a PCI file made from the first bytes of the band), and
// as wide as an int allows, holding no more than the one row the first read
// needs, and that row untouched.
TEST(Tendor, ImpossibleAreasFailAtTheFirstRead) {
  TempDir dir;
  write_band8(dir.file("b1"), std::vector<uint8_t>(44, 9));
  write_band8(dir.file("b2"), std::vector<uint8_t>(44, 3));
  const std::string paths = dir.file("b1") + " " + dir.file("b2");
  const std::string reading =
      "Error reading image file \"" + dir.file("b1") + "\" (";
  struct Case {
    std::vector<std::string> area;  // iCols aRow aCol aRows aCols
    std::vector<std::string> errors;
  } cases[] = {
      {{"2147483647", "1000000", "0", "2", "4"},
       {reading + "Invalid argument).\n", reading + "No data available).\n"}},
      {{"11", "0", "0", "4", "2147483647"},
       {reading + "No data available).\n", "Error allocating memory.\n"}},
  };
  for (const Case &c : cases) {
    std::vector<std::string> args = {paths, "1 2", "1", "4"};
    args.insert(args.end(), c.area.begin(), c.area.end());
    args.push_back(dir.file("p1"));
    RunResult r = run_program("tendor", args);
    EXPECT_EQ(r.status, 1) << c.area[4];
    EXPECT_TRUE(r.err == c.errors[0] || r.err == c.errors[1]) << r.err;
    EXPECT_EQ(read_file(dir.file("p1")), "");
  }
  // The row alone would hold 4 GB once filled. The sanitizers mark the
  // shadow of the rows they hand out (an eighth of their size), so a row
  // of 4 GB costs them 512 MB; every row and work buffer of both bands
  // held at the first read cost them 2 GB.
  EXPECT_LT(testsupport::peak_of_runs_kb(), 1024 * 1024);
}

#if !defined(__SANITIZE_ADDRESS__)
// Memory that cannot be had ends the run with the allocation message, never
// an abort: the row of the means before any file is opened, and the work
// rows of the later passes once the means are known. The runs get a
// limited address space (the sanitizers' allocator aborts instead).
TEST(Tendor, MemoryOutOfReachIsReported) {
  TempDir dir;
  const int wide = 10000000;  // a row of 20 MB, work rows of 80 MB
  write_band8(dir.file("b1"), std::vector<uint8_t>(wide, 9));
  const std::string p1 = dir.file("p1");
  auto limited_run = [](const std::vector<std::string> &args) {
    return run_program_with_address_limit("tendor", args, size_t{160} << 20);
  };
  RunResult r = limited_run(whole(dir.file("b1"), "1", 1, 1, 2147483647, p1));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error allocating memory.\n");
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(file_exists(p1));

  r = limited_run(whole(dir.file("b1"), "1", 1, 1, wide, p1));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error allocating memory.\n");
  EXPECT_EQ(r.out, "3%\n");
  EXPECT_TRUE(file_exists(p1));
  EXPECT_EQ(read_file(p1), "");
}
#endif

// A PCI path naming one of the bands (by any spelling) is refused before
// that band is emptied; the PCI files before it are created.
TEST(Tendor, PciFileNamingABandIsRefused) {
  TempDir dir;
  std::vector<int> across, down;
  const std::string paths = three_bands(dir, false, across, down);
  const std::string p1 = dir.file("p1");
  for (const std::string &band : {dir.file("band2"), dir.path() + "/./band3"}) {
    const std::string before =
        read_file(dir.file(band.substr(band.rfind('/') + 1)));
    expect_failure(whole(paths, "1 2 3", 1, 4, 11, p1 + " " + band),
                   "Error opening PCI file \"" + band + "\" (File exists).\n");
    EXPECT_EQ(read_file(dir.file(band.substr(band.rfind('/') + 1))), before);
    EXPECT_TRUE(file_exists(p1));
  }
}

TEST(Tendor, EightBitComponentsLargestVarianceFirst) {
  TempDir dir;
  std::vector<int> across, down;
  const std::string paths = three_bands(dir, false, across, down);
  const std::string p1 = dir.file("p1"), p2 = dir.file("p2");
  RunResult r =
      run_program("tendor", whole(paths, "1 2 3", 1, 4, 11, p1 + " " + p2));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "1%\n2%\n3%\n11%\n19%\n27%\n35%\n42%\n50%\n57%\n65%\n73%\n82%\n91%"
            "\n100%\n");
  expect_stretch_of(samples_of(p1, 1), across, 255);
  expect_stretch_of(samples_of(p2, 1), down, 255);

  // Rows 1..2, columns 3..6 of a band that is not linear in either.
  std::vector<uint8_t> band;
  std::vector<int> area;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 11; ++x) {
      band.push_back(static_cast<uint8_t>(x * x + 7 * y * y));
      if (y >= 1 && y <= 2 && x >= 3 && x <= 6) area.push_back(band.back());
    }
  write_band8(dir.file("curved"), band);
  r = run_program("tendor", {dir.file("curved"), "1", "1", "4", "11", "1", "3",
                             "2", "4", p1});
  ASSERT_EQ(r.status, 0) << r.err;
  expect_stretch_of(samples_of(p1, 1), area, 255);
}

TEST(Tendor, SixteenBitComponentsLowByteFirst) {
  TempDir dir;
  std::vector<int> across, down;
  const std::string paths = three_bands(dir, true, across, down);
  RunResult r =
      run_program("tendor", whole(paths, "1 2 3", 3, 4, 11, dir.file("p1")));
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string bytes = read_file(dir.file("p1"));
  ASSERT_EQ(bytes.size(), 88u);
  expect_stretch_of(samples_of(dir.file("p1"), 2), across, 1023);
  EXPECT_EQ(bytes.substr(bytes[0] == 0 ? 20 : 0, 2),
            "\xFF\x03");  // 1023 in a corner
}

TEST(Tendor, ConstantComponentsAndBandsThatReadNothingGiveZeros) {
  TempDir dir;
  write_band8(dir.file("a"), std::vector<uint8_t>(12, 9));
  write_band8(dir.file("b"), std::vector<uint8_t>(12, 3));
  const std::string p1 = dir.file("p1"), p2 = dir.file("p2");
  // Every band constant: a zero covariance matrix, no range anywhere.
  ASSERT_EQ(run_program("tendor", whole(dir.file("a") + " " + dir.file("b"),
                                        "1 2", 2, 3, 4, p1 + " " + p2))
                .status,
            0);
  EXPECT_EQ(read_file(p1), std::string(12, '\0'));
  EXPECT_EQ(read_file(p2), std::string(12, '\0'));

  // GI has no bands 6 and 7: refused before any file is opened or made.
  std::vector<int> across, down;
  const std::string paths = three_bands(dir, true, across, down);
  const std::string p3 = dir.file("p3");
  expect_failure(whole(paths, "1 6 7", 4, 4, 11, p3), "Illegal image bands.\n");
  EXPECT_FALSE(file_exists(p3));

  // A type code without a layout, or no PCI path: every pass runs.
  for (const std::string &pci : {p1 + " " + p2, std::string()}) {
    RunResult r = run_program("tendor", whole(paths, "1 2 3", 7, 4, 11, pci));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.substr(r.out.size() - 5), "100%\n");
  }
  EXPECT_EQ(read_file(p1), "");
  EXPECT_EQ(read_file(p2), "");
}

// Two bands of 2 x 2 pixels whose first component can be worked out by
// hand. Band 1 holds 0 1 / 7 8 (mean 4), band 2 is 5 throughout (mean 5),
// so the covariance matrix is [[12.5, 0], [0, 0]] and the first eigenvector
// is (1, 0) or (-1, 0) (the solver's is off by about 1e-6, which moves no
// value below across an integer). The component is y = +-(s - 4) = -+4,
// -+3, +-3, +-4, of range 8, and its stretch t = (y - min) / 8 is 0, 1/8,
// 7/8, 1 where it rises (1, 7/8, 1/8, 0 where it falls):
//   8 bits:  255 t = 0, 31.875, 223.125, 255  -> 0, 31, 223, 255
//   10 bits: 1023 t = 0, 127.875, 895.125, 1023 -> 0, 127, 895, 1023
// falling: 255, 223, 31, 0 and 1023, 895, 127, 0. Truncation, not rounding:
// either way one of 31.875 and 223.125 would round differently.
TEST(Tendor, ComponentBytesWorkedByHand) {
  TempDir dir;
  const std::string p1 = dir.file("p1");
  const struct {
    int type;
    std::string rising, falling;
  } cases[] = {
      {1, std::string("\x00\x1F\xDF\xFF", 4),
       std::string("\xFF\xDF\x1F\x00", 4)},
      {3, std::string("\x00\x00\x7F\x00\x7F\x03\xFF\x03", 8),
       std::string("\xFF\x03\x7F\x03\x7F\x00\x00\x00", 8)},
  };
  for (const auto &c : cases) {
    if (c.type == 1) {
      write_band8(dir.file("b1"), {0, 1, 7, 8});
      write_band8(dir.file("b2"), {5, 5, 5, 5});
    } else {
      write_band16(dir.file("b1"), {0, 1, 7, 8});
      write_band16(dir.file("b2"), {5, 5, 5, 5});
    }
    RunResult r = run_program(
        "tendor",
        whole(dir.file("b1") + " " + dir.file("b2"), "1 2", c.type, 2, 2, p1));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string bytes = read_file(p1);
    EXPECT_TRUE(bytes == c.rising || bytes == c.falling)
        << c.type << ": " << testing::PrintToString(bytes);
  }
}

// A reader of the progress lines that is gone does not end the run: it
// finishes with status 0 and the same PCI files as a run that is read.
TEST(Tendor, RunWithoutAReaderWritesItsWholeResult) {
  TempDir dir;
  std::vector<int> across, down;
  const std::string paths = three_bands(dir, false, across, down);
  const std::string p1 = dir.file("p1"), p2 = dir.file("p2");
  const std::vector<std::string> args =
      whole(paths, "1 2 3", 1, 4, 11, p1 + " " + p2);
  testsupport::expect_same_result_without_reader("tendor", args, {p1, p2});
  EXPECT_EQ(read_file(p1).size(), 44u);
}

}  // namespace
