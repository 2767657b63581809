// quenta's training statistics: three reads of the training set file
// (counts and means, constant bands, covariances), degenerate classes and
// bands, and the report of degenerate bands.
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "quenta.h"

namespace {

// One record of a reread: the class number and its m values. Returns false
// where the class number does not read, which ends the reread. The first
// read has already rejected malformed records; a class number outside
// 1..27 (the file changed since) ends the reread too.
bool reread_record(const QuentaRun &run, int *cls, int values[MAX_BANDS]) {
  if (!read_stream_int(run.ts.get(), cls)) return false;
  if (*cls < 1 || *cls > MAX_TS_CLASSES) return false;
  for (int b = 0; b < run.bandRun.bandCount; ++b) {
    values[b] = 0;
    read_stream_int(run.ts.get(), &values[b]);
  }
  return true;
}

}  // namespace

void read_class_means(QuentaRun &run, TrainingStatistics &st) {
  for (int k = 1; k <= MAX_TS_CLASSES; ++k) {
    st.classes[k].count = 0;
    for (int b = 0; b < run.bandRun.bandCount; ++b) st.classes[k].mean[b] = 0.0;
  }
  st.highestClass = 0;
  int cls;
  while (read_stream_int(run.ts.get(), &cls)) {
    if (cls < 1 || cls > MAX_TS_CLASSES)
      fail_with("Illegal class in TS file \"%s\".\n", run.tsPath);
    int values[MAX_BANDS];
    for (int b = 0; b < run.bandRun.bandCount; ++b)
      if (!read_stream_int(run.ts.get(), &values[b])) {
        // A record cut short by the end of the file, or a value that is no
        // number: neither leaves a system error of its own.
        if (!ferror(run.ts.get()))
          errno = feof(run.ts.get()) ? ENODATA : EINVAL;
        fail_with("Error reading TS file \"%s\" (%s).\n", run.tsPath,
                  error_text());
      }
    ClassStatistics &c = st.classes[cls];
    c.count += 1;
    for (int b = 0; b < run.bandRun.bandCount; ++b) c.mean[b] += values[b];
    if (cls > st.highestClass) st.highestClass = cls;
  }
  if (ferror(run.ts.get()))
    fail_with("Error reading TS file \"%s\" (%s).\n", run.tsPath, error_text());
  for (int k = 1; k <= st.highestClass; ++k) {
    if (!class_present(st, k)) continue;
    ClassStatistics &c = st.classes[k];
    for (int b = 0; b < run.bandRun.bandCount; ++b) c.mean[b] /= c.count;
  }
}

void find_constant_bands(QuentaRun &run, TrainingStatistics &st) {
  for (int b = 0; b < run.bandRun.bandCount; ++b) st.degenerateBand[b] = 0;
  for (int k = 1; k <= st.highestClass; ++k) {
    st.classes[k].hasDegenerateBands = 0;
    for (int b = 0; b < run.bandRun.bandCount; ++b)
      st.classes[k].constantBand[b] = 1;
  }
  rewind(run.ts.get());
  int cls;
  int values[MAX_BANDS];
  while (reread_record(run, &cls, values)) {
    ClassStatistics &c = st.classes[cls];
    for (int b = 0; b < run.bandRun.bandCount; ++b)
      if (static_cast<double>(values[b]) != c.mean[b]) c.constantBand[b] = 0;
  }
}

void find_degenerate_bands(const QuentaRun &run, TrainingStatistics &st) {
  const int m = run.bandRun.bandCount;
  st.presentClasses = 0;
  st.degenerateClasses = 0;
  for (int k = 1; k <= st.highestClass; ++k) {
    if (!class_present(st, k)) continue;
    ++st.presentClasses;
    ClassStatistics &c = st.classes[k];
    for (int b = 0; b < m; ++b)
      if (c.constantBand[b]) c.hasDegenerateBands = 1;
    if (c.hasDegenerateBands) ++st.degenerateClasses;
  }
  st.nonDegenerateClasses = st.presentClasses - st.degenerateClasses;

  st.degenerateBands = 0;
  for (int b = 0; b < m; ++b) {
    for (int k = 1; k <= st.highestClass; ++k)
      if (class_present(st, k) && st.classes[k].constantBand[b])
        st.degenerateBand[b] = 1;
    if (st.degenerateBand[b]) ++st.degenerateBands;
  }
  st.usedBands = m - st.degenerateBands;

  if (st.usedBands == 0)
    fail_with(
        "All bands are degenerate.\n"
        "Maximum Likelihood classification is not possible.\n");
  st.twoPass = st.degenerateClasses > 0 && st.nonDegenerateClasses > 1;
  st.pass1End = st.twoPass ? 50 : 100;
}

void pause_seconds(int n) {
  const time_t t0 = time(nullptr);
  time_t t1 = time(nullptr);
  while (difftime(t1, t0) < n + 1) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    t1 = time(nullptr);
  }
}

namespace {

// Each piece of the report goes out by itself.
void report_piece(const char *format, int value) {
  printf(format, value);
  fflush(stdout);
}

void report_text(const char *text) {
  fputs(text, stdout);
  fflush(stdout);
}

void report_line_end() {
  report_text("\n");
  pause_seconds(1);
}

}  // namespace

void report_degenerate_bands(const QuentaRun &run,
                             const TrainingStatistics &st) {
  if (st.degenerateClasses == 0) return;
  const int m = run.bandRun.bandCount;
  report_text("WARNING!");
  report_line_end();

  for (int k = 1; k <= st.highestClass; ++k) {
    const ClassStatistics &c = st.classes[k];
    if (!class_present(st, k) || !c.hasDegenerateBands) continue;
    report_piece("Class %d degenerate bands:", k);
    for (int b = 0; b < m; ++b)
      if (c.constantBand[b]) report_piece(" %d", run.bandRun.bands[b]);
    report_line_end();
  }

  report_text("Pass 1> Bands:");
  for (int b = 0; b < m; ++b)
    if (!st.degenerateBand[b]) report_piece(" %d", run.bandRun.bands[b]);
  report_text(", Classes:");
  for (int k = 1; k <= st.highestClass; ++k)
    if (class_present(st, k)) report_piece(" %d", k);
  report_line_end();

  report_text("Pass 2> ");
  if (st.twoPass) {
    printf("Bands: %s", run.bandText);
    fflush(stdout);
    report_text(", Classes:");
    for (int k = 1; k <= st.highestClass; ++k)
      if (class_present(st, k) && !st.classes[k].hasDegenerateBands)
        report_piece(" %d", k);
  } else {
    report_text("Insufficient non-degenerate classes");
  }
  report_line_end();
}

void read_covariances(QuentaRun &run, TrainingStatistics &st) {
  const int m = run.bandRun.bandCount;
  for (int k = 1; k <= st.highestClass; ++k)
    for (int i = 0; i < m; ++i)
      for (int j = 0; j < m; ++j) st.classes[k].covariance[BLOCK * i + j] = 0.0;
  rewind(run.ts.get());
  int cls;
  int values[MAX_BANDS];
  while (reread_record(run, &cls, values)) {
    ClassStatistics &c = st.classes[cls];
    for (int i = 0; i < m; ++i)
      for (int j = 0; j < m; ++j)
        c.covariance[BLOCK * i + j] +=
            (values[j] - c.mean[j]) * (values[i] - c.mean[i]);
  }
  for (int k = 1; k <= st.highestClass; ++k) {
    if (!class_present(st, k)) continue;
    ClassStatistics &c = st.classes[k];
    for (int i = 0; i < m; ++i)
      for (int j = 0; j < m; ++j) c.covariance[BLOCK * i + j] /= c.count;
  }
}
