// The "RawImage" photo format in the running shell: pixels of the shrink
// and zoom paths, the display modes and the byte conversion, and the
// messages of the failures met after the configuration string is read; the
// "PaletteImage" colour bar.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "shelltest.h"

namespace {

using shelltest::Rgb;

int f1(int r, int c) { return (r * 7 + c * 3) & 255; }
int f2(int r, int c) { return (r + 2 * c) & 255; }
int f3(int r, int c) { return (5 * r + c) & 255; }
Rgb grey(int v) { return {v, v, v}; }
int clamp(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

// Band files 1 and 2 and one PCI file of a 250 x 450 8-bit image, and a
// 16-bit row of six samples.
class RawImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (auto [name, f] : {std::pair{"b1", f1}, {"b2", f2}, {"pc1", f3}}) {
      std::vector<uint8_t> samples;
      for (int r = 0; r < 250; ++r)
        for (int c = 0; c < 450; ++c) samples.push_back(uint8_t(f(r, c)));
      testsupport::write_band8(path(name), samples);
    }
    testsupport::write_band8(path("short"), std::vector<uint8_t>(450 * 3, 1));
    testsupport::write_band16(path("w1"), {1023, 1100, 0, 4, 3, 800});
  }
  std::string path(const std::string &name) const { return dir.file(name); }
  // A configuration string over the paths, band numbers and PCI paths.
  static std::string config(const std::string &paths,
                            const std::string &numbers, const std::string &pci,
                            const std::string &rest) {
    return "x|" + paths + "|x|" + numbers + "|x|" + pci + "|" + rest;
  }
  shelltest::TempDir dir;
};

TEST_F(RawImageTest, PathsModesAndByteConversion) {
  auto b1 = [this](const std::string &ints) {  // band 1, grey
    return config(path("b1"), "1", "NO-PCI", ints + " 1|B1|");
  };
  auto all = [&](const std::string &rest) {  // 40 x 20 from (5, 7), zoom 1
    return config(path("b1") + " " + path("b2"), "1 2", path("pc1"),
                  "1 250 450 5 7 20 40 20 40 " + rest);
  };
  const std::string pal = shelltest::palette_text([](int e) {
    return Rgb{e + 300, e / 2, 255 - e};
  });
  shelltest::expect_photos(
      dir, "RawImage",
      {// 100 x 50 over 400 columns and 200 rows from (20, 30): shrink
       {b1("1 250 450 20 30 200 400 50 100"), 100, 50,
        [](int x, int y) {
          return grey(f1(20 + 199 * y / 49, 30 + 399 * x / 99));
        }},
       // 80 x 40 over 40 columns and 20 rows: zoom 2 and 2
       {b1("1 250 450 5 7 20 40 40 80"), 80, 40,
        [](int x, int y) { return grey(f1(5 + y / 2, 7 + x / 2)); }},
       // 100 x 30 over the same: zoom 2 and 1 (the block's own area)
       {b1("1 250 450 5 7 20 40 30 100"), 100, 30,
        [](int x, int y) {
          return x < 80 && y < 20 ? grey(f1(5 + y, 7 + x / 2)) : Rgb{-1};
        }},
       // lower than the window in the zoom path: its first rows at zoom 1
       {b1("1 250 450 5 7 20 40 10 80"), 80, 10,
        [](int x, int y) { return grey(f1(5 + y, 7 + x / 2)); }},
       // one pixel wide or high (shrink): the window's first column or row
       {b1("1 250 450 5 7 20 40 20 1"), 1, 20,
        [](int, int y) { return grey(f1(5 + y, 7)); }},
       {b1("1 250 450 5 7 20 40 1 10"), 10, 1,
        [](int x, int) { return grey(f1(5, 7 + 39 * x / 9)); }},
       // equal texts share a tree; different ones do not
       {all("2|B1||B2 | x | B1 |"), 40, 20,
        [](int x, int y) {
          return Rgb{f1(5 + y, 7 + x), f2(5 + y, 7 + x), f1(5 + y, 7 + x)};
        }},
       {all("2|B2||B2-B1||(B1)|"), 40, 20,
        [](int x, int y) {
          const int a = f1(5 + y, 7 + x), b = f2(5 + y, 7 + x);
          return Rgb{b, clamp(b - a), a};
        }},
       // palette numbers keep their low 8 bits
       {all("3|B1||" + pal), 40, 20,
        [](int x, int y) {
          const int v = f1(5 + y, 7 + x);
          return Rgb{(v + 300) & 255, v / 2, 255 - v};
        }},
       {all("1|PC1*2-B2|"), 40, 20,
        [](int x, int y) {
          return grey(clamp(2 * f3(5 + y, 7 + x) - f2(5 + y, 7 + x)));
        }},
       // 16-bit samples are scaled by 0.25: 1023 -> 255, 1100 clamps, 4 -> 1
       {config(path("w1"), "1", "NO-PCI", "3 1 6 0 0 1 6 1 6 1|B1|"), 6, 1,
        [](int x, int) {
          return grey(std::vector{255, 255, 0, 1, 0, 200}[x]);
        }},
       // GI bands 6 and 7 are not stored: they read as 0, never as the
       // samples of the band read before
       {config(path("w1") + " " + path("w1"), "1 6", "NO-PCI",
               "4 1 6 0 0 1 6 1 3 1|B1+B6|"),
        3, 1,
        [](int x, int) {
          return grey(std::vector{255, 0, 200}[x]);
        }},
       // constants open no file, and are scaled as 16-bit samples are; a
       // window of the largest width
       {config("/no/such", "1", "", "3 1 1 0 0 1 2147483647 2 3 1|128|"), 3, 2,
        [](int, int) { return grey(32); }}});
}

TEST_F(RawImageTest, FailuresGiveTheirMessagesAndLeaveNoFileOpen) {
  const std::string ints = "1 250 450 0 0 20 40 2 3 ";
  const std::string noData = std::string(" (") + strerror(ENODATA) + ").}";
  const std::string noFile = std::string(" (") + strerror(ENOENT) + ").}";
  const std::string b1 = path("b1"), b12 = path("b1") + " " + path("b2"),
                    pc = path("pc1");
  const std::string raw = "image create photo -format RawImage -data ";
  auto call = [&](const std::string &data, const std::string &answer) {
    return std::pair{raw + shelltest::quote(data), "1 {" + answer};
  };
  shelltest::expect_calls(
      dir, "set fds [llength [glob /proc/self/fd/*]]\n",
      {// a negative size reaches the read as none
       call(config(b1, "1", "NO-PCI", "1 250 450 0 0 20 40 -3 3 1|B1|"),
            "Error in photo configuration string [10].}"),
       // trees are built, and refused, before any file is opened
       call(config("/no/such", "1", "NO-PCI", ints + "2|B1||B9||B1|"),
            "Illegal expression in photo configuration string.}"),
       call(config(b12, "1 2", "NO-PCI", ints + "1|B5|"),
            "Error opening image file - band does not exist.}"),
       call(config(b1, "1 2", "NO-PCI", ints + "1|128|"),
            "Error opening image files - illegal parameter.}"),
       call(config(b1 + " /no/such", "1 2", "NO-PCI", ints + "1|B1+B2|"),
            "Error opening image file for band 2" + noFile),
       call(config(b1, "1", pc + " " + pc, ints + "1|C3|"),
            "Error opening PCI file - component does not exist.}"),
       call(config(b1, "1", "NO-PCI", ints + "1|B1*PC1|"),
            "Error opening PCI file - component does not exist.}"),
       call(config(b1, "1", pc + " /no/such", ints + "1|C1+C2|"),
            "Error opening PCI file for component 2" + noFile),
       // windows past the end of the files: shrink and zoom paths
       call(config(b12, "1 2", "NO-PCI", "1 250 450 240 0 20 40 2 3 1|B2+B1|"),
            "Error reading image file for band 1" + noData),
       call(config(b12, "1 2", "NO-PCI", "1 250 450 240 0 20 40 20 40 1|B2|"),
            "Error reading image file for band 2" + noData),
       call(
           config(b1, "1", path("short"), "1 250 450 0 0 20 40 20 40 1|B1-C1|"),
           "Error reading PCI file for component 1" + noData),
       // a band that GI does not store is still refused before the file
       call(config(path("w1"), "6", "NO-PCI", "4 1 6 0 -1 1 6 1 3 1|B6|"),
            "Error reading image file for band 6 (" +
                std::string(strerror(EINVAL)) + ").}"),
       // a failed read puts nothing into the photo
       {"image create photo keep -width 3 -height 2\n"
        "keep put #123456 -to 0 0 3 2\ncatch {keep put " +
            shelltest::quote(
                config(b1, "1", "NO-PCI", "1 250 450 249 0 2 40 2 3 1|B1|")) +
            " -format RawImage}\nkeep get 2 1",
        "0 {18 52 86}"},
       {"expr {[llength [glob /proc/self/fd/*]] - $fds}", "0 0"}});
}

// A window far wider than its files fails at its first read: the rows of
// its seven bands, its result and its temporaries (80 MB each here) are
// not cleared first. Only the photo itself (80 MB) is held.
TEST_F(RawImageTest, AWideWindowFailsAtItsFirstReadWithoutClearingItsRows) {
  std::string paths;
  for (int b = 1; b <= 7; ++b) paths += path("b1") + " ";
  const std::string data = config(
      paths, "1 2 3 4 5 6 7", "NO-PCI",
      "1 250 450 0 0 1 20000000 1 20000000 2|B1+B2*B3||B4-B5/B6||B7*2+B1*B2|");
  shelltest::expect_calls(
      dir, shelltest::kPeakMemory,
      {{"image create photo -format RawImage -data " + shelltest::quote(data),
        "1 {Error reading image file for band 1 (" +
            std::string(strerror(ENODATA)) + ").}"},
       {"expr {[peak] - $before < 300000}", "0 1"}});
}

// A photo narrower than its window reads each window row in pieces, so a
// window far wider than its band fails at its first read holding no more
// than the photo needs, however wide the photo is (not a raw row as wide
// as the window, whose sampled columns each cost a page).
TEST_F(RawImageTest, AShrunkWindowFarWiderThanItsFileFailsWithLittleMemory) {
  testsupport::write_band8(path("small"), std::vector<uint8_t>(40 * 48, 3));
  const std::string failure = "1 {Error reading image file for band 1 (" +
                              std::string(strerror(ENODATA)) + ").}";
  shelltest::Calls calls;
  for (const char *photo : {"2 2000", "2 100", "50 1000"}) {
    const std::string data =
        config(path("small"), "1", "NO-PCI",
               "1 40 48 0 0 2 2147483647 " + std::string(photo) + " 1|b1|");
    calls.push_back(
        {"image create photo -format RawImage -data " + shelltest::quote(data),
         failure});
    calls.push_back({"expr {[peak] - $before < 20000}", "0 1"});
  }
  shelltest::expect_calls(dir, shelltest::kPeakMemory, calls);
}

int wide8(int r, int c) { return (c * 13 + c / 1000 + r * 50) & 255; }
int wide_component(int r, int c) { return (c * 5 + c / 777 + r) & 255; }
int gi_band1(int r, int c) { return (c * 7 + r * 100) % 1024; }
int gi_band2(int word) { return (word * 3 + word / 100) % 1024; }
int gi_band3(int word) { return (word * 11) % 1024; }

// Windows wider than the pieces a shrunk row is read in: each photo column
// shows its own window column, in 8-bit bands and components and in the
// GI layout's full and reduced planes.
TEST_F(RawImageTest, WindowsWiderThanAReadPieceShowTheirColumns) {
  const int cols8 = 200003, colsGi = 200004;
  std::vector<uint8_t> band, component;
  std::vector<uint16_t> full, reduced2, reduced3;
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < cols8; ++c) {
      band.push_back(uint8_t(wide8(r, c)));
      component.push_back(uint8_t(wide_component(r, c)));
    }
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < colsGi; ++c) full.push_back(uint16_t(gi_band1(r, c)));
  for (int w = 0; w < colsGi / 4; ++w) {
    reduced2.push_back(uint16_t(gi_band2(w)));
    reduced3.push_back(uint16_t(gi_band3(w)));
  }
  testsupport::write_band8(path("wide8"), band);
  testsupport::write_band8(path("widepc"), component);
  testsupport::write_band16(path("gi1"), full);
  testsupport::write_band16(path("gi2"), reduced2);
  testsupport::write_band16(path("gi3"), reduced3);
  shelltest::expect_photos(
      dir, "RawImage",
      {{config(path("wide8"), "1", path("widepc"),
               "1 2 200003 0 3 2 200000 2 9 2|B1||C1||B1|"),
        9, 2,
        [](int x, int y) {
          const int c = 3 + 199999 * x / 8;
          return Rgb{wide8(y, c), wide_component(y, c), wide8(y, c)};
        }},
       {config(path("gi1") + " " + path("gi2") + " " + path("gi3"), "1 2 3",
               "NO-PCI", "4 2 200004 0 1 2 200002 2 7 2|B1||B2||B3|"),
        7, 2,
        [](int x, int y) {
          const int c = 1 + 200001 * x / 6;
          return Rgb{gi_band1(y, c) / 4, gi_band2(c / 4) / 4,
                     gi_band3(c / 4) / 4};
        }},
       // GI stores no band 6: it adds nothing, never band 3's samples
       {config(path("gi3") + " " + path("gi1"), "3 6", "NO-PCI",
               "4 2 200004 0 1 2 200002 2 7 1|B6+B3|"),
        7, 2, [](int x, int) {
          return grey(gi_band3((1 + 200001 * x / 6) / 4) / 4);
        }}});
}

Rgb entry(int e) { return {e, (e * 7) & 255, 255 - e}; }

// A bar `width` wide: its columns show the entries spread across it, and a
// bar 1 pixel wide shows entry 0.
std::function<Rgb(int, int)> bar(int width) {
  return [width](int x, int) {
    return entry(width > 1 ? 255 * x / (width - 1) : 0);
  };
}

TEST(PaletteImage, ColumnsShowTheEntriesSpreadAcrossTheBar) {
  const std::string all = shelltest::palette_text(entry);
  const std::string m = "1 {Error in photo configuration string [";
  shelltest::TempDir dir;
  shelltest::expect_photos(
      dir, "PaletteImage",
      {{"2 700 |" + all, 700, 2, bar(700)},
       {"1 10 | " + all + " 1 2 3 text after", 10, 1, bar(10)},
       {"2 1 |" + all, 1, 2, bar(1)},
       // 256 shows as 0, -5 reads as 5, 300 as 44
       {"1 2 |256 -5 300" + all.substr(all.find(" 1 7 254")), 2, 1,
        [](int x, int) {
          return x ? entry(255) : Rgb{0, 5, 44};
        }},
       {"0 8 |" + all, 0, 0, nullptr},
       {"-3 -8 |" + all, 0, 0, nullptr},
       {"1 2 " + all, 0, 0, nullptr, m + "1].}"},
       {"1 2 |" + all.substr(0, all.rfind(' ')), 0, 0, nullptr, m + "2].}"},
       {"1 2 |99999999999 " + all, 0, 0, nullptr, m + "2].}"}});
}

}  // namespace
