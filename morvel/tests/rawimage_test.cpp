// The "RawImage" photo format in the running shell: pixels of the shrink
// and zoom paths, the display modes and the byte conversion, and the
// exact message of every failure a script can meet.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "formattest.h"

namespace {

using formattest::Pixels;
using formattest::Rgb;
using formattest::tcl_quote;
using testsupport::TempDir;

constexpr int ROWS = 250, COLS = 450;

int F1(int r, int c) { return (r * 7 + c * 3) & 255; }
int F2(int r, int c) { return (r + 2 * c) & 255; }
int F3(int r, int c) { return (5 * r + c) & 255; }

// Band files 1 and 2 and one PCI file of a 250 x 450 8-bit image, and a
// few small files for the conversions.
class RawImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (auto [name, f] :
         {std::pair<const char *, int (*)(int, int)>{"b1.raw", F1},
          {"b2.raw", F2},
          {"pc1.raw", F3}}) {
      std::vector<uint8_t> samples;
      for (int r = 0; r < ROWS; ++r)
        for (int c = 0; c < COLS; ++c)
          samples.push_back(static_cast<uint8_t>(f(r, c)));
      testsupport::write_band8(dir.file(name), samples);
    }
    testsupport::write_band8(dir.file("short.raw"),
                             std::vector<uint8_t>(COLS * 3, 1));
    testsupport::write_band16(dir.file("w1.raw"), {1023, 1100, 0, 4, 3, 800});
    testsupport::write_band8(dir.file("q1.raw"), {5, 0, 200, 9});
    testsupport::write_band8(dir.file("q2.raw"), {0, 0, 250, 3});
  }

  std::string P(const std::string &name) const { return dir.file(name); }

  // A configuration string over bands 1 and 2 and the PCI file.
  std::string Config(const std::string &ints, const std::string &rest,
                     const std::string &pci = "") const {
    return "x|" + P("b1.raw") + " " + P("b2.raw") + "|x|1 2|x|" +
           (pci.empty() ? P("pc1.raw") : pci) + "|" + ints + rest;
  }

  TempDir dir;
};

// Every pixel of `p` equals want(x, y) inside width x height.
void ExpectPixels(const Pixels &p, int width, int height,
                  const std::function<Rgb(int, int)> &want,
                  const std::string &what) {
  ASSERT_TRUE(p.ok) << what;
  ASSERT_GE(p.width, width) << what;
  ASSERT_GE(p.height, height) << what;
  int wrong = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (p.at(x, y) != want(x, y) && ++wrong <= 3)
        ADD_FAILURE() << what << ": pixel " << x << "," << y << " is "
                      << p.at(x, y)[0] << " " << p.at(x, y)[1] << " "
                      << p.at(x, y)[2];
}

Rgb Grey(int v) { return {v, v, v}; }

TEST_F(RawImageTest, ShrinkAndZoomPathsMapPhotoPixelsToTheWindow) {
  const struct {
    std::string ints;  // the ten integers, display mode 1
    int width, height;
    std::function<Rgb(int, int)> want;
  } cases[] = {
      // 100 x 50 over 400 columns and 200 rows from (20, 30): shrink
      {"1 250 450 20 30 200 400 50 100 1", 100, 50,
       [](int x, int y) {
         return Grey(F1(20 + 199 * y / 49, 30 + 399 * x / 99));
       }},
      // 80 x 40 over 40 columns and 20 rows: zoom 2 and 2
      {"1 250 450 5 7 20 40 40 80 1", 80, 40,
       [](int x, int y) { return Grey(F1(5 + y / 2, 7 + x / 2)); }},
      // 100 x 30 over the same: zoom 2 and 1 (the block's own area)
      {"1 250 450 5 7 20 40 30 100 1", 80, 20,
       [](int x, int y) { return Grey(F1(5 + y, 7 + x / 2)); }},
      // exactly as wide as the window: zoom 1
      {"1 250 450 5 7 20 40 20 40 1", 40, 20,
       [](int x, int y) { return Grey(F1(5 + y, 7 + x)); }},
      // one pixel wide (shrink): the window's first column
      {"1 250 450 5 7 20 40 20 1 1", 1, 20,
       [](int, int y) { return Grey(F1(5 + y, 7)); }},
      // one pixel high: the window's first row
      {"1 250 450 5 7 20 40 1 10 1", 10, 1,
       [](int x, int) { return Grey(F1(5, 7 + 39 * x / 9)); }},
      // lower than the window in the zoom path: its first rows at zoom 1
      {"1 250 450 5 7 20 40 10 80 1", 80, 10,
       [](int x, int y) { return Grey(F1(5 + y, 7 + x / 2)); }},
      // photo taller than the window in the shrink path: rows repeat
      {"1 250 450 0 0 3 400 7 100 1", 100, 7,
       [](int x, int y) { return Grey(F1(2 * y / 6, 399 * x / 99)); }},
  };
  std::string script;
  for (const auto &c : cases)
    script += "dump_photo RawImage " + tcl_quote(Config(c.ints, "|B1|")) + "\n";
  const auto out = formattest::run_lines(dir, script);
  ASSERT_EQ(out.size(), std::size(cases));
  for (size_t i = 0; i < out.size(); ++i) {
    const Pixels p = formattest::parse_pixels(out[i]);
    ExpectPixels(p, cases[i].width, cases[i].height, cases[i].want,
                 cases[i].ints);
  }
}

TEST_F(RawImageTest, ModesExpressionsAndByteConversion) {
  auto clamp = [](int v) { return v < 0 ? 0 : v > 255 ? 255 : v; };
  const std::string pal = formattest::palette_text([](int e) {
    return Rgb{e + 300, e / 2, 255 - e};
  });
  const std::string win = "1 250 450 5 7 20 40 20 40 ";
  const std::string small = "1 1 4 0 0 1 4 1 4 1";
  const struct {
    std::string data;
    int width, height;
    std::function<Rgb(int, int)> want;
  } cases[] = {
      {Config(win, "2|B1||B2 | x | B1 |"), 40, 20,
       [](int x, int y) {
         return Rgb{F1(5 + y, 7 + x), F2(5 + y, 7 + x), F1(5 + y, 7 + x)};
       }},
      {Config(win, "2|B2||B2-B1||(B1)|"), 40, 20,
       [&](int x, int y) {
         const int a = F1(5 + y, 7 + x), b = F2(5 + y, 7 + x);
         return Rgb{b, clamp(b - a), a};
       }},
      {Config(win, "3|B1||" + pal), 40, 20,
       [](int x, int y) {
         const int v = F1(5 + y, 7 + x);
         return Rgb{(v + 300) & 255, v / 2, 255 - v};
       }},
      {Config(win, "1|PC1*2-B2|"), 40, 20,
       [&](int x, int y) {
         return Grey(clamp(2 * F3(5 + y, 7 + x) - F2(5 + y, 7 + x)));
       }},
      {Config(win, "1|(B1 + C1) / 2|"), 40, 20,
       [&](int x, int y) {
         return Grey((F1(5 + y, 7 + x) + F3(5 + y, 7 + x)) / 2);
       }},
      // 16-bit samples are scaled by 0.25: 1023 -> 255, 1100 clamps, 4 -> 1
      {"x|" + P("w1.raw") + "|x|1|x|NO-PCI|3 1 6 0 0 1 6 1 6 1|B1|", 6, 1,
       [](int x, int) {
         return Grey(std::vector<int>{255, 255, 0, 1, 0, 200}[x]);
       }},
      // quotients: 5/0 is +infinity, 0/0 NaN; differences below 0 clamp
      {"x|" + P("q1.raw") + " " + P("q2.raw") + "|x|1 2|x|NO-PCI|" + small +
           "|B1/B2|",
       4, 1,
       [](int x, int) {
         return Grey(std::vector<int>{255, 0, 0, 3}[x]);
       }},
      {"x|" + P("q1.raw") + " " + P("q2.raw") + "|x|1 2|x|NO-PCI|" + small +
           "|B1-B2|",
       4, 1,
       [](int x, int) {
         return Grey(std::vector<int>{5, 0, 0, 6}[x]);
       }},
      // constants open no file: any paths, any PCI field
      {"x|/no/such/a /no/such/b|x|1 2|x||1 1 4 0 0 1 4 2 3 1|128|", 3, 2,
       [](int, int) { return Grey(128); }},
      {"x|/no/such/a|x|1|x|NO-PCI|3 1 4 0 0 1 4 2 3 1|128|", 3, 2,
       [](int, int) { return Grey(32); }},
      // a window of the largest width, shown through constants
      {"x|a|x|1|x|NO-PCI|1 1 1 0 0 1 2147483647 2 3 1|100.9|", 3, 2,
       [](int, int) { return Grey(100); }},
  };
  std::string script;
  for (const auto &c : cases)
    script += "dump_photo RawImage " + tcl_quote(c.data) + "\n";
  const auto out = formattest::run_lines(dir, script);
  ASSERT_EQ(out.size(), std::size(cases));
  for (size_t i = 0; i < out.size(); ++i)
    ExpectPixels(formattest::parse_pixels(out[i]), cases[i].width,
                 cases[i].height, cases[i].want,
                 cases[i].data.substr(
                     cases[i].data.rfind('|', cases[i].data.size() - 2)));
}

TEST_F(RawImageTest, FailuresGiveTheirMessagesAndLeaveNoFileOpen) {
  const std::string m = "1 Error in photo configuration string [";
  const std::string expr = "1 Illegal expression in photo configuration string";
  const std::string ints = "1 250 450 0 0 20 40 2 3 ";
  const std::string noData = std::string(" (") + strerror(ENODATA) + ").";
  const std::string noFile = std::string(" (") + strerror(ENOENT) + ").";
  const std::string b1 = P("b1.raw"), b2 = P("b2.raw"), pc = P("pc1.raw");
  auto s = [](const std::string &paths, const std::string &numbers,
              const std::string &pci, const std::string &rest) {
    return "x|" + paths + "|x|" + numbers + "|x|" + pci + "|" + rest;
  };
  const struct {
    std::string data, result;
  } cases[] = {
      {s(std::string(1793, 'a'), std::string(29, '1'), "NO-PCI",
         ints + "1|B1|"),
       m + "3]."},
      {s(std::string(1792, 'a'), std::string(29, '1'), "NO-PCI",
         ints + "1|B1|"),
       m + "6]."},
      {s(b1, std::string(27, ' ') + "1", "NO-PCI", ints + "1|B1|"), "0 3 2"},
      {s(b1, "1", "NO-PCI", "1 250 450 0 0 20 40 2 3|B1|"), m + "10]."},
      {s(b1, "1", "NO-PCI", ints + "4|B1|"), m + "10]."},
      {s(b1, "1", "NO-PCI", "1 250 450 0 0 0 40 2 3 1|B1|"), m + "10]."},
      {s(b1, "1", "NO-PCI", "1 250 450 0 0 20 40 2 0 1|B1|"), m + "10]."},
      {s(b1, "1", "NO-PCI", "1 250 450 0 0 20 40 -3 3 1|B1|"), m + "10]."},
      {s(b1, "1", "NO-PCI", ints + "2|B1|B1|B1|"), m + "11]."},
      {s(b1, "1", "NO-PCI", ints + "1|B1"), m + "12]."},
      {s(b1, "1", "NO-PCI", ints + "3|B1||1 2 3"), m + "12]."},
      {s(b1, "1", "NO-PCI", ints + "1|B1" + std::string(48, ' ') + "|"),
       "0 3 2"},
      {s(b1, "1", "NO-PCI", ints + "1|B1" + std::string(49, ' ') + "|"),
       expr + " [13]."},
      {s(b1, "1", "NO-PCI", ints + "1|B1+|"), expr + "."},
      {s(b1, "1", "NO-PCI", ints + "2|B1||B9||B1|"), expr + "."},
      {s("/no/such", "1", "NO-PCI", ints + "2|B1||B1||)|"), expr + "."},
      {s(b1 + " " + b2, "1 2", "NO-PCI", ints + "1|B5|"),
       "1 Error opening image file - band does not exist."},
      {s("", "1 2", "NO-PCI", ints + "1|128|"),
       "1 Error opening image files - illegal parameter."},
      {s(b1, "1 2", "NO-PCI", ints + "1|128|"),
       "1 Error opening image files - illegal parameter."},
      {s(b1 + " /no/such", "1 2", "NO-PCI", ints + "1|B1+B2|"),
       "1 Error opening image file for band 2" + noFile},
      {s(b1, "1", pc + " " + pc, ints + "1|C3|"),
       "1 Error opening PCI file - component does not exist."},
      {s(b1, "1", "NO-PCI", ints + "1|B1*PC1|"),
       "1 Error opening PCI file - component does not exist."},
      {s(b1, "1", pc + " /no/such", ints + "1|C1+C2|"),
       "1 Error opening PCI file for component 2" + noFile},
      // windows past the end of the files: shrink and zoom paths
      {s(b1 + " " + b2, "1 2", "NO-PCI", "1 250 450 240 0 20 40 2 3 1|B2+B1|"),
       "1 Error reading image file for band 1" + noData},
      {s(b1 + " " + b2, "1 2", "NO-PCI", "1 250 450 240 0 20 40 20 40 1|B2|"),
       "1 Error reading image file for band 2" + noData},
      {s(b1, "1", P("short.raw"), "1 250 450 0 0 20 40 20 40 1|B1-C1|"),
       "1 Error reading PCI file for component 1" + noData},
      {s(b1, "1", "NO-PCI", "1 250 450 -1 0 20 40 20 40 1|B1|"),
       "1 Error reading image file for band 1 (" +
           std::string(strerror(EINVAL)) + ")."},
  };
  std::string script = "set fds [llength [glob /proc/self/fd/*]]\n";
  for (const auto &c : cases)
    script += "try_photo RawImage " + tcl_quote(c.data) + "\n";
  // A failed read puts nothing into the photo.
  script +=
      "image create photo keep -width 3 -height 2\n"
      "keep put #123456 -to 0 0 3 2\n"
      "catch {keep put " +
      tcl_quote(s(b1, "1", "NO-PCI", "1 250 450 249 0 2 40 2 3 1|B1|")) +
      " -format RawImage}\n"
      "puts [keep get 2 1]\n"
      "puts [expr {[llength [glob /proc/self/fd/*]] - $fds}]\n";
  const auto out = formattest::run_lines(dir, script);
  ASSERT_EQ(out.size(), std::size(cases) + 2);
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(out[i], cases[i].result) << cases[i].data.substr(0, 150);
  EXPECT_EQ(out[std::size(cases)], "18 52 86");
  EXPECT_EQ(out.back(), "0") << "files left open";
}

}  // namespace
