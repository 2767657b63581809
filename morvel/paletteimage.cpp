// The "PaletteImage" photo format: a colour bar of a 256-entry palette,
// entry 0 at the left, entry 255 at the right, the same in every row.
#include <climits>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "bandlib.h"
#include "shell.h"
#include "shellhelpers.h"

bool read_palette(const char *text, int palette[PALETTE_ENTRIES][3]) {
  for (int e = 0; e < PALETTE_ENTRIES; ++e) {
    for (int c = 0; c < 3; ++c) {
      while (*text != '\0' && (*text < '0' || *text > '9')) ++text;
      if (*text == '\0' || !scan_int_end(text, &palette[e][c], &text))
        return false;
      while (*text != '\0' && *text != ' ') ++text;
    }
  }
  return true;
}

int PaletteImageStringMatch(char *string, char * /*formatString*/,
                            int *widthPtr, int *heightPtr) {
  int height, width;
  const char *next;
  if (!scan_int_end(string, &height, &next) ||
      !scan_int_end(next, &width, &next))
    return 0;
  // Tk cannot make a photo of negative size: report an empty one.
  *heightPtr = height > 0 ? height : 0;
  *widthPtr = width > 0 ? width : 0;
  return 1;
}

int PaletteImageStringRead(Tcl_Interp *interp, char *string,
                           char * /*formatString*/, Tk_PhotoHandle imageHandle,
                           int destX, int destY, int width, int height,
                           int /*srcX*/, int /*srcY*/) {
  const char *bar = strchr(string, '|');
  if (bar == nullptr) {
    set_message(interp, "Error in photo configuration string [1].");
    return TCL_ERROR;
  }
  int palette[PALETTE_ENTRIES][3];
  if (!read_palette(bar, palette)) {
    set_message(interp, "Error in photo configuration string [2].");
    return TCL_ERROR;
  }
  if (width < 1 || height < 1) return TCL_OK;  // nothing to fill

  const size_t w = static_cast<size_t>(width);
  std::vector<unsigned char> colours;  // red, green, blue planes of one row
  if (width <= INT_MAX / 3) {
    try {
      colours.resize(3 * w);
    } catch (const std::bad_alloc &) {
    }
  }
  if (colours.empty()) {
    set_message(interp, "Error allocating memory.");
    return TCL_ERROR;
  }
  // Column i shows entry 255 * i / (width - 1); a bar one pixel wide
  // shows entry 0.
  for (int i = 0; i < width; ++i) {
    const int e =
        width > 1 ? static_cast<int>(int64_t{255} * i / (width - 1)) : 0;
    for (int c = 0; c < 3; ++c)
      colours[c * w + static_cast<size_t>(i)] =
          static_cast<unsigned char>(palette[e][c] & 0xFF);
  }
  Tk_PhotoImageBlock block = planar_block(colours.data(), width, 1, width);
  const int status =
      Tk_PhotoPutZoomedBlock(interp, imageHandle, &block, destX, destY, width,
                             height, 1, height, 1, 1, TK_PHOTO_COMPOSITE_SET);
  if (status != TCL_OK) {
    set_message(interp, "Error allocating memory.");
    return TCL_ERROR;
  }
  return TCL_OK;
}
