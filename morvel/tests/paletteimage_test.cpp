// The "PaletteImage" photo format: the colour bar and its messages.
#include <gtest/gtest.h>

#include <string>

#include "shelltest.h"

namespace {

using shelltest::Rgb;
using shelltest::tcl_quote;

Rgb Entry(int e) { return {e, (e * 7) & 255, 255 - e}; }

TEST(PaletteImage, ColumnsShowTheEntriesSpreadAcrossTheBar) {
  const std::string pal = shelltest::palette_text(Entry);
  const struct {
    int width, height;
  } cases[] = {{256, 3}, {2, 4}, {1, 2}, {10, 1}, {700, 2}};
  std::string script;
  for (const auto &c : cases)
    script += "photo PaletteImage " +
              tcl_quote(std::to_string(c.height) + " " +
                        std::to_string(c.width) + " |" + pal) +
              "\n";
  testsupport::TempDir dir;
  const auto out = shelltest::run_lines(dir, script);
  ASSERT_EQ(out.size(), std::size(cases));
  for (size_t i = 0; i < out.size(); ++i) {
    const auto p = shelltest::parse_pixels(out[i]);
    const int w = cases[i].width;
    EXPECT_TRUE(p.width == w && p.height == cases[i].height) << out[i];
    shelltest::expect_pixels(
        p, w, cases[i].height,
        [w](int x, int) { return Entry(w > 1 ? 255 * x / (w - 1) : 0); },
        "width " + std::to_string(w));
  }
}

TEST(PaletteImage, NumbersKeepTheirLowBitsAndFaultsHaveTheirMessages) {
  // 256 shows as 0, -5 reads as 5, 300 as 44.
  const std::string all = shelltest::palette_text(Entry);
  const std::string pal = "256 -5 300" + all.substr(all.find(" 1 7 254"));
  const std::string m = "1 Error in photo configuration string [";
  const struct {
    std::string data, result;
  } cases[] = {
      {"1 2 |" + pal, "0 2 1 #00052c #fff900"},
      {"1 2 " + all, m + "1]."},
      {"1 2 |" + all.substr(0, all.rfind(' ')), m + "2]."},
      {"1 2 |" + shelltest::palette_text(Entry, ","), m + "2]."},
      {"1 2 |99999999999 " + all, m + "2]."},
      {"1 2 | " + all + " 1 2 3 text after", "0 2 1 #0000ff #fff900"},
      {"-3 -8 |" + all, "0 0 0"},
      {"0 8 |" + all, "0 0 0"},
  };
  std::string script;
  for (const auto &c : cases)
    script += "photo PaletteImage " + tcl_quote(c.data) + "\n";
  testsupport::TempDir dir;
  const auto out = shelltest::run_lines(dir, script);
  ASSERT_EQ(out.size(), std::size(cases));
  for (size_t i = 0; i < out.size(); ++i)
    EXPECT_EQ(out[i], cases[i].result) << i;
}

}  // namespace
