// Band-arithmetic expressions: parsing, evaluation over rows, marking of
// the bands and components read, release.
#include "expressions.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>

namespace {

ExprNode *NewNode(int kind) {
  ExprNode *node = new (std::nothrow) ExprNode;
  if (node == nullptr) return nullptr;
  node->kind = kind;
  node->op = 0;
  node->left = nullptr;
  node->right = nullptr;
  node->number = 0;
  node->value = 0.0;
  return node;
}

// A whole text that is one decimal integer ("%d%c" gives one item) in
// 1..7; 0 otherwise.
int ScanNumber(const char *text) {
  int value;
  const char *end;
  if (!scan_int_end(text, &value, &end) || *end != '\0') return 0;
  return value >= 1 && value <= MAX_BANDS ? value : 0;
}

ExprNode *ParseLeaf(const char *text) {
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
    const int number = ScanNumber(digits);
    if (number == 0) return nullptr;
    ExprNode *node = NewNode(kind);
    if (node != nullptr) node->number = number;
    return node;
  }
  float value;
  char after;
  if (sscanf(text, "%f%c", &value, &after) != 1) return nullptr;
  ExprNode *node = NewNode(EXPR_CONSTANT);
  if (node != nullptr) node->value = value;
  return node;
}

// Index of the ')' that closes the '(' at text[0], or -1.
int ClosingParenthesis(const char *text, int length) {
  int depth = 0;
  for (int i = 0; i < length; ++i) {
    if (text[i] == '(') ++depth;
    if (text[i] == ')' && --depth == 0) return i;
  }
  return -1;
}

ExprNode *Parse(const char *source, int length) {
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
         ClosingParenthesis(start, length) == length - 1) {
    ++start;
    length -= 2;
    start[length] = '\0';
  }

  int position = -1;
  for (const char *group : {"+-", "*/"}) {
    if (FindOperator(start, group, &position) != 0) return nullptr;
    if (position >= 0) break;
  }
  if (position < 0) return ParseLeaf(start);
  if (position == 0 || position == length - 1) return nullptr;

  ExprNode *left = Parse(start, position);
  if (left == nullptr) return nullptr;
  ExprNode *right = Parse(start + position + 1, length - position - 1);
  ExprNode *node = right != nullptr ? NewNode(EXPR_OPERATOR) : nullptr;
  if (node == nullptr) {
    FreeExpression(left);
    FreeExpression(right);
    return nullptr;
  }
  node->op = start[position];
  node->left = left;
  node->right = right;
  return node;
}

// out[k] = out[k] op operand[k]
void Combine(char op, float *out, const float *operand, int count) {
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
void CombineConstant(char op, float *out, float value, int count) {
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

const float *LeafRow(const ExprNode *node, ExprRows bandRows,
                     ExprRows componentRows) {
  return node->kind == EXPR_BAND ? bandRows[node->number]
                                 : componentRows[node->number];
}

void Mark(const ExprNode *node, int kind, int needed[FILE_SLOTS]) {
  if (node->kind == EXPR_OPERATOR) {
    Mark(node->left, kind, needed);
    Mark(node->right, kind, needed);
  } else if (node->kind == kind) {
    needed[node->number] = 1;
  }
}

}  // namespace

ExprNode *ParseExpression(const char *text) {
  const size_t length = strlen(text);
  if (length > static_cast<size_t>(MAX_EXPRESSION)) return nullptr;
  return Parse(text, static_cast<int>(length));
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
void EvaluateExpressionInto(const ExprNode *node, ExprRows bandRows,
                            ExprRows componentRows, float *out, int count,
                            float *scratch) {
  switch (node->kind) {
    case EXPR_BAND:
    case EXPR_COMPONENT: {
      const float *row = LeafRow(node, bandRows, componentRows);
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
  EvaluateExpressionInto(node->left, bandRows, componentRows, out, count,
                         scratch);
  const ExprNode *right = node->right;
  if (right->kind == EXPR_CONSTANT) {
    CombineConstant(node->op, out, static_cast<float>(right->value), count);
  } else if (right->kind != EXPR_OPERATOR) {
    Combine(node->op, out, LeafRow(right, bandRows, componentRows), count);
  } else {
    EvaluateExpressionInto(right, bandRows, componentRows, scratch, count,
                           scratch + count);
    Combine(node->op, out, scratch, count);
  }
}

int ExpressionScratchRows(const ExprNode *node) {
  if (node->kind != EXPR_OPERATOR) return 0;
  const int left = ExpressionScratchRows(node->left);
  if (node->right->kind != EXPR_OPERATOR) return left;
  const int right = 1 + ExpressionScratchRows(node->right);
  return left > right ? left : right;
}

int EvaluateExpression(const ExprNode *tree, ExprRows bandRows,
                       ExprRows componentRows, float *out, int count) {
  const size_t rows = static_cast<size_t>(ExpressionScratchRows(tree));
  float *scratch = nullptr;
  if (rows > 0 && count > 0) {
    scratch = static_cast<float *>(
        malloc(rows * static_cast<size_t>(count) * sizeof(float)));
    if (scratch == nullptr) return 1;
  }
  EvaluateExpressionInto(tree, bandRows, componentRows, out, count, scratch);
  free(scratch);
  return 0;
}

void MarkBandsUsed(const ExprNode *tree, int needed[FILE_SLOTS]) {
  Mark(tree, EXPR_BAND, needed);
}

void MarkComponentsUsed(const ExprNode *tree, int needed[FILE_SLOTS]) {
  Mark(tree, EXPR_COMPONENT, needed);
}

void FreeExpression(ExprNode *tree) {
  if (tree == nullptr) return;
  FreeExpression(tree->left);
  FreeExpression(tree->right);
  delete tree;
}

void FreeExpressions(ExprNode *trees[3]) {
  for (int k = 0; k < 3 && trees[k] != nullptr; ++k) {
    bool shared = false;
    for (int j = 0; j < k; ++j) shared = shared || trees[j] == trees[k];
    if (!shared) FreeExpression(trees[k]);
  }
}
