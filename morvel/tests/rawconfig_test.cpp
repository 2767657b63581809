// The "RawImage" configuration string: the order of its messages; the
// conversion of values to bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "rawimage.h"
#include "shelltest.h"

namespace {

const std::string M = "Error in photo configuration string [";

std::string Read(const std::string &text, int width = 9, int height = 8) {
  auto config = std::make_unique<PhotoConfiguration>();
  const char *fault =
      ReadPhotoConfiguration(text.c_str(), width, height, config.get());
  return fault == nullptr ? "ok" : fault;
}

std::string Head(const std::string &ints) {
  return "x|p1 p2|x|1 2|x|NO-PCI|" + ints;
}

TEST(ReadPhotoConfiguration, MeetsTheFaultsInTheOrderOfTheString) {
  const std::string a1792(1792, 'a'), a1793(1793, 'a');
  const std::string n28 = "1 2" + std::string(25, ' '), n29 = n28 + " ";
  const std::string e50 = " B1 +" + std::string(45, ' ');
  const std::string e51 = e50 + " ";
  const std::string ints = "1 10 20 0 0 4 5 8 9 ";
  const std::string pal = shelltest::palette_text([](int e) {
    return shelltest::Rgb{e, e, e};
  });
  const struct {
    std::string text;
    std::string result;
  } cases[] = {
      {"", M + "1]."},
      {"x|p1", M + "2]."},
      {"x|" + a1793 + "|x|" + n29 + "|x|NO-PCI|1", M + "3]."},
      {"x|" + a1792 + "|x", M + "4]."},
      {"x|p|x|1 2", M + "5]."},
      {"x|p|x|" + n29 + "|x|" + a1793 + "|", M + "6]."},
      {"x|p|x|" + n28 + "|x", M + "7]."},
      {"x|p|x|1|x|NO-PCI", M + "8]."},
      {"x|p|x|1|x|" + a1793 + "|1 10 20 0 0 4 5 8 9 1|B1|", M + "9]."},
      {"x|" + a1792 + "|x|" + n28 + "|x|" + a1792 + "|" + ints + "1|B1|", "ok"},
      // the ten integers and what a read can show
      {Head("1 10 20 0 0 4 5 8 9|B1|"), M + "10]."},
      {Head("1 10 20 0 0 4 5 8 9 2147483648|B1|"), M + "10]."},
      {Head(ints + "0|B1|"), M + "10]."},
      {Head(ints + "4|B1|"), M + "10]."},
      {Head("0 10 20 0 0 4 5 8 9 1|B1|"), M + "10]."},
      {Head("5 10 20 0 0 4 5 8 9 1|B1|"), M + "10]."},
      {Head("4 10 20 0 0 4 5 8 9 1|B1|"), "ok"},
      {Head("1 10 20 0 0 0 5 8 9 1|B1|"), M + "10]."},
      {Head("1 10 20 0 0 4 -1 8 9 1|B1|"), M + "10]."},
      {Head("1 10 20 2147483647 0 2 5 8 9 1|B1|"), M + "10]."},
      {Head("1 10 20 2147483646 0 2 5 8 9 1|B1|"), "ok"},
      {Head("1 10 20 0 2147483644 4 5 8 9 1|B1|"), M + "10]."},
      {Head("1 10 20 -50 -60 4 5 8 9 1|B1|"), "ok"},
      // expressions, channel by channel, then the palette
      {Head(ints + "1"), M + "11]."},
      {Head(ints + "1|B1"), M + "12]."},
      {Head(ints + "1|" + e50 + "|"), "ok"},
      {Head(ints + "1|" + e51 + "|"),
       "Illegal expression in photo configuration string [13]."},
      {Head(ints + "2|B1|B2|B3|"), M + "11]."},
      {Head(ints + "2|B1||B2||B3|"), "ok"},
      {Head(ints + "2|B1||" + e51 + "|"),
       "Illegal expression in photo configuration string [13]."},
      {Head(ints + "2|" + e51 + "|x"),
       "Illegal expression in photo configuration string [13]."},
      {Head(ints + "3|B1|"), M + "11]."},
      {Head(ints + "3|B1||" + pal), "ok"},
      {Head(ints + "3|B1||" + pal.substr(0, pal.rfind(' '))), M + "12]."},
      {Head(ints + "3|" + e51 + "|"),
       "Illegal expression in photo configuration string [13]."},
      {Head(ints + "3|B1||2147483648 " + pal), M + "12]."},
      // an expression that does not parse is found later, with the trees
      {Head(ints + "1|B1+|"), "ok"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(Read(c.text), c.result) << c.text.substr(0, 120);
  EXPECT_EQ(Read(Head(ints + "1|B1|"), 0, 8), M + "10].");
  EXPECT_EQ(Read(Head(ints + "1|B1|"), 9, -1), M + "10].");
}

TEST(ValuesToBytes, ScalesClampsAndTruncates) {
  const float inf = std::numeric_limits<float>::infinity();
  const float values[] = {200, 255.75f, 256, 3.99f, -1, inf, -inf, NAN};
  const int bytes8[] = {200, 255, 255, 3, 0, 255, 0, 0};
  // 16-bit samples are scaled by 0.25 first.
  const float samples[] = {1023, 1100, 4, 3, 200, -inf};
  const int bytes16[] = {255, 255, 1, 0, 50, 0};
  for (bool sixteenBit : {false, true}) {
    const float *in = sixteenBit ? samples : values;
    const int *want = sixteenBit ? bytes16 : bytes8;
    const int count = sixteenBit ? 6 : 8;
    unsigned char out[9];
    memset(out, 77, sizeof out);
    ValuesToBytes(in, count, sixteenBit, out);
    for (int k = 0; k < count; ++k)
      EXPECT_EQ(out[k], want[k]) << in[k] << " " << sixteenBit;
    EXPECT_EQ(out[count], 77);
  }
}

}  // namespace
