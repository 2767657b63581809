// Merging the closest pairs with the distances kept between merges.
//
// A full rescan chooses its pair with a single-precision best b and the
// strict test sqrt(sum) < b, where b becomes the chosen distance rounded to
// single precision. Let s be the smallest sum of the list and b* its root
// rounded to single precision. Once the scan meets the first pair whose
// root rounds to b*, best is b* and stays so, and only pairs whose roots
// round to b* can still be chosen. Pairs whose roots round higher are
// never chosen after that, and whatever was chosen before is replaced. So
// the rescan's choice is the choice of the same scan over just the pairs
// whose roots round to b*, which lie in the rows whose smallest sum rounds
// to b*. Every row (the pairs of one cluster with the clusters after it)
// keeps its smallest sum; a merge recomputes only the rows it touches.
//
// The means are kept by list position, band by band, so that the sums of
// one mean against many positions run across positions. A cluster merged
// away keeps its position with NaN means, which no comparison accepts, until
// the positions are closed up.
//
// Measured gains (processor time, medians, 8-core x86-64 shared with other
// work): kept distances against a full rescan per merge, 1.4x over the whole
// bench/harvin.sh run (2.5 s against 1.8 s); on its merge-heavy case the
// rescan takes minutes where this takes seconds. The SSE2 sums: below.
#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "clusterlib.h"

namespace {

constexpr size_t SUM_BLOCK = 512;
const float GONE = std::numeric_limits<float>::quiet_NaN();

// One row per list position: the pairs of its cluster with the clusters
// after it, kept by their smallest sum.
struct DistanceRows {
  int n = 0;
  std::vector<int32_t> order;  // cluster per position, NO_LINK once merged
  std::vector<float> means[MAX_BANDS];  // per position
  std::vector<float> smallest;   // smallest sum of the row, infinity if none
  std::vector<int32_t> partner;  // the later cluster at that sum
  size_t gone = 0;               // positions merged away
  size_t size() const { return order.size(); }
};

float rounded_root(float sum) {
  return static_cast<float>(std::sqrt(static_cast<double>(sum)));
}

// The largest sum whose root rounds to the same single-precision value.
float last_sum_with_root(float sum) {
  const float root = rounded_root(sum);
  for (;;) {
    const float next = std::nextafter(sum, INFINITY);
    if (std::isinf(next) || rounded_root(next) != root) return sum;
    sum = next;
  }
}

// The sums of `a` against `count` positions from `from`, each the running
// single-precision sum over the bands in order, four positions at a time
// (the same operations in the same order as one position at a time).
// With smallest_of, 1.9x the plain loops over the merge-heavy case of
// bench/harvin.sh (threshold1 12 on 500 rows: 16.3 s against 8.6 s).
void block_sums(const DistanceRows &rows, const float *a, size_t from,
                size_t count, float *out) {
  const float *m[MAX_BANDS];
  __m128 ak[MAX_BANDS];
  for (int k = 0; k < rows.n; ++k) {
    m[k] = rows.means[k].data() + from;
    ak[k] = _mm_set1_ps(a[k]);
  }
  size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    __m128 sum = _mm_setzero_ps();
    for (int k = 0; k < rows.n; ++k) {
      const __m128 d = _mm_sub_ps(ak[k], _mm_loadu_ps(m[k] + i));
      sum = _mm_add_ps(sum, _mm_mul_ps(d, d));
    }
    _mm_storeu_ps(out + i, sum);
  }
  for (; i < count; ++i) {
    float sum = 0.0f;
    for (int k = 0; k < rows.n; ++k) {
      const float d = a[k] - m[k][i];
      sum = sum + d * d;
    }
    out[i] = sum;
  }
}

void mean_at(const DistanceRows &rows, size_t j, float *a) {
  for (int k = 0; k < rows.n; ++k) a[k] = rows.means[k][j];
}

// The smallest of `count` sums, by four at a time.
float smallest_of(const float *sums, size_t count) {
  __m128 low = _mm_set1_ps(INFINITY);
  size_t i = 0;
  // minps keeps its second operand when the first is NaN (a merged-away
  // position).
  for (; i + 4 <= count; i += 4) low = _mm_min_ps(_mm_loadu_ps(sums + i), low);
  float lanes[4];
  _mm_storeu_ps(lanes, low);
  float best = INFINITY;
  for (float v : lanes) best = v < best ? v : best;
  for (; i < count; ++i) best = sums[i] < best ? sums[i] : best;
  return best;
}

void rescan_row(DistanceRows &rows, size_t j) {
  float a[MAX_BANDS], sums[SUM_BLOCK];
  mean_at(rows, j, a);
  float best = INFINITY;
  int32_t partner = NO_LINK;
  for (size_t from = j + 1; from < rows.size(); from += SUM_BLOCK) {
    const size_t count = std::min(SUM_BLOCK, rows.size() - from);
    block_sums(rows, a, from, count, sums);
    // The first position of a block's smallest sum, if it beats the best.
    if (!(smallest_of(sums, count) < best)) continue;
    for (size_t i = 0; i < count; ++i) {
      if (sums[i] < best) {
        best = sums[i];
        partner = rows.order[from + i];
      }
    }
  }
  rows.smallest[j] = best;
  rows.partner[j] = partner;
}

// 0, or 1 when the tables cannot be had.
int load_rows(const ClusterList &list, int n, DistanceRows &rows) {
  rows.n = n;
  if (list_order(list, rows.order) != 0) return 1;
  try {
    for (int k = 0; k < n; ++k) rows.means[k].resize(rows.size());
    rows.smallest.resize(rows.size());
    rows.partner.resize(rows.size());
  } catch (const std::bad_alloc &) {
    return 1;
  }
  for (int k = 0; k < n; ++k)
    for (size_t j = 0; j < rows.size(); ++j)
      rows.means[k][j] =
          list.clusters[static_cast<size_t>(rows.order[j])].mean[k];
  rows.gone = 0;
  for (size_t j = 0; j < rows.size(); ++j) rescan_row(rows, j);
  return 0;
}

// Closes up the positions of merged clusters; row minima stay valid.
void close_up(DistanceRows &rows) {
  size_t kept = 0;
  for (size_t j = 0; j < rows.size(); ++j) {
    if (rows.order[j] == NO_LINK) continue;
    rows.order[kept] = rows.order[j];
    for (int k = 0; k < rows.n; ++k) rows.means[k][kept] = rows.means[k][j];
    rows.smallest[kept] = rows.smallest[j];
    rows.partner[kept] = rows.partner[j];
    ++kept;
  }
  rows.order.resize(kept);
  for (int k = 0; k < rows.n; ++k) rows.means[k].resize(kept);
  rows.smallest.resize(kept);
  rows.partner.resize(kept);
  rows.gone = 0;
}

// The first sum whose root is not below `root`, from a sum whose root is.
float first_sum_not_below(float sum, float root) {
  while (std::sqrt(static_cast<double>(sum)) < root)
    sum = std::nextafter(sum, INFINITY);
  return sum;
}

// The pair of the first row from the head (last == false) or the last row
// (last == true) that holds a sum accepted by `take`, at the first or last
// such position of that row.
template <class Take>
bool find_pair(const DistanceRows &rows, bool last, float rowBound, Take take,
               size_t *first, size_t *second) {
  float a[MAX_BANDS], sums[SUM_BLOCK];
  const size_t size = rows.size();
  for (size_t t = 0; t < size; ++t) {
    const size_t j = last ? size - 1 - t : t;
    // Rows whose smallest sum is above the bound hold no such sum.
    if (!(rows.smallest[j] <= rowBound)) continue;
    mean_at(rows, j, a);
    for (size_t done = 0; done < size - j - 1;) {
      const size_t count = std::min(SUM_BLOCK, size - j - 1 - done);
      const size_t from = last ? size - done - count : j + 1 + done;
      block_sums(rows, a, from, count, sums);
      for (size_t u = 0; u < count; ++u) {
        const size_t i = last ? count - 1 - u : u;
        if (take(sums[i])) {
          *first = j;
          *second = from + i;
          return true;
        }
      }
      done += count;
    }
  }
  return false;
}

// The positions of the pair a full rescan would choose; false when there
// is none. With s the smallest sum and b* its root rounded to single
// precision: when b* is not above the root of s, no pair after the first
// whose root rounds to b* can pass the strict test, so that first pair is
// chosen; when b* was rounded up, every pair whose root lies below b* is
// chosen in its turn, so the last of them in scan order is.
bool choose_pair(const DistanceRows &rows, size_t *first, size_t *second) {
  const float low = smallest_of(rows.smallest.data(), rows.size());
  if (std::isinf(low)) return false;
  const float best = rounded_root(low);
  if (std::sqrt(static_cast<double>(low)) < best) {
    const float cut = first_sum_not_below(low, best);
    const float below = std::nextafter(cut, 0.0f);
    return find_pair(
        rows, true, below, [cut](float s) { return s < cut; }, first, second);
  }
  const float high = last_sum_with_root(low);
  return find_pair(
      rows, false, high, [high](float s) { return s <= high; }, first, second);
}

// Brings the rows up to date after the cluster p at position jp absorbed
// the cluster q at position jq.
void update_rows(const ClusterList &list, DistanceRows &rows, size_t jp,
                 int32_t p, size_t jq, int32_t q) {
  const float *merged = list.clusters[static_cast<size_t>(p)].mean;
  for (int k = 0; k < rows.n; ++k) {
    rows.means[k][jp] = merged[k];
    rows.means[k][jq] = GONE;
  }
  rows.order[jq] = NO_LINK;
  rows.smallest[jq] = INFINITY;
  rows.partner[jq] = NO_LINK;
  ++rows.gone;

  float sums[SUM_BLOCK];
  for (size_t from = 0; from < jp; from += SUM_BLOCK) {
    const size_t count = std::min(SUM_BLOCK, jp - from);
    block_sums(rows, merged, from, count, sums);
    for (size_t i = 0; i < count; ++i) {
      const size_t r = from + i;
      if (rows.order[r] == NO_LINK) continue;
      if (rows.partner[r] == p || rows.partner[r] == q) {
        rescan_row(rows, r);
      } else if (sums[i] < rows.smallest[r]) {
        rows.smallest[r] = sums[i];
        rows.partner[r] = p;
      }
    }
  }
  rescan_row(rows, jp);
  for (size_t r = jp + 1; r < jq; ++r)
    if (rows.partner[r] == q) rescan_row(rows, r);
}

}  // namespace

int merge_closest_pairs(ClusterList &list, int n, int merges, int from,
                        int to) {
  if (merges <= 0) return 0;
  // The tables are as long as the list: a list of millions of draws may
  // not leave room for them.
  DistanceRows rows;
  if (load_rows(list, n, rows) != 0) return 1;
  for (int k = 0; k < merges; ++k) {
    size_t jp = 0, jq = 0;
    if (!choose_pair(rows, &jp, &jq)) return 0;
    const int32_t p = rows.order[jp], q = rows.order[jq];
    size_t jb = jq - 1;
    while (rows.order[jb] == NO_LINK) --jb;
    merge_cluster_pair(list, p, q, n, rows.order[jb]);
    update_rows(list, rows, jp, p, jq, q);
    if (rows.gone > 64 && 2 * rows.gone > rows.size()) close_up(rows);
    show_progress(from, to, k + 1, merges);
  }
  return 0;
}
