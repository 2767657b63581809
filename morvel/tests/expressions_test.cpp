// Band-arithmetic expressions: parse trees (the operator search with them),
// single-precision evaluation, releasing shared trees. Which bands and
// components a tree reads shows in the RawImage tests.
#include "expressions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

namespace {

// A tree written out with every operator node in parentheses.
std::string Show(const ExprNode *node) {
  char text[64];
  switch (node->kind) {
    case EXPR_OPERATOR:
      return "(" + Show(node->left) + node->op + Show(node->right) + ")";
    case EXPR_BAND: return "B" + std::to_string(node->number);
    case EXPR_COMPONENT: return "C" + std::to_string(node->number);
    default: snprintf(text, sizeof text, "%.9g", node->value); return text;
  }
}

std::string Parsed(const std::string &text) {
  ExprNode *tree = ParseExpression(text.c_str());
  if (tree == nullptr) return "illegal";
  std::string shown = Show(tree);
  FreeExpression(tree);
  return shown;
}

TEST(ParseExpression, BuildsTheTreesOfLegalTexts) {
  const struct {
    const char *text, *tree;
  } cases[] = {
      {"B1+B2*B3", "(B1+(B2*B3))"},
      {"B1-B2-B3", "((B1-B2)-B3)"},
      {"B4/B3/2", "((B4/B3)/2)"},
      {"B4/B3*2", "((B4/B3)*2)"},
      {"B1*B2+B3", "((B1*B2)+B3)"},
      {"((B1))", "B1"},
      {"(B1+B2)*(B3)", "((B1+B2)*B3)"},
      {"(B1)+(B2)", "(B1+B2)"},
      {"(B4-B3)/(B4+B3)*127+128", "((((B4-B3)/(B4+B3))*127)+128)"},
      {"b2", "B2"},
      {"B07", "B7"},
      {"pc3+Pc3", "(C3+C3)"},
      {"c3*C3", "(C3*C3)"},
      {"PC1*2+C2", "((C1*2)+C2)"},
      {"7", "7"},
      {".5", "0.5"},
      {"0.1", "0.100000001"},  // read at single precision
      {"B1*1e3", "(B1*1000)"},
      {"1e50", "inf"},
  };
  for (const auto &c : cases) EXPECT_EQ(Parsed(c.text), c.tree) << c.text;
}

TEST(ParseExpression, RefusesIllegalTexts) {
  const char *const cases[] = {
      "B0",           "B8",          "C0",  "PC8",  "B1.5", "B",     "PC",
      "P3",           "X",           "B1x", "",     "-B1",  "B1*-1", "B1+",
      "*B1",          ")B1(",        "(B1", "B1)",  "()",   "B1+()", "(B1+B2))",
      "B99999999999", "B4294967297", "C-1", "B1e0",
  };
  for (const char *text : cases) EXPECT_EQ(Parsed(text), "illegal") << text;
  // 50 characters are taken, 51 are longer than any expression field.
  EXPECT_EQ(Parsed("B1+" + std::string(46, '0') + "2"), "(B1+2)");
  EXPECT_EQ(Parsed("B1+" + std::string(47, '0') + "2"), "illegal");
}

TEST(EvaluateExpression, ComputesInSinglePrecisionInTreeOrder) {
  // Rows of three pixels: bands 1, 3 and 4 and component 2.
  float band[FILE_SLOTS][3] = {{}, {5, 0, -5}, {}, {60, 7, 200}, {90, 7, 13}};
  float component[FILE_SLOTS][3] = {{}, {}, {0, 0.1f, 0.2f}};
  const float *bandRows[FILE_SLOTS], *componentRows[FILE_SLOTS];
  for (int i = 0; i < FILE_SLOTS; ++i) {
    bandRows[i] = band[i];
    componentRows[i] = component[i];
  }
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  // In double precision the last value of the first two rows differs.
  const struct {
    const char *text;
    float expected[3];
  } cases[] = {
      {"(B4-B3)/(B4+B3)*127+128", {153.399994f, 128, 16.5023499f}},
      {"PC2*3+0.1", {0.1f, 0.400000006f, 0.700000048f}},
      {"B1/B2", {inf, nan, -inf}},
      {"B1-(B3-(B4*2))", {125, 7, -179}},
      {"2/(B4-B4)", {inf, inf, inf}},
      {"(B1+B1)*(B3+B3)", {1200, 0, -4000}},
  };
  for (const auto &c : cases) {
    ExprNode *tree = ParseExpression(c.text);
    ASSERT_NE(tree, nullptr) << c.text;
    // A count of 2 leaves the third value alone.
    float out[3] = {-1, -1, -1};
    EXPECT_EQ(EvaluateExpression(tree, bandRows, componentRows, out, 2), 0);
    EXPECT_EQ(out[2], -1) << c.text;
    EXPECT_EQ(EvaluateExpression(tree, bandRows, componentRows, out, 3), 0);
    for (int k = 0; k < 3; ++k) {
      if (std::isnan(c.expected[k]))
        EXPECT_TRUE(std::isnan(out[k])) << c.text << " " << k;
      else
        EXPECT_EQ(out[k], c.expected[k]) << c.text << " " << k;
    }
    FreeExpression(tree);
  }
}

// A shared root is released once (the sanitizer build reports a second
// release); roots after the first empty entry are not touched.
TEST(FreeExpressions, ReleasesSharedRootsOnce) {
  ExprNode *t = ParseExpression("B1+B2");
  ExprNode *shared[3] = {t, t, ParseExpression("C3")};
  FreeExpressions(shared);
  ExprNode *single[3] = {ParseExpression("B1"), nullptr, nullptr};
  FreeExpressions(single);
  ExprNode *none[3] = {nullptr, nullptr, nullptr};
  FreeExpressions(none);
}

}  // namespace
