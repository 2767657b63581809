// Band-arithmetic expressions: parse trees, single-precision evaluation,
// releasing shared trees. Which bands and components a tree reads shows in
// the RawImage tests.
#include "expressions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace {

// A tree written out with every operator node in parentheses.
std::string Show(const ExprNode *node) {
  char text[32];
  snprintf(text, sizeof text, "%.9g", node->value);
  switch (node->kind) {
    case EXPR_OPERATOR:
      return "(" + Show(node->left) + node->op + Show(node->right) + ")";
    case EXPR_BAND: return "B" + std::to_string(node->number);
    case EXPR_COMPONENT: return "C" + std::to_string(node->number);
    default: return text;
  }
}

TEST(ParseExpression, BuildsTreesOrRefuses) {
  const struct {
    std::string text, tree;
  } cases[] = {
      {"B1+B2*B3", "(B1+(B2*B3))"},
      {"B1*B2-B3", "((B1*B2)-B3)"},
      {"B1-B2-B3", "((B1-B2)-B3)"},
      {"B4/B3*2", "((B4/B3)*2)"},
      {"((B1))", "B1"},
      {"(B1)+(B2)", "(B1+B2)"},
      {"b2+B07", "(B2+B7)"},
      {"pc3*c1", "(C3*C1)"},
      {"0.1", "0.100000001"},  // read at single precision
      {"B1+" + std::string(46, '0') + "2", "(B1+2)"},  // 50 characters
      {"B1+" + std::string(47, '0') + "2", "illegal"},
  };
  for (const auto &c : cases) {
    ExprNode *tree = ParseExpression(c.text.c_str());
    EXPECT_EQ(tree ? Show(tree) : "illegal", c.tree) << c.text;
    FreeExpression(tree);
  }
  for (const char *text : {"B0", "PC8", "B1.5", "X", "", "-B1", "B1+", "(B1",
                           ")B1(", "(B1+B2))", "B1e0", "B4294967297"})
    EXPECT_EQ(ParseExpression(text), nullptr) << text;
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
    ExprNode *tree = ParseExpression(c.text);
    float out[3] = {-1, -1, -1};  // a count of 2 leaves the third alone
    EXPECT_EQ(EvaluateExpression(tree, bands, components, out, 2), 0);
    EXPECT_EQ(out[2], -1) << c.text;
    EXPECT_EQ(EvaluateExpression(tree, bands, components, out, 3), 0);
    for (int k = 0; k < 3; ++k)
      EXPECT_TRUE(out[k] == c.expected[k] ||
                  (std::isnan(out[k]) && std::isnan(c.expected[k])))
          << c.text << " " << k << " " << out[k];
    FreeExpression(tree);
  }
}

// The sanitizer build reports a shared root released twice.
TEST(FreeExpressions, ReleasesSharedRootsOnce) {
  ExprNode *t = ParseExpression("B1+B2");
  ExprNode *shared[3] = {t, t, ParseExpression("C3")};
  FreeExpressions(shared);
}

}  // namespace
