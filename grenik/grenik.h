// grenik: unsupervised classification of an image area by clusters of
// samples drawn at random from a square grid of cells. Drawing the samples
// (sampling.cpp), labelling every pixel with its nearest cluster
// (labelling.cpp).
#pragma once

#include <cstdint>

#include "buffer.h"
#include "clusterlib.h"
#include "clustertool.h"

struct GrenikRun {
  BandRun bandRun{CLUSTER_PROFILE};  // its output row holds aCols class bytes
  int seed = 0, cellCount = 0, cellSamples = 0, nClasses = 0;
  ZeroedArray<uint16_t> rows[MAX_BANDS];  // aCols samples each
};

// The grid of cells over the area, clipped to the area's rows and columns.
struct Grid {
  int64_t cells = 0;    // cells per side; 0 when nothing can be drawn
  int64_t samples = 0;  // T, the draws of the whole grid
};
Grid clipped_grid(int cellCount, int cellSamples, int aRows, int aCols);

// First row and height of cell i of `cells` over `length` rows (or
// columns): quotients truncated, the last cell taking what is left.
struct CellSpan {
  int64_t start = 0, size = 0;
};
CellSpan cell_span(int64_t i, int64_t cells, int64_t length);

// One cluster per draw, pushed at the head; progress 0..2. The store of all
// the draws is obtained once the first draw is read, before it becomes a
// cluster: "Error allocating memory." at once when it cannot be had, a
// total past the range of int included.
void draw_samples(GrenikRun &run, const Grid &grid, ClusterList &list);

// Every row of the area, each pixel given the class byte of its nearest
// cluster; progress 50..100. The clusters are laid out for this first:
// "Error allocating memory." when there is no room for them.
void label_area(GrenikRun &run, const ClusterList &list);
