// quenta: maximum-likelihood classification of an image area from a
// training set file. Training statistics and degenerate bands
// (statistics.cpp), class models and the two passes (passes.cpp).
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "bandlib.h"
#include "bandrun.h"
#include "buffer.h"
#include "console.h"
#include "filehandle.h"
#include "numlib.h"

constexpr int BLOCK = COVARIANCE_BLOCK_SIDE;  // 7 x 7 covariance blocks

// How quenta's messages name its output, and the error of a row past the
// range of int.
inline const RunProfile QUENTA_PROFILE = {"COF file", true, "w+b", EOVERFLOW};

// What the command line and set-up give the rest of the run: the band-set
// run with the COF file as its output, and quenta's own pieces.
struct QuentaRun {
  BandRun bandRun{QUENTA_PROFILE};
  const char *bandText = nullptr;  // the iBands argument as given
  const char *tsPath = nullptr;
  FileHandle ts;
  ZeroedArray<uint16_t> rows[MAX_BANDS];  // a row of aCols samples per band
};

// Gaussian statistics of one class; the band index is the list position.
struct ClassStatistics {
  int count = 0;
  double mean[MAX_BANDS] = {};            // sums during the first read
  double covariance[BLOCK * BLOCK] = {};  // row by row, divisor count
  int constantBand[MAX_BANDS] = {};
  int hasDegenerateBands = 0;
};

struct TrainingStatistics {
  // Class numbers 1..MAX_TS_CLASSES; index 0 is not used.
  ClassStatistics classes[MAX_TS_CLASSES + 1];
  int highestClass = 0;
  int degenerateBand[MAX_BANDS] = {};
  int presentClasses = 0;
  int degenerateClasses = 0;
  int nonDegenerateClasses = 0;
  int degenerateBands = 0;
  int usedBands = 0;
  int twoPass = 0;
  int pass1End = 100;  // last percentage of Pass 1
};

inline bool class_present(const TrainingStatistics &st, int k) {
  return st.classes[k].count > 0;
}

// ---------------------------------------------------------------------------
// Training statistics (statistics.cpp). Every failure prints its message on
// standard error and ends the run with status 1.

// First read: sample counts, means and the highest class read.
void read_class_means(QuentaRun &run, TrainingStatistics &st);
// Second read: constant bands of every class.
void find_constant_bands(QuentaRun &run, TrainingStatistics &st);
// Degenerate classes and bands, the two-pass flag; stops the run when every
// band is degenerate.
void find_degenerate_bands(const QuentaRun &run, TrainingStatistics &st);
// The report on standard output, with its pauses; only when a class is
// degenerate.
void report_degenerate_bands(const QuentaRun &run,
                             const TrainingStatistics &st);
// Third read: covariances with divisor n.
void read_covariances(QuentaRun &run, TrainingStatistics &st);

// Waits until the calendar clock (whole seconds) has moved on by n + 1
// from its first reading: between n and n + 1 seconds.
void pause_seconds(int n);

// ---------------------------------------------------------------------------
// Class models and passes (passes.cpp).

// The Gaussian model of one candidate class of a pass.
struct ClassModel {
  double mean[MAX_BANDS];
  double inverse[BLOCK * BLOCK];  // upper-left bands x bands part used
  double base;                    // prior term - half log variance product
  double classNumber;             // as a real, for branch-free selection
};

// The candidates of one pass, in ascending class order.
struct PassModels {
  int bands = 0;                  // band count of the pass
  int bandIndex[MAX_BANDS] = {};  // list positions of the pass's bands
  int count = 0;                  // number of candidate classes
  double halfLogVarianceProduct[MAX_TS_CLASSES] = {};
  double prior = 0.0;
  ClassModel models[MAX_TS_CLASSES];
};

void build_pass1_models(const QuentaRun &run, const TrainingStatistics &st,
                        PassModels &pm);
void build_pass2_models(const QuentaRun &run, const TrainingStatistics &st,
                        PassModels &pm);

// Pixels are decided in runs of at most this many columns (an even number).
constexpr int PIXEL_RUN = 256;

// Decides `count` pixels (count <= PIXEL_RUN) among the candidates of `pm`.
// values[b][p] is pixel p's sample on the pass's band b. best[p] and cls[p]
// hold the starting value and class on entry and the decision on return:
// a candidate whose discriminant is strictly greater than best takes the
// pixel, candidates taken in ascending class order. Pixels go in pairs: an
// odd count also works on entry `count` of every array, which the caller
// sets to some value and ignores.
void choose_likeliest_classes(const PassModels &pm,
                              const double (*values)[PIXEL_RUN], int count,
                              double *best, double *cls);

void run_pass1(QuentaRun &run, const TrainingStatistics &st);
void run_pass2(QuentaRun &run, const TrainingStatistics &st);
