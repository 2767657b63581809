// The console pieces that the two unsupervised classifiers share beyond the
// band-set run: how their messages name the COF file, the start of their
// argument checks and the number of classes. Every failure prints the
// tool's message on standard error and ends the run with status 1.
#pragma once

#include <cerrno>

#include "bandrun.h"

// "Error opening COF file \"%s\" (%s).\n" and its siblings name the path;
// an image position past the range of int is an invalid argument.
inline const RunProfile CLUSTER_PROFILE = {"COF file", true, "w+b", EINVAL};

// The checks before the tool's own numbers: the argument count (argc 1
// prints the four usage lines), the image type (argument 3, looked up
// before any number is read), then the area (arguments 4 to 9).
void check_run_start(int argc, char **argv, int expected,
                     const char *const usage[4], BandRun &run);

// The number of clusters to merge down to. A list cannot be merged below
// one cluster, so a number below 1 is an illegal parameter too.
void scan_class_count(const char *text, int *nClasses);
