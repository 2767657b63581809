// wimbel: classifies every pixel of an image area by the Parzen-window
// (Gaussian kernel) density of each class at the pixel's band values,
// estimated from the samples of a training set file, and writes one class
// byte per pixel into a COF file.
//
// wimbel iPaths iBands iType sigma maxSamples iRows iCols aRow aCol aRows
//        aCols tsPath cofPath
#include <memory>

#include "parzen.h"
#include "pnnlib.h"

namespace {

const char *const USAGE[4] = {
    "Usage: wimbel \"<iPaths>\" \"<iBands>\" <iType>\n",
    "            <sigma> <maxSamples> <iRows> <iCols>\n",
    "            <aRow> <aCol> <aRows> <aCols> <tsPath>\n",
    "            <cofPath>\n",
};

void check_arguments(int argc, char **argv, PnnRun &run) {
  check_argument_count(argc, 14, USAGE);
  int *const numbers[] = {&run.sigma, &run.maxSamples, &run.iRows, &run.iCols,
                          &run.aRow,  &run.aCol,       &run.aRows, &run.aCols};
  scan_numbers(argv + 4, numbers, 8);
  check_image_and_open_files(run, argv[1], argv[2], argv[3], argv[12],
                             argv[13]);
  check_sample_limits(run);
  allocate_row_buffers(run);
}

}  // namespace

int main(int argc, char **argv) {
  PnnRun run;
  check_arguments(argc, argv, run);

  auto ts = std::make_unique<TrainingSet>();
  load_training_samples(run.ts.get(), run.bandCount, run.maxSamples, *ts);
  ParzenModel model;
  build_parzen_model(*ts, run.bandCount, run.sigma, model);

  classify_rows(run, [&](const int32_t *const *values) {
    decide_pixels(model, *ts, values, run.aCols, run.out.get());
  });
  end_run(run);
  return 0;
}
