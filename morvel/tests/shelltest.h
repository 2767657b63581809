// Helpers for the shell's tests: scripts run in the built shell under a
// virtual X server of the test program's own; photos and GIF files read
// back as pixels.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "testsupport.h"

namespace shelltest {

using testsupport::TempDir;
using Rgb = std::array<int, 3>;  // {-1, -1, -1} wanted: any colour

// The virtual screen's depth: 24 unless a test program sets another first.
int &display_depth();

// Runs `script`, then "exit 0", in morvel; a script error exits with 1.
testsupport::RunResult run_script(const TempDir &dir,
                                  const std::string &script);

// `text` as one Tcl word, every byte kept.
std::string quote(const std::string &text);

std::vector<std::string> lines(const std::string &text);

// Runs `setup`, then each command, printing "<status> <result>" as a Tcl
// list: each line must equal its answer (any line for ""). Returns them.
using Calls = std::vector<std::pair<std::string, std::string>>;
std::vector<std::string> expect_calls(const TempDir &dir,
                                      const std::string &setup,
                                      const Calls &calls);

// Pixels read back from a GIF file, with its palette and each pixel's index.
struct Picture {
  int width = 0, height = 0;
  std::vector<Rgb> rgb, palette;  // rgb row-major
  std::vector<int> index;
};
Picture read_gif(const std::string &path);

// `p` is width x height and every pixel equals want(x, y).
void expect_pixels(const Picture &p, int width, int height,
                   const std::function<Rgb(int, int)> &want,
                   const std::string &what);

// A photo of `format` made from `data`: `width` x `height` pixels as
// want(x, y), or, where `error` is given, that result.
struct PhotoCase {
  std::string data;
  int width, height;
  std::function<Rgb(int, int)> want;
  std::string error = {};
};
void expect_photos(const TempDir &dir, const std::string &format,
                   const std::vector<PhotoCase> &cases);

// 768 palette numbers "r g b r g b ...", entry e from colour(e).
std::string palette_text(const std::function<Rgb(int)> &colour);

// A 40 x 30 frame ".f" at the screen's top-left: background #102030, a red
// block at columns 20..39 of rows 0..9, a #00ff80 band over rows 20..29.
extern const char *const kFrames;
// The colour of pixel (x, y) of a capture of ".f"; white outside it.
Rgb frames_colour(int x, int y);
// CreateGif of `rows` x `cols` of ".f" after `setup`, with the reserved
// colours (1, 2, 3) and (250, 251, 252), read back.
Picture capture_frames(const TempDir &dir, int rows, int cols,
                       const std::string &setup = "");

}  // namespace shelltest
