// The Scatter2 photo format: plot files drawn as photos, pixels checked
// against levels and colours worked out here, and the refusals.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "shelltest.h"

namespace {

// The plot file, written where "PLOT" in the configuration string names
// it; the string; "x y x y ...", the pixels to read back; the pixels, each
// in braces, or the message.
using PlotCase = std::array<std::string, 4>;

void expect_plots(const std::vector<PlotCase> &cases) {
  shelltest::TempDir dir;
  shelltest::Calls calls;
  for (auto [plot, config, points, answer] : cases) {
    const std::string path = dir.file("plot" + std::to_string(calls.size()));
    testsupport::write_file(path, plot);
    if (config.find("PLOT") == 0) config.replace(0, 4, path);
    calls.push_back({"set p [image create photo -format Scatter2 -data {" +
                         config + "}]\nset r {}\nforeach {x y} {" + points +
                         "} {lappend r [$p get $x $y]}\nset r",
                     (points.empty() ? "1 {" : "0 {") + answer + "}"});
  }
  shelltest::expect_calls(dir, "", calls);
}

std::string grey(int level) {
  const std::string v = std::to_string(level);
  return "{" + v + " " + v + " " + v + "}";
}
const std::string kBlack = "{0 0 0}";
const std::string kTwoColours = "2 #ffff00000000 #00000000ffff\n1000 5 7\n";
const std::string kPlain = "PLOT 0 0 256 w 0 100 256 256";

std::string areas(int count) {
  std::string names = std::to_string(count), maxima = "100";
  for (int a = 0; a < count; ++a) {
    names += " #ffff00000000";
    maxima += " 1";
  }
  return names + "\n" + maxima + "\n";
}

TEST(Scatter2, DrawsCellsAtTheirLevelsAndColoursOrRefuses) {
  const std::string plot = "0\n100\n0 0 10\n",
                    config = "Error in plot configuration string.";
  const std::string reading = "Error reading plot file (";
  expect_plots({
      // Minimum level 51, saturation count 500: 51 + 204 * 10 / 500 = 55.
      {"0\n1000\n0 0 10\n0 1 700\n0 2 499\n", "PLOT 0 0 256 w 20 50 256 256",
       "0 255 1 255 2 255 3 255",
       grey(55) + " " + grey(255) + " " + grey(254) + " " + kBlack},
      // Red and blue areas make magenta; no coloured area, grey.
      {kTwoColours + "10 20 1000 3 4\n11 20 1000 0 4\n12 20 1000 0 0\n", kPlain,
       "20 245 20 244 20 243", "{255 0 255} {0 0 255} " + grey(255)},
      // The first value at the vertical origin is the bottom row, at the
      // origin + N it lies outside; its counts are read all the same.
      {kTwoColours + "100 50 1000 1 0\n164 50 1000 0 1\n163 51 1000 0 1\n",
       "PLOT 100 50 64 w 0 100 256 256", "0 252 3 255 4 0 7 3 0 0",
       "{255 0 0} {255 0 0} {0 0 255} {0 0 255} " + kBlack},
      // A later record of a cell overwrites the earlier one.
      {kTwoColours + "0 0 1000 1 0\n0 0 10 0 0\n", kPlain, "0 255", grey(2)},
      // Minimum brightness 150: level 382, of which the low 8 bits show.
      {"0\n100\n0 0 0\n", "PLOT 0 0 256 w 150 100 256 256", "0 255",
       grey(382 & 0xff)},
      {areas(15) + "1 1 50 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1\n", kPlain, "1 254",
       "{127 0 0}"},
      // A file that ends after the header draws a black plot.
      {kTwoColours, kPlain, "0 0 255 255", kBlack + " " + kBlack},
      // A saturation count of 0 puts every count at full brightness.
      {"0\n50\n0 0 3\n", "PLOT 0 0 256 w 0 1 256 256", "0 255", grey(255)},
      // Extreme numbers: no overflow, the low 8 bits of the exact arithmetic.
      {"0\n2147483647\n0 0 2147483647\n0 1 -2147483648\n",
       "PLOT 0 0 256 w 2147483647 2147483647 256 256", "0 255 1 255",
       grey(101) + " " + grey(97)},
      // Zoom: width / N and height / N pixels per cell.
      {"0\n100\n0 0 100\n", "PLOT 0 0 128 w 0 100 512 256",
       "0 511 1 508 2 511 0 507",
       grey(255) + " " + grey(255) + " " + kBlack + " " + kBlack},
      // Refusals: the size (height first), the string, the file.
      {plot, "PLOT 0 0 256 w 20 50 255 256", "",
       "255x256 is too small for a scatter plot."},
      {plot, "PLOT 0 0 257 w 20 50 256 256", "",
       "256x256 is too small for a scatter plot."},
      {plot, "PLOT 0 0 0 w 20 50 256 256", "", config},
      {plot, "PLOT 0 99999999999 256 w 20 50 256 256", "",
       "couldn't recognize image data"},
      {plot, "PLOT 0 0 256 eightchr 20 50 256 256", "", config},
      {plot, "PLOT 0 0 256 sevench 20 50 256 256", "0 0", kBlack},
      {"", std::string(240, 'p') + " 0 0 256 w 20 50 256 256", "", config},
      {"", "/no/such 0 0 256 w 20 50 256 256", "",
       "Error opening plot file (No such file or directory)."},
      {"", "/ 0 0 256 w 0 100 256 256", "", reading + "Is a directory)."},
      {areas(16), kPlain, "", "Too many scatter areas (limit of 15)."},
      {"1 #ffff000000000000\n1 1\n", kPlain, "",
       reading + "Invalid argument)."},
      {"1 #ffff00000000\n9 9\n0 0 5\n", kPlain, "",
       reading + "No data available)."},
      {"0\n99999999999\n", kPlain, "", reading + "Invalid argument)."},
      // A record number beyond int is a fault of the file, as in the
      // header: the records after it are not dropped in silence. Text that
      // is no number still ends the records.
      {"0\n100\n0 0 10\n0 1 99999999999\n0 2 50\n", kPlain, "",
       reading + "Invalid argument)."},
      {"0\n100\n0 0 10\n2147483648 1 5\n", kPlain, "",
       reading + "Invalid argument)."},
      {"0\n100\n0 0 10\n0 -2147483649 5\n", kPlain, "",
       reading + "Invalid argument)."},
      {"0\n100\n0 0 10\nend 0 1 700\n", kPlain, "0 255 1 255",
       grey(25) + " " + kBlack},
  });
}

// The planes (3 x 4096 x 4096 bytes here) are obtained before the header
// is read: a header that fails costs no clearing of them. Only the photo
// itself (64 MB) is held.
TEST(Scatter2, AFileThatFailsInItsHeaderClearsNoPlanes) {
  shelltest::TempDir dir;
  testsupport::write_file(dir.file("plot"), "x\n");
  shelltest::expect_calls(
      dir, shelltest::kPeakMemory,
      {{"image create photo -format Scatter2 -data {" + dir.file("plot") +
            " 0 0 4096 w 0 100 4096 4096}",
        "1 {Error reading plot file (Invalid argument).}"},
       {"expr {[peak] - $before < 90000}", "0 1"}});
}

}  // namespace
