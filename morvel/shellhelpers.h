// What the shell's procedures share: their messages as the interpreter
// result, the reading of a command's arguments, and the planar photo block
// of red, green and blue planes.
#pragma once

#include <tcl.h>
#include <tk.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "scan.h"

// A fixed message: a string literal, which Tcl takes as it is.
inline void set_message(Tcl_Interp *interp, const char *text) {
  Tcl_SetResult(interp, const_cast<char *>(text), TCL_STATIC);
}

// "<prefix><system text of error>).": the prefix ends in " (". Returns the
// error status.
inline int fail_system(Tcl_Interp *interp, const char *prefix,
                       int error = errno) {
  Tcl_ResetResult(interp);
  Tcl_AppendResult(interp, prefix, strerror(error), ").", nullptr);
  return TCL_ERROR;
}

// The decimal text of a number, held in place: a message that carries a
// number is built without taking memory that may not be there.
struct NumberText {
  char digits[12];  // "-2147483648" and its end
};

inline NumberText number_text(int value) {
  NumberText text;
  snprintf(text.digits, sizeof text.digits, "%d", value);
  return text;
}

// "<text><number> (<system text of error>).", for a message that names a
// band or component. Returns the error status.
inline int fail_numbered(Tcl_Interp *interp, const char *text, int number,
                         int error) {
  Tcl_ResetResult(interp);
  Tcl_AppendResult(interp, text, number_text(number).digits, " (",
                   strerror(error), ").", nullptr);
  return TCL_ERROR;
}

// A command of `wanted` words (its name included) whose arguments from
// position `first` on are `count` integers. False with "Missing/extra
// parameter." for another count, or with "Illegal parameter." at the first
// argument that one "%d" scan cannot read.
inline bool read_arguments(Tcl_Interp *interp, int argc, const char *argv[],
                           int wanted, int first, int count, int *values) {
  if (argc != wanted) {
    set_message(interp, "Missing/extra parameter.");
    return false;
  }
  for (int k = 0; k < count; ++k) {
    if (!scan_int(argv[first + k], &values[k])) {
      set_message(interp, "Illegal parameter.");
      return false;
    }
  }
  return true;
}

// A block of width x height pixels in planar layout: the red, green and
// blue planes of `plane` bytes each follow one another from `pixels`, rows
// `width` bytes apart, no alpha.
inline Tk_PhotoImageBlock planar_block(unsigned char *pixels, int width,
                                       int height, int plane) {
  Tk_PhotoImageBlock block;
  block.pixelPtr = pixels;
  block.width = width;
  block.height = height;
  block.pitch = width;
  block.pixelSize = 1;
  block.offset[0] = 0;
  block.offset[1] = plane;
  block.offset[2] = 2 * plane;
  block.offset[3] = 0;
  return block;
}
