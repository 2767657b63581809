#include <gtest/gtest.h>

#include <cfloat>
#include <chrono>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "numlib.h"
#include "testsupport.h"

using testsupport::RunResult;
using testsupport::TempDir;

namespace {

struct Record {
  int cls;
  std::vector<int> values;
};

std::string ts_text(const std::vector<Record> &records) {
  std::string text;
  for (const Record &r : records) {
    text += std::to_string(r.cls);
    for (int v : r.values) text += " " + std::to_string(v);
    text += "\n";
  }
  return text;
}

// ---------------------------------------------------------------------------
// Reference classifier, one pixel at a time, straight from the model: class
// means and covariances (divisor n), degenerate bands, Pass 1 on the bands
// that are not degenerate among all present classes, Pass 2 on all bands
// among the classes without constant bands for the pixels Pass 1 gave to
// such a class.

struct Model {
  int cls;
  std::vector<double> mean;
  double halfLog;
  double inverse[49];
};

struct Reference {
  int m = 0;
  int count[28] = {};
  double mean[28][7] = {};
  double cov[28][49] = {};
  bool constant[28][7] = {};
  bool degenerateClass[28] = {};
  bool degenerateBand[7] = {};
  std::vector<Model> pass1, pass2;
  double prior1 = 0, prior2 = 0;
  bool twoPass = false;

  Reference(const std::vector<Record> &ts, int bands) : m(bands) {
    for (const Record &r : ts) {
      ++count[r.cls];
      for (int b = 0; b < m; ++b) mean[r.cls][b] += r.values[b];
    }
    for (int k = 1; k <= 27; ++k)
      for (int b = 0; b < m; ++b)
        if (count[k]) mean[k][b] /= count[k];
    for (int k = 1; k <= 27; ++k)
      for (int b = 0; b < m; ++b) constant[k][b] = count[k] > 0;
    for (const Record &r : ts)
      for (int b = 0; b < m; ++b)
        if (r.values[b] != mean[r.cls][b]) constant[r.cls][b] = false;
    for (const Record &r : ts)
      for (int i = 0; i < m; ++i)
        for (int j = 0; j < m; ++j)
          cov[r.cls][7 * i + j] +=
              (r.values[j] - mean[r.cls][j]) * (r.values[i] - mean[r.cls][i]);
    int degenerate = 0, present = 0;
    for (int k = 1; k <= 27; ++k) {
      if (!count[k]) continue;
      ++present;
      for (int e = 0; e < 49; ++e) cov[k][e] /= count[k];
      for (int b = 0; b < m; ++b)
        if (constant[k][b]) degenerateClass[k] = degenerateBand[b] = true;
      degenerate += degenerateClass[k];
    }
    twoPass = degenerate > 0 && present - degenerate > 1;
    std::vector<int> used, all;
    for (int b = 0; b < m; ++b) {
      all.push_back(b);
      if (!degenerateBand[b]) used.push_back(b);
    }
    for (int k = 1; k <= 27; ++k) {
      if (!count[k]) continue;
      pass1.push_back(model(k, used));
      if (!degenerateClass[k]) pass2.push_back(model(k, all));
    }
    prior1 = std::log(1.0 / static_cast<double>(pass1.size()));
    prior2 = std::log(1.0 / static_cast<double>(pass2.size()));
  }

  Model model(int k, const std::vector<int> &bands) {
    Model md;
    md.cls = k;
    double block[49] = {};
    const int n = static_cast<int>(bands.size());
    for (int a = 0; a < n; ++a) {
      md.mean.push_back(mean[k][bands[a]]);
      for (int b = 0; b < n; ++b)
        block[7 * a + b] = cov[k][7 * bands[a] + bands[b]];
    }
    md.halfLog = 0.5 * std::log(static_cast<double>(
                           covariance_diagonal_product(block, n)));
    covariance_inverse(block, md.inverse, n);
    return md;
  }

  static int decide(const std::vector<Model> &models, double prior,
                    const std::vector<double> &x, int start) {
    double best = -DBL_MAX;
    int cls = start;
    for (const Model &md : models) {
      const int n = static_cast<int>(md.mean.size());
      std::vector<double> d(n);
      for (int i = 0; i < n; ++i) d[i] = x[i] - md.mean[i];
      double q = 0;
      for (int i = 0; i < n; ++i) {
        double t = 0;
        for (int j = 0; j < n; ++j) t += d[j] * md.inverse[7 * i + j];
        q += d[i] * t;
      }
      const double g = (prior - md.halfLog) - 0.5 * q;
      if (g > best) {
        best = g;
        cls = md.cls;
      }
    }
    return cls;
  }

  // pixel[b] holds the pixel's samples on every band of the list.
  int classify(const std::vector<double> &pixel) const {
    std::vector<double> x;
    for (int b = 0; b < m; ++b)
      if (!degenerateBand[b]) x.push_back(pixel[b]);
    int cls = decide(pass1, prior1, x, 0);
    if (twoPass && cls != 0 && !degenerateClass[cls])
      cls = decide(pass2, prior2, pixel, cls);
    return cls;
  }
};

// ---------------------------------------------------------------------------
// Images: every band a full raster of iRows x iCols samples.

struct Image {
  int rows, cols, m;
  std::vector<std::vector<uint16_t>> bands;
  uint16_t at(int b, int r, int c) const { return bands[b][r * cols + c]; }
};

// A random image whose pixels scatter around the training classes' centres.
Image random_image(std::mt19937 &rng, int rows, int cols, int m, int maxValue,
                   const std::vector<Record> &ts) {
  Image im{rows, cols, m, std::vector<std::vector<uint16_t>>(m)};
  std::uniform_int_distribution<size_t> pick(0, ts.size() - 1);
  std::normal_distribution<double> noise(0.0, maxValue / 25.0);
  for (int b = 0; b < m; ++b) im.bands[b].resize(rows * cols);
  for (int i = 0; i < rows * cols; ++i) {
    const Record &r = ts[pick(rng)];
    for (int b = 0; b < m; ++b) {
      const double v = std::round(r.values[b] + noise(rng));
      im.bands[b][i] = static_cast<uint16_t>(std::fmin(std::fmax(v, 0), maxValue));
    }
  }
  return im;
}

// Samples of the listed classes around random centres; `constantBands`
// pairs (class, band) make that band constant in that class.
std::vector<Record> random_training(std::mt19937 &rng, int m, int maxValue,
                                    const std::vector<int> &classes,
                                    const std::vector<std::pair<int, int>>
                                        &constantBands = {}) {
  std::vector<Record> ts;
  std::uniform_int_distribution<int> centre(maxValue / 8, maxValue * 7 / 8);
  std::uniform_int_distribution<int> size(15, 40);
  for (int k : classes) {
    std::vector<int> c(m), spread(m);
    for (int b = 0; b < m; ++b) {
      c[b] = centre(rng);
      spread[b] = maxValue / 40 + 2;
    }
    const int n = size(rng);
    for (int s = 0; s < n; ++s) {
      Record r{k, {}};
      for (int b = 0; b < m; ++b) {
        std::uniform_int_distribution<int> off(-spread[b], spread[b]);
        int v = c[b] + off(rng);
        for (auto cb : constantBands)
          if (cb.first == k && cb.second == b) v = c[b];
        r.values.push_back(v);
      }
      ts.push_back(r);
    }
  }
  std::shuffle(ts.begin(), ts.end(), rng);
  return ts;
}

std::vector<uint8_t> reference_cof(const Reference &ref, const Image &im,
                                   int aRow, int aCol, int aRows, int aCols) {
  std::vector<uint8_t> cof;
  std::vector<double> pixel(im.m);
  for (int r = 0; r < aRows; ++r)
    for (int c = 0; c < aCols; ++c) {
      for (int b = 0; b < im.m; ++b) pixel[b] = im.at(b, aRow + r, aCol + c);
      cof.push_back(static_cast<uint8_t>(ref.classify(pixel)));
    }
  return cof;
}

std::string bytes_of(const std::vector<uint8_t> &v) {
  return std::string(v.begin(), v.end());
}

// Progress lines for the given percentages.
std::string progress(std::initializer_list<int> values) {
  std::string text;
  for (int v : values) text += std::to_string(v) + "%\n";
  return text;
}

class Quenta : public ::testing::Test {
 protected:
  // Writes the image's bands (8-bit or 16-bit) as b1, b2, ...; returns the
  // path list.
  std::string write_image(const Image &im, bool wide) {
    std::string paths;
    for (int b = 0; b < im.m; ++b) {
      const std::string path = dir.file("b" + std::to_string(b + 1));
      if (wide) {
        testsupport::write_band16(path, im.bands[b]);
      } else {
        std::vector<uint8_t> bytes(im.bands[b].begin(), im.bands[b].end());
        testsupport::write_band8(path, bytes);
      }
      paths += (b ? " " : "") + path;
    }
    return paths;
  }

  std::string ts() { return dir.file("train.ts"); }
  std::string cof() { return dir.file("out.cof"); }

  RunResult run(const std::string &paths, const std::string &bands,
                const std::string &type, int iRows, int iCols, int aRow,
                int aCol, int aRows, int aCols) {
    return testsupport::run_program(
        "quenta", {paths, bands, type, std::to_string(iRows),
                   std::to_string(iCols), std::to_string(aRow),
                   std::to_string(aCol), std::to_string(aRows),
                   std::to_string(aCols), ts(), cof()});
  }

  TempDir dir;
};

std::string band_list(int m) {
  std::string text;
  for (int b = 1; b <= m; ++b) text += (b > 1 ? " " : "") + std::to_string(b);
  return text;
}

// ---------------------------------------------------------------------------

TEST_F(Quenta, ArgumentChecksInOrder) {
  testsupport::write_band8(dir.file("b1"), std::vector<uint8_t>(4, 1));
  testsupport::write_file(ts(), "");
  const std::string b1 = dir.file("b1");
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  auto with = [&](int i, const std::string &v) {
    std::vector<std::string> a = {b1, "1", "TM", "2", "2", "0",
                                  "0", "2", "2",  ts(), cof()};
    a[i] = v;
    return a;
  };
  const std::vector<Case> cases = {
      {{}, "Missing/extra parameter.\n"},
      {{b1, "1", "TM", "2", "2", "0", "0", "2", "2", ts()},
       "Missing/extra parameter.\n"},
      {with(3, "x"), "Illegal parameter.\n"},
      {with(8, "-"), "Illegal parameter.\n"},
      // Numbers are checked before the type, the type before the lists.
      {[&] { auto a = with(2, "tm"); a[8] = "x"; return a; }(),
       "Illegal parameter.\n"},
      {[&] { auto a = with(2, "TM "); a[1] = "1,2"; return a; }(),
       "Unknown image type.\n"},
      {with(1, "1,2"), "Illegal image bands.\n"},
      {with(1, ""), "Illegal image bands.\n"},
      {with(1, "1 2 3 4 5 6 7 1"), "Illegal image bands.\n"},
      {with(0, b1 + " " + b1), "Illegal image paths.\n"},
      {with(0, dir.file("none")),
       "Error opening image file \"" + dir.file("none") +
           "\" (No such file or directory).\n"},
      {with(9, dir.file("none.ts")),
       "Error opening TS file \"" + dir.file("none.ts") +
           "\" (No such file or directory).\n"},
      {with(10, dir.file("no/out.cof")),
       "Error opening COF file \"" + dir.file("no/out.cof") +
           "\" (No such file or directory).\n"},
  };
  for (const Case &c : cases) {
    RunResult r = testsupport::run_program("quenta", c.args);
    EXPECT_EQ(r.status, 1) << c.err;
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
  }
  EXPECT_FALSE(testsupport::file_exists(cof()));

  // Text after a number's digits is ignored.
  RunResult r = testsupport::run_program(
      "quenta", {b1, "1", "TM", "2x", "2", "0", "0", "2abc", "2", ts(), cof()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(testsupport::read_file(cof()), std::string(4, '\0'));
}

TEST_F(Quenta, TrainingSetFailuresLeaveAnEmptyCof) {
  testsupport::write_band8(dir.file("b1"), std::vector<uint8_t>(8, 1));
  const std::string paths = dir.file("b1") + " " + dir.file("b1");
  const std::string illegal = "Illegal class in TS file \"" + ts() + "\".\n";
  const std::string reading = "Error reading TS file \"" + ts() + "\" (";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"1 10 20\n0 10 20\n", illegal},
      {"1 10 20\n28 10 20\n", illegal},
      {"1 10 20\n-3 10 20\n", illegal},
      {"1 10 20\n1 11 21\n2 30\n", reading},       // record cut short
      {"1 10 20\n2 30 x1\n", reading},              // value not a number
  };
  for (const auto &c : cases) {
    testsupport::write_file(cof(), "old contents");
    testsupport::write_file(ts(), c.first);
    RunResult r = run(paths, "1 2", "TM", 2, 4, 0, 0, 2, 4);
    EXPECT_EQ(r.status, 1) << c.first;
    EXPECT_EQ(r.err.substr(0, c.second.size()), c.second) << c.first;
    EXPECT_EQ(r.err.back(), '\n');
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(testsupport::file_exists(cof()));
    EXPECT_EQ(testsupport::read_file(cof()), "");
  }
}

TEST_F(Quenta, NoClassGivesZerosAndEmptyAreasWork) {
  std::vector<uint8_t> band(30);
  for (int i = 0; i < 30; ++i) band[i] = static_cast<uint8_t>(i);
  testsupport::write_band8(dir.file("b1"), band);
  const std::string b1 = dir.file("b1");
  for (const std::string text : {"", "  \n", "x 1 2\n", "class 1 2\n"}) {
    testsupport::write_file(ts(), text);
    RunResult r = run(b1, "1", "TM", 5, 6, 1, 2, 3, 4);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, progress({33, 66, 100}));
    EXPECT_EQ(testsupport::read_file(cof()), std::string(12, '\0'));
  }

  // No rows: an empty COF file and no progress line.
  testsupport::write_file(ts(), "1 3\n1 5\n2 20\n2 24\n");
  RunResult r = run(b1, "1", "TM", 5, 6, 0, 0, 0, 6);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(testsupport::file_exists(cof()));
  EXPECT_EQ(testsupport::read_file(cof()), "");

  // No columns: the first row cannot be written.
  r = run(b1, "1", "TM", 5, 6, 0, 0, 2, 0);
  EXPECT_EQ(r.status, 1);
  const std::string expected = "Error writing COF file \"" + cof() + "\" (";
  EXPECT_EQ(r.err.substr(0, expected.size()), expected);
  EXPECT_EQ(r.out, "");

  // A negative column count cannot be allocated.
  r = run(b1, "1", "TM", 5, 6, 0, 0, 2, -4);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "Error allocating memory.\n");
}

TEST_F(Quenta, ShortBandFileStopsAfterTheRowsWritten) {
  // Two rows of 4 samples; the area asks for three.
  testsupport::write_band8(dir.file("b1"), {1, 2, 3, 4, 20, 21, 22, 23});
  testsupport::write_file(ts(), "1 1\n1 3\n2 21\n2 23\n");
  RunResult r = run(dir.file("b1"), "1", "TM", 3, 4, 0, 0, 3, 4);
  EXPECT_EQ(r.status, 1);
  const std::string expected =
      "Error reading image file \"" + dir.file("b1") + "\" (";
  EXPECT_EQ(r.err.substr(0, expected.size()), expected);
  EXPECT_EQ(r.out, progress({33, 66}));
  EXPECT_EQ(testsupport::read_file(cof()),
            std::string("\1\1\1\1\2\2\2\2", 8));
}

TEST_F(Quenta, EqualDiscriminantsGoToTheLowerClass) {
  // Classes 5 and 2 have the same samples; class 7 lies far away.
  testsupport::write_file(ts(), "5 10 40\n5 14 44\n5 12 41\n"
                                "2 10 40\n2 14 44\n2 12 41\n"
                                "7 200 100\n7 204 103\n7 201 108\n");
  testsupport::write_band8(dir.file("b1"), {11, 13, 200, 12});
  testsupport::write_band8(dir.file("b2"), {40, 44, 104, 42});
  RunResult r = run(dir.file("b1") + " " + dir.file("b2"), "1 2", "TM", 1, 4,
                    0, 0, 1, 4);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, progress({100}));
  EXPECT_EQ(testsupport::read_file(cof()), std::string("\2\2\7\2", 4));
}

// Random scenes against the reference, over every band count, areas that
// are offset in the image and wider than one run of pixels, with odd widths.
TEST_F(Quenta, OnePassMatchesTheReference) {
  std::mt19937 rng(20240611);
  for (int m = 1; m <= 7; ++m) {
    const bool wide = m % 2 == 0;
    const int maxValue = wide ? 1023 : 255;
    const std::vector<Record> training =
        random_training(rng, m, maxValue, {1, 3, 4, 9, 27});
    const Image im = random_image(rng, 9, 300 + m, m, maxValue, training);
    const std::string paths = write_image(im, wide);
    testsupport::write_file(ts(), ts_text(training));
    const int aCols = 261 + 2 * m + (m % 3);
    RunResult r = run(paths, band_list(m), wide ? "AVHRR" : "TM", 9, im.cols,
                      2, m, 7, aCols);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, progress({14, 28, 42, 57, 71, 85, 100}));
    const std::string got = testsupport::read_file(cof());
    const Reference ref(training, m);
    EXPECT_EQ(got, bytes_of(reference_cof(ref, im, 2, m, 7, aCols)))
        << "bands " << m;
    // The classes really compete: several of them win pixels.
    int winners = 0;
    for (int k : {1, 3, 4, 9, 27})
      winners += got.find(static_cast<char>(k)) != std::string::npos;
    EXPECT_GE(winners, 3) << "bands " << m;
  }
}

// Band numbers name the band inside the files' layout, their order is the
// order of the training values; PCI types read the same files like their
// image types, and "-GI" reads every component as a full plane.
TEST_F(Quenta, ImageTypesAndBandOrder) {
  std::mt19937 rng(77);
  const std::vector<Record> training = random_training(rng, 3, 255, {2, 3, 6});
  const Image im = random_image(rng, 4, 40, 3, 255, training);
  const std::string paths = write_image(im, false);
  testsupport::write_file(ts(), ts_text(training));
  const std::string expected =
      bytes_of(reference_cof(Reference(training, 3), im, 0, 0, 4, 40));
  for (const char *type : {"TM", "MSS", "-TM", "-MSS"}) {
    RunResult r = run(paths, "7 5 6", type, 4, 40, 0, 0, 4, 40);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(testsupport::read_file(cof()), expected) << type;
  }
  // The same samples stored as 16 bits.
  const std::string wide = write_image(im, true);
  for (const char *type : {"AVHRR", "-AVHRR", "-GI"}) {
    RunResult r = run(wide, "3 4 5", type, 4, 40, 0, 0, 4, 40);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(testsupport::read_file(cof()), expected) << type;
  }
}

// GI: band 1 is a full 16-bit plane; band 2 a reduced plane of one word per
// 4 x 4 block of the image.
TEST_F(Quenta, GiReducedPlane) {
  const int rows = 8, cols = 16;
  std::vector<uint16_t> b1(rows * cols), plane((rows / 4) * (cols / 4));
  for (int i = 0; i < rows * cols; ++i)
    b1[i] = static_cast<uint16_t>(500 + (i * 37) % 200);
  for (size_t w = 0; w < plane.size(); ++w)
    plane[w] = static_cast<uint16_t>(w % 3 == 0 ? 100 : 900);
  testsupport::write_band16(dir.file("g1"), b1);
  testsupport::write_band16(dir.file("g2"), plane);
  // Band 2 separates the classes; band 1 overlaps them.
  testsupport::write_file(ts(), "1 500 90\n1 700 110\n1 600 95\n1 650 105\n"
                                "2 520 880\n2 690 920\n2 610 890\n2 640 910\n");
  RunResult r = run(dir.file("g1") + " " + dir.file("g2"), "1 2", "GI", rows,
                    cols, 1, 2, 6, 13);
  ASSERT_EQ(r.status, 0) << r.err;
  std::string expected;
  for (int row = 1; row < 7; ++row)
    for (int col = 2; col < 15; ++col)
      expected += plane[(row / 4) * (cols / 4) + col / 4] == 100 ? '\1' : '\2';
  EXPECT_EQ(testsupport::read_file(cof()), expected);
}

// The report of a two-pass run, word for word, with its pauses; the COF file
// after both passes matches the reference.
TEST_F(Quenta, TwoPassReportAndResult) {
  std::mt19937 rng(5);
  // Band 4 (list position 3) is constant in class 6, the highest class;
  // classes 1, 3 and 5 are absent. Classes 2 and 4 differ mainly in band 4,
  // which only Pass 2 sees.
  std::vector<Record> training = random_training(rng, 4, 255, {2, 6}, {{6, 3}});
  for (size_t i = 0, n = training.size(); i < n; ++i)
    if (training[i].cls == 2) {
      const std::vector<int> &v = training[i].values;
      training.push_back({4, {v[0] + 1, v[1] - 1, v[2] + 2, v[3] + 30}});
    }
  const Image im = random_image(rng, 4, 50, 4, 255, training);
  const std::string paths = write_image(im, false);
  testsupport::write_file(ts(), ts_text(training));
  const auto start = std::chrono::steady_clock::now();
  RunResult r = run(paths, "1  2 3\t4", "TM", 4, 50, 0, 0, 4, 50);
  const double seconds = std::chrono::duration<double>(
                             std::chrono::steady_clock::now() - start)
                             .count();
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "WARNING!\n"
                   "Class 6 degenerate bands: 4\n"
                   "Pass 1> Bands: 1 2 3, Classes: 2 4 6\n"
                   "Pass 2> Bands: 1  2 3\t4, Classes: 2 4\n" +
                       progress({12, 25, 37, 50, 62, 75, 87, 100}));
  // One to two seconds after each of the four lines.
  EXPECT_GE(seconds, 4.0);
  EXPECT_LE(seconds, 12.0);

  const Reference ref(training, 4);
  ASSERT_TRUE(ref.twoPass);
  const std::string got = testsupport::read_file(cof());
  EXPECT_EQ(got, bytes_of(reference_cof(ref, im, 0, 0, 4, 50)));
  // Pass 2 changed some pixels: the result differs from Pass 1's alone.
  Reference onePass = ref;
  onePass.twoPass = false;
  EXPECT_NE(got, bytes_of(reference_cof(onePass, im, 0, 0, 4, 50)));
  EXPECT_NE(got.find('\6'), std::string::npos);
}

TEST_F(Quenta, OneNonDegenerateClassRunsOnePass) {
  std::mt19937 rng(11);
  // List "3 1 2 4": class 1 is constant in bands 1 and 2, class 2 in band 2.
  const std::vector<Record> training =
      random_training(rng, 4, 255, {1, 2, 3}, {{1, 1}, {1, 2}, {2, 2}});
  const Image im = random_image(rng, 4, 20, 4, 255, training);
  const std::string paths = write_image(im, false);
  testsupport::write_file(ts(), ts_text(training));
  RunResult r = run(paths, "3 1 2 4", "TM", 4, 20, 0, 0, 4, 20);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "WARNING!\n"
                   "Class 1 degenerate bands: 1 2\n"
                   "Class 2 degenerate bands: 2\n"
                   "Pass 1> Bands: 3 4, Classes: 1 2 3\n"
                   "Pass 2> Insufficient non-degenerate classes\n" +
                       progress({25, 50, 75, 100}));
  const Reference ref(training, 4);
  EXPECT_EQ(testsupport::read_file(cof()),
            bytes_of(reference_cof(ref, im, 0, 0, 4, 20)));
}

TEST_F(Quenta, AllBandsDegenerate) {
  testsupport::write_band8(dir.file("b1"), std::vector<uint8_t>(8, 1));
  const std::string paths = dir.file("b1") + " " + dir.file("b1");
  // A class of one sample is constant in every band.
  for (const char *text : {"1 10 20\n1 12 24\n2 30 40\n",
                           "1 10 20\n1 10 24\n2 30 40\n2 31 40\n"}) {
    testsupport::write_file(ts(), text);
    RunResult r = run(paths, "1 2", "TM", 2, 4, 0, 0, 2, 4);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "All bands are degenerate.\n"
                     "Maximum Likelihood classification is not possible.\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(testsupport::read_file(cof()), "");
  }
}

// A class whose covariance has no inverse on the pass's bands (fewer samples
// than bands plus one) takes part but wins no pixel, not even at its mean.
TEST_F(Quenta, ClassWithoutInverseWinsNoPixel) {
  testsupport::write_file(ts(), "1 100 100 100\n1 120 90 110\n1 90 115 95\n"
                                "1 110 105 120\n1 95 98 87\n"
                                "2 40 60 80\n2 44 58 86\n2 42 59 83\n");
  testsupport::write_band8(dir.file("b1"), {42, 100, 200, 42});
  testsupport::write_band8(dir.file("b2"), {59, 100, 10, 60});
  testsupport::write_band8(dir.file("b3"), {83, 100, 30, 80});
  RunResult r = run(dir.file("b1") + " " + dir.file("b2") + " " + dir.file("b3"),
                    "1 2 3", "TM", 1, 4, 0, 0, 1, 4);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, progress({100}));
  EXPECT_EQ(testsupport::read_file(cof()), std::string("\1\1\1\1", 4));
}

}  // namespace
