// sotrak: classifies every pixel of an image area like wimbel, with each
// class's Gaussian kernel sum replaced by a polynomial in the pixel's band
// values whose coefficients are computed once from the training samples;
// writes one class byte per pixel into a COF file.
//
// sotrak iPaths iBands iType sigma polynomialOrder maxSamples iRows iCols
//        aRow aCol aRows aCols tsPath cofPath
#include "console.h"
#include "pnntool.h"
#include "sotrak.h"

namespace {

const char *const USAGE[4] = {
    "Usage: sotrak \"<iPaths>\" \"<iBands>\" <iType>\n",
    "              <sigma> <polynomialOrder> <maxSamples>\n",
    "              <iRows> <iCols> <aRow> <aCol>\n",
    "              <aRows> <aCols> <tsPath> <cofPath>\n",
};

}  // namespace

int main(int argc, char **argv) {
  ignore_broken_pipe();
  PnnRun run;
  int polynomialOrder = 0;
  int *const numbers[] = {&run.sigma, &polynomialOrder, &run.maxSamples};
  check_shared_arguments(argc, argv, 15, USAGE, numbers, 3, run);
  const BandRun &f = run.bandRun;
  // A negative order, or one whose enumeration of the bands does not fit
  // its table, is refused like an order above 6.
  if (!order_fits(polynomialOrder, f.bandCount))
    fail_with("Illegal polynomial order (%d).\n", polynomialOrder);
  const int M = sample_scale(f.type);
  allocate_row_buffers(run);

  load_samples(run);
  const TrainingSet &ts = *run.training;
  PolynomialModel model;
  if (build_polynomial_model(ts, f.bandCount, run.sigma, polynomialOrder, M,
                             model) != 0)
    fail_allocating();

  classify_rows(run, [&](const int32_t *const *values) {
    decide_polynomial_pixels(model, ts, values, f.aCols, f.outputRow.get());
  });
  end_run(run);
  return 0;
}
