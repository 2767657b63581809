// CreateGif on a true-colour screen: the GIF against the window's pixels,
// reserved colours, a full palette, progress scripts and the refusals.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <tuple>

#include "shelltest.h"

namespace {

using shelltest::Rgb;
using shelltest::TempDir;

// Columns of ".f" beyond `visible` are off the screen or hidden: white.
TEST(CreateGif, SavesWhatTheScreenShowsWithReservedColoursFirst) {
  for (auto [setup, visible] : {std::pair{"", 40},
                                {"wm geometry . +1260+0\nupdate\n", 20},
                                {"wm geometry . 20x30\nplace .f -x 0 -y 0\n"
                                 "update\n",
                                 20},
                                {"wm withdraw .\nupdate\n", 0}}) {
    TempDir dir;
    const auto gif = shelltest::capture_frames(dir, 35, 45, setup);
    shelltest::expect_pixels(
        gif, 45, 35,
        [&](int x, int y) {
          return x < visible ? shelltest::frames_colour(x, y)
                             : Rgb{255, 255, 255};
        },
        setup);
    ASSERT_GE(gif.palette.size(), 2u);  // reserved colours first
    EXPECT_EQ(gif.palette[0], (Rgb{1, 2, 3}));
    EXPECT_EQ(gif.palette[1], (Rgb{250, 251, 252}));
    EXPECT_TRUE(visible != 40 || gif.palette.size() == 6u);
  }
}

// 576 different colours: once the palette is full, each pixel gets the
// first palette entry closest to its colour.
TEST(CreateGif, FullPaletteGivesTheClosestColour) {
  TempDir dir;
  const auto colour = [](int x, int y) {
    return Rgb{x * 10 + 5, y * 10 + 3, (x * 7 + y * 13) % 256};
  };
  std::string setup = "wm geometry . +0+0\nimage create photo q\n";
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 24; ++x) {
      char put[64];
      snprintf(put, sizeof put, "q put #%02x%02x%02x -to %d %d\n",
               colour(x, y)[0], colour(x, y)[1], colour(x, y)[2], x, y);
      setup += put;
    }
  // a canvas: a label loads fonts, which the leak checker reports
  shelltest::expect_calls(
      dir,
      setup +
          "pack [canvas .l -width 24 -height 24 -bd 0 "
          "-highlightthickness 0]\n.l create image 0 0 -anchor nw "
          "-image q\nupdate\n",
      {{"CreateGif .l " + dir.file("a.gif") + " 24 24 1 0 0 0 {}", "0 {}"}});
  const auto gif = shelltest::read_gif(dir.file("a.gif"));
  ASSERT_EQ(gif.palette.size(), 256u);
  EXPECT_EQ(gif.palette[0], (Rgb{0, 0, 0}));
  for (int i = 0; i < 24 * 24; ++i) {
    int best = 0, bestDistance = INT_MAX;
    for (int e = 0; e < 256; ++e) {
      int d = 0;
      for (int k = 0; k < 3; ++k)
        d += (gif.palette[e][k] - colour(i % 24, i / 24)[k]) *
             (gif.palette[e][k] - colour(i % 24, i / 24)[k]);
      if (d < bestDistance) best = e, bestDistance = d;
    }
    ASSERT_EQ(gif.index.at(size_t(i)), best) << i;
  }
}

TEST(CreateGif, ProgressScriptsAndRefusals) {
  TempDir dir;
  std::string many;  // 36 reserved colours
  for (int k = 0; k < 36; ++k) many += "1 ";
  const std::string none = "0 {} {} {}", bad = "1 {Illegal parameter.}",
                    colours = "1 {Illegal red/green/blue.}";
  // CreateGif of `rows` of ".f"; after a success, ::p: what the progress
  // script made of it. A refusal creates no file.
  auto gif = [&](const std::string &rows, const std::string &reserved,
                 const std::string &progress, const std::string &answer) {
    const bool ok = answer[0] == '0';
    return std::pair{"set ::p {}\nCreateGif .f " +
                         dir.file(ok ? "g.gif" : "no.gif") + " " + rows +
                         " 5 " + reserved + " {" + progress + "}" +
                         (ok ? "\nset ::p" : ""),
                     answer};
  };
  shelltest::Calls calls = {
      gif("3", none, "lappend ::p %d", "0 {33 66 100}"),
      gif("3", none, "append ::p <%03i>", "0 <033><066><100>"),
      gif("3", none, "append ::p {<%+ -4d>}", "0 {<+33 ><+66 ><+100>}"),
      gif("3", none, "append ::p %%%d", "0 %33%66%100"),
      gif("3", none, "append ::p x", "0 xxx"),
      gif("1", none, "append ::p " + std::string(300, 'x') + "%d",
          "0 " + std::string(300, 'x') + "100"),
      gif("2", none, "lappend ::p %d; error ignored", "0 {50 100}"),
      gif("3", none + " {} extra", "", "1 {Missing/extra parameter.}"),
      gif("x", none, "", bad),
      gif("0", none, "", bad),
      gif("3", "y {} {} {}", "", bad),
      gif("3", "2 {1 2} {1 2} {1 2 3}", "", colours),
      gif("3", "1 {1} {x} {1}", "", colours),
      gif("3", "-1 {} {} {}", "", colours),
      gif("3", "36 {" + many + "} {" + many + "} {" + many + "}", "", colours),
      gif("3", none, "puts %s", bad),
      gif("3", none, "puts %n", bad),
      gif("3", none, "puts %d%d", bad),
      gif("3", none, "puts %12345d", bad),
      gif("3", none, "puts 100%", bad)};
  const std::string args = " 3 5 " + none + " {}";
  calls.push_back({"CreateGif .nope " + dir.file("g.gif") + args,
                   "1 {bad window path name \".nope\"}"});
  calls.push_back({"CreateGif .f " + dir.file("none/x.gif") + args,
                   "1 {Error opening GIF file (No such file or directory).}"});
  calls.push_back({"CreateGif .f /dev/full" + args,
                   "1 {Error writing GIF file (No space left on device).}"});
  shelltest::expect_calls(dir, shelltest::kFrames, calls);
  EXPECT_FALSE(testsupport::file_exists(dir.file("no.gif")));
}

// A GIF holds its width and height in 16 bits: a side beyond 65535 is
// refused before the reserved colours are looked at and before any file is
// made, never written with its size cut to 16 bits.
TEST(CreateGif, SidesBeyondSixteenBitsAreRefused) {
  TempDir dir;
  const std::string bad = "1 {Illegal parameter.}", none = " 0 {} {} {} {}";
  auto gif = [&](const std::string &name, const std::string &sides,
                 const std::string &rest) {
    return "CreateGif .f " + dir.file(name) + " " + sides + rest;
  };
  shelltest::expect_calls(
      dir, shelltest::kFrames,
      {{gif("no.gif", "1 70000", none), bad},
       {gif("no.gif", "70000 1", none), bad},
       {gif("no.gif", "1 65536", none), bad},
       {gif("no.gif", "65536 1", none), bad},
       {gif("no.gif", "1 2147483647", none), bad},
       {gif("no.gif", "1 65536", " 2 {1} {2} {3} {}"), bad},
       // gd refuses an image of 4 GB, quietly
       {gif("no.gif", "65535 65535", none), "1 {Error allocating memory.}"},
       {gif("wide.gif", "1 65535", none), "0 {}"},
       {gif("high.gif", "65535 1", none), "0 {}"}});
  EXPECT_FALSE(testsupport::file_exists(dir.file("no.gif")));
  for (auto [name, width, height] :
       {std::tuple{"wide.gif", 65535, 1}, {"high.gif", 1, 65535}}) {
    const auto picture = shelltest::read_gif(dir.file(name));
    EXPECT_EQ(picture.width, width) << name;
    EXPECT_EQ(picture.height, height) << name;
    // The visible frame: its first pixel, then white beyond it.
    ASSERT_EQ(picture.rgb.size(), size_t(65535)) << name;
    EXPECT_EQ(picture.rgb.front(), (Rgb{16, 32, 48})) << name;
    EXPECT_EQ(picture.rgb.back(), (Rgb{255, 255, 255})) << name;
  }
}

#if !defined(__SANITIZE_ADDRESS__)
// A progress script longer than the memory left: the command gives its
// allocation message, and the shell lives on. The shell gets a limited
// address space (ASan's allocator aborts instead, hence not there); the
// script takes a little over half of what is left under the limit, so
// that Tcl can hold it and the command cannot copy it.
TEST(CreateGif, AProgressScriptBeyondTheMemoryLeftIsRefused) {
  TempDir dir;
  shelltest::expect_calls(dir, "", {{"expr 1", "0 1"}});  // display started
  constexpr long long kLimitKb = 1 << 20;
  shelltest::expect_calls(
      dir,
      std::string(shelltest::kFrames) +
          "set f [open /proc/self/status]\n"
          "regexp {VmSize:\\s+(\\d+)} [read $f] -> kb\nclose $f\n"
          "set s [string repeat x [expr {(" +
          std::to_string(kLimitKb) + " - $kb) * 1024 * 11 / 20}]]\n",
      {{"CreateGif .f " + dir.file("g.gif") + " 3 5 0 {} {} {} $s",
        "1 {Error allocating memory.}"},
       {"unset s\nCreateGif .f " + dir.file("g.gif") + " 3 5 0 {} {} {} {}",
        "0 {}"}},
      size_t(kLimitKb) << 10);
}
#endif

}  // namespace
