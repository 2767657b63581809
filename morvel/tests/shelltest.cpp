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

const bool registered =
    (::testing::AddGlobalTestEnvironment(new DisplayEnvironment), true);

}  // namespace

int &display_depth() {
  static int depth = 24;
  return depth;
}

testsupport::RunResult run_script(const TempDir &dir,
                                  const std::string &script) {
  const std::string path = dir.file("script.tcl");
  testsupport::write_file(path, script + "\nexit 0\n");
  return testsupport::run_program("morvel", {path}, 300);
}

std::string show(const std::string &command) {
  return "puts [list [catch {" + command + "} r] $r]\n";
}

std::string quote(const std::string &text) {
  std::string quoted = "\"";
  for (unsigned char c : text) {
    char hex[8];
    snprintf(hex, sizeof hex, isalnum(c) ? "%c" : "\\x%02x", c);
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

std::vector<std::string> expect_answers(
    const TempDir &dir, const std::string &setup,
    const std::vector<std::string> &commands,
    const std::vector<std::string> &answers) {
  std::string script = setup;
  for (const auto &c : commands) script += show(c);
  const auto r = run_script(dir, script);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const auto out = lines(r.out);
  for (size_t i = 0; i < answers.size(); ++i)
    EXPECT_EQ(i < out.size() ? out[i] : "(none)", answers[i])
        << commands[i].substr(0, 150);
  return out;
}

std::vector<Picture> photo_pixels(const TempDir &dir, const char *format,
                                  const std::vector<std::string> &data) {
  std::vector<std::string> commands;
  for (const auto &d : data)
    commands.push_back(
        "set p [image create photo -format " + std::string(format) + " -data " +
        quote(d) +
        "]\nconcat [image width $p] [image height $p] [join [$p data]]");
  std::vector<Picture> pictures;
  for (const std::string &line : expect_answers(dir, "", commands, {})) {
    Picture p;
    std::string words = line;
    for (char &c : words) c = c == '{' || c == '}' ? ' ' : c;
    std::istringstream in(words);
    std::string word;
    in >> word;
    if (word != "0" || !(in >> p.width >> p.height)) p.error = line;
    for (unsigned v; in >> word && sscanf(word.c_str(), "#%6x", &v) == 1;)
      p.rgb.push_back({int(v >> 16), int((v >> 8) & 0xFF), int(v & 0xFF)});
    pictures.push_back(p);
  }
  EXPECT_EQ(pictures.size(), data.size());
  pictures.resize(data.size());
  return pictures;
}

Picture read_gif(const std::string &path) {
  Picture gif;
  FILE *file = fopen(path.c_str(), "rb");
  gdImagePtr image = file ? gdImageCreateFromGif(file) : nullptr;
  if (file) fclose(file);
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

void expect_pixels(const Picture &p, int width, int height,
                   const std::function<Rgb(int, int)> &want,
                   const std::string &what) {
  ASSERT_TRUE(p.width == width && p.height == height &&
              p.rgb.size() == size_t(width) * size_t(height))
      << what << ": " << p.width << "x" << p.height << " " << p.error;
  int wrong = 0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (want(x, y)[0] >= 0 && p.at(x, y) != want(x, y) && ++wrong <= 3)
        ADD_FAILURE() << what << ": pixel " << x << "," << y << " is "
                      << testing::PrintToString(p.at(x, y));
}

std::string palette_text(const std::function<Rgb(int)> &colour) {
  std::string text;
  for (int e = 0; e < 256; ++e)
    for (int v : colour(e))
      text += (text.empty() ? "" : " ") + std::to_string(v);
  return text;
}

const char *const kFrames =
    "wm geometry . +0+0\n"
    "frame .f -width 40 -height 30 -bg #102030 -bd 0 -highlightthickness 0\n"
    "place [frame .f.a -bg #ff0000 -bd 0 -highlightthickness 0]"
    " -x 20 -y 0 -width 20 -height 10\n"
    "place [frame .f.b -bg #00ff80 -bd 0 -highlightthickness 0]"
    " -x 0 -y 20 -width 40 -height 10\n"
    "pack .f\nupdate\n";

Rgb frames_colour(int x, int y) {
  if (x >= 40 || y >= 30) return {255, 255, 255};
  if (y >= 20) return {0, 255, 128};
  if (y < 10 && x >= 20) return {255, 0, 0};
  return {16, 32, 48};
}

Picture capture_frames(const TempDir &dir, int rows, int cols,
                       const std::string &setup) {
  const std::string gif = dir.file("frames.gif");
  expect_answers(dir, kFrames + setup,
                 {"CreateGif .f " + gif + " " + std::to_string(rows) + " " +
                  std::to_string(cols) + " 2 {1 250} {2 251} {3 252} {}"},
                 {"0 {}"});
  return read_gif(gif);
}

}  // namespace shelltest
