// Band-arithmetic expressions: parse trees, the operator search,
// single-precision evaluation, the bands and components a tree reads.
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
      {"((B4-B3)/(B4+B3))", "((B4-B3)/(B4+B3))"},
      {"(B4-B3)/(B4+B3)*127+128", "((((B4-B3)/(B4+B3))*127)+128)"},
      {"b2", "B2"},
      {"B07", "B7"},
      {"pc3", "C3"},
      {"Pc3", "C3"},
      {"c3", "C3"},
      {"C3", "C3"},
      {"PC1*2+C2", "((C1*2)+C2)"},
      {"7", "7"},
      {"2.5", "2.5"},
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

TEST(FindOperator, FindsTheLastOperatorOutsideParentheses) {
  const struct {
    const char *text, *operators;
    int result, position;
  } cases[] = {
      {"(B1+B2)*B3", "+-", 0, -1}, {"(B1+B2)*B3", "*/", 0, 7},
      {"B1-B2-B3", "+-", 0, 5},    {"B1)+(B2", "+-", 1, -1},
      {"", "+-", 0, -1},           {"(B1*(B2/B3))", "*/", 0, -1},
  };
  for (const auto &c : cases) {
    int position = 99;
    EXPECT_EQ(FindOperator(c.text, c.operators, &position), c.result) << c.text;
    if (c.result == 0) {
      EXPECT_EQ(position, c.position) << c.text;
    }
  }
}

// Rows of three pixels: bands 1..4 and component 2.
struct Rows {
  float band[FILE_SLOTS][3] = {};
  float component[FILE_SLOTS][3] = {};
  const float *bandRows[FILE_SLOTS], *componentRows[FILE_SLOTS];
  Rows() {
    for (int i = 0; i < FILE_SLOTS; ++i) {
      bandRows[i] = band[i];
      componentRows[i] = component[i];
    }
  }
};

TEST(EvaluateExpression, ComputesInSinglePrecisionInTreeOrder) {
  Rows rows;
  const float b1[3] = {5, 0, -5}, b3[3] = {60, 7, 200}, b4[3] = {90, 7, 13};
  for (int k = 0; k < 3; ++k) {
    rows.band[1][k] = b1[k];
    rows.band[3][k] = b3[k];
    rows.band[4][k] = b4[k];
    rows.component[2][k] = static_cast<float>(k) * 0.1f;
  }
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  auto ndvi = [&](int k) {
    const float d = b4[k] - b3[k], s = b4[k] + b3[k];
    const float q = d / s, p = q * 127.0f;
    return p + 128.0f;
  };
  const struct {
    const char *text;
    float expected[3];
  } cases[] = {
      {"B1/B2", {inf, nan, -inf}},
      {"(B4-B3)/(B4+B3)*127+128", {ndvi(0), ndvi(1), ndvi(2)}},
      {"B1-(B3-(B4*2))",
       {5 - (60 - 180.0f), 0 - (7 - 14.0f), -5 - (200 - 26.0f)}},
      {"PC2*3+0.1", {0 * 3 + 0.1f, 0.1f * 3 + 0.1f, 0.2f * 3 + 0.1f}},
      {"2/(B4-B4)", {inf, inf, inf}},
      {"(B1+B1)*(B3+B3)", {(5 + 5.0f) * 120, 0, (-10.0f) * 400}},
  };
  for (const auto &c : cases) {
    ExprNode *tree = ParseExpression(c.text);
    ASSERT_NE(tree, nullptr) << c.text;
    float out[3] = {-1, -1, -1};
    EXPECT_EQ(
        EvaluateExpression(tree, rows.bandRows, rows.componentRows, out, 3), 0);
    for (int k = 0; k < 3; ++k) {
      if (std::isnan(c.expected[k]))
        EXPECT_TRUE(std::isnan(out[k])) << c.text << " " << k;
      else
        EXPECT_EQ(out[k], c.expected[k]) << c.text << " " << k;
    }
    FreeExpression(tree);
  }
}

TEST(EvaluateExpression, CountZeroWritesNothing) {
  Rows rows;
  ExprNode *tree = ParseExpression("2*B1");
  float out[1] = {-7};
  EXPECT_EQ(EvaluateExpression(tree, rows.bandRows, rows.componentRows, out, 0),
            0);
  EXPECT_EQ(out[0], -7);
  FreeExpression(tree);
}

TEST(MarkUsed, SetsTheFlagsOfTheNumbersReadAndKeepsTheOthers) {
  ExprNode *tree = ParseExpression("B1+PC2*B7/(C2-b3)");
  int bands[FILE_SLOTS] = {0, 0, 0, 0, 0, 1, 0, 0};
  int components[FILE_SLOTS] = {};
  MarkBandsUsed(tree, bands);
  MarkComponentsUsed(tree, components);
  const int wantBands[FILE_SLOTS] = {0, 1, 0, 1, 0, 1, 0, 1};
  const int wantComponents[FILE_SLOTS] = {0, 0, 1, 0, 0, 0, 0, 0};
  for (int i = 0; i < FILE_SLOTS; ++i) {
    EXPECT_EQ(bands[i], wantBands[i]) << i;
    EXPECT_EQ(components[i], wantComponents[i]) << i;
  }
  FreeExpression(tree);
}

// A shared root is released once (the sanitizer build reports a second
// release); roots after the first empty entry are not touched.
TEST(FreeExpressions, ReleasesSharedRootsOnce) {
  ExprNode *t = ParseExpression("B1+B2");
  ExprNode *u = ParseExpression("C3");
  ExprNode *shared[3] = {t, t, u};
  FreeExpressions(shared);
  ExprNode *single[3] = {ParseExpression("B1"), nullptr, nullptr};
  FreeExpressions(single);
  ExprNode *none[3] = {nullptr, nullptr, nullptr};
  FreeExpressions(none);
}

}  // namespace
