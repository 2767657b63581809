// "CreateGif": saves what a Tk window shows as a GIF file of at most 256
// colours, reporting its progress row by row through a Tcl script.
#include <gd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "bandlib.h"
#include "buffer.h"
#include "capture.h"
#include "filehandle.h"
#include "shell.h"
#include "shellhelpers.h"

namespace {

constexpr int MAX_RESERVED = 35;
constexpr int GRID = 16;  // sampling grid: 16 x 16 cells
constexpr int SAMPLE_PASSES = 5;
constexpr int MAX_WIDTH_DIGITS = 4;
constexpr ScreenColour NO_COLOUR = 0xffffffff;  // no pixel has this value
// A GIF stores its width and height in 16 bits.
constexpr int MAX_GIF_SIDE = 65535;

// The progress script: literal text with at most one integer conversion
// ("%d" or "%i" with flags "-+ 0" and a width) where the percentage goes;
// "%%" is a literal '%'.
struct ProgressScript {
  std::string before, after;  // the text around the conversion
  std::string conversion;     // e.g. "%3d"; empty when there is none
};

// Splits the script at its conversion; false for a script with any other
// conversion, a second one or a width over four digits.
bool parse_progress(const char *script, ProgressScript *out) {
  std::string *text = &out->before;
  for (const char *p = script; *p != '\0'; ++p) {
    if (*p != '%') {
      *text += *p;
      continue;
    }
    if (p[1] == '%') {
      *text += '%';
      ++p;
      continue;
    }
    if (!out->conversion.empty()) return false;
    const char *start = p++;
    while (*p == '-' || *p == '+' || *p == ' ' || *p == '0') ++p;
    int digits = 0;
    while (*p >= '0' && *p <= '9') {
      ++p;
      ++digits;
    }
    if (digits > MAX_WIDTH_DIGITS || (*p != 'd' && *p != 'i')) return false;
    out->conversion.assign(start, static_cast<size_t>(p - start));
    out->conversion += 'd';
    text = &out->after;
  }
  return true;
}

std::string progress_text(const ProgressScript &script, int percent) {
  if (script.conversion.empty()) return script.before;
  char number[16 + 10000];
  snprintf(number, sizeof number, script.conversion.c_str(), percent);
  return script.before + number + script.after;
}

// gd reports its refusals (an image too large, for instance) on standard
// error; the command reports them itself. gd keeps one handler for the
// whole process and has no call that tells which one is installed: the
// quiet one holds while a command runs, and then gd's own default, which
// is the one in place whenever none runs (nothing else in the shell
// installs a handler), is put back. A progress script may run the command
// again: the outermost run puts the default back.
void quiet_gd(int, const char *, va_list) {}

class QuietGd {
 public:
  QuietGd() {
    if (depth_++ == 0) gdSetErrorMethod(quiet_gd);
  }
  ~QuietGd() {
    if (--depth_ == 0) gdClearErrorMethod();
  }
  QuietGd(const QuietGd &) = delete;
  QuietGd &operator=(const QuietGd &) = delete;

 private:
  static int depth_;
};
int QuietGd::depth_ = 0;

struct ImageDestroyer {
  void operator()(gdImage *image) const { gdImageDestroy(image); }
};
using GdImage = std::unique_ptr<gdImage, ImageDestroyer>;

// Palette indices by screen colour. The palette only grows and its entries
// never change, so an exact match once found stays right; once the palette
// is full, so does the closest colour. Each colour is thus looked up in gd
// at most once. A cached index is stored plus one (0: not known yet).
class PaletteCache {
 public:
  PaletteCache() : index_(allocate_zeroed<uint16_t>(size_t{1} << 24)) {}
  bool ok() const { return index_ != nullptr; }

  // The exact match, else a new entry; -1 when the palette is full.
  int find_or_enter(gdImage *image, ScreenColour colour) {
    const int known = index_[colour] - 1;
    if (known >= 0) return known;
    if (full_) return -1;
    const int r = colour_red(colour), g = colour_green(colour),
              b = colour_blue(colour);
    int at = gdImageColorExact(image, r, g, b);
    if (at < 0) at = gdImageColorAllocate(image, r, g, b);
    if (at < 0) {
      full_ = true;
      return -1;
    }
    index_[colour] = static_cast<uint16_t>(at + 1);
    return at;
  }

  // The palette index a captured pixel gets.
  int index_of(gdImage *image, ScreenColour colour) {
    const int at = find_or_enter(image, colour);
    if (at >= 0) return at;
    const int closest = gdImageColorClosest(
        image, colour_red(colour), colour_green(colour), colour_blue(colour));
    index_[colour] = static_cast<uint16_t>(closest + 1);
    return closest;
  }

 private:
  ZeroedArray<uint16_t> index_;  // by 0x00BBGGRR
  bool full_ = false;
};

// The colours the script reserves enter the palette first, in order.
void enter_reserved(gdImage *image, int n, const int *reds, const int *greens,
                    const int *blues) {
  for (int i = 0; i < n; ++i)
    if (gdImageColorExact(image, reds[i], greens[i], blues[i]) < 0)
      gdImageColorAllocate(image, reds[i], greens[i], blues[i]);
}

// On displays of more than 8 bits, up to five passes over a 16 x 16 grid
// of cells each enter the colour of one random pixel per cell, until the
// palette is full.
void sample_palette(gdImage *image, const WindowCapture &capture,
                    PaletteCache *cache) {
  // The command takes no seed: its sampling is defined to draw from the
  // time of day, so two captures of one window may sample other pixels.
  // That changes the order of the palette only, and, when the window shows
  // more colours than the palette holds, which of them it keeps.
  seed_random_or_time(0);
  const int64_t rows = capture.rows, cols = capture.cols;
  for (int pass = 0; pass < SAMPLE_PASSES; ++pass) {
    for (int g = 0; g < GRID; ++g) {
      const int64_t top = rows * g / GRID;
      const int64_t height = rows * (g + 1) / GRID - top;
      for (int k = 0; k < GRID; ++k) {
        const int64_t left = cols * k / GRID;
        const int64_t width = cols * (k + 1) / GRID - left;
        const int64_t y = top + next_random() * height / RANDOM_RANGE;
        const int64_t x = left + next_random() * width / RANDOM_RANGE;
        const ScreenColour colour =
            captured_pixel(capture, static_cast<int>(x), static_cast<int>(y));
        if (cache->find_or_enter(image, colour) < 0) return;
      }
    }
  }
}

// Maps every captured pixel to its palette index, row by row, running the
// progress script after each row. A run of one colour needs one look-up.
void fill_image(Tcl_Interp *interp, gdImage *image,
                const WindowCapture &capture, PaletteCache *cache,
                const ProgressScript &progress) {
  ScreenColour last = NO_COLOUR;
  int lastIndex = -1;
  for (int y = 0; y < capture.rows; ++y) {
    for (int x = 0; x < capture.cols; ++x) {
      const ScreenColour colour = captured_pixel(capture, x, y);
      if (colour != last) {
        last = colour;
        lastIndex = cache->index_of(image, colour);
      }
      gdImageSetPixel(image, x, y, lastIndex);
    }
    const int percent = static_cast<int>(int64_t{100} * (y + 1) / capture.rows);
    Tcl_Eval(interp, progress_text(progress, percent).c_str());
  }
}

// gdImageGif itself, but a writer that gd cannot allocate is reported
// (gdImageGif then writes nothing and says nothing).
int write_gif(Tcl_Interp *interp, gdImage *image, const char *path) {
  FileHandle file(fopen(path, "wb"));
  if (!file) return fail_system(interp, "Error opening GIF file (");
  gdIOCtx *writer = gdNewFileCtx(file.get());
  if (writer == nullptr) {
    set_message(interp, "Error allocating memory.");
    return TCL_ERROR;
  }
  gdImageGifCtx(image, writer);
  writer->gd_free(writer);
  const bool written = ferror(file.get()) == 0;
  const int saved = errno;
  if (fclose(file.release()) != 0 || !written) {
    if (!written) errno = saved;
    return fail_system(interp, "Error writing GIF file (");
  }
  return TCL_OK;
}

int create_gif(Tcl_Interp *interp, int argc, const char *argv[]) {
  int numbers[3];  // rows, columns, reserved colours
  if (!read_arguments(interp, argc, argv, 10, 3, 3, numbers)) return TCL_ERROR;
  const int rows = numbers[0], cols = numbers[1], n = numbers[2];
  if (rows < 1 || cols < 1 || rows > MAX_GIF_SIDE || cols > MAX_GIF_SIDE) {
    set_message(interp, "Illegal parameter.");
    return TCL_ERROR;
  }
  int reds[MAX_RESERVED], greens[MAX_RESERVED], blues[MAX_RESERVED];
  if (n < 0 || n > MAX_RESERVED ||
      parse_int_list(argv[6], reds, MAX_RESERVED) != n ||
      parse_int_list(argv[7], greens, MAX_RESERVED) != n ||
      parse_int_list(argv[8], blues, MAX_RESERVED) != n) {
    set_message(interp, "Illegal red/green/blue.");
    return TCL_ERROR;
  }
  ProgressScript progress;
  if (!parse_progress(argv[9], &progress)) {
    set_message(interp, "Illegal parameter.");
    return TCL_ERROR;
  }

  const Tk_Window mainWindow = Tk_MainWindow(interp);
  if (mainWindow == nullptr) return TCL_ERROR;
  const Tk_Window window = Tk_NameToWindow(interp, argv[1], mainWindow);
  if (window == nullptr) return TCL_ERROR;

  const QuietGd quiet;
  GdImage image(gdImageCreate(cols, rows));
  PaletteCache cache;
  WindowCapture capture;
  if (!image || !cache.ok() || !capture_window(window, rows, cols, &capture)) {
    set_message(interp, "Error allocating memory.");
    return TCL_ERROR;
  }
  enter_reserved(image.get(), n, reds, greens, blues);
  if (capture.depth > 8) sample_palette(image.get(), capture, &cache);
  fill_image(interp, image.get(), capture, &cache, progress);

  // The progress scripts' results are not the command's.
  Tcl_ResetResult(interp);
  return write_gif(interp, image.get(), argv[2]);
}

}  // namespace

// The progress script is copied and formatted into strings as long as the
// argument, which may be more than the memory there is.
int CreateGifCmd(ClientData, Tcl_Interp *interp, int argc, const char *argv[]) {
  try {
    return create_gif(interp, argc, argv);
  } catch (const std::bad_alloc &) {
    set_message(interp, "Error allocating memory.");
    return TCL_ERROR;
  }
}
