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
  testsupport::write_file(dir.file("script.tcl"), script + "\nexit 0\n");
  return testsupport::run_program("morvel", {dir.file("script.tcl")}, 300);
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

std::vector<std::string> expect_calls(const TempDir &dir,
                                      const std::string &setup,
                                      const Calls &calls) {
  std::string script = setup;
  for (const auto &c : calls)
    script += "puts [list [catch {" + c.first + "} r] $r]\n";
  const auto r = run_script(dir, script);
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

void expect_photos(const TempDir &dir, const std::string &format,
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
  expect_calls(
      dir, kFrames + setup,
      {{"CreateGif .f " + dir.file("frames.gif") + " " + std::to_string(rows) +
            " " + std::to_string(cols) + " 2 {1 250} {2 251} {3 252} {}",
        "0 {}"}});
  return read_gif(dir.file("frames.gif"));
}

}  // namespace shelltest
