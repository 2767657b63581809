#include "pnnlib.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "filehandle.h"

namespace {

// A stream holding `text`, read from its start.
FileHandle stream_of(const std::string &text) {
  FileHandle file(tmpfile());
  fwrite(text.data(), 1, text.size(), file.get());
  rewind(file.get());
  return file;
}

// The loader returns its failures with errno, keeps the first maxSamples
// records of each class 1..27 and skips the classes it has no room for.
TEST(LoadTrainingSamples, StoresReturnsAndReportsTheError) {
  using Stored = std::map<int, std::vector<std::vector<int>>>;
  const struct {
    std::string text;
    int n, maxSamples;
    int status, error;  // error: errno after a failure
    Stored stored;      // the classes stored, with their samples
    int highestClass;
  } cases[] = {
      {"", 1, 5, 0, 0, {}, 0},
      // 27 is the highest class with room; 0, 28 and -1 have none.
      {"27 5\n28 6\n0 7\n-1 8\n1 9\n",
       1,
       5,
       0,
       0,
       {{1, {{9}}}, {27, {{5}}}},
       27},
      {"28 1\n", 1, 5, 0, 0, {}, 0},
      // Only the first maxSamples records of a class, in file order.
      {"1 2 3\n1 4 5\n1 6 7\n2 1 1\n",
       2,
       2,
       0,
       0,
       {{1, {{2, 3}, {4, 5}}}, {2, {{1, 1}}}},
       2},
      // Records are n + 1 integers wherever the lines break.
      {"3 1\n2 3 4 5", 2, 5, 0, 0, {{3, {{1, 2}, {4, 5}}}}, 3},
      // A word where a class is due ends the reading quietly.
      {"1 2\nend 3 4", 1, 5, 0, 0, {{1, {{2}}}}, 1},
      // A record cut short by the end of the file, or by a word.
      {"1 2\n2", 1, 5, 1, ENODATA, {}, 0},
      {"1 2\n2 x 3", 1, 5, 1, EINVAL, {}, 0},
      {"4 1\n5 1", 2, 5, 1, ENODATA, {}, 0},
  };
  for (const auto &c : cases) {
    auto ts = std::make_unique<TrainingSet>();
    FileHandle file = stream_of(c.text);
    errno = 0;
    const int status =
        load_training_samples(file.get(), c.n, c.maxSamples, *ts);
    EXPECT_EQ(status, c.status) << c.text;
    if (status != 0) {
      EXPECT_EQ(errno, c.error) << c.text;
      continue;
    }
    EXPECT_EQ(ts->highestClass, c.highestClass) << c.text;
    for (int k = 1; k <= MAX_TS_CLASSES; ++k) {
      const auto it = c.stored.find(k);
      const size_t expected = it == c.stored.end() ? 0 : it->second.size();
      ASSERT_EQ(ts->counts[k], static_cast<int>(expected)) << c.text << k;
      for (size_t s = 0; s < expected; ++s)
        for (int b = 0; b < c.n; ++b)
          EXPECT_EQ(ts->samples[k][s][b], it->second[s][b]) << c.text << k;
    }
  }
}

}  // namespace
