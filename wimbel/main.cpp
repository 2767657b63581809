// wimbel: classifies every pixel of an image area by the Parzen-window
// (Gaussian kernel) density of each class at the pixel's band values,
// estimated from the samples of a training set file, and writes one class
// byte per pixel into a COF file.
//
// wimbel iPaths iBands iType sigma maxSamples iRows iCols aRow aCol aRows
//        aCols tsPath cofPath
#include <memory>

#include "console.h"
#include "parzen.h"
#include "pnntool.h"

namespace {

const char *const USAGE[4] = {
    "Usage: wimbel \"<iPaths>\" \"<iBands>\" <iType>\n",
    "            <sigma> <maxSamples> <iRows> <iCols>\n",
    "            <aRow> <aCol> <aRows> <aCols> <tsPath>\n",
    "            <cofPath>\n",
};

}  // namespace

int main(int argc, char **argv) {
  ignore_broken_pipe();
  PnnRun run;
  int *const numbers[] = {&run.sigma, &run.maxSamples};
  check_shared_arguments(argc, argv, 14, USAGE, numbers, 2, run);
  allocate_row_buffers(run);

  auto ts = std::make_unique<TrainingSet>();
  load_samples(run, *ts);
  ParzenModel model;
  build_parzen_model(*ts, run.bandRun.bandCount, run.sigma, model);

  classify_rows(run, [&](const int32_t *const *values) {
    decide_pixels(model, *ts, values, run.bandRun.aCols,
                  run.bandRun.outputRow.get());
  });
  end_run(run);
  return 0;
}
