// Console steps shared by the unsupervised classifiers.
#include "clustertool.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "console.h"

void check_argument_count(int argc, int expected, const char *const *usage,
                          int usageLines) {
  if (argc == 1) fail_with_usage(usage, usageLines);
  if (argc != expected) fail_with("Missing/extra parameter.\n");
}

void check_image_type(const char *name, ClusterRun &run) {
  if (image_type_code(name, &run.type) != 0) fail_with("Unknown image type.\n");
}

void scan_number(const char *text, int *value) {
  if (!scan_int(text, value)) fail_with("Illegal parameter.\n");
}

void scan_area(char **argv, ClusterRun &run) {
  int *numbers[] = {&run.iRows, &run.iCols, &run.aRow,
                    &run.aCol,  &run.aRows, &run.aCols};
  for (int i = 0; i < 6; ++i) scan_number(argv[4 + i], numbers[i]);
}

void scan_class_count(const char *text, int *nClasses) {
  scan_number(text, nClasses);
  if (*nClasses < 1) fail_with("Illegal parameter.\n");
}

void check_band_lists(char **argv, ClusterRun &run) {
  run.bandCount = parse_int_list(argv[2], run.bands, MAX_BANDS);
  if (run.bandCount < 1 || run.bandCount > MAX_BANDS)
    fail_with("Illegal image bands.\n");
  if (parse_word_list(argv[1], run.paths, MAX_BANDS) != run.bandCount)
    fail_with("Illegal image paths.\n");
}

void open_run_files(ClusterRun &run) {
  FILE *inputs[MAX_BANDS] = {};
  for (int k = 0; k < run.bandCount; ++k) {
    run.bandFiles[k].reset(fopen(run.paths[k], "rb"));
    if (!run.bandFiles[k])
      fail_with("Error opening image file \"%s\" (%s).\n", run.paths[k],
                error_text());
    inputs[k] = run.bandFiles[k].get();
  }
  if (output_names_input(run.cofPath, inputs, run.bandCount))
    fail_with("Error opening COF file \"%s\" (%s).\n", run.cofPath,
              error_text());
  run.cof.reset(fopen(run.cofPath, "w+b"));
  if (!run.cof)
    fail_with("Error opening COF file \"%s\" (%s).\n", run.cofPath,
              error_text());
}

int read_area_samples(const ClusterRun &run, int k, int64_t y, int64_t x,
                      int count, void *buffer, int kind) {
  const int64_t row = run.aRow + y, col = run.aCol + x;
  if (row > INT_MAX || col > INT_MAX || row < INT_MIN || col < INT_MIN) {
    errno = EINVAL;
    return 1;
  }
  return read_band_row(run.bandFiles[k].get(), run.iRows, run.iCols, run.type,
                       run.bands[k], static_cast<int>(row),
                       static_cast<int>(col), count, buffer, kind);
}

void fail_reading(const ClusterRun &run, int k) {
  fail_with("Error reading image file \"%s\" (%s).\n", run.paths[k],
            error_text());
}

void fail_writing(const ClusterRun &run) {
  fail_with("Error writing COF file \"%s\" (%s).\n", run.cofPath, error_text());
}

void fail_allocating() { fail_with("Error allocating memory.\n"); }

void end_run(ClusterRun &run) {
  if (fclose(run.cof.release()) != 0)
    fail_with("Error closing COF file \"%s\" (%s).\n", run.cofPath,
              error_text());
  for (int k = 0; k < run.bandCount; ++k) run.bandFiles[k].reset();
}
