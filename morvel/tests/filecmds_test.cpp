// PointValue on every image type and on PCI files; ClearMatchingPoints
// clipping, clearing in place and its failures.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "shelltest.h"

namespace {

using testsupport::TempDir;

TEST(PointValue, ReadsOneSampleOfEachLayout) {
  TempDir dir;
  // 8 rows x 8 columns; the sample at (r, c) is 16 r + c (8-bit), or
  // 500 r + c + 3000 (16-bit, 4095 at (0, 0)).
  std::vector<uint8_t> bytes(64);
  std::vector<uint16_t> words(64);
  for (int i = 0; i < 64; ++i) {
    bytes[i] = static_cast<uint8_t>(16 * (i / 8) + i % 8);
    words[i] = static_cast<uint16_t>(500 * (i / 8) + i % 8 + 3000);
  }
  words[0] = 4095;
  // GI reduced planes of 8 x 8: band 2 holds 2 rows of 2 words, band 3
  // 1 row of 2 words.
  const std::vector<uint16_t> plane2 = {100, 101, 1000, 1001};
  const std::vector<uint16_t> plane3 = {300, 301};
  testsupport::write_band8(dir.file("b8"), bytes);
  testsupport::write_band16(dir.file("b16"), words);
  testsupport::write_band16(dir.file("p2"), plane2);
  testsupport::write_band16(dir.file("p3"), plane3);
  const struct {
    std::string args;  // after the path
    std::string file;
    std::string answer;
  } cases[] = {
      {"1 1 2 3 8 8 0", "b8", "0 35"},     // TM
      {"1 1 2 3 8 8 1", "b8", "0 35"},     // TM, shift changes nothing
      {"3 2 7 7 8 8 1", "b8", "0 119"},    // MSS
      {"2 3 0 0 8 8 1", "b16", "0 1023"},  // AVHRR, 4095 shifted
      {"2 3 0 0 8 8 0", "b16", "0 4095"},
      {"1 3 1 2 8 8 0", "b16", "0 3502"},
      {"1 4 1 2 8 8 0", "b16", "0 3502"},   // GI band 1: full resolution
      {"2 4 5 6 8 8 0", "p2", "0 1001"},    // GI band 2: rows / 4, cols / 4
      {"3 4 7 3 8 8 0", "p3", "0 300"},     // GI band 3: rows / 8
      {"-2 4 1 2 8 8 0", "b16", "0 3502"},  // "-GI": full resolution
      {"-2 4 1 2 8 8 1", "b16", "0 875"},
      {"-5 1 1 2 8 8 1", "b8", "0 18"},  // "-TM"
      {"-1 3 7 7 8 8 0", "b16", "0 6507"},
      {"2 -1 1 2 8 8 0", "b8", "0 18"},     // a "-" type given directly
      {"-2 -4 5 6 8 8 0", "p2", "0 1001"},  // negated twice: GI band 2
      {"1 1 8 0 8 8 0", "b8",
       "1 {Error reading from image file (No data available).}"},
      {"1 1 -1 0 8 8 0", "b8",
       "1 {Error reading from image file (Invalid argument).}"},
      {"1 1 0 0 8 8 0", "none",
       "1 {Error opening image file (No such file or directory).}"},
      {"1 1 0 x 8 8 0", "none", "1 {Illegal parameter.}"},
      {"1 1 0 0 8 8 99999999999", "none", "1 {Illegal parameter.}"},
      {"6 4 0 0 8 8 0", "b16", "1 {Illegal parameter.}"},  // GI reads no band 6
      {"1 5 0 0 8 8 0", "b8", "1 {Illegal parameter.}"},
      {"1 0 0 0 8 8 0", "b8", "1 {Illegal parameter.}"},
      {"1 -5 0 0 8 8 0", "b8", "1 {Illegal parameter.}"},
      {"-6 -4 0 0 8 8 0", "b16", "1 {Illegal parameter.}"},
      {"1 1 0 0 8 8", "b8", "1 {Missing/extra parameter.}"},
      {"1 1 0 0 8 8 0 0", "b8", "1 {Missing/extra parameter.}"},
  };
  std::string script, expected;
  for (const auto &c : cases) {
    script += shelltest::show("PointValue " + dir.file(c.file) + " " + c.args);
    expected += c.answer + "\n";
  }
  const auto r = shelltest::run_script(dir, script);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, expected);
}

// The matching points file of these tests covers image rows 100..119 and
// columns 50..79 (20 rows of 30 bytes), every byte 0xff at the start.
constexpr int kRow = 100, kCol = 50, kRows = 20, kCols = 30;

std::string full_raster() { return std::string(kRows * kCols, '\xff'); }

// The raster after clearing image rows y..y+rows-1, columns x..x+cols-1.
std::string cleared(int y, int x, int rows, int cols) {
  std::string bytes = full_raster();
  for (int r = 0; r < kRows; ++r)
    for (int c = 0; c < kCols; ++c)
      if (kRow + r >= y && kRow + r < y + rows && kCol + c >= x &&
          kCol + c < x + cols)
        bytes[r * kCols + c] = 0;
  return bytes;
}

TEST(ClearMatchingPoints, ClearsTheClippedRectangleInPlaceOrFails) {
  struct Case {
    std::string file;  // written before the command; "" for none
    std::string args;  // after the path, which the case's own file gives
                       // unless they start with one
    std::string answer;
    std::string after;  // the file afterwards
  };
  auto clip = [](int y, int x, int rows, int cols) {
    const std::string after = cleared(y, x, rows, cols);
    // A rectangle that clears nothing never opens the file: leave it out.
    return Case{after == full_raster() ? "" : full_raster(),
                "100 50 20 30 " + std::to_string(y) + " " + std::to_string(x) +
                    " " + std::to_string(rows) + " " + std::to_string(cols),
                "0 {}", after == full_raster() ? "" : after};
  };
  TempDir dir;
  // 10.5 rows: rows 0..9 are cleared, row 10 is short and left alone.
  const std::string shorter = full_raster().substr(0, 315);
  const std::string area = "100 50 20 30 ";
  const std::vector<Case> cases = {
      clip(90, 60, 20, 5),     // rows above the raster: file rows 0..9
      clip(115, 75, 10, 10),   // past the last row and column
      clip(105, 40, 3, 200),   // whole rows
      clip(0, 0, 1000, 1000),  // the whole raster
      clip(100, 50, 1, 1),     // the first byte
      clip(119, 79, 1, 1),     // the last byte
      clip(80, 50, 20, 30),    // just above the raster: nothing
      clip(120, 50, 5, 5),     // just below it
      clip(100, 80, 5, 5),     // just right of it
      clip(100, 20, 5, 30),    // just left of it
      clip(100, 50, 0, 5),     // no rows
      clip(100, 50, 5, -3),    // no columns
      {shorter, area + "100 50 20 30",
       "1 {Error reading matching points file (No data available).}",
       std::string(300, '\0') + shorter.substr(300)},
      {"", area + "100 50 1 1",
       "1 {Error opening matching points file (No such file or directory).}",
       ""},
      {"", dir.path() + " " + area + "100 50 1 1",
       "1 {Error opening matching points file (Is a directory).}", ""},
      {full_raster(), area + "100 50 1", "1 {Missing/extra parameter.}",
       full_raster()},
      {full_raster(), area + "100 50 1 1 1", "1 {Missing/extra parameter.}",
       full_raster()},
      {full_raster(), area + "100 5x0 1 1", "0 {}",
       cleared(100, 5, 1, 1)},  // "5x0" reads as 5
      {full_raster(), area + "100 x 1 1", "1 {Illegal parameter.}",
       full_raster()},
  };
  std::string script, expected;
  for (size_t k = 0; k < cases.size(); ++k) {
    const std::string path = dir.file("m" + std::to_string(k));
    if (!cases[k].file.empty()) testsupport::write_file(path, cases[k].file);
    const std::string &args = cases[k].args;
    script += shelltest::show("ClearMatchingPoints " +
                              (args[0] == '/' ? args : path + " " + args));
    expected += cases[k].answer + "\n";
  }
  const auto r = shelltest::run_script(dir, script);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, expected);
  for (size_t k = 0; k < cases.size(); ++k)
    EXPECT_EQ(testsupport::read_file(dir.file("m" + std::to_string(k))),
              cases[k].after)
        << cases[k].args;
}

// A raster past 4 GiB: the offsets of its last rows need 64 bits.
TEST(ClearMatchingPoints, ReachesRowsPastFourGigabytes) {
  TempDir dir;
  const std::string path = dir.file("big");
  const int64_t cols = 100000, rows = 50000;  // 5e9 bytes, sparse
  const int64_t at = (rows - 1) * cols + 7;
  const int fd = open(path.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, rows * cols), 0);
  const char mark[3] = {'\x55', '\x66', '\x77'};
  ASSERT_EQ(pwrite(fd, mark, 3, at - 1), 3);
  close(fd);
  const auto r = shelltest::run_script(
      dir, shelltest::show("ClearMatchingPoints " + path +
                           " 0 0 50000 100000 " + "49999 7 1 1"));
  EXPECT_EQ(r.out, "0 {}\n") << r.err;
  const int in = open(path.c_str(), O_RDONLY);
  char back[3] = {};
  ASSERT_EQ(pread(in, back, 3, at - 1), 3);
  close(in);
  EXPECT_EQ(std::string(back, 3), std::string("\x55\0\x77", 3));
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, rows * cols);
}

}  // namespace
