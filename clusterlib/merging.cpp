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
#include <cmath>

#include "clusterlib.h"

namespace {

float rounded_root(float sum) {
  return static_cast<float>(std::sqrt(static_cast<double>(sum)));
}

struct Rows {
  std::vector<int32_t> order;    // cluster index per list position
  std::vector<float> smallest;   // smallest sum of the row, infinity if none
  std::vector<int32_t> partner;  // the later cluster at that sum
};

const float *mean_of(const ClusterList &list, int32_t c) {
  return list.clusters[static_cast<size_t>(c)].mean;
}

void rescan_row(const ClusterList &list, Rows &rows, size_t j, int n) {
  const float *a = mean_of(list, rows.order[j]);
  float best = INFINITY;
  int32_t partner = NO_LINK;
  for (size_t q = j + 1; q < rows.order.size(); ++q) {
    const float s = distance_sum(a, mean_of(list, rows.order[q]), n);
    if (s < best) {
      best = s;
      partner = rows.order[q];
    }
  }
  rows.smallest[j] = best;
  rows.partner[j] = partner;
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

// The positions of the pair a full rescan would choose; false when there
// is none.
bool choose_pair(const ClusterList &list, const Rows &rows, int n,
                 size_t *first, size_t *second) {
  float low = INFINITY;
  for (float s : rows.smallest) low = s < low ? s : low;
  if (std::isinf(low)) return false;
  const float high = last_sum_with_root(low);
  float best = LARGEST_FLOAT;
  bool chosen = false;
  for (size_t j = 0; j < rows.order.size(); ++j) {
    if (!(rows.smallest[j] <= high)) continue;
    const float *a = mean_of(list, rows.order[j]);
    for (size_t q = j + 1; q < rows.order.size(); ++q) {
      const float s = distance_sum(a, mean_of(list, rows.order[q]), n);
      if (!(s <= high)) continue;
      const double d = std::sqrt(static_cast<double>(s));
      if (d < best) {
        *first = j;
        *second = q;
        best = static_cast<float>(d);
        chosen = true;
      }
    }
  }
  return chosen;
}

// Brings the rows up to date after the cluster at position jp absorbed the
// one that stood at position jq (already removed from the rows).
void update_rows(const ClusterList &list, Rows &rows, size_t jp, int32_t p,
                 int32_t q, size_t jq, int n) {
  const float *merged = mean_of(list, p);
  for (size_t r = 0; r < jp; ++r) {
    if (rows.partner[r] == p || rows.partner[r] == q) {
      rescan_row(list, rows, r, n);
    } else {
      const float s = distance_sum(mean_of(list, rows.order[r]), merged, n);
      if (s < rows.smallest[r]) {
        rows.smallest[r] = s;
        rows.partner[r] = p;
      }
    }
  }
  rescan_row(list, rows, jp, n);
  for (size_t r = jp + 1; r < jq; ++r)
    if (rows.partner[r] == q) rescan_row(list, rows, r, n);
}

}  // namespace

void merge_closest_pairs(ClusterList &list, int n, int merges, int from,
                         int to) {
  if (merges <= 0) return;
  Rows rows;
  rows.order = list_order(list);
  rows.smallest.resize(rows.order.size());
  rows.partner.resize(rows.order.size());
  for (size_t j = 0; j < rows.order.size(); ++j) rescan_row(list, rows, j, n);

  for (int k = 0; k < merges; ++k) {
    size_t jp = 0, jq = 0;
    if (!choose_pair(list, rows, n, &jp, &jq)) return;
    const int32_t p = rows.order[jp], q = rows.order[jq];
    merge_cluster_pair(list, p, q, n);
    const auto at = static_cast<std::ptrdiff_t>(jq);
    rows.order.erase(rows.order.begin() + at);
    rows.smallest.erase(rows.smallest.begin() + at);
    rows.partner.erase(rows.partner.begin() + at);
    update_rows(list, rows, jp, p, q, jq, n);
    show_progress(from, to, k + 1, merges);
  }
}
