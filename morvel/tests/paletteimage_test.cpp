// The "PaletteImage" photo format: the colour bar and its messages.
#include <gtest/gtest.h>

#include <string>

#include "shelltest.h"

namespace {

using shelltest::Rgb;

Rgb Entry(int e) { return {e, (e * 7) & 255, 255 - e}; }

// A bar `width` wide: its columns show the entries spread across it, and a
// bar 1 pixel wide shows entry 0.
std::function<Rgb(int, int)> Bar(int width) {
  return [width](int x, int) {
    return Entry(width > 1 ? 255 * x / (width - 1) : 0);
  };
}

TEST(PaletteImage, ColumnsShowTheEntriesSpreadAcrossTheBar) {
  const std::string all = shelltest::palette_text(Entry);
  const std::string m = "1 {Error in photo configuration string [";
  shelltest::TempDir dir;
  shelltest::expect_photos(
      dir, "PaletteImage",
      {{"2 700 |" + all, 700, 2, Bar(700)},
       {"1 10 | " + all + " 1 2 3 text after", 10, 1, Bar(10)},
       {"2 1 |" + all, 1, 2, Bar(1)},
       // 256 shows as 0, -5 reads as 5, 300 as 44
       {"1 2 |256 -5 300" + all.substr(all.find(" 1 7 254")), 2, 1,
        [](int x, int) {
          return x ? Entry(255) : Rgb{0, 5, 44};
        }},
       {"0 8 |" + all, 0, 0, nullptr},
       {"-3 -8 |" + all, 0, 0, nullptr},
       {"1 2 " + all, 0, 0, nullptr, m + "1].}"},
       {"1 2 |" + all.substr(0, all.rfind(' ')), 0, 0, nullptr, m + "2].}"},
       {"1 2 |99999999999 " + all, 0, 0, nullptr, m + "2].}"}});
}

}  // namespace
