// Decoding the GIF files that CreateGif writes, and the window of frames
// that the CreateGif tests capture at either screen depth.
#pragma once

#include <string>
#include <vector>

#include "testsupport.h"

namespace gifcheck {

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb &o) const {
    return r == o.r && g == o.g && b == o.b;
  }
};

// A decoded GIF: its palette in order and each pixel's palette index.
struct Gif {
  bool ok = false;
  int width = 0, height = 0;
  std::vector<Rgb> palette;
  std::vector<int> index;  // row-major
  Rgb at(int x, int y) const { return palette[index[y * width + x]]; }
};

Gif read_gif(const std::string &path);

// A 40 x 30 frame ".f" at the screen's top-left: background #102030, a red
// block at columns 20..39 of rows 0..9 and a #00ff80 band over rows 20..29.
extern const char *const kFramesScript;
// The colour of pixel (x, y) of a capture of ".f"; white outside it.
Rgb frames_colour(int x, int y);

// Runs the capture of `rows` x `cols` of ".f" with two reserved colours,
// (1, 2, 3) and (250, 251, 252), after `setup`, and decodes the GIF.
Gif capture_frames(const testsupport::TempDir &dir, int rows, int cols,
                   const std::string &setup = "");

}  // namespace gifcheck
