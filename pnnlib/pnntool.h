// The console steps that wimbel and sotrak share: the argument checks in
// their order, opening the band files, the training set and the COF file,
// loading the samples, the row loop with its output and progress, and the
// end of the run. Every failure prints the tools' message on standard error
// and ends the run with status 1.
#pragma once

#include <cerrno>
#include <cstdint>
#include <memory>

#include "bandrun.h"
#include "pnnlib.h"

// How the messages of wimbel and sotrak name their output ("Error opening
// classifications file (%s).\n", without its path), and the error of a row
// past the range of int.
inline const RunProfile PNN_PROFILE = {"classifications file", false, "wb",
                                       EOVERFLOW};

// What the command line and the set-up give a run.
struct PnnRun {
  BandRun bandRun{PNN_PROFILE};
  int sigma = 0, maxSamples = 0;
  FileHandle ts;
  ZeroedArray<int32_t> rows[MAX_BANDS];   // one row of aCols samples per band
  std::unique_ptr<TrainingSet> training;  // the stored samples, once loaded
};

// The shared checks of a call with `expected` argument counts, in their
// order: the count (no argument at all prints the four usage lines), the
// tool's own numbers from argument 4 on and the area after them ("%d"
// each), the image type, the band and path lists, the band files, the
// training set and the COF file (the last two arguments), then maxSamples
// (1..500) and sigma (at least 1). `numbers` include sigma and maxSamples.
void check_shared_arguments(int argc, char **argv, int expected,
                            const char *const usage[4], int *const *numbers,
                            int count, PnnRun &run);

// The row buffers, then the output row.
void allocate_row_buffers(PnnRun &run);

// The store of the training samples ("Error allocating memory.\n"), then
// load_training_samples into it, or "Error reading training set (%s).\n".
void load_samples(PnnRun &run);

// Reads each row of the area, lets decide_row(values) fill the output row
// from the band values (values[b][p] for band b in list order, pixel p),
// writes the row and prints the progress. A template, so that handing the
// decision over allocates nothing.
template <class DecideRow>
void classify_rows(PnnRun &run, DecideRow &&decide_row) {
  const BandRun &f = run.bandRun;
  const int32_t *values[MAX_BANDS];
  for (int b = 0; b < f.bandCount; ++b) values[b] = run.rows[b].get();
  for (int r = 0; r < f.aRows; ++r) {
    for (int b = 0; b < f.bandCount; ++b)
      read_area_row(f, b, r, run.rows[b].get(), KIND_I32);
    decide_row(values);
    write_output_row(f);
    show_progress(0, 100, r + 1, f.aRows);
  }
}

// Closes the COF file (checked); the inputs are closed with the run.
void end_run(PnnRun &run);
