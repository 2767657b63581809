// Band-arithmetic expressions: parsing, evaluation over rows, marking of
// the bands and components read, release.
#include "expressions.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <new>
#include <utility>
#include <vector>

namespace {

ExprTree new_node(int kind) {
  ExprTree node(new (std::nothrow) ExprNode);
  if (node) node->kind = kind;
  return node;
}

// The number of a band or component leaf: a whole text that is one decimal
// integer ("%d%c" gives one item) in 1..7; 0 otherwise.
int leaf_number(const char *text) {
  int value;
  const char *end;
  if (!scan_int_end(text, &value, &end) || *end != '\0') return 0;
  return value >= 1 && value <= MAX_BANDS ? value : 0;
}

ExprTree parse_leaf(const char *text) {
  const int first = toupper(static_cast<unsigned char>(text[0]));
  int kind = 0;
  const char *digits = nullptr;
  if (first == 'B') {
    kind = EXPR_BAND;
    digits = text + 1;
  } else if (first == 'P' &&
             toupper(static_cast<unsigned char>(text[1])) == 'C') {
    kind = EXPR_COMPONENT;
    digits = text + 2;
  } else if (first == 'C') {
    kind = EXPR_COMPONENT;
    digits = text + 1;
  }
  if (kind != 0) {
    const int number = leaf_number(digits);
    if (number == 0) return nullptr;
    ExprTree node = new_node(kind);
    if (node) node->number = number;
    return node;
  }
  float value;
  char after;
  if (sscanf(text, "%f%c", &value, &after) != 1) return nullptr;
  ExprTree node = new_node(EXPR_CONSTANT);
  if (node) node->value = value;
  return node;
}

// Index of the ')' that closes the '(' at text[0], or -1.
int closing_parenthesis(const char *text, int length) {
  int depth = 0;
  for (int i = 0; i < length; ++i) {
    if (text[i] == '(') ++depth;
    if (text[i] == ')' && --depth == 0) return i;
  }
  return -1;
}

ExprTree parse(const char *source, int length) {
  char text[MAX_EXPRESSION + 1];
  memcpy(text, source, static_cast<size_t>(length));
  text[length] = '\0';

  // Every ')' must close an earlier '('.
  int depth = 0;
  for (int i = 0; i < length; ++i) {
    if (text[i] == '(') ++depth;
    if (text[i] == ')' && --depth < 0) return nullptr;
  }

  // Remove enclosing pairs: '((B1))' is 'B1'.
  char *start = text;
  while (length >= 2 && start[0] == '(' &&
         closing_parenthesis(start, length) == length - 1) {
    ++start;
    length -= 2;
    start[length] = '\0';
  }

  int position = -1;
  for (const char *group : {"+-", "*/"}) {
    if (FindOperator(start, group, &position) != 0) return nullptr;
    if (position >= 0) break;
  }
  if (position < 0) return parse_leaf(start);
  if (position == 0 || position == length - 1) return nullptr;

  ExprTree left = parse(start, position);
  if (!left) return nullptr;
  ExprTree right = parse(start + position + 1, length - position - 1);
  if (!right) return nullptr;
  ExprTree node = new_node(EXPR_OPERATOR);
  if (!node) return nullptr;
  node->op = start[position];
  node->left = std::move(left);
  node->right = std::move(right);
  return node;
}

// out[k] = out[k] op operand[k]
void combine(char op, float *out, const float *operand, int count) {
  switch (op) {
    case '+':
      for (int k = 0; k < count; ++k) out[k] = out[k] + operand[k];
      break;
    case '-':
      for (int k = 0; k < count; ++k) out[k] = out[k] - operand[k];
      break;
    case '*':
      for (int k = 0; k < count; ++k) out[k] = out[k] * operand[k];
      break;
    default:
      for (int k = 0; k < count; ++k) out[k] = out[k] / operand[k];
      break;
  }
}

// out[k] = out[k] op value
void combine_constant(char op, float *out, float value, int count) {
  switch (op) {
    case '+':
      for (int k = 0; k < count; ++k) out[k] = out[k] + value;
      break;
    case '-':
      for (int k = 0; k < count; ++k) out[k] = out[k] - value;
      break;
    case '*':
      for (int k = 0; k < count; ++k) out[k] = out[k] * value;
      break;
    default:
      for (int k = 0; k < count; ++k) out[k] = out[k] / value;
      break;
  }
}

const float *leaf_row(const ExprNode *node, ExprRows bandRows,
                      ExprRows componentRows) {
  return node->kind == EXPR_BAND ? bandRows[node->number]
                                 : componentRows[node->number];
}

void mark(const ExprNode *node, int kind, int needed[FILE_SLOTS]) {
  if (node->kind == EXPR_OPERATOR) {
    mark(node->left.get(), kind, needed);
    mark(node->right.get(), kind, needed);
  } else if (node->kind == kind) {
    needed[node->number] = 1;
  }
}

}  // namespace

ExprTree ParseExpression(const char *text) {
  const size_t length = strlen(text);
  if (length > static_cast<size_t>(MAX_EXPRESSION)) return nullptr;
  return parse(text, static_cast<int>(length));
}

int FindOperator(const char *text, const char *operators, int *position) {
  *position = -1;
  int depth = 0;
  for (int i = 0; text[i] != '\0'; ++i) {
    if (text[i] == '(') {
      ++depth;
    } else if (text[i] == ')') {
      if (depth == 0) return 1;
      --depth;
    } else if (depth == 0 && strchr(operators, text[i]) != nullptr) {
      *position = i;
    }
  }
  return 0;
}

// The left operand is evaluated straight into `out` and the right one into
// a temporary (or read in place when it is a leaf), so each operator costs
// one pass over the row. Every element gets the same single-precision
// operations as with two temporaries per operator.
void evaluate_expression_into(const ExprNode *node, ExprRows bandRows,
                              ExprRows componentRows, float *out, int count,
                              float *scratch) {
  switch (node->kind) {
    case EXPR_BAND:
    case EXPR_COMPONENT: {
      const float *row = leaf_row(node, bandRows, componentRows);
      for (int k = 0; k < count; ++k) out[k] = row[k];
      return;
    }
    case EXPR_CONSTANT: {
      const float value = static_cast<float>(node->value);
      for (int k = 0; k < count; ++k) out[k] = value;
      return;
    }
    default: break;
  }
  evaluate_expression_into(node->left.get(), bandRows, componentRows, out,
                           count, scratch);
  const ExprNode *right = node->right.get();
  if (right->kind == EXPR_CONSTANT) {
    combine_constant(node->op, out, static_cast<float>(right->value), count);
  } else if (right->kind != EXPR_OPERATOR) {
    combine(node->op, out, leaf_row(right, bandRows, componentRows), count);
  } else {
    evaluate_expression_into(right, bandRows, componentRows, scratch, count,
                             scratch + count);
    combine(node->op, out, scratch, count);
  }
}

int expression_scratch_rows(const ExprNode *node) {
  if (node->kind != EXPR_OPERATOR) return 0;
  const int left = expression_scratch_rows(node->left.get());
  if (node->right->kind != EXPR_OPERATOR) return left;
  const int right = 1 + expression_scratch_rows(node->right.get());
  return left > right ? left : right;
}

int EvaluateExpression(const ExprNode *tree, ExprRows bandRows,
                       ExprRows componentRows, float *out, int count) {
  const size_t rows = static_cast<size_t>(expression_scratch_rows(tree));
  std::vector<float> scratch;
  if (count > 0) {
    try {
      scratch.resize(rows * static_cast<size_t>(count));
    } catch (const std::bad_alloc &) {
      return 1;
    }
  }
  evaluate_expression_into(tree, bandRows, componentRows, out, count,
                           scratch.data());
  return 0;
}

void MarkBandsUsed(const ExprNode *tree, int needed[FILE_SLOTS]) {
  mark(tree, EXPR_BAND, needed);
}

void MarkComponentsUsed(const ExprNode *tree, int needed[FILE_SLOTS]) {
  mark(tree, EXPR_COMPONENT, needed);
}

void FreeExpression(ExprTree &tree) { tree.reset(); }

void FreeExpressions(ExprTree trees[3]) {
  for (int k = 0; k < 3; ++k) FreeExpression(trees[k]);
}
