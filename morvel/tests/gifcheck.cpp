#include "gifcheck.h"

#include <gd.h>
#include <gtest/gtest.h>

#include <cstdio>

#include "shelltest.h"

namespace gifcheck {

Gif read_gif(const std::string &path) {
  Gif gif;
  FILE *file = fopen(path.c_str(), "rb");
  if (file == nullptr) return gif;
  gdImagePtr image = gdImageCreateFromGif(file);
  fclose(file);
  if (image == nullptr) return gif;
  gif.ok = true;
  gif.width = gdImageSX(image);
  gif.height = gdImageSY(image);
  for (int i = 0; i < gdImageColorsTotal(image); ++i)
    gif.palette.push_back(
        {gdImageRed(image, i), gdImageGreen(image, i), gdImageBlue(image, i)});
  for (int y = 0; y < gif.height; ++y)
    for (int x = 0; x < gif.width; ++x)
      gif.index.push_back(gdImageGetPixel(image, x, y));
  gdImageDestroy(image);
  return gif;
}

const char *const kFramesScript =
    "wm geometry . +0+0\n"
    "frame .f -width 40 -height 30 -bg #102030 -bd 0 -highlightthickness 0\n"
    "place [frame .f.a -bg #ff0000 -bd 0 -highlightthickness 0]"
    " -x 20 -y 0 -width 20 -height 10\n"
    "place [frame .f.b -bg #00ff80 -bd 0 -highlightthickness 0]"
    " -x 0 -y 20 -width 40 -height 10\n"
    "pack .f\n"
    "update\n";

Rgb frames_colour(int x, int y) {
  if (x >= 40 || y >= 30) return {255, 255, 255};
  if (y >= 20) return {0, 255, 128};
  if (y < 10 && x >= 20) return {255, 0, 0};
  return {16, 32, 48};
}

Gif capture_frames(const testsupport::TempDir &dir, int rows, int cols,
                   const std::string &setup) {
  const std::string gif = dir.file("frames.gif");
  const auto r = shelltest::run_script(
      dir, std::string(kFramesScript) + setup +
               shelltest::show(
                   "CreateGif .f " + gif + " " + std::to_string(rows) + " " +
                   std::to_string(cols) + " 2 {1 250} {2 251} {3 252} {}"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "0 {}\n");
  return read_gif(gif);
}

}  // namespace gifcheck
