// The "RawImage" configuration string: the order of its messages; the
// conversion of values to bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "rawimage.h"
#include "shelltest.h"

namespace {

std::string Read(const std::string &text, int width = 9) {
  auto config = std::make_unique<PhotoConfiguration>();
  const char *fault =
      ReadPhotoConfiguration(text.c_str(), width, 8, config.get());
  return fault == nullptr ? "ok" : fault;
}

TEST(ReadPhotoConfiguration, MeetsTheFaultsInTheOrderOfTheString) {
  const std::string a1792(1792, 'a'), a1793(1793, 'a');
  const std::string n28 = "1 2" + std::string(25, ' '), n29 = n28 + " ";
  const std::string e50 = " B1 +" + std::string(45, ' '), e51 = e50 + " ";
  const std::string head = "x|p1 p2|x|1 2|x|NO-PCI|",
                    ints = "1 10 20 0 0 4 5 8 9 ";
  const std::string pal = shelltest::palette_text([](int e) {
    return shelltest::Rgb{e, e, e};
  });
  const struct {
    std::string text;
    int message;  // 0: read, 13: the long expression
  } cases[] = {
      {"", 1},
      {"x|p1", 2},
      {"x|" + a1793 + "|x|" + n29 + "|x|NO-PCI|1", 3},
      {"x|" + a1792 + "|x", 4},
      {"x|p|x|1 2", 5},
      {"x|p|x|" + n29 + "|x|" + a1793 + "|", 6},
      {"x|p|x|" + n28 + "|x", 7},
      {"x|p|x|1|x|NO-PCI", 8},
      {"x|p|x|1|x|" + a1793 + "|" + ints + "1|B1|", 9},
      {"x|" + a1792 + "|x|" + n28 + "|x|" + a1792 + "|" + ints + "1|B1|", 0},
      {head + "1 10 20 0 0 4 5 8 9|B1|", 10},
      {head + ints + "2147483648|B1|", 10},
      {head + ints + "0|B1|", 10},
      {head + ints + "4|B1|", 10},
      {head + "0 10 20 0 0 4 5 8 9 1|B1|", 10},
      {head + "5 10 20 0 0 4 5 8 9 1|B1|", 10},
      {head + "4 10 20 -50 -60 4 5 8 9 1|B1|", 0},
      {head + "1 10 20 0 0 0 5 8 9 1|B1|", 10},
      {head + "1 10 20 0 0 4 0 8 9 1|B1|", 10},
      {head + "1 10 20 2147483647 0 2 5 8 9 1|B1|", 10},
      {head + "1 10 20 0 2147483646 2 2 8 9 1|B1|", 0},
      {head + "1 10 20 0 2147483647 2 2 8 9 1|B1|", 10},
      {head + ints + "1", 11},
      {head + ints + "1|B1", 12},
      {head + ints + "1|" + e50 + "|", 0},
      {head + ints + "1|" + e51 + "|", 13},
      {head + ints + "2|B1|B2|B3|", 11},
      {head + ints + "2|B1||B2||" + e51 + "|", 13},
      {head + ints + "3|B1|", 11},
      {head + ints + "3|B1||" + pal, 0},
      {head + ints + "3|B1||" + pal.substr(0, pal.rfind(' ')), 12},
  };
  const std::string m = "Error in photo configuration string [";
  for (const auto &c : cases)
    EXPECT_EQ(Read(c.text), c.message == 0 ? "ok"
                            : c.message == 13
                                ? "Illegal expression in photo "
                                  "configuration string [13]."
                                : m + std::to_string(c.message) + "].")
        << c.text.substr(0, 120);
  EXPECT_EQ(Read(head + ints + "1|B1|", 0), m + "10].");
}

TEST(ValuesToBytes, ScalesClampsAndTruncates) {
  const float in[] = {200,       255.75f, 256,  3.99f, -1, INFINITY,
                      -INFINITY, NAN,     1023, 1100,  4,  3};
  unsigned char out[13];
  memset(out, 77, sizeof out);
  ValuesToBytes(in, 8, false, out);
  ValuesToBytes(in + 8, 4, true, out + 8);  // 16-bit samples: times 0.25
  EXPECT_EQ(
      std::vector<int>(out, out + 13),
      (std::vector<int>{200, 255, 255, 3, 0, 255, 0, 0, 255, 255, 1, 0, 77}));
}

}  // namespace
