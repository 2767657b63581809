// wimbel's Parzen-window densities: the kernel constants, the kernel
// values of the integer squared distances, and the decision of a row.
#pragma once

#include <cstdint>
#include <vector>

#include "pnnlib.h"

// Samples and pixel values within 0..PACK_LIMIT give squared distances
// that fit 32-bit integers with 7 bands (7 x 17515^2 < 2^31); they are
// worked in 16-bit pairs.
constexpr int PACK_LIMIT = 17515;
// Pixels are decided in chunks of at most this many columns.
constexpr int PIXEL_CHUNK = 256;

struct ParzenModel {
  int n = 0;               // bands
  double norm = 0.0;       // 1 / (sigma^n (2 pi)^(n/2))
  int64_t twoSigmaSq = 0;  // 2 sigma^2
  // kernel[d2] = exp(-(d2 / twoSigmaSq)) for d2 < kernel.size(). When
  // `complete`, the last entry is the first d2 whose kernel is 0 and every
  // larger d2 has kernel 0 too.
  std::vector<double> kernel;
  bool complete = false;
  uint64_t zeroFrom = 0;  // d2 from which the kernel is 0
  // Every stored sample within 0..PACK_LIMIT: the samples of class k as
  // band pairs (low 16 bits the even band, high 16 bits the odd one).
  bool packed = false;
  int pairs = 0;  // (n + 1) / 2
  std::vector<uint32_t> packedSamples[MAX_TS_CLASSES + 1];
};

// Kernel constants, the kernel table and the packed samples. 0, or 1 when
// the memory for the table or the samples cannot be had.
int build_parzen_model(const TrainingSet &ts, int n, int sigma,
                       ParzenModel &model);

// exp(-(d2 / twoSigmaSq)) for any squared distance.
double kernel_value(const ParzenModel &model, uint64_t d2);

// How the kernel sums of a chunk of pixels are formed: 8 pixels at once
// with AVX2, one by one in 32-bit integers (both for samples and pixels
// within 0..PACK_LIMIT and a complete table), or one by one in 64 bits.
// Every path gives the same sums.
enum SumPath { SUMS_VECTOR, SUMS_PACKED, SUMS_GENERAL };

// The quickest path open to `count` pixels; `vector` allows the AVX2 code
// where the processor has it.
SumPath chunk_path(const ParzenModel &model, const int32_t *const *values,
                   int count, bool vector = true);

// sums[p] = the sum over the stored samples of class k, in order, of the
// kernel of their squared distance to pixel p (count <= PIXEL_CHUNK), along
// a path that chunk_path allows.
void kernel_sums(const ParzenModel &model, const TrainingSet &ts, int k,
                 const int32_t *const *values, int count, double *sums,
                 SumPath path);

// Decides `count` pixels: values[b][p] is pixel p's value on band b (list
// position); out[p] receives the class byte, the class of the greatest
// density (norm * kernel sum / count). `vector` allows the AVX2 code where
// the processor has it; the result is the same either way.
void decide_parzen_pixels(const ParzenModel &model, const TrainingSet &ts,
                          const int32_t *const *values, int count, uint8_t *out,
                          bool vector = true);
