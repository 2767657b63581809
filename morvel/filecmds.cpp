// Commands that work directly on files: "PointValue" reads one sample of a
// band or PCI file; "ClearMatchingPoints" zeroes a rectangle of a matching
// points file in place.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>

#include "bandlib.h"
#include "filehandle.h"
#include "shell.h"
#include "shellhelpers.h"

namespace {

// Whether the reader delivers a sample for this layout (the image type,
// negated for a component) and band: codes -4..4 but 0, and for the GI
// layout of bands only bands 1..5.
bool reads_a_sample(int layout, int band) {
  if (layout == 0 || layout < -4 || layout > 4) return false;
  return layout != 4 || (band >= 1 && band <= 5);
}

// A span of rows or columns clipped to a raster of `size` lines: false when
// nothing of it lies inside. First and last are relative to the raster.
bool clip_span(int64_t start, int64_t origin, int64_t length, int64_t size,
               int64_t *first, int64_t *last) {
  *first = start - origin;
  *last = *first + length - 1;
  if (*first > size - 1 || *last < 0) return false;
  *first = std::max<int64_t>(*first, 0);
  *last = std::min<int64_t>(*last, size - 1);
  return *first <= *last;
}

// Zeroes `width` bytes at `offset` after checking that they all exist, so
// that the file is never extended and a short row is left as it was.
// Returns 0, or the prefix of the failure's message.
const char *clear_bytes(FILE *file, int64_t offset, int64_t width) {
  static const unsigned char zeros[65536] = {};
  unsigned char scratch[sizeof zeros];
  if (fseeko(file, offset, SEEK_SET) != 0)
    return "Error reading matching points file (";
  for (int64_t left = width; left > 0;) {
    const size_t part = static_cast<size_t>(
        std::min<int64_t>(left, static_cast<int64_t>(sizeof scratch)));
    if (fread(scratch, 1, part, file) != part) {
      if (!ferror(file)) errno = ENODATA;
      return "Error reading matching points file (";
    }
    left -= static_cast<int64_t>(part);
  }
  if (fseeko(file, offset, SEEK_SET) != 0)
    return "Error modifying matching points file (";
  for (int64_t left = width; left > 0;) {
    const size_t part = static_cast<size_t>(
        std::min<int64_t>(left, static_cast<int64_t>(sizeof zeros)));
    if (fwrite(zeros, 1, part, file) != part)
      return "Error modifying matching points file (";
    left -= static_cast<int64_t>(part);
  }
  return nullptr;
}

}  // namespace

int PointValueCmd(ClientData, Tcl_Interp *interp, int argc,
                  const char *argv[]) {
  // band code, image type, row, column, rows, columns, shift
  int a[7];
  if (!read_arguments(interp, argc, argv, 9, 2, 7, a)) return TCL_ERROR;
  const int bandCode = a[0], type = a[1], row = a[2], col = a[3];
  const int rows = a[4], cols = a[5], shift = a[6];
  // A component is read with the negated type.
  const int layout = bandCode < 0 ? (type == INT_MIN ? 0 : -type) : type;
  const int band =
      bandCode < 0 ? (bandCode == INT_MIN ? 0 : -bandCode) : bandCode;
  if (!reads_a_sample(layout, band)) {
    set_message(interp, "Illegal parameter.");
    return TCL_ERROR;
  }

  FileHandle file(fopen(argv[1], "rb"));
  if (!file) return fail_system(interp, "Error opening image file (");
  int32_t value = 0;
  if (read_band_row(file.get(), rows, cols, layout, band, row, col, 1, &value,
                    shift != 0 ? KIND_I32_8 : KIND_I32))
    return fail_system(interp, "Error reading from image file (");
  Tcl_SetObjResult(interp, Tcl_NewIntObj(value));
  return TCL_OK;
}

int ClearMatchingPointsCmd(ClientData, Tcl_Interp *interp, int argc,
                           const char *argv[]) {
  // file first row, first column, rows, columns; y, x, rows, columns
  int a[8];
  if (!read_arguments(interp, argc, argv, 10, 2, 8, a)) return TCL_ERROR;
  const int fileRow = a[0], fileCol = a[1], fileRows = a[2], fileCols = a[3];
  const int y = a[4], x = a[5], rows = a[6], cols = a[7];

  // Rows first, then columns; a rectangle wholly outside the raster (or an
  // empty one) clears nothing and leaves the file unopened.
  int64_t firstRow, lastRow, firstCol, lastCol;
  if (rows < 1 || cols < 1) return TCL_OK;
  if (!clip_span(y, fileRow, rows, fileRows, &firstRow, &lastRow))
    return TCL_OK;
  if (!clip_span(x, fileCol, cols, fileCols, &firstCol, &lastCol))
    return TCL_OK;
  const int64_t width = lastCol - firstCol + 1;

  FileHandle file(fopen(argv[1], "r+b"));
  if (!file) return fail_system(interp, "Error opening matching points file (");
  for (int64_t r = firstRow; r <= lastRow; ++r) {
    const char *failure =
        clear_bytes(file.get(), r * fileCols + firstCol, width);
    if (failure != nullptr) return fail_system(interp, failure);
    // The zeros are handed to the system before the next row is read, so
    // that a write that fails is reported as one, not as a failed seek of
    // the next row. The last row's zeros go out with the close.
    if (r < lastRow && fflush(file.get()) != 0)
      return fail_system(interp, "Error modifying matching points file (");
  }
  if (fclose(file.release()) != 0)
    return fail_system(interp, "Error closing matching points file (");
  return TCL_OK;
}
