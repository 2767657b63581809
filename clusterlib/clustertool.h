// The steps that the two unsupervised classifiers share on the console:
// usage and argument checks, opening the band files and the COF file,
// reading area samples, and the end of a run. Every failure prints the
// tool's message on standard error and ends the run with status 1.
#pragma once

#include <cstdint>
#include <cstdio>

#include "bandlib.h"
#include "filehandle.h"

struct ClusterRun {
  int iRows = 0, iCols = 0, aRow = 0, aCol = 0, aRows = 0, aCols = 0;
  int type = 0;                    // image type code
  int bandCount = 0;               // n, entries of the band list
  int bands[MAX_BANDS] = {};       // band numbers in list order
  WordSlot paths[MAX_BANDS] = {};  // band file paths in list order
  const char *cofPath = nullptr;
  FileHandle bandFiles[MAX_BANDS];
  FileHandle cof;
};

// argc 1 prints the usage lines and ends the run; any count other than
// `expected` is "Missing/extra parameter.".
void check_argument_count(int argc, int expected, const char *const *usage,
                          int usageLines);

// Argument 3, the image type, looked up before any number is read.
void check_image_type(const char *name, ClusterRun &run);

// One "%d" scan of a command-line number, "Illegal parameter." without one.
void scan_number(const char *text, int *value);

// Arguments 4 to 9: iRows, iCols, aRow, aCol, aRows, aCols.
void scan_area(char **argv, ClusterRun &run);

// The number of clusters to merge down to. A list cannot be merged below
// one cluster, so a number below 1 is an illegal parameter too.
void scan_class_count(const char *text, int *nClasses);

// The band list (argument 2) and the path list (argument 1).
void check_band_lists(char **argv, ClusterRun &run);

// The band files in list order ("rb"), then the COF file ("w+b"), which
// may not name one of the band files.
void open_run_files(ClusterRun &run);

// Reads `count` samples of band k at area row y, area column x as elements
// of `kind`; 0 on success, otherwise errno tells why. Image positions past
// the range of int cannot be addressed (EINVAL).
int read_area_samples(const ClusterRun &run, int k, int64_t y, int64_t x,
                      int count, void *buffer, int kind);

[[noreturn]] void fail_reading(const ClusterRun &run, int k);
[[noreturn]] void fail_writing(const ClusterRun &run);
[[noreturn]] void fail_allocating();

// Closes the COF file (a failed close is an error) and the band files.
void end_run(ClusterRun &run);
