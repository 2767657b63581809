// Band-arithmetic expressions: 'B3', '(B4-B3)/(B4+B3)', 'PC1*2+C2'.
// Texts are parsed into trees of ExprNode and evaluated over rows of
// pixels in single precision. Nothing here prints or words a message.
#pragma once

#include <memory>

#include "bandlib.h"

enum ExprKind {
  EXPR_OPERATOR = 1,
  EXPR_BAND = 2,
  EXPR_COMPONENT = 3,
  EXPR_CONSTANT = 4,
};

// The longest expression text the parser takes.
constexpr int MAX_EXPRESSION = 50;

// One node of a parse tree; each node is allocated by itself and owns its
// operands, which are released before the node.
struct ExprNode {
  int kind = 0;                    // ExprKind
  char op = 0;                     // operator: '+', '-', '*' or '/'
  std::unique_ptr<ExprNode> left;  // operator: the operands
  std::unique_ptr<ExprNode> right;
  int number = 0;      // band or component: 1..7
  double value = 0.0;  // constant: a value read at single precision
};

// A tree, owned by whoever holds its root.
using ExprTree = std::unique_ptr<ExprNode>;

// Rows of one stretch of pixels, indexed by band or component number
// (slot 0 unused); element k of every row belongs to the same pixel.
using ExprRows = const float *const[FILE_SLOTS];

// The tree of `text` (at most 50 characters, no blanks), or null when the
// text is not a legal expression or a node could not be allocated.
ExprTree ParseExpression(const char *text);

// Sets *position to the index of the last character of `text` that is one
// of `operators` and stands outside every pair of parentheses (-1 if none)
// and returns 0; returns 1 when a ')' closes no open '('.
int FindOperator(const char *text, const char *operators, int *position);

// out[0..count-1] = the tree's value for each element of the rows.
// Returns 0, or 1 when a temporary row could not be allocated.
int EvaluateExpression(const ExprNode *tree, ExprRows bandRows,
                       ExprRows componentRows, float *out, int count);

// The number of temporary rows of `count` values that
// evaluate_expression_into needs for `tree`.
int expression_scratch_rows(const ExprNode *tree);

// EvaluateExpression with the caller's temporaries: `scratch` holds
// expression_scratch_rows(tree) rows of `count` values, so the evaluation
// of many rows allocates nothing. The values are the same.
void evaluate_expression_into(const ExprNode *tree, ExprRows bandRows,
                              ExprRows componentRows, float *out, int count,
                              float *scratch);

// needed[n] = 1 for every band (component) n that the tree reads.
void MarkBandsUsed(const ExprNode *tree, int needed[FILE_SLOTS]);
void MarkComponentsUsed(const ExprNode *tree, int needed[FILE_SLOTS]);

// Releases every node of the tree, the operands before the node, and
// leaves the root empty.
void FreeExpression(ExprTree &tree);

// Releases the trees of a read's channels, one per distinct expression,
// and leaves every entry empty. Channels with equal expressions share one
// entry (see RawImageInputs), so each tree is held, and released, once.
void FreeExpressions(ExprTree trees[3]);
