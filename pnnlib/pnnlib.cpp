// The training-sample store and the steps wimbel and sotrak share.
#include "pnnlib.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "console.h"

namespace {

// errno for a record cut short: the file ends, or a word stands where a
// value is due.
void set_short_record_error(FILE *stream) {
  if (ferror(stream)) return;
  errno = feof(stream) ? ENODATA : EINVAL;
}

}  // namespace

void load_training_samples(FILE *stream, int n, int maxSamples,
                           TrainingSet &ts) {
  for (int k = 1; k <= MAX_TS_CLASSES; ++k) ts.counts[k] = 0;
  ts.highestClass = 0;
  int k;
  while (read_stream_int(stream, &k)) {
    int values[MAX_BANDS];
    for (int b = 0; b < n; ++b) {
      if (!read_stream_int(stream, &values[b])) {
        set_short_record_error(stream);
        fail_with("Error reading training set (%s).\n", error_text());
      }
    }
    // The store has no room for other class numbers.
    if (k < 1 || k > MAX_TS_CLASSES) continue;
    if (ts.counts[k] < maxSamples) {
      for (int b = 0; b < n; ++b) ts.samples[k][ts.counts[k]][b] = values[b];
      ts.counts[k] += 1;
      if (k > ts.highestClass) ts.highestClass = k;
    }
  }
  if (ferror(stream))
    fail_with("Error reading training set (%s).\n", error_text());
}

void check_argument_count(int argc, int wanted, const char *const usage[4]) {
  if (argc == 1) fail_with_usage(usage, 4);
  if (argc != wanted) fail_with("Missing/extra parameter.\n");
}

void scan_numbers(char *const *texts, int *const *numbers, int count) {
  for (int i = 0; i < count; ++i)
    if (!scan_int(texts[i], numbers[i])) fail_with("Illegal parameter.\n");
}

void check_image_and_open_files(PnnRun &run, const char *pathList,
                                const char *bandList, const char *typeName,
                                const char *tsPath, const char *cofPath) {
  if (image_type_code(typeName, &run.type) != 0)
    fail_with("Unknown image type.\n");
  run.bandCount = parse_int_list(bandList, run.bands, MAX_BANDS);
  if (run.bandCount < 1 || run.bandCount > MAX_BANDS)
    fail_with("Illegal image bands.\n");
  if (parse_word_list(pathList, run.paths, MAX_BANDS) != run.bandCount)
    fail_with("Illegal image paths.\n");
  run.tsPath = tsPath;
  run.cofPath = cofPath;

  for (int b = 0; b < run.bandCount; ++b) {
    run.bandFiles[b].reset(fopen(run.paths[b], "rb"));
    if (!run.bandFiles[b])
      fail_with("Error opening image file \"%s\" (%s).\n", run.paths[b],
                error_text());
  }
  run.ts.reset(fopen(tsPath, "r"));
  if (!run.ts) fail_with("Error opening training set (%s).\n", error_text());
  // Creating the COF file truncates it: never one of the inputs.
  FILE *inputs[MAX_BANDS + 1] = {run.ts.get()};
  for (int b = 0; b < run.bandCount; ++b)
    inputs[b + 1] = run.bandFiles[b].get();
  if (output_names_input(cofPath, inputs, run.bandCount + 1))
    fail_with("Error opening classifications file (%s).\n", error_text());
  run.cof.reset(fopen(cofPath, "wb"));
  if (!run.cof)
    fail_with("Error opening classifications file (%s).\n", error_text());
}

void check_sample_limits(const PnnRun &run) {
  if (run.maxSamples < 1 || run.maxSamples > MAX_TS_SAMPLES)
    fail_with("Illegal maximum number of samples (%d).\n", run.maxSamples);
  if (run.sigma < 1) fail_with("Illegal sigma value (%d).\n", run.sigma);
}

// The buffers start zeroed: a band that the image type does not store (GI
// bands above 5) reads as zeros. They are taken as fresh pages, so an area
// far too wide for its files costs no memory until a row is read. A negative
// column count cannot be allocated.
void allocate_row_buffers(PnnRun &run) {
  if (run.aCols < 0) fail_with("Error allocating memory.\n");
  const size_t columns = static_cast<size_t>(run.aCols);
  for (int b = 0; b < run.bandCount; ++b) {
    run.rows[b] = allocate_zeroed<int32_t>(columns);
    if (!run.rows[b]) fail_with("Error allocating memory.\n");
  }
  run.out = allocate_zeroed<uint8_t>(columns);
  if (!run.out) fail_with("Error allocating memory.\n");
}

namespace {

void read_rows(PnnRun &run, int r) {
  const long long row = static_cast<long long>(run.aRow) + r;
  for (int b = 0; b < run.bandCount; ++b) {
    int failed = 1;
    if (row <= INT_MAX)
      failed = read_band_row(run.bandFiles[b].get(), run.iRows, run.iCols,
                             run.type, run.bands[b], static_cast<int>(row),
                             run.aCol, run.aCols, run.rows[b].get(), KIND_I32);
    else
      errno = EOVERFLOW;
    if (failed)
      fail_with("Error reading image file \"%s\" (%s).\n", run.paths[b],
                error_text());
  }
}

// One item of aCols bytes; a row of no columns writes no item, which fails
// the run like any short write.
void write_row(PnnRun &run) {
  errno = 0;
  if (fwrite(run.out.get(), static_cast<size_t>(run.aCols), 1, run.cof.get()) !=
      1) {
    if (errno == 0) errno = run.aCols == 0 ? EINVAL : EIO;
    fail_with("Error writing classifications file (%s).\n", error_text());
  }
}

}  // namespace

void classify_rows(
    PnnRun &run,
    const std::function<void(const int32_t *const *values)> &decide_row) {
  const int32_t *values[MAX_BANDS];
  for (int b = 0; b < run.bandCount; ++b) values[b] = run.rows[b].get();
  for (int r = 0; r < run.aRows; ++r) {
    read_rows(run, r);
    decide_row(values);
    write_row(run);
    show_progress(0, 100, r + 1, run.aRows);
  }
}

void end_run(PnnRun &run) {
  if (fclose(run.cof.release()) != 0)
    fail_with("Error closing classifications file (%s).\n", error_text());
  run.ts.reset();
  for (int b = 0; b < run.bandCount; ++b) {
    run.bandFiles[b].reset();
    run.rows[b].reset();
  }
  run.out.reset();
}
