#include "clusterlib.h"

#include <sys/resource.h>

#include <cmath>
#include <cstdio>

#include "clustertest.h"

namespace {

using namespace clustertest;

TEST(MergeClusterPair, CountWeightedMeansInDoubleMembersAppended) {
  // From the head: 14 (count 1), 10 (count 3), 0.1 (count 1), 0.1 (count 6).
  ClusterList list = make_list({{0.1f}, {0.1f}, {10}, {14}}, {6, 1, 3, 1});
  const std::vector<int32_t> order = order_of(list);
  merge_cluster_pair(list, order[0], order[1], 1);
  merge_cluster_pair(list, order[2], order[3], 1, order[2]);
  // 11 and 0.1 as bits: sums in single precision would give 0.100000009.
  EXPECT_EQ(describe(list, 1),
            "1093664768, n4 [3 2 ]\n1036831949, n7 [1 0 ]\n");
}

// The three-cluster tie: in list order 0, 5, 10 both pairs lie 5 apart and
// the pair scanned first is merged.
TEST(MergeClosestPairs, EqualDistancesMergeTheEarlierPair) {
  const ClusterList list = make_list({{10}, {5}, {0}});
  const ClusterPair pair = find_closest_pair(list, 1);
  EXPECT_EQ(pair.first, list.head);
  EXPECT_EQ(pair.second, order_of(list)[1]);
  for (auto merge : {merge_closest_pairs, merge_closest_pairs_by_rescan}) {
    ClusterList l = make_list({{10}, {5}, {0}});
    capture();
    merge(l, 1, 1, 2, 50);
    EXPECT_EQ(captured(), "50%\n");
    // 2.5 and 10 as bits.
    EXPECT_EQ(describe(l, 1), "1075838976, n2 [2 1 ]\n1092616192, n1 [0 ]\n");
  }
}

#if !defined(__SANITIZE_ADDRESS__)
// The sanitizer's allocator reports memory it cannot provide itself, so the
// refusals are observable only in a plain build.

// Limits the address space to what is in use now and `extra` bytes more;
// false when that cannot be done. For the child of a death test only.
bool limit_address_space(rlim_t extra) {
  long pages = 0;
  FILE *statm = fopen("/proc/self/statm", "r");
  if (statm == nullptr || fscanf(statm, "%ld", &pages) != 1) return false;
  fclose(statm);
  rlimit limit{};
  limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(pages) * 4096 + extra;
  return setrlimit(RLIMIT_AS, &limit) == 0;
}

constexpr int32_t CLUSTERS = 2000000;

// A list of CLUSTERS clusters whose table is full, so that one more
// cluster must move it.
ClusterList crowded_list() {
  ClusterList list;
  list.clusters.reserve(CLUSTERS);
  for (int32_t i = 0; i < CLUSTERS; ++i) {
    const float mean[MAX_BANDS] = {static_cast<float>(i % 251)};
    push_cluster(list, mean, MAX_BANDS);
  }
  return list;
}

// Working tables of the distances that cannot be had are reported, not a
// crash: the merge makes no merge, prints nothing and leaves the list whole.
TEST(MergeClosestPairs, TablesThatCannotBeHadAreReported) {
  ClusterList list = crowded_list();
  EXPECT_EXIT(
      {
        // Tables of about 80 MB over 7 bands, 16 MB at hand.
        if (!limit_address_space(rlim_t{16} << 20)) _exit(4);
        const int result = merge_closest_pairs(list, MAX_BANDS, 1, 0, 100);
        _exit(result == 1 && list.size == CLUSTERS ? 0 : 2);
      },
      ::testing::ExitedWithCode(0), "");
}

// The same for the list's own tables: its order (8 MB), the class table
// (58 MB) and a table of clusters that must move to grow (88 MB), with
// 4 MB at hand. Each is reported; a cluster that cannot be pushed leaves
// the list as it was.
TEST(ClusterList, TablesThatCannotBeHadAreReported) {
  ClusterList list = crowded_list();
  EXPECT_EXIT(
      {
        if (!limit_address_space(rlim_t{4} << 20)) _exit(4);
        std::vector<int32_t> order;
        if (list_order(list, order) != 1) _exit(2);
        _exit(0);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(
      {
        if (!limit_address_space(rlim_t{4} << 20)) _exit(4);
        ClassTable table;
        if (class_table(list, MAX_BANDS, table) != 1) _exit(2);
        _exit(0);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(
      {
        if (!limit_address_space(rlim_t{4} << 20)) _exit(4);
        const float mean[MAX_BANDS] = {};
        const int32_t head = list.head;
        if (push_cluster(list, mean, MAX_BANDS, 5) != NO_LINK) _exit(2);
        _exit(list.head == head && list.size == CLUSTERS &&
                      list.clusters.size() == CLUSTERS && list.members.empty()
                  ? 0
                  : 3);
      },
      ::testing::ExitedWithCode(0), "");
}
#endif

// Random lists merged by the kept-distance version and by full rescans:
// the same pairs in the same order give the same list, bit for bit. Small
// integer means give many equal distances; large ones give sums whose
// roots round to the same single-precision value.
TEST(MergeClosestPairs, SameMergesAsAFullRescan) {
  std::mt19937 rng(12345);
  const struct {
    int lists, size, bands;
    float scale;
  } shapes[] = {{60, 40, 1, 6},     {60, 40, 3, 4},     {40, 60, 7, 65535},
                {40, 60, 2, 65535}, {40, 50, 5, -1000}, {20, 120, 7, 255}};
  for (const auto &s : shapes) {
    for (int t = 0; t < s.lists; ++t) {
      std::vector<std::vector<float>> means(static_cast<size_t>(s.size));
      std::vector<int32_t> counts;
      std::uniform_real_distribution<float> value(0.0f, std::fabs(s.scale));
      for (auto &m : means) {
        for (int b = 0; b < s.bands; ++b)  // a negative scale: fractions
          m.push_back(s.scale < 0 ? value(rng) : std::floor(value(rng)));
        counts.push_back(static_cast<int32_t>(rng() % 50 + 1));
      }
      const int merges = static_cast<int>(rng() % (s.size + 2)) + 1;
      ClusterList fast = make_list(means, counts), plain = fast;
      capture();
      merge_closest_pairs(fast, s.bands, merges, 2, 50);
      const std::string fastOut = captured();
      capture();
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
        {c.c1[0] + c.step[0], c.c1[1] + c.step[1]}, {c.c1[0], c.c1[1]}, {0, 0}};
    // Far clusters behind and ahead of the three keep the rows busy.
    for (float i = 0; i < 20; ++i) {
      means.insert(means.begin(), {100000 + 20000 * i, 0});
      means.push_back({0, 100000 + 20000 * i});
    }
    for (auto merge : {merge_closest_pairs, merge_closest_pairs_by_rescan}) {
      ClusterList list = make_list(means);
      capture();
      merge(list, 2, 1, 2, 50);
      captured();
      // C0 is pixel 22; it keeps no partner only when (C1, C2) merged.
      EXPECT_EQ(describe(list, 2).find("n1 [22 ]") != std::string::npos,
                c.laterMerged)
          << c.c1[0];
    }
  }
}

// Class bytes are list positions modulo 256; a pixel takes the first of
// equally near clusters.
TEST(NearestClusterClass, PositionModulo256FirstOfEqualDistances) {
  std::vector<std::vector<float>> means;
  for (int i = 300; i >= 1; --i) means.push_back({static_cast<float>(10 * i)});
  const ClusterList list = make_list(means);  // position p has mean 10 p
  const uint16_t cases[][2] = {{10, 1},    {2550, 255}, {2560, 0}, {2570, 1},
                               {3000, 44}, {15, 1},     {25, 2},   {26, 3}};
  for (const auto &c : cases)
    EXPECT_EQ(nearest_cluster_class(list, &c[0], 1), c[1]) << c[0];
  EXPECT_EQ(nearest_cluster_class(make_list({}), &cases[0][0], 1), 0);
}

}  // namespace
