// CreateGif on a true-colour screen: the GIF against the window's pixels,
// reserved colours, a full palette, progress scripts and the refusals.
#include <gtest/gtest.h>

#include <string>

#include "gifcheck.h"
#include "shelltest.h"

namespace {

using gifcheck::Gif;
using gifcheck::Rgb;
using testsupport::TempDir;

void expect_frames(const Gif &gif, int rows, int cols) {
  ASSERT_TRUE(gif.ok);
  ASSERT_EQ(gif.width, cols);
  ASSERT_EQ(gif.height, rows);
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < cols; ++x)
      ASSERT_EQ(gif.at(x, y), gifcheck::frames_colour(x, y)) << x << "," << y;
}

TEST(CreateGif, SavesWhatTheWindowShowsWithReservedColoursFirst) {
  TempDir dir;
  const Gif gif = gifcheck::capture_frames(dir, 35, 45);
  expect_frames(gif, 35, 45);
  // Reserved colours first, then the four colours on show, each once.
  ASSERT_EQ(gif.palette.size(), 6u);
  EXPECT_EQ(gif.palette[0], (Rgb{1, 2, 3}));
  EXPECT_EQ(gif.palette[1], (Rgb{250, 251, 252}));
}

TEST(CreateGif, PixelsOutsideTheVisibleWindowAreWhite) {
  const struct {
    const char *setup;
    int visibleCols;  // columns of ".f" on the screen
  } cases[] = {
      {"wm geometry . +1260+0\nupdate\n", 20},  // half past the screen's edge
      {"wm withdraw .\nupdate\n", 0},           // not shown at all
  };
  for (const auto &c : cases) {
    TempDir dir;
    const Gif gif = gifcheck::capture_frames(dir, 30, 40, c.setup);
    ASSERT_TRUE(gif.ok) << c.setup;
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40; ++x) {
        const Rgb want = x < c.visibleCols ? gifcheck::frames_colour(x, y)
                                           : Rgb{255, 255, 255};
        ASSERT_EQ(gif.at(x, y), want) << c.setup << x << "," << y;
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
      char hex[8];
      snprintf(hex, sizeof hex, "#%02x%02x%02x", c.r, c.g, c.b);
      script += "q put " + std::string(hex) + " -to " + std::to_string(x) +
                " " + std::to_string(y) + "\n";
    }
  script +=
      // A canvas rather than a label: labels load fonts, and the font
      // library keeps memory the leak checker reports.
      "pack [canvas .l -width 24 -height 24 -bd 0 -highlightthickness 0]\n"
      ".l create image 0 0 -anchor nw -image q\n"
      "update\n" +
      shelltest::show("CreateGif .l " + gif_path + " 24 24 1 0 0 0 {}");
  const auto r = shelltest::run_script(dir, script);
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(r.out, "0 {}\n");
  const Gif gif = gifcheck::read_gif(gif_path);
  ASSERT_TRUE(gif.ok);
  ASSERT_EQ(gif.palette.size(), 256u);
  EXPECT_EQ(gif.palette[0], (Rgb{0, 0, 0}));
  for (int y = 0; y < 24; ++y)
    for (int x = 0; x < 24; ++x) {
      const Rgb c = colour(x, y);
      int best = -1;
      long best_distance = 0;
      for (size_t i = 0; i < gif.palette.size(); ++i) {
        const Rgb &p = gif.palette[i];
        const long d = (p.r - c.r) * (p.r - c.r) + (p.g - c.g) * (p.g - c.g) +
                       (p.b - c.b) * (p.b - c.b);
        if (best < 0 || d < best_distance) {
          best = static_cast<int>(i);
          best_distance = d;
        }
      }
      ASSERT_EQ(gif.index[y * 24 + x], best) << x << "," << y;
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
      {3, "lappend ::p %i", "33 66 100"},
      {3, "append ::p <%03d>", "<033><066><100>"},
      {3, "append ::p {<%-4d>}", "<33  ><66  ><100 >"},
      {3, "append ::p <%+d>", "<+33><+66><+100>"},
      {3, "append ::p {% d,}", " 33, 66, 100,"},
      {3, "append ::p %%%d", "%33%66%100"},
      {3, "append ::p x", "xxx"},
      // No length limit: a script far longer than any fixed buffer.
      {1, "append ::p " + std::string(300, 'x') + "%d",
       std::string(300, 'x') + "100"},
      {2, "lappend ::p %d; error ignored", "50 100"},
  };
  TempDir dir;
  std::string script = gifcheck::kFramesScript, expected;
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
  std::string list35;
  for (int k = 0; k < 36; ++k) list35 += "1 ";
  const struct {
    std::string args;  // after "CreateGif .f <gif> "
    std::string answer;
  } cases[] = {
      {"3 5 0 {} {} {}", "1 {Missing/extra parameter.}"},
      {"3 5 0 {} {} {} {} extra", "1 {Missing/extra parameter.}"},
      {"x 5 0 {} {} {} {}", "1 {Illegal parameter.}"},
      {"3 5 y {} {} {} {}", "1 {Illegal parameter.}"},
      {"0 5 0 {} {} {} {}", "1 {Illegal parameter.}"},
      {"3 -1 0 {} {} {} {}", "1 {Illegal parameter.}"},
      {"3 5 2 {1 2} {1 2} {1 2 3} {}", "1 {Illegal red/green/blue.}"},
      {"3 5 2 {1 2} {1 x} {1 2} {}", "1 {Illegal red/green/blue.}"},
      {"3 5 -1 {} {} {} {}", "1 {Illegal red/green/blue.}"},
      {"3 5 36 {" + list35 + "} {" + list35 + "} {" + list35 + "} {}",
       "1 {Illegal red/green/blue.}"},
      {"3 5 0 {} {} {} {puts %s}", "1 {Illegal parameter.}"},
      {"3 5 0 {} {} {} {puts %n}", "1 {Illegal parameter.}"},
      {"3 5 0 {} {} {} {puts %d%d}", "1 {Illegal parameter.}"},
      {"3 5 0 {} {} {} {puts %x}", "1 {Illegal parameter.}"},
      {"3 5 0 {} {} {} {puts %ld}", "1 {Illegal parameter.}"},
      {"3 5 0 {} {} {} {puts %*d}", "1 {Illegal parameter.}"},
      {"3 5 0 {} {} {} {puts %.2d}", "1 {Illegal parameter.}"},
      {"3 5 0 {} {} {} {puts %12345d}", "1 {Illegal parameter.}"},
      {"3 5 0 {} {} {} {puts 100%}", "1 {Illegal parameter.}"},
  };
  std::string script = gifcheck::kFramesScript, expected;
  for (const auto &c : cases) {
    script += shelltest::show("CreateGif .f " + gif + " " + c.args);
    expected += c.answer + "\n";
  }
  // A window that does not exist; a folder that does not exist.
  script += shelltest::show("CreateGif .nope " + gif + " 3 5 0 {} {} {} {}");
  expected += "1 {bad window path name \".nope\"}\n";
  script += shelltest::show("CreateGif .f " + dir.file("none/x.gif") +
                            " 3 5 0 {} {} {} {}");
  expected += "1 {Error opening GIF file (No such file or directory).}\n";
  script +=
      shelltest::show("CreateGif .f " + dir.path() + " 3 5 0 {} {} {} {}");
  expected += "1 {Error opening GIF file (Is a directory).}\n";
  const auto r = shelltest::run_script(dir, script);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, expected);
  EXPECT_FALSE(testsupport::file_exists(gif));
  EXPECT_FALSE(testsupport::file_exists(dir.file("none")));
}

}  // namespace
