// The counting of dramen, run in the test itself: totals counted in narrow
// pending counters must come out exact however many pixels share a cell.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "dramen.h"
#include "testsupport.h"

namespace {

// A scene of `rows` x 17 pixels in bands 1 and 2: every pixel holds the
// pair (5, 7) but the first of each even row, which holds (9, 7). Band 3
// copies band 1.
struct CountScene {
  testsupport::TempDir dir;
  std::string paths;
  int rows;

  explicit CountScene(int rowCount) : rows(rowCount) {
    std::vector<uint8_t> band1(static_cast<size_t>(rows) * 17, 5);
    std::vector<uint8_t> band2(band1.size(), 7);
    for (int r = 0; r < rows; r += 2) band1[static_cast<size_t>(r) * 17] = 9;
    testsupport::write_band8(dir.file("b1"), band1);
    testsupport::write_band8(dir.file("b2"), band2);
    testsupport::write_band8(dir.file("b3"), band1);
    paths = dir.file("b1") + " " + dir.file("b2") + " " + dir.file("b3");
  }
};

// Counts the scene with the pending counters of type `Pending` and the
// areas given; the non-empty cells of the total and of each group.
template <class Pending>
std::map<int, std::vector<int64_t>> counted(const CountScene &scene,
                                            const char *areas) {
  ScatterRun run;
  const std::string rows = std::to_string(scene.rows);
  char *argv[] = {nullptr,
                  const_cast<char *>(scene.paths.c_str()),
                  const_cast<char *>("1 2 3"),
                  const_cast<char *>("NO-PCI"),
                  const_cast<char *>("1"),
                  const_cast<char *>(rows.c_str()),
                  const_cast<char *>("17"),
                  const_cast<char *>("0"),
                  const_cast<char *>("0"),
                  const_cast<char *>(rows.c_str()),
                  const_cast<char *>("17")};
  EXPECT_TRUE(scan_area_arguments(argv, &run.args));
  run.plotBand1 = 1;
  run.plotBand2 = 2;
  const std::string plot = scene.dir.file("plot");
  run.plotPath = plot.c_str();
  mark_band_code(&run.planes, 2);
  mark_band_code(&run.planes, 1);
  std::vector<RectGroup> parsed;
  EXPECT_EQ(parse_area_groups(areas, AREA_KEY_NAME, 1, &parsed, &run.planes),
            AREAS_OK);
  run.total = new_counts();
  run.groups.resize(parsed.size());
  for (size_t g = 0; g < parsed.size(); ++g) {
    run.groups[g].area = parsed[g];
    run.groups[g].counts = new_counts();
  }
  int number = 0;
  EXPECT_EQ(open_plane_files(run.args, &run.planes, &number), PLANES_OK);
  EXPECT_EQ(allocate_plane_rows(run.args, &run.planes), PLANES_OK);
  count_area_pending<Pending>(run);
  // Newest group first: the one tested pixel by pixel, then the other.
  EXPECT_EQ(run.groups.size(), 2u);
  EXPECT_FALSE(run.groups[0].byCell);
  EXPECT_TRUE(run.groups[1].byCell);
  std::map<int, std::vector<int64_t>> cells;
  for (int c = 0; c < PLOT_VALUES * PLOT_VALUES; ++c) {
    if (run.total.get()->cell[c] == 0) continue;
    cells[c].push_back(run.total.get()->cell[c]);
    for (const AreaGroup &group : run.groups)
      cells[c].push_back(group.counts.get()->cell[c]);
  }
  return cells;
}

// Rows of 17 pixels: 15 rows fill an 8-bit counter to 255 exactly, so the
// totals must be added to the 64-bit table before the 16th row, and again
// every 15 rows after it. The cell (5, 7) holds nearly every pixel.
TEST(CountArea, PendingTotalsAddedBeforeTheyWrap) {
  // One group counted by cells, one pixel by pixel (band 3).
  const char *areas = "cells:1:5:5:2:0:255,pixels:2:7:7:3:9:9";
  const int cell57 = 5 * PLOT_VALUES + 7, cell97 = 9 * PLOT_VALUES + 7;
  for (int rows : {1, 15, 16, 30, 31, 40, 200}) {
    const CountScene scene(rows);
    const int64_t firsts = (rows + 1) / 2;
    // Newest group first: the pixel group, then the cell group.
    const std::map<int, std::vector<int64_t>> expected = {
        {cell57, {17 * rows - firsts, 0, 17 * rows - firsts}},
        {cell97, {firsts, firsts, 0}}};
    EXPECT_EQ(counted<uint8_t>(scene, areas), expected) << rows;
    EXPECT_EQ(counted<uint32_t>(scene, areas), expected) << rows;
  }
}

}  // namespace
