// harvin: unsupervised classification of an image area by clustering all
// of its pixels. Reading the pixels and the leader pass's sum limit
// (pixels.cpp), the leader pass (leaders.cpp), writing the class bytes
// (writing.cpp).
#pragma once

#include <cstdint>
#include <vector>

#include "clusterlib.h"
#include "clustertool.h"

struct HarvinRun {
  BandRun bandRun{CLUSTER_PROFILE};
  int nClasses = 0;
  float threshold1 = 0.0f;
};

// The pixels of the area in list order: the area's last pixel first, so
// position i holds pixel number count - 1 - i. The samples come from 8-bit
// or 16-bit band files, so every value is a whole number 0..65535.
struct PixelTable {
  int bands = 0;
  int32_t count = 0;
  std::vector<float> values[MAX_BANDS];  // sample per band and position
};

// The number of pixels of the area; "Error allocating memory." when it
// exceeds the range of the COF file's pixel numbers.
int32_t area_pixels(const BandRun &run);

// Reads the area row by row (progress 0..2) into the table.
void read_pixels(const BandRun &run, int32_t count, PixelTable &table);

// The largest single-precision sum whose root (in double precision) is at
// most `threshold`; false when not even a sum of 0 is.
bool absorb_limit(float threshold, float *limit);

// The leader pass (progress 2..5): each remaining pixel in list order
// becomes a cluster and absorbs every later remaining pixel within
// threshold1 of its own samples. The list holds the leaders in order, each
// with its own pixel and the pixels it absorbed as members.
void leader_pass(PixelTable &table, float threshold1, ClusterList &list);

// One class byte per member at its pixel's offset (progress 98..100).
void write_classes(const BandRun &run, const ClusterList &list, int32_t pixels,
                   int nClasses);
