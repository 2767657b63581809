// harvin: classifies an image area without training data by clustering
// all of its pixels: a leader pass gathers the pixels within threshold1 of
// each leader, the closest clusters are merged until nClasses are left,
// and each pixel's class byte, its cluster's list position, goes into a
// COF file.
//
// harvin iPaths iChannels iType iRows iCols aRow aCol aRows aCols nClasses
//        threshold1 cof
#include <cstdio>

#include "console.h"
#include "harvin.h"

namespace {

const char *const USAGE[] = {
    "Usage: harvin \"<iPaths>\" \"<iChannels>\" <iType>\n",
    "               <iRows> <iCols> <aRow> <aCol>\n",
    "               <aRows> <aCols> <nClasses>\n",
    "               <threshold1> <cof>\n"};

void check_arguments(int argc, char **argv, HarvinRun &run) {
  check_argument_count(argc, 13, USAGE, 4);
  check_image_type(argv[3], run.files);
  scan_area(argv, run.files);
  scan_class_count(argv[10], &run.nClasses);
  if (sscanf(argv[11], "%f", &run.threshold1) != 1)
    fail_with("Illegal parameter.\n");
  check_band_lists(argv, run.files);
  run.files.cofPath = argv[12];
}

}  // namespace

int main(int argc, char **argv) {
  HarvinRun run;
  check_arguments(argc, argv, run);
  open_run_files(run.files);

  const int32_t pixels = area_pixels(run.files);
  ClusterList list;
  {
    PixelTable table;
    read_pixels(run.files, pixels, table);
    leader_pass(table, run.threshold1, list);
  }
  merge_closest_pairs(list, run.files.bandCount, list.size - run.nClasses, 5,
                      98);
  write_classes(run.files, list, pixels, run.nClasses);
  end_run(run.files);
  return 0;
}
