// The training-sample store.
#include "pnnlib.h"

#include <cerrno>

namespace {

// errno for a record cut short: the file ends, or a word stands where a
// value is due.
void set_short_record_error(FILE *stream) {
  if (ferror(stream)) return;
  errno = feof(stream) ? ENODATA : EINVAL;
}

}  // namespace

int load_training_samples(FILE *stream, int n, int maxSamples,
                          TrainingSet &ts) {
  for (int k = 1; k <= MAX_TS_CLASSES; ++k) ts.counts[k] = 0;
  ts.highestClass = 0;
  int k;
  while (read_stream_int(stream, &k)) {
    int values[MAX_BANDS];
    for (int b = 0; b < n; ++b) {
      if (!read_stream_int(stream, &values[b])) {
        set_short_record_error(stream);
        return 1;
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
  return ferror(stream) ? 1 : 0;
}
