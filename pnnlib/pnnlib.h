// The common ground of the probabilistic-neural-network classifiers wimbel
// and sotrak: the training-sample store and its loading, and the choice of
// each pixel's class from the scores of the classes. Library code: it
// returns its failures and prints nothing; the console steps both tools
// share are in pnntool.h.
#pragma once

#include <cfloat>
#include <cstdint>
#include <cstdio>

#include "bandlib.h"

constexpr int MAX_TS_SAMPLES = 500;

// The training samples of one run, filled once and read-only afterwards.
// samples[k][s][b]: band b (list position) of the s-th stored record of
// class k, meaningful for s < counts[k] and b < the band count.
struct TrainingSet {
  int32_t samples[MAX_TS_CLASSES + 1][MAX_TS_SAMPLES][MAX_BANDS];
  int32_t counts[MAX_TS_CLASSES + 1];
  int32_t highestClass;
};

inline bool class_present(const TrainingSet &ts, int k) {
  return ts.counts[k] > 0;
}

// Reads records of n + 1 integers (the class, then the values of the bands
// in list order) and keeps the first maxSamples records of each class. A
// word where a class number is due ends the reading. A record whose class
// lies outside 1..27 is read and not stored. Returns 0 when the reading
// ended; 1 for a record cut short (errno ENODATA at the end of the file,
// EINVAL for a word where a value is due) or a failed stream (errno as the
// read left it).
int load_training_samples(FILE *stream, int n, int maxSamples, TrainingSet &ts);

// Squared differences of any two 32-bit values and their sums, exact in 64
// bits wherever 32-bit arithmetic held them; a sum saturates far beyond the
// range of any real data.
inline uint64_t saturating_add(uint64_t a, uint64_t b) {
  return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}
inline uint64_t squared_difference(int32_t a, int32_t b) {
  const int64_t d = static_cast<int64_t>(a) - b;
  const uint64_t u = static_cast<uint64_t>(d < 0 ? -d : d);  // below 2^32
  return u * u;
}

// Gives each of `count` pixels (values[b][p]: band b in list order, b < n)
// the present class of the strictly greatest score, in chunks of at most
// CHUNK pixels. Per chunk, start_chunk(chunkValues, chunkCount) runs once,
// then class_scores(k, chunkValues, chunkCount, scores) fills the scores of
// each present class k in ascending order. Equal scores keep the lower
// class, a NaN never wins, and a pixel where no class wins gets 0. The
// chunk's scratch lives on the stack: deciding a row allocates nothing.
template <int CHUNK, class StartChunk, class ClassScores>
void choose_classes(const TrainingSet &ts, int n, const int32_t *const *values,
                    int count, uint8_t *out, StartChunk &&start_chunk,
                    ClassScores &&class_scores) {
  for (int c0 = 0; c0 < count; c0 += CHUNK) {
    const int chunk = count - c0 < CHUNK ? count - c0 : CHUNK;
    const int32_t *chunkValues[MAX_BANDS];
    for (int b = 0; b < n; ++b) chunkValues[b] = values[b] + c0;
    uint8_t *chunkOut = out + c0;
    start_chunk(chunkValues, chunk);
    double best[CHUNK], scores[CHUNK];
    for (int p = 0; p < chunk; ++p) {
      best[p] = -DBL_MAX;
      chunkOut[p] = 0;
    }
    for (int k = 1; k <= ts.highestClass; ++k) {
      if (!class_present(ts, k)) continue;
      class_scores(k, chunkValues, chunk, scores);
      for (int p = 0; p < chunk; ++p) {
        if (scores[p] > best[p]) {
          best[p] = scores[p];
          chunkOut[p] = static_cast<uint8_t>(k);
        }
      }
    }
  }
}
