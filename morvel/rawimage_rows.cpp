// The "RawImage" photo format: computing the window row by row into byte
// planes (shrunk to a narrower photo, or at its own size for Tk to zoom)
// and putting them into the photo.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "rawimage.h"

namespace {

const char *const NO_MEMORY = "Error allocating memory.";

// The one allocation of a read, carved into its rows and planes.
struct RowStore {
  float *result;                     // the evaluated channel
  float *scratch;                    // the evaluation's temporaries
  float *bandRows[FILE_SLOTS];       // one row per open band file
  float *componentRows[FILE_SLOTS];  // one row per open PCI file
  int *sourceColumns;                // shrink: window column of each pixel
  uint16_t *raw;                     // shrink: one stored row of the window
  unsigned char *planes;             // red, green, blue
};

// The layout of one read's rows and planes.
struct Layout {
  bool shrink;  // the photo is narrower than the window
  int width;    // values per row: the photo width, or the window's
  int rows;     // rows computed
  int openFiles;
  int scratchRows;
  size_t planeSize;
};

Layout PlanRows(const PhotoConfiguration &config, const RawImageInputs &in,
                int width, int height) {
  Layout l;
  l.shrink = width < config.wCols;
  l.width = l.shrink ? width : config.wCols;
  // Zoomed rows below the photo would never be seen.
  l.rows = l.shrink || config.wRows > height ? height : config.wRows;
  l.openFiles = 0;
  for (int i = 1; i < FILE_SLOTS; ++i)
    l.openFiles += (in.bandFiles[i] != nullptr) + (in.pciFiles[i] != nullptr);
  l.scratchRows = 0;
  for (int k = 0; k < config.channels; ++k) {
    const int n = ExpressionScratchRows(in.trees[k]);
    if (n > l.scratchRows) l.scratchRows = n;
  }
  l.planeSize = static_cast<size_t>(l.width) * static_cast<size_t>(l.rows);
  return l;
}

// Allocates and carves the store; null when there is no memory (or the
// planes are too large for a photo block).
void *AllocateRows(const PhotoConfiguration &config, const RawImageInputs &in,
                   const Layout &l, RowStore *store) {
  if (l.planeSize > static_cast<size_t>(INT_MAX / 2)) return nullptr;
  const size_t n = static_cast<size_t>(l.width);
  const size_t floats =
      n * (1 + static_cast<size_t>(l.scratchRows + l.openFiles));
  const size_t columns = l.shrink ? n : 0;
  const size_t raw =
      l.shrink && l.openFiles > 0 ? static_cast<size_t>(config.wCols) : 0;
  char *block = static_cast<char *>(
      malloc(floats * sizeof(float) + columns * sizeof(int) +
             raw * sizeof(uint16_t) + 3 * l.planeSize));
  if (block == nullptr) return nullptr;

  float *f = reinterpret_cast<float *>(block);
  store->result = f;
  f += n;
  store->scratch = f;
  f += n * static_cast<size_t>(l.scratchRows);
  for (int i = 1; i < FILE_SLOTS; ++i) {
    store->bandRows[i] = in.bandFiles[i] != nullptr ? f : nullptr;
    if (in.bandFiles[i] != nullptr) f += n;
  }
  for (int i = 1; i < FILE_SLOTS; ++i) {
    store->componentRows[i] = in.pciFiles[i] != nullptr ? f : nullptr;
    if (in.pciFiles[i] != nullptr) f += n;
  }
  memset(store->result, 0, floats * sizeof(float));
  store->bandRows[0] = store->componentRows[0] = nullptr;
  store->sourceColumns = reinterpret_cast<int *>(f);
  store->raw = reinterpret_cast<uint16_t *>(store->sourceColumns + columns);
  store->planes = reinterpret_cast<unsigned char *>(store->raw + raw);
  return block;
}

// Photo pixel i of n shows window position (span - 1) * i / (n - 1): the
// first and the last pixel show the window's edges; a photo one pixel
// across shows the first.
int64_t Spread(int span, int i, int n) {
  return n > 1 ? static_cast<int64_t>(span - 1) * i / (n - 1) : 0;
}

// Reads row `row` of every open file of a set into its row of values. A
// band that the layout does not store (GI bands 6 and 7) reads nothing and
// shows as 0: the rows of the zoom path start cleared, and the samples that
// the shrink path takes from its shared raw row are cleared before each
// read, so such a band never shows another band's samples. Returns the
// number of the file whose read failed, or 0.
int ReadSet(const PhotoConfiguration &config, FILE *const files[FILE_SLOTS],
            int type, int row, const Layout &l, const RowStore &store,
            float *const rows[FILE_SLOTS]) {
  for (int i = 1; i < FILE_SLOTS; ++i) {
    if (files[i] == nullptr) continue;
    if (!l.shrink) {
      if (read_band_row(files[i], config.iRows, config.iCols, type, i, row,
                        config.wCol, config.wCols, rows[i], KIND_FLOAT) != 0)
        return i;
      continue;
    }
    for (int m = 0; m < l.width; ++m) store.raw[store.sourceColumns[m]] = 0;
    if (read_band_row(files[i], config.iRows, config.iCols, type, i, row,
                      config.wCol, config.wCols, store.raw, KIND_U16) != 0)
      return i;
    for (int m = 0; m < l.width; ++m)
      rows[i][m] = store.raw[store.sourceColumns[m]];
  }
  return 0;
}

// Evaluates every channel of one row into its plane; a channel that shares
// an earlier channel's tree copies its bytes.
void ComputeChannels(const PhotoConfiguration &config, const RawImageInputs &in,
                     const Layout &l, const RowStore &store, int r) {
  const size_t offset = static_cast<size_t>(r) * static_cast<size_t>(l.width);
  for (int k = 0; k < config.channels; ++k) {
    unsigned char *bytes = store.planes + k * l.planeSize + offset;
    int same = -1;
    for (int j = 0; j < k && same < 0; ++j)
      if (in.trees[j] == in.trees[k]) same = j;
    if (same >= 0) {
      memcpy(bytes, store.planes + same * l.planeSize + offset,
             static_cast<size_t>(l.width));
      continue;
    }
    EvaluateExpressionInto(in.trees[k], store.bandRows, store.componentRows,
                           store.result, l.width, store.scratch);
    ValuesToBytes(store.result, l.width, config.iType >= 3, bytes);
  }
}

// Grey: plane 0 in all three; palette: plane 0's bytes through the palette.
void BuildPlanes(const PhotoConfiguration &config, const Layout &l,
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

void ValuesToBytes(const float *values, int count, bool sixteenBit,
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

int ShowRawImage(Tcl_Interp *interp, Tk_PhotoHandle photo,
                 const PhotoConfiguration &config, const RawImageInputs &in,
                 int x, int y, int width, int height, void **block) {
  const Layout l = PlanRows(config, in, width, height);
  RowStore store;
  *block = AllocateRows(config, in, l, &store);
  if (*block == nullptr) {
    Tcl_SetResult(interp, const_cast<char *>(NO_MEMORY), TCL_VOLATILE);
    return TCL_ERROR;
  }
  if (l.shrink)
    for (int m = 0; m < l.width; ++m)
      store.sourceColumns[m] = static_cast<int>(Spread(config.wCols, m, width));

  for (int r = 0; r < l.rows; ++r) {
    const int row =
        config.wRow +
        static_cast<int>(l.shrink ? Spread(config.wRows, r, height) : r);
    const int band = ReadSet(config, in.bandFiles, config.iType, row, l, store,
                             store.bandRows);
    if (band != 0) {
      SetNumberedError(interp, "Error reading image file for band ", band,
                       errno);
      return TCL_ERROR;
    }
    const int component = ReadSet(config, in.pciFiles, -config.iType, row, l,
                                  store, store.componentRows);
    if (component != 0) {
      SetNumberedError(interp, "Error reading PCI file for component ",
                       component, errno);
      return TCL_ERROR;
    }
    ComputeChannels(config, in, l, store, r);
  }
  BuildPlanes(config, l, store.planes);

  const int planeSize = static_cast<int>(l.planeSize);
  Tk_PhotoImageBlock image;
  image.pixelPtr = store.planes;
  image.width = l.width;
  image.height = l.rows;
  image.pitch = l.width;
  image.pixelSize = 1;
  image.offset[0] = 0;
  image.offset[1] = planeSize;
  image.offset[2] = 2 * planeSize;
  image.offset[3] = 0;  // no alpha
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
    Tcl_SetResult(interp, const_cast<char *>(NO_MEMORY), TCL_VOLATILE);
    return TCL_ERROR;
  }
  return TCL_OK;
}
