// sotrak: classifies every pixel of an image area like wimbel, with each
// class's Gaussian kernel sum replaced by a polynomial in the pixel's band
// values whose coefficients are computed once from the training samples;
// writes one class byte per pixel into a COF file.
//
// sotrak iPaths iBands iType sigma polynomialOrder maxSamples iRows iCols
//        aRow aCol aRows aCols tsPath cofPath
#include "console.h"
#include "pnnlib.h"
#include "sotrak.h"

namespace {

const char *const USAGE[4] = {
    "Usage: sotrak \"<iPaths>\" \"<iBands>\" <iType>\n",
    "              <sigma> <polynomialOrder> <maxSamples>\n",
    "              <iRows> <iCols> <aRow> <aCol>\n",
    "              <aRows> <aCols> <tsPath> <cofPath>\n",
};

struct SotrakArguments {
  int polynomialOrder = 0;
  int M = 0;
};

// A negative order, or one whose enumeration of the bands does not fit its
// table, is refused like an order above 6.
void check_arguments(int argc, char **argv, PnnRun &run, SotrakArguments &a) {
  check_argument_count(argc, 15, USAGE);
  int *const numbers[] = {&run.sigma, &a.polynomialOrder, &run.maxSamples,
                          &run.iRows, &run.iCols,         &run.aRow,
                          &run.aCol,  &run.aRows,         &run.aCols};
  scan_numbers(argv + 4, numbers, 9);
  check_image_and_open_files(run, argv[1], argv[2], argv[3], argv[13],
                             argv[14]);
  check_sample_limits(run);
  if (!order_fits(a.polynomialOrder, run.bandCount))
    fail_with("Illegal polynomial order (%d).\n", a.polynomialOrder);
  a.M = sample_scale(run.type);
  allocate_row_buffers(run);
}

}  // namespace

int main(int argc, char **argv) {
  PnnRun run;
  SotrakArguments a;
  check_arguments(argc, argv, run, a);

  auto ts = std::make_unique<TrainingSet>();
  load_training_samples(run.ts.get(), run.bandCount, run.maxSamples, *ts);
  PolynomialModel model;
  build_polynomial_model(*ts, run.bandCount, run.sigma, a.polynomialOrder, a.M,
                         model);

  classify_rows(run, [&](const int32_t *const *values) {
    decide_pixels(model, *ts, values, run.aCols, run.out.get());
  });
  end_run(run);
  return 0;
}
