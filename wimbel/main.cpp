// wimbel: classifies every pixel of an image area by the Parzen-window
// (Gaussian kernel) density of each class at the pixel's band values,
// estimated from the samples of a training set file, and writes one class
// byte per pixel into a COF file.
//
// wimbel iPaths iBands iType sigma maxSamples iRows iCols aRow aCol aRows
//        aCols tsPath cofPath
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

  load_samples(run);
  const TrainingSet &ts = *run.training;
  ParzenModel model;
  if (build_parzen_model(ts, run.bandRun.bandCount, run.sigma, model) != 0)
    fail_allocating();

  classify_rows(run, [&](const int32_t *const *values) {
    decide_parzen_pixels(model, ts, values, run.bandRun.aCols,
                         run.bandRun.outputRow.get());
  });
  end_run(run);
  return 0;
}
