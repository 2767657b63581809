// quenta: classifies every pixel of an image area by Gaussian maximum
// likelihood from the class statistics of a training set file, and writes
// one class byte per pixel into a COF file.
//
// quenta iPaths iBands iType iRows iCols aRow aCol aRows aCols tsPath cofPath
#include "quenta.h"

namespace {

void check_arguments(int argc, char **argv, QuentaRun &run) {
  if (argc != 12) fail_with("Missing/extra parameter.\n");
  int *numbers[] = {&run.iRows, &run.iCols, &run.aRow,
                    &run.aCol,  &run.aRows, &run.aCols};
  for (int i = 0; i < 6; ++i)
    if (!scan_int(argv[4 + i], numbers[i])) fail_with("Illegal parameter.\n");
  if (image_type_code(argv[3], &run.type) != 0)
    fail_with("Unknown image type.\n");
  run.bandCount = parse_int_list(argv[2], run.bands, MAX_BANDS);
  if (run.bandCount < 1 || run.bandCount > MAX_BANDS)
    fail_with("Illegal image bands.\n");
  if (parse_word_list(argv[1], run.paths, MAX_BANDS) != run.bandCount)
    fail_with("Illegal image paths.\n");
  run.bandText = argv[2];
  run.tsPath = argv[10];
  run.cofPath = argv[11];
}

// The row buffers start zeroed: a band that the image type does not store
// (GI bands above 5) reads as zeros rather than as stale memory. A negative
// column count cannot be allocated.
void allocate_buffers(QuentaRun &run) {
  if (run.aCols < 0) fail_with("Error allocating memory.\n");
  const size_t columns = static_cast<size_t>(run.aCols);
  for (int b = 0; b < run.bandCount; ++b) {
    run.rows[b] = allocate_zeroed<uint16_t>(columns);
    if (!run.rows[b]) fail_with("Error allocating memory.\n");
  }
  run.out = allocate_zeroed<uint8_t>(columns);
  if (!run.out) fail_with("Error allocating memory.\n");
}

// The COF file is created last, and never over one of the inputs.
void open_files(QuentaRun &run) {
  for (int b = 0; b < run.bandCount; ++b) {
    run.bandFiles[b].reset(fopen(run.paths[b], "rb"));
    if (!run.bandFiles[b])
      fail_with("Error opening image file \"%s\" (%s).\n", run.paths[b],
                error_text());
  }
  run.ts.reset(fopen(run.tsPath, "r"));
  if (!run.ts)
    fail_with("Error opening TS file \"%s\" (%s).\n", run.tsPath, error_text());
  FILE *inputs[MAX_BANDS + 1] = {run.ts.get()};
  for (int b = 0; b < run.bandCount; ++b)
    inputs[1 + b] = run.bandFiles[b].get();
  if (output_names_input(run.cofPath, inputs, MAX_BANDS + 1))
    fail_with("Error opening COF file \"%s\" (%s).\n", run.cofPath,
              error_text());
  run.cof.reset(fopen(run.cofPath, "w+b"));
  if (!run.cof)
    fail_with("Error opening COF file \"%s\" (%s).\n", run.cofPath,
              error_text());
}

void end_run(QuentaRun &run) {
  if (fclose(run.cof.release()) != 0)
    fail_with("Error closing COF file \"%s\" (%s).\n", run.cofPath,
              error_text());
}

}  // namespace

int main(int argc, char **argv) {
  QuentaRun run;
  check_arguments(argc, argv, run);
  allocate_buffers(run);
  open_files(run);

  static TrainingStatistics st;
  read_class_means(run, st);
  find_constant_bands(run, st);
  find_degenerate_bands(run, st);
  report_degenerate_bands(run, st);
  read_covariances(run, st);

  run_pass1(run, st);
  if (st.twoPass) run_pass2(run, st);
  end_run(run);
  return 0;
}
