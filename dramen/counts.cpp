// Counting the value pairs of the area and finding the maxima.
#include <algorithm>
#include <limits>

#include "console.h"
#include "dramen.h"

CountsHandle new_counts() {
  CountsHandle counts = allocate_zeroed<ScatterCounts>(1);
  if (!counts) fail_with("Error allocating memory.\n");
  return counts;
}

namespace {

// Counts one area row: every pixel into the pending totals, then the
// pixels of each group counted pixel by pixel into the group's table.
// `cells` and `inside` are scratch rows of aCols entries when there are
// such groups.
template <class Pending>
void count_row(ScatterRun &run, Pending *pending, uint16_t *cells,
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
    int64_t *counts = group.counts.get()->cell;
    for (int x = 0; x < n; ++x) counts[cells[x]] += inside[x];
  }
}

// Adds the pending totals to the total table and clears them.
template <class Pending>
void add_pending(ScatterRun &run, Pending *pending) {
  int64_t *total = run.total.get()->cell;
  for (int c = 0; c < PLOT_VALUES * PLOT_VALUES; ++c) {
    total[c] += pending[c];
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
  const int64_t *total = run.total.get()->cell;
  int64_t *counts = group.counts.get()->cell;
  for (int value1 = 0; value1 < PLOT_VALUES; ++value1) {
    for (int value2 = 0; value2 < PLOT_VALUES; ++value2) {
      const int c = value1 * PLOT_VALUES + value2;
      if (total[c] == 0) continue;
      for (const AreaRect &rect : group.area.rects) {
        if (rect_contains_values(
                rect, cell_value(rect.band1, run.plotBand1, value1, value2),
                cell_value(rect.band2, run.plotBand1, value1, value2))) {
          counts[c] = total[c];
          break;
        }
      }
    }
  }
}

}  // namespace

template <class Pending>
void count_area_pending(ScatterRun &run) {
  bool pixelGroups = false;
  for (AreaGroup &group : run.groups) {
    group.byCell =
        tests_plot_bands_only(group.area, run.plotBand1, run.plotBand2);
    pixelGroups |= !group.byCell;
  }
  // Totals are counted in 32 bits first (a table half the size stays in
  // cache better) and added to the 64-bit table before a count could wrap:
  // a row of at most INT_MAX pixels always fits.
  // The scratch rows serve only groups counted pixel by pixel, and they are
  // fresh zeroed pages: a row far wider than its files costs nothing before
  // the first read fails.
  ZeroedArray<Pending> pending =
      allocate_zeroed<Pending>(PLOT_VALUES * PLOT_VALUES);
  if (!pending) fail_allocating_area();
  ZeroedArray<uint16_t> cells;
  ZeroedArray<uint8_t> inside;
  if (pixelGroups) {
    const size_t columns = static_cast<size_t>(run.args.aCols);
    cells = allocate_zeroed<uint16_t>(columns);
    inside = allocate_zeroed<uint8_t>(columns);
    if (!cells || !inside) fail_allocating_area();
  }
  const uint64_t limit = std::numeric_limits<Pending>::max();
  const uint64_t rowPixels = static_cast<uint64_t>(run.args.aCols);
  uint64_t pendingPixels = 0;
  for (int r = 0; r < run.args.aRows; r = next_area_row(run.args, r)) {
    if (pendingPixels + rowPixels > limit) {
      add_pending(run, pending.get());
      pendingPixels = 0;
    }
    read_plane_rows(run.args, &run.planes, r);
    count_row(run, pending.get(), cells.get(), inside.get(), pixelGroups);
    pendingPixels += rowPixels;
  }
  add_pending(run, pending.get());
  for (AreaGroup &group : run.groups)
    if (group.byCell) count_by_cells(run, group);
  // The plot file must not replace one of the files just read, nor any
  // other file the lists name.
  run.plotNamesInput = output_names_plane(run.plotPath, run.args, run.planes);
  close_planes(&run.planes);
}

template void count_area_pending<uint32_t>(ScatterRun &run);
template void count_area_pending<uint8_t>(ScatterRun &run);

void find_maxima(ScatterRun &run) {
  const int64_t *total = run.total.get()->cell;
  run.totalMaximum = 0;
  for (int c = 0; c < PLOT_VALUES * PLOT_VALUES; ++c)
    if (total[c] > run.totalMaximum) run.totalMaximum = total[c];
  for (AreaGroup &group : run.groups) {
    const int64_t *counts = group.counts.get()->cell;
    group.maximum = 0;
    for (int c = 0; c < PLOT_VALUES * PLOT_VALUES; ++c)
      if (total[c] > 0 && counts[c] > group.maximum) group.maximum = counts[c];
  }
}
