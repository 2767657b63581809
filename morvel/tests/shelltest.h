// Helpers for the shell's tests: scripts run in the built shell under a
// virtual X server of the test program's own; photos and GIF files read
// back as pixels.
#pragma once

#include <gd.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "testsupport.h"

namespace shelltest {

using testsupport::TempDir;
using Rgb = std::array<int, 3>;  // {-1, ...} wanted: any colour
using Calls = std::vector<std::pair<std::string, std::string>>;

// Pixels read back from a GIF file, with its palette and each pixel's index.
struct Picture {
  int width = 0, height = 0;
  std::vector<Rgb> rgb, palette;  // rgb row-major
  std::vector<int> index;
};

// A photo made from `data`: `width` x `height` pixels as want(x, y), or,
// where `error` is given, that result.
struct PhotoCase {
  std::string data;
  int width, height;
  std::function<Rgb(int, int)> want;
  std::string error = {};
};

// The depth of the virtual screen, started by the first script: 24 unless
// a test program sets another first.
inline int &display_depth() {
  static int depth = 24;
  return depth;
}

// Runs `script`, then "exit 0", in morvel; a script error exits with 1.
// Unless `addressLimit` is 0, the shell's address space is limited to that
// many bytes (see run_program_with_address_limit).
inline testsupport::RunResult run_script(const TempDir &dir,
                                         const std::string &script,
                                         size_t addressLimit = 0) {
  static const testsupport::VirtualDisplay display(display_depth());
  EXPECT_TRUE(display.ok()) << "the virtual X server (Xvfb) did not start";
  testsupport::write_file(dir.file("script.tcl"), script + "\nexit 0\n");
  if (addressLimit != 0)
    return testsupport::run_program_with_address_limit(
        "morvel", {dir.file("script.tcl")}, addressLimit);
  return testsupport::run_program("morvel", {dir.file("script.tcl")}, 300);
}

// `text` as one Tcl word, every byte kept.
inline std::string quote(const std::string &text) {
  std::string quoted = "\"";
  for (unsigned char c : text) {
    char hex[8];
    snprintf(hex, sizeof hex, isalnum(c) ? "%c" : "\\x%02x", c);
    quoted += hex;
  }
  return quoted + "\"";
}

inline std::vector<std::string> lines(const std::string &text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// Runs `setup`, then each command, printing "<status> <result>" as a Tcl
// list: each line must equal its answer (any line for ""). Returns them.
// `addressLimit` as for run_script.
inline std::vector<std::string> expect_calls(const TempDir &dir,
                                             const std::string &setup,
                                             const Calls &calls,
                                             size_t addressLimit = 0) {
  std::string script = setup;
  for (const auto &c : calls)
    script += "puts [list [catch {" + c.first + "} r] $r]\n";
  const auto r = run_script(dir, script, addressLimit);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  auto out = lines(r.out);
  EXPECT_EQ(out.size(), calls.size());
  out.resize(calls.size());
  for (size_t i = 0; i < calls.size(); ++i)
    EXPECT_TRUE(calls[i].second.empty() || out[i] == calls[i].second)
        << out[i] << "\n  wanted: " << calls[i].second << "\n  for "
        << calls[i].first.substr(0, 150);
  return out;
}

inline Picture read_gif(const std::string &path) {
  Picture gif;
  gdImagePtr image = gdImageCreateFromFile(path.c_str());
  if (image == nullptr) return gif;
  gif.width = gdImageSX(image);
  gif.height = gdImageSY(image);
  for (int i = 0; i < gdImageColorsTotal(image); ++i)
    gif.palette.push_back(
        {gdImageRed(image, i), gdImageGreen(image, i), gdImageBlue(image, i)});
  for (int y = 0; y < gif.height; ++y)
    for (int x = 0; x < gif.width; ++x) {
      gif.index.push_back(gdImageGetPixel(image, x, y));
      gif.rgb.push_back(gif.palette[size_t(gif.index.back())]);
    }
  gdImageDestroy(image);
  return gif;
}

// `p` is width x height and every pixel equals want(x, y).
inline void expect_pixels(const Picture &p, int width, int height,
                          const std::function<Rgb(int, int)> &want,
                          const std::string &what) {
  ASSERT_TRUE(p.width == width && p.height == height &&
              p.rgb.size() == size_t(width) * size_t(height))
      << what << ": " << p.width << "x" << p.height;
  int wrong = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const Rgb got = p.rgb[size_t(y) * size_t(width) + size_t(x)];
      if (want(x, y)[0] >= 0 && got != want(x, y) && ++wrong <= 3)
        ADD_FAILURE() << what << ": pixel " << x << "," << y << " is "
                      << testing::PrintToString(got);
    }
}

// Photos of `format` made from each case's data.
inline void expect_photos(const TempDir &dir, const std::string &format,
                          const std::vector<PhotoCase> &cases) {
  Calls calls;
  for (const auto &c : cases)
    calls.push_back({"set p [image create photo -format " + format + " -data " +
                         quote(c.data) +
                         "]\nconcat [image width $p] [image height $p] "
                         "[join [$p data]]",
                     c.error});
  const auto out = expect_calls(dir, "", calls);
  for (size_t i = 0; i < cases.size(); ++i) {
    if (!cases[i].error.empty()) continue;
    Picture p;
    std::istringstream in(out[i].substr(std::min<size_t>(out[i].size(), 3)));
    in >> p.width >> p.height;
    for (unsigned v; in.ignore(2) && in >> std::hex >> v;)
      p.rgb.push_back({int(v >> 16), int((v >> 8) & 0xFF), int(v & 0xFF)});
    expect_pixels(p, cases[i].width, cases[i].height, cases[i].want,
                  out[i].substr(0, 60));
  }
}

// 768 palette numbers "r g b r g b ...", entry e from colour(e).
inline std::string palette_text(const std::function<Rgb(int)> &colour) {
  std::string text;
  for (int e = 0; e < 256; ++e)
    for (int v : colour(e))
      text += (text.empty() ? "" : " ") + std::to_string(v);
  return text;
}

// A 40 x 30 frame ".f" at the screen's top-left: background #102030, a red
// block at columns 20..39 of rows 0..9, a #00ff80 band over rows 20..29.
inline const char *const kFrames =
    "wm geometry . +0+0\n"
    "frame .f -width 40 -height 30 -bg #102030 -bd 0 -highlightthickness 0\n"
    "place [frame .f.a -bg #ff0000 -bd 0 -highlightthickness 0]"
    " -x 20 -y 0 -width 20 -height 10\n"
    "place [frame .f.b -bg #00ff80 -bd 0 -highlightthickness 0]"
    " -x 0 -y 20 -width 40 -height 10\n"
    "pack .f\nupdate\n";

// The colour of pixel (x, y) of a capture of ".f"; white outside it.
inline Rgb frames_colour(int x, int y) {
  if (x >= 40 || y >= 30) return {255, 255, 255};
  if (y >= 20) return {0, 255, 128};
  if (y < 10 && x >= 20) return {255, 0, 0};
  return {16, 32, 48};
}

// A setup that defines `peak`, the process's peak resident memory in kB,
// and keeps its value at the start in `before`.
inline const char *const kPeakMemory =
    "proc peak {} {\n  set f [open /proc/self/status]\n"
    "  regexp {VmHWM:\\s+(\\d+)} [read $f] -> kb\n  close $f\n"
    "  return $kb\n}\nset before [peak]\n";

// CreateGif of `rows` x `cols` of ".f" after `setup`, with the reserved
// colours (1, 2, 3) and (250, 251, 252), read back.
inline Picture capture_frames(const TempDir &dir, int rows, int cols,
                              const std::string &setup = "") {
  expect_calls(
      dir, kFrames + setup,
      {{"CreateGif .f " + dir.file("frames.gif") + " " + std::to_string(rows) +
            " " + std::to_string(cols) + " 2 {1 250} {2 251} {3 252} {}",
        "0 {}"}});
  return read_gif(dir.file("frames.gif"));
}

}  // namespace shelltest
