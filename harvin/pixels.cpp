// The pixels of the area, and the limit of the sums that the leader pass
// (leaders.cpp) compares with.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <new>

#include "harvin.h"

int32_t area_pixels(const BandRun &run) {
  if (run.aRows <= 0 || run.aCols <= 0) return 0;
  const int64_t count = static_cast<int64_t>(run.aRows) * run.aCols;
  if (count > INT32_MAX) fail_allocating();
  return static_cast<int32_t>(count);
}

namespace {

// Samples read at once: the table grows only by what the files hold, so
// an area larger than its band files ends at the read that comes back
// short, not at an allocation for samples that are not there.
constexpr int READ_RUN = 1 << 16;

// `count` samples of area row y from column x0 are read band by band in
// one read each. When one of those fails, they are read again sample by
// sample, pixel by pixel with the bands of each pixel in order, so that the
// failure reported is the first one of that order.
void read_run(const BandRun &run, int y, int x0, int count, float *const *dst) {
  bool failed = false;
  for (int k = 0; k < run.bandCount && !failed; ++k)
    failed =
        read_area_samples(run, k, y, x0, count, dst[k] + x0, KIND_FLOAT) != 0;
  if (!failed) return;
  for (int x = x0; x < x0 + count; ++x)
    for (int k = 0; k < run.bandCount; ++k)
      if (read_area_samples(run, k, y, x, 1, &dst[k][x], KIND_FLOAT) != 0)
        fail_reading(run, k);
}

void read_pixel_row(const BandRun &run, int y, PixelTable &table) {
  const size_t at = static_cast<size_t>(y) * static_cast<size_t>(run.aCols);
  for (int x0 = 0, count = 0; x0 < run.aCols; x0 += count) {
    count = run.aCols - x0 < READ_RUN ? run.aCols - x0 : READ_RUN;
    float *dst[MAX_BANDS] = {};
    try {
      for (int k = 0; k < run.bandCount; ++k) {
        table.values[k].resize(at + static_cast<size_t>(x0) +
                               static_cast<size_t>(count));
        dst[k] = table.values[k].data() + at;
      }
    } catch (const std::bad_alloc &) {
      fail_allocating();
    }
    read_run(run, y, x0, count, dst);
  }
}

}  // namespace

void read_pixels(const BandRun &run, int32_t count, PixelTable &table) {
  table.bands = run.bandCount;
  if (count == 0) {
    // Rows of no columns have nothing to read, only progress lines. Over
    // aRows steps the percentage 2 * step / aRows climbs by at most 1 a
    // step to 2, so the steps 1, half of aRows (rounded up) and aRows
    // print the same lines as every step, without a loop over rows that
    // may number in the billions.
    if (run.aRows > 0)
      for (int y : {1, run.aRows - run.aRows / 2, run.aRows})
        show_progress(0, 2, y, run.aRows);
  }
  for (int y = 0; y < run.aRows && count > 0; ++y) {
    read_pixel_row(run, y, table);
    show_progress(0, 2, y + 1, run.aRows);
  }
  // The list starts with the area's last pixel.
  table.count = count;
  for (int k = 0; k < run.bandCount; ++k)
    std::reverse(table.values[k].begin(), table.values[k].end());
}

bool absorb_limit(float threshold, float *limit) {
  auto within = [threshold](uint32_t bits) {
    float sum;
    std::memcpy(&sum, &bits, sizeof sum);
    return std::sqrt(static_cast<double>(sum)) <= threshold;
  };
  // Non-negative floats order as their bit patterns; infinity is the top.
  uint32_t low = 0, high = 0x7f800000u;
  if (!within(low)) return false;
  if (within(high)) {
    low = high;
  } else {
    while (high - low > 1) {
      const uint32_t middle = low + (high - low) / 2;
      if (within(middle))
        low = middle;
      else
        high = middle;
    }
  }
  std::memcpy(limit, &low, sizeof *limit);
  return true;
}
