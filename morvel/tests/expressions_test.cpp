// Band-arithmetic expressions: parse trees, single-precision evaluation,
// releasing shared trees; the "RawImage" configuration string: the order of
// its messages; the conversion of values to bytes.
#include "expressions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "rawimage.h"
#include "shelltest.h"

namespace {

// A tree written out with every operator node in parentheses.
std::string show(const ExprNode *node) {
  char text[32];
  snprintf(text, sizeof text, "%.9g", node->value);
  switch (node->kind) {
    case EXPR_OPERATOR:
      return "(" + show(node->left.get()) + node->op + show(node->right.get()) +
             ")";
    case EXPR_BAND: return "B" + std::to_string(node->number);
    case EXPR_COMPONENT: return "C" + std::to_string(node->number);
    default: return text;
  }
}

TEST(ParseExpression, BuildsTreesOrRefuses) {
  // Texts, each followed by its tree; the longest legal text is 50 long.
  // clang-format off
  const std::string zeros(46, '0');
  const std::string cases[] = {
      "B1+B2*B3", "(B1+(B2*B3))",      "B1*B2-B3",  "((B1*B2)-B3)",
      "B1-B2-B3", "((B1-B2)-B3)",      "B4/B3*2",   "((B4/B3)*2)",
      "((B1))",   "B1",                "(B1)+(B2)", "(B1+B2)",
      "b2+B07",   "(B2+B7)",           "pc3*c1",    "(C3*C1)",
      "0.1",      "0.100000001",       "B1+" + zeros + "2", "(B1+2)",
      "B1+0" + zeros + "2", "illegal"};
  // clang-format on
  for (size_t i = 0; i < std::size(cases); i += 2) {
    ExprTree tree = ParseExpression(cases[i].c_str());
    EXPECT_EQ(tree ? show(tree.get()) : "illegal", cases[i + 1]) << cases[i];
    FreeExpression(tree);
    EXPECT_EQ(tree, nullptr);
  }
  for (const char *text : {"B0", "PC8", "B1.5", "X", "", "-B1", "B1+", "(B1",
                           ")B1(", "(B1+B2))", "B1e0", "B4294967297"})
    EXPECT_EQ(ParseExpression(text).get(), nullptr) << text;
}

TEST(EvaluateExpression, ComputesInSinglePrecisionInTreeOrder) {
  // Rows of three pixels: bands 1, 3 and 4 and component 2.
  float band[FILE_SLOTS][3] = {{}, {5, 0, -5}, {}, {60, 7, 200}, {90, 7, 13}};
  float component[FILE_SLOTS][3] = {{}, {}, {0, 0.1f, 0.2f}};
  const float *bands[FILE_SLOTS], *components[FILE_SLOTS];
  for (int i = 0; i < FILE_SLOTS; ++i) {
    bands[i] = band[i];
    components[i] = component[i];
  }
  const float inf = INFINITY;
  // In double precision the last value of the first two rows differs.
  const struct {
    const char *text;
    float expected[3];
  } cases[] = {
      {"(B4-B3)/(B4+B3)*127+128", {153.399994f, 128, 16.5023499f}},
      {"PC2*3+0.1", {0.1f, 0.400000006f, 0.700000048f}},
      {"B1/B2", {inf, NAN, -inf}},
      {"B1-(B3-(B4*2))", {125, 7, -179}},
      {"2/(B4-B4)", {inf, inf, inf}},
      {"(B1+B1)*(B3+B3)", {1200, 0, -4000}},
  };
  for (const auto &c : cases) {
    ExprTree tree = ParseExpression(c.text);
    float out[3] = {-1, -1, -1};  // a count of 2 leaves the third alone
    EXPECT_EQ(EvaluateExpression(tree.get(), bands, components, out, 2), 0);
    EXPECT_EQ(out[2], -1) << c.text;
    EXPECT_EQ(EvaluateExpression(tree.get(), bands, components, out, 3), 0);
    for (int k = 0; k < 3; ++k)
      EXPECT_TRUE(out[k] == c.expected[k] ||
                  (std::isnan(out[k]) && std::isnan(c.expected[k])))
          << c.text << " " << k << " " << out[k];
    FreeExpression(tree);
  }
}

// Channels with equal expressions hold one tree between them, so every
// tree is released once (the sanitizer build reports a tree released twice
// or not at all), and nothing stays held.
TEST(FreeExpressions, ReleasesSharedRootsOnce) {
  ExprTree trees[3] = {ParseExpression("B1+B2"), ParseExpression("C3")};
  FreeExpressions(trees);
  for (const ExprTree &tree : trees) EXPECT_EQ(tree, nullptr);
}

std::string read_string(const std::string &text, int width = 9) {
  auto config = std::make_unique<PhotoConfiguration>();
  const char *fault =
      read_photo_configuration(text.c_str(), width, 8, config.get());
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
    EXPECT_EQ(read_string(c.text), c.message == 0 ? "ok"
                                   : c.message == 13
                                       ? "Illegal expression in photo "
                                         "configuration string [13]."
                                       : m + std::to_string(c.message) + "].")
        << c.text.substr(0, 120);
  EXPECT_EQ(read_string(head + ints + "1|B1|", 0), m + "10].");
}

TEST(ValuesToBytes, ScalesClampsAndTruncates) {
  const float in[] = {200,       255.75f, 256,  3.99f, -1, INFINITY,
                      -INFINITY, NAN,     1023, 1100,  4,  3};
  unsigned char out[13];
  memset(out, 77, sizeof out);
  values_to_bytes(in, 8, false, out);
  values_to_bytes(in + 8, 4, true, out + 8);  // 16-bit samples: times 0.25
  EXPECT_EQ(
      std::vector<int>(out, out + 13),
      (std::vector<int>{200, 255, 255, 3, 0, 255, 0, 0, 255, 255, 1, 0, 77}));
}

}  // namespace
