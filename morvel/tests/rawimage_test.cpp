// The "RawImage" photo format in the running shell: pixels of the shrink
// and zoom paths, the display modes and the byte conversion, and the
// messages of the failures met after the configuration string is read.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "shelltest.h"

namespace {

using shelltest::Rgb;
using shelltest::tcl_quote;

constexpr int ROWS = 250, COLS = 450;

int F1(int r, int c) { return (r * 7 + c * 3) & 255; }
int F2(int r, int c) { return (r + 2 * c) & 255; }
int F3(int r, int c) { return (5 * r + c) & 255; }
Rgb Grey(int v) { return {v, v, v}; }
int Clamp(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

// Band files 1 and 2 and one PCI file of a 250 x 450 8-bit image, and a
// few small files for the conversions.
class RawImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (auto [name, f] :
         {std::pair{"b1.raw", F1}, {"b2.raw", F2}, {"pc1.raw", F3}}) {
      std::vector<uint8_t> samples;
      for (int r = 0; r < ROWS; ++r)
        for (int c = 0; c < COLS; ++c)
          samples.push_back(static_cast<uint8_t>(f(r, c)));
      testsupport::write_band8(P(name), samples);
    }
    testsupport::write_band8(P("short.raw"), std::vector<uint8_t>(COLS * 3, 1));
    testsupport::write_band16(P("w1.raw"), {1023, 1100, 0, 4, 3, 800});
    testsupport::write_band8(P("q1.raw"), {5, 0, 200, 9});
    testsupport::write_band8(P("q2.raw"), {0, 0, 250, 3});
  }

  std::string P(const std::string &name) const { return dir.file(name); }

  // A configuration string over the paths, band numbers and PCI paths.
  static std::string S(const std::string &paths, const std::string &numbers,
                       const std::string &pci, const std::string &rest) {
    return "x|" + paths + "|x|" + numbers + "|x|" + pci + "|" + rest;
  }

  struct PixelCase {
    std::string data;
    int width, height;
    std::function<Rgb(int, int)> want;
  };
  void ExpectPhotos(const std::vector<PixelCase> &cases) {
    std::string script;
    for (const auto &c : cases)
      script += "photo RawImage " + tcl_quote(c.data) + "\n";
    const auto out = shelltest::run_lines(dir, script);
    ASSERT_EQ(out.size(), cases.size());
    for (size_t i = 0; i < out.size(); ++i)
      shelltest::expect_pixels(shelltest::parse_pixels(out[i]), cases[i].width,
                               cases[i].height, cases[i].want,
                               "case " + std::to_string(i));
  }

  testsupport::TempDir dir;
};

TEST_F(RawImageTest, ShrinkAndZoomPathsMapPhotoPixelsToTheWindow) {
  // The ten integers over band 1, display mode 1.
  auto b1 = [this](const std::string &ints) {
    return S(P("b1.raw"), "1", "NO-PCI", ints + " 1|B1|");
  };
  ExpectPhotos({
      // 100 x 50 over 400 columns and 200 rows from (20, 30): shrink
      {b1("1 250 450 20 30 200 400 50 100"), 100, 50,
       [](int x, int y) {
         return Grey(F1(20 + 199 * y / 49, 30 + 399 * x / 99));
       }},
      // 80 x 40 over 40 columns and 20 rows: zoom 2 and 2
      {b1("1 250 450 5 7 20 40 40 80"), 80, 40,
       [](int x, int y) { return Grey(F1(5 + y / 2, 7 + x / 2)); }},
      // 100 x 30 over the same: zoom 2 and 1 (the block's own area)
      {b1("1 250 450 5 7 20 40 30 100"), 80, 20,
       [](int x, int y) { return Grey(F1(5 + y, 7 + x / 2)); }},
      // exactly as wide as the window: zoom 1
      {b1("1 250 450 5 7 20 40 20 40"), 40, 20,
       [](int x, int y) { return Grey(F1(5 + y, 7 + x)); }},
      // one pixel wide (shrink): the window's first column
      {b1("1 250 450 5 7 20 40 20 1"), 1, 20,
       [](int, int y) { return Grey(F1(5 + y, 7)); }},
      // one pixel high: the window's first row
      {b1("1 250 450 5 7 20 40 1 10"), 10, 1,
       [](int x, int) { return Grey(F1(5, 7 + 39 * x / 9)); }},
      // lower than the window in the zoom path: its first rows at zoom 1
      {b1("1 250 450 5 7 20 40 10 80"), 80, 10,
       [](int x, int y) { return Grey(F1(5 + y, 7 + x / 2)); }},
      // photo taller than the window in the shrink path: rows repeat
      {b1("1 250 450 0 0 3 400 7 100"), 100, 7,
       [](int x, int y) { return Grey(F1(2 * y / 6, 399 * x / 99)); }},
  });
}

TEST_F(RawImageTest, ModesExpressionsAndByteConversion) {
  const std::string pal = shelltest::palette_text([](int e) {
    return Rgb{e + 300, e / 2, 255 - e};
  });
  const std::string files = P("b1.raw") + " " + P("b2.raw");
  auto win = [&](const std::string &rest) {
    return S(files, "1 2", P("pc1.raw"), "1 250 450 5 7 20 40 20 40 " + rest);
  };
  ExpectPhotos({
      {win("2|B1||B2 | x | B1 |"), 40, 20,
       [](int x, int y) {
         return Rgb{F1(5 + y, 7 + x), F2(5 + y, 7 + x), F1(5 + y, 7 + x)};
       }},
      {win("2|B2||B2-B1||(B1)|"), 40, 20,
       [](int x, int y) {
         const int a = F1(5 + y, 7 + x), b = F2(5 + y, 7 + x);
         return Rgb{b, Clamp(b - a), a};
       }},
      // palette numbers keep their low 8 bits
      {win("3|B1||" + pal), 40, 20,
       [](int x, int y) {
         const int v = F1(5 + y, 7 + x);
         return Rgb{(v + 300) & 255, v / 2, 255 - v};
       }},
      {win("1|PC1*2-B2|"), 40, 20,
       [](int x, int y) {
         return Grey(Clamp(2 * F3(5 + y, 7 + x) - F2(5 + y, 7 + x)));
       }},
      // 16-bit samples are scaled by 0.25: 1023 -> 255, 1100 clamps, 4 -> 1
      {S(P("w1.raw"), "1", "NO-PCI", "3 1 6 0 0 1 6 1 6 1|B1|"), 6, 1,
       [](int x, int) {
         return Grey(std::vector<int>{255, 255, 0, 1, 0, 200}[x]);
       }},
      // GI bands 6 and 7 are not stored: they read as 0 in both paths,
      // never as the samples of the band read before
      {S(P("w1.raw") + " " + P("w1.raw"), "1 6", "NO-PCI",
         "4 1 6 0 0 1 6 1 3 1|B1+B6|"),
       3, 1,
       [](int x, int) {
         return Grey(std::vector<int>{255, 0, 200}[x]);
       }},
      {S(P("w1.raw"), "6", "NO-PCI", "4 1 6 0 0 1 6 1 6 1|B6+1|"), 6, 1,
       [](int, int) { return Grey(0); }},
      // quotients: 5/0 is +infinity, 0/0 NaN, 200/250 truncates
      {S(P("q1.raw") + " " + P("q2.raw"), "1 2", "NO-PCI",
         "1 1 4 0 0 1 4 1 4 1|B1/B2|"),
       4, 1,
       [](int x, int) {
         return Grey(std::vector<int>{255, 0, 0, 3}[x]);
       }},
      // constants open no file: any paths, any PCI field
      {S("/no/such/a /no/such/b", "1 2", "", "1 1 4 0 0 1 4 2 3 1|128|"), 3, 2,
       [](int, int) { return Grey(128); }},
      {S("/no/such/a", "1", "NO-PCI", "3 1 4 0 0 1 4 2 3 1|128|"), 3, 2,
       [](int, int) { return Grey(32); }},
      // a window of the largest width, shown through constants
      {S("a", "1", "NO-PCI", "1 1 1 0 0 1 2147483647 2 3 1|100.9|"), 3, 2,
       [](int, int) { return Grey(100); }},
  });
}

TEST_F(RawImageTest, FailuresGiveTheirMessagesAndLeaveNoFileOpen) {
  const std::string m = "1 Error in photo configuration string [";
  const std::string expr = "1 Illegal expression in photo configuration string";
  const std::string ints = "1 250 450 0 0 20 40 2 3 ";
  const std::string noData = std::string(" (") + strerror(ENODATA) + ").";
  const std::string noFile = std::string(" (") + strerror(ENOENT) + ").";
  const std::string b1 = P("b1.raw"), b2 = P("b2.raw"), pc = P("pc1.raw");
  const struct {
    std::string data, result;
  } cases[] = {
      // the photo's size as Tk gives it: none, or none for a negative one
      {S(b1, "1", "NO-PCI", "1 250 450 0 0 20 40 2 0 1|B1|"), m + "10]."},
      {S(b1, "1", "NO-PCI", "1 250 450 0 0 20 40 -3 3 1|B1|"), m + "10]."},
      {S(b1, "1", "NO-PCI", ints + "1|B1"), m + "12]."},
      {S(b1, "1", "NO-PCI", ints + "1|B1" + std::string(49, ' ') + "|"),
       expr + " [13]."},
      // trees are built, and refused, before any file is opened
      {S(b1, "1", "NO-PCI", ints + "1|B1+|"), expr + "."},
      {S(b1, "1", "NO-PCI", ints + "2|B1||B9||B1|"), expr + "."},
      {S("/no/such", "1", "NO-PCI", ints + "2|B1||B1||)|"), expr + "."},
      {S(b1 + " " + b2, "1 2", "NO-PCI", ints + "1|B5|"),
       "1 Error opening image file - band does not exist."},
      {S("", "1 2", "NO-PCI", ints + "1|128|"),
       "1 Error opening image files - illegal parameter."},
      {S(b1, "1 2", "NO-PCI", ints + "1|128|"),
       "1 Error opening image files - illegal parameter."},
      {S(b1 + " /no/such", "1 2", "NO-PCI", ints + "1|B1+B2|"),
       "1 Error opening image file for band 2" + noFile},
      {S(b1, "1", pc + " " + pc, ints + "1|C3|"),
       "1 Error opening PCI file - component does not exist."},
      {S(b1, "1", "NO-PCI", ints + "1|B1*PC1|"),
       "1 Error opening PCI file - component does not exist."},
      {S(b1, "1", pc + " /no/such", ints + "1|C1+C2|"),
       "1 Error opening PCI file for component 2" + noFile},
      // windows past the end of the files: shrink and zoom paths
      {S(b1 + " " + b2, "1 2", "NO-PCI", "1 250 450 240 0 20 40 2 3 1|B2+B1|"),
       "1 Error reading image file for band 1" + noData},
      {S(b1 + " " + b2, "1 2", "NO-PCI", "1 250 450 240 0 20 40 20 40 1|B2|"),
       "1 Error reading image file for band 2" + noData},
      {S(b1, "1", P("short.raw"), "1 250 450 0 0 20 40 20 40 1|B1-C1|"),
       "1 Error reading PCI file for component 1" + noData},
      {S(b1, "1", "NO-PCI", "1 250 450 -1 0 20 40 20 40 1|B1|"),
       "1 Error reading image file for band 1 (" +
           std::string(strerror(EINVAL)) + ")."},
  };
  std::string script = "set fds [llength [glob /proc/self/fd/*]]\n";
  for (const auto &c : cases)
    script += "photo RawImage " + tcl_quote(c.data) + "\n";
  // A failed read puts nothing into the photo.
  script +=
      "image create photo keep -width 3 -height 2\n"
      "keep put #123456 -to 0 0 3 2\n"
      "catch {keep put " +
      tcl_quote(S(b1, "1", "NO-PCI", "1 250 450 249 0 2 40 2 3 1|B1|")) +
      " -format RawImage}\n"
      "puts [keep get 2 1]\n"
      "puts [expr {[llength [glob /proc/self/fd/*]] - $fds}]\n";
  const auto out = shelltest::run_lines(dir, script);
  ASSERT_EQ(out.size(), std::size(cases) + 2);
  for (size_t i = 0; i < std::size(cases); ++i)
    EXPECT_EQ(out[i], cases[i].result) << cases[i].data.substr(0, 150);
  EXPECT_EQ(out[std::size(cases)], "18 52 86");
  EXPECT_EQ(out.back(), "0") << "files left open";
}

}  // namespace
