// tendor: the principal components of up to seven bands of an image over a
// rectangular area. Each requested component is written as a PCI file, a
// raw raster stretched linearly to 0..255 (8-bit images) or 0..1023 (16-bit
// images), the component of largest variance first.
//
// The area is streamed four times, one row per band in memory: the means,
// the covariance matrix, the range of every component and the output.
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "bandlib.h"
#include "buffer.h"
#include "console.h"
#include "eigen.h"
#include "filehandle.h"

namespace {

constexpr int ARGUMENT_COUNT = 10;
// Input stream buffer per band: the passes read whole rows in order, so a
// large buffer saves most of the system calls.
constexpr size_t STREAM_BUFFER_SIZE = 1 << 18;

// The command line.
struct Arguments {
  WordSlot iPaths[MAX_BANDS];
  int iBands[MAX_BANDS];
  int n;  // bands, 1..7
  int iType, iRows, iCols, aRow, aCol, aRows, aCols;
  WordSlot pciPaths[MAX_BANDS];
  int npci;  // components to write, 0..n
};

// One input band: its stream, the current area row as read (sample kind 2)
// and the same row centred on the band's mean.
struct BandInput {
  std::vector<char> stream_buffer;  // outlives the stream that uses it
  FileHandle file;
  ZeroedArray<uint16_t> row;
  ZeroedArray<double> centred;
};

// One output component: its stream and its range over the area.
struct ComponentOutput {
  FileHandle file;
  double min, max, range;
};

// Everything one run owns.
struct Run {
  Arguments args;
  int64_t pixels;  // aRows x aCols
  BandInput band[MAX_BANDS];
  ComponentOutput pci[MAX_BANDS];
  double mean[MAX_BANDS];
  double S[MAX_BANDS][MAX_BANDS];  // sums of centred products
  double C[MAX_BANDS][MAX_BANDS];  // covariance matrix
  double E[MAX_BANDS]
          [MAX_BANDS];  // row k: eigenvector of the k+1-th eigenvalue
  double eigenvalue[MAX_BANDS];
  ZeroedArray<double> y;              // one component over the current row
  ZeroedArray<unsigned char> output;  // the current row of a PCI file
};

// ---------------------------------------------------------------------------
// Argument checks

void print_usage_and_exit() {
  fail_with(
      "Usage: tendor \"<iPaths>\" \"<iBands>\" <iType>\n"
      "               <iRows> <iCols> <aRow> <aCol>\n"
      "               <aRows> <aCols> \"<pciPaths>\"\n");
}

// The usage text without arguments; then the count, the seven numbers, the
// band list, the path list and the PCI path list, in this order.
void check_arguments(int argc, char **argv, Arguments &args) {
  if (argc == 1) print_usage_and_exit();
  if (argc != ARGUMENT_COUNT + 1) fail_with("Missing/extra parameter.\n");

  int *const numbers[] = {&args.iType, &args.iRows, &args.iCols, &args.aRow,
                          &args.aCol,  &args.aRows, &args.aCols};
  for (int k = 0; k < 7; ++k)
    if (!scan_int(argv[3 + k], numbers[k])) fail_with("Illegal parameter.\n");
  // An empty area has no statistics.
  if (args.aRows < 1 || args.aCols < 1) fail_with("Illegal parameter.\n");

  args.n = parse_int_list(argv[2], args.iBands, MAX_BANDS);
  if (args.n < 1 || args.n > MAX_BANDS) fail_with("Illegal image bands.\n");
  if (parse_word_list(argv[1], args.iPaths, MAX_BANDS) != args.n)
    fail_with("Illegal image paths.\n");
  args.npci = parse_word_list(argv[10], args.pciPaths, MAX_BANDS);
  if (args.npci < 0 || args.npci > args.n) fail_with("Illegal PCI paths.\n");
}

// ---------------------------------------------------------------------------
// Set-up

// Row buffers start cleared: a band whose image type or GI band number
// selects no stored samples is read as a band of zeros. They are obtained
// without being written, so that an area far wider than its files fails at
// its first read instead of after zero-filling gigabytes.
void allocate_rows(Run &run) {
  const size_t cols = static_cast<size_t>(run.args.aCols);
  bool obtained = true;
  try {
    for (int i = 0; i < run.args.n; ++i)
      run.band[i].stream_buffer.resize(STREAM_BUFFER_SIZE);
  } catch (const std::bad_alloc &) {
    obtained = false;
  }
  for (int i = 0; i < run.args.n && obtained; ++i) {
    run.band[i].row = allocate_zeroed<uint16_t>(cols);
    run.band[i].centred = allocate_zeroed<double>(cols);
    obtained = run.band[i].row && run.band[i].centred;
  }
  if (obtained) {
    run.y = allocate_zeroed<double>(cols);
    run.output = allocate_zeroed<unsigned char>(2 * cols);
    obtained = run.y && run.output;
  }
  if (!obtained) fail_with("Error allocating memory.\n");
}

void open_bands(Run &run) {
  for (int i = 0; i < run.args.n; ++i) {
    run.band[i].file.reset(fopen(run.args.iPaths[i], "rb"));
    if (!run.band[i].file)
      fail_with("Error opening image file \"%s\" (%s).\n", run.args.iPaths[i],
                error_text());
    setvbuf(run.band[i].file.get(), run.band[i].stream_buffer.data(), _IOFBF,
            run.band[i].stream_buffer.size());
  }
}

// Every PCI file exists, empty, before the first pass. A path that names
// one of the band files is refused before that band is emptied.
void create_pci_files(Run &run) {
  FILE *bands[MAX_BANDS] = {};
  for (int i = 0; i < run.args.n; ++i) bands[i] = run.band[i].file.get();
  for (int j = 0; j < run.args.npci; ++j) {
    if (output_names_input(run.args.pciPaths[j], bands, MAX_BANDS))
      fail_with("Error opening PCI file \"%s\" (%s).\n", run.args.pciPaths[j],
                error_text());
    run.pci[j].file.reset(fopen(run.args.pciPaths[j], "wb"));
    if (!run.pci[j].file)
      fail_with("Error opening PCI file \"%s\" (%s).\n", run.args.pciPaths[j],
                error_text());
  }
}

// ---------------------------------------------------------------------------
// Reading and centring rows

// Reads area row r of band i into its row buffer.
void read_row(Run &run, int i, int r) {
  const Arguments &a = run.args;
  // A row past the largest int cannot be addressed; it goes to the reader
  // as a row before the first, which a type that reads samples refuses.
  const int64_t row = static_cast<int64_t>(a.aRow) + r;
  const int image_row = row <= INT_MAX ? static_cast<int>(row) : -1;
  errno = 0;  // the message reports this read's error only
  if (read_band_row(run.band[i].file.get(), a.iRows, a.iCols, a.iType,
                    a.iBands[i], image_row, a.aCol, a.aCols,
                    run.band[i].row.get(), KIND_U16) != 0)
    fail_with("Error reading image file \"%s\" (%s).\n", a.iPaths[i],
              error_text());
}

// Reads area row r of every band and centres it on the band means.
void read_centred_rows(Run &run, int r) {
  const int cols = run.args.aCols;
  for (int i = 0; i < run.args.n; ++i) {
    read_row(run, i, r);
    const uint16_t *s = run.band[i].row.get();
    double *d = run.band[i].centred.get();
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
  const Arguments &a = run.args;
  for (int i = 0; i < a.n; ++i) {
    uint64_t sum = 0;
    for (int r = 0; r < a.aRows; ++r) {
      read_row(run, i, r);
      const uint16_t *s = run.band[i].row.get();
      for (int x = 0; x < a.aCols; ++x) sum += s[x];
    }
    run.mean[i] = static_cast<double>(sum) / static_cast<double>(run.pixels);
    show_progress(0, 3, i + 1, a.n);
  }
}

// ---------------------------------------------------------------------------
// Pass 2: covariance

// Adds the centred products of the current row into the sums S[q][p], q <= p.
// Every sum takes its terms pixel after pixel, as a loop over the pixels
// would add them; four sums at a time run side by side.
void accumulate_products(Run &run) {
  const int n = run.args.n;
  const int cols = run.args.aCols;
  const double *a[MAX_BANDS * MAX_BANDS];
  const double *b[MAX_BANDS * MAX_BANDS];
  double *sum[MAX_BANDS * MAX_BANDS];
  int count = 0;
  for (int q = 0; q < n; ++q) {
    for (int p = q; p < n; ++p) {
      a[count] = run.band[p].centred.get();
      b[count] = run.band[q].centred.get();
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
  const Arguments &a = run.args;
  for (int q = 0; q < MAX_BANDS; ++q)
    for (int p = 0; p < MAX_BANDS; ++p) run.S[q][p] = 0.0;
  for (int r = 0; r < a.aRows; ++r) {
    read_centred_rows(run, r);
    accumulate_products(run);
    show_progress(3, 35, r + 1, a.aRows);
  }
  const double count = static_cast<double>(run.pixels);
  for (int q = 0; q < a.n; ++q)
    for (int p = 0; p < a.n; ++p)
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
  for (int i = 0; i < run.args.n; ++i) centred[i] = run.band[i].centred.get();
  const double *e = run.E[j];
  double *y = run.y.get();
  const int cols = run.args.aCols;
  switch (run.args.n) {
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
  const Arguments &a = run.args;
  for (int j = 0; j < a.npci; ++j) {
    run.pci[j].min = DBL_MAX;
    run.pci[j].max = -DBL_MAX;
  }
  for (int r = 0; r < a.aRows; ++r) {
    read_centred_rows(run, r);
    for (int j = 0; j < a.npci; ++j) {
      project_row(run, j);
      widen_range(run.y.get(), a.aCols, run.pci[j].min, run.pci[j].max);
    }
    show_progress(35, 65, r + 1, a.aRows);
  }
  for (int j = 0; j < a.npci; ++j)
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
  const int cols = run.args.aCols;
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
  const Arguments &a = run.args;
  const int size = output_sample_size(a.iType);
  const size_t cols = static_cast<size_t>(a.aCols);
  for (int r = 0; r < a.aRows; ++r) {
    read_centred_rows(run, r);
    if (size != 0) {
      for (int j = 0; j < a.npci; ++j) {
        project_row(run, j);
        stretch_row(run, j, size);
        if (fwrite(run.output.get(), static_cast<size_t>(size), cols,
                   run.pci[j].file.get()) != cols)
          fail_with("Error writing PCI file \"%s\" (%s).\n", a.pciPaths[j],
                    error_text());
      }
    }
    show_progress(65, 100, r + 1, a.aRows);
  }
}

// ---------------------------------------------------------------------------
// Closing

void close_files(Run &run) {
  for (int j = 0; j < run.args.npci; ++j) {
    if (fclose(run.pci[j].file.release()) != 0)
      fail_with("Error closing PCI file \"%s\" (%s).\n", run.args.pciPaths[j],
                error_text());
  }
  for (int i = 0; i < run.args.n; ++i) run.band[i].file.reset();
}

}  // namespace

int main(int argc, char **argv) {
  ignore_broken_pipe();
  static Run run;
  check_arguments(argc, argv, run.args);
  run.pixels = static_cast<int64_t>(run.args.aRows) * run.args.aCols;

  allocate_rows(run);
  open_bands(run);
  create_pci_files(run);

  compute_means(run);
  compute_covariance(run);
  covariance_eigen(run.C, run.E, run.eigenvalue, run.args.n);
  find_ranges(run);
  write_components(run);

  close_files(run);
  return 0;
}
