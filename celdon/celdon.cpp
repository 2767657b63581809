// celdon: finds the nearest interpreted point of a class in a BIF, at or
// after a position (forward) or at or before it (backward) in row-major
// order, and prints its column and row, or "NotFound".
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct FileCloser {
  void operator()(FILE *file) const {
    if (file != nullptr) fclose(file);
  }
};
using FileHandle = std::unique_ptr<FILE, FileCloser>;

// One 12-byte record of a BIF: three little-endian 32-bit integers.
struct BifRecord {
  int32_t row;
  int32_t column;
  int32_t cls;
};

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

enum ReadResult { READ_RECORD, READ_END, READ_ERROR };

// One "%d" scan: leading white space, an optional sign, at least one digit;
// text after the digits is ignored. A number outside the range of int is
// refused like any other text that gives no number.
int scan_int(const char *text, int *value) {
  while (isspace(static_cast<unsigned char>(*text))) ++text;
  const char *digits = text;
  if (*digits == '-' || *digits == '+') ++digits;
  if (!isdigit(static_cast<unsigned char>(*digits))) return 1;
  errno = 0;
  const long long number = strtoll(text, nullptr, 10);
  if (errno == ERANGE || number < INT_MIN || number > INT_MAX) return 1;
  *value = static_cast<int>(number);
  return 0;
}

// One 4-byte little-endian field; false when no whole item was read.
bool read_field(FILE *file, int32_t *value) {
  unsigned char bytes[4];
  if (fread(bytes, sizeof bytes, 1, file) != 1) return false;
  uint32_t bits = static_cast<uint32_t>(bytes[0]) |
                  static_cast<uint32_t>(bytes[1]) << 8 |
                  static_cast<uint32_t>(bytes[2]) << 16 |
                  static_cast<uint32_t>(bytes[3]) << 24;
  *value = static_cast<int32_t>(bits);
  return true;
}

// A short row field ends the BIF (1 to 3 trailing bytes are ignored); a
// record cut short after its row, or a read error, is an error.
ReadResult read_bif_record(FILE *file, BifRecord *record) {
  if (!read_field(file, &record->row)) {
    return ferror(file) ? READ_ERROR : READ_END;
  }
  if (!read_field(file, &record->column) || !read_field(file, &record->cls)) {
    return READ_ERROR;
  }
  return READ_RECORD;
}

int parse_arguments(int argc, char **argv, Arguments *args) {
  if (argc != 8) {
    fprintf(stderr, "Missing/extra parameter.\n");
    return 1;
  }
  args->bifPath = argv[1];
  if (scan_int(argv[2], &args->iRows) != 0 ||
      scan_int(argv[3], &args->iCols) != 0 ||
      scan_int(argv[4], &args->row) != 0 ||
      scan_int(argv[5], &args->col) != 0 ||
      scan_int(argv[6], &args->forward) != 0 ||
      scan_int(argv[7], &args->classNumber) != 0) {
    fprintf(stderr, "Illegal parameter.\n");
    return 1;
  }
  return 0;
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

int search_bif(const Arguments &args, Position *best) {
  FileHandle file(fopen(args.bifPath, "rb"));
  if (!file) {
    fprintf(stderr, "Error opening BIF (%s).\n", strerror(errno));
    return 1;
  }
  BifRecord record;
  ReadResult result;
  while ((result = read_bif_record(file.get(), &record)) == READ_RECORD) {
    if (record.cls != args.classNumber) continue;
    if (args.forward != 0) {
      consider_forward(args, record.row, record.column, best);
    } else {
      consider_backward(args, record.row, record.column, best);
    }
  }
  if (result == READ_ERROR || ferror(file.get())) {
    fprintf(stderr, "Error reading from BIF (%s).\n", strerror(errno));
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  Arguments args;
  if (parse_arguments(argc, argv, &args) != 0) return 1;
  Position best = {-1, -1};
  if (args.forward != 0) best = {args.iRows, args.iCols};
  if (search_bif(args, &best) != 0) return 1;
  if (best.row >= 0 && best.row < args.iRows) {
    printf("%d %d\n", best.col, best.row);
  } else {
    printf("NotFound\n");
  }
  return 0;
}
