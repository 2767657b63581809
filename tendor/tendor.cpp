// tendor: the principal components of up to seven bands of an image over a
// rectangular area. Each requested component is written as a PCI file, a
// raw raster stretched linearly to 0..255 (8-bit images) or 0..1023 (16-bit
// images), the component of largest variance first.
//
// The area is streamed four times, holding one row of samples and one
// centred row per band: the means, the covariance matrix, the range of
// every component and the output.
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "bandlib.h"
#include "bandrun.h"
#include "buffer.h"
#include "console.h"
#include "eigen.h"
#include "filehandle.h"

namespace {

constexpr int ARGUMENT_COUNT = 10;
const char *const USAGE[] = {
    "Usage: tendor \"<iPaths>\" \"<iBands>\" <iType>\n",
    "               <iRows> <iCols> <aRow> <aCol>\n",
    "               <aRows> <aCols> \"<pciPaths>\"\n"};

// Input stream buffer per band: the passes read whole rows in order, so a
// large buffer saves most of the system calls.
constexpr size_t STREAM_BUFFER_SIZE = 1 << 18;

// The band-set run's steps read the band files. A row past the range of int
// cannot be addressed: it fails its read as a row before the first does.
// The PCI files have messages of their own and never go through the run.
const RunProfile TENDOR_PROFILE = {"PCI file", true, "wb", EINVAL};

// One output component: its stream and its range over the area.
struct ComponentOutput {
  FileHandle file;
  double min, max, range;
};

// Everything one run owns. The band streams' buffers come first, so that
// they outlive the streams that use them.
struct Run {
  ZeroedArray<char> streamBuffer[MAX_BANDS];
  BandRun bandRun{TENDOR_PROFILE};  // area, type, bands and band files
  WordSlot pciPaths[MAX_BANDS];
  int npci;        // components to write, 0..bands
  int64_t pixels;  // aRows x aCols
  // The area row last read, of any band (sample kind 2), and per band the
  // current row centred on the band's mean.
  ZeroedArray<uint16_t> row;
  ZeroedArray<double> centred[MAX_BANDS];
  ComponentOutput pci[MAX_BANDS];
  double mean[MAX_BANDS];
  double S[MAX_BANDS][MAX_BANDS];  // sums of centred products
  double C[MAX_BANDS][MAX_BANDS];  // covariance matrix
  // Row k: the eigenvector of the k+1-th eigenvalue.
  double E[MAX_BANDS][MAX_BANDS];
  double eigenvalue[MAX_BANDS];
  ZeroedArray<double> y;              // one component over the current row
  ZeroedArray<unsigned char> output;  // the current row of a PCI file
};

// ---------------------------------------------------------------------------
// Argument checks

// The usage text without arguments; then the count, the seven numbers, the
// band list, the path list and the PCI path list, in this order.
void check_arguments(int argc, char **argv, Run &run) {
  check_argument_count(argc, ARGUMENT_COUNT + 1, USAGE, 3);
  BandRun &b = run.bandRun;
  scan_argument(argv[3], &b.type);
  scan_area(b, argv + 4);
  // An empty area has no statistics.
  if (b.aRows < 1 || b.aCols < 1) fail_with("Illegal parameter.\n");
  check_band_lists(b, argv[1], argv[2]);
  run.npci = parse_word_list(argv[10], run.pciPaths, MAX_BANDS);
  if (run.npci < 0 || run.npci > b.bandCount) fail_with("Illegal PCI paths.\n");
}

// ---------------------------------------------------------------------------
// Set-up

// All that the means need: the bands' stream buffers and one row, which
// every band's rows pass through in turn. The row starts cleared, so that a
// type that selects no stored samples reads as a band of zeros. Both come
// as fresh pages that are zero already, so that an area far wider than its
// files fails at its first read instead of after zero-filling gigabytes.
void allocate_read_buffers(Run &run) {
  for (int i = 0; i < run.bandRun.bandCount; ++i) {
    run.streamBuffer[i] = allocate_zeroed<char>(STREAM_BUFFER_SIZE);
    if (!run.streamBuffer[i]) fail_allocating();
  }
  run.row = allocate_zeroed<uint16_t>(static_cast<size_t>(run.bandRun.aCols));
  if (!run.row) fail_allocating();
}

// What passes 2 to 4 need besides: the centred rows, a component's row and
// a PCI file's row. Obtained once the means have read every band, so that
// nothing but the one row is held when a first read fails.
void allocate_pass_rows(Run &run) {
  const size_t cols = static_cast<size_t>(run.bandRun.aCols);
  for (int i = 0; i < run.bandRun.bandCount; ++i) {
    run.centred[i] = allocate_zeroed<double>(cols);
    if (!run.centred[i]) fail_allocating();
  }
  run.y = allocate_zeroed<double>(cols);
  run.output = allocate_zeroed<unsigned char>(2 * cols);
  if (!run.y || !run.output) fail_allocating();
}

// The band files in list order, each with its own stream buffer.
void open_band_streams(Run &run) {
  open_bands(run.bandRun);
  for (int i = 0; i < run.bandRun.bandCount; ++i)
    setvbuf(run.bandRun.bandFiles[i].get(), run.streamBuffer[i].get(), _IOFBF,
            STREAM_BUFFER_SIZE);
}

// Every PCI file exists, empty, before the first pass. A path that names
// one of the band files is refused before that band is emptied.
void create_pci_files(Run &run) {
  FILE *bands[MAX_BANDS] = {};
  for (int i = 0; i < run.bandRun.bandCount; ++i)
    bands[i] = run.bandRun.bandFiles[i].get();
  for (int j = 0; j < run.npci; ++j) {
    if (output_names_input(run.pciPaths[j], bands, MAX_BANDS))
      fail_with("Error opening PCI file \"%s\" (%s).\n", run.pciPaths[j],
                error_text());
    run.pci[j].file.reset(fopen(run.pciPaths[j], "wb"));
    if (!run.pci[j].file)
      fail_with("Error opening PCI file \"%s\" (%s).\n", run.pciPaths[j],
                error_text());
  }
}

// ---------------------------------------------------------------------------
// Reading and centring rows

// Reads area row r of band i into the row buffer.
void read_row(Run &run, int i, int r) {
  read_area_row(run.bandRun, i, r, run.row.get(), KIND_U16);
}

// Reads area row r of every band and centres it on the band means.
void read_centred_rows(Run &run, int r) {
  const int cols = run.bandRun.aCols;
  for (int i = 0; i < run.bandRun.bandCount; ++i) {
    read_row(run, i, r);
    const uint16_t *s = run.row.get();
    double *d = run.centred[i].get();
    const double m = run.mean[i];
    for (int x = 0; x < cols; ++x) d[x] = static_cast<double>(s[x]) - m;
  }
}

// ---------------------------------------------------------------------------
// Pass 1: means

// The samples are integers below 2^16, so their sum is exact in 64-bit
// integers; a double sum is the same number while it stays below 2^53,
// that is for every area of fewer than 2^37 pixels.
void compute_means(Run &run) {
  const BandRun &a = run.bandRun;
  for (int i = 0; i < a.bandCount; ++i) {
    uint64_t sum = 0;
    for (int r = 0; r < a.aRows; ++r) {
      read_row(run, i, r);
      const uint16_t *s = run.row.get();
      for (int x = 0; x < a.aCols; ++x) sum += s[x];
    }
    run.mean[i] = static_cast<double>(sum) / static_cast<double>(run.pixels);
    show_progress(0, 3, i + 1, a.bandCount);
  }
}

// ---------------------------------------------------------------------------
// Pass 2: covariance

// Adds the centred products of the current row into the sums S[q][p], q <= p.
// Every sum takes its terms pixel after pixel, as a loop over the pixels
// would add them; four sums at a time run side by side.
void accumulate_products(Run &run) {
  const int n = run.bandRun.bandCount;
  const int cols = run.bandRun.aCols;
  const double *a[MAX_BANDS * MAX_BANDS];
  const double *b[MAX_BANDS * MAX_BANDS];
  double *sum[MAX_BANDS * MAX_BANDS];
  int count = 0;
  for (int q = 0; q < n; ++q) {
    for (int p = q; p < n; ++p) {
      a[count] = run.centred[p].get();
      b[count] = run.centred[q].get();
      sum[count] = &run.S[q][p];
      ++count;
    }
  }
  int k = 0;
  for (; k + 4 <= count; k += 4) {
    const double *a0 = a[k], *a1 = a[k + 1], *a2 = a[k + 2], *a3 = a[k + 3];
    const double *b0 = b[k], *b1 = b[k + 1], *b2 = b[k + 2], *b3 = b[k + 3];
    double s0 = *sum[k], s1 = *sum[k + 1], s2 = *sum[k + 2], s3 = *sum[k + 3];
    for (int x = 0; x < cols; ++x) {
      s0 += a0[x] * b0[x];
      s1 += a1[x] * b1[x];
      s2 += a2[x] * b2[x];
      s3 += a3[x] * b3[x];
    }
    *sum[k] = s0;
    *sum[k + 1] = s1;
    *sum[k + 2] = s2;
    *sum[k + 3] = s3;
  }
  for (; k < count; ++k) {
    const double *ak = a[k], *bk = b[k];
    double s = *sum[k];
    for (int x = 0; x < cols; ++x) s += ak[x] * bk[x];
    *sum[k] = s;
  }
}

// Population covariance (divisor N). The products commute, so the lower
// triangle of S equals the upper one.
void compute_covariance(Run &run) {
  const BandRun &a = run.bandRun;
  for (int q = 0; q < MAX_BANDS; ++q)
    for (int p = 0; p < MAX_BANDS; ++p) run.S[q][p] = 0.0;
  for (int r = 0; r < a.aRows; ++r) {
    read_centred_rows(run, r);
    accumulate_products(run);
    show_progress(3, 35, r + 1, a.aRows);
  }
  const double count = static_cast<double>(run.pixels);
  for (int q = 0; q < a.bandCount; ++q)
    for (int p = 0; p < a.bandCount; ++p)
      run.C[q][p] = (q <= p ? run.S[q][p] : run.S[p][q]) / count;
}

// ---------------------------------------------------------------------------
// Passes 3 and 4: projections

// y[x] = 0, plus centred sample i of pixel x times e[i] for the bands i in
// order. The band count is fixed at compile time so that each pixel's sum
// stays in a register while the pixels run side by side.
template <int N>
void project_pixels(const double *const *centred, const double *e, double *y,
                    int cols) {
  for (int x = 0; x < cols; ++x) {
    double v = 0.0;
    for (int i = 0; i < N; ++i) v += centred[i][x] * e[i];
    y[x] = v;
  }
}

// Projects the current row on the eigenvector of component j into y.
void project_row(Run &run, int j) {
  const double *centred[MAX_BANDS];
  for (int i = 0; i < run.bandRun.bandCount; ++i)
    centred[i] = run.centred[i].get();
  const double *e = run.E[j];
  double *y = run.y.get();
  const int cols = run.bandRun.aCols;
  switch (run.bandRun.bandCount) {
    case 1: project_pixels<1>(centred, e, y, cols); break;
    case 2: project_pixels<2>(centred, e, y, cols); break;
    case 3: project_pixels<3>(centred, e, y, cols); break;
    case 4: project_pixels<4>(centred, e, y, cols); break;
    case 5: project_pixels<5>(centred, e, y, cols); break;
    case 6: project_pixels<6>(centred, e, y, cols); break;
    default: project_pixels<7>(centred, e, y, cols); break;
  }
}

// Widens [lo, hi] to hold every value of y[0..cols-1]. Four interleaved
// lanes keep the comparisons independent; the extremes found are the same
// values a single pass would find.
void widen_range(const double *y, int cols, double &lo, double &hi) {
  double l[4] = {lo, lo, lo, lo}, h[4] = {hi, hi, hi, hi};
  int x = 0;
  for (; x + 4 <= cols; x += 4) {
    for (int k = 0; k < 4; ++k) {
      const double v = y[x + k];
      l[k] = v <= l[k] ? v : l[k];
      h[k] = v >= h[k] ? v : h[k];
    }
  }
  for (; x < cols; ++x) {
    l[0] = y[x] <= l[0] ? y[x] : l[0];
    h[0] = y[x] >= h[0] ? y[x] : h[0];
  }
  for (int k = 0; k < 4; ++k) {
    if (l[k] <= lo) lo = l[k];
    if (h[k] >= hi) hi = h[k];
  }
}

void find_ranges(Run &run) {
  const BandRun &a = run.bandRun;
  for (int j = 0; j < run.npci; ++j) {
    run.pci[j].min = DBL_MAX;
    run.pci[j].max = -DBL_MAX;
  }
  for (int r = 0; r < a.aRows; ++r) {
    read_centred_rows(run, r);
    for (int j = 0; j < run.npci; ++j) {
      project_row(run, j);
      widen_range(run.y.get(), a.aCols, run.pci[j].min, run.pci[j].max);
    }
    show_progress(35, 65, r + 1, a.aRows);
  }
  for (int j = 0; j < run.npci; ++j)
    run.pci[j].range = run.pci[j].max - run.pci[j].min;
}

// Bytes per output sample by image type: 1 for 8-bit images, 2 for 16-bit
// images, 0 for a code that writes nothing.
int output_sample_size(int iType) {
  if (iType == 1 || iType == 2) return 1;
  if (iType == 3 || iType == 4) return 2;
  return 0;
}

// Stretches the current row of component j into the output row. The pixels
// of the smallest and largest value map exactly to 0 and to the top of the
// scale; a component without a finite positive range (constant over the
// area) is written as 0 throughout.
void stretch_row(Run &run, int j, int size) {
  const int cols = run.bandRun.aCols;
  unsigned char *out = run.output.get();
  const ComponentOutput &c = run.pci[j];
  if (!(c.range > 0.0) || !std::isfinite(c.range)) {
    memset(out, 0, static_cast<size_t>(size) * static_cast<size_t>(cols));
    return;
  }
  const double *y = run.y.get();
  const double lo = c.min, range = c.range;
  if (size == 1) {
    for (int x = 0; x < cols; ++x) {
      const double t = (y[x] - lo) / range;
      out[x] = static_cast<unsigned char>(static_cast<int>(t * 255.0));
    }
  } else {
    for (int x = 0; x < cols; ++x, out += 2) {
      const double t = (y[x] - lo) / range;
      const int v = static_cast<int>(t * 1023.0);
      out[0] = static_cast<unsigned char>(v & 0xFF);  // low byte first
      out[1] = static_cast<unsigned char>(v >> 8);
    }
  }
}

void write_components(Run &run) {
  const BandRun &a = run.bandRun;
  const int size = output_sample_size(a.type);
  const size_t cols = static_cast<size_t>(a.aCols);
  for (int r = 0; r < a.aRows; ++r) {
    read_centred_rows(run, r);
    if (size != 0) {
      for (int j = 0; j < run.npci; ++j) {
        project_row(run, j);
        stretch_row(run, j, size);
        if (fwrite(run.output.get(), static_cast<size_t>(size), cols,
                   run.pci[j].file.get()) != cols)
          fail_with("Error writing PCI file \"%s\" (%s).\n", run.pciPaths[j],
                    error_text());
      }
    }
    show_progress(65, 100, r + 1, a.aRows);
  }
}

// ---------------------------------------------------------------------------
// Closing

void close_files(Run &run) {
  for (int j = 0; j < run.npci; ++j) {
    if (fclose(run.pci[j].file.release()) != 0)
      fail_with("Error closing PCI file \"%s\" (%s).\n", run.pciPaths[j],
                error_text());
  }
  for (int i = 0; i < run.bandRun.bandCount; ++i)
    run.bandRun.bandFiles[i].reset();
}

}  // namespace

int main(int argc, char **argv) {
  ignore_broken_pipe();
  // Static, so that its rows are released at every exit, a failure's too:
  // a leak checker would otherwise read through the whole of a row that
  // is still held.
  static Run run;
  check_arguments(argc, argv, run);
  run.pixels = static_cast<int64_t>(run.bandRun.aRows) * run.bandRun.aCols;

  allocate_read_buffers(run);
  open_band_streams(run);
  create_pci_files(run);

  compute_means(run);
  allocate_pass_rows(run);
  compute_covariance(run);
  covariance_eigen(run.C, run.E, run.eigenvalue, run.bandRun.bandCount);
  find_ranges(run);
  write_components(run);

  close_files(run);
  return 0;
}
