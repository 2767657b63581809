// Helpers for the photo format tests: Tcl quoting, photos read back as
// pixels, palettes as configuration text.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "shelltest.h"

namespace formattest {

// `text` as one Tcl word, every byte kept.
std::string tcl_quote(const std::string &text);

// The lines of `text`, without their line ends.
std::vector<std::string> lines(const std::string &text);

// Tcl procedures for the scripts: `try_photo format data` prints "0 <width>
// <height>" or "1 <message>"; `dump_photo format data` prints the photo's
// pixels, each row in braces, or "1 <message>".
extern const char *const SCRIPT_PROCS;

// Runs `script` (after SCRIPT_PROCS) and returns its output lines; a
// failing run fails the calling test.
std::vector<std::string> run_lines(const testsupport::TempDir &dir,
                                   const std::string &script);

using Rgb = std::array<int, 3>;

// A photo as `dump_photo` printed it: each row in braces, "#rrggbb" words.
struct Pixels {
  int width = 0, height = 0;
  std::vector<Rgb> rgb;  // row-major
  bool ok = false;       // false when the line was a failure
  const Rgb &at(int x, int y) const {
    return rgb[static_cast<size_t>(y) * static_cast<size_t>(width) +
               static_cast<size_t>(x)];
  }
};
Pixels parse_pixels(const std::string &line);

// 768 palette numbers "r g b r g b ...", entry e from colour(e).
std::string palette_text(const std::function<Rgb(int)> &colour,
                         const std::string &separator = " ");

}  // namespace formattest
