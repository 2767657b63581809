// The "RawImage" photo format: computing the window row by row into byte
// planes (shrunk to a narrower photo, or at its own size for Tk to zoom)
// and putting them into the photo.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "buffer.h"
#include "rawimage.h"

namespace {

const char *const NO_MEMORY = "Error allocating memory.";

// The shrink path reads a stored row of the window in pieces of at most
// this many samples: what it holds is the photo's rows and one piece, not
// a raw row as wide as the window, so a window far wider than its files
// fails at its first read with little memory held. A window of up to this
// width is read with one call per row.
constexpr int RAW_PIECE = 65536;

// The layout of one read's rows and planes.
struct Layout {
  bool shrink;  // the photo is narrower than the window
  int width;    // values per row: the photo width, or the window's
  int rows;     // rows computed
  int scratchRows;
  int rawPiece;  // shrink: samples of the window row read at a time
  size_t planeSize;
};

// The rows and planes of one read. The rows come as fresh zeroed pages: a
// window may be far wider than its files, and such a window then fails at
// its first read instead of after clearing every row.
struct RowStore {
  ZeroedArray<float> result;   // the evaluated channel
  ZeroedArray<float> scratch;  // the evaluation's temporaries
  // One row of values per open band file and per open PCI file, and the
  // same rows as the evaluation reads them (null for a file not open).
  ZeroedArray<float> bandValues[FILE_SLOTS], componentValues[FILE_SLOTS];
  const float *bandRows[FILE_SLOTS] = {};
  const float *componentRows[FILE_SLOTS] = {};
  std::vector<int> sourceColumns;  // shrink: window column of each pixel
  ZeroedArray<uint16_t> raw;       // shrink: one piece of a window row
  // Red, green and blue: every byte is computed before the planes are
  // shown, so they are not cleared first.
  std::unique_ptr<unsigned char[]> planes;
};

Layout plan_rows(const PhotoConfiguration &config, const RawImageInputs &in,
                 int width, int height) {
  Layout l;
  l.shrink = width < config.wCols;
  l.width = l.shrink ? width : config.wCols;
  // Zoomed rows below the photo would never be seen.
  l.rows = l.shrink || config.wRows > height ? height : config.wRows;
  l.scratchRows = 0;
  for (const ExprTree &tree : in.trees) {
    const int n = tree ? expression_scratch_rows(tree.get()) : 0;
    if (n > l.scratchRows) l.scratchRows = n;
  }
  l.planeSize = static_cast<size_t>(l.width) * static_cast<size_t>(l.rows);
  l.rawPiece = config.wCols < RAW_PIECE ? config.wCols : RAW_PIECE;
  return l;
}

// Obtains the rows of the open files and the planes; false when there is
// no memory (or the planes are too large for a photo block).
bool allocate_photo_rows(const RawImageInputs &in, const Layout &l,
                         RowStore *store) {
  if (l.planeSize > static_cast<size_t>(INT_MAX / 2)) return false;
  const size_t n = static_cast<size_t>(l.width);
  store->result = allocate_zeroed<float>(n);
  store->scratch =
      allocate_zeroed<float>(n * static_cast<size_t>(l.scratchRows));
  if (!store->result || !store->scratch) return false;
  bool anyOpen = false;
  for (int i = 1; i < FILE_SLOTS; ++i) {
    if (in.bandFiles[i] != nullptr) {
      store->bandValues[i] = allocate_zeroed<float>(n);
      if (!store->bandValues[i]) return false;
      store->bandRows[i] = store->bandValues[i].get();
      anyOpen = true;
    }
    if (in.pciFiles[i] != nullptr) {
      store->componentValues[i] = allocate_zeroed<float>(n);
      if (!store->componentValues[i]) return false;
      store->componentRows[i] = store->componentValues[i].get();
      anyOpen = true;
    }
  }
  if (l.shrink) {
    try {
      store->sourceColumns.resize(n);
    } catch (const std::bad_alloc &) {
      return false;
    }
  }
  if (l.shrink && anyOpen) {
    store->raw = allocate_zeroed<uint16_t>(static_cast<size_t>(l.rawPiece));
    if (!store->raw) return false;
  }
  store->planes.reset(new (std::nothrow) unsigned char[3 * l.planeSize]);
  return static_cast<bool>(store->planes);
}

// Photo pixel i of n shows window position (span - 1) * i / (n - 1): the
// first and the last pixel show the window's edges; a photo one pixel
// across shows the first.
int64_t spread(int span, int i, int n) {
  return n > 1 ? static_cast<int64_t>(span - 1) * i / (n - 1) : 0;
}

// Shrink path: reads row `row` of the window from one file, piece after
// piece in the order of the file, and keeps in `out` the samples of the
// photo's columns. The pieces cover the row exactly as one read of the
// whole row would, so a row fails where that read would and with the same
// error. A band that the layout does not store is read (and refused like
// any other band for a position before the file) but delivers nothing, so
// its row keeps the zeros it started with rather than the samples that
// another band left in the raw piece. Returns false when a read fails.
bool read_shrunk_row(const PhotoConfiguration &config, FILE *file, int type,
                     int band, int row, const Layout &l, RowStore &store,
                     float *out) {
  uint16_t *raw = store.raw.get();
  const int *columns = store.sourceColumns.data();
  const bool stored = band_is_stored(type, band);
  int m = 0;
  for (int64_t start = 0; start < config.wCols; start += l.rawPiece) {
    const int count =
        static_cast<int>(std::min<int64_t>(l.rawPiece, config.wCols - start));
    if (read_band_row(file, config.iRows, config.iCols, type, band, row,
                      static_cast<int>(config.wCol + start), count, raw,
                      KIND_U16) != 0)
      return false;
    for (; stored && m < l.width && columns[m] < start + count; ++m)
      out[m] = raw[columns[m] - start];
  }
  return true;
}

// Reads row `row` of every open file of a set into its row of values. A
// band that the layout does not store (GI bands 6 and 7) reads nothing and
// shows as 0: its row starts cleared and is never written. Returns the
// number of the file whose read failed, or 0.
int read_set(const PhotoConfiguration &config, const FileSet &files, int type,
             int row, const Layout &l, RowStore &store,
             ZeroedArray<float> *values) {
  for (int i = 1; i < FILE_SLOTS; ++i) {
    if (files[i] == nullptr) continue;
    float *out = values[i].get();
    if (l.shrink) {
      if (!read_shrunk_row(config, files[i], type, i, row, l, store, out))
        return i;
    } else if (read_band_row(files[i], config.iRows, config.iCols, type, i, row,
                             config.wCol, config.wCols, out, KIND_FLOAT) != 0) {
      return i;
    }
  }
  return 0;
}

// Evaluates every channel of one row into its plane; a channel that shares
// an earlier channel's tree copies its bytes.
void compute_channels(const PhotoConfiguration &config,
                      const RawImageInputs &in, const Layout &l,
                      RowStore &store, int r) {
  const size_t offset = static_cast<size_t>(r) * static_cast<size_t>(l.width);
  unsigned char *planes = store.planes.get();
  for (int k = 0; k < config.channels; ++k) {
    unsigned char *bytes = planes + k * l.planeSize + offset;
    int same = -1;
    for (int j = 0; j < k && same < 0; ++j)
      if (in.treeOf[j] == in.treeOf[k]) same = j;
    if (same >= 0) {
      memcpy(bytes, planes + same * l.planeSize + offset,
             static_cast<size_t>(l.width));
      continue;
    }
    evaluate_expression_into(in.trees[in.treeOf[k]].get(), store.bandRows,
                             store.componentRows, store.result.get(), l.width,
                             store.scratch.get());
    values_to_bytes(store.result.get(), l.width, config.iType >= 3, bytes);
  }
}

// Grey: plane 0 in all three; palette: plane 0's bytes through the palette.
void build_planes(const PhotoConfiguration &config, const Layout &l,
                  unsigned char *planes) {
  unsigned char *green = planes + l.planeSize, *blue = green + l.planeSize;
  if (config.mode == MODE_GREY) {
    memcpy(green, planes, l.planeSize);
    memcpy(blue, planes, l.planeSize);
  } else if (config.mode == MODE_PALETTE) {
    unsigned char table[3][PALETTE_ENTRIES];
    for (int e = 0; e < PALETTE_ENTRIES; ++e)
      for (int c = 0; c < 3; ++c)
        table[c][e] = static_cast<unsigned char>(config.palette[e][c] & 0xFF);
    for (size_t i = 0; i < l.planeSize; ++i) {
      const unsigned char v = planes[i];
      planes[i] = table[0][v];
      green[i] = table[1][v];
      blue[i] = table[2][v];
    }
  }
}

}  // namespace

void values_to_bytes(const float *values, int count, bool sixteenBit,
                     unsigned char *bytes) {
  const float scale = sixteenBit ? 0.25f : 1.0f;
  for (int k = 0; k < count; ++k) {
    const float v = values[k] * scale;
    if (!(v >= 0.0f))
      bytes[k] = 0;  // negative or NaN
    else if (v > 255.0f)
      bytes[k] = 255;
    else
      bytes[k] = static_cast<unsigned char>(static_cast<int>(v));
  }
}

int show_raw_image(Tcl_Interp *interp, Tk_PhotoHandle photo,
                   const PhotoConfiguration &config, const RawImageInputs &in,
                   int x, int y, int width, int height) {
  const Layout l = plan_rows(config, in, width, height);
  RowStore store;
  if (!allocate_photo_rows(in, l, &store)) {
    set_message(interp, NO_MEMORY);
    return TCL_ERROR;
  }
  if (l.shrink)
    for (int m = 0; m < l.width; ++m)
      store.sourceColumns[m] = static_cast<int>(spread(config.wCols, m, width));

  for (int r = 0; r < l.rows; ++r) {
    const int row =
        config.wRow +
        static_cast<int>(l.shrink ? spread(config.wRows, r, height) : r);
    const int band = read_set(config, in.bandFiles, config.iType, row, l, store,
                              store.bandValues);
    if (band != 0)
      return fail_numbered(interp, "Error reading image file for band ", band,
                           errno);
    const int component = read_set(config, in.pciFiles, -config.iType, row, l,
                                   store, store.componentValues);
    if (component != 0)
      return fail_numbered(interp, "Error reading PCI file for component ",
                           component, errno);
    compute_channels(config, in, l, store, r);
  }
  build_planes(config, l, store.planes.get());

  Tk_PhotoImageBlock image = planar_block(store.planes.get(), l.width, l.rows,
                                          static_cast<int>(l.planeSize));
  int status;
  if (l.shrink) {
    status = Tk_PhotoPutBlock(interp, photo, &image, x, y, width, height,
                              TK_PHOTO_COMPOSITE_SET);
  } else {
    // Whole zoom factors; a photo lower than the window shows its top rows.
    const int zoomX = width / config.wCols;
    const int zoomY = height >= config.wRows ? height / config.wRows : 1;
    status = Tk_PhotoPutZoomedBlock(interp, photo, &image, x, y, width, height,
                                    zoomX, zoomY, 1, 1, TK_PHOTO_COMPOSITE_SET);
  }
  if (status != TCL_OK) {
    set_message(interp, NO_MEMORY);
    return TCL_ERROR;
  }
  return TCL_OK;
}
