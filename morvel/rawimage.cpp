// The "RawImage" photo format: matching and reading a photo configuration
// string, building the channel trees, opening the files.
#include "rawimage.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>

namespace {

const char *const CONFIG_MESSAGES[] = {
    nullptr,
    "Error in photo configuration string [1].",
    "Error in photo configuration string [2].",
    "Error in photo configuration string [3].",
    "Error in photo configuration string [4].",
    "Error in photo configuration string [5].",
    "Error in photo configuration string [6].",
    "Error in photo configuration string [7].",
    "Error in photo configuration string [8].",
    "Error in photo configuration string [9].",
    "Error in photo configuration string [10].",
    "Error in photo configuration string [11].",
    "Error in photo configuration string [12].",
};
const char *const LONG_EXPRESSION =
    "Illegal expression in photo configuration string [13].";
const char *const BAD_EXPRESSION =
    "Illegal expression in photo configuration string.";

// Reads up to `count` integers as one scan of "%d %d ...": returns how
// many were read. A number outside the range of int ends the scan.
int scan_integers(const char *text, int *values, int count) {
  for (int i = 0; i < count; ++i)
    if (!scan_int_end(text, &values[i], &text)) return i;
  return count;
}

// Finds the two bars around a field from `from` on and copies the field.
// Returns the message number of the fault (missing first bar, missing
// second bar, field too long), or 0 with *next after the second bar.
int copy_field(const char *from, int firstBar, char *field, int limit,
               const char **next) {
  const char *open = strchr(from, '|');
  if (open == nullptr) return firstBar;
  const char *close = strchr(open + 1, '|');
  if (close == nullptr) return firstBar + 1;
  const size_t length = static_cast<size_t>(close - open - 1);
  if (length > static_cast<size_t>(limit)) return firstBar + 2;
  memcpy(field, open + 1, length);
  field[length] = '\0';
  *next = close + 1;
  return 0;
}

// The ten integers, and what a read can show: a known type and mode, a
// window of at least one row and column whose last row and column are
// addressable, a region of at least one pixel.
bool read_integers(const char *text, int width, int height,
                   PhotoConfiguration *c) {
  int v[10];
  if (scan_integers(text, v, 10) != 10) return false;
  c->iType = v[0];
  c->iRows = v[1];
  c->iCols = v[2];
  c->wRow = v[3];
  c->wCol = v[4];
  c->wRows = v[5];
  c->wCols = v[6];
  c->mode = v[9];
  return c->iType >= 1 && c->iType <= 4 && c->mode >= MODE_GREY &&
         c->mode <= MODE_PALETTE && c->wRows >= 1 && c->wCols >= 1 &&
         static_cast<int64_t>(c->wRow) + c->wRows - 1 <= INT_MAX &&
         static_cast<int64_t>(c->wCol) + c->wCols - 1 <= INT_MAX &&
         width >= 1 && height >= 1;
}

void remove_blanks(char *text) {
  char *to = text;
  for (const char *from = text; *from != '\0'; ++from)
    if (*from != ' ') *to++ = *from;
  *to = '\0';
}

// Parses the channels' expressions and marks the bands and components
// they read. A channel whose text equals an earlier channel's takes that
// channel's tree; the others get a tree of their own.
bool build_trees(PhotoConfiguration &config, RawImageInputs &in,
                 int bandNeeded[FILE_SLOTS], int pciNeeded[FILE_SLOTS]) {
  int trees = 0;
  for (int k = 0; k < config.channels; ++k) {
    remove_blanks(config.expressions[k]);
    int same = -1;
    for (int j = 0; j < k && same < 0; ++j)
      if (strcmp(config.expressions[j], config.expressions[k]) == 0) same = j;
    if (same >= 0) {
      in.treeOf[k] = in.treeOf[same];
      continue;
    }
    ExprTree &tree = in.trees[trees];
    tree = ParseExpression(config.expressions[k]);
    if (!tree) return false;
    MarkBandsUsed(tree.get(), bandNeeded);
    MarkComponentsUsed(tree.get(), pciNeeded);
    in.treeOf[k] = trees++;
  }
  return true;
}

// Opens the needed band and PCI files; on a failure sets the message and
// leaves both sets empty.
bool open_files(Tcl_Interp *interp, const PhotoConfiguration &config,
                const int bandNeeded[FILE_SLOTS],
                const int pciNeeded[FILE_SLOTS], RawImageInputs &in) {
  const int bands = open_band_files(config.bandPaths, config.bandNumbers,
                                    bandNeeded, &in.bandFiles);
  if (bands == -2) {
    set_message(interp, "Error opening image file - band does not exist.");
  } else if (bands == -1) {
    set_message(interp, "Error opening image files - illegal parameter.");
  } else if (bands > 0) {
    fail_numbered(interp, "Error opening image file for band ", bands, errno);
  }
  if (bands != 0) return false;

  const int components =
      open_pci_files(config.pciPaths, pciNeeded, &in.pciFiles);
  if (components == -2) {
    set_message(interp, "Error opening PCI file - component does not exist.");
  } else if (components > 0) {
    fail_numbered(interp, "Error opening PCI file for component ", components,
                  errno);
  }
  return components == 0;
}

void close_set(FileSet &set) {
  for (FileHandle &file : set.files) file.reset();
}

}  // namespace

const char *read_photo_configuration(const char *string, int width, int height,
                                     PhotoConfiguration *config) {
  const char *next = string;
  int fault = copy_field(next, 1, config->bandPaths, MAX_PATHS_FIELD, &next);
  if (fault == 0)
    fault =
        copy_field(next, 4, config->bandNumbers, MAX_BAND_NUMBERS_FIELD, &next);
  if (fault == 0)
    fault = copy_field(next, 7, config->pciPaths, MAX_PATHS_FIELD, &next);
  if (fault != 0) return CONFIG_MESSAGES[fault];
  if (!read_integers(next, width, height, config)) return CONFIG_MESSAGES[10];

  // Each expression sits between the next two bars; the field after it is
  // skipped up to the following bar.
  config->channels = config->mode == MODE_RGB ? 3 : 1;
  for (int k = 0; k < config->channels; ++k) {
    const char *open = strchr(next, '|');
    if (open == nullptr) return CONFIG_MESSAGES[11];
    const char *close = strchr(open + 1, '|');
    if (close == nullptr) return CONFIG_MESSAGES[12];
    const size_t length = static_cast<size_t>(close - open - 1);
    if (length > static_cast<size_t>(MAX_EXPRESSION)) return LONG_EXPRESSION;
    memcpy(config->expressions[k], open + 1, length);
    config->expressions[k][length] = '\0';
    next = close + 1;
  }
  if (config->mode == MODE_PALETTE) {
    const char *bar = strchr(next, '|');
    if (bar == nullptr) return CONFIG_MESSAGES[11];
    if (!read_palette(bar, config->palette)) return CONFIG_MESSAGES[12];
  }
  return nullptr;
}

int RawImageStringMatch(char *string, char * /*formatString*/, int *widthPtr,
                        int *heightPtr) {
  const char *p = string;
  for (int bar = 0; bar < 6; ++bar) {
    p = strchr(p, '|');
    if (p == nullptr) return 0;
    ++p;
  }
  int v[9];
  if (scan_integers(p, v, 9) != 9) return 0;
  // Tk cannot make a photo of negative size: report none, which the read
  // refuses.
  *heightPtr = v[7] > 0 ? v[7] : 0;
  *widthPtr = v[8] > 0 ? v[8] : 0;
  return 1;
}

void ReleaseRawImage(RawImageInputs *in) {
  FreeExpressions(in->trees);
  close_set(in->bandFiles);
  close_set(in->pciFiles);
}

int RawImageStringRead(Tcl_Interp *interp, char *string,
                       char * /*formatString*/, Tk_PhotoHandle imageHandle,
                       int destX, int destY, int width, int height,
                       int /*srcX*/, int /*srcY*/) {
  PhotoConfiguration config;
  const char *fault = read_photo_configuration(string, width, height, &config);
  if (fault != nullptr) {
    set_message(interp, fault);
    return TCL_ERROR;
  }

  RawImageInputs in;
  int bandNeeded[FILE_SLOTS] = {}, pciNeeded[FILE_SLOTS] = {};
  if (!build_trees(config, in, bandNeeded, pciNeeded)) {
    set_message(interp, BAD_EXPRESSION);
    return TCL_ERROR;
  }
  if (!open_files(interp, config, bandNeeded, pciNeeded, in)) return TCL_ERROR;
  const int status = show_raw_image(interp, imageHandle, config, in, destX,
                                    destY, width, height);
  ReleaseRawImage(&in);
  return status;
}
