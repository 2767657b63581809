// harvin: classifies an image area without training data by clustering
// all of its pixels: a leader pass gathers the pixels within threshold1 of
// each leader, the closest clusters are merged until nClasses are left,
// and each pixel's class byte, its cluster's list position, goes into a
// COF file.
//
// harvin iPaths iChannels iType iRows iCols aRow aCol aRows aCols nClasses
//        threshold1 cof
#include "console.h"
#include "harvin.h"

namespace {

const char *const USAGE[] = {
    "Usage: harvin \"<iPaths>\" \"<iChannels>\" <iType>\n",
    "               <iRows> <iCols> <aRow> <aCol>\n",
    "               <aRows> <aCols> <nClasses>\n",
    "               <threshold1> <cof>\n"};

void check_arguments(int argc, char **argv, HarvinRun &run) {
  check_run_start(argc, argv, 13, USAGE, run.bandRun);
  scan_class_count(argv[10], &run.nClasses);
  if (!scan_float(argv[11], &run.threshold1)) fail_with("Illegal parameter.\n");
  check_band_lists(run.bandRun, argv[1], argv[2]);
}

}  // namespace

int main(int argc, char **argv) {
  ignore_broken_pipe();
  HarvinRun run;
  check_arguments(argc, argv, run);
  open_bands(run.bandRun);
  open_output(run.bandRun, argv[12]);

  const int32_t pixels = area_pixels(run.bandRun);
  ClusterList list;
  {
    PixelTable table;
    read_pixels(run.bandRun, pixels, table);
    leader_pass(table, run.threshold1, list);
  }
  if (merge_closest_pairs(list, run.bandRun.bandCount, list.size - run.nClasses,
                          5, 98) != 0)
    fail_allocating();
  write_classes(run.bandRun, list, pixels, run.nClasses);
  close_output(run.bandRun);
  return 0;
}
