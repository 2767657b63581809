// Random scenes for the tests of wimbel and sotrak: band files, a training
// set file and the samples each classifier stores from it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "pnnlib.h"
#include "testsupport.h"
#include "tooltest.h"

namespace pnntest {

using Sample = std::vector<int>;                         // one value per band
using StoredSamples = std::vector<std::vector<Sample>>;  // [class][sample]

struct Scene {
  int rows = 0, cols = 0, n = 0;
  std::string type;                    // image type name
  std::string paths, bandList;         // the iPaths and iBands arguments
  std::vector<std::vector<int>> band;  // [b][row * cols + col]
  std::string ts;                      // training set text
  StoredSamples stored;                // [k] for k = 0..27, first maxSamples
};

// Class centres inside 0..valueMax; training records spread around them,
// some classes with more records than maxSamples; pixels either near a
// centre or anywhere in 0..pixelMax. Band files b1.. in `dir`.
inline Scene random_scene(std::mt19937 &rng, const testsupport::TempDir &dir,
                          const std::string &type, int rows, int cols, int n,
                          int classes, int valueMax, int maxSamples,
                          int pixelMax = -1) {
  Scene s;
  s.rows = rows, s.cols = cols, s.n = n, s.type = type;
  if (pixelMax < 0) pixelMax = valueMax;
  std::uniform_int_distribution<int> value(0, valueMax), any(0, pixelMax);
  std::uniform_int_distribution<int> spread(-valueMax / 8, valueMax / 8);
  std::uniform_int_distribution<int> records(1, maxSamples + 3);
  auto clamp = [&](int v) { return v < 0 ? 0 : v > valueMax ? valueMax : v; };
  std::vector<int> labels;  // class numbers in use, some above 9
  for (int k = 1; k <= 27 && static_cast<int>(labels.size()) < classes; ++k)
    if (rng() % 3 != 0) labels.push_back(k);
  std::vector<Sample> centres(28);
  s.stored.assign(28, {});
  std::vector<std::pair<int, Sample>> recs;
  for (int k : labels) {
    centres[k].resize(n);
    for (int &c : centres[k]) c = value(rng);
    const int count = records(rng);
    for (int r = 0; r < count; ++r) {
      Sample v(n);
      for (int b = 0; b < n; ++b) v[b] = clamp(centres[k][b] + spread(rng));
      recs.push_back({k, v});
    }
  }
  std::shuffle(recs.begin(), recs.end(), rng);
  for (const auto &r : recs) {
    s.ts += std::to_string(r.first);
    for (int v : r.second) s.ts += " " + std::to_string(v);
    s.ts += rng() % 4 == 0 ? " " : "\n";  // records need no line of their own
    if (static_cast<int>(s.stored[r.first].size()) < maxSamples)
      s.stored[r.first].push_back(r.second);
  }
  s.band.assign(n, std::vector<int>(static_cast<size_t>(rows) * cols));
  for (size_t p = 0; p < s.band[0].size(); ++p) {
    const int k = labels.empty() ? 0 : labels[rng() % labels.size()];
    const bool near = !labels.empty() && rng() % 2 == 0;
    for (int b = 0; b < n; ++b)
      s.band[b][p] = near ? clamp(centres[k][b] + spread(rng) / 2) : any(rng);
  }
  for (int b = 0; b < n; ++b) {
    const std::string path = dir.file("b" + std::to_string(b + 1));
    if (type.find("AVHRR") != std::string::npos ||
        type.find("GI") != std::string::npos)
      testsupport::write_band16(
          path, std::vector<uint16_t>(s.band[b].begin(), s.band[b].end()));
    else
      testsupport::write_band8(
          path, std::vector<uint8_t>(s.band[b].begin(), s.band[b].end()));
    s.paths += (b ? " " : "") + path;
    s.bandList += (b ? " " : "") + std::to_string(b + 1);
  }
  return s;
}

// The present class of highest score, the lowest one on a tie; 0 when no
// class is present.
template <class Score>
int best_class(const StoredSamples &stored, Score score) {
  double best = -1.7976931348623157e308;
  int cls = 0;
  for (int k = 1; k <= 27; ++k) {
    if (stored[k].empty()) continue;
    const double s = score(k);
    if (s > best) best = s, cls = k;
  }
  return cls;
}

// The scene's stored samples as a loaded training set.
inline void fill_training_set(const Scene &s, TrainingSet &ts) {
  ts.highestClass = 0;
  for (int k = 0; k <= 27; ++k) {
    ts.counts[k] = static_cast<int32_t>(s.stored[k].size());
    for (size_t i = 0; i < s.stored[k].size(); ++i)
      std::copy(s.stored[k][i].begin(), s.stored[k][i].end(), ts.samples[k][i]);
    if (ts.counts[k] > 0) ts.highestClass = k;
  }
}

// The scene's pixels from (row, col) as the row loop hands them over:
// values[b][p].
inline void chunk_values(const Scene &s, int row, int col,
                         const int32_t **values) {
  for (int b = 0; b < s.n; ++b)
    values[b] = s.band[b].data() + row * s.cols + col;
}

// A test of wimbel or sotrak: a temporary folder with the training set
// and COF paths, and runs of the tool.
class ToolTest : public ::testing::Test {
 protected:
  explicit ToolTest(const char *tool) : tool_(tool) {}

  // A run of the tool.
  testsupport::RunResult run(const std::vector<std::string> &args) const {
    return testsupport::run_program(tool_, args);
  }

  // No argument (the usage text), one too few and one too many, then `more`.
  static std::vector<testsupport::Failure> count_cases(
      const std::vector<std::string> &good, const std::string &usage,
      const std::vector<testsupport::Failure> &more) {
    const std::string miss = "Missing/extra parameter.\n";
    std::vector<testsupport::Failure> cases =
        testsupport::count_failures(good, usage, miss, miss);
    cases.insert(cases.end(), more.begin(), more.end());
    return cases;
  }

  // Each case fails with its message and nothing on standard output; the
  // COF file is left empty when `created`, and absent otherwise.
  void expect_failures(const std::vector<testsupport::Failure> &cases,
                       bool created) {
    for (const testsupport::Failure &c : cases) {
      if (created) testsupport::write_file(cof(), "old");
      testsupport::expect_failure(tool_, c);
      EXPECT_EQ(testsupport::file_exists(cof()), created) << c.err;
      EXPECT_EQ(testsupport::read_file(cof()), "");
    }
  }

  // Runs the tool over the scene from (aRow, aCol) to its end, `numbers`
  // before the image size; expects the progress lines and the COF bytes that
  // `classify` gives the area's pixels one by one.
  template <class Classify>
  void expect_scene(const Scene &s, std::vector<int> numbers, int aRow,
                    int aCol, Classify classify) {
    testsupport::write_file(ts(), s.ts);
    const int aRows = s.rows - aRow, aCols = s.cols - aCol;
    numbers.insert(numbers.end(), {s.rows, s.cols, aRow, aCol, aRows, aCols});
    std::vector<std::string> args = {s.paths, s.bandList, s.type};
    for (int v : numbers) args.push_back(std::to_string(v));
    args.insert(args.end(), {ts(), this->cof()});
    const testsupport::RunResult r = run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    std::string progress, cof;
    for (int row = 1, last = -1; row <= aRows; ++row)
      if ((100 * row) / aRows != last)
        progress += std::to_string(last = (100 * row) / aRows) + "%\n";
    EXPECT_EQ(r.out, progress);
    std::vector<int> x(s.n);
    for (int row = aRow; row < s.rows; ++row)
      for (int col = aCol; col < s.cols; ++col) {
        for (int b = 0; b < s.n; ++b) x[b] = s.band[b][row * s.cols + col];
        cof += static_cast<char>(classify(x));
      }
    EXPECT_EQ(testsupport::read_file(this->cof()), cof) << s.type << " " << s.n;
  }

  // A run of `args` with its progress lines and a COF file of `pixels`
  // bytes, then the same run with nobody left to read standard output (it
  // must finish and write the same COF file), then with the COF file on
  // /dev/full, which takes the rows and fails at the close.
  void expect_output_endings(const std::vector<std::string> &args,
                             const std::string &progress, size_t pixels) {
    ASSERT_EQ(args.back(), cof());
    const testsupport::RunResult whole =
        testsupport::expect_same_result_without_reader(tool_, args, {cof()});
    EXPECT_EQ(whole.out, progress);
    const std::string cofBytes = testsupport::read_file(cof());
    EXPECT_EQ(cofBytes.size(), pixels);

    std::vector<std::string> full = args;
    full.back() = "/dev/full";
    const testsupport::RunResult r = run(full);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "Error closing classifications file (No space left on "
              "device).\n");
    EXPECT_EQ(r.out, progress);
  }

#if !defined(__SANITIZE_ADDRESS__)
  // A run of the tool whose address space is limited to `bytes`. The
  // sanitizer's allocator aborts where the plain one returns nothing, hence
  // plain builds only.
  testsupport::RunResult run_limited(const std::vector<std::string> &args,
                                     size_t bytes) const {
    return testsupport::run_program_with_address_limit(tool_, args, bytes);
  }

  // Runs `args` under address-space limits that rise from 1 MB until one
  // lets the run finish with the COF file of a run without a limit: in steps
  // of 512 KB while the program cannot even be loaded (status 127), then of
  // 64 KB. Below that limit every run ends with status 1, never an abort:
  // with the allocation message, at least once, or with a file that could
  // not be opened for want of memory.
  void expect_every_memory_shortage_reported(
      const std::vector<std::string> &args) {
    ASSERT_EQ(args.back(), cof());
    const testsupport::RunResult whole = run(args);
    ASSERT_EQ(whole.status, 0) << whole.err;
    const std::string cofBytes = testsupport::read_file(cof());
    const size_t most = size_t{256} << 20, coarse = size_t{512} << 10;
    size_t bytes = size_t{1} << 20;
    while (bytes < most && run_limited(args, bytes + coarse).status == 127)
      bytes += coarse;
    const std::string noMemory = "(Cannot allocate memory).\n";
    int reported = 0;
    for (;; bytes += size_t{64} << 10) {
      ASSERT_LT(bytes, most) << "no limit let the run finish";
      const testsupport::RunResult r = run_limited(args, bytes);
      ASSERT_EQ(r.signal, 0) << bytes << " " << r.err;
      if (r.status == 0) {
        EXPECT_EQ(r.out, whole.out);
        EXPECT_EQ(testsupport::read_file(cof()), cofBytes);
        break;
      }
      if (r.status == 127) continue;  // the program could not be loaded
      ASSERT_EQ(r.status, 1) << bytes << " " << r.err;
      EXPECT_EQ(r.out, "") << bytes;
      if (r.err == "Error allocating memory.\n")
        ++reported;
      else
        EXPECT_TRUE(r.err.size() > noMemory.size() &&
                    r.err.compare(r.err.size() - noMemory.size(),
                                  noMemory.size(), noMemory) == 0)
            << bytes << " " << r.err;
    }
    EXPECT_GT(reported, 0);
  }
#endif

  // Band file b1 of four samples 1 and an empty training set, for the
  // argument checks; the path of b1.
  std::string write_check_files() {
    testsupport::write_band8(dir.file("b1"), std::vector<uint8_t>(4, 1));
    testsupport::write_file(ts(), "");
    return dir.file("b1");
  }

  std::string ts() const { return dir.file("train.ts"); }
  std::string cof() const { return dir.file("out.cof"); }

  testsupport::TempDir dir;

 private:
  std::string tool_;
};

}  // namespace pnntest
