// quenta's class models, the discriminant and the two passes over the area.
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstring>

#include "quenta.h"

namespace {

// The starting value of every pixel decision: the most negative finite real.
constexpr double LOWEST = -DBL_MAX;

// Fills the model's half log variance product and inverse block from a
// covariance block restricted to the pass's bands; then the prior terms.
void finish_models(PassModels &pm, const double (*blocks)[BLOCK * BLOCK]) {
  for (int k = 0; k < pm.count; ++k)
    pm.halfLogVarianceProduct[k] =
        0.5 * std::log(static_cast<double>(
                  covariance_diagonal_product(blocks[k], pm.bands)));
  for (int k = 0; k < pm.count; ++k) {
    for (double &e : pm.models[k].inverse) e = 0.0;
    covariance_inverse(blocks[k], pm.models[k].inverse, pm.bands);
  }
  if (pm.count == 0) return;
  pm.prior = std::log(1.0 / pm.count);
  for (int k = 0; k < pm.count; ++k)
    pm.models[k].base = pm.prior - pm.halfLogVarianceProduct[k];
}

// Adds class k as the next candidate, on the pass's bands: its means and its
// covariance restricted to those bands, packed into the block's corner.
void add_candidate(PassModels &pm, const ClassStatistics &c, int k,
                   double *block) {
  ClassModel &model = pm.models[pm.count++];
  model.classNumber = k;
  for (int a = 0; a < pm.bands; ++a) {
    model.mean[a] = c.mean[pm.bandIndex[a]];
    for (int b = 0; b < pm.bands; ++b)
      block[BLOCK * a + b] =
          c.covariance[BLOCK * pm.bandIndex[a] + pm.bandIndex[b]];
  }
}

}  // namespace

void build_pass1_models(const QuentaRun &run, const TrainingStatistics &st,
                        PassModels &pm) {
  pm.bands = 0;
  for (int b = 0; b < run.bandRun.bandCount; ++b)
    if (!st.degenerateBand[b]) pm.bandIndex[pm.bands++] = b;
  pm.count = 0;
  double blocks[MAX_TS_CLASSES][BLOCK * BLOCK] = {};
  for (int k = 1; k <= st.highestClass; ++k)
    if (class_present(st, k))
      add_candidate(pm, st.classes[k], k, blocks[pm.count]);
  finish_models(pm, blocks);
}

void build_pass2_models(const QuentaRun &run, const TrainingStatistics &st,
                        PassModels &pm) {
  pm.bands = run.bandRun.bandCount;
  for (int b = 0; b < run.bandRun.bandCount; ++b) pm.bandIndex[b] = b;
  pm.count = 0;
  double blocks[MAX_TS_CLASSES][BLOCK * BLOCK] = {};
  for (int k = 1; k <= st.highestClass; ++k)
    if (class_present(st, k) && !st.classes[k].hasDegenerateBands)
      add_candidate(pm, st.classes[k], k, blocks[pm.count]);
  finish_models(pm, blocks);
}

namespace {

// Two pixels side by side: the pixel loop runs on pairs, each lane doing
// exactly the arithmetic of one pixel.
typedef double Pair __attribute__((vector_size(16)));

inline Pair load_pair(const double *p) {
  Pair v;
  memcpy(&v, p, sizeof v);
  return v;
}

inline void store_pair(double *p, Pair v) { memcpy(p, &v, sizeof v); }

inline Pair both(double x) { return Pair{x, x}; }

// The discriminant of every candidate at every pixel of a run, with the
// band count fixed at compile time so that each pixel's sums unroll. Per
// pixel: d = x - mean, t_i = sum over j of d_j * inverse(i, j), then
// q = sum over i of d_i * t_i, both in band order, and the discriminant is
// (prior - half log variance product) - 0.5 * q.
template <int N>
void decide_run(const PassModels &pm, const double (*values)[PIXEL_RUN],
                int count, double *best, double *cls) {
  for (int k = 0; k < pm.count; ++k) {
    const ClassModel &model = pm.models[k];
    Pair mean[N];
    Pair inverse[N][N];
    for (int i = 0; i < N; ++i) {
      mean[i] = both(model.mean[i]);
      for (int j = 0; j < N; ++j)
        inverse[i][j] = both(model.inverse[BLOCK * i + j]);
    }
    const Pair base = both(model.base);
    const Pair number = both(model.classNumber);
    const Pair half = both(0.5);
    for (int p = 0; p < count; p += 2) {
      Pair d[N];
      for (int b = 0; b < N; ++b) d[b] = load_pair(&values[b][p]) - mean[b];
      Pair t[N];
      for (int i = 0; i < N; ++i) {
        Pair sum = d[0] * inverse[i][0];
        for (int j = 1; j < N; ++j) sum += d[j] * inverse[i][j];
        t[i] = sum;
      }
      Pair q = d[0] * t[0];
      for (int i = 1; i < N; ++i) q += d[i] * t[i];
      const Pair g = base - half * q;
      // Strictly greater: equal values keep the lower class, and a value
      // that is not a number never wins.
      const Pair b = load_pair(&best[p]);
      const auto wins = g > b;
      store_pair(&best[p], wins ? g : b);
      store_pair(&cls[p], wins ? number : load_pair(&cls[p]));
    }
  }
}

}  // namespace

void choose_likeliest_classes(const PassModels &pm,
                              const double (*values)[PIXEL_RUN], int count,
                              double *best, double *cls) {
  switch (pm.bands) {
    case 1: decide_run<1>(pm, values, count, best, cls); break;
    case 2: decide_run<2>(pm, values, count, best, cls); break;
    case 3: decide_run<3>(pm, values, count, best, cls); break;
    case 4: decide_run<4>(pm, values, count, best, cls); break;
    case 5: decide_run<5>(pm, values, count, best, cls); break;
    case 6: decide_run<6>(pm, values, count, best, cls); break;
    case 7: decide_run<7>(pm, values, count, best, cls); break;
    default: break;
  }
}

namespace {

// Reads row aRow + r of the pass's bands into their row buffers.
void read_pass_rows(QuentaRun &run, const PassModels &pm, int r) {
  for (int a = 0; a < pm.bands; ++a) {
    const int b = pm.bandIndex[a];
    read_area_row(run.bandRun, b, r, run.rows[b].get(), KIND_U16);
  }
}

// Decides the pixels of the output row in runs. In Pass 1 every pixel starts
// at class 0; in Pass 2 only the pixels whose byte is a flagged class are
// decided again, each starting from its byte.
void decide_row(QuentaRun &run, const PassModels &pm, const bool *redecide) {
  double values[MAX_BANDS][PIXEL_RUN];
  double best[PIXEL_RUN];
  double cls[PIXEL_RUN];
  for (int c0 = 0; c0 < run.bandRun.aCols; c0 += PIXEL_RUN) {
    const int count =
        run.bandRun.aCols - c0 < PIXEL_RUN ? run.bandRun.aCols - c0 : PIXEL_RUN;
    uint8_t *out = run.bandRun.outputRow.get() + c0;
    bool any = redecide == nullptr;
    for (int p = 0; p < count && !any; ++p) any = redecide[out[p]];
    if (!any) continue;
    for (int a = 0; a < pm.bands; ++a) {
      const uint16_t *row = run.rows[pm.bandIndex[a]].get() + c0;
      for (int p = 0; p < count; ++p) values[a][p] = row[p];
      if (count % 2 != 0) values[a][count] = 0.0;  // idle lane of an odd run
    }
    for (int p = 0; p < count + count % 2; ++p) {
      best[p] = LOWEST;
      cls[p] = redecide == nullptr || p == count ? 0.0 : out[p];
    }
    choose_likeliest_classes(pm, values, count, best, cls);
    for (int p = 0; p < count; ++p)
      if (redecide == nullptr || redecide[out[p]])
        out[p] = static_cast<uint8_t>(cls[p]);
  }
}

}  // namespace

void run_pass1(QuentaRun &run, const TrainingStatistics &st) {
  PassModels pm;
  build_pass1_models(run, st, pm);
  for (int r = 0; r < run.bandRun.aRows; ++r) {
    read_pass_rows(run, pm, r);
    decide_row(run, pm, nullptr);
    write_output_row(run.bandRun);
    show_progress(0, st.pass1End, r + 1, run.bandRun.aRows);
  }
}

void run_pass2(QuentaRun &run, const TrainingStatistics &st) {
  PassModels pm;
  build_pass2_models(run, st, pm);
  FILE *cof = run.bandRun.output.get();
  // Back to the first row, once Pass 1's last rows are out: a write that
  // fails there is a write failure, and a file that cannot be repositioned
  // (a pipe) cannot be read back.
  if (fflush(cof) != 0) fail_writing(run.bandRun);
  if (fseek(cof, 0, SEEK_SET) != 0) fail_on_output(run.bandRun, "reading");
  // Pixels that Pass 1 gave to a class without degenerate bands. A pixel
  // that Pass 1 left at 0 belongs to no class and stays 0.
  bool redecide[256] = {};
  for (int k = 1; k <= st.highestClass; ++k)
    redecide[k] = class_present(st, k) && !st.classes[k].hasDegenerateBands;

  for (int r = 0; r < run.bandRun.aRows; ++r) {
    read_pass_rows(run, pm, r);
    // The COF file is an update stream: a read may not follow a write
    // without a positioning call in between. This seek moves nowhere; it
    // only switches the stream from writing (the row before) to reading.
    // The row before goes out first, so that its failure reads as a write.
    if (fflush(cof) != 0) fail_writing(run.bandRun);
    if (fseek(cof, 0, SEEK_CUR) != 0) fail_on_output(run.bandRun, "reading");
    if (fread(run.bandRun.outputRow.get(),
              static_cast<size_t>(run.bandRun.aCols), 1, cof) != 1) {
      if (!ferror(cof)) errno = ENODATA;  // the file ended early
      fail_on_output(run.bandRun, "reading");
    }
    decide_row(run, pm, redecide);
    // Back to the start of the row just read, which also switches the
    // stream from reading to writing.
    if (fseek(cof, -static_cast<long>(run.bandRun.aCols), SEEK_CUR) != 0)
      fail_writing(run.bandRun);
    write_output_row(run.bandRun);
    show_progress(50, 100, r + 1, run.bandRun.aRows);
  }
}
