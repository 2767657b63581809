// The cluster model shared by the unsupervised classifiers: a list of
// clusters with their means, the Euclidean distance over a tool's bands,
// merging of the closest pairs down to a wanted number of clusters, and the
// class byte that follows from a cluster's position in the list.
//
// The list is linked by indices into one table of records; records are
// never moved, so an index names a cluster for the whole run. Members (one
// per pixel, harvin only) live in a second table, each cluster keeping the
// first and last of its own members.
#pragma once

#include <cstdint>
#include <vector>

#include "bandlib.h"

constexpr int NO_LINK = -1;
constexpr float LARGEST_FLOAT = 3.4028235e38f;

struct Cluster {
  float mean[MAX_BANDS];  // mean sample value per band of the tool's list
  int32_t count;          // samples or pixels the cluster stands for
  int32_t members;        // first member, NO_LINK when there is none
  int32_t lastMember;     // last member, so that lists append at once
  int32_t next;           // following cluster of the list, NO_LINK at the tail
};

struct ClusterMember {
  int32_t index;  // pixel number within the area, row-major from 0
  int32_t next;   // following member of the same cluster
};

struct ClusterList {
  std::vector<Cluster> clusters;       // every record ever created
  std::vector<ClusterMember> members;  // every member ever created
  int32_t head = NO_LINK;
  int32_t size = 0;  // clusters in the list
};

// Pushes a new cluster of count 1 with the given mean at the head of the
// list and returns its index. With `member` >= 0 the cluster gets one member
// of that pixel number. NO_LINK, the list unchanged, when the tables cannot
// grow.
int32_t push_cluster(ClusterList &list, const float *mean, int n,
                     int32_t member = NO_LINK);

// The list's cluster indices from the head to the tail into `order`: 0, or
// 1 when the table of them cannot be had.
int list_order(const ClusterList &list, std::vector<int32_t> &order);

// The sum of squared differences that vector_distance takes the root of:
// each difference and the running sum in single precision, bands in order.
inline float distance_sum(const float *a, const float *b, int n) {
  float sum = 0.0f;
  for (int i = 0; i < n; ++i) {
    const float d = a[i] - b[i];
    sum = sum + d * d;
  }
  return sum;
}

// Euclidean distance of two vectors of n entries: single-precision sum, the
// square root taken in double precision. 0 for n = 0.
double vector_distance(const float *a, const float *b, int n);

// Merges `second` into `first` (which comes before it in the list): count-
// weighted means in double precision stored back in single, counts added,
// second's members appended behind first's, second unlinked. `before` is
// the cluster in front of `second` when the caller knows it; otherwise the
// list is walked from the head to find it.
void merge_cluster_pair(ClusterList &list, int32_t first, int32_t second, int n,
                        int32_t before = NO_LINK);

// Performs `merges` merges (none when merges <= 0), each of the pair that
// find_closest_pair would choose at that moment, with a progress line
// from..to after each; stops early when one cluster is left. Distances are
// kept between merges and only those touched by a merge are recomputed.
// Returns 0, or 1 (no merge made) when the working tables of the distances
// cannot be had.
int merge_closest_pairs(ClusterList &list, int n, int merges, int from, int to);

// The class byte of list position p (1 at the head): p modulo 256.
inline uint8_t class_byte(int64_t position) {
  return static_cast<uint8_t>(position % 256);
}

// The clusters of a list laid out for classifying many pixels at once.
struct ClassTable {
  int bands = 0;
  std::vector<float> means;    // cluster c, band k at c * MAX_BANDS + k
  std::vector<uint8_t> bytes;  // class byte per cluster, list order
};
// Lays out the list's clusters for n bands: 0, or 1 when the table cannot
// be had.
int class_table(const ClusterList &list, int n, ClassTable &table);

// nearest_cluster_class for `count` pixels: rows[k][x] is pixel x's sample
// on band k. Writes one class byte per pixel into `out`.
void nearest_cluster_classes(const ClassTable &table,
                             const uint16_t *const *rows, int count,
                             uint8_t *out);

// ---------------------------------------------------------------------------
// References. The operations of the cluster model as plainly as they can be
// put, one pair or one pixel at a time. No tool calls them: the tools run
// merge_closest_pairs and nearest_cluster_classes, and the tests hold those
// to these, byte for byte.

struct ClusterPair {
  int32_t first = NO_LINK;  // nearer the head
  int32_t second = NO_LINK;
};

// The pair of clusters whose means are closest, scanning every pair in list
// order with a single-precision best and a strict comparison. No pair
// (both NO_LINK) with fewer than two clusters.
ClusterPair find_closest_pair(const ClusterList &list, int n);

// merge_closest_pairs by a full rescan (find_closest_pair) for each merge.
int merge_closest_pairs_by_rescan(ClusterList &list, int n, int merges,
                                  int from, int to);

// The class byte of the cluster nearest to one pixel of n 16-bit samples:
// strict comparison against a single-precision best, the list in order.
// 0 for an empty list.
uint8_t nearest_cluster_class(const ClusterList &list, const uint16_t *samples,
                              int n);
