// The console steps of a band-set run.
#include "bandrun.h"

#include <cerrno>
#include <climits>

#include "console.h"

// errno is read before anything else can change it.
void fail_on_output(const BandRun &run, const char *action) {
  const char *text = error_text();
  if (run.profile->outputNamed)
    fail_with("Error %s %s \"%s\" (%s).\n", action, run.profile->output,
              run.outputPath, text);
  fail_with("Error %s %s (%s).\n", action, run.profile->output, text);
}

void check_argument_count(int argc, int expected, const char *const *usage,
                          int usageLines) {
  if (argc == 1 && usageLines > 0) fail_with_usage(usage, usageLines);
  if (argc != expected) fail_with("Missing/extra parameter.\n");
}

void scan_argument(const char *text, int *value) {
  if (!scan_int(text, value)) fail_with("Illegal parameter.\n");
}

void scan_area(BandRun &run, char *const *texts) {
  int *numbers[] = {&run.iRows, &run.iCols, &run.aRow,
                    &run.aCol,  &run.aRows, &run.aCols};
  for (int i = 0; i < 6; ++i) scan_argument(texts[i], numbers[i]);
}

void check_image_type(BandRun &run, const char *name) {
  if (image_type_code(name, &run.type) != 0) fail_with("Unknown image type.\n");
}

void check_band_lists(BandRun &run, const char *pathList,
                      const char *bandList) {
  run.bandCount = parse_int_list(bandList, run.bands, MAX_BANDS);
  if (run.bandCount < 1 || run.bandCount > MAX_BANDS)
    fail_with("Illegal image bands.\n");
  // A GI image stores bands 1 to 5 only; any other number would read
  // nothing and classify zeros.
  for (int k = 0; k < run.bandCount; ++k)
    if (!band_is_stored(run.type, run.bands[k]))
      fail_with("Illegal image bands.\n");
  if (parse_word_list(pathList, run.paths, MAX_BANDS) != run.bandCount)
    fail_with("Illegal image paths.\n");
}

void open_bands(BandRun &run) {
  for (int k = 0; k < run.bandCount; ++k) {
    run.bandFiles[k].reset(fopen(run.paths[k], "rb"));
    if (!run.bandFiles[k])
      fail_with("Error opening image file \"%s\" (%s).\n", run.paths[k],
                error_text());
  }
}

void open_output(BandRun &run, const char *path, FILE *const *otherInputs,
                 int otherCount) {
  run.outputPath = path;
  FILE *bands[MAX_BANDS] = {};
  for (int k = 0; k < run.bandCount; ++k) bands[k] = run.bandFiles[k].get();
  if (output_names_input(path, bands, run.bandCount) ||
      output_names_input(path, otherInputs, otherCount))
    fail_on_output(run, "opening");
  run.output.reset(fopen(path, run.profile->outputMode));
  if (!run.output) fail_on_output(run, "opening");
}

int read_area_samples(const BandRun &run, int k, int64_t y, int64_t x,
                      int count, void *buffer, int kind) {
  const int64_t row = run.aRow + y, col = run.aCol + x;
  if (row > INT_MAX || col > INT_MAX || row < INT_MIN || col < INT_MIN) {
    // A type without a layout reads nothing, wherever it is asked to.
    if (!type_has_layout(run.type)) return 0;
    errno = run.profile->pastRangeError;
    return 1;
  }
  return read_band_row(run.bandFiles[k].get(), run.iRows, run.iCols, run.type,
                       run.bands[k], static_cast<int>(row),
                       static_cast<int>(col), count, buffer, kind);
}

void read_area_row(const BandRun &run, int k, int64_t y, void *buffer,
                   int kind) {
  if (read_area_samples(run, k, y, 0, run.aCols, buffer, kind) != 0)
    fail_reading(run, k);
}

void fail_reading(const BandRun &run, int k) {
  fail_with("Error reading image file \"%s\" (%s).\n", run.paths[k],
            error_text());
}

void fail_writing(const BandRun &run) { fail_on_output(run, "writing"); }

void fail_allocating() { fail_with("Error allocating memory.\n"); }

void write_output_row(const BandRun &run) {
  errno = 0;
  if (fwrite(run.outputRow.get(), static_cast<size_t>(run.aCols), 1,
             run.output.get()) != 1) {
    if (errno == 0) errno = run.aCols == 0 ? EINVAL : EIO;
    fail_writing(run);
  }
}

void close_output(BandRun &run) {
  if (fclose(run.output.release()) != 0) fail_on_output(run, "closing");
}
