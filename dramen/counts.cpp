// Counting the value pairs of the area and finding the maxima.
#include <algorithm>
#include <new>

#include "console.h"
#include "dramen.h"

CountsHandle new_counts() {
  CountsHandle counts(
      static_cast<ScatterCounts *>(calloc(1, sizeof(ScatterCounts))));
  if (!counts) fail_with("Error allocating memory.\n");
  return counts;
}

namespace {

// Counts one area row: every pixel into the 32-bit pending totals, then the
// pixels of each group counted pixel by pixel into the group's table.
// `cells` and `inside` are scratch rows of aCols entries.
void count_row(ScatterRun &run, uint32_t *pending, uint16_t *cells,
               uint8_t *inside, bool pixelGroups) {
  const int n = run.args.aCols;
  const uint8_t *values1 = plane_row(run.planes, run.plotBand1);
  const uint8_t *values2 = plane_row(run.planes, run.plotBand2);
  if (!pixelGroups) {
    for (int x = 0; x < n; ++x) ++pending[values1[x] << 8 | values2[x]];
    return;
  }
  for (int x = 0; x < n; ++x) {
    cells[x] = static_cast<uint16_t>(values1[x] << 8 | values2[x]);
    ++pending[cells[x]];
  }
  for (AreaGroup &group : run.groups) {
    if (group.byCell) continue;
    std::fill(inside, inside + n, 0);
    mark_group_row(group.area, run.planes, n, 1, inside);
    int64_t *counts = group.counts->cell;
    for (int x = 0; x < n; ++x) counts[cells[x]] += inside[x];
  }
}

// Adds the pending 32-bit totals to the total table and clears them.
void add_pending(ScatterRun &run, uint32_t *pending) {
  for (int c = 0; c < PLOT_VALUES * PLOT_VALUES; ++c) {
    run.total->cell[c] += pending[c];
    pending[c] = 0;
  }
}

bool tests_plot_bands_only(const RectGroup &area, int plotBand1,
                           int plotBand2) {
  for (const AreaRect &rect : area.rects)
    for (int code : {rect.band1, rect.band2})
      if (code != plotBand1 && code != plotBand2) return false;
  return true;
}

// The value of a plot band's code in a cell (both codes may be the same).
int cell_value(int code, int plotBand1, int value1, int value2) {
  return code == plotBand1 ? value1 : value2;
}

// A group counted by cells takes the total count of every cell whose value
// pair lies in one of its rectangles.
void count_by_cells(const ScatterRun &run, AreaGroup &group) {
  const int64_t *total = run.total->cell;
  for (int value1 = 0; value1 < PLOT_VALUES; ++value1) {
    for (int value2 = 0; value2 < PLOT_VALUES; ++value2) {
      const int c = value1 * PLOT_VALUES + value2;
      if (total[c] == 0) continue;
      for (const AreaRect &rect : group.area.rects) {
        if (rect_contains_values(
                rect, cell_value(rect.band1, run.plotBand1, value1, value2),
                cell_value(rect.band2, run.plotBand1, value1, value2))) {
          group.counts->cell[c] = total[c];
          break;
        }
      }
    }
  }
}

}  // namespace

void count_area(ScatterRun &run) {
  bool pixelGroups = false;
  for (AreaGroup &group : run.groups) {
    group.byCell =
        tests_plot_bands_only(group.area, run.plotBand1, run.plotBand2);
    pixelGroups |= !group.byCell;
  }
  // Totals are counted in 32 bits first (a table half the size stays in
  // cache better) and added to the 64-bit table before a count could wrap.
  std::vector<uint32_t> pending;
  uint64_t pendingPixels = 0;
  std::vector<uint16_t> cells;
  std::vector<uint8_t> inside;
  try {
    pending.resize(PLOT_VALUES * PLOT_VALUES);
    cells.resize(static_cast<size_t>(run.args.aCols));
    inside.resize(static_cast<size_t>(run.args.aCols));
  } catch (const std::bad_alloc &) {
    fail_with("Error allocating memory.");
  }
  const uint64_t rowPixels = static_cast<uint64_t>(run.args.aCols);
  for (int r = 0; r < run.args.aRows; ++r) {
    if (pendingPixels + rowPixels > UINT32_MAX) {
      add_pending(run, pending.data());
      pendingPixels = 0;
    }
    read_planes(run.args, &run.planes, r);
    count_row(run, pending.data(), cells.data(), inside.data(), pixelGroups);
    pendingPixels += rowPixels;
  }
  add_pending(run, pending.data());
  for (AreaGroup &group : run.groups)
    if (group.byCell) count_by_cells(run, group);
  // The plot file must not replace one of the files just read.
  run.plotNamesInput = output_names_plane(run.plotPath, run.planes);
  close_planes(&run.planes);
}

void find_maxima(ScatterRun &run) {
  const int64_t *total = run.total->cell;
  run.totalMaximum = 0;
  for (int c = 0; c < PLOT_VALUES * PLOT_VALUES; ++c)
    if (total[c] > run.totalMaximum) run.totalMaximum = total[c];
  for (AreaGroup &group : run.groups) {
    group.maximum = 0;
    for (int c = 0; c < PLOT_VALUES * PLOT_VALUES; ++c)
      if (total[c] > 0 && group.counts->cell[c] > group.maximum)
        group.maximum = group.counts->cell[c];
  }
}
