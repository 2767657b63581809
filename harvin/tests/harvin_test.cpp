#include "harvin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "clusterlib.h"
#include "clustertest.h"
#include "testsupport.h"

using testsupport::read_file;
using testsupport::RunResult;

namespace {

using clustertest::capture;
using clustertest::captured;
using clustertest::error_line;

// The leader pass as plainly as it can be put, on the linked list of one
// cluster per pixel: each cluster in list order unlinks every later cluster
// within the threshold of its own mean and takes its members.
void plain_leader_pass(ClusterList &list, int n, float threshold) {
  int32_t left = list.size, leaders = 0;
  for (int32_t a = list.head; a != NO_LINK; a = list.clusters[a].next) {
    Cluster &lead = list.clusters[static_cast<size_t>(a)];
    int32_t prev = a;
    for (int32_t b = lead.next; b != NO_LINK;) {
      Cluster &other = list.clusters[static_cast<size_t>(b)];
      if (vector_distance(lead.mean, other.mean, n) <= threshold) {
        list.clusters[static_cast<size_t>(prev)].next = other.next;
        lead.count += other.count;
        list.members[static_cast<size_t>(lead.lastMember)].next = other.members;
        lead.lastMember = other.lastMember;
        --list.size;
        --left;
        b = other.next;
      } else {
        prev = b;
        b = other.next;
      }
    }
    show_progress(2, 5, ++leaders, left);
  }
}

// One cluster per pixel, pushed in pixel order: the list starts with the
// last pixel. values[k][p] is pixel p's sample on band k.
ClusterList pixel_clusters(const std::vector<std::vector<float>> &values) {
  ClusterList list;
  const size_t count = values.empty() ? 0 : values[0].size();
  for (size_t p = 0; p < count; ++p) {
    float mean[MAX_BANDS] = {};
    for (size_t k = 0; k < values.size(); ++k) mean[k] = values[k][p];
    push_cluster(list, mean, static_cast<int>(values.size()),
                 static_cast<int32_t>(p));
  }
  return list;
}

// The grid-pruned leader pass takes the same leaders, in the same order,
// with the same pixels as the plain one, on samples that give exact
// boundary distances (3-4-5), rounded sums (16-bit values) and thresholds
// that absorb nothing, everything, or anything between.
TEST(LeaderPass, SameLeadersAsThePlainPass) {
  std::mt19937 rng(2024);
  const struct {
    int count, bands, top;
  } shapes[] = {{300, 1, 20},  {400, 2, 12},    {500, 3, 255},
                {400, 7, 255}, {300, 7, 65535}, {200, 5, 3}};
  const float thresholds[] = {-1.0f,   0.0f,  1.0f,     5.0f, 7.5f,    30.0f,
                              1000.0f, 1e30f, INFINITY, NAN,  40000.0f};
  for (const auto &s : shapes) {
    std::vector<std::vector<float>> values(static_cast<size_t>(s.bands));
    std::uniform_int_distribution<int> v(0, s.top);
    for (auto &band : values)
      for (int p = 0; p < s.count; ++p)
        band.push_back(static_cast<float>(v(rng)));
    for (float t : thresholds) {
      ClusterList plain = pixel_clusters(values);
      capture();
      plain_leader_pass(plain, s.bands, t);
      const std::string plainOut = captured();

      PixelTable table;
      table.bands = s.bands;
      table.count = s.count;
      for (int k = 0; k < s.bands; ++k)
        table.values[k].assign(values[static_cast<size_t>(k)].rbegin(),
                               values[static_cast<size_t>(k)].rend());
      ClusterList fast;
      capture();
      leader_pass(table, t, fast);
      EXPECT_EQ(captured(), plainOut);
      ASSERT_EQ(clustertest::describe(fast, s.bands, true),
                clustertest::describe(plain, s.bands, true))
          << s.bands << " bands up to " << s.top << ", threshold " << t;
    }
  }
}

struct Area {
  int iRows, iCols, aRow, aCol, aRows, aCols, nClasses;
  std::string threshold;
};

// The whole run worked out plainly: pixel clusters, the plain leader pass,
// merges by full rescans, then one byte per member.
std::pair<std::string, std::string> expected_run(
    const std::vector<std::vector<uint16_t>> &image, const Area &a) {
  const int n = static_cast<int>(image.size());
  float threshold = 0.0f;
  sscanf(a.threshold.c_str(), "%f", &threshold);
  capture();
  std::vector<std::vector<float>> values(static_cast<size_t>(n));
  for (int y = 0; y < a.aRows; ++y) {
    for (int x = 0; x < a.aCols; ++x)
      for (int k = 0; k < n; ++k)
        values[static_cast<size_t>(k)].push_back(image[static_cast<size_t>(
            k)][static_cast<size_t>((a.aRow + y) * a.iCols + a.aCol + x)]);
    show_progress(0, 2, y + 1, a.aRows);
  }
  ClusterList list = pixel_clusters(values);
  plain_leader_pass(list, n, threshold);
  merge_closest_pairs_by_rescan(list, n, list.size - a.nClasses, 5, 98);
  std::string bytes(values[0].size(), '\0');
  uint8_t v = 1;
  for (int32_t c : list_order(list)) {
    for (int32_t m = list.clusters[static_cast<size_t>(c)].members;
         m != NO_LINK; m = list.members[static_cast<size_t>(m)].next)
      bytes[static_cast<size_t>(list.members[static_cast<size_t>(m)].index)] =
          static_cast<char>(v);
    show_progress(98, 100, v, a.nClasses);
    v = static_cast<uint8_t>(v + 1);
  }
  return {captured(), bytes};
}

class Harvin : public ::testing::Test {
 protected:
  std::pair<std::string, std::string> write_image(
      const std::vector<std::vector<uint16_t>> &image, bool wide) {
    return clustertest::write_bands(dir, image, wide);
  }
  std::vector<std::string> args(
      const std::pair<std::string, std::string> &lists, const std::string &type,
      const Area &a) {
    return {lists.first,
            lists.second,
            type,
            std::to_string(a.iRows),
            std::to_string(a.iCols),
            std::to_string(a.aRow),
            std::to_string(a.aCol),
            std::to_string(a.aRows),
            std::to_string(a.aCols),
            std::to_string(a.nClasses),
            a.threshold,
            cof()};
  }
  std::string cof() { return dir.file("out.cof"); }
  testsupport::TempDir dir;
};

TEST_F(Harvin, LeaderTakesThePixelsWithinItsOwnDistance) {
  // Pixels 0, 1, 2 hold 0, 10, 3: the leader pixel 2 takes pixel 0 (3
  // away) but not pixel 1 (7 away).
  const auto lists = write_image({{0, 10, 3}}, false);
  const struct {
    int nClasses;
    std::string out, bytes;
  } cases[] = {{2, "2%\n3%\n5%\n99%\n100%\n", "\1\2\1"},
               {1, "2%\n3%\n5%\n98%\n100%\n", "\1\1\1"},
               {5, "2%\n3%\n5%\n98%\n", "\1\2\1"}};  // K below nClasses
  for (const auto &c : cases) {
    const RunResult r = testsupport::run_program(
        "harvin", args(lists, "TM", {1, 3, 0, 0, 1, 3, c.nClasses, "4"}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(read_file(cof()), c.bytes);
  }
}

// Progress lines and class bytes byte for byte against the plain model:
// thresholds that absorb nothing, only equal pixels, some, or all; more
// than 255 clusters; fewer clusters than classes; areas inside an image.
TEST_F(Harvin, WritesWhatThePlainModelWrites) {
  std::mt19937 rng(11);
  const struct {
    int bands, top;
    bool wide;
    Area a;
  } cases[] = {
      {1, 9, false, {6, 7, 0, 0, 6, 7, 3, "0"}},
      {2, 30, false, {8, 9, 1, 2, 6, 5, 4, "-1"}},
      {3, 255, false, {10, 12, 0, 0, 10, 12, 6, "60.5"}},
      {2, 255, false, {20, 20, 0, 0, 20, 20, 300, "-2"}},  // bytes wrap
      {2, 255, false, {5, 5, 0, 0, 5, 5, 4, "1e30"}},      // one cluster
      {7, 1023, true, {12, 10, 2, 1, 9, 8, 5, "200"}},
      {4, 60000, true, {9, 9, 0, 0, 9, 9, 7, "9000.25"}},  // large sums
      {2, 255, false, {6, 6, 0, 0, 3, 0, 2, "5"}},         // no column
      {2, 255, false, {6, 6, 0, 0, 0, 6, 2, "5"}},         // no row
  };
  for (const auto &c : cases) {
    std::vector<std::vector<uint16_t>> image(static_cast<size_t>(c.bands));
    std::uniform_int_distribution<int> v(0, c.top);
    for (auto &band : image)
      for (int p = 0; p < c.a.iRows * c.a.iCols; ++p)
        band.push_back(static_cast<uint16_t>(v(rng)));
    const auto expected = expected_run(image, c.a);
    const RunResult r = testsupport::run_program(
        "harvin",
        args(write_image(image, c.wide), c.wide ? "AVHRR" : "TM", c.a));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, expected.first) << c.a.threshold;
    EXPECT_EQ(read_file(cof()), expected.second) << c.a.threshold;
    EXPECT_TRUE(testsupport::file_exists(cof()));
  }
}

TEST_F(Harvin, FailuresInOrder) {
  const auto lists =
      write_image({{1, 2, 3, 4, 5, 6}, {6, 5, 4, 3, 2, 1}}, false);
  const std::string b1 = dir.file("b1"), none = dir.file("none");
  auto with = [&](std::map<int, std::string> changes) {
    std::vector<std::string> a =
        args(lists, "TM", {2, 3, 0, 0, 2, 3, 2, "1.5"});
    for (auto &c : changes) a[static_cast<size_t>(c.first)] = c.second;
    return a;
  };
  const std::string usage =
      "Usage: harvin \"<iPaths>\" \"<iChannels>\" <iType>\n"
      "               <iRows> <iCols> <aRow> <aCol>\n"
      "               <aRows> <aCols> <nClasses>\n"
      "               <threshold1> <cof>\n";
  std::vector<std::string> extra = with({});
  extra.push_back("x");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, usage},
      {extra, "Missing/extra parameter.\n"},
      {with({{2, "-tm"}, {4, "x"}}), "Unknown image type.\n"},
      {with({{8, "x"}, {1, ""}}), "Illegal parameter.\n"},
      {with({{10, "x"}, {1, ""}}), "Illegal parameter.\n"},  // threshold1
      {with({{9, "0"}}), "Illegal parameter.\n"},            // nClasses below 1
      {with({{1, "1 2 3 4 5 6 7 1"}}), "Illegal image bands.\n"},
      {with({{0, b1}}), "Illegal image paths.\n"},
      {with({{0, none + " " + b1}, {11, none + "/x"}}),
       error_line("opening image file", none, "No such file or directory")},
      {with({{11, none + "/x"}}), error_line("opening COF file", none + "/x",
                                             "No such file or directory")},
      {with({{11, b1}}), error_line("opening COF file", b1, "File exists")},
      // More pixels than the COF file's pixel numbers reach.
      {with({{7, "70000"}, {8, "70000"}}), "Error allocating memory.\n"},
      // A row far longer than the files ends at the first short read.
      {with({{4, "2147483647"}, {7, "1"}, {8, "2147483647"}}),
       error_line("reading image file", b1, "No data available")},
  };
  for (const auto &c : cases) {
    const RunResult r = testsupport::run_program("harvin", c.first);
    EXPECT_EQ(r.status, 1) << c.second;
    EXPECT_EQ(r.err, c.second);
    EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(read_file(b1).size(), 6u);  // the input named as output is intact

  // Text behind the numbers is ignored; "%f" takes the threshold's number.
  const RunResult ok =
      testsupport::run_program("harvin", with({{3, "2rows"}, {10, "1.5e0x"}}));
  EXPECT_EQ(ok.status, 0) << ok.err;
}

// A read fails at the first pixel, in row-major order with the bands of a
// pixel in list order, whose sample lies beyond the end of its file.
TEST_F(Harvin, ReadFailureNamesTheFirstShortSample) {
  const struct {
    size_t length1, length2;  // bytes of the two band files
    std::string failing;
  } cases[] = {{10, 7, "b2"}, {8, 7, "b2"}, {7, 8, "b1"}, {10, 10, ""}};
  for (const auto &c : cases) {
    testsupport::write_band8(dir.file("b1"),
                             std::vector<uint8_t>(c.length1, 1));
    testsupport::write_band8(dir.file("b2"),
                             std::vector<uint8_t>(c.length2, 2));
    const RunResult r = testsupport::run_program(
        "harvin", {dir.file("b1") + " " + dir.file("b2"), "1 2", "TM", "2", "5",
                   "0", "0", "2", "5", "1", "0", cof()});
    if (c.failing.empty()) {
      EXPECT_EQ(r.status, 0) << r.err;
      continue;
    }
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Error reading image file \"" + dir.file(c.failing) +
                         "\" (No data available).\n");
    EXPECT_EQ(r.out, "1%\n");
    EXPECT_EQ(read_file(cof()), "");
  }
}

}  // namespace
