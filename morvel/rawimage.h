// Pieces of the "RawImage" photo format shared by its files: the photo
// configuration string read into a plain struct, the rows and planes of
// one read, and the byte conversion.
#pragma once

#include <cstdio>

#include "bandlib.h"
#include "expressions.h"
#include "shell.h"
#include "shellhelpers.h"

constexpr int MAX_PATHS_FIELD = 1792;
constexpr int MAX_BAND_NUMBERS_FIELD = 28;

enum DisplayMode { MODE_GREY = 1, MODE_RGB = 2, MODE_PALETTE = 3 };

// A photo configuration string, read.
struct PhotoConfiguration {
  char bandPaths[MAX_PATHS_FIELD + 1];
  char bandNumbers[MAX_BAND_NUMBERS_FIELD + 1];
  char pciPaths[MAX_PATHS_FIELD + 1];
  int iType, iRows, iCols;  // band files: type code, rows, stored row length
  int wRow, wCol, wRows, wCols;  // the window of the image shown
  int mode;                      // DisplayMode
  int channels;                  // 1, or 3 in RGB mode
  char expressions[3][MAX_EXPRESSION + 1];
  int palette[PALETTE_ENTRIES][3];  // palette mode: red, green, blue
};

// Reads the string for a photo region of width x height pixels. Returns
// null, or the message of the first fault met.
const char *read_photo_configuration(const char *string, int width, int height,
                                     PhotoConfiguration *config);

// What one read holds: the channels' trees and the open files. Channel k
// is drawn by trees[treeOf[k]]: a channel whose expression equals an
// earlier channel's uses that channel's tree, so each tree is held once.
struct RawImageInputs {
  ExprTree trees[3];  // one per distinct expression, from the first on
  int treeOf[3] = {};
  FileSet bandFiles;
  FileSet pciFiles;
};

// Computes the window into byte planes and puts them into the photo at
// (x, y), width x height pixels; the rows and planes live within the call.
// Returns TCL_OK, or TCL_ERROR with the message as the interpreter's
// result.
int show_raw_image(Tcl_Interp *interp, Tk_PhotoHandle photo,
                   const PhotoConfiguration &config, const RawImageInputs &in,
                   int x, int y, int width, int height);

// bytes[k] = values[k] as a byte: scaled by 0.25 first for 16-bit types,
// below 0 and NaN give 0, above 255 gives 255, others truncate.
void values_to_bytes(const float *values, int count, bool sixteenBit,
                     unsigned char *bytes);

// Releases the trees, then closes every open file of the band set and of
// the PCI set. (What is still held when a read ends early is released the
// same way as the inputs go out of scope.)
void ReleaseRawImage(RawImageInputs *in);
