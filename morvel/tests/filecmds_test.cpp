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
      {"b16", "2 3 0 0 8 8 0", "0 4095"},
      {"p2", "2 4 5 6 8 8 0", "0 1001"},  // GI band 2: rows / 4, cols / 4
      {"p3", "3 4 7 3 8 8 0", "0 300"},   // GI band 3: rows / 8
      // components (a negative band) are read as the negated type: a GI
      // component at full resolution
      {"b16", "-2 4 1 2 8 8 0", "0 3502"},
      {"b16", "-2 4 1 2 8 8 1", "0 875"},
      {"b8", "-5 1 1 2 8 8 1", "0 18"},
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
      {"b16", "-6 -4 0 0 8 8 0", bad},
      {"b8", "1 5 0 0 8 8 0", bad},
      {"b8", "1 0 0 0 8 8 0", bad},
      {"b8", "1 1 0 0 8 8", "1 {Missing/extra parameter.}"},
      {"b8", "1 1 0 0 8 8 0 0", "1 {Missing/extra parameter.}"},
  };
  std::vector<std::string> commands, answers;
  for (const auto &c : cases) {
    commands.push_back("PointValue " + dir.file(c.file) + " " + c.args);
    answers.push_back(c.answer);
  }
  shelltest::expect_answers(dir, "", commands, answers);
}

// The matching points file covers image rows 100..119 and columns 50..79
// (20 rows of 30 bytes), every byte 0xff at the start.
TEST(ClearMatchingPoints, ClearsTheClippedRectangleInPlaceOrFails) {
  const std::string full(600, '\xff');
  // The raster after clearing image rows y..y+rows-1, columns x..x+cols-1.
  auto cleared = [&](int y, int x, int rows, int cols) {
    std::string bytes = full;
    for (int r = std::max(y, 100); r < std::min(y + rows, 120); ++r)
      for (int c = std::max(x, 50); c < std::min(x + cols, 80); ++c)
        bytes[size_t((r - 100) * 30 + c - 50)] = 0;
    return bytes;
  };
  const struct {
    int y, x, rows, cols;
  } clips[] = {
      {90, 60, 20, 5}, {115, 75, 10, 10}, {105, 40, 3, 200}, {0, 0, 1000, 1000},
      {100, 50, 1, 1}, {119, 79, 1, 1},   {80, 50, 20, 30},  {120, 50, 5, 5},
      {100, 80, 5, 5}, {100, 20, 5, 30},  {100, 50, 0, 5},   {100, 50, 5, -3},
  };
  TempDir dir;
  const std::string area = " 100 50 20 30 ";
  struct Case {
    std::string before, args, answer, after;  // "" before: no file
  };
  std::vector<Case> cases;
  for (const auto &c : clips) {
    // A rectangle that clears nothing never opens the file: leave it out.
    const std::string after = cleared(c.y, c.x, c.rows, c.cols);
    cases.push_back({after == full ? "" : full,
                     area + std::to_string(c.y) + " " + std::to_string(c.x) +
                         " " + std::to_string(c.rows) + " " +
                         std::to_string(c.cols),
                     "0 {}", after == full ? "" : after});
  }
  // 10.5 rows: rows 0..9 are cleared, row 10 is short and left alone.
  const std::string shorter = full.substr(0, 315);
  cases.push_back(
      {shorter, area + "100 50 20 30",
       "1 {Error reading matching points file (No data available).}",
       std::string(300, '\0') + shorter.substr(300)});
  cases.push_back(
      {"", area + "100 50 1 1",
       "1 {Error opening matching points file (No such file or directory).}",
       ""});
  cases.push_back(
      {full, area + "100 50 1", "1 {Missing/extra parameter.}", full});
  cases.push_back(
      {full, area + "100 50 1 1 1", "1 {Missing/extra parameter.}", full});
  cases.push_back({full, area + "100 x 1 1", "1 {Illegal parameter.}", full});
  std::vector<std::string> commands, answers;
  for (const auto &c : cases) {
    const std::string path = dir.file("m" + std::to_string(commands.size()));
    if (!c.before.empty()) testsupport::write_file(path, c.before);
    commands.push_back("ClearMatchingPoints " + path + c.args);
    answers.push_back(c.answer);
  }
  // Written data that cannot be kept fails at the close.
  commands.push_back("ClearMatchingPoints /dev/full 0 0 1 10 0 0 1 10");
  answers.push_back(
      "1 {Error closing matching points file (No space left on device).}");
  shelltest::expect_answers(dir, "", commands, answers);
  for (size_t k = 0; k < cases.size(); ++k)
    EXPECT_EQ(testsupport::read_file(dir.file("m" + std::to_string(k))),
              cases[k].after)
        << cases[k].args;
}

// A sparse raster of 5e9 bytes: the offsets of its last rows need 64 bits.
TEST(ClearMatchingPoints, ReachesRowsPastFourGigabytes) {
  TempDir dir;
  const std::string path = dir.file("big");
  const int64_t size = int64_t{50000} * 100000, at = size - 100000 + 7;
  const int fd = open(path.c_str(), O_CREAT | O_RDWR, 0644);
  ASSERT_EQ(ftruncate(fd, size), 0);
  ASSERT_EQ(pwrite(fd, "\x55\x66\x77", 3, at - 1), 3);
  shelltest::expect_answers(
      dir, "",
      {"ClearMatchingPoints " + path + " 0 0 50000 100000 49999 7 1 1"},
      {"0 {}"});
  char back[3] = {};
  ASSERT_EQ(pread(fd, back, 3, at - 1), 3);
  EXPECT_EQ(std::string(back, 3), std::string("\x55\0\x77", 3));
  EXPECT_EQ(lseek(fd, 0, SEEK_END), size);
  close(fd);
}

}  // namespace
