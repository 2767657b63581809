// quenta: classifies every pixel of an image area by Gaussian maximum
// likelihood from the class statistics of a training set file, and writes
// one class byte per pixel into a COF file.
//
// quenta iPaths iBands iType iRows iCols aRow aCol aRows aCols tsPath cofPath
#include "console.h"
#include "quenta.h"

namespace {

// quenta has no usage lines: a call without arguments is a wrong count.
void check_arguments(int argc, char **argv, QuentaRun &run) {
  check_argument_count(argc, 12, nullptr, 0);
  scan_area(run.bandRun, argv + 4);
  check_image_type(run.bandRun, argv[3]);
  check_band_lists(run.bandRun, argv[1], argv[2]);
  run.bandText = argv[2];
  run.tsPath = argv[10];
}

// The band files in list order, the training set, then the COF file, which
// is created last and never over one of the inputs.
void open_files(QuentaRun &run, const char *cofPath) {
  open_bands(run.bandRun);
  run.ts.reset(fopen(run.tsPath, "r"));
  if (!run.ts)
    fail_with("Error opening TS file \"%s\" (%s).\n", run.tsPath, error_text());
  FILE *const ts = run.ts.get();
  open_output(run.bandRun, cofPath, &ts, 1);
}

}  // namespace

int main(int argc, char **argv) {
  ignore_broken_pipe();
  QuentaRun run;
  check_arguments(argc, argv, run);
  allocate_run_rows(run.bandRun, run.rows);
  open_files(run, argv[11]);

  static TrainingStatistics st;
  read_class_means(run, st);
  find_constant_bands(run, st);
  find_degenerate_bands(run, st);
  report_degenerate_bands(run, st);
  read_covariances(run, st);

  run_pass1(run, st);
  if (st.twoPass) run_pass2(run, st);
  close_output(run.bandRun);
  return 0;
}
