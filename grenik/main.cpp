// grenik: classifies an image area without training data. Random pixels
// drawn from a square grid of cells become clusters, the closest clusters
// are merged until nClasses are left, and every pixel of the area gets the
// class byte of its nearest cluster in a COF file.
//
// grenik iPaths iChannels iType iRows iCols aRow aCol aRows aCols seed
//        cellCount cellSamples nClasses cof
#include <climits>

#include "grenik.h"

namespace {

const char *const USAGE[] = {
    "Usage: grenik \"<iPaths>\" \"<iChannels>\" <iType>\n",
    "               <iRows> <iCols> <aRow> <aCol>\n",
    "               <aRows> <aCols> <seed> <cellCount>\n",
    "               <cellSamples> <nClasses> <cof>\n"};

void check_arguments(int argc, char **argv, GrenikRun &run) {
  check_argument_count(argc, 15, USAGE, 4);
  check_image_type(argv[3], run.files);
  scan_area(argv, run.files);
  scan_number(argv[10], &run.seed);
  scan_number(argv[11], &run.cellCount);
  scan_number(argv[12], &run.cellSamples);
  scan_class_count(argv[13], &run.nClasses);
  check_band_lists(argv, run.files);
  run.files.cofPath = argv[14];
}

// Zeroed buffers: a band that the image type does not store (GI bands
// above 5) reads as zeros. A negative column count cannot be allocated.
void allocate_buffers(GrenikRun &run) {
  const int cols = run.files.aCols;
  const size_t size = cols > 0 ? static_cast<size_t>(cols) : 1;
  for (int k = 0; k < run.files.bandCount; ++k) {
    if (cols >= 0)
      run.rows[k].reset(
          static_cast<uint16_t *>(calloc(size, sizeof(uint16_t))));
    if (run.rows[k] == nullptr) fail_allocating();
  }
  if (cols >= 0) run.out.reset(static_cast<uint8_t *>(calloc(size, 1)));
  if (run.out == nullptr) fail_allocating();
}

}  // namespace

int main(int argc, char **argv) {
  GrenikRun run;
  check_arguments(argc, argv, run);
  allocate_buffers(run);
  open_run_files(run.files);
  seed_random_or_time(static_cast<uint32_t>(run.seed));

  const Grid grid = clipped_grid(run.cellCount, run.cellSamples,
                                 run.files.aRows, run.files.aCols);
  // Each draw is a cluster with an int count and list position.
  if (grid.samples > INT_MAX) fail_allocating();
  ClusterList list;
  draw_samples(run, grid, list);
  merge_closest_pairs(list, run.files.bandCount,
                      static_cast<int>(grid.samples) - run.nClasses, 2, 50);
  label_area(run, list);
  end_run(run.files);
  return 0;
}
