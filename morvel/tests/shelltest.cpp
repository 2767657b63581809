#include "shelltest.h"

#include <gd.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <memory>
#include <sstream>

namespace shelltest {

namespace {

class DisplayEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    display_ = std::make_unique<testsupport::VirtualDisplay>(display_depth());
    ASSERT_TRUE(display_->ok()) << "the virtual X server (Xvfb) did not start";
  }
  void TearDown() override { display_.reset(); }

 private:
  std::unique_ptr<testsupport::VirtualDisplay> display_;
};

const bool registered = [] {
  ::testing::AddGlobalTestEnvironment(new DisplayEnvironment);
  return true;
}();

const char *const PHOTO_PROC = R"(
proc photo {format data} {
  if {[catch {image create photo -format $format -data $data} p]} {
    puts "1 $p"
  } else {
    puts [string trim "0 [image width $p] [image height $p] [join [$p data]]"]
    image delete $p
  }
}
)";

}  // namespace

int &display_depth() {
  static int depth = 24;
  return depth;
}

testsupport::RunResult run_script(const testsupport::TempDir &dir,
                                  const std::string &script,
                                  int timeout_seconds) {
  const std::string path = dir.file("script.tcl");
  testsupport::write_file(path, script + "\nexit 0\n");
  return testsupport::run_program("morvel", {path}, timeout_seconds);
}

std::string show(const std::string &command) {
  return "puts [list [catch {" + command + "} r] $r]\n";
}

std::string tcl_quote(const std::string &text) {
  std::string quoted = "\"";
  for (unsigned char c : text) {
    char hex[8];
    if (isalnum(c))
      snprintf(hex, sizeof hex, "%c", c);
    else if (c >= 0x20 && c < 0x7F)
      snprintf(hex, sizeof hex, "\\%c", c);
    else
      snprintf(hex, sizeof hex, "\\x%02x", c);
    quoted += hex;
  }
  return quoted + "\"";
}

std::vector<std::string> lines(const std::string &text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::vector<std::string> run_lines(const testsupport::TempDir &dir,
                                   const std::string &script) {
  auto r = run_script(dir, PHOTO_PROC + script, 120);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  return lines(r.out);
}

Picture parse_pixels(const std::string &line) {
  Picture p;
  std::istringstream in(line);
  std::string word;
  if (!(in >> word >> p.width >> p.height) || word != "0") return p;
  for (unsigned v; in >> word && sscanf(word.c_str(), "#%6x", &v) == 1;)
    p.rgb.push_back({static_cast<int>(v >> 16),
                     static_cast<int>((v >> 8) & 0xFF),
                     static_cast<int>(v & 0xFF)});
  p.ok = p.rgb.size() == static_cast<size_t>(p.width) * p.height;
  return p;
}

Picture read_gif(const std::string &path) {
  Picture gif;
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
    for (int x = 0; x < gif.width; ++x) {
      gif.index.push_back(gdImageGetPixel(image, x, y));
      gif.rgb.push_back(gif.palette[static_cast<size_t>(gif.index.back())]);
    }
  gdImageDestroy(image);
  return gif;
}

void expect_pixels(const Picture &p, int width, int height,
                   const std::function<Rgb(int, int)> &want,
                   const std::string &what) {
  ASSERT_TRUE(p.ok) << what;
  ASSERT_GE(p.width, width) << what;
  ASSERT_GE(p.height, height) << what;
  int wrong = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (p.at(x, y) != want(x, y) && ++wrong <= 3)
        ADD_FAILURE() << what << ": pixel " << x << "," << y << " is "
                      << p.at(x, y).r << " " << p.at(x, y).g << " "
                      << p.at(x, y).b;
}

std::string palette_text(const std::function<Rgb(int)> &colour,
                         const std::string &separator) {
  std::string text;
  for (int e = 0; e < 256; ++e) {
    const Rgb c = colour(e);
    for (int v : {c.r, c.g, c.b})
      text += (text.empty() ? "" : separator) + std::to_string(v);
  }
  return text;
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

Picture capture_frames(const testsupport::TempDir &dir, int rows, int cols,
                       const std::string &setup) {
  const std::string gif = dir.file("frames.gif");
  const auto r = run_script(
      dir, kFramesScript + setup +
               show("CreateGif .f " + gif + " " + std::to_string(rows) + " " +
                    std::to_string(cols) + " 2 {1 250} {2 251} {3 252} {}"));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "0 {}\n");
  return read_gif(gif);
}

}  // namespace shelltest
