// quenta: classifies every pixel of an image area by Gaussian maximum
// likelihood from the class statistics of a training set file, and writes
// one class byte per pixel into a COF file.
//
// quenta iPaths iBands iType iRows iCols aRow aCol aRows aCols tsPath cofPath
#include <cerrno>
#include <cstdlib>

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
  const size_t columns = run.aCols > 0 ? static_cast<size_t>(run.aCols) : 1;
  for (int b = 0; b < run.bandCount; ++b) {
    if (run.aCols >= 0)
      run.rows[b] = static_cast<uint16_t *>(calloc(columns, sizeof(uint16_t)));
    if (run.rows[b] == nullptr) fail_with("Error allocating memory.\n");
  }
  if (run.aCols >= 0) run.out = static_cast<uint8_t *>(calloc(columns, 1));
  if (run.out == nullptr) fail_with("Error allocating memory.\n");
}

void open_files(QuentaRun &run) {
  for (int b = 0; b < run.bandCount; ++b) {
    run.bandFiles[b] = fopen(run.paths[b], "rb");
    if (run.bandFiles[b] == nullptr)
      fail_with("Error opening image file \"%s\" (%s).\n", run.paths[b],
                error_text());
  }
  run.ts = fopen(run.tsPath, "r");
  if (run.ts == nullptr)
    fail_with("Error opening TS file \"%s\" (%s).\n", run.tsPath,
              error_text());
  run.cof = fopen(run.cofPath, "w+b");
  if (run.cof == nullptr)
    fail_with("Error opening COF file \"%s\" (%s).\n", run.cofPath,
              error_text());
}

void end_run(QuentaRun &run) {
  if (fclose(run.cof) != 0)
    fail_with("Error closing COF file \"%s\" (%s).\n", run.cofPath,
              error_text());
  fclose(run.ts);
  for (int b = 0; b < run.bandCount; ++b) {
    fclose(run.bandFiles[b]);
    free(run.rows[b]);
  }
  free(run.out);
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
