// Writing the class bytes: each cluster's byte at the offsets of its
// members, the file then written whole.
#include <new>

#include "harvin.h"

void write_classes(const BandRun &run, const ClusterList &list, int32_t pixels,
                   int nClasses) {
  std::vector<uint8_t> bytes;
  try {
    bytes.resize(static_cast<size_t>(pixels));
  } catch (const std::bad_alloc &) {
    fail_allocating();
  }
  // v is the class byte, list position modulo 256, and also the progress
  // step: past 255 clusters it wraps to 0 and the progress lines fall back
  // and climb again. harvin has always printed them so; one byte for both.
  uint8_t v = 1;
  for (int32_t c = list.head; c != NO_LINK; c = list.clusters[c].next) {
    for (int32_t m = list.clusters[c].members; m != NO_LINK;
         m = list.members[m].next)
      bytes[static_cast<size_t>(list.members[m].index)] = v;
    show_progress(98, 100, v, nClasses);
    v = static_cast<uint8_t>(v + 1);
  }
  if (pixels > 0 &&
      fwrite(bytes.data(), bytes.size(), 1, run.output.get()) != 1)
    fail_writing(run);
}
