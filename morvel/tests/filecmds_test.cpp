// PointValue on every image type and on PCI files; ClearMatchingPoints
// clipping, clearing in place and its failures.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "shelltest.h"

namespace {

using shelltest::TempDir;

TEST(PointValue, ReadsOneSampleOfEachLayout) {
  TempDir dir;
  // 8 x 8 samples: 16 r + c (8-bit), or 500 r + c + 3000 (16-bit, 4095 at
  // (0, 0)); GI reduced planes: band 2 has 2 rows of 2 words, band 3 one.
  std::vector<uint8_t> bytes(64);
  std::vector<uint16_t> words(64);
  for (int i = 0; i < 64; ++i) {
    bytes[i] = uint8_t(16 * (i / 8) + i % 8);
    words[i] = uint16_t(i ? 500 * (i / 8) + i % 8 + 3000 : 4095);
  }
  testsupport::write_band8(dir.file("b8"), bytes);
  testsupport::write_band16(dir.file("b16"), words);
  testsupport::write_band16(dir.file("p2"), {100, 101, 1000, 1001});
  testsupport::write_band16(dir.file("p3"), {300, 301});
  const std::string bad = "1 {Illegal parameter.}";
  const struct {
    std::string file, args, answer;
  } cases[] = {
      {"b8", "1 1 2 3 8 8 1", "0 35"},     // TM: the shift changes nothing
      {"b8", "3 2 7 7 8 8 1", "0 119"},    // MSS
      {"b16", "2 3 0 0 8 8 1", "0 1023"},  // AVHRR, shifted
      {"p2", "2 4 5 6 8 8 0", "0 1001"},   // GI band 2: rows / 4, cols / 4
      {"p3", "3 4 7 3 8 8 0", "0 300"},    // GI band 3: rows / 8
      // components (a negative band) are read as the negated type: a GI
      // component at full resolution
      {"b16", "-2 4 1 2 8 8 0", "0 3502"},
      {"b16", "-2 4 1 2 8 8 1", "0 875"},
      {"b8", "2 -1 1 2 8 8 0", "0 18"},     // a negative type given directly
      {"p2", "-2 -4 5 6 8 8 0", "0 1001"},  // negated twice: GI band 2
      {"b8", "1 1 8 0 8 8 0",
       "1 {Error reading from image file (No data available).}"},
      {"b8", "1 1 -1 0 8 8 0",
       "1 {Error reading from image file (Invalid argument).}"},
      {"none", "1 1 0 0 8 8 0",
       "1 {Error opening image file (No such file or directory).}"},
      {"none", "1 1 0 x 8 8 0", bad},
      {"none", "1 1 0 0 8 8 99999999999", bad},
      {"b16", "6 4 0 0 8 8 0", bad},  // GI stores no band 6
      {"b8", "1 5 0 0 8 8 0", bad},
      {"b8", "1 1 0 0 8 8", "1 {Missing/extra parameter.}"},
      {"b8", "1 1 0 0 8 8 0 0", "1 {Missing/extra parameter.}"},
  };
  shelltest::Calls calls;
  for (const auto &c : cases)
    calls.push_back(
        {"PointValue " + dir.file(c.file) + " " + c.args, c.answer});
  shelltest::expect_calls(dir, "", calls);
}

// The matching points file covers image rows 100..119 and columns 50..79
// (20 rows of 30 bytes), every byte 0xff at the start.
TEST(ClearMatchingPoints, ClearsTheClippedRectangleInPlaceOrFails) {
  const struct {
    std::string rectangle, answer;
    int size;  // of the file before, in bytes; -1: no file
  } cases[] = {
      {"90 60 20 5", "0 {}", 600},    // rows above the raster: file rows 0..9
      {"115 75 10 10", "0 {}", 600},  // past the last row and column
      {"0 0 1000 1000", "0 {}", 600},
      {"100 50 1 1", "0 {}", 600},
      {"119 79 1 1", "0 {}", 600},
      // Rectangles that clear nothing never open the file.
      {"120 50 5 5", "0 {}", -1},
      {"100 20 5 30", "0 {}", -1},
      {"100 50 0 5", "0 {}", -1},
      // 10.5 rows: rows 0..9 are cleared, row 10 is short and left alone.
      {"100 50 20 30",
       "1 {Error reading matching points file (No data available).}", 315},
      {"100 50 1 1",
       "1 {Error opening matching points file (No such file or directory).}",
       -1},
      {"100 50 1", "1 {Missing/extra parameter.}", 600},
      {"100 x 1 1", "1 {Illegal parameter.}", 600},
  };
  TempDir dir;
  shelltest::Calls calls;
  for (const auto &c : cases) {
    const std::string path = dir.file("m" + std::to_string(calls.size()));
    if (c.size >= 0) testsupport::write_file(path, std::string(c.size, '\xff'));
    calls.push_back(
        {"ClearMatchingPoints " + path + " 100 50 20 30 " + c.rectangle,
         c.answer});
  }
  // Written data that cannot be kept fails at the close, and a row's zeros
  // that cannot be kept fail as a write before the next row is read.
  calls.push_back(
      {"ClearMatchingPoints /dev/full 0 0 1 10 0 0 1 10",
       "1 {Error closing matching points file (No space left on device).}"});
  for (const char *rows : {"2 80", "300 400"})
    calls.push_back({"ClearMatchingPoints /dev/full 0 0 300 400 100 100 " +
                         std::string(rows),
                     "1 {Error modifying matching points file (No space left "
                     "on device).}"});
  // A sparse raster of 5e9 bytes: its last rows need 64-bit offsets.
  const int64_t size = int64_t{50000} * 100000, at = size - 100000 + 7;
  const int fd = open(dir.file("big").c_str(), O_CREAT | O_RDWR, 0644);
  ASSERT_EQ(ftruncate(fd, size), 0);
  ASSERT_EQ(pwrite(fd, "\x55\x66\x77", 3, at - 1), 3);
  calls.push_back({"ClearMatchingPoints " + dir.file("big") +
                       " 0 0 50000 100000 49999 7 1 1",
                   "0 {}"});
  shelltest::expect_calls(dir, "", calls);
  char back[3] = {};
  EXPECT_EQ(pread(fd, back, 3, at - 1), 3);
  EXPECT_EQ(std::string(back, 3), std::string("\x55\0\x77", 3));
  EXPECT_EQ(lseek(fd, 0, SEEK_END), size);
  close(fd);
  for (size_t k = 0; k < std::size(cases); ++k) {
    const auto &c = cases[k];
    int y = 0, x = 0, rows = 0, cols = 0;
    std::string want(size_t(std::max(c.size, 0)), '\xff');
    if (c.answer[0] == '0' || c.size == 315)
      sscanf(c.rectangle.c_str(), "%d %d %d %d", &y, &x, &rows, &cols);
    for (int i = 0; i < c.size - c.size % 30; ++i)
      if (i / 30 + 100 >= y && i / 30 + 100 < y + rows && i % 30 + 50 >= x &&
          i % 30 + 50 < x + cols)
        want[size_t(i)] = 0;
    EXPECT_EQ(testsupport::read_file(dir.file("m" + std::to_string(k))), want)
        << c.rectangle;
  }
}

}  // namespace
