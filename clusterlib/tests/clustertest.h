// Helpers shared by the tests of the cluster model and its two tools.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "clusterlib.h"
#include "testsupport.h"

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

// The list from the head: the mean bits, count and member pixels of each
// cluster (sorted when only the set of members matters).
inline std::string describe(const ClusterList &list, int n,
                            bool sortMembers = false) {
  std::string text;
  for (int32_t c : list_order(list)) {
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
    if (sortMembers) std::sort(pixels.begin(), pixels.end());
    text += " n" + std::to_string(k.count) + " [";
    for (int32_t p : pixels) text += std::to_string(p) + " ";
    text += "]\n";
  }
  return text;
}

// Band files b1, b2, ... in `dir`, 8-bit or 16-bit; the path and band
// number lists for the command line.
inline std::pair<std::string, std::string> write_bands(
    const testsupport::TempDir &dir,
    const std::vector<std::vector<uint16_t>> &bands, bool wide) {
  std::string paths, numbers;
  for (size_t b = 0; b < bands.size(); ++b) {
    const std::string path = dir.file("b" + std::to_string(b + 1));
    if (wide)
      testsupport::write_band16(path, bands[b]);
    else
      testsupport::write_band8(
          path, std::vector<uint8_t>(bands[b].begin(), bands[b].end()));
    paths += (b ? " " : "") + path;
    numbers += (b ? " " : "") + std::to_string(b + 1);
  }
  return {paths, numbers};
}

// "Error <what> "<path>" (<why>).\n"
inline std::string error_line(const std::string &what, const std::string &path,
                              const std::string &why) {
  return "Error " + what + " \"" + path + "\" (" + why + ").\n";
}

}  // namespace clustertest
