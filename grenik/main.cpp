// grenik: classifies an image area without training data. Random pixels
// drawn from a square grid of cells become clusters, the closest clusters
// are merged until nClasses are left, and every pixel of the area gets the
// class byte of its nearest cluster in a COF file.
//
// grenik iPaths iChannels iType iRows iCols aRow aCol aRows aCols seed
//        cellCount cellSamples nClasses cof
#include "console.h"
#include "grenik.h"

namespace {

const char *const USAGE[] = {
    "Usage: grenik \"<iPaths>\" \"<iChannels>\" <iType>\n",
    "               <iRows> <iCols> <aRow> <aCol>\n",
    "               <aRows> <aCols> <seed> <cellCount>\n",
    "               <cellSamples> <nClasses> <cof>\n"};

void check_arguments(int argc, char **argv, GrenikRun &run) {
  check_run_start(argc, argv, 15, USAGE, run.bandRun);
  scan_argument(argv[10], &run.seed);
  scan_argument(argv[11], &run.cellCount);
  scan_argument(argv[12], &run.cellSamples);
  scan_class_count(argv[13], &run.nClasses);
  check_band_lists(run.bandRun, argv[1], argv[2]);
}

}  // namespace

int main(int argc, char **argv) {
  ignore_broken_pipe();
  GrenikRun run;
  check_arguments(argc, argv, run);
  allocate_run_rows(run.bandRun, run.rows);
  open_bands(run.bandRun);
  open_output(run.bandRun, argv[14]);
  seed_random_or_time(static_cast<uint32_t>(run.seed));

  const Grid grid = clipped_grid(run.cellCount, run.cellSamples,
                                 run.bandRun.aRows, run.bandRun.aCols);
  ClusterList list;
  draw_samples(run, grid, list);
  if (merge_closest_pairs(list, run.bandRun.bandCount,
                          static_cast<int>(grid.samples) - run.nClasses, 2,
                          50) != 0)
    fail_allocating();
  label_area(run, list);
  close_output(run.bandRun);
  return 0;
}
