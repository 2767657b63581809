#include "pnnlib.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "filehandle.h"
#include "testsupport.h"

namespace {

using Stored = std::map<int, std::vector<std::vector<int>>>;

// What load_training_samples keeps of a text, class by class.
Stored load(const std::string &text, int n, int maxSamples, int *highest) {
  testsupport::TempDir dir;
  testsupport::write_file(dir.file("ts"), text);
  FileHandle file(fopen(dir.file("ts").c_str(), "r"));
  static TrainingSet ts;
  ts.highestClass = -1;
  for (int k = 0; k <= MAX_TS_CLASSES; ++k) ts.counts[k] = -1;
  load_training_samples(file.get(), n, maxSamples, ts);
  Stored stored;
  for (int k = 1; k <= MAX_TS_CLASSES; ++k)
    for (int s = 0; s < ts.counts[k]; ++s)
      stored[k].emplace_back(ts.samples[k][s], ts.samples[k][s] + n);
  *highest = ts.highestClass;
  return stored;
}

TEST(LoadTrainingSamples, KeepsTheFirstRecordsOfEachClass) {
  const struct {
    const char *text;
    int n, maxSamples;
    Stored stored;
    int highest;
  } cases[] = {
      {"", 2, 5, {}, 0},
      {"3 1 2\n3 4 5\n1 7 8\n3 9 9\n",
       2,
       2,
       {{3, {{1, 2}, {4, 5}}}, {1, {{7, 8}}}},
       3},
      // n + 1 integers a record, whatever the lines.
      {"2 10 20 2\n30 40\n", 2, 9, {{2, {{10, 20}, {30, 40}}}}, 2},
      {"27 -5 2147483647\n", 2, 1, {{27, {{-5, 2147483647}}}}, 27},
      // No room for other classes: read and passed over.
      {"28 1\n0 2\n-3 3\n4 4\n99999 5\n", 1, 9, {{4, {{4}}}}, 4},
      // A word where a class is due ends the reading.
      {"5 1\n# 6 2\n", 1, 9, {{5, {{1}}}}, 5},
  };
  for (const auto &c : cases) {
    int highest;
    EXPECT_EQ(load(c.text, c.n, c.maxSamples, &highest), c.stored) << c.text;
    EXPECT_EQ(highest, c.highest) << c.text;
  }
}

TEST(LoadTrainingSamples, RecordCutShortEndsTheRun) {
  int highest;
  for (const auto &c : std::vector<std::pair<std::string, std::string>>{
           {"1 2 3\n1 2", "No data available"},
           {"1 2 3\n1 2 -x", "Invalid argument"},
           {"1 2 x", "Invalid argument"},
       })
    EXPECT_EXIT(load(c.first, 2, 9, &highest), ::testing::ExitedWithCode(1),
                "^Error reading training set \\(" + c.second + "\\)\\.\n$")
        << c.first;
}

}  // namespace
