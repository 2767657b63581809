// Helpers shared by the tests of the cluster model and its two tools.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "clusterlib.h"
#include "testsupport.h"
#include "tooltest.h"

namespace clustertest {

// Progress remembers the last percentage printed: a capture starts from a
// value that no stage prints, left out of what is returned.
inline void capture() {
  testing::internal::CaptureStdout();
  show_progress(-7, -7, 1, 1);
}
inline std::string captured() {
  const std::string out = testing::internal::GetCapturedStdout();
  return out.substr(out.find("-7%\n") == 0 ? 4 : 0);
}

// A list built by pushing the given means in order (the last one is the
// head), cluster i with count counts[i] (default 1) and member pixel i.
inline ClusterList make_list(const std::vector<std::vector<float>> &means,
                             const std::vector<int32_t> &counts = {}) {
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

// The list's cluster indices from the head.
inline std::vector<int32_t> order_of(const ClusterList &list) {
  std::vector<int32_t> order;
  EXPECT_EQ(list_order(list, order), 0);
  return order;
}

// The list from the head: the mean bits, count and member pixels of each
// cluster.
inline std::string describe(const ClusterList &list, int n) {
  std::string text;
  for (int32_t c : order_of(list)) {
    const Cluster &k = list.clusters[static_cast<size_t>(c)];
    for (int b = 0; b < n; ++b) {
      uint32_t bits;
      std::memcpy(&bits, &k.mean[b], sizeof bits);
      text += std::to_string(bits) + ",";
    }
    std::vector<int32_t> pixels;
    for (int32_t m = k.members; m != NO_LINK;
         m = list.members[static_cast<size_t>(m)].next)
      pixels.push_back(list.members[static_cast<size_t>(m)].index);
    text += " n" + std::to_string(k.count) + " [";
    for (int32_t p : pixels) text += std::to_string(p) + " ";
    text += "]\n";
  }
  return text;
}

// An image of random samples 0..top and the area a tool classifies. The
// samples are the generator's draws modulo top + 1, the same with every
// standard library, so that outputs recorded from a scene stay valid.
struct Scene {
  int iRows, iCols, aRow, aCol, aRows, aCols;
  std::vector<std::vector<uint16_t>> bands;
  // The sample of band b at area row r, area column c.
  uint16_t at(int b, int64_t r, int64_t c) const {
    return bands[static_cast<size_t>(b)]
                [static_cast<size_t>((aRow + r) * iCols + aCol + c)];
  }
  void fill(std::mt19937 &rng, int count, int top) {
    bands.assign(static_cast<size_t>(count), {});
    for (auto &b : bands)
      for (int p = 0; p < iRows * iCols; ++p)
        b.push_back(static_cast<uint16_t>(rng() % (top + 1u)));
  }
};

// A scene to fill with random samples: its size and area, its number of
// bands, the top of its samples and whether its files are 16-bit.
struct RandomScene {
  Scene area;
  int bands, top;
  bool wide;
  Scene filled(std::mt19937 &rng) const {
    Scene s = area;
    s.fill(rng, bands, top);
    return s;
  }
};

// Writes the scene's band files b1, b2, ... (16-bit when `wide`) and returns
// the arguments both tools start with, followed by `rest`.
inline std::vector<std::string> scene_args(const testsupport::TempDir &dir,
                                           const Scene &s, bool wide,
                                           std::vector<std::string> rest) {
  std::string paths, numbers;
  for (size_t b = 0; b < s.bands.size(); ++b) {
    const std::string path = dir.file("b" + std::to_string(b + 1));
    if (wide)
      testsupport::write_band16(path, s.bands[b]);
    else
      testsupport::write_band8(
          path, std::vector<uint8_t>(s.bands[b].begin(), s.bands[b].end()));
    paths += (b ? " " : "") + path;
    numbers += (b ? " " : "") + std::to_string(b + 1);
  }
  std::vector<std::string> args = {paths, numbers, wide ? "AVHRR" : "TM"};
  for (int v : {s.iRows, s.iCols, s.aRow, s.aCol, s.aRows, s.aCols})
    args.push_back(std::to_string(v));
  args.insert(args.end(), rest.begin(), rest.end());
  return args;
}

// A successful run that printed and wrote what the model says.
inline void expect_run(const testsupport::RunResult &r,
                       const std::pair<std::string, std::string> &expected,
                       const std::string &cof, const std::string &label) {
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, expected.first) << label;
  EXPECT_EQ(testsupport::read_file(cof), expected.second) << label;
}

// A successful run, nothing on standard error, whose standard output and
// COF bytes, joined by "|", have the digest recorded from an earlier run.
inline void expect_recorded_run(const testsupport::RunResult &r,
                                const std::string &cof, uint64_t recorded,
                                const std::string &label) {
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(testsupport::digest(r.out + "|" + testsupport::read_file(cof)),
            recorded)
      << label;
}

// One class byte per pixel of the scene's area, each in 1..`classes`, or
// each 0 when there are no classes. Bytes wrap past 255 classes, so only
// their number is checked then.
inline void expect_classes(const std::string &bytes, const Scene &s,
                           int classes, const std::string &label) {
  const int64_t pixels =
      static_cast<int64_t>(std::max(0, s.aRows)) * std::max(0, s.aCols);
  EXPECT_EQ(static_cast<int64_t>(bytes.size()), pixels) << label;
  if (classes > 255) return;
  const int low = classes > 0 ? 1 : 0;
  for (unsigned char b : bytes) {
    ASSERT_GE(b, low) << label;
    ASSERT_LE(b, classes) << label;
  }
}

// "Error <what> "<path>" (<why>).\n"
inline std::string error_line(const std::string &what, const std::string &path,
                              const std::string &why) {
  return "Error " + what + " \"" + path + "\" (" + why + ").\n";
}

}  // namespace clustertest
