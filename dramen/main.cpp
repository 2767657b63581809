// dramen: scatter-plot counts of two band codes over an area, overall and
// per named group of value-range rectangles, written as a plot file.
//
// dramen iPaths iBands pciPaths iType iRows iCols aRow aCol aRows aCols
//        plotBand1 plotBand2 areas plotPath
#include <new>

#include "console.h"
#include "dramen.h"

namespace {

constexpr int ARG_COUNT = 14;

void check_arguments(int argc, char **argv, ScatterRun &run) {
  if (argc != ARG_COUNT + 1) fail_with("Missing/extra parameter [%d].\n", argc);
  if (!scan_area_arguments(argv, &run.args) ||
      !scan_int(argv[11], &run.plotBand1) ||
      !scan_int(argv[12], &run.plotBand2))
    fail_with("Illegal parameter.\n");
  // A plot band must name a plane the image stores, and a type of no layout
  // would count an area of zeros as if it had been read.
  if (!legal_band_code(run.plotBand1, run.args.iType) ||
      !legal_band_code(run.plotBand2, run.args.iType) ||
      !legal_image_type(run.args.iType))
    fail_with("Illegal parameter.\n");
  run.areas = argv[13];
  run.plotPath = argv[14];
}

// Gives every parsed group its zeroed counts, in list order.
void make_groups(ScatterRun &run, std::vector<RectGroup> &parsed) {
  run.total = new_counts();
  try {
    run.groups.resize(parsed.size());
  } catch (const std::bad_alloc &) {
    fail_with("Error allocating memory.\n");
  }
  for (size_t g = 0; g < parsed.size(); ++g) {
    run.groups[g].area = std::move(parsed[g]);
    run.groups[g].counts = new_counts();
  }
}

}  // namespace

int main(int argc, char **argv) {
  ignore_broken_pipe();
  ScatterRun run;
  check_arguments(argc, argv, run);
  mark_band_code(&run.planes, run.plotBand2);
  mark_band_code(&run.planes, run.plotBand1);
  std::vector<RectGroup> parsed;
  parse_areas(run.areas, AREA_KEY_NAME, run.args.iType, &parsed, &run.planes);
  make_groups(run, parsed);
  open_planes(run.args, &run.planes);
  allocate_planes(run.args, &run.planes);
  count_area(run);
  find_maxima(run);
  write_plot_file(run);
  return 0;
}
