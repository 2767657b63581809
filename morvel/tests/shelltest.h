// Helpers for the shell's tests: scripts run in the built shell under a
// virtual X server of the test program's own; photos and GIF files read
// back as pixels.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "testsupport.h"

namespace shelltest {

// The virtual screen's depth: 24 unless a test program sets another before
// its tests start.
int &display_depth();

// Runs `script`, then "exit 0", in morvel; a script error exits with 1.
testsupport::RunResult run_script(const testsupport::TempDir &dir,
                                  const std::string &script,
                                  int timeout_seconds = 60);

// Tcl printing `command`'s status and result: "0 <result>" or "1 <message>".
std::string show(const std::string &command);

// `text` as one Tcl word, every byte kept.
std::string tcl_quote(const std::string &text);

std::vector<std::string> lines(const std::string &text);

// Runs `script` with the procedure `photo format data`, which prints "0
// <width> <height> #rrggbb ..." (the pixels row by row) or "1 <message>";
// returns the output lines. A failing run fails the calling test.
std::vector<std::string> run_lines(const testsupport::TempDir &dir,
                                   const std::string &script);

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb &o) const {
    return r == o.r && g == o.g && b == o.b;
  }
  bool operator!=(const Rgb &o) const { return !(*this == o); }
};

// Pixels read back: from a `photo` line, or from a GIF file (which
// also gives its palette and each pixel's palette index).
struct Picture {
  bool ok = false;
  int width = 0, height = 0;
  std::vector<Rgb> rgb, palette;  // rgb row-major
  std::vector<int> index;
  const Rgb &at(int x, int y) const {
    return rgb[static_cast<size_t>(y) * static_cast<size_t>(width) +
               static_cast<size_t>(x)];
  }
};
Picture parse_pixels(const std::string &line);
Picture read_gif(const std::string &path);

// Every pixel of `p` inside width x height equals want(x, y).
void expect_pixels(const Picture &p, int width, int height,
                   const std::function<Rgb(int, int)> &want,
                   const std::string &what);

// 768 palette numbers "r g b r g b ...", entry e from colour(e).
std::string palette_text(const std::function<Rgb(int)> &colour,
                         const std::string &separator = " ");

// A 40 x 30 frame ".f" at the screen's top-left: background #102030, a red
// block at columns 20..39 of rows 0..9, a #00ff80 band over rows 20..29.
extern const char *const kFramesScript;
// The colour of pixel (x, y) of a capture of ".f"; white outside it.
Rgb frames_colour(int x, int y);
// CreateGif of `rows` x `cols` of ".f" after `setup`, with the reserved
// colours (1, 2, 3) and (250, 251, 252), read back.
Picture capture_frames(const testsupport::TempDir &dir, int rows, int cols,
                       const std::string &setup = "");

}  // namespace shelltest
