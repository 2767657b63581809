// The "PaletteImage" photo format: the colour bar and its messages.
#include <gtest/gtest.h>

#include <string>

#include "formattest.h"

namespace {

using formattest::Rgb;
using formattest::tcl_quote;

Rgb Entry(int e) { return {e, (e * 7) & 255, 255 - e}; }

TEST(PaletteImage, ColumnsShowTheEntriesSpreadAcrossTheBar) {
  const std::string pal = formattest::palette_text(Entry);
  const struct {
    int width, height;
  } cases[] = {{256, 3}, {2, 4}, {1, 2}, {10, 1}, {700, 2}};
  std::string script;
  for (const auto &c : cases)
    script += "dump_photo PaletteImage " +
              tcl_quote(std::to_string(c.height) + " " +
                        std::to_string(c.width) + " |" + pal) +
              "\n";
  testsupport::TempDir dir;
  const auto out = formattest::run_lines(dir, script);
  ASSERT_EQ(out.size(), std::size(cases));
  for (size_t i = 0; i < out.size(); ++i) {
    const auto p = formattest::parse_pixels(out[i]);
    const int w = cases[i].width;
    ASSERT_TRUE(p.ok) << out[i].substr(0, 80);
    ASSERT_EQ(p.width, w);
    ASSERT_EQ(p.height, cases[i].height);
    for (int y = 0; y < p.height; ++y)
      for (int x = 0; x < w; ++x) {
        const int e = w > 1 ? 255 * x / (w - 1) : 0;
        ASSERT_EQ(p.at(x, y), Entry(e))
            << "width " << w << " column " << x << " row " << y;
      }
  }
}

TEST(PaletteImage, NumbersKeepTheirLowBitsAndFaultsHaveTheirMessages) {
  // 256 shows as 0, -5 reads as 5, 300 as 44.
  const std::string all = formattest::palette_text(Entry);
  const std::string pal = "256 -5 300" + all.substr(all.find(" 1 7 254"));
  const std::string commas = formattest::palette_text(Entry, ",");
  const struct {
    std::string data, result;
  } cases[] = {
      {"1 2 |" + pal, "{#00052c #fff900}"},
      {"1 2 " + all, "1 Error in photo configuration string [1]."},
      {"1 2 |" + all.substr(0, all.rfind(' ')),
       "1 Error in photo configuration string [2]."},
      {"1 2 |" + commas, "1 Error in photo configuration string [2]."},
      {"1 2 |99999999999 " + all, "1 Error in photo configuration string [2]."},
      {"1 2 | " + all + " 1 2 3 text after", "{#0000ff #fff900}"},
      {"-3 -8 |" + all, "0 0 0"},
      {"0 8 |" + all, "0 0 0"},
  };
  std::string script;
  for (const auto &c : cases) {
    const bool dump = c.result[0] == '{';
    script += std::string(dump ? "dump_photo" : "try_photo") +
              " PaletteImage " + tcl_quote(c.data) + "\n";
  }
  testsupport::TempDir dir;
  const auto out = formattest::run_lines(dir, script);
  ASSERT_EQ(out.size(), std::size(cases));
  for (size_t i = 0; i < out.size(); ++i)
    EXPECT_EQ(out[i], cases[i].result) << i;
}

}  // namespace
