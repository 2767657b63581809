// "Scatter2" photo format: draws the scatter plot of a plot file. Each cell
// stands for one pair of values; its brightness grows with the pair's count
// and its colour shows which area groups (named by Tk colours) count it.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "buffer.h"
#include "filehandle.h"
#include "shell.h"
#include "shellhelpers.h"
#include "textscan.h"

namespace {

constexpr int MAX_AREAS = 15;
constexpr size_t PATH_MAX_CHARS = 239;
constexpr size_t WORD_MAX_CHARS = 7;
constexpr size_t NAME_MAX_CHARS = 15;

// The plot configuration string as the read procedure uses it.
struct PlotConfig {
  char path[PATH_MAX_CHARS + 1];
  int vOrigin;     // smallest first value shown, in the bottom row
  int hOrigin;     // smallest second value shown, in the left column
  int cells;       // N: the plot shows N x N value pairs
  int minPercent;  // minimum brightness of a plotted cell
  int satPercent;  // share of the overall maximum that is full brightness
};

// Scans the seven leading fields "%s %d %d %d %s %d %d". A path or word
// longer than its field, or a number outside int, fails the scan.
bool scan_config(const char *text, PlotConfig *config) {
  TextCursor in{text};
  char word[WORD_MAX_CHARS + 1];
  return scan_word(in, config->path, sizeof config->path) &&
         scan_next_int(in, &config->vOrigin) &&
         scan_next_int(in, &config->hOrigin) &&
         scan_next_int(in, &config->cells) &&
         scan_word(in, word, sizeof word) &&
         scan_next_int(in, &config->minPercent) &&
         scan_next_int(in, &config->satPercent);
}

int fail_reading(Tcl_Interp *interp) {
  return fail_system(interp, "Error reading plot file (");
}

// "<height>x<width> is too small for a scatter plot." (height first).
int fail_too_small(Tcl_Interp *interp, int width, int height) {
  Tcl_ResetResult(interp);
  Tcl_AppendResult(interp, number_text(height).digits, "x",
                   number_text(width).digits,
                   " is too small for a scatter plot.", nullptr);
  return TCL_ERROR;
}

// Which colour channels an area lights: a channel counts when its 8-bit
// intensity (the 16-bit value shifted right by 8) is above 0. The first
// character of the name is skipped whatever it is.
struct AreaColour {
  bool red, green, blue;
};

bool area_colour(const char *name, AreaColour *colour) {
  unsigned int r, g, b;
  if (name[0] == '\0' || sscanf(name + 1, "%4x%4x%4x", &r, &g, &b) != 3)
    return false;
  *colour = {(r >> 8) > 0, (g >> 8) > 0, (b >> 8) > 0};
  return true;
}

// The plot file's header: the areas' colours; the maxima.
struct PlotHeader {
  int areas;
  AreaColour colours[MAX_AREAS];
  int overallMax;
};

// Reads the header. On failure the interpreter holds the message.
int read_header(Tcl_Interp *interp, FileScanner &in, PlotHeader *header) {
  if (!scan_next_int(in, &header->areas)) return fail_reading(interp);
  if (header->areas > MAX_AREAS) {
    Tcl_ResetResult(interp);
    Tcl_AppendResult(interp, "Too many scatter areas (limit of ",
                     number_text(MAX_AREAS).digits, ").", nullptr);
    return TCL_ERROR;
  }
  for (int a = 0; a < header->areas; ++a) {
    char name[NAME_MAX_CHARS + 1];
    if (!scan_word(in, name, sizeof name)) return fail_reading(interp);
    if (!area_colour(name, &header->colours[a])) {
      errno = EINVAL;
      return fail_reading(interp);
    }
  }
  if (!scan_next_int(in, &header->overallMax)) return fail_reading(interp);
  for (int a = 0; a < header->areas; ++a) {
    int groupMax;
    if (!scan_next_int(in, &groupMax)) return fail_reading(interp);
  }
  return TCL_OK;
}

// Cell brightness: from the minimum level at a count of 0 up to 255 at the
// saturation count, of which the low 8 bits are kept. The arithmetic is
// wide enough that no percentage or count overflows it; every value that
// fitted 32 bits is unchanged. A saturation count of 0 puts every count at
// or above it: full brightness.
struct Brightness {
  int64_t minLevel;
  int64_t satCount;
};

uint8_t cell_level(const Brightness &b, int count) {
  if (b.satCount == 0) return 255;
  const __int128 level = static_cast<__int128>(255 - b.minLevel) *
                             std::min<int64_t>(count, b.satCount) / b.satCount +
                         b.minLevel;
  return static_cast<uint8_t>(level & 0xff);
}

// The three planes of N x N bytes (red, green, blue), row-major, black at
// the start. They are obtained before the plot file's header is read and
// come as fresh zeroed pages, so a file that fails there costs nothing.
struct Planes {
  int cells;
  ZeroedArray<uint8_t> bytes;
};

// One number of a record; false where the records end. A number too large
// for an int does not end them: it is a fault of the file, as it is in the
// header, and sets *fault.
bool record_number(FileScanner &in, int *value, bool *fault) {
  bool outside;
  if (scan_next_int(in, value, &outside)) return true;
  *fault = outside;
  return false;
}

// Reads the records into the planes. A later record for a cell overwrites
// an earlier one; records outside the window are skipped after their
// counts have been read.
int read_records(Tcl_Interp *interp, FileScanner &in, const PlotConfig &config,
                 const PlotHeader &header, Planes *planes) {
  const Brightness brightness = {
      static_cast<int64_t>(config.minPercent) * 255 / 100,
      static_cast<int64_t>(header.overallMax) * config.satPercent / 100};
  const int64_t n = planes->cells;
  const int64_t plane = n * n;
  uint8_t *red = planes->bytes.get();
  uint8_t *green = red + plane;
  uint8_t *blue = green + plane;
  int first, second, count;
  bool fault = false;
  while (record_number(in, &first, &fault) &&
         record_number(in, &second, &fault) &&
         record_number(in, &count, &fault)) {
    bool r = false, g = false, b = false;
    for (int a = 0; a < header.areas; ++a) {
      int areaCount;
      if (!scan_next_int(in, &areaCount)) return fail_reading(interp);
      if (areaCount > 0) {
        r = r || header.colours[a].red;
        g = g || header.colours[a].green;
        b = b || header.colours[a].blue;
      }
    }
    const int64_t row = static_cast<int64_t>(config.vOrigin) + n - 1 - first;
    const int64_t col = static_cast<int64_t>(second) - config.hOrigin;
    if (row < 0 || row >= n || col < 0 || col >= n) continue;
    const int64_t at = row * n + col;
    const uint8_t level = cell_level(brightness, count);
    if (!r && !g && !b) r = g = b = true;  // no coloured area: grey
    red[at] = r ? level : 0;
    green[at] = g ? level : 0;
    blue[at] = b ? level : 0;
  }
  if (fault) return fail_reading(interp);  // errno EINVAL from the scan
  if (in.error()) {
    errno = in.end_error();
    return fail_reading(interp);
  }
  return TCL_OK;
}

// Puts the planes into the photo's width x height region, each cell
// zoomed to width / N by height / N pixels.
int put_planes(Tcl_Interp *interp, Tk_PhotoHandle photo, Planes &planes,
               int destX, int destY, int width, int height) {
  const int n = planes.cells;
  Tk_PhotoImageBlock block = planar_block(planes.bytes.get(), n, n, n * n);
  return Tk_PhotoPutZoomedBlock(interp, photo, &block, destX, destY, width,
                                height, width / n, height / n, 1, 1,
                                TK_PHOTO_COMPOSITE_SET);
}

}  // namespace

int Scatter2StringMatch(char *string, char * /*format*/, int *width,
                        int *height) {
  TextCursor in{string};
  int number;
  // Path and word: any length here; the read procedure judges them.
  if (!skip_word(in)) return 0;
  for (int k = 0; k < 3; ++k)
    if (!scan_next_int(in, &number)) return 0;
  if (!skip_word(in)) return 0;
  for (int k = 0; k < 2; ++k)
    if (!scan_next_int(in, &number)) return 0;
  int h, w;
  if (!scan_next_int(in, &h) || !scan_next_int(in, &w)) return 0;
  // Tk sizes the photo by these before the read procedure sees them and
  // cannot take a negative size: such a photo is empty, and too small.
  *height = std::max(h, 0);
  *width = std::max(w, 0);
  return 1;
}

int Scatter2StringRead(Tcl_Interp *interp, char *string, char * /*format*/,
                       Tk_PhotoHandle photo, int destX, int destY, int width,
                       int height, int /*srcX*/, int /*srcY*/) {
  if (width < 256 || height < 256) return fail_too_small(interp, width, height);

  PlotConfig config;
  if (!scan_config(string, &config) || config.cells <= 0) {
    set_message(interp, "Error in plot configuration string.");
    return TCL_ERROR;
  }
  // Every cell needs at least one pixel: the zoom is never below 1.
  if (config.cells > width || config.cells > height)
    return fail_too_small(interp, width, height);
  // The planes' offsets in the photo block are ints.
  if (config.cells > 32767) {
    set_message(interp, "Error allocating memory.");
    return TCL_ERROR;
  }

  FileHandle file(fopen(config.path, "r"));
  if (!file) return fail_system(interp, "Error opening plot file (");
  Planes planes;
  planes.cells = config.cells;
  planes.bytes =
      allocate_zeroed<uint8_t>(3 * static_cast<size_t>(config.cells) *
                               static_cast<size_t>(config.cells));
  if (!planes.bytes) {
    set_message(interp, "Error allocating memory.");
    return TCL_ERROR;
  }

  FileScanner in(file.get());
  PlotHeader header;
  if (read_header(interp, in, &header) != TCL_OK) return TCL_ERROR;
  if (read_records(interp, in, config, header, &planes) != TCL_OK)
    return TCL_ERROR;

  return put_planes(interp, photo, planes, destX, destY, width, height);
}
