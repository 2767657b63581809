// CreateGif on a true-colour screen: the GIF against the window's pixels,
// reserved colours, a full palette, progress scripts and the refusals.
#include <gtest/gtest.h>

#include <string>

#include "shelltest.h"

namespace {

using shelltest::Rgb;
using shelltest::TempDir;

TEST(CreateGif, SavesWhatTheScreenShowsWithReservedColoursFirst) {
  const struct {
    const char *setup;
    int rows, cols, visibleCols;  // visible: columns of ".f" on the screen
  } cases[] = {
      {"", 35, 45, 45},
      {"wm geometry . +1260+0\nupdate\n", 30, 40, 20},  // half off the edge
      // half hidden by its parent, which clips it
      {"wm geometry . 20x30\nplace .f -x 0 -y 0\nupdate\n", 30, 40, 20},
      {"wm withdraw .\nupdate\n", 30, 40, 0},  // not shown at all
  };
  for (const auto &c : cases) {
    TempDir dir;
    const auto gif = shelltest::capture_frames(dir, c.rows, c.cols, c.setup);
    shelltest::expect_pixels(
        gif, c.cols, c.rows,
        [&](int x, int y) {
          return x < c.visibleCols ? shelltest::frames_colour(x, y)
                                   : Rgb{255, 255, 255};
        },
        c.setup);
    // reserved colours first, then the four on show
    EXPECT_TRUE(c.visibleCols != 45 || gif.palette.size() == 6u);
    EXPECT_EQ(gif.palette.at(0), (Rgb{1, 2, 3}));
    EXPECT_EQ(gif.palette.at(1), (Rgb{250, 251, 252}));
  }
}

// 576 different colours: once the palette is full, each pixel gets the
// first palette entry closest to its colour.
TEST(CreateGif, FullPaletteGivesTheClosestColour) {
  TempDir dir;
  shelltest::expect_calls(
      dir,
      "wm geometry . +0+0\nimage create photo q -width 24 -height 24\n"
      "for {set y 0} {$y < 24} {incr y} {\n for {set x 0} {$x < 24} {incr x} "
      "{\n"
      "  q put [format #%02x%02x%02x [expr {$x * 10 + 5}] [expr {$y * 10 + 3}]"
      " [expr {($x * 7 + $y * 13) % 256}]] -to $x $y\n}}\n"
      // a canvas: a label loads fonts, which the leak checker reports
      "pack [canvas .l -width 24 -height 24 -bd 0 -highlightthickness 0]\n"
      ".l create image 0 0 -anchor nw -image q\nupdate\n",
      {{"CreateGif .l " + dir.file("a.gif") + " 24 24 1 0 0 0 {}", "0 {}"}});
  const auto gif = shelltest::read_gif(dir.file("a.gif"));
  ASSERT_EQ(gif.palette.size(), 256u);
  EXPECT_EQ(gif.palette[0], (Rgb{0, 0, 0}));
  auto distance = [](const Rgb &p, const Rgb &c) {
    int sum = 0;
    for (int k = 0; k < 3; ++k) sum += (p[k] - c[k]) * (p[k] - c[k]);
    return sum;
  };
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 24; ++x) {
      const Rgb c = {x * 10 + 5, y * 10 + 3, (x * 7 + y * 13) % 256};
      size_t best = 0;
      for (size_t i = 1; i < 256; ++i)
        if (distance(gif.palette[i], c) < distance(gif.palette[best], c))
          best = i;
      ASSERT_EQ(gif.index.at(size_t(y * 24 + x)), int(best)) << x << "," << y;
    }
}

TEST(CreateGif, ProgressScriptsAndRefusals) {
  TempDir dir;
  std::string many;  // 36 reserved colours
  for (int k = 0; k < 36; ++k) many += "1 ";
  const std::string none = "0 {} {} {}", bad = "Illegal parameter.",
                    colours = "Illegal red/green/blue.";
  const struct {
    std::string rows, reserved, progress, answer;  // ::p, or the refusal
  } cases[] = {
      {"3", none, "lappend ::p %d", "33 66 100"},
      {"3", none, "append ::p <%03i>", "<033><066><100>"},
      {"3", none, "append ::p {<%+ -4d>}", "<+33 ><+66 ><+100>"},
      {"3", none, "append ::p %%%d", "%33%66%100"},
      {"3", none, "append ::p x", "xxx"},
      {"1", none, "append ::p " + std::string(300, 'x') + "%d",
       std::string(300, 'x') + "100"},
      {"2", none, "lappend ::p %d; error ignored", "50 100"},
      // refused before anything is created
      {"3", none + " {} extra", "", "Missing/extra parameter."},
      {"x", none, "", bad},
      {"0", none, "", bad},
      {"3", "y {} {} {}", "", bad},
      {"3", "2 {1 2} {1 2} {1 2 3}", "", colours},
      {"3", "1 {1} {x} {1}", "", colours},
      {"3", "-1 {} {} {}", "", colours},
      {"3", "36 {" + many + "} {" + many + "} {" + many + "}", "", colours},
      {"3", none, "puts %s", bad},
      {"3", none, "puts %n", bad},
      {"3", none, "puts %d%d", bad},
      {"3", none, "puts %12345d", bad},
      {"3", none, "puts 100%", bad},
  };
  shelltest::Calls calls;
  for (const auto &c : cases) {
    const bool ok = c.answer.back() != '.';  // refusals end with a stop
    const bool word = c.answer.find(' ') == std::string::npos;
    calls.push_back(
        {"set ::p {}\nCreateGif .f " + dir.file(ok ? "g.gif" : "no.gif") + " " +
             c.rows + " 5 " + c.reserved + " {" + c.progress + "}" +
             (ok ? "\nset ::p" : ""),
         (ok ? "0 " : "1 ") + (word ? c.answer : "{" + c.answer + "}")});
  }
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

}  // namespace
