// CreateGif on an 8-bit screen: no palette sampling, so the colours enter
// the palette in the order they first appear, row by row.
#include <gtest/gtest.h>

#include "shelltest.h"

namespace {

using shelltest::Rgb;

const bool kEightBits = (shelltest::display_depth() = 8, true);

TEST(CreateGifEightBit, ColoursEnterInOrderOfFirstAppearance) {
  testsupport::TempDir dir;
  const auto depth = shelltest::run_script(dir, "puts [winfo depth .]");
  ASSERT_EQ(depth.out, "8\n");
  const auto gif = shelltest::capture_frames(dir, 35, 45);
  ASSERT_TRUE(gif.width == 45 && gif.height == 35);
  const std::vector<Rgb> palette = {{1, 2, 3},       {250, 251, 252},
                                    {16, 32, 48},    {255, 0, 0},
                                    {255, 255, 255}, {0, 255, 128}};
  EXPECT_EQ(gif.palette, palette);
  shelltest::expect_pixels(gif, 45, 35, shelltest::frames_colour, "8-bit");
}

}  // namespace
