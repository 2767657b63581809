// The Scatter2 photo format: plot files drawn as photos, pixels checked
// against levels and colours worked out here.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "shelltest.h"

namespace {

using testsupport::TempDir;

struct Pixel {
  int x, y;
  std::string rgb;  // as "$photo get" prints it
};

struct PlotCase {
  const char *name;
  std::string plot;    // plot file contents
  std::string config;  // configuration string; "PLOT" stands for the file
  std::vector<Pixel> pixels;
};

const std::string kTwoColours = "2 #ffff00000000 #00000000ffff\n1000 5 7\n";

std::string grey(int level) {
  const std::string v = std::to_string(level);
  return v + " " + v + " " + v;
}

std::string header_of_areas(int areas) {
  std::string names = std::to_string(areas), maxima = "100";
  for (int a = 0; a < areas; ++a) {
    names += " #ffff00000000";
    maxima += " 1";
  }
  return names + "\n" + maxima + "\n";
}

std::string replace_plot(std::string config, const std::string &path) {
  const size_t at = config.find("PLOT");
  if (at != std::string::npos) config.replace(at, 4, path);
  return config;
}

// One script for all cases: each prints its name, then the pixels asked.
TEST(Scatter2, DrawsCellsAtTheirLevelsAndColours) {
  const std::vector<PlotCase> cases = {
      // Minimum level 51, saturation count 500: 51 + 204 * 10 / 500 = 55.
      {"worked-level",
       "0\n1000\n0 0 10\n0 1 700\n0 2 500\n0 3 499\n",
       "PLOT 0 0 256 w 20 50 256 256",
       {{0, 255, grey(55)},
        {1, 255, grey(255)},
        {2, 255, grey(255)},
        {3, 255, grey(51 + 204 * 499 / 500)},
        {4, 255, "0 0 0"}}},
      // Red and blue areas make magenta; no coloured area, grey.
      {"colours",
       kTwoColours + "10 20 1000 3 4\n11 20 1000 0 4\n12 20 1000 0 0\n",
       "PLOT 0 0 256 w 0 100 256 256",
       {{20, 245, "255 0 255"}, {20, 244, "0 0 255"}, {20, 243, grey(255)}}},
      // Black names count as no colour: grey.
      {"black-areas",
       "2 #000000000000 #00ff00000000\n10 5 5\n7 9 10 3 4\n",
       "PLOT 0 0 256 w 0 100 256 256",
       {{9, 248, grey(255)}}},
      // The first value at the vertical origin is the bottom row, at the
      // origin + N it lies outside; its counts are read all the same.
      {"window",
       kTwoColours + "100 50 1000 1 0\n164 50 1000 0 1\n163 51 1000 0 1\n",
       "PLOT 100 50 64 w 0 100 256 256",
       {{0, 252, "255 0 0"},
        {3, 255, "255 0 0"},
        {4, 0, "0 0 255"},
        {7, 3, "0 0 255"},
        {0, 0, "0 0 0"}}},
      // A later record of a cell overwrites the earlier one.
      {"overwrite",
       kTwoColours + "0 0 1000 1 0\n0 0 10 0 0\n",
       "PLOT 0 0 256 w 0 100 256 256",
       {{0, 255, grey(2)}}},
      // Minimum brightness 150: level 382, of which the low 8 bits show.
      {"low-bits",
       "0\n100\n0 0 0\n",
       "PLOT 0 0 256 w 150 100 256 256",
       {{0, 255, grey(382 & 0xff)}}},
      // 15 areas are drawn.
      {"fifteen-areas",
       header_of_areas(15) + "1 1 50 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1\n",
       "PLOT 0 0 256 w 0 100 256 256",
       {{1, 254, "127 0 0"}}},
      // A file that ends after the header draws a black plot.
      {"empty",
       kTwoColours,
       "PLOT 0 0 256 w 20 50 256 256",
       {{0, 0, "0 0 0"}, {255, 255, "0 0 0"}}},
      // Text that is not a number ends the records.
      {"text-ends-records",
       "0\n100\n0 0 100\nend\n1 1 100\n",
       "PLOT 0 0 256 w 0 100 256 256",
       {{0, 255, grey(255)}, {1, 254, "0 0 0"}}},
      // A saturation count of 0 puts every count at full brightness.
      {"saturation-zero",
       "0\n50\n0 0 3\n",
       "PLOT 0 0 256 w 0 1 256 256",
       {{0, 255, grey(255)}}},
      // Extreme percentages and counts: no overflow, low 8 bits as the
      // exact arithmetic gives them.
      {"extremes",
       "0\n2147483647\n0 0 2147483647\n0 1 -2147483648\n",
       "PLOT 0 0 256 w 2147483647 2147483647 256 256",
       {{0, 255, grey(101)}, {1, 255, grey(97)}}},
      // Zoom: width / N and height / N pixels per cell.
      {"zoom",
       "0\n100\n0 0 100\n",
       "PLOT 0 0 128 w 0 100 512 256",
       {{0, 511, grey(255)},
        {1, 508, grey(255)},
        {2, 511, "0 0 0"},
        {0, 507, "0 0 0"}}},
  };
  TempDir dir;
  std::ostringstream script;
  for (size_t k = 0; k < cases.size(); ++k) {
    const std::string path = dir.file("plot" + std::to_string(k) + ".txt");
    testsupport::write_file(path, cases[k].plot);
    script << "puts " << cases[k].name << "\n"
           << "if {[catch {image create photo -format Scatter2 -data {"
           << replace_plot(cases[k].config, path)
           << "}} p]} {puts $p} else {\n";
    for (const Pixel &px : cases[k].pixels)
      script << "  puts [$p get " << px.x << " " << px.y << "]\n";
    script << "}\n";
  }
  const auto r = shelltest::run_script(dir, script.str());
  ASSERT_EQ(r.status, 0) << r.err;
  std::istringstream out(r.out);
  for (const PlotCase &c : cases) {
    std::string line;
    std::getline(out, line);
    ASSERT_EQ(line, c.name);
    for (const Pixel &px : c.pixels) {
      std::getline(out, line);
      EXPECT_EQ(line, px.rgb) << c.name << " at " << px.x << "," << px.y;
    }
  }
}

TEST(Scatter2, RefusesBadSizesStringsAndFiles) {
  TempDir dir;
  const std::string good = dir.file("good.txt");
  testsupport::write_file(good, "0\n100\n0 0 10\n");
  const std::string long_path = dir.file(std::string(240, 'p'));
  const struct {
    std::string plot;  // written to bad.txt when not empty
    std::string config;
    std::string answer;
  } cases[] = {
      {"", good + " 0 0 256 w 20 50 255 256",
       "1 {255x256 is too small for a scatter plot.}"},
      {"", good + " 0 0 257 w 20 50 256 256",
       "1 {256x256 is too small for a scatter plot.}"},
      {"", good + " 0 0 0 w 20 50 256 256",
       "1 {Error in plot configuration string.}"},
      {"", good + " 0 0 -4 w 20 50 256 256",
       "1 {Error in plot configuration string.}"},
      {"", good + " 0 0 256 eightchr 20 50 256 256",
       "1 {Error in plot configuration string.}"},
      {"", good + " 0 0 256 sevench 20 50 256 256", "0 {0 0 0}"},
      {"", long_path + " 0 0 256 w 20 50 256 256",
       "1 {Error in plot configuration string.}"},
      {"", good + " 0 99999999999 256 w 20 50 256 256", "1 *"},
      {"", dir.file("none.txt") + " 0 0 256 w 20 50 256 256",
       "1 {Error opening plot file (No such file or directory).}"},
      {header_of_areas(16), "PLOT 0 0 256 w 0 100 256 256",
       "1 {Too many scatter areas (limit of 15).}"},
      {"1 #ffff000000000000\n1 1\n", "PLOT 0 0 256 w 0 100 256 256",
       "1 {Error reading plot file (Invalid argument).}"},
      {"1 #zz\n1 1\n", "PLOT 0 0 256 w 0 100 256 256",
       "1 {Error reading plot file (Invalid argument).}"},
      {"1 #ffff00000000\n1\n", "PLOT 0 0 256 w 0 100 256 256",
       "1 {Error reading plot file (No data available).}"},
      {"1 #ffff00000000\n9 9\n0 0 5\n", "PLOT 0 0 256 w 0 100 256 256",
       "1 {Error reading plot file (No data available).}"},
      {"0\n99999999999\n", "PLOT 0 0 256 w 0 100 256 256",
       "1 {Error reading plot file (Invalid argument).}"},
      {"", dir.path() + " 0 0 256 w 0 100 256 256",
       "1 {Error reading plot file (Is a directory).}"},
  };
  std::string script;
  for (const auto &c : cases) {
    if (!c.plot.empty()) testsupport::write_file(dir.file("bad.txt"), c.plot);
    script += "set p [image create photo -width 256 -height 256]\n";
    script += shelltest::show("$p put {" +
                              replace_plot(c.config, dir.file("bad.txt")) +
                              "} -format Scatter2; $p get 0 0");
    const auto r = shelltest::run_script(dir, script);
    ASSERT_EQ(r.status, 0) << r.err;
    if (c.answer == "1 *")
      EXPECT_EQ(r.out.substr(0, 2), "1 ") << c.config;
    else
      EXPECT_EQ(r.out, c.answer + "\n") << c.config;
    script.clear();
  }
}

}  // namespace
