// The common ground of the probabilistic-neural-network classifiers wimbel
// and sotrak: the training-sample store and its loading, the argument
// checks both tools make, the row loop with its output and progress, and
// the end of the run. Every failure prints its message on standard error
// and ends the run with status 1.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>

#include "bandlib.h"
#include "buffer.h"
#include "filehandle.h"

constexpr int MAX_TS_SAMPLES = 500;

// The training samples of one run, filled once and read-only afterwards.
// samples[k][s][b]: band b (list position) of the s-th stored record of
// class k, meaningful for s < counts[k] and b < the band count.
struct TrainingSet {
  int32_t samples[MAX_TS_CLASSES + 1][MAX_TS_SAMPLES][MAX_BANDS];
  int32_t counts[MAX_TS_CLASSES + 1];
  int32_t highestClass;
};

inline bool class_present(const TrainingSet &ts, int k) {
  return ts.counts[k] > 0;
}

// Reads records of n + 1 integers (the class, then the values of the bands
// in list order) and keeps the first maxSamples records of each class. A
// word where a class number is due ends the reading; a record cut short
// fails the run. A record whose class lies outside 1..27 is read and not
// stored.
void load_training_samples(FILE *stream, int n, int maxSamples,
                           TrainingSet &ts);

// Squared differences of any two 32-bit values and their sums, exact in 64
// bits wherever 32-bit arithmetic held them; a sum saturates far beyond the
// range of any real data.
inline uint64_t saturating_add(uint64_t a, uint64_t b) {
  return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}
inline uint64_t squared_difference(int32_t a, int32_t b) {
  const int64_t d = static_cast<int64_t>(a) - b;
  const uint64_t u = static_cast<uint64_t>(d < 0 ? -d : d);  // below 2^32
  return u * u;
}

// What the command line and the set-up give a run.
struct PnnRun {
  int sigma = 0, maxSamples = 0;
  int iRows = 0, iCols = 0, aRow = 0, aCol = 0, aRows = 0, aCols = 0;
  int type = 0;                    // image type code
  int bandCount = 0;               // n, entries of the band list
  int bands[MAX_BANDS] = {};       // band numbers in list order
  WordSlot paths[MAX_BANDS] = {};  // band file paths in list order
  const char *tsPath = nullptr;
  const char *cofPath = nullptr;
  FileHandle bandFiles[MAX_BANDS];
  FileHandle ts;
  FileHandle cof;
  ZeroedArray<int32_t> rows[MAX_BANDS];  // one row of aCols samples per band
  ZeroedArray<uint8_t> out;              // one row of aCols class bytes
};

// The checks in their order. No argument at all prints the four usage
// lines; any other count than `wanted` arguments fails.
void check_argument_count(int argc, int wanted, const char *const usage[4]);
// One "%d" scan per text into the matching number, in order.
void scan_numbers(char *const *texts, int *const *numbers, int count);
// Image type, band list and path list, then the band files, the training
// set and the COF file opened in this order.
void check_image_and_open_files(PnnRun &run, const char *pathList,
                                const char *bandList, const char *typeName,
                                const char *tsPath, const char *cofPath);
// maxSamples 1..500, then sigma at least 1.
void check_sample_limits(const PnnRun &run);
// The row buffers, then the output row.
void allocate_row_buffers(PnnRun &run);

// Reads each row of the area, lets `decide_row` fill run.out from the
// band values (values[b][p] for band b in list order, pixel p), writes the
// row and prints the progress.
void classify_rows(
    PnnRun &run,
    const std::function<void(const int32_t *const *values)> &decide_row);

// Closes the COF file (checked), then the inputs.
void end_run(PnnRun &run);
