// The console steps wimbel and sotrak share.
#include "pnntool.h"

#include <cerrno>

#include "console.h"

void check_shared_arguments(int argc, char **argv, int expected,
                            const char *const usage[4], int *const *numbers,
                            int count, PnnRun &run) {
  BandRun &f = run.bandRun;
  check_argument_count(argc, expected, usage, 4);
  for (int i = 0; i < count; ++i) scan_argument(argv[4 + i], numbers[i]);
  scan_area(f, argv + 4 + count);
  check_image_type(f, argv[3]);
  check_band_lists(f, argv[1], argv[2]);
  open_bands(f);
  run.ts.reset(fopen(argv[expected - 2], "r"));
  if (!run.ts) fail_with("Error opening training set (%s).\n", error_text());
  FILE *const ts = run.ts.get();
  open_output(f, argv[expected - 1], &ts, 1);
  if (run.maxSamples < 1 || run.maxSamples > MAX_TS_SAMPLES)
    fail_with("Illegal maximum number of samples (%d).\n", run.maxSamples);
  if (run.sigma < 1) fail_with("Illegal sigma value (%d).\n", run.sigma);
}

void allocate_row_buffers(PnnRun &run) {
  allocate_run_rows(run.bandRun, run.rows);
}

void load_samples(PnnRun &run, TrainingSet &ts) {
  if (load_training_samples(run.ts.get(), run.bandRun.bandCount, run.maxSamples,
                            ts) != 0)
    fail_with("Error reading training set (%s).\n", error_text());
}

void classify_rows(
    PnnRun &run,
    const std::function<void(const int32_t *const *values)> &decide_row) {
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

void end_run(PnnRun &run) { close_output(run.bandRun); }
