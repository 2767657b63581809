#include "clusterlib.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "clustertest.h"

namespace {

using clustertest::captured;
using clustertest::describe;

// A list built by pushing the given means in order: the last one is the
// head. counts default to 1.
ClusterList make_list(const std::vector<std::vector<float>> &means,
                      std::vector<int32_t> counts = {}) {
  ClusterList list;
  for (size_t i = 0; i < means.size(); ++i) {
    const int32_t c =
        push_cluster(list, means[i].data(), static_cast<int>(means[i].size()),
                     static_cast<int32_t>(i));
    if (!counts.empty())
      list.clusters[static_cast<size_t>(c)].count = counts[i];
  }
  return list;
}

TEST(VectorDistance, SinglePrecisionSumRootInDouble) {
  const float a[] = {1.0f, 2.0f, 3.0f}, b[] = {4.0f, 6.0f, 3.0f};
  const float big[] = {16777216.0f, 0.0f}, one[] = {0.0f, 1.0f};
  struct Case {
    const float *x, *y;
    int n;
    double expected;
  } cases[] = {
      {a, a, 3, 0.0},  // identical vectors
      {a, b, 0, 0.0},  // no band
      {a, b, 1, 3.0},  // one band: the absolute difference
      {b, a, 1, 3.0},
      {a, b, 3, 5.0},
      // 2^48 + 1 is not a float: the sum stays 2^48.
      {big, one, 2, 16777216.0},
  };
  for (const Case &c : cases)
    EXPECT_EQ(vector_distance(c.x, c.y, c.n), c.expected) << c.n;
}

TEST(MergeClusterPair, CountWeightedMeanAtTheFirstPosition) {
  // List order: 14 (count 1, head), 10 (count 3), 20.
  ClusterList list = make_list({{20}, {10}, {14}}, {1, 3, 1});
  const std::vector<int32_t> order = list_order(list);
  merge_cluster_pair(list, order[1], order[2], 1);  // 20 into 10
  merge_cluster_pair(list, order[0], order[1], 1);  // then 10 (n 4) into 14
  ASSERT_EQ(list.size, 1);
  const Cluster &head = list.clusters[static_cast<size_t>(list.head)];
  EXPECT_EQ(head.count, 5);
  EXPECT_EQ(head.mean[0], static_cast<float>((14.0 + 12.5 * 4) / 5));
  EXPECT_EQ(describe(list, 1).substr(describe(list, 1).find('[')),
            "[2 1 0 ]\n");

  ClusterList two = make_list({{14}, {10}}, {1, 3});
  merge_cluster_pair(two, two.head, list_order(two)[1], 1);
  EXPECT_EQ(two.clusters[static_cast<size_t>(two.head)].mean[0], 11.0f);
  EXPECT_EQ(two.clusters[static_cast<size_t>(two.head)].count, 4);
}

TEST(FindClosestPair, EqualDistancesKeepTheEarlierPair) {
  // List order 0, 5, 10: (0, 5) and (5, 10) both lie 5 apart.
  ClusterList list = make_list({{10}, {5}, {0}});
  const ClusterPair pair = find_closest_pair(list, 1);
  EXPECT_EQ(pair.first, list_order(list)[0]);
  EXPECT_EQ(pair.second, list_order(list)[1]);
  for (auto merge : {merge_closest_pairs, merge_closest_pairs_by_rescan}) {
    ClusterList l = make_list({{10}, {5}, {0}});
    clustertest::capture();
    merge(l, 1, 1, 2, 50);
    EXPECT_EQ(captured(), "50%\n");
    ASSERT_EQ(l.size, 2);
    EXPECT_EQ(l.clusters[static_cast<size_t>(l.head)].mean[0], 2.5f);
    EXPECT_EQ(l.clusters[static_cast<size_t>(l.head)].count, 2);
  }
  EXPECT_EQ(find_closest_pair(make_list({{1}}), 1).first, NO_LINK);
  EXPECT_EQ(find_closest_pair(make_list({}), 1).first, NO_LINK);
}

TEST(MergeClosestPairs, NoMergesLeaveTheListAndPrintNothing) {
  for (int merges : {0, -3}) {
    ClusterList list = make_list({{1, 2}, {3, 4}, {3, 5}});
    const std::string before = describe(list, 2);
    clustertest::capture();
    merge_closest_pairs(list, 2, merges, 5, 98);
    EXPECT_EQ(captured(), "");
    EXPECT_EQ(describe(list, 2), before);
  }
  // Asked for more merges than there are pairs: stops at one cluster.
  ClusterList list = make_list({{1}, {4}, {9}});
  clustertest::capture();
  merge_closest_pairs(list, 1, 5, 5, 98);
  EXPECT_EQ(captured(), "23%\n42%\n");
  EXPECT_EQ(list.size, 1);
}

// Random lists merged by the kept-distance version and by full rescans:
// the same pairs in the same order give the same list, bit for bit. Small
// integer means give many equal distances; large ones give sums whose
// roots round to the same single-precision value.
TEST(MergeClosestPairs, SameMergesAsAFullRescan) {
  std::mt19937 rng(12345);
  struct Shape {
    int lists, size, bands;
    float scale;
    bool integral;
  } shapes[] = {{60, 40, 1, 6, true},     {60, 40, 3, 4, true},
                {40, 60, 7, 65535, true}, {40, 60, 2, 65535, true},
                {40, 50, 5, 1000, false}, {20, 120, 7, 255, true}};
  for (const Shape &s : shapes) {
    for (int t = 0; t < s.lists; ++t) {
      std::vector<std::vector<float>> means(static_cast<size_t>(s.size));
      std::vector<int32_t> counts;
      std::uniform_real_distribution<float> value(0.0f, s.scale);
      std::uniform_int_distribution<int32_t> count(1, 50);
      for (auto &m : means) {
        for (int b = 0; b < s.bands; ++b)
          m.push_back(s.integral ? std::floor(value(rng)) : value(rng));
        counts.push_back(count(rng));
      }
      const int merges = std::uniform_int_distribution<int>(1, s.size + 2)(rng);
      ClusterList fast = make_list(means, counts),
                  plain = make_list(means, counts);
      clustertest::capture();
      merge_closest_pairs(fast, s.bands, merges, 2, 50);
      const std::string fastOut = captured();
      clustertest::capture();
      merge_closest_pairs_by_rescan(plain, s.bands, merges, 2, 50);
      ASSERT_EQ(fastOut, captured());
      ASSERT_EQ(describe(fast, s.bands), describe(plain, s.bands))
          << "bands " << s.bands << " scale " << s.scale << " list " << t;
    }
  }
}

// In list order C0 = (0, 0), C1, C2 the pair (C0, C1) is scanned first
// and (C1, C2) later. The best is the first root rounded to single
// precision: the later pair is merged when its root lies below that
// rounded value, even at an equal or slightly larger sum, and it is not
// merged when the best was rounded down to at most its root, even at a
// slightly smaller sum. A plain smallest-sum choice gets these wrong.
TEST(MergeClosestPairs, RoundedBestDecidesBetweenNearlyEqualPairs) {
  const struct {
    float c1[2], step[2];  // C1, and C2 - C1
    bool laterMerged;
  } cases[] = {
      {{1, 2}, {1, 2}, true},              // both sums 5; sqrt 5 rounds up
      {{1, 1}, {1, 1}, false},             // both sums 2; sqrt 2 rounds down
      {{3, 4}, {4, 3}, false},             // both roots exactly 5
      {{3869, 2243}, {4183, 1582}, true},  // sums 20000210, 20000212
      {{3949, 2099}, {4361, 991}, false},  // sums 20000402, 20000400
  };
  for (const auto &c : cases) {
    std::vector<std::vector<float>> means = {
        {c.c1[0] + c.step[0], c.c1[1] + c.step[1]},
        {c.c1[0], c.c1[1]},
        {0.0f, 0.0f}};
    // Far clusters behind and ahead of the three keep the rows busy.
    for (int i = 0; i < 20; ++i) {
      const float far = 100000.0f + 20000.0f * static_cast<float>(i);
      means.insert(means.begin(), {far, 0.0f});
      means.push_back({0.0f, far});
    }
    ClusterList fast = make_list(means), plain = make_list(means);
    clustertest::capture();
    merge_closest_pairs(fast, 2, 1, 2, 50);
    merge_closest_pairs_by_rescan(plain, 2, 1, 2, 50);
    captured();
    EXPECT_EQ(describe(fast, 2), describe(plain, 2)) << c.c1[0];
    // The cluster at (0, 0) stays as it was only when (C1, C2) merged.
    bool originKept = false;
    for (int32_t k : list_order(fast)) {
      const Cluster &cl = fast.clusters[static_cast<size_t>(k)];
      originKept |= cl.count == 1 && cl.mean[0] == 0.0f && cl.mean[1] == 0.0f;
    }
    EXPECT_EQ(originKept, c.laterMerged) << c.c1[0];
  }
}

TEST(ClassBytes, PositionModulo256) {
  std::vector<std::vector<float>> means;
  for (int i = 300; i >= 1; --i) means.push_back({static_cast<float>(10 * i)});
  const ClusterList list = make_list(means);  // position p has mean 10 p
  const struct {
    int position, byte;
  } cases[] = {{1, 1}, {255, 255}, {256, 0}, {257, 1}, {300, 44}};
  for (const auto &c : cases) {
    const uint16_t sample = static_cast<uint16_t>(10 * c.position);
    EXPECT_EQ(nearest_cluster_class(list, &sample, 1), c.byte) << c.position;
  }
}

TEST(NearestClusterClass, StrictTestKeepsTheClusterNearerTheHead) {
  // From the head: 20, 10, 30; the pixel 15 lies 5 from the first two.
  const ClusterList list = make_list({{30}, {10}, {20}});
  const uint16_t cases[][2] = {{15, 1}, {14, 2}, {26, 3}, {25, 1}, {0, 2}};
  for (const auto &c : cases)
    EXPECT_EQ(nearest_cluster_class(list, &c[0], 1), c[1]) << c[0];
  const uint16_t any = 3;
  EXPECT_EQ(nearest_cluster_class(make_list({}), &any, 1), 0);
}

// The many-pixel version gives every pixel the byte of the one-pixel one.
TEST(NearestClusterClasses, SameBytesAsOnePixelAtATime) {
  std::mt19937 rng(99);
  for (int bands : {1, 3, 7}) {
    for (int clusters : {0, 1, 5, 300}) {
      std::vector<std::vector<float>> means(static_cast<size_t>(clusters));
      std::uniform_real_distribution<float> value(0.0f, 300.0f);
      for (auto &m : means)
        for (int b = 0; b < bands; ++b) m.push_back(std::floor(value(rng)));
      const ClusterList list = make_list(means);
      const int count = 203;
      std::vector<std::vector<uint16_t>> rows(static_cast<size_t>(bands));
      const uint16_t *rowPointers[MAX_BANDS] = {};
      for (int b = 0; b < bands; ++b) {
        for (int x = 0; x < count; ++x)
          rows[static_cast<size_t>(b)].push_back(
              static_cast<uint16_t>(rng() % 300));
        rowPointers[b] = rows[static_cast<size_t>(b)].data();
      }
      std::vector<uint8_t> out(static_cast<size_t>(count));
      nearest_cluster_classes(class_table(list, bands), rowPointers, count,
                              out.data());
      for (int x = 0; x < count; ++x) {
        uint16_t pixel[MAX_BANDS];
        for (int b = 0; b < bands; ++b)
          pixel[b] = rows[static_cast<size_t>(b)][static_cast<size_t>(x)];
        ASSERT_EQ(out[static_cast<size_t>(x)],
                  nearest_cluster_class(list, pixel, bands))
            << bands << " bands, " << clusters << " clusters, pixel " << x;
      }
    }
  }
}

}  // namespace
