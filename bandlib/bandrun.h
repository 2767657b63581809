// The console side of a band-set run: what the classifiers quenta, wimbel,
// sotrak, grenik and harvin do alike before, around and after their own
// work. A run holds the area, the image type, the band and path lists, the
// band files and the output file; its steps check the argument count, scan
// the area, look up the image type, parse the lists, open the bands in list
// order, open the output (never over an input), read area rows, obtain
// zeroed rows and close the output with its close checked. tendor, which
// writes PCI files of its own, takes the checks, the band opening and the
// row reads.
//
// Every step that fails prints the tool's message on standard error and
// ends the run with status 1: this is tool-side code, linked only by the
// programs. The band-file library itself (bandlib.h) returns its failures
// and prints nothing but progress lines.
#pragma once

#include <cstdint>
#include <cstdio>

#include "bandlib.h"
#include "buffer.h"
#include "filehandle.h"

// Where the tools' own words and ways differ.
struct RunProfile {
  // The output file as the messages call it ("COF file"), and whether they
  // name its path: "Error opening COF file \"%s\" (%s).\n" against
  // "Error opening classifications file (%s).\n".
  const char *output;
  bool outputNamed;
  const char *outputMode;  // fopen mode of the output, "w+b" or "wb"
  // errno reported for an image row or column past the range of int,
  // which the row reader cannot address.
  int pastRangeError;
};

struct BandRun {
  explicit BandRun(const RunProfile &runProfile) : profile(&runProfile) {}

  const RunProfile *profile;
  int iRows = 0, iCols = 0, aRow = 0, aCol = 0, aRows = 0, aCols = 0;
  int type = 0;                    // image type code
  int bandCount = 0;               // entries of the band list
  int bands[MAX_BANDS] = {};       // band numbers in list order
  WordSlot paths[MAX_BANDS] = {};  // band file paths in list order
  const char *outputPath = nullptr;
  FileHandle bandFiles[MAX_BANDS];  // in list order
  FileHandle output;
  ZeroedArray<uint8_t> outputRow;  // aCols class bytes, once allocated
};

// argc 1 prints the usage lines (a tool without usage lines passes none)
// and ends the run; any count other than `expected` is
// "Missing/extra parameter.\n".
void check_argument_count(int argc, int expected, const char *const *usage,
                          int usageLines);

// One "%d" scan of a command-line number, "Illegal parameter.\n" without one.
void scan_argument(const char *text, int *value);

// iRows, iCols, aRow, aCol, aRows and aCols from six texts in this order.
void scan_area(BandRun &run, char *const *texts);

// "Unknown image type.\n" for a name the table does not hold.
void check_image_type(BandRun &run, const char *name);

// The band number list (1 to 7 entries, each one the image type stores:
// "Illegal image bands.\n"), then the path list, as many paths as bands
// ("Illegal image paths.\n"). The image type is checked first.
void check_band_lists(BandRun &run, const char *pathList, const char *bandList);

// Opens every listed band file ("rb") in list order:
// "Error opening image file \"%s\" (%s).\n".
void open_bands(BandRun &run);

// Opens the output at `path` with the profile's mode. A path that names a
// band file or one of `otherInputs` (open streams the tool reads too, such
// as its training set) is refused, with errno EEXIST, before anything is
// truncated.
void open_output(BandRun &run, const char *path,
                 FILE *const *otherInputs = nullptr, int otherCount = 0);

// Reads `count` samples of band k (list position) at area row y and area
// column x as elements of `kind`. 0 on success; 1 with errno telling why,
// the profile's error for an image position past the range of int (which
// a type without a layout reads as it reads any position: nothing, 0).
int read_area_samples(const BandRun &run, int k, int64_t y, int64_t x,
                      int count, void *buffer, int kind);

// The whole area row y of band k, or "Error reading image file ...".
void read_area_row(const BandRun &run, int k, int64_t y, void *buffer,
                   int kind);

// "Error reading image file \"%s\" (%s).\n" with the path of band k.
[[noreturn]] void fail_reading(const BandRun &run, int k);
// "Error <action> <output> (%s).\n", the output named by its path where the
// profile says so, with the system's text for errno: "Error reading COF
// file \"%s\" (%s).\n" for the action "reading".
[[noreturn]] void fail_on_output(const BandRun &run, const char *action);
// fail_on_output for "writing".
[[noreturn]] void fail_writing(const BandRun &run);
// "Error allocating memory.\n".
[[noreturn]] void fail_allocating();

// One zeroed row of aCols elements per band in `rows`, then the output row
// of aCols bytes. They start zeroed, so that a band the image type does not
// store (GI bands above 5) reads as zeros, and they are taken as fresh
// pages, so that an area far too wide for its files costs no memory until a
// row is read. A negative column count cannot be allocated.
template <class T>
void allocate_run_rows(BandRun &run, ZeroedArray<T> *rows) {
  if (run.aCols < 0) fail_allocating();
  const size_t columns = static_cast<size_t>(run.aCols);
  for (int k = 0; k < run.bandCount; ++k) {
    rows[k] = allocate_zeroed<T>(columns);
    if (!rows[k]) fail_allocating();
  }
  run.outputRow = allocate_zeroed<uint8_t>(columns);
  if (!run.outputRow) fail_allocating();
}

// Writes the output row (aCols class bytes) at the output's position as
// one item: "Error writing <output> ...". A row of no columns writes no
// item and fails the same way, with EINVAL, as a short write with no
// system error of its own does with EIO.
void write_output_row(const BandRun &run);

// Closes the output; a failed close is "Error closing <output> ...".
void close_output(BandRun &run);
