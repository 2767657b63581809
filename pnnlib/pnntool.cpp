// The console steps wimbel and sotrak share.
#include "pnntool.h"

#include <new>

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

void load_samples(PnnRun &run) {
  run.training.reset(new (std::nothrow) TrainingSet());
  if (!run.training) fail_allocating();
  if (load_training_samples(run.ts.get(), run.bandRun.bandCount, run.maxSamples,
                            *run.training) != 0)
    fail_with("Error reading training set (%s).\n", error_text());
}

void end_run(PnnRun &run) { close_output(run.bandRun); }
