// CreateGif on a true-colour screen: the GIF against the window's pixels,
// reserved colours, a full palette, progress scripts and the refusals.
#include <gtest/gtest.h>

#include <string>

#include "shelltest.h"

namespace {

using shelltest::Picture;
using shelltest::Rgb;
using testsupport::TempDir;

TEST(CreateGif, SavesWhatTheScreenShowsWithReservedColoursFirst) {
  const struct {
    const char *setup;
    int rows, cols, visibleCols;  // visible: columns of ".f" on the screen
  } cases[] = {
      {"", 35, 45, 45},
      {"wm geometry . +1260+0\nupdate\n", 30, 40, 20},  // half off the edge
      // Half hidden by its parent, which clips it.
      {"wm geometry . 20x30\nplace .f -x 0 -y 0\nupdate\n", 30, 40, 20},
      {"wm withdraw .\nupdate\n", 30, 40, 0},  // not shown at all
  };
  for (const auto &c : cases) {
    TempDir dir;
    const Picture gif = shelltest::capture_frames(dir, c.rows, c.cols, c.setup);
    ASSERT_TRUE(gif.width == c.cols && gif.height == c.rows) << c.setup;
    shelltest::expect_pixels(
        gif, c.cols, c.rows,
        [&](int x, int y) {
          return x < c.visibleCols ? shelltest::frames_colour(x, y)
                                   : Rgb{255, 255, 255};
        },
        c.setup);
    if (c.visibleCols == 45) {
      // Reserved colours first, then the four colours on show, each once.
      ASSERT_EQ(gif.palette.size(), 6u);
      EXPECT_EQ(gif.palette[0], (Rgb{1, 2, 3}));
      EXPECT_EQ(gif.palette[1], (Rgb{250, 251, 252}));
    }
  }
}

// 24 x 24 pixels of 576 different colours: once the palette is full, each
// pixel gets the first palette entry closest to its colour.
TEST(CreateGif, FullPaletteGivesTheClosestColour) {
  TempDir dir;
  const std::string gif_path = dir.file("many.gif");
  const auto colour = [](int x, int y) {
    return Rgb{x * 10 + 5, y * 10 + 3, (x * 7 + y * 13) % 256};
  };
  std::string script =
      "wm geometry . +0+0\nimage create photo q -width 24 -height 24\n";
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 24; ++x) {
      const Rgb c = colour(x, y);
      char put[64];
      snprintf(put, sizeof put, "q put #%02x%02x%02x -to %d %d\n", c.r, c.g,
               c.b, x, y);
      script += put;
    }
  // A canvas rather than a label: labels load fonts, and the font library
  // keeps memory the leak checker reports.
  script +=
      "pack [canvas .l -width 24 -height 24 -bd 0 -highlightthickness 0]\n"
      ".l create image 0 0 -anchor nw -image q\n"
      "update\n" +
      shelltest::show("CreateGif .l " + gif_path + " 24 24 1 0 0 0 {}");
  const auto r = shelltest::run_script(dir, script);
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(r.out, "0 {}\n");
  const Picture gif = shelltest::read_gif(gif_path);
  ASSERT_TRUE(gif.ok);
  ASSERT_EQ(gif.palette.size(), 256u);
  EXPECT_EQ(gif.palette[0], (Rgb{0, 0, 0}));
  auto distance = [](const Rgb &p, const Rgb &c) {
    return (p.r - c.r) * (p.r - c.r) + (p.g - c.g) * (p.g - c.g) +
           (p.b - c.b) * (p.b - c.b);
  };
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 24; ++x) {
      const Rgb c = colour(x, y);
      size_t best = 0;
      for (size_t i = 1; i < gif.palette.size(); ++i)
        if (distance(gif.palette[i], c) < distance(gif.palette[best], c))
          best = i;
      ASSERT_EQ(gif.index[static_cast<size_t>(y * 24 + x)],
                static_cast<int>(best))
          << x << "," << y;
    }
}

TEST(CreateGif, RunsTheProgressScriptAfterEachRow) {
  std::string hundred;
  for (int k = 1; k <= 100; ++k)
    hundred += (k > 1 ? " " : "") + std::to_string(k);
  const struct {
    int rows;
    std::string script;
    std::string progress;  // ::p afterwards
  } cases[] = {
      {3, "lappend ::p %d", "33 66 100"},
      {100, "lappend ::p %d", hundred},
      {3, "append ::p <%03i>", "<033><066><100>"},
      {3, "append ::p {<%-4d>}", "<33  ><66  ><100 >"},
      {3, "append ::p {<%+ d>}", "<+33><+66><+100>"},
      {3, "append ::p {% d,}", " 33, 66, 100,"},
      {3, "append ::p %%%d", "%33%66%100"},
      {3, "append ::p x", "xxx"},
      // No length limit: a script far longer than any fixed buffer.
      {1, "append ::p " + std::string(300, 'x') + "%d",
       std::string(300, 'x') + "100"},
      {2, "lappend ::p %d; error ignored", "50 100"},
  };
  TempDir dir;
  std::string script = shelltest::kFramesScript, expected;
  for (const auto &c : cases) {
    script += "set ::p {}\n" +
              shelltest::show("CreateGif .f " + dir.file("p.gif") + " " +
                              std::to_string(c.rows) + " 5 0 {} {} {} {" +
                              c.script + "}") +
              "puts $::p\n";
    expected += "0 {}\n" + c.progress + "\n";
  }
  const auto r = shelltest::run_script(dir, script);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, expected);
}

TEST(CreateGif, RefusesBadArgumentsBeforeCreatingTheFile) {
  TempDir dir;
  const std::string gif = dir.file("no.gif");
  std::string list36;
  for (int k = 0; k < 36; ++k) list36 += "1 ";
  const std::string bad = "1 {Illegal parameter.}";
  const std::string colours = "1 {Illegal red/green/blue.}";
  const struct {
    std::string args;  // after "CreateGif "
    std::string answer;
  } cases[] = {
      {".f GIF 3 5 0 {} {} {}", "1 {Missing/extra parameter.}"},
      {".f GIF 3 5 0 {} {} {} {} extra", "1 {Missing/extra parameter.}"},
      {".f GIF x 5 0 {} {} {} {}", bad},
      {".f GIF 3 5 y {} {} {} {}", bad},
      {".f GIF 0 5 0 {} {} {} {}", bad},
      {".f GIF 3 -1 0 {} {} {} {}", bad},
      {".f GIF 3 5 2 {1 2} {1 2} {1 2 3} {}", colours},
      {".f GIF 3 5 2 {1 2} {1 x} {1 2} {}", colours},
      {".f GIF 3 5 -1 {} {} {} {}", colours},
      {".f GIF 3 5 36 {" + list36 + "} {" + list36 + "} {" + list36 + "} {}",
       colours},
      {".f GIF 3 5 0 {} {} {} {puts %s}", bad},
      {".f GIF 3 5 0 {} {} {} {puts %n}", bad},
      {".f GIF 3 5 0 {} {} {} {puts %d%d}", bad},
      {".f GIF 3 5 0 {} {} {} {puts %x}", bad},
      {".f GIF 3 5 0 {} {} {} {puts %ld}", bad},
      {".f GIF 3 5 0 {} {} {} {puts %*d}", bad},
      {".f GIF 3 5 0 {} {} {} {puts %.2d}", bad},
      {".f GIF 3 5 0 {} {} {} {puts %12345d}", bad},
      {".f GIF 3 5 0 {} {} {} {puts 100%}", bad},
      {".nope GIF 3 5 0 {} {} {} {}", "1 {bad window path name \".nope\"}"},
      {".f " + dir.file("none/x.gif") + " 3 5 0 {} {} {} {}",
       "1 {Error opening GIF file (No such file or directory).}"},
      {".f " + dir.path() + " 3 5 0 {} {} {} {}",
       "1 {Error opening GIF file (Is a directory).}"},
  };
  std::string script = shelltest::kFramesScript, expected;
  for (const auto &c : cases) {
    std::string args = c.args;
    if (args.find("GIF") != std::string::npos)
      args.replace(args.find("GIF"), 3, gif);
    script += shelltest::show("CreateGif " + args);
    expected += c.answer + "\n";
  }
  const auto r = shelltest::run_script(dir, script);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, expected);
  EXPECT_FALSE(testsupport::file_exists(gif));
  EXPECT_FALSE(testsupport::file_exists(dir.file("none")));
}

}  // namespace
