// The "PaletteImage" photo format: the colour bar and its messages.
#include <gtest/gtest.h>

#include <string>

#include "shelltest.h"

namespace {

using shelltest::Rgb;

Rgb Entry(int e) { return {e, (e * 7) & 255, 255 - e}; }

TEST(PaletteImage, ColumnsShowTheEntriesSpreadAcrossTheBar) {
  const std::string all = shelltest::palette_text(Entry);
  // 256 shows as 0, -5 reads as 5, 300 as 44.
  const std::string low = "256 -5 300" + all.substr(all.find(" 1 7 254"));
  const std::string m = "1 {Error in photo configuration string [";
  const struct {
    int width, height;
    std::string data, error;  // data after the size
  } cases[] = {
      {700, 2, "|" + all, ""},
      {10, 1, "| " + all + " 1 2 3 text after", ""},
      {1, 2, "|" + all, ""},  // a bar 1 pixel wide shows entry 0
      {2, 1, "|" + low, ""},
      {0, 0, "|" + all, ""},
      {-8, -3, "|" + all, ""},
      {2, 1, all, m + "1].}"},
      {2, 1, "|" + all.substr(0, all.rfind(' ')), m + "2].}"},
      {2, 1, "|99999999999 " + all, m + "2].}"},
  };
  std::vector<std::string> data;
  for (const auto &c : cases)
    data.push_back(std::to_string(c.height) + " " + std::to_string(c.width) +
                   " " + c.data);
  shelltest::TempDir dir;
  const auto photos = shelltest::photo_pixels(dir, "PaletteImage", data);
  for (size_t i = 0; i < photos.size(); ++i) {
    const int w = cases[i].width;
    if (!cases[i].error.empty())
      EXPECT_EQ(photos[i].error, cases[i].error) << i;
    else if (w == 2)
      shelltest::expect_pixels(
          photos[i], 2, 1,
          [](int x, int) {
            return x ? Entry(255) : Rgb{0, 5, 44};
          },
          "low bits");
    else
      shelltest::expect_pixels(
          photos[i], std::max(w, 0), std::max(cases[i].height, 0),
          [w](int x, int) { return Entry(w > 1 ? 255 * x / (w - 1) : 0); },
          "width " + std::to_string(w));
  }
}

}  // namespace
