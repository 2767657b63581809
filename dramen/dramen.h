// dramen: counts the pixel value pairs of two band codes over an area, once
// for all pixels and once per named group of rectangles, into a plot file.
#pragma once

#include <cstdint>
#include <vector>

#include "areatool.h"
#include "buffer.h"

constexpr int PLOT_VALUES = 256;

// Counts per value pair, indexed value1 * 256 + value2. Counts are 64-bit:
// an area of more than 2^31 pixels of one pair still counts right.
struct ScatterCounts {
  int64_t cell[PLOT_VALUES * PLOT_VALUES];
};

// One zeroed table: counts.get()->cell.
using CountsHandle = ZeroedArray<ScatterCounts>;

// A named group of rectangles with the counts of the pixels it holds.
struct AreaGroup {
  RectGroup area;  // name and rectangles, newest first
  CountsHandle counts;
  int64_t maximum = 0;
  // Every rectangle tests only the two plot bands: membership follows from
  // a pixel's value pair, so the group counts whole cells of the total.
  bool byCell = false;
};

struct ScatterRun {
  AreaArguments args;
  int plotBand1 = 0;
  int plotBand2 = 0;
  const char *areas = nullptr;
  const char *plotPath = nullptr;
  InputPlanes planes;
  bool plotNamesInput = false;  // the plot path names an input
  CountsHandle total;
  int64_t totalMaximum = 0;
  std::vector<AreaGroup> groups;  // newest first
};

// A zeroed table; ends the run when none can be had.
CountsHandle new_counts();

// Counts every pixel of the area, reading the planes row by row, then
// closes the planes. The totals are counted in `Pending` counters first and
// added to the 64-bit table before one could wrap. The program counts in
// uint32_t (count_area); the tests also count in uint8_t (a row then must
// not be wider than 255 pixels), so that a small area needs the additions.
template <class Pending>
void count_area_pending(ScatterRun &run);

inline void count_area(ScatterRun &run) { count_area_pending<uint32_t>(run); }

// The largest count of the total table, and of each group over the cells
// that hold pixels.
void find_maxima(ScatterRun &run);

// Creates the plot file and writes the counts; ends the run on failure.
void write_plot_file(ScatterRun &run);
