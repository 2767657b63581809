// Drawing the samples of the grid.
#include <climits>
#include <cstdint>
#include <new>

#include "grenik.h"

Grid clipped_grid(int cellCount, int cellSamples, int aRows, int aCols) {
  int64_t cells = cellCount;
  if (aRows < cells) cells = aRows;
  if (aCols < cells) cells = aCols;
  // A negative count (or area side) is a grid without cells.
  // So is a grid that draws nothing in its cells. A total past 64 bits is
  // held at the top, which no run can draw.
  Grid grid;
  if (cells <= 0 || cellSamples <= 0) return grid;
  grid.cells = cells;
  const int64_t perRow = cellSamples * cells;
  grid.samples = perRow > INT64_MAX / cells ? INT64_MAX : perRow * cells;
  return grid;
}

CellSpan cell_span(int64_t i, int64_t cells, int64_t length) {
  CellSpan span;
  span.start = i * length / cells;
  span.size = (i + 1) * length / cells - span.start;
  return span;
}

namespace {

// The store of every draw, had at once. Each draw is a cluster with an int
// count and list position, so a total past int cannot be had either.
void reserve_draw_store(const Grid &grid, ClusterList &list) {
  if (grid.samples > INT_MAX) fail_allocating();
  try {
    list.clusters.reserve(static_cast<size_t>(grid.samples));
  } catch (const std::bad_alloc &) {
    fail_allocating();
  }
}

}  // namespace

void draw_samples(GrenikRun &run, const Grid &grid, ClusterList &list) {
  const BandRun &f = run.bandRun;
  int drawn = 0;
  for (int64_t i = 0; i < grid.cells; ++i) {
    const CellSpan rows = cell_span(i, grid.cells, f.aRows);
    for (int64_t j = 0; j < grid.cells; ++j) {
      const CellSpan cols = cell_span(j, grid.cells, f.aCols);
      for (int s = 0; s < run.cellSamples; ++s) {
        const int64_t dr = next_random() * rows.size / RANDOM_RANGE;
        const int64_t dc = next_random() * cols.size / RANDOM_RANGE;
        float mean[MAX_BANDS] = {};
        for (int k = 0; k < f.bandCount; ++k)
          if (read_area_samples(f, k, rows.start + dr, cols.start + dc, 1,
                                &mean[k], KIND_FLOAT) != 0)
            fail_reading(f, k);
        // The store is had once the first draw has been read: band files
        // that cannot give even one sample fail at that read, whatever the
        // store would take.
        if (drawn == 0) reserve_draw_store(grid, list);
        if (push_cluster(list, mean, f.bandCount) == NO_LINK) fail_allocating();
        show_progress(0, 2, ++drawn, static_cast<int>(grid.samples));
      }
    }
  }
}
