#include "harvin.h"

#include <cstdio>

#include "clustertest.h"

using namespace clustertest;
using testsupport::RunResult;

namespace {

// The leader pass as plainly as it can be put, on the linked list of one
// cluster per pixel: each cluster in list order unlinks every later cluster
// within the threshold of its own mean and takes its members.
void plain_leader_pass(ClusterList &list, int n, float threshold) {
  int32_t left = list.size, leaders = 0;
  for (int32_t a = list.head; a != NO_LINK; a = list.clusters[a].next) {
    Cluster &lead = list.clusters[static_cast<size_t>(a)];
    for (int32_t prev = a, b = lead.next; b != NO_LINK;) {
      Cluster &other = list.clusters[static_cast<size_t>(b)];
      if (vector_distance(lead.mean, other.mean, n) <= threshold) {
        list.clusters[static_cast<size_t>(prev)].next = other.next;
        lead.count += other.count;
        list.members[static_cast<size_t>(lead.lastMember)].next = other.members;
        lead.lastMember = other.lastMember;
        --list.size;
        --left;
      } else {
        prev = b;
      }
      b = other.next;
    }
    show_progress(2, 5, ++leaders, left);
  }
}

// The whole run worked out plainly: pixel clusters, the plain leader pass,
// merges by full rescans, then each member's byte at its pixel.
std::pair<std::string, std::string> expected_run(const Scene &s, int nClasses,
                                                 const std::string &text) {
  const int n = static_cast<int>(s.bands.size());
  float threshold = 0.0f;
  sscanf(text.c_str(), "%f", &threshold);
  capture();
  std::vector<std::vector<float>> pixels;
  for (int y = 0; y < s.aRows; ++y) {
    for (int x = 0; x < s.aCols; ++x) {
      pixels.emplace_back();
      for (int k = 0; k < n; ++k) pixels.back().push_back(s.at(k, y, x));
    }
    show_progress(0, 2, y + 1, s.aRows);
  }
  ClusterList list = make_list(pixels);
  plain_leader_pass(list, n, threshold);
  merge_closest_pairs_by_rescan(list, n, list.size - nClasses, 5, 98);
  std::string bytes(pixels.size(), '\0');
  uint8_t v = 1;  // the byte counts the progress too
  for (int32_t c : list_order(list)) {
    for (int32_t m = list.clusters[static_cast<size_t>(c)].members;
         m != NO_LINK; m = list.members[static_cast<size_t>(m)].next)
      bytes[static_cast<size_t>(list.members[static_cast<size_t>(m)].index)] =
          static_cast<char>(v);
    show_progress(98, 100, v, nClasses);
    v = static_cast<uint8_t>(v + 1);
  }
  return {captured(), bytes};
}

class Harvin : public ::testing::Test {
 protected:
  RunResult run(const Scene &s, bool wide, int nClasses,
                const std::string &threshold) {
    return testsupport::run_program(
        "harvin",
        scene_args(dir, s, wide, {std::to_string(nClasses), threshold, cof()}));
  }
  std::string cof() const { return dir.file("out.cof"); }
  testsupport::TempDir dir;
};

// Progress lines and class bytes byte for byte against the plain model:
// first the 1 x 3 example, pixels 0, 10, 3, whose leader (pixel 2) takes
// pixel 0 (3 away) but not pixel 1 (7 away); then random areas.
TEST_F(Harvin, WritesWhatThePlainModelWrites) {
  const Scene example{1, 3, 0, 0, 1, 3, {{0, 10, 3}}};
  const struct {
    int nClasses;
    std::string out, bytes;
  } examples[] = {{2, "2%\n3%\n5%\n99%\n100%\n", "\1\2\1"},
                  {1, "2%\n3%\n5%\n98%\n100%\n", "\1\1\1"},
                  {5, "2%\n3%\n5%\n98%\n", "\1\2\1"}};
  for (const auto &c : examples)
    expect_run(run(example, false, c.nClasses, "4"), {c.out, c.bytes}, cof(),
               c.out);

  // Thresholds that absorb nothing, only equal pixels, exact 3-4-5
  // distances, some pixels, or all of them.
  const char *thresholds[] = {"-1",   "0",    "1",     "5",    "7.5", "30",
                              "60.5", "1000", "40000", "1e30", "inf", "nan"};
  std::mt19937 rng(11);
  const struct {
    Scene s;
    int bands, top;
    bool wide;
    int nClasses;
  } cases[] = {
      {{6, 7, 0, 0, 6, 7, {}}, 1, 9, false, 3},
      {{8, 9, 1, 2, 6, 5, {}}, 2, 30, false, 4},
      {{20, 25, 0, 0, 20, 25, {}}, 3, 255, false, 300},  // bytes wrap
      {{20, 20, 0, 0, 20, 20, {}}, 5, 3, false, 6},
      {{12, 10, 2, 1, 9, 8, {}}, 7, 60000, true, 5},
      {{6, 6, 0, 0, 3, 0, {}}, 2, 255, false, 2},  // no column
      {{6, 6, 0, 0, 0, 6, {}}, 2, 255, false, 2},  // no row
  };
  for (const auto &c : cases) {
    Scene s = c.s;
    s.fill(rng, c.bands, c.top);
    for (const char *t : thresholds)
      expect_run(run(s, c.wide, c.nClasses, t), expected_run(s, c.nClasses, t),
                 cof(), t);
  }
}

TEST_F(Harvin, FailuresInOrder) {
  const Scene s{2, 3, 0, 0, 2, 3, {{1, 2, 3, 4, 5, 6}, {6, 5, 4, 3, 2, 1}}};
  const auto base = scene_args(dir, s, false, {"2", "1.5", cof()});
  const std::string b1 = dir.file("b1"), none = dir.file("none");
  // Band files of 5 and 4 samples: the first short sample in pixel order
  // is the second band's at pixel 4.
  const std::string s1 = dir.file("s1"), s2 = dir.file("s2");
  testsupport::write_band8(s1, std::vector<uint8_t>(5, 1));
  testsupport::write_band8(s2, std::vector<uint8_t>(4, 2));
  expect_failures(
      "harvin",
      {{{},
        "Usage: harvin \"<iPaths>\" \"<iChannels>\" <iType>\n"
        "               <iRows> <iCols> <aRow> <aCol>\n"
        "               <aRows> <aCols> <nClasses>\n"
        "               <threshold1> <cof>\n"},
       {changed(base, {{2, "-tm"}, {4, "x"}}), "Unknown image type.\n"},
       {changed(base, {{8, "x"}, {1, ""}}), "Illegal parameter.\n"},
       {changed(base, {{10, "x"}, {1, ""}}), "Illegal parameter.\n"},
       // What the "%f" scan refuses though strtof alone reads a number.
       {scene_args(dir, s, false, {"2", "0x", cof()}), "Illegal parameter.\n"},
       {scene_args(dir, s, false, {"2", "infinit", cof()}),
        "Illegal parameter.\n"},
       {changed(base, {{11, none + "/x"}}),
        error_line("opening COF file", none + "/x",
                   "No such file or directory")},
       // Any listed band, the last one too, is never replaced.
       {scene_args(dir, s, false, {"2", "1.5", dir.file("b2")}),
        error_line("opening COF file", dir.file("b2"), "File exists")},
       // More pixels than the COF file's pixel numbers reach, checked once
       // the files are open.
       {changed(base, {{7, "70000"}, {8, "70000"}, {0, none + " " + b1}}),
        error_line("opening image file", none, "No such file or directory")},
       {changed(base, {{7, "70000"}, {8, "70000"}}),
        "Error allocating memory.\n"},
       // A row far longer than the files ends at the first short read.
       {changed(base, {{4, "2147483647"}, {7, "1"}, {8, "2147483647"}}),
        error_line("reading image file", b1, "No data available")},
       {changed(base, {{0, s1 + " " + s2}}),
        error_line("reading image file", s2, "No data available"), "1%\n"}});

  EXPECT_EQ(testsupport::read_file(dir.file("b2")),
            std::string("\6\5\4\3\2\1", 6));

  // Text behind the numbers is ignored; "%f" takes the threshold's number.
  const RunResult ok = testsupport::run_program(
      "harvin", changed(base, {{3, "2rows"}, {10, "1.5e0x"}}));
  EXPECT_EQ(ok.status, 0) << ok.err;
}

}  // namespace
