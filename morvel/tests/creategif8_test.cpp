// CreateGif on an 8-bit screen: no palette sampling, so the colours enter
// the palette in the order they first appear, row by row.
#include <gtest/gtest.h>

#include "shelltest.h"

namespace {

const bool kEightBits = (shelltest::display_depth() = 8, true);

TEST(CreateGifEightBit, ColoursEnterInOrderOfFirstAppearance) {
  shelltest::TempDir dir;
  ASSERT_EQ(shelltest::run_script(dir, "puts [winfo depth .]").out, "8\n");
  const auto gif = shelltest::capture_frames(dir, 35, 45);
  EXPECT_EQ(gif.palette, (std::vector<shelltest::Rgb>{{1, 2, 3},
                                                      {250, 251, 252},
                                                      {16, 32, 48},
                                                      {255, 0, 0},
                                                      {255, 255, 255},
                                                      {0, 255, 128}}));
  shelltest::expect_pixels(gif, 45, 35, shelltest::frames_colour, "8-bit");
}

}  // namespace
