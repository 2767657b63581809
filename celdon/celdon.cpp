// celdon: finds the nearest interpreted point of a class in a BIF, at or
// after a position (forward) or at or before it (backward) in row-major
// order, and prints its column and row, or "NotFound".
#include <cstdio>

// celdon links no library: it takes only header-only pieces.
#include "bif.h"
#include "console.h"
#include "filehandle.h"
#include "scan.h"

namespace {

struct Arguments {
  const char *bifPath = nullptr;
  int iRows = 0;
  int iCols = 0;
  int row = 0;
  int col = 0;
  int forward = 0;
  int classNumber = 0;
};

struct Position {
  int row;
  int col;
};

Arguments parse_arguments(int argc, char **argv) {
  if (argc != 8) fail_with("Missing/extra parameter.\n");
  Arguments args;
  args.bifPath = argv[1];
  int *const numbers[] = {&args.iRows, &args.iCols,   &args.row,
                          &args.col,   &args.forward, &args.classNumber};
  for (int k = 0; k < 6; ++k)
    if (!scan_int(argv[2 + k], numbers[k])) fail_with("Illegal parameter.\n");
  return args;
}

// Keeps the least position at or after the start.
void consider_forward(const Arguments &args, int rr, int cc, Position *best) {
  if (rr < args.row || (rr == args.row && cc < args.col)) return;
  if (rr < best->row) {
    best->row = rr;
    best->col = cc;
  } else if (rr == best->row && cc < best->col) {
    best->col = cc;
  }
}

// Keeps the greatest position at or before the start.
void consider_backward(const Arguments &args, int rr, int cc, Position *best) {
  if (rr > args.row || (rr == args.row && cc > args.col)) return;
  if (rr > best->row) {
    best->row = rr;
    best->col = cc;
  } else if (rr == best->row && cc > best->col) {
    best->col = cc;
  }
}

void search_bif(const Arguments &args, Position *best) {
  FileHandle file(fopen(args.bifPath, "rb"));
  if (!file) fail_with("Error opening BIF (%s).\n", error_text());
  BifRecord record;
  BifRead result;
  while ((result = read_bif_record(file.get(), &record)) == BIF_RECORD) {
    if (record.cls != args.classNumber) continue;
    if (args.forward != 0) {
      consider_forward(args, record.row, record.column, best);
    } else {
      consider_backward(args, record.row, record.column, best);
    }
  }
  if (result == BIF_ERROR || ferror(file.get()))
    fail_with("Error reading from BIF (%s).\n", error_text());
}

// The result line is celdon's only output: when it cannot be delivered
// (a full device, a closed output, a reader gone), the caller must not take
// the run for a success.
void print_result(const Arguments &args, const Position &best) {
  int written;
  if (best.row >= 0 && best.row < args.iRows) {
    written = printf("%d %d\n", best.col, best.row);
  } else {
    written = printf("NotFound\n");
  }
  if (written < 0 || fflush(stdout) != 0)
    fail_with("Error writing to standard output (%s).\n", error_text());
}

}  // namespace

int main(int argc, char **argv) {
  ignore_broken_pipe();
  const Arguments args = parse_arguments(argc, argv);
  Position best = {-1, -1};
  if (args.forward != 0) best = {args.iRows, args.iCols};
  search_bif(args, &best);
  print_result(args, best);
  return 0;
}
