// Console pieces shared by the unsupervised classifiers.
#include "clustertool.h"

#include "console.h"

void check_run_start(int argc, char **argv, int expected,
                     const char *const usage[4], BandRun &run) {
  check_argument_count(argc, expected, usage, 4);
  check_image_type(run, argv[3]);
  scan_area(run, argv + 4);
}

void scan_class_count(const char *text, int *nClasses) {
  scan_argument(text, nClasses);
  if (*nClasses < 1) fail_with("Illegal parameter.\n");
}
